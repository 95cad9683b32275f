// The preferences as plain values: loaded, checked and written back to the settings.
#include "ui/commands/OptionsModel.h"

#include <sys/stat.h>

#include <cstdlib>
#include <exception>

#include "archive/DiskInfo.h"
#include "archive/FilesTools.h"
#include "archive/stringsTools.h"
#include "catalogue/RomPaths.h"
#include "catalogue/RomsBd.h"
#include "catalogue/config.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/commands/OptionsFilesBd.h"

namespace qm {

namespace {


bool IsFolder(const std::string& path) {
    TFileStat st;
    return !path.empty() && Fs().Stat(path, st) == 0 && st.exists && st.isDir;
}

// An absolute path naming an existing folder; a relative text would be resolved against
// whatever the current folder happens to be.
bool IsAbsoluteFolder(const std::string& path) { return !path.empty() && path[0] == '/' && IsFolder(path); }

// True when inner is outer or lies inside it; both real folders ending with "/".
bool Within(const std::string& inner, const std::string& outer) {
    return inner.size() >= outer.size() && inner.compare(0, outer.size(), outer) == 0;
}

bool OverlapsAny(const std::string& folder, const std::vector<std::string>& romPaths) {
    for (const std::string& rom : romPaths)
        if (RomFoldersOverlap(folder, rom)) return true;
    return false;
}

void ErrorBox(const std::string& text) { UiHooks().MessageDlg(text, TMsgDlgType::mtError, mbOK); }

}  // namespace

TRomsStructure StructureOf(bool split, bool merge) {
    if (!split) return TRomsStructure::Merged;
    return merge ? TRomsStructure::Split : TRomsStructure::UnMerged;
}

std::string ExeBrowseStart(const std::string& exe, const std::string& firstRomPath) {
    if (!exe.empty()) {
        const size_t slash = exe.rfind('/');
        if (slash != std::string::npos) return exe.substr(0, slash + 1);
    }
    if (!firstRomPath.empty()) return WithSlash(AbsolutePath(WithSlash(firstRomPath) + ".."));
    return "/";
}

TOptions LoadOptions(TConfig& config) {
    TOptions o;
    o.ArchivePath = config.GetArchivePath();
    o.TempPath = config.GetTempPath();
    o.CompLevel = config.CompLevel();
    TEmulator* emu = config.Emulator.get();
    if (emu == nullptr) return o;
    o.Exe = emu->Exe();
    o.RunParam = emu->RunParam();
    o.ExeBrowseStart = ExeBrowseStart(o.Exe, emu->RomPaths().Count() > 0 ? emu->RomPaths().Items(0).Path : "");
    o.DataFileOpen = config.DataFileOpen;
    if (!o.DataFileOpen) return o;
    o.Structure = StructureOf(emu->Split(), emu->Merge());
    o.FixExtension = emu->FixExtension();
    o.SetsCase = emu->SetsCase();
    o.RomsCase = emu->RomsCase();
    o.DoRenameFiles = emu->DoRenameFiles();
    o.DoRemoveRoms = emu->DoRemoveRoms();
    o.DoRenameRoms = emu->DoRenameRoms();
    o.DoFindRoms = emu->DoFindRoms();
    o.DoRemoveFiles = emu->DoRemoveFiles();
    o.DoCreateDummy = emu->DoCreateDummy();
    o.DoReZip = emu->DoReZip();
    return o;
}


TOptionsCheck CheckOptions(const TOptions& options, const std::vector<std::string>& romPaths) {
    if (!IsAbsoluteFolder(options.TempPath))
        return {TOptionsField::TempPath, _("The temporary directory is not valid.")};
    if (options.DataFileOpen) {
        if (!IsAbsoluteFolder(options.ArchivePath))
            return {TOptionsField::ArchivePath, _("The archive is not valid.")};
        if (OverlapsAny(options.ArchivePath, romPaths))
            return {TOptionsField::ArchivePath, _("The archive path can't be located under a rom path.")};
    }
    // Working copies made inside a rom path would be scanned as roms. A temporary folder
    // that holds a rom path is no harm when it is the system's (every temporary file goes
    // into the program's private folder there); any other would make the start-up drop
    // the rom path it holds.
    const std::string temp = RealFolder(options.TempPath);
    const bool systemTemp = WithSlash(options.TempPath) == SystemTempFolder();
    for (const std::string& rom : romPaths) {
        if (rom.empty()) continue;
        const std::string real = RealFolder(rom);
        if (Within(temp, real))
            return {TOptionsField::TempPath, _("The temporary path can't be located under a rom path.")};
        if (!systemTemp && Within(real, temp))
            return {TOptionsField::TempPath, _("The temporary path can't hold a rom path.")};
    }
    return {};
}

std::vector<std::string> CurrentRomPaths(TConfig& config, const TFilesBd* filesBd) {
    std::vector<std::string> paths;
    if (filesBd != nullptr) paths = FilesBdRomPaths(*filesBd);
    if (config.DataFileOpen && config.Emulator) {
        const TRomPaths& list = config.Emulator->RomPaths();
        for (size_t i = 0; i < list.Count(); ++i) paths.push_back(list.Items(i).Path);
    }
    return paths;
}

std::string RunParamToStore(const std::string& text) {
    return text.find('%') == std::string::npos ? text + "%1" : text;
}

TOptionsApplied ApplyOptions(TConfig& config, const TOptions& o, const TOptionsTargets& targets) {
    TOptionsApplied result;
    TBusyCursor busy;

    // The process keeps the private folder it made at start-up inside the old temporary
    // folder; a new one is used from the next start, and the user is told so.
    const bool tempChanged = WithSlash(o.TempPath) != WithSlash(config.GetTempPath());
    config.SetTempPath(o.TempPath);
    if (tempChanged)
        UiHooks().MessageDlg(_("The new temporary directory takes effect at the next start."),
                             TMsgDlgType::mtInformation, mbOK);
    // Without a datafile the archive edit cannot be changed: it still holds what was stored.
    if (o.DataFileOpen) config.SetArchivePath(o.ArchivePath);
    config.SetCompLevel(o.CompLevel);
    std::string work;
    try {
        work = config.GetPrivateTempPath();
    } catch (const std::exception&) {
        work.clear();
    }
    ApplyWorkSettings(targets.FilesBd, targets.ArchiveManager, work, config.CompLevel());

    if (!o.DataFileOpen || !config.Emulator) return result;
    TEmulator& emu = *config.Emulator;
    TRomsBd* romsBd = targets.RomsBd;
    bool changed = false;

    const bool split = o.Structure != TRomsStructure::Merged;
    if (split != emu.Split()) {
        emu.SetSplit(split);
        if (romsBd != nullptr) romsBd->Split = split;
        changed = true;
        if (!split && romsBd != nullptr && romsBd->NameClash) {
            const std::string name = config.DataFile ? ExtractFileNameAnySep(config.DataFile->FileName) : std::string();
            UiHooks().MessageDlg(Fmt(_("Datafile [%1] contains some inconsistencies. "), {name}) + "\n" +
                                     _("This can cause unwanted rom deletion in full merge mode.") + "\n" +
                                     _("Try to find an updated datafile, or go back to split mode.") + "\n\n" +
                                     _(" Restart Quarmelle in this mode to have more"),
                                 TMsgDlgType::mtWarning, mbOK);
            result.ClashWarning = true;
        }
    }
    const bool merge = o.Structure == TRomsStructure::Split;
    if (merge != emu.Merge()) {
        emu.SetMerge(merge);
        if (romsBd != nullptr) romsBd->MergeRoms = merge;
        if (targets.OnMergedChanged) targets.OnMergedChanged(merge);
        changed = true;
    }

    emu.SetExe(o.Exe);
    emu.SetRunParam(RunParamToStore(o.RunParam));

    const int setsCase = o.SetsCase == kNoCase ? coDontCare : o.SetsCase;
    const int romsCase = o.RomsCase == kNoCase ? coDontCare : o.RomsCase;
    if (setsCase != emu.SetsCase()) changed = true;
    emu.SetSetsCase(setsCase);
    if (romsCase != emu.RomsCase()) changed = true;
    emu.SetRomsCase(romsCase);
    if (o.FixExtension != emu.FixExtension()) changed = true;
    emu.SetFixExtension(o.FixExtension);
    if (targets.FilesBd != nullptr) ApplyNamingRules(*targets.FilesBd, setsCase, romsCase, o.FixExtension);

    config.BeginIniUpdate();
    emu.SetDoRenameFiles(o.DoRenameFiles);
    emu.SetDoRemoveRoms(o.DoRemoveRoms);
    emu.SetDoRenameRoms(o.DoRenameRoms);
    emu.SetDoFindRoms(o.DoFindRoms);
    emu.SetDoRemoveFiles(o.DoRemoveFiles);
    emu.SetDoCreateDummy(o.DoCreateDummy);
    emu.SetDoReZip(o.DoReZip);
    config.EndIniUpdate();

    if (targets.OnStatusBar) targets.OnStatusBar();
    if (changed) {
        if (targets.FilesBd != nullptr) MatchAllFiles(*targets.FilesBd);
        if (romsBd != nullptr) romsBd->RecalculateStatus();
        if (targets.OnRefresh) targets.OnRefresh();
    }
    result.Changed = changed;
    return result;
}

TArchiveInfo ArchiveInfo(const std::string& editText) {
    TArchiveInfo info;
    // An empty text would name the root folder, and walking it would count the disk.
    if (!IsAbsoluteFolder(editText)) return info;
    const std::string folder = WithSlash(editText);
    TDirStatistics stats;
    GetDirStatistics(folder, true, stats);
    info.Files = std::to_string(stats.files);
    info.Used = FormatSize(stats.bytes);
    info.Free = FormatSize(Fs().FreeSpace(folder));
    return info;
}

std::string StoredArchivePath(TConfig& config) {
    const std::string value = config.ReadString(config.Section, "ArchivePath", "");
    return value.empty() ? value : WithSlash(value);
}

void OpenArchiveFolder(const std::string& editText, const std::function<void(const std::string&)>& opener) {
    if (!IsAbsoluteFolder(editText)) {
        ErrorBox(_("Directory not found."));
        return;
    }
    if (opener) opener(WithSlash(editText));
}

std::string PurgeRefusal(TConfig& config, const std::string& folder, const std::vector<std::string>& romPaths) {
    if (!IsAbsoluteFolder(folder)) return _("Directory not found.");
    const std::string real = RealFolder(folder);
    std::vector<std::string> kept = romPaths;
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') kept.push_back(home);
    const std::string iniFolder = config.IniFileName.substr(0, config.IniFileName.rfind('/') + 1);
    if (!iniFolder.empty()) kept.push_back(iniFolder);
    const std::string temp = config.ReadString(config.Section, "TempPath", "");
    if (!temp.empty()) kept.push_back(temp);
    bool refused = real == "/";
    for (const std::string& k : kept)
        if (!k.empty() && Within(RealFolder(k), real)) refused = true;
    for (const std::string& rom : romPaths)
        if (!rom.empty() && Within(real, RealFolder(rom))) refused = true;
    if (!refused) return {};
    return Fmt(_("The directory %1 can't be purged: it holds your home, the program's settings, the temporary "
                 "directory or a rom path, or lies in a rom path."),
               {folder});
}

int PurgeArchiveFolder(TConfig& config, const std::vector<std::string>& romPaths) {
    // The folder the settings hold, never the text being typed: an edit emptied by
    // mistake would otherwise name the root folder.
    const std::string folder = StoredArchivePath(config);
    if (UiHooks().MessageDlg(_("Are you sure you want to delete all files in archive directory ?"),
                             TMsgDlgType::mtWarning, mbYes | mbNo) != mrYes)
        return 0;
    const std::string refusal = PurgeRefusal(config, folder, romPaths);
    if (!refusal.empty()) {
        ErrorBox(refusal);
        return 0;
    }
    std::vector<TDirEntry> entries;
    if (const int err = Fs().ListDir(folder, entries); err != 0) {
        ErrorBox(SysErrorMessage(err));
        return 0;
    }
    TBusyCursor busy;
    int moved = 0;
    for (const TDirEntry& entry : entries) {
        const std::string path = folder + entry.name;
        struct stat st;
        // A link is trashed as a link: making its target writable would reach outside.
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ClearReadOnly(path);
        try {
            ShellDeleteFile(path);
        } catch (const std::exception& e) {
            ErrorBox(e.what());
            break;
        }
        ++moved;
        ProcessPendingMessages();
    }
    return moved;
}

}  // namespace qm
