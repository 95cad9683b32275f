#include "ui/DatafileModels.h"

#include <QKeyEvent>
#include <QPainter>
#include <algorithm>

#include "archive/stringsTools.h"
#include "ui/commands/TextConv.h"

namespace qm {

using ui::ToQ;

// ---- Local datafiles ----

TLocalDatafileModel::TLocalDatafileModel(QObject* parent) : QAbstractTableModel(parent) {}

void TLocalDatafileModel::SetRows(std::vector<TLocalDatafile> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int TLocalDatafileModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TLocalDatafileModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 1; }

QVariant TLocalDatafileModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    const TLocalDatafile& row = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole) return ToQ(row.Text);
    if (role == Qt::DecorationRole && !icon_.isNull()) return icon_;
    if (role == Qt::ToolTipRole) return ToQ(row.FileName);
    return {};
}

QVariant TLocalDatafileModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole) return caption_;
    return {};
}

void TLocalDatafileModel::sort(int column, Qt::SortOrder order) {
    if (column != 0) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<size_t> order_(rows_.size());
    for (size_t i = 0; i < order_.size(); ++i) order_[i] = i;
    std::stable_sort(order_.begin(), order_.end(), [&](size_t a, size_t b) {
        const int c = CompareText(rows_[a].Text, rows_[b].Text);
        return order == Qt::AscendingOrder ? c < 0 : c > 0;
    });
    std::vector<TLocalDatafile> sorted;
    std::vector<int> newRow(rows_.size());
    for (size_t i = 0; i < order_.size(); ++i) {
        sorted.push_back(std::move(rows_[order_[i]]));
        newRow[order_[i]] = static_cast<int>(i);
    }
    rows_ = std::move(sorted);
    for (const QModelIndex& index : before)
        changePersistentIndex(index, this->index(newRow[static_cast<size_t>(index.row())], index.column()));
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---- Releases ----

TReleaseModel::TReleaseModel(QObject* parent) : QAbstractTableModel(parent) {
    const auto captions = ReleaseColumnCaptions();
    for (size_t i = 0; i < captions.size(); ++i) captions_[i] = ToQ(captions[i]);
}

void TReleaseModel::SetRows(std::vector<TReleaseRow> rows) {
    beginResetModel();
    rows_.clear();
    for (TReleaseRow& row : rows) rows_.push_back({std::move(row), false});
    SortItems();
    endResetModel();
}

std::vector<const TWebRecord*> TReleaseModel::CheckedRecords() const {
    std::vector<const TWebRecord*> records;
    for (const TItem& item : rows_)
        if (item.checked) records.push_back(item.row.Record);
    return records;
}

int TReleaseModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TReleaseModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rcColumnCount; }

QVariant TReleaseModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    const TItem& item = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole) return ToQ(item.row.Texts[static_cast<size_t>(index.column())]);
    if (role == Qt::CheckStateRole && index.column() == 0) return item.checked ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::ToolTipRole && item.row.Record) return ToQ(item.row.Record->Url);
    return {};
}

bool TReleaseModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::CheckStateRole || index.column() != 0)
        return false;
    rows_[static_cast<size_t>(index.row())].checked = value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags TReleaseModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant TReleaseModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < rcColumnCount)
        return captions_[static_cast<size_t>(section)];
    return {};
}

void TReleaseModel::SortItems() {
    std::stable_sort(rows_.begin(), rows_.end(), [this](const TItem& a, const TItem& b) {
        const int c = CompareReleaseRows(a.row, b.row, sortColumn_);
        return sortOrder_ == Qt::AscendingOrder ? c < 0 : c > 0;
    });
}

void TReleaseModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= rcColumnCount) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    sortColumn_ = column;
    sortOrder_ = order;
    // Rows carry no identity but their place; remember each persistent index by the
    // record it shows so that selections follow their rows.
    const QModelIndexList before = persistentIndexList();
    std::vector<const TWebRecord*> keys;
    for (const QModelIndex& index : before) keys.push_back(rows_[static_cast<size_t>(index.row())].row.Record);
    SortItems();
    for (int i = 0; i < before.size(); ++i) {
        int row = 0;
        for (size_t r = 0; r < rows_.size(); ++r)
            if (rows_[r].row.Record == keys[static_cast<size_t>(i)]) {
                row = static_cast<int>(r);
                break;
            }
        changePersistentIndex(before[i], index(row, before[i].column()));
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---- Grid ----

void TGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(option.palette.color(QPalette::Midlight));
    const QRect r = option.rect;
    painter->drawLine(r.topRight(), r.bottomRight());
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->restore();
}

// ---- Typed search ----

bool SearchMatches(const QString& typed, const QString& text) {
    const qsizetype n = std::min(typed.size(), text.size());
    return QStringView(typed).left(n).compare(QStringView(text).left(n), Qt::CaseInsensitive) == 0;
}

TSearchTreeView::TSearchTreeView(QWidget* parent) : QTreeView(parent) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
}

void TSearchTreeView::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (!plain || text.isEmpty() || !text.at(0).isPrint() || !model()) {
        QTreeView::keyPressEvent(event);
        return;
    }
    if (!lastKey_.isValid() || lastKey_.elapsed() > 1000) search_.clear();
    lastKey_.start();
    search_ += text;
    for (int row = 0; row < model()->rowCount(); ++row) {
        const QModelIndex index = model()->index(row, 0);
        if (SearchMatches(search_, index.data().toString())) {
            setCurrentIndex(index);
            scrollTo(index);
            break;
        }
    }
    event->accept();
}

}  // namespace qm
