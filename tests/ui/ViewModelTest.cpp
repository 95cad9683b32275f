// The views' item model, checked by Qt's own model tester through resets, lazy
// children, sorting and re-initialisation.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QIcon>
#include <QPersistentModelIndex>
#include <QPixmap>

#include <string>
#include <vector>

#include "ui/controls/ImageList.h"
#include "ui/views/ViewModel.h"

namespace qm::test {
namespace {

QStringList gFailures;

// The tester checks the model from its own modelReset and layoutChanged handlers before
// it marks the change as over, and fetches lazy children while it does; the insertions
// that its own fetching causes then read as "changeInFlight" findings. Those are left
// out; the bracketing of insertions is checked with a signal spy instead.
void RecordFailures(QtMsgType, const QMessageLogContext&, const QString& message) {
    if (message.contains("FAIL") && !message.contains("changeInFlight")) gFailures.append(message);
}

// Installs a message handler for the tester's findings for the life of the object.
class TTesterFindings {
public:
    TTesterFindings() {
        gFailures.clear();
        previous_ = qInstallMessageHandler(RecordFailures);
    }
    ~TTesterFindings() { qInstallMessageHandler(previous_); }
    QStringList Failures() const { return gFailures; }

private:
    QtMessageHandler previous_;
};

// Top-level nodes "r<i>" with i+1 children "r<i>.<j>", each of those with one child.
class ViewModelTest : public ::testing::Test {
protected:
    ViewModelTest() {
        model.SetColumns({"Name", "Size"});
        model.SetInitNode([this](TViewNode& node) {
            ++inits;
            const int level = node.Level();
            const std::string text =
                level == 0 ? "r" + std::to_string(node.Row) : node.Parent->Text(0) + "." + std::to_string(node.Row);
            node.Record.Texts = {text, std::to_string(100 - node.Row)};
            node.Record.ChildCount = level == 0 ? node.Row + 1 : level == 1 ? 1 : 0;
            node.Record.ImageIndex = level;
            if (level == 1) node.Record.Color = QColor(Qt::red);
        });
    }

    // Every node under parent, fetched on the way, as "text" lines in tree order.
    void Walk(const QModelIndex& parent, std::vector<std::string>& out) {
        if (model.canFetchMore(parent)) model.fetchMore(parent);
        for (int row = 0; row < model.rowCount(parent); ++row) {
            const QModelIndex index = model.index(row, 0, parent);
            out.push_back(model.data(index).toString().toStdString());
            Walk(index, out);
        }
    }

    TViewModel model;
    int inits = 0;
};

TEST_F(ViewModelTest, PassesTheModelTesterThroughEveryChange) {
    TTesterFindings findings;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    model.SetRootNodeCount(3);
    std::vector<std::string> all;
    Walk({}, all);
    model.sort(0, Qt::DescendingOrder);
    model.sort(1, Qt::AscendingOrder);
    model.ReinitNodes();
    Walk({}, all);
    model.SetColumns({"One"});
    model.SetRootNodeCount(5);
    Walk({}, all);
    model.Clear();
    EXPECT_TRUE(findings.Failures().isEmpty()) << findings.Failures().join("\n").toStdString();
}

TEST_F(ViewModelTest, FetchingAnnouncesTheInsertedChildren) {
    model.SetRootNodeCount(3);
    std::vector<std::string> events;
    QObject::connect(&model, &QAbstractItemModel::rowsAboutToBeInserted, [&](const QModelIndex& p, int first, int last) {
        events.push_back("before " + model.data(p).toString().toStdString() + " " + std::to_string(first) + "-" +
                         std::to_string(last) + " rows " + std::to_string(model.rowCount(p)));
    });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&](const QModelIndex& p, int first, int last) {
        events.push_back("after " + model.data(p).toString().toStdString() + " " + std::to_string(first) + "-" +
                         std::to_string(last) + " rows " + std::to_string(model.rowCount(p)));
    });
    model.fetchMore(model.index(2, 0));
    model.fetchMore(model.index(2, 0));  // made already: nothing
    model.fetchMore(model.index(0, 0, model.index(2, 0)));
    EXPECT_EQ(events, (std::vector<std::string>{"before r2 0-2 rows 0", "after r2 0-2 rows 3", "before r2.0 0-0 rows 0",
                                                "after r2.0 0-0 rows 1"}));
}

TEST_F(ViewModelTest, RootsAreMadeAtOnceAndChildrenWhenAskedFor) {
    model.SetRootNodeCount(3);
    EXPECT_EQ(inits, 3);
    const QModelIndex r2 = model.index(2, 0);
    EXPECT_TRUE(model.hasChildren(r2));
    EXPECT_EQ(model.rowCount(r2), 0);
    ASSERT_TRUE(model.canFetchMore(r2));
    model.fetchMore(r2);
    EXPECT_EQ(inits, 6);
    EXPECT_FALSE(model.canFetchMore(r2));
    ASSERT_EQ(model.rowCount(r2), 3);
    // A child's record is made with its parent's record at hand.
    EXPECT_EQ(model.data(model.index(1, 0, r2)).toString(), "r2.1");
    EXPECT_EQ(model.parent(model.index(1, 0, r2)), r2);
    const QModelIndex leaf = model.index(0, 0, model.index(1, 0, r2));
    EXPECT_FALSE(leaf.isValid()) << "not fetched yet";
    EXPECT_EQ(model.NodeCount(), 6);

    // Reading a cell makes nothing.
    const int before = inits;
    for (int i = 0; i < 10; ++i) model.data(model.index(0, 1, r2));
    EXPECT_EQ(inits, before);
}

TEST_F(ViewModelTest, CellsShowTextImageAndColourOfTheRecord) {
    TImageList images;
    for (int i = 0; i < 3; ++i) {
        QPixmap picture(4, 4);
        picture.fill(Qt::blue);
        images.Add(picture);
    }
    model.SetRootNodeCount(2);
    model.fetchMore(model.index(1, 0));
    const QModelIndex child = model.index(0, 0, model.index(1, 0));
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), "99");
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Size");
    EXPECT_FALSE(model.data(child, Qt::DecorationRole).isValid()) << "no images given";
    model.SetImages(&images, false);
    EXPECT_TRUE(model.data(child, Qt::DecorationRole).isValid());
    EXPECT_FALSE(model.data(child.siblingAtColumn(1), Qt::DecorationRole).isValid());
    model.SetImages(&images, true);
    EXPECT_TRUE(model.data(child.siblingAtColumn(1), Qt::DecorationRole).isValid());
    EXPECT_EQ(model.data(child, Qt::BackgroundRole).value<QColor>(), QColor(Qt::red));
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::BackgroundRole).isValid());

    model.SetCellText([](const TViewNode& node, int column) { return column == 0 ? "<" + node.Text(0) + ">" : "?"; });
    EXPECT_EQ(model.data(child).toString(), "<r1.0>");
    EXPECT_EQ(model.data(child.siblingAtColumn(1)).toString(), "?");
}

TEST_F(ViewModelTest, SortingKeepsPersistentIndexesOnTheirNodes) {
    model.SetRootNodeCount(4);
    model.fetchMore(model.index(3, 0));
    const QPersistentModelIndex r1(model.index(1, 0));
    const QPersistentModelIndex r3c2(model.index(2, 1, model.index(3, 0)));
    model.sort(0, Qt::DescendingOrder);
    // Children made after the sort come in the order in force.
    ASSERT_TRUE(model.canFetchMore(model.index(1, 0)));  // r2
    model.fetchMore(model.index(1, 0));
    EXPECT_EQ(model.data(model.index(0, 0, model.index(1, 0))).toString(), "r2.2");
    std::vector<std::string> order;
    Walk({}, order);
    EXPECT_EQ(order.front(), "r3");
    EXPECT_EQ(order[1], "r3.3") << "children are sorted too";
    EXPECT_EQ(model.data(r1).toString(), "r1");
    EXPECT_EQ(r1.row(), 2);
    EXPECT_EQ(model.data(QModelIndex(r3c2).siblingAtColumn(0)).toString(), "r3.2");
    EXPECT_EQ(r3c2.column(), 1);
    EXPECT_EQ(model.SortColumn(), 0);
    EXPECT_EQ(model.SortOrder(), Qt::DescendingOrder);

    // The comparison is the view's.
    model.SetCompare([](const TViewNode& a, const TViewNode& b, int) {
        return std::stoi(a.Text(1)) - std::stoi(b.Text(1));  // by number: 97 < 100
    });
    model.sort(1, Qt::AscendingOrder);
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "r3");
}

TEST_F(ViewModelTest, ReinitNodesRemakesEveryRecordFromItsObject) {
    TGame* const games[2] = {reinterpret_cast<TGame*>(0x10), reinterpret_cast<TGame*>(0x20)};
    model.SetInitNode([&](TViewNode& node) {
        if (IsNilObject(node.Record.Object)) node.Record.Object = games[node.Row];
        node.Record.Texts = {std::to_string(reinterpret_cast<uintptr_t>(ObjectAs<TGame>(node.Record.Object))) +
                             "#" + std::to_string(++inits)};
        node.Record.ChildCount = 1;
    });
    model.SetRootNodeCount(2);
    model.fetchMore(model.index(0, 0));
    EXPECT_EQ(model.NodeCount(), 3);
    model.ReinitNodes();
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "16#4");
    EXPECT_EQ(model.data(model.index(1, 0)).toString(), "32#5");
    EXPECT_EQ(model.NodeCount(), 2) << "children are made again when next asked for";
    EXPECT_TRUE(model.canFetchMore(model.index(0, 0)));
}

}  // namespace
}  // namespace qm::test
