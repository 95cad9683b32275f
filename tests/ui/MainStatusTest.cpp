// The status texts of the main window read from the views on the small database: the
// database line and the counters, and the panels made on a status bar.
#include <QLabel>
#include <QStatusBar>
#include <QWidget>

#include "MainUnitsTestSupport.h"
#include "archive/stringsTools.h"
#include "catalogue/Emulator.h"
#include "ui/MainStatusBar.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

namespace qm::test {
namespace {

using MainStatusTest = MainUnitsTest;

TEST_F(MainStatusTest, DatabaseLineAndCountersOfTheTree) {
    TQMVirtualTreeView tree;
    TQMVirtualListView list;
    Link(tree);
    Link(list);
    tree.SetQmVirtualListView(&list);
    tree.Rebuild(false);
    ASSERT_EQ(tree.ResourceCount, 1);
    EXPECT_EQ(DatabaseInfoText(tree), "Database: 4 games, 5 clones, " + std::to_string(tree.GetRomCount()) +
                                          " roms, 1 resources.");
    roms.UpdateStatistics();
    const auto counters = StatusCounterTexts(tree);
    EXPECT_EQ(counters[0], std::to_string(tree.MissingCount));
    EXPECT_EQ(counters[2], std::to_string(tree.CompleteCount));
    EXPECT_EQ(tree.MissingCount + tree.IncompleteCount + tree.CompleteCount, tree.RootItems().Count());

    // The line from the views: the root, then a game of the list.
    TDataFile header;
    header.FileName = "/tmp/work/demo.dat";
    header.Author = "me";
    header.CreditsVersion = "1";
    tree.selectionModel()->setCurrentIndex(tree.Model()->index(0, 0),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(ItemStatusText(ItemTextSourceOf(true, tree, list, &header, true)), "demo - me - 1");
    const QModelIndex first = list.Model()->index(0, 0);
    list.selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const TGame* game = ObjectAs<TGame>(list.GetFocusedObject());
    ASSERT_NE(game, nullptr);
    EXPECT_EQ(ItemStatusText(ItemTextSourceOf(false, tree, list, &header, true)), GameItemText(*game));

    // The list's selection: nothing selected reads as the whole list.
    list.SetParentObject(Game("pacman"));
    const TStatusTexts texts = StatusBarTexts(list, nullptr);
    EXPECT_EQ(texts.Selected, "1 items selected");
    EXPECT_EQ(texts.Size, list.TotalSize > 0 ? FormatSize(list.TotalSize) : "");
}

TEST_F(MainStatusTest, StatusBarPanels) {
    QWidget window;
    QStatusBar bar(&window);
    TMainStatusBar status(&bar, &window);
    const int widths[] = {60, 60, 60, 75, -1, -1, 50};
    for (int i = 0; i < TMainStatusBar::kPanelCount; ++i) {
        QWidget* panel = i < 3 ? status.Panel(i)->parentWidget() : status.Panel(i);
        // At least the classic widths; wider where the font needs it, and no wider
        // than their text needs.
        if (widths[i] > 0) EXPECT_GE(panel->minimumWidth(), widths[i]) << i;
        if (i < 3) EXPECT_EQ(panel->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed) << i;
        if (i == 3) EXPECT_EQ(panel->maximumWidth(), panel->minimumWidth());
    }
    EXPECT_EQ(status.Panel(3)->toolTip(), "Size of selected items");
    EXPECT_EQ(status.Panel(4)->toolTip(), "Rom handling mode");
    EXPECT_EQ(status.Panel(5)->toolTip(), "Emulator name used to play games");

    status.SetItemText(std::string("Pac-Man - [pacman]"));
    status.SetItemText(std::nullopt);
    EXPECT_EQ(status.ListViewStatus()->text(), "Pac-Man - [pacman]");
    status.SetCounters({"1", "2", "3"});
    EXPECT_EQ(status.Panel(1)->text(), "2");
    status.SetTexts({"1.0 KB", " split ", " mame ", "2 items selected"});
    EXPECT_EQ(status.Panel(4)->text(), " split ");
    EXPECT_EQ(status.Panel(6)->text(), "2 items selected");
    status.SetDatabaseInfo("Database: 1 games, 1 clones, 1 roms, 0 resources.");
    EXPECT_EQ(status.TreeViewStatus()->text(), "Database: 1 games, 1 clones, 1 roms, 0 resources.");
}

}  // namespace
}  // namespace qm::test
