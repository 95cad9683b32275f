// The main window's own commands: help pages, quitting, and a close while busy.
#include <gtest/gtest.h>

#include <QAction>
#include <cerrno>
#include <QCloseEvent>
#include <QComboBox>

#include "platform/FileSystem.h"
#include "ui/AppTestSupport.h"
#include "ui/commands/HelpPages.h"
#include "ui/Main.h"
#include "ui/ScanFrm.h"
#include "ui/StartApplication.h"
#include "ui/About.h"
#include "ui/datafilefrm.h"

using namespace qm;
using namespace qm::apptest;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    THome home;
    TScopedHome scopedHome{home.Home()};
    TScriptedUiHooks hooks;
    TScopedUiHooks scopedHooks{hooks};

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
    EXPECT_EQ(FindHelpFolder(home.Home(), QM_BIN_DIR), std::string(QM_BIN_DIR) + "/help/");
    test::WriteFile(home.dir / "help/index.html", "<html></html>");
    EXPECT_EQ(FindHelpFolder(home.Home(), QM_BIN_DIR), home.dir / "help/");
    EXPECT_EQ(FindHelpFolder(home.dir / "nothing/", ""), "");

    TGlobalConfig config(ProgramFile());
    TMainFrm main;
    std::vector<std::string> opened;
    main.OpenUrl = [&](const std::string& url) { opened.push_back(url); };
    main.FormCreate();
    main.ActContents()->trigger();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], "file://" + (home.dir / "help/index.html"));
}

TEST_F(MainWindowTest, QuitSavesThePositionsAndACloseWhileBusyWaitsForTheCommand) {
    TGlobalConfig config(ProgramFile());
    {
        TMainFrm main;
        main.FormCreate();
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
    }
    EXPECT_EQ(Config->ReadInteger("quarmelle", "MainWidth", 0), 640);
    EXPECT_EQ(Config->ReadInteger("quarmelle", "MainHeight", 0), 480);
    EXPECT_TRUE(Config->ValueExists("quarmelle", "DatFormWidth"));
    EXPECT_TRUE(Config->ValueExists("quarmelle", "ScanFormWidth"));
}

TEST_F(MainWindowTest, ClosingTheDatafileManagerRefreshesTheDatafileBox) {
    TGlobalConfig config(ProgramFile());
    TMainFrm main;
    main.FormCreate();
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
    TGlobalConfig config(ProgramFile());
    std::unique_ptr<TApplicationWindows> windows = StartApplication();
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

}  // namespace
