#pragma once
// Reads what the two views offer to the commands into the plain record the selection
// rules work on (ui/commands/CommandSelection.h).
#include "ui/commands/CommandSelection.h"

namespace qm {

class TQMVirtualListView;
class TQMVirtualTreeView;

// Reads both views as the commands need them, the list's selection once.
TCommandSelection SelectionFromViews(const TQMVirtualListView& list, const TQMVirtualTreeView& tree);

}  // namespace qm
