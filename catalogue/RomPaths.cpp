#include "catalogue/RomPaths.h"

#include <algorithm>
#include <vector>

#include "archive/DiskInfo.h"
#include "archive/stringsTools.h"
#include "catalogue/config.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

constexpr const char* kKey = "RomPaths";

// The folder that holds a folder ("/a/b/" -> "/a/"); empty for the root, which has none.
std::string ParentFolder(const std::string& folder) {
    if (folder.size() < 2) return "";
    const size_t slash = folder.rfind('/', folder.size() - 2);
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

// A measured label goes between brackets of the stored text, where "]" would end it
// and "|" the whole entry.
std::string StorableLabel(std::string label) {
    for (char& c : label)
        if (c == ']' || c == '|') c = '_';
    return label;
}

void ShowError(const std::string& text) { UiHooks().MessageDlg(text, TMsgDlgType::mtError, mbOK); }

// One stored entry by position: "[label][serial]folder". The folder is the whole rest
// after the second "]", so that a folder holding brackets, or empty label and serial,
// read back as stored. An entry of another shape gives an empty folder.
void ParseEntry(const std::string& entry, std::string& label, std::string& serial, std::string& path) {
    label.clear();
    serial.clear();
    path.clear();
    if (entry.empty() || entry[0] != '[') return;
    const size_t close1 = entry.find(']');
    if (close1 == std::string::npos || close1 + 1 >= entry.size() || entry[close1 + 1] != '[') return;
    const size_t close2 = entry.find(']', close1 + 2);
    if (close2 == std::string::npos) return;
    label = entry.substr(1, close1 - 1);
    serial = entry.substr(close1 + 2, close2 - close1 - 2);
    path = entry.substr(close2 + 1);
}

}  // namespace

TRomPaths::TRomPaths(TConfig& config) : config_(config) {}
TRomPaths::~TRomPaths() = default;

bool RomFoldersOverlap(const std::string& folder, const std::string& protectedFolder) {
    if (folder.empty() || protectedFolder.empty()) return false;
    // Real folders end with "/", so a prefix is a whole-component one.
    const std::string a = RealFolder(folder);
    const std::string b = RealFolder(protectedFolder);
    return a.compare(0, b.size(), b) == 0 || b.compare(0, a.size(), a) == 0;  // one holds the other
}

TRomPath* TRomPaths::AddPath(const std::string& path, const std::string& volumeName, const std::string& serial) {
    // These would break the stored list: "|" ends an entry, a line break the value.
    if (path.find_first_of("|\r\n") != std::string::npos) {
        ShowError(Fmt(_("The rom path %1 holds a character that cannot be stored in the settings (\"|\" or a "
                        "line break)."),
                      {path}));
        return nullptr;
    }
    auto entry = std::make_unique<TRomPath>();
    // One folder, one entry: "roms//", "./roms" and "x/../roms" are stored as one name.
    entry->Path = AbsolutePath(path);
    if (entry->Path.back() != '/') entry->Path += '/';
    if (volumeName.empty() && serial.empty()) {
        const TDiskInfo disk(entry->Path);
        entry->VolumeName = StorableLabel(LowerCase(disk.VolumeLabel()));
        entry->Serial = disk.SerialNumber() == 0 ? std::string() : LowerCase(disk.SerialNumberStr());
    } else {
        entry->VolumeName = volumeName;
        entry->Serial = serial;
    }

    // An entry is its label and its folder: the same folder on a medium with another
    // label is another rom path. Folders compare exactly (two names that differ in case
    // are two folders), labels without regard to case.
    // Folders are compared by their real names, so that a symbolic link to a listed
    // folder is that folder, which a scan would otherwise read twice.
    const std::string real = RealFolder(entry->Path);
    const std::string parent = ParentFolder(real);
    for (const auto& listed : items_) {
        if (!SameText(listed->VolumeName, entry->VolumeName)) continue;
        if (listed->Path == entry->Path) {
            ShowError(_("Rom path already exist."));
            return nullptr;
        }
        const std::string listedReal = RealFolder(listed->Path);
        if (listedReal == real) {
            ShowError(Fmt(_("The folder %1 is the rom path %2 under another name."), {entry->Path, listed->Path}));
            return nullptr;
        }
        if (!parent.empty() && listedReal == parent) {
            ShowError(_("The parent of this path already exists in Quarmelle.\r\nYou can't add this one."));
            return nullptr;
        }
        if (ParentFolder(listedReal) == real) {
            ShowError(_("A direct child of this path already exist in Quarmelle. You can't add this one."));
            return nullptr;
        }
    }
    items_.push_back(std::move(entry));
    return items_.back().get();
}

int TRomPaths::IndexOf(const std::string& path) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i]->Path == path) return static_cast<int>(i);
    return -1;
}

void TRomPaths::Delete(size_t index) {
    if (index < items_.size()) items_.erase(items_.begin() + static_cast<long>(index));
}

void TRomPaths::LoadFromIni() {
    const std::string value = config_.ReadString(config_.EmulatorSection, kKey, "");
    if (value.empty()) {
        Clear();
        return;
    }
    LoadEntries(value, value.find('|') != std::string::npos ? '|' : ';');
}

void TRomPaths::LoadEntries(const std::string& value, char separator) {
    const bool current = separator == '|';
    // Every entry is read, also after an empty one ("a||b" keeps b): a list cut short
    // here would be saved cut short at the next change.
    for (std::string_view entry : SplitFields(value, separator)) {
        if (entry.empty()) continue;
        std::string label, serial, path;
        ParseEntry(std::string(entry), label, serial, path);
        if (!current) {
            // The older form took the folder after the last "]", cleaned of blanks.
            path = Trim(GetLastToken(entry, ']'));
        }
        if (path.empty()) continue;  // not an entry: adding it would list the root folder
        if (!current) {
            AddPath(path, label, serial);
            continue;
        }
        try {
            AddPath(path, label, serial);
        } catch (const std::exception& e) {
            ShowError(e.what());
        }
    }
}

std::string TRomPaths::Text() const {
    std::string text;
    for (const auto& item : items_) text += "[" + item->VolumeName + "][" + item->Serial + "]" + item->Path + "|";
    return text;
}

void TRomPaths::SaveToIni() {
    // Without an open datafile there is no emulator section to write to.
    if (!config_.EmulatorSection.empty()) config_.WriteString(config_.EmulatorSection, kKey, Text());
}

}  // namespace qm
