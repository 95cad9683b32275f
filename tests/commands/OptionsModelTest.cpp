// The preferences' rules without a window: loading, the folder checks, applying a
// choice to the settings, the archive statistics and purging.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "archive/stringsTools.h"
#include "catalogue/RomsBd.h"
#include "ui/OptionsTestSupport.h"
#include "ui/commands/OptionsFilesBd.h"
#include "ui/commands/OptionsModel.h"

using namespace qm;
using namespace qm::test;

namespace {

class OptionsModelTest : public OptionsTest {};

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

TEST_F(OptionsModelTest, LoadWithoutDatafileGivesTheDefaults) {
    Config->SetCompLevel(4);
    Config->Emulator->SetExe("/opt/emu/mame");
    const TOptions o = LoadOptions(*Config);
    EXPECT_FALSE(o.DataFileOpen);
    EXPECT_EQ(o.ArchivePath, home_.Path() + "archive/");
    EXPECT_EQ(o.TempPath, tmp_.Path());
    EXPECT_EQ(o.CompLevel, 4);
    EXPECT_EQ(o.Structure, TRomsStructure::Merged);
    EXPECT_TRUE(o.FixExtension);
    EXPECT_EQ(o.SetsCase, 4);
    EXPECT_EQ(o.RomsCase, 4);
    EXPECT_TRUE(o.DoRenameFiles && o.DoRemoveRoms && o.DoRenameRoms && o.DoFindRoms && o.DoCreateDummy && o.DoReZip);
    EXPECT_FALSE(o.DoRemoveFiles);
}

TEST_F(OptionsModelTest, LoadWithDatafileReadsTheProfile) {
    const std::string roms = Folder("roms/mame");
    OpenDatafile({roms});
    TEmulator& emu = *Config->Emulator;
    emu.SetSplit(true);
    emu.SetMerge(false);
    emu.SetFixExtension(false);
    emu.SetSetsCase(coCapitalize);
    emu.SetRomsCase(coUppercase);
    emu.SetDoRenameFiles(false);
    emu.SetDoRemoveFiles(true);
    emu.SetDoReZip(true);
    emu.SetRunParam("%2 -x");
    TOptions o = LoadOptions(*Config);
    EXPECT_TRUE(o.DataFileOpen);
    EXPECT_EQ(o.Structure, TRomsStructure::UnMerged);
    EXPECT_FALSE(o.FixExtension);
    EXPECT_EQ(o.SetsCase, coCapitalize);
    EXPECT_EQ(o.RomsCase, coUppercase);
    EXPECT_FALSE(o.DoRenameFiles);
    EXPECT_TRUE(o.DoRemoveFiles);
    EXPECT_TRUE(o.DoReZip);
    EXPECT_FALSE(o.DoCreateDummy);
    EXPECT_EQ(o.RunParam, "%2 -x");
    EXPECT_EQ(o.ExeBrowseStart, data_.Path() + "roms/");  // the first rom path's parent
    emu.SetMerge(true);
    EXPECT_EQ(LoadOptions(*Config).Structure, TRomsStructure::Split);
    emu.SetSplit(false);
    EXPECT_EQ(LoadOptions(*Config).Structure, TRomsStructure::Merged);
}

TEST_F(OptionsModelTest, ExeBrowseStart) {
    EXPECT_EQ(ExeBrowseStart("/opt/emu/mame", "/roms/mame/"), "/opt/emu/");
    EXPECT_EQ(ExeBrowseStart("", "/roms/mame/"), "/roms/");
    EXPECT_EQ(ExeBrowseStart("", "/roms"), "/");
    EXPECT_EQ(ExeBrowseStart("", ""), "/");
}

TEST_F(OptionsModelTest, FolderChecksCompareRealPathPrefixes) {
    const std::string roms = Folder("roms");
    const std::string inside = Folder("roms/archive");
    const std::string sibling = Folder("roms2");  // shares the text prefix only
    const std::string outside = Folder("other");
    const std::string temp = Folder("temp");
    const std::string link = data_.Path() + "link";
    ASSERT_EQ(::symlink((data_.Path() + "roms").c_str(), link.c_str()), 0);
    const std::string viaLink = link + "/archive/";
    const std::string missing = data_.Path() + "missing/";
    const struct {
        const char* what;
        std::string temp, archive;
        bool datafile;
        TOptionsField field;
        const char* message;
    } cases[] = {
        {"fine", temp, outside, true, TOptionsField::None, ""},
        {"sibling with a common text prefix", temp, sibling, true, TOptionsField::None, ""},
        {"temp missing, reported first", missing, missing, true, TOptionsField::TempPath,
         "The temporary directory is not valid."},
        {"temp relative", "temp/", outside, true, TOptionsField::TempPath, "The temporary directory is not valid."},
        {"archive missing", temp, missing, true, TOptionsField::ArchivePath, "The archive is not valid."},
        {"archive empty", temp, "", true, TOptionsField::ArchivePath, "The archive is not valid."},
        {"archive inside a rom path", temp, inside, true, TOptionsField::ArchivePath,
         "The archive path can't be located under a rom path."},
        {"archive is a rom path", temp, roms, true, TOptionsField::ArchivePath,
         "The archive path can't be located under a rom path."},
        {"archive holds a rom path", temp, data_.Path(), true, TOptionsField::ArchivePath,
         "The archive path can't be located under a rom path."},
        {"archive reached through a link", temp, viaLink, true, TOptionsField::ArchivePath,
         "The archive path can't be located under a rom path."},
        {"temp inside a rom path", inside, outside, true, TOptionsField::TempPath,
         "The temporary path can't be located under a rom path."},
        {"temp holds a rom path", data_.Path(), outside, true, TOptionsField::TempPath,
         "The temporary path can't be located under a rom path."},
        {"no datafile: the archive edit is not checked", temp, missing, false, TOptionsField::None, ""},
        {"no datafile: the temp folder still is", inside, missing, false, TOptionsField::TempPath,
         "The temporary path can't be located under a rom path."},
    };
    for (const auto& c : cases) {
        TOptions o;
        o.TempPath = c.temp;
        o.ArchivePath = c.archive;
        o.DataFileOpen = c.datafile;
        const TOptionsCheck check = CheckOptions(o, {roms});
        EXPECT_EQ(check.Field, c.field) << c.what;
        EXPECT_EQ(check.Message, c.message) << c.what;
    }
}

TEST_F(OptionsModelTest, RunParamGetsPercentOneOnlyWhenItHoldsNoPercent) {
    EXPECT_EQ(RunParamToStore("-window"), "-window%1");
    EXPECT_EQ(RunParamToStore(""), "%1");
    EXPECT_EQ(RunParamToStore("%2 -x"), "%2 -x");
    EXPECT_EQ(RunParamToStore("-x 100%"), "-x 100%");
}

TEST_F(OptionsModelTest, CaseSamples) {
    const struct {
        int code;
        const char* sets;
        const char* roms;
    } cases[] = {
        {coCapitalize, "Golden Sun (F).zip", "Golden Sun (F).gba"},
        {coLowercase, "golden sun (f).zip", "golden sun (f).gba"},
        {coUppercase, "GOLDEN SUN (F).ZIP", "GOLDEN SUN (F).GBA"},
        {coDatabase, "Golden sun (f).zip", "Golden sun (f).gba"},
        {coDontCare, "Golden sun (f).zip", "Golden sun (f).gba"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CaseSample("Golden sun (f).zip", c.code), c.sets) << c.code;
        EXPECT_EQ(CaseSample("Golden sun (f).gba", c.code), c.roms) << c.code;
    }
    EXPECT_EQ(CaseSample("a [b]c(d) e", coCapitalize), "A [B]c(D) E");
}

TEST_F(OptionsModelTest, WithoutDatafileOnlyFoldersAndLevelAreStored) {
    const std::string temp = Folder("temp");
    TOptions o = LoadOptions(*Config);
    o.TempPath = temp.substr(0, temp.size() - 1);
    o.CompLevel = 3;
    o.Structure = TRomsStructure::Split;
    o.DoRemoveFiles = true;
    const TOptionsApplied applied = ApplyOptions(*Config, o, {});
    EXPECT_FALSE(applied.Changed);
    const std::string ini = Ini();
    EXPECT_TRUE(IniHas(ini, "TempPath=" + temp + "\n")) << ini;
    EXPECT_TRUE(IniHas(ini, "CompLevel=3\n"));
    EXPECT_FALSE(IniHas(ini, "[mame]"));
    EXPECT_FALSE(IniHas(ini, "DoRemoveFiles"));
}

TEST_F(OptionsModelTest, OnlyStructureCaseAndExtensionChangesMatchAgain) {
    OpenDatafile();
    TRomsBd romsBd;
    romsBd.Split = true;
    int recalculated = 0;
    romsBd.OnInfos = [&](const std::string& text) {
        if (text == "Calculating files status...") ++recalculated;
    };
    int refreshed = 0;
    int statusBar = 0;
    std::vector<bool> merged;
    TOptionsTargets targets;
    targets.RomsBd = &romsBd;
    targets.OnRefresh = [&] { ++refreshed; };
    targets.OnStatusBar = [&] { ++statusBar; };
    targets.OnMergedChanged = [&](bool m) { merged.push_back(m); };

    // The switches, the executable and its parameters: stored, nothing matched again.
    TOptions o = LoadOptions(*Config);
    o.DoRenameFiles = false;
    o.DoRemoveRoms = false;
    o.DoRenameRoms = false;
    o.DoFindRoms = false;
    o.DoRemoveFiles = true;
    o.DoCreateDummy = true;
    o.DoReZip = true;
    o.Exe = "/opt/emu/mame";
    o.RunParam = "-window";
    EXPECT_FALSE(ApplyOptions(*Config, o, targets).Changed);
    EXPECT_EQ(recalculated, 0);
    EXPECT_EQ(refreshed, 0);
    EXPECT_EQ(statusBar, 1);
    std::string ini = Ini();
    for (const char* line : {"DoRenameFiles=0\n", "DoRemoveRoms=0\n", "DoRenameRoms=0\n", "DoFindRoms=0\n",
                             "DoRemoveFiles=1\n", "DoCreateDummy=1\n", "DoReZip=1\n", "Exe=/opt/emu/mame\n",
                             "RunParam=-window%1\n"})
        EXPECT_TRUE(IniHas(ini, line)) << line << ini;

    // Each of these matches again.
    const struct {
        const char* what;
        void (*change)(TOptions&);
        const char* line;
    } changes[] = {
        {"split", [](TOptions& x) { x.Structure = TRomsStructure::Split; }, "Merge=1\n"},
        {"merged", [](TOptions& x) { x.Structure = TRomsStructure::Merged; }, "Split=0\n"},
        {"un-merged", [](TOptions& x) { x.Structure = TRomsStructure::UnMerged; }, "Split=1\n"},
        {"sets case", [](TOptions& x) { x.SetsCase = coUppercase; }, "SetsCase=1\n"},
        {"roms case", [](TOptions& x) { x.RomsCase = coLowercase; }, "RomsCase=2\n"},
        {"no case checked", [](TOptions& x) { x.RomsCase = kNoCase; }, "RomsCase=4\n"},
        {"extension", [](TOptions& x) { x.FixExtension = false; }, "FixExtension=0\n"},
    };
    for (const auto& c : changes) {
        recalculated = refreshed = 0;
        o = LoadOptions(*Config);
        c.change(o);
        EXPECT_TRUE(ApplyOptions(*Config, o, targets).Changed) << c.what;
        EXPECT_EQ(recalculated, 1) << c.what;
        EXPECT_EQ(refreshed, 1) << c.what;
        EXPECT_TRUE(IniHas(Ini(), c.line)) << c.what;
        EXPECT_EQ(romsBd.Split, Config->Emulator->Split()) << c.what;
        EXPECT_EQ(romsBd.MergeRoms, Config->Emulator->Merge()) << c.what;
    }
    EXPECT_EQ(merged, (std::vector<bool>{true, false}));
    EXPECT_TRUE(hooks_.shown.empty());  // no name clash: no warning
}

TEST_F(OptionsModelTest, MergingAClashingCatalogueWarnsOnceAndStillApplies) {
    OpenDatafile();
    Config->DataFile->FileName = "/tmp/work/mame 0.100.dat";
    TRomsBd romsBd;
    romsBd.Split = true;
    romsBd.NameClash = true;
    TOptionsTargets targets;
    targets.RomsBd = &romsBd;
    TOptions o = LoadOptions(*Config);
    o.Structure = TRomsStructure::Merged;
    const TOptionsApplied applied = ApplyOptions(*Config, o, targets);
    EXPECT_TRUE(applied.Changed);
    EXPECT_TRUE(applied.ClashWarning);
    ASSERT_EQ(hooks_.shown.size(), 1u);
    EXPECT_EQ(hooks_.shown[0].text,
              "Datafile [mame 0.100.dat] contains some inconsistencies. \n"
              "This can cause unwanted rom deletion in full merge mode.\n"
              "Try to find an updated datafile, or go back to split mode.\n\n"
              " Restart Quarmelle in this mode to have more");
    EXPECT_EQ(hooks_.shown[0].type, TMsgDlgType::mtWarning);
    EXPECT_FALSE(romsBd.Split);
    EXPECT_TRUE(IniHas(Ini(), "Split=0\n"));
    // Applying merged again changes nothing and warns no more.
    EXPECT_FALSE(ApplyOptions(*Config, o, targets).Changed);
    EXPECT_EQ(hooks_.shown.size(), 1u);
}

TEST_F(OptionsModelTest, ArchiveInfoCountsLikeFind) {
    const std::string dir = Folder("archive");
    WriteFile(dir + "a.zip", std::string(1000, 'a'));
    WriteFile(dir + "sub/b.zip", std::string(2500, 'b'));
    WriteFile(dir + "sub/deeper/c", "ccc");
    WriteFile(dir + "d", "");
    const std::string count = RunCommand("find " + ShellQuote(dir) + " -type f | wc -l");
    const std::string bytes = RunCommand("find " + ShellQuote(dir) + " -type f -printf '%s\\n' | awk '{s+=$1} END {print s}'");
    TFaultyFileSystem fs(Fs());
    fs.forcedFreeSpace = 123456789;
    TScopedFileSystem scope(fs);
    const TArchiveInfo info = ArchiveInfo(dir);
    EXPECT_EQ(info.Files + "\n", count);
    EXPECT_EQ(info.Used, FormatSize(std::stoll(bytes)));
    EXPECT_EQ(info.Free, FormatSize(123456789));
    EXPECT_EQ(ArchiveInfo(dir.substr(0, dir.size() - 1)).Files, info.Files);  // without the "/"
    for (const std::string& none : {std::string(), std::string("archive/"), data_.Path() + "missing"}) {
        const TArchiveInfo dash = ArchiveInfo(none);
        EXPECT_EQ(dash.Files, "-") << none;
        EXPECT_EQ(dash.Used, "-") << none;
        EXPECT_EQ(dash.Free, "-") << none;
    }
}

TEST_F(OptionsModelTest, OpenArchiveFolder) {
    std::vector<std::string> opened;
    const auto opener = [&](const std::string& f) { opened.push_back(f); };
    const std::string dir = Folder("archive");
    OpenArchiveFolder(dir.substr(0, dir.size() - 1), opener);
    EXPECT_EQ(opened, std::vector<std::string>{dir});
    OpenArchiveFolder(data_.Path() + "missing/", opener);
    EXPECT_EQ(opened.size(), 1u);
    ASSERT_EQ(hooks_.shown.size(), 1u);
    EXPECT_EQ(hooks_.shown[0].text, "Directory not found.");
    EXPECT_EQ(hooks_.shown[0].type, TMsgDlgType::mtError);
}

TEST_F(OptionsModelTest, PurgeMovesEveryEntryToTheTrashOnlyAfterYes) {
    const std::string dir = Folder("archive");
    const std::string outside = Folder("outside");
    WriteFile(outside + "kept", "kept");
    ::chmod((outside + "kept").c_str(), 0444);
    Config->SetArchivePath(dir);
    const auto fill = [&] {
        WriteFile(dir + "a.zip", "a");
        WriteFile(dir + "readonly.zip", "r");
        ::chmod((dir + "readonly.zip").c_str(), 0444);
        WriteFile(dir + "set/rom.bin", "s");
        WriteFile(dir + ".hidden", "h");
        ::symlink((outside + "kept").c_str(), (dir + "link").c_str());
    };
    fill();
    // Anything but Yes leaves the folder alone: No, Escape (Cancel), a box that gave nothing.
    for (const int answer : {int(mrNo), int(mrCancel), int(mrNone)}) {
        hooks_.dialogAnswers = {answer};
        EXPECT_EQ(PurgeArchiveFolder(*Config, {}), 0);
        EXPECT_TRUE(Exists(dir + "a.zip")) << answer;
    }
    ASSERT_EQ(hooks_.shown.size(), 3u);
    EXPECT_EQ(hooks_.shown[0].text, "Are you sure you want to delete all files in archive directory ?");
    EXPECT_EQ(hooks_.shown[0].type, TMsgDlgType::mtWarning);
    EXPECT_EQ(hooks_.shown[0].buttons, unsigned(mbYes | mbNo));

    hooks_.dialogAnswers = {mrYes};
    EXPECT_EQ(PurgeArchiveFolder(*Config, {}), 5);
    EXPECT_EQ(hooks_.shown.size(), 4u);  // the question only
    for (const char* name : {"a.zip", "readonly.zip", "set", ".hidden", "link"}) {
        EXPECT_FALSE(Exists(dir + name)) << name;
        EXPECT_TRUE(Exists(TrashFiles() + name)) << name;
    }
    EXPECT_TRUE(Exists(dir));
    EXPECT_EQ(ReadFile(TrashFiles() + "set/rom.bin"), "s");
    // The link went as a link; what it pointed at is where it was, still read-only.
    struct stat st;
    ASSERT_EQ(::stat((outside + "kept").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
}

TEST_F(OptionsModelTest, PurgeActsOnTheStoredFolderOnly) {
    const std::string stored = Folder("stored");
    WriteFile(stored + "x", "x");
    Config->SetArchivePath(stored);
    hooks_.dialogAnswers = {mrYes};
    EXPECT_EQ(PurgeArchiveFolder(*Config, {}), 1);
    EXPECT_FALSE(Exists(stored + "x"));

    // A stored folder that went away: the question, then "Directory not found.".
    ASSERT_EQ(::rmdir(stored.c_str()), 0);
    hooks_.shown.clear();
    hooks_.dialogAnswers = {mrYes};
    EXPECT_EQ(PurgeArchiveFolder(*Config, {}), 0);
    ASSERT_EQ(hooks_.shown.size(), 2u);
    EXPECT_EQ(hooks_.shown[1].text, "Directory not found.");
}

TEST_F(OptionsModelTest, PurgeRefusesFoldersThatHoldWhatMustStay) {
    const std::string roms = Folder("roms");
    WriteFile(roms + "game.zip", "rom");
    const std::string temp = Folder("temp");
    Config->SetTempPath(temp);
    const char* userHome = std::getenv("HOME");
    const struct {
        const char* what;
        std::string folder;
    } cases[] = {
        {"the root", "/"},
        {"the user's home", userHome ? std::string(userHome) : std::string("/root")},
        {"the program's home", home_.Path()},
        {"a rom path", roms},
        {"a folder holding a rom path", data_.Path()},
        {"a folder inside a rom path", Folder("roms/old")},
        {"the temporary folder", temp},
    };
    for (const auto& c : cases) {
        Config->SetArchivePath(c.folder);
        hooks_.shown.clear();
        hooks_.dialogAnswers = {mrYes};
        EXPECT_EQ(PurgeArchiveFolder(*Config, {roms}), 0) << c.what;
        ASSERT_EQ(hooks_.shown.size(), 2u) << c.what;
        EXPECT_NE(hooks_.shown[1].text.find("can't be purged"), std::string::npos) << c.what;
        EXPECT_EQ(hooks_.shown[1].type, TMsgDlgType::mtError) << c.what;
    }
    EXPECT_TRUE(Exists(roms + "game.zip"));
    EXPECT_TRUE(Exists(roms + "old"));
    EXPECT_FALSE(Exists(TrashFiles()));
}

TEST_F(OptionsModelTest, PurgeStopsAtAnEntryTheTrashRefuses) {
    const std::string dir = Folder("archive");
    WriteFile(dir + "a", "a");
    WriteFile(dir + "b", "b");
    Config->SetArchivePath(dir);
    TFaultyFileSystem fs(Fs());
    fs.failAt = 2;  // the second entry's move into the trash
    fs.failErrno = EIO;
    TScopedFileSystem scope(fs);
    hooks_.dialogAnswers = {mrYes};
    const int moved = PurgeArchiveFolder(*Config, {});
    EXPECT_LT(moved, 2);
    ASSERT_GE(hooks_.shown.size(), 2u);
    EXPECT_EQ(hooks_.shown.back().type, TMsgDlgType::mtError);
    // Nothing is lost: each entry is in the folder or in the trash.
    for (const char* name : {"a", "b"}) EXPECT_TRUE(Exists(dir + name) || Exists(TrashFiles() + name)) << name;
}
