#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "archive/FilesTools.h"
#include "catalogue/Emulator.h"
#include "catalogue/config.h"
#include "ProfileTestSupport.h"

using namespace qm;
using namespace qm::test;

namespace {

class EmulatorTest : public ProfileTest {
protected:
    TEmulator& Emu() { return *Cfg().Emulator; }

    // A stand-in emulator that records its working folder and its arguments (each
    // ended by a NUL byte) beside itself, in "<program>.log".
    std::string MakeRecorder(const std::string& folder) {
        const std::string program = folder + "emu.sh";
        WriteFile(program,
                  "#!/bin/sh\n"
                  "{ printf '%s\\0' \"$(pwd)\"; for a in \"$@\"; do printf '%s\\0' \"$a\"; done; } > \"$0.log\"\n"
                  "exit 3\n");
        ::chmod(program.c_str(), 0755);
        return program;
    }
    static std::vector<std::string> Record(const std::string& program) {
        const std::string bytes = ReadFile(program + ".log");
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t i = 0; i < bytes.size(); ++i)
            if (bytes[i] == '\0') {
                fields.push_back(bytes.substr(start, i - start));
                start = i + 1;
            }
        return fields;
    }
};

}  // namespace

TEST_F(EmulatorTest, EverySetterWritesThrough) {
    Cfg().EmulatorSection = "mame";
    const struct {
        const char* key;
        void (TEmulator::*set)(bool);
        bool (TEmulator::*get)() const;
    } switches[] = {
        {"Split", &TEmulator::SetSplit, &TEmulator::Split},
        {"Merge", &TEmulator::SetMerge, &TEmulator::Merge},
        {"FixExtension", &TEmulator::SetFixExtension, &TEmulator::FixExtension},
        {"DoRenameFiles", &TEmulator::SetDoRenameFiles, &TEmulator::DoRenameFiles},
        {"DoRemoveRoms", &TEmulator::SetDoRemoveRoms, &TEmulator::DoRemoveRoms},
        {"DoFindRoms", &TEmulator::SetDoFindRoms, &TEmulator::DoFindRoms},
        {"DoRemoveFiles", &TEmulator::SetDoRemoveFiles, &TEmulator::DoRemoveFiles},
        {"DoRenameRoms", &TEmulator::SetDoRenameRoms, &TEmulator::DoRenameRoms},
        {"DoCreateDummy", &TEmulator::SetDoCreateDummy, &TEmulator::DoCreateDummy},
        {"DoReZip", &TEmulator::SetDoReZip, &TEmulator::DoReZip},
    };
    for (const bool value : {false, true}) {
        for (const auto& s : switches) {
            (Emu().*s.set)(value);
            EXPECT_EQ((Emu().*s.get)(), value) << s.key;
            EXPECT_TRUE(Has(Ini(), std::string(s.key) + "=" + (value ? "1" : "0") + "\n")) << s.key;
        }
    }
    Emu().SetExe("/opt/emu/mame");
    Emu().SetRunParam("%1 -rompath %3");
    EXPECT_TRUE(Has(Ini(), "Exe=/opt/emu/mame\n"));
    EXPECT_TRUE(Has(Ini(), "RunParam=%1 -rompath %3\n"));

    // Case codes outside 0..4: the field keeps the value, the file gets the fallback.
    const struct {
        int value;
        const char* setsLine;
        const char* romsLine;
    } cases[] = {{2, "SetsCase=2\n", "RomsCase=2\n"}, {7, "SetsCase=0\n", "RomsCase=4\n"},
                 {-1, "SetsCase=0\n", "RomsCase=4\n"}};
    for (const auto& c : cases) {
        Emu().SetSetsCase(c.value);
        Emu().SetRomsCase(c.value);
        EXPECT_EQ(Emu().SetsCase(), static_cast<TCaseOptions>(c.value));
        EXPECT_EQ(Emu().RomsCase(), static_cast<TCaseOptions>(c.value));
        EXPECT_TRUE(Has(Ini(), c.setsLine)) << c.value;
        EXPECT_TRUE(Has(Ini(), c.romsLine)) << c.value;
    }
    EXPECT_EQ(Emu().GetExeNoExt(), "/opt/emu/mame");
    Emu().SetExe("/opt/emu.d/mame.exe");
    EXPECT_EQ(Emu().GetExeNoExt(), "/opt/emu.d/mame");

    // Without an emulator section nothing goes to the file.
    Cfg().EmulatorSection.clear();
    Emu().SetExe("/elsewhere");
    EXPECT_EQ(Emu().Exe(), "/elsewhere");
    EXPECT_FALSE(Has(Ini(), "/elsewhere"));
}

TEST_F(EmulatorTest, DefaultsAreWrittenInOrderOnlyWhenMissing) {
    Cfg().EmulatorSection = "snes";
    Cfg().WriteString("snes", "RomsCase", "2");
    Cfg().WriteString("snes", "DoReZip", "1");
    Emu().WriteMissingDefaults(false, true);
    EXPECT_TRUE(Has(Ini(),
                    "[snes]\nRomsCase=2\nDoReZip=1\nExe=\nRunParam=\nSplit=0\nMerge=1\nSetsCase=4\n"
                    "FixExtension=1\nDoRenameFiles=1\nDoRenameRoms=1\nDoRemoveFiles=0\nDoRemoveRoms=1\n"
                    "DoFindRoms=1\nDoCreateDummy=0\n"))
        << Ini();
    Emu().ReadFromIni();
    EXPECT_FALSE(Emu().Split());
    EXPECT_TRUE(Emu().Merge());
    EXPECT_EQ(Emu().RomsCase(), coLowercase);
    EXPECT_EQ(Emu().SetsCase(), coDontCare);
    EXPECT_TRUE(Emu().DoReZip());
    EXPECT_FALSE(Emu().DoRemoveFiles());
}

TEST_F(EmulatorTest, AStoredCaseCodeOutOfRangeReadsAsLeaveAlone) {
    Cfg().EmulatorSection = "first";
    Emu().SetSetsCase(coUppercase);
    Emu().SetRomsCase(coCapitalize);
    // The next emulator's codes are damaged: its names must not get the first one's rule.
    Cfg().EmulatorSection = "second";
    Cfg().WriteString("second", "SetsCase", "9");
    Cfg().WriteString("second", "RomsCase", "upper");
    Emu().ReadFromIni();
    EXPECT_EQ(Emu().SetsCase(), coDontCare);
    EXPECT_EQ(Emu().RomsCase(), coDontCare);
}

TEST_F(EmulatorTest, RunArgumentsAreFilledOneByOne) {
    const struct {
        const char* runParam;
        const char* game;
        std::vector<std::string> arguments;
    } cases[] = {
        {"%1 -rompath %3", "/roms/pacman.zip", {"pacman", "-rompath", "/roms/pacman.zip"}},
        {"-cart %2", "/roms/snes/Super Mario (E).sfc", {"-cart", "Super Mario (E).sfc"}},
        {"\"%3\" -x", "/my roms/a b.zip", {"/my roms/a b.zip", "-x"}},
        // A name that holds a placeholder or shell characters is passed on as it is.
        {"%2 %3", "/r/%3;$(rm -rf x).zip", {"%3;$(rm -rf x).zip", "/r/%3;$(rm -rf x).zip"}},
        {"%1", "pacman", {"pacman"}},  // a bare game name
        {"%1", "/r/1942.v2.zip", {"1942.v2"}},
        // A set kept as a folder: its name, whole.
        {"%1 %2 %3", "/roms/galaga.v2/", {"galaga.v2", "galaga.v2", "/roms/galaga.v2"}},
        {"", "/r/a.zip", {}},
        {"-a \"say \"\"hi\"\"\"\t%1", "/r/a.zip", {"-a", "say \"hi\"", "a"}},
    };
    for (const auto& c : cases) {
        Emu().SetRunParam(c.runParam);
        EXPECT_EQ(Emu().RunArguments(c.game), c.arguments) << c.runParam;
    }
}

TEST_F(EmulatorTest, RunGameStartsTheEmulatorInItsFolder) {
    const std::string folder = data_.Path() + "my emu/";
    const std::string program = MakeRecorder(folder);
    Emu().SetExe(program);
    Emu().SetRunParam("%1 -rompath \"%3\"");
    EXPECT_EQ(Emu().RunGame(data_.Path() + "roms/pac man.zip"), 3);
    EXPECT_EQ(Record(program),
              (std::vector<std::string>{data_.Path() + "my emu", "pac man", "-rompath",
                                        data_.Path() + "roms/pac man.zip"}));

    // A second emulator elsewhere runs in its own folder.
    const std::string other = MakeRecorder(data_.Path() + "other/");
    Emu().SetExe(other);
    Emu().SetRunParam("%2");
    Emu().RunGame("/roms/galaga.zip");
    EXPECT_EQ(Record(other), (std::vector<std::string>{data_.Path() + "other", "galaga.zip"}));
}

TEST_F(EmulatorTest, RunGameReportsAnEmulatorThatCannotStart) {
    Emu().SetExe(data_.Path() + "missing/emu");
    EXPECT_EQ(Emu().RunGame("/roms/a.zip"), kRunFailed);
    Emu().SetExe("");
    try {
        Emu().RunGame("/roms/a.zip");
        FAIL() << "no emulator set";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Go to preferences and select an emulator before playing a game.");
    }
}

TEST(SetModeWord, ByTheTwoSwitches) {
    EXPECT_EQ(SetModeWord(false, false), "merged");
    EXPECT_EQ(SetModeWord(false, true), "merged");
    EXPECT_EQ(SetModeWord(true, true), "split");
    EXPECT_EQ(SetModeWord(true, false), "un-merged");
}
