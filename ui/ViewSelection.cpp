#include "ui/ViewSelection.h"

#include "filesdb/filesBd.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

namespace qm {

namespace {

template <class T>
std::vector<T*> Objects(const std::vector<std::pair<std::string, T*>>& named) {
    std::vector<T*> out;
    out.reserve(named.size());
    for (const auto& [name, object] : named) out.push_back(object);
    return out;
}

}  // namespace

TCommandSelection SelectionFromViews(const TQMVirtualListView& list, const TQMVirtualTreeView& tree) {
    TCommandSelection s;
    TNamedRomFiles roms;
    TNamedFiles files;
    s.listEmpty = !list.ReadSelection(roms, files);
    s.listRoms = Objects(roms);
    s.listFiles = Objects(files);
    s.listContent = list.Layout() == hlFiles      ? TListContent::Files
                    : list.Layout() == hlRomFiles ? TListContent::RomFiles
                                                  : TListContent::Other;
    tree.GetRomFilesOfFocused(roms);
    tree.GetFilesOfFocused(files);
    s.treeRoms = Objects(roms);
    s.treeFiles = Objects(files);
    s.focus = list.hasFocus() ? TViewFocus::List : tree.hasFocus() ? TViewFocus::Tree : TViewFocus::None;
    return s;
}

}  // namespace qm
