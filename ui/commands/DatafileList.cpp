// The items of the datafile box, read from the datafile folder.
#include "ui/commands/DatafileList.h"

#include <algorithm>

#include "archive/archive.h"
#include "archive/archivemanager.h"
#include "archive/stringsTools.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

// The extension with its dot, from the last "." of the name; "" without one. A name
// that is only ".dat" has the extension ".dat".
std::string Extension(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return name.substr(dot);
}

bool IsDatName(const std::string& name) { return LowerCase(Extension(name)) == ".dat"; }

// The name without its extension, as the open datafile's name is compared.
std::string NameWithoutExt(const std::string& name) {
    const std::string ext = Extension(name);
    return name.substr(0, name.size() - ext.size());
}

class TBuilder {
public:
    TBuilder(TDatafileList& list, const std::string& openName) : list_(list), openName_(openName) {}

    void Add(const std::string& shownName, const std::string& fileName, const std::string& entryName) {
        TDatafileItem item{DatafileItemText(shownName), fileName, entryName};
        auto it = std::find_if(list_.Items.begin(), list_.Items.end(),
                               [&](const TDatafileItem& known) { return known.Text == item.Text; });
        int index = static_cast<int>(it - list_.Items.begin());
        if (it == list_.Items.end()) list_.Items.push_back(std::move(item));
        if (SameText(NameWithoutExt(shownName), openName_)) list_.Selected = index;
    }

private:
    TDatafileList& list_;
    const std::string& openName_;
};

}  // namespace

std::string DatafileItemText(const std::string& name) {
    return LowerCase(name.size() <= 4 ? std::string() : name.substr(0, name.size() - 4));
}

TDatafileList ListDatafiles(const std::string& folder, TArchiveManager& manager, const std::string& openName) {
    TDatafileList list;
    std::vector<TDirEntry> entries;
    if (Fs().ListDir(folder, entries) != 0) return list;
    // Byte order among names equal but for case (the listing's order is kept).
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TDirEntry& a, const TDirEntry& b) { return CompareText(a.name, b.name) < 0; });
    TBuilder builder(list, openName);
    for (const TDirEntry& dirEntry : entries) {
        const std::string& name = dirEntry.name;
        const std::string full = folder + name;
        TFileStat st;
        const bool isFile = Fs().Stat(full, st) == 0 && st.exists && !st.isDir;
        if (isFile && manager.IsArchive(full)) {
            try {
                TArchiveItems items;
                manager.GetFileList(full, items);
                for (const TArchiveItem& entry : items) {
                    if (entry.Name.empty() || !IsDatName(entry.Name)) continue;
                    // The box shows the entry's own name; the open call needs its inner path.
                    builder.Add(entry.Name, name, entry.GetFullName());
                }
            } catch (const std::exception& e) {
                UiHooks().MessageDlg(Fmt(_("Can't extract datafiles from %1."), {name}) + "\n" + e.what(),
                                     TMsgDlgType::mtError, mbOK);
            }
        } else if (isFile && IsDatName(name)) {
            builder.Add(name, name, {});
        }
    }
    return list;
}

}  // namespace qm
