#pragma once
// Where the copies of a CRC lie, for the import of missing roms: every file of every rom
// path that holds a rom file under a CRC key, in the order an import searches them (rom
// paths in order, files in list order). Built once for a repair step, told of each file
// the step puts a rom into, and asked once per missing rom, so that a step that fills
// thousands of placeholders reads each rom file once rather than once per placeholder.
// A path's volume is read once per step as well.
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

    // Files holding a rom file under key (a CRC in lower case), in search order; some
    // may have lost it or left their path since: the caller checks each.
    std::vector<TFile*> FilesOf(std::string_view key) const;
    // The file's place in the search within its path (files indexed later come later).
    long long OrderOf(const TFile* file) const;
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
