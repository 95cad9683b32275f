// Renders every window of the program on demo data into PNG files, so that a person
// can look at what a user sees. Run through tools/screenshots.sh (under Xvfb when it is
// installed, else on the offscreen platform).
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/config.h"
#include "catalogue/webreleases.h"
#include <QProcess>

#include "platform/UiHooks.h"
#include "platform/FileSystem.h"
#include "ui/About.h"
#include "ui/Main.h"
#include "ui/MainActions.h"
#include "ui/MainStatus.h"
#include "ui/ActionStates.h"
#include "ui/ChangeCaseFrm.h"
#include "ui/MameDatDlg.h"
#include "ui/ProgressFrm.h"
#include "ui/ScanFrm.h"
#include <QTimer>
#include <QTreeWidget>
#include "ui/SkinLoader.h"
#include "ui/SkinPainter.h"
#include "ui/SplashFrm.h"
#include "ui/optionsfrm.h"
#include "ui/controls/ALProgressBar.h"
#include "ui/controls/EditPath.h"
#include "ui/controls/ImageListBtn.h"
#include "ui/controls/mUrlLabel.h"
#include "ui/datafilefrm.h"
#include "ui/skin.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"
#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QMainWindow>
#include <QSplitter>
#include <QStatusBar>

namespace {

struct TShot {
    std::string name;
    std::function<QWidget*()> make;  // the window, shown and laid out
};

bool Save(QWidget* w, const QString& folder, const std::string& name) {
    w->show();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    const QString file = QDir(folder).filePath(QString::fromStdString(name) + ".png");
    const bool ok = w->grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", file.toLocal8Bit().constData());
    return ok;
}

// The main window after start-up on a demo: a generated datafile in a temporary home
// and a collection of part of its sets, made by the benchmark generators.
QWidget* MainWindowOnDemoData() {
    static QTemporaryDir demoHome;
    const QString home = demoHome.path() + "/";
    const QString bin = QCoreApplication::applicationDirPath() + "/";
    QDir().mkpath(home + "datas");
    QProcess::execute(bin + "gen_datafile", {"--games", "60", "--clones", "1", "--roms", "3", "--bios", "2",
                                             "--bios-users", "10", "--shared", "5", "--nodump", "3", "--baddump",
                                             "3", "--clashes", "2", home + "datas/demo.dat"});
    QProcess::execute(bin + "bench_scan", {home + "datas/demo.dat", home + "demo-roms", "--make", "24"});
    QFile ini(home + "quarmelle.ini");
    ini.open(QIODevice::WriteOnly);
    ini.write(("[quarmelle]\nPluginPath=" + bin + "plugin/\nLastDataFile=" + home +
               "datas/demo.dat\nLastZippedDataFile=\n[bench]\nRomPaths=[][]" + home + "demo-roms/|\n")
                  .toUtf8());
    ini.close();
    qputenv("QUARMELLE_HOME", home.toUtf8());
    // The beta notice and the other boxes of a start-up are answered silently.
    static qm::TScriptedUiHooks hooks;
    static qm::TScopedUiHooks scopedHooks(hooks);
    static qm::TGlobalConfig config((bin + "quarmelle").toStdString());
    auto* main = new qm::TMainFrm;
    main->FormCreate();
    main->resize(1000, 640);
    return main;
}

// A small collection for the tree and the list: a rom database of a few sets and one rom
// path of zips known only in memory, matched.
struct TViewDemo {
    QTemporaryDir home;
    qm::TRomsBd roms;
    qm::TFilesBd files;
    qm::TShownGames shownGames;
    qm::TShownClones shownClones;
    qm::TImageList flags = qm::DefaultFlagList();

    TViewDemo() {
        const char* sets[][9] = {
            {"pacman", "Pac-Man (Midway)", "pacman", "Pac-Man (Midway)", "pacman.6e", "c1e6ab10", "4096", "", ""},
            {"pacman", "Pac-Man (Midway)", "pacman", "Pac-Man (Midway)", "pacman.6f", "1a6fb2d4", "4096", "", ""},
            {"pacman", "Pac-Man (Midway)", "puckman", "Puck Man (Japan set 1)", "pacman.6e", "c1e6ab10", "4096", "pacman", "pacman.6e"},
            {"pacman", "Pac-Man (Midway)", "puckman", "Puck Man (Japan set 1)", "namcopac.6f", "39d1fc83", "4096", "pacman", ""},
            {"galaga", "Galaga (Namco rev. B)", "galaga", "Galaga (Namco rev. B)", "gg1_1b.3p", "ab036c9f", "4096", "", ""},
            {"galaga", "Galaga (Namco rev. B)", "galaga", "Galaga (Namco rev. B)", "gg1_2b.3m", "d9232240", "4096", "", ""},
            {"galaga", "Galaga (Namco rev. B)", "galagao", "Galaga (Namco)", "gg1-1.3p", "a3a0f743", "4096", "galaga", ""},
            {"xevious", "Xevious (Namco)", "xevious", "Xevious (Namco)", "xvi_1.3p", "09964dda", "4096", "", ""},
            {"digdug", "Dig Dug (rev 2)", "digdug", "Dig Dug (rev 2)", "dd1a.1", "a80ec984", "4096", "", ""},
            {"neogeo", "Neo-Geo", "neogeo", "Neo-Geo", "sp-s2.sp1", "9036d879", "131072", "", ""},
        };
        for (const auto& f : sets)
            roms.Datafile().AddItem(f[0], f[1], f[2], f[3], f[4], f[5], std::stoll(f[6]), f[7], f[8],
                                    std::string(f[0]) == "neogeo");
        roms.Split = true;
        roms.Build();
        files.SetRomsBd(&roms);
        files.SetSubmitRoms(true);
        files.SetCachePath(home.path().toStdString() + "/");
        QDir().mkpath(home.path() + "/roms");
        qm::TPath* path = files.AddPath(home.path().toStdString() + "/roms/", "", "");
        auto zip = [&](const char* name, std::vector<std::pair<const char*, const char*>> entries) {
            qm::TFile* file = path->NewFile(name, qm::fkZip, false);
            for (const auto& [rom, crc] : entries) file->AddRomFile(rom, crc, 0, 4096, "");
        };
        zip("pacman.zip", {{"pacman.6e", "c1e6ab10"}, {"pacman.6f", "1a6fb2d4"}});
        zip("puckman.zip", {{"namcopac.6f", "39d1fc83"}});
        zip("galaga.zip", {{"gg1_1b.3p", "ab036c9f"}, {"GG1_2B.3M", "d9232240"}});
        zip("xevios.zip", {{"xvi_1.3p", "09964dda"}});
        zip("unknown.zip", {{"readme.txt", "12345678"}});
        files.MatchAll();
        roms.RecalculateStatus();
        qm::TCloneItems all;
        roms.ListClones(all);
        for (const auto& [name, clone] : all) {
            shownClones.Add(name, clone);
            if (!shownGames.HasObject(clone->Game)) shownGames.Add(clone->Game->Name, clone->Game);
        }
    }
    template <class View>
    void Link(View& view) {
        view.RomsBd = &roms;
        view.FilesBd = &files;
        view.ShownGames = &shownGames;
        view.ShownClones = &shownClones;
        view.SplitMergeMode = qm::smManual;
        view.Split = true;
        view.Merged = false;
    }
    // The tree beside the list, as the main window places them, showing object.
    QWidget* Pair(const std::function<void(qm::TQMVirtualTreeView&, qm::TQMVirtualListView&)>& focus) {
        auto* splitter = new QSplitter;
        auto* tree = new qm::TQMVirtualTreeView;
        auto* list = new qm::TQMVirtualListView;
        splitter->addWidget(tree);
        splitter->addWidget(list);
        Link(*tree);
        Link(*list);
        tree->SetImages(&flags, true);
        list->SetImages(&flags, false);
        tree->SetQmVirtualListView(list);
        tree->Rebuild(false);
        tree->expandAll();
        focus(*tree, *list);
        splitter->resize(980, 300);
        splitter->setSizes({300, 680});
        return splitter;
    }
};

TViewDemo& ViewDemo() {
    static TViewDemo demo;
    return demo;
}

// The commands, filter bar, name filter and status bar around the tree and the list, as
// the main window lays them out, on the small collection with a game of the tree focused.
QWidget* CommandsAndStatusShot() {
    auto* window = new QMainWindow;
    auto* actions = new qm::TMainActions(window);
    auto* datafiles = new QComboBox;
    datafiles->addItem("demo");
    static const qm::TImageList icons = qm::DefaultToolsIconsList();
    actions->Build(window, datafiles, new QAction("&Content", window), new QAction("&About", window));
    actions->SetImages(icons, ViewDemo().flags);
    for (qm::TActionId id : {qm::TActionId::ActDBPlayable, qm::TActionId::ActDBIncomplete,
                             qm::TActionId::ActDBMissing, qm::TActionId::ActDBSets})
        actions->Action(id)->setChecked(true);
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    QWidget* pair = ViewDemo().Pair([](qm::TQMVirtualTreeView& tree, qm::TQMVirtualListView&) {
        tree.setCurrentIndex(tree.Model()->index(0, 0));
    });
    layout->addWidget(pair, 1);
    auto* status = new qm::TMainStatusBar(window->statusBar(), central);
    auto* lines = new QHBoxLayout;
    lines->addWidget(status->TreeViewStatus(), 1);
    lines->addWidget(status->ListViewStatus(), 2);
    layout->addLayout(lines);
    window->setCentralWidget(central);
    status->SetGlyphs(ViewDemo().flags);
    auto* tree = pair->findChild<qm::TQMVirtualTreeView*>();
    auto* list = pair->findChild<qm::TQMVirtualListView*>();
    list->selectionModel()->setCurrentIndex(list->Model()->index(0, 0),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    qm::TItemTextSource item;
    item.Object = list->GetFocusedObject();
    item.ListSelectedCount = list->SelectedCount();
    item.EmulatorSplit = true;
    status->SetItemText(qm::ItemStatusText(item));
    qm::TStatusTexts texts = qm::StatusBarTexts(*list, nullptr);
    texts.Mode = qm::ModePanelText(true, false);
    texts.Emulator = qm::EmulatorPanelText("/usr/games/mame");
    status->SetTexts(texts);
    status->SetCounters(qm::StatusCounterTexts(*tree));
    status->SetDatabaseInfo(qm::DatabaseInfoText(*tree));
    qm::ApplyActionStates(*actions, qm::ComputeActionStates(qm::SelectionOfViews(true, tree, list)));
    window->resize(1000, 520);
    return window;
}

// The preferences dialog on one page, over settings of a demo home with an open
// datafile's profile and a filled archive folder.
QWidget* OptionsShot(int page) {
    static QTemporaryDir home;
    // Kept to the end of the process, past the settings' own static objects.
    static qm::TGlobalConfig* config = nullptr;
    // Pictures must go before the application object does: never freed.
    static auto* icons = new qm::TImageList;
    if (!config) {
        const std::string root = home.path().toStdString() + "/";
        qputenv("QUARMELLE_HOME", QByteArray::fromStdString(root + "home/"));
        config = new qm::TGlobalConfig(root + "bin/quarmelle");
        qm::MakeDirs(root + "roms/mame/");
        qm::MakeDirs(root + "archive/pacman/");
        for (const char* f : {"archive/galaga.zip", "archive/pacman/pacman.6e"})
            std::ofstream(root + f) << std::string(150000, 'x');
        qm::Config->SetArchivePath(root + "archive/");
        qm::Config->EmulatorSection = "mame";
        qm::Config->DataFileOpen = true;
        qm::Config->Emulator->WriteMissingDefaults(true, true);
        qm::Config->Emulator->ReadFromIni();
        qm::Config->Emulator->SetExe("/usr/games/mame");
        qm::Config->Emulator->SetRunParam("%1 -window");
        qm::Config->Emulator->SetSetsCase(qm::coLowercase);
        qm::Config->Emulator->RomPaths().AddPath(root + "roms/mame/", "roms", "1234-abcd");
        const QColor colours[] = {QColor(200, 150, 40), QColor(60, 120, 200), QColor(80, 160, 80),
                                  QColor(160, 60, 160)};
        for (const QColor& c : colours) {
            QPixmap pm(32, 32);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            p.setBrush(c);
            p.setPen(c.darker());
            p.drawRoundedRect(3, 6, 26, 20, 4, 4);
            icons->Add(pm);
        }
    }
    // One dialog for every page, kept like the settings.
    static qm::TFrmOptions* form = nullptr;
    if (!form) {
        form = new qm::TFrmOptions;
        form->SetIcons(icons);
    }
    form->PageControl()->setCurrentIndex(page);
    return form;
}


// The scan window over the view demo's catalogue, with a few dropped files listed as a
// drop would list them (their roms given by hand: the demo's signatures are made up).
QWidget* ScanWindowShot() {
    static QTemporaryDir dropped;
    static qm::TArchiveManager manager;
    static qm::TSignatureCalculator calc;
    TViewDemo& demo = ViewDemo();
    const std::string in = dropped.path().toStdString() + "/";
    QDir().mkpath(QString::fromStdString(in + "galaga"));
    for (const char* name : {"puckman.zip", "xevious.zip", "dd1a.1"}) std::ofstream(in + name) << "demo";
    auto* frm = new qm::TScanFrm(demo.roms, calc, manager, demo.files);
    qm::TPath* path = frm->Session().FilesBdLocal().AddPath(in, "", "");
    const auto add = [&](const char* name, uint8_t kind, std::vector<std::pair<const char*, const char*>> roms) {
        qm::TFile* file = path->NewFile(name, kind, false);
        file->Date = (44 << 25) | (5 << 21) | (1 << 16);  // 2024-05-01
        for (const auto& [rom, crc] : roms) file->AddRomFile(rom, crc, 0, 4096, "");
    };
    add("galaga", qm::fkFolder, {{"gg1_1b.3p", "ab036c9f"}, {"gg1-1.3p", "a3a0f743"}});
    add("puckman.zip", qm::fkZip, {{"pacman.6e", "c1e6ab10"}, {"namcopac.6f", "39d1fc83"}});
    add("xevious.zip", qm::fkZip, {{"xvi_1.3p", "09964dda"}});
    add("dd1a.1", qm::fkPlain, {{"dd1a.1", "a80ec984"}});
    // Showing the window refreshes it: the nodes are opened after that.
    QTimer::singleShot(0, frm, [frm] { frm->ScanTreeView()->expandAll(); });
    frm->resize(560, 360);
    return frm;
}
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(folder);

    qm::TProgressFrm progress;
    std::vector<TShot> shots = {
        {"progress-window",
         [&] {
             progress.SetTitle("Scanning rom paths");
             progress.Start(nullptr);
             progress.SetMax(100);
             progress.SetPosition(62);
             progress.Form()->WaitInfo()->setText("Scanning /roms/mame/pacman.zip");
             return static_cast<QWidget*>(progress.Form());
         }},
        {"controls",
         [] {
             auto* w = new QWidget;
             auto* layout = new QVBoxLayout(w);
             auto* edit = new qm::TEditPath;
             edit->setText("/home/user/roms/");
             auto* disabled = new qm::TEditPath;
             disabled->setText("/tmp/");
             disabled->setEnabled(false);
             auto* link = new qm::TmUrlLabel;
             link->setText("https://example.test/");
             link->SetURL("https://example.test/");
             auto* bar = new qm::TALProgressBar;
             bar->setMinimumHeight(20);
             layout->addWidget(edit);
             layout->addWidget(disabled);
             layout->addWidget(link);
             layout->addWidget(bar);
             w->resize(320, 140);
             return w;
         }},
        {"options-general", [] { return OptionsShot(0); }},
        {"options-romsets", [] { return OptionsShot(1); }},
        {"options-fix", [] { return OptionsShot(2); }},
        {"splash-window",
         [] {
             auto* splash = new qm::TSplashForm;
             splash->show();
             splash->SetVersionText("MAME 0.97");
             splash->SetInfoText("Loading /home/user/roms/mame/ (1204 files)");
             splash->SetProgress(37);
             return static_cast<QWidget*>(splash);
         }},
        {"skin-browser", [] { return static_cast<QWidget*>(new qm::TSkinForm); }},
        {"default-skin",
         [] {
             // The painted default skin, three times its size, on white.
             auto* w = new QWidget;
             w->setStyleSheet("background: white");
             auto* layout = new QVBoxLayout(w);
             const qm::TImageList lists[] = {qm::DefaultFlagList(), qm::DefaultToolsIconsList()};
             for (const qm::TImageList& list : lists) {
                 QImage strip(list.Count() * 20, 16, QImage::Format_ARGB32);
                 strip.fill(Qt::white);
                 QPainter p(&strip);
                 for (int i = 0; i < list.Count(); ++i) p.drawPixmap(i * 20, 0, list.Get(i));
                 p.end();
                 auto* label = new QLabel;
                 label->setPixmap(QPixmap::fromImage(strip.scaled(strip.size() * 3)));
                 layout->addWidget(label);
             }
             return w;
         }},
        {"about-box",
         [] {
             auto* about = new qm::TAboutFrm;
             about->show();
             return static_cast<QWidget*>(about);
         }},
        {"about-datafile",
         [] {
             auto* about = new qm::TAboutFrm;
             about->show();
             qm::TAboutDatafile dat;
             dat.Name = "MAME 0.97";
             dat.Author = "Dat Maker";
             dat.Email = "maker@dat.example";
             dat.HomePage = "Dat Home";
             dat.Url = "www.dat.example/";
             dat.CreditsVersion = "0.97";
             dat.Date = "2005-06-01";
             dat.EmuVersion = "MAME 0.97";
             dat.RefName = "mame";
             dat.PlugIn = "arcade.dll";
             dat.Comment = {"Arcade games of MAME 0.97", "<b>shown as it stands</b>"};
             const qm::TAboutPlugIn plugIn{"arcade.dll", "1.0", "", "Quarmelle", "", "CRC32 of the whole file"};
             about->ShowTexts(qm::BuildAboutTexts(&plugIn, &dat));
             about->PageControl1()->setCurrentIndex(3);
             return static_cast<QWidget*>(about);
         }},
        {"change-case-dialog", [] { return static_cast<QWidget*>(new qm::TChangeCaseForm); }},
        {"datafile-manager",
         [] {
             // A home of its own with a datafile folder of demo files.
             static QTemporaryDir demo;
             qputenv("QUARMELLE_HOME", demo.path().toLocal8Bit());
             static qm::TGlobalConfig config;
             const QString datas = demo.path() + "/datas/";
             QDir().mkpath(datas + "Console");
             for (const char* name : {"mame 0.251.dat", "Raine 0.40.dat", "neogeo.dat", "Console/nes.dat",
                                      "Console/snes.txt"}) {
                 QFile file(datas + name);
                 file.open(QIODevice::WriteOnly);
                 file.write("demo");
             }
             qm::Config->SetDatafilePath(datas.toStdString());
             auto* form = new qm::TDatafileForm;
             form->resize(560, 340);
             return static_cast<QWidget*>(form);
         }},
        {"datafile-manager-web",
         [] {
             static QTemporaryDir demo;
             qputenv("QUARMELLE_HOME", demo.path().toLocal8Bit());
             static qm::TGlobalConfig config;
             auto* form = new qm::TDatafileForm;
             form->resize(760, 340);
             form->show();
             const char* rows[][6] = {
                 {"MAME", "Mame", "0.251", "43127", "Somebody", "2023-01-01"},
                 {"MAME", "Mame", "0.250", "42980", "Somebody", "2022-11-30"},
                 {"MAME", "Mame (bios sets)", "0.251", "112", "Somebody", "2023-01-02"},
                 {"Raine", "Raine", "0.40", "3300", "Another", "2004-05-01"},
             };
             for (const auto& row : rows) {
                 auto r = std::make_unique<qm::TWebRecord>();
                 r->SiteName = "Demo site";
                 r->SiteUrl = "http://dat.example/list.inf";
                 r->RomType = row[0];
                 r->Fields = {"1", row[1], row[2], row[3], row[4], "", "Full set", row[5]};
                 r->Url = "http://dat.example/mame.zip";
                 form->WebReleases().Releases.Add(std::move(r));
             }
             // The tab is switched without fetching: the demo has no update site.
             form->PageControl1()->blockSignals(true);
             form->PageControl1()->setCurrentWidget(form->TabWeb());
             form->PageControl1()->blockSignals(false);
             form->FillFolderCombo();
             form->FillReleaseTree();
             return static_cast<QWidget*>(form);
         }},
        {"mame-datafile-builder",
         [] {
             auto* dialog = new qm::TMameDatFrm;
             dialog->SetExeFile("/usr/games/mame");
             dialog->DatafileName()->setText("mame 0.251");
             dialog->Refname()->setText("mame");
             return static_cast<QWidget*>(dialog);
         }},
        {"tree-and-list-games",
         [] {
             return ViewDemo().Pair([](qm::TQMVirtualTreeView& tree, qm::TQMVirtualListView&) {
                 tree.setCurrentIndex(tree.Model()->index(0, 0));
             });
         }},
        {"tree-and-list-clone-roms",
         [] {
             return ViewDemo().Pair([](qm::TQMVirtualTreeView& tree, qm::TQMVirtualListView&) {
                 tree.FocusObject(ViewDemo().roms.Games().FindClone("puckman"));
             });
         }},
        {"tree-and-list-files",
         [] {
             return ViewDemo().Pair([](qm::TQMVirtualTreeView& tree, qm::TQMVirtualListView& list) {
                 tree.setCurrentIndex(tree.Model()->index(1, 0));
                 list.DoHeaderClick(2);
             });
         }},
        {"commands-and-status", [] { return CommandsAndStatusShot(); }},
        {"main-window", [] { return MainWindowOnDemoData(); }},
        {"scan-window", [] { return ScanWindowShot(); }},
    };
    int failed = 0;
    for (const TShot& shot : shots)
        if (!Save(shot.make(), folder, shot.name)) ++failed;
    return failed == 0 ? 0 : 1;
}
