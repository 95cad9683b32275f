#pragma once
// Our own unzip library: the calls, option record and callback table of the Info-ZIP
// unzip library that the zip archiver uses, carried out over libzip.
//
// Entry names are raw bytes as stored (a "\" in a stored name is read as "/"). Name
// arguments are Info-ZIP wildcard patterns ("*", "?", "[set]"); "[[]" stands for a
// literal "[". Result codes are those of Info-ZIP unzip: 0 success, 1 warning,
// 2 errors in some entries, 3 severe errors, 4 out of memory, 9 not a zip archive,
// 10 bad arguments, 11 no entry matched, 50 disk full (output write failure),
// 51 unexpected end of file.
//
// The calls are synchronous and call back on the calling thread; the archiver runs
// them on a worker thread.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

typedef struct zip zip_t;
typedef struct zip_error zip_error_t;

namespace qm {

// The unzip option record. A flag is 0 (off) or non-zero; what an operation does is
// chosen by ntflag (test), nvflag (list), else extraction.
struct DCL {
    int ExtractOnlyNewer = 0;
    int SpaceToUnderscore = 0;
    int PromptToOverwrite = 0;
    int fQuiet = 0;     // 0 everything, 1 problems and totals, 2 problems only
    int ncflag = 0;
    int ntflag = 0;     // test entries
    int nvflag = 0;     // list entries (through SendApplicationMessage)
    int nfflag = 0;
    int nzflag = 0;
    int ndflag = 0;     // extraction: recreate the entries' inner folders
    int noflag = 0;     // overwrite existing files without asking
    int naflag = 0;
    int nZIflag = 0;
    int C_flag = 0;     // match names without regard to letter case
    int fPrivilege = 0;
    int fWorkFiles = 0;  // extraction: files read once and deleted, written in place unflushed
    std::string lpszZipFN;       // the archive
    std::string lpszExtractDir;  // where extraction writes
};

// The unzip callback table. Every slot may be empty.
struct USERFUNCTIONS {
    // Library text; returns the length it was given.
    std::function<int(const char* text, unsigned long length)> print;
    std::function<void()> sound;
    // Asked before an existing file is replaced: 1 overwrite.
    std::function<int(const char* fileName)> replace;
    std::function<int(char* buffer, int size, const char* prompt, const char* name)> password;
    // One call per listed entry.
    std::function<void(uint64_t uncompressedSize, uint64_t compressedSize, unsigned ratio,
                       unsigned month, unsigned day, unsigned year, unsigned hour,
                       unsigned minute, char c, const char* entryName, const char* method,
                       uint32_t crc, char encrypted)>
        SendApplicationMessage;
    // After each entry processed; non-zero stops the operation (result 80).
    std::function<int(const char* entryName, uint64_t size)> ServCallBk;
    // A test: an entry that failed, with the line printed about it.
    std::function<void(const char* entryName, const char* text)> EntryFailed;
};

// Lists, tests or extracts the entries of the archive dcl.lpszZipFN that match one of
// the ifnc patterns of ifnv (every entry when ifnc is 0) and none of the xfnc patterns
// of xfnv. Extraction with inner folders refuses entries with an absolute name or a
// ".." part (result 2); extracted files are plain files written under a temporary name
// and renamed into place, so a failed entry never leaves a half-written file.
int Wiz_SingleEntryUnzip(int ifnc, const char* const* ifnv, int xfnc, const char* const* xfnv,
                         const DCL& dcl, const USERFUNCTIONS& functions);

// Info-ZIP wildcard matching of name against pattern: "*" any run of bytes, "?" one
// byte, "[abc]", "[a-z]" and "[!abc]" a set; a "-" first or last in a set is literal.
// noCase folds ASCII letters only.
bool WildMatch(const std::string& pattern, const std::string& name, bool noCase);

// When pattern names exactly one name (no wildcard, sets of one byte only, as in
// "rom[[]1].bin"), stores that name in literal and returns true.
bool WildLiteral(const std::string& pattern, std::string& literal);

// The result of Wiz_SingleEntryUnzip when writing an extracted file failed for another
// reason than a full disk; the file and the system's text of it are the call's
// TakeZipFailure.
constexpr int kUnzipWriteFailed = 102;

// For the layer's own use: the archive opened through the file-system seam, or null
// with libzip's error code in zipError (the system's text noted, SetZipFailure, and
// printed through functions when given).
zip_t* OpenForReading(const std::string& path, int flags, int& zipError, const USERFUNCTIONS* functions);
// For the layer's own use: notes (SetZipFailure) what a libzip error about the archive
// says beyond its code: the system's text when a system call failed, or that the entry
// is encrypted.
void NoteZipError(const std::string& archive, const std::string& entry, const zip_error_t* error);

// For the layer's own use: a fresh temporary file beside path (CreateSiblingTemp), or
// under a short name in the same folder when the long name leaves no room, made with
// mode; 0 or errno.
int CreateTempBeside(const std::string& path, std::string& temp, unsigned mode = 0600);

}  // namespace qm
