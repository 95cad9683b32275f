#pragma once
// The main window's single repair steps and file commands on the selection: each repair
// step on its own, and move, copy, delete (to the trash), the four case changes and the
// archive test. The class knows no window: message boxes and questions go through
// UiHooks(), the folder dialog, the change-case dialog, the progress window, the tree
// and the busy flag through the events below, so that every command is tested without a
// window.
//
// Every command is one TFilesBd::TCommandScope, and while it runs the files database's
// remove events also prune its own lists (after whoever listened before, the views), so
// no object a repair freed is worked on later in the same command. Afterwards the rom
// path is refreshed from disk, matched again and its cache written, so that the
// database is in step with the disk.
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/Progress.h"
#include "ui/commands/ChangeCaseChoice.h"
#include "ui/commands/CommandSelection.h"
#include "ui/commands/FixPipeline.h"

namespace qm {

class TFilesBd;
class TFile;
class TPath;
class TRomFile;
class TRomsBd;

// The single steps, by the number of their action.
enum TStepMode : int {
    stRenameRoms = 0,
    stRemoveUselessFiles = 1,
    stRemoveUselessRoms = 2,
    stImportRoms = 3,
    stRenameFiles = 4,
    stCreateDummy = 5,
    stReZip = 6,
};

// What a command did: items done (-1: cancelled before the first) and errors.
struct TCommandResult {
    int done = 0;
    int errors = 0;
};

// One damaged archive found by the test: the entry (empty when the whole archive is
// unreadable) and the reason.
struct TDamagedEntry {
    std::string file;
    std::string entry;
    std::string reason;
};

class TFileCommands {
public:
    TFileCommands(TRomsBd& romsBd, TFilesBd& filesBd);
    TFileCommands(const TFileCommands&) = delete;
    TFileCommands& operator=(const TFileCommands&) = delete;

    // The settings' archive folder, where the steps put what they remove.
    std::function<std::string()> ArchivePath;
    // The folder dialog: the chosen folder, "" when cancelled.
    std::function<std::string(const std::string& caption, const std::string& startFolder)> ChooseFolder;
    // The change-case dialog (shown modally).
    std::function<TChangeCaseResult()> AskChangeCase;
    // Whether files cannot be written in an existing folder; the file routines' check by
    // default (tests run as root and answer it themselves).
    std::function<bool(const std::string& folder)> IsReadOnlyPath;
    // False stops a single step before anything is done (rom paths changed on disk).
    std::function<bool()> OnCheckPathsModified;

    TFixProgress Progress;
    TLogEvent OnLog;
    std::function<void(bool busy)> OnBusy;
    std::function<void()> OnRebuildTree;      // the tree rebuilt, keeping its focus
    std::function<void()> OnUpdateCounters;   // the status bar's counters
    std::function<void()> OnUpdateActions;
    std::function<void()> OnScrollToSelection;
    // The list view's change event off (true) while a file command runs, back (false)
    // on every way out.
    std::function<void(bool suspended)> OnSuspendListChange;

    // A single step (TStepMode) over the selection.
    TCommandResult RunFixStep(int mode, const TCommandSelection& selection);
    // A file command (TShellMode; items: TShellItems bits).
    TCommandResult RunShellOperation(int mode, int items, const TCommandSelection& selection);
    // The change-case dialog, then the case command it asks for.
    TCommandResult ActChangeCaseExecute(const TCommandSelection& selection);
    // Tests the selected archives; the number of damaged files.
    int ActTestFilesExecute(const TCommandSelection& selection);
    // What the last test found.
    const std::vector<TDamagedEntry>& Damaged() const { return damaged_; }

    // The command routines over SelectedRoms / SelectedFiles; each returns the number
    // done, -1 when cancelled before the first, and sets errors.
    int ShellMoveFiles(int& errors);
    int ShellCopyFiles(int& errors);
    int ShellDeleteFiles(int& errors);
    int ShellChangeCase(int rule, int& errors);

    std::vector<TRomFile*> SelectedRoms;
    std::vector<TFile*> SelectedFiles;

private:
    class TRun;
    friend class TRun;

    void Log(const std::string& text) const;
    void ClearAbortFlags();
    bool Cancelled() const;
    void CheckCancel();
    bool ReadOnlyFolder(const std::string& folder) const;
    bool Confirm(const std::string& question) const;
    void StartProgress(int maximum);
    void StopProgress();
    void SetWait(const std::string& text);
    void StepIt();
    int AbortOrRaise(int done);
    // After a command that changed the disk: the path it worked in is read again
    // (skipItself as Refresh takes it) and saved, the database matched, the statuses
    // and the tree follow, and with counters the status counters too. Each part runs
    // even when one before it fails.
    void RefreshAfterCommand(TPath* path, bool skipItself, bool counters);
    int MoveOrCopy(bool move, int& errors);
    bool RefuseIntoItself(const std::string& dest, bool move) const;
    void DeleteRomFile(TRomFile* romFile);
    int RenameZipEntries(TFile* file, const std::vector<TRomFile*>& roms, int rule, int& refused);
    bool RenameRomFile(TRomFile* romFile, int rule, int& refused);
    bool RenameFile(TFile* file, int rule, int& refused);
    void PruneFile(TFile* file);
    void PruneRomFile(TRomFile* romFile);

    TRomsBd& romsBd_;
    TFilesBd& filesBd_;
    bool progressUp_ = false;
    int partDone_ = 0;  // what a routine did before a failure ended it
    std::vector<TDamagedEntry> damaged_;
    // What the database dropped while the command runs; the loops skip it.
    std::unordered_set<const TFile*> removedFiles_;
    std::unordered_set<const TRomFile*> removedRoms_;
};

// The name a case rule (a TCaseOptions value) gives: rule 0 the datafile's name
// (correct, empty when unknown), 1 upper case, 2 lower case, 3 capitalised after a
// space, "(" or "["; 4 none. The inner path of a zip entry keeps its case.
std::string CaseRuleName(const std::string& name, int rule, const std::string& correct);

}  // namespace qm
