// The object graph: how rom lines become roms and listings, the CRC index, and files
// attached to roms.
#include <gtest/gtest.h>

#include "RomsBdTestSupport.h"
#include "platform/UiHooks.h"

namespace qm {
namespace {

using test::BuildCatalogue;

class RomsBdObjects : public ::testing::Test {
protected:
    TScriptedUiHooks hooks;
    TScopedUiHooks scoped{hooks};
    TRomsBd bd;

    TCloneRom* Listing(const char* clone, const char* rom) {
        TClone* c = bd.Games().FindClone(clone);
        return c ? c->FindCloneRom(rom) : nullptr;
    }
    int Warnings() const {
        int n = 0;
        for (const auto& shown : hooks.shown) n += shown.type == TMsgDlgType::mtWarning;
        return n;
    }
};

TEST_F(RomsBdObjects, ComplementedListingSharesTheRomUnderBothCrcs) {
    BuildCatalogue(bd, R"(
        p|p|a.bin|12345678|16
        p|c|a.bin|edcba987|16|p
    )");
    TCloneRom* parent = Listing("p", "a.bin");
    TCloneRom* clone = Listing("c", "a.bin");
    ASSERT_TRUE(parent && clone);
    EXPECT_EQ(parent->Rom, clone->Rom);
    EXPECT_EQ(parent->Rom->Kind, rkBothCrcs);
    EXPECT_EQ(parent->GetCrcState(), csBothCrcs);
    EXPECT_EQ(clone->GetCrcState(), csBothCrcs);
    EXPECT_EQ(bd.RomCount, 1);
    EXPECT_EQ(bd.CloneCount, 2);
}

TEST_F(RomsBdObjects, AllOnesMeetingNoDumpIsAComplementPair) {
    // The complement test comes before the no-dump rules.
    BuildCatalogue(bd, R"(
        p|p|a.bin|ffffffff|16
        p|c|a.bin|00000000|16|p
    )");
    EXPECT_EQ(Listing("p", "a.bin")->Rom->Kind, rkBothCrcs);
    EXPECT_EQ(Listing("p", "a.bin")->Rom, Listing("c", "a.bin")->Rom);
}

TEST_F(RomsBdObjects, NoDumpThenDumpGivesOneKnownRomFoundUnderTheDump) {
    BuildCatalogue(bd, R"(
        p|p|a.bin|00000000|16
        p|c|a.bin|12345678|16|p
    )");
    TCloneRom* first = Listing("p", "a.bin");
    TRom* rom = first->Rom;
    EXPECT_EQ(rom, Listing("c", "a.bin")->Rom);
    EXPECT_EQ(rom->Kind, rkKnown);
    EXPECT_EQ(rom->Crc, "12345678");
    EXPECT_EQ(first->Crc, "12345678");
    // Files of that dump must find it, and it counts as a rom.
    EXPECT_EQ(bd.Games().FindRomByCrc("12345678", 16), rom);
    EXPECT_EQ(bd.RomCount, 1);
}

TEST_F(RomsBdObjects, DumpThenNoDumpKeepsTheDump) {
    BuildCatalogue(bd, R"(
        p|p|a.bin|12345678|16
        p|c|a.bin|00000000|16|p
    )");
    EXPECT_EQ(Listing("c", "a.bin")->Rom, Listing("p", "a.bin")->Rom);
    EXPECT_EQ(Listing("c", "a.bin")->GetCrcState(), csNoDump);
    EXPECT_EQ(Listing("p", "a.bin")->Rom->Kind, rkKnown);
}

TEST_F(RomsBdObjects, NameClashNamesTheNewcomerAnewOnlyInTheMergedSetAndWarnsOnlyWithSplitOff) {
    // c3 lists c1's rom: one listing of the merged set for both.
    const char* text = R"(
        p|p|a.bin|11111111|16
        p|c1|a.bin|22222222|16|p
        p|c2|a.bin|33333333|16|p
        p|c3|a.bin|22222222|16|p
    )";
    struct Case {
        bool split;
        std::vector<int> answers;
        int warnings;
    } cases[] = {
        {false, {mrOk, mrOk}, 2},
        {false, {mrYesToAll}, 1},  // kept until the next build
        {true, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.split);
        hooks.shown.clear();
        hooks.dialogAnswers.assign(c.answers.begin(), c.answers.end());
        bd.Split = c.split;
        BuildCatalogue(bd, text);
        EXPECT_TRUE(bd.NameClash);
        EXPECT_EQ(Warnings(), c.warnings);
        // Each clone's own set keeps the datafile's name; the merged set names each
        // newcomer once from that name.
        TCloneRom* c1 = Listing("c1", "a.bin");
        TCloneRom* c2 = Listing("c2", "a.bin");
        ASSERT_TRUE(c1 && c2 && c1->MergedSetAlias() && c2->MergedSetAlias());
        EXPECT_EQ(Listing("p", "a.bin")->MergedSetAlias(), nullptr);
        EXPECT_EQ(c1->MergedSetAlias()->Name, "a Copy 1.bin");
        EXPECT_EQ(c2->MergedSetAlias()->Name, "a Copy 2.bin");
        EXPECT_EQ(Listing("c3", "a.bin")->MergedSetAlias()->Name, "a Copy 1.bin");
        EXPECT_EQ(Listing("c3", "a.bin")->Rom, c1->Rom);
        EXPECT_EQ(c1->Rom->Crc, "22222222");
        EXPECT_NE(c1->Rom, Listing("p", "a.bin")->Rom);
        EXPECT_EQ(bd.RomCount, 3);
        EXPECT_EQ(c1->InSet(), c.split ? c1 : c1->MergedSetAlias());
    }
    // The warning names both roms.
    bd.Split = false;
    hooks.shown.clear();
    BuildCatalogue(bd, "p|p|a.bin|11111111|16\np|c1|A.BIN|22222222|16|p");
    ASSERT_FALSE(hooks.shown.empty());
    EXPECT_EQ(hooks.shown[0].text,
              "Data error in datafile !\nTwo roms with identical name and different crc found :\n\n"
              "Game p, rom a.bin (11111111)\nGame p, rom A.BIN (22222222)\n\n"
              "In full merge mode, only the first one will be used.");
    EXPECT_EQ(hooks.shown[0].buttons, unsigned(mbOK | mbYesToAll));
    EXPECT_EQ(Listing("c1", "A.BIN")->MergedSetAlias()->Name, "A Copy 1.BIN");
}

TEST_F(RomsBdObjects, ClashRenameKeepsDotsOfFoldersAndNamesWithoutExtension) {
    BuildCatalogue(bd, R"(
        p|p|dir.v2/rom|11111111|16
        p|c|dir.v2/rom|22222222|16|p
    )");
    EXPECT_EQ(Listing("c", "dir.v2/rom")->MergedSetAlias()->Name, "dir.v2/rom Copy 1");
}

TEST_F(RomsBdObjects, TwoRomsOfOneNameInOneCloneRenameTheSecondInEveryMode) {
    BuildCatalogue(bd, R"(
        p|p|a.bin|11111111|16
        p|p|a.bin|22222222|16
    )");
    ASSERT_TRUE(Listing("p", "a Copy 1.bin"));
    EXPECT_EQ(Listing("p", "a Copy 1.bin")->Rom->Crc, "22222222");
    EXPECT_EQ(Listing("p", "a Copy 1.bin")->MergedSetAlias(), nullptr);
}

TEST_F(RomsBdObjects, BlankCrcCountsAsFoundAndIsNotShared) {
    BuildCatalogue(bd, R"(
        g1|g1|a.bin|        |16
        g2|g2|b.bin|        |16
    )");
    TRom* a = Listing("g1", "a.bin")->Rom;
    TRom* b = Listing("g2", "b.bin")->Rom;
    EXPECT_EQ(a->MatchCount, 1);
    EXPECT_NE(a, b);
    EXPECT_EQ(bd.RomCount, 0);
    EXPECT_EQ(Listing("g1", "a.bin")->GetCrcState(), csNormal);
    EXPECT_EQ(bd.Games().FindRomByCrc("        ", 16), nullptr);
    // Attaching keeps the count at one; detaching changes nothing.
    a->AttachFile("12345678", 16, nullptr);
    a->AttachFile("12345678", 16, nullptr);
    EXPECT_EQ(a->MatchCount, 1);
    EXPECT_TRUE(a->Files.empty());
    a->DetachFile("12345678", 16, nullptr);
    EXPECT_EQ(a->MatchCount, 1);
}

TEST_F(RomsBdObjects, SameCrcAcrossGamesSharesOneRom) {
    BuildCatalogue(bd, R"(
        g1|g1|a.bin|12345678|16
        g2|g2|other.bin|12345678|16
        g2|g2|other.bin|12345678|16
    )");
    TRom* rom = Listing("g1", "a.bin")->Rom;
    EXPECT_EQ(rom, Listing("g2", "other.bin")->Rom);
    EXPECT_EQ(rom->Owners.Count(), 2u);  // the repeated line makes no second listing
    EXPECT_EQ(bd.Games().FindClone("g2")->CloneRoms.Count(), 1u);
    EXPECT_EQ(bd.RomCount, 1);
}

TEST_F(RomsBdObjects, SameCrcOtherSizeIsAnotherRomFoundBySize) {
    BuildCatalogue(bd, R"(
        g1|g1|a.bin|12345678|16
        g2|g2|b.bin|12345678|32
        g3|g3|c.bin|87654321|
    )");
    TRom* small = Listing("g1", "a.bin")->Rom;
    TRom* large = Listing("g2", "b.bin")->Rom;
    TRom* unknown = Listing("g3", "c.bin")->Rom;
    ASSERT_NE(small, large);
    EXPECT_EQ(bd.RomCount, 3);
    TGamesList& games = bd.Games();
    struct Case {
        const char* crc;
        int64_t size;
        bool checkSize;
        TRom* expected;
    } cases[] = {
        {"12345678", 16, true, small},
        {"12345678", 32, true, large},
        {"12345678", 64, true, nullptr},
        {"12345678", 64, false, small},
        {"12345678", 32, false, small},
        {"87654321", 999, true, unknown},   // unknown size matches any
        {"789abcde", 999, true, unknown},   // complement of a known CRC
        {"edcba987", 16, true, small},
        {"EDCBA987", 16, true, small},       // keys ignore case
        {"00000000", 16, true, nullptr},
        {"        ", 16, true, nullptr},
        {"", 16, true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.crc) + " " + std::to_string(c.size));
        bd.CheckSize = c.checkSize;
        EXPECT_EQ(games.FindRomByCrc(c.crc, c.size), c.expected);
    }
}

TEST_F(RomsBdObjects, TwoRomsOfSameCrcAndSizeWarnOncePerCrc) {
    // A no-dump that later gets a known dump becomes a second rom of that CRC.
    BuildCatalogue(bd, R"(
        g1|g1|a.bin|12345678|16
        g2|g2|b.bin|00000000|16
        g2|c2|b.bin|12345678|16|g2
    )");
    ASSERT_NE(Listing("g1", "a.bin")->Rom, Listing("g2", "b.bin")->Rom);
    hooks.shown.clear();
    EXPECT_EQ(bd.Games().FindRomByCrc("12345678", 16), Listing("g1", "a.bin")->Rom);
    EXPECT_EQ(bd.Games().FindRomByCrc("12345678", 16), Listing("g1", "a.bin")->Rom);
    ASSERT_EQ(hooks.shown.size(), 1u);
    // The warning names both roms (set and rom name) and the CRC they share.
    EXPECT_EQ(hooks.shown[0].text,
              "Warning !!!\nTwo roms have same crc and same size !\ng1/a.bin and g2/b.bin: CRC 12345678, 16 bytes.\n"
              "Please contact author");
}

TEST_F(RomsBdObjects, CrcStatesInOrder) {
    BuildCatalogue(bd, "g|g|a.bin|12345678|16");
    TCloneRom* cr = Listing("g", "a.bin");
    TRom* rom = cr->Rom;
    struct Case {
        const char* listed;
        const char* romCrc;
        uint8_t kind;
        int state;
    } cases[] = {
        {"   ", "12345678", rkBothCrcs, csNormal},
        {"00000000", "12345678", rkBothCrcs, csNoDump},
        {"12345678", "aaaaaaaa", rkBothCrcs, csBothCrcs},
        {"12345678", "12345678", rkConfirmed, csNormal},
        {"12345678", "edcba987", rkConfirmed, csBadDump},
        {"12345678", "aaaaaaaa", rkKnown, csNormal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.listed);
        cr->Crc = bd.Games().StoreText(c.listed);
        rom->Crc = bd.Games().StoreText(c.romCrc);
        rom->Kind = c.kind;
        EXPECT_EQ(cr->GetCrcState(), c.state);
        rom->MatchCount = 0;
        EXPECT_EQ(cr->GetStateFlags(), (c.state == csBadDump || c.state == csNoDump) ? 4 : 0);
        rom->MatchCount = 1;
        EXPECT_EQ(cr->GetStateFlags(), (c.state == csBadDump || c.state == csNoDump) ? 6 : 2);
    }
}

TEST_F(RomsBdObjects, AttachAndDetachFiles) {
    BuildCatalogue(bd, R"(
        g|g|nd.bin|00000000|16
        g|g|k.bin|12345678|16
        g|c|k.bin|edcba987|16|g
        h|h|real.bin|abcdef01|16
    )");
    TRom* noDump = Listing("g", "nd.bin")->Rom;
    TRom* pair = Listing("g", "k.bin")->Rom;
    TRom* real = Listing("h", "real.bin")->Rom;
    auto* f1 = reinterpret_cast<TRomFile*>(0x10);
    auto* f2 = reinterpret_cast<TRomFile*>(0x20);

    // A file on a no-dump rom that is a known dump also counts for that rom.
    noDump->AttachFile("abcdef01", 16, f1);
    EXPECT_EQ(noDump->MatchCount, 1);
    EXPECT_EQ(real->MatchCount, 1);
    EXPECT_TRUE(real->Files.empty());
    EXPECT_EQ(noDump->Files, std::vector<TRomFile*>{f1});
    noDump->DetachFile("abcdef01", 16, f1);
    EXPECT_EQ(noDump->MatchCount, 0);
    EXPECT_EQ(real->MatchCount, 0);
    EXPECT_TRUE(noDump->Files.empty());
    noDump->DetachFile("abcdef01", 16, f1);  // never below zero
    EXPECT_EQ(noDump->MatchCount, 0);
    EXPECT_EQ(real->MatchCount, 0);

    // A file decides which CRC of a pair is good; detaching does not undo it.
    ASSERT_EQ(pair->Kind, rkBothCrcs);
    pair->AttachFile("EDCBA987", 16, f1);
    pair->AttachFile("EDCBA987", 16, f2);
    EXPECT_EQ(pair->Kind, rkConfirmed);
    EXPECT_EQ(pair->Crc, "edcba987");
    EXPECT_EQ(pair->MatchCount, 2);
    pair->DetachFile("edcba987", 16, f1);
    EXPECT_EQ(pair->Files, std::vector<TRomFile*>{f2});
    EXPECT_EQ(pair->Kind, rkConfirmed);
    EXPECT_EQ(Listing("g", "k.bin")->GetCrcState(), csBadDump);
    EXPECT_EQ(Listing("c", "k.bin")->GetCrcState(), csNormal);

    // Many copies of one rom: detached from anywhere, the rest keep their order.
    auto* f3 = reinterpret_cast<TRomFile*>(0x30);
    auto* f4 = reinterpret_cast<TRomFile*>(0x40);
    for (TRomFile* f : {f1, f2, f3, f4}) real->AttachFile("abcdef01", 16, f);
    EXPECT_EQ(real->Files, (std::vector<TRomFile*>{f1, f2, f3, f4}));
    real->DetachFile("abcdef01", 16, f2);
    real->DetachFile("abcdef01", 16, f4);
    EXPECT_EQ(real->Files, (std::vector<TRomFile*>{f1, f3}));
    real->DetachFile("abcdef01", 16, f1);
    real->AttachFile("abcdef01", 16, f2);
    EXPECT_EQ(real->Files, (std::vector<TRomFile*>{f3, f2}));
    EXPECT_EQ(real->MatchCount, 2);
}

TEST_F(RomsBdObjects, ListingsAddedOnceTheCatalogueIsPackedJoinItsLists) {
    BuildCatalogue(bd, R"(
        g|g|a.bin|11111111|16
        g|g|b.bin|22222222|16
        g|c|a.bin|11111111|16
        h|h|x.bin|33333333|16
    )");
    bd.ReleaseDatafileItems();  // the lists are packed, each in room for exactly its own
    TClone* c = bd.Games().FindClone("c");
    TClone* h = bd.Games().FindClone("h");
    for (int i = 0; i < 5; ++i) c->AddRom("4444444" + std::to_string(i), "n" + std::to_string(i), 16, "", "");
    h->AddRom("11111111", "a.bin", 16, "", "");
    bd.ReleaseDatafileItems();  // packs again what grew, once more
    std::string names;
    for (const TCloneRom* listing : c->CloneRoms) names += listing->Name + " ";
    EXPECT_EQ(names, "a.bin n0 n1 n2 n3 n4 ");
    TRom* a = Listing("g", "a.bin")->Rom;
    ASSERT_EQ(a->Owners.Count(), 3u);
    EXPECT_EQ(a->Owners[0], Listing("g", "a.bin"));
    EXPECT_EQ(a->Owners[1], Listing("c", "a.bin"));
    EXPECT_EQ(a->Owners[2], Listing("h", "a.bin"));
    EXPECT_EQ(Listing("g", "b.bin")->Rom->Owners.Count(), 1u);
    EXPECT_EQ(bd.Games().FindRomByCrc("44444442", 16), Listing("c", "n2")->Rom);
}

TEST_F(RomsBdObjects, ListsAreInNameOrderAndFindIgnoresCase) {
    BuildCatalogue(bd, R"(
        b|b|r|11111111|1
        _x|_x|r|11111111|1
        A|A|r|11111111|1
        a2|z|r|11111111|1
        a2|Y|r|11111111|1
    )");
    std::string order;
    for (const TGame* game : bd.Games()) order += game->Name + " ";
    EXPECT_EQ(order, "_x A a2 b ");
    std::string clones;
    for (const TClone* clone : bd.Games().AllClones) clones += clone->Name + " ";
    EXPECT_EQ(clones, "_x A b Y z ");
    EXPECT_EQ(bd.Games().FindGame("B"), bd.Games().FindGame("b"));
    EXPECT_EQ(bd.Games().FindClone("y")->Name, "Y");
    // No clone is named after the game: the first in name order is its parent.
    TGame* a2 = bd.Games().FindGame("a2");
    ASSERT_EQ(a2->Clones.Count(), 2u);
    EXPECT_EQ(a2->GetParentClone()->Name, "Y");
    EXPECT_FALSE(bd.Games().FindClone("z")->IsParent);
    EXPECT_LT(CompareNames("_", "a"), 0);
    EXPECT_LT(CompareNames("a", "B"), 0);
    EXPECT_EQ(CompareNames("abc", "ABC"), 0);
    EXPECT_LT(CompareNames("ab", "abc"), 0);
    // Long names are compared eight bytes at a time: the first byte that differs
    // decides, a capital as its small letter, a byte above 127 after every letter.
    for (size_t at = 0; at < 20; ++at) {
        std::string a(20, 'm');
        std::string b = a;
        a[19] = 'z';  // a later difference that must not count
        b[19] = 'a';
        a[at] = 'A';
        b[at] = 'b';
        EXPECT_LT(CompareNames(a, b), 0) << at;
        EXPECT_GT(CompareNames(b, a), 0) << at;
        b[at] = '\xC1';
        EXPECT_LT(CompareNames(a, b), 0) << at;
        b[at] = '[';
        EXPECT_GT(CompareNames(a, b), 0) << at;
        b = a;
        b[at] = 'a';
        EXPECT_EQ(CompareNames(a, b), 0) << at;
    }

    // Names of every length the lookup reads in pieces; only ASCII letters fold, never
    // their neighbours "@[`{" nor bytes above 127.
    TRomsBd named;
    BuildCatalogue(named, "Q|Q|r|1|1\nGame5|Game5|r|1|1\nLongGameName|LongGameName|r|1|1\n"
                          "VeryLongGameName_2024|VeryLongGameName_2024|r|1|1\n@x[|@x[|r|1|1\n\xC1z|\xC1z|r|1|1");
    for (const char* name : {"q", "GAME5", "longgamename", "verylonggamename_2024", "VERYLONGGAMENAME_2024"})
        EXPECT_NE(named.Games().FindClone(name), nullptr) << name;
    for (const char* name : {"`x[", "@x{", "@X[", "\xE1z", "verylonggamename_2025", "game"})
        EXPECT_EQ(named.Games().FindGame(name) != nullptr, std::string(name) == "@X[") << name;
}

TEST_F(RomsBdObjects, ParentIsTheCloneNamedExactlyAfterTheGame) {
    // The game is found without regard to case, but only the exact name is the parent.
    BuildCatalogue(bd, R"(
        p|P|r|11111111|1
        P|a|s|22222222|1
    )");
    TGame* game = bd.Games().FindGame("P");
    EXPECT_EQ(game->Name, "p");
    EXPECT_EQ(game->Clones.Count(), 2u);
    EXPECT_FALSE(bd.Games().FindClone("P")->IsParent);
    EXPECT_EQ(game->GetParentClone()->Name, "a");  // fallback: first in name order
}

TEST_F(RomsBdObjects, CloneNamedByTwoGamesKeepsBothListingsAndTheEmptyGameGoes) {
    BuildCatalogue(bd, R"(
        g1|g1|a.bin|11111111|1
        g1|shared|b.bin|22222222|1
        g2|shared|c.bin|33333333|1
    )");
    TClone* shared = bd.Games().FindClone("shared");
    EXPECT_EQ(shared->Game->Name, "g1");
    EXPECT_TRUE(shared->FindCloneRom("c.bin"));
    EXPECT_EQ(bd.Games().FindGame("g2"), nullptr);
    EXPECT_EQ(bd.GameCount, 1);
    ASSERT_EQ(Warnings(), 1);
    EXPECT_EQ(hooks.shown.back().text,
              "Data error in datafile !\n1 games list only clones of other games and were left out: g2");
}

TEST_F(RomsBdObjects, NamelessLinesAreSkippedWithOneWarning) {
    BuildCatalogue(bd, R"(
        [RESOURCES]
        |bios|b.rom|aaaaaaaa|1
        [GAMES]
        g|g|a.bin|11111111|1
        g|g||22222222|1
        |x|a.bin|33333333|1
        g||a.bin|44444444|1|g|a.bin
    )");
    EXPECT_EQ(bd.GameCount, 1);
    EXPECT_EQ(bd.RomCount, 1);
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].text,
              "Data error in datafile !\n4 rom lines without a set, game or rom name were skipped.");
}

// Only the fields the database reads; stands for the files database's classes.
struct FakeFile;
struct FakeRomFile {
    FakeFile* File;
    TCloneRom* CloneRom;
};
struct FakeFile {
    TClone* Clone;
};

TEST_F(RomsBdObjects, CollectFilesTakesFilesMatchedToTheCloneOnce) {
    BuildCatalogue(bd, R"(
        p|p|a.bin|11111111|1
        p|p|b.bin|22222222|1
        p|c|a.bin|11111111|1|p|a.bin
    )");
    TClone* parent = bd.Games().FindClone("p");
    TClone* clone = bd.Games().FindClone("c");
    FakeFile parentZip{parent}, cloneZip{clone}, stray{nullptr};
    FakeRomFile rf[] = {{&parentZip, parent->FindCloneRom("a.bin")},
                        {&parentZip, parent->FindCloneRom("b.bin")},
                        {&cloneZip, clone->FindCloneRom("a.bin")},
                        {&stray, nullptr}};
    auto attach = [](TCloneRom* cr, FakeRomFile& f) { cr->Rom->AttachFile(cr->Rom->Crc, 1, reinterpret_cast<TRomFile*>(&f)); };
    attach(parent->FindCloneRom("a.bin"), rf[0]);
    attach(parent->FindCloneRom("b.bin"), rf[1]);
    attach(parent->FindCloneRom("a.bin"), rf[2]);
    attach(parent->FindCloneRom("a.bin"), rf[3]);

    std::vector<FakeFile*> files;
    parent->CollectFiles<FakeRomFile, FakeFile>(files);
    EXPECT_EQ(files, std::vector<FakeFile*>{&parentZip});
    files.clear();
    clone->CollectFiles<FakeRomFile, FakeFile>(files);
    EXPECT_EQ(files, std::vector<FakeFile*>{&cloneZip});
    files.clear();
    parent->Game->CollectFiles<FakeRomFile, FakeFile>(files);
    EXPECT_EQ(files, std::vector<FakeFile*>{&parentZip});
}

}  // namespace
}  // namespace qm
