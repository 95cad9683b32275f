// The SubList menu: items per file (also with "&" in the name), clicks, and check marks
// that follow what is applied across rebuilds and vanished files.
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
#include "ui/SubListMenu.h"

namespace qm::test {
namespace {

using enum TActionId;
using Strings = std::vector<std::string>;

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
