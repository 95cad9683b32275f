#pragma once
// Datafile records: one TDataFileItem per rom line of a datafile.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qm {

// One rom line of a datafile. Fields are the bytes of the file, untrimmed; the CRC is
// lower-cased by the reader.
struct TDataFileItem {
    std::string ParentName;
    std::string ParentDescription;
    std::string GameName;
    std::string GameDescription;
    std::string RomName;
    std::string Crc;
    int64_t Size = -1;  // -1 when the field is empty or not an integer
    std::string RomOf;
    std::string Merge;
};

// The items of one section, in file order.
class TDataFileItems {
public:
    TDataFileItem& Add(std::string parentName, std::string parentDescription, std::string gameName,
                       std::string gameDescription, std::string romName, std::string crc, int64_t size,
                       std::string romOf, std::string merge) {
        items_.push_back(TDataFileItem{std::move(parentName), std::move(parentDescription), std::move(gameName),
                                       std::move(gameDescription), std::move(romName), std::move(crc), size,
                                       std::move(romOf), std::move(merge)});
        return items_.back();
    }
    TDataFileItem& Add(TDataFileItem item) {
        items_.push_back(std::move(item));
        return items_.back();
    }
    const TDataFileItem& GetItem(size_t index) const { return items_.at(index); }
    TDataFileItem& GetItem(size_t index) { return items_.at(index); }
    size_t Count() const { return items_.size(); }
    void Clear() { items_.clear(); items_.shrink_to_fit(); }
    void Reserve(size_t n) { items_.reserve(n); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<TDataFileItem> items_;
};

}  // namespace qm
