#pragma once
// What every archiver of the program offers: the abstract archive, its entry records,
// the entry-rename request and the archive exceptions through which every archive
// operation reports failure.
//
// Entry names are held with "/" as separator inside the program, as on disk; a folder
// part always ends with "/".
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Exception.h"

namespace qm {

// One entry of an archive.
struct TArchiveItem {
    std::string Name;  // file name without its inner path
    std::string Path;  // inner path ending with "/"; a lone "/" at the root
    int64_t Size = 0;  // uncompressed size in bytes
    std::string Crc;   // stored CRC-32: exactly 8 lower-case hexadecimal digits

    // The name as the archiver expects it back: Name alone at the root, else Path + Name.
    std::string GetFullName() const;

    // Splits a stored entry name (a "\" in it is read as "/") into Path and Name; a
    // folder entry ("dir/") has an empty Name. An entry stored with a leading "/" at the
    // top keeps it in Name, so that GetFullName finds it again.
    static TArchiveItem FromEntry(const std::string& entryName, int64_t size, uint32_t crc);
};

// A listing appends to such a list; it is never cleared by the archiver.
using TArchiveItems = std::vector<TArchiveItem>;

// The CRC text of an entry: 8 lower-case hexadecimal digits, leading zeros kept.
std::string CrcToText(uint32_t crc);

// One entry rename.
struct TRenameItem {
    std::string OldName;  // the entry's current full name
    std::string NewName;  // the wanted full name
    // Non-zero: a DOS date and time (date high 16 bits, time low 16 bits) put into the
    // renamed entry's headers. Callers pass 0.
    int32_t Stamp = 0;
    // -1: the entry is found by OldName. Else its position in the archive (as a listing
    // gives it), which tells apart two entries of one name; an entry there whose name
    // is not OldName is left alone.
    int32_t Index = -1;
};

using TRenameList = std::vector<TRenameItem>;

// One change of a batch that an archive takes in a single rewrite.
struct TArchiveChange {
    std::string SrcArchive;  // the archive copied from; empty: FileName is deleted
    std::string FileName;    // the entry of SrcArchive copied, or the entry deleted
    std::string NewName;     // a copy's name in the archive, without folder part
};

using TArchiveChanges = std::vector<TArchiveChange>;

using TArchiveMessageEvent = std::function<void(const std::string& msg)>;
// FileName is empty when the archive as a whole is at fault.
using TArchiveErrorEvent = std::function<void(
    const std::string& archiveName, const std::string& fileName, const std::string& msg)>;

// The archive interface. Every operation reports failure by raising an exception of
// the archive family below; the bodies of this base class do nothing.
class TArchive {
public:
    virtual ~TArchive() = default;

    int32_t CompressionLevel = 0;       // 0 (store) to 9 (best), for later adds
    TArchiveItems* Items = nullptr;     // the list a running listing appends to; not owned
    TArchiveMessageEvent OnMessage;     // progress and diagnostic text; may be empty
    TArchiveErrorEvent OnError;         // findings of an integrity test; may be empty
    // Called between the entries of a long read (a test); may raise to stop it.
    std::function<void()> OnPoll;
    std::string TempDir;                // work folder, always ending with "/"

    // Appends one item per entry to items (the list is not cleared first).
    virtual void GetFileList(const std::string& archiveName, TArchiveItems& items);
    // Extracts one entry into destDir; with keepPath the entry's inner folders are
    // recreated under destDir, else the file lands directly in destDir.
    virtual void ExtractFile(const std::string& archiveName, const std::string& fileName,
                             const std::string& destDir, bool keepPath);
    // Adds one file, stored without its folder part; creates the archive when missing.
    virtual void AddFile(const std::string& archiveName, const std::string& fileName);
    // Integrity test; findings go to OnError.
    virtual void TestArchive(const std::string& archiveName);
    // Renames entries; the zip archiver ignores flag.
    virtual void RenameFiles(const std::string& archiveName, const TRenameList& list, int flag);
    // Removes one entry: of two entries of that name, only the first goes.
    virtual void DeleteFile(const std::string& archiveName, const std::string& fileName);
    // Creates a valid archive with no entries.
    virtual void CreateEmptyArchive(const std::string& archiveName);
    // Extracts every entry with its inner path into destDir, which must not exist yet.
    virtual void ExtractAll(const std::string& archiveName, const std::string& destDir);
    // Packs the whole content of dir, recursively, into the new archive archiveName,
    // which must not exist yet.
    virtual void AddDirectory(const std::string& dir, const std::string& archiveName);

    void SetCompressionLevel(int level) { CompressionLevel = level; }
};

// The archive exceptions. Other units have classes of the same names (EFileNotFound,
// EError), so the family lives in its own namespace: catch qm::archive::EArchiveException
// or one of its five middle classes; the leaves tell the exact cause.
namespace archive {

class EArchiveException : public Exception {
public:
    explicit EArchiveException(std::string message, std::string archiveName = {},
                               std::string fileName = {})
        : Exception(std::move(message)),
          ArchiveName(std::move(archiveName)),
          FileName(std::move(fileName)) {}

    std::string ArchiveName;  // the archive of the failed operation, as it was given
    std::string FileName;     // the entry or file of the operation; empty when none
};

#define QM_DECLARE_ARCHIVE_EXCEPTION(Name, Base) \
    class Name : public Base {                   \
    public:                                      \
        using Base::Base;                        \
    }

// Damaged archive.
QM_DECLARE_ARCHIVE_EXCEPTION(ECorrupted, EArchiveException);
QM_DECLARE_ARCHIVE_EXCEPTION(EPK_ERR, ECorrupted);
QM_DECLARE_ARCHIVE_EXCEPTION(EPK_BADERR, ECorrupted);
QM_DECLARE_ARCHIVE_EXCEPTION(EPK_EOF, ECorrupted);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_EOF, ECorrupted);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_FORM, ECorrupted);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_TEST, ECorrupted);

// Usage error or missing item.
QM_DECLARE_ARCHIVE_EXCEPTION(EError, EArchiveException);
QM_DECLARE_ARCHIVE_EXCEPTION(EFileNotFound, EError);
QM_DECLARE_ARCHIVE_EXCEPTION(EFileExist, EError);
QM_DECLARE_ARCHIVE_EXCEPTION(ENoFileSpecified, EError);
QM_DECLARE_ARCHIVE_EXCEPTION(EPathExist, EError);
QM_DECLARE_ARCHIVE_EXCEPTION(EPathNotFound, EError);
QM_DECLARE_ARCHIVE_EXCEPTION(EPK_NOZIP, EError);
QM_DECLARE_ARCHIVE_EXCEPTION(EPK_FIND, EError);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_ABORT, EError);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_NONE, EError);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_NAME, EError);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_OPEN, EError);

// Out of memory.
QM_DECLARE_ARCHIVE_EXCEPTION(EMemoryError, EArchiveException);
QM_DECLARE_ARCHIVE_EXCEPTION(EPK_MEM, EMemoryError);
QM_DECLARE_ARCHIVE_EXCEPTION(EPK_MEM2, EMemoryError);
QM_DECLARE_ARCHIVE_EXCEPTION(EPK_MEM3, EMemoryError);
QM_DECLARE_ARCHIVE_EXCEPTION(EPK_MEM4, EMemoryError);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_MEM, EMemoryError);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_BIG, EMemoryError);

// Disk full.
QM_DECLARE_ARCHIVE_EXCEPTION(EADiskFull, EArchiveException);
QM_DECLARE_ARCHIVE_EXCEPTION(EPK_DISK, EADiskFull);

// System, file or unknown error; raised itself for unknown result codes.
QM_DECLARE_ARCHIVE_EXCEPTION(ESystemError, EArchiveException);
QM_DECLARE_ARCHIVE_EXCEPTION(EPK_PARAM, ESystemError);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_CantSetZipOption, ESystemError);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_LOGIC, ESystemError);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_NOTE, ESystemError);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_TEMP, ESystemError);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_READ, ESystemError);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_WRITE, ESystemError);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_CREAT, ESystemError);
QM_DECLARE_ARCHIVE_EXCEPTION(EZE_PARMS, ESystemError);

#undef QM_DECLARE_ARCHIVE_EXCEPTION

// The program's own result code of the unzip side for a missing archive file.
constexpr int kUnzipArchiveMissing = 100;

// Maps a result code of the zip library (add, delete, add folder) to its exception and
// raises it; 0 raises nothing. Unknown codes (1 among them) raise ESystemError. why
// ("file: system's text", TakeZipFailure) follows the code's own text.
void CheckZipResult(int code, const std::string& archiveName, const std::string& fileName,
                    const std::string& why = {});

// Maps a result code of the unzip library (listing, extraction, test) or the program's
// own codes 100 (archive missing) and 101 to its exception and raises it (102, a write
// that failed on a disk that is not full: ESystemError with why alone); 0 and 1
// (warning) raise nothing, and 2, 3, 9 and 51 raise only when strict (listing, single
// extraction, extract-all; the integrity test is not strict).
void CheckUnzipResult(int code, bool strict, const std::string& archiveName,
                      const std::string& fileName, const std::string& why = {});

// message, then ": " and why when there is a why.
std::string WithCause(const std::string& message, const std::string& why);

}  // namespace archive
}  // namespace qm
