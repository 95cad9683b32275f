// The selection and navigation commands on the small database: every row and the
// inverted selection, up to the parent with the former item selected, opening a row in
// the tree, and the list's keys.
#include <QAction>
#include <QTest>

#include <string>

#include "TreeListFixture.h"
#include "ui/MainActions.h"
#include "ui/ViewNavigation.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

namespace qm::test {
namespace {

using enum TActionId;

class ViewNavigationTest : public TreeListFixture {
protected:
    void SetUp() override {
        TreeListFixture::SetUp();
        Link(tree);
        Link(list);
        tree.SetQmVirtualListView(&list);
        tree.Rebuild(false);
        Select(tree, tree.Model()->index(0, 0));
    }
    void Select(TCustomQMVirtualView& view, const QModelIndex& index) {
        ASSERT_TRUE(index.isValid());
        view.selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QModelIndex TreeChild(const QModelIndex& parent, int row) {
        if (tree.Model()->canFetchMore(parent)) tree.Model()->fetchMore(parent);
        return tree.Model()->index(row, 0, parent);
    }

    QObject owner;
    TMainActions actions{&owner};
    TQMVirtualListView list;
    TQMVirtualTreeView tree;
};

TEST_F(ViewNavigationTest, SelectAllAndInvert) {
    const int rows = list.TotalCount();
    ASSERT_GT(rows, 2);
    list.setRowHidden(1, QModelIndex(), true);
    SelectAllRows(list);
    EXPECT_EQ(list.SelectedCount(), rows) << "hidden rows too";
    InvertSelection(list);
    EXPECT_EQ(list.SelectedCount(), 0);
    Select(list, list.Model()->index(0, 0));
    InvertSelection(list);
    EXPECT_EQ(list.SelectedCount(), rows - 1);
    EXPECT_FALSE(list.selectionModel()->isRowSelected(0, QModelIndex()));
}

TEST_F(ViewNavigationTest, ParentNodeSelectsTheFormerItemInTheList) {
    const QModelIndex root = tree.Model()->index(0, 0);
    const QModelIndex game = TreeChild(root, 1);
    Select(tree, game);
    const std::string former = tree.SelectedString();
    ASSERT_FALSE(former.empty());
    GoToParentNode(tree, list);
    EXPECT_EQ(tree.FirstSelected(), root);
    EXPECT_EQ(list.SelectedString(), former);
    EXPECT_EQ(list.SelectedCount(), 1);

    GoToParentNode(tree, list);
    EXPECT_EQ(tree.FirstSelected(), root) << "a root has no parent";
}

TEST_F(ViewNavigationTest, RowsOpenInTheTreeButRoms) {
    EXPECT_TRUE(OpenInTree(tree, Game("galaga")));
    EXPECT_EQ(ObjectAs<TGame>(tree.GetFocusedObject()), Game("galaga"));
    EXPECT_FALSE(OpenInTree(tree, Clone("galaga")->CloneRoms[0]));
    EXPECT_FALSE(OpenInTree(tree, File("pacman.zip")->RomFiles[0]));
    EXPECT_FALSE(OpenInTree(tree, TViewObject()));
    EXPECT_EQ(ObjectAs<TGame>(tree.GetFocusedObject()), Game("galaga"));
}

TEST_F(ViewNavigationTest, ListKeys) {
    TListKeys keys(list, actions);
    int parent = 0, play = 0;
    QObject::connect(actions.Action(ActParentNode), &QAction::triggered, [&] { ++parent; });
    QObject::connect(actions.Action(ActPlayGame), &QAction::triggered, [&] { ++play; });
    TViewObject opened;
    list.OnDoubleClick = [&](const TViewObject& object) { opened = object; };
    Select(list, list.Model()->index(0, 0));

    QTest::keyClick(&list, Qt::Key_Left);
    QTest::keyClick(&list, Qt::Key_Backspace);
    EXPECT_EQ(parent, 2);
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_EQ(play, 1);
    actions.Action(ActPlayGame)->setEnabled(false);
    QTest::keyClick(&list, Qt::Key_Enter);
    EXPECT_EQ(play, 1) << "a disabled command does not run";
    QTest::keyClick(&list, Qt::Key_Right);
    EXPECT_EQ(opened, list.GetFocusedObject());
    EXPECT_FALSE(IsNilObject(opened));
}

}  // namespace
}  // namespace qm::test
