#pragma once
// Renames entries of a zip archive by working on its own structures (local headers,
// central directory, end record), since the zip library cannot rename. Entry data is
// never decompressed.
//
// When every renamed entry keeps the byte length of its name, the names are patched in
// the archive itself, after everything has been read and checked; otherwise the archive
// is written to a temporary file beside it, flushed and renamed over it. Any failure
// leaves the archive as it was.
//
// Matching of a rename item against the entries (each entry is tried against its
// original name only, so that a swap a->b, b->a works; the first item that claims an
// entry wins):
//   - a file item renames one entry: the one whose full name equals OldName, else the
//     first whose name equals it without regard to case, else, when OldName has no
//     folder, the first whose last component equals it (the folder is kept);
//   - a folder item ("dir/") renames the folder's own entry and every entry inside it.
// A "\" in a stored name or an item is read as "/". A result that clashes with another
// entry's name raises EFileExist and changes nothing. An item that matches nothing is
// passed over.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"

namespace qm {

// One central-directory entry and what the rename makes of it.
struct TZipEntryRecord {
    uint32_t LocalHeaderOffset = 0;
    uint16_t NameLength = 0;
    std::string Name;        // as stored
    uint32_t TimeStamp = 0;  // DOS date (high 16 bits) and time (low 16 bits); 0 = keep

    int64_t CentralPos = 0;  // of its central header, in the file
    uint16_t Flags = 0;      // general-purpose flags of the central header
    uint32_t Crc = 0;
    uint32_t CompressedSize = 0;  // from the central header: the local one may be 0
    uint16_t CentralExtraLength = 0;
    uint16_t CentralCommentLength = 0;
    uint16_t LocalNameLength = 0;
    uint16_t LocalExtraLength = 0;
    uint32_t DescriptorLength = 0;  // 0, or the data descriptor that follows the data

    bool Renamed = false;
    std::string NewName;  // valid when Renamed
    uint16_t NewFlags = 0;
};

class TZipNameRewriter {
public:
    virtual ~TZipNameRewriter() = default;

    // Renames the entries of archiveName as list asks. A non-zero timeStamp is put into
    // every entry; a non-zero Stamp of an item into the entries it renames.
    void RewriteZipNames(const std::string& archiveName, const TRenameList& list,
                         uint32_t timeStamp = 0);

    // Finds the end record of the open archive fd (size bytes): the last "PK\5\6" whose
    // comment reaches exactly the end of the file and whose central directory ends where
    // the record starts (failing that, the last whose comment reaches the end). Fills
    // record (22 bytes), EndOfCentralDirPos and ZipComment; false when there is none.
    // A spanned archive raises EError.
    bool FindEndOfCentralDir(int fd, int64_t size, std::string& record);

    int64_t EndOfCentralDirPos = 0;
    std::string ZipComment;

protected:
    // Writes all of data at offset; 0 or errno. Every write of the engine goes through
    // here (tests make it fail).
    virtual int WriteAt(int fd, const char* data, size_t size, int64_t offset);

private:
    struct TState;
    void ReadArchive(TState& state);
    bool PatchInPlace(TState& state);
    void Rewrite(TState& state);

    std::string archiveName_;  // of the running call, for the exceptions
};

// Convenience: one engine for one call.
void RewriteZipNames(const std::string& archiveName, const TRenameList& list,
                     uint32_t timeStamp = 0);

}  // namespace qm
