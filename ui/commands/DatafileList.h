#pragma once
// The items of the datafile box: every datafile of the datafile folder, plain
// ("*.dat") or an entry ending in ".dat" of an archive there.
#include <string>
#include <vector>

namespace qm {

class TArchiveManager;

struct TDatafileItem {
    // Shown in the box: the name without its last four characters, lower-cased.
    std::string Text;
    // The file in the datafile folder, as the folder lists it (real case, no folder).
    std::string FileName;
    // The entry of the archive FileName with its inner path; empty for a plain datafile.
    std::string EntryName;
    bool InArchive() const { return !EntryName.empty(); }
};

struct TDatafileList {
    std::vector<TDatafileItem> Items;
    int Selected = -1;  // the item of the open datafile, -1 when none
};

// Lists folder (ending with "/"). Names are taken in case-insensitive order (then byte
// order), so that of two datafiles whose texts are equal the same one is listed every
// time: the first met supplies the item. The item whose name without extension equals
// openName (any case) is selected; the last one met wins. An archive that cannot be
// listed is reported in an error box and the walk goes on.
TDatafileList ListDatafiles(const std::string& folder, TArchiveManager& manager, const std::string& openName);

// The file name without its last four characters (".dat"), lower-cased.
std::string DatafileItemText(const std::string& name);

}  // namespace qm
