#include "ui/views/ViewModel.h"

#include <algorithm>

#include <QIcon>

#include "archive/stringsTools.h"
#include "ui/commands/TextConv.h"
#include "ui/controls/ImageList.h"

namespace qm {

namespace {
const std::string kNoText;
}

int TViewNode::Level() const {
    int level = -1;
    for (const TViewNode* n = Parent; n != nullptr; n = n->Parent) ++level;
    return level;
}

const std::string& TViewNode::Text(int column) const {
    if (column < 0 || static_cast<size_t>(column) >= Record.Texts.size()) return kNoText;
    return Record.Texts[static_cast<size_t>(column)];
}

TViewModel::TViewModel(QObject* parent) : QAbstractItemModel(parent) { root_.ChildrenMade = true; }

TViewModel::~TViewModel() = default;

void TViewModel::SetColumns(const QStringList& captions) {
    const int count = std::max(1, static_cast<int>(captions.size()));
    if (count != columns_) {
        beginResetModel();
        captions_ = captions;
        columns_ = count;
        endResetModel();
        return;
    }
    captions_ = captions;
    emit headerDataChanged(Qt::Horizontal, 0, columns_ - 1);
}

void TViewModel::SetImages(const TImageList* images, bool everyColumn) {
    images_ = images;
    imagesEveryColumn_ = everyColumn;
    if (!root_.Children.empty())
        emit dataChanged(index(0, 0), index(RootNodeCount() - 1, columns_ - 1), {Qt::DecorationRole});
}

TViewModel::TNodes TViewModel::MakeChildren(TViewNode& parent, int count) {
    TNodes nodes;
    nodes.reserve(static_cast<size_t>(std::max(0, count)));
    for (int i = 0; i < count; ++i) {
        auto node = std::make_unique<TViewNode>();
        node->Parent = &parent;
        node->Row = i;
        if (init_) init_(*node);
        nodes.push_back(std::move(node));
    }
    if (sortColumn_ >= 0) SortNodes(nodes, false);
    return nodes;
}

void TViewModel::SetRootNodeCount(int count) {
    beginResetModel();
    root_.Children = MakeChildren(root_, count);
    endResetModel();
}

void TViewModel::ReinitNodes() {
    beginResetModel();
    for (auto& node : root_.Children) {
        TViewObject object = node->Record.Object;
        node->Record = TViewRecord();
        node->Record.Object = object;
        node->Children.clear();
        node->ChildrenMade = false;
        if (init_) init_(*node);
    }
    if (sortColumn_ >= 0) SortNodes(root_.Children, false);
    endResetModel();
}

TViewNode* TViewModel::Node(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return nullptr;
    return static_cast<TViewNode*>(index.internalPointer());
}

QModelIndex TViewModel::IndexOf(const TViewNode* node, int column) const {
    if (node == nullptr || node == &root_ || node->Parent == nullptr) return {};
    return createIndex(node->Row, column, const_cast<TViewNode*>(node));
}

int TViewModel::NodeCount() const {
    int count = 0;
    std::function<void(const TViewNode&)> walk = [&](const TViewNode& n) {
        for (const auto& child : n.Children) {
            ++count;
            walk(*child);
        }
    };
    walk(root_);
    return count;
}

QModelIndex TViewModel::index(int row, int column, const QModelIndex& parent) const {
    if (column < 0 || column >= columns_ || row < 0) return {};
    if (parent.isValid() && parent.column() != 0) return {};
    const TViewNode* owner = parent.isValid() ? Node(parent) : &root_;
    if (owner == nullptr || static_cast<size_t>(row) >= owner->Children.size()) return {};
    return createIndex(row, column, owner->Children[static_cast<size_t>(row)].get());
}

QModelIndex TViewModel::parent(const QModelIndex& child) const {
    const TViewNode* node = Node(child);
    if (node == nullptr || node->Parent == nullptr || node->Parent == &root_) return {};
    return IndexOf(node->Parent);
}

int TViewModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return 0;
    const TViewNode* owner = parent.isValid() ? Node(parent) : &root_;
    return owner == nullptr ? 0 : static_cast<int>(owner->Children.size());
}

int TViewModel::columnCount(const QModelIndex& /*parent*/) const { return columns_; }

bool TViewModel::hasChildren(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return false;
    const TViewNode* owner = parent.isValid() ? Node(parent) : &root_;
    if (owner == nullptr) return false;
    return owner->ChildrenMade ? !owner->Children.empty() : owner->Record.ChildCount > 0;
}

bool TViewModel::canFetchMore(const QModelIndex& parent) const {
    if (!parent.isValid() || parent.column() != 0) return false;
    const TViewNode* owner = Node(parent);
    return owner != nullptr && !owner->ChildrenMade && owner->Record.ChildCount > 0;
}

void TViewModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) return;
    TViewNode* owner = Node(parent);
    // Made before the insertion is announced, so that nobody sees a half-made list.
    TNodes children = MakeChildren(*owner, owner->Record.ChildCount);
    if (children.empty()) {
        owner->ChildrenMade = true;
        return;
    }
    beginInsertRows(parent, 0, static_cast<int>(children.size()) - 1);
    owner->Children = std::move(children);
    owner->ChildrenMade = true;
    endInsertRows();
}

std::string TViewModel::CellText(const TViewNode& node, int column) const {
    if (cellText_) return cellText_(node, column);
    return node.Text(column);
}

QVariant TViewModel::data(const QModelIndex& index, int role) const {
    const TViewNode* node = Node(index);
    if (node == nullptr) return {};
    switch (role) {
        case Qt::DisplayRole: return ui::ToQ(CellText(*node, index.column()));
        case Qt::DecorationRole:
            if (images_ != nullptr && (imagesEveryColumn_ || index.column() == 0) && node->Record.ImageIndex >= 0 &&
                node->Record.ImageIndex < images_->Count())
                return QIcon(images_->Get(node->Record.ImageIndex));
            return {};
        case Qt::BackgroundRole:
            if (node->Record.Color.isValid()) return node->Record.Color;
            return {};
        default: return {};
    }
}

QVariant TViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= captions_.size()) return {};
    return captions_.at(section);
}

Qt::ItemFlags TViewModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void TViewModel::SortNodes(TNodes& nodes, bool recurse) {
    const int column = sortColumn_;
    const bool descending = sortOrder_ == Qt::DescendingOrder;
    auto less = [&](const std::unique_ptr<TViewNode>& a, const std::unique_ptr<TViewNode>& b) {
        const int c = compare_ ? compare_(*a, *b, column) : CompareText(CellText(*a, column), CellText(*b, column));
        return descending ? c > 0 : c < 0;
    };
    std::stable_sort(nodes.begin(), nodes.end(), less);
    for (size_t i = 0; i < nodes.size(); ++i) {
        nodes[i]->Row = static_cast<int>(i);
        if (recurse) SortNodes(nodes[i]->Children, true);
    }
}

void TViewModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= columns_) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::pair<TViewNode*, int>> nodes;
    nodes.reserve(static_cast<size_t>(before.size()));
    for (const QModelIndex& index : before) nodes.emplace_back(Node(index), index.column());
    sortColumn_ = column;
    sortOrder_ = order;
    SortNodes(root_.Children, true);
    QModelIndexList after;
    after.reserve(before.size());
    for (const auto& [node, col] : nodes) after.append(IndexOf(node, col));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace qm
