// The scan window's identification of dropped files against the open datafile.
#include "ui/commands/ScanSession.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>

#include "archive/FilesTools.h"
#include "archive/stringsTools.h"
#include "catalogue/RomsBd.h"
#include "catalogue/config.h"
#include "filesdb/RepairSupport.h"
#include "platform/FileSystem.h"
#include "platform/Finally.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

// The last component of a dropped name (a folder given with its "/" too).
std::string FilePart(const std::string& name) {
    const std::string bare = NoSlash(name);
    const size_t cut = bare.find_last_of('/');
    return cut == std::string::npos ? bare : bare.substr(cut + 1);
}

// The folder holding a dropped name, with its "/".
std::string ParentFolder(const std::string& name) {
    const std::string bare = NoSlash(name);
    const size_t cut = bare.find_last_of('/');
    return cut == std::string::npos ? std::string("./") : bare.substr(0, cut + 1);
}

bool OnDisk(const std::string& name, TFileStat* out = nullptr) {
    TFileStat st;
    const bool there = Fs().Stat(NoSlash(name), st) == 0 && st.exists;
    if (out != nullptr) *out = st;
    return there;
}

class TTreeUpdates {
public:
    explicit TTreeUpdates(IScanView& view) : view_(view) { view_.SuspendTreeUpdates(true); }
    ~TTreeUpdates() { view_.SuspendTreeUpdates(false); }
    TTreeUpdates(const TTreeUpdates&) = delete;
    TTreeUpdates& operator=(const TTreeUpdates&) = delete;

private:
    IScanView& view_;
};

// Every link of a file into the catalogue cut without following one: after the
// catalogue is freed they point nowhere. Placeholders stand for catalogue roms only, so
// they go.
void ForgetLinks(TFile& file) {
    for (int i = file.RomFiles.Count() - 1; i >= 0; --i)
        if (file.RomFiles[i]->IsPlaceholder()) file.DropRomFile(file.RomFiles[i]);
    for (const auto& entry : file.RomFiles) {
        entry.romFile->CloneRom = nullptr;
        entry.romFile->Rom = nullptr;
    }
    file.Clone = nullptr;
    file.Game = nullptr;
}

void SortNodes(std::vector<TScanNode>& nodes) {
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const TScanNode& a, const TScanNode& b) { return CompareText(a.Text, b.Text) < 0; });
    for (TScanNode& node : nodes) SortNodes(node.Children);
}

}  // namespace

TScanSession::TScanSession(TRomsBd& romsBd, TSignatureCalculator& calculator, TArchiveManager& archiveManager,
                           TFilesBd& mainFilesBd, IScanView& view, const TScanSettings& settings)
    : romsBd_(romsBd), mainFilesBd_(mainFilesBd), view_(view) {
    filesBdLocal_.RomFileCaseOptions = coUppercase;
    filesBdLocal_.FileCaseOptions = coDontCare;
    filesBdLocal_.SetPlugInSuggeredExtension(false);
    filesBdLocal_.SetSubmitRoms(false);
    filesBdLocal_.RepairsWhileScanning = false;
    filesBdLocal_.SetRomsBd(&romsBd);
    filesBdLocal_.SetSignatureCalculator(&calculator);
    filesBdLocal_.SetArchiveManager(&archiveManager);
    if (!settings.CacheFolder.empty()) {
        MakeDirs(NoSlash(settings.CacheFolder));
        filesBdLocal_.SetCachePath(WithSlash(settings.CacheFolder));
    }
    if (!settings.TempDir.empty()) filesBdLocal_.SetTempDir(settings.TempDir);
    filesBdLocal_.SetCompressionLevel(settings.CompressionLevel);
    filesBdLocal_.OnLog = [this](const std::string& line) {
        if (OnLog) OnLog(line);
    };
    view_.SetCopyMoveEnabled(false);
}

TScanSession::~TScanSession() {
    // The rom database may be gone already; nothing of it is needed to free the files.
    filesBdLocal_.SetRomsBd(nullptr);
    filesBdLocal_.ClearPaths();
}

// ---- Texts and tests ------------------------------------------------------------------

bool TScanSession::IsNewRom(const TRomFile& romFile) {
    switch (romFile.Status) {
        case rsUnknown:
        case rsBadFileName:
        case rsMissing:
        case rsAvailableElsewhere:
            return false;
        default:
            break;
    }
    const TRom* rom = romFile.GetRom();
    return rom != nullptr && rom->Files.empty();
}

bool TScanSession::HoldsNewRom(const TFile& file) {
    return std::any_of(file.RomFiles.begin(), file.RomFiles.end(),
                       [](const auto& entry) { return IsNewRom(*entry.romFile); });
}

int TScanSession::GaugeStep(int count) {
    if (count <= 0) return 0;
    // Half to even, as the gauge always stepped: 100 / 40 gives 2, not 3.
    return static_cast<int>(std::nearbyint(100.0 / count));
}

std::string TScanSession::CountText(int count) { return std::to_string(count) + " " + _("files(s)"); }

std::string TScanSession::OpenDatafileName() const {
    if (DatafileName) return DatafileName();
    if (Config && Config->DataFileOpen && Config->DataFile) return Config->DataFile->GetName();
    return {};
}

void TScanSession::SetCopyMoveEnabled(bool enabled) {
    copyMoveEnabled_ = enabled;
    view_.SetCopyMoveEnabled(enabled);
}

// ---- Nodes ----------------------------------------------------------------------------

TScanNode TScanSession::FileNode(TFile* file) const {
    TScanNode node;
    node.File = file;
    node.Text = file->Name + (file->IsFolder() ? "/" : "");
    const std::string status = file->GetStatusText();
    if (!status.empty()) node.Text += " (" + status + ")";
    node.ImageIndex = file->GetImageIndex();
    return node;
}

void TScanSession::AddRomNodes(std::vector<TScanNode>& out, TFile* file) const {
    for (const auto& entry : file->RomFiles) {
        TRomFile* romFile = entry.romFile.get();
        const bool isNew = IsNewRom(*romFile);
        if (showNewRom_ && !isNew) continue;
        TScanNode node;
        node.RomFile = romFile;
        node.File = file;
        node.ImageIndex = romFile->GetImageIndex();
        node.Text = romFile->StoredName();
        std::string status = romFile->GetStatusText();
        if (isNew) status += " (" + _("new") + ")";
        if (!status.empty()) node.Text += " - " + status;
        out.push_back(std::move(node));
    }
}

std::vector<TScanNode> TScanSession::NodesOf(TFile* file) const {
    std::vector<TScanNode> out;
    if (file->IsPlain()) {
        AddRomNodes(out, file);
        return out;
    }
    TScanNode node = FileNode(file);
    AddRomNodes(node.Children, file);
    if (showNewRom_ && node.Children.empty()) return out;
    out.push_back(std::move(node));
    return out;
}

void TScanSession::RebuildTree() {
    TTreeUpdates updates(view_);
    nodes_.clear();
    for (int p = 0; p < filesBdLocal_.GetPathCount(); ++p)
        for (const auto& file : filesBdLocal_.GetPath(p)->Files()) {
            std::vector<TScanNode> nodes = NodesOf(file.get());
            for (TScanNode& node : nodes) nodes_.push_back(std::move(node));
        }
    view_.ShowTree(nodes_);
}

// ---- Drops ----------------------------------------------------------------------------

TPath* TScanSession::PathFor(const std::string& folder) {
    // A path already known is taken as it is: its volume is not measured again for every
    // name dropped from it (slow on network disks).
    const std::string text = WithSlash(folder);
    const int index = filesBdLocal_.Paths().IndexOf(text);
    if (index >= 0) return filesBdLocal_.GetPath(index);
    return filesBdLocal_.AddPath(text, "", "");
}

void TScanSession::AddArchive(const std::string& name, std::vector<TScanNode>& out) {
    TPath* path = PathFor(ParentFolder(name));
    TFile* file = path->AddFile(name, fkZip);
    file->Match();
    out = NodesOf(file);
}

void TScanSession::AddFolder(const std::string& name, std::vector<TScanNode>& out) {
    TPath* path = PathFor(ParentFolder(name));
    TFile* file = path->AddFile(NoSlash(name), fkFolder);
    file->Match();
    out = NodesOf(file);
}

void TScanSession::AddFile(const std::string& name, std::vector<TScanNode>& out) {
    TPath* path = PathFor(ParentFolder(name));
    TFile* file = path->AddFile(name, fkPlain);
    file->Match();
    out = NodesOf(file);
}

void TScanSession::FollowMainCaseRules() {
    // A name that is right in the main window is right here too.
    filesBdLocal_.RomFileCaseOptions = mainFilesBd_.RomFileCaseOptions;
    filesBdLocal_.FileCaseOptions = mainFilesBd_.FileCaseOptions;
}

void TScanSession::Drop(const std::vector<std::string>& names) {
    TBusyCursor busy;
    FollowMainCaseRules();
    TTreeUpdates updates(view_);
    view_.SetGauge(0);
    fileCount_ += static_cast<int>(names.size());
    // Also when the files database raised: what was added stays usable.
    TFinally restore([this] {
        SetCopyMoveEnabled(true);
        view_.SetHandlingText(" ");
        view_.SetGauge(0);
        view_.SetCountText(CountText(fileCount_));
    });
    const int step = GaugeStep(static_cast<int>(names.size()));
    int gauge = 0;
    for (const std::string& name : names) {
        const std::string part = FilePart(name);
        if (part == "quarmelle.dat") continue;
        view_.SetHandlingText(part);
        std::vector<TScanNode> added;
        if (FolderExists(name))
            AddFolder(name, added);
        else if (SameText(FileExtension(part), ".zip"))
            AddArchive(name, added);
        else
            AddFile(name, added);
        if (!added.empty()) {
            view_.AppendNodes(added);
            for (TScanNode& node : added) nodes_.push_back(std::move(node));
        }
        gauge = std::min(100, gauge + step);
        view_.SetGauge(gauge);
        ProcessPendingMessages();
    }
}

// ---- Refresh --------------------------------------------------------------------------

void TScanSession::DropVanishedFiles(bool warn) {
    for (int p = 0; p < filesBdLocal_.GetPathCount(); ++p) {
        TPath* path = filesBdLocal_.GetPath(p);
        std::vector<TFile*> gone;
        for (const auto& file : path->Files())
            if (!OnDisk(file->FullPath)) gone.push_back(file.get());
        for (TFile* file : gone) {
            if (warn) UiHooks().MessageDlg(_("File Not Found."), TMsgDlgType::mtWarning, mbOK);
            path->DropFile(file);
        }
    }
}

void TScanSession::RefreshScan() {
    fileCount_ = 0;
    view_.SetDatafileText(OpenDatafileName());
    view_.SetCountText(CountText(0));
    TFinally count([this] { view_.SetCountText(CountText(fileCount_)); });

    DropVanishedFiles(false);
    for (int p = 0; p < filesBdLocal_.GetPathCount(); ++p)
        for (const auto& file : filesBdLocal_.GetPath(p)->Files()) {
            // The links may point into a catalogue that has been freed: cut first, then
            // looked up in the one open now.
            ForgetLinks(*file);
            file->SubmitRomFiles(false);
            ++fileCount_;
        }
    FollowMainCaseRules();
    for (int p = 0; p < filesBdLocal_.GetPathCount(); ++p) filesBdLocal_.GetPath(p)->MatchFiles();

    BuildPathMenus();
    RebuildTree();
    if (mainFilesBd_.GetPathCount() == 0 || nodes_.empty()) SetCopyMoveEnabled(false);
}

void TScanSession::ForgetCatalogue() {
    for (int p = 0; p < filesBdLocal_.GetPathCount(); ++p)
        for (const auto& file : filesBdLocal_.GetPath(p)->Files()) ForgetLinks(*file);
}

void TScanSession::BuildPathMenus() {
    std::vector<std::string> texts;
    for (int p = 0; p < mainFilesBd_.GetPathCount(); ++p) texts.push_back(mainFilesBd_.GetPath(p)->GetPath());
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    pathTexts_ = texts;
    view_.SetPathMenus(pathTexts_);
}

// ---- Commands -------------------------------------------------------------------------

void TScanSession::Clear() {
    TTreeUpdates updates(view_);
    nodes_.clear();
    view_.ShowTree(nodes_);
    fileCount_ = 0;
    // Nothing of the scan database is registered: the game states need no new count.
    filesBdLocal_.SetRomsBd(nullptr);
    filesBdLocal_.ClearPaths();
    filesBdLocal_.SetRomsBd(&romsBd_);
    RefreshScan();
}

void TScanSession::SetShowNewRom(bool on) {
    showNewRom_ = on;
    RebuildTree();
}

void TScanSession::Sort() {
    if (nodes_.empty()) return;
    TTreeUpdates updates(view_);
    SortNodes(nodes_);
    view_.ShowTree(nodes_);
}

namespace {

// One scanned file copied into the target folder under a name nothing bears yet; moved,
// the source goes only once the copy is there with its size.
void CopyOne(TFilesBd& local, TFile& file, TPath& target, bool move, std::vector<std::string>& movedSources) {
    const std::string source = NoSlash(file.FullPath);
    TFileStat before;
    OnDisk(source, &before);
    std::string copy;
    file.CopyTo(target.GetPath(), false, copy);
    copy = NoSlash(copy);
    // A scan path of the target folder lists the copy by itself; the window lists what
    // was dropped on it.
    const int index = local.Paths().IndexOf(target.GetPath());
    if (index >= 0) {
        TPath* same = local.GetPath(index);
        TFile* listed = same->Files().Find(FilePart(copy));
        if (listed != nullptr && listed != &file) same->DropFile(listed);
    }
    if (FileHasAttr(copy, faReadOnly)) ClearReadOnly(copy);
    if (!move || file.IsFolder()) return;

    TFileStat after;
    if (!OnDisk(copy, &after) || after.isDir || after.size != before.size)
        throw scan::ECopyNotChecked(Fmt(_("The copy %1 does not match %2; %2 was kept."), {copy, source}));
    CheckFsResult(Fs().Unlink(source), source);
    movedSources.push_back(source);
}

}  // namespace

void TScanSession::CopyMoveRoms(const std::string& pathText, bool move) {
    view_.SetWindowEnabled(false);
    TBusyCursor busy;
    view_.SetGauge(0);
    // Files of the main database dropped by the refreshes below stay valid until its
    // views have been rebuilt.
    TFilesBd::TCommandScope mainCommand(mainFilesBd_);
    TPath* target = nullptr;
    std::vector<std::string> movedSources;
    try {
        TFilesBd::TCommandScope command(filesBdLocal_);
        const int index = mainFilesBd_.Paths().IndexOf(WithSlash(pathText));
        if (index < 0) throw scan::ETargetNotFound(Fmt(_("Rom path %1 not found."), {pathText}));
        target = mainFilesBd_.GetPath(index);

        DropVanishedFiles(true);
        std::vector<TFile*> holders;
        for (int p = 0; p < filesBdLocal_.GetPathCount(); ++p)
            for (const auto& file : filesBdLocal_.GetPath(p)->Files())
                if (HoldsNewRom(*file)) holders.push_back(file.get());

        const int step = GaugeStep(static_cast<int>(holders.size()));
        int gauge = 0;
        int done = 0;
        for (TFile* file : holders) {
            view_.SetHandlingText(file->ShortName);
            gauge = std::min(100, gauge + step);
            view_.SetGauge(gauge);
            ProcessPendingMessages();
            // Already in the target folder: a copy would only land beside it (and a move
            // would then delete the original).
            if (file->Path->GetPath() == target->GetPath()) continue;
            CopyOne(filesBdLocal_, *file, *target, move, movedSources);
            ++done;
        }
        target->SaveCache();
        UiHooks().MessageDlg(Fmt(move ? _("%1 files moved.") : _("%1 files copied."), {std::to_string(done)}),
                             TMsgDlgType::mtInformation, mbOK);
    } catch (const std::exception& e) {
        UiHooks().MessageDlg(e.what(), TMsgDlgType::mtError, mbOK);
    }

    std::exception_ptr failure;
    try {
        AfterCopyMove(target, movedSources);
    } catch (...) {
        failure = std::current_exception();
    }
    view_.SetWindowEnabled(true);
    view_.SetHandlingText(" ");
    view_.SetGauge(0);
    RefreshScan();
    if (failure) std::rethrow_exception(failure);
}

void TScanSession::AfterCopyMove(TPath* target, const std::vector<std::string>& movedSources) {
    if (target != nullptr) {
        target->Refresh(false, false, true);
        // A rom path of the main window that listed a moved file would keep it listed.
        for (int p = 0; p < mainFilesBd_.GetPathCount(); ++p) {
            TPath* path = mainFilesBd_.GetPath(p);
            if (path == target) continue;
            const bool lost = std::any_of(movedSources.begin(), movedSources.end(), [path](const std::string& s) {
                return s.compare(0, path->GetPath().size(), path->GetPath()) == 0;
            });
            if (lost) path->Reload(false);
        }
        // The target too: a refresh reads the copies but gives them no status.
        mainFilesBd_.MatchAll();
        romsBd_.RecalculateStatus();
    }
    if (OnRebuildMainTree) OnRebuildMainTree();
    if (OnUpdateMainStatus) OnUpdateMainStatus();
}

}  // namespace qm
