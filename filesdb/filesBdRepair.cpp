// Repairs of whole files: rename, merge, copy, move, remove, delete and rezip.
//
// Every operation tests what it can before its first change (names taken, free space,
// files present), and every change goes through Fs(), the archive manager or the file
// routines, so that a test can make any step fail. Nothing a user may still want is
// deleted for good: renames never replace, files taken away go to the trash or to the
// merge backup folder.
#include <cerrno>
#include <cstdint>
#include <optional>
#include <vector>

#include "archive/FilesTools.h"
#include "archive/archivemanager.h"
#include "archive/stringsTools.h"
#include "catalogue/RomsBd.h"
#include "filesdb/RepairSupport.h"
#include "filesdb/filesBd.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

bool FileExists(const std::string& path) {
    TFileStat st;
    return Fs().Stat(path, st) == 0 && st.exists && !st.isDir;
}

// The first name of the "free name" rule that nothing in folder bears yet: name, then
// name_0, name_1 ... for a folder, base_0.ext, base_1.ext ... for a file.
std::string FreeName(const std::string& folder, const std::string& name, bool isFolder) {
    std::string candidate = folder + name;
    const std::string extension = isFolder ? std::string() : FileExtension(name);
    const std::string base = name.substr(0, name.size() - extension.size());
    for (int n = 0; PathExists(candidate); ++n) candidate = folder + base + "_" + std::to_string(n) + extension;
    return candidate;
}

// The rom path of exactly that folder text, or nullptr.
TPath* RomPathOf(TFilesBd* bd, const std::string& folder) {
    if (bd == nullptr) return nullptr;
    const int index = bd->Paths().IndexOf(WithSlash(folder));
    return index < 0 ? nullptr : bd->Paths().GetPath(index);
}

TArchiveManager& ManagerOf(const TFile& file) {
    TFilesBd* bd = file.FilesBd();
    if (bd == nullptr || bd->ArchiveManager() == nullptr)
        throw filesbd::EObjectNotFound(_("Internal Object TFile not found. Contact author."));
    return *bd->ArchiveManager();
}

// An operation that may drop the file it runs on keeps it alive until it returns: the
// database frees dropped objects when the outermost command ends.
class TScope {
public:
    explicit TScope(TFilesBd* bd) {
        if (bd != nullptr) scope_.emplace(*bd);
    }

private:
    std::optional<TFilesBd::TCommandScope> scope_;
};

bool SubmitsRoms(const TFile& file) { return file.Path != nullptr && file.Path->Owner()->SubmitRoms; }

// Gives the owner write permission when the entry lacks it (a read-only file cannot be
// sent to the trash or deleted on some volumes).
void MakeWritable(const std::string& name) {
    if (!FileHasAttr(name, faReadOnly)) return;
    if (!ClearReadOnly(name)) throw filesbd::EFileError(name + ": " + SysErrorMessage(EACCES));
}

// The file routines' moves raise their own class; repairs raise the database's.
void MoveSafe(const std::string& from, const std::string& to) {
    try {
        MoveFileSafe(from, to);
    } catch (const EFCantMove& e) {
        throw filesbd::EFileError(from + ": " + e.Message());
    }
}

// The file routines' shell copy, move and trash raise their own class; the repairs
// raise the database's (which derives from it).
void ToTrash(const std::string& name) {
    try {
        ShellDeleteFile(name);
    } catch (const filestools::EFileError& e) {
        throw filesbd::EFileError(name + ": " + e.Message());
    }
}

void ShellMove(const std::string& from, const std::string& to) {
    try {
        ShellMoveFile(from, to, false);
    } catch (const filestools::EFileError& e) {
        throw filesbd::EFileError(from + ": " + e.Message());
    }
}

// Gives a rom file of a zip or folder a new name inside its file (the merge makes room
// with it). The single-rom repairs own the full rename with its error bookkeeping; this
// is the plain step a merge needs.
void RenameMember(TFile& file, TRomFile* romFile, const std::string& newName) {
    CheckSafeName(newName, file.IsZip());
    CheckRepairSpace(file.FullPath, romFile->Size > INT64_MAX / 2 ? INT64_MAX : romFile->Size * 2);
    if (file.IsZip()) {
        TRenameList list;
        list.push_back(TRenameItem{romFile->StoredName(), newName, 0});
        ManagerOf(file).RenameFiles(file.FullPath, list);
    } else {
        CheckFsResult(RenameNoReplaceAnyCase(file.FullPath + romFile->StoredName(), file.FullPath + newName), file.FullPath + newName);
    }
    romFile->SetStoredName(newName);
    // A rom found by its old name (one without a good dump) is not this file's any more:
    // the lookup is made again under the new name.
    file.DetachRomFiles();
    file.SubmitRomFiles(SubmitsRoms(file));
    file.Match();
    file.UpdateDate();
}

// A free name for a rom inside target: name_0, name_1 ... (the whole name, extension
// included, followed by the number): for a zip the first that no rom file of target
// bears without its extension, for a folder the first that no file of target's folder
// bears.
std::string FreeMemberName(const TFile& target, const std::string& name) {
    for (int n = 0;; ++n) {
        const std::string candidate = name + "_" + std::to_string(n);
        const bool taken = target.IsZip() ? target.RomFiles.IndexOfNameWithoutExt(candidate, true) >= 0
                                          : PathExists(target.FullPath + candidate);
        if (!taken) return candidate;
    }
}

// A plain file's rom leaves the rom path: a copy goes into destFolder under a free
// name first, then the file is deleted. The single-rom repairs decide where the only
// copy of a needed rom goes; until a plain file's rom goes through them, it is always
// backed up, so nothing is ever lost.
void RemovePlainRom(TFile& file, const std::string& destFolder) {
    if (file.RomFiles.Empty()) return;
    TRomFile* romFile = file.RomFiles[0];
    file.Log("Remove rom " + file.FullPath);
    CheckRepairAbort(file);
    if (!romFile->HasError()) {
        CheckRepairSpace(destFolder, RepairSpaceOf(file));
        CheckFsResult(MakeDirs(NoSlash(destFolder)), destFolder);
        const std::string backup = FreeName(WithSlash(destFolder), file.Name, false);
        if (int err = Fs().CopyFile(file.FullPath, backup, false)) {
            romFile->StoreErrorText(SysErrorMessage(err));
            throw filesbd::EFileError(backup + ": " + romFile->ErrorText());
        }
    }
    file.DeleteRomFile(romFile);
}

}  // namespace

// ---- Rename -------------------------------------------------------------------------

bool TFile::Rename(const std::string& newName) {
    if (newName.empty() || newName == Name) return false;
    CheckSafeName(newName, false);
    const bool caseOnly = SameText(newName, Name);
    TFilesBd* bd = FilesBd();
    TScope scope(bd);
    const std::string folder = Path->GetPath();
    const std::string target = folder + newName;

    if (IsPlain()) {
        if (bd != nullptr) bd->DoInfos(Fmt(_("Renaming %1..."), {Name}));
        if (!caseOnly && PathExists(target)) {
            // Never replaced: only a listed copy of the very same rom may give way, and it
            // goes to the trash, not away for good.
            TFile* other = Path->Files().Find(newName);
            const bool sameRom = other != nullptr && other != this && other->IsPlain() && other->RomFiles.Count() == 1 &&
                                 RomFiles.Count() == 1 && !RomFiles[0]->Crc().empty() &&
                                 SameText(other->RomFiles[0]->Crc(), RomFiles[0]->Crc()) &&
                                 other->RomFiles[0]->Size == RomFiles[0]->Size;
            if (!sameRom) throw filesbd::EFileError(target + ": " + SysErrorMessage(EEXIST));
            Path->DeleteFileFromDisk(other);
        }
        CheckFsResult(RenameNoReplaceAnyCase(FullPath, target), target);
        Path->Files().Rename(this, newName);
        ShortName = newName;
        FullPath = target;
        if (!RomFiles.Empty()) {
            TRomFile* romFile = RomFiles[0];
            // A plain file's name is its whole stored name; its extension stays the one
            // it had unless the plug-in's is the rule.
            const bool suggested = bd != nullptr && bd->PlugInSuggeredExtension && !romFile->SuggestedExtension().empty();
            const std::string extension(suggested ? std::string_view(romFile->SuggestedExtension()) : romFile->Extension());
            romFile->SetNames(newName, newName, extension);
        }
        DetachRomFiles();
        SubmitRomFiles(SubmitsRoms(*this));
        Match();
    } else {
        // A taken name is a clash, not a success: the file keeps its name.
        if (!caseOnly && (Path->Files().Find(newName) != nullptr || PathExists(target))) return false;
        if (bd != nullptr) bd->DoInfos(Fmt(_("Renaming %1..."), {Name}));
        DetachRomFiles();
        try {
            CheckFsResult(RenameNoReplaceAnyCase(NoSlash(FullPath), target), target);
        } catch (...) {
            SubmitRomFiles(SubmitsRoms(*this));
            throw;
        }
        Path->Files().Rename(this, newName);
        if (IsFolder()) {
            ShortName = newName;
            FullPath = WithSlash(target);
        } else {
            ShortName = RemoveFileExt(newName);
            FullPath = target;
        }
        SubmitRomFiles(SubmitsRoms(*this));
        Match();
    }
    if (bd != nullptr && bd->OnRenameFile) bd->OnRenameFile(this);
    UpdateDate();
    return true;
}

uint8_t TFile::RenameOrMerge() {
    Log("Rename file " + FullPath);
    const std::string correct = GetCorrectName();
    CheckRepairAbort(*this);
    if (correct.empty() || correct == Name) return 0;
    CheckSafeName(correct, false);
    const std::string folder = Path->GetPath();
    const bool onDisk = IsFolder() ? FolderExists(folder + correct) : FileExists(folder + correct);
    if (onDisk && !SameText(correct, Name)) {
        TFile* target = Path->Files().Find(correct);
        if (target == nullptr) return 0;
        Log("Merge file " + Name);
        return MergeWith(target) ? 2 : 4;
    }
    Log("Rename file " + Name + " to " + correct);
    return Rename(correct) ? 3 : 4;
}

// ---- Merge --------------------------------------------------------------------------

bool TFile::MergeWith(TFile* target) {
    TFilesBd* bd = FilesBd();
    TScope scope(bd);
    const int64_t space = RepairSpaceOf(*this);
    CheckRepairSpace(FullPath, space);
    CheckRepairSpace(target->FullPath, space);
    if (target == this) return false;
    if (Kind != target->Kind) {
        UiHooks().MessageDlg(_("Type of files are not the same."), TMsgDlgType::mtError, mbOK);
        return false;
    }
    if (IsFolder()) {
        if (!FolderExists(target->FullPath))
            throw filesbd::EFileNotFound(Fmt(_("File %1 not found."), {target->FullPath}));
        if (!FolderExists(FullPath)) throw filesbd::EFileNotFound(Fmt(_("File %1 not found."), {Name}));
    } else if (IsZip()) {
        if (!FileExists(target->FullPath))
            throw filesbd::EFileNotFound(Fmt(_("File %1 not found."), {target->FullPath}));
        if (!FileExists(FullPath)) throw filesbd::EFileNotFound(Fmt(_("File %1 not found."), {FullPath}));
    } else {
        // A plain file has no member to move: merging it only makes sense when the file
        // of the correct name holds the same rom; otherwise this file would be taken
        // away with a rom found nowhere else.
        const bool same = RomFiles.Count() == 1 && target->RomFiles.Count() >= 1 &&
                          target->RomFiles.IndexOf(RomFiles[0]->Crc()) >= 0 &&
                          !target->RomFiles[target->RomFiles.IndexOf(RomFiles[0]->Crc())]->IsPlaceholder();
        if (!same) return false;
    }
    if (bd != nullptr) bd->DoInfos(Fmt(_("Merging %1..."), {Name}));
    SeparateTwinNames();
    target->SeparateTwinNames();

    // Matching between moves may rebuild the placeholders, so the walk goes over a copy.
    std::vector<TRomFile*> walk;
    for (const auto& entry : RomFiles)
        if (!entry.romFile->IsPlaceholder()) walk.push_back(entry.romFile.get());

    bool moved = false;
    for (TRomFile* romFile : walk) {
        CheckRepairAbort(*this);
        if (IsPlain()) break;
        if (RomFiles.IndexOfObject(romFile) < 0 || romFile->IsPlaceholder()) continue;
        TRom* rom = romFile->GetRom();
        const TRomFilesList& theirs = target->RomFiles;
        const bool present = rom != nullptr && theirs.IndexOfRomFile(rom, false) >= 0;
        const bool slot = rom != nullptr && theirs.IndexOfRomFile(rom, true) >= 0;
        // Only the very name the rom lands under is in the way: a rom of the target that
        // shares it without its extension is another rom and keeps its name.
        const std::string ownName(IsFolder() ? std::string_view(romFile->StoredName()) : romFile->Name());
        const int nameIndex = theirs.IndexOfFileName(ownName, true);
        const bool nameDump = nameIndex >= 0 && theirs[nameIndex]->IsNoDump();
        const int takenIndex = theirs.IndexOfFileName(ownName, false);
        const bool nameTaken = takenIndex >= 0;
        const bool sameCrc = nameDump && nameTaken && SameText(theirs[takenIndex]->Crc(), romFile->Crc());
        const bool move = (!nameDump && rom != nullptr && !present && slot) || (nameDump && !sameCrc);
        if (!move) continue;

        if (nameDump && nameTaken) RenameMember(*target, theirs[takenIndex], FreeMemberName(*target, ownName));
        const std::string newName = !nameDump && nameTaken ? FreeMemberName(*target, ownName) : ownName;

        CheckSafeName(newName, target->IsZip());
        // A zip entry is copied, recorded in the target, and only then deleted from
        // this zip: whichever step fails, the database says where the rom is.
        if (IsZip()) ManagerOf(*this).CopyFileBetweenArchives(FullPath, romFile->StoredName(), target->FullPath, newName);
        if (IsFolder()) MoveSafe(FullPath + romFile->StoredName(), target->FullPath + newName);
        target->AddRomFile(newName, romFile->Crc(), romFile->GetDate(), romFile->Size, romFile->SuggestedExtension());
        if (IsZip()) {
            try {
                ManagerOf(*this).DeleteFile(FullPath, romFile->StoredName());
            } catch (...) {
                target->Match();
                throw;
            }
        }
        DropRomFile(romFile);
        target->Match();
        Match();
        moved = true;
    }
    if (moved && IsFolder()) Path->MatchFiles();

    TPath* path = Path;
    if (GetRomFileCount() > 0) {
        // Roms the target could not take: set aside where a reboot does not clear them.
        if (bd == nullptr || bd->MergeBackupDir.empty()) {
            target->UpdateDate();
            return true;
        }
        CheckFsResult(MakeDirs(NoSlash(bd->MergeBackupDir)), bd->MergeBackupDir);
        ShellMove(NoSlash(FullPath), FreeName(WithSlash(bd->MergeBackupDir), Name, IsFolder()));
    } else {
        MakeWritable(NoSlash(FullPath));
        ToTrash(NoSlash(FullPath));
    }
    path->DropFile(this);
    target->UpdateDate();
    return true;
}

// ---- Copy and move ------------------------------------------------------------------

void TFile::CopyTo(const std::string& destFolder, bool overwrite, std::string& newName) {
    TScope scope(FilesBd());
    Log("Copy file " + FullPath + " to " + destFolder);
    CheckSafeName(Name, false);
    CheckRepairSpace(destFolder, RepairSpaceOf(*this));
    const std::string folder = WithSlash(destFolder);
    const std::string dest = overwrite ? folder + Name : FreeName(folder, Name, IsFolder());
    try {
        if (IsFolder()) {
            // An existing folder of that name takes the copy's files into it.
            ShellCopyFile(NoSlash(FullPath), FolderExists(dest) ? folder : dest);
        } else {
            if (FolderExists(dest)) throw filesbd::EFileError(dest + ": " + SysErrorMessage(EISDIR));
            ShellCopyFile(FullPath, dest);
        }
    } catch (const filesbd::EFileError& e) {
        ErrorText = e.Message();
        throw;
    } catch (const filestools::EFileError& e) {
        ErrorText = e.Message();
        throw filesbd::EFileError(e.Message());
    }
    if (TPath* romPath = RomPathOf(FilesBd(), folder)) {
        // A listed file the copy went over is read again, not given back as it was.
        TFile* listed = romPath->Files().Find(ExtractFileNameAnySep(dest));
        if (listed != nullptr && listed != this) romPath->DropFile(listed);
        if (listed != this)
            if (TFile* copy = romPath->AddFile(dest, Kind)) copy->Match();
    }
    newName = dest;
}

bool TFile::MoveTo(const std::string& destFolder, bool overwrite) {
    TFilesBd* bd = FilesBd();
    TScope scope(bd);
    Log("Move file " + FullPath + " to " + destFolder);
    const int64_t space = RepairSpaceOf(*this);
    CheckRepairSpace(FullPath, space);
    CheckRepairSpace(destFolder, space);
    if (IsFolder() && RomPathOf(bd, FullPath) != nullptr)
        throw filesbd::EFileError(_("Can't move a folder available as rom path."));
    const std::string folder = WithSlash(destFolder);
    std::string dest = folder + Name;
    TPath* destPath = RomPathOf(bd, folder);
    TFile* noted = destPath != nullptr ? destPath->Files().Find(Name) : nullptr;
    if (noted == this) noted = nullptr;  // a move onto itself must not delete it

    if (overwrite && FileExists(dest) && dest != FullPath) {
        if (noted != nullptr) {
            destPath->DeleteFileFromDisk(noted);
        } else {
            MakeWritable(dest);
            ToTrash(dest);
        }
    }
    dest = FreeName(folder, Name, IsFolder());
    ShellMove(NoSlash(FullPath), dest);
    TPath* path = Path;
    path->DropFile(this);
    if (destPath != nullptr)
        if (TFile* moved = destPath->AddFile(dest, Kind)) moved->Match();
    return true;
}

bool TFile::Remove(const std::string& destFolder) {
    TScope scope(FilesBd());
    Log("Remove file " + FullPath);
    CheckRepairAbort(*this);
    if (IsPlain()) {
        RemovePlainRom(*this, destFolder);
        return false;
    }
    if (Path->IsReadOnly()) return false;
    TPath* path = Path;
    MoveTo(destFolder, false);
    path->MatchFiles();
    return true;
}

// ---- Deletes ------------------------------------------------------------------------

bool TFile::DeleteRomFile(TRomFile* romFile) {
    TScope scope(FilesBd());
    // By identity: two rom files may share a name without extension (rom.bin and
    // rom.txt), and the one asked for is the one to delete.
    if (romFile == nullptr || RomFiles.IndexOfObject(romFile) < 0 ||
        RomFiles.IndexOfNameWithoutExt(RemoveFileExt(romFile->StoredName()), true) < 0)
        throw filesbd::EObjectNotFound(_("Internal Object TFile not found. Contact author."));
    if (!romFile->IsPlaceholder()) {
        if (IsZip()) {
            // The delete names one entry: a twin of the same name must not go with it.
            SeparateTwinNames();
            ManagerOf(*this).DeleteFile(FullPath, romFile->StoredName());
        } else {
            const std::string name = IsPlain() ? FullPath : FullPath + romFile->StoredName();
            MakeWritable(name);
            CheckFsResult(Fs().Unlink(name), name);
        }
    }
    DropRomFile(romFile);
    return TakeAwayWhenEmpty();
}

bool TFile::DeleteRomFiles(const std::vector<TRomFile*>& romFiles) {
    if (!IsZip()) {
        for (TRomFile* romFile : romFiles) DeleteRomFile(romFile);
        return true;
    }
    TScope scope(FilesBd());
    for (TRomFile* romFile : romFiles)
        if (romFile == nullptr || RomFiles.IndexOfObject(romFile) < 0 ||
            RomFiles.IndexOfNameWithoutExt(RemoveFileExt(romFile->StoredName()), true) < 0)
            throw filesbd::EObjectNotFound(_("Internal Object TFile not found. Contact author."));
    SeparateTwinNames();
    TArchiveChanges deletes;
    for (TRomFile* romFile : romFiles)
        if (!romFile->IsPlaceholder()) deletes.push_back({{}, romFile->StoredName(), {}});
    ManagerOf(*this).CommitChanges(FullPath, deletes);
    for (TRomFile* romFile : romFiles) DropRomFile(romFile);
    return TakeAwayWhenEmpty();
}

bool TFile::TakeAwayWhenEmpty() {
    UpdateDate();
    Match();
    if (GetRomFileCount() > 0 || GetAvailableElsewhereCount() > 0) return true;
    if (IsPlain()) {
        Path->DropFile(this);
        return true;
    }
    // Only what the scan saw is known: a zip or folder that still holds anything else
    // (entries filtered out, a sub-folder) stays on disk.
    bool empty = false;
    if (IsZip()) {
        empty = ManagerOf(*this).IsArchiveEmpty(FullPath);
    } else {
        std::vector<TDirEntry> entries;
        empty = Fs().ListDir(NoSlash(FullPath), entries) == 0 && entries.empty();
    }
    if (empty) Path->DeleteFileFromDisk(this);
    return true;
}

bool TPath::DeleteFileFromDisk(TFile* file) {
    TScope scope(FilesBd());
    Log("Delete file " + file->FullPath + " from disk");
    if (Files().IndexOfObject(file) < 0)
        throw filesbd::EObjectNotFound(_("Internal Object TFile not found. Contact author."));
    const std::string name = NoSlash(file->FullPath);
    MakeWritable(name);
    ToTrash(name);
    DropFile(file);
    return true;
}

// ---- Rezip --------------------------------------------------------------------------

void TFile::Rezip() {
    Log("Rezip file " + FullPath);
    CheckRepairAbort(*this);
    if (!IsZip()) return;
    CheckRepairSpace(Path->GetPath(), RepairSpaceOf(*this));
    ManagerOf(*this).RecompressArchive(FullPath);
    TFileStat st;
    if (Fs().Stat(FullPath, st) == 0 && st.exists) Size = st.size;
    UpdateDate();
}

}  // namespace qm
