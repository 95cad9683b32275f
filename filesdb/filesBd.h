#pragma once
// The files database: what is known about the files on disk. A TFilesBd holds the rom
// paths (TPathsList of TPath); each path holds its files (TFilesList of TFile: plain
// files, folders, zip archives); each file holds its rom files (TRomFilesList of
// TRomFile: the plain file itself, each folder member, each zip entry). Matching links
// rom files to the rom database (TRomsBd) and gives each its status.
//
// Registration. A rom file found on disk may be registered with a rom of the rom
// database (TRom::Files, TRom::MatchCount); the rom file records the rom it is
// registered with and the CRC and size used, and every withdrawal undoes exactly that
// registration, once. Nothing is registered while the paths list's SubmitRoms copy is
// off (the scan window's database), so nothing is withdrawn there either.
//
// Lifetime. Objects are owned by their lists (unique_ptr). Listeners (views) hold raw
// pointers; they hear of every removal (OnRemoveFile, OnRemoveRomFile) before it
// happens. While a user command runs (TFilesBd::TCommandScope), dropped objects are
// only unlinked, and freed when the outermost command ends, so that a pointer a view or
// a repair step still holds stays valid until then.
//
// The rom database must outlive the files registered with it: clear the files database
// (ClearPaths) before the rom database is cleared or rebuilt.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "filesdb/CaseRules.h"
#include "filesdb/RomFileStatus.h"
#include "platform/Exception.h"
#include "platform/Progress.h"

namespace qm {

class TArchiveManager;
class TCacheFile;
class TClone;
class TCloneRom;
class TGame;
class TRom;
class TRomsBd;
class TSignatureCalculator;

class TFilesBd;
class TPathsList;
class TPath;
class TFilesList;
class TFile;
class TRomFilesList;
class TRomFile;
class TRomCopyIndex;
struct TScanEntry;  // one entry of a folder as a scan lists it (filesdb/filesBdScan.h)

namespace filesbd {
QM_DECLARE_ABORT(EAbortOperation, qm::EAbortOperation);
QM_DECLARE_ABORT(EAbortPathLoading, EAbortOperation);
QM_DECLARE_EXCEPTION(EFileNotFound, Exception);
QM_DECLARE_EXCEPTION(EObjectNotFound, Exception);
QM_DECLARE_EXCEPTION(EDiskNotFound, Exception);
QM_DECLARE_EXCEPTION(EIgnoreFile, Exception);
}  // namespace filesbd

// Kinds of a TFile.
enum TFileKind : uint8_t { fkPlain = 0, fkFolder = 1, fkZip = 2 };

using TCreateFileEvent = std::function<void(TFile* file)>;
using TRemoveFileEvent = std::function<void(TFile* file)>;  // before the file goes
using TRenameFileEvent = std::function<void(TFile* file)>;  // after the rename
using TCreateRomFileEvent = std::function<void(TRomFile* romFile)>;
using TRemoveRomFileEvent = std::function<void(TRomFile* romFile)>;  // before it goes

// ---- Rom files ----------------------------------------------------------------------

class TRomFile {
public:
    explicit TRomFile(TFile* file);
    // Withdraws the registration, if any.
    ~TRomFile();
    TRomFile(const TRomFile&) = delete;
    TRomFile& operator=(const TRomFile&) = delete;

    TRom* Rom = nullptr;            // the rom the last lookup found (nullptr when none)
    TCloneRom* CloneRom = nullptr;  // set by matching
    TFile* File;
    int64_t Size = 0;
    int32_t Date = 0;  // DOS date of a folder member; other kinds use the file's
    uint8_t Status = rsNotSettled;
    bool ErrorFlag : 1 = false;
    bool Duplicated : 1 = false;
    // A zip entry whose name an earlier entry of the zip bears too (set by matching).
    bool SharesName : 1 = false;

private:
    // Declared here, between the public fields, so that no padding is left: a
    // collection has a rom file per rom it holds.
    bool nameApart_ : 1 = false;
    bool extensionApart_ : 1 = false;
    bool crcApart_ : 1 = true;  // an empty CRC until one is set
    bool attachedCrcApart_ : 1 = false;
    bool attachedSizeApart_ : 1 = false;
    // Where Name and Extension start in the stored name, unless kept apart.
    uint16_t nameAt_ = 0;
    uint16_t extensionAt_ = 0;
    // The size registered with, unless kept apart.
    uint32_t attachedSize_ = 0;
    // The CRC and the one registered with, as their value unless kept apart.
    uint32_t crc_ = 0;
    uint32_t attachedCrc_ = 0;
    std::string storedName_;

public:

    // Texts most rom files never get; empty when none.
    const std::string& SuggestedExtension() const;  // from the plug-in
    const std::string& ErrorText() const;
    const std::string& Comment() const;
    void SetSuggestedExtension(std::string_view text);
    void SetComment(std::string_view text);
    // The error text alone (SetError and SetErrorText below say what else changes).
    void StoreErrorText(std::string_view text);

    // Zip entry name with its inner path, member or file name.
    const std::string& StoredName() const { return storedName_; }
    // StoredName after its last "/" or "\" (a placeholder's is its clone rom's whole name).
    std::string_view Name() const;
    // Of StoredName, with its dot (a plug-in's suggested one once a rename took it).
    std::string_view Extension() const;
    // The stored name, with the name and extension taken from it.
    void SetStoredName(std::string_view storedName);
    // The three as given; a name or extension that does not end the stored name is
    // kept apart.
    void SetNames(std::string storedName, std::string_view name, std::string_view extension);
    // Lower-case hexadecimal as a rule; any other text is kept as it is.
    std::string Crc() const;
    void SetCrc(std::string_view crc);
    // A number that changes whenever Crc() does, without making the text: the value
    // itself, or a hash of a text kept apart.
    uint64_t CrcDigest() const;

    // The clone rom's rom when linked, else Rom.
    TRom* GetRom() const;
    bool IsNoDump() const;
    bool IsBadDump() const;
    // Inner path of StoredName followed by GetBaseName.
    std::string GetNameWithoutExt() const;
    std::string GetBaseName() const;
    int32_t GetDate() const;
    const std::string& GetSuggestedExtension() const { return SuggestedExtension(); }
    std::string_view GetExtension() const { return Extension(); }
    void ClearErrorFlag() { ErrorFlag = false; }

    // Status 9 with that text; the registration is withdrawn and the file matched again.
    void SetError(const std::string& text);
    // Records a text without a status change (ErrorFlag).
    void SetErrorText(const std::string& text);

    // The name a matched rom should bear (empty without a clone rom); the one rule that
    // both the case test of matching and the rename use.
    std::string GetCorrectName() const;

    void Log(const std::string& text) const;

    // Registration with the rom database.
    TRom* AttachedRom() const { return attachedRom_; }
    // Registers with rom (nothing when already registered or rom is nullptr).
    void AttachTo(TRom* rom, std::string_view crc, int64_t size);
    // Withdraws the registration; nothing when there is none.
    void Detach();

    // Status predicates.
    bool HasBadFileName() const { return Status == rsBadFileName; }
    bool IsMissing() const { return Status == rsMissing; }
    bool IsAvailableElsewhere() const { return Status == rsAvailableElsewhere; }
    bool IsOk() const { return Status == rsOk; }
    bool HasBadCase() const { return Status == rsBadCase; }
    bool IsNotUsed() const { return Status == rsNotUsed; }
    bool HasBadName() const { return Status == rsBadName; }
    bool IsUnknown() const { return Status == rsUnknown; }
    bool HasError() const { return Status == rsError; }
    bool IsPlaceholder() const { return IsPlaceholderStatus(Status); }
    bool IsUseless() const { return Duplicated || Status == rsUnknown || Status == rsNotUsed; }
    bool NeedsRename() const { return Status == rsBadName || Status == rsBadCase; }
    bool CanBeImported() const { return Status == rsAvailableElsewhere; }
    bool IsMissingDump() const { return Status == rsMissing && IsNoDump(); }

    std::string GetStatusText() const;
    int GetImageIndex() const;

private:
    // What few rom files have: a name or extension that is not the end of the stored
    // name, a CRC that is not eight lower-case hexadecimal digits, such a CRC registered.
    // The texts most rom files never get, too, and the key of its list entry when that
    // is not a CRC value (TRomFilesList).
    struct TApart {
        std::string name, extension, crc, attachedCrc, suggestedExtension, errorText, comment, listKey;
        int64_t attachedSize = 0;
    };
    friend class TRomFilesList;
    TApart& Apart();
    void SetApartText(std::string TApart::*field, std::string_view text);
    const std::string& ApartText(std::string TApart::*field) const;

    TRom* attachedRom_ = nullptr;
    std::unique_ptr<TApart> apart_;

public:
    // Repairs of single roms
    // Renames the rom inside its own file; an existing name is never replaced.
    bool Rename(const std::string& newName);
    // Puts a copy of the rom into target under newName; a rom of target that holds
    // that name (with or without extension) is first renamed aside to a free name.
    // False, after a warning box, for a plain target.
    bool CopyTo(TFile* target, const std::string& newName);
    // Copies the rom into destFolder under a free name before it is removed.
    bool BackupTo(const std::string& destFolder);
    // Puts the only copy of a rom that its file does not use where a game using it
    // lives (an existing file first, else a new one). False when it could not.
    bool CopyToItsPlace();
    // Fills a placeholder from another file holding the rom, asking for an absent disk
    // unless noMorePrompts is set (No clears it, No to all sets it). A step that imports
    // many roms hands in one index of the copies (kept in step here); without one, the
    // call makes its own. A set that lists one content under two names takes the
    // missing name from the copy it holds itself. Says whether a copy was added, none
    // was to be had (the rom stays missing; no failure), or the file may not be written.
    enum class TImport { Imported, NoSource, ReadOnly };
    TImport ImportFrom(bool& noMorePrompts, TRomCopyIndex* index = nullptr);
    // Writes a zero-filled dummy for a missing rom that has no good dump.
    void CreateRom();
};

// The rom files of one file, kept in CRC order (case ignored); rom files of equal CRC
// keep the order they were added in, so a lookup by CRC finds the earliest. Owns them.
class TRomFilesList {
public:
    explicit TRomFilesList(TFile* owner) : owner_(owner) {}
    TRomFilesList(const TRomFilesList&) = delete;
    TRomFilesList& operator=(const TRomFilesList&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    TRomFile* GetRomFile(int index) const { return items_.at(static_cast<size_t>(index)).romFile.get(); }
    TRomFile* operator[](int index) const { return items_[static_cast<size_t>(index)].romFile.get(); }
    // The key the rom file was added under (its CRC then, lower case).
    std::string Key(int index) const;

    // Adds under key, after every entry of an equal key; returns the index.
    int Add(std::unique_ptr<TRomFile> romFile, std::string_view key);
    // Add under the rom file's own CRC, which is set already.
    int AddUnderCrc(std::unique_ptr<TRomFile> romFile);
    // Takes the entry out without freeing it.
    std::unique_ptr<TRomFile> Extract(int index);
    void Clear() { items_.clear(); }

    // First of equal keys, case ignored; -1 when absent.
    int IndexOf(std::string_view crc) const;
    int IndexOfObject(const TRomFile* romFile) const;
    // The first rom file whose name fits a database rom name (see the .cpp).
    int FindByName(std::string_view romName, bool withPlaceholders) const;
    // FindByName(romName, false) for the many lookups of one match: every rom file's name
    // is hashed once, and a lookup reads only the rom files of that hash, in list order.
    // Holds while no name changes and no rom file but placeholders comes in or goes.
    class TNameIndex {
    public:
        explicit TNameIndex(const TRomFilesList& list);
        TRomFile* Find(std::string_view romName) const;

    private:
        struct TKey {
            uint64_t hash;
            uint32_t order;     // position in the list
            uint32_t nameHash;  // of its whole name, that a name without a suggested extension must share
            TRomFile* romFile;
            std::string_view inner, base;  // its inner folders and its name without extension
        };
        const TRomFilesList& list_;
        std::vector<TKey> keys_;  // by hash, then list order
    };
    int IndexOfFileName(std::string_view name, bool withPlaceholders) const;
    int IndexOfNameWithoutExt(std::string_view name, bool withPlaceholders) const;
    int IndexOfRomFile(const TRom* rom, bool withPlaceholders) const;

    // Names of the files' lists are compared without regard to case.
    bool CaseSensitive = false;

    struct TEntry {
        std::unique_ptr<TRomFile> romFile;
        // The key as a CRC value; any other text is kept by the rom file.
        uint32_t key = 0;
        bool keyApart = false;
    };
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    bool SameName(std::string_view a, std::string_view b) const;
    // SameName(r.GetNameWithoutExt(), name) for inner = InnerPath(r.StoredName) and base =
    // WithoutFileExt(r.Name), without building the name: the lookups run for every rom of
    // every file a match looks at.
    bool SameNameWithoutExt(std::string_view inner, std::string_view base, std::string_view name) const;
    bool FitsName(const TRomFile& r, std::string_view inner, std::string_view base, std::string_view romName,
                  std::string_view nameWithoutExt, bool suggested) const;
    bool PlugInSuggestedExtension() const;
    int IndexOfKey(std::string_view key) const;  // key lower-cased
    // A key as it is compared: its value when it has one, else its text.
    struct TKeyView {
        uint32_t value = 0;
        bool apart = false;
        std::string_view text;
    };
    static TKeyView KeyOf(std::string_view loweredKey);
    static TKeyView KeyOf(const TEntry& entry);
    static bool KeyLess(const TKeyView& a, const TKeyView& b);
    int Insert(TEntry entry);

    TFile* owner_;
    std::vector<TEntry> items_;
};

// ---- Files --------------------------------------------------------------------------

class TFile {
public:
    TFile(TPath* path, uint8_t kind);
    ~TFile();
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    int32_t Date = 0;  // DOS date; 0 when unknown
    int64_t Size = 0;
    // The inode and status-change time (nanoseconds) of a plain file or zip when it was
    // read; 0 when unknown. A file replaced under the same size and date tells by them.
    uint64_t Inode = 0;
    int64_t ChangeTime = 0;
    TRomFilesList RomFiles;
    std::string FullPath;   // rom path + Name; a folder's ends with "/"
    std::string Name;       // last component (a folder without "/")
    std::string ShortName;  // the zip's name without ".zip", else Name
    TClone* Clone = nullptr;
    TGame* Game = nullptr;
    TPath* Path;
    uint8_t Kind;
    std::string ErrorText;

    bool IsPlain() const { return Kind == fkPlain; }
    bool IsFolder() const { return Kind == fkFolder; }
    bool IsZip() const { return Kind == fkZip; }

    // The database the file belongs to, through its path (nullptr for a file of no path).
    TFilesBd* FilesBd() const;
    TRomsBd* RomsBd() const;

    // Adds a rom file found in the file, reusing a placeholder of that rom, and
    // registers it with the rom database.
    // A load adding many rom files hands in one memo: the set of a file is then looked up
    // once for all of its rom files. Good for one load (a rename or a new database
    // changes the set); a memo made for another file is looked up again.
    struct TSetMemo {
        const TFile* file = nullptr;
        const TRomsBd* romsBd = nullptr;
        TClone* clone = nullptr;
    };
    TRomFile* AddRomFile(std::string_view romName, std::string_view crc, int32_t date, int64_t size,
                         std::string_view suggestedExtension, TSetMemo* memo = nullptr);
    // Drops this very rom file (EObjectNotFound when it is not one of the file's).
    void DropRomFile(TRomFile* romFile);
    // The whole file could not be read: its rom files are dropped.
    void SetError(const std::string& text);
    void SetErrorText(const std::string& text) { ErrorText = text; }
    // Looks every real rom file up again (after a rename); registers when attach is set.
    void SubmitRomFiles(bool attach);
    // Withdraws the registration of every real rom file.
    void DetachRomFiles();
    // Takes back every rom error before an archive test.
    void ClearRomErrors();
    // Tests a zip through the archive manager; true when it has errors afterwards.
    // False (nothing done) for anything the manager does not handle.
    bool TestArchive();
    void OnArchiveEntryError(const std::string& archiveName, const std::string& entryName,
                             const std::string& message);
    // Re-reads the date of the file (and of folder members) from disk, and the inode
    // and change time of a plain file or zip.
    void UpdateDate();
    void Log(const std::string& text) const;

    // Counts and tests; placeholders are never counted.
    int GetRomFileCount() const;
    int64_t GetRomsSize() const;
    int GetMissingRomCount() const;
    int GetAvailableElsewhereCount() const;
    bool HasError() const { return !ErrorText.empty(); }
    bool HasRomErrors() const;
    bool HasRomErrorFlags() const;
    void ClearRomErrorFlags();
    bool HasKnownRoms() const;
    bool HasBadRomNames() const;
    bool HasBadCaseRoms() const;
    bool HasBadDumps() const;
    int GetGameRomCount() const;
    bool IsUnknown() const;

    std::string GetCorrectName() const;
    bool HasBadName() const;
    bool HasBadCase() const;
    bool NeedsRename() const { return HasBadName() || HasBadCase(); }

    // Repairs of whole files. Each writes its log line (where it has one) before it
    // works, checks the abort flag and the free space before it changes anything, raises
    // a failed file-system call as filesbd::EFileError with the system's text, and
    // re-matches what it changed. Those that take the file away (merge, move, a delete of
    // the last rom) drop it from its path; the object stays valid until the outermost
    // TFilesBd::TCommandScope ends (or the operation returns, when none is open).
    //
    // False when NewName is empty or the same; a folder or zip whose new name is taken
    // (listed or on disk) is left alone (false). A plain file never replaces another
    // file: a listed copy of the same rom goes to the trash, anything else raises.
    bool Rename(const std::string& newName);
    // 0 nothing done, 2 merged into the file of the correct name, 3 renamed, 4 failed.
    uint8_t RenameOrMerge();
    // Moves this file's roms into target (same path, correct name), then takes this
    // file away: to the merge backup folder when roms are left, else to the trash.
    bool MergeWith(TFile* target);
    // newName receives the full name of the copy.
    void CopyTo(const std::string& destFolder, bool overwrite, std::string& newName);
    bool MoveTo(const std::string& destFolder, bool overwrite);
    // True when a folder or zip was moved out into destFolder.
    bool Remove(const std::string& destFolder);
    bool DeleteRomFile(TRomFile* romFile);
    // DeleteRomFile for several rom files of this file (each listed once): the entries
    // of a zip leave it in one rewrite, or none of them does.
    bool DeleteRomFiles(const std::vector<TRomFile*>& romFiles);
    void Rezip();

    // Matching against the rom database.
    TClone* FindGame() const;
    void Match();

    int GetDuplicateCount() const;
    std::string GetStatusText() const;
    int GetImageIndex() const;

private:
    // crc is the rom file's CRC (Crc()), name the last part of its stored name; memo as
    // for AddRomFile.
    void Register(TRomFile* romFile, bool attach, std::string_view crc, std::string_view name, TSetMemo* memo);
    // Unlinks a rom file from the list and hands it to the database to be freed.
    void RemoveRomFileAt(int index);
    TCaseOptions GoverningCaseOption() const;
    // After roms were deleted: dates and statuses again; a file that holds nothing any
    // more leaves the disk.
    bool TakeAwayWhenEmpty();

public:
    // Repairs of single roms
    // Gives every entry of a zip that bears the name of an earlier entry a free name
    // (name_N plus its extension), addressing it by its position, so that each rom
    // file names one entry. Nothing for a zip without such entries or another kind.
    void SeparateTwinNames();
    // Gives each listed rom file (not owned) its correct name: a zip is rewritten once;
    // names change in the database only for the renames that succeeded.
    void FixRomNames(const std::vector<TRomFile*>& romFiles);
    // Takes a useless rom out of the file: its only copy is first put in its place
    // (5), else it is backed up into destFolder (1); it is deleted only once that
    // succeeded. 0 when the placement failed and the rom was kept.
    uint8_t RemoveRomFile(TRomFile* romFile, const std::string& destFolder);
};

// The files of one rom path in the order they were added, found by exact name (two
// names that differ only in case are two files). Owns them.
class TFilesList {
public:
    TFilesList() = default;
    TFilesList(const TFilesList&) = delete;
    TFilesList& operator=(const TFilesList&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    TFile* GetFile(int index) const { return items_.at(static_cast<size_t>(index)).get(); }
    TFile* operator[](int index) const { return items_[static_cast<size_t>(index)].get(); }
    // The file of exactly that name, or nullptr.
    TFile* Find(std::string_view name) const;
    int IndexOf(std::string_view name) const;
    int IndexOfObject(const TFile* file) const;
    // Adds under the file's Name, which must not be in the list yet.
    TFile* Add(std::unique_ptr<TFile> file);
    std::unique_ptr<TFile> Extract(int index);
    // Takes every listed file of the set out in one pass, keeping the others' order.
    std::vector<std::unique_ptr<TFile>> ExtractAll(const std::unordered_set<const TFile*>& files);
    // Gives a listed file a new name (the file's Name is set too).
    void Rename(TFile* file, const std::string& newName);
    void Clear();

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    // Looked up by a name's view, without a copy of it.
    struct TNameHash {
        using is_transparent = void;
        size_t operator()(std::string_view name) const noexcept { return std::hash<std::string_view>()(name); }
    };
    std::vector<std::unique_ptr<TFile>> items_;
    std::unordered_map<std::string, TFile*, TNameHash, std::equal_to<>> index_;
};

// ---- Rom paths ----------------------------------------------------------------------

class TPath {
public:
    explicit TPath(TPathsList* owner);
    ~TPath();
    TPath(const TPath&) = delete;
    TPath& operator=(const TPath&) = delete;

    TCacheFile& CacheFile() { return *cacheFile_; }
    const TCacheFile& CacheFile() const { return *cacheFile_; }
    TFilesList& Files() { return files_; }
    const TFilesList& Files() const { return files_; }
    TPathsList* Owner() const { return owner_; }
    TFilesBd* FilesBd() const;

    // The folder, ending with "/".
    const std::string& GetPath() const { return path_; }
    void SetPath(const std::string& path);

    // With rebuild the volume must be present (the user is asked to insert it) and
    // every file is read again; the cache is read first when the path holds no file.
    void Load(bool rebuild);
    // Drops this very file from the list; the disk is not touched.
    void DropFile(TFile* file);
    // Drops these files (each listed once) as DropFile does, in one pass over the list.
    void DropFiles(const std::vector<TFile*>& files);
    // Repairs of whole files: sends a listed file to the trash and drops it.
    bool DeleteFileFromDisk(TFile* file);
    void ClearFiles();
    void Log(const std::string& text) const;
    void MatchFiles();
    void ClearRomErrorFlags();

    // A new entry of the files list for name (last component) of that kind, with its
    // full name and short name; OnCreateFile is raised when announce is set. A name
    // already listed gives that file, unchanged and without an event.
    TFile* NewFile(const std::string& name, uint8_t kind, bool announce);

    // Scanning the folder.
    void Scan(bool rebuild);
    TFile* AddFile(const std::string& fullName, uint8_t kind);
    bool IsFileUnchanged(const TFile* file, const TScanEntry& entry) const;
    // Whether the folder differs from what the files list holds, without reading a rom.
    bool HasChanged();
    void Reload(bool rebuild);
    // Reloads this path (unless skipItself), the rom path holding it and the rom paths
    // nested in it.
    void Refresh(bool rebuild, bool skipItself, bool clearErrorFlags);

    // The cache file of the path.
    void SaveCache();
    void LoadFromCache();
    TRomFile* AddEntry(const std::string& fileName, const std::string& romName, const std::string& crc,
                       const std::string& extension, int64_t romSize, uint8_t kind, int32_t romDate);

    // Volume of the path, as its cache file knows it.
    void ReadDiskInfo();
    bool IsVolumeAvailable() const;
    bool IsReadOnly() const;
    int GetDriveType() const;
    std::string GetVolumeLabel() const;
    std::string GetVolumeSerial() const;

private:
    // A file out of the list goes to the database's retired objects (freed otherwise).
    void Retire(std::unique_ptr<TFile> owned);

    std::unique_ptr<TCacheFile> cacheFile_;
    std::string path_;
    TFilesList files_;
    TPathsList* owner_;
};

class TPathsList {
public:
    explicit TPathsList(TFilesBd* owner);
    ~TPathsList();
    TPathsList(const TPathsList&) = delete;
    TPathsList& operator=(const TPathsList&) = delete;

    // Set by the user interface to stop a load or scan; see CheckAbort.
    bool Abort = false;
    std::string CachePath;  // ends with "/"; the program's folder by default
    std::string TempDir;
    bool SubmitRoms = false;
    TFilesBd* const Owner;

    // The known path of that volume serial and folder, or a new one whose cache file
    // has been opened (its exceptions pass, and the path is not added).
    TPath* AddPath(const std::string& path, const std::string& serial, const std::string& label);
    void RemovePath(TPath* path);
    int Count() const { return static_cast<int>(paths_.size()); }
    TPath* GetPath(int index) const { return paths_.at(static_cast<size_t>(index)).get(); }
    // Index of the path of exactly that text (with "/"), -1 when none.
    int IndexOf(std::string_view pathText) const;
    // Frees every path, then lets the rom database recompute its states.
    void Clear();
    void MatchAll();
    // When the abort flag is set: clears it and raises EAbortPathLoading.
    void CheckAbort();
    // A cache file that a load could not write: a warning box the first time, so that
    // many rom paths on one full disk do not ask the user once each.
    void TellCacheWriteFailure(const std::string& message);

private:
    std::vector<std::unique_ptr<TPath>> paths_;
    bool cacheWriteTold_ = false;
};

// ---- The database -------------------------------------------------------------------

class TFilesBd {
public:
    TFilesBd();
    ~TFilesBd();
    TFilesBd(const TFilesBd&) = delete;
    TFilesBd& operator=(const TFilesBd&) = delete;

    bool PlugInSuggeredExtension = false;
    TCaseOptions FileCaseOptions = coDontCare;     // folders and zips
    TCaseOptions RomFileCaseOptions = coDontCare;  // roms and plain files

    TProgressEvent OnProgress;
    TInfosEvent OnInfos;
    TLogEvent OnLog;
    TRemoveFileEvent OnRemoveFile;
    TRemoveRomFileEvent OnRemoveRomFile;
    TRenameFileEvent OnRenameFile;
    TCreateFileEvent OnCreateFile;
    TCreateRomFileEvent OnCreateRomFile;
    // The outermost user command ends: raised before the objects it dropped are freed,
    // so that listeners that put off their removals apply them once, here.
    std::function<void()> OnCommandEnd;

    // Files handed to the signature calculator by scans, counted for tests and benchmarks.
    int64_t SignatureCalls = 0;
    // Threads that list a scan's zip archives side by side; 0 is one per core. The
    // listings are merged in the folder's order, so the result is the same for any
    // number. ScanThreadsUsed is the number the last scan ran.
    int ScanThreads = 0;
    int ScanThreadsUsed = 1;

    TPathsList& Paths() { return *paths_; }
    const TPathsList& Paths() const { return *paths_; }

    TPath* AddPath(const std::string& path, const std::string& serial, const std::string& label);
    void ClearPaths();
    int GetPathCount() const { return paths_->Count(); }
    TPath* GetPath(int index) const { return paths_->GetPath(index); }
    void MatchAll();
    bool GetSplit() const;

    TSignatureCalculator* SignatureCalculator() const { return signatureCalculator_; }
    void SetSignatureCalculator(TSignatureCalculator* value) { signatureCalculator_ = value; }
    TRomsBd* RomsBd() const { return romsBd_; }
    void SetRomsBd(TRomsBd* value) { romsBd_ = value; }
    // Shared by every database that is given the same manager.
    TArchiveManager* ArchiveManager() const { return archiveManager_; }
    void SetArchiveManager(TArchiveManager* manager);
    const std::string& TempDir() const { return tempDir_; }
    void SetTempDir(const std::string& value);
    const std::string& CachePath() const { return cachePath_; }
    void SetCachePath(const std::string& value);
    int CompressionLevel() const { return compressionLevel_; }
    // Values outside 0..9 are ignored.
    void SetCompressionLevel(int value);
    bool SubmitRoms() const { return submitRoms_; }
    void SetSubmitRoms(bool value);
    void SetPlugInSuggeredExtension(bool value) { PlugInSuggeredExtension = value; }

    // Repairs of whole files: the folder (ending with "/") where a merge leaves a file
    // that still holds roms it could not place. It must outlive a reboot, so the user
    // interface sets it below the settings' archive folder; while it is empty such a
    // file stays where it is, still listed.
    std::string MergeBackupDir;

    // Whether a scan may bring a file to a valid state on its own (a zero-byte ".zip"
    // becomes an empty archive). The scan window only asks what dropped files hold: it
    // turns this off, and nothing it reads is changed.
    bool RepairsWhileScanning = true;

    void DoInfos(const std::string& text);
    void DoLog(const std::string& text);
    // Percentage position * 100 / total, raised when it changes; a total of 0 always
    // raises 100 and leaves the last percentage alone.
    void DoProgress(int64_t position, int64_t total);

    // A user command: objects dropped while one runs are freed when the outermost ends.
    void BeginCommand() { ++commandDepth_; }
    void EndCommand();
    bool InCommand() const { return commandDepth_ > 0; }
    class TCommandScope {
    public:
        explicit TCommandScope(TFilesBd& bd) : bd_(bd) { bd_.BeginCommand(); }
        ~TCommandScope() { bd_.EndCommand(); }
        TCommandScope(const TCommandScope&) = delete;
        TCommandScope& operator=(const TCommandScope&) = delete;

    private:
        TFilesBd& bd_;
    };

    // A batch of cache saves: while one is open, a path's SaveCache only notes the path,
    // and EndCacheBatch writes each noted path's cache once, in path order. A repair
    // step that writes into many files of a path thus rewrites its cache once.
    void BeginCacheBatch() { ++cacheBatchDepth_; }
    void EndCacheBatch();
    // Notes path as changed when a batch is open; false when none is (save it now).
    bool DeferCacheSave(TPath* path);
    class TCacheBatch {
    public:
        explicit TCacheBatch(TFilesBd& bd) : bd_(bd) { bd_.BeginCacheBatch(); }
        // Writes the noted caches; a failure is thrown. Called once, on the way out.
        void End() {
            ended_ = true;
            bd_.EndCacheBatch();
        }
        // Unwinding: the caches are still written, a failure then is not thrown.
        ~TCacheBatch() {
            if (ended_) return;
            try {
                bd_.EndCacheBatch();
            } catch (...) {
            }
        }
        TCacheBatch(const TCacheBatch&) = delete;
        TCacheBatch& operator=(const TCacheBatch&) = delete;

    private:
        TFilesBd& bd_;
        bool ended_ = false;
    };

    // Frees now, or at the end of the running command. Registrations are withdrawn now.
    void Retire(std::unique_ptr<TRomFile> romFile);
    void Retire(std::unique_ptr<TFile> file);
    void Retire(std::unique_ptr<TPath> path);
    size_t RetiredCount() const { return retiredRomFiles_.size() + retiredFiles_.size() + retiredPaths_.size(); }

private:
    void FreeRetired();

    std::unique_ptr<TPathsList> paths_;
    TSignatureCalculator* signatureCalculator_ = nullptr;
    TRomsBd* romsBd_ = nullptr;
    TArchiveManager* archiveManager_ = nullptr;
    std::string tempDir_;
    std::string cachePath_;
    int compressionLevel_ = 0;
    bool submitRoms_ = false;
    TProgressState progress_;

    int commandDepth_ = 0;
    int cacheBatchDepth_ = 0;
    std::vector<TPath*> unsavedPaths_;
    std::vector<std::unique_ptr<TRomFile>> retiredRomFiles_;
    std::vector<std::unique_ptr<TFile>> retiredFiles_;
    std::vector<std::unique_ptr<TPath>> retiredPaths_;
};

// The extension of a name with its dot ("" when none): the text from the last "."
// that follows the last "/" or "\".
std::string FileExtension(std::string_view name);
std::string_view FileExtensionView(std::string_view name);

// The value of a signature of eight lower-case hexadecimal digits, as the default plug-in
// gives them; false for any other text.
bool LowerCrcValue(std::string_view crc, uint32_t& value);

}  // namespace qm
