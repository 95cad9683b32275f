// The common view base offscreen: typed prefix search with real key events, the
// selection helpers, the cell texts and the comparison behind header sorting.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <string>
#include <vector>

#include "ui/views/CustomQMVirtualView.h"

namespace qm::test {
namespace {

struct TEntry {
    std::string text;
    std::vector<std::string> children;
};

// A view over fixed texts: top-level entries with optional children.
class TTestView : public TCustomQMVirtualView {
public:
    explicit TTestView(std::vector<TEntry> entries) : entries_(std::move(entries)) {
        Model()->SetInitNode([this](TViewNode& node) {
            if (node.Level() == 0) {
                node.Record.Texts = {entries_[static_cast<size_t>(node.Row)].text};
                node.Record.ChildCount = static_cast<int>(entries_[static_cast<size_t>(node.Row)].children.size());
            } else {
                node.Record.Texts = {entries_[static_cast<size_t>(node.Parent->Row)].children[static_cast<size_t>(node.Row)]};
            }
        });
        Model()->SetRootNodeCount(static_cast<int>(entries_.size()));
        resize(300, 400);
    }

    QModelIndex Find(const std::string& text) const { return Find(text, QModelIndex()); }
    std::string Current() const { return GetCellText(Model()->Node(currentIndex()), 0); }
    std::string Selected() const {
        std::string out;
        for (const QModelIndex& index : SelectedNodes()) out += (out.empty() ? "" : ",") + GetCellText(Model()->Node(index), 0);
        return out;
    }
    void Select(const std::string& text) {
        selectionModel()->setCurrentIndex(Find(text), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

private:
    QModelIndex Find(const std::string& text, const QModelIndex& parent) const {
        if (Model()->canFetchMore(parent)) Model()->fetchMore(parent);
        for (int row = 0; row < Model()->rowCount(parent); ++row) {
            const QModelIndex index = Model()->index(row, 0, parent);
            if (Model()->Node(index)->Text(0) == text) return index;
            const QModelIndex below = Find(text, index);
            if (below.isValid()) return below;
        }
        return {};
    }

    std::vector<TEntry> entries_;
};

std::vector<TEntry> Fruits() {
    return {{"Apple", {}}, {"banana", {}}, {"avocado", {}}, {"Apricot", {}}, {"cherry", {}}, {"1942", {}}};
}

void Type(QWidget& view, const char* keys) {
    for (const char* k = keys; *k != '\0'; ++k) QTest::keyClick(&view, *k);
}

TEST(ViewSearch, TheSameLetterAgainStepsThroughTheEntriesThatBeginWithIt) {
    TTestView view(Fruits());
    Type(view, "a");
    EXPECT_EQ(view.Current(), "Apple");
    std::vector<std::string> seen;
    for (int i = 0; i < 4; ++i) {
        Type(view, "a");
        seen.push_back(view.Current());
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"avocado", "Apricot", "Apple", "avocado"})) << "wraps once round";
    EXPECT_EQ(view.SearchBuffer(), "a");
    EXPECT_EQ(view.Selected(), "avocado");
}

TEST(ViewSearch, AGrowingPrefixStaysOnTheEntryWhileItMatches) {
    TTestView view(Fruits());
    QSignalSpy changes(&view, &TCustomQMVirtualView::NodeChanged);
    Type(view, "ap");
    EXPECT_EQ(view.Current(), "Apple");
    EXPECT_EQ(changes.count(), 2) << "a match on the current entry runs the change handling again";
    Type(view, "r");
    EXPECT_EQ(view.Current(), "Apricot");
    EXPECT_EQ(view.SearchBuffer(), "apr");
    Type(view, "z");  // no entry begins with "aprz": nothing changes
    EXPECT_EQ(view.Current(), "Apricot");
    EXPECT_EQ(changes.count(), 3);
    Type(view, "1");
    EXPECT_EQ(view.Current(), "Apricot");
}

TEST(ViewSearch, OneSecondAfterTheLastKeyANewPrefixStarts) {
    TTestView view(Fruits());
    QTimer* timer = view.SearchTimer();
    EXPECT_EQ(timer->interval(), 1000);
    EXPECT_TRUE(timer->isSingleShot());
    Type(view, "av");
    EXPECT_EQ(view.Current(), "avocado");
    EXPECT_TRUE(timer->isActive());
    timer->setInterval(20);  // the same timer, fired sooner
    Type(view, "o");
    QTRY_VERIFY_WITH_TIMEOUT(view.SearchBuffer().empty(), 2000);
    EXPECT_FALSE(timer->isActive());
    Type(view, "1");
    EXPECT_EQ(view.Current(), "1942");
    EXPECT_EQ(view.SearchBuffer(), "1");
}

TEST(ViewSearch, ModifiersAndOtherCharactersDoNotSearch) {
    TTestView view(Fruits());
    QTest::keyClick(&view, Qt::Key_B, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_B, Qt::AltModifier);
    // Qt's own type-ahead would select "banana" here; it is off.
    QTest::keyClick(&view, Qt::Key_B, Qt::ShiftModifier);
    Type(view, "- .");
    EXPECT_EQ(view.Selected(), "");
    EXPECT_EQ(view.SearchBuffer(), "");
    QTest::keyClick(&view, Qt::Key_B, Qt::KeypadModifier);
    EXPECT_EQ(view.Current(), "banana");
}

class ViewWalk : public ::testing::TestWithParam<bool> {};

TEST_P(ViewWalk, TheWalkGoesDownTheVisibleNodes) {
    TTestView view({{"Games database", {"pacman", "galaga", "xevious"}}, {"/roms/", {"puckman.zip"}}, {"/more/", {}}});
    if (GetParam()) {
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    // Expanding a node makes its children.
    const QModelIndex games = view.Model()->index(0, 0);
    EXPECT_TRUE(view.Model()->canFetchMore(games));
    view.expand(games);
    EXPECT_EQ(view.Model()->rowCount(games), 3);
    view.Select("xevious");
    // After the last game the walk goes on with the next root, not back to the top.
    Type(view, "/");
    EXPECT_EQ(view.Current(), "xevious") << "not a letter or digit";
    view.SetSelectedString("/");
    EXPECT_EQ(view.Current(), "/roms/");
    view.SetSelectedString("/");
    EXPECT_EQ(view.Current(), "/more/");
    // A collapsed node's children are not visited.
    view.Select("pacman");
    Type(view, "p");
    EXPECT_EQ(view.Current(), "pacman") << "puckman.zip is hidden and pacman is where the search began";
    view.expand(view.Find("/roms/"));
    view.SearchTimer()->stop();
    view.SetSelectedString("p");
    EXPECT_EQ(view.Current(), "puckman.zip");
    view.SetSelectedString("p");
    EXPECT_EQ(view.Current(), "pacman") << "wrapped to the top";
    view.SetSelectedString("G");
    EXPECT_EQ(view.Current(), "galaga");
}

INSTANTIATE_TEST_SUITE_P(HiddenAndShown, ViewWalk, ::testing::Bool());

TEST(ViewSearch, SelectionHelpersFollowTheTreeOrder) {
    TTestView view(Fruits());
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(view.SelectedString(), "");
    EXPECT_FALSE(view.FirstSelected().isValid());
    view.selectionModel()->select(view.Find("cherry"), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view.selectionModel()->select(view.Find("banana"), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(view.SelectedCount(), 2);
    EXPECT_EQ(view.Selected(), "banana,cherry");
    EXPECT_EQ(view.SelectedString(), "banana");
    EXPECT_EQ(view.FirstSelectedNode()->Text(0), "banana");
    // Writing the property searches from the first selected entry.
    view.SetSelectedString("CH");
    EXPECT_EQ(view.Selected(), "cherry");
}

TEST(ViewSearch, CellTextsAndHeaderSortingGoThroughTheView) {
    TTestView view({{"cherry", {}}, {"Banana", {}}, {"apple", {}}, {"banana", {}}});
    view.DefaultText = "Error !";
    view.Model()->SetColumns({"Name", "Other"});
    view.Model()->SetRootNodeCount(4);
    EXPECT_EQ(view.Model()->data(view.Model()->index(0, 1)).toString(), "Error !");
    view.setSortingEnabled(true);
    view.sortByColumn(0, Qt::AscendingOrder);
    std::vector<std::string> order;
    for (int row = 0; row < 4; ++row) order.push_back(view.Model()->Node(view.Model()->index(row, 0))->Text(0));
    EXPECT_EQ(order, (std::vector<std::string>{"apple", "Banana", "banana", "cherry"})) << "case ignored, stable";
    view.sortByColumn(0, Qt::DescendingOrder);
    EXPECT_EQ(view.Model()->Node(view.Model()->index(0, 0))->Text(0), "cherry");
}

TEST(ViewSearch, ClearEmptiesTheNodesAndTheStateCounters) {
    TTestView view(Fruits());
    view.CompleteCount = 3;
    view.IncompleteCount = 2;
    view.MissingCount = 1;
    view.TotalSize = 99;
    view.PlayableCount = 4;
    view.Clear();
    EXPECT_EQ(view.Model()->rowCount(), 0);
    EXPECT_EQ(view.TotalCount(), 0);
    EXPECT_EQ(view.CompleteCount + view.IncompleteCount + view.MissingCount, 0);
    EXPECT_EQ(view.TotalSize, 0);
    EXPECT_EQ(view.PlayableCount, 4) << "the file counters are left as they were";
    Type(view, "a");  // nothing to find
    EXPECT_EQ(view.Selected(), "");
}

}  // namespace
}  // namespace qm::test
