#pragma once
// The selection and navigation commands of the two views: every row of the list selected
// or the selection inverted (rows out of sight included), up to the parent node with
// the former item selected in the list, a list row opened in the tree, and the list's
// keys (Left and Backspace: parent node; Right: as a double click; Enter: play).
#include <QObject>

#include "ui/views/ViewTypes.h"

namespace qm {

class TMainActions;
class TQMVirtualListView;
class TQMVirtualTreeView;

void SelectAllRows(TQMVirtualListView& list);
void InvertSelection(TQMVirtualListView& list);

// The tree's first selected node's parent selected (a root has none: nothing happens);
// the list, which then shows the parent's children, selects the former item.
void GoToParentNode(TQMVirtualTreeView& tree, TQMVirtualListView& list);

// A list row opened in the tree (which makes the list show its children): anything but
// a rom of a clone or a rom of a file. False when the object is not opened.
bool OpenInTree(TQMVirtualTreeView& tree, const TViewObject& object);

// The list's keys, as an event filter on the list: Left and Backspace trigger the
// parent-node action, Enter and Return the play action (nothing while they are
// disabled), Right runs the list's double-click event on its focused row.
class TListKeys : public QObject {
public:
    TListKeys(TQMVirtualListView& list, TMainActions& actions);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TQMVirtualListView& list_;
    TMainActions& actions_;
};

}  // namespace qm
