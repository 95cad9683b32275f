#include "ui/ViewNavigation.h"

#include <QAction>
#include <QItemSelection>
#include <QKeyEvent>

#include <string>

#include "ui/MainActions.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

namespace qm {

namespace {

// Every row of the list, whether shown or not.
QItemSelection AllRows(const TQMVirtualListView& list) {
    QItemSelection all;
    const QAbstractItemModel* model = list.model();
    const int rows = model->rowCount();
    const int columns = model->columnCount();
    if (rows > 0 && columns > 0) all.select(model->index(0, 0), model->index(rows - 1, columns - 1));
    return all;
}

}  // namespace

void SelectAllRows(TQMVirtualListView& list) {
    list.selectionModel()->select(AllRows(list), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void InvertSelection(TQMVirtualListView& list) {
    list.selectionModel()->select(AllRows(list), QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
}

void GoToParentNode(TQMVirtualTreeView& tree, TQMVirtualListView& list) {
    const std::string former = tree.SelectedString();
    const QModelIndex parent = tree.FirstSelected().parent();
    if (!parent.isValid()) return;
    tree.selectionModel()->setCurrentIndex(parent, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    tree.scrollTo(parent);
    list.SetSelectedString(former);
}

bool OpenInTree(TQMVirtualTreeView& tree, const TViewObject& object) {
    if (IsNilObject(object) || ObjectAs<TCloneRom>(object) != nullptr || ObjectAs<TRomFile>(object) != nullptr)
        return false;
    tree.FocusObject(object);
    return true;
}

TListKeys::TListKeys(TQMVirtualListView& list, TMainActions& actions)
    : QObject(&list), list_(list), actions_(actions) {
    list_.installEventFilter(this);
}

bool TListKeys::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &list_ || event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    switch (key->key()) {
        case Qt::Key_Left:
        case Qt::Key_Backspace: actions_.Action(TActionId::ActParentNode)->trigger(); return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: actions_.Action(TActionId::ActPlayGame)->trigger(); return true;
        case Qt::Key_Right:
            if (list_.OnDoubleClick) list_.OnDoubleClick(list_.GetFocusedObject());
            return true;
        default: return false;
    }
}

}  // namespace qm
