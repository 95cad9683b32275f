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
        std::vector<TPlace>& files = byKey_[roms.Key(i)];
        const auto at = std::lower_bound(files.begin(), files.end(), place);
        if (at == files.end() || at->File != place.File) files.insert(at, place);
    }
}

std::vector<TFile*> TRomCopyIndex::FilesOf(std::string_view key) const {
    std::vector<TFile*> out;
    const auto found = byKey_.find(std::string(key));
    if (found == byKey_.end()) return out;
    out.reserve(found->second.size());
    for (const TPlace& place : found->second) out.push_back(place.File);
    return out;
}

long long TRomCopyIndex::OrderOf(const TFile* file) const {
    const auto known = places_.find(file);
    return known != places_.end() ? known->second.Order : nextOrder_;
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
