// Matching details that the collection cases do not reach, and the status texts and
// image indexes of files and rom files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Text.h"

#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"
#include "filesBdTestSupport.h"

namespace qm::test {
namespace {

const char* kGames = R"(
g|g|r1.bin|11111111|16||
g|g|r2.bin|22222222|16||
n|n|n1.bin|33333333|16||
n|n|n2.bin|00000000|16||
k|k|ROM.BIN|44444444|16||
)";

// Renames a rom file the way a repair would: stored name, name and extension.
void RenameRom(TRomFile* rf, const std::string& name) {
    rf->SetNames(name, name, FileExtension(name));
}

// Whatever the case rule, renaming a rom to the name its status asks for makes it good.
TEST(Match, RenamingToTheCorrectNameConverges) {
    struct Case {
        TCaseOptions option;
        const char* stored;
        int status;
        const char* correct;
    };
    const Case cases[] = {
        {coDatabase, "rom.bin", rsBadCase, "ROM.BIN"},
        {coDatabase, "ROM.BIN", rsOk, "ROM.BIN"},  // spelled as the datafile spells it
        {coUppercase, "rom.bin", rsBadCase, "ROM.BIN"},
        {coLowercase, "ROM.BIN", rsBadCase, "rom.bin"},
        {coCapitalize, "ROM.BIN", rsBadCase, "Rom.bin"},
        {coDontCare, "rOm.BiN", rsOk, "ROM.bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored + std::string(" ") + std::to_string(c.option));
        TFilesBdFixture f(kGames);
        f.files.RomFileCaseOptions = c.option;
        TFile* zip = f.Zip("k.zip");
        TRomFile* rf = zip->AddRomFile(c.stored, "44444444", 0, 16, "");
        zip->Match();
        EXPECT_EQ(rf->Status, c.status);
        EXPECT_EQ(rf->GetCorrectName(), c.correct);
        RenameRom(rf, rf->GetCorrectName());
        zip->Match();
        EXPECT_EQ(rf->Status, rsOk);
        zip->Match();
        EXPECT_EQ(rf->Status, rsOk);
    }
}

TEST(Match, AReadErrorIsSeenBeforeTheNoDumpCrc) {
    TFilesBdFixture f(kGames);
    TFile* zip = f.Zip("n.zip");
    zip->AddRomFile("n1.bin", "33333333", 0, 16, "");
    TRomFile* broken = zip->AddRomFile("n2.bin", "00000000", 0, 16, "");
    broken->SetError("read error");
    zip->Match();
    EXPECT_EQ(broken->Status, rsError);
    EXPECT_EQ(broken->CloneRom, nullptr);
    // The no-dump rom is not taken by the unreadable entry: a placeholder stands for it.
    ASSERT_EQ(zip->RomFiles.Count(), 3);
    ASSERT_EQ(zip->GetMissingRomCount(), 1);
    for (const auto& entry : zip->RomFiles)
        if (entry.romFile->IsMissing()) { EXPECT_EQ(entry.romFile->CloneRom, f.CloneRomOf("n", "n2.bin")); }
    EXPECT_EQ(zip->GetStatusText(), "Errors on rom");
}

// The no-dump step takes only a rom file nothing has taken: a file already matched by
// CRC to another rom keeps that rom.
TEST(Match, NoDumpStepTakesOnlyUnsettledRomFiles) {
    TFilesBdFixture f(kGames);
    f.files.PlugInSuggeredExtension = true;
    TFile* zip = f.Zip("nn.zip");  // not named after its game: found through its rom
    TRomFile* rf = zip->AddRomFile("n2.bin", "33333333", 0, 16, ".md");
    zip->Match();
    ASSERT_EQ(zip->Clone, f.roms.FindClone("n"));
    EXPECT_EQ(rf->Status, rsBadName);
    EXPECT_EQ(rf->CloneRom, f.CloneRomOf("n", "n1.bin"));
    ASSERT_EQ(zip->GetMissingRomCount(), 1);
    for (const auto& entry : zip->RomFiles)
        if (entry.romFile->IsMissing()) { EXPECT_EQ(entry.romFile->CloneRom, f.CloneRomOf("n", "n2.bin")); }
}

// A re-match keeps the placeholder object (views point at it); the rom that arrives
// fills it.
TEST(Match, PlaceholdersSurviveARematchAndAreFilled) {
    TFilesBdFixture f(kGames);
    TFile* zip = f.Zip("g.zip");
    zip->AddRomFile("r1.bin", "11111111", 0, 16, "");
    zip->Match();
    const int index = zip->RomFiles.IndexOfFileName("r2.bin", true);
    ASSERT_GE(index, 0);
    TRomFile* placeholder = zip->RomFiles[index];
    EXPECT_EQ(placeholder->Status, rsMissing);
    EXPECT_EQ(placeholder->CloneRom, f.CloneRomOf("g", "r2.bin"));
    EXPECT_EQ(placeholder->Crc(), "22222222");
    std::vector<TRomFile*> created, removed;
    f.files.OnCreateRomFile = [&](TRomFile* r) { created.push_back(r); };
    f.files.OnRemoveRomFile = [&](TRomFile* r) { removed.push_back(r); };
    zip->Match();
    EXPECT_EQ(zip->RomFiles[zip->RomFiles.IndexOfFileName("r2.bin", true)], placeholder);
    EXPECT_TRUE(created.empty());
    EXPECT_TRUE(removed.empty());
    EXPECT_EQ(zip->AddRomFile("r2.bin", "22222222", 0, 16, ""), placeholder);
    zip->Match();
    EXPECT_EQ(placeholder->Status, rsOk);
    EXPECT_EQ(zip->RomFiles.Count(), 2);
    EXPECT_EQ(f.RomOf("g", "r2.bin")->MatchCount, 1);
}

TEST(Match, UnneededPlaceholdersGoWithAnEvent) {
    TFilesBdFixture f(R"(
p|p|a.bin|11111111|16||
p|c|a.bin|11111111|16|p|a.bin
p|c|b.bin|66666666|16|p|
)");
    f.roms.Split = true;
    TFile* zip = f.Zip("c.zip");
    zip->AddRomFile("b.bin", "66666666", 0, 16, "");
    zip->Match();  // un-merged: the clone's archive holds its parent's rom too
    ASSERT_EQ(zip->GetMissingRomCount(), 1);
    std::vector<std::string> removed;
    f.files.OnRemoveRomFile = [&](TRomFile* r) { removed.emplace_back(r->Name()); };
    f.roms.MergeRoms = true;  // split: the parent's rom is no longer wanted here
    zip->Match();
    EXPECT_EQ(removed, std::vector<std::string>{"a.bin"});
    EXPECT_EQ(zip->RomFiles.Count(), 1);
    EXPECT_EQ(zip->RomFiles[0]->Status, rsOk);
}

// ---- Texts and icons ------------------------------------------------------------------

struct TShown {
    std::string text;
    int image;
};

TShown Shown(const TFile* file) { return {file->GetStatusText(), file->GetImageIndex()}; }
TShown Shown(const TRomFile* rf) { return {rf->GetStatusText(), rf->GetImageIndex()}; }

void ExpectShown(const TShown& got, const std::string& text, int image, const std::string& what) {
    EXPECT_EQ(got.text, text) << what;
    EXPECT_EQ(got.image, image) << what;
}

TEST(StatusTexts, FilesAndRomFiles) {
    TFilesBdFixture f(kGames);
    f.files.RomFileCaseOptions = coLowercase;
    TTempDir other;
    TPath* second = f.files.AddPath(other.Path(), "", "");
    auto zipOf = [&](TPath* path, const std::string& name, const std::vector<std::pair<std::string, std::string>>& roms) {
        TFile* zip = path->NewFile(name, fkZip, false);
        zip->Date = 0x5a5a0000;
        for (const auto& [rom, crc] : roms) zip->AddRomFile(rom, crc, 0, 16, "");
        return zip;
    };
    TFile* good = zipOf(f.path, "g.zip", {{"r1.bin", "11111111"}, {"r2.bin", "22222222"}});
    TFile* useless = zipOf(second, "g.zip", {{"r1.bin", "11111111"}, {"r2.bin", "22222222"}, {"x.bin", "99999999"}});
    TFile* misnamed = zipOf(f.path, "gee.zip", {{"r1.bin", "11111111"}, {"r2.bin", "22222222"}});
    TFile* badRom = zipOf(f.path, "k.zip", {{"other.bin", "44444444"}});
    TFile* badCase = zipOf(second, "k.zip", {{"ROM.BIN", "44444444"}});
    TFile* nodump = zipOf(f.path, "n.zip", {{"n1.bin", "33333333"}});
    TFile* unknown = zipOf(f.path, "none.zip", {{"y.bin", "98989898"}});
    TFile* broken = zipOf(f.path, "broken.zip", {{"r1.bin", "11111111"}});
    TFile* undated = f.Folder("k");
    undated->AddRomFile("ROM.BIN", "44444444", 0, 16, "")->SetComment("from the plug-in");
    TFile* plain = f.Plain("r1.bin");
    plain->Date = 1;
    plain->AddRomFile("r1.bin", "11111111", 0, 16, "");
    TFile* plainBad = f.Plain("r1 copy.bin");
    plainBad->Date = 1;
    plainBad->AddRomFile("r1 copy.bin", "11111111", 0, 16, "");
    TFile* plainUnknown = f.Plain("readme.txt");
    plainUnknown->Date = 1;
    plainUnknown->AddRomFile("readme.txt", "12121212", 0, 16, "")->SetComment(" ");
    f.files.MatchAll();
    broken->SetErrorText("Archive is damaged");

    ExpectShown(Shown(good), "Ok. - Duplicated.(3)", 16, "good, also in the second path");
    ExpectShown(Shown(useless), "Ok (Useless files).", 16, "one entry too many");
    ExpectShown(Shown(useless->RomFiles[useless->RomFiles.IndexOfFileName("x.bin", false)]), "Unknown rom.", 3,
                "unknown entry");
    ExpectShown(Shown(misnamed), "Bad file name, correct name is g.zip - Duplicated.(3)", 15, "file name");
    ExpectShown(Shown(badRom), "Bad roms names. - Duplicated.(3)", 15, "rom under another name");
    ExpectShown(Shown(badRom->RomFiles[0]), "Bad name, correct name is rom.bin", 1, "the rom");
    ExpectShown(Shown(badCase), "Bad case on roms - Duplicated.(3)", 16, "rom case");
    ExpectShown(Shown(badCase->RomFiles[0]), "Case is not correct.", 2, "the rom's case");
    ExpectShown(Shown(nodump), "Incomplete (roms missing).", 4 + 14, "no-dump rom missing");
    const TRomFile* missingDump = nodump->RomFiles[nodump->RomFiles.IndexOfFileName("n2.bin", true)];
    ExpectShown(Shown(missingDump), "Missing.", 0 + 4, "no-dump placeholder");
    EXPECT_TRUE(missingDump->IsMissingDump());
    ExpectShown(Shown(nodump->RomFiles[nodump->RomFiles.IndexOfFileName("n1.bin", false)]), "Ok.", 2,
                "good rom of a game with a no-dump");
    EXPECT_EQ(nodump->GetDuplicateCount(), 1);
    ExpectShown(Shown(unknown), "No roms found", 17, "no game");
    ExpectShown(Shown(broken), "Archive is damaged", 25, "file error");
    ExpectShown(Shown(undated), "Bad case on roms - from the plug-in - Duplicated.(3) - Date is not correct.", 2 + 7,
                "folder with one commented rom, no date");
    ExpectShown(Shown(plain), "Ok. - Duplicated.(6)", 2, "plain file");
    ExpectShown(Shown(plain->RomFiles[0]), "Ok. - Duplicated.(6)", 2, "a plain file's rom is the file");
    ExpectShown(Shown(plainBad), "Bad file name, correct name is r1.bin - Duplicated.(6)", 1, "plain misnamed");
    ExpectShown(Shown(plainUnknown), "Unknown rom.", 3, "plain unknown, blank comment");

    TFile* partial = zipOf(second, "n.zip", {{"n2.bin", "abababab"}});
    partial->Match();
    ExpectShown(Shown(partial), "Incomplete (roms available).", 1 + 4 + 14, "rom held by another file");
    ExpectShown(Shown(partial->RomFiles[partial->RomFiles.IndexOfFileName("n1.bin", true)]),
                "Available in another game.", 1, "placeholder of a rom held elsewhere");
}

TEST(StatusTexts, RomFileFlagsOverTheStatus) {
    TFilesBdFixture f(kGames);
    TFile* zip = f.Zip("g.zip");
    zip->Date = 1;
    TRomFile* r1 = zip->AddRomFile("r1.bin", "11111111", 0, 16, "");
    TRomFile* copy = zip->AddRomFile("r1b.bin", "11111111", 0, 16, "");
    zip->AddRomFile("r2.bin", "22222222", 0, 16, "");
    zip->Match();
    ExpectShown(Shown(r1), "Ok.", 2, "kept copy");
    ExpectShown(Shown(copy), "Duplicated.(2)", 1, "surplus copy");
    copy->SetComment("c");
    ExpectShown(Shown(copy), "Duplicated.(2) - c", 1, "with a comment");
    copy->SetErrorText("bad sector");
    ExpectShown(Shown(copy), "bad sector", 1, "flagged and duplicated");
    ExpectShown(Shown(zip), "Errors on rom", 25, "the file shows the flag");
    r1->Status = rsBadFileName;
    ExpectShown(Shown(r1), "Bad file name.", 1, "status 1");
    copy->Duplicated = false;
    ExpectShown(Shown(copy), "bad sector", 25, "flagged");
    copy->Rom = nullptr;
    copy->CloneRom = nullptr;
    copy->Duplicated = true;
    copy->ErrorFlag = false;
    copy->SetComment("");
    copy->Status = rsNotUsed;
    ExpectShown(Shown(copy), "Duplicated.", 1, "surplus copy of no rom");
}

// The texts go through the catalogue: run in a child process, since the language is
// process-wide.
TEST(StatusTexts, TranslatedThroughTheCatalogue) {
    TTempDir dir;
    WriteFile(dir / "default.po",
              "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
              "msgid \"Missing.\"\nmsgstr \"Manquant.\"\n\n"
              "msgid \"Duplicated.\"\nmsgstr \"En double.\"\n\n"
              "msgid \"Bad name, correct name is %1\"\nmsgstr \"Mauvais nom (%1)\"\n");
    int status = -1;
    RunCommand("mkdir -p " + ShellQuote(dir / "locale/C.UTF-8/LC_MESSAGES") + " && msgfmt -o " +
                   ShellQuote(dir / "locale/C.UTF-8/LC_MESSAGES/default.mo") + " " + ShellQuote(dir / "default.po"),
               &status);
    ASSERT_EQ(status, 0);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("LC_ALL", "C.UTF-8", 1);
            InitTranslation(dir / "locale");
            TFilesBdFixture f(kGames);
            TFile* zip = f.Zip("g.zip");
            TRomFile* moved = zip->AddRomFile("other.bin", "11111111", 0, 16, "");
            TRomFile* copy = zip->AddRomFile("copy.bin", "11111111", 0, 16, "");
            zip->Match();
            const bool ok = RomStatusText(rsMissing) == "Manquant." &&
                            moved->GetStatusText() == "Mauvais nom (r1.bin)" &&
                            copy->GetStatusText() == "En double.(2)";
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace qm::test
