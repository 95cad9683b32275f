#pragma once
// The common base of the game and folder tree and of the game, rom and file list: a
// QTreeView over a TViewModel, with the links, mode, filters and counters of
// TChildCollector, the cell text every display, comparison and search goes through,
// and a typed prefix search of its own (the letters and digits typed within a second
// of each other, looked for at the start of column 0's texts).
#include <string>
#include <vector>

#include <QItemSelection>
#include <QModelIndexList>
#include <QTreeView>

#include "ui/commands/ChildList.h"
#include "ui/views/ViewModel.h"

class QTimer;

namespace qm {

class TImageList;

class TCustomQMVirtualView : public QTreeView, public TChildCollector {
    Q_OBJECT

public:
    static constexpr int kSearchResetMs = 1000;

    explicit TCustomQMVirtualView(QWidget* parent = nullptr);
    ~TCustomQMVirtualView() override;

    TViewModel* Model() const { return model_; }
    QTimer* SearchTimer() const { return searchTimer_; }
    const std::string& SearchBuffer() const { return searchBuffer_; }

    // The text of a cell that no record gives.
    std::string DefaultText;

    // Not owned; images of the records' ImageIndex (every column, or column 0 only).
    void SetImages(const TImageList* images, bool everyColumn);

    // The text of a cell: every display, comparison and typed search goes through it.
    // The base gives the record's text, DefaultText when node is nullptr.
    virtual std::string GetCellText(const TViewNode* node, int column) const;
    // Case-insensitive comparison of the two cells' texts.
    virtual int DoCompare(const TViewNode& a, const TViewNode& b, int column) const;
    // Counters and nodes emptied.
    virtual void Clear();
    // Every record made again from its object.
    void ReinitNodes() { model_->ReinitNodes(); }

    // A run of selected rows under one parent.
    struct TRowRange {
        QModelIndex Parent;
        int Top = 0;
        int Bottom = 0;
    };
    // The selection as runs of rows, in the order of the tree, overlaps and neighbours
    // merged. Read from the selection's ranges: a scattered selection of many thousand
    // rows costs its ranges, not rows times ranges as asking Qt row by row does.
    std::vector<TRowRange> SelectedRanges() const;
    // Selection, in the order of the tree (top to bottom), not the order of clicking.
    QModelIndexList SelectedNodes() const;
    QModelIndex FirstSelected() const;
    TViewNode* FirstSelectedNode() const { return model_->Node(FirstSelected()); }
    int SelectedCount() const;
    // Replaces the selection with these runs of one parent's rows (each {top, bottom},
    // in any order; neighbours are merged), whole rows, the current index unchanged.
    void SelectRowRuns(const QModelIndex& parent, std::vector<std::pair<int, int>> runs);
    int TotalCount() const { return model_->NodeCount(); }

    // Column 0's text of the first selected node, "" when none.
    std::string SelectedString() const;
    // Selects the first node (from the selection on, wrapping once) whose column 0
    // begins with prefix, without regard to case; no match changes nothing.
    void SetSelectedString(const std::string& prefix);

    // How long selection changes gather before SelectionChanged is raised once.
    static constexpr int kSelectionThrottleMs = 40;

signals:
    // The focused node changed (an invalid index when none); also after a search match.
    void NodeChanged(const QModelIndex& node);
    // The set of selected rows changed; raised at most once per kSelectionThrottleMs,
    // after the last change of a burst.
    void SelectionChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Qt's own type-ahead is off: the view searches by itself.
    void keyboardSearch(const QString& /*search*/) override {}
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    // The view's change handling; the base emits NodeChanged.
    virtual void DoChange(const QModelIndex& node);

private:
    void TypeSearchChar(QChar c);
    void ScheduleSelectionChange();

    TViewModel* model_;
    QTimer* searchTimer_;
    QTimer* selectionTimer_;
    std::string searchBuffer_;
};

}  // namespace qm
