#include "ui/views/QMVirtualTreeView.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QUrl>

#include "archive/stringsTools.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/commands/TextConv.h"

namespace qm {

namespace {

// Drive type of a fixed disk: its path roots show no volume label.
constexpr int kFixedDrive = 3;

}  // namespace

TQMVirtualTreeView::TQMVirtualTreeView(QWidget* parent) : TCustomQMVirtualView(parent) {
    DefaultText = "Error !";
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setExpandsOnDoubleClick(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    Model()->SetColumns({QString()});
    Model()->SetInitNode([this](TViewNode& node) { InitNode(node); });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (OnDoubleClick) OnDoubleClick(GetNodeObject(Model()->Node(index)));
    });
}

TQMVirtualTreeView::~TQMVirtualTreeView() {
    list_ = nullptr;
    Model()->SetInitNode(nullptr);
}

std::string TQMVirtualTreeView::GamesRootText() { return _("Games database"); }

void TQMVirtualTreeView::SetQmVirtualListView(TQMVirtualListView* list) {
    list_ = list;
    if (list_ != nullptr) list_->RefreshItems();
}

std::string TQMVirtualTreeView::GetCellText(const TViewNode* node, int column) const {
    if (node == nullptr) return "???";
    return TCustomQMVirtualView::GetCellText(node, column);
}

// ---------------------------------------------------------------------------------------
// Node records

void TQMVirtualTreeView::InitNode(TViewNode& node) {
    TViewRecord& r = node.Record;
    r.Texts.assign(1, std::string());
    r.ChildCount = 0;
    r.ImageIndex = -1;
    const int level = node.Level();
    if (level == 0) {
        if (node.Row == 0) {
            r.Texts[0] = GamesRootText();
            r.ImageIndex = 24;
            r.ChildCount = rootItems_.Count();
            r.Object = RomsBd != nullptr ? &RomsBd->Games() : static_cast<TGamesList*>(nullptr);
            return;
        }
        const size_t index = static_cast<size_t>(node.Row - 1);
        if (index >= pathObjects_.size()) return;
        TPathObject* pathObject = pathObjects_[index].get();
        const TPath* path = pathObject->Path;
        r.Object = pathObject;
        r.ChildCount = pathObject->Files.Count();
        if (path == nullptr) return;
        // The disk facts were read when the path was added: no disk is asked here.
        r.Texts[0] = path->GetDriveType() != kFixedDrive ? "[" + path->GetVolumeLabel() + "] " + path->GetPath()
                                                          : path->GetPath();
        r.ImageIndex = path->IsReadOnly() ? 23 : 22;
        return;
    }
    const TViewNode* parent = node.Parent;
    if (level == 1 && parent->Row == 0) {
        if (node.Row >= rootItems_.Count()) return;
        r.Object = rootItems_[node.Row].Object;
        TModeOverride mode(*this);
        if (const TGame* game = ObjectAs<TGame>(r.Object)) {
            r.Texts[0] = game->Description;
            TCloneItems clones;
            game->ListClones(clones);
            r.ChildCount = static_cast<int>(clones.size());
        } else if (const TClone* clone = ObjectAs<TClone>(r.Object)) {
            r.Texts[0] = clone->GetDisplayDescription();
        } else {
            r.Texts[0] = rootItems_[node.Row].Text;
        }
        r.ImageIndex = GetObjectImageIndex(r.Object);
        return;
    }
    if (level == 1) {
        const TPathObject* pathObject = ObjectAs<TPathObject>(parent->Record.Object);
        if (pathObject == nullptr || node.Row >= pathObject->Files.Count()) return;
        r.Object = pathObject->Files[node.Row].Object;
        if (const TFile* file = ObjectAs<TFile>(r.Object)) {
            r.Texts[0] = file->Name;
            r.ImageIndex = file->GetImageIndex();
            // Dropped during the running command, still listed until it ends.
            if (droppedFiles_.count(file) != 0) r.Object = TViewObject();
        }
        return;
    }
    if (level == 2) {
        const TGame* game = ObjectAs<TGame>(parent->Record.Object);
        if (game == nullptr) return;
        TModeOverride mode(*this);
        // Read again for each child: the list lives only as long as this one record.
        TCloneItems clones;
        game->ListClones(clones);
        if (static_cast<size_t>(node.Row) >= clones.size()) return;
        TClone* clone = clones[static_cast<size_t>(node.Row)].second;
        r.Object = clone;
        r.Texts[0] = clone->GetDisplayDescription();
        r.ImageIndex = GetObjectImageIndex(r.Object);
    }
}

// ---------------------------------------------------------------------------------------
// Focus hand-over

void TQMVirtualTreeView::DoChange(const QModelIndex& index) {
    {
        TBusyCursor busy;
        focus_ = TFocus();
        TViewNode* node = Model()->Node(index.siblingAtColumn(0));
        if (node != nullptr) {
            if (list_ != nullptr) {
                const TViewObject& object = node->Record.Object;
                if (const TPathObject* pathObject = ObjectAs<TPathObject>(object))
                    list_->SetParentObject(pathObject->Path);
                else
                    list_->SetParentObject(object);
            }
            for (const TViewNode* n = node; n != nullptr && n->Parent != nullptr; n = n->Parent) {
                const int level = n->Level();
                if (level == 2)
                    focus_.Level2 = KeyOf(n->Record.Object);
                else if (level == 1)
                    focus_.Level1 = KeyOf(n->Record.Object);
                else
                    focus_.RootText = n->Text(0);
            }
        }
    }
    TCustomQMVirtualView::DoChange(index);
    if (OnSelectionChange) OnSelectionChange();
}

TQMVirtualTreeView::TFocusKey TQMVirtualTreeView::KeyOf(const TViewObject& object) {
    TFocusKey key;
    if (const TGame* game = ObjectAs<TGame>(object)) {
        key.Kind = TFocusKey::Game;
        key.Name = game->Name;
    } else if (const TClone* clone = ObjectAs<TClone>(object)) {
        key.Kind = TFocusKey::Clone;
        key.Name = clone->Name;
    } else if (const TFile* file = ObjectAs<TFile>(object)) {
        key.Kind = TFocusKey::File;
        key.Name = file->Name;
    }
    return key;
}

// ---------------------------------------------------------------------------------------
// Rebuilding

void TQMVirtualTreeView::Rebuild(bool keepFocus) {
    Refreshing = true;
    try {
        DoRebuild(keepFocus);
    } catch (...) {
        Refreshing = false;
        throw;
    }
    Refreshing = false;
}

void TQMVirtualTreeView::DoRebuild(bool keepFocus) {
    TBusyCursor busy;
    const TFocus remembered = focus_;
    std::set<std::string> expandedRoots;
    for (int i = 0; i < Model()->RootNodeCount(); ++i) {
        const QModelIndex root = Model()->index(i, 0);
        if (isExpanded(root)) expandedRoots.insert(Model()->Node(root)->Text(0));
    }
    Clear();
    setUpdatesEnabled(false);
    try {
        if (RomsBd != nullptr) CollectChildren(&RomsBd->Games(), rootItems_);
        if (FilesBd != nullptr) {
            for (int i = 0; i < FilesBd->Paths().Count(); ++i) {
                auto pathObject = std::make_unique<TPathObject>(FilesBd->Paths().GetPath(i));
                CollectChildren(pathObject->Path, pathObject->Files);
                IndexFiles(pathObject.get());
                pathObjects_.push_back(std::move(pathObject));
            }
        }
        Model()->SetRootNodeCount(static_cast<int>(pathObjects_.size()) + 1);
        if (list_ != nullptr) {
            list_->DatabaseFilters = DatabaseFilters;
            list_->PathFilters = PathFilters;
            list_->Merged = Merged;
            list_->Split = Split;
            list_->SplitMergeMode = SplitMergeMode;
            list_->SetDisplayLevel(DisplayLevel());
            list_->SetParentObject(TViewObject());
        }
    } catch (...) {
        // The focus and the expanded roots come back also when the databases failed.
        if (keepFocus) RestoreFocus(remembered);
        setUpdatesEnabled(true);
        throw;
    }
    if (keepFocus) RestoreFocus(remembered);
    for (int i = 0; i < Model()->RootNodeCount(); ++i) {
        const QModelIndex root = Model()->index(i, 0);
        setExpanded(root, expandedRoots.count(Model()->Node(root)->Text(0)) != 0);
    }
    setUpdatesEnabled(true);
    // Scrolling would expand a collapsed root again: only a visible node is scrolled to.
    const QModelIndex first = FirstSelected();
    bool visible = first.isValid();
    for (QModelIndex p = first.parent(); visible && p.isValid(); p = p.parent()) visible = isExpanded(p);
    if (visible) scrollTo(first, QAbstractItemView::PositionAtTop);
}

void TQMVirtualTreeView::Clear() {
    if (list_ != nullptr) list_->Clear();
    rootItems_.Clear();
    focus_ = TFocus();
    TCustomQMVirtualView::Clear();
    // After the nodes: none of them may outlive its path object.
    pathObjects_.clear();
    filePlaces_.clear();
    droppedFiles_.clear();
}

void TQMVirtualTreeView::FetchChildren(const QModelIndex& index) {
    if (Model()->canFetchMore(index)) Model()->fetchMore(index);
}

TViewNode* TQMVirtualTreeView::FindChild(const QModelIndex& parent, const TFocusKey& key) {
    if (key.Kind == TFocusKey::None) return nullptr;
    FetchChildren(parent);
    const TViewNode* owner = Model()->Node(parent);
    if (owner == nullptr) return nullptr;
    for (const auto& child : owner->Children)
        if (KeyOf(child->Record.Object) == key) return child.get();
    return nullptr;
}

void TQMVirtualTreeView::RestoreFocus(TFocus focus) {
    if (focus.RootText.empty() || Model()->RootNodeCount() == 0) return;
    if (CompareText(focus.RootText, GamesRootText()) == 0 && RomsBd != nullptr) {
        // The remembered sets are adapted to the present display level.
        using K = TFocusKey;
        if (focus.Level1.Kind == K::Clone && DisplayLevel() == dlGames) {
            const TClone* clone = RomsBd->Games().FindClone(focus.Level1.Name);
            focus.Level2 = focus.Level1;
            focus.Level1 = clone != nullptr ? KeyOf(clone->Game) : TFocusKey();
        } else if (focus.Level1.Kind == K::Clone) {
            focus.Level2 = TFocusKey();
        } else if (focus.Level1.Kind == K::Game && DisplayLevel() == dlClones) {
            if (focus.Level2.Kind == K::Clone) {
                focus.Level1 = focus.Level2;
            } else {
                const TGame* game = RomsBd->Games().FindGame(focus.Level1.Name);
                TModeOverride mode(*this);
                const TClone* parent = game != nullptr ? game->GetParentClone() : nullptr;
                focus.Level1 = parent != nullptr ? KeyOf(const_cast<TClone*>(parent)) : TFocusKey();
            }
            focus.Level2 = TFocusKey();
        }
    }
    QModelIndex found;
    for (int i = 0; i < Model()->RootNodeCount(); ++i) {
        const QModelIndex root = Model()->index(i, 0);
        if (Model()->Node(root)->Text(0) == focus.RootText) {
            found = root;
            break;
        }
    }
    if (!found.isValid()) return;
    if (TViewNode* level1 = FindChild(found, focus.Level1)) {
        found = Model()->IndexOf(level1);
        if (TViewNode* level2 = FindChild(found, focus.Level2)) found = Model()->IndexOf(level2);
    }
    for (QModelIndex p = found.parent(); p.isValid(); p = p.parent()) expand(p);
    const bool same = currentIndex() == found;
    selectionModel()->setCurrentIndex(found, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(found, QAbstractItemView::PositionAtTop);
    // The list shows the node's children again also when the focus did not move.
    if (same) DoChange(found);
}

// ---------------------------------------------------------------------------------------
// Reads for the commands

TPath* TQMVirtualTreeView::GetFocusedPath() const {
    const TViewObject object = GetFocusedObject();
    if (const TPathObject* pathObject = ObjectAs<TPathObject>(object)) return pathObject->Path;
    if (const TFile* file = ObjectAs<TFile>(object)) return file->Path;
    if (const TRomFile* romFile = ObjectAs<TRomFile>(object)) return romFile->File->Path;
    return nullptr;
}

void TQMVirtualTreeView::GetFilesOfFocused(TNamedFiles& list) const {
    list.clear();
    const TViewObject object = GetFocusedObject();
    if (const TPathObject* pathObject = ObjectAs<TPathObject>(object)) {
        for (const TChildItem& item : pathObject->Files)
            if (TFile* file = ObjectAs<TFile>(item.Object)) list.emplace_back(file->Name, file);
    } else if (TFile* file = ObjectAs<TFile>(object)) {
        list.emplace_back(file->Name, file);
    }
}

void TQMVirtualTreeView::GetRomFilesOfFocused(TNamedRomFiles& list) const {
    list.clear();
    auto addFile = [&](const TFile* file) {
        for (int i = 0; i < file->RomFiles.Count(); ++i) list.emplace_back(file->RomFiles[i]->Name(), file->RomFiles[i]);
    };
    const TViewObject object = GetFocusedObject();
    if (const TPathObject* pathObject = ObjectAs<TPathObject>(object)) {
        for (const TChildItem& item : pathObject->Files)
            if (const TFile* file = ObjectAs<TFile>(item.Object)) addFile(file);
    } else if (const TFile* file = ObjectAs<TFile>(object)) {
        addFile(file);
    }
}

void TQMVirtualTreeView::ListClones(TCloneItems& list, const std::string& text) const {
    list.clear();
    if (ShownClones == nullptr) return;
    for (const auto& [name, clone] : *ShownClones) list.emplace_back(text, clone);
}

void TQMVirtualTreeView::FocusObject(const TViewObject& object) {
    if (IsNilObject(object)) return;
    // Only clones live at the second level: other objects need no game expanded.
    const bool deep = ObjectAs<TClone>(object) != nullptr;
    auto take = [&](const QModelIndex& index) {
        for (QModelIndex p = index.parent(); p.isValid(); p = p.parent()) expand(p);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        expand(index);
        scrollTo(index);
    };
    for (int i = 0; i < Model()->RootNodeCount(); ++i) {
        const QModelIndex root = Model()->index(i, 0);
        if (Model()->Node(root)->Record.Object == object) return take(root);
        FetchChildren(root);
        for (int j = 0; j < Model()->rowCount(root); ++j) {
            const QModelIndex child = Model()->index(j, 0, root);
            if (Model()->Node(child)->Record.Object == object) return take(child);
            if (!deep) continue;
            FetchChildren(child);
            for (int k = 0; k < Model()->rowCount(child); ++k) {
                const QModelIndex grandChild = Model()->index(k, 0, child);
                if (Model()->Node(grandChild)->Record.Object == object) return take(grandChild);
            }
        }
    }
}

void TQMVirtualTreeView::IndexFiles(TPathObject* pathObject) {
    for (int i = 0; i < pathObject->Files.Count(); ++i)
        if (const TFile* file = ObjectAs<TFile>(pathObject->Files[i].Object)) filePlaces_[file] = {pathObject, i};
}

void TQMVirtualTreeView::ForgetNode(const TFilePlace& place, const TFile* file) {
    // A node made already keeps its text until the next rebuild, but no longer the file.
    for (const auto& root : Model()->Root().Children) {
        if (ObjectAs<TPathObject>(root->Record.Object) != place.Root) continue;
        const auto& children = root->Children;
        const size_t at = static_cast<size_t>(place.Index);
        if (at < children.size() && ObjectAs<TFile>(children[at]->Record.Object) == file) {
            children[at]->Record.Object = TViewObject();
            return;
        }
        // Nodes made before an earlier pruning stand at other rows.
        for (const auto& child : children)
            if (ObjectAs<TFile>(child->Record.Object) == file) child->Record.Object = TViewObject();
    }
}

void TQMVirtualTreeView::RemoveFile(const TFile* file) {
    if (file == nullptr) return;
    const auto place = filePlaces_.find(file);
    if (place != filePlaces_.end()) {
        ForgetNode(place->second, file);
        droppedFiles_.insert(file);
    }
    if (list_ != nullptr) list_->RemoveFile(file);
    if (FilesBd == nullptr || !FilesBd->InCommand()) ApplyRemovals();
}

void TQMVirtualTreeView::ApplyRemovals() {
    if (list_ != nullptr) list_->ApplyRemovals();
    if (droppedFiles_.empty()) return;
    for (auto& pathObject : pathObjects_) {
        TChildItems kept;
        bool changed = false;
        for (const TChildItem& item : pathObject->Files) {
            const TFile* file = ObjectAs<TFile>(item.Object);
            if (file != nullptr && droppedFiles_.count(file) != 0) {
                filePlaces_.erase(file);
                changed = true;
                continue;
            }
            kept.Add(item.Text, item.Object);
        }
        if (!changed) continue;
        pathObject->Files = std::move(kept);
        IndexFiles(pathObject.get());
    }
    droppedFiles_.clear();
}

// ---------------------------------------------------------------------------------------
// Drops of files and folders

void TQMVirtualTreeView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        TCustomQMVirtualView::dragEnterEvent(event);
}

void TQMVirtualTreeView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        TCustomQMVirtualView::dragMoveEvent(event);
}

void TQMVirtualTreeView::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) return TCustomQMVirtualView::dropEvent(event);
    std::vector<std::string> names;
    // A web link is no folder either: it goes on as its text, so that the drop is
    // refused as a whole with its warning rather than half taken.
    for (const QUrl& url : event->mimeData()->urls())
        names.push_back(ui::FromQ(url.isLocalFile() ? url.toLocalFile() : url.toString()));
    event->acceptProposedAction();
    if (!names.empty() && OnDropFiles) OnDropFiles(names);
}

}  // namespace qm
