// The whole start-up of the main window on a temporary home: the last datafile, one rom
// path that is there and one that vanished, every box answered by script.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <algorithm>
#include <filesystem>

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <map>

#include "ui/AppTestSupport.h"
#include "platform/FileSystem.h"
#include "ui/Main.h"
#include "ui/MainStatusBar.h"
#include "ui/StartApplication.h"

using namespace qm;
using namespace qm::apptest;

namespace {

// Each expected line appears in lines, in this order (other lines may come between).
::testing::AssertionResult InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& expected) {
    size_t at = 0;
    for (const std::string& want : expected) {
        while (at < lines.size() && lines[at] != want) ++at;
        if (at == lines.size()) return ::testing::AssertionFailure() << "missing or out of order: " << want;
        ++at;
    }
    return ::testing::AssertionSuccess();
}

bool HasBoxStartingWith(const TScriptedUiHooks& hooks, const std::string& start) {
    return std::any_of(hooks.shown.begin(), hooks.shown.end(),
                       [&](const auto& s) { return s.text.rfind(start, 0) == 0; });
}

class MainStartUpTest : public ::testing::Test {
protected:
    THome home;
    TScopedHome scopedHome{home.Home()};
    TScriptedUiHooks hooks;
    TScopedUiHooks scopedHooks{hooks};
    std::vector<std::string> log;

    void WriteCollection(const std::string& refName) {
        test::WriteFile(home.Dats() + "test.dat",
                        Datafile(refName, {DatLine("alpha", "alpha", "a.bin", "AAAA"),
                                           DatLine("beta", "beta", "b.bin", "BBBBBB"),
                                           DatLine("gamma", "gamma", "c.bin", "CC")}));
        WriteZip(home.Roms() + "alpha.zip", {{"a.bin", "AAAA"}});
        WriteZip(home.Roms() + "beta.zip", {{"b.bin", "BBBBBB"}});
    }

    void Start(TMainFrm& main) {
        main.Controller().OnLog = [this](const std::string& line) { log.push_back(line); };
        main.FormCreate();
    }
};

TEST_F(MainStartUpTest, LoadsTheLastDatafileAndItsRomPathsAndDropsAVanishedOne) {
    WriteCollection("testemu");
    const std::string gone = home.dir / "gone/";
    home.WriteIni(home.Dats() + "test.dat", "", "testemu", {home.Roms(), gone});
    TGlobalConfig config(ProgramFile());
    ASSERT_EQ(Config->IniFileName, home.Ini());
    {
        TMainFrm main;
        Start(main);

        const std::string work = Config->DataFile->FileName;
        EXPECT_TRUE(InOrder(log, {"Welcome to Quarmelle 2.70 beta 5", "Loading datafile " + work, "Datafile loaded.",
                                  "Adding path " + home.Roms() + "...", "Path added.", "Adding path " + gone + "..."}));
        EXPECT_EQ(std::count(log.begin(), log.end(), "Path added."), 1);

        // The beta warning, then the vanished path's box; the stored list lost it only.
        EXPECT_TRUE(HasBoxStartingWith(hooks, "This release is a beta version"));
        EXPECT_TRUE(HasBoxStartingWith(hooks, "Error loading " + gone + ".") ||
                    HasBoxStartingWith(hooks, "Can't find rom directory " + gone))
            << ::testing::PrintToString(BoxTexts(hooks));
        EXPECT_EQ(Config->ReadString("testemu", "RomPaths", "").find(gone), std::string::npos);
        EXPECT_NE(Config->ReadString("testemu", "RomPaths", "").find(home.Roms()), std::string::npos);
        ASSERT_EQ(Config->Emulator->RomPaths().Count(), 1u);

        // Loaded counts: two of the three games are complete, the third is missing.
        TAppController& app = main.Controller();
        EXPECT_EQ(app.RomsBd().GameCount, 3);
        ASSERT_EQ(app.FilesBd().GetPathCount(), 1);
        EXPECT_EQ(app.FilesBd().GetPath(0)->Files().Count(), 2);
        app.RomsBd().UpdateStatistics();
        EXPECT_EQ(app.RomsBd().GamesComplete, 2);
        EXPECT_EQ(app.RomsBd().GamesMissing, 1);

        // The box names the loaded datafile; the window is up with its caption.
        EXPECT_EQ(main.DatafilesCombo()->currentText().toStdString(), "test");
        EXPECT_EQ(app.CurrentDatafileName(), "test");
        EXPECT_TRUE(main.isVisible());
        EXPECT_EQ(main.windowTitle().toStdString(), "Quarmelle 2.70 beta 5");
        EXPECT_EQ(app.XmlConfigParser().EmulatorRefName(), "testemu");
    }
    // Destroying the window says goodbye last and keeps the tool bars' layout.
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "Bye");
    EXPECT_FALSE(Config->ReadString("quarmelle", "ToolBars", "").empty());
}

TEST_F(MainStartUpTest, WithoutARecordedDatafileTheWindowStillComesUpEmpty) {
    WriteCollection("testemu");
    home.WriteIni("", "", "", {});
    TGlobalConfig config(ProgramFile());
    TMainFrm main;
    Start(main);
    EXPECT_TRUE(HasBoxStartingWith(hooks, "File Not Found.\nNo datafiles loaded. Choose a new file from the main window."));
    EXPECT_EQ(std::find(log.begin(), log.end(), "Datafile loaded."), log.end());
    EXPECT_EQ(main.Controller().FilesBd().GetPathCount(), 0);
    EXPECT_EQ(main.DatafilesCombo()->count(), 1);
    EXPECT_EQ(main.DatafilesCombo()->currentIndex(), -1);
    EXPECT_TRUE(main.isVisible());
}

TEST_F(MainStartUpTest, AnyReferenceNameHoldingMameIsMame) {
    struct Case {
        const char* refName;
        const char* expected;
    } cases[] = {{"MAME", "mame"}, {"xMaMe32", "mame"}, {"raine", "raine"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refName);
        WriteCollection(c.refName);
        home.WriteIni(home.Dats() + "test.dat", "", "", {});
        TGlobalConfig config(ProgramFile());
        TMainFrm main;
        Start(main);
        EXPECT_EQ(main.Controller().XmlConfigParser().EmulatorRefName(), c.expected);
    }
}

TEST_F(MainStartUpTest, SkipWhileAPathLoadsKeepsThePathEmptyAndListed) {
    WriteCollection("testemu");
    const std::string second = home.dir / "more/";
    std::filesystem::create_directories(second);
    WriteZip(second + "gamma.zip", {{"c.bin", "CC"}});
    home.WriteIni(home.Dats() + "test.dat", "", "testemu", {home.Roms(), second});
    TGlobalConfig config(ProgramFile());
    TMainFrm main;
    // Skip is pressed while the first path loads.
    bool pressed = false;
    main.Controller().OnLog = [&](const std::string& line) {
        log.push_back(line);
        if (line == "Adding path " + home.Roms() + "..." && !pressed) {
            pressed = true;
            main.Controller().CancelLoading();
        }
    };
    main.FormCreate();
    EXPECT_TRUE(HasBoxStartingWith(hooks, "Operation aborted, this path will be empty."))
        << ::testing::PrintToString(BoxTexts(hooks));
    EXPECT_EQ(Config->Emulator->RomPaths().Count(), 2u);
    ASSERT_EQ(main.Controller().FilesBd().GetPathCount(), 2);
    EXPECT_EQ(main.Controller().FilesBd().GetPath(0)->Files().Count(), 0);
    EXPECT_EQ(main.Controller().FilesBd().GetPath(1)->Files().Count(), 1);
}

// A config.xml with a fault after its first site and game page: what came before is
// kept, and one warning names the line and the reason.
TEST_F(MainStartUpTest, ABrokenConfigFileKeepsWhatWasReadAndSaysWhere) {
    WriteCollection("testemu");
    home.WriteIni(home.Dats() + "test.dat", "", "testemu", {home.Roms()});
    test::WriteFile(home.dir / "xml/config.xml",
                    "<quarmelleconfigfile>\n"
                    "<webupdate><site sitename=\"One\" url=\"http://one.test/list.inf\"/></webupdate>\n"
                    "<datafile referencename=\"testemu\">\n"
                    "<webgamepage caption=\"Info\" url=\"http://info.test/\"/>\n"
                    "<broken <\n"
                    "</quarmelleconfigfile>\n");
    TGlobalConfig config(ProgramFile());
    TMainFrm main;
    Start(main);
    const TQmXmlConfigParser& parser = main.Controller().XmlConfigParser();
    EXPECT_EQ(parser.WebUpdates.Count(), 1u);
    EXPECT_EQ(parser.Infos.Count(), 1u);
    std::vector<std::string> warnings;
    for (const auto& shown : hooks.shown)
        if (shown.text.rfind("Config file ", 0) == 0) warnings.push_back(shown.text);
    ASSERT_EQ(warnings.size(), 1u) << ::testing::PrintToString(BoxTexts(hooks));
    EXPECT_NE(warnings[0].find("(line 5)"), std::string::npos) << warnings[0];
}

// The cache folder was replaced by a file: no cache can be written, which is said once,
// and the rom path stays loaded and in the settings.
TEST_F(MainStartUpTest, ACacheThatCannotBeWrittenCostsNoRomPath) {
    WriteCollection("testemu");
    home.WriteIni(home.Dats() + "test.dat", "", "testemu", {home.Roms()});
    std::filesystem::remove_all(home.dir / "cache");
    test::WriteFile(home.dir / "cache", "not a folder");
    TGlobalConfig config(ProgramFile());
    TMainFrm main;
    Start(main);
    EXPECT_NE(Config->ReadString("testemu", "RomPaths", "").find(home.Roms()), std::string::npos);
    ASSERT_EQ(main.Controller().FilesBd().GetPathCount(), 1);
    EXPECT_EQ(main.Controller().FilesBd().GetPath(0)->Files().Count(), 2);
    const auto texts = BoxTexts(hooks);
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(), [](const std::string& t) { return t.rfind("Cannot write ", 0) == 0; }),
              1)
        << ::testing::PrintToString(texts);
    EXPECT_FALSE(HasBoxStartingWith(hooks, "Error loading "));
}

}  // namespace

TEST_F(MainStartUpTest, StoredRomPathsPassTheTemporaryPathRuleAndRefusedNamesAreLogged) {
    test::WriteFile(home.Dats() + "test.dat", Datafile("testemu", {DatLine("alpha", "alpha", "a.bin", "AAAA"),
                                                                   DatLine("../evil", "../evil", "e.bin", "EEEE")}));
    WriteZip(home.Roms() + "alpha.zip", {{"a.bin", "AAAA"}});
    // A rom folder inside the temporary folder the user chose, read from the ini file.
    const std::string chosenTemp = home.dir / "mytemp/";
    const std::string inTemp = chosenTemp + "roms/";
    qm::MakeDirs(inTemp);
    home.WriteIni(home.Dats() + "test.dat", "", "testemu", {home.Roms(), inTemp});
    TGlobalConfig config(ProgramFile());
    Config->SetTempPath(chosenTemp);
    TMainFrm main;
    Start(main);
    EXPECT_TRUE(HasBoxStartingWith(hooks, "A rom path can't be located on the temporary path."))
        << ::testing::PrintToString(BoxTexts(hooks));
    ASSERT_EQ(main.Controller().FilesBd().GetPathCount(), 1);
    EXPECT_EQ(Config->ReadString("testemu", "RomPaths", "").find(inTemp), std::string::npos);
    EXPECT_NE(std::find(log.begin(), log.end(), "Datafile: The name \"../evil\" is refused: it holds a \"..\" part."),
              log.end());
}

// A newcomer's first start, as the README's route makes it: a fresh user home, the demo
// and the settings that tools/demo.sh writes (no folder, no plug-in path), then the
// program's own start-up with every box answered OK. The demo's datafile must be open
// and its rom path scanned through the plug-in the program ships.
TEST(FirstStartTest, TheDemoOpensScannedThroughTheShippedPlugIn) {
    test::TTempDir user;
    test::TScopedEnv noHome("QUARMELLE_HOME", nullptr);
    test::TScopedEnv homeEnv("HOME", user.Path());
    test::TScopedEnv dataEnv("XDG_DATA_HOME", user / ".local/share");
    int exitCode = -1;
    const std::string out =
        test::RunCommand("bash " + test::ShellQuote(std::string(QM_SOURCE_DIR) + "/tools/demo.sh") + " " +
                             test::ShellQuote(QM_BIN_DIR) + " 2>&1",
                         &exitCode);
    ASSERT_EQ(exitCode, 0) << out;
    const std::string home = user / ".local/share/quarmelle/";
    ASSERT_TRUE(test::FileExists(home + "quarmelle.ini")) << out;
    ASSERT_FALSE(test::FileExists(std::string(QM_BIN_DIR) + "/quarmelle.ini"));

    TScriptedUiHooks hooks;
    TScopedUiHooks scopedHooks{hooks};
    for (int i = 0; i < 8; ++i) hooks.dialogAnswers.push_back(mrOk);
    RemoveTempDirectory();
    auto config = std::make_unique<TGlobalConfig>(ProgramFile());
    ASSERT_EQ(Config->IniFileName, home + "quarmelle.ini");
    std::unique_ptr<TApplicationWindows> windows = StartApplication();
    ASSERT_TRUE(windows);
    TMainFrm& main = *windows->MainFrm;

    // The beta box is the only one a first start shows.
    ASSERT_EQ(hooks.shown.size(), 1u) << ::testing::PrintToString(BoxTexts(hooks));
    EXPECT_EQ(hooks.shown[0].text.rfind("This release is a beta version", 0), 0u);
    EXPECT_EQ(main.DatafilesCombo()->currentText().toStdString(), "demo");
    TAppController& app = main.Controller();
    ASSERT_EQ(app.FilesBd().GetPathCount(), 1);
    EXPECT_EQ(app.FilesBd().GetPath(0)->Files().Count(), 24);

    // The status bar: the demo's counts and database line.
    TMainStatusBar& status = main.Status();
    EXPECT_EQ(status.TreeViewStatus()->text().toStdString(),
              "Database: 30 games, 60 clones, 186 roms, 2 resources.");
    EXPECT_EQ(status.Panel(0)->text().toStdString() + "/" + status.Panel(1)->text().toStdString() + "/" +
                  status.Panel(2)->text().toStdString(),
              "18/2/12");

    // The scan's record of the demo's bios lands in the home's cache, with its CRC.
    windows.reset();
    std::string caches;
    for (const auto& entry : std::filesystem::directory_iterator(home + "cache/"))
        caches += test::ReadFile(entry.path().string());
    EXPECT_NE(caches.find("bios0.zip"), std::string::npos) << caches.substr(0, 400);

    // A datafile the user copies into the datafile folder while the program is closed is
    // in the datafile box at the next start.
    config.reset();
    std::filesystem::copy_file(home + "datas/demo.dat", home + "datas/Extra.dat");
    config = std::make_unique<TGlobalConfig>(ProgramFile());
    windows = StartApplication();
    ASSERT_TRUE(windows);
    EXPECT_GE(windows->MainFrm->DatafilesCombo()->findText("extra"), 0);
    EXPECT_EQ(windows->MainFrm->DatafilesCombo()->currentText().toStdString(), "demo");
    windows.reset();
}

namespace {

// The accelerator of a menu text: the letter after a single "&", folded; 0 when none.
QChar Accelerator(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return text[i + 1].toLower();
    }
    return QChar();
}

}  // namespace

// What a user sees of the window as start-up builds it: no two items of one menu (menu
// bars, their menus and submenus, and the pop-ups of every window) share an accelerator,
// and the counter panels show five-digit counts whole.
TEST_F(MainStartUpTest, MenusNeverShareAnAcceleratorAndCountersFitFiveDigits) {
    WriteCollection("testemu");
    home.WriteIni(home.Dats() + "test.dat", "", "testemu", {home.Roms()});
    TGlobalConfig config(ProgramFile());
    TMainFrm main;
    Start(main);
    main.show();

    std::vector<QWidget*> owners;
    for (QWidget* top : QApplication::topLevelWidgets()) owners.push_back(top);
    int menus = 0;
    const auto check = [&](const QString& where, const QList<QAction*>& actions) {
        std::map<QChar, QString> taken;
        for (QAction* action : actions) {
            if (action->isSeparator() || !action->isVisible()) continue;
            const QChar key = Accelerator(action->text());
            if (key.isNull()) continue;
            const auto [it, fresh] = taken.emplace(key, action->text());
            EXPECT_TRUE(fresh) << where.toStdString() << ": \"" << it->second.toStdString() << "\" and \""
                               << action->text().toStdString() << "\"";
        }
        ++menus;
    };
    for (QWidget* owner : owners) {
        for (QMenuBar* bar : owner->findChildren<QMenuBar*>()) check(bar->objectName(), bar->actions());
        for (QMenu* menu : owner->findChildren<QMenu*>()) check(menu->title(), menu->actions());
        if (auto* menu = qobject_cast<QMenu*>(owner)) check(menu->title(), menu->actions());
    }
    EXPECT_GT(menus, 10);

    main.Status().SetCounters({"99999", "99999", "99999"});
    QApplication::processEvents();
    for (int i = 0; i < 3; ++i) {
        QLabel* panel = main.Status().Panel(i);
        EXPECT_GE(panel->width(), panel->fontMetrics().horizontalAdvance(panel->text())) << "panel " << i;
        EXPECT_GE(panel->width(), panel->minimumSizeHint().width()) << "panel " << i;
    }
}
