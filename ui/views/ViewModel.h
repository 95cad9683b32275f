#pragma once
// The item model under both views: a tree of nodes, each with one cached record (cell
// texts, image, colour, object) made by the view from the databases when the node is
// created. Painting reads only the records. Root nodes are made all at once; the
// children of a node are made when the view first asks for them (expanding), from the
// record's ChildCount, the way an owner-data tree initialises its nodes.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractItemModel>
#include <QColor>
#include <QStringList>

#include "ui/commands/ViewTypes.h"

namespace qm {

class TImageList;

struct TViewRecord {
    std::vector<std::string> Texts;  // cells in column order, bytes
    int ImageIndex = -1;
    QColor Color;                    // invalid: the view's own background
    int ChildCount = 0;              // children the node gets when first expanded
    TViewObject Object;
};

class TViewNode {
public:
    TViewRecord Record;
    TViewNode* Parent = nullptr;  // nullptr only for the invisible root
    int Row = 0;
    std::vector<std::unique_ptr<TViewNode>> Children;
    bool ChildrenMade = false;

    // 0 for a top-level node.
    int Level() const;
    const std::string& Text(int column) const;
};

class TViewModel : public QAbstractItemModel {
    Q_OBJECT

public:
    // Fills node.Record; Parent and Row are set (Parent is Root() for top-level nodes).
    using TInitNode = std::function<void(TViewNode& node)>;
    // <0, 0, >0 as a sorts before, with or after b in that column.
    using TCompare = std::function<int(const TViewNode& a, const TViewNode& b, int column)>;
    // The text shown in a cell.
    using TCellText = std::function<std::string(const TViewNode& node, int column)>;

    explicit TViewModel(QObject* parent = nullptr);
    ~TViewModel() override;

    void SetColumns(const QStringList& captions);
    void SetInitNode(TInitNode init) { init_ = std::move(init); }
    void SetCompare(TCompare compare) { compare_ = std::move(compare); }
    void SetCellText(TCellText cellText) { cellText_ = std::move(cellText); }
    // Not owned. With everyColumn each cell shows the record's image, else column 0 only.
    void SetImages(const TImageList* images, bool everyColumn);

    // Drops every node and makes count new top-level nodes, each initialised.
    void SetRootNodeCount(int count);
    int RootNodeCount() const { return static_cast<int>(root_.Children.size()); }
    void Clear() { SetRootNodeCount(0); }
    // Every top-level record is made again; children are dropped and made again when
    // next asked for.
    void ReinitNodes();

    TViewNode& Root() { return root_; }
    const TViewNode& Root() const { return root_; }
    // nullptr for an invalid index.
    TViewNode* Node(const QModelIndex& index) const;
    QModelIndex IndexOf(const TViewNode* node, int column = 0) const;
    // Nodes made so far (the invisible root not counted).
    int NodeCount() const;

    int SortColumn() const { return sortColumn_; }
    Qt::SortOrder SortOrder() const { return sortOrder_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    using TNodes = std::vector<std::unique_ptr<TViewNode>>;
    TNodes MakeChildren(TViewNode& parent, int count);
    void SortNodes(TNodes& nodes, bool recurse);
    std::string CellText(const TViewNode& node, int column) const;

    TViewNode root_;
    QStringList captions_;
    int columns_ = 1;
    TInitNode init_;
    TCompare compare_;
    TCellText cellText_;
    const TImageList* images_ = nullptr;
    bool imagesEveryColumn_ = false;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

}  // namespace qm
