// The Play command end to end: a recorder script stands in for the emulator and writes
// down its working folder and arguments; the window's minimise and restore are counted.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "catalogue/Emulator.h"
#include "catalogue/ProfileTestSupport.h"
#include "platform/UiHooks.h"
#include "ui/commands/GameLaunch.h"
#include "ui/GameLaunchTestSupport.h"

namespace qm::test {
namespace {

class TRecordingWindow : public ILaunchWindow {
public:
    std::vector<std::string> calls;
    void Minimize() override { calls.push_back("minimize"); }
    void Restore() override { calls.push_back("restore"); }
};

class GameLaunchTest : public ProfileTest {
protected:
    GameLaunchTest() : emulator_(Cfg()), launcher_(emulator_, &window_), hooksScope_(hooks_) {
        program_ = data_.Path() + "emu dir/emu.sh";
        WriteFile(program_,
                  "#!/bin/sh\n"
                  "{ printf '%s\\0' \"$(pwd)\"; for a in \"$@\"; do printf '%s\\0' \"$a\"; done; } > \"$0.log\"\n"
                  "exit 7\n");
        ::chmod(program_.c_str(), 0755);
        emulator_.SetExe(program_);
        emulator_.SetRunParam("%1 -file \"%3\"");
    }

    std::vector<std::string> Record() const {
        if (!FileExists(program_ + ".log")) return {};
        const std::string bytes = ReadFile(program_ + ".log");
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t i = 0; i < bytes.size(); ++i)
            if (bytes[i] == '\0') {
                fields.push_back(bytes.substr(start, i - start));
                start = i + 1;
            }
        return fields;
    }

    std::string program_;
    TEmulator emulator_;
    TRecordingWindow window_;
    TGameLauncher launcher_;
    TScriptedUiHooks hooks_;
    TScopedUiHooks hooksScope_;
};

TEST_F(GameLaunchTest, RunsThePlayableFileInTheEmulatorsFolder) {
    auto c = MakeLaunchCollection("unmerged");
    EXPECT_TRUE(launcher_.ActPlayGame(TCommandObject{}, LaunchObject(*c, "game:pacman")));
    EXPECT_EQ(launcher_.LastExitCode(), 7);
    EXPECT_EQ(Record(), (std::vector<std::string>{data_.Path() + "emu dir", "pacman", "-file",
                                                  LaunchRomPath(*c) + "pacman.zip"}));
    EXPECT_EQ(window_.calls, (std::vector<std::string>{"minimize", "restore"}));
    EXPECT_TRUE(hooks_.shown.empty());
    EXPECT_EQ(hooks_.busyDepth, 0);
    EXPECT_GT(hooks_.maxBusyDepth, 0);
}

TEST_F(GameLaunchTest, ListObjectComesBeforeTheTreeObject) {
    auto c = MakeLaunchCollection("unmerged");
    launcher_.ActPlayGame(LaunchObject(*c, "file:digdug.zip"), LaunchObject(*c, "game:pacman"));
    EXPECT_EQ(Record().back(), LaunchRomPath(*c) + "digdug.zip");
}

TEST_F(GameLaunchTest, NoPlayableFileAsksFirst) {
    auto c = MakeLaunchCollection("unmerged");
    // No: nothing runs, and nothing more is said.
    hooks_.dialogAnswers = {mrNo};
    EXPECT_FALSE(launcher_.ActPlayGame(TCommandObject{}, LaunchObject(*c, "game:digdug")));
    ASSERT_EQ(hooks_.shown.size(), 1u);
    EXPECT_EQ(hooks_.shown[0].text,
              "No playable files found for this game.\nYou need to create a new file, or fix an existing one.\n\n"
              "Continue anyway ?");
    EXPECT_EQ(hooks_.shown[0].type, TMsgDlgType::mtWarning);
    EXPECT_EQ(hooks_.shown[0].buttons, static_cast<unsigned>(mbYes | mbNo));
    EXPECT_TRUE(Record().empty());
    EXPECT_TRUE(window_.calls.empty());

    // Yes: the file that misses a rom is run anyway.
    hooks_.dialogAnswers = {mrYes};
    EXPECT_TRUE(launcher_.ActPlayGame(TCommandObject{}, LaunchObject(*c, "game:digdug")));
    EXPECT_EQ(Record().back(), LaunchRomPath(*c) + "digdug.zip");

    // Without any file, Yes runs the bare name so that the emulator looks for it.
    hooks_.dialogAnswers = {mrYes};
    EXPECT_TRUE(launcher_.ActPlayGame(LaunchObject(*c, "clone:puckman"), TCommandObject{}));
    EXPECT_EQ(Record(), (std::vector<std::string>{data_.Path() + "emu dir", "puckman", "-file", "puckman"}));
}

TEST_F(GameLaunchTest, RefusalsComeInTheirOrder) {
    auto c = MakeLaunchCollection("split");
    struct TCase {
        const char* exe;  // "@" stands for the data folder
        bool withObject;
        const char* message;
    } cases[] = {
        {"", true, "Go to preferences and select an emulator before playing a game."},
        {"   ", false, "Go to preferences and select an emulator before playing a game."},
        {"@nowhere/emu", false, "The emulator @nowhere/emu does not exist."},
        {"@emu dir/", true, "The emulator @emu dir/ does not exist."},
        {nullptr, false, "Select a game."},
    };
    for (const TCase& tc : cases) {
        SCOPED_TRACE(tc.message);
        hooks_.shown.clear();
        auto fill = [&](std::string text) {
            for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, data_.Path());
            return text;
        };
        emulator_.SetExe(tc.exe ? fill(tc.exe) : program_);
        TCommandObject other;
        other.Other = true;
        EXPECT_FALSE(launcher_.ActPlayGame(tc.withObject ? LaunchObject(*c, "game:pacman") : other, TCommandObject{}));
        ASSERT_EQ(hooks_.shown.size(), 1u);
        EXPECT_EQ(hooks_.shown[0].text, fill(tc.message));
        EXPECT_EQ(hooks_.shown[0].type, TMsgDlgType::mtWarning);
        EXPECT_TRUE(Record().empty());
        EXPECT_TRUE(window_.calls.empty());
    }
}

TEST_F(GameLaunchTest, EmulatorThatCannotStartStillRestoresTheWindow) {
    auto c = MakeLaunchCollection("unmerged");
    const std::string notRunnable = data_.Path() + "plain.txt";
    WriteFile(notRunnable, "not a program");
    ::chmod(notRunnable.c_str(), 0644);
    emulator_.SetExe(notRunnable);
    EXPECT_FALSE(launcher_.ActPlayGame(LaunchObject(*c, "file:pacman.zip"), TCommandObject{}));
    EXPECT_EQ(launcher_.LastExitCode(), kRunFailed);
    EXPECT_EQ(window_.calls, (std::vector<std::string>{"minimize", "restore"}));
    // The user hears that nothing was played.
    ASSERT_EQ(hooks_.shown.size(), 1u);
    EXPECT_EQ(hooks_.shown[0].text,
              "The emulator " + notRunnable + " could not be started or did not end normally.");
    EXPECT_EQ(hooks_.shown[0].type, TMsgDlgType::mtError);
}

}  // namespace
}  // namespace qm::test
