// The files database model: registration of rom files with the rom database, the
// rom files list, lookups, correct names, events, drops during a command, rom paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archivemanager.h"
#include "filesdb/filesBd.h"
#include "platform/UiHooks.h"
#include "filesBdTestSupport.h"

namespace qm::test {
namespace {

const char* kCatalogue = R"(
pacman|pacman|pm1.bin|11111111|16||
pacman|pacman|pm2.bin|22222222|16||
pacman|puckman|pm1.bin|11111111|16|pacman|pm1.bin
pacman|puckman|pk2.bin|33333333|16|pacman|
galaga|galaga|gg1.bin|44444444|32||
galaga|galaga|gg2.bin|00000000|32||
)";

int CountOf(const TRom* rom, const TRomFile* romFile) {
    return static_cast<int>(std::count(rom->Files.begin(), rom->Files.end(), romFile));
}

// ---- Registration -------------------------------------------------------------------

TEST(FilesBdRegistration, AddRomFileRegistersOnceOnlyWithSubmitRoms) {
    for (bool submit : {true, false}) {
        SCOPED_TRACE(submit);
        TFilesBdFixture f(kCatalogue, submit);
        TFile* zip = f.Zip("pacman.zip");
        TRomFile* rf = zip->AddRomFile("pm1.bin", "11111111", 0, 16, "");
        TRom* rom = f.RomOf("pacman", "pm1.bin");
        EXPECT_EQ(rf->Rom, rom);  // found either way
        EXPECT_EQ(rom->MatchCount, submit ? 1 : 0);
        EXPECT_EQ(CountOf(rom, rf), submit ? 1 : 0);
        EXPECT_EQ(rf->AttachedRom(), submit ? rom : nullptr);
    }
}

// Every step that withdraws or restores a registration, in the order a scan, a test
// and a repair run them; the count and the rom's list must follow exactly.
TEST(FilesBdRegistration, WithdrawAndRestoreStaySymmetric) {
    TFilesBdFixture f(kCatalogue);
    TFile* zip = f.Zip("pacman.zip");
    TRomFile* rf = zip->AddRomFile("pm1.bin", "11111111", 0, 16, "");
    TRom* rom = f.RomOf("pacman", "pm1.bin");

    struct Step {
        const char* name;
        std::function<void()> run;
        int count;
    };
    const std::vector<Step> steps = {
        {"error", [&] { rf->SetError("crc error"); }, 0},
        {"error again", [&] { rf->SetError("crc error"); }, 0},
        {"clear errors", [&] { zip->ClearRomErrors(); }, 1},
        {"clear errors again", [&] { zip->ClearRomErrors(); }, 1},
        {"flagged", [&] { rf->SetErrorText("odd"); }, 1},
        {"clear flagged", [&] { zip->ClearRomErrors(); }, 1},
        {"detach", [&] { zip->DetachRomFiles(); }, 0},
        {"detach again", [&] { zip->DetachRomFiles(); }, 0},
        {"submit", [&] { zip->SubmitRomFiles(true); }, 1},
        {"submit again", [&] { zip->SubmitRomFiles(true); }, 1},
        {"lookup only", [&] { zip->SubmitRomFiles(false); }, 1},
    };
    for (const Step& step : steps) {
        step.run();
        EXPECT_EQ(rom->MatchCount, step.count) << step.name;
        EXPECT_EQ(CountOf(rom, rf), step.count) << step.name;
    }
    zip->DropRomFile(rf);
    EXPECT_EQ(rom->MatchCount, 0);
    EXPECT_TRUE(rom->Files.empty());
}

// A second database that does not submit (the scan window's) never takes away what
// the main database registered for the same rom.
TEST(FilesBdRegistration, DatabaseWithoutSubmitLeavesCountsAlone) {
    TFilesBdFixture f(kCatalogue);
    TRomFile* main = f.Zip("pacman.zip")->AddRomFile("pm1.bin", "11111111", 0, 16, "");
    TRom* rom = f.RomOf("pacman", "pm1.bin");

    TFilesBd local;
    local.SetRomsBd(&f.roms);
    local.SetSubmitRoms(false);
    TTempDir other;
    TPath* path = local.AddPath(other.Path(), "", "");
    TFile* zip = path->NewFile("pacman.zip", fkZip, false);
    TRomFile* copy = zip->AddRomFile("pm1.bin", "11111111", 0, 16, "");
    copy->SetError("bad");
    zip->ClearRomErrors();
    zip->DetachRomFiles();
    zip->SubmitRomFiles(false);
    zip->DropRomFile(copy);
    zip->AddRomFile("pm1.bin", "11111111", 0, 16, "");
    local.ClearPaths();
    EXPECT_EQ(rom->MatchCount, 1);
    ASSERT_EQ(rom->Files.size(), 1u);
    EXPECT_EQ(rom->Files[0], main);
}

TEST(FilesBdRegistration, FileErrorDropsAndWithdrawsEveryRomFile) {
    TFilesBdFixture f(kCatalogue);
    TFile* zip = f.Zip("pacman.zip");
    zip->AddRomFile("pm1.bin", "11111111", 0, 16, "");
    zip->AddRomFile("pm2.bin", "22222222", 0, 16, "");
    std::vector<TRomFile*> removed;
    f.files.OnRemoveRomFile = [&](TRomFile* r) { removed.push_back(r); };
    zip->SetError("unreadable");
    EXPECT_EQ(zip->RomFiles.Count(), 0);
    EXPECT_EQ(removed.size(), 2u);
    EXPECT_EQ(f.RomOf("pacman", "pm1.bin")->MatchCount, 0);
    EXPECT_EQ(f.RomOf("pacman", "pm2.bin")->MatchCount, 0);
    EXPECT_EQ(zip->ErrorText, "unreadable");
}

// A load hands one memo to the rom files of every file it fills: the set looked up for
// one file must not serve the next (a rom without a good dump is known by its set alone).
TEST(FilesBdRegistration, SetMemoFollowsTheFileBeingFilled) {
    TFilesBdFixture f(kCatalogue);
    TFile::TSetMemo memo;
    TFile* pacman = f.Zip("pacman.zip");
    TFile* galaga = f.Zip("galaga.zip");
    EXPECT_EQ(pacman->AddRomFile("pm1.bin", "11111111", 0, 16, "", &memo)->Rom, f.RomOf("pacman", "pm1.bin"));
    EXPECT_EQ(galaga->AddRomFile("gg2.bin", "00000000", 0, 32, "", &memo)->Rom, f.RomOf("galaga", "gg2.bin"));
    EXPECT_EQ(pacman->AddRomFile("gg2.bin", "00000000", 0, 32, "", &memo)->Rom, nullptr);
    EXPECT_EQ(galaga->AddRomFile("gg1.bin", "44444444", 0, 32, "", &memo)->Rom, f.RomOf("galaga", "gg1.bin"));
}

TEST(FilesBdRegistration, SignaturesAreKeptInLowerCase) {
    TFilesBdFixture f(kCatalogue);
    TRomFile* rf = f.Zip("galaga.zip")->AddRomFile("gg1.bin", "ABCDEF01", 0, 32, "");
    EXPECT_EQ(rf->Crc(), "abcdef01");
    EXPECT_EQ(rf->File->RomFiles.Key(0), "abcdef01");
}

// ---- The rom files list -------------------------------------------------------------

TEST(RomFilesList, EqualCrcsKeepTheOrderAddedAndLookupsFindTheFirst) {
    TFilesBdFixture f(kCatalogue);
    TFile* zip = f.Zip("mixed.zip");
    TRomFile* b1 = zip->AddRomFile("b1", "bbbbbbbb", 0, 1, "");
    TRomFile* a = zip->AddRomFile("a", "aaaaaaaa", 0, 1, "");
    TRomFile* b2 = zip->AddRomFile("b2", "BBBBBBBB", 0, 1, "");
    TRomFile* c = zip->AddRomFile("c", "cccccccc", 0, 1, "");
    TRomFile* b3 = zip->AddRomFile("b3", "bbbbbbbb", 0, 1, "");
    const std::vector<TRomFile*> expected = {a, b1, b2, b3, c};
    ASSERT_EQ(zip->RomFiles.Count(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(zip->RomFiles[i], expected[static_cast<size_t>(i)]) << i;
    EXPECT_EQ(zip->RomFiles.IndexOf("BBBBBBBB"), 1);
    EXPECT_EQ(zip->RomFiles.IndexOf("dddddddd"), -1);
}

TEST(RomFilesList, SignaturesThatAreNoEightHexDigitsSortAndAreFoundAsText) {
    // Most keys are held as values; the few others must still sort as the texts do.
    TFilesBdFixture f(kCatalogue);
    TFile* zip = f.Zip("odd.zip");
    const std::vector<std::string> crcs = {"zz", "12345678", "", "ABCDEF0G", "0000000a", "1234567", "aaaaaaaa", "1234567"};
    for (size_t i = 0; i < crcs.size(); ++i) zip->AddRomFile("sub\\dir/r" + std::to_string(i) + ".bin", crcs[i], 0, 1, "");
    const std::vector<std::string> sorted = {"", "0000000a", "1234567", "1234567", "12345678", "aaaaaaaa", "abcdef0g", "zz"};
    ASSERT_EQ(zip->RomFiles.Count(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(zip->RomFiles.Key(i), sorted[static_cast<size_t>(i)]) << i;
        EXPECT_EQ(zip->RomFiles[i]->Crc(), sorted[static_cast<size_t>(i)]) << i;
        EXPECT_EQ(zip->RomFiles.IndexOf(sorted[static_cast<size_t>(i)]), i == 3 ? 2 : i) << i;
    }
    EXPECT_EQ(zip->RomFiles[2]->StoredName(), "sub\\dir/r5.bin");
    EXPECT_EQ(zip->RomFiles[3]->Name(), "r7.bin");
    EXPECT_EQ(zip->RomFiles[3]->Extension(), ".bin");
    EXPECT_EQ(zip->RomFiles.IndexOf("ABCDEF0G"), 6);
    EXPECT_EQ(zip->RomFiles.IndexOf("123456"), -1);
    EXPECT_EQ(zip->RomFiles.IndexOf("0000000b"), -1);
}

TEST(RomFilesList, DropFindsTheRomFileByIdentity) {
    TFilesBdFixture f(kCatalogue);
    TFile* zip = f.Zip("pacman.zip");
    TRomFile* first = zip->AddRomFile("pm1.bin", "11111111", 0, 16, "");
    TRomFile* second = zip->AddRomFile("pm1.bin", "99999999", 0, 16, "");
    zip->DropRomFile(second);
    ASSERT_EQ(zip->RomFiles.Count(), 1);
    EXPECT_EQ(zip->RomFiles[0], first);
    EXPECT_EQ(first->StoredName(), "pm1.bin");
    try {
        zip->DropRomFile(second);
        FAIL() << "dropped twice";
    } catch (const filesbd::EObjectNotFound& e) {
        EXPECT_EQ(e.Message(), "Object rom not found");
    }
    EXPECT_EQ(zip->RomFiles.Count(), 1);
}

TEST(RomFilesList, FindByName) {
    struct Case {
        const char* stored;
        const char* suggested;
        bool suggestedSwitch;
        const char* romName;
        bool found;
    };
    const Case cases[] = {
        {"pm1.bin", "", false, "pm1.bin", true},
        {"PM1.BIN", "", false, "pm1.bin", true},       // any case
        {"pm1.rom", "", false, "pm1.bin", false},      // no suggestion: the whole name must fit
        {"pm1", "", false, "pm1.bin", false},
        {"pm1.rom", ".bin", false, "pm1.bin", true},   // a suggestion: the base name is enough
        {"pm1.rom", ".bin", true, "pm1.bin", false},   // switch on: suggestion must be the extension
        {"pm1.bin", ".bin", true, "pm1.bin", true},
        {"sub/pm1.bin", "", false, "sub/pm1.bin", false},  // Name is compared without the folder
        {"sub/pm1.bin", ".bin", false, "sub/pm1.bin", true},
        {"sub/pm1.bin", ".bin", false, "pm1.bin", false},  // the inner folder belongs to the name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + " / " + c.romName);
        TFilesBdFixture f(kCatalogue);
        f.files.PlugInSuggeredExtension = c.suggestedSwitch;
        TFile* zip = f.Zip("x.zip");
        zip->AddRomFile(c.stored, "12345678", 0, 1, c.suggested);
        EXPECT_EQ(zip->RomFiles.FindByName(c.romName, false), c.found ? 0 : -1);
    }
}

TEST(RomFilesList, FindByNameSkipsPlaceholdersUnlessAsked) {
    TFilesBdFixture f(kCatalogue);
    TFile* zip = f.Zip("pacman.zip");
    TRomFile* rf = zip->AddRomFile("pm1.bin", "12345678", 0, 1, "");
    rf->Status = rsMissing;
    EXPECT_EQ(zip->RomFiles.FindByName("pm1.bin", false), -1);
    EXPECT_EQ(zip->RomFiles.FindByName("pm1.bin", true), 0);
    EXPECT_EQ(zip->RomFiles.IndexOfFileName("PM1.BIN", true), 0);
    EXPECT_EQ(zip->RomFiles.IndexOfFileName("pm1.bin", false), -1);
}

// A placeholder stands for a missing rom; the rom found later takes its place.
TEST(RomFilesList, AddRomFileReusesTheMatchingPlaceholder) {
    struct Case {
        const char* clone;
        const char* romOfPlaceholder;
        const char* romName;
        const char* crc;
        bool reused;
    };
    const Case cases[] = {
        {"pacman", "pm2.bin", "other.bin", "22222222", true},   // same CRC, any name
        {"pacman", "pm2.bin", "pm2.bin", "dddddddd", true},     // complemented CRC: a bad dump
        {"galaga", "gg2.bin", "gg2.bin", "5a5a5a5a", true},     // no dump: by name
        {"galaga", "gg2.bin", "GG2.BIN", "5a5a5a5a", false},    // ... exactly
        {"pacman", "pm2.bin", "pm2.bin", "5a5a5a5a", false},    // name alone is not enough
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.romName) + " " + c.crc);
        TFilesBdFixture f(kCatalogue);
        TFile* zip = f.Zip(std::string(c.clone) + ".zip");
        TRomFile* before = zip->AddRomFile("aaa", "00000001", 0, 1, "");
        TRomFile* placeholder = zip->AddRomFile("zzz", "ffffffff", 0, 1, "");
        placeholder->Status = rsMissing;
        placeholder->CloneRom = f.CloneRomOf(c.clone, c.romOfPlaceholder);
        std::vector<TRomFile*> created;
        f.files.OnCreateRomFile = [&](TRomFile* r) { created.push_back(r); };

        TRomFile* got = zip->AddRomFile(c.romName, c.crc, 0, 16, ".x");
        ASSERT_EQ(created.size(), 1u);
        EXPECT_EQ(created[0], got);
        if (!c.reused) {
            EXPECT_NE(got, placeholder);
            EXPECT_EQ(got->Status, rsNotSettled);
            EXPECT_EQ(zip->RomFiles.Count(), 3);
            continue;
        }
        EXPECT_EQ(got, placeholder);
        EXPECT_EQ(zip->RomFiles.Count(), 2);
        EXPECT_EQ(zip->RomFiles[0], before);
        EXPECT_EQ(zip->RomFiles[1], placeholder);  // its place, under its old key
        EXPECT_EQ(zip->RomFiles.Key(1), "ffffffff");
        EXPECT_EQ(got->Status, rsOk);
        EXPECT_EQ(got->StoredName(), c.romName);
        EXPECT_EQ(got->Crc(), LowerCase(c.crc));
        EXPECT_EQ(got->Size, 16);
        EXPECT_EQ(got->SuggestedExtension(), ".x");
        EXPECT_EQ(got->Extension(), FileExtension(c.romName));
    }
}

// ---- Names ---------------------------------------------------------------------------

TEST(CaseRules, EveryOption) {
    struct Case {
        TCaseOptions option;
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {coDatabase, "Pac-Man (USA).zip", "Pac-Man (USA).zip"},
        {coDontCare, "Pac-Man (USA).zip", "Pac-Man (USA).zip"},
        {coUppercase, "pac-man (usa).zip", "PAC-MAN (USA).ZIP"},
        {coLowercase, "PAC-MAN (USA).ZIP", "pac-man (usa).zip"},
        {coCapitalize, "pac-man (usa) [!].zip", "Pac-man (Usa) [!].zip"},
        {coCapitalize, "PAC MAN  ([b1])", "Pac Man  ([B1])"},
        {coCapitalize, "", ""},
        {coUppercase, "caf\xc3\xa9", "CAF\xc3\xa9"},  // letters outside ASCII stay as they are
    };
    for (const Case& c : cases) EXPECT_EQ(ApplyCaseOption(c.in, c.option), c.out) << c.in << " " << c.option;
}

TEST(CorrectNames, RomFileByCaseOptionAndExtensionSwitch) {
    struct Case {
        TCaseOptions option;
        bool suggestedSwitch;
        const char* stored;
        const char* suggested;
        const char* correct;
    };
    // The clone rom is "pm1.bin" of pacman.
    const Case cases[] = {
        {coDontCare, false, "PM1.BIN", "", "pm1.bin"},
        {coDatabase, false, "x.ROM", "", "pm1.rom"},   // the file's extension, lower-cased
        {coUppercase, false, "x.bin", "", "PM1.BIN"},
        {coLowercase, false, "x.BIN", "", "pm1.bin"},
        {coCapitalize, false, "x.bin", "", "Pm1.bin"},
        {coDatabase, true, "x.rom", ".md", "pm1.bin.md"},
        {coUppercase, true, "x.rom", ".md", "PM1.BIN.MD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        TFilesBdFixture f(kCatalogue);
        f.files.RomFileCaseOptions = c.option;
        f.files.PlugInSuggeredExtension = c.suggestedSwitch;
        TRomFile* rf = f.Zip("pacman.zip")->AddRomFile(c.stored, "11111111", 0, 16, c.suggested);
        EXPECT_EQ(rf->GetCorrectName(), "");
        rf->CloneRom = f.CloneRomOf("pacman", "pm1.bin");
        EXPECT_EQ(rf->GetCorrectName(), c.correct);
    }
}

TEST(CorrectNames, FileByKindAndCaseOption) {
    struct Case {
        uint8_t kind;
        const char* name;
        const char* clone;  // "" none
        TCaseOptions option;
        const char* correct;
        bool badName;
        bool badCase;
    };
    const Case cases[] = {
        {fkZip, "unknown.zip", "", coDontCare, "unknown.zip", false, false},
        {fkZip, "unknown.zip", "", coUppercase, "UNKNOWN.ZIP", false, true},
        {fkZip, "PACMAN.ZIP", "pacman", coDontCare, "pacman.zip", false, false},
        {fkZip, "PACMAN.ZIP", "pacman", coDatabase, "pacman.zip", false, true},
        {fkZip, "pm.zip", "pacman", coDontCare, "pacman.zip", true, false},
        {fkZip, "pacman.zip", "pacman", coCapitalize, "Pacman.zip", false, true},
        {fkFolder, "Galaga", "galaga", coLowercase, "galaga", false, true},
        {fkFolder, "galaga", "galaga", coLowercase, "galaga", false, false},
        {fkPlain, "foo.bin", "", coUppercase, "foo.bin", false, false},  // plain files take no case step here
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFilesBdFixture f(kCatalogue);
        f.files.FileCaseOptions = c.option;
        f.files.RomFileCaseOptions = c.option;
        TFile* file = f.path->NewFile(c.name, c.kind, false);
        if (*c.clone) {
            file->Clone = f.roms.FindClone(c.clone);
            file->Game = file->Clone->Game;
        }
        EXPECT_EQ(file->GetCorrectName(), c.correct);
        EXPECT_EQ(file->HasBadName(), c.badName);
        EXPECT_EQ(file->HasBadCase(), c.badCase);
    }
}

TEST(CorrectNames, PlainFileTakesItsRomsName) {
    TFilesBdFixture f(kCatalogue);
    f.files.RomFileCaseOptions = coUppercase;
    TFile* plain = f.Plain("dump.bin");
    TRomFile* rf = plain->AddRomFile("dump.bin", "11111111", 0, 16, "");
    plain->Clone = f.roms.FindClone("pacman");
    plain->Game = plain->Clone->Game;
    // Several roms shown: the listing of the same CRC and size, as the datafile names it.
    EXPECT_EQ(plain->GetCorrectName(), "pm1.bin");
    EXPECT_TRUE(plain->HasBadName());
    rf->CloneRom = f.CloneRomOf("pacman", "pm1.bin");
    plain->Clone = nullptr;
    // No clone: the first shown rom of the game's first clone.
    EXPECT_EQ(plain->GetCorrectName(), "pm1.bin");
}

// ---- Files of a path ------------------------------------------------------------------

TEST(FilesList, NamesDifferingInCaseAreTwoFiles) {
    TFilesBdFixture f(kCatalogue);
    TFile* upper = f.Zip("Pac.zip");
    TFile* lower = f.Zip("pac.zip");
    EXPECT_NE(upper, lower);
    EXPECT_EQ(f.Zip("pac.zip"), lower);  // listed already: the same file
    EXPECT_EQ(f.path->Files().Find("Pac.zip"), upper);
    EXPECT_EQ(f.path->Files().Find("pac.zip"), lower);
    EXPECT_EQ(f.path->Files().Find("PAC.ZIP"), nullptr);
    f.path->DropFile(upper);
    EXPECT_EQ(f.path->Files().Find("pac.zip"), lower);
    EXPECT_EQ(f.path->Files().Count(), 1);
    EXPECT_EQ(lower->FullPath, f.dir.Path() + "pac.zip");
    EXPECT_EQ(lower->ShortName, "pac");
    EXPECT_EQ(f.Folder("sub")->FullPath, f.dir.Path() + "sub/");
}

// ---- Events ---------------------------------------------------------------------------

TEST(FilesBdEvents, EachEventNamesItsObject) {
    TFilesBdFixture f(kCatalogue);
    std::vector<std::string> seen;
    f.files.OnCreateFile = [&](TFile* x) { seen.push_back("create file " + x->Name); };
    f.files.OnRemoveFile = [&](TFile* x) {
        seen.push_back("remove file " + x->Name + " roms " + std::to_string(x->RomFiles.Count()));
    };
    f.files.OnCreateRomFile = [&](TRomFile* x) { seen.push_back("create rom " + x->StoredName() + " in " + x->File->Name); };
    f.files.OnRemoveRomFile = [&](TRomFile* x) { seen.push_back("remove rom " + x->StoredName()); };
    f.files.OnLog = [&](const std::string& line) { seen.push_back("log " + line); };

    TFile* a = f.path->NewFile("a.zip", fkZip, true);
    f.path->NewFile("quiet.zip", fkZip, false);
    TRomFile* r1 = a->AddRomFile("one", "11111111", 0, 16, "");
    a->AddRomFile("two", "22222222", 0, 16, "");
    a->DropRomFile(r1);
    f.path->DropFile(a);
    f.path->ClearFiles();
    const std::vector<std::string> expected = {
        "create file a.zip",
        "create rom one in a.zip",
        "create rom two in a.zip",
        "remove rom one",
        "log Delete file " + f.dir.Path() + "a.zip from bd",
        "remove file a.zip roms 1",
        "remove file quiet.zip roms 0",
    };
    EXPECT_EQ(seen, expected);
}

TEST(FilesBdEvents, DroppingAFileOfAnotherPathFails) {
    TFilesBdFixture f(kCatalogue);
    TTempDir other;
    TPath* second = f.files.AddPath(other.Path(), "", "");
    TFile* file = second->NewFile("a.zip", fkZip, false);
    try {
        f.path->DropFile(file);
        FAIL();
    } catch (const filesbd::EObjectNotFound& e) {
        EXPECT_EQ(e.Message(), "Object file not found.");
    }
    EXPECT_EQ(second->Files().Count(), 1);
}

// ---- Drops while a command runs --------------------------------------------------------

TEST(FilesBdCommand, DroppedObjectsLiveUntilTheCommandEnds) {
    TFilesBdFixture f(kCatalogue);
    TFile* zip = f.Zip("pacman.zip");
    TRomFile* rf = zip->AddRomFile("pm1.bin", "11111111", 0, 16, "");
    TFile* other = f.Zip("other.zip");
    TRomFile* placeholder = other->AddRomFile("x", "22222222", 0, 16, "");
    TRom* rom = f.RomOf("pacman", "pm1.bin");
    {
        TFilesBd::TCommandScope command(f.files);
        {
            TFilesBd::TCommandScope nested(f.files);
            other->DropRomFile(placeholder);
        }
        EXPECT_EQ(placeholder->StoredName(), "x");  // kept past the nested command
        f.path->DropFile(zip);
        EXPECT_EQ(rom->MatchCount, 0);  // withdrawn at once
        // What a view or a repair step still holds reads fine (AddressSanitizer watches).
        EXPECT_EQ(zip->Name, "pacman.zip");
        EXPECT_EQ(rf->File, zip);
        EXPECT_EQ(rf->StoredName(), "pm1.bin");
        EXPECT_EQ(f.files.RetiredCount(), 2u);
        f.files.ClearPaths();
        EXPECT_EQ(other->Name, "other.zip");
        EXPECT_EQ(f.files.RetiredCount(), 3u);
    }
    EXPECT_EQ(f.files.RetiredCount(), 0u);
    EXPECT_EQ(rom->MatchCount, 0);
    EXPECT_TRUE(rom->Files.empty());
}

TEST(FilesBdCommand, OutsideACommandDropsFreeAtOnce) {
    TFilesBdFixture f(kCatalogue);
    TFile* zip = f.Zip("pacman.zip");
    zip->DropRomFile(zip->AddRomFile("pm1.bin", "11111111", 0, 16, ""));
    f.path->DropFile(zip);
    EXPECT_EQ(f.files.RetiredCount(), 0u);
}

// ---- The database's settings and progress ---------------------------------------------

TEST(FilesBdSettings, ProgressSequences) {
    TFilesBd bd;
    std::vector<int> seen;
    bd.OnProgress = [&](int p) { seen.push_back(p); };
    bd.DoProgress(5, 0);
    bd.DoProgress(5, 0);
    EXPECT_EQ(seen, (std::vector<int>{100, 100}));  // not remembered
    seen.clear();
    bd.DoProgress(1, 200);  // 0 %, the last reported is still 0
    bd.DoProgress(2, 200);
    bd.DoProgress(3, 200);
    bd.DoProgress(200, 200);
    bd.DoProgress(0, 200);
    EXPECT_EQ(seen, (std::vector<int>{1, 100, 0}));
}

TEST(FilesBdSettings, CompressionLevelAndWorkFolderReachTheManager) {
    TFilesBd bd;
    TArchiveManager manager;
    bd.SetArchiveManager(&manager);
    bd.SetTempDir("/tmp/work/");
    EXPECT_EQ(manager.TempDir, "/tmp/work/");
    bd.SetCompressionLevel(7);
    bd.SetCompressionLevel(10);
    bd.SetCompressionLevel(-1);
    EXPECT_EQ(bd.CompressionLevel(), 7);
    EXPECT_EQ(manager.CompressionLevel, 7);
    bd.SetCachePath("/tmp/cache/");
    EXPECT_EQ(bd.Paths().CachePath, "/tmp/cache/");
    bd.SetSubmitRoms(true);
    EXPECT_TRUE(bd.Paths().SubmitRoms);
}

TEST(FilesBdSettings, ClearPathsRecomputesStatesWhenThereIsARomDatabase) {
    TFilesBd alone;
    alone.ClearPaths();  // no rom database: nothing to recompute
    TFilesBdFixture f(kCatalogue);
    const uint64_t before = f.roms.StatusGeneration();
    f.files.ClearPaths();
    EXPECT_GT(f.roms.StatusGeneration(), before);
    EXPECT_EQ(f.files.GetPathCount(), 0);
}

TEST(FilesBdSettings, AbortFlagIsClearedWhenSeen) {
    TFilesBd bd;
    bd.Paths().CheckAbort();
    bd.Paths().Abort = true;
    EXPECT_THROW(bd.Paths().CheckAbort(), filesbd::EAbortPathLoading);
    EXPECT_FALSE(bd.Paths().Abort);
    try {
        bd.Paths().Abort = true;
        bd.Paths().CheckAbort();
    } catch (const qm::EAbortOperation& e) {
        EXPECT_EQ(e.Message(), "Operation aborted.");
    }
}

// ---- Rom paths and volumes -------------------------------------------------------------

TEST(FilesBdPaths, AddPathTwiceGivesTheSamePath) {
    TFilesBdFixture f(kCatalogue);
    TTempDir dir;
    TPath* first = f.files.AddPath(dir.Path(), "1234-abcd", "DISK");
    TPath* second = f.files.AddPath(dir.Path().substr(0, dir.Path().size() - 1), "1234-ABCD", "DISK");
    EXPECT_EQ(first, second);
    EXPECT_EQ(f.files.GetPathCount(), 2);  // the fixture's own and this one
    EXPECT_EQ(first->GetPath(), dir.Path());

    // Every other spelling of the folder, a symbolic link to it included.
    std::filesystem::create_directories(dir.Path() + "roms");
    std::filesystem::create_directories(dir.Path() + "x");
    std::filesystem::create_directory_symlink(dir.Path() + "roms", dir.Path() + "link");
    TPath* roms = f.files.AddPath(dir.Path() + "roms", "1234-abcd", "DISK");
    EXPECT_EQ(roms->GetPath(), dir.Path() + "roms/");
    for (const char* spelling : {"roms//", "./roms", "x/../roms/", "link"})
        EXPECT_EQ(f.files.AddPath(dir.Path() + spelling, "1234-abcd", "DISK"), roms) << spelling;
    EXPECT_EQ(f.files.GetPathCount(), 3);
}

TEST(FilesBdPaths, AnUnlabelledVolumeKeepsTheSerialItWasGiven) {
    TFilesBdFixture f(kCatalogue);
    TTempDir dir;
    TPath* path = f.files.AddPath(dir.Path(), "beef-0001", "");
    EXPECT_EQ(path->GetVolumeSerial(), "beef-0001");
    EXPECT_FALSE(path->IsVolumeAvailable());  // another disk is mounted there
    TPath* measured = f.files.AddPath(dir.Path(), "", "");
    EXPECT_EQ(measured->GetVolumeSerial(), "1234-abcd");
    EXPECT_NE(path, measured);
}

TEST(FilesBdPaths, AMissingDriveIsReported) {
    TStaticVolumeProvider none;
    TScopedVolumeProvider scope(none);
    TFilesBd bd;
    try {
        bd.AddPath("/media/nothing/roms", "", "");
        FAIL();
    } catch (const filesbd::EDiskNotFound& e) {
        EXPECT_EQ(e.Message(), "Disk /media/nothing/roms/ not available");
    }
    EXPECT_EQ(bd.GetPathCount(), 0);
}

TEST(FilesBdPaths, LoadAsksForAnAbsentDiskUntilCancelled) {
    TFilesBdFixture f(kCatalogue);
    TTempDir dir;
    TPath* path = f.files.AddPath(dir.Path(), "beef-0001", "SPARE");
    TScriptedUiHooks hooks;
    hooks.dialogAnswers = {mrOk, mrCancel};
    TScopedUiHooks scope(hooks);
    path->Load(true);
    ASSERT_EQ(hooks.shown.size(), 2u);
    EXPECT_EQ(hooks.shown[0].text, "Insert disk 'SPARE'.");
    EXPECT_EQ(hooks.shown[0].buttons, unsigned(mbOK | mbCancel));
    hooks.shown.clear();
    f.path->Load(true);  // present: no question
    EXPECT_TRUE(hooks.shown.empty());
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

TEST(FilesBdArchiveTest, PlainFileIsNotTested) {
    TFilesBdFixture f(kCatalogue);
    TArchiveManager manager;
    f.files.SetArchiveManager(&manager);
    WriteFile(f.dir / "pm1.bin", std::string(16, 'a'));
    TFile* plain = f.Plain("pm1.bin");
    TRomFile* rf = plain->AddRomFile("pm1.bin", "11111111", 0, 16, "");
    rf->SetErrorText("odd");
    EXPECT_FALSE(plain->TestArchive());
    EXPECT_TRUE(rf->ErrorFlag);  // nothing changed
    EXPECT_EQ(rf->ErrorText(), "odd");
}

TEST(FilesBdArchiveTest, DamagedZipIsFoundBadAndSoundZipClean) {
    TFilesBdFixture f(kCatalogue);
    TArchiveManager manager;
    f.files.SetArchiveManager(&manager);
    std::string big;
    for (int i = 0; i < 20000; ++i) big += std::to_string(i * 7919 % 10007);
    WriteFile(f.dir / "src/pm1.bin", big);
    WriteFile(f.dir / "src/pm2.bin", big + big);
    RunCommand("cd " + ShellQuote(f.dir / "src") + " && zip -q ../pacman.zip pm1.bin pm2.bin");
    TFile* zip = f.Zip("pacman.zip");
    TRomFile* one = zip->AddRomFile("pm1.bin", "11111111", 0, 16, "");
    zip->AddRomFile("pm2.bin", "22222222", 0, 16, "");
    one->SetErrorText("left from before");
    int unzipStatus = -1;
    RunCommand("unzip -tqq " + ShellQuote(f.dir / "pacman.zip"), &unzipStatus);
    ASSERT_EQ(unzipStatus, 0);
    EXPECT_FALSE(zip->TestArchive());
    EXPECT_FALSE(one->ErrorFlag);  // earlier findings are taken back first
    EXPECT_EQ(f.RomOf("pacman", "pm1.bin")->MatchCount, 1);

    const std::string bytes = ReadFile(f.dir / "pacman.zip");
    WriteFile(f.dir / "pacman.zip", bytes.substr(0, bytes.size() - 40));
    RunCommand("unzip -tqq " + ShellQuote(f.dir / "pacman.zip") + " 2>/dev/null", &unzipStatus);
    ASSERT_NE(unzipStatus, 0);
    EXPECT_TRUE(zip->TestArchive());
    EXPECT_TRUE(zip->HasRomErrors());
    EXPECT_TRUE(manager.OnError == nullptr);  // the callback is taken away again
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

TEST(FilesBdArchiveTest, FindingsReachTheRomFileOrTheFile) {
    TFilesBdFixture f(kCatalogue);
    TFile* zip = f.Zip("pacman.zip");
    TRomFile* inner = zip->AddRomFile("sub/pm1.bin", "11111111", 0, 16, "");
    TRomFile* other = zip->AddRomFile("pm2.bin", "22222222", 0, 16, "");
    zip->OnArchiveEntryError(zip->FullPath, "sub\\pm1.bin", "bad crc");  // the library's separator
    EXPECT_EQ(inner->Status, rsError);
    EXPECT_EQ(inner->ErrorText(), "bad crc");
    EXPECT_EQ(f.RomOf("pacman", "pm1.bin")->MatchCount, 0);
    zip->OnArchiveEntryError(zip->FullPath, "nothing.bin", "ignored");
    EXPECT_NE(other->Status, rsError);
    zip->OnArchiveEntryError(zip->FullPath, "", "not a zip");
    EXPECT_EQ(zip->ErrorText, "not a zip");
    EXPECT_TRUE(zip->RomFiles.Empty());
    EXPECT_EQ(f.RomOf("pacman", "pm2.bin")->MatchCount, 0);
}

TEST(FilesBdDates, UpdateDateReadsTheFileAndItsMembers) {
    TFilesBdFixture f(kCatalogue);
    WriteFile(f.dir / "set/a.bin", "a");
    WriteFile(f.dir / "set/b.bin", "b");
    std::filesystem::last_write_time(f.dir / "set/a.bin",
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 5));
    TFile* folder = f.Folder("set");
    TRomFile* a = folder->AddRomFile("a.bin", "11111111", 0, 1, "");
    TRomFile* b = folder->AddRomFile("b.bin", "22222222", 0, 1, "");
    TRomFile* gone = folder->AddRomFile("gone.bin", "33333333", 77, 1, "");
    TRomFile* placeholder = folder->AddRomFile("p.bin", "44444444", 55, 1, "");
    placeholder->Status = rsMissing;
    folder->UpdateDate();
    EXPECT_NE(folder->Date, 0);
    EXPECT_NE(a->Date, 0);
    EXPECT_NE(a->Date, b->Date);  // each member its own date
    EXPECT_EQ(gone->Date, 0);
    EXPECT_EQ(placeholder->Date, 55);
    EXPECT_EQ(a->GetDate(), a->Date);

    TFile* missing = f.Zip("missing.zip");
    missing->Date = 99;
    missing->UpdateDate();
    EXPECT_EQ(missing->Date, 99);
    WriteFile(f.dir / "here.zip", "x");
    TFile* zip = f.Zip("here.zip");
    TRomFile* entry = zip->AddRomFile("e.bin", "11111111", 0, 1, "");
    zip->UpdateDate();
    EXPECT_NE(zip->Date, 0);
    EXPECT_EQ(entry->Date, zip->Date);
    EXPECT_EQ(entry->GetDate(), zip->Date);
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

TEST(FilesBdPaths, LoadReadsTheCacheOnlyIntoAnEmptyPath) {
    TFilesBdFixture f(kCatalogue);
    WriteFile(f.dir / "pacman.zip", "not read here");
    f.Zip("pacman.zip")->AddRomFile("pm1.bin", "11111111", 0, 16, "");
    f.path->SaveCache();

    TFilesBd again;
    again.SetRomsBd(&f.roms);
    again.SetCachePath(f.cacheDir.Path());
    TPath* path = again.AddPath(f.dir.Path(), "", "");
    path->Load(false);
    ASSERT_EQ(path->Files().Count(), 1);
    TFile* zip = path->Files()[0];
    EXPECT_EQ(zip->Name, "pacman.zip");
    ASSERT_EQ(zip->RomFiles.Count(), 1);
    EXPECT_EQ(zip->RomFiles[0]->StoredName(), "pm1.bin");
    path->Load(false);
    EXPECT_EQ(path->Files().Count(), 1);
    EXPECT_EQ(path->Files()[0], zip);
    EXPECT_EQ(zip->RomFiles.Count(), 1);
    again.ClearPaths();
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

// The disk is unplugged and its mount point stays behind, empty: the path keeps the
// files the last scan found and is marked unavailable.
TEST(FilesBdPaths, AnAbsentVolumeWithAnEmptyMountPointKeepsItsFiles) {
    TFilesBdFixture f(kCatalogue);
    WriteFile(f.dir / "pm1.bin", std::string(16, 'a'));
    f.path->Load(false);
    ASSERT_EQ(f.path->Files().Count(), 1);
    std::filesystem::remove(f.dir / "pm1.bin");
    f.volumes.volumes[0] = TestVolume("9999-0000");
    f.path->Load(false);
    EXPECT_FALSE(f.path->IsVolumeAvailable());
    EXPECT_EQ(f.path->Files().Count(), 1);
}

}  // namespace
}  // namespace qm::test
