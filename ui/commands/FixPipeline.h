#pragma once
// The one-button repair of the main window: the rom files and files chosen in the two
// views go through up to eight repair steps in a fixed order, each enabled by a switch
// of the emulator profile. The pipeline knows no window: it reaches message boxes and
// the cursor through UiHooks(), and the progress window, the log, the tree and the busy
// flag through the events below, so that it is tested without a window.
//
// While a fix runs, the files database's create and remove events keep the selection
// lists in step with what the repairs create and free. Every object the repairs drop
// stays valid until the fix ends (the fix is one TFilesBd::TCommandScope), and a step
// only works on a candidate that is still selected.
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "filesdb/filesBd.h"
#include "platform/Progress.h"
#include "platform/RewriteBatch.h"

namespace qm {

class TEmulator;
class TFilesBd;
class TFile;
class TPath;
class TRom;
class TRomFile;
class TRomsBd;

// A set of addresses in one flat table (open addressing): a fix of a whole rom path
// marks a few hundred thousand rom files selected, and a node per entry would cost four
// times the memory.
class TAddressSet {
public:
    bool Contains(const void* address) const;
    // True when the address was not there.
    bool Insert(const void* address);
    // True when the address was there.
    bool Erase(const void* address);
    void Clear();
    size_t Size() const { return size_; }

private:
    static constexpr uintptr_t kEmpty = 0;
    static constexpr uintptr_t kGone = 1;  // an erased entry: a lookup goes on past it
    size_t Home(uintptr_t key) const;
    void Rehash(size_t capacity);

    std::vector<uintptr_t> slots_;
    size_t size_ = 0;
    size_t used_ = 0;  // entries and erased ones
};

// The emulator profile's fix switches.
struct TFixSwitches {
    bool renameFiles = true;
    bool removeRoms = true;
    bool renameRoms = true;
    bool findRoms = true;
    bool removeFiles = true;
    bool createDummy = true;
    bool reZip = false;

    static TFixSwitches FromEmulator(const TEmulator& emulator);
};

// What the two views offer when the fix starts.
struct TFixSelection {
    std::vector<TRomFile*> listRoms;   // the list view's selected rom files
    std::vector<TFile*> listFiles;     // the list view's selected files
    std::vector<TRomFile*> treeRoms;   // rom files under the tree's focused path or file
    std::vector<TFile*> treeFiles;     // files under the tree's focused node
    bool focusedIsPath = false;        // the tree's focused object is a rom path
    bool listSelectionEmpty = true;    // nothing selected in the list view
};

// The progress window as the steps drive it; every member may be empty.
struct TFixProgress {
    std::function<void(const std::string& text)> SetWaitString;
    std::function<void(int position)> SetPosition;
    std::function<void(int maximum)> SetMax;
    std::function<void(bool show)> SetShowCancelButton;
    std::function<void()> Start;  // disables the main window
    std::function<void()> StepIt;
    std::function<void()> Stop;
};

// The steps, in the order a full fix runs them.
enum class TFixStep { RenameFiles, RemoveUselessRoms, RenameRoms, ImportRoms, RemoveUselessFiles, CreateDummyRoms, ReZip };

class TFixPipeline {
public:
    // archivePath: the settings' archive folder, where removed roms and files go.
    TFixPipeline(TRomsBd& romsBd, TFilesBd& filesBd, TFixSwitches switches, std::string archivePath);
    TFixPipeline(const TFixPipeline&) = delete;
    TFixPipeline& operator=(const TFixPipeline&) = delete;

    // The whole fix over the selection. Never raises: every failure ends in a box.
    void Run(const TFixSelection& selection);

    // A single step over lists the caller fills (SelectedRoms, SelectedFiles); returns
    // the number fixed, errors receives this step's error count. Raises what the step
    // lets through. The remove events prune the lists while it runs.
    int RunStep(TFixStep step, int& errors, bool mode = false);

    std::vector<TRomFile*> SelectedRoms;
    std::vector<TFile*> SelectedFiles;
    std::vector<TFile*> CreatedFiles;
    bool FixFullPath = false;
    bool FixFullFiles = false;
    bool FixError = false;

    TFixProgress Progress;
    TLogEvent OnLog;
    // False stops the fix before anything is done (rom paths changed on disk and the
    // user declined).
    std::function<bool()> OnCheckPathsModified;
    std::function<void(bool busy)> OnBusy;
    // The tree is rebuilt (after a fix, after dummies were created).
    std::function<void()> OnRebuildTree;
    std::function<void()> OnUpdateCounters;
    // The tree scrolls its first selected node into view.
    std::function<void()> OnScrollToSelection;
    // Called between steps (a test's window onto the order); the step that is next.
    std::function<void(TFixStep step)> OnStepStarted;

    // Every failure of the last Run or RunStep that it went on past, "file: reason", in
    // the order met (each also a log line).
    const std::vector<std::string>& Failures() const { return failures_; }
    // The warning that ends a fix some of whose files failed: the sentence, then the
    // failures (the first ones, then how many more).
    std::string NotFixedText() const;
    // The box text of a failure that ended the fix or the step: what was being done to
    // which file and why, then the other failures.
    std::string EndingText(std::exception_ptr error) const;

    // Totals of the last Run.
    int FixedTotal() const { return fixedTotal_; }
    int ErrorTotal() const { return errorTotal_; }

    // The step routines.
    int FixRenameFiles(int& errors);
    int FixRemoveUselessRoms(int& errors, bool mode);
    int FixRenameRoms(int& errors);
    int FixImportRoms(int& errors);
    int FixRemoveUselessFiles(int& errors);
    int FixCreateDummyRoms(int& errors);
    int FixReZip(int& errors);

private:
    void Log(const std::string& text) const;
    void LogRomCount() const;
    void LogFileCount() const;
    void ClearAbortFlags();
    void ItemFailed(TFixStep step, int& errors);
    // After imports: removes the selected plain files they left as surplus copies.
    int RemoveLooseCopies(int& errors);
    // A candidate whose operation did not take place: an error of the step, kept with
    // its place and reason.
    void Refused(int& errors, const std::string& where, const std::string& reason);
    void Failed(const std::string& where, const std::string& reason);
    // The failures as lines after a blank line, skip left out (npos: none).
    std::string FailureList(size_t skip) const;
    // The files database dropped the file during this command.
    bool Removed(const TFile* file) const;
    void MatchAll();
    // Matches the file again, unless that would change nothing (see settled_).
    void MatchFile(TFile* file);
    void ShowError(const std::string& text) const;
    void BeginStep();
    // One step's frame: the selection's hash sets made from the lists, the archives the
    // step rewrites made durable in groups, and the caches of the paths the step wrote
    // into saved once, when it ends (after the archives).
    class TStepScope {
    public:
        explicit TStepScope(TFixPipeline& owner);
        TStepScope(const TStepScope&) = delete;
        TStepScope& operator=(const TStepScope&) = delete;

        ~TStepScope();

    private:
        TFixPipeline& owner_;
        TRewriteBatch rewrites_;
        TFilesBd::TCacheBatch caches_;
    };
    // Archives whose new content could not be put in place: errors of the fix, and the
    // first of them its end.
    void RewritesFailed(const std::vector<TRewriteBatch::TFailure>& failures);
    void EndIfRewriteFailed() const;
    // Names the operation under way for the rewrites it hands to the step's batch.
    void Doing(TFixStep step, const std::string& where);
    void IndexSelection();
    // Drops from the lists what left the sets (removals only mark, so that a step that
    // drops thousands of rom files does not shift the list thousands of times).
    void CompactSelection();
    size_t SelectedRomCount() const { return SelectedRoms.size() - deadRoms_; }
    void NoteWritten(TPath* path);
    class TProgressScope {
    public:
        explicit TProgressScope(TFixPipeline& owner) : owner_(owner) {}
        ~TProgressScope();
        TProgressScope(const TProgressScope&) = delete;
        TProgressScope& operator=(const TProgressScope&) = delete;
        void Start(int maximum);

    private:
        TFixPipeline& owner_;
        bool started_ = false;
    };
    void SetWait(const std::string& text);
    void StepIt();
    // The loop of a step: starts the progress, shows each candidate by the wait text
    // (its name for "%1"), passes over one wanted says no longer to do, and hands what
    // work raises to the step's clauses.
    template <class T, class Wanted, class Work>
    void EachCandidate(TFixStep step, TProgressScope& progress, const std::vector<T*>& candidates,
                       const std::string& waitText, Wanted wanted, Work work, int& errors);
    bool RomSelected(const TRomFile* romFile) const;
    // Whether a selected rom file that is no placeholder stands for rom.
    bool SelectionHolds(const TRom* rom);
    void IndexCrcOf(const TRomFile* romFile);
    bool FileSelected(const TFile* file) const;
    void RefreshPathOf(TPath* path);

    void WireEvents();
    void UnwireEvents();
    void FilesBdRemoveFile(TFile* file);
    void FilesBdRemoveRomFile(TRomFile* romFile);
    void FilesBdCreateFile(TFile* file);
    void FilesBdCreateRomFile(TRomFile* romFile);

    void RunSteps();

    struct TSavedEvents {
        std::function<void(TFile*)> removeFile;
        std::function<void(TRomFile*)> removeRomFile;
        std::function<void(TFile*)> createFile;
        std::function<void(TRomFile*)> createRomFile;
        std::function<void(TFile*)> renameFile;
    } saved_;
    // Beside SelectedRoms and SelectedFiles, kept in step with them: membership, and
    // the selected rom files of each file in list order (entries that left the list
    // stay here; membership tells).
    TAddressSet romSet_;
    TAddressSet fileSet_;
    std::unordered_map<const TFile*, std::vector<TRomFile*>> romsOfFile_;
    // The selected rom files under their CRC and under its complement: a rom file stands
    // for a rom of either (a no-dump rom, found by name, is the exception). Made when a
    // step first asks, then told of each rom file selected or given another CRC; an
    // entry that left the selection or changed since is weeded out when asked.
    std::unordered_map<std::string, std::vector<const TRomFile*>> selectedByCrc_;
    bool crcIndexed_ = false;
    bool keepIndex_ = false;  // the sets are in step with the lists from the last step
    std::unordered_set<const TFile*> createdSet_;  // CreatedFiles, for membership
    size_t deadRoms_ = 0;   // entries of SelectedRoms no longer selected
    size_t deadFiles_ = 0;  // and of SelectedFiles
    TRomsBd& romsBd_;
    TFilesBd& filesBd_;
    TFixSwitches switches_;
    std::string archivePath_;
    int fixedTotal_ = 0;
    int errorTotal_ = 0;
    bool cancelled_ = false;
    // The operation and the file of the candidate whose failure is on its way out of a
    // step, put before the text of the error that ends the fix.
    std::string failedAt_;
    std::string rewriteFailure_;  // the first rewrite that could not be put in place
    size_t endingFailure_ = std::string::npos;  // its line among failures_
    std::vector<std::string> failures_;
    TFixStep rewritingStep_ = TFixStep::RenameFiles;  // whose rewrites the batch holds
    int rewritesLost_ = 0;                           // of the step that just ended
    std::unordered_set<const TFile*> removedFiles_;
    // Files whose last match left them as it found them, by a digest of everything a
    // match reads from the file and writes to it. Matching such a file again while it
    // still shows that digest gives the same, as long as what else the match reads has
    // not moved: the catalogue does not during a fix, whether each rom is found anywhere
    // is checked against the file's placeholders, and a plain file, whose surplus flag
    // follows the other copies of its rom, is always matched again.
    std::unordered_map<const TFile*, uint64_t> settled_;
};

}  // namespace qm
