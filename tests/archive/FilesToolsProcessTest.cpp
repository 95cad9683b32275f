#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "archive/FilesTools.h"
#include "platform/UiHooks.h"
#include "support/TestSupport.h"

using namespace qm;
using qm::test::FileExists;
using qm::test::ReadFile;
using qm::test::TTempDir;
using qm::test::WriteFile;

namespace {

bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 500 && !FileExists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return FileExists(path);
}

}  // namespace

TEST(RunProgram, ExitCodesAndFailures) {
    TScriptedUiHooks hooks;
    TScopedUiHooks scope(hooks);
    int restored = 0;
    SetRestoreMainWindowHook([&] { ++restored; });
    EXPECT_EQ(RunProgramWithArgs("/bin/true", {}, true), 0);
    EXPECT_EQ(RunProgramWithArgs("/bin/sh", {"-c", "exit 3"}, true), 3);
    EXPECT_EQ(RunProgramWithArgs("/bin/sh", {"-c", "kill -9 $$"}, true), kRunFailed);  // no exit code
    EXPECT_EQ(restored, 3);
    EXPECT_EQ(RunProgramWithArgs("/no/such/program", {}, true), kRunFailed);
    EXPECT_EQ(RunProgram("", true), kRunFailed);
    EXPECT_EQ(restored, 3);  // nothing started, nothing restored
    // The window keeps processing messages while the child runs.
    hooks.processMessagesCalls = 0;
    EXPECT_EQ(RunProgramWithArgs("/bin/sh", {"-c", "sleep 0.3"}, true), 0);
    EXPECT_GT(hooks.processMessagesCalls, 0);
    SetRestoreMainWindowHook(nullptr);
}

TEST(RunProgram, WithoutWaitTheProgramRunsAndTheResultIsTheFailureValue) {
    TTempDir dir;
    EXPECT_EQ(RunProgramWithArgs("/bin/sh", {"-c", "echo ran > done.txt"}, false, true, dir.Path()), kRunFailed);
    EXPECT_TRUE(WaitForFile(dir / "done.txt"));
}

TEST(RunProgram, ArgumentsReachTheProgramUnchanged) {
    TTempDir dir;
    WriteFile(dir / "args.sh", "for a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$OUT\"\n");
    const std::string script = dir / "args.sh";
    ::setenv("OUT", (dir / "out1").c_str(), 1);
    // An argument list: blanks, quotes and shell characters pass as they are.
    EXPECT_EQ(RunProgramWithArgs("/bin/sh", {script, "a b", "c\"d", "it's", "$HOME", "*", ""}, true), 0);
    EXPECT_EQ(ReadFile(dir / "out1"), "[a b][c\"d][it's][$HOME][*][]");

    // A command line is split into words first: double quotes group, "" inside quotes is
    // one quote, nothing is expanded.
    ::setenv("OUT", (dir / "out2").c_str(), 1);
    EXPECT_EQ(RunProgram("/bin/sh \"" + script + "\" plain \"two words\" \"say \"\"hi\"\"\" $HOME x\"y z\"", true), 0);
    EXPECT_EQ(ReadFile(dir / "out2"), "[plain][two words][say \"hi\"][$HOME][xy z]");
    ::unsetenv("OUT");

    // The working folder is given to the child; ours does not change.
    const std::string before = std::filesystem::current_path().string();
    EXPECT_EQ(RunProgramWithArgs("/bin/sh", {"-c", "pwd > where.txt"}, true, false, dir.Path()), 0);
    EXPECT_EQ(ReadFile(dir / "where.txt"), std::filesystem::canonical(dir.Path()).string() + "\n");
    EXPECT_EQ(std::filesystem::current_path().string(), before);
}

TEST(ShellExecuteAndWait, OpensThroughTheDesktopHook) {
    std::vector<std::string> opened;
    bool accept = true;
    SetShellOpenHook([&](const std::string& target) {
        opened.push_back(target);
        return accept;
    });
    EXPECT_EQ(ShellExecuteAndWait("http://example.org/game?id=1", "", "", 1, false), 1);
    EXPECT_EQ(opened, std::vector<std::string>{"http://example.org/game?id=1"});
    accept = false;
    try {
        ShellExecuteAndWait("http://example.org/", "", "", 1, false);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "There is no application associated with the given filename extension.");
    }
    try {
        ShellExecuteAndWait("/no/such/help.html", "", "", 1, false);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "The specified file was not found.");
    }
    EXPECT_EQ(opened.size(), 2u);
    SetShellOpenHook(nullptr);

    // With parameters the file is run as a program.
    EXPECT_EQ(ShellExecuteAndWait("/bin/sh", "-c \"exit 4\"", "", 1, true), 4);
    EXPECT_THROW(ShellExecuteAndWait("nosuchprogram-qm", "-x", "", 1, true), Exception);
}
