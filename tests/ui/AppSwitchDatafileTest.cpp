// Switching datafiles from the datafile box: the working set is replaced, the rom paths
// of each emulator come back, a vanished file leaves an empty database, and a choice
// made from code never starts a load.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>
#include <algorithm>
#include <filesystem>

#include "ui/AppTestSupport.h"
#include "ui/Main.h"
#include "ui/ProgressFrm.h"

using namespace qm;
using namespace qm::apptest;

namespace {

class AppSwitchDatafileTest : public ::testing::Test {
protected:
    THome home;
    TScopedHome scopedHome{home.Home()};
    TScriptedUiHooks hooks;
    TScopedUiHooks scopedHooks{hooks};
    std::vector<std::string> log;
    std::string otherRoms = home.dir / "other/";

    void SetUp() override {
        test::WriteFile(home.Dats() + "First.dat", Datafile("firstemu", {DatLine("alpha", "alpha", "a.bin", "AAAA"),
                                                                         DatLine("beta", "beta", "b.bin", "BB")}));
        // The second datafile lies in a zip, with an inner path.
        const std::string second = Datafile("secondemu", {DatLine("gamma", "gamma", "c.bin", "CCC")});
        WriteZip(home.Dats() + "pack.zip", {{"sub/second.dat", second}, {"readme.txt", "hello"}});
        WriteZip(home.Roms() + "alpha.zip", {{"a.bin", "AAAA"}});
        std::filesystem::create_directories(otherRoms);
        WriteZip(otherRoms + "gamma.zip", {{"c.bin", "CCC"}});
        test::WriteFile(home.Ini(), "[quarmelle]\nLastDataFile=" + home.Dats() + "First.dat\n[firstemu]\nRomPaths=[][]" + home.Roms() +
                                        "|\n[secondemu]\nRomPaths=[][]" + otherRoms + "|\n");
    }

    int IndexOf(QComboBox* combo, const char* text) { return combo->findText(text); }

    // What the user does: picks an entry in the box.
    void Choose(TMainFrm& main, const char* text) {
        QComboBox* combo = main.DatafilesCombo();
        const int index = IndexOf(combo, text);
        ASSERT_GE(index, 0) << text;
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
};

TEST_F(AppSwitchDatafileTest, SwitchingTwiceReplacesTheDatabasesAndTheRomPaths) {
    TGlobalConfig config(ProgramFile());
    TMainFrm main;
    main.Controller().OnLog = [this](const std::string& line) { log.push_back(line); };
    main.FormCreate();
    TAppController& app = main.Controller();
    ASSERT_EQ(main.DatafilesCombo()->count(), 2);
    EXPECT_EQ(main.DatafilesCombo()->currentText().toStdString(), "first") << ::testing::PrintToString(BoxTexts(hooks));
    EXPECT_EQ(app.RomsBd().GameCount, 2);

    Choose(main, "second");
    EXPECT_EQ(app.CurrentDatafileName(), "second");
    EXPECT_EQ(Config->GetLastDataFile(), home.Dats() + "pack.zip");
    EXPECT_EQ(Config->GetLastZippedDataFile(), "sub/second.dat");
    EXPECT_EQ(app.RomsBd().GameCount, 1);
    ASSERT_EQ(app.FilesBd().GetPathCount(), 1);
    EXPECT_EQ(app.FilesBd().GetPath(0)->GetPath(), otherRoms);
    app.RomsBd().UpdateStatistics();
    EXPECT_EQ(app.RomsBd().GamesComplete, 1);
    // Each emulator keeps its own rom paths.
    EXPECT_NE(Config->ReadString("firstemu", "RomPaths", "").find(home.Roms()), std::string::npos);

    Choose(main, "first");
    EXPECT_EQ(app.CurrentDatafileName(), "first");
    EXPECT_EQ(app.RomsBd().GameCount, 2);
    ASSERT_EQ(app.FilesBd().GetPathCount(), 1);
    EXPECT_EQ(app.FilesBd().GetPath(0)->GetPath(), home.Roms());
    EXPECT_FALSE(main.ProgressFrm().Shown());
    EXPECT_TRUE(main.isEnabled());
    EXPECT_EQ(std::count(log.begin(), log.end(), "Datafile loaded."), 3);

    // The loaded entry again, in any case, does nothing.
    const size_t lines = log.size();
    app.DatafilesComboChange();
    EXPECT_EQ(log.size(), lines);
}

TEST_F(AppSwitchDatafileTest, AChoiceFromCodeOrWhileBusyLoadsNothing) {
    TGlobalConfig config(ProgramFile());
    TMainFrm main;
    main.FormCreate();
    QComboBox* combo = main.DatafilesCombo();
    const int second = IndexOf(combo, "second");
    combo->setCurrentIndex(second);  // from code: no load
    EXPECT_EQ(main.Controller().CurrentDatafileName(), "first");

    // While a command runs, a choice in the box is dropped and the box shows the
    // loaded datafile again.
    main.Dispatcher().Run([&] { emit combo->activated(second); });
    EXPECT_EQ(main.Controller().CurrentDatafileName(), "first");
    EXPECT_EQ(combo->currentText().toStdString(), "first");
    EXPECT_EQ(main.Controller().RomsBd().GameCount, 2);
}

TEST_F(AppSwitchDatafileTest, AVanishedDatafileLeavesAnEmptyDatabaseAndNoProfile) {
    TGlobalConfig config(ProgramFile());
    TMainFrm main;
    main.FormCreate();
    std::filesystem::remove(home.Dats() + "pack.zip");
    hooks.shown.clear();
    Choose(main, "second");
    ASSERT_FALSE(hooks.shown.empty());
    EXPECT_EQ(hooks.shown.back().text,
              "File Not Found.\nNo datafiles loaded. Choose a new file from the main window.");
    EXPECT_EQ(main.Controller().RomsBd().GameCount, 0);
    EXPECT_EQ(main.Controller().FilesBd().GetPathCount(), 0);
    // No emulator is in force: a later store of the (empty) path list cannot reach the
    // previous emulator's section.
    EXPECT_FALSE(main.Controller().DatafileOpen());
    Config->Emulator->RomPaths().SaveToIni();
    EXPECT_NE(Config->ReadString("firstemu", "RomPaths", "").find(home.Roms()), std::string::npos);
    EXPECT_TRUE(main.isEnabled());
    // Nothing stays half-selected: the box shows none and the commands that need a
    // datafile are off.
    EXPECT_EQ(main.DatafilesCombo()->currentIndex(), -1);
    EXPECT_FALSE(main.Actions().Action(TActionId::ActMiss)->isEnabled());
    // Once the file is back, choosing it loads it.
    WriteZip(home.Dats() + "pack.zip",
             {{"sub/second.dat", Datafile("secondemu", {DatLine("gamma", "gamma", "c.bin", "CCC")})}});
    Choose(main, "second");
    EXPECT_EQ(main.Controller().CurrentDatafileName(), "second");
    EXPECT_EQ(main.Controller().RomsBd().GameCount, 1);
    EXPECT_TRUE(main.Actions().Action(TActionId::ActMiss)->isEnabled());
}

TEST_F(AppSwitchDatafileTest, CancelWhileTheCatalogueLoadsLeavesNoDatafileOpen) {
    TGlobalConfig config(ProgramFile());
    TMainFrm main;
    main.FormCreate();
    main.Controller().OnLog = [&](const std::string& line) {
        if (line.rfind("Loading datafile ", 0) == 0) main.Controller().ProgressFrmCancel();
    };
    Choose(main, "second");
    EXPECT_EQ(main.DatafilesCombo()->currentIndex(), -1);
    EXPECT_EQ(main.Controller().CurrentDatafileName(), "");
    EXPECT_FALSE(Config->DataFileOpen);
    EXPECT_EQ(main.Controller().FilesBd().GetPathCount(), 0);
    EXPECT_FALSE(main.Controller().RomsBd().Abort());
    EXPECT_FALSE(main.Controller().FilesBd().Paths().Abort);
}

TEST_F(AppSwitchDatafileTest, AMissingPlugInIsAnErrorOfTheOpenAndLeavesNoDatafileLoaded) {
    std::string text = Datafile("secondemu", {DatLine("gamma", "gamma", "c.bin", "CCC")});
    text.replace(text.find("plugin=arcade.dll"), 17, "plugin=nothere.dll");
    WriteZip(home.Dats() + "pack.zip", {{"sub/second.dat", text}});
    TGlobalConfig config(ProgramFile());
    TMainFrm main;
    main.FormCreate();
    hooks.shown.clear();
    Choose(main, "second");
    ASSERT_FALSE(hooks.shown.empty());
    EXPECT_EQ(hooks.shown[0].text.rfind("Error while loading datafile second\n", 0), 0u) << hooks.shown[0].text;
    EXPECT_EQ(main.DatafilesCombo()->currentIndex(), -1);
    EXPECT_EQ(main.Controller().CurrentDatafileName(), "");
    EXPECT_EQ(main.Controller().RomsBd().GameCount, 0);
    EXPECT_EQ(main.Controller().FilesBd().GetPathCount(), 0);
    EXPECT_FALSE(main.Controller().DatafileOpen());
    // The emulator's stored paths are untouched.
    EXPECT_NE(Config->ReadString("secondemu", "RomPaths", "").find(otherRoms), std::string::npos);

    // Choosing the first datafile again works as before.
    Choose(main, "first");
    EXPECT_EQ(main.Controller().RomsBd().GameCount, 2);
    EXPECT_EQ(main.Controller().FilesBd().GetPathCount(), 1);
}

TEST_F(AppSwitchDatafileTest, ThePlugInNameOfADatafileIsReadWithoutRegardToCase) {
    TGlobalConfig config(ProgramFile());
    TMainFrm main;
    main.FormCreate();
    for (const char* name : {"ARCADE.DLL", "Arcade.dll", "arcade"}) {
        SCOPED_TRACE(name);
        std::string text = Datafile("secondemu", {DatLine("gamma", "gamma", "c.bin", "CCC")});
        text.replace(text.find("plugin=arcade.dll"), 17, std::string("plugin=") + name);
        WriteZip(home.Dats() + "pack.zip", {{"sub/second.dat", text}});
        hooks.shown.clear();
        Choose(main, "second");
        EXPECT_TRUE(hooks.shown.empty()) << hooks.shown[0].text;
        EXPECT_TRUE(main.Controller().CrcPlugIn().IsLoaded());
        EXPECT_EQ(main.Controller().RomsBd().GamesComplete, 1);
        Choose(main, "first");
    }
}

TEST_F(AppSwitchDatafileTest, AtStartUpAMissingPlugInLeavesTheWindowWithoutADatafile) {
    std::string text = Datafile("firstemu", {DatLine("alpha", "alpha", "a.bin", "AAAA")});
    text.replace(text.find("plugin=arcade.dll"), 17, "plugin=nothere.dll");
    test::WriteFile(home.Dats() + "First.dat", text);
    TGlobalConfig config(ProgramFile());
    std::vector<std::string> lines;  // outlives the window, which logs as it goes
    TMainFrm main;
    main.Controller().OnLog = [&](const std::string& line) { lines.push_back(line); };
    main.FormCreate();
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(main.DatafilesCombo()->currentIndex(), -1);
    EXPECT_FALSE(Config->DataFileOpen);
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "Datafile loaded."), lines.end());
    EXPECT_EQ(main.Controller().FilesBd().GetPathCount(), 0);
}

}  // namespace
