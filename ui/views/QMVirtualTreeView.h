#pragma once
// The game and folder tree: a first root "Games database" over the games (with their
// clones below) or the clones of the rom database, then one root per rom path over the
// files found there. Selecting a node hands its object to the linked list, which shows
// its children. A rebuild keeps the expanded roots and the focused node; the focus is
// remembered by names (root text, game, clone or file name), never by the address of an
// object that a repair or a datafile switch may have freed.
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ui/views/CustomQMVirtualView.h"
#include "ui/views/QMVirtualListView.h"

namespace qm {

class TQMVirtualTreeView : public TCustomQMVirtualView {
    Q_OBJECT

public:
    explicit TQMVirtualTreeView(QWidget* parent = nullptr);
    ~TQMVirtualTreeView() override;

    // The translated text of the games root.
    static std::string GamesRootText();

    // Children of the games root, as CollectChildren gives them.
    const TChildItems& RootItems() const { return rootItems_; }
    // One per rom path root, in the files database's order.
    const std::vector<std::unique_ptr<TPathObject>>& PathObjects() const { return pathObjects_; }

    // The list fed by this tree; not owned. Setting one makes it refill.
    TQMVirtualListView* QmVirtualListView() const { return list_; }
    void SetQmVirtualListView(TQMVirtualListView* list);

    // Events for the main window: the focused node changed; a node was double-clicked;
    // files or folders were dropped on the tree (local names).
    std::function<void()> OnSelectionChange;
    std::function<void(const TViewObject& object)> OnDoubleClick;
    std::function<void(const std::vector<std::string>& names)> OnDropFiles;

    // Builds every node again from the databases; with keepFocus the focused node and
    // the expanded roots come back.
    void Rebuild(bool keepFocus);

    std::string GetCellText(const TViewNode* node, int column) const override;
    void Clear() override;

    const TViewRecord* GetRecord(const TViewNode* node) const { return node != nullptr ? &node->Record : nullptr; }
    TViewObject GetNodeObject(const TViewNode* node) const { return node != nullptr ? node->Record.Object : TViewObject(); }
    // The games list for the games root, the TPathObject for a path root.
    TViewObject GetFocusedObject() const { return GetNodeObject(FirstSelectedNode()); }
    // The rom path of the selected node; nullptr when it is under the games root.
    TPath* GetFocusedPath() const;
    void GetFilesOfFocused(TNamedFiles& list) const;
    void GetRomFilesOfFocused(TNamedRomFiles& list) const;
    // Every clone of the shown clones, each under text.
    void ListClones(TCloneItems& list, const std::string& text) const;
    // Selects, focuses and expands the first node of that object; nothing when none.
    void FocusObject(const TViewObject& object);

    // The files database announces that a file is about to go: no node keeps it. While
    // the files database runs a command the path's file list is pruned once, by
    // ApplyRemovals when the command ends; otherwise at once.
    void RemoveFile(const TFile* file);
    void ApplyRemovals();

    // What the focus memory holds (for tests and the status bar).
    const std::string& FocusRootText() const { return focus_.RootText; }

protected:
    void DoChange(const QModelIndex& node) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // A node below a root, by what names it.
    struct TFocusKey {
        enum TKind { None, Game, Clone, File } Kind = None;
        std::string Name;
        bool operator==(const TFocusKey&) const = default;
    };
    struct TFocus {
        std::string RootText;
        TFocusKey Level1, Level2;
    };
    static TFocusKey KeyOf(const TViewObject& object);

    void InitNode(TViewNode& node);
    void DoRebuild(bool keepFocus);
    void RestoreFocus(TFocus focus);
    // The child of parent whose object the key names; nullptr when none.
    TViewNode* FindChild(const QModelIndex& parent, const TFocusKey& key);
    void FetchChildren(const QModelIndex& index);

    // Where a file of a path root stands: its root and its index in the root's files.
    struct TFilePlace {
        TPathObject* Root = nullptr;
        int Index = 0;
    };
    void IndexFiles(TPathObject* pathObject);
    void ForgetNode(const TFilePlace& place, const TFile* file);

    TChildItems rootItems_;
    std::vector<std::unique_ptr<TPathObject>> pathObjects_;
    std::unordered_map<const TFile*, TFilePlace> filePlaces_;
    std::unordered_set<const TFile*> droppedFiles_;
    TQMVirtualListView* list_ = nullptr;
    TFocus focus_;
};

}  // namespace qm
