// The file command routines: move, copy, delete and change case over the command's
// lists. Each checks what it can before its first change (read-only media, the
// destination, name clashes), asks before it works, and never replaces a file the user
// did not agree to lose: a replaced or deleted file goes to the trash, a name that is
// taken leaves the file as it is.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <unordered_map>

#include "archive/FilesTools.h"
#include "archive/archivemanager.h"
#include "archive/stringsTools.h"
#include "filesdb/CaseRules.h"
#include "filesdb/RepairSupport.h"
#include "filesdb/filesBd.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/commands/FileCommands.h"
#include "ui/commands/FileCommandsSupport.h"

namespace qm {

namespace {

// The real path of a folder, links and "." / ".." resolved; a part that does not exist
// yet is kept as written. Compared exactly: two spellings are two folders.
std::string Canonical(const std::string& folder) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::weakly_canonical(NoSlash(folder), error);
    return error ? NoSlash(folder) : NoSlash(real.string());
}

bool SameOrInside(const std::string& folder, const std::string& path) {
    return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                              (folder == "/" || path[folder.size()] == '/'));
}

// Whether to names another entry than from on disk; on a volume that ignores case the
// two spellings of one name find the same entry, which is no clash.
bool TakenByAnother(const std::string& from, const std::string& to) {
    struct stat target;
    if (::lstat(to.c_str(), &target) != 0) return false;
    struct stat source;
    if (::lstat(from.c_str(), &source) != 0) return true;
    return source.st_dev != target.st_dev || source.st_ino != target.st_ino;
}

bool SameEntry(const std::string& from, const std::string& to) {
    struct stat target;
    struct stat source;
    return ::lstat(to.c_str(), &target) == 0 && ::lstat(from.c_str(), &source) == 0 &&
           source.st_dev == target.st_dev && source.st_ino == target.st_ino;
}

void Warn(const std::string& text) { UiHooks().MessageDlg(text, TMsgDlgType::mtWarning, mbOK); }
void Info(const std::string& text) { UiHooks().MessageDlg(text, TMsgDlgType::mtInformation, mbOK); }

std::string Count(size_t n) { return std::to_string(n); }

// Sends a file that is not listed in any rom path to the trash; never deletes instead.
void TrashUnlisted(const std::string& name) {
    try {
        ShellDeleteFile(name);
    } catch (const filestools::EFileError& e) {
        throw filesbd::EFileError(e.Message());
    }
}

}  // namespace

std::string CaseRuleName(const std::string& name, int rule, const std::string& correct) {
    const auto cut = name.find_last_of('/');
    const std::string inner = cut == std::string::npos ? std::string() : name.substr(0, cut + 1);
    const std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
    switch (rule) {
        case coDatabase: return correct.empty() ? std::string() : inner + correct;
        case coUppercase:
        case coLowercase:
        case coCapitalize: return inner + ApplyCaseOption(base, static_cast<TCaseOptions>(rule));
        default: return name;
    }
}

// ---- Move and copy -----------------------------------------------------------------

int TFileCommands::ShellMoveFiles(int& errors) { return MoveOrCopy(true, errors); }

int TFileCommands::ShellCopyFiles(int& errors) { return MoveOrCopy(false, errors); }

// A folder copied or moved below itself would take itself along for ever.
bool TFileCommands::RefuseIntoItself(const std::string& dest, bool move) const {
    const std::string target = Canonical(dest);
    for (const TFile* file : SelectedFiles) {
        if (!file->IsFolder()) continue;
        const std::string folder = Canonical(file->FullPath);
        // A move skips the folder that is the destination itself.
        if (move && folder == target) continue;
        if (SameOrInside(folder, target)) return true;
    }
    return false;
}

int TFileCommands::MoveOrCopy(bool move, int& errors) {
    errors = 0;
    if (SelectedFiles.empty()) return 0;
    TPath* source = SelectedFiles.front()->Path;
    if (move && source->IsReadOnly()) {
        Warn(_("Rom path is read only. Can't move or delete files."));
        return 0;
    }
    const std::string question = move ? _("%1 file(s) will be moved. ") : _("%1 file(s) will be copied. ");
    if (!Confirm(Fmt(question, {Count(SelectedFiles.size())}))) return 0;

    const std::string sourceFolder = NoSlash(source->GetPath());
    const auto cut = sourceFolder.find_last_of('/');
    const std::string start = cut == std::string::npos || cut == 0 ? std::string("/") : sourceFolder.substr(0, cut + 1);
    const std::string chosen = ChooseFolder ? ChooseFolder(std::string(), start) : std::string();
    if (chosen.empty()) return 0;
    const std::string dest = WithSlash(chosen);
    if (ReadOnlyFolder(dest)) {
        Warn(_("This disk is read only."));
        return 0;
    }
    if (Canonical(dest) == Canonical(source->GetPath())) {
        Info(_("Can't move or copy to the same folder. Nothing to do."));
        return 0;
    }
    if (RefuseIntoItself(dest, move)) {
        Info(_("Can't move or copy a folder into itself."));
        return 0;
    }

    CheckFsResult(MakeDirs(NoSlash(dest)), NoSlash(dest));
    StartProgress(static_cast<int>(SelectedFiles.size()));
    const int index = filesBd_.Paths().IndexOf(dest);
    TPath* destPath = index < 0 ? nullptr : filesBd_.Paths().GetPath(index);
    const std::string target = Canonical(dest);
    const auto saveDest = [destPath] {
        if (destPath != nullptr) destPath->SaveCache();
    };
    int done = 0;
    int answer = mrNone;
    try {
        const std::vector<TFile*> files(SelectedFiles);
        for (TFile* file : files) {
            CheckCancel();
            if (removedFiles_.count(file) != 0) continue;
            if (move && file->IsFolder() && Canonical(file->FullPath) == target) continue;
            SetWait(Fmt(move ? _("Moving %1") : _("Copying %1"), {file->Name}));
            StepIt();
            const std::string clash = dest + file->Name;
            // Only a file is offered for replacing; a folder of that name is never given
            // up, the entry then takes a free name beside it.
            const bool blockedByFolder = FolderExists(clash);
            bool replace = false;
            if (!file->IsFolder() && !blockedByFolder && answer != mrYesToAll && PathExists(clash)) {
                if (answer == mrNoToAll) continue;
                answer = UiHooks().MessageDlg(
                    Fmt(_("A file with the name %1 exists in destination folder."), {file->Name}) + "\n\n" +
                        _("Would you like to replace it ?"),
                    TMsgDlgType::mtConfirmation, mbYes | mbNo | mbNoToAll | mbYesToAll);
                if (answer != mrYes && answer != mrYesToAll) continue;
                replace = true;
            } else if (!file->IsFolder() && !blockedByFolder && PathExists(clash)) {
                replace = true;
            }
            if (move) {
                // The move sends a replaced file to the trash itself.
                file->MoveTo(dest, true);
            } else if (file->IsFolder() || blockedByFolder) {
                // An existing folder of that name is left alone: the copy takes a free name.
                std::string copied;
                file->CopyTo(dest, false, copied);
            } else {
                // The file given up for the copy goes to the trash, not away for good.
                if (replace) {
                    TFile* listed = destPath != nullptr ? destPath->Files().Find(file->Name) : nullptr;
                    if (listed != nullptr)
                        destPath->DeleteFileFromDisk(listed);
                    else
                        TrashUnlisted(clash);
                }
                std::string copied;
                file->CopyTo(dest, true, copied);
            }
            ++done;
        }
    } catch (...) {
        try {
            saveDest();
        } catch (...) {
        }
        return AbortOrRaise(done);
    }
    saveDest();
    return done;
}

// ---- Delete --------------------------------------------------------------------------

// A rom file leaves the disk through the trash wherever the disk holds it as a file of
// its own; an entry inside a zip can only be deleted from the archive.
void TFileCommands::DeleteRomFile(TRomFile* romFile) {
    TFile* file = romFile->File;
    if (file->IsZip()) {
        file->DeleteRomFile(romFile);
    } else if (file->IsPlain()) {
        file->Path->DeleteFileFromDisk(file);
    } else {
        TrashUnlisted(file->FullPath + romFile->StoredName());
        file->DropRomFile(romFile);
        file->UpdateDate();
        file->Match();
        if (file->GetRomFileCount() > 0 || file->GetAvailableElsewhereCount() > 0) return;
        std::vector<TDirEntry> entries;
        if (Fs().ListDir(NoSlash(file->FullPath), entries) == 0 && entries.empty()) file->Path->DeleteFileFromDisk(file);
    }
}

int TFileCommands::ShellDeleteFiles(int& errors) {
    errors = 0;
    if (SelectedRoms.empty() && SelectedFiles.empty()) return 0;
    TPath* path = !SelectedRoms.empty() ? SelectedRoms.front()->File->Path : SelectedFiles.front()->Path;
    if (path->IsReadOnly()) {
        Warn(_("Rom path is read only. Can't move or delete files."));
        return 0;
    }
    if (!Confirm(Fmt(_("%1 file(s) will be deleted. "), {Count(SelectedRoms.size() + SelectedFiles.size())})))
        return 0;
    StartProgress(static_cast<int>(std::max(SelectedRoms.size(), SelectedFiles.size())));
    int done = 0;
    try {
        if (!SelectedRoms.empty()) {
            const std::vector<TRomFile*> roms(SelectedRoms);
            // The selected entries of one zip leave it in one rewrite, where the first
            // of them stands.
            std::unordered_map<const TFile*, std::vector<TRomFile*>> zipRoms;
            for (TRomFile* romFile : roms)
                if (romFile->File->IsZip()) {
                    std::vector<TRomFile*>& group = zipRoms[romFile->File];
                    if (std::find(group.begin(), group.end(), romFile) == group.end()) group.push_back(romFile);
                }
            for (TRomFile* romFile : roms) {
                CheckCancel();
                if (removedRoms_.count(romFile) != 0) continue;
                SetWait(Fmt(_("Deleting %1"), {romFile->Name()}));
                StepIt();
                TFile* file = romFile->File;
                ClearReadOnly(NoSlash(file->FullPath));
                const auto group = zipRoms.find(file);
                if (group == zipRoms.end() || group->second.size() < 2) {
                    DeleteRomFile(romFile);
                    ++done;
                    continue;
                }
                std::vector<TRomFile*> batch;
                for (TRomFile* member : group->second)
                    if (removedRoms_.count(member) == 0) batch.push_back(member);
                zipRoms.erase(group);
                file->DeleteRomFiles(batch);
                done += static_cast<int>(batch.size());
                for (size_t k = 1; k < batch.size(); ++k) StepIt();
            }
        } else {
            const std::vector<TFile*> files(SelectedFiles);
            for (TFile* file : files) {
                CheckCancel();
                if (removedFiles_.count(file) != 0) continue;
                SetWait(Fmt(_("Deleting %1"), {file->Name}));
                StepIt();
                file->Path->DeleteFileFromDisk(file);
                ++done;
            }
        }
    } catch (...) {
        return AbortOrRaise(done);
    }
    return done;
}

// ---- Change case -------------------------------------------------------------------

// The entries of one zip in one rewrite. A new name that another entry already bears,
// ignoring case, is refused: inside a zip the two would be one name to most tools.
int TFileCommands::RenameZipEntries(TFile* file, const std::vector<TRomFile*>& roms, int rule, int& refused) {
    std::unordered_map<std::string, int> held;
    for (const auto& entry : file->RomFiles)
        if (!entry.romFile->IsPlaceholder()) ++held[LowerCase(entry.romFile->StoredName())];
    TRenameList pairs;
    std::vector<TRomFile*> renamed;
    for (TRomFile* romFile : roms) {
        StepIt();
        if (removedRoms_.count(romFile) != 0) continue;
        const std::string newName = CaseRuleName(romFile->StoredName(), rule, romFile->GetCorrectName());
        if (newName.empty() || newName == romFile->StoredName()) continue;
        if (rule == coDatabase && !SameText(newName, romFile->StoredName())) continue;
        const std::string oldKey = LowerCase(romFile->StoredName());
        const std::string newKey = LowerCase(newName);
        --held[oldKey];
        if (held[newKey] > 0) {
            ++held[oldKey];
            ++refused;
            Log("Name " + newName + " taken in " + file->FullPath + ", " + romFile->StoredName() + " not renamed");
            continue;
        }
        ++held[newKey];
        pairs.push_back(TRenameItem{romFile->StoredName(), newName, 0});
        renamed.push_back(romFile);
    }
    if (pairs.empty()) return 0;
    TArchiveManager* manager = filesBd_.ArchiveManager();
    if (manager == nullptr) throw filesbd::EObjectNotFound(_("Internal Object TFile not found. Contact author."));
    ClearReadOnly(file->FullPath);
    manager->RenameFiles(file->FullPath, pairs);
    for (size_t i = 0; i < renamed.size(); ++i) {
        TRomFile* romFile = renamed[i];
        romFile->SetStoredName(pairs[i].NewName);
    }
    // Looked up again under the new names, then matched.
    file->DetachRomFiles();
    file->SubmitRomFiles(file->Path != nullptr && file->Path->Owner()->SubmitRoms);
    file->Match();
    file->UpdateDate();
    return static_cast<int>(pairs.size());
}

// A plain file's rom or a folder's member.
bool TFileCommands::RenameRomFile(TRomFile* romFile, int rule, int& refused) {
    TFile* file = romFile->File;
    const std::string newName = CaseRuleName(romFile->StoredName(), rule, romFile->GetCorrectName());
    if (rule == coDatabase && !SameText(newName, romFile->StoredName())) return false;
    ClearReadOnly(NoSlash(file->FullPath));
    if (newName.empty() || newName == romFile->StoredName()) return false;
    const std::string from = file->IsPlain() ? file->FullPath : file->FullPath + romFile->StoredName();
    const std::string to = file->IsPlain() ? file->Path->GetPath() + newName : file->FullPath + newName;
    if (TakenByAnother(from, to)) {
        ++refused;
        Log("Name " + to + " taken, " + from + " not renamed");
        return false;
    }
    if (SameEntry(from, to)) {
        // A volume that ignores case finds the file under its new spelling already; the
        // rename goes through a free temporary name.
        std::string temporary;
        for (int n = 0; temporary.empty() || PathExists(from.substr(0, from.size() - romFile->StoredName().size()) + temporary); ++n)
            temporary = newName + ".case" + std::to_string(n);
        romFile->Rename(temporary);
    }
    return romFile->Rename(newName);
}

bool TFileCommands::RenameFile(TFile* file, int rule, int& refused) {
    const std::string newName = rule == coDatabase ? file->GetCorrectName()
                                                   : ApplyCaseOption(file->Name, static_cast<TCaseOptions>(rule));
    if (rule == coDatabase && !SameText(newName, file->Name)) return false;
    ClearReadOnly(NoSlash(file->FullPath));
    if (newName.empty() || newName == file->Name) return false;
    const std::string from = NoSlash(file->FullPath);
    const std::string to = file->Path->GetPath() + newName;
    const TFile* listed = file->Path->Files().Find(newName);
    if ((listed != nullptr && listed != file) || TakenByAnother(from, to)) {
        ++refused;
        Log("Name " + to + " taken, " + from + " not renamed");
        return false;
    }
    return file->Rename(newName);
}

int TFileCommands::ShellChangeCase(int rule, int& errors) {
    errors = 0;
    if (rule < coDatabase || rule >= coDontCare) return 0;
    if (SelectedRoms.empty() && SelectedFiles.empty()) return 0;
    TPath* path = !SelectedRoms.empty() ? SelectedRoms.front()->File->Path : SelectedFiles.front()->Path;
    if (path->IsReadOnly()) {
        Warn(_("Rom path is read only. Can't move or delete files."));
        return 0;
    }
    if (!Confirm(Fmt(_("%1 file(s) will be renamed. "), {Count(SelectedRoms.size() + SelectedFiles.size())})))
        return 0;
    StartProgress(static_cast<int>(std::max(SelectedRoms.size(), SelectedFiles.size())));

    // The rom files in list order, those of one zip together where the first of them
    // stands: each zip is rewritten once.
    struct TUnit {
        TFile* zip;
        std::vector<TRomFile*> roms;
    };
    std::vector<TUnit> units;
    std::unordered_map<const TFile*, size_t> zipUnit;
    for (TRomFile* romFile : SelectedRoms) {
        if (!romFile->File->IsZip()) {
            units.push_back({nullptr, {romFile}});
            continue;
        }
        const auto [it, added] = zipUnit.emplace(romFile->File, units.size());
        if (added) units.push_back({romFile->File, {}});
        units[it->second].roms.push_back(romFile);
    }

    int done = 0;
    int refused = 0;
    try {
        for (const TUnit& unit : units) {
            CheckCancel();
            if (unit.zip != nullptr) {
                if (removedFiles_.count(unit.zip) != 0) continue;
                SetWait(Fmt(_("Renaming %1"), {unit.zip->Name}));
                done += RenameZipEntries(unit.zip, unit.roms, rule, refused);
            } else {
                TRomFile* romFile = unit.roms.front();
                if (removedRoms_.count(romFile) != 0) continue;
                SetWait(Fmt(_("Renaming %1"), {romFile->Name()}));
                StepIt();
                if (RenameRomFile(romFile, rule, refused)) ++done;
            }
        }
        const std::vector<TFile*> files(SelectedFiles);
        for (TFile* file : files) {
            CheckCancel();
            if (removedFiles_.count(file) != 0) continue;
            SetWait(Fmt(_("Renaming %1"), {file->Name}));
            StepIt();
            if (RenameFile(file, rule, refused)) ++done;
        }
    } catch (...) {
        errors += refused;
        return AbortOrRaise(done);
    }
    errors += refused;
    if (refused > 0) {
        StopProgress();
        Warn(Fmt(_("%1 file(s) not renamed: the new name is already taken."), {std::to_string(refused)}));
    }
    return done;
}

}  // namespace qm
