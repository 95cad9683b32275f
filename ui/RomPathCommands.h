#pragma once
// The main window's commands on the rom paths: add a folder (by the folder dialog or by
// dropping folders on the tree), close a path, refresh or rebuild one path or all of
// them, open a path in the file manager, and the check that no rom path changed on disk
// before a repair. The class holds the logic only; the window hands it the focused path
// and answers the few things it cannot know (folder dialog, progress window, display)
// through the events below. Message boxes go through qm::UiHooks().
#include <functional>
#include <string>
#include <vector>

class QMimeData;

namespace qm {

class TFilesBd;
class TPath;
class TRomPath;
class TRomPaths;
class TRomsBd;

class TRomPathCommands {
public:
    // Where the tree focus lies, as far as these commands care.
    enum class TFocusKind {
        fkNone,      // nothing focused
        fkDatabase,  // the games database root, a game or a clone
        fkPath,      // a rom path, or a file of one (Path is the rom path that owns it)
    };
    struct TFocus {
        TFocusKind Kind = TFocusKind::fkNone;
        TPath* Path = nullptr;
    };

    // romPaths: the emulator's list (Config->Emulator->RomPaths()).
    TRomPathCommands(TFilesBd& filesBd, TRomsBd& romsBd, TRomPaths& romPaths);

    // The folder dialog (caption, start folder): the chosen folder, "" when cancelled.
    std::function<std::string(const std::string& caption, const std::string& startFolder)> ChooseFolder;
    // The shell's default action on a folder (the file manager).
    std::function<void(const std::string& folder)> OpenFolder;
    // Adds and loads one rom path (the main window's own road, which also logs and keeps
    // the start folder); by default the path is added to the files database and loaded.
    std::function<TPath*(const std::string& path, const std::string& volumeName, const std::string& serial)>
        AddRomPath;

    // The progress window: reset, wait text, Cancel button shown or not, position 0,
    // started over the main window. Stop hides it.
    std::function<void(const std::string& waitText, bool showCancel)> OnProgressStart;
    std::function<void()> OnProgressStop;
    // The display after a change: filters applied, tree rebuilt keeping the focus,
    // status counters, the scan window. Each may be left empty.
    std::function<void()> OnApplyFilters;
    std::function<void()> OnRebuildTree;
    std::function<void()> OnUpdateStatusCounters;
    std::function<void()> OnRefreshScan;
    std::function<void()> OnUpdateActions;
    // The datafile list, the sub-list menu and the game information menu reloaded.
    std::function<void()> OnReloadLists;
    // The main window's busy flag (its action dispatcher drops commands while set).
    std::function<void(bool busy)> OnBusy;
    // The fix pipeline's "fix the full path" flag is cleared before a refresh.
    std::function<void()> OnClearFixFullPath;

    // The folder-dialog start folder; the main window may share its own variable.
    void SetStartFolderStore(std::string* store) { startFolder_ = store != nullptr ? store : &ownStartFolder_; }
    const std::string& StartFolder() const { return *startFolder_; }

    // Folder dialog, then the add road. False when cancelled.
    bool AddPathByDialog();
    // The add road for a folder given by name; the new path or nullptr when refused.
    TPath* AddPathByName(const std::string& folder);
    // Folders dropped on the tree: every name must be an existing folder, else an error
    // box and nothing is added. Returns the number of paths added.
    int DropFolders(const std::vector<std::string>& names);
    // Closes the focused rom path after the user confirms. False when nothing was done.
    bool RemovePath(TPath* focusedPath);
    // Refresh (rebuild off) or rebuild the focused path.
    void RefreshPath(const TFocus& focus, bool rebuild);
    void RefreshAllPaths(bool rebuild);
    // Opens the focused rom path in the file manager; nothing when none is focused.
    void OpenPath(TPath* focusedPath);
    // True when no rom path changed on disk. Else the first changed path may be
    // refreshed (the user is asked) and the result is False whatever the answer, so
    // that the repair that asked does not run on what the user has not seen.
    bool CheckPathsModified();

    // Whether folder lies on the protected folder: the same folder, one inside it or one
    // holding it, compared on their real paths component by component.
    static bool Overlaps(const std::string& folder, const std::string& protectedFolder);

private:
    TPath* DefaultAddRomPath(const std::string& path, const std::string& volumeName, const std::string& serial);
    std::string InitialFolder();
    TPath* AddRoad(const std::string& folder);
    void EndAdd();
    void ClearAbortFlags();
    // Stop only hides a progress window that one of these commands showed.
    void StartProgress(const std::string& text, bool showCancel);
    void StopProgress();
    static void Call(const std::function<void()>& event) {
        if (event) event();
    }

    TFilesBd& filesBd_;
    TRomsBd& romsBd_;
    TRomPaths& romPaths_;
    std::string ownStartFolder_;
    std::string* startFolder_ = &ownStartFolder_;
    bool progressUp_ = false;
};

// The file names of a drop, in drop order; a URL that is not a local file gives "" (which
// is no folder).
std::vector<std::string> DroppedFileNames(const QMimeData& data);

}  // namespace qm
