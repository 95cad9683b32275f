// Building from datafile items, the merged, split and un-merged views of one family,
// game and clone states, statistics, and matching a file to a rom.
#include <gtest/gtest.h>

#include "RomsBdTestSupport.h"
#include "platform/UiHooks.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::BuildCatalogue;
using test::Names;

// A bios set; a parent that takes a rom from it, with a no-dump and a rom whose clone
// lists the bad dump (complemented CRC); a clone that merges two roms from the parent
// (one under another name), has one of its own and one whose name clashes with the
// parent's.
const char* const kFamily = R"(
    [RESOURCES]
    bios|bios|bios.rom|aaaaaaaa|10
    [GAMES]
    par|par|bios.rom|aaaaaaaa|10|bios|bios.rom
    par|par|p1.bin|11111111|20|bios
    par|par|p2.bin|22222222|30|bios
    par|par|nd.bin|00000000|40|bios
    par|par|g.bin|44444444|50|bios
    par|clo|bios.rom|aaaaaaaa|10|par|bios.rom
    par|clo|p1.bin|11111111|20|par|p1.bin
    par|clo|c2b.bin|22222222|30|par|p2.bin
    par|clo|c3.bin|33333333|60|par
    par|clo|g.bin|bbbbbbbb|50|par
    par|clo|p2.bin|55555555|70|par
)";

class RomsBdModes : public ::testing::Test {
protected:
    void SetUp() override {
        hooks.dialogAnswers = {mrOk};
        BuildCatalogue(bd, kFamily);
    }
    TClone* Clone(const char* name) { return bd.Games().FindClone(name); }
    std::string Roms(const char* clone, bool needed) {
        TCloneRomsList list;
        Clone(clone)->ListRoms(list, needed);
        return Names(list);
    }
    void Attach(const char* set, const char* rom, const char* crc, int64_t size) {
        TCloneRom* cr = nullptr;
        TRom* r = nullptr;
        bd.FindRomForFile(set, rom, crc, size, true, cr, r, nullptr);
        ASSERT_NE(r, nullptr) << rom;
    }

    TScriptedUiHooks hooks;
    TScopedUiHooks scoped{hooks};
    TRomsBd bd;
};

TEST_F(RomsBdModes, BuildLinksMergesToParentAndResource) {
    EXPECT_EQ(bd.RomCount, 6);  // the no-dump is not counted
    EXPECT_EQ(bd.CloneCount, 3);
    EXPECT_EQ(bd.GameCount, 2);
    EXPECT_TRUE(bd.NameClash);
    TGame* par = bd.Games().FindGame("par");
    EXPECT_EQ(par->ResourceGame, bd.Games().FindGame("bios"));
    EXPECT_TRUE(bd.Games().FindGame("bios")->IsResource);
    TCloneRom* biosRom = Clone("bios")->FindCloneRom("bios.rom");
    // The clone's bios rom comes from the bios set, not from the parent's listing of it.
    EXPECT_EQ(Clone("par")->FindCloneRom("bios.rom")->MergedFrom, biosRom);
    EXPECT_EQ(Clone("clo")->FindCloneRom("bios.rom")->MergedFrom, biosRom);
    EXPECT_TRUE(Clone("clo")->FindCloneRom("bios.rom")->IsResourceRom());
    EXPECT_EQ(Clone("clo")->FindCloneRom("c2b.bin")->MergedFrom, Clone("par")->FindCloneRom("p2.bin"));
    EXPECT_EQ(Clone("clo")->FindCloneRom("c2b.bin")->Rom, Clone("par")->FindCloneRom("p2.bin")->Rom);
    EXPECT_EQ(Clone("clo")->FindCloneRom("c3.bin")->MergedFrom, nullptr);
    // Only the set of the whole game needs another name for the clone's own p2.bin.
    EXPECT_EQ(Clone("clo")->FindCloneRom("p2.bin")->MergedSetAlias()->Name, "p2 Copy 1.bin");
    EXPECT_EQ(Clone("clo")->FindCloneRom("g.bin")->Rom->Kind, rkBothCrcs);
    // Only the warning about the clash was shown.
    ASSERT_EQ(hooks.shown.size(), 1u);
}

TEST_F(RomsBdModes, ShownAndNeededListsInEveryMode) {
    struct Case {
        bool split, mergeRoms, mergeResources, showMerged, showResources;
        const char* clone;
        bool needed;
        const char* expected;
    } cases[] = {
        // Merged: the parent shows the whole family, clones in name order; a parent's
        // listing replaces a clone's of the same name because the datafile has a clash.
        // The bios set holds the bios rom, whatever MergeResources says.
        {false, false, false, false, false, "par", false,
         "clo:c3.bin clo:p2 Copy 1.bin par:p1.bin par:p2.bin par:nd.bin par:g.bin"},
        {false, true, false, true, true, "par", true,
         "clo:c3.bin clo:p2 Copy 1.bin par:p1.bin par:p2.bin par:nd.bin par:g.bin"},
        {false, false, true, false, false, "par", true,
         "clo:c3.bin clo:p2 Copy 1.bin par:p1.bin par:p2.bin par:nd.bin par:g.bin"},
        {false, false, false, false, false, "clo", false, ""},
        {false, false, false, false, false, "bios", false, "bios:bios.rom"},
        // Split, shown.
        {true, true, false, false, false, "clo", false, "clo:c3.bin clo:g.bin clo:p2.bin"},
        {true, true, false, false, false, "par", false, "par:p1.bin par:p2.bin par:nd.bin par:g.bin"},
        {true, true, false, true, false, "clo", false,
         "clo:p1.bin clo:c2b.bin clo:c3.bin clo:g.bin clo:p2.bin"},
        {true, true, false, false, true, "clo", false,
         "clo:bios.rom clo:c3.bin clo:g.bin clo:p2.bin"},
        {true, true, false, true, true, "par", false, "par:p1.bin par:p2.bin par:nd.bin par:g.bin par:bios.rom"},
        {true, false, false, false, false, "clo", false,
         "clo:p1.bin clo:c2b.bin clo:c3.bin clo:g.bin clo:p2.bin"},
        {true, false, true, false, true, "clo", false,
         "clo:bios.rom clo:p1.bin clo:c2b.bin clo:c3.bin clo:g.bin clo:p2.bin"},
        {true, false, false, false, false, "bios", false, "bios:bios.rom"},
        // Split, needed: split sets hold none of what they take from elsewhere ...
        {true, true, false, false, false, "clo", true, "clo:c3.bin clo:g.bin clo:p2.bin"},
        {true, true, false, true, true, "par", true, "par:p1.bin par:p2.bin par:nd.bin par:g.bin"},
        {true, true, true, false, false, "clo", true, "clo:c3.bin clo:g.bin clo:p2.bin"},
        // ... un-merged sets hold everything, resources unless these are merged.
        {true, false, false, false, false, "clo", true,
         "clo:bios.rom clo:p1.bin clo:c2b.bin clo:c3.bin clo:g.bin clo:p2.bin"},
        {true, false, false, false, false, "par", true,
         "par:p1.bin par:p2.bin par:nd.bin par:g.bin par:bios.rom"},
        {true, false, true, true, true, "clo", true, "clo:p1.bin clo:c2b.bin clo:c3.bin clo:g.bin clo:p2.bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "split " << c.split << " mergeRoms " << c.mergeRoms << " mergeRes "
                                          << c.mergeResources << " showMerged " << c.showMerged << " showRes "
                                          << c.showResources << " " << c.clone << " needed " << c.needed);
        bd.Split = c.split;
        bd.MergeRoms = c.mergeRoms;
        bd.MergeResources = c.mergeResources;
        bd.ShowMerged = c.showMerged;
        bd.ShowResources = c.showResources;
        EXPECT_EQ(Roms(c.clone, c.needed), c.expected);
    }
}

TEST_F(RomsBdModes, SplitListsOfTheCloneForEveryFlagCombination) {
    // The clone has one rom of each kind: taken from the bios, taken from the parent
    // (twice), and its own (three).
    bd.Split = true;
    for (int flags = 0; flags < 16; ++flags) {
        bd.MergeRoms = flags & 1;
        bd.MergeResources = flags & 2;
        bd.ShowMerged = flags & 4;
        bd.ShowResources = flags & 8;
        SCOPED_TRACE(flags);
        const bool shownResource = bd.ShowResources;
        const bool shownMerged = bd.ShowMerged || !bd.MergeRoms;
        const bool neededResource = !bd.MergeResources && !bd.MergeRoms;
        const bool neededMerged = !bd.MergeRoms;
        auto expected = [](bool resource, bool merged) {
            std::string s = resource ? "clo:bios.rom " : "";
            if (merged) s += "clo:p1.bin clo:c2b.bin ";
            return s + "clo:c3.bin clo:g.bin clo:p2.bin";
        };
        EXPECT_EQ(Roms("clo", false), expected(shownResource, shownMerged));
        EXPECT_EQ(Roms("clo", true), expected(neededResource, neededMerged));
    }
}

TEST_F(RomsBdModes, WithoutAClashTheFirstListingOfANameStays) {
    BuildCatalogue(bd, R"(
        p|p|a.bin|11111111|1
        p|p|b.bin|22222222|1
        p|c|a.bin|11111111|1|p
        p|c|b.bin|dddddddd|1|p
    )");
    ASSERT_FALSE(bd.NameClash);
    // The clone's b.bin is the bad dump of the parent's; "c" sorts first.
    EXPECT_EQ(Roms("p", false), "c:a.bin c:b.bin");
}

TEST_F(RomsBdModes, ConfirmedOrNoDumpRomsShowTheGoodListingOfTheGame) {
    BuildCatalogue(bd, R"(
        p|p|a.bin|11111111|1
        p|c|a.bin|eeeeeeee|1|p
    )");
    TRom* rom = Clone("p")->FindCloneRom("a.bin")->Rom;
    // A file confirms the parent's CRC: the clone lists the bad dump, which sorts first
    // but gives way to the good listing of the same name.
    rom->AttachFile("11111111", 1, nullptr);
    ASSERT_EQ(rom->Kind, rkConfirmed);
    EXPECT_EQ(Clone("c")->FindCloneRom("a.bin")->GetCrcState(), csBadDump);
    EXPECT_EQ(Roms("p", false), "p:a.bin");
    EXPECT_EQ(rom->GetDisplayCloneRom(), Clone("p")->FindCloneRom("a.bin"));
    TCloneRomsList list;
    rom->ListCloneRoms(list);
    EXPECT_EQ(Names(list), "p:a.bin p:a.bin");
    bd.Split = true;
    rom->ListCloneRoms(list);
    EXPECT_EQ(Names(list), "p:a.bin c:a.bin");
    EXPECT_EQ(rom->GetDisplayCloneRom(), Clone("p")->FindCloneRom("a.bin"));
}

TEST_F(RomsBdModes, DisplayListingOfARomPerMode) {
    TRom* p1 = Clone("par")->FindCloneRom("p1.bin")->Rom;
    TRom* bios = Clone("bios")->FindCloneRom("bios.rom")->Rom;
    TCloneRomsList list;
    bd.Split = false;
    EXPECT_EQ(p1->GetDisplayCloneRom()->Clone->Name, "par");
    EXPECT_EQ(bios->GetDisplayCloneRom()->Clone->Name, "bios");
    p1->ListCloneRoms(list);
    EXPECT_EQ(Names(list), "par:p1.bin clo:p1.bin");
    bd.Split = true;
    bd.MergeRoms = false;
    EXPECT_EQ(p1->GetDisplayCloneRom()->Clone->Name, "par");
    bd.MergeRoms = true;
    p1->ListCloneRoms(list);
    EXPECT_EQ(Names(list), "par:p1.bin");
    bd.MergeResources = true;
    bios->ListCloneRoms(list);
    EXPECT_EQ(Names(list), "bios:bios.rom");
    EXPECT_EQ(bios->GetDisplayCloneRom()->Clone->Name, "bios");
}

TEST_F(RomsBdModes, ClonesAndSetsListedPerMode) {
    TCloneItems items;
    bd.Split = false;
    bd.ListClones(items);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].first, "bios");
    EXPECT_EQ(items[1].first, "par");
    EXPECT_EQ(items[1].second, Clone("par"));
    EXPECT_EQ(bd.FindClone("clo"), nullptr);
    EXPECT_EQ(bd.FindClone("PAR"), Clone("par"));
    EXPECT_EQ(Clone("clo")->GetDisplayName(), "par");
    EXPECT_EQ(Clone("clo")->GetDisplayDescription(), "par desc");
    TCloneRomsList roms;
    bd.ListGameRoms("clo", roms);
    EXPECT_TRUE(roms.Empty());
    bd.ListGameRoms("par", roms);
    EXPECT_EQ(roms.Count(), 6u);  // the bios rom is the bios set's
    bd.Games().FindGame("par")->ListClones(items);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].second, Clone("par"));

    bd.Split = true;
    bd.MergeRoms = true;
    bd.ListClones(items);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].first, "clo");
    EXPECT_EQ(bd.FindClone("clo"), Clone("clo"));
    EXPECT_EQ(Clone("clo")->GetDisplayName(), "clo");
    bd.ListGameRoms("clo", roms);
    EXPECT_EQ(Names(roms), "clo:c3.bin clo:g.bin clo:p2.bin");
    bd.ListGameRoms("nothing", roms);
    EXPECT_TRUE(roms.Empty());
    bd.Games().FindGame("par")->ListClones(items);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].first, "clo");
}

TEST_F(RomsBdModes, StatesFollowFilesAndStatisticsCountEachSetOnce) {
    bd.Split = true;
    bd.MergeRoms = true;
    bd.RecalculateStatus();
    EXPECT_EQ(Clone("par")->GetStatus(), 0 + kStatusBadDumps);  // the no-dump
    EXPECT_EQ(Clone("clo")->GetStatus(), 0);
    EXPECT_EQ(Clone("clo")->GetRomCount(), 3);
    EXPECT_EQ(Clone("clo")->GetSize(), 180);

    Attach("clo", "c3.bin", "33333333", 60);
    bd.RecalculateStatus();
    EXPECT_EQ(Clone("clo")->GetStatus(), 1);
    Attach("clo", "p2.bin", "55555555", 70);
    // The clone's bad-dump CRC turns out to be the good one.
    Attach("clo", "g.bin", "bbbbbbbb", 50);
    bd.RecalculateStatus();
    EXPECT_EQ(Clone("clo")->GetStatus(), 2);
    EXPECT_TRUE(Clone("clo")->IsComplete());
    EXPECT_EQ(Clone("par")->FindCloneRom("g.bin")->GetCrcState(), csBadDump);
    EXPECT_EQ(Clone("par")->GetStatus(), 1 + kStatusBadDumps);
    TGame* par = bd.Games().FindGame("par");
    EXPECT_EQ(par->GetStatus(), 1 + kStatusBadDumps);
    EXPECT_EQ(par->GetCloneCount(), 2);
    EXPECT_TRUE(par->HasFoundRoms());

    EXPECT_EQ(bd.GamesComplete, 0);
    EXPECT_EQ(bd.GamesPartial, 1);
    EXPECT_EQ(bd.GamesMissing, 1);  // the bios
    EXPECT_EQ(bd.ClonesComplete, 1);
    EXPECT_EQ(bd.ClonesPartial, 1);
    EXPECT_EQ(bd.ClonesMissing, 1);
    EXPECT_EQ(bd.GameCount, 2);
    EXPECT_EQ(bd.GetTotalSize(), 10 + 180 + 140);

    // Merged: one set per game; the bios rom only in the bios set's.
    bd.Split = false;
    EXPECT_EQ(bd.GetTotalSize(), 10 + (60 + 70 + 20 + 30 + 40 + 50));
    EXPECT_EQ(bd.ClonesPartial, 1);
    EXPECT_EQ(bd.ClonesMissing, 1);
    EXPECT_EQ(bd.ClonesComplete, 0);
}

TEST_F(RomsBdModes, OnlySplitAndMergeRomsInvalidateCachedStates) {
    bd.Split = true;
    bd.MergeRoms = true;
    Attach("clo", "c3.bin", "33333333", 60);
    Attach("clo", "p2.bin", "55555555", 70);
    Attach("clo", "g.bin", "bbbbbbbb", 50);
    bd.RecalculateStatus();
    TClone* clo = Clone("clo");
    ASSERT_EQ(clo->GetStatus(), 2);

    bd.ShowMerged = true;  // would show p1.bin and c2b.bin, which are missing
    EXPECT_EQ(clo->GetStatus(), 2);
    bd.RecalculateStatus();
    EXPECT_EQ(clo->GetStatus(), 1);

    bd.ShowMerged = false;
    bd.Split = false;
    EXPECT_EQ(clo->GetStatus(), 0);  // not a parent: shows nothing
    EXPECT_TRUE(clo->IsComplete());
    bd.Split = true;
    EXPECT_EQ(clo->GetStatus(), 2);

    // Detaching changes nothing until the states are recalculated.
    TRom* c3 = clo->FindCloneRom("c3.bin")->Rom;
    c3->DetachFile("33333333", 60, nullptr);
    EXPECT_EQ(clo->GetStatus(), 2);
    bd.RecalculateStatus();
    EXPECT_EQ(clo->GetStatus(), 1);
}

TEST_F(RomsBdModes, EmptySetsAreCountedOnceAndUnknownSizesAddNothing) {
    BuildCatalogue(bd, R"(
        p|p|a.bin|11111111|
        p|p|b.bin|22222222|5
        p|c|a.bin|11111111||p|a.bin
    )");
    bd.Split = true;
    bd.MergeRoms = true;
    bd.RecalculateStatus();
    TClone* c = Clone("c");
    EXPECT_EQ(c->GetRomCount(), 0);
    EXPECT_EQ(c->GetStatus(), 0);
    EXPECT_TRUE(c->IsComplete());
    EXPECT_EQ(bd.ClonesMissing, 2);
    EXPECT_EQ(bd.ClonesComplete, 0);
    EXPECT_EQ(bd.GetTotalSize(), 5);

    Attach("p", "a.bin", "11111111", 123);  // unknown size: any size matches
    Attach("p", "b.bin", "22222222", 5);
    bd.RecalculateStatus();
    EXPECT_EQ(bd.Games().FindGame("p")->GetStatus(), 2);
    EXPECT_EQ(bd.GamesComplete, 1);
    EXPECT_EQ(bd.ClonesComplete, 1);
    EXPECT_EQ(bd.ClonesMissing, 1);
    EXPECT_EQ(bd.ClonesPartial, 0);
}

TEST_F(RomsBdModes, GameOfEmptyClonesIsComplete) {
    BuildCatalogue(bd, "p|p|a.bin|11111111|1\np|c|a.bin|11111111|1|p|a.bin");
    bd.Split = true;
    bd.MergeRoms = true;
    bd.ShowMerged = false;
    bd.RecalculateStatus();
    TGame* p = bd.Games().FindGame("p");
    EXPECT_EQ(p->GetStatus(), 0);  // the parent's rom is missing
    Clone("p")->FindCloneRom("a.bin")->Rom->AttachFile("11111111", 1, nullptr);
    bd.RecalculateStatus();
    EXPECT_EQ(p->GetStatus(), 2);
}

TEST_F(RomsBdModes, FindRomForFile) {
    struct Case {
        bool split;
        const char* set;
        const char* rom;
        const char* crc;
        int64_t size;
        const char* cloneRom;  // "clone:rom", "" for none
        const char* romCrc;    // crc of the rom found, "" for none
    } cases[] = {
        // A no-dump rom of the set is known by its name whatever the file holds.
        {false, "clo", "sub/ND.BIN", "deadbeef", 1, "par:nd.bin", "00000000"},
        {true, "clo", "nd.bin", "deadbeef", 1, "par:nd.bin", "00000000"},
        {false, "bios", "nd.bin", "deadbeef", 1, "", ""},
        // By CRC: the listing of the same name in any game, else none.
        {false, "whatever", "p1.bin", "11111111", 20, "par:p1.bin", "11111111"},
        {false, "par", "renamed.bin", "33333333", 60, "", "33333333"},
        {false, "par", "c2b.bin", "22222222", 30, "clo:c2b.bin", "22222222"},
        {false, "par", "p1.bin", "11111111", 21, "", ""},
        {false, "par", "g.bin", "bbbbbbbb", 50, "par:g.bin", "44444444"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.set) + " " + c.rom);
        bd.Split = c.split;
        TCloneRom* cloneRom = reinterpret_cast<TCloneRom*>(1);
        TRom* rom = reinterpret_cast<TRom*>(1);
        bd.FindRomForFile(c.set, c.rom, c.crc, c.size, false, cloneRom, rom, nullptr);
        EXPECT_EQ(cloneRom ? cloneRom->Clone->Name + ":" + cloneRom->Name : "", c.cloneRom);
        EXPECT_EQ(rom ? rom->Crc.str() : "", c.romCrc);
    }
}

TEST_F(RomsBdModes, ANoDumpWhoseDumpBecomesKnownIsNoLongerFoundByName) {
    TCloneRom* cloneRom = nullptr;
    TRom* rom = nullptr;
    bd.FindRomForFile("clo", "nd.bin", "deadbeef", 1, false, cloneRom, rom, nullptr);
    ASSERT_NE(cloneRom, nullptr);
    // A later line of the family gives the rom a CRC: a file is now known by its CRC only.
    Clone("clo")->AddRom("12345678", "nd.bin", 40, "par", "");
    bd.RecalculateStatus();
    bd.FindRomForFile("clo", "nd.bin", "deadbeef", 1, false, cloneRom, rom, nullptr);
    EXPECT_EQ(rom, nullptr);
    bd.FindRomForFile("clo", "nd.bin", "12345678", 40, false, cloneRom, rom, nullptr);
    ASSERT_NE(cloneRom, nullptr);
    EXPECT_EQ(cloneRom->Clone->Name + ":" + rom->Crc, "par:12345678");
}

TEST_F(RomsBdModes, OnlyAttachingConfirmsABadDumpPair) {
    TRom* g = Clone("par")->FindCloneRom("g.bin")->Rom;
    TCloneRom* cloneRom = nullptr;
    TRom* rom = nullptr;
    bd.FindRomForFile("par", "g.bin", "bbbbbbbb", 50, false, cloneRom, rom, nullptr);
    EXPECT_EQ(rom, g);
    EXPECT_EQ(g->Kind, rkBothCrcs);
    EXPECT_EQ(g->Crc, "44444444");
    EXPECT_EQ(g->MatchCount, 0);

    auto* file = reinterpret_cast<TRomFile*>(0x40);
    bd.FindRomForFile("par", "g.bin", "BBBBBBBB", 50, true, cloneRom, rom, file);
    EXPECT_EQ(g->Kind, rkConfirmed);
    EXPECT_EQ(g->Crc, "bbbbbbbb");
    EXPECT_EQ(g->MatchCount, 1);
    EXPECT_EQ(g->Files, std::vector<TRomFile*>{file});
    EXPECT_EQ(Clone("par")->FindCloneRom("g.bin")->GetCrcState(), csBadDump);
    EXPECT_EQ(Clone("clo")->FindCloneRom("g.bin")->GetCrcState(), csNormal);
}

class RomsBdAbort : public RomsBdModes, public ::testing::WithParamInterface<int> {};

TEST_P(RomsBdAbort, CancelInEitherPassLeavesAnEmptyDatabase) {
    const int pass = GetParam();
    std::vector<std::string> infos;
    int currentPass = 0;
    bd.OnInfos = [&](const std::string& text) {
        infos.push_back(text);
        if (text == "Selecting games... pass 1") currentPass = 1;
        if (text == "Selecting games... pass 2") currentPass = 2;
    };
    int reports = 0;
    bd.OnProgress = [&](int) {
        ++reports;
        if (currentPass == pass) bd.SetAbort(true);
    };
    bd.Clear();
    bd.Datafile().Clear();
    test::AddCatalogue(bd.Datafile(), kFamily);
    EXPECT_THROW(bd.Build(), romsbd::EAbortDataFileLoading);
    EXPECT_GT(reports, 0);
    EXPECT_EQ(bd.Games().Count(), 0u);
    EXPECT_EQ(bd.Games().AllClones.Count(), 0u);
    EXPECT_EQ(bd.Games().CrcList.Count(), 0u);
    EXPECT_EQ(bd.RomCount, 0);
    EXPECT_EQ(bd.GameCount, 0);
    EXPECT_FALSE(bd.Abort());
    EXPECT_FALSE(bd.Datafile().Abort);
    ASSERT_FALSE(infos.empty());
    EXPECT_EQ(infos.back(), "Database loaded.");
    bool caught = false;
    try {
        bd.SetAbort(true);
        bd.Build();
    } catch (const EAbortOperation& e) {
        caught = true;
        EXPECT_EQ(e.Message(), "Operation aborted.");
    }
    EXPECT_TRUE(caught);
}

INSTANTIATE_TEST_SUITE_P(Passes, RomsBdAbort, ::testing::Values(1, 2));

TEST_F(RomsBdModes, EachPassReportsEveryPercentageItReachesOnce) {
    // 7 lines step by whole sixths; 250 lines reach each percentage over two or three.
    for (const int lines : {1, 7, 250}) {
        std::string text;
        for (int i = 0; i < lines; ++i) text += "g" + std::to_string(i) + "|g" + std::to_string(i) + "|r|1|1\n";
        TRomsBd fresh;
        std::vector<int> reported;
        fresh.OnProgress = [&](int percent) { reported.push_back(percent); };
        BuildCatalogue(fresh, text);
        std::vector<int> expected;
        int last = 0;
        for (int pass = 0; pass < 2; ++pass)
            for (int i = 0; i < lines; ++i) {
                const int percent = lines == 1 ? 100 : i * 100 / (lines - 1);
                if (percent != last) expected.push_back(percent);
                last = percent;
            }
        EXPECT_EQ(reported, expected) << lines;
    }
}

// Fails every warning box, so that items raise while they are built.
class TThrowingHooks : public TScriptedUiHooks {
public:
    int MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) override {
        TScriptedUiHooks::MessageDlg(text, type, buttons);
        if (type == TMsgDlgType::mtWarning) throw Exception("bad item");
        return mrOk;
    }
};

TEST_F(RomsBdModes, ItemErrorsAreShownUpToALimitThenCounted) {
    TThrowingHooks throwing;
    TScopedUiHooks scope(throwing);
    std::string text = "p|p|a.bin|11111111|1\n";
    for (int i = 0; i < 13; ++i) text += "p|c" + std::to_string(i) + "|a.bin|2222222" + std::to_string(i % 10) + "|1\n";
    BuildCatalogue(bd, text);
    std::vector<std::string> errors;
    for (const auto& shown : throwing.shown)
        if (shown.type == TMsgDlgType::mtError) errors.push_back(shown.text);
    ASSERT_EQ(errors.size(), 11u);
    EXPECT_EQ(errors[0], "bad item");
    EXPECT_EQ(errors.back(), "3 more errors were found in the datafile.");
    EXPECT_EQ(bd.GameCount, 1);  // the build went on
}

TEST(RomsBdLoad, LoadsADatafileWithTheHourglass) {
    TScriptedUiHooks hooks;
    TScopedUiHooks scoped(hooks);
    test::TTempDir dir;
    auto line = [](std::initializer_list<const char*> fields) {
        std::string out;
        for (const char* f : fields) out += std::string("\xAC") + f;
        return out + "\xAC\r\n";
    };
    std::string text = "[CREDITS]\r\nAuthor=me\r\n[DAT]\r\nversion=2.00\r\n[EMULATOR]\r\nrefname=emu\r\n[GAMES]\r\n";
    text += line({"par", "Parent", "par", "Parent", "p1.bin", "11111111", "20", "bios", ""});
    text += line({"par", "Parent", "clo", "Clone", "p1.bin", "11111111", "20", "par", "p1.bin"});
    text += "[RESOURCES]\r\n";
    text += line({"bios", "Bios", "bios", "Bios", "b.rom", "aaaaaaaa", "4", "", ""});
    test::WriteFile(dir / "t.dat", text);

    TRomsBd bd;
    std::vector<std::string> infos;
    bd.OnInfos = [&](const std::string& t) { infos.push_back(t); };
    bd.SetDatafileName(dir / "t.dat");
    bd.LoadDatabase();
    EXPECT_EQ(bd.GameCount, 2);
    EXPECT_EQ(bd.CloneCount, 3);
    EXPECT_EQ(bd.RomCount, 2);
    EXPECT_EQ(bd.Games().FindGame("par")->ResourceGame, bd.Games().FindGame("bios"));
    EXPECT_EQ(bd.Games().FindClone("clo")->FindCloneRom("p1.bin")->MergedFrom,
              bd.Games().FindClone("par")->FindCloneRom("p1.bin"));
    EXPECT_EQ(infos.back(), "Database loaded.");
    EXPECT_EQ(hooks.busyDepth, 0);
    EXPECT_GE(hooks.maxBusyDepth, 1);
    // The items the build read are not kept beside the database.
    EXPECT_EQ(bd.Datafile().GameItems.Count() + bd.Datafile().ResourceItems.Count(), 0u);

    // A failed load leaves the hourglass off and the database empty.
    bd.SetDatafileName(dir / "missing.dat");
    EXPECT_THROW(bd.LoadDatabase(), datafile::EFileNotFound);
    EXPECT_EQ(hooks.busyDepth, 0);
    EXPECT_EQ(bd.Games().Count(), 0u);
}

// CRC fields that no file can ever match (too short, not hexadecimal, a last line cut
// inside its CRC) load all the same, and the user hears once where they are: one box
// and one log line each, naming the file, the line and the field.
TEST(RomsBdLoad, UnusableCrcFieldsAreNamedOnceInTheLogAndInOneBox) {
    TScriptedUiHooks hooks;
    TScopedUiHooks scoped(hooks);
    test::TTempDir dir;
    auto line = [](const char* rom, const char* crc) {
        return std::string("\xACg\xACGame\xACg\xACGame\xAC") + rom + "\xAC" + crc + "\xAC" "16" "\xAC\xAC\xAC\r\n";
    };
    std::string text = "[CREDITS]\r\nAuthor=me\r\n[DAT]\r\nversion=2.00\r\n[EMULATOR]\r\nrefname=emu\r\n[GAMES]\r\n";
    text += line("a.bin", "1234abcd");   // line 8
    text += line("b.bin", "1234");       // line 9
    text += line("c.bin", "zzzzzzzz");   // line 10
    text += line("d.bin", "        ");   // line 11: no CRC, as meant
    text += line("e.bin", "00000000");   // line 12: no good dump, as meant
    const std::string last = line("f.bin", "c1e6abcd");
    text += last.substr(0, last.find("c1e6abcd") + 4);  // line 13, the file cut in its CRC
    test::WriteFile(dir / "cut.dat", text);

    TRomsBd bd;
    std::vector<std::string> log;
    bd.OnLog = [&](const std::string& l) { log.push_back(l); };
    bd.SetDatafileName(dir / "cut.dat");
    bd.LoadDatabase();
    EXPECT_NE(bd.Games().FindClone("g")->FindCloneRom("f.bin"), nullptr);  // read all the same
    const std::vector<std::string> named = {
        "cut.dat, line 9: the CRC \"1234\" is not eight hexadecimal digits.",
        "cut.dat, line 10: the CRC \"zzzzzzzz\" is not eight hexadecimal digits.",
        "cut.dat, line 13: the CRC \"c1e6\" is not eight hexadecimal digits."};
    EXPECT_EQ(log, named);
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtWarning);
    EXPECT_EQ(hooks.shown[0].text,
              "Data error in datafile !\n3 rom lines of the datafile have a CRC that cannot be used: their roms can "
              "never be found.\n" + named[0] + "\n" + named[1] + "\n" + named[2]);

    // A good file says nothing.
    hooks.shown.clear();
    log.clear();
    test::WriteFile(dir / "good.dat", text.substr(0, text.find(line("b.bin", "1234"))));
    bd.SetDatafileName(dir / "good.dat");
    bd.LoadDatabase();
    EXPECT_TRUE(hooks.shown.empty());
    EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace qm
