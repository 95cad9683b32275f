// Sub-lists: the files offered, the names read from one, and the shown games and clones
// in "only" and "all except" modes on the small database.
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "ui/TreeListFixture.h"
#include "ui/commands/SubLists.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;

TEST(SubListFilesTest, ListFilesByNameWithoutRegardToCase) {
    TTempDir folder;
    for (const char* name : {"b.lst", "A.LST", "x&y.lst", "notes.txt", "lst"}) WriteFile(folder / name, "pacman\n");
    MakeDirs(folder / "c.lst/");
    Strings captions, paths;
    for (const TSubListFile& file : ListSubListFiles(folder.Path())) {
        captions.push_back(file.Caption);
        paths.push_back(file.Path);
    }
    EXPECT_EQ(captions, (Strings{"A", "b", "x&y"}));
    EXPECT_EQ(paths.at(2), folder / "x&y.lst");
    EXPECT_TRUE(ListSubListFiles(folder / "missing/").empty());
}

TEST(SubListFilesTest, NamesOneALine) {
    const TSubListNames names = ParseSubListNames("pacman\r\n\r\n  galaga \nPACMAN\n\t\nxevious");
    EXPECT_EQ(names.size(), 3u);
    for (const char* name : {"Pacman", "GALAGA", "xevious"}) EXPECT_EQ(names.count(name), 1u) << name;
    EXPECT_EQ(names.count(""), 0u);

    TTempDir folder;
    WriteFile(folder / "a.lst", "mslug\r\n");
    EXPECT_EQ(LoadSubListNames(folder / "a.lst").count("MSLUG"), 1u);
    EXPECT_THROW(LoadSubListNames(folder / "gone.lst"), Exception);
}

class SubListTest : public TreeListFixture {
protected:
    Strings Clones() const {
        Strings names;
        for (const auto& [text, clone] : shownClones) names.push_back(text);
        return names;
    }
    Strings Games() const {
        Strings names;
        for (const auto& [text, game] : shownGames) names.push_back(text);
        return names;
    }
    void Apply(const TSubListNames& names, bool allExcept, bool emulatorSplit = true) {
        ApplySubList(&roms, emulatorSplit, names, allExcept, shownGames, shownClones);
    }
};

TEST_F(SubListTest, OnlyAllExceptAndNone) {
    Apply({}, false);
    const Strings allClones = Clones();
    const Strings allGames = Games();
    EXPECT_EQ(allClones.size(), 6u);

    Apply({"PUCKMAN", "galaga", "nosuchgame"}, false);
    EXPECT_EQ(Clones(), (Strings{"galaga", "puckman"}));
    EXPECT_EQ(Games(), (Strings{"galaga", "pacman"})) << "a clone brings its game, each once";
    EXPECT_TRUE(shownClones.HasObject(Clone("puckman")));
    EXPECT_FALSE(shownGames.HasObject(Game("xevious")));

    Apply({"PUCKMAN", "galaga"}, true);
    for (const std::string& name : Clones()) {
        EXPECT_NE(name, "puckman");
        EXPECT_NE(name, "galaga");
    }
    EXPECT_EQ(Clones().size(), allClones.size() - 2);
    EXPECT_TRUE(shownGames.HasObject(Game("pacman"))) << "its parent is still shown";
    EXPECT_FALSE(shownGames.HasObject(Game("galaga")));

    Apply({}, true);
    EXPECT_EQ(Clones(), allClones) << "all except nothing is everything";
    EXPECT_EQ(Games(), allGames);

    ApplySubList(nullptr, true, {"galaga"}, false, shownGames, shownClones);
    EXPECT_EQ(Clones(), allClones) << "no database: nothing changes";
}

TEST_F(SubListTest, ClonesAreListedSplitThenTheEmulatorsMode) {
    roms.Split = false;
    Apply({"puckman"}, false, false);
    EXPECT_EQ(Clones(), Strings{"puckman"}) << "found by its own name in merged mode";
    EXPECT_FALSE(roms.Split);
    Apply({"puckman"}, false, true);
    EXPECT_TRUE(roms.Split);
}

}  // namespace
}  // namespace qm::test
