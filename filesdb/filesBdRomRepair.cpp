// Repairs of single roms: rename a rom inside its file, rename the wrongly named roms of
// a file at once, copy a rom into another file, back a rom up before it goes, put the
// only copy of a rom where a game that uses it lives, take a useless rom out, import a
// missing rom from another file (asking for another disk), and write a dummy for a
// missing rom that has no good dump.
//
// Every change goes through Fs(), the archive manager or the file routines, and is
// checked first: names taken, free space, volume present. A rom is added to a file only
// after any other rom of that name has been renamed aside, so nothing is replaced; a
// rom leaves its file only once its copy exists elsewhere.

#include <algorithm>
#include <cerrno>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <unistd.h>
#include <vector>

#include "archive/FilesTools.h"
#include "archive/archivemanager.h"
#include "archive/stringsTools.h"
#include "catalogue/RomsBd.h"
#include "filesdb/RepairSupport.h"
#include "filesdb/RomCopyIndex.h"
#include "filesdb/SignatureCalculator.h"
#include "filesdb/filesBd.h"
#include "platform/Crc32.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

// The name without its extension, inner path kept.
std::string NameWithoutExt(const std::string& name) { return name.substr(0, name.size() - FileExtension(name).size()); }

int64_t TwiceSize(int64_t size) { return size > 0 ? size * 2 : 0; }

TFilesBd& BdOf(const TFile& file) {
    TFilesBd* bd = file.FilesBd();
    if (bd == nullptr) throw filesbd::EObjectNotFound(_("Internal Object TFile not found. Contact author."));
    return *bd;
}

TArchiveManager& ManagerOf(const TFile& file) {
    TArchiveManager* manager = BdOf(file).ArchiveManager();
    if (manager == nullptr) throw filesbd::EObjectNotFound(_("Internal Object TFile not found. Contact author."));
    return *manager;
}

void CopyNoReplace(const std::string& from, const std::string& to) { CheckFsResult(Fs().CopyFile(from, to, false), to); }

// A folder of its own inside the work folder for the files a repair writes on the way
// (an extracted entry, a renamed copy, a dummy): no name there is shared with anybody,
// no stale file can be in the way, and it goes with everything in it.
class TStagingFolder {
public:
    explicit TStagingFolder(const TFile& file) {
        TArchiveManager* manager = BdOf(file).ArchiveManager();
        std::string base = manager != nullptr ? manager->TempDir : BdOf(file).TempDir();
        if (base.empty()) base = GetTempDirectory();
        base = WithSlash(base);
        static unsigned counter = 0;
        for (int attempt = 0;; ++attempt) {
            const std::string candidate =
                base + "romrepair-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
            const int err = Fs().MakeDir(candidate);
            if (err == 0) {
                path_ = candidate + "/";
                return;
            }
            if (err != EEXIST || attempt > 1000) CheckFsResult(err, candidate);
        }
    }
    ~TStagingFolder() {
        std::vector<TDirEntry> entries;
        if (Fs().ListDir(NoSlash(path_), entries) == 0)
            for (const TDirEntry& e : entries) Fs().Unlink(path_ + e.name);
        Fs().RemoveDir(NoSlash(path_));
    }
    TStagingFolder(const TStagingFolder&) = delete;
    TStagingFolder& operator=(const TStagingFolder&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// A name of the file nobody holds, in the database (placeholders included) or on disk.
bool NameIsFree(const TFile& file, const std::string& name) {
    if (file.RomFiles.IndexOfFileName(name, true) >= 0) return false;
    if (file.RomFiles.IndexOfNameWithoutExt(NameWithoutExt(name), true) >= 0) return false;
    return !file.IsFolder() || !PathExists(file.FullPath + name);
}

// A rom moved aside to make room for another; put back when what it made room for
// could not be placed.
struct TMadeRoom {
    TRomFile* romFile = nullptr;
    std::string oldName;

    void Undo() {
        if (romFile == nullptr) return;
        try {
            romFile->Rename(oldName);
        } catch (const Exception&) {
            // The rom keeps its other name and the error the rename recorded.
        }
        romFile = nullptr;
    }
};

// Renames the rom of target that holds newName to base_N plus its own extension, N the
// first number from 0 that nobody holds. Only the very name is in the way: a rom that
// shares it without its extension (a.u2 for a.u1) is another rom of the set and stays.
TMadeRoom MakeRoom(TFile& target, const std::string& newName) {
    TMadeRoom room;
    if (target.IsPlain()) return room;
    const int index = target.RomFiles.IndexOfFileName(newName, false);
    if (index < 0) return room;
    TRomFile* other = target.RomFiles[index];
    const std::string base = NameWithoutExt(newName);
    const std::string extension = FileExtension(other->StoredName());
    std::string aside;
    for (int n = 0;; ++n) {
        aside = base + "_" + std::to_string(n) + extension;
        if (NameIsFree(target, aside)) break;
    }
    room.oldName = other->StoredName();
    other->Rename(aside);
    room.romFile = other;
    return room;
}

// The set a clone rom's file is named after: the game (merged) or the clone (split).
std::string SetNameOf(const TCloneRom& cloneRom, bool split, bool zip) {
    std::string name = split ? cloneRom.Clone->GetDisplayName() : cloneRom.Clone->Game->Name;
    if (zip) name += ".zip";
    return name;
}

// The listing under which the set of cloneRom needs rom in the current mode (the list
// matching serves the set's file from), or nullptr when that set does not need it: a
// rom put there would only be called "not used" and moved on again.
const TCloneRom* NeededBy(const TRomsBd& roms, const TCloneRom& cloneRom, const TRom* rom) {
    TCloneRomsList needed;
    roms.ListGameRoms(roms.Split ? cloneRom.Clone->GetDisplayName() : cloneRom.Clone->Game->Name, needed);
    for (const TCloneRom* cr : needed)
        if (cr->Rom == rom) return cr;
    return nullptr;
}

enum class TPlacement { kPlaced, kNothingToDo, kFailed };

// The first rom file of the list, in list order, that holds a copy of a rom: its CRC is
// the rom's or the complement, it is readable and no placeholder. The list is sorted by
// the key a rom file was added under, which is its CRC, or the CRC of the placeholder it
// filled (the rom's, its complement, or that of no dump): only those runs are looked at,
// so an import need not touch every rom file of every path.
TRomFile* FirstCopyIn(const TRomFilesList& list, const std::string& crc, const std::string& complement) {
    int best = -1;
    for (const std::string_view key : {std::string_view(crc), std::string_view(complement), kNoDumpCrc}) {
        if (key.empty()) continue;
        for (int i = list.IndexOf(key); i >= 0 && i < list.Count() && list.Key(i) == key; ++i) {
            const TRomFile* s = list[i];
            if (s->IsPlaceholder() || s->HasError()) continue;
            if (!SameText(s->Crc(), crc) && !SameText(s->Crc(), complement)) continue;
            if (best < 0 || i < best) best = i;
            break;
        }
    }
    return best < 0 ? nullptr : list[best];
}

}  // namespace

// ---- TRomFile -----------------------------------------------------------------------

bool TRomFile::Rename(const std::string& newName) {
    TFile* file = File;
    TFilesBd::TCommandScope scope(BdOf(*file));
    file->SeparateTwinNames();
    try {
        CheckSafeName(newName, file->IsZip());
        CheckRepairSpace(file->FullPath, TwiceSize(Size));
        if (file->IsPlain()) {
            const std::string target = file->Path->GetPath() + newName;
            if (target != file->FullPath) CheckFsResult(RenameNoReplaceAnyCase(file->FullPath, target), target);
            if (file->Path->Files().IndexOfObject(file) >= 0)
                file->Path->Files().Rename(file, newName);
            else
                file->Name = newName;
            file->ShortName = newName;
            file->FullPath = target;
        } else if (file->IsFolder()) {
            if (newName != StoredName())
                CheckFsResult(RenameNoReplaceAnyCase(file->FullPath + StoredName(), file->FullPath + newName),
                              file->FullPath + newName);
        } else {
            ManagerOf(*file).RenameFiles(file->FullPath, {TRenameItem{StoredName(), newName, 0}});
        }
        SetStoredName(newName);
        file->Match();
        file->UpdateDate();
        return true;
    } catch (const archive::EArchiveException& e) {
        // The whole archive at fault drops every rom file of it, this one too.
        if (e.ArchiveName == file->FullPath)
            file->SetError(e.Message());
        else
            SetError(e.Message());
        throw;
    } catch (const qm::EAbortOperation&) {
        throw;
    } catch (const Exception& e) {
        SetErrorText(e.Message());
        throw;
    }
}

bool TRomFile::CopyTo(TFile* target, const std::string& newName) {
    TFile* source = File;
    TFilesBd& bd = BdOf(*source);
    TFilesBd::TCommandScope scope(bd);
    source->SeparateTwinNames();
    if (target != source) target->SeparateTwinNames();
    // What the copy takes along, read before anything changes.
    const std::string crc = Crc();
    const std::string suggested = SuggestedExtension();
    const std::string storedName = StoredName();
    const std::string name(Name());
    const int32_t date = GetDate();
    const int64_t size = Size;
    const int64_t need = TwiceSize(size);

    // The copy is refused, not the rom it copies: the source keeps no error for it.
    CheckSafeName(newName, target->IsZip());
    CheckRepairSpace(source->FullPath, need);
    CheckRepairSpace(target->FullPath, need);
    if (target->IsPlain()) {
        UiHooks().MessageDlg(_("not implemented"), TMsgDlgType::mtWarning, mbOK);
        return false;
    }
    const std::string from = source->IsPlain() ? source->FullPath : source->FullPath + storedName;
    if (target->IsFolder() && !PathExists(target->FullPath))
        CheckFsResult(Fs().MakeDir(NoSlash(target->FullPath)), target->FullPath);

    TMadeRoom room = MakeRoom(*target, newName);
    try {
        if (target->IsFolder()) {
            const std::string dest = target->FullPath + newName;
            if (source->IsZip()) {
                TStagingFolder staging(*source);
                CheckRepairSpace(staging.Path(), need);
                ManagerOf(*source).ExtractFile(source->FullPath, storedName, staging.Path(), false);
                CopyNoReplace(staging.Path() + ExtractFileNameAnySep(storedName), dest);
            } else {
                CopyNoReplace(from, dest);
            }
        } else if (source->IsZip() && target == source) {
            // A second name inside the same zip: the entry is taken out and added back
            // under the new name.
            TStagingFolder staging(*source);
            ManagerOf(*source).ExtractFile(source->FullPath, storedName, staging.Path(), false);
            const std::string extracted = staging.Path() + ExtractFileNameAnySep(storedName);
            const std::string staged = staging.Path() + ExtractFileNameAnySep(newName);
            if (staged != extracted) CheckFsResult(Fs().RenameNoReplace(extracted, staged), staged);
            ManagerOf(*target).AddFile(target->FullPath, staged);
        } else if (source->IsZip()) {
            ManagerOf(*target).CopyFileBetweenArchives(source->FullPath, storedName, target->FullPath, newName);
        } else if (newName != name) {
            // The archiver stores a file under its own name: the copy carries the new one.
            TStagingFolder staging(*source);
            CheckRepairSpace(staging.Path(), need);
            const std::string staged = staging.Path() + ExtractFileNameAnySep(newName);
            CopyNoReplace(from, staged);
            ManagerOf(*target).AddFile(target->FullPath, staged);
        } else {
            ManagerOf(*target).AddFile(target->FullPath, from);
        }
    } catch (...) {
        room.Undo();
        throw;
    }
    target->AddRomFile(newName, crc, date, size, suggested);
    target->Match();
    target->UpdateDate();
    return true;
}

bool TRomFile::BackupTo(const std::string& destFolder) {
    TFile* file = File;
    TFilesBd::TCommandScope scope(BdOf(*file));
    file->SeparateTwinNames();
    const std::string folder = WithSlash(destFolder);
    const int64_t need = TwiceSize(Size);
    CheckRepairSpace(file->FullPath, need);
    CheckRepairSpace(folder, need);
    try {
        CheckFsResult(MakeDirs(NoSlash(folder)), folder);
        if (file->IsPlain()) {
            const std::string base = RemoveFileExt(Name());
            const std::string extension = FileExtension(Name());
            std::string dest = folder + std::string(Name());
            for (int n = 0; PathExists(dest); ++n) dest = folder + base + "_" + std::to_string(n) + extension;
            CopyNoReplace(file->FullPath, dest);
        } else if (file->IsFolder()) {
            const std::string sub = folder + file->Name + "/";
            if (!PathExists(sub)) CheckFsResult(Fs().MakeDir(NoSlash(sub)), sub);
            const std::string extension = FileExtension(StoredName());
            std::string dest = sub + StoredName();
            for (int n = 0; PathExists(dest); ++n) dest = sub + StoredName() + "_" + std::to_string(n) + extension;
            CopyNoReplace(file->FullPath + StoredName(), dest);
        } else {
            // The archiver stores the entry without its inner folders and replaces an
            // entry of that name: an earlier backup, or a rom of another folder of the
            // same name, keeps its own entry and this one takes a free name.
            TArchiveManager& manager = ManagerOf(*file);
            const std::string zipName = folder + file->Name;
            std::set<std::string> taken;
            if (PathExists(zipName)) {
                TArchiveItems items;
                manager.GetFileList(zipName, items);
                for (const TArchiveItem& item : items) taken.insert(LowerCase(item.GetFullName()));
            }
            std::string entry(Name());
            for (int n = 0; taken.count(LowerCase(entry)) != 0; ++n)
                entry = RemoveFileExt(Name()) + "_" + std::to_string(n) + FileExtension(Name());
            manager.CopyFileBetweenArchives(file->FullPath, StoredName(), zipName, entry);
        }
    } catch (const archive::EArchiveException& e) {
        SetErrorText(e.Message());
        throw;
    } catch (const filesbd::EFileError& e) {
        SetErrorText(e.Message());
        throw;
    }
    return true;
}

namespace {

TPlacement PlaceRom(TRomFile& romFile) {
    TFile* file = romFile.File;
    TFilesBd& bd = BdOf(*file);
    TFilesBd::TCommandScope scope(bd);
    romFile.Log("Copy rom " + romFile.StoredName() + "to its place");
    CheckRepairAbort(*file);
    if (file->IsPlain() || romFile.Duplicated || romFile.Status != rsNotUsed) return TPlacement::kNothingToDo;
    const TRom* rom = romFile.GetRom();
    if (rom == nullptr) return TPlacement::kNothingToDo;
    const bool split = bd.GetSplit();
    const bool zip = file->IsZip();
    TPathsList& paths = bd.Paths();

    const TRomsBd* roms = bd.RomsBd();
    if (roms == nullptr) return TPlacement::kNothingToDo;
    TCloneRomsList users;
    rom->ListCloneRoms(users);
    // The sets that need the rom, each under the listing it needs it by.
    std::vector<const TCloneRom*> needing;
    for (const TCloneRom* cr : users)
        if (const TCloneRom* need = NeededBy(*roms, *cr, rom)) needing.push_back(need);
    for (const TCloneRom* cr : needing) {
        const std::string setName = SetNameOf(*cr, split, zip);
        if (SameText(setName, file->Name)) continue;
        for (int p = 0; p < paths.Count(); ++p) {
            TPath* path = paths.GetPath(p);
            if (path->IsReadOnly()) continue;
            TFile* place = path->Files().Find(setName);
            if (place == nullptr || place == file || place->IsPlain()) continue;
            return romFile.CopyTo(place, cr->Name) ? TPlacement::kPlaced : TPlacement::kFailed;
        }
    }

    // No file of such a set yet: the set the rom is shown under when it needs it, else
    // the first that does. A rom no set needs in this mode is backed up like any other.
    const TCloneRom* display = rom->GetDisplayCloneRom();
    const TCloneRom* shown = display != nullptr ? NeededBy(*roms, *display, rom) : nullptr;
    if (shown == nullptr && !needing.empty()) shown = needing.front();
    if (shown == nullptr) return TPlacement::kNothingToDo;
    const std::string setName = SetNameOf(*shown, split, zip);
    if (SameText(setName, file->Name)) return TPlacement::kFailed;
    TPath* destination = file->Path->IsReadOnly() ? nullptr : file->Path;
    for (int p = 0; destination == nullptr && p < paths.Count(); ++p)
        if (!paths.GetPath(p)->IsReadOnly()) destination = paths.GetPath(p);
    if (destination == nullptr) {
        romFile.SetErrorText(_("No writable rom path found."));
        return TPlacement::kFailed;
    }
    // A set named "../evil" or "a/b" in the datafile gets no container: its name would
    // reach outside the rom path.
    if (!IsSafeName(setName, false)) {
        romFile.SetErrorText(UnsafeNameMessage(setName, false));
        return TPlacement::kFailed;
    }
    if (destination->Files().Find(setName) != nullptr) return TPlacement::kFailed;
    const std::string fullName = destination->GetPath() + setName;
    // Something of that name that the database does not know is never written over.
    if (PathExists(fullName)) CheckFsResult(EEXIST, fullName);
    if (zip)
        ManagerOf(*file).CreateEmptyArchive(fullName);
    else
        CheckFsResult(Fs().MakeDir(fullName), fullName);
    // Nothing to read in a container just made: it is listed as it is.
    TFile* created = destination->NewFile(setName, zip ? fkZip : fkFolder, true);
    created->UpdateDate();

    // The new container goes again when the rom could not be put into it.
    const auto dropCreated = [&] {
        const bool empty = created->GetRomFileCount() == 0;
        destination->DropFile(created);
        if (!empty) return;
        if (zip)
            Fs().Unlink(fullName);
        else
            Fs().RemoveDir(fullName);
    };
    bool copied = false;
    try {
        copied = romFile.CopyTo(created, shown->Name);
    } catch (...) {
        dropCreated();
        throw;
    }
    if (!copied) dropCreated();
    return copied ? TPlacement::kPlaced : TPlacement::kFailed;
}

}  // namespace

bool TRomFile::CopyToItsPlace() { return PlaceRom(*this) != TPlacement::kFailed; }

TRomFile::TImport TRomFile::ImportFrom(bool& noMorePrompts, TRomCopyIndex* index) {
    TFile* file = File;
    TFilesBd& bd = BdOf(*file);
    TFilesBd::TCommandScope scope(bd);
    CheckRepairAbort(*file);
    if (file->IsPlain() || Status != rsAvailableElsewhere) return TImport::NoSource;
    if (file->Path->IsReadOnly()) return TImport::ReadOnly;
    // The placeholder may be reused or freed by the copy: what the log and the prompt
    // need is read now.
    const std::string placeholderName(Name());
    const std::string cloneRomName = CloneRom != nullptr ? std::string(CloneRom->Name) : std::string(Name());
    const bool noDump = IsNoDump();
    const TRom* rom = GetRom();
    if (rom == nullptr) return TImport::NoSource;
    const std::string romCrc = LowerCase(rom->Crc);
    // The complement of S's CRC equals the rom's exactly when S's CRC equals the
    // complement of the rom's: computed once, not for every rom file walked.
    const std::string romComplement = ComplementCrcFast(romCrc);

    TPathsList& paths = bd.Paths();
    std::unique_ptr<TRomCopyIndex> ownIndex;
    if (index == nullptr) {
        ownIndex = std::make_unique<TRomCopyIndex>(paths);
        index = ownIndex.get();
    }
    TRomFile* source = nullptr;
    TRomFile* absent = nullptr;
    if (noDump) {
        // Found by name: every file is looked at, and the first path that holds one ends
        // the search whether its volume is present or not.
        for (int p = 0; p < paths.Count() && source == nullptr; ++p) {
            TPath* path = paths.GetPath(p);
            const bool available = index->Available(path);
            bool foundNoDump = false;
            for (const auto& other : path->Files()) {
                if (other.get() == file) continue;
                for (const auto& entry : other->RomFiles) {
                    TRomFile* s = entry.romFile.get();
                    if (s->IsPlaceholder() || !SameText(s->GetCorrectName(), placeholderName)) continue;
                    (available ? source : absent) = s;
                    foundNoDump = true;
                    break;
                }
                if (foundNoDump) break;
            }
            if (foundNoDump) break;
        }
    } else {
        // Only files holding the CRC, its complement or a no-dump key can hold a copy;
        // they are tried in the order of the paths and their files, the first copy on a
        // present volume wins, and the last one seen on an absent volume is asked for.
        index->Visit({romCrc, romComplement, kNoDumpCrc}, [&](TFile* other) {
            if (other == file || other->Path == nullptr) return true;
            if (other->Path->Files().Find(other->Name) != other) return true;  // left its path
            TRomFile* found = FirstCopyIn(other->RomFiles, romCrc, romComplement);
            if (found == nullptr) return true;
            if (index->Available(other->Path)) {
                source = found;
                return false;
            }
            absent = found;
            return true;
        });
    }

    // No other file holds it: the set itself may, under another of its names (one
    // content listed twice); the copy is made inside the set.
    if (source == nullptr && absent == nullptr && !noDump)
        source = FirstCopyIn(file->RomFiles, romCrc, romComplement);
    if (source == nullptr) {
        if (absent == nullptr) return TImport::NoSource;
        const auto ignore = [] { throw filesbd::EIgnoreFile(_("Disk not available, importation aborted.")); };
        if (noMorePrompts) ignore();
        TPath* path = absent->File->Path;
        for (;;) {
            const int answer = UiHooks().MessageDlg(
                Fmt(_("The rom %1 is on the disk [%2].\n Please insert this disk.\n\nDo you want to retry ?"),
                    {placeholderName, path->GetVolumeLabel()}),
                TMsgDlgType::mtWarning, mbYes | mbNo | mbAbort | mbNoToAll);
            if (answer == mrAbort) throw filesbd::EAbortOperation(_("Operation aborted."));
            if (answer == mrNoToAll) {
                noMorePrompts = true;
                ignore();
            }
            if (answer != mrYes) {
                noMorePrompts = false;
                ignore();
            }
            path->ReadDiskInfo();
            if (path->IsVolumeAvailable()) {
                index->SetAvailable(path);
                break;
            }
        }
        source = absent;
    }

    const std::string sourceFile = source->File->FullPath;
    const std::string sourceName(source->Name());
    source->CopyTo(file, cloneRomName);
    index->Update(file);
    file->Log("Import rom " + placeholderName + " from " + WithSlash(sourceFile) + sourceName);
    return TImport::Imported;
}

void TRomFile::CreateRom() {
    TFile* file = File;
    TFilesBd& bd = BdOf(*file);
    TFilesBd::TCommandScope scope(bd);
    Log("Create rom " + std::string(Name()));
    CheckRepairAbort(*file);
    // Only a missing rom without a good dump: a dummy of any other rom would stand for
    // data nobody has, and could take the name of a real entry.
    if (file->IsPlain() || !IsMissingDump() || file->Path->IsReadOnly()) return;
    const std::string name = ExtractFileNameAnySep(Name());
    if (!IsSafeName(name, false)) {
        SetErrorText(UnsafeNameMessage(name, false));
        CheckSafeName(name, false);
    }
    const int64_t size = std::max<int64_t>(Size, 0);
    CheckRepairSpace(file->FullPath, TwiceSize(size));

    TStagingFolder staging(*file);
    const std::string dummy = staging.Path() + name;
    try {
        WriteByteAt(dummy, size, 0);
    } catch (const filestools::EFileError& e) {
        throw filesbd::EFileError(e.Message());
    }
    std::string crc;
    std::string extension;
    int64_t dummySize = size;
    if (TSignatureCalculator* calculator = bd.SignatureCalculator()) {
        calculator->Calculate(dummy);
        if (calculator->GetCount() > 0) {
            const TCrcItem& item = calculator->GetItem(0);
            crc = item.Signature;
            extension = item.Extension;
            dummySize = item.Size;
        }
    }
    if (crc.empty()) {
        // No plug-in at hand: the CRC of zeros is known without one.
        uint32_t value = 0;
        const std::string zeros(64 * 1024, '\0');
        for (int64_t left = size; left > 0; left -= static_cast<int64_t>(zeros.size()))
            value = Crc32(value, zeros.data(),
                          static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(zeros.size()))));
        char text[9];
        std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(value));
        crc = text;
    }

    // A dummy never takes a name a rom holds, nor moves that rom aside.
    if (file->RomFiles.IndexOfFileName(name, false) >= 0) return;
    if (file->IsFolder())
        CopyNoReplace(dummy, file->FullPath + name);
    else
        ManagerOf(*file).AddFile(file->FullPath, dummy);
    file->AddRomFile(name, crc, file->Date, dummySize, extension);
    file->Match();
    file->UpdateDate();
    file->Path->SaveCache();
}

// ---- TFile --------------------------------------------------------------------------

void TFile::SeparateTwinNames() {
    if (!IsZip()) return;
    std::set<std::string_view> names;
    bool twins = false;
    for (const auto& entry : RomFiles) {
        const TRomFile* r = entry.romFile.get();
        if (!r->IsPlaceholder() && !names.insert(r->StoredName()).second) {
            twins = true;
            break;
        }
    }
    if (!twins) return;

    TFilesBd& bd = BdOf(*this);
    TFilesBd::TCommandScope scope(bd);
    TArchiveManager& manager = ManagerOf(*this);
    // The archive itself tells which entry is where: the database knows the entries of
    // one name only as a group.
    TArchiveItems items;
    manager.GetFileList(FullPath, items);
    std::set<std::string> taken;
    for (const TArchiveItem& item : items) taken.insert(LowerCase(item.GetFullName()));
    std::set<std::string> seen;
    TRenameList list;
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string full = items[i].GetFullName();
        if (items[i].Name.empty() || seen.insert(full).second) continue;
        const std::string base = NameWithoutExt(full);
        const std::string extension = FileExtension(full);
        std::string aside;
        for (int n = 0;; ++n) {
            aside = base + "_" + std::to_string(n) + extension;
            if (taken.count(LowerCase(aside)) == 0 && NameIsFree(*this, aside)) break;
        }
        taken.insert(LowerCase(aside));
        list.push_back(TRenameItem{full, aside, 0, static_cast<int32_t>(i)});
    }
    if (list.empty()) return;
    Log("Rename entries of one name in " + FullPath);
    CheckRepairAbort(*this);
    CheckRepairSpace(FullPath, RepairSpaceOf(*this));
    manager.RenameFiles(FullPath, list);

    // Each entry of a shared name takes the rom file of its CRC, a matched one first, so
    // that the rom the game uses keeps the name it is found under.
    std::vector<TRomFile*> group;
    std::set<const TRomFile*> assigned;
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string full = items[i].GetFullName();
        const auto renamed = std::find_if(list.begin(), list.end(),
                                          [i](const TRenameItem& r) { return r.Index == static_cast<int32_t>(i); });
        const bool inGroup = renamed != list.end() ||
                             std::any_of(list.begin(), list.end(), [&](const TRenameItem& r) { return r.OldName == full; });
        if (!inGroup || items[i].Name.empty()) continue;
        // A plug-in whose signature is not the zip's CRC leaves only the order to go by.
        for (const bool byCrc : {true, false}) {
            group.clear();
            for (const auto& entry : RomFiles) {
                TRomFile* r = entry.romFile.get();
                if (!r->IsPlaceholder() && r->StoredName() == full && assigned.count(r) == 0 &&
                    (!byCrc || SameText(r->Crc(), items[i].Crc)))
                    group.push_back(r);
            }
            if (!group.empty()) break;
        }
        if (group.empty()) continue;
        const auto matched = std::find_if(group.begin(), group.end(), [](const TRomFile* r) { return r->CloneRom != nullptr; });
        TRomFile* r = matched != group.end() ? *matched : group.front();
        assigned.insert(r);
        if (renamed == list.end()) continue;
        r->SetStoredName(renamed->NewName);
    }
    Match();
    UpdateDate();
}

void TFile::FixRomNames(const std::vector<TRomFile*>& romFiles) {
    if (romFiles.empty()) return;
    TFilesBd& bd = BdOf(*this);
    TFilesBd::TCommandScope scope(bd);
    CheckRepairAbort(*this);
    SeparateTwinNames();
    const bool suggested = bd.PlugInSuggeredExtension;

    struct TPlan {
        TRomFile* romFile;
        std::string correct;
        bool active = true;
    };
    std::vector<TPlan> plans;
    std::set<std::string> given;
    int failure = 0;
    std::string failedName;
    std::string refused;
    const auto memberName = [this](const std::string& name) { return FullPath + (IsZip() ? "/" : "") + name; };
    const auto fail = [&](int err, const std::string& name) {
        if (failure == 0) {
            failure = err;
            failedName = name;
        }
    };
    for (TRomFile* r : romFiles) {
        if (r == nullptr || r->File != this || r->IsPlaceholder()) continue;
        std::string correct = r->GetCorrectName();
        if (correct.empty() || correct == r->StoredName()) continue;
        // A rom named "../../x.bin" in the datafile keeps the name it has: the rom file
        // shows why, and the file's fix counts as failed.
        if (!IsSafeName(correct, IsZip())) {
            r->SetErrorText(UnsafeNameMessage(correct, IsZip()));
            if (refused.empty()) refused = r->ErrorText();
            continue;
        }
        // Two roms never take one name: the second keeps its own.
        if (!given.insert(correct).second) {
            fail(EEXIST, memberName(correct));
            continue;
        }
        plans.push_back(TPlan{r, std::move(correct)});
        if (IsPlain()) break;
    }
    const auto takeName = [&](TPlan& plan) {
        TRomFile& r = *plan.romFile;
        if (suggested)
            r.SetNames(plan.correct, FileNameViewAnySep(plan.correct), r.SuggestedExtension());
        else
            r.SetStoredName(plan.correct);
    };

    try {
        if (IsPlain()) {
            if (!plans.empty()) {
                TPlan& plan = plans.front();
                const std::string target = Path->GetPath() + plan.correct;
                const int err = target == FullPath ? 0 : RenameNoReplaceAnyCase(FullPath, target);
                if (err != 0) {
                    fail(err, target);
                } else {
                    if (Path->Files().IndexOfObject(this) >= 0)
                        Path->Files().Rename(this, plan.correct);
                    else
                        Name = plan.correct;
                    ShortName = plan.correct;
                    FullPath = target;
                    takeName(plan);
                }
            }
            Match();
        } else if (IsFolder()) {
            // A name freed by a later rename of the list is tried again once it is free.
            bool progress = true;
            std::vector<int> errors(plans.size(), 0);
            while (progress) {
                progress = false;
                for (size_t i = 0; i < plans.size(); ++i) {
                    TPlan& plan = plans[i];
                    if (!plan.active) continue;
                    const int err =
                        RenameNoReplaceAnyCase(FullPath + plan.romFile->StoredName(), FullPath + plan.correct);
                    errors[i] = err;
                    if (err != 0) continue;
                    takeName(plan);
                    plan.active = false;
                    progress = true;
                }
            }
            for (size_t i = 0; i < plans.size(); ++i)
                if (plans[i].active) fail(errors[i], FullPath + plans[i].correct);
            Match();
        } else {
            CheckRepairSpace(FullPath, RepairSpaceOf(*this));
            // A new name must not land on an entry that keeps its name; such a rename is
            // left out, and the entry it would have freed then keeps its name as well.
            bool changed = true;
            while (changed) {
                changed = false;
                std::set<std::string> staying;
                for (const auto& entry : RomFiles) {
                    const TRomFile* r = entry.romFile.get();
                    if (r->IsPlaceholder()) continue;
                    const bool moving = std::any_of(plans.begin(), plans.end(), [r](const TPlan& p) {
                        return p.active && p.romFile == r;
                    });
                    if (!moving) staying.insert(r->StoredName());
                }
                for (TPlan& plan : plans) {
                    if (!plan.active || staying.count(plan.correct) == 0) continue;
                    plan.active = false;
                    fail(EEXIST, memberName(plan.correct));
                    changed = true;
                }
            }
            TRenameList list;
            for (const TPlan& plan : plans)
                if (plan.active) list.push_back(TRenameItem{plan.romFile->StoredName(), plan.correct, 0});
            ManagerOf(*this).RenameFiles(FullPath, list);
            for (TPlan& plan : plans)
                if (plan.active) takeName(plan);
            Match();
        }
        UpdateDate();
        if (failure != 0) throw filesbd::EFileError(failedName + ": " + SysErrorMessage(failure));
        if (!refused.empty()) throw filesbd::EFileError(refused);
    } catch (const archive::EArchiveException& e) {
        SetError(e.Message());
        throw;
    } catch (const qm::EAbortOperation&) {
        throw;
    } catch (const Exception& e) {
        SetErrorText(e.Message());
        throw;
    }
    ProcessPendingMessages(true);
    CheckRepairAbort(*this);
}

uint8_t TFile::RemoveRomFile(TRomFile* romFile, const std::string& destFolder) {
    TFilesBd::TCommandScope scope(BdOf(*this));
    Log("Remove rom " + FullPath);
    CheckRepairAbort(*this);
    SeparateTwinNames();
    uint8_t result = 1;
    const TRom* rom = romFile->HasError() ? nullptr : romFile->GetRom();
    const bool onlyCopy = rom != nullptr && rom->MatchCount == 1 &&
                          (rom->Files.empty() || (rom->Files.size() == 1 && rom->Files.front() == romFile));
    TPlacement placement = TPlacement::kNothingToDo;
    if (onlyCopy) placement = PlaceRom(*romFile);
    // A rom that could not be placed is the only copy there is: it stays.
    if (placement == TPlacement::kFailed) return 0;
    if (placement == TPlacement::kPlaced) {
        result = 5;
    } else {
        // Also an unreadable rom: nothing leaves its file without a copy.
        romFile->BackupTo(destFolder);
    }
    DeleteRomFile(romFile);
    return result;
}

}  // namespace qm
