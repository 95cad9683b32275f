#include "ui/Main.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include "catalogue/config.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/About.h"
#include "ui/HelpPages.h"
#include "ui/ProgressFrm.h"
#include "ui/SkinLoader.h"
#include "ui/SplashFrm.h"
#include "ui/TextConv.h"
#include "ui/WindowPlace.h"
#include "ui/OptionsModel.h"
#include "ui/FixPipeline.h"
#include "ui/GamePages.h"
#include "ui/datafilefrm.h"
#include "ui/optionsfrm.h"
#include "ui/skin.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

namespace qm {

namespace {

QString Q(const std::string& text) { return QString::fromUtf8(text.c_str(), static_cast<int>(text.size())); }

// The settings key of the tool bars' layout, in the program's own section.
constexpr const char* kToolBarsKey = "ToolBars";

// The ten filter actions: name, text, and the setting each stands for.
struct TFilterAction {
    const char* name;
    const char* text;
    bool (TConfig::*get)() const;
    void (TConfig::*set)(bool);
};

const TFilterAction kFilterActions[] = {
    {"ActDBPlayable", "Playable games", &TConfig::DBPlayable, &TConfig::SetDBPlayable},
    {"ActDBMissing", "Missing games", &TConfig::DBMissing, &TConfig::SetDBMissing},
    {"ActDBIncomplete", "Incomplete games", &TConfig::DBIncomplete, &TConfig::SetDBIncomplete},
    {"ActDBClones", "Show clones", &TConfig::DBLevel, &TConfig::SetDBLevel},
    {"ActDBSets", "Show sets", nullptr, nullptr},
    {"ActTVGood", "Good files", &TConfig::TVGood, &TConfig::SetTVGood},
    {"ActTVBadName", "Bad names", &TConfig::TVBadName, &TConfig::SetTVBadName},
    {"ActTVIncomplete", "Incomplete files", &TConfig::TVIncomplete, &TConfig::SetTVIncomplete},
    {"ActTVUnknown", "Unknown files", &TConfig::TVUnknown, &TConfig::SetTVUnknown},
    {"ActTVMissing", "Missing files", &TConfig::TVMissing, &TConfig::SetTVMissing},
};

// The commands of the views, the repairs and the reports: object name, caption, shortcut.
struct TCommandAction {
    const char* name;
    const char* text;
    const char* shortcut;
};

const TCommandAction kCommandActions[] = {
    {"ActAddPath", "&Add rom path", "Ctrl+O"},
    {"ActRemovePath", "&Close rom path", ""},
    {"ActOpenPath", "&Open path", ""},
    {"ActRefresh", "&Refresh", "F5"},
    {"ActRefreshAll", "Refresh &All", ""},
    {"ActRebuild", "Re&build", ""},
    {"ActRebuildAll", "Rebuild all", ""},
    {"ActFixGame", "Fix &game", ""},
    {"ActMiss", "Save &missing games as ...", ""},
    {"ActHave", "Save &available games as ...", ""},
    {"ActMissRoms", "Save missing &roms as ...", ""},
    {"ActMissCrc", "Save missing &crc as ...", ""},
    {"ActCreateDat", "selected items", ""},
    {"ActCreateMissDat", "missing roms", ""},
    {"ActCreateHaveDat", "available roms", ""},
    {"ActPlayGame", "&Play game (enter)", ""},
    {"ActGameInfo", "Game &Information", ""},
    {"ActParentNode", "Parent node", ""},
};

}  // namespace

TMainFrm::TMainFrm(TSplashForm* splash)
    : splash_(splash),
      dispatcher_(std::make_unique<TActionDispatcher>()),
      progressFrm_(std::make_unique<TProgressFrm>()),
      flagList_(DefaultFlagList()),
      toolsIconsList_(DefaultToolsIconsList()) {
    setObjectName("MainFrm");
    setWindowTitle("Quarmelle");
    controller_ = std::make_unique<TAppController>(*this);
    progressFrm_->SetOnCancel([this] { controller_->ProgressFrmCancel(); });
    if (splash_) splash_->OnSkip = [this] { controller_->CancelLoading(); };
    dispatcher_->OnBeforeCommand = [this] { statusBar()->clearMessage(); };
    dispatcher_->OnIdle = [this] {
        if (quitPending_) ActQuitExecute();
    };
    OpenUrl = [](const std::string& url) { QDesktopServices::openUrl(QUrl(Q(url))); };

    savePrompt_ = std::make_unique<TQtSaveFilePrompt>(this);
    CreateActions();
    CreateToolBars();
    CreateViews();
    CreateStatusBar();
    ConnectCommands();
    skinForm_ = std::make_unique<TSkinForm>();
    resize(900, 600);
}

TMainFrm::~TMainFrm() {
    FormDestroy();
    // The views hold pointers into the databases the controller frees.
    if (vTreeView_) vTreeView_->Clear();
    if (vListView_) vListView_->Clear();
    // The datafile manager uses the controller's archive manager: it goes first, and
    // its close no longer reaches this window.
    if (datafileForm_) {
        datafileForm_->OnClosed = nullptr;
        datafileForm_->OnDatafilesChanged = nullptr;
        delete datafileForm_;
        datafileForm_ = nullptr;
    }
    if (splash_) delete splash_;
}

void TMainFrm::CreateActions() {
    actQuit_ = new QAction(Q(_("&Quit")), this);
    actQuit_->setObjectName("ActQuit");
    actQuit_->setShortcut(QKeySequence::Quit);
    dispatcher_->Connect(actQuit_, [this] { ActQuitExecute(); });

    actAbout_ = new QAction(Q(_("&About...")), this);
    actAbout_->setObjectName("About2");
    dispatcher_->Connect(actAbout_, [this] { About2Click(); });

    actContents_ = new QAction(Q(_("&Contents")), this);
    actContents_->setObjectName("Content1");
    actContents_->setShortcut(QKeySequence::HelpContents);
    dispatcher_->Connect(actContents_, [this] { ShowHelp(kHelpContents); });

    actDatafileManager_ = new QAction(Q(_("&Datafile manager...")), this);
    actDatafileManager_->setObjectName("ActDatafileManager");
    dispatcher_->Connect(actDatafileManager_, [this] {
        if (!datafileForm_) return;
        datafileForm_->show();
        datafileForm_->raise();
    });
    actOptions_ = new QAction(Q(_("&Preferences...")), this);
    actOptions_->setObjectName("ActOptions");
    actOptions_->setEnabled(false);  // until the dialog exists
    dispatcher_->Connect(actOptions_, [this] { ActOptionsExecute(); });

    for (const TCommandAction& def : kCommandActions) {
        auto* action = new QAction(Q(_(def.text)), this);
        action->setObjectName(def.name);
        if (*def.shortcut) action->setShortcut(QKeySequence(def.shortcut));
        actions_[def.name] = action;
    }
    actGameInfo_ = actions_["ActGameInfo"];
    for (QAction* action : {actQuit_, actAbout_, actContents_, actDatafileManager_, actOptions_})
        actions_[action->objectName().toStdString()] = action;

    auto* levels = new QActionGroup(this);
    for (const TFilterAction& def : kFilterActions) {
        auto* action = new QAction(Q(_(def.text)), this);
        action->setObjectName(def.name);
        action->setCheckable(true);
        filterActions_.push_back(action);
        const bool isLevel = std::string(def.name) == "ActDBClones" || std::string(def.name) == "ActDBSets";
        if (isLevel) levels->addAction(action);
        const bool sets = def.set == nullptr;
        auto set = def.set;
        // The filters themselves belong to the views: the choice is stored, then the
        // views apply it.
        dispatcher_->Connect(action, [this, action, set, sets] {
            if (sets)
                Config->SetDBLevel(!action->isChecked());
            else
                (Config->*set)(action->isChecked());
            ApplyFilters();
        });
    }

    for (QAction* action : filterActions_) actions_[action->objectName().toStdString()] = action;

    QMenu* file = menuBar()->addMenu(Q(_("&File")));
    file->addAction(Act("ActAddPath"));
    file->addAction(Act("ActOpenPath"));
    file->addAction(Act("ActRemovePath"));
    file->addSeparator();
    file->addAction(actDatafileManager_);
    QMenu* create = file->addMenu(Q(_("Create datafile from...")));
    create->addAction(Act("ActCreateMissDat"));
    create->addAction(Act("ActCreateHaveDat"));
    create->addAction(Act("ActCreateDat"));
    file->addSeparator();
    file->addAction(actOptions_);
    file->addSeparator();
    file->addAction(actQuit_);
    QMenu* view = menuBar()->addMenu(Q(_("&View")));
    for (QAction* action : filterActions_) view->addAction(action);
    QMenu* roms = menuBar()->addMenu(Q(_("&Roms")));
    roms->addAction(Act("ActFixGame"));
    QMenu* tools = menuBar()->addMenu(Q(_("&Tools")));
    tools->addAction(Act("ActRefresh"));
    tools->addAction(Act("ActRefreshAll"));
    tools->addAction(Act("ActRebuild"));
    tools->addAction(Act("ActRebuildAll"));
    tools->addSeparator();
    tools->addAction(Act("ActPlayGame"));
    QMenu* report = menuBar()->addMenu(Q(_("Re&port")));
    report->addAction(Act("ActMiss"));
    report->addAction(Act("ActHave"));
    report->addSeparator();
    report->addAction(Act("ActMissRoms"));
    report->addAction(Act("ActMissCrc"));
    gamePropertiesMenu_ = new QMenu(this);
    gamePropertiesMenu_->setObjectName("GamePropertiesMenu");
    QMenu* help = menuBar()->addMenu(Q(_("&Help")));
    help->addAction(actContents_);
    help->addSeparator();
    help->addAction(actAbout_);
}

void TMainFrm::CreateToolBars() {
    tbToolbar_ = addToolBar(Q(_("Tools")));
    tbToolbar_->setObjectName("TBToolbar");
    tbToolbar_->addAction(Act("ActAddPath"));
    tbToolbar_->addAction(Act("ActRefresh"));
    tbToolbar_->addAction(Act("ActFixGame"));
    tbToolbar_->addAction(Act("ActPlayGame"));
    tbToolbar_->addAction(actGameInfo_);
    tbToolbar_->addAction(Act("ActParentNode"));
    tbToolbar_->addAction(actDatafileManager_);
    tbToolbar_->addAction(actOptions_);

    tbDatafileBar_ = addToolBar(Q(_("Datafile")));
    tbDatafileBar_->setObjectName("TBDatafileBar");
    tbDatafileBar_->addWidget(new QLabel(Q(_("Datafile:")) + " "));
    datafilesCombo_ = new QComboBox;
    datafilesCombo_->setObjectName("DatafilesCombo");
    datafilesCombo_->setMinimumContentsLength(24);
    datafilesCombo_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    tbDatafileBar_->addWidget(datafilesCombo_);
    // Only a choice of the user loads a datafile: activated is not emitted for
    // selections made from code. A choice while busy is dropped and the box shows the
    // loaded datafile again.
    connect(datafilesCombo_, &QComboBox::activated, this, [this](int) {
        const bool ran = dispatcher_->Run([this] { controller_->DatafilesComboChange(); });
        if (!ran) {
            const std::string current = controller_->CurrentDatafileName();
            int index = -1;
            const auto& items = controller_->DatafileItems();
            for (size_t i = 0; i < items.size(); ++i)
                if (SameText(items[i].Text, current)) index = static_cast<int>(i);
            SelectDatafile(index);
        }
    });

    addToolBarBreak();
    tbFilterbar_ = addToolBar(Q(_("Filters")));
    tbFilterbar_->setObjectName("TBFilterbar");
    for (QAction* action : filterActions_) tbFilterbar_->addAction(action);
}

void TMainFrm::CreateViews() {
    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setObjectName("Splitter1");
    vTreeView_ = new TQMVirtualTreeView;
    vTreeView_->setObjectName("VTreeView");
    vListView_ = new TQMVirtualListView;
    vListView_->setObjectName("VListView");
    splitter_->addWidget(vTreeView_);
    splitter_->addWidget(vListView_);
    splitter_->setSizes({300, 600});
    setCentralWidget(splitter_);
    vTreeView_->SetImages(&flagList_, true);
    vListView_->SetImages(&flagList_, false);
    vTreeView_->ShownGames = &shownGames_;
    vTreeView_->ShownClones = &shownClones_;
    vListView_->ShownGames = &shownGames_;
    vListView_->ShownClones = &shownClones_;
    vTreeView_->SetQmVirtualListView(vListView_);
}

void TMainFrm::CreateStatusBar() {
    for (int i = 0; i < 4; ++i) {
        if (i < 3) {
            auto* icon = new QLabel;
            statusBar()->addPermanentWidget(icon);
            statusIcons_.push_back(icon);
        }
        auto* panel = new QLabel;
        panel->setObjectName(QString("StatusPanel%1").arg(i));
        panel->setTextFormat(Qt::PlainText);
        statusBar()->addPermanentWidget(panel, i == 3 ? 1 : 0);
        statusPanels_.push_back(panel);
    }
}

void TMainFrm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The pictures of missing, incomplete and complete games.
    for (int i = 0; i < 3; ++i) statusIcons_[static_cast<size_t>(i)]->setPixmap(flagList_.At(i));
    UpdateStatus();
}

void TMainFrm::FormCreate() {
    helpFolder_ = FindHelpFolder(Config->GetHomePath(), QCoreApplication::applicationDirPath().toStdString());
    controller_->Create(helpFolder_);
    WireViews();
    RestoreToolBars();
    datafileForm_ = new TDatafileForm(&controller_->ArchiveManager(), this);
    datafileForm_->setWindowFlag(Qt::Window);
    // What the manager changed in the datafile folder shows in the datafile box.
    auto refresh = [this] { dispatcher_->Run([this] { controller_->LoadDatafilesList(); }); };
    datafileForm_->OnClosed = refresh;
    datafileForm_->OnDatafilesChanged = refresh;
    skinForm_->SkinPath = Config->GetSkinPath();
    skinForm_->Target.FlagList = &flagList_;
    skinForm_->Target.ToolsIconsList = &toolsIconsList_;
    skinForm_->ApplySkin();
    UpdateStatus();
    controller_->LoadAtStartUp();
}

void TMainFrm::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    if (!Config) return;
    SaveColumnWidths();
    SaveToolBars();
    controller_->Shutdown();
}

void TMainFrm::SaveToolBars() {
    Config->WriteString(Config->Section, kToolBarsKey, saveState().toBase64().toStdString());
}

void TMainFrm::RestoreToolBars() {
    const std::string state = Config->ReadString(Config->Section, kToolBarsKey, "");
    if (!state.empty()) restoreState(QByteArray::fromBase64(QByteArray::fromStdString(state)));
}

void TMainFrm::ActQuitExecute() {
    quitPending_ = false;
    if (!quitting_) {
        TWidgetPlace main(this);
        TSplitterPlace split(splitter_);
        TWidgetPlace dat(datafileForm_);
        // The scan window comes with its own unit.
        Config->SaveFormPositions(&main, &split, datafileForm_ ? &dat : nullptr, nullptr);
        quitting_ = true;
    }
    close();
    QCoreApplication::quit();
}

void TMainFrm::closeEvent(QCloseEvent* event) {
    if (quitting_) {
        event->accept();
        return;
    }
    if (dispatcher_->Busy()) {
        // A close that arrives while an operation processes messages stops the
        // operation; the program ends once it has wound down.
        event->ignore();
        controller_->CancelLoading();
        quitPending_ = true;
        return;
    }
    event->ignore();
    ActQuitExecute();
}

void TMainFrm::ShowHelp(int context) {
    if (helpFolder_.empty()) {
        UiHooks().MessageDlg(_("Help file not found !"), TMsgDlgType::mtError, mbOK);
        return;
    }
    lastHelpUrl_ = QUrl::fromLocalFile(Q(helpFolder_ + HelpPageName(context))).toString().toStdString();
    if (OpenUrl) OpenUrl(lastHelpUrl_);
}

void TMainFrm::SetOptionsForm(TFrmOptions* options) {
    frmOptions_ = options;
    actOptions_->setEnabled(options != nullptr);
}

void TMainFrm::ActOptionsExecute() {
    if (!frmOptions_) return;
    frmOptions_->FilesBd = &controller_->FilesBd();
    if (frmOptions_->exec() != QDialog::Accepted) return;
    TOptionsTargets targets;
    targets.RomsBd = &controller_->RomsBd();
    targets.FilesBd = &controller_->FilesBd();
    targets.ArchiveManager = &controller_->ArchiveManager();
    targets.OnMergedChanged = [this](bool merged) { SetViewsMerged(merged); };
    targets.OnStatusBar = [this] { UpdateStatus(); };
    targets.OnRefresh = [this] {
        RefreshScan();
        RebuildTree(true);
        UpdateStatus();
    };
    ApplyOptions(*Config, frmOptions_->Values(), targets);
    controller_->SetMergeBackupDir();
}

void TMainFrm::About2Click() {
    if (!aboutFrm_) return;
    aboutFrm_->Config = Config;
    aboutFrm_->PlugIn = &controller_->CrcPlugIn();
    aboutFrm_->exec();
}

// ---- IMainView ------------------------------------------------------------------

void TMainFrm::SetDatafileItems(const std::vector<std::string>& texts) {
    QSignalBlocker block(datafilesCombo_);
    datafilesCombo_->clear();
    for (const std::string& text : texts) datafilesCombo_->addItem(ui::ToQ(text));
    datafilesCombo_->setCurrentIndex(-1);
}

void TMainFrm::SelectDatafile(int index) {
    QSignalBlocker block(datafilesCombo_);
    datafilesCombo_->setCurrentIndex(index);
}

int TMainFrm::SelectedDatafile() const { return datafilesCombo_->currentIndex(); }

std::string TMainFrm::DatafileText() const {
    const int index = datafilesCombo_->currentIndex();
    const auto& items = controller_->DatafileItems();
    if (index < 0 || static_cast<size_t>(index) >= items.size()) return {};
    return items[static_cast<size_t>(index)].Text;
}

void TMainFrm::ProgressStart() { progressFrm_->Start(this); }
void TMainFrm::ProgressStop() { progressFrm_->Stop(); }
void TMainFrm::ProgressReset() { progressFrm_->Reset(); }
void TMainFrm::ProgressPosition(int value) { progressFrm_->SetPosition(value); }
void TMainFrm::ProgressWaitString(const std::string& text) { progressFrm_->SetWaitString(text); }

TInfosEvent TMainFrm::SplashInfos() {
    QPointer<TSplashForm> splash(splash_);
    return [splash](const std::string& text) {
        if (splash) splash->SetInfoText(text);
    };
}

TProgressEvent TMainFrm::SplashProgress() {
    QPointer<TSplashForm> splash(splash_);
    return [splash](int value) {
        if (splash) splash->SetProgress(value);
    };
}

void TMainFrm::SplashSetVersion(const std::string& text) {
    if (splash_) splash_->SetVersionText(text);
}

void TMainFrm::SplashEnableSkip() {
    if (splash_) splash_->EnableSkip();
}

void TMainFrm::FreeSplash() {
    delete splash_;
    splash_ = nullptr;
}

void TMainFrm::ClearTree() {
    vListView_->Clear();
    vTreeView_->Clear();
}

void TMainFrm::RebuildTree(bool keepFocus) {
    vTreeView_->Rebuild(keepFocus);
    if (keepFocus && vTreeView_->FirstSelected().isValid()) return;
    vTreeView_->SetSelectedString(TQMVirtualTreeView::GamesRootText());
    const QModelIndex root = vTreeView_->FirstSelected();
    if (root.isValid()) vTreeView_->expand(root);
}

void TMainFrm::FocusTree() {
    if (isVisible()) vTreeView_->setFocus();
}

void TMainFrm::SetViewsMerged(bool merged) {
    vTreeView_->Merged = merged;
    vListView_->Merged = merged;
}

void TMainFrm::ResetSubListAndFilter() {
    Config->SubListFileName.clear();
    vTreeView_->RegularExpression.clear();
    vListView_->RegularExpression.clear();
    ApplySubList();
}

void TMainFrm::ApplySubList() {
    shownGames_.Clear();
    shownClones_.Clear();
    TRomsBd& roms = controller_->RomsBd();
    // The clones under their own names, whatever the mode.
    const bool split = roms.Split;
    roms.Split = true;
    TCloneItems all;
    roms.ListClones(all);
    roms.Split = Config->Emulator ? Config->Emulator->Split() : split;
    for (const auto& [name, clone] : all) {
        shownClones_.Add(name, clone);
        if (!shownGames_.HasObject(clone->Game)) shownGames_.Add(clone->Game->Name, clone->Game);
    }
    vTreeView_->ResetRomCount();
}

void TMainFrm::CheckFilterActions() {
    const TConfig& config = *Config;
    for (size_t i = 0; i < filterActions_.size(); ++i) {
        const TFilterAction& def = kFilterActions[i];
        const bool checked = def.get ? (config.*def.get)() : !config.DBLevel();
        QSignalBlocker block(filterActions_[i]);
        filterActions_[i]->setChecked(checked);
    }
}

void TMainFrm::ApplyFilters() {
    const TConfig& config = *Config;
    TDatabaseFilters databaseFilters;
    if (config.DBPlayable()) databaseFilters.Include(dfShowComplete);
    if (config.DBMissing()) databaseFilters.Include(dfShowMissing);
    if (config.DBIncomplete()) databaseFilters.Include(dfShowIncomplete);
    vTreeView_->DatabaseFilters = databaseFilters;
    vTreeView_->SetDisplayLevel(config.DBLevel() ? dlClones : dlGames);
    TPathFilters pathFilters;
    if (config.TVGood()) pathFilters.Include(pfShowPlayable);
    if (config.TVIncomplete()) pathFilters.Include(pfShowIncomplete);
    if (config.TVUnknown()) pathFilters.Include(pfShowUnknown);
    if (config.TVBadName()) pathFilters.Include(pfShowNeedFix);
    vTreeView_->PathFilters = pathFilters;
}

void TMainFrm::BuildMenus() {
    const TGameInfoMenu model = BuildGameInfoMenuModel(Config->DataFileOpen, controller_->XmlConfigParser().Infos,
                                                       Config->GetGameUrl());
    FillGameInfoMenu(*gamePropertiesMenu_, actGameInfo_, model, [this](int index) {
        TGamePages(controller_->XmlConfigParser().Infos).PickPage(*Config, index);
    });
}

void TMainFrm::UpdateStatus() {
    if (statusPanels_.empty()) return;
    TRomsBd& roms = controller_->RomsBd();
    roms.UpdateStatistics();
    const int counts[] = {roms.GamesMissing, roms.GamesPartial, roms.GamesComplete};
    const char* tips[] = {"Missing games", "Incomplete games", "Complete games"};
    for (int i = 0; i < 3; ++i) {
        QLabel* panel = statusPanels_[static_cast<size_t>(i)];
        panel->setText(QString::number(counts[i]));
        panel->setToolTip(Q(_(tips[i])));
        statusIcons_[static_cast<size_t>(i)]->setToolTip(Q(_(tips[i])));
    }
    if (Config && Config->DataFileOpen)
        statusPanels_[3]->setText(ui::ToQ(Config->DataFile->GetName()) + "  " +
                                  Q(Fmt(_("%1 games"), {std::to_string(roms.GameCount)})));
    else
        statusPanels_[3]->setText(Q(_("No datafile loaded")));
}

void TMainFrm::UpdateActions() {
    const bool datafile = datafilesCombo_->currentIndex() >= 0;
    for (const char* name : {"ActPlayGame", "ActRefresh", "ActRefreshAll", "ActAddPath", "ActFixGame", "ActMiss",
                             "ActHave", "ActMissCrc", "ActMissRoms"})
        Act(name)->setEnabled(datafile);
}

void TMainFrm::RefreshScan() {}

void TMainFrm::SaveColumnWidths() {
    if (!vListView_->ColumnSection().empty()) vListView_->SaveColumnWidths();
}

void TMainFrm::LoadColumnWidths(const std::string& refName) { vListView_->LoadColumnWidths(refName); }

void TMainFrm::LoadFormPositions() {
    TWidgetPlace main(this);
    TSplitterPlace split(splitter_);
    TWidgetPlace dat(datafileForm_);
    Config->LoadFormPositions(&main, &split, datafileForm_ ? &dat : nullptr);
}

void TMainFrm::ShowMainWindow() {
    setWindowTitle(Q(std::string("Quarmelle ") + kProgramVersion));
    show();
    vTreeView_->setFocus();
}

}  // namespace qm
