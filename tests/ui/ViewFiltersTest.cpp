// The filters of the views: the filter box's keys and choices; the database and path
// filter actions with the settings they store and their effect on the tree of the small
// database.
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QTest>
#include <QToolButton>

#include <string>
#include <vector>

#include "MainUnitsTestSupport.h"
#include "ui/MainActions.h"
#include "ui/NameFilterBox.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

namespace qm::test {
namespace {

using enum TActionId;
using Strings = std::vector<std::string>;

class NameFilterBoxTest : public ::testing::Test {
protected:
    NameFilterBoxTest() : actions(&window) {
        actions.Build(&window, nullptr, nullptr, nullptr);
        box = actions.NameFilterBox();
        filterBox = std::make_unique<TNameFilterBox>(box, actions.GoButton());
        filterBox->OnApply = [this](const std::string& pattern) { applied.push_back(pattern); };
    }
    void Enter(const char* text) {
        box->setEditText(text);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    }

    QMainWindow window;
    TMainActions actions;
    QComboBox* box = nullptr;
    std::unique_ptr<TNameFilterBox> filterBox;
    Strings applied;
};

TEST_F(NameFilterBoxTest, EnterAppliesOnceAndKeepsTheHistory) {
    EXPECT_EQ(box->currentText(), "*");
    EXPECT_TRUE(box->isEditable());
    EXPECT_EQ(box->insertPolicy(), QComboBox::NoInsert);
    Enter("pac*");
    Enter("gal*");
    EXPECT_EQ(applied, (Strings{"pac.*", "gal.*"}));
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemText(0), "gal*");
    EXPECT_EQ(box->currentText(), "gal*");
    Enter("pac*");
    EXPECT_EQ(applied.size(), 3u) << "a text already in the list applies once";
    EXPECT_EQ(box->itemText(0), "pac*");
    EXPECT_EQ(box->count(), 2);

    // A choice from the list and the button apply without touching the history.
    emit box->activated(1);
    box->setEditText("x*");
    QTest::mouseClick(actions.GoButton(), Qt::LeftButton);
    EXPECT_EQ(applied.back(), "x.*");
    EXPECT_EQ(box->count(), 2);
}

TEST_F(NameFilterBoxTest, DroppedWhileAnotherCommandRuns) {
    bool busy = true;
    filterBox->RunCommand = [&busy](const std::function<void()>& command) {
        if (busy) return false;
        command();
        return true;
    };
    Enter("pac*");
    QTest::mouseClick(actions.GoButton(), Qt::LeftButton);
    EXPECT_TRUE(applied.empty());
    EXPECT_TRUE(filterBox->History().Entries().empty());
    busy = false;
    Enter("pac*");
    EXPECT_EQ(applied, Strings{"pac.*"});
    filterBox->Reset();
    busy = true;
    filterBox->Reset();
    EXPECT_EQ(applied.size(), 3u) << "a reset from the program is not a user's command";
}

TEST_F(NameFilterBoxTest, InvalidPatternKeepsThePreviousFilter) {
    Enter("pac*");
    Enter("?pac");
    EXPECT_EQ(applied, Strings{"pac.*"});
    EXPECT_EQ(filterBox->AppliedPattern(), "pac.*");
    EXPECT_NE(filterBox->Error(), "");
    EXPECT_FALSE(box->lineEdit()->toolTip().isEmpty()) << "the box says why";
    EXPECT_EQ(filterBox->History().Entries(), Strings{"pac*"}) << "not recorded";
    Enter("gal*");
    EXPECT_EQ(filterBox->Error(), "");
    EXPECT_TRUE(box->lineEdit()->toolTip().isEmpty());
    filterBox->Reset();
    EXPECT_EQ(box->currentText(), "*");
    EXPECT_EQ(applied.back(), ".*");
}

class FilterActionsTest : public MainUnitsTest {
protected:
    void SetUp() override {
        MainUnitsTest::SetUp();
        Link(tree);
        Link(list);
        tree.SetQmVirtualListView(&list);
        CheckFilterActions(actions, *config);
        ApplyFilters(actions, *config, tree);
        tree.Rebuild(false);
    }
    QAction* A(TActionId id) { return actions.Action(id); }
    // Qt toggles a checkable action before its command runs.
    bool ClickDB(TActionId id) {
        A(id)->trigger();
        return DBFilterClick(actions, id, *config, tree);
    }
    bool ClickTV(TActionId id) {
        A(id)->trigger();
        return TVFilterClick(actions, id, *config, tree);
    }
    Strings RootTexts() {
        Strings texts;
        for (const TChildItem& item : tree.RootItems()) texts.push_back(item.Text);
        return texts;
    }
    int Status(const TChildItem& item) {
        if (const TGame* game = ObjectAs<TGame>(item.Object)) return game->GetStatus() & 3;
        if (const TClone* clone = ObjectAs<TClone>(item.Object)) return clone->GetStatus() & 3;
        return -1;
    }

    QObject owner;
    TMainActions actions{&owner};
    TQMVirtualListView list;
    TQMVirtualTreeView tree;
};

TEST_F(FilterActionsTest, ActionsFollowTheSettings) {
    config->SetDBLevel(true);
    config->SetDBMissing(false);
    config->SetTVUnknown(false);
    CheckFilterActions(actions, *config);
    EXPECT_TRUE(A(ActDBClones)->isChecked());
    EXPECT_FALSE(A(ActDBSets)->isChecked());
    EXPECT_FALSE(A(ActDBMissing)->isChecked());
    EXPECT_FALSE(A(ActTVUnknown)->isChecked());
    EXPECT_TRUE(A(ActTVGood)->isChecked());
    EXPECT_FALSE(A(ActTVMissing)->isVisible());
}

TEST_F(FilterActionsTest, SetsClickedWhileCheckedChangesNothing) {
    ASSERT_TRUE(A(ActDBSets)->isChecked());
    EXPECT_FALSE(ClickDB(ActDBSets)) << "no rebuild";
    EXPECT_TRUE(A(ActDBSets)->isChecked());
    EXPECT_FALSE(A(ActDBClones)->isChecked());
    EXPECT_FALSE(config->DBLevel());
    EXPECT_FALSE(ClickDB(ActDBSets));
    EXPECT_TRUE(A(ActDBSets)->isChecked());

    const int roms = tree.GetRomCount();
    EXPECT_TRUE(ClickDB(ActDBClones));
    EXPECT_TRUE(A(ActDBClones)->isChecked());
    EXPECT_FALSE(A(ActDBSets)->isChecked());
    EXPECT_TRUE(config->DBLevel());
    EXPECT_EQ(tree.DisplayLevel(), dlClones);
    tree.Rebuild(true);
    EXPECT_EQ(tree.RootItems().Count(), shownClones.Count()) << "clones listed flat";
    EXPECT_GE(tree.GetRomCount(), roms) << "counted again for the clones";
    EXPECT_FALSE(ClickDB(ActDBClones));
    EXPECT_TRUE(ClickDB(ActDBSets));
    EXPECT_FALSE(config->DBLevel());
    EXPECT_EQ(tree.DisplayLevel(), dlGames);

    // In an exclusive group Qt keeps the checked one checked and still reports the click.
    QActionGroup levels(&owner);
    levels.addAction(A(ActDBSets));
    levels.addAction(A(ActDBClones));
    EXPECT_FALSE(ClickDB(ActDBSets));
    EXPECT_TRUE(A(ActDBSets)->isChecked());
    EXPECT_FALSE(config->DBLevel());
    EXPECT_TRUE(ClickDB(ActDBClones));
    EXPECT_TRUE(config->DBLevel());
}

TEST_F(FilterActionsTest, StateFiltersStoreAndRestrictTheTree) {
    const Strings all = RootTexts();
    ASSERT_FALSE(all.empty());
    bool anyComplete = false;
    for (const TChildItem& item : tree.RootItems()) anyComplete |= Status(item) == 2;
    ASSERT_TRUE(anyComplete) << "the data has a complete game";

    EXPECT_TRUE(ClickDB(ActDBPlayable));
    EXPECT_FALSE(config->DBPlayable());
    EXPECT_FALSE(tree.DatabaseFilters.Has(dfShowComplete));
    tree.Rebuild(true);
    EXPECT_LT(tree.RootItems().Count(), static_cast<int>(all.size()));
    for (const TChildItem& item : tree.RootItems()) EXPECT_NE(Status(item), 2) << item.Text;
    EXPECT_TRUE(ClickDB(ActDBPlayable));
    EXPECT_TRUE(config->DBPlayable());
    tree.Rebuild(true);
    EXPECT_EQ(RootTexts(), all);

    // The unknown files leave the rom path.
    auto pathFiles = [this] {
        Strings names;
        for (const TChildItem& item : tree.PathObjects().at(0)->Files) names.push_back(item.Text);
        return names;
    };
    const Strings files = pathFiles();
    EXPECT_TRUE(ClickTV(ActTVUnknown));
    EXPECT_FALSE(config->TVUnknown());
    EXPECT_FALSE(tree.PathFilters.Has(pfShowUnknown));
    tree.Rebuild(true);
    EXPECT_LT(pathFiles().size(), files.size());
    for (const std::string& name : pathFiles()) EXPECT_NE(name, "junk.zip");

    const bool missing = config->TVMissing();
    EXPECT_TRUE(ClickTV(ActTVMissing));
    EXPECT_EQ(config->TVMissing(), missing) << "never stored";
}

}  // namespace
}  // namespace qm::test
