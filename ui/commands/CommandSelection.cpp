// The rules that turn the views' selection into what a repair step or file command works on.
#include "ui/commands/CommandSelection.h"

#include <unordered_set>

#include "filesdb/filesBd.h"

namespace qm {

namespace {

// Keeps the first of equal entries, in order.
template <class T>
void Unique(std::vector<T*>& list) {
    std::unordered_set<const T*> seen;
    std::vector<T*> out;
    out.reserve(list.size());
    for (T* item : list)
        if (item != nullptr && seen.insert(item).second) out.push_back(item);
    list.swap(out);
}

bool IsCaseMode(int mode) { return mode >= smLower && mode <= smDatafileCase; }

}  // namespace

std::vector<TRomFile*> StepRoms(const TCommandSelection& s) { return s.listRoms.empty() ? s.treeRoms : s.listRoms; }

std::vector<TFile*> StepFiles(const TCommandSelection& s) { return s.listFiles.empty() ? s.treeFiles : s.listFiles; }

TShellGather GatherShellSelection(int mode, int items, const TCommandSelection& s) {
    TShellGather g;
    if (mode == smMove || mode == smCopy) {
        g.files = StepFiles(s);
    } else if (s.focus == TViewFocus::List) {
        if (s.listContent == TListContent::Files) g.files = s.listFiles;
        if (s.listContent == TListContent::RomFiles) g.roms = s.listRoms;
    } else if (s.focus == TViewFocus::Tree) {
        g.files = s.treeFiles;
    }
    Unique(g.roms);
    Unique(g.files);
    if (g.roms.empty() && g.files.empty()) return g;

    if (IsCaseMode(mode)) {
        if ((items & siRoms) != 0 && !g.files.empty()) {
            for (TFile* file : g.files)
                for (const auto& entry : file->RomFiles) g.roms.push_back(entry.romFile.get());
            Unique(g.roms);
        }
        if ((items & siFiles) != 0 && !g.roms.empty()) {
            for (TRomFile* romFile : g.roms) g.files.push_back(romFile->File);
            Unique(g.files);
        }
        if ((items & siFiles) == 0) g.files.clear();
        if ((items & siRoms) == 0) g.roms.clear();
    }

    if (mode != smMove && mode != smCopy) {
        std::erase_if(g.roms, [mode](const TRomFile* r) {
            if (r->IsPlaceholder()) return true;
            return mode == smDatafileCase && !r->IsOk() && !r->HasBadCase();
        });
        if (mode == smDatafileCase)
            std::erase_if(g.files, [](const TFile* f) { return f->Clone == nullptr || !f->HasBadCase(); });
    }
    g.outcome = g.roms.empty() && g.files.empty() ? TShellGather::NothingToDo : TShellGather::Ready;
    return g;
}

}  // namespace qm
