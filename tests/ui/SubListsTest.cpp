// Sub-lists: the files offered, the names read from one, the shown games and clones in
// "only" and "all except" modes on the small database, and the SubList menu: items per
// file (also with "&" in the name), clicks, and check marks that follow what is applied
// across rebuilds and vanished files.
#include <QAction>
#include <QCoreApplication>
#include <QMainWindow>
#include <QMenu>

#include <string>
#include <vector>

#include "TreeListFixture.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "ui/ActionDispatcher.h"
#include "ui/MainActions.h"
#include "ui/SubLists.h"

namespace qm::test {
namespace {

using enum TActionId;
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

class SubListMenuTest : public ::testing::Test {
protected:
    SubListMenuTest() : actions(&window), menu(actions) {
        actions.Build(&window, nullptr, nullptr, nullptr);
        WriteFile(folder / "A.LST", "pacman\n");
        WriteFile(folder / "x&y.lst", "galaga\r\nxevious\r\n");
        menu.OnNewAction = [this](QAction* action) { made.push_back(action); };
    }
    QAction* A(TActionId id) { return actions.Action(id); }
    QAction* Item(const char* caption) {
        for (QAction* action : menu.FileActions())
            if (action->text() == caption) return action;
        return nullptr;
    }
    // Qt toggles the check mark before the command runs.
    void Click(QAction* action) {
        action->trigger();
        menu.Click(action);
    }

    QMainWindow window;
    TMainActions actions;
    TSubListMenu menu;
    TTempDir folder;
    std::vector<QAction*> made;
};

TEST_F(SubListMenuTest, ItemsPerFileWithTheirPaths) {
    EXPECT_FALSE(menu.Build(folder.Path()));
    const QList<QAction*> items = actions.SubListMenu()->actions();
    ASSERT_EQ(items.size(), 5);
    EXPECT_EQ(items[0], A(ActAllExcept));
    EXPECT_EQ(items[1], A(ActAll));
    EXPECT_TRUE(items[2]->isSeparator());
    EXPECT_EQ(items[3]->text(), "A");
    EXPECT_EQ(items[4]->text(), "x&&y") << "shown with its \"&\", not as an accelerator";
    EXPECT_EQ(made.size(), 2u);
    EXPECT_TRUE(A(ActAll)->isChecked());
    EXPECT_FALSE(A(ActAllExcept)->isChecked());
    EXPECT_FALSE(A(ActAllExcept)->isEnabled());

    // The file of an item with "&" in its name loads.
    Click(Item("x&&y"));
    EXPECT_EQ(menu.AppliedFile(), folder / "x&y.lst");
    EXPECT_EQ(menu.Names().size(), 2u);
    EXPECT_EQ(menu.Names().count("GALAGA"), 1u);
    EXPECT_TRUE(Item("x&&y")->isChecked());
    EXPECT_FALSE(A(ActAll)->isChecked());
    EXPECT_TRUE(A(ActAllExcept)->isEnabled());
    EXPECT_FALSE(menu.AllExcept());

    Click(Item("x&&y"));
    EXPECT_TRUE(Item("x&&y")->isChecked()) << "a second click keeps it";
    Click(A(ActAllExcept));
    EXPECT_TRUE(menu.AllExcept());
    Click(Item("A"));
    EXPECT_TRUE(menu.AllExcept()) << "the mode stays with another file";
    EXPECT_FALSE(Item("x&&y")->isChecked());
    EXPECT_EQ(menu.Names().count("pacman"), 1u);

    Click(A(ActAll));
    EXPECT_TRUE(A(ActAll)->isChecked());
    Click(A(ActAll));
    EXPECT_TRUE(A(ActAll)->isChecked()) << "All stays checked";
    EXPECT_TRUE(menu.Names().empty());
    EXPECT_EQ(menu.AppliedFile(), "");
    EXPECT_FALSE(menu.AllExcept());
    EXPECT_FALSE(A(ActAllExcept)->isChecked());
    EXPECT_FALSE(A(ActAllExcept)->isEnabled());
}

TEST_F(SubListMenuTest, RebuildShowsWhatIsApplied) {
    menu.Build(folder.Path());
    Click(Item("x&&y"));
    Click(A(ActAllExcept));

    EXPECT_FALSE(menu.Build(folder.Path()));
    EXPECT_EQ(made.size(), 4u) << "new items each time";
    EXPECT_TRUE(Item("x&&y")->isChecked());
    EXPECT_FALSE(Item("A")->isChecked());
    EXPECT_FALSE(A(ActAll)->isChecked());
    EXPECT_TRUE(A(ActAllExcept)->isChecked()) << "the applied mode, not a fresh menu's";
    EXPECT_TRUE(A(ActAllExcept)->isEnabled());
    EXPECT_EQ(menu.Names().size(), 2u);

    // The file went: the menu and the names fall back to every game.
    ASSERT_EQ(Fs().Unlink(folder / "x&y.lst"), 0);
    EXPECT_TRUE(menu.Build(folder.Path())) << "the caller applies the sub-list again";
    EXPECT_TRUE(A(ActAll)->isChecked());
    EXPECT_TRUE(menu.Names().empty());
    EXPECT_FALSE(menu.AllExcept());
    EXPECT_FALSE(A(ActAllExcept)->isChecked());
    ASSERT_EQ(menu.FileActions().size(), 1u);
    EXPECT_FALSE(menu.FileActions()[0]->isChecked());

    menu.Reset();
    EXPECT_TRUE(A(ActAll)->isChecked());
}

TEST_F(SubListMenuTest, RebuildFromAnItemsOwnCommand) {
    menu.Build(folder.Path());
    // Wired as the window does: each item's command through the dispatcher.
    TActionDispatcher dispatcher;
    QAction* item = Item("A");
    dispatcher.Connect(item, [this, item] {
        menu.Click(item);
        menu.Build(folder.Path());
    });
    item->trigger();
    EXPECT_EQ(menu.AppliedFile(), folder / "A.LST");
    ASSERT_NE(Item("A"), nullptr);
    EXPECT_TRUE(Item("A")->isChecked());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(actions.SubListMenu()->actions().size(), 5);
}

TEST_F(SubListMenuTest, UnreadableFileChangesNothing) {
    menu.Build(folder.Path());
    Click(Item("A"));
    ASSERT_EQ(Fs().Unlink(folder / "x&y.lst"), 0);
    QAction* gone = Item("x&&y");
    gone->trigger();
    EXPECT_THROW(menu.Click(gone), Exception);
    EXPECT_FALSE(gone->isChecked());
    EXPECT_TRUE(Item("A")->isChecked());
    EXPECT_EQ(menu.AppliedFile(), folder / "A.LST");
    EXPECT_EQ(menu.Names().count("pacman"), 1u);
}

}  // namespace
}  // namespace qm::test
