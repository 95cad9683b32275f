// The child lists of the views, built headless from a small rom database and a files
// database over real zips, folders and plain files (made with Info-ZIP zip; CRCs from
// zlib), in every branch, with every counter and filter.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"
#include "filesdb/filesBdTestSupport.h"
#include "support/TestSupport.h"
#include "ui/commands/ChildList.h"
#include "ui/commands/NameFilter.h"

namespace qm::test {
namespace {

// "parent|parent description|game|game description|rom|content|size|romof|merge";
// content "" is a rom without a good dump.
const char* const kCatalogue = R"(
pacman|Pac-Man|pacman|Pac-Man|pm1.bin|A|16||
pacman|Pac-Man|pacman|Pac-Man|pm2.bin|B|16||
pacman|Pac-Man|puckman|Puck Man|pm1.bin|A|16|pacman|pm1.bin
pacman|Pac-Man|puckman|Puck Man|pk2.bin|C|16|pacman|
galaga|Galaga|galaga|Galaga|gg1.bin|D|16||
galaga|Galaga|galaga|Galaga|gg2.bin|E|16||
digdug|Dig Dug|digdug|Dig Dug|dd1.bin|F|16||
digdug2|Dig Dug|digdug2|Dig Dug|d21.bin|G|16||
xevious|Xevious 1982|xevious|Xevious 1982|xv1.bin|H||
[RESOURCES]
neogeo|Neo Geo BIOS|neogeo|Neo Geo BIOS|bios.rom|I|16||
neogeo|Neo Geo BIOS|neogeo2|Neo Geo BIOS v2|bios2.rom|J|16||
)";

// 16 bytes of content per label.
std::string Content(const std::string& label) {
    std::string bytes = "content " + label + " ";
    bytes.resize(16, '.');
    return bytes;
}

std::string CrcOf(const std::string& label) {
    const std::string bytes = Content(label);
    char text[9];
    std::snprintf(text, sizeof text, "%08lx",
                  crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    return text;
}

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator)) fields.push_back(field);
    if (!line.empty() && line.back() == separator) fields.emplace_back();
    return fields;
}

struct TEntry {
    std::string name;
    std::string label;
};

// A rom database, a files database with one rom path holding real files, and the
// main window's sub-list (every clone, listed with the set mode forced to split).
class ChildListTest : public ::testing::Test {
protected:
    ChildListTest() : volumeScope(volumes) { volumes.volumes.push_back(TestVolume()); }

    void SetUp() override {
        BuildCatalogue();
        files.SetRomsBd(&roms);
        files.SetSubmitRoms(true);
        files.SetCachePath(cacheDir.Path());
        path = files.AddPath(dir.Path(), "", "");
        Zip("pacman.zip", {{"pm1.bin", "A"}, {"pm2.bin", "B"}});
        Zip("puckman.zip", {{"pk2.bin", "C"}});
        Folder("galaga", {{"gg1.bin", "D"}});
        Zip("xevious.zip", {{"xv1.bin", "H"}});
        Zip("junk.zip", {{"x.bin", "X"}});
        Plain("readme.txt", "Y");
        Plain("pm2.bin", "B");
        Zip("broken.zip", {{"dd1.bin", "F"}});
        files.MatchAll();
        path->Files().Find("broken.zip")->RomFiles[0]->SetError("read error");
        roms.RecalculateStatus();
        ApplySubList({});

        c.RomsBd = &roms;
        c.FilesBd = &files;
        c.ShownGames = &shownGames;
        c.ShownClones = &shownClones;
    }
    void TearDown() override { files.ClearPaths(); }

    void BuildCatalogue() {
        roms.Clear();
        roms.Datafile().Clear();
        std::istringstream in(kCatalogue);
        std::string line;
        bool resources = false;
        while (std::getline(in, line)) {
            if (line.empty()) continue;
            if (line == "[RESOURCES]") {
                resources = true;
                continue;
            }
            auto f = Split(line, '|');
            f.resize(9);
            const int64_t size = f[6].empty() ? -1 : std::stoll(f[6]);
            roms.Datafile().AddItem(f[0], f[1], f[2], f[3], f[4], CrcOf(f[5]), size, f[7], f[8], resources);
        }
        roms.Split = true;
        roms.MergeRoms = false;
        roms.Build();
    }

    // Every clone but those named, and their games, as the main window's sub-list does.
    void ApplySubList(const std::set<std::string>& hidden) {
        const bool split = roms.Split;
        roms.Split = true;
        TCloneItems all;
        roms.ListClones(all);
        roms.Split = split;
        shownClones.Clear();
        shownGames.Clear();
        for (const auto& [name, clone] : all) {
            if (hidden.count(clone->Name) != 0) continue;
            shownClones.Add(name, clone);
            if (!shownGames.HasObject(clone->Game)) shownGames.Add(clone->Game->Name, clone->Game);
        }
    }

    void Zip(const std::string& name, const std::vector<TEntry>& entries) {
        const std::string staging = stagingDir / (name + "/");
        std::string names;
        for (const TEntry& e : entries) {
            WriteFile(staging + e.name, Content(e.label));
            names += " " + ShellQuote(e.name);
        }
        int status = -1;
        RunCommand("cd " + ShellQuote(staging) + " && zip -q -X " + ShellQuote(dir / name) + names, &status);
        ASSERT_EQ(status, 0) << name;
        TFile* file = path->NewFile(name, fkZip, false);
        for (const TEntry& e : entries) file->AddRomFile(e.name, CrcOf(e.label), 0, 16, "");
    }
    void Folder(const std::string& name, const std::vector<TEntry>& entries) {
        TFile* file = path->NewFile(name, fkFolder, false);
        for (const TEntry& e : entries) {
            WriteFile(dir / (name + "/" + e.name), Content(e.label));
            file->AddRomFile(e.name, CrcOf(e.label), 0, 16, "");
        }
    }
    void Plain(const std::string& name, const std::string& label) {
        WriteFile(dir / name, Content(label));
        path->NewFile(name, fkPlain, false)->AddRomFile(name, CrcOf(label), 0, 16, "");
    }

    std::vector<std::string> Texts(const TViewObject& parent) {
        TChildItems items;
        c.CollectChildren(parent, items);
        std::vector<std::string> texts;
        for (const TChildItem& item : items) texts.push_back(item.Text);
        return texts;
    }
    using Strings = std::vector<std::string>;

    TGame* Game(const std::string& name) { return roms.Games().FindGame(name); }
    TClone* Clone(const std::string& name) { return roms.Games().FindClone(name); }
    TFile* File(const std::string& name) { return path->Files().Find(name); }
    std::string Counts() const {
        return std::to_string(c.CompleteCount) + "/" + std::to_string(c.IncompleteCount) + "/" +
               std::to_string(c.MissingCount);
    }
    std::string FileCounts() const {
        return std::to_string(c.PlayableCount) + "/" + std::to_string(c.NeedFixCount) + "/" +
               std::to_string(c.IncompleteFileCount) + "/" + std::to_string(c.UnknownCount);
    }

    TTempDir dir;
    TTempDir stagingDir;  // the zips' entries before they are zipped
    TTempDir cacheDir;
    TStaticVolumeProvider volumes;
    TScopedVolumeProvider volumeScope;
    TRomsBd roms;
    TFilesBd files;
    TPath* path = nullptr;
    TShownGames shownGames;
    TShownClones shownClones;
    TChildCollector c;
};

TEST(ChildListImages, EveryIndexOfTheStatusStripHasItsCategory) {
    using C = TFileCategory;
    const std::map<C, std::set<int>> expected = {
        {C::Unknown, {3, 10, 17, 21}},
        {C::Playable, {2, 6, 9, 13, 16, 20}},
        {C::NeedFix, {1, 5, 8, 12, 15, 19}},
        {C::Incomplete, {0, 4, 7, 11, 14, 18}},
        {C::Error, {25}},
        {C::None, {22, 23, 24}},
    };
    int seen = 0;
    for (const auto& [category, indexes] : expected) {
        for (int index : indexes) {
            EXPECT_EQ(FileCategoryOfImage(index), category) << index;
            ++seen;
        }
    }
    EXPECT_EQ(seen, 26);
    EXPECT_EQ(FileCategoryOfImage(-1), C::None);
    EXPECT_EQ(FileCategoryOfImage(26), C::None);
}

TEST(ChildListNameFilter, PatternsAreSearchedWithoutRegardToCaseAndBadOnesFilterNothing) {
    struct TRow {
        const char* pattern;
        bool active;
        std::set<std::string> passing;
    };
    const std::vector<std::string> texts = {"Pac-Man", "Xevious 1982", "galaga", "123"};
    const std::vector<TRow> rows = {
        {"", false, {"Pac-Man", "Xevious 1982", "galaga", "123"}},
        {".*", false, {"Pac-Man", "Xevious 1982", "galaga", "123"}},
        {"\\d+", true, {"Xevious 1982", "123"}},
        // Upper-case escapes keep their meaning: \D is a non-digit.
        {"\\D", true, {"Pac-Man", "Xevious 1982", "galaga"}},
        {"^\\S+$", true, {"Pac-Man", "galaga", "123"}},
        {"PAC|GAL", true, {"Pac-Man", "galaga"}},
        {"+x", false, {"Pac-Man", "Xevious 1982", "galaga", "123"}},
        {"(", false, {"Pac-Man", "Xevious 1982", "galaga", "123"}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.pattern);
        const TNameFilter filter(row.pattern);
        EXPECT_EQ(filter.Active(), row.active);
        std::set<std::string> passing;
        for (const std::string& text : texts)
            if (filter.Matches(text)) passing.insert(text);
        EXPECT_EQ(passing, row.passing);
    }
    EXPECT_TRUE(TNameFilter::IsValidPattern(""));
    EXPECT_TRUE(TNameFilter::IsValidPattern("a|b"));
    EXPECT_FALSE(TNameFilter::IsValidPattern("+x"));
    EXPECT_FALSE(TNameFilter::IsValidPattern("[a"));
}

TEST_F(ChildListTest, ImageIndexOfEveryKindOfObject) {
    EXPECT_EQ(GetObjectImageIndex(Game("pacman")), 2);
    EXPECT_EQ(GetObjectImageIndex(Game("galaga")), 1);
    EXPECT_EQ(GetObjectImageIndex(Clone("digdug")), 0);
    EXPECT_EQ(GetObjectImageIndex(Clone("galaga")->FindCloneRom("gg2.bin")), 0);
    EXPECT_EQ(GetObjectImageIndex(Clone("galaga")->FindCloneRom("gg1.bin")), 2);
    EXPECT_EQ(GetObjectImageIndex(File("pacman.zip")), 16);
    EXPECT_EQ(GetObjectImageIndex(File("galaga")), 7);
    EXPECT_EQ(GetObjectImageIndex(File("broken.zip")), 25);
    EXPECT_EQ(GetObjectImageIndex(File("pacman.zip")->RomFiles[0]), 2);
    EXPECT_EQ(GetObjectImageIndex(&roms.Games()), 24);
    EXPECT_EQ(GetObjectImageIndex(&roms.Games().AllClones), 24);
    EXPECT_EQ(GetObjectImageIndex(path), 22);
    TPathObject pathObject(path);
    EXPECT_EQ(GetObjectImageIndex(&pathObject), -1);
    EXPECT_EQ(GetObjectImageIndex(TViewObject()), -1);
    EXPECT_EQ(GetObjectImageIndex(static_cast<TGame*>(nullptr)), -1);
}

TEST_F(ChildListTest, GamesRootCountsEachGameOnceAndListsEachDescriptionOnce) {
    EXPECT_EQ(Texts(&roms.Games()), (Strings{"Dig Dug", "Galaga", "Neo Geo BIOS", "Pac-Man", "Xevious 1982"}));
    // pacman (two clones shown) and xevious complete; galaga partial; both Dig Dugs
    // and the bios missing.
    EXPECT_EQ(Counts(), "2/1/3");
    EXPECT_EQ(c.ResourceCount, 1);
    EXPECT_EQ(c.TotalSize, 64 + 32 + 16 + 32 + 0);  // the bios game holds two sets

    TChildItems items;
    c.CollectChildren(&roms.Games(), items);
    EXPECT_EQ(ObjectAs<TGame>(items[0].Object), Game("digdug")) << "the first game of a description is listed";
}

TEST_F(ChildListTest, GamesRootStateFilters) {
    struct TRow {
        TDatabaseFilters filters;
        Strings texts;
        int64_t size;
    };
    const std::vector<TRow> rows = {
        {{dfShowComplete}, {"Pac-Man", "Xevious 1982"}, 64},
        {{dfShowIncomplete}, {"Galaga"}, 32},
        {{dfShowMissing}, {"Dig Dug", "Neo Geo BIOS"}, 48},
        {{dfShowComplete, dfShowMissing}, {"Dig Dug", "Neo Geo BIOS", "Pac-Man", "Xevious 1982"}, 112},
        {{}, {}, 0},
    };
    for (const TRow& row : rows) {
        c.DatabaseFilters = row.filters;
        EXPECT_EQ(Texts(&roms.Games()), row.texts);
        EXPECT_EQ(c.TotalSize, row.size);
        // Counting ignores the state filters.
        EXPECT_EQ(Counts(), "2/1/3");
        // A hidden resource game with two clones shown is still one resource.
        EXPECT_EQ(c.ResourceCount, 1);
    }
}

TEST_F(ChildListTest, GamesRootNameFilterTestsDescriptionThenName) {
    struct TRow {
        const char* pattern;
        Strings texts;
        const char* counts;
    };
    const std::vector<TRow> rows = {
        {"", {"Dig Dug", "Galaga", "Neo Geo BIOS", "Pac-Man", "Xevious 1982"}, "2/1/3"},
        {".*", {"Dig Dug", "Galaga", "Neo Geo BIOS", "Pac-Man", "Xevious 1982"}, "2/1/3"},
        // digdug2 passes by its name; digdug, of the same description, does not.
        {"\\d+", {"Dig Dug", "Xevious 1982"}, "1/0/1"},
        {"PAC", {"Pac-Man"}, "1/0/0"},
        {"\\D", {"Dig Dug", "Galaga", "Neo Geo BIOS", "Pac-Man", "Xevious 1982"}, "2/1/3"},
        {"+x", {"Dig Dug", "Galaga", "Neo Geo BIOS", "Pac-Man", "Xevious 1982"}, "2/1/3"},
        {"nothing at all", {}, "0/0/0"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.pattern);
        c.RegularExpression = row.pattern;
        EXPECT_EQ(Texts(&roms.Games()), row.texts);
        EXPECT_EQ(Counts(), row.counts);
    }
    c.RegularExpression = "\\d+";
    TChildItems items;
    c.CollectChildren(&roms.Games(), items);
    EXPECT_EQ(ObjectAs<TGame>(items[0].Object), Game("digdug2"));
    c.RegularExpression = "neo";
    c.DatabaseFilters = {dfShowComplete};
    EXPECT_EQ(Texts(&roms.Games()), Strings{});
    EXPECT_EQ(c.ResourceCount, 1);
    c.RegularExpression = "pac";
    Texts(&roms.Games());
    EXPECT_EQ(c.ResourceCount, 0) << "a game that fails the name test is not counted at all";
}

TEST_F(ChildListTest, ClonesRootListsEveryClone) {
    c.SetDisplayLevel(dlClones);
    EXPECT_EQ(Texts(&roms.Games()), (Strings{"Dig Dug", "Dig Dug", "Galaga", "Neo Geo BIOS", "Neo Geo BIOS v2",
                                             "Pac-Man", "Puck Man", "Xevious 1982"}));
    EXPECT_EQ(Counts(), "3/1/4");
    EXPECT_EQ(c.ResourceCount, 2);
    EXPECT_EQ(c.TotalSize, 16 + 16 + 32 + 16 + 16 + 32 + 32 + 0);

    c.DatabaseFilters = {dfShowMissing};
    EXPECT_EQ(Texts(&roms.Games()), (Strings{"Dig Dug", "Dig Dug", "Neo Geo BIOS", "Neo Geo BIOS v2"}));
    EXPECT_EQ(Counts(), "3/1/4");
    EXPECT_EQ(c.TotalSize, 64);
    c.DatabaseFilters = TDatabaseFilters::All();

    // The name test also looks at the names and CRCs of the roms a clone shows.
    c.RegularExpression = "^pk2";
    EXPECT_EQ(Texts(&roms.Games()), Strings{"Puck Man"});
    EXPECT_EQ(c.ResourceCount, 0);
    c.RegularExpression = CrcOf("E");
    EXPECT_EQ(Texts(&roms.Games()), Strings{"Galaga"});
    EXPECT_EQ(Counts(), "0/1/0");
    c.RegularExpression = "V2$";
    EXPECT_EQ(Texts(&roms.Games()), Strings{"Neo Geo BIOS v2"});
    EXPECT_EQ(c.ResourceCount, 1);
}

TEST_F(ChildListTest, DisplayLevelKeepsItsValueWhileRefreshing) {
    c.Refreshing = true;
    c.SetDisplayLevel(dlClones);
    EXPECT_EQ(c.DisplayLevel(), dlGames);
    c.Refreshing = false;
    c.SetDisplayLevel(dlClones);
    EXPECT_EQ(c.DisplayLevel(), dlClones);
}

TEST_F(ChildListTest, GameChildrenIgnoreTheStateFilters) {
    c.DatabaseFilters = {dfShowMissing};
    TChildItems items;
    c.CollectChildren(Game("pacman"), items);
    ASSERT_EQ(items.Count(), 2);
    EXPECT_EQ(items[0].Text, "Pac-Man");
    EXPECT_EQ(ObjectAs<TClone>(items[1].Object), Clone("puckman"));
    EXPECT_EQ(Counts(), "2/0/0");
    EXPECT_EQ(c.TotalSize, 64);

    c.RegularExpression = "puck";
    EXPECT_EQ(Texts(Game("pacman")), Strings{"Puck Man"});
    EXPECT_EQ(Counts(), "1/0/0");
}

TEST_F(ChildListTest, CloneChildrenAreItsShownRoms) {
    c.RegularExpression = "nothing";  // no name test here
    c.DatabaseFilters = {};
    EXPECT_EQ(Texts(Clone("galaga")), (Strings{"gg1.bin", "gg2.bin"}));
    EXPECT_EQ(Counts(), "1/0/1");
    EXPECT_EQ(c.TotalSize, 32);
    EXPECT_EQ(Texts(Clone("puckman")), (Strings{"pk2.bin", "pm1.bin"}));
    EXPECT_EQ(Counts(), "2/0/0");
    // A rom of unknown size adds nothing (not -1).
    EXPECT_EQ(Texts(Clone("xevious")), Strings{"xv1.bin"});
    EXPECT_EQ(c.TotalSize, 0);
}

TEST_F(ChildListTest, PathChildrenByFileState) {
    // pacman.zip, xevious.zip and pm2.bin good; puckman.zip needs pm1.bin from
    // pacman.zip; galaga lacks gg2.bin; junk.zip and readme.txt unknown; broken.zip
    // could not be read.
    struct TRow {
        TPathFilters filters;
        Strings texts;
        const char* counts;
    };
    const std::vector<TRow> rows = {
        {TPathFilters::All(),
         {"broken.zip", "galaga", "junk.zip", "pacman.zip", "pm2.bin", "puckman.zip", "readme.txt", "xevious.zip"},
         "3/1/1/2"},
        {{pfShowPlayable}, {"broken.zip", "pacman.zip", "pm2.bin", "xevious.zip"}, "3/0/0/0"},
        {{pfShowNeedFix}, {"broken.zip", "puckman.zip"}, "0/1/0/0"},
        {{pfShowIncomplete}, {"broken.zip", "galaga"}, "0/0/1/0"},
        {{pfShowUnknown}, {"broken.zip", "junk.zip", "readme.txt"}, "0/0/0/2"},
        {{}, {"broken.zip"}, "0/0/0/0"},
    };
    for (const TRow& row : rows) {
        c.PathFilters = row.filters;
        EXPECT_EQ(Texts(path), row.texts);
        EXPECT_EQ(FileCounts(), row.counts);
    }
    c.PathFilters = {pfShowPlayable};
    Texts(path);
    EXPECT_EQ(c.TotalSize, 16 + 16 + 16 + 16 + 16) << "broken.zip's readable size counts too";
}

TEST_F(ChildListTest, PathChildrenNameTest) {
    struct TRow {
        const char* pattern;
        Strings texts;
    };
    const std::vector<TRow> rows = {
        {"^pac", {"pacman.zip"}},
        {"GALAGA$", {"galaga"}},          // a folder's full path ends with "/"
        {"^/", {"broken.zip", "galaga", "junk.zip", "pacman.zip", "pm2.bin", "puckman.zip", "readme.txt",
                "xevious.zip"}},          // every full path
        {"^pm1\\.bin$", {"pacman.zip", "pm2.bin", "puckman.zip"}},  // roms the set needs
        {"gg2", {"galaga"}},              // a missing rom of the set
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.pattern);
        c.RegularExpression = row.pattern;
        EXPECT_EQ(Texts(path), row.texts);
    }
}

TEST_F(ChildListTest, PathChildrenFollowTheSubList) {
    ApplySubList({"galaga", "pacman"});
    // Split on: folders and zips by their correct name, plain files by their clone.
    EXPECT_EQ(Texts(path), (Strings{"broken.zip", "junk.zip", "puckman.zip", "readme.txt", "xevious.zip"}));
    EXPECT_EQ(FileCounts(), "1/1/0/2");

    // Split off: by the file's game.
    ApplySubList({"galaga", "puckman"});
    roms.Split = false;
    EXPECT_EQ(Texts(path), (Strings{"broken.zip", "junk.zip", "pacman.zip", "pm2.bin", "puckman.zip",
                                    "readme.txt", "xevious.zip"}));
    ApplySubList({"pacman"});  // the game stays through puckman
    EXPECT_EQ(Texts(path).size(), 8u);
    ApplySubList({"pacman", "puckman"});
    EXPECT_EQ(Texts(path), (Strings{"broken.zip", "galaga", "junk.zip", "readme.txt", "xevious.zip"}));
    roms.Split = true;

    // Unknown files and files in error are listed whatever the sub-list.
    shownClones.Clear();
    shownGames.Clear();
    EXPECT_EQ(Texts(path), (Strings{"broken.zip", "junk.zip", "readme.txt"}));
    // No sub-list set at all: no restriction.
    c.ShownClones = nullptr;
    EXPECT_EQ(Texts(path).size(), 8u);
}

TEST_F(ChildListTest, EachBranchKeepsTheCountersOfTheOtherKind) {
    // The tree lists the games root, then every rom path: the status bar reads the
    // game counts and the last path's file counts afterwards.
    Texts(&roms.Games());
    Texts(path);
    EXPECT_EQ(Counts(), "2/1/3");
    EXPECT_EQ(c.ResourceCount, 1);
    EXPECT_EQ(FileCounts(), "3/1/1/2");
    Texts(&roms.Games());
    EXPECT_EQ(FileCounts(), "3/1/1/2");
    // A file's rom files set the file counters back to 0.
    Texts(File("pacman.zip"));
    EXPECT_EQ(FileCounts(), "0/0/0/0");
    EXPECT_EQ(Counts(), "2/1/3");
}

TEST_F(ChildListTest, APlainFileOfNoCloneDoesNotBreakTheSubListTest) {
    TFile* plain = File("pm2.bin");
    TClone* clone = plain->Clone;
    plain->Clone = nullptr;
    ApplySubList({"xevious"});
    const int image = plain->GetImageIndex();
    const Strings texts = Texts(path);
    plain->Clone = clone;
    EXPECT_EQ(FileCategoryOfImage(image), TFileCategory::NeedFix) << "its name no longer fits";
    EXPECT_NE(std::find(texts.begin(), texts.end(), "pm2.bin"), texts.end());
    EXPECT_EQ(std::find(texts.begin(), texts.end(), "xevious.zip"), texts.end());
}

TEST_F(ChildListTest, FileChildrenAreItsRomFiles) {
    c.RegularExpression = "nothing";
    c.PathFilters = {};
    EXPECT_EQ(Texts(File("puckman.zip")), (Strings{"pk2.bin", "pm1.bin"}));
    EXPECT_EQ(c.TotalSize, 16) << "the placeholder of a rom held elsewhere has no size";
    EXPECT_EQ(Texts(File("galaga")), (Strings{"gg1.bin", "gg2.bin"}));
    EXPECT_EQ(c.TotalSize, 16);
    EXPECT_EQ(Texts(File("pacman.zip")), (Strings{"pm1.bin", "pm2.bin"}));
    EXPECT_EQ(c.TotalSize, 32);
}

TEST_F(ChildListTest, NilAndOtherParentsGiveNothingAndKeepTheCounters) {
    Texts(&roms.Games());
    TChildItems items;
    items.Add("stale", Game("pacman"));
    c.CollectChildren(TViewObject(), items);
    EXPECT_TRUE(items.Empty());
    items.Add("stale", Game("pacman"));
    c.CollectChildren(static_cast<TGame*>(nullptr), items);
    EXPECT_TRUE(items.Empty());
    c.CollectChildren(File("pacman.zip")->RomFiles[0], items);
    EXPECT_TRUE(items.Empty());
    c.CollectChildren(&roms.Games().AllClones, items);
    EXPECT_TRUE(items.Empty());
    EXPECT_EQ(Counts(), "2/1/3");
    EXPECT_EQ(c.ResourceCount, 1);
}

TEST_F(ChildListTest, ModeOverrideShowsTheViewsModeAndPutsTheDatabasesBack) {
    c.SplitMergeMode = smManual;
    c.Split = false;
    c.Merged = true;
    c.SetDisplayLevel(dlClones);
    // Merged: every shown clone under its game's description.
    EXPECT_EQ(Texts(&roms.Games()), (Strings{"Dig Dug", "Dig Dug", "Galaga", "Neo Geo BIOS", "Neo Geo BIOS",
                                             "Pac-Man", "Pac-Man", "Xevious 1982"}));
    EXPECT_TRUE(roms.Split);
    EXPECT_FALSE(roms.MergeRoms);
    EXPECT_EQ(Texts(Game("pacman")), Strings{"Pac-Man"});
    EXPECT_TRUE(roms.Split);
    EXPECT_EQ(Texts(Clone("pacman")), (Strings{"pk2.bin", "pm1.bin", "pm2.bin"})) << "merged: the whole set";
    EXPECT_EQ(Texts(Clone("puckman")), Strings{});
    EXPECT_TRUE(roms.Split);
    EXPECT_FALSE(roms.MergeRoms);
    Texts(path);
    Texts(File("pacman.zip"));
    EXPECT_TRUE(roms.Split);
    EXPECT_FALSE(roms.MergeRoms);

    // Every combination of the database's and the view's flags comes back.
    for (int bits = 0; bits < 16; ++bits) {
        roms.Split = bits & 1;
        roms.MergeRoms = bits & 2;
        c.Split = bits & 4;
        c.Merged = bits & 8;
        Texts(&roms.Games());
        Texts(Game("pacman"));
        Texts(Clone("puckman"));
        EXPECT_EQ(roms.Split, static_cast<bool>(bits & 1)) << bits;
        EXPECT_EQ(roms.MergeRoms, static_cast<bool>(bits & 2)) << bits;
        EXPECT_TRUE(c.OverrideFree());
    }
}

TEST_F(ChildListTest, ModeOverridePairsNestAndSurviveExceptions) {
    c.SplitMergeMode = smManual;
    c.Split = false;
    c.Merged = true;
    c.BeginModeOverride();
    EXPECT_FALSE(roms.Split);
    EXPECT_TRUE(roms.MergeRoms);
    EXPECT_FALSE(c.OverrideFree());
    c.BeginModeOverride();  // nested: saves nothing
    c.EndModeOverride();
    EXPECT_FALSE(roms.Split) << "the outer override is still in force";
    EXPECT_FALSE(c.OverrideFree());
    c.EndModeOverride();
    EXPECT_TRUE(roms.Split);
    EXPECT_FALSE(roms.MergeRoms);
    EXPECT_TRUE(c.OverrideFree());
    c.EndModeOverride();  // unpaired: nothing to put back
    EXPECT_TRUE(roms.Split);

    EXPECT_THROW(
        {
            TModeOverride guard(c);
            EXPECT_FALSE(roms.Split);
            throw std::runtime_error("reading failed");
        },
        std::runtime_error);
    EXPECT_TRUE(roms.Split);
    EXPECT_FALSE(roms.MergeRoms);

    // The flags go back to the database they were taken from.
    TRomsBd other;
    other.Split = true;
    c.BeginModeOverride();
    c.RomsBd = &other;
    c.EndModeOverride();
    EXPECT_TRUE(roms.Split);
    EXPECT_TRUE(other.Split);
    c.RomsBd = &roms;

    // smAuto reads the database as it stands; switching modes inside a pair puts back
    // only what was changed.
    c.SplitMergeMode = smAuto;
    c.BeginModeOverride();
    EXPECT_TRUE(roms.Split);
    c.SplitMergeMode = smManual;
    roms.Split = false;
    c.EndModeOverride();
    EXPECT_FALSE(roms.Split) << "nothing was saved, so nothing is written";
    roms.Split = true;
    c.BeginModeOverride();
    c.SplitMergeMode = smAuto;
    c.EndModeOverride();
    EXPECT_TRUE(roms.Split);
    EXPECT_FALSE(roms.MergeRoms);
}

TEST_F(ChildListTest, GameCloneAndRomCounts) {
    EXPECT_EQ(c.GetGameCount(), 6);
    EXPECT_EQ(c.GetCloneCount(), 8);
    // pacman 2+2, galaga 2, digdug 1, digdug2 1, xevious 1, neogeo 1+1.
    EXPECT_EQ(c.GetRomCount(), 11);
    ApplySubList({"pacman", "puckman"});
    EXPECT_EQ(c.GetGameCount(), 5);
    EXPECT_EQ(c.GetCloneCount(), 6);
    EXPECT_EQ(c.GetRomCount(), 11) << "cached";
    c.ResetRomCount();
    EXPECT_EQ(c.GetRomCount(), 7);
    ApplySubList({});
    Texts(&roms.Games());  // listing the games root resets the cache
    EXPECT_EQ(c.GetRomCount(), 11);

    c.SetDisplayLevel(dlClones);
    ApplySubList({"neogeo2"});
    c.ResetRomCount();
    EXPECT_EQ(c.GetCloneCount(), 7);
    EXPECT_EQ(c.GetRomCount(), 10);
}

TEST(ChildListShownLists, LookupsByObjectAndByTextInAnyCase) {
    TShownClones clones;
    TClone* a = reinterpret_cast<TClone*>(0x10);
    clones.Add("PacMan", a);
    clones.Add("galaga", nullptr);
    EXPECT_TRUE(clones.HasText("pacman"));
    EXPECT_TRUE(clones.HasText("GALAGA"));
    EXPECT_FALSE(clones.HasText("pac"));
    EXPECT_TRUE(clones.HasObject(a));
    EXPECT_FALSE(clones.HasObject(nullptr));
    EXPECT_EQ(clones.Count(), 2);
    clones.Clear();
    EXPECT_FALSE(clones.HasText("pacman"));
    EXPECT_FALSE(clones.HasObject(a));
}

}  // namespace
}  // namespace qm::test
