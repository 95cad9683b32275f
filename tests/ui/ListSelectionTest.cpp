// The list's selection commands on the small database: every row, hidden ones too, and
// the inverted selection.
#include "TreeListFixture.h"
#include "ui/ListSelection.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

namespace qm::test {
namespace {

class ListSelectionTest : public TreeListFixture {
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
    TQMVirtualListView list;
    TQMVirtualTreeView tree;
};

TEST_F(ListSelectionTest, SelectAllAndInvert) {
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

}  // namespace
}  // namespace qm::test
