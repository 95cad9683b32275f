// The two dispatchers (single steps, file commands), the change-case entry and the
// archive test. The file command routines are in FileCommandsShell.cpp.
#include "ui/commands/FileCommands.h"

#include <algorithm>
#include <exception>

#include "archive/FilesTools.h"
#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/commands/FileCommandsSupport.h"

namespace qm {

std::string CommandErrorText(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

namespace {

void Info(const std::string& text) { UiHooks().MessageDlg(text, TMsgDlgType::mtInformation, mbOK); }
void ErrorBox(const std::string& text) { UiHooks().MessageDlg(text, TMsgDlgType::mtError, mbOK); }

// Runs one part of a command's ending; a failure is shown and the ending goes on.
void Guarded(const std::function<void()>& work) {
    try {
        work();
    } catch (...) {
        ErrorBox(CommandErrorText(std::current_exception()));
    }
}

}  // namespace

// ---- One command's frame ---------------------------------------------------------------
//
// Open for the whole command: the objects a repair drops stay valid, the databases'
// progress goes to nobody (the commands drive the progress window themselves), the
// remove events prune the command's lists, and the hourglass and the busy flag are up.
// Everything is put back however the command ends.
class TFileCommands::TRun {
public:
    explicit TRun(TFileCommands& owner)
        : owner_(owner),
          scope_(owner.filesBd_),
          romsInfos_(owner.romsBd_.OnInfos),
          romsProgress_(owner.romsBd_.OnProgress),
          filesInfos_(owner.filesBd_.OnInfos),
          filesProgress_(owner.filesBd_.OnProgress),
          removeFile_(owner.filesBd_.OnRemoveFile),
          removeRomFile_(owner.filesBd_.OnRemoveRomFile) {
        TRomsBd& roms = owner.romsBd_;
        TFilesBd& files = owner.filesBd_;
        roms.OnInfos = nullptr;
        roms.OnProgress = nullptr;
        files.OnInfos = nullptr;
        files.OnProgress = nullptr;
        files.OnRemoveFile = [&owner, before = removeFile_](TFile* file) {
            if (before) before(file);
            owner.PruneFile(file);
        };
        files.OnRemoveRomFile = [&owner, before = removeRomFile_](TRomFile* romFile) {
            if (before) before(romFile);
            owner.PruneRomFile(romFile);
        };
        if (owner.OnBusy) owner.OnBusy(true);
    }
    ~TRun() {
        owner_.StopProgress();
        owner_.ClearAbortFlags();
        TRomsBd& roms = owner_.romsBd_;
        TFilesBd& files = owner_.filesBd_;
        roms.OnInfos = romsInfos_;
        roms.OnProgress = romsProgress_;
        files.OnInfos = filesInfos_;
        files.OnProgress = filesProgress_;
        files.OnRemoveFile = removeFile_;
        files.OnRemoveRomFile = removeRomFile_;
        // The lists point at objects freed when the command scope ends.
        owner_.SelectedRoms.clear();
        owner_.SelectedFiles.clear();
        owner_.removedFiles_.clear();
        owner_.removedRoms_.clear();
        if (owner_.OnBusy) owner_.OnBusy(false);
    }
    TRun(const TRun&) = delete;
    TRun& operator=(const TRun&) = delete;

private:
    TFileCommands& owner_;
    TFilesBd::TCommandScope scope_;
    TBusyCursor cursor_;
    TInfosEvent romsInfos_;
    TProgressEvent romsProgress_;
    TInfosEvent filesInfos_;
    TProgressEvent filesProgress_;
    TRemoveFileEvent removeFile_;
    TRemoveRomFileEvent removeRomFile_;
};

TFileCommands::TFileCommands(TRomsBd& romsBd, TFilesBd& filesBd) : romsBd_(romsBd), filesBd_(filesBd) {}

void TFileCommands::Log(const std::string& text) const {
    if (OnLog) OnLog(text);
}

void TFileCommands::ClearAbortFlags() {
    romsBd_.SetAbort(false);
    filesBd_.Paths().Abort = false;
}

bool TFileCommands::Cancelled() const { return filesBd_.Paths().Abort || romsBd_.Abort(); }

void TFileCommands::CheckCancel() {
    if (Cancelled()) throw filesbd::EAbortOperation(_("Operation aborted."));
}

bool TFileCommands::ReadOnlyFolder(const std::string& folder) const {
    // A folder still to be created is judged by the nearest one that exists.
    std::string existing = folder;
    while (existing.size() > 1 && existing.back() == '/') existing.pop_back();
    while (!existing.empty() && !FolderExists(existing)) {
        const auto cut = existing.find_last_of('/');
        existing = cut == std::string::npos || cut == 0 ? std::string("/") : existing.substr(0, cut);
        if (existing == "/") break;
    }
    if (existing.empty()) return true;
    if (IsReadOnlyPath) return IsReadOnlyPath(existing);
    if (qm::IsReadOnlyPath(existing)) return true;
    // Network mounts may grant in their permission bits what the server refuses: a
    // trial file tells.
    std::string trial;
    if (CreateSiblingTemp(existing + "/quarmelle-probe", trial) != 0) return true;
    Fs().Unlink(trial);
    return false;
}

bool TFileCommands::Confirm(const std::string& question) const {
    return UiHooks().MessageDlg(question + "\n" + _("Continue ?"), TMsgDlgType::mtInformation, mbOK | mbCancel) == mrOk;
}

void TFileCommands::StartProgress(int maximum) {
    if (Progress.SetWaitString) Progress.SetWaitString("");
    if (Progress.SetShowCancelButton) Progress.SetShowCancelButton(true);
    if (Progress.SetMax) Progress.SetMax(maximum);
    if (Progress.SetPosition) Progress.SetPosition(0);
    if (Progress.Start) Progress.Start();
    progressUp_ = true;
}

void TFileCommands::StopProgress() {
    if (!progressUp_) return;
    progressUp_ = false;
    if (Progress.Stop) Progress.Stop();
}

void TFileCommands::SetWait(const std::string& text) {
    if (Progress.SetWaitString) Progress.SetWaitString(text);
}

void TFileCommands::StepIt() {
    if (Progress.StepIt) Progress.StepIt();
}

void TFileCommands::PruneFile(TFile* file) {
    removedFiles_.insert(file);
    for (const auto& entry : file->RomFiles) removedRoms_.insert(entry.romFile.get());
}

void TFileCommands::PruneRomFile(TRomFile* romFile) { removedRoms_.insert(romFile); }

// A command routine's clauses: a cancel ends it with what it did (-1 for nothing), any
// other failure goes on to the dispatcher's box; the database is matched again either way.
void TFileCommands::RefreshAfterCommand(TPath* path, bool skipItself, bool counters) {
    if (path != nullptr) {
        Guarded([path, skipItself] { path->Refresh(false, skipItself, false); });
        Guarded([path] { path->SaveCache(); });
    }
    Guarded([this] { filesBd_.Paths().MatchAll(); });
    // Matching again changes rom statuses, so the game states follow.
    Guarded([this] { romsBd_.RecalculateStatus(); });
    if (OnRebuildTree) Guarded(OnRebuildTree);
    if (counters && OnUpdateCounters) Guarded(OnUpdateCounters);
}

int TFileCommands::AbortOrRaise(int done) {
    const std::exception_ptr error = std::current_exception();
    ClearAbortFlags();
    Guarded([this] { filesBd_.Paths().MatchAll(); });
    if (IsAbortError(error)) return done == 0 ? -1 : done;
    partDone_ = done;
    std::rethrow_exception(error);
}

// ---- Single steps --------------------------------------------------------------------

TCommandResult TFileCommands::RunFixStep(int mode, const TCommandSelection& selection) {
    TCommandResult result;
    static const TFixStep kSteps[] = {TFixStep::RenameRoms,  TFixStep::RemoveUselessFiles, TFixStep::RemoveUselessRoms,
                                      TFixStep::ImportRoms,  TFixStep::RenameFiles,        TFixStep::CreateDummyRoms,
                                      TFixStep::ReZip};
    if (mode < 0 || mode > stReZip) return result;
    if (OnCheckPathsModified && !OnCheckPathsModified()) return result;
    const bool romMode = mode == stRenameRoms || mode == stRemoveUselessRoms || mode == stImportRoms ||
                         mode == stCreateDummy;
    std::vector<TRomFile*> roms;
    std::vector<TFile*> files;
    if (romMode)
        roms = StepRoms(selection);
    else
        files = StepFiles(selection);
    if (roms.empty() && files.empty()) {
        Info(_("No items selected!"));
        return result;
    }
    TPath* path = romMode ? roms.front()->File->Path : files.front()->Path;
    {
        TRun run(*this);
        TFixPipeline pipeline(romsBd_, filesBd_, TFixSwitches{}, ArchivePath ? ArchivePath() : std::string());
        pipeline.Progress = Progress;
        pipeline.OnLog = OnLog;
        pipeline.OnRebuildTree = OnRebuildTree;
        pipeline.OnUpdateCounters = OnUpdateCounters;
        pipeline.SelectedRoms = std::move(roms);
        pipeline.SelectedFiles = std::move(files);
        bool raised = false;
        try {
            result.done = pipeline.RunStep(kSteps[mode], result.errors, mode == stRemoveUselessRoms);
        } catch (...) {
            raised = true;
            result.errors = 1;
            // What was being done to which file, and the failures met before.
            ErrorBox(pipeline.EndingText(std::current_exception()));
        }
        StopProgress();
        if (result.done + result.errors == 0) {
            Info(_("No fix done !"));
        } else {
            RefreshAfterCommand(path, true, false);
        }
        // A step that went on past a failure says so, as the whole fix does; one that
        // ended on it has shown its error already.
        if (!raised && (result.errors > 0 || pipeline.FixError))
            UiHooks().MessageDlg(pipeline.NotFixedText(), TMsgDlgType::mtWarning, mbOK);
    }
    if (result.done + result.errors != 0 && OnScrollToSelection) OnScrollToSelection();
    return result;
}

// ---- File commands -------------------------------------------------------------------

TCommandResult TFileCommands::RunShellOperation(int mode, int items, const TCommandSelection& selection) {
    TCommandResult result;
    if (mode < smMove || mode > smDatafileCase) return result;
    SelectedRoms.clear();
    SelectedFiles.clear();
    TShellGather gathered;
    {
        TBusyCursor cursor;
        gathered = GatherShellSelection(mode, items, selection);
    }
    if (gathered.outcome == TShellGather::NoItems) {
        Info(_("No items selected!"));
        return result;
    }
    if (gathered.outcome == TShellGather::NothingToDo) {
        Info(_("Nothing to do"));
        return result;
    }
    TPath* path = !gathered.roms.empty() ? gathered.roms.front()->File->Path : gathered.files.front()->Path;
    if (path != nullptr) {
        while (!FolderExists(path->GetPath())) {
            const int answer = UiHooks().MessageDlg(Fmt(_("Volume %1 not available"), {path->GetVolumeLabel()}),
                                                    TMsgDlgType::mtError, mbAbort | mbRetry);
            if (answer != mrRetry) break;
        }
        if (!FolderExists(path->GetPath())) return result;
    }
    {
        TRun run(*this);
        struct TListChange {
            const std::function<void(bool)>& suspend;
            explicit TListChange(const std::function<void(bool)>& s) : suspend(s) {
                if (suspend) suspend(true);
            }
            ~TListChange() {
                if (suspend) suspend(false);
            }
        } listChange(OnSuspendListChange);
        SelectedRoms = std::move(gathered.roms);
        SelectedFiles = std::move(gathered.files);
        partDone_ = 0;
        try {
            switch (mode) {
                case smMove: result.done = ShellMoveFiles(result.errors); break;
                case smDelete: result.done = ShellDeleteFiles(result.errors); break;
                case smCopy: result.done = ShellCopyFiles(result.errors); break;
                default: result.done = ShellChangeCase(CaseRuleOfMode(mode), result.errors); break;
            }
        } catch (...) {
            StopProgress();
            ErrorBox(CommandErrorText(std::current_exception()));
        }
        StopProgress();
        // A command that failed part-way changed the disk before it stopped.
        if (result.done != 0 || partDone_ > 0) {
            RefreshAfterCommand(path, false, true);
        }
    }
    if (result.done + result.errors != 0 && OnScrollToSelection) OnScrollToSelection();
    return result;
}

TCommandResult TFileCommands::ActChangeCaseExecute(const TCommandSelection& selection) {
    if (!AskChangeCase) return {};
    const TChangeCaseResult answer = AskChangeCase();
    if (!answer.Accepted) return {};
    return RunShellOperation(answer.Choice.Mode(), answer.Choice.Items(), selection);
}

// ---- Archive test --------------------------------------------------------------------

int TFileCommands::ActTestFilesExecute(const TCommandSelection& selection) {
    SelectedFiles.clear();
    damaged_.clear();
    std::vector<TFile*> files;
    {
        TBusyCursor cursor;
        files = StepFiles(selection);
    }
    if (files.empty()) {
        Info(_("No items selected!"));
        return 0;
    }
    int corrupted = 0;
    {
        TRun run(*this);
        SelectedFiles = files;
        TPath* firstPath = files.front()->Path;
        std::exception_ptr failure;
        try {
            StartProgress(static_cast<int>(files.size()));
            for (TFile* file : files) {
                CheckCancel();
                if (removedFiles_.count(file) != 0) continue;
                SetWait(Fmt(_("Testing %1"), {file->Name}));
                if (file->TestArchive()) {
                    ++corrupted;
                    if (file->HasError()) {
                        damaged_.push_back({file->Name, std::string(), file->ErrorText});
                    } else {
                        for (const auto& entry : file->RomFiles)
                            if (entry.romFile->HasError())
                                damaged_.push_back({file->Name, entry.romFile->StoredName(), entry.romFile->ErrorText()});
                    }
                }
                StepIt();
            }
        } catch (...) {
            failure = std::current_exception();
        }
        StopProgress();
        for (const TDamagedEntry& d : damaged_)
            Log("Corrupted " + d.file + (d.entry.empty() ? "" : "/" + d.entry) + ": " + d.reason);
        // Each damaged entry is named with its reason, so the user knows what to mend.
        std::string text = Fmt(_("%1 files corrupted."), {std::to_string(corrupted)});
        constexpr size_t kShown = 10;
        for (size_t i = 0; i < damaged_.size() && i < kShown; ++i) {
            const TDamagedEntry& d = damaged_[i];
            text += "\n" + d.file + (d.entry.empty() ? "" : "/" + d.entry) + ": " + d.reason;
        }
        if (damaged_.size() > kShown) text += "\n...";
        Info(text);
        if (corrupted > 0 && firstPath != nullptr) Guarded([firstPath] { firstPath->SaveCache(); });
        if (failure != nullptr) {
            if (IsAbortError(failure)) {
                UiHooks().MessageDlg(_("Operation aborted."), TMsgDlgType::mtWarning, mbOK);
                ProcessPendingMessages(true);
                ClearAbortFlags();
            } else {
                Guarded([this] { filesBd_.Paths().MatchAll(); });
                ErrorBox(CommandErrorText(failure));
            }
        }
        filesBd_.Paths().Abort = false;
        Guarded([this] { romsBd_.RecalculateStatus(); });
        if (OnRebuildTree) Guarded(OnRebuildTree);
        if (OnUpdateCounters) Guarded(OnUpdateCounters);
    }
    if (OnUpdateActions) OnUpdateActions();
    return corrupted;
}

}  // namespace qm
