#pragma once
// The rom folders of the current emulator, each remembered with the identity of the
// volume it lives on (label and serial), so that a removable disk or a network share is
// recognised when it comes back and its cache file is found again.
//
// The list is stored under "RomPaths" in the emulator's section of the settings, one
// entry after the other: "[" label "]" "[" serial "]" folder "|". An older form ended
// each entry with ";" instead; it is read, never written.
#include <memory>
#include <string>
#include <vector>

namespace qm {

class TConfig;

class TRomPath {
public:
    std::string Path;        // the folder, ending with "/"
    std::string VolumeName;  // label of its volume (lower case when measured here)
    std::string Serial;      // serial of its volume ("28e6-ade1"), empty when unknown
};

// True when one folder holds the other or both are the same, compared by their real
// forms (links resolved as far as the folders exist), whole folder names only; false when
// either is empty.
bool RomFoldersOverlap(const std::string& folder, const std::string& protectedFolder);

class TRomPaths {
public:
    // Reads and writes its value through config, in config.EmulatorSection.
    explicit TRomPaths(TConfig& config);
    ~TRomPaths();
    TRomPaths(const TRomPaths&) = delete;
    TRomPaths& operator=(const TRomPaths&) = delete;

    // Adds a rom folder and returns the new entry, or nullptr when it is refused (an
    // error box says why): the same folder on the same volume is listed already, or
    // its direct parent, or one of its direct children. A grandparent or grandchild is
    // accepted. With neither a volume name nor a serial, the volume that holds the
    // folder is measured (its label lower-cased); a stored identity is kept as given,
    // so that a folder whose volume is absent keeps the serial it was stored with.
    // Folders compare exactly, labels without regard to case.
    TRomPath* AddPath(const std::string& path, const std::string& volumeName, const std::string& serial);

    TRomPath& Items(size_t index) { return *items_.at(index); }
    const TRomPath& Items(size_t index) const { return *items_.at(index); }
    size_t Count() const { return items_.size(); }
    void Clear() { items_.clear(); }
    // Index of the first entry whose Path is exactly path, or -1.
    int IndexOf(const std::string& path) const;
    // Removes the entry at index (the rom path commands shrink the list).
    void Delete(size_t index);

    // Appends the stored entries of the emulator section; an empty value clears the
    // list. In the current form an entry that cannot be added is reported in an error
    // box and the next one is read; in the older form the error is raised on.
    void LoadFromIni();
    // Writes the whole list in the current form (an empty list writes an empty value);
    // nothing while no datafile names an emulator section.
    void SaveToIni();

    // The stored text of the list.
    std::string Text() const;

private:
    void LoadEntries(const std::string& value, char separator);

    TConfig& config_;
    std::vector<std::unique_ptr<TRomPath>> items_;
};

}  // namespace qm
