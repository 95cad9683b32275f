#include "ui/ViewActionStates.h"

#include <QAction>
#include <QModelIndex>

#include "ui/MainActions.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

namespace qm {

void ApplyActionStates(TMainActions& actions, const TActionStates& states) {
    for (TActionId id : RuledActions()) actions.Action(id)->setEnabled(states.Enabled(id));
}

TActionSelection SelectionOfViews(bool datafileSelected, const TQMVirtualTreeView* tree,
                                  const TQMVirtualListView* list) {
    TActionSelection s;
    s.DatafileSelected = datafileSelected;
    if (list != nullptr) s.List = KindOf(list->GetFocusedObject());
    if (tree != nullptr) {
        const TViewObject object = tree->GetFocusedObject();
        s.Tree = KindOf(object);
        const QModelIndex first = tree->FirstSelected();
        s.TreeRootSelected =
            first.isValid() && !first.parent().isValid() && std::holds_alternative<TGamesList*>(object);
    }
    return s;
}

}  // namespace qm
