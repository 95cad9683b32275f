#include "ui/About.h"

#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "catalogue/config.h"
#include "filesdb/CrcPlugIn.h"
#include "platform/Text.h"
#include "ui/commands/TextConv.h"
#include "ui/controls/mUrlLabel.h"

namespace qm {

namespace {

// The licence is the program's own and is not translated, so that every reader sees
// the same terms.
const char* const kLicence =
    "Quarmelle is free to use, copy and give away, for private and for commercial use, "
    "provided that it is given away whole and free of charge.\n\n"
    "It comes without any warranty. It changes the files you ask it to repair: keep a "
    "backup of your roms before you let it fix them.";

const char* const kHomePage = "quarmelle.example/";
const char* const kForum = "quarmelle.example/forum/";
const char* const kSupport = "support@quarmelle.example";

QPlainTextEdit* Memo(QWidget* parent, const char* name) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(QString::fromLatin1(name));
    memo->setReadOnly(true);
    return memo;
}

QString Title(const char* text) { return ui::ToQ(_(text)); }

}  // namespace

QLabel* TAboutFrm::AddLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

TmUrlLabel* TAboutFrm::AddLink(QWidget* parent, const char* name) {
    auto* link = new TmUrlLabel(parent);
    link->setObjectName(QString::fromLatin1(name));
    link->setTextFormat(Qt::PlainText);
    link->installEventFilter(this);
    return link;
}

TAboutFrm::TAboutFrm(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("AboutFrm"));
    setWindowTitle(Title("About Quarmelle"));
    setMinimumSize(385, 388);

    pageControl1_ = new QTabWidget(this);
    pageControl1_->setObjectName(QStringLiteral("PageControl1"));

    // About
    auto* tab1 = new QWidget;
    tab1->setObjectName(QStringLiteral("TabSheet1"));
    auto* about = new QFormLayout;
    version_ = AddLabel(tab1, "Version");
    release_ = AddLabel(tab1, "release");
    about->addRow(Title("Version :"), version_);
    about->addRow(Title("Release :"), release_);
    const struct {
        const char* name;
        const char* title;
        TLinkText link;
    } makerLinks[] = {
        {"mUrlLabel1", "Home page :", {kHomePage, WebUrl(kHomePage)}},
        {"mUrlLabel2", "Forum :", {kForum, WebUrl(kForum)}},
        {"mUrlLabel3", "Support :", {kSupport, MailUrl(kSupport)}},
    };
    for (const auto& m : makerLinks) {
        TmUrlLabel* link = AddLink(tab1, m.name);
        SetLink(link, m.link);
        about->addRow(Title(m.title), link);
    }
    memo1_ = Memo(tab1, "Memo1");
    memo1_->setPlainText(QString::fromUtf8(kLicence));
    auto* aboutLayout = new QVBoxLayout(tab1);
    auto* title = new QLabel(QStringLiteral("Quarmelle"), tab1);
    QFont big = title->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    title->setFont(big);
    aboutLayout->addWidget(title);
    aboutLayout->addLayout(about);
    aboutLayout->addWidget(memo1_);
    pageControl1_->addTab(tab1, Title("&About"));

    // Language
    auto* tab2 = new QWidget;
    tab2->setObjectName(QStringLiteral("TabSheet2"));
    auto* language = new QFormLayout(tab2);
    lblTransAuthor_ = AddLink(tab2, "LblTransAuthor");
    lblTransWebPage_ = AddLink(tab2, "LblTransWebPage");
    language->addRow(Title("English text :"), lblTransAuthor_);
    language->addRow(Title("More info at :"), lblTransWebPage_);
    pageControl1_->addTab(tab2, Title("&Language"));

    // Plug-in
    auto* tab3 = new QWidget;
    tab3->setObjectName(QStringLiteral("TabSheet3"));
    auto* plugin = new QFormLayout;
    lblPlugInFileName_ = AddLabel(tab3, "LblPlugInFileName");
    lblPluginVersion_ = AddLabel(tab3, "LblPluginVersion");
    lblPluginWebPage_ = AddLink(tab3, "LblPluginWebPage");
    lblPluginAuthor_ = AddLink(tab3, "LblPluginAuthor");
    plugin->addRow(Title("File name :"), lblPlugInFileName_);
    plugin->addRow(Title("Version :"), lblPluginVersion_);
    plugin->addRow(Title("Web page :"), lblPluginWebPage_);
    plugin->addRow(Title("Author :"), lblPluginAuthor_);
    memoPlugin_ = Memo(tab3, "MemoPlugin");
    auto* pluginLayout = new QVBoxLayout(tab3);
    pluginLayout->addLayout(plugin);
    pluginLayout->addWidget(memoPlugin_);
    pageControl1_->addTab(tab3, Title("&Plug in"));

    // Datafile
    auto* tab4 = new QWidget;
    tab4->setObjectName(QStringLiteral("TabSheet4"));
    auto* dat = new QFormLayout;
    lblDatName_ = AddLabel(tab4, "LblDatName");
    lblDatAuthor_ = AddLink(tab4, "LblDatAuthor");
    lblDatWebPage_ = AddLink(tab4, "LblDatWebPage");
    lblDatVersion_ = AddLabel(tab4, "LblDatVersion");
    lblDatDate_ = AddLabel(tab4, "LblDatDate");
    lblDatPlugin_ = AddLabel(tab4, "LblDatPlugin");
    lblDatRefName_ = AddLabel(tab4, "LblDatRefName");
    lblDatEmul_ = AddLabel(tab4, "LblDatEmul");
    dat->addRow(Title("Name :"), lblDatName_);
    dat->addRow(Title("Author :"), lblDatAuthor_);
    dat->addRow(Title("Web page :"), lblDatWebPage_);
    dat->addRow(Title("Version :"), lblDatVersion_);
    dat->addRow(Title("Date :"), lblDatDate_);
    dat->addRow(Title("Plug in :"), lblDatPlugin_);
    dat->addRow(Title("Rom type :"), lblDatRefName_);
    dat->addRow(Title("Emulator :"), lblDatEmul_);
    memoDat_ = Memo(tab4, "MemoDat");
    auto* datLayout = new QVBoxLayout(tab4);
    datLayout->addLayout(dat);
    datLayout->addWidget(memoDat_);
    pageControl1_->addTab(tab4, Title("&Datafile"));

    speedButton1_ = new QPushButton(Title("&OK"), this);
    speedButton1_->setObjectName(QStringLiteral("SpeedButton1"));
    speedButton1_->setDefault(true);
    connect(speedButton1_, &QPushButton::clicked, this, &QDialog::accept);

    dfsStatusBar1_ = new QStatusBar(this);
    dfsStatusBar1_->setObjectName(QStringLiteral("dfsStatusBar1"));
    dfsStatusBar1_->setSizeGripEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(speedButton1_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pageControl1_);
    layout->addLayout(buttons);
    layout->addWidget(dfsStatusBar1_);

    version_->setText(ui::ToQ(TConfig::CurrentVersion));
    release_->setText(ui::ToQ(ReleaseDate));
    resize(420, 420);
}

void TAboutFrm::SetLink(TmUrlLabel* label, const TLinkText& link) {
    label->setText(ui::ToQ(link.Caption));
    label->SetURL(ui::ToQ(link.Url));
}

void TAboutFrm::ShowTexts(const TAboutTexts& t) {
    version_->setText(ui::ToQ(t.Version));
    release_->setText(ui::ToQ(t.Release));
    SetLink(lblTransAuthor_, t.TransAuthor);
    SetLink(lblTransWebPage_, t.TransWebPage);

    lblPlugInFileName_->setText(ui::ToQ(t.PlugInFileName));
    lblPluginVersion_->setText(ui::ToQ(t.PluginVersion));
    SetLink(lblPluginWebPage_, t.PluginWebPage);
    SetLink(lblPluginAuthor_, t.PluginAuthor);
    memoPlugin_->setPlainText(ui::ToQ(t.PluginDescription));

    lblDatName_->setText(ui::ToQ(t.DatName));
    SetLink(lblDatAuthor_, t.DatAuthor);
    SetLink(lblDatWebPage_, t.DatWebPage);
    lblDatVersion_->setText(ui::ToQ(t.DatVersion));
    lblDatDate_->setText(ui::ToQ(t.DatDate));
    lblDatPlugin_->setText(ui::ToQ(t.DatPlugin));
    lblDatRefName_->setText(ui::ToQ(t.DatRefName));
    lblDatEmul_->setText(ui::ToQ(t.DatEmul));
    QStringList comment;
    for (const std::string& line : t.DatComment) comment << ui::ToQ(line);
    memoDat_->setPlainText(comment.join(QLatin1Char('\n')));
}

void TAboutFrm::FormShow() {
    TAboutPlugIn plugIn;
    if (PlugIn) plugIn = AboutPlugInOf(*PlugIn);
    TAboutDatafile datafile;
    if (Config && Config->DataFile) datafile = AboutDatafileOf(*Config->DataFile);
    ShowTexts(BuildAboutTexts(PlugIn ? &plugIn : nullptr, &datafile));
    pageControl1_->setCurrentIndex(0);
}

void TAboutFrm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

bool TAboutFrm::eventFilter(QObject* watched, QEvent* event) {
    if (auto* link = qobject_cast<TmUrlLabel*>(watched)) {
        if (event->type() == QEvent::Enter)
            dfsStatusBar1_->showMessage(link->URL());
        else if (event->type() == QEvent::Leave)
            dfsStatusBar1_->clearMessage();
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace qm
