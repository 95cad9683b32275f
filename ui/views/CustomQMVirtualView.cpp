#include "ui/views/CustomQMVirtualView.h"

#include <algorithm>
#include <vector>

#include <QHeaderView>
#include <QKeyEvent>
#include <QTimer>

#include "archive/stringsTools.h"
#include "ui/commands/TextConv.h"

namespace qm {

namespace {

// The rows from the top-level node down to index: the order of the tree.
std::vector<int> TreePath(const QModelIndex& index) {
    std::vector<int> path;
    for (QModelIndex i = index; i.isValid(); i = i.parent()) path.push_back(i.row());
    std::reverse(path.begin(), path.end());
    return path;
}

}  // namespace

TCustomQMVirtualView::TCustomQMVirtualView(QWidget* parent)
    : QTreeView(parent), model_(new TViewModel(this)), searchTimer_(new QTimer(this)), selectionTimer_(new QTimer(this)) {
    model_->SetCellText([this](const TViewNode& node, int column) { return GetCellText(&node, column); });
    model_->SetCompare([this](const TViewNode& a, const TViewNode& b, int column) { return DoCompare(a, b, column); });
    setModel(model_);
    setUniformRowHeights(true);
    searchTimer_->setSingleShot(true);
    searchTimer_->setInterval(kSearchResetMs);
    connect(searchTimer_, &QTimer::timeout, this, [this] { searchBuffer_.clear(); });
    selectionTimer_->setSingleShot(true);
    selectionTimer_->setInterval(kSelectionThrottleMs);
    connect(selectionTimer_, &QTimer::timeout, this, [this] { emit SelectionChanged(); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { ScheduleSelectionChange(); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { ScheduleSelectionChange(); });
    // Children are made on expanding, also while the view is hidden (no layout pass).
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (model_->canFetchMore(index)) model_->fetchMore(index);
    });
}

TCustomQMVirtualView::~TCustomQMVirtualView() {
    // The model calls back into this view; it must not outlive the virtual functions.
    model_->SetCellText(nullptr);
    model_->SetCompare(nullptr);
}

void TCustomQMVirtualView::SetImages(const TImageList* images, bool everyColumn) {
    model_->SetImages(images, everyColumn);
}

std::string TCustomQMVirtualView::GetCellText(const TViewNode* node, int column) const {
    if (node == nullptr || column < 0 || static_cast<size_t>(column) >= node->Record.Texts.size())
        return DefaultText;
    return node->Record.Texts[static_cast<size_t>(column)];
}

int TCustomQMVirtualView::DoCompare(const TViewNode& a, const TViewNode& b, int column) const {
    return CompareText(GetCellText(&a, column), GetCellText(&b, column));
}

void TCustomQMVirtualView::Clear() {
    ResetStateCounters();
    RootCounts = {};
    model_->Clear();
}

void TCustomQMVirtualView::ScheduleSelectionChange() {
    // Started only when idle: a burst of changes is answered once per interval.
    if (!selectionTimer_->isActive()) selectionTimer_->start();
}

std::vector<TCustomQMVirtualView::TRowRange> TCustomQMVirtualView::SelectedRanges() const {
    std::vector<TRowRange> out;
    if (selectionModel() == nullptr) return out;
    struct TKeyed {
        std::vector<int> Path;  // of the parent
        TRowRange Range;
    };
    std::vector<TKeyed> keyed;
    const QItemSelection selection = selectionModel()->selection();
    keyed.reserve(static_cast<size_t>(selection.size()));
    for (const QItemSelectionRange& range : selection) {
        if (!range.isValid()) continue;
        keyed.push_back({TreePath(range.parent()), {range.parent(), range.top(), range.bottom()}});
    }
    std::sort(keyed.begin(), keyed.end(), [](const TKeyed& a, const TKeyed& b) {
        return a.Path != b.Path ? a.Path < b.Path : a.Range.Top < b.Range.Top;
    });
    const std::vector<int>* lastPath = nullptr;
    for (const TKeyed& k : keyed) {
        if (lastPath != nullptr && *lastPath == k.Path && k.Range.Top <= out.back().Bottom + 1) {
            out.back().Bottom = std::max(out.back().Bottom, k.Range.Bottom);
            continue;
        }
        out.push_back(k.Range);
        lastPath = &k.Path;
    }
    return out;
}

QModelIndexList TCustomQMVirtualView::SelectedNodes() const {
    QModelIndexList ordered;
    const std::vector<TRowRange> ranges = SelectedRanges();
    for (const TRowRange& r : ranges)
        for (int row = r.Top; row <= r.Bottom; ++row) ordered.append(model_->index(row, 0, r.Parent));
    return ordered;
}

QModelIndex TCustomQMVirtualView::FirstSelected() const {
    // Asked on every change of the selection: the topmost range is looked for, not the
    // whole selection sorted.
    if (selectionModel() == nullptr) return {};
    QModelIndex first;
    std::vector<int> firstPath;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (!range.isValid()) continue;
        const QModelIndex top = model_->index(range.top(), 0, range.parent());
        std::vector<int> path = TreePath(top);
        if (!first.isValid() || path < firstPath) {
            first = top;
            firstPath = std::move(path);
        }
    }
    return first;
}

int TCustomQMVirtualView::SelectedCount() const {
    int count = 0;
    for (const TRowRange& r : SelectedRanges()) count += r.Bottom - r.Top + 1;
    return count;
}

void TCustomQMVirtualView::SelectRowRuns(const QModelIndex& parent, std::vector<std::pair<int, int>> runs) {
    std::sort(runs.begin(), runs.end());
    const int lastColumn = std::max(0, model_->columnCount(parent) - 1);
    QItemSelection selection;
    for (size_t i = 0; i < runs.size();) {
        const int top = runs[i].first;
        int bottom = runs[i].second;
        for (++i; i < runs.size() && runs[i].first <= bottom + 1; ++i) bottom = std::max(bottom, runs[i].second);
        selection.append(QItemSelectionRange(model_->index(top, 0, parent), model_->index(bottom, lastColumn, parent)));
    }
    // Emptied first, then selected whole: Qt compares the old selection with the new one
    // range by range, and expands row flags range by range against all others, both of
    // which grow with the square of a scattered selection.
    selectionModel()->clearSelection();
    if (!selection.isEmpty()) selectionModel()->select(selection, QItemSelectionModel::Select);
}

std::string TCustomQMVirtualView::SelectedString() const {
    const QModelIndex first = FirstSelected();
    if (!first.isValid()) return {};
    return GetCellText(model_->Node(first), 0);
}

void TCustomQMVirtualView::SetSelectedString(const std::string& prefixText) {
    const QString prefix = ui::ToQ(prefixText).toLower();
    const QModelIndex top = model_->index(0, 0);
    if (!top.isValid()) return;
    const QModelIndex start = FirstSelected();
    // One character steps on from the selection; a longer prefix may stay on it.
    QModelIndex node = !start.isValid() ? top : prefix.size() == 1 ? indexBelow(start) : start;
    int runOuts = 0;
    bool first = true;
    while (true) {
        if (!node.isValid()) {
            if (++runOuts > 1) return;
            node = top;
        }
        if (start.isValid() && node == start && !first) return;
        first = false;
        if (ui::ToQ(GetCellText(model_->Node(node), 0)).toLower().startsWith(prefix)) break;
        node = indexBelow(node);
    }
    const bool same = currentIndex() == node;
    selectionModel()->setCurrentIndex(node, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(node);
    if (same) DoChange(node);
}

void TCustomQMVirtualView::TypeSearchChar(QChar c) {
    const QString typed(c);
    if (ui::ToQ(searchBuffer_).compare(typed, Qt::CaseInsensitive) == 0)
        searchBuffer_ = ui::FromQ(typed.toLower());
    else
        searchBuffer_ += ui::FromQ(typed.toLower());
    SetSelectedString(searchBuffer_);
    searchTimer_->start();
}

void TCustomQMVirtualView::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers held =
        event->modifiers() & (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier);
    if (held == Qt::NoModifier) {
        const QString text = event->text();
        if (text.size() == 1 && text.at(0).isLetterOrNumber()) TypeSearchChar(text.at(0));
    }
    // The view's own key handling follows (arrows, page keys); its type-ahead is off.
    QTreeView::keyPressEvent(event);
}

void TCustomQMVirtualView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    DoChange(current);
}

void TCustomQMVirtualView::DoChange(const QModelIndex& node) { emit NodeChanged(node); }

}  // namespace qm
