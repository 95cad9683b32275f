#pragma once
// The list's selection commands that Qt's own selection does not give: every row
// selected, and the selection inverted, both over all rows, those out of sight included.
namespace qm {

class TQMVirtualListView;

void SelectAllRows(TQMVirtualListView& list);
void InvertSelection(TQMVirtualListView& list);

}  // namespace qm
