// The main window's own commands: help pages, quitting, and a close while busy; and
// the program as start-up builds it, driven through its actions, keys and drops: the
// splitter from one start to the next, the set modes, the filter box, Play, the
// preferences, the reports, the menus, the datafile manager and the folder dialog.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <cerrno>
#include <QCloseEvent>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QRadioButton>
#include <QShowEvent>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <filesystem>

#include "platform/FileSystem.h"
#include "ui/AppTestSupport.h"
#include "ui/ProgramTestSupport.h"
#include "ui/commands/HelpPages.h"
#include "ui/Main.h"
#include "ui/MainStatusBar.h"
#include "ui/ScanFrm.h"
#include "ui/StartApplication.h"
#include "ui/About.h"
#include "commands/ReportTestSupport.h"
#include "ui/SubListMenu.h"
#include "ui/NameFilterBox.h"
#include "ui/controls/EditPath.h"
#include "ui/controls/ImageListBtn.h"
#include "ui/datafilefrm.h"
#include "ui/optionsfrm.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

using namespace qm;
using namespace qm::apptest;

namespace {

class MainWindowTest : public TProgramTest {
protected:
    void SetUp() override {
        test::WriteFile(home.Dats() + "test.dat", Datafile("testemu", {DatLine("alpha", "alpha", "a.bin", "AAAA")}));
        home.WriteIni(home.Dats() + "test.dat", "", "testemu", {});
    }
};

TEST_F(MainWindowTest, HelpContextsOpenTheirPages) {
    EXPECT_EQ(HelpPageName(kHelpContents), "index.html");
    EXPECT_EQ(HelpPageName(kHelpMainWindow), "main.html");
    EXPECT_EQ(HelpPageName(kHelpScanWindow), "scan.html");
    EXPECT_EQ(HelpPageName(4711), "index.html");
    // Every page a context names is installed.
    for (int context : {kHelpContents, kHelpMainWindow, kHelpPreferences, kHelpScanWindow, kHelpDatafileManager})
        EXPECT_TRUE(test::FileExists(std::string(QM_BIN_DIR) + "/help/" + HelpPageName(context))) << context;
    // The pages installed beside the program are found when the home has none.
    EXPECT_EQ(FindHelpFolder(home.dir / "help/", std::string(QM_BIN_DIR) + "/help/"), std::string(QM_BIN_DIR) + "/help/");
    test::WriteFile(home.dir / "help/index.html", "<html></html>");
    EXPECT_EQ(FindHelpFolder(home.dir / "help/", std::string(QM_BIN_DIR) + "/help/"), home.dir / "help/");
    EXPECT_EQ(FindHelpFolder(home.dir / "nothing/help/", ""), "");

    TMainFrm& main = Start();
    std::vector<std::string> opened;
    main.OpenUrl = [&](const std::string& url) { opened.push_back(url); };
    main.ActContents()->trigger();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], "file://" + (home.dir / "help/index.html"));
}

TEST_F(MainWindowTest, QuitSavesThePositionsAndACloseWhileBusyWaitsForTheCommand) {
    {
        TMainFrm& main = Start();
        main.resize(640, 480);
        // A close during a command stops the loading and waits for the command's end.
        bool closedDuringCommand = true;
        main.Dispatcher().Run([&] {
            main.close();
            closedDuringCommand = !main.isVisible();
            EXPECT_TRUE(main.Controller().RomsBd().Abort());
            EXPECT_TRUE(main.Controller().FilesBd().Paths().Abort);
        });
        EXPECT_FALSE(closedDuringCommand);
        EXPECT_FALSE(main.isVisible());
        windows.reset();
    }
    EXPECT_EQ(Config->ReadInteger("quarmelle", "MainWidth", 0), 640);
    EXPECT_EQ(Config->ReadInteger("quarmelle", "MainHeight", 0), 480);
    EXPECT_TRUE(Config->ValueExists("quarmelle", "DatFormWidth"));
    EXPECT_TRUE(Config->ValueExists("quarmelle", "ScanFormWidth"));
}

TEST_F(MainWindowTest, ClosingTheDatafileManagerRefreshesTheDatafileBox) {
    TMainFrm& main = Start();
    ASSERT_EQ(main.DatafilesCombo()->count(), 1);
    main.ActDatafileManager()->trigger();
    ASSERT_TRUE(main.DatafileForm()->isVisible());
    // The scan window is a window of its own, shown beside the main one.
    main.A(TActionId::ActScan)->trigger();
    EXPECT_TRUE(main.ScanFrm()->isVisible());
    EXPECT_EQ(main.ScanFrm()->parent(), nullptr);
    test::WriteFile(home.Dats() + "more.dat", Datafile("other", {}));
    main.DatafileForm()->hide();
    EXPECT_EQ(main.DatafilesCombo()->count(), 2);
    // The loaded datafile stays selected; nothing was loaded again.
    EXPECT_EQ(main.DatafilesCombo()->currentText().toStdString(), "test");
    EXPECT_EQ(main.Controller().CurrentDatafileName(), "test");
}

TEST_F(MainWindowTest, TheProgramStartsOncePerSettingsFile) {
    Start();
    ASSERT_TRUE(windows);
    EXPECT_TRUE(windows->MainFrm->isVisible());
    EXPECT_TRUE(windows->AboutFrm);
    EXPECT_TRUE(windows->ChangeCaseForm);
    EXPECT_TRUE(windows->FrmOptions);
    EXPECT_TRUE(windows->MainFrm->ActOptions()->isEnabled());
    EXPECT_EQ(windows->MainFrm->Controller().RomsBd().GameCount, 1);
    EXPECT_EQ(StartApplication(), nullptr);
}

TEST_F(MainWindowTest, AHomeThatCannotBeMadeStopsTheStartWithItsReason) {
    test::WriteFile(home.dir / "blocker", "a file where the home's parent should be");
    TScopedHome blocked(home.dir / "blocker/home");
    TGlobalConfig config(ProgramFile());
    EXPECT_EQ(StartApplication(), nullptr);
    // The settings file that cannot be read says so first; the start then stops on why.
    ASSERT_FALSE(hooks.shown.empty());
    EXPECT_EQ(hooks.shown.back().text,
              "The home folder " + home.dir / "blocker/home/" + " cannot be created: " + SysErrorMessage(ENOTDIR));
}

// A parent set and its clone; the clone also lists the parent's rom, so that each set
// mode keeps the collection in a layout of its own.
class MainProgramTest : public TProgramTest {
protected:
    enum TMode { Merged, Split, UnMerged };

    // The collection of mode, and the ini of a profile in that mode.
    void WriteCollection(TMode mode) {
        test::WriteFile(home.Dats() + "test.dat",
                        Datafile("testemu", {DatLine("pacman", "pacman", "p.bin", "PPPP"),
                                             DatLine("pacman", "puckman", "p.bin", "PPPP"),
                                             DatLine("pacman", "puckman", "q.bin", "QQQQQ")}));
        if (mode == Merged) {
            WriteZip(home.Roms() + "pacman.zip", {{"p.bin", "PPPP"}, {"q.bin", "QQQQQ"}});
        } else {
            WriteZip(home.Roms() + "pacman.zip", {{"p.bin", "PPPP"}});
            if (mode == Split)
                WriteZip(home.Roms() + "puckman.zip", {{"q.bin", "QQQQQ"}});
            else
                WriteZip(home.Roms() + "puckman.zip", {{"p.bin", "PPPP"}, {"q.bin", "QQQQQ"}});
        }
        home.WriteIni(home.Dats() + "test.dat", "", "testemu", {home.Roms()});
        std::string ini = test::ReadFile(home.Ini());
        ini += mode == Merged ? "Split=0\nMerge=0\n" : mode == Split ? "Split=1\nMerge=1\n" : "Split=1\nMerge=0\n";
        test::WriteFile(home.Ini(), ini);
    }

    TMainFrm& Main() { return *windows->MainFrm; }
    TQMVirtualTreeView& Tree() { return *Main().VTreeView(); }

    // The child of parent whose first cell is text, made when first asked for.
    QModelIndex Child(const QModelIndex& parent, const std::string& text) {
        QAbstractItemModel* model = Tree().model();
        if (model->canFetchMore(parent)) model->fetchMore(parent);
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex index = model->index(row, 0, parent);
            if (index.data().toString().toStdString() == text) return index;
        }
        return {};
    }
    QModelIndex GamesRoot() { return Child({}, TQMVirtualTreeView::GamesRootText()); }
    int ImageOf(const QModelIndex& index) { return Tree().Model()->Node(index)->Record.ImageIndex; }

    // Runs the preferences from the main window; act works the dialog once it shows.
    void RunPreferences(const std::function<void(TFrmOptions&)>& act) {
        TFrmOptions& form = *windows->FrmOptions;
        bool shown = false;
        QTimer::singleShot(0, &form, [&] {
            shown = form.isVisible();
            act(form);
            if (form.isVisible()) form.reject();
        });
        Main().ActOptions()->trigger();
        EXPECT_TRUE(shown);
    }
};

TEST_F(MainProgramTest, TheSplitterKeepsBothPanesFromOneStartToTheNext) {
    WriteCollection(UnMerged);
    QList<int> sizes;
    {
        TMainFrm& main = Start();
        main.resize(900, 600);
        auto* splitter = main.findChild<QSplitter*>("Splitter1");
        ASSERT_NE(splitter, nullptr);
        splitter->setSizes({250, 640});
        sizes = splitter->sizes();
        Quit();
    }
    ASSERT_GT(sizes[1], 0);
    TMainFrm& main = Start();
    EXPECT_EQ(main.findChild<QSplitter*>("Splitter1")->sizes(), sizes);
    // A collapsed pane is not kept: the next start shows both again.
    main.findChild<QSplitter*>("Splitter1")->setSizes({900, 0});
    Quit();
    TMainFrm& again = Start();
    EXPECT_EQ(again.findChild<QSplitter*>("Splitter1")->sizes(), sizes);
}

TEST_F(MainProgramTest, EachSetModeShowsEveryCloneUnderItsOwnNameWithItsRoms) {
    for (TMode mode : {Merged, Split, UnMerged}) {
        SCOPED_TRACE(mode);
        std::filesystem::remove_all(home.Roms());
        std::filesystem::create_directories(home.Roms());
        WriteCollection(mode);
        TMainFrm& main = Start();
        EXPECT_EQ(main.Status().Panel(4)->text().toStdString(),
                  mode == Merged ? " merged " : mode == Split ? " split " : " un-merged ");
        // The game holds both sets, each complete.
        const QModelIndex game = Child(GamesRoot(), "pacman game");
        ASSERT_TRUE(game.isValid());
        Tree().expand(game);
        for (const char* set : {"pacman game", "puckman game"}) {
            const QModelIndex clone = Child(game, set);
            ASSERT_TRUE(clone.isValid()) << set;
            EXPECT_EQ(ImageOf(clone) & 3, 2) << set;
        }
        // Show clones: each set by its own name, none of them missing.
        main.A(TActionId::ActDBClones)->trigger();
        EXPECT_EQ(Tree().RootItems().Count(), 2);
        const QModelIndex puckman = Child(GamesRoot(), "puckman game");
        ASSERT_TRUE(puckman.isValid());
        EXPECT_EQ(ImageOf(puckman) & 3, 2);
        EXPECT_EQ(Tree().MissingCount, 0);
        // The list shows the clone's roms.
        Tree().setCurrentIndex(puckman);
        std::vector<std::string> roms;
        for (const TChildItem& item : main.VListView()->ItemList()) roms.push_back(item.Text);
        EXPECT_NE(std::find(roms.begin(), roms.end(), "q.bin"), roms.end()) << ::testing::PrintToString(roms);
        Quit();
    }
}

TEST_F(MainProgramTest, EnterInTheFilterBoxAppliesItOnce) {
    WriteCollection(UnMerged);
    TMainFrm& main = Start();
    QComboBox* box = main.Actions().NameFilterBox();
    main.activateWindow();
    box->setFocus();
    QWidget* focused = QApplication::focusWidget() ? QApplication::focusWidget() : main.focusWidget();
    ASSERT_TRUE(focused == box || focused == box->lineEdit());
    box->lineEdit()->selectAll();
    QTest::keyClicks(focused, "puck*");
    int applied = 0;
    auto apply = main.NameFilter().OnApply;
    main.NameFilter().OnApply = [&](const std::string& pattern) {
        ++applied;
        apply(pattern);
    };
    QTest::keyClick(focused, Qt::Key_Return);
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(main.NameFilter().History().Entries().size(), 1u);
    main.A(TActionId::ActDBClones)->trigger();
    EXPECT_EQ(Tree().RootItems().Count(), 1);
}

// The status bar's counters and database line are the catalogue's whatever the window
// did since: a name filter typed and cleared, a game opened, the window minimised and
// restored, a game played.
TEST_F(MainProgramTest, TheCountersFollowTheCatalogueAfterFilterMinimiseAndPlay) {
    std::string dat = Datafile("testemu", {DatLine("pacman", "pacman", "p.bin", "PPPP"),
                                           DatLine("pacman", "puckman", "q.bin", "QQQQQ"),
                                           DatLine("galaga", "galaga", "g.bin", "GGGG"),
                                           DatLine("digdug", "digdug", "d1.bin", "DDDD"),
                                           DatLine("digdug", "digdug", "d2.bin", "EEEE")});
    // A bios set, after the games.
    const std::string s = "\xac";
    dat += "[RESOURCES]\n" + s + "neo" + s + "neo bios" + s + "neo" + s + "neo bios" + s + "n.bin" + s + Crc("NNNN") + s +
           "4" + s + s + s + "\n";
    test::WriteFile(home.Dats() + "test.dat", dat);
    std::filesystem::create_directories(home.Roms() + "pacman");
    test::WriteFile(home.Roms() + "pacman/p.bin", "PPPP");
    WriteZip(home.Roms() + "digdug.zip", {{"d1.bin", "DDDD"}});
    home.WriteIni(home.Dats() + "test.dat", "", "testemu", {home.Roms()});
    const std::string emulator = home.dir / "emu.sh";
    test::WriteFile(emulator, "#!/bin/sh\nexit 0\n");
    std::filesystem::permissions(emulator, std::filesystem::perms::owner_all);

    TMainFrm& main = Start();
    const auto shown = [&] {
        std::string text;
        for (int i = 0; i < 3; ++i) text += main.Status().Panel(i)->text().toStdString() + "/";
        return text + main.Status().TreeViewStatus()->text().toStdString();
    };
    const std::string catalogue = shown();
    // Missing (galaga, the bios), incomplete (pacman without q.bin, digdug), complete (none).
    EXPECT_EQ(catalogue, "2/2/0/Database: 3 games, 4 clones, 6 roms, 1 resources.");

    // The filter typed into the box and Enter: the counters are those of what it lists,
    // the database line stays the catalogue's; cleared, everything is counted again.
    QComboBox* box = main.Actions().NameFilterBox();
    main.activateWindow();
    box->setFocus();
    QWidget* focused = QApplication::focusWidget() ? QApplication::focusWidget() : box->lineEdit();
    box->lineEdit()->selectAll();
    QTest::keyClicks(focused, "gal*");
    QTest::keyClick(focused, Qt::Key_Return);
    EXPECT_EQ(Tree().RootItems().Count(), 1);
    const std::string filtered = shown();
    EXPECT_EQ(filtered.substr(0, filtered.find("/D")), "1/0/0") << filtered;  // galaga alone
    EXPECT_EQ(filtered.substr(filtered.find("/D")), catalogue.substr(catalogue.find("/D")));
    box->lineEdit()->selectAll();
    QTest::keyClicks(focused, "*");
    QTest::keyClick(focused, Qt::Key_Return);
    EXPECT_EQ(shown(), catalogue);

    // A game opened in the tree and shown in the list: its clones are not the catalogue.
    const QModelIndex pacman = Child(GamesRoot(), "pacman game");
    ASSERT_TRUE(pacman.isValid());
    Tree().expand(pacman);
    Tree().setCurrentIndex(pacman);
    EXPECT_EQ(shown(), catalogue);

    // Minimised and restored: the window is shown again.
    main.showMinimized();
    main.showNormal();
    QShowEvent show;
    QApplication::sendEvent(&main, &show);
    EXPECT_EQ(shown(), catalogue);

    // Play, on the game focused in the tree.
    Config->Emulator->SetExe(emulator);
    main.A(TActionId::ActPlayGame)->trigger();
    QApplication::sendEvent(&main, &show);
    EXPECT_EQ(shown(), catalogue) << ::testing::PrintToString(BoxTexts(hooks));
}

TEST_F(MainProgramTest, PlayRunsTheEmulatorOnASetKeptAsAFolder) {
    WriteCollection(UnMerged);
    std::filesystem::remove(home.Roms() + "pacman.zip");
    test::WriteFile(home.Roms() + "pacman/p.bin", "PPPP");
    const std::string emulator = home.dir / "emu.sh";
    const std::string out = home.dir / "args.txt";
    test::WriteFile(emulator, "#!/bin/sh\nprintf '%s|' \"$@\" > '" + out + "'\n");
    std::filesystem::permissions(emulator, std::filesystem::perms::owner_all);
    TMainFrm& main = Start();
    Config->Emulator->SetExe(emulator);
    Config->Emulator->SetRunParam("%1 %3");
    Tree().expand(GamesRoot());
    Tree().setCurrentIndex(Child(GamesRoot(), "pacman game"));
    main.A(TActionId::ActPlayGame)->trigger();
    EXPECT_EQ(test::ReadFile(out), "pacman|" + home.Roms() + "pacman|") << ::testing::PrintToString(BoxTexts(hooks));
}

TEST_F(MainProgramTest, PreferencesOpenOnTheirFirstPageAndStoreTheProfile) {
    WriteCollection(UnMerged);
    TMainFrm& main = Start();
    TFrmOptions& form = *windows->FrmOptions;
    form.PageControl()->setCurrentIndex(2);
    // Each section has its picture from the start.
    const QList<TImageListBtn*> icons = form.findChildren<TImageListBtn*>();
    EXPECT_EQ(icons.size(), 4);
    for (TImageListBtn* icon : icons) {
        ASSERT_NE(icon->Images(), nullptr);
        EXPECT_FALSE(icon->Images()->At(icon->PictureIndex()).isNull());
    }
    // The temporary folder (the system's) holds the rom path: no harm, the choice is taken.
    int page = -1;
    RunPreferences([&](TFrmOptions& f) {
        page = f.PageControl()->currentIndex();
        f.findChild<QRadioButton*>("Split")->setChecked(true);
        f.findChild<QLineEdit*>("RunCommand")->setText("-window");
        f.BtnOkClick();
    });
    EXPECT_EQ(page, 0);
    EXPECT_TRUE(hooks.shown.empty()) << ::testing::PrintToString(BoxTexts(hooks));
    EXPECT_TRUE(Config->Emulator->Merge());
    EXPECT_EQ(Config->Emulator->RunParam(), "-window%1");
    EXPECT_TRUE(Tree().Merged);
    EXPECT_TRUE(main.VListView()->Merged);

    // A temporary folder inside a rom path is refused, and says why.
    RunPreferences([&](TFrmOptions& f) {
        f.findChild<TEditPath*>("TempPath")->setText(QString::fromStdString(home.Roms()));
        f.BtnOkClick();
    });
    EXPECT_EQ(BoxTexts(hooks), std::vector<std::string>{"The temporary path can't be located under a rom path."});
    // Another temporary folder is taken, for the next start.
    hooks.shown.clear();
    const std::string temp = home.dir / "temp/";
    std::filesystem::create_directories(temp);
    RunPreferences([&](TFrmOptions& f) {
        f.findChild<TEditPath*>("TempPath")->setText(QString::fromStdString(temp));
        f.BtnOkClick();
    });
    EXPECT_EQ(BoxTexts(hooks), std::vector<std::string>{"The new temporary directory takes effect at the next start."});
    EXPECT_EQ(Config->GetTempPath(), temp);
}

TEST_F(MainProgramTest, TheReportHeaderNamesTheAllExceptMode) {
    WriteCollection(UnMerged);
    test::WriteFile(home.dir / "sublist/few.lst", "puckman\r\n");
    TMainFrm& main = Start();
    auto prompt = std::make_unique<test::TScriptedSavePrompt>();
    prompt->answer = home.dir / "have.txt";
    main.SetSaveFilePrompt(std::move(prompt));
    ASSERT_EQ(main.SubLists().FileActions().size(), 1u) << Config->GetSubListPath();
    main.SubLists().FileActions()[0]->trigger();
    main.A(TActionId::ActAllExcept)->trigger();
    main.A(TActionId::ActHave)->trigger();
    const std::string report = test::ReadFile(home.dir / "have.txt");
    EXPECT_NE(report.find("(all except few)"), std::string::npos) << report;
}

TEST_F(MainProgramTest, TheSkinDecidesWhetherTheMenusShowPictures) {
    WriteCollection(UnMerged);
    // Tool icons 24 pixels high do not fit the menus.
    QImage icons(15 * 24, 24, QImage::Format_RGB32);
    icons.fill(Qt::darkGreen);
    icons.setPixel(0, 23, qRgb(255, 0, 255));
    ASSERT_TRUE(icons.save(QString::fromStdString(home.dir / "skin/icons.bmp"), "BMP"));
    TMainFrm& main = Start();
    EXPECT_FALSE(main.A(TActionId::ActRefresh)->isIconVisibleInMenu());
    EXPECT_FALSE(main.A(TActionId::ActRefresh)->icon().isNull());
}

TEST_F(MainProgramTest, DropsAndTheFolderDialogAddRomPaths) {
    TOwnTempFolder temp;
    WriteCollection(UnMerged);
    TMainFrm& main = Start();
    const std::string more = home.dir / "more/";
    std::filesystem::create_directories(more);
    // A folder with a web link: nothing is added, and the user is told why.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(more)), QUrl("https://example.org/roms")});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Tree().viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Tree().viewport(), &drop);
    EXPECT_EQ(BoxTexts(hooks), std::vector<std::string>{"Drop directories in this view."});
    EXPECT_EQ(main.Controller().FilesBd().GetPathCount(), 1);
    // The folder dialog opens where the last one ended.
    std::vector<std::string> starts;
    main.ChooseFolder = [&](const std::string&, const std::string& start) {
        starts.push_back(start);
        return starts.size() == 1 ? more : std::string();
    };
    main.A(TActionId::ActAddPath)->trigger();
    main.A(TActionId::ActAddPath)->trigger();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0], home.Roms());
    EXPECT_EQ(starts[1], more);
    EXPECT_EQ(main.Controller().FilesBd().GetPathCount(), 2) << ::testing::PrintToString(BoxTexts(hooks));
}

TEST_F(MainProgramTest, TheDatafileManagerRunsItsCommandsThroughTheMainDispatcher) {
    WriteCollection(UnMerged);
    TMainFrm& main = Start();
    bool busyInside = false;
    main.DatafileForm()->ChooseDatafiles = [&] {
        busyInside = main.Dispatcher().Busy();
        return std::vector<std::string>{};
    };
    main.ActDatafileManager()->trigger();
    ASSERT_TRUE(main.DatafileForm()->isVisible());
    main.DatafileForm()->ActAdd()->trigger();
    EXPECT_TRUE(busyInside);
}

}  // namespace
