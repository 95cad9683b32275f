#include "ui/ListSelection.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "ui/views/QMVirtualListView.h"

namespace qm {

void SelectAllRows(TQMVirtualListView& list) {
    const int rows = list.model()->rowCount();
    std::vector<std::pair<int, int>> all;
    if (rows > 0) all.emplace_back(0, rows - 1);
    list.SelectRowRuns(QModelIndex(), std::move(all));
}

void InvertSelection(TQMVirtualListView& list) {
    // The gaps between the selected runs, worked out here: Qt's toggle splits every
    // selected range against every other one.
    const int rows = list.model()->rowCount();
    std::vector<std::pair<int, int>> gaps;
    int next = 0;
    for (const auto& range : list.SelectedRanges()) {
        if (range.Parent.isValid()) continue;
        if (range.Top > next) gaps.emplace_back(next, range.Top - 1);
        next = std::max(next, range.Bottom + 1);
    }
    if (next < rows) gaps.emplace_back(next, rows - 1);
    list.SelectRowRuns(QModelIndex(), std::move(gaps));
}

}  // namespace qm
