#pragma once
// The item models of the datafile manager's two lists, and the tree view they are
// shown in. Each model keeps one plain record per row and answers data() from it.
#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QIcon>
#include <QString>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <vector>

#include "ui/commands/DatafileFolder.h"
#include "ui/commands/ReleaseView.h"

namespace qm {

// The local datafiles: one column, "Datafile name".
class TLocalDatafileModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TLocalDatafileModel(QObject* parent = nullptr);

    void SetRows(std::vector<TLocalDatafile> rows);
    const std::vector<TLocalDatafile>& Rows() const { return rows_; }
    const TLocalDatafile& Row(int row) const { return rows_.at(static_cast<size_t>(row)); }
    void SetIcon(const QIcon& icon) { icon_ = icon; }
    void SetCaption(const QString& caption) { caption_ = caption; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Without regard to case.
    void sort(int column, Qt::SortOrder order) override;

private:
    std::vector<TLocalDatafile> rows_;
    QIcon icon_;
    QString caption_;
};

// The releases of one folder: seven columns, a check box in the first.
class TReleaseModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TReleaseModel(QObject* parent = nullptr);

    // New rows, all unchecked, sorted on the model's sort column and order.
    void SetRows(std::vector<TReleaseRow> rows);
    void Clear() { SetRows({}); }
    const TReleaseRow& Row(int row) const { return rows_.at(static_cast<size_t>(row)).row; }
    bool IsChecked(int row) const { return rows_.at(static_cast<size_t>(row)).checked; }
    // The releases of the checked rows, in row order.
    std::vector<const TWebRecord*> CheckedRecords() const;
    int SortColumn() const { return sortColumn_; }
    Qt::SortOrder SortOrder() const { return sortOrder_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Release dates compare as dates, everything else without regard to case.
    void sort(int column, Qt::SortOrder order) override;

private:
    struct TItem {
        TReleaseRow row;
        bool checked = false;
    };
    void SortItems();
    std::vector<TItem> rows_;
    std::array<QString, rcColumnCount> captions_;
    int sortColumn_ = rcName;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

// A tree view with the typed search of the program's lists: the letters typed within a
// second of each other select the first row whose first column starts like them
// (without regard to case, over the length of the shorter of the two).
class TSearchTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit TSearchTreeView(QWidget* parent = nullptr);
    const QString& SearchText() const { return search_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString search_;
    QElapsedTimer lastKey_;
};

// Paints each cell as usual, then a thin line at its right and bottom edges: the grid
// of the release list.
class TGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The typed-search rule: a and b compared without regard to case over the length of
// the shorter of the two.
bool SearchMatches(const QString& typed, const QString& text);

}  // namespace qm
