// The action-state rule handed to the window's actions, and the reading of the
// selection from the two views.
#include <QAction>
#include <QObject>

#include <string>
#include <vector>

#include "TreeListFixture.h"
#include "ui/ViewActionStates.h"
#include "ui/MainActions.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

namespace qm::test {
namespace {

using enum TActionId;
using K = TObjectKind;

TEST(ActionStatesTest, ApplyChangesOnlyTheRuledActions) {
    QObject owner;
    TMainActions actions(&owner);
    actions.Action(ActQuit)->setEnabled(false);
    ApplyActionStates(actions, ComputeActionStates({false, K::None, K::PathObject, false}));
    EXPECT_FALSE(actions.Action(ActRefresh)->isEnabled());
    EXPECT_TRUE(actions.Action(ActFixGame)->isEnabled()) << "the selection rule overrides the datafile rule";
    EXPECT_TRUE(actions.Action(ActCopyFile)->isEnabled());
    EXPECT_FALSE(actions.Action(ActPlayGame)->isEnabled());
    EXPECT_FALSE(actions.Action(ActQuit)->isEnabled()) << "not the rule's";
    ApplyActionStates(actions, ComputeActionStates({true, K::None, K::Game, false}));
    EXPECT_TRUE(actions.Action(ActRefresh)->isEnabled());
    EXPECT_FALSE(actions.Action(ActFixGame)->isEnabled());
    EXPECT_TRUE(actions.Action(ActPlayGame)->isEnabled());
}

class ActionSelectionTest : public TreeListFixture {
protected:
    void SetUp() override {
        TreeListFixture::SetUp();
        Link(tree);
        Link(list);
        tree.SetQmVirtualListView(&list);
        tree.Rebuild(false);
    }
    void Select(TCustomQMVirtualView& view, const QModelIndex& index) {
        ASSERT_TRUE(index.isValid());
        view.selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QModelIndex Row(TCustomQMVirtualView& view, int row, const QModelIndex& parent = {}) {
        if (view.Model()->canFetchMore(parent)) view.Model()->fetchMore(parent);
        return view.Model()->index(row, 0, parent);
    }

    TQMVirtualListView list;
    TQMVirtualTreeView tree;
};

TEST_F(ActionSelectionTest, KindsOfTheFocusedObjectsOfBothViews) {
    Select(tree, Row(tree, 0));
    TActionSelection s = SelectionOfViews(true, &tree, &list);
    EXPECT_TRUE(s.DatafileSelected);
    EXPECT_EQ(s.Tree, K::GamesList);
    EXPECT_TRUE(s.TreeRootSelected);
    EXPECT_EQ(s.List, K::None);

    Select(list, Row(list, 0));
    s = SelectionOfViews(false, &tree, &list);
    EXPECT_FALSE(s.DatafileSelected);
    EXPECT_EQ(s.List, K::Game);
    EXPECT_TRUE(s.TreeRootSelected);

    Select(tree, Row(tree, 0, Row(tree, 0)));
    s = SelectionOfViews(true, &tree, &list);
    EXPECT_EQ(s.Tree, K::Game);
    EXPECT_FALSE(s.TreeRootSelected);

    Select(tree, Row(tree, 1));
    s = SelectionOfViews(true, &tree, &list);
    EXPECT_EQ(s.Tree, K::PathObject);
    EXPECT_FALSE(s.TreeRootSelected);
    Select(tree, Row(tree, 0, Row(tree, 1)));
    EXPECT_EQ(SelectionOfViews(true, &tree, &list).Tree, K::File);

    EXPECT_EQ(SelectionOfViews(true, nullptr, nullptr).Tree, K::None);
    EXPECT_EQ(KindOf(TViewObject(static_cast<TGame*>(nullptr))), K::None) << "a null object is none";
}

}  // namespace
}  // namespace qm::test
