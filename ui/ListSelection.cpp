#include "ui/ListSelection.h"

#include <QItemSelection>

#include "ui/views/QMVirtualListView.h"

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

}  // namespace qm
