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
#include "ui/MainStatusBar.h"
#include "ui/ViewActionStates.h"
#include "ui/ChangeCaseFrm.h"
#include "ui/MameDatDlg.h"
#include "ui/ProgressFrm.h"
#include "ui/ScanFrm.h"
#include <QTimer>
#include <QTreeWidget>
#include "ui/SkinLoader.h"
#include "ui/SkinPainter.h"
#include "ui/SplashFrm.h"
#include "ui/StartApplication.h"
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

// The program as tools/run.sh starts it: a generated datafile in a home of its own and
// a collection of part of its sets written by the benchmark generator in layout, with a
// profile of mode. The windows are those start-up builds; nothing here draws.
struct TProgramRun {
    QTemporaryDir dir;
    std::unique_ptr<qm::TGlobalConfig> config;
    std::unique_ptr<qm::TApplicationWindows> windows;

    TProgramRun(const char* mode, const char* layout) {
        const QString home = dir.path() + "/";
        const QString bin = QCoreApplication::applicationDirPath() + "/";
        QDir().mkpath(home + "datas");
        QProcess::execute(bin + "gen_datafile", {"--games", "60", "--clones", "1", "--roms", "3", "--bios", "2",
                                                 "--bios-users", "10", "--shared", "5", "--nodump", "3",
                                                 "--baddump", "3", "--clashes", "2", home + "datas/demo.dat"});
        QProcess::execute(bin + "bench_scan",
                          {home + "datas/demo.dat", home + "demo-roms", "--mode", layout, "--make", "24"});
        const std::string profile = std::string(mode) == "merged" ? "Split=0\nMerge=0\n"
                                    : std::string(mode) == "split" ? "Split=1\nMerge=1\n"
                                                                   : "Split=1\nMerge=0\n";
        QFile ini(home + "quarmelle.ini");
        ini.open(QIODevice::WriteOnly);
        ini.write(("[quarmelle]\nLastDataFile=" + home +
                   "datas/demo.dat\nLastZippedDataFile=\n[bench]\n" +
                   QString::fromStdString(profile) + "RomPaths=[][]" + home + "demo-roms/|\n")
                      .toUtf8());
        ini.close();
        qputenv("QUARMELLE_HOME", home.toUtf8());
        config = std::make_unique<qm::TGlobalConfig>((bin + "quarmelle").toStdString());
        windows = qm::StartApplication();
        Main().resize(1000, 640);
        // The first game with a clone opened, the clone's roms shown in the list.
        qm::TQMVirtualTreeView& tree = *Main().VTreeView();
        QAbstractItemModel& model = *tree.model();
        const QModelIndex root = model.index(0, 0);
        tree.expand(root);
        for (int row = 0; row < model.rowCount(root); ++row) {
            const QModelIndex game = model.index(row, 0, root);
            if (model.canFetchMore(game)) model.fetchMore(game);
            if (model.rowCount(game) < 2) continue;
            tree.expand(game);
            tree.setCurrentIndex(model.index(1, 0, game));
            break;
        }
    }
    // The rom path's root focused: the list shows its files.
    void FocusRomPath() {
        qm::TQMVirtualTreeView& tree = *Main().VTreeView();
        tree.setCurrentIndex(tree.model()->index(1, 0));
    }
    ~TProgramRun() {
        windows.reset();
        config.reset();
    }
    qm::TMainFrm& Main() { return *windows->MainFrm; }
    std::string Home() const { return dir.path().toStdString() + "/"; }
};

// The main window in each set mode, after a fix, with its preferences and its scan
// window; each run ends before the next one starts (one settings object at a time).
int ProgramShots(const QString& folder) {
    // The beta notice and the other boxes are answered: Yes to every question.
    static qm::TScriptedUiHooks hooks;
    static qm::TScopedUiHooks scopedHooks(hooks);
    int failed = 0;
    for (const char* mode : {"merged", "split", "unmerged"}) {
        TProgramRun run(mode, mode);
        if (!Save(&run.Main(), folder, std::string("main-window-") + mode)) ++failed;
        if (std::string(mode) != "unmerged") continue;
        qm::TFrmOptions& options = *run.windows->FrmOptions;
        const char* pages[] = {"preferences-general", "preferences-romsets", "preferences-fix"};
        for (int page = 0; page < 3; ++page) {
            options.show();
            options.PageControl()->setCurrentIndex(page);
            if (!Save(&options, folder, pages[page])) ++failed;
        }
        options.hide();
        // A few sets dropped on the scan window.
        const std::string dropped = run.Home() + "dropped/";
        qm::MakeDirs(dropped);
        const QStringList zips = QDir(QString::fromStdString(run.Home() + "demo-roms")).entryList({"*.zip"});
        QStringList names;
        for (int i = 0; i < zips.size() && i < 4; ++i) {
            names << QString::fromStdString(dropped) + zips[i];
            QFile::copy(QString::fromStdString(run.Home() + "demo-roms/") + zips[i], names.back());
        }
        run.Main().A(qm::TActionId::ActScan)->trigger();
        run.Main().ScanFrm()->handleDropped(names);
        run.Main().ScanFrm()->resize(640, 400);
        if (!Save(run.Main().ScanFrm(), folder, "scan-window")) ++failed;
        run.Main().ScanFrm()->hide();
    }
    {
        // An un-merged profile over a merged collection: the whole rom path fixed.
        TProgramRun run("unmerged", "merged");
        run.FocusRomPath();
        if (!Save(&run.Main(), folder, "main-window-before-fix")) ++failed;
        hooks.dialogAnswers.assign(64, qm::mrYes);
        run.Main().A(qm::TActionId::ActFixGame)->trigger();
        hooks.dialogAnswers.clear();
        run.FocusRomPath();
        if (!Save(&run.Main(), folder, "main-window-after-fix")) ++failed;
    }
    return failed;
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
    };
    int failed = ProgramShots(folder);
    for (const TShot& shot : shots)
        if (!Save(shot.make(), folder, shot.name)) ++failed;
    return failed == 0 ? 0 : 1;
}
