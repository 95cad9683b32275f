#pragma once
// What the preferences dialog edits, as plain values: loading them from the settings,
// the folder rules a choice must pass, writing a confirmed choice back to the settings
// and the components that depend on them, and emptying the archive folder. The dialog
// (ui/optionsfrm.h) only moves these values to and from its widgets.
#include <functional>
#include <string>
#include <vector>

namespace qm {

class TArchiveManager;
class TConfig;
class TFilesBd;
class TRomsBd;

// How rom sets are organised, as the three radio buttons show it.
enum class TRomsStructure { Merged, Split, UnMerged };
TRomsStructure StructureOf(bool split, bool merge);

// The case codes of the settings (coDatabase ... coDontCare); -1 when no button is checked.
constexpr int kNoCase = -1;

struct TOptions {
    // General page.
    std::string ArchivePath;
    std::string TempPath;
    int CompLevel = 9;
    // The emulator-bound values (and the archive folder) can be edited only while a
    // datafile is open; without one they show these defaults.
    bool DataFileOpen = false;
    TRomsStructure Structure = TRomsStructure::Merged;
    bool FixExtension = true;
    std::string Exe;
    std::string RunParam;
    std::string ExeBrowseStart = "/";  // where the executable's file dialog opens
    int SetsCase = 4;
    int RomsCase = 4;
    bool DoRenameFiles = true;
    bool DoRemoveRoms = true;
    bool DoRenameRoms = true;
    bool DoFindRoms = true;
    bool DoRemoveFiles = false;
    bool DoCreateDummy = true;
    bool DoReZip = true;
};

// The values as the settings hold them now.
TOptions LoadOptions(TConfig& config);

// The executable's file dialog opens in the executable's folder when one is set, else in
// the parent of the first rom path, else in the root folder.
std::string ExeBrowseStart(const std::string& exe, const std::string& firstRomPath);

// Which edit a refused choice points at.
enum class TOptionsField { None, TempPath, ArchivePath };

struct TOptionsCheck {
    TOptionsField Field = TOptionsField::None;
    std::string Message;  // translated
    bool Ok() const { return Field == TOptionsField::None; }
};

// The folder rules, in this order: the temporary folder exists, the archive folder
// exists, neither of them lies inside a rom path nor holds one (the system's temporary
// folder may hold one). Folders are compared by
// their real paths, whole components only. The archive folder is checked only while it
// can be edited (a datafile is open).
TOptionsCheck CheckOptions(const TOptions& options, const std::vector<std::string>& romPaths);

// The rom paths a choice is checked against: those of the files database and those of
// the open datafile's emulator profile.
std::vector<std::string> CurrentRomPaths(TConfig& config, const TFilesBd* filesBd);

// What applying a choice touches besides the settings. Every member may be left empty.
struct TOptionsTargets {
    TRomsBd* RomsBd = nullptr;
    TFilesBd* FilesBd = nullptr;
    TArchiveManager* ArchiveManager = nullptr;  // used directly only when FilesBd is empty
    std::function<void(bool merged)> OnMergedChanged;  // the views' Merged flag
    std::function<void()> OnStatusBar;                 // the mode and emulator panels
    // After a change that alters matching: the scan window, the tree (keeping its focus),
    // the database information and the status counters.
    std::function<void()> OnRefresh;
};

struct TOptionsApplied {
    bool Changed = false;      // files were matched again and the states recomputed
    bool ClashWarning = false; // the inconsistent-names warning was shown
};

// Writes a confirmed choice: the folders and the compression level always; with a
// datafile open also the emulator profile. Only a change of the rom-set structure, of a
// case rule or of the extension fixing matches the files again; the executable, its
// parameters and the fix switches are stored without that.
TOptionsApplied ApplyOptions(TConfig& config, const TOptions& options, const TOptionsTargets& targets);

// The stored run parameters for a typed text: "%1" is appended when it holds no "%".
std::string RunParamToStore(const std::string& text);

// The statistics of the archive folder the edit names: files and their size (sub-folders
// counted, hidden folders not) and the volume's free space; "-" for each while the text
// names no existing absolute folder.
struct TArchiveInfo {
    std::string Files = "-";
    std::string Used = "-";
    std::string Free = "-";
};
TArchiveInfo ArchiveInfo(const std::string& editText);

// The stored archive folder (with "/"), or empty when none is stored.
std::string StoredArchivePath(TConfig& config);

// Opens the folder the edit names with opener, or shows "Directory not found.".
void OpenArchiveFolder(const std::string& editText, const std::function<void(const std::string&)>& opener);

// Why folder may not be emptied (translated), or empty when it may: it must be an
// existing absolute folder that is not the root, does not hold the user's home, the
// program's home, the temporary folder or a rom path, and does not lie inside a rom path.
std::string PurgeRefusal(TConfig& config, const std::string& folder, const std::vector<std::string>& romPaths);

// Empties the stored archive folder into the trash, after the user answered Yes: every
// entry of the folder itself (a sub-folder as a whole; a file made writable first). Stops
// at the first entry the trash refuses and shows why. Returns the number of entries moved.
int PurgeArchiveFolder(TConfig& config, const std::vector<std::string>& romPaths);

}  // namespace qm
