#include "ui/RomPathCommands.h"

#include <stdlib.h>

#include <QMimeData>
#include <QUrl>
#include <cstdlib>

#include "archive/DiskInfo.h"
#include "archive/FilesTools.h"
#include "catalogue/RomPaths.h"
#include "catalogue/RomsBd.h"
#include "catalogue/config.h"
#include "filesdb/filesBd.h"
#include "platform/FileSystem.h"
#include "platform/Finally.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/commands/TextConv.h"

namespace qm {

namespace {

std::string SlashedUnlessEmpty(const std::string& path) {
    if (path.empty() || path.back() == '/') return path;
    return path + "/";
}

}  // namespace

TRomPathCommands::TRomPathCommands(TFilesBd& filesBd, TRomsBd& romsBd, TRomPaths& romPaths)
    : filesBd_(filesBd), romsBd_(romsBd), romPaths_(romPaths) {}

bool TRomPathCommands::Overlaps(const std::string& folder, const std::string& protectedFolder) {
    return RomFoldersOverlap(folder, protectedFolder);
}

TPath* TRomPathCommands::DefaultAddRomPath(const std::string& path, const std::string& volumeName,
                                           const std::string& serial) {
    TPath* added = filesBd_.AddPath(SlashedUnlessEmpty(path), serial, volumeName);
    if (added == nullptr) return nullptr;
    try {
        added->Load(false);
    } catch (...) {
        ClearAbortFlags();
        throw;
    }
    // The folder itself, not its volume: on a system with one root the volume is "/".
    if (startFolder_->empty() && added->IsVolumeAvailable()) *startFolder_ = added->GetPath();
    return added;
}

void TRomPathCommands::StartProgress(const std::string& text, bool showCancel) {
    progressUp_ = true;
    if (OnProgressStart) OnProgressStart(text, showCancel);
}

void TRomPathCommands::StopProgress() {
    if (!progressUp_) return;
    progressUp_ = false;
    Call(OnProgressStop);
}

void TRomPathCommands::ClearAbortFlags() {
    filesBd_.Paths().Abort = false;
    romsBd_.SetAbort(false);
}

std::string TRomPathCommands::InitialFolder() {
    if (!startFolder_->empty()) return *startFolder_;
    for (size_t i = 0; i < romPaths_.Count(); ++i) {
        const std::string& folder = romPaths_.Items(i).Path;
        if (FolderExists(folder)) {
            *startFolder_ = folder;
            return folder;
        }
    }
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? SlashedUnlessEmpty(home) : std::string("/");
}

TPath* TRomPathCommands::AddRoad(const std::string& folder) {
    if (const std::string refusal = Config != nullptr ? Config->RomPathRefusal(folder) : std::string();
        !refusal.empty()) {
        UiHooks().MessageDlg(refusal, TMsgDlgType::mtError, mbOK);
        return nullptr;
    }
    StartProgress(_("Loading Path"), false);
    ProcessPendingMessages(true);

    TPath* added = nullptr;
    {
        // Matching and the game states follow whatever the add did, also when it failed.
        TFinally display([this] {
            filesBd_.MatchAll();
            romsBd_.RecalculateStatus();
            Call(OnApplyFilters);
            Call(OnRebuildTree);
            Call(OnUpdateStatusCounters);
            Call(OnRefreshScan);
        });
        TRomPath* entry = romPaths_.AddPath(folder, "", "");
        if (entry == nullptr) return nullptr;  // the list said why in a box of its own
        romPaths_.SaveToIni();
        const std::string path = entry->Path, volume = entry->VolumeName, serial = entry->Serial;
        added = AddRomPath ? AddRomPath(path, volume, serial) : DefaultAddRomPath(path, volume, serial);
    }
    return added;
}

void TRomPathCommands::EndAdd() {
    StopProgress();
    ClearAbortFlags();
}

bool TRomPathCommands::AddPathByDialog() {
    TFilesBd::TCommandScope command(filesBd_);
    TBusyCursor cursor;
    TFinally end([this] { EndAdd(); });
    const std::string start = InitialFolder();
    const std::string chosen = ChooseFolder ? ChooseFolder(_("Select a rom path"), start) : std::string();
    if (chosen.empty()) return false;
    const std::string folder = SlashedUnlessEmpty(AbsolutePath(chosen));
    // The next dialog opens where this one ended.
    *startFolder_ = folder;
    AddRoad(folder);
    return true;
}

TPath* TRomPathCommands::AddPathByName(const std::string& folder) {
    TFilesBd::TCommandScope command(filesBd_);
    TBusyCursor cursor;
    TFinally end([this] { EndAdd(); });
    return AddRoad(SlashedUnlessEmpty(AbsolutePath(folder)));
}

int TRomPathCommands::DropFolders(const std::vector<std::string>& names) {
    if (names.empty()) return 0;
    for (const std::string& name : names) {
        if (!FolderExists(name)) {
            UiHooks().MessageDlg(_("Drop directories in this view."), TMsgDlgType::mtError, mbOK);
            return 0;
        }
    }
    int added = 0;
    for (const std::string& name : names)
        if (AddPathByName(name) != nullptr) ++added;
    return added;
}

bool TRomPathCommands::RemovePath(TPath* focusedPath) {
    if (focusedPath == nullptr) return false;
    if (UiHooks().MessageDlg(_("Are you sure you want to close this path?"), TMsgDlgType::mtWarning,
                             mbYes | mbNo) != mrYes)
        return false;
    TFilesBd::TCommandScope command(filesBd_);
    TBusyCursor cursor;
    const int index = romPaths_.IndexOf(focusedPath->GetPath());
    if (index >= 0) romPaths_.Delete(static_cast<size_t>(index));
    filesBd_.Paths().RemovePath(focusedPath);
    // Files of other paths may have matched roms only in relation to the closed one
    // (duplicates), so matching runs before the game states are counted again.
    filesBd_.MatchAll();
    romsBd_.RecalculateStatus();
    romPaths_.SaveToIni();
    Call(OnRebuildTree);
    Call(OnUpdateStatusCounters);
    Call(OnRefreshScan);
    return true;
}

void TRomPathCommands::RefreshPath(const TFocus& focus, bool rebuild) {
    if (focus.Kind == TFocusKind::fkNone) return;
    if (focus.Kind == TFocusKind::fkPath && focus.Path == nullptr) return;
    TFilesBd::TCommandScope command(filesBd_);
    if (OnBusy) OnBusy(true);
    TFinally end([this] {
        StopProgress();
        ClearAbortFlags();
        Call(OnRebuildTree);
        Call(OnUpdateStatusCounters);
        Call(OnUpdateActions);
        if (OnBusy) OnBusy(false);
    });
    StartProgress(_("Refreshing..."), true);
    TBusyCursor cursor;
    Call(OnClearFixFullPath);

    if (focus.Kind == TFocusKind::fkDatabase) {
        Call(OnReloadLists);
        return;
    }
    TPath* path = focus.Path;
    while (!FolderExists(path->GetPath())) {
        const int answer = UiHooks().MessageDlg(Fmt(_("Volume %1 not available"), {path->GetVolumeLabel()}),
                                                TMsgDlgType::mtError, mbAbort | mbRetry);
        if (answer != mrRetry) break;
    }
    if (!FolderExists(path->GetPath())) return;  // the path is left as it was
    path->Refresh(rebuild, false, false);
    filesBd_.MatchAll();
    romsBd_.RecalculateStatus();
}

void TRomPathCommands::RefreshAllPaths(bool rebuild) {
    TFilesBd::TCommandScope command(filesBd_);
    if (OnBusy) OnBusy(true);
    TFinally end([this] {
        ClearAbortFlags();
        // Without matching the reloaded files would show no status until the next fix.
        filesBd_.MatchAll();
        romsBd_.RecalculateStatus();
        StopProgress();
        Call(OnRebuildTree);
        Call(OnUpdateStatusCounters);
        Call(OnUpdateActions);
        if (OnBusy) OnBusy(false);
    });
    StartProgress(_("Refreshing..."), true);
    TBusyCursor cursor;
    Call(OnClearFixFullPath);
    Call(OnReloadLists);
    for (int i = 0; i < filesBd_.GetPathCount(); ++i) filesBd_.GetPath(i)->Refresh(rebuild, false, false);
}

void TRomPathCommands::OpenPath(TPath* focusedPath) {
    if (focusedPath == nullptr || !OpenFolder) return;
    OpenFolder(focusedPath->GetPath());
}

bool TRomPathCommands::CheckPathsModified() {
    TFilesBd::TCommandScope command(filesBd_);
    TBusyCursor cursor;
    for (int i = 0; i < filesBd_.GetPathCount(); ++i) {
        TPath* path = filesBd_.GetPath(i);
        if (!path->HasChanged()) continue;
        const std::string text = _("Some files have been modified in rom paths. Paths content must be refreshed ") +
                                 "\n" + _("before any operation.") + "\n\n" + _("Refresh now ?");
        if (UiHooks().MessageDlg(text, TMsgDlgType::mtWarning, mbYes | mbNo) == mrYes) {
            {
                TFinally end([this] {
                    StopProgress();
                    ClearAbortFlags();
                });
                StartProgress(_("Refreshing..."), true);
                ProcessPendingMessages(true);
                Call(OnClearFixFullPath);
                path->Refresh(false, false, false);
            }
            filesBd_.MatchAll();
            romsBd_.RecalculateStatus();
            Call(OnRebuildTree);
            Call(OnUpdateStatusCounters);
            ProcessPendingMessages(true);
        }
        return false;
    }
    return true;
}

std::vector<std::string> DroppedFileNames(const QMimeData& data) {
    std::vector<std::string> names;
    if (!data.hasUrls()) return names;
    for (const QUrl& url : data.urls()) names.push_back(url.isLocalFile() ? ui::FromQ(url.toLocalFile()) : std::string());
    return names;
}

}  // namespace qm
