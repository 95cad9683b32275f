#pragma once
// Where the copies of a CRC lie, for the import of missing roms: every file of every rom
// path that holds a sound rom file (no placeholder) under a CRC key, in the order an import searches them (rom
// paths in order, files in list order). Built once for a repair step, told of each file
// the step puts a rom into, and asked once per missing rom, so that a step that fills
// thousands of placeholders reads each rom file once rather than once per placeholder.
// A path's volume is read once per step as well.
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
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
    struct TPlace {
        int Path = 0;
        long long Order = 0;
        TFile* File = nullptr;
        bool operator<(const TPlace& o) const { return Path != o.Path ? Path < o.Path : Order < o.Order; }
    };
    void Index(const TPlace& place);

    TPathsList& paths_;
    std::unordered_map<std::string, std::vector<TPlace>> byKey_;
    std::unordered_map<const TFile*, TPlace> places_;
    std::unordered_map<const TPath*, bool> available_;
    long long nextOrder_ = 0;
};

}  // namespace qm
