// The one-button repair: the chosen files through the enabled repair steps in order.
#include "ui/commands/FixPipeline.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "archive/FilesTools.h"
#include "archive/archive.h"
#include "archive/archivemanager.h"
#include "archive/stringsTools.h"
#include "catalogue/Emulator.h"
#include "catalogue/RomsBd.h"
#include "filesdb/RomCopyIndex.h"
#include "filesdb/filesBd.h"
#include "platform/Exception.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

TFixSwitches TFixSwitches::FromEmulator(const TEmulator& e) {
    TFixSwitches s;
    s.renameFiles = e.DoRenameFiles();
    s.removeRoms = e.DoRemoveRoms();
    s.renameRoms = e.DoRenameRoms();
    s.findRoms = e.DoFindRoms();
    s.removeFiles = e.DoRemoveFiles();
    s.createDummy = e.DoCreateDummy();
    s.reZip = e.DoReZip();
    return s;
}

namespace {

// How a failure of one candidate is taken, by the class of what was raised.
enum class TFailure { Archive, Fatal, Abort, Ignore, Other };

template <class... Classes>
bool IsOneOf(const Exception& e) {
    return ((dynamic_cast<const Classes*>(&e) != nullptr) || ...);
}

TFailure Classify(std::exception_ptr error, std::string& text) {
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        text = e.Message();
        if (IsOneOf<archive::EError, archive::ECorrupted>(e)) return TFailure::Archive;
        if (IsOneOf<archive::EMemoryError, archive::ESystemError, archive::EADiskFull, EDiskFull>(e))
            return TFailure::Fatal;
        if (IsOneOf<EAbortOperation>(e)) return TFailure::Abort;
        if (IsOneOf<filesbd::EIgnoreFile>(e)) return TFailure::Ignore;
        return TFailure::Other;
    } catch (const std::exception& e) {
        text = e.what();
        return TFailure::Other;
    } catch (...) {
        text = "Unknown error";
        return TFailure::Other;
    }
}

// What a step does with a failed candidate.
enum class TItemAction {
    Count,          // errors + 1, next
    Propagate,      // to the step's own clauses
    FlagPropagate,  // FixError, then to the step's clauses
    FlagNext,       // FixError, next (no count, no box)
    BoxFlag,        // FixError, abort flags cleared, box, errors + 1, next
    Box,            // abort flags cleared, box, errors + 1, next
};

// The per-candidate clauses of each step; the rename of roms inside a file ignores its
// failures apart from a cancel and is not in the table.
TItemAction ItemAction(TFixStep step, TFailure failure) {
    if (failure == TFailure::Archive) return TItemAction::Count;
    if (failure == TFailure::Fatal) return TItemAction::Propagate;
    switch (step) {
        case TFixStep::RenameFiles:
        case TFixStep::ReZip:
            return failure == TFailure::Abort ? TItemAction::FlagPropagate : TItemAction::BoxFlag;
        case TFixStep::ImportRoms:
        case TFixStep::CreateDummyRoms:
            if (failure == TFailure::Abort) return TItemAction::FlagPropagate;
            return failure == TFailure::Ignore ? TItemAction::FlagNext : TItemAction::BoxFlag;
        case TFixStep::RemoveUselessRoms:
            return TItemAction::Propagate;
        case TFixStep::RemoveUselessFiles:
            return failure == TFailure::Abort ? TItemAction::Propagate : TItemAction::Box;
        case TFixStep::RenameRoms:
            break;
    }
    return TItemAction::Propagate;
}

// What a step does to one candidate, for the text of a failure that ends the fix.
std::string OperationText(TFixStep step) {
    switch (step) {
        case TFixStep::RenameFiles: return _("Renaming file %1");
        case TFixStep::RemoveUselessRoms: return _("Removing rom %1");
        case TFixStep::RenameRoms: return _("Renaming roms of %1");
        case TFixStep::ImportRoms: return _("Importing rom %1");
        case TFixStep::RemoveUselessFiles: return _("Removing file %1");
        case TFixStep::CreateDummyRoms: return _("Creating rom %1");
        case TFixStep::ReZip: return _("Rezipping file %1");
    }
    return "%1";
}

std::string WhereText(const TFile* file) { return file->FullPath; }
std::string WhereText(const TRomFile* romFile) {
    const TFile* file = romFile->File;
    if (file->IsPlain()) return file->FullPath;
    return file->FullPath + (file->IsZip() ? "/" : "") + romFile->StoredName();
}

// What a failure says, with the archive it concerns when the place does not name it
// already (a copy into another set fails in that set's zip).
std::string ReasonOf(std::exception_ptr error, const std::string& where) {
    std::string text;
    Classify(error, text);
    try {
        std::rethrow_exception(error);
    } catch (const archive::EArchiveException& e) {
        if (!e.ArchiveName.empty() && where.find(e.ArchiveName) == std::string::npos &&
            text.find(e.ArchiveName) == std::string::npos)
            text += " (" + e.ArchiveName + ")";
    } catch (...) {
    }
    return text;
}

// The reason a file or rom file keeps for a refusal, else the step's own.
std::string RecordedOr(const std::string& recorded, const std::string& otherwise) {
    return recorded.empty() ? otherwise : recorded;
}

std::string KeptText() { return _("Its only copy could not be put in its place: it was kept."); }

// How many failures the box that ends a fix lists; the log has them all.
constexpr size_t kFailuresShown = 20;

template <class T>
bool Erase(std::vector<T*>& list, const T* item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

}  // namespace

size_t TAddressSet::Home(uintptr_t key) const {
    // Objects lie at least 16 bytes apart: the low bits tell nothing.
    uint64_t hash = static_cast<uint64_t>(key >> 4) * 0x9e3779b97f4a7c15ULL;
    hash ^= hash >> 29;
    return static_cast<size_t>(hash) & (slots_.size() - 1);
}

bool TAddressSet::Contains(const void* address) const {
    if (slots_.empty()) return false;
    const auto key = reinterpret_cast<uintptr_t>(address);
    for (size_t i = Home(key);; i = (i + 1) & (slots_.size() - 1)) {
        if (slots_[i] == key) return true;
        if (slots_[i] == kEmpty) return false;
    }
}

bool TAddressSet::Insert(const void* address) {
    // At most three quarters of the table in use, so that every probe meets a free slot.
    if ((used_ + 1) * 4 > slots_.size() * 3) Rehash(std::max<size_t>(16, (size_ + 1) * 2));
    const auto key = reinterpret_cast<uintptr_t>(address);
    size_t gone = SIZE_MAX;
    for (size_t i = Home(key);; i = (i + 1) & (slots_.size() - 1)) {
        if (slots_[i] == key) return false;
        if (slots_[i] == kGone && gone == SIZE_MAX) gone = i;
        if (slots_[i] != kEmpty) continue;
        if (gone != SIZE_MAX)
            i = gone;
        else
            ++used_;
        slots_[i] = key;
        ++size_;
        return true;
    }
}

bool TAddressSet::Erase(const void* address) {
    if (slots_.empty()) return false;
    const auto key = reinterpret_cast<uintptr_t>(address);
    for (size_t i = Home(key);; i = (i + 1) & (slots_.size() - 1)) {
        if (slots_[i] == kEmpty) return false;
        if (slots_[i] != key) continue;
        slots_[i] = kGone;
        --size_;
        return true;
    }
}

void TAddressSet::Clear() {
    std::vector<uintptr_t>().swap(slots_);
    size_ = 0;
    used_ = 0;
}

void TAddressSet::Rehash(size_t capacity) {
    size_t slots = 16;
    while (slots * 3 < capacity * 4) slots *= 2;
    std::vector<uintptr_t> old(slots, kEmpty);
    old.swap(slots_);
    size_ = 0;
    used_ = 0;
    for (const uintptr_t key : old)
        if (key != kEmpty && key != kGone) Insert(reinterpret_cast<const void*>(key));
}

TFixPipeline::TFixPipeline(TRomsBd& romsBd, TFilesBd& filesBd, TFixSwitches switches, std::string archivePath)
    : romsBd_(romsBd), filesBd_(filesBd), switches_(switches), archivePath_(std::move(archivePath)) {}

void TFixPipeline::Log(const std::string& text) const {
    if (OnLog) OnLog(text);
}

void TFixPipeline::LogRomCount() const { Log(std::to_string(SelectedRomCount()) + " roms selected"); }
void TFixPipeline::LogFileCount() const {
    Log(std::to_string(SelectedFiles.size() - deadFiles_) + " files selected");
}

void TFixPipeline::ClearAbortFlags() {
    romsBd_.SetAbort(false);
    filesBd_.Paths().Abort = false;
}

// The per-candidate clauses, from inside a step's catch: the failure is counted, flagged
// or shown and the step goes on with the next candidate, or it goes on to the step.
void TFixPipeline::ItemFailed(TFixStep step, int& errors) {
    std::string text;
    const std::exception_ptr error = std::current_exception();
    const TItemAction action = ItemAction(step, Classify(error, text));
    // Every failure the step goes on past is kept with its file and reason; one that
    // ends the fix is told by the box that ends it.
    if (action == TItemAction::Count || action == TItemAction::FlagNext || action == TItemAction::Box ||
        action == TItemAction::BoxFlag)
        Failed(failedAt_, ReasonOf(error, failedAt_));
    switch (action) {
        case TItemAction::Count:
            ++errors;
            FixError = true;
            return;
        case TItemAction::FlagNext:
            FixError = true;
            return;
        case TItemAction::FlagPropagate:
            FixError = true;
            throw;
        case TItemAction::Box:
        case TItemAction::BoxFlag:
            FixError = true;
            ClearAbortFlags();
            ShowError(failedAt_.empty() ? text : failedAt_ + ": " + ReasonOf(error, failedAt_));
            ++errors;
            return;
        case TItemAction::Propagate:
            break;
    }
    throw;
}

void TFixPipeline::Refused(int& errors, const std::string& where, const std::string& reason) {
    ++errors;
    FixError = true;
    Failed(where, reason);
}

void TFixPipeline::Failed(const std::string& where, const std::string& reason) {
    std::string line = where.empty() ? reason : where + ": " + reason;
    Log(_("Not fixed: ") + line);
    failures_.push_back(std::move(line));
}

std::string TFixPipeline::FailureList(size_t skip) const {
    std::vector<const std::string*> lines;
    for (size_t i = 0; i < failures_.size(); ++i)
        if (i != skip) lines.push_back(&failures_[i]);
    if (lines.empty()) return {};
    std::string text = "\n";
    for (size_t i = 0; i < lines.size() && i < kFailuresShown; ++i) text += "\n" + *lines[i];
    if (lines.size() > kFailuresShown)
        text += "\n" + Fmt(_("and %1 more"), {std::to_string(lines.size() - kFailuresShown)});
    return text;
}

std::string TFixPipeline::NotFixedText() const {
    return _("Some files has not been fixed.") + FailureList(std::string::npos);
}

std::string TFixPipeline::EndingText(std::exception_ptr error) const {
    std::string text;
    size_t skip = std::string::npos;
    if (!rewriteFailure_.empty()) {
        text = rewriteFailure_;  // what failed first, whatever the step met after it
        skip = endingFailure_;  // listed already as a failure: named once
    } else if (Classify(error, text) != TFailure::Abort && !failedAt_.empty()) {
        // A cancel is no failure of a file.
        text = failedAt_ + ": " + ReasonOf(error, failedAt_);
    }
    return text + FailureList(skip);
}

bool TFixPipeline::Removed(const TFile* file) const { return removedFiles_.count(file) != 0; }

namespace {

uint64_t Mix(uint64_t seed, uint64_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 12) + (seed >> 4);
    return seed * 0xff51afd7ed558ccdULL;
}

uint64_t Mix(uint64_t seed, std::string_view text) { return Mix(seed, std::hash<std::string_view>{}(text)); }

uint64_t Mix(uint64_t seed, const void* pointer) { return Mix(seed, reinterpret_cast<uintptr_t>(pointer)); }

// Everything a match of the file reads from it or sets on it.
uint64_t MatchDigest(const TFile& file) {
    uint64_t d = Mix(Mix(Mix(Mix(0, file.ShortName), file.ErrorText), file.Clone), file.Game);
    d = Mix(Mix(d, file.Kind), static_cast<uint64_t>(file.RomFiles.Count()));
    for (const auto& entry : file.RomFiles) {
        const TRomFile& r = *entry.romFile;
        d = Mix(Mix(Mix(Mix(d, &r), r.Rom), r.CloneRom), entry.key);
        d = Mix(d, (uint64_t{r.Status} << 16) | (uint64_t{r.Duplicated} << 8) | uint64_t{r.SharesName});
        d = Mix(Mix(Mix(Mix(d, r.StoredName()), r.Name()), r.CrcDigest()), static_cast<uint64_t>(r.Size));
        d = Mix(Mix(Mix(d, r.Extension()), r.SuggestedExtension()), r.ErrorText());
    }
    return d;
}

// Whether each placeholder still tells rightly whether its rom is found anywhere.
bool PlaceholdersCurrent(const TFile& file) {
    for (const auto& entry : file.RomFiles) {
        const TRomFile& r = *entry.romFile;
        if (!r.IsPlaceholder()) continue;
        if (r.CloneRom == nullptr || r.CloneRom->Rom == nullptr) return false;
        if ((r.CloneRom->Rom->MatchCount < 1) != (r.Status == rsMissing)) return false;
    }
    return true;
}

}  // namespace

void TFixPipeline::MatchFile(TFile* file) {
    // A plain file's Duplicated flag depends on other files: it is always matched again,
    // so no digest of it is kept.
    if (file->IsPlain()) {
        file->Match();
        return;
    }
    const uint64_t now = MatchDigest(*file);
    const auto known = settled_.find(file);
    if (known != settled_.end() && known->second == now && PlaceholdersCurrent(*file)) return;
    file->Match();
    if (MatchDigest(*file) == now)
        settled_[file] = now;
    else if (known != settled_.end())
        settled_.erase(file);
}

void TFixPipeline::MatchAll() {
    TPathsList& paths = filesBd_.Paths();
    for (int p = 0; p < paths.Count(); ++p) {
        const TFilesList& files = paths.GetPath(p)->Files();
        for (int i = 0; i < files.Count(); ++i) MatchFile(files[i]);
    }
}

void TFixPipeline::ShowError(const std::string& text) const { UiHooks().MessageDlg(text, TMsgDlgType::mtError, mbOK); }

void TFixPipeline::BeginStep() {
    failedAt_.clear();
    rewritingStep_ = TFixStep::RenameFiles;  // until the step names what it does
    if (Progress.SetWaitString) Progress.SetWaitString(_("Scanning..."));
    if (Progress.SetPosition) Progress.SetPosition(0);
    if (Progress.SetShowCancelButton) Progress.SetShowCancelButton(true);
}

TFixPipeline::TStepScope::TStepScope(TFixPipeline& owner) : owner_(owner), caches_(owner.filesBd_) {
    // Work files come and go without waiting for the archives.
    rewrites_.AddScratchFolder(owner.filesBd_.TempDir());
    if (const TArchiveManager* manager = owner.filesBd_.ArchiveManager()) rewrites_.AddScratchFolder(manager->TempDir);
    owner_.BeginStep();
    owner_.CompactSelection();
    if (owner_.keepIndex_) {
        owner_.selectedByCrc_.clear();
        owner_.crcIndexed_ = false;
    } else {
        owner_.IndexSelection();
    }
}

TFixPipeline::TStepScope::~TStepScope() {
    owner_.CompactSelection();
    owner_.RewritesFailed(rewrites_.Commit());
}

void TFixPipeline::Doing(TFixStep step, const std::string& where) {
    rewritingStep_ = step;
    if (TRewriteBatch* batch = TRewriteBatch::Current()) batch->SetOperation(Fmt(OperationText(step), {where}));
}

void TFixPipeline::RewritesFailed(const std::vector<TRewriteBatch::TFailure>& failures) {
    for (const TRewriteBatch::TFailure& failure : failures) {
        const std::string& archive = failure.name;
        // A file someone else put in place meanwhile is theirs: it stays, and is said so.
        const std::string why = failure.changed ? Fmt(_("%1 was changed during the fix: it was left as it is now."),
                                                      {archive})
                                                : SysErrorMessage(failure.err);
        Log(failure.changed ? why : "Can't write file " + archive);
        ++errorTotal_;
        ++rewritesLost_;
        FixError = true;
        const std::string where = failure.operation.empty() ? archive : failure.operation;
        // Taken as the step takes a failed write: renaming roms goes on past it, the other
        // steps end the fix with the first one, told as the operation that asked for it.
        if (rewriteFailure_.empty() && rewritingStep_ != TFixStep::RenameRoms) {
            rewriteFailure_ = where + ": " + why;
            endingFailure_ = failures_.size();
        }
        Failed(where, why);
        // The database took the rewrite for done: the archive is read again as it is.
        const size_t cut = archive.find_last_of('/');
        const int index = filesBd_.Paths().IndexOf(archive.substr(0, cut + 1));
        if (cut == std::string::npos || index < 0) continue;
        TPath* path = filesBd_.Paths().GetPath(index);
        TFile* file = path->Files().Find(archive.substr(cut + 1));
        if (file == nullptr) continue;
        const uint8_t kind = file->Kind;
        // Read again, not created by the fix: no second round for it.
        const bool fullPath = FixFullPath;
        FixFullPath = false;
        path->DropFile(file);
        try {
            if (TFile* again = path->AddFile(archive, kind)) again->Match();
        } catch (...) {
            // Unreadable now: it stays out of the list, as a scan would leave it.
        }
        FixFullPath = fullPath;
        NoteWritten(path);
    }
}

void TFixPipeline::EndIfRewriteFailed() const {
    if (!rewriteFailure_.empty()) throw archive::ESystemError(rewriteFailure_);
}

void TFixPipeline::IndexSelection() {
    romSet_.Clear();
    fileSet_.Clear();
    romsOfFile_.clear();
    for (TRomFile* romFile : SelectedRoms) {
        romSet_.Insert(romFile);
        romsOfFile_[romFile->File].push_back(romFile);
    }
    for (const TFile* file : SelectedFiles) fileSet_.Insert(file);
    selectedByCrc_.clear();
    crcIndexed_ = false;
    deadRoms_ = 0;
    deadFiles_ = 0;
}

void TFixPipeline::CompactSelection() {
    if (deadRoms_ > 0) std::erase_if(SelectedRoms, [this](const TRomFile* r) { return !romSet_.Contains(r); });
    if (deadFiles_ > 0) std::erase_if(SelectedFiles, [this](const TFile* f) { return !fileSet_.Contains(f); });
    deadRoms_ = 0;
    deadFiles_ = 0;
}

void TFixPipeline::NoteWritten(TPath* path) {
    if (path != nullptr) filesBd_.DeferCacheSave(path);
}

// Every Start of the progress window is undone by its Stop however the step ends, so
// that the window hides and the main window is enabled again.
void TFixPipeline::TProgressScope::Start(int maximum) {
    TFixProgress& progress = owner_.Progress;
    if (progress.SetMax) progress.SetMax(maximum);
    if (progress.SetPosition) progress.SetPosition(0);
    if (progress.Start) progress.Start();
    started_ = true;
}

TFixPipeline::TProgressScope::~TProgressScope() {
    if (started_ && owner_.Progress.Stop) owner_.Progress.Stop();
}

void TFixPipeline::SetWait(const std::string& text) {
    if (Progress.SetWaitString) Progress.SetWaitString(text);
}

void TFixPipeline::StepIt() {
    if (Progress.StepIt) Progress.StepIt();
}

namespace {

std::string_view NameOf(const TFile& file) { return file.Name; }
std::string_view NameOf(const TRomFile& romFile) { return romFile.Name(); }

}  // namespace

template <class T, class Wanted, class Work>
void TFixPipeline::EachCandidate(TFixStep step, TProgressScope& progress, const std::vector<T*>& candidates,
                                 const std::string& waitText, Wanted wanted, Work work, int& errors) {
    progress.Start(static_cast<int>(candidates.size()));
    for (T* item : candidates) {
        SetWait(Fmt(waitText, {NameOf(*item)}));
        StepIt();
        if (!wanted(item)) continue;
        // Read now: the failure may have freed or renamed the candidate.
        const std::string where = WhereText(item);
        Doing(step, where);
        try {
            work(item);
        } catch (...) {
            failedAt_ = Fmt(OperationText(step), {where});
            ItemFailed(step, errors);
            failedAt_.clear();
        }
    }
}

bool TFixPipeline::RomSelected(const TRomFile* romFile) const { return romSet_.Contains(romFile); }

void TFixPipeline::IndexCrcOf(const TRomFile* romFile) {
    if (!crcIndexed_) return;
    const std::string crc = LowerCase(romFile->Crc());
    selectedByCrc_[crc].push_back(romFile);
    const std::string complement = LowerCase(ComplementCrcFast(romFile->Crc()));
    if (complement != crc) selectedByCrc_[complement].push_back(romFile);
}

bool TFixPipeline::SelectionHolds(const TRom* rom) {
    const auto holds = [this, rom](const TRomFile* e) {
        return RomSelected(e) && !e->IsPlaceholder() && e->GetRom() == rom;
    };
    // A rom without a good dump is given to a rom file by its name, whatever its CRC:
    // only a walk over the selection finds every one.
    bool byName = rom->Kind == rkNoDump || SameText(rom->Crc, kNoDumpCrc) ||
                  SameText(ComplementCrcFast(rom->Crc), kNoDumpCrc);
    for (size_t i = 0; !byName && i < rom->Owners.Count(); ++i) {
        const TCloneRom* owner = rom->Owners[i];
        byName = owner->GetCrcState() == csNoDump ||
                 (owner->MergedSetAlias() != nullptr && owner->MergedSetAlias()->GetCrcState() == csNoDump);
    }
    if (byName) return std::any_of(SelectedRoms.begin(), SelectedRoms.end(), holds);
    if (!crcIndexed_) {
        crcIndexed_ = true;
        for (const TRomFile* romFile : SelectedRoms)
            if (RomSelected(romFile)) IndexCrcOf(romFile);
    }
    for (const std::string& key : {LowerCase(rom->Crc), LowerCase(ComplementCrcFast(rom->Crc))}) {
        const auto found = selectedByCrc_.find(key);
        if (found != selectedByCrc_.end() && std::any_of(found->second.begin(), found->second.end(), holds))
            return true;
    }
    return false;
}
bool TFixPipeline::FileSelected(const TFile* file) const { return fileSet_.Contains(file); }

// Reloads the path itself without matching again (matching follows elsewhere).
void TFixPipeline::RefreshPathOf(TPath* path) {
    if (path != nullptr) path->Refresh(false, false, false);
}

// ---- The step routines --------------------------------------------------------------
//
// Each works on a snapshot of its candidates, since the files database's events change
// the selection lists while it runs, and skips a candidate that has left them.

int TFixPipeline::FixRenameFiles(int& errors) {
    errors = 0;
    int fixed = 0;
    TStepScope stepScope(*this);
    TProgressScope progress(*this);
    std::vector<TFile*> candidates;
    for (TFile* file : SelectedFiles)
        if (!file->HasError() && file->NeedsRename()) candidates.push_back(file);
    if (candidates.empty()) return fixed;
    try {
        EachCandidate(
            TFixStep::RenameFiles, progress, candidates, _("Renaming %1"),
            [this](TFile* file) { return FileSelected(file); },
            [&](TFile* file) {
                const std::string count = std::to_string(SelectedRomCount());
                Log("Rename " + file->Name + " (" + count + " roms selected)");
                const std::string correct = file->GetCorrectName();
                TPath* path = file->Path;
                const uint8_t result = file->RenameOrMerge();
                if (result != 2 && result != 3) {
                    // Nothing renamed: a refusal while the name is still wrong is a
                    // failure; a name an earlier merge already put right is not.
                    if (result == 4 || (!Removed(file) && file->NeedsRename()))
                        Refused(errors, WhereText(file),
                                RecordedOr(file->ErrorText, Fmt(_("Not renamed to %1."), {correct})));
                    return;
                }
                // A merged file has left its path: what it became is the file it was
                // merged into, so that one is logged and matched.
                TFile* now = file;
                if (result == 2) now = path != nullptr ? path->Files().Find(correct) : nullptr;
                if (now != nullptr) {
                    Log("File " + now->Name + " renamed (" + std::to_string(SelectedRomCount()) + " roms selected)");
                    now->Match();
                }
                ++fixed;
            },
            errors);
    } catch (...) {
        if (!IsAbortError(std::current_exception())) FixError = true;
        ClearAbortFlags();
        MatchAll();
        throw;
    }
    return fixed;
}

int TFixPipeline::FixRemoveUselessRoms(int& errors, bool mode) {
    errors = 0;
    int fixed = 0;
    TStepScope stepScope(*this);
    TProgressScope progress(*this);
    std::vector<TRomFile*> candidates;
    for (TRomFile* romFile : SelectedRoms) {
        if (romFile->File->IsUnknown()) continue;
        const bool take = mode ? (romFile->IsUnknown() || romFile->HasError()) : romFile->IsUseless();
        if (take) candidates.push_back(romFile);
    }
    if (candidates.empty()) return fixed;
    try {
        // An earlier removal may have freed a candidate (its file went away).
        EachCandidate(
            TFixStep::RemoveUselessRoms, progress, candidates, _("Moving %1"),
            [this](TRomFile* romFile) { return RomSelected(romFile); },
            [&](TRomFile* romFile) {
                // 0: the only copy could not be put in its place and was kept.
                const std::string where = WhereText(romFile);
                if (romFile->File->RemoveRomFile(romFile, archivePath_) == 0)
                    Refused(errors, where, RecordedOr(romFile->ErrorText(), KeptText()));
                else
                    ++fixed;
            },
            errors);
    } catch (const EDiskFull&) {
        throw;
    } catch (const archive::ESystemError&) {
        throw;
    } catch (...) {
        ClearAbortFlags();
        throw;
    }
    return fixed;
}

int TFixPipeline::FixRenameRoms(int& errors) {
    errors = 0;
    int fixed = 0;
    TStepScope stepScope(*this);
    TProgressScope progress(*this);
    std::vector<TFile*> taken;
    std::unordered_set<const TFile*> takenSet;
    // A file holds many selected roms: matching it again for each finds the same.
    std::unordered_set<const TFile*> matched;
    for (TRomFile* romFile : std::vector<TRomFile*>(SelectedRoms)) {
        TFile* file = romFile->File;
        if (takenSet.count(file) != 0 || file->HasError() || !RomSelected(romFile)) continue;
        if (matched.insert(file).second) MatchFile(file);
        if (RomSelected(romFile) && romFile->NeedsRename() && takenSet.insert(file).second) taken.push_back(file);
    }
    if (taken.empty()) return fixed;
    TFile* first = taken.front();
    try {
        progress.Start(static_cast<int>(taken.size()) - 1);
        for (TFile* file : taken) {
            // The file's selected rom files, in list order.
            std::vector<TRomFile*> selected;
            if (const auto group = romsOfFile_.find(file); group != romsOfFile_.end())
                for (TRomFile* romFile : group->second)
                    if (RomSelected(romFile) && romFile->File == file) selected.push_back(romFile);
            if (!FileSelected(file) && selected.empty()) continue;
            if (file->HasError() || file->HasRomErrors()) continue;
            std::vector<TRomFile*> toRename;
            for (TRomFile* romFile : selected)
                if (romFile->NeedsRename()) toRename.push_back(romFile);
            NoteWritten(file->Path);
            SetWait(Fmt(_("Renaming %1"), {LowerCase(file->Name)}));
            const std::string where = WhereText(file);
            Doing(TFixStep::RenameRoms, where);
            // A rom file takes its new name only when its rename took place: the names
            // before tell which ones did.
            std::vector<std::string> before;
            before.reserve(toRename.size());
            for (const TRomFile* romFile : toRename) before.push_back(romFile->StoredName());
            std::string reason = _("Not renamed.");
            const auto tally = [&] {
                int renamed = 0;
                for (size_t i = 0; i < toRename.size(); ++i)
                    if (toRename[i]->StoredName() != before[i]) ++renamed;
                fixed += renamed;
                for (size_t i = 0; i < toRename.size(); ++i)
                    if (toRename[i]->StoredName() == before[i])
                        Refused(errors, where + (file->IsZip() ? "/" : "") + before[i],
                                RecordedOr(toRename[i]->ErrorText(), reason));
            };
            try {
                file->FixRomNames(toRename);
            } catch (...) {
                failedAt_ = Fmt(OperationText(TFixStep::RenameRoms), {where});
                reason = ReasonOf(std::current_exception(), where);
                // A failed rename is recorded on its rom file; only a cancel ends the step.
                tally();
                if (IsAbortError(std::current_exception())) throw;
                failedAt_.clear();
                FixError = true;
                StepIt();
                continue;
            }
            tally();
            StepIt();
        }
    } catch (...) {
        const bool abort = IsAbortError(std::current_exception());
        if (!abort) {
            ++errors;
            FixError = true;
        }
        ClearAbortFlags();
        MatchAll();
        CompactSelection();
        TPath* path = abort ? (SelectedRoms.empty() ? first->Path : SelectedRoms.front()->File->Path) : first->Path;
        RefreshPathOf(path);
        throw;
    }
    return fixed;
}

int TFixPipeline::FixImportRoms(int& errors) {
    errors = 0;
    int fixed = 0;
    TStepScope stepScope(*this);
    TProgressScope progress(*this);
    std::vector<TRomFile*> candidates;
    for (TRomFile* romFile : SelectedRoms)
        if (!romFile->File->HasError() && romFile->CanBeImported()) candidates.push_back(romFile);
    if (candidates.empty()) return fixed;
    bool noMorePrompts = false;
    // Where the copies lie, read once for the step and kept in step by each import.
    TRomCopyIndex copies(filesBd_.Paths());
    try {
        EachCandidate(
            TFixStep::ImportRoms, progress, candidates, _("Importing %1"),
            [this](TRomFile* romFile) { return RomSelected(romFile) && romFile->CanBeImported(); },
            [&](TRomFile* romFile) {
                TFile* file = romFile->File;
                const std::string where = WhereText(romFile);
                // An import that found no source, or a medium it may not write, adds
                // nothing to the file.
                const int held = file->GetRomFileCount();
                const TRomFile::TImport result = romFile->ImportFrom(noMorePrompts, &copies);
                // A rom no file holds stays missing, which the views show: no failure.
                if (file->GetRomFileCount() > held)
                    ++fixed;
                else if (result != TRomFile::TImport::NoSource)
                    Refused(errors, where,
                            result == TRomFile::TImport::ReadOnly
                                ? _("This disk is read only.")
                                : RecordedOr(file->ErrorText,
                                             RecordedOr(romFile->ErrorText(), _("The rom could not be added."))));
                file->Match();
            },
            errors);
        if (fixed > 0 && switches_.removeRoms) fixed += RemoveLooseCopies(errors);
    } catch (...) {
        if (!IsAbortError(std::current_exception())) FixError = true;
        ClearAbortFlags();
        MatchAll();
        throw;
    }
    return fixed;
}

// A selected plain file whose rom an import has just copied into a set is a surplus
// copy now: it goes as the removal of useless roms would take it out, or the next fix
// would find it to do.
int TFixPipeline::RemoveLooseCopies(int& errors) {
    std::vector<TRomFile*> loose;
    for (TRomFile* romFile : SelectedRoms) {
        if (!romFile->File->IsPlain() || romFile->File->IsUnknown()) continue;
        romFile->File->Match();
        if (romFile->IsUseless()) loose.push_back(romFile);
    }
    int removed = 0;
    for (TRomFile* romFile : loose) {
        // An earlier removal may have taken the candidate's file away.
        if (!RomSelected(romFile)) continue;
        const std::string where = WhereText(romFile);
        Doing(TFixStep::RemoveUselessRoms, where);
        try {
            // 0: the only copy could not be put in its place and was kept.
            if (romFile->File->RemoveRomFile(romFile, archivePath_) == 0)
                Refused(errors, where, RecordedOr(romFile->ErrorText(), KeptText()));
            else
                ++removed;
        } catch (...) {
            failedAt_ = Fmt(OperationText(TFixStep::RemoveUselessRoms), {where});
            ItemFailed(TFixStep::RemoveUselessRoms, errors);
            failedAt_.clear();
        }
    }
    return removed;
}

int TFixPipeline::FixRemoveUselessFiles(int& errors) {
    errors = 0;
    int fixed = 0;
    TStepScope stepScope(*this);
    TProgressScope progress(*this);
    std::vector<TFile*> candidates;
    for (TFile* file : SelectedFiles)
        if (file->IsUnknown()) candidates.push_back(file);
    if (candidates.empty()) return fixed;
    try {
        EachCandidate(
            TFixStep::RemoveUselessFiles, progress, candidates, _("Moving %1"),
            [this](TFile* file) { return FileSelected(file); },
            [&](TFile* file) {
                // Removed only when it left its rom path (a read-only medium keeps it).
                const std::string where = WhereText(file);
                file->Remove(archivePath_);
                if (Removed(file))
                    ++fixed;
                else
                    Refused(errors, where, RecordedOr(file->ErrorText, _("The file could not be moved away.")));
            },
            errors);
    } catch (...) {
        ClearAbortFlags();
        MatchAll();
        if (!IsAbortError(std::current_exception())) throw;
        // A cancel ends this step with what it moved; the fix stops after it.
        cancelled_ = true;
        return fixed == 0 ? -1 : fixed;
    }
    return fixed;
}

int TFixPipeline::FixCreateDummyRoms(int& errors) {
    errors = 0;
    int fixed = 0;
    TStepScope stepScope(*this);
    TProgressScope progress(*this);
    std::vector<TRomFile*> candidates;
    for (TRomFile* romFile : SelectedRoms)
        if (!romFile->File->HasError() && romFile->IsMissingDump()) candidates.push_back(romFile);
    if (candidates.empty()) return fixed;
    const auto afterwards = [this] {
        MatchAll();
        if (OnRebuildTree) OnRebuildTree();
        if (OnUpdateCounters) OnUpdateCounters();
    };
    try {
        EachCandidate(
            TFixStep::CreateDummyRoms, progress, candidates, _("Creating rom %1"),
            [this](TRomFile* romFile) { return RomSelected(romFile) && romFile->IsMissingDump(); },
            [&](TRomFile* romFile) {
                TFile* file = romFile->File;
                const std::string where = WhereText(romFile);
                const int held = file->GetRomFileCount();
                romFile->CreateRom();
                if (file->GetRomFileCount() > held)
                    ++fixed;
                else
                    Refused(errors, where, RecordedOr(romFile->ErrorText(), _("The dummy rom could not be added.")));
            },
            errors);
    } catch (...) {
        if (!IsAbortError(std::current_exception())) FixError = true;
        ClearAbortFlags();
        afterwards();
        throw;
    }
    afterwards();
    return fixed;
}

int TFixPipeline::FixReZip(int& errors) {
    errors = 0;
    int fixed = 0;
    TStepScope stepScope(*this);
    TProgressScope progress(*this);
    std::vector<TFile*> candidates(SelectedFiles);
    if (candidates.empty()) return fixed;
    TPath* firstPath = candidates.front()->Path;
    const auto afterwards = [firstPath] {
        if (firstPath != nullptr) firstPath->SaveCache();
    };
    try {
        EachCandidate(
            TFixStep::ReZip, progress, candidates, _("Rezipping %1"),
            [this](TFile* file) { return FileSelected(file); },
            [&](TFile* file) {
                // Only a zip is compressed again: a folder or plain file is not a fix.
                if (!file->IsZip()) return;
                file->Rezip();
                file->Match();
                ++fixed;
            },
            errors);
    } catch (...) {
        if (!IsAbortError(std::current_exception())) FixError = true;
        ClearAbortFlags();
        MatchAll();
        try {
            afterwards();
        } catch (...) {
        }
        throw;
    }
    afterwards();
    return fixed;
}

int TFixPipeline::RunStep(TFixStep step, int& errors, bool mode) {
    TFilesBd::TCommandScope scope(filesBd_);
    settled_.clear();
    removedFiles_.clear();
    failures_.clear();
    endingFailure_ = std::string::npos;
    failedAt_.clear();
    rewriteFailure_.clear();
    // A step alone still hears what the repairs free, so that a candidate in a zip or
    // file an earlier candidate took away is skipped rather than worked on.
    FixFullPath = false;
    struct TWired {
        TFixPipeline& owner;
        explicit TWired(TFixPipeline& p) : owner(p) { owner.WireEvents(); }
        ~TWired() { owner.UnwireEvents(); }
    } wired(*this);
    switch (step) {
        case TFixStep::RenameFiles: return FixRenameFiles(errors);
        case TFixStep::RemoveUselessRoms: return FixRemoveUselessRoms(errors, mode);
        case TFixStep::RenameRoms: return FixRenameRoms(errors);
        case TFixStep::ImportRoms: return FixImportRoms(errors);
        case TFixStep::RemoveUselessFiles: return FixRemoveUselessFiles(errors);
        case TFixStep::CreateDummyRoms: return FixCreateDummyRoms(errors);
        case TFixStep::ReZip: return FixReZip(errors);
    }
    errors = 0;
    return 0;
}

// ---- The files database's events during a fix ----------------------------------------

void TFixPipeline::FilesBdRemoveFile(TFile* file) {
    Log("remove file " + file->Name + " from list");
    NoteWritten(file->Path);
    if (const auto group = romsOfFile_.find(file); group != romsOfFile_.end()) {
        for (TRomFile* romFile : group->second) {
            if (romFile->File != file || !romSet_.Erase(romFile)) continue;
            Log("Romfile " + std::string(romFile->Name()) + " removed from list");
            ++deadRoms_;
        }
    }
    removedFiles_.insert(file);
    if (fileSet_.Erase(file)) {
        ++deadFiles_;
        Log("File " + file->Name + " removed from list");
    }
    if (createdSet_.erase(file) != 0) Erase(CreatedFiles, file);
    LogRomCount();
    LogFileCount();
}

void TFixPipeline::FilesBdRemoveRomFile(TRomFile* romFile) {
    Log("remove romfile " + std::string(romFile->Name()) + " from list");
    if (romFile->File != nullptr) NoteWritten(romFile->File->Path);
    if (romSet_.Erase(romFile)) {
        ++deadRoms_;
        Log("Romfile " + std::string(romFile->Name()) + " removed from list");
    }
    LogRomCount();
}

void TFixPipeline::FilesBdCreateFile(TFile* file) {
    NoteWritten(file->Path);
    if (FixFullPath && createdSet_.insert(file).second) CreatedFiles.push_back(file);
}

// A new rom file joins the selection when a selected one (no placeholder) stands for
// the same rom.
void TFixPipeline::FilesBdCreateRomFile(TRomFile* romFile) {
    if (romFile->File != nullptr) NoteWritten(romFile->File->Path);
    if (!FixFullPath || romFile->Status == rsMissing) return;
    // Already selected: a placeholder just filled, now under the CRC it was filled with.
    if (RomSelected(romFile)) {
        IndexCrcOf(romFile);
        return;
    }
    const TRom* rom = romFile->GetRom();
    if (rom == nullptr || !SelectionHolds(rom)) return;
    SelectedRoms.push_back(romFile);
    romSet_.Insert(romFile);
    romsOfFile_[romFile->File].push_back(romFile);
    IndexCrcOf(romFile);
}

// Whoever listened before (the views) still hears of every change, first.
void TFixPipeline::WireEvents() {
    saved_ = {filesBd_.OnRemoveFile, filesBd_.OnRemoveRomFile, filesBd_.OnCreateFile, filesBd_.OnCreateRomFile,
              filesBd_.OnRenameFile};
    filesBd_.OnRemoveFile = [this, before = saved_.removeFile](TFile* f) {
        if (before) before(f);
        FilesBdRemoveFile(f);
    };
    filesBd_.OnRemoveRomFile = [this, before = saved_.removeRomFile](TRomFile* r) {
        if (before) before(r);
        FilesBdRemoveRomFile(r);
    };
    filesBd_.OnCreateFile = [this, before = saved_.createFile](TFile* f) {
        if (before) before(f);
        FilesBdCreateFile(f);
    };
    filesBd_.OnCreateRomFile = [this, before = saved_.createRomFile](TRomFile* r) {
        if (before) before(r);
        FilesBdCreateRomFile(r);
    };
    filesBd_.OnRenameFile = [this, before = saved_.renameFile](TFile* f) {
        if (before) before(f);
        NoteWritten(f->Path);
    };
}

void TFixPipeline::UnwireEvents() {
    filesBd_.OnRemoveFile = saved_.removeFile;
    filesBd_.OnRemoveRomFile = saved_.removeRomFile;
    filesBd_.OnCreateFile = saved_.createFile;
    filesBd_.OnCreateRomFile = saved_.createRomFile;
    filesBd_.OnRenameFile = saved_.renameFile;
    saved_ = {};
}

// ---- The whole fix ------------------------------------------------------------------

void TFixPipeline::RunSteps() {
    struct TRow {
        bool on;
        TFixStep step;
        const char* label;  // nullptr: no log lines
        bool logCounts;     // the two count lines follow
    };
    const TRow rows[] = {
        {switches_.renameFiles, TFixStep::RenameFiles, "Rename files", true},
        {switches_.removeRoms, TFixStep::RemoveUselessRoms, "Remove files", true},
        {switches_.renameRoms, TFixStep::RenameRoms, "Rename roms", true},
        {switches_.findRoms, TFixStep::ImportRoms, "Find roms", false},
        {switches_.renameRoms, TFixStep::RenameRoms, nullptr, true},
        {switches_.removeFiles, TFixStep::RemoveUselessFiles, "Remove files", true},
        {switches_.createDummy, TFixStep::CreateDummyRoms, "Create dummy", true},
        {switches_.reZip, TFixStep::ReZip, "Rezip", true},
    };
    // Between the steps of this table only the events change the lists, and they keep
    // the sets beside them in step: the sets are made once, not again for every step.
    struct TKeep {
        bool& keep;
        ~TKeep() { keep = false; }
    } keep{keepIndex_};
    for (const TRow& row : rows) {
        if (row.on) {
            if (OnStepStarted) OnStepStarted(row.step);
            if (row.label != nullptr) Log(row.label);
            int errors = 0;
            int fixed = 0;
            switch (row.step) {
                case TFixStep::RenameFiles: fixed = FixRenameFiles(errors); break;
                case TFixStep::RemoveUselessRoms: fixed = FixRemoveUselessRoms(errors, false); break;
                case TFixStep::RenameRoms: fixed = FixRenameRoms(errors); break;
                case TFixStep::ImportRoms: fixed = FixImportRoms(errors); break;
                case TFixStep::RemoveUselessFiles: fixed = FixRemoveUselessFiles(errors); break;
                case TFixStep::CreateDummyRoms: fixed = FixCreateDummyRoms(errors); break;
                case TFixStep::ReZip: fixed = FixReZip(errors); break;
            }
            keepIndex_ = true;
            EndIfRewriteFailed();
            // "none moved" is not a negative number of fixes; a rewrite that did not go in
            // place is no fix.
            fixedTotal_ += std::max(fixed - std::exchange(rewritesLost_, 0), 0);
            errorTotal_ += errors;
            if (row.label != nullptr)
                Log(std::to_string(fixedTotal_) + " files fixed, " + std::to_string(errors) + " errors");
        }
        if (row.logCounts) {
            LogRomCount();
            LogFileCount();
        }
        // A cancel that one step took as its own end still ends the whole fix.
        if (cancelled_) throw filesbd::EAbortOperation(_("Operation aborted."));
    }
}

void TFixPipeline::Run(const TFixSelection& selection) {
    if (OnBusy) OnBusy(true);
    settled_.clear();
    bool nothingDone = true;
    TPath* path = nullptr;
    fixedTotal_ = 0;
    errorTotal_ = 0;
    cancelled_ = false;
    failedAt_.clear();
    rewriteFailure_.clear();
    rewritesLost_ = 0;
    failures_.clear();
    endingFailure_ = std::string::npos;
    removedFiles_.clear();
    const TProgressEvent romsProgress = romsBd_.OnProgress;
    const TInfosEvent romsInfos = romsBd_.OnInfos;
    const TProgressEvent filesProgress = filesBd_.OnProgress;
    const TInfosEvent filesInfos = filesBd_.OnInfos;
    bool wired = false;
    int busyCursors = 0;
    {
        // Objects the repairs drop stay valid until every list here has let go of them.
        TFilesBd::TCommandScope scope(filesBd_);
        try {
            if (!OnCheckPathsModified || OnCheckPathsModified()) {
                romsBd_.OnInfos = nullptr;
                romsBd_.OnProgress = nullptr;
                filesBd_.OnInfos = nullptr;
                filesBd_.OnProgress = nullptr;
                if (Progress.SetShowCancelButton) Progress.SetShowCancelButton(true);
                FixError = false;
                SelectedRoms.clear();
                SelectedFiles.clear();
                CreatedFiles.clear();
                createdSet_.clear();
                Log("start fix");
                UiHooks().SetBusyCursor(true);
                ++busyCursors;
                ProcessPendingMessages(true);

                SelectedRoms = selection.listRoms.empty() ? selection.treeRoms : selection.listRoms;
                LogRomCount();
                SelectedFiles = selection.listFiles.empty() ? selection.treeFiles : selection.listFiles;
                LogFileCount();

                if (SelectedRoms.empty()) {
                    UiHooks().MessageDlg(_("No items selected!"), TMsgDlgType::mtInformation, mbOK);
                } else {
                    FixFullPath = selection.focusedIsPath && selection.listSelectionEmpty;
                    FixFullFiles = selection.focusedIsPath || selection.listSelectionEmpty;
                    Log(FixFullPath ? "Fix full Path" : FixFullFiles ? "Fix full files" : "Fix roms");
                    path = SelectedRoms.front()->File->Path;
                    if (path == nullptr || path->IsReadOnly()) {
                        UiHooks().MessageDlg(_("This disk is read only."), TMsgDlgType::mtWarning, mbOK);
                        path = nullptr;
                    } else {
                        WireEvents();
                        wired = true;
                        nothingDone = false;
                        LogRomCount();
                        LogFileCount();
                        RunSteps();
                        if (fixedTotal_ + errorTotal_ == 0) {
                            UiHooks().MessageDlg(_("No fix done !"), TMsgDlgType::mtInformation, mbOK);
                            UiHooks().SetBusyCursor(false);
                            --busyCursors;
                            nothingDone = true;
                        } else {
                            MatchAll();
                            if (FixFullPath && !CreatedFiles.empty()) {
                                CompactSelection();
                                SelectedRoms.clear();
                                for (TFile* file : CreatedFiles)
                                    if (!FileSelected(file)) SelectedFiles.push_back(file);
                                for (TFile* file : SelectedFiles)
                                    for (const auto& entry : file->RomFiles) SelectedRoms.push_back(entry.romFile.get());
                                int errors = 0;
                                const auto second = [&](int fixed) {
                                    EndIfRewriteFailed();
                                    fixedTotal_ += std::max(fixed - std::exchange(rewritesLost_, 0), 0);
                                    errorTotal_ += errors;
                                };
                                if (switches_.findRoms) second(FixImportRoms(errors));
                                if (switches_.removeRoms) second(FixRemoveUselessRoms(errors, false));
                                if (switches_.renameFiles) second(FixRenameFiles(errors));
                                if (switches_.createDummy) second(FixCreateDummyRoms(errors));
                                path->SaveCache();
                                UiHooks().MessageDlg(Fmt(_("%1 files fixed."), {std::to_string(fixedTotal_)}),
                                                     TMsgDlgType::mtInformation, mbOK);
                            }
                            // The count says what was done; what was not is told as well.
                            if (FixError) UiHooks().MessageDlg(NotFixedText(), TMsgDlgType::mtWarning, mbOK);
                        }
                    }
                }
            }
        } catch (...) {
            // A failure that ends the fix says what was being done to which file, and
            // lists those the fix went on past.
            const std::string text = EndingText(std::current_exception());
            failedAt_.clear();
            rewriteFailure_.clear();
            ShowError(text);
        }

        // The clean-up, on every way out; none of it may leave a failure unreported.
        const auto guarded = [](const std::function<void()>& work) {
            try {
                work();
            } catch (...) {
                std::string text;
                Classify(std::current_exception(), text);
                UiHooks().MessageDlg(text, TMsgDlgType::mtError, mbOK);
            }
        };
        // Each step has closed the progress window it opened, so the boxes above were
        // not shown over it.
        if (!nothingDone) {
            guarded([&] { MatchAll(); });
            guarded([&] { romsBd_.RecalculateStatus(); });
            if (path != nullptr) {
                guarded([&] { path->Refresh(false, true, false); });
                guarded([&] { path->SaveCache(); });
            }
        }
        ClearAbortFlags();
        if (!nothingDone && OnRebuildTree) guarded([&] { OnRebuildTree(); });
        romsBd_.OnInfos = romsInfos;
        romsBd_.OnProgress = romsProgress;
        filesBd_.OnInfos = filesInfos;
        filesBd_.OnProgress = filesProgress;
        FixFullPath = false;
        if (wired) UnwireEvents();
        // The lists point at objects freed when the command scope ends.
        settled_.clear();
        SelectedRoms.clear();
        SelectedFiles.clear();
        CreatedFiles.clear();
        createdSet_.clear();
    }
    while (busyCursors-- > 0) UiHooks().SetBusyCursor(false);
    ProcessPendingMessages(true);
    if (!nothingDone && OnScrollToSelection) OnScrollToSelection();
    if (OnBusy) OnBusy(false);
}

}  // namespace qm
