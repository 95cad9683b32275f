#include "filesdb/RomCopyIndex.h"

#include <algorithm>

#include "filesdb/filesBd.h"

namespace qm {

TRomCopyIndex::TRomCopyIndex(TPathsList& paths) : paths_(paths) {
    for (int p = 0; p < paths_.Count(); ++p)
        for (const auto& file : paths_.GetPath(p)->Files()) {
            const TPlace place{p, nextOrder_++, file.get()};
            places_[file.get()] = place;
            Index(place);
        }
}

void TRomCopyIndex::Index(const TPlace& place) {
    const TRomFilesList& roms = place.File->RomFiles;
    for (int i = 0; i < roms.Count(); ++i) {
        // A placeholder carries the CRC it waits for but is no copy of it: a CRC missing
        // from thousands of sets would put thousands of files before its one holder.
        if (roms[i]->IsPlaceholder() || roms[i]->HasError()) continue;
        std::vector<TPlace>& files = byKey_[roms.Key(i)];
        const auto at = std::lower_bound(files.begin(), files.end(), place);
        if (at == files.end() || at->File != place.File) files.insert(at, place);
    }
}

void TRomCopyIndex::Visit(std::initializer_list<std::string_view> keys,
                          const std::function<bool(TFile*)>& visit) const {
    // Each key's files are in search order: merged as they are read.
    struct TRun {
        const TPlace* at;
        const TPlace* end;
    };
    std::vector<TRun> runs;
    for (const std::string_view key : keys) {
        if (key.empty()) continue;
        const auto found = byKey_.find(std::string(key));
        if (found != byKey_.end() && !found->second.empty())
            runs.push_back({found->second.data(), found->second.data() + found->second.size()});
    }
    const TFile* last = nullptr;
    for (;;) {
        TRun* next = nullptr;
        for (TRun& run : runs)
            if (run.at != run.end && (next == nullptr || *run.at < *next->at)) next = &run;
        if (next == nullptr) return;
        TFile* file = next->at->File;
        ++next->at;
        // A file under two of the keys stands at the same place in both.
        if (file == last) continue;
        last = file;
        if (!visit(file)) return;
    }
}

void TRomCopyIndex::Update(TFile* file) {
    if (file == nullptr || file->Path == nullptr) return;
    auto known = places_.find(file);
    if (known == places_.end()) {
        int p = 0;
        while (p < paths_.Count() && paths_.GetPath(p) != file->Path) ++p;
        if (p == paths_.Count()) return;
        // A file new to its path stands after every file listed before it.
        known = places_.emplace(file, TPlace{p, nextOrder_++, file}).first;
    }
    Index(known->second);
}

bool TRomCopyIndex::Available(TPath* path) {
    const auto known = available_.find(path);
    if (known != available_.end()) return known->second;
    path->ReadDiskInfo();
    const bool available = path->IsVolumeAvailable();
    available_[path] = available;
    return available;
}

}  // namespace qm
