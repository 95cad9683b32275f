#include "archive/archive.h"

#include "archive/UnZip32.h"

#include <cstdio>

#include "archive/stringsTools.h"
#include "platform/Text.h"

namespace qm {

std::string TArchiveItem::GetFullName() const {
    return Path == "/" ? Name : Path + Name;
}

TArchiveItem TArchiveItem::FromEntry(const std::string& entryName, int64_t size, uint32_t crc) {
    const std::string name = ToSlash(entryName);
    TArchiveItem item;
    const auto slash = name.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        // An entry stored as "/abs.bin" keeps its slash: split into the root's "/" and
        // "abs.bin" it would come back as "abs.bin", a name the archive does not hold.
        item.Path = "/";
        item.Name = name;
    } else {
        item.Path = name.substr(0, slash + 1);
        item.Name = name.substr(slash + 1);
    }
    item.Size = size;
    item.Crc = CrcToText(crc);
    return item;
}

std::string CrcToText(uint32_t crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(crc));
    return text;
}

void TArchive::GetFileList(const std::string&, TArchiveItems&) {}
void TArchive::ExtractFile(const std::string&, const std::string&, const std::string&, bool) {}
void TArchive::AddFile(const std::string&, const std::string&) {}
void TArchive::TestArchive(const std::string&) {}
void TArchive::RenameFiles(const std::string&, const TRenameList&, int) {}
void TArchive::DeleteFile(const std::string&, const std::string&) {}
void TArchive::CreateEmptyArchive(const std::string&) {}
void TArchive::ExtractAll(const std::string&, const std::string&) {}
void TArchive::AddDirectory(const std::string&, const std::string&) {}

namespace archive {
namespace {

using TRaise = void (*)(std::string message, const std::string& archiveName,
                        const std::string& fileName);

template <class E>
[[noreturn]] void Raise(std::string message, const std::string& archiveName,
                        const std::string& fileName) {
    throw E(std::move(message), archiveName, fileName);
}

struct TCodeEntry {
    int code;
    TRaise raise;
    const char* message;
    bool translated;  // only some texts are resource texts; the others stay as they are
    bool strictOnly;  // unzip side: raised only by strict operations
};

const TCodeEntry kZipCodes[] = {
    {2, Raise<EZE_EOF>, "Unexpected EOF", true, false},
    {3, Raise<EZE_FORM>, "Zip file structure invalid", true, false},
    {4, Raise<EZE_MEM>, "Out of memory", true, false},
    {5, Raise<EZE_LOGIC>, "Internal logic error", false, false},
    {6, Raise<EZE_BIG>, "Entry too large to split", false, false},
    {7, Raise<EZE_NOTE>, "Invalid comment format", false, false},
    {8, Raise<EZE_TEST>, "Zip file invalid or could not spawn unzip", false, false},
    {9, Raise<EZE_ABORT>, "Interrupted", false, false},
    {10, Raise<EZE_TEMP>, "Temporary file failure", false, false},
    {11, Raise<EZE_READ>, "Input file read failure", false, false},
    {12, Raise<EZE_NONE>, "Nothing to do", true, false},
    {13, Raise<EZE_NAME>, "Missing or empty zip file", true, false},
    {14, Raise<EZE_WRITE>, "Output file write failure", false, false},
    {15, Raise<EZE_CREAT>, "Could not create output file", false, false},
    {16, Raise<EZE_PARMS>, "Invalid command arguments", true, false},
    {18, Raise<EZE_OPEN>, "File not found or no read permission", false, false},
};

const TCodeEntry kUnzipCodes[] = {
    {2, Raise<EPK_ERR>, "Errors in zipfile", true, true},
    {3, Raise<EPK_BADERR>, "Severes errors in zipfile", true, true},
    {4, Raise<EPK_MEM>, "Out of memory", true, false},
    {5, Raise<EPK_MEM2>, "Out of memory", true, false},
    {6, Raise<EPK_MEM3>, "Out of memory", true, false},
    {7, Raise<EPK_MEM4>, "Out of memory", true, false},
    {9, Raise<EPK_NOZIP>, "Probably not a zip", true, true},
    {10, Raise<EPK_PARAM>, "Invalid command arguments", true, false},
    {11, Raise<EPK_FIND>, "File Not Found.", true, false},
    {50, Raise<EPK_DISK>, "Disk full", true, false},
    {51, Raise<EPK_EOF>, "Unexpected EOF", true, true},
    {kUnzipArchiveMissing, Raise<EFileNotFound>, "File Not Found.", true, false},
};

[[noreturn]] void RaiseUnknown(int code, const std::string& archiveName,
                               const std::string& fileName) {
    // The degree sign, in UTF-8.
    throw ESystemError("Unknown error n\xC2\xB0 " + std::to_string(code), archiveName, fileName);
}

template <size_t N>
void Check(const TCodeEntry (&table)[N], int code, bool strict, const std::string& archiveName,
           const std::string& fileName, const std::string& why) {
    for (const TCodeEntry& entry : table) {
        if (entry.code != code) continue;
        if (entry.strictOnly && !strict) return;
        entry.raise(WithCause(entry.translated ? _(entry.message) : std::string(entry.message), why),
                    archiveName, fileName);
    }
    RaiseUnknown(code, archiveName, fileName);
}

}  // namespace

std::string WithCause(const std::string& message, const std::string& why) {
    return why.empty() ? message : message + ": " + why;
}

void CheckZipResult(int code, const std::string& archiveName, const std::string& fileName,
                    const std::string& why) {
    if (code == 0) return;
    Check(kZipCodes, code, true, archiveName, fileName, why);
}

void CheckUnzipResult(int code, bool strict, const std::string& archiveName,
                      const std::string& fileName, const std::string& why) {
    if (code == 0 || code == 1) return;
    if (code == kUnzipWriteFailed) {
        if (why.empty()) RaiseUnknown(code, archiveName, fileName);
        throw ESystemError(why, archiveName, fileName);
    }
    Check(kUnzipCodes, code, strict, archiveName, fileName, why);
}

}  // namespace archive
}  // namespace qm
