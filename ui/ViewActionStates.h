#pragma once
// The widget side of the action-state rule: what the two views have focused, and the
// rule's result handed to the window's actions.
#include "ui/commands/ActionStates.h"

namespace qm {

class TMainActions;
class TQMVirtualListView;
class TQMVirtualTreeView;

// Only the actions the rule names change.
void ApplyActionStates(TMainActions& actions, const TActionStates& states);

// What the two views have focused; datafileSelected is the datafile box's.
TActionSelection SelectionOfViews(bool datafileSelected, const TQMVirtualTreeView* tree,
                                  const TQMVirtualListView* list);

}  // namespace qm
