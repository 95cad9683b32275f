#pragma once
// Our own zip library: the calls, option record and callback table of the Info-ZIP zip
// library (Zip 2.3 interface) that the zip archiver uses, carried out over libzip.
//
// Every change to an archive is written to a temporary file beside it, flushed and
// renamed over it (through the file-system seam); a failure leaves the archive as it
// was. Removing the last entry leaves the 22-byte empty archive, as Info-ZIP zip does.
// Result codes are those of Info-ZIP zip: 0 success, 3 not a zip archive or damaged,
// 4 out of memory, 5 internal error, 10 temporary file failure, 11 input file read
// failure, 12 nothing to do, 14 output write failure, 15 could not create the output,
// 16 bad arguments, 18 a file to add was not found.
//
// The options and callbacks are process-wide, as in the library, so one call runs at a
// time. The calls call back on the calling thread; the archiver runs them on a worker.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qm {

// A Boolean of the option record: TRUE is -1, as the library has it.
constexpr int kZipTrue = -1;

// The zip option record, filled afresh for each call. Texts empty stand for "none".
struct ZPOPT {
    std::string Date;
    std::string szRootDir;  // folder that relative file arguments are taken from
    std::string szTempDir;
    int fTemp = 0;
    int fSuffix = 0;
    int fEncrypt = 0;
    int fSystem = 0;
    int fVolume = 0;
    int fExtra = 0;          // no extra fields (always so here)
    int fNoDirEntries = 0;   // no entries for folders when recursing
    int fExcludeDate = 0;
    int fIncludeDate = 0;
    int fVerbose = 0;
    int fQuiet = 0;
    int fCRLF_LF = 0;
    int fLF_CRLF = 0;
    int fJunkDir = 0;        // store files without their folder part
    int fGrow = 0;
    int fForce = 0;
    int fMove = 0;
    int fDeleteEntries = 0;  // delete the entries matching the file arguments
    int fUpdate = 0;
    int fFreshen = 0;
    int fJunkSFX = 0;
    int fLatestTime = 0;
    int fComment = 0;
    int fOffsets = 0;
    int fPrivilege = 0;
    int fEncryption = 0;
    int fRecurse = 0;        // 1: walk folders given as arguments
    int fRepair = 0;
    char fLevel = 0;         // '0' (store) to '9' (best)
};

// The zip callback table. Every slot may be empty.
struct ZIPUSERFUNCTIONS {
    std::function<int(const char* text, unsigned long length)> print;
    std::function<int(char* comment)> comment;
    std::function<int(char* buffer, int size, const char* prompt, const char* name)> password;
    // After each entry written; non-zero stops the operation (result 9).
    std::function<int(const char* name, uint64_t size)> ServiceApplication;
};

// The zip command: the archive and argc file arguments (Info-ZIP wildcard patterns,
// see WildMatch; "[[]" stands for "[" and "[-]" for "-").
struct ZCL {
    int argc = 0;
    std::string lpszZipFN;
    std::vector<std::string> FNV;
};

// Installs the callbacks; returns 1.
int ZpInit(const ZIPUSERFUNCTIONS& functions);
// Takes the options for the next calls; returns 0 (refused) when fLevel is not a digit.
int ZpSetOptions(const ZPOPT& options);
// Adds the files (or folders, with fRecurse) named by the arguments, replacing entries
// of the same name; or, with fDeleteEntries, deletes the entries matching them. A file
// argument that names nothing fails the whole call (18) before the archive is touched.
int ZpArchive(const ZCL& command);

// Not in the Info-ZIP library: rewrites every entry of the archive at the level of the
// options, keeping names, order, times and the archive comment. Entry data is
// checked while it is read, so a damaged entry fails the call (3) and the archive
// stays as it was.
int ZpRecompress(const ZCL& command);

// Not in the Info-ZIP library: adds the entry of srcZip that the pattern srcEntry
// names (exact letter case first, then any) to command.lpszZipFN under the name
// command.FNV[0], replacing an entry of that name. The entry's data is read and its CRC
// checked first; then, when its method is the one the options' level asks for (stored
// for "0", deflated otherwise), its compressed bytes are copied as they are, else it is
// recompressed. A failure on the source side is given as an unzip code in unzipCode
// (9 not a zip, 11 no such entry, 2 damaged entry, ...) with 0 returned; otherwise
// unzipCode is 0 and the result is a zip code.
int ZpCopyEntry(const std::string& srcZip, const std::string& srcEntry, const ZCL& command,
                int& unzipCode);

// One change of a batch (ZpApplyChanges). With srcZip empty, the entry that the
// pattern srcEntry names is deleted (of two entries of that name, the first); else the
// entry of srcZip that srcEntry names is added under name, as ZpCopyEntry adds it.
struct ZCHANGE {
    std::string srcZip;
    std::string srcEntry;
    std::string name;
};

// Not in the Info-ZIP library: applies the changes in their order to zipFN (created
// when missing) and writes it once. Every copy's data is read and checked before the
// archive is written; sources are read as they are on disk before the call. A failure
// of any change leaves the archive as it was: failed is then the change at fault (-1
// when the write itself failed), a failure on a source side comes as an unzip code in
// unzipCode as for ZpCopyEntry, and a delete that names no entry gives 12.
int ZpApplyChanges(const std::string& zipFN, const std::vector<ZCHANGE>& changes, int& unzipCode,
                   int& failed);

}  // namespace qm
