#include "ui/optionsfrm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "archive/stringsTools.h"
#include "catalogue/config.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/commands/OptionsFilesBd.h"
#include "ui/QtUiHooks.h"
#include "ui/commands/TextConv.h"
#include "ui/controls/EditPath.h"
#include "ui/controls/ImageList.h"
#include "ui/controls/ImageListBtn.h"

namespace qm {

namespace {

QString T(const char* text) { return ui::ToQ(_(text)); }

const char* const kSetsSample = "Golden sun (f).zip";
const char* const kRomsSample = "Golden sun (f).gba";

// The fix switches with their explanations, in the order shown.
struct TSwitchText {
    const char* name;
    const char* caption;
    const char* hint;
};
const TSwitchText kSwitches[] = {
    {"cbRenameSets", "Rename sets",
     "Analyse files, dir and zip content to evaluate the correct name of the game and rename it."},
    {"cbRemoveRoms", "Remove useless roms",
     "Remove roms and files not used in the game. This concern only files contained in sets (zip or folder)."},
    {"cbRenameRoms", "Rename roms", "Rename the rom with the name expected in this game."},
    {"cbFindRoms", "Find missing roms", "Import missing roms from other games when available."},
    {"cbRemoveFiles", "Remove useless files",
     "Remove unknown sets (files, zip and folder). Unknown files are files which does not contain any known roms."},
    {"cbCreateDummy", "Create dummy roms", "Create a file to replace a rom with no good dump known."},
    {"cbReZip", "Unzip and rezip", "Unzip and rezip zip files. Use compression level specified in preferences."},
};

// The case radios of one group, by case code (coDatabase ... coDontCare), in the order
// shown: capitalized, lower, upper, datafile, don't care.
struct TCaseText {
    const char* suffix;
    const char* caption;
    int code;
};
const TCaseText kCases[] = {
    {"cap", "Capitalized", 3}, {"lower", "Lowercase", 2}, {"upper", "Uppercase", 1},
    {"dat", "Datafile case", 0}, {"dontcare", "Don't care", 4},
};

QLabel* Label(const char* text, QWidget* parent) {
    auto* label = new QLabel(T(text), parent);
    label->setWordWrap(true);
    return label;
}


}  // namespace

TFrmOptions::TFrmOptions(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FrmOptions"));
    setWindowTitle(T("Preferences"));
    setProperty("HelpContext", kHelpContext);

    FolderBrowser = [this](const std::string& start, const std::string& caption) {
        const QString dir = QFileDialog::getExistingDirectory(this, ui::ToQ(caption), ui::ToQ(start));
        return ui::FromQ(dir);
    };
    FolderOpener = [](const std::string& folder) { OpenWithDesktop(folder); };

    pageControl_ = new QTabWidget(this);
    pageControl_->setObjectName(QStringLiteral("PageControl"));
    pageControl_->addTab(MakeGeneralPage(), T("&General"));
    pageControl_->addTab(MakeEmulatorPage(), T("&Romsets"));
    pageControl_->addTab(MakeFixPage(), T("Fix"));

    btnOk_ = new QPushButton(T("&OK"), this);
    btnOk_->setObjectName(QStringLiteral("BtnOk"));
    btnOk_->setDefault(true);
    btnCancel_ = new QPushButton(T("&Cancel"), this);
    btnCancel_->setObjectName(QStringLiteral("BtnCancel"));
    connect(btnOk_, &QPushButton::clicked, this, &TFrmOptions::BtnOkClick);
    connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk_);
    buttons->addWidget(btnCancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pageControl_);
    layout->addLayout(buttons);

    archiveInfoTimer_ = new QTimer(this);
    archiveInfoTimer_->setSingleShot(true);
    archiveInfoTimer_->setInterval(300);
    connect(archiveInfoTimer_, &QTimer::timeout, this, &TFrmOptions::UpdateArchiveInfo);
}

QWidget* TFrmOptions::MakeGeneralPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("General"));
    auto* layout = new QVBoxLayout(page);

    auto* archiveGroup = new QGroupBox(T("Archive directory"), page);
    auto* archiveLayout = new QGridLayout(archiveGroup);
    icons_[0] = new TImageListBtn(archiveGroup);
    archiveLayout->addWidget(icons_[0], 0, 0, 3, 1, Qt::AlignTop);
    archiveLayout->addWidget(Label("Roms removed from your rom directories are moved in this directory.", archiveGroup),
                             0, 1, 1, 3);
    archivePath_ = new TEditPath(archiveGroup);
    archivePath_->setObjectName(QStringLiteral("ArchivePath"));
    archivePath_->DirDialogType = TDirDialog::ddDirectoryBrowser;
    archivePath_->FolderDialog = [this](const std::string&) {
        return BrowseFolder(archivePath_, _("Select an archive directory."));
    };
    archiveLayout->addWidget(archivePath_, 1, 1, 1, 3);
    auto* stats = new QGridLayout;
    const struct {
        const char* caption;
        const char* name;
        QLabel** value;
    } statLabels[] = {{"Nb files :", "LblNbFiles", &lblNbFiles_},
                      {"Size :", "LblUSed", &lblUsed_},
                      {"Free :", "LblFree", &lblFree_}};
    int row = 0;
    for (const auto& s : statLabels) {
        stats->addWidget(new QLabel(T(s.caption), archiveGroup), row, 0);
        *s.value = new QLabel(QStringLiteral("-"), archiveGroup);
        (*s.value)->setObjectName(QString::fromLatin1(s.name));
        stats->addWidget(*s.value, row, 1);
        ++row;
    }
    stats->setColumnStretch(1, 1);
    archiveLayout->addLayout(stats, 2, 1, 1, 2);
    auto* tools = new QToolBar(archiveGroup);
    tools->setOrientation(Qt::Vertical);
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    actOpen_ = tools->addAction(T("&Open path"));
    actOpen_->setObjectName(QStringLiteral("ActOpen"));
    actOpen_->setToolTip(T("Open the archive directory"));
    actPurge_ = tools->addAction(T("&Purge path"));
    actPurge_->setObjectName(QStringLiteral("ActPurge"));
    actPurge_->setToolTip(T("Delete all files in archive directory"));
    connect(actOpen_, &QAction::triggered, this, &TFrmOptions::ActOpenExecute);
    connect(actPurge_, &QAction::triggered, this, &TFrmOptions::ActPurgeExecute);
    archiveLayout->addWidget(tools, 2, 3, Qt::AlignRight);
    archiveLayout->setColumnStretch(2, 1);
    connect(archivePath_, &QLineEdit::textChanged, this, [this] {
        archiveInfoTimer_->start();
        UpdatePurgeState();
    });
    connect(archivePath_, &QLineEdit::editingFinished, this, [this] {
        const QString text = archivePath_->text();
        if (!text.isEmpty() && !text.endsWith(QLatin1Char('/'))) archivePath_->setText(text + QLatin1Char('/'));
    });
    layout->addWidget(archiveGroup);

    auto* tempGroup = new QGroupBox(T("Temporary directory"), page);
    auto* tempLayout = new QGridLayout(tempGroup);
    icons_[1] = new TImageListBtn(tempGroup);
    tempLayout->addWidget(icons_[1], 0, 0, 2, 1, Qt::AlignTop);
    tempLayout->addWidget(Label("This directory is used to store temporary files.", tempGroup), 0, 1);
    tempPath_ = new TEditPath(tempGroup);
    tempPath_->setObjectName(QStringLiteral("TempPath"));
    tempPath_->DirDialogType = TDirDialog::ddDirectoryBrowser;
    tempPath_->FolderDialog = [this](const std::string&) {
        return BrowseFolder(tempPath_, _("Select a temporary directory."));
    };
    connect(tempPath_, &QLineEdit::editingFinished, this, [this] {
        const QString text = tempPath_->text();
        if (!text.isEmpty() && !text.endsWith(QLatin1Char('/'))) tempPath_->setText(text + QLatin1Char('/'));
    });
    tempLayout->addWidget(tempPath_, 1, 1);
    tempLayout->setColumnStretch(1, 1);
    layout->addWidget(tempGroup);

    auto* compGroup = new QGroupBox(T("Zip compression level"), page);
    auto* compLayout = new QHBoxLayout(compGroup);
    icons_[2] = new TImageListBtn(compGroup);
    compLayout->addWidget(icons_[2], 0, Qt::AlignTop);
    compLayout->addWidget(new QLabel(T("Min"), compGroup));
    tbCompLevel_ = new QSlider(Qt::Horizontal, compGroup);
    tbCompLevel_->setObjectName(QStringLiteral("TBCompLevel"));
    tbCompLevel_->setRange(0, 9);
    tbCompLevel_->setPageStep(1);
    tbCompLevel_->setTickPosition(QSlider::TicksBelow);
    tbCompLevel_->setTickInterval(1);
    tbCompLevel_->setToolTip(T("Choose zip archive compression level"));
    compLayout->addWidget(tbCompLevel_, 1);
    compLayout->addWidget(new QLabel(T("Max"), compGroup));
    layout->addWidget(compGroup);
    layout->addStretch();
    return page;
}

QWidget* TFrmOptions::MakeEmulatorPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Emulator"));
    auto* layout = new QVBoxLayout(page);

    auto* structGroup = new QGroupBox(T("Roms structure"), page);
    auto* structLayout = new QGridLayout(structGroup);
    icons_[3] = new TImageListBtn(structGroup);
    structLayout->addWidget(icons_[3], 0, 0, 4, 1, Qt::AlignTop);
    unMerged_ = new QRadioButton(T("Un-merged (All ROMs in both sets)"), structGroup);
    unMerged_->setObjectName(QStringLiteral("UnMerged"));
    split_ = new QRadioButton(T("Split (Only specific ROMs in clone sets)"), structGroup);
    split_->setObjectName(QStringLiteral("Split"));
    merged_ = new QRadioButton(T("Merged (All the ROMs in the Main Set)"), structGroup);
    merged_->setObjectName(QStringLiteral("Merged"));
    cbFixExtension_ = new QCheckBox(T("Fix file extension"), structGroup);
    cbFixExtension_->setObjectName(QStringLiteral("cbFixExtension"));
    structLayout->addWidget(unMerged_, 0, 1);
    structLayout->addWidget(split_, 1, 1);
    structLayout->addWidget(merged_, 2, 1);
    structLayout->addWidget(cbFixExtension_, 3, 1);
    structLayout->setColumnStretch(1, 1);
    layout->addWidget(structGroup);

    auto* emuGroup = new QGroupBox(T("Emulators parameters"), page);
    auto* emuLayout = new QGridLayout(emuGroup);
    emuLayout->addWidget(new QLabel(T("Emulator exe"), emuGroup), 0, 0);
    emulatorExe_ = new TEditPath(emuGroup);
    emulatorExe_->setObjectName(QStringLiteral("EmulatorExe"));
    emulatorExe_->DirDialogType = TDirDialog::ddFileBrowser;
    // Programs here carry no extension: every file is offered.
    emulatorExe_->Filter = _("All files") + "|*";
    emulatorExe_->OnBtnClick = [this](TEditPath* edit) {
        edit->Title = _("Select a emulator.");
        edit->RootDir = exeBrowseStart_;
    };
    emuLayout->addWidget(emulatorExe_, 0, 1);
    emuLayout->addWidget(new QLabel(T("Parameters"), emuGroup), 1, 0);
    runCommand_ = new QLineEdit(emuGroup);
    runCommand_->setObjectName(QStringLiteral("RunCommand"));
    emuLayout->addWidget(runCommand_, 1, 1);
    int row = 2;
    for (const char* line : {"Use following parameters :", "Example: %1 -soundcard 1 -scanlines",
                             "%1 : file name without extension (galaga)", "%2 : file name with extension (galaga.zip)",
                             "%3 : file name with path (c:\\games\\galaga.zip)"})
        emuLayout->addWidget(new QLabel(T(line), emuGroup), row++, 1);
    emuLayout->setColumnStretch(1, 1);
    layout->addWidget(emuGroup);
    layout->addStretch();
    return page;
}

QWidget* TFrmOptions::MakeFixPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet1"));
    auto* layout = new QGridLayout(page);

    const auto caseGroup = [&](const char* title, const char* text, const char* prefix, QButtonGroup*& group) {
        auto* box = new QGroupBox(T(title), page);
        auto* boxLayout = new QVBoxLayout(box);
        boxLayout->addWidget(Label(text, box));
        group = new QButtonGroup(this);
        for (const TCaseText& c : kCases) {
            auto* radio = new QRadioButton(T(c.caption), box);
            radio->setObjectName(QString::fromLatin1(prefix) + QString::fromLatin1(c.suffix));
            group->addButton(radio, c.code);
            boxLayout->addWidget(radio);
        }
        boxLayout->addStretch();
        return box;
    };
    layout->addWidget(caseGroup("Sets", "Select case of sets (zip name and folder name)", "rbset", setsGroup_), 0, 0);
    layout->addWidget(caseGroup("Roms", "Select case of roms", "rbrom", romsGroup_), 0, 1);
    connect(setsGroup_, &QButtonGroup::idClicked, this, &TFrmOptions::ShowSetsSample);
    connect(romsGroup_, &QButtonGroup::idClicked, this, &TFrmOptions::ShowRomsSample);

    auto* sampleGroup = new QGroupBox(T("Sample"), page);
    auto* sampleLayout = new QVBoxLayout(sampleGroup);
    lblSample1_ = new QLabel(T(kSetsSample), sampleGroup);
    lblSample1_->setObjectName(QStringLiteral("LblSample1"));
    lblSample2_ = new QLabel(T(kRomsSample), sampleGroup);
    lblSample2_->setObjectName(QStringLiteral("LblSample2"));
    lblSample3_ = new QLabel(sampleGroup);
    lblSample3_->setObjectName(QStringLiteral("LblSample3"));
    sampleLayout->addWidget(lblSample1_);
    sampleLayout->addWidget(lblSample2_);
    sampleLayout->addWidget(lblSample3_);
    sampleLayout->addStretch();
    layout->addWidget(sampleGroup, 0, 2);

    auto* fixGroup = new QGroupBox(T("Fix parameters"), page);
    auto* fixLayout = new QGridLayout(fixGroup);
    fixLayout->addWidget(Label("Select what to do when fixing a game", fixGroup), 0, 0, 1, 2);
    QCheckBox** boxes[] = {&cbRenameSets_, &cbRemoveRoms_, &cbRenameRoms_, &cbFindRoms_,
                           &cbRemoveFiles_, &cbCreateDummy_, &cbReZip_};
    int i = 0;
    for (const TSwitchText& s : kSwitches) {
        auto* box = new QCheckBox(T(s.caption), fixGroup);
        box->setObjectName(QString::fromLatin1(s.name));
        box->setProperty("hint", T(s.hint));
        box->installEventFilter(this);
        *boxes[i] = box;
        fixLayout->addWidget(box, 1 + i % 4, i / 4);
        ++i;
    }
    lblInfos_ = new QLabel(fixGroup);
    lblInfos_->setObjectName(QStringLiteral("LblInfos"));
    lblInfos_->setWordWrap(true);
    lblInfos_->setMinimumHeight(lblInfos_->fontMetrics().height() * 3);
    lblInfos_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    fixLayout->addWidget(lblInfos_, 5, 0, 1, 2);
    layout->addWidget(fixGroup, 1, 0, 1, 3);
    layout->setRowStretch(2, 1);
    return page;
}

bool TFrmOptions::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
        const QVariant hint = watched->property("hint");
        if (hint.isValid()) lblInfos_->setText(event->type() == QEvent::Enter ? hint.toString() : QString());
    }
    return QDialog::eventFilter(watched, event);
}

void TFrmOptions::SetIcons(const TImageList* images) {
    for (int i = 0; i < 4; ++i) {
        icons_[i]->SetImages(images);
        icons_[i]->SetPictureIndex(i);
        icons_[i]->setEnabled(false);
    }
}

void TFrmOptions::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        LoadFromConfig();
        UpdateArchiveInfo();
    }
    QDialog::showEvent(event);
}

std::string TFrmOptions::BrowseFolder(TEditPath* edit, const std::string& caption) {
    if (!FolderBrowser) return {};
    return FolderBrowser(ui::FromQ(edit->text()), caption);
}

void TFrmOptions::ShowSetsSample(int code) { lblSample1_->setText(ui::ToQ(CaseSample(_(kSetsSample), code))); }

void TFrmOptions::ShowRomsSample(int code) {
    lblSample2_->setText(ui::ToQ(CaseSample(_(kRomsSample), code)));
    lblSample3_->clear();
}

void TFrmOptions::EnableEmulatorControls(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{unMerged_, split_, merged_, cbFixExtension_, emulatorExe_,
                                                      runCommand_, cbRenameSets_, cbRemoveRoms_, cbRenameRoms_,
                                                      cbFindRoms_, cbRemoveFiles_, cbCreateDummy_, cbReZip_,
                                                      archivePath_})
        w->setEnabled(enabled);
    for (QButtonGroup* group : {setsGroup_, romsGroup_})
        for (QAbstractButton* b : group->buttons()) b->setEnabled(enabled);
}

void TFrmOptions::LoadFromConfig() {
    if (Config == nullptr) return;
    const TOptions o = LoadOptions(*Config);
    {
        // The statistics follow below, once; not once per changed text.
        const QSignalBlocker block(archivePath_);
        archivePath_->setText(ui::ToQ(o.ArchivePath));
    }
    tempPath_->setText(ui::ToQ(o.TempPath));
    tbCompLevel_->setValue(o.CompLevel);
    emulatorExe_->setText(ui::ToQ(o.Exe));
    runCommand_->setText(ui::ToQ(o.RunParam));
    exeBrowseStart_ = o.ExeBrowseStart;
    dataFileOpen_ = o.DataFileOpen;
    EnableEmulatorControls(o.DataFileOpen);
    switch (o.Structure) {
        case TRomsStructure::Merged: merged_->setChecked(true); break;
        case TRomsStructure::Split: split_->setChecked(true); break;
        case TRomsStructure::UnMerged: unMerged_->setChecked(true); break;
    }
    cbFixExtension_->setChecked(o.FixExtension);
    if (QAbstractButton* b = setsGroup_->button(o.SetsCase)) b->setChecked(true);
    if (QAbstractButton* b = romsGroup_->button(o.RomsCase)) b->setChecked(true);
    ShowSetsSample(o.SetsCase);
    ShowRomsSample(o.RomsCase);
    cbRenameSets_->setChecked(o.DoRenameFiles);
    cbRemoveRoms_->setChecked(o.DoRemoveRoms);
    cbRenameRoms_->setChecked(o.DoRenameRoms);
    cbFindRoms_->setChecked(o.DoFindRoms);
    cbRemoveFiles_->setChecked(o.DoRemoveFiles);
    cbCreateDummy_->setChecked(o.DoCreateDummy);
    cbReZip_->setChecked(o.DoReZip);
    lblInfos_->clear();
    UpdatePurgeState();
}

TOptions TFrmOptions::Values() const {
    TOptions o;
    o.ArchivePath = ui::FromQ(archivePath_->text());
    o.TempPath = ui::FromQ(tempPath_->text());
    o.CompLevel = tbCompLevel_->value();
    // Not the edits' own state: they read disabled too while the main window is.
    o.DataFileOpen = dataFileOpen_;
    o.Structure = merged_->isChecked() ? TRomsStructure::Merged
                  : split_->isChecked() ? TRomsStructure::Split
                  : unMerged_->isChecked() ? TRomsStructure::UnMerged
                                           : TRomsStructure::Merged;
    o.FixExtension = cbFixExtension_->isChecked();
    o.Exe = ui::FromQ(emulatorExe_->text());
    o.RunParam = ui::FromQ(runCommand_->text());
    o.ExeBrowseStart = exeBrowseStart_;
    o.SetsCase = setsGroup_->checkedId();
    o.RomsCase = romsGroup_->checkedId();
    o.DoRenameFiles = cbRenameSets_->isChecked();
    o.DoRemoveRoms = cbRemoveRoms_->isChecked();
    o.DoRenameRoms = cbRenameRoms_->isChecked();
    o.DoFindRoms = cbFindRoms_->isChecked();
    o.DoRemoveFiles = cbRemoveFiles_->isChecked();
    o.DoCreateDummy = cbCreateDummy_->isChecked();
    o.DoReZip = cbReZip_->isChecked();
    return o;
}

void TFrmOptions::UpdateArchiveInfo() {
    archiveInfoTimer_->stop();
    const TArchiveInfo info = ArchiveInfo(ui::FromQ(archivePath_->text()));
    lblNbFiles_->setText(ui::ToQ(info.Files));
    lblUsed_->setText(ui::ToQ(info.Used));
    lblFree_->setText(ui::ToQ(info.Free));
}

void TFrmOptions::UpdatePurgeState() {
    // Purging empties the stored folder; it is offered only while the edit shows that one.
    const std::string stored = Config != nullptr ? StoredArchivePath(*Config) : std::string();
    actPurge_->setEnabled(!stored.empty() && WithSlash(ui::FromQ(archivePath_->text())) == stored);
}

void TFrmOptions::ActOpenExecute() { OpenArchiveFolder(ui::FromQ(archivePath_->text()), FolderOpener); }

void TFrmOptions::ActPurgeExecute() {
    if (Config == nullptr || !actPurge_->isEnabled()) return;
    PurgeArchiveFolder(*Config, CurrentRomPaths(*Config, FilesBd));
    UpdateArchiveInfo();
}

void TFrmOptions::BtnOkClick() {
    setResult(0);
    if (Config == nullptr) return;
    const TOptionsCheck check = CheckOptions(Values(), CurrentRomPaths(*Config, FilesBd));
    if (check.Ok()) {
        accept();
        return;
    }
    UiHooks().MessageDlg(check.Message, TMsgDlgType::mtError, mbOK);
    pageControl_->setCurrentIndex(0);
    (check.Field == TOptionsField::TempPath ? tempPath_ : archivePath_)->setFocus();
}

bool ActConfigurationExecute(TFrmOptions& form, const TOptionsTargets& targets) {
    form.PageControl()->setCurrentIndex(0);
    if (form.exec() != QDialog::Accepted || Config == nullptr) return false;
    ProcessPendingMessages(true);
    QWidget* owner = form.parentWidget();
    if (owner != nullptr) owner->setEnabled(false);
    struct TEnableAgain {
        QWidget* w;
        ~TEnableAgain() {
            if (w != nullptr) w->setEnabled(true);
        }
    } enableAgain{owner};
    ApplyOptions(*Config, form.Values(), targets);
    return true;
}

}  // namespace qm
