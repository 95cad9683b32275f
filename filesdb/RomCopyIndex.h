#pragma once
// Where the copies of a CRC lie, for the import of missing roms: every file of every rom
// path that holds a sound rom file (no placeholder) under a CRC key, in the order an import searches them (rom
// paths in order, files in list order). Built once for a repair step, told of each file
// the step puts a rom into, and asked once per missing rom, so that a step that fills
// thousands of placeholders reads each rom file once rather than once per placeholder.
// A path's volume is read once per step as well.
//
// A collection holds hundreds of thousands of rom files: the index keeps one 8-byte
// record per rom file (the CRC as a number beside the file's place), sorted once, rather
// than a text and a list per CRC.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qm {

class TFile;
class TPath;
class TPathsList;

class TRomCopyIndex {
public:
    explicit TRomCopyIndex(TPathsList& paths);

    // Hands visit the files holding a rom file under any of keys (CRCs in lower case),
    // each once, in search order, until it returns false. Some may have lost the rom or
    // left their path since: visit checks each. A common CRC is held by thousands of
    // files and the first of them is nearly always the one taken, so nothing is gathered
    // or sorted for it.
    void Visit(std::initializer_list<std::string_view> keys, const std::function<bool(TFile*)>& visit) const;
    // file (of a listed path) now holds rom files it may not have held before.
    void Update(TFile* file);
    // Whether the path's volume is present, read once per index.
    bool Available(TPath* path);
    // The volume was asked for again and found.
    void SetAvailable(TPath* path) { available_[path] = true; }

private:
    // A file's place in the search: its rom path's rank, then its number, given in list
    // order (a file new to its path stands after every file numbered before it).
    struct TPlace {
        int Path = 0;
        TFile* File = nullptr;
    };
    // A record: the CRC in the high half, the file's number in the low half.
    using TRecord = uint64_t;
    static uint32_t Number(TRecord record) { return static_cast<uint32_t>(record); }
    bool Before(uint32_t a, uint32_t b) const {
        return places_[a].Path != places_[b].Path ? places_[a].Path < places_[b].Path : a < b;
    }
    // The records of the file's sound rom files that are not there yet.
    void Index(uint32_t number);
    // Adds number to a list kept in search order, unless it is there.
    void AddTo(std::vector<TRecord>& list, TRecord record);

    TPathsList& paths_;
    std::vector<TPlace> places_;  // by number
    // Every file of the paths when the index was made, by address: its number.
    std::vector<std::pair<const TFile*, uint32_t>> numbers_;
    std::unordered_map<const TFile*, uint32_t> newNumbers_;  // files met after
    // The records when the index was made, sorted: a CRC's files in search order.
    std::vector<TRecord> records_;
    // What the step added since, by CRC, each list in search order.
    std::unordered_map<uint32_t, std::vector<TRecord>> added_;
    // Keys that are not eight lower-case hexadecimal digits (a plug-in's own text).
    std::unordered_map<std::string, std::vector<TRecord>> odd_;
    std::unordered_map<const TPath*, bool> available_;
};

}  // namespace qm
