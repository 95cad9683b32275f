#include "filesdb/RomCopyIndex.h"

#include <algorithm>

#include "filesdb/filesBd.h"

namespace qm {

namespace {

bool Sound(const TRomFile& romFile) { return !romFile.IsPlaceholder() && !romFile.HasError(); }

}  // namespace

TRomCopyIndex::TRomCopyIndex(TPathsList& paths) : paths_(paths) {
    size_t count = 0;
    for (int p = 0; p < paths_.Count(); ++p) count += static_cast<size_t>(paths_.GetPath(p)->Files().Count());
    places_.reserve(count);
    numbers_.reserve(count);
    size_t romFiles = 0;
    for (int p = 0; p < paths_.Count(); ++p)
        for (const auto& file : paths_.GetPath(p)->Files()) romFiles += static_cast<size_t>(file->RomFiles.Count());
    records_.reserve(romFiles);
    // Numbers follow the search order here, so sorting the records by CRC, then number,
    // puts each CRC's files in search order.
    for (int p = 0; p < paths_.Count(); ++p)
        for (const auto& file : paths_.GetPath(p)->Files()) {
            const auto number = static_cast<uint32_t>(places_.size());
            places_.push_back({p, file.get()});
            numbers_.emplace_back(file.get(), number);
            const TRomFilesList& roms = file->RomFiles;
            for (int i = 0; i < roms.Count(); ++i) {
                // A placeholder carries the CRC it waits for but is no copy of it: a CRC
                // missing from thousands of sets would put thousands of files before its
                // one holder.
                if (!Sound(*roms[i])) continue;
                uint32_t crc;
                if (LowerCrcValue(roms.Key(i), crc))
                    records_.push_back((TRecord{crc} << 32) | number);
                else
                    AddTo(odd_[roms.Key(i)], number);
            }
        }
    std::sort(records_.begin(), records_.end());
    records_.erase(std::unique(records_.begin(), records_.end()), records_.end());
    records_.shrink_to_fit();
    std::sort(numbers_.begin(), numbers_.end());
}

void TRomCopyIndex::AddTo(std::vector<TRecord>& list, TRecord record) {
    const uint32_t number = Number(record);
    const auto at = std::lower_bound(list.begin(), list.end(), number,
                                     [this](TRecord r, uint32_t n) { return Before(Number(r), n); });
    if (at == list.end() || Number(*at) != number) list.insert(at, record);
}

void TRomCopyIndex::Index(uint32_t number) {
    const TRomFilesList& roms = places_[number].File->RomFiles;
    for (int i = 0; i < roms.Count(); ++i) {
        if (!Sound(*roms[i])) continue;
        uint32_t crc;
        if (!LowerCrcValue(roms.Key(i), crc)) {
            AddTo(odd_[roms.Key(i)], number);
            continue;
        }
        const TRecord record = (TRecord{crc} << 32) | number;
        if (std::binary_search(records_.begin(), records_.end(), record)) continue;
        AddTo(added_[crc], record);
    }
}

void TRomCopyIndex::Visit(std::initializer_list<std::string_view> keys,
                          const std::function<bool(TFile*)>& visit) const {
    // Each list is in search order: merged as they are read.
    struct TRun {
        const TRecord* at;
        const TRecord* end;
    };
    std::vector<TRun> runs;
    const auto add = [&runs](const TRecord* from, const TRecord* to) {
        if (from != to) runs.push_back({from, to});
    };
    for (const std::string_view key : keys) {
        if (key.empty()) continue;
        uint32_t crc;
        if (!LowerCrcValue(key, crc)) {
            const auto found = odd_.find(std::string(key));
            if (found != odd_.end()) add(found->second.data(), found->second.data() + found->second.size());
            continue;
        }
        const TRecord first = TRecord{crc} << 32;
        const auto from = std::lower_bound(records_.begin(), records_.end(), first);
        const auto to = std::lower_bound(from, records_.end(), first + (TRecord{1} << 32));
        add(records_.data() + (from - records_.begin()), records_.data() + (to - records_.begin()));
        if (const auto more = added_.find(crc); more != added_.end())
            add(more->second.data(), more->second.data() + more->second.size());
    }
    uint32_t last = UINT32_MAX;
    for (;;) {
        TRun* next = nullptr;
        for (TRun& run : runs)
            if (run.at != run.end && (next == nullptr || Before(Number(*run.at), Number(*next->at)))) next = &run;
        if (next == nullptr) return;
        const uint32_t number = Number(*next->at);
        ++next->at;
        // A file under two of the keys stands at the same place in both.
        if (number == last) continue;
        last = number;
        if (!visit(places_[number].File)) return;
    }
}

void TRomCopyIndex::Update(TFile* file) {
    if (file == nullptr || file->Path == nullptr) return;
    const auto known = std::lower_bound(numbers_.begin(), numbers_.end(), std::pair<const TFile*, uint32_t>{file, 0});
    if (known != numbers_.end() && known->first == file) return Index(known->second);
    if (const auto met = newNumbers_.find(file); met != newNumbers_.end()) return Index(met->second);
    int p = 0;
    while (p < paths_.Count() && paths_.GetPath(p) != file->Path) ++p;
    if (p == paths_.Count()) return;
    const auto number = static_cast<uint32_t>(places_.size());
    places_.push_back({p, file});
    newNumbers_.emplace(file, number);
    Index(number);
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
