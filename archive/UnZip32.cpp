#include "archive/UnZip32.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <new>
#include <unordered_map>

#include "archive/LittleEndian.h"
#include "archive/stringsTools.h"
#include "archive/ZipFailure.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace qm {

namespace {

constexpr int kOk = 0;
constexpr int kErrors = 2;
constexpr int kSevere = 3;
constexpr int kMemory = 4;
constexpr int kNoZip = 9;
constexpr int kParam = 10;
constexpr int kNotFound = 11;
constexpr int kDiskFull = 50;
constexpr int kEof = 51;
constexpr int kStopped = 80;

// A write to file that failed: a full disk (or quota) is the library's "disk full"; any
// other reason is told in the system's own words alone.
int WriteFailed(int err, const std::string& file, std::string& text) {
    text = SysErrorMessage(err);
    SetZipFailure(file, text);
    return err == ENOSPC || err == EDQUOT ? kDiskFull : kUnzipWriteFailed;
}


char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// One set "[...]" starting at pattern[p] == '['; on return p is past the closing "]".
// A set without its closing "]" is a literal "[".
bool MatchSet(const std::string& pattern, size_t& p, char c, bool noCase, bool& wellFormed) {
    size_t q = p + 1;
    bool negate = false;
    if (q < pattern.size() && (pattern[q] == '!' || pattern[q] == '^')) {
        negate = true;
        ++q;
    }
    const size_t first = q;
    bool hit = false;
    while (q < pattern.size() && (pattern[q] != ']' || q == first)) {
        char lo = pattern[q];
        char hi = lo;
        if (q + 2 < pattern.size() && pattern[q + 1] == '-' && pattern[q + 2] != ']') {
            hi = pattern[q + 2];
            q += 3;
        } else {
            ++q;
        }
        const auto u = static_cast<unsigned char>(c);
        if (u >= static_cast<unsigned char>(lo) && u <= static_cast<unsigned char>(hi)) hit = true;
        if (noCase) {
            const auto f = static_cast<unsigned char>(FoldAscii(c));
            if (f >= static_cast<unsigned char>(FoldAscii(lo)) &&
                f <= static_cast<unsigned char>(FoldAscii(hi)))
                hit = true;
        }
    }
    if (q >= pattern.size()) {
        wellFormed = false;
        return false;
    }
    wellFormed = true;
    p = q + 1;
    return hit != negate;
}

bool Match(const std::string& pattern, size_t p, const std::string& name, size_t n, bool noCase) {
    while (p < pattern.size()) {
        const char pc = pattern[p];
        if (pc == '*') {
            while (p < pattern.size() && pattern[p] == '*') ++p;
            if (p == pattern.size()) return true;
            for (size_t k = n; k <= name.size(); ++k)
                if (Match(pattern, p, name, k, noCase)) return true;
            return false;
        }
        if (n >= name.size()) return false;
        if (pc == '?') {
            ++p;
            ++n;
            continue;
        }
        if (pc == '[') {
            bool wellFormed = true;
            size_t q = p;
            const bool hit = MatchSet(pattern, q, name[n], noCase, wellFormed);
            if (wellFormed) {
                if (!hit) return false;
                p = q;
                ++n;
                continue;
            }
        }
        if (pc != name[n] && !(noCase && FoldAscii(pc) == FoldAscii(name[n]))) return false;
        ++p;
        ++n;
    }
    return n == name.size();
}

std::string StoredName(zip_t* za, zip_uint64_t index) {
    const char* raw = zip_get_name(za, index, ZIP_FL_ENC_RAW);
    return ToSlash(raw ? raw : "");
}

int OpenErrorCode(int zipError) {
    switch (zipError) {
        case ZIP_ER_NOZIP:
        case ZIP_ER_NOENT:
        case ZIP_ER_OPEN:
        case ZIP_ER_READ:
        case ZIP_ER_SEEK:
            return kNoZip;
        case ZIP_ER_MEMORY:
            return kMemory;
        default:
            return kSevere;
    }
}

int ReadErrorCode(int zipError) {
    switch (zipError) {
        case ZIP_ER_EOF:
        case ZIP_ER_READ:
        case ZIP_ER_SEEK:
            return kEof;
        case ZIP_ER_MEMORY:
            return kMemory;
        default:
            return kErrors;
    }
}

std::string BaseName(const std::string& name) {
    const auto slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}


bool PRead(int fd, unsigned char* buffer, size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, buffer, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        buffer += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

// One entry of a central directory read directly.
struct TDirEntryRecord {
    std::string name;
    uint64_t size = 0;
    uint64_t compSize = 0;
    uint32_t crc = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    bool encrypted = false;
};

// Reads the central directory of a plain, sound archive with one open, one fstat and
// two reads at most. Anything it does not vouch for (zip64, a prefix before the first
// entry, comments that do not end the file, extra fields that do not parse, no entry
// at all, AES) returns false and is left to libzip, so a damaged archive meets the very
// same checks as before and only the common case is cheaper.
bool ReadPlainDirectory(const std::string& archive, std::vector<TDirEntryRecord>& out) {
    out.clear();
    int fd = -1;
    if (Fs().Open(archive, O_RDONLY, 0, fd) != 0) return false;
    struct TClose {
        int fd;
        ~TClose() { ::close(fd); }
    } closeOnExit{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    constexpr uint64_t kEnd = 22;
    if (fileSize < kEnd) return false;
    // The tail holds the end record with its comment (at most 65,535 bytes), and for a
    // small archive the whole directory too.
    const uint64_t tailSize = std::min<uint64_t>(fileSize, 65535 + kEnd + 4096);
    const uint64_t tailStart = fileSize - tailSize;
    std::vector<unsigned char> tail(static_cast<size_t>(tailSize));
    if (!PRead(fd, tail.data(), tail.size(), static_cast<off_t>(tailStart))) return false;
    // The last end signature whose comment reaches exactly the end of the file.
    size_t end = std::string::npos;
    for (size_t p = tail.size() - kEnd + 1; p-- > 0;) {
        if (tail[p] != 'P' || tail[p + 1] != 'K' || tail[p + 2] != 5 || tail[p + 3] != 6) continue;
        if (p + kEnd + Get16(&tail[p + 20]) == tail.size()) end = p;
        break;
    }
    if (end == std::string::npos) return false;
    const unsigned char* e = &tail[end];
    const uint16_t entries = Get16(e + 10);
    const uint32_t cdSize = Get32(e + 12);
    const uint32_t cdOffset = Get32(e + 16);
    if (Get16(e + 4) != 0 || Get16(e + 6) != 0 || Get16(e + 8) != entries || entries == 0 || entries == 0xffff ||
        cdSize == 0xffffffffu || cdOffset == 0xffffffffu)
        return false;
    const uint64_t endOffset = tailStart + end;
    if (static_cast<uint64_t>(cdOffset) + cdSize != endOffset) return false;
    // A zip64 locator right before the end record: libzip's to read.
    if (end >= 20 && Get32(&tail[end - 20]) == 0x07064b50u) return false;
    std::vector<unsigned char> own;
    const unsigned char* cd;
    if (cdOffset >= tailStart) {
        cd = &tail[static_cast<size_t>(cdOffset - tailStart)];
    } else {
        own.resize(cdSize);
        if (!PRead(fd, own.data(), own.size(), static_cast<off_t>(cdOffset))) return false;
        cd = own.data();
    }
    out.reserve(entries);
    size_t pos = 0;
    for (uint32_t i = 0; i < entries; ++i) {
        if (pos + 46 > cdSize || Get32(cd + pos) != 0x02014b50u) return false;
        const unsigned char* h = cd + pos;
        const uint16_t flags = Get16(h + 8);
        const uint16_t method = Get16(h + 10);
        const uint32_t compSize = Get32(h + 20);
        const uint32_t size = Get32(h + 24);
        const size_t nameLen = Get16(h + 28);
        const size_t extraLen = Get16(h + 30);
        const size_t commentLen = Get16(h + 32);
        const uint32_t local = Get32(h + 42);
        if (compSize == 0xffffffffu || size == 0xffffffffu || local == 0xffffffffu || Get16(h + 34) != 0 ||
            method == 99)
            return false;
        if (static_cast<uint64_t>(local) + 30 + compSize > cdOffset) return false;
        const size_t next = pos + 46 + nameLen + extraLen + commentLen;
        if (next > cdSize) return false;
        // Extra fields must parse as libzip parses them.
        for (size_t x = 0; x < extraLen;) {
            if (x + 4 > extraLen) return false;
            x += 4 + Get16(h + 46 + nameLen + x + 2);
            if (x > extraLen) return false;
        }
        TDirEntryRecord record;
        const char* name = reinterpret_cast<const char*>(h + 46);
        record.name = ToSlash(std::string(name, strnlen(name, nameLen)));
        record.size = size;
        record.compSize = compSize;
        record.crc = Get32(h + 16);
        record.method = method;
        record.dosTime = Get16(h + 12);
        record.dosDate = Get16(h + 14);
        record.encrypted = (flags & 1) != 0;
        out.push_back(std::move(record));
        pos = next;
    }
    return pos == cdSize;
}

// The listing callback for every entry of a directory read directly.
void SendListing(const std::vector<TDirEntryRecord>& records, const USERFUNCTIONS& f) {
    if (!f.SendApplicationMessage) return;
    for (const TDirEntryRecord& r : records) {
        const unsigned ratio =
            r.size == 0 || r.compSize >= r.size ? 0 : static_cast<unsigned>((r.size - r.compSize) * 100 / r.size);
        const char* method = r.method == ZIP_CM_STORE ? "Stored" : r.method == ZIP_CM_DEFLATE ? "Defl:N" : "Unk:???";
        f.SendApplicationMessage(r.size, r.compSize, ratio, (r.dosDate >> 5) & 15u, r.dosDate & 31u,
                                 1980u + (r.dosDate >> 9), r.dosTime >> 11, (r.dosTime >> 5) & 63u, ' ',
                                 r.name.c_str(), method, r.crc, r.encrypted ? 'E' : ' ');
    }
}

class TUnzipRun {
public:
    TUnzipRun(const DCL& dcl, const USERFUNCTIONS& f) : dcl_(dcl), f_(f) {}
    ~TUnzipRun() {
        if (za_) zip_discard(za_);
    }

    int Run(int ifnc, const char* const* ifnv, int xfnc, const char* const* xfnv);

private:
    struct TSelected {
        zip_uint64_t index;
        std::string outName;  // the name the entry is written under
    };

    void Print(const std::string& text) {
        if (f_.print) f_.print(text.c_str(), static_cast<unsigned long>(text.size()));
    }
    int Select(int ifnc, const char* const* ifnv, int xfnc, const char* const* xfnv,
               std::vector<TSelected>& out);
    int List(const std::vector<TSelected>& selected);
    int Test(const std::vector<TSelected>& selected);
    int Extract(const std::vector<TSelected>& selected);
    // Reads the whole entry; with fd >= 0 writes it there. On failure text holds why.
    // target: the file fd writes, named when a write fails.
    int ReadEntry(zip_uint64_t index, int fd, std::string& text, const std::string& target = {});
    int ExtractEntry(zip_uint64_t index, const std::string& target, std::string& text);

    const DCL& dcl_;
    const USERFUNCTIONS& f_;
    zip_t* za_ = nullptr;
};

int TUnzipRun::Run(int ifnc, const char* const* ifnv, int xfnc, const char* const* xfnv) {
    if (dcl_.lpszZipFN.empty() || ifnc < 0 || xfnc < 0) return kParam;
    int error = 0;
    // No ZIP_CHECKCONS for a test: it takes the zeroed sizes of a local header followed
    // by a data descriptor for damage. Reading every entry checks its data and CRC.
    za_ = OpenForReading(dcl_.lpszZipFN, ZIP_RDONLY, error, &f_);
    if (!za_) return OpenErrorCode(error);
    if (zip_get_num_entries(za_, 0) == 0) {
        // A stray end signature inside a sound archive makes it look empty, and an
        // empty archive may be removed: a real empty one passes the consistency check,
        // a misread one does not.
        zip_t* strict = OpenForReading(dcl_.lpszZipFN, ZIP_RDONLY | ZIP_CHECKCONS, error, &f_);
        if (!strict) return OpenErrorCode(error);
        zip_discard(strict);
    }
    std::vector<TSelected> selected;
    const int selectResult = Select(ifnc, ifnv, xfnc, xfnv, selected);
    int result = kOk;
    if (dcl_.nvflag) result = List(selected);
    else if (dcl_.ntflag) result = Test(selected);
    else result = Extract(selected);
    return result > selectResult ? result : selectResult;
}

int TUnzipRun::Select(int ifnc, const char* const* ifnv, int xfnc, const char* const* xfnv,
                      std::vector<TSelected>& out) {
    const zip_int64_t count = zip_get_num_entries(za_, 0);
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    for (zip_int64_t i = 0; i < count; ++i) names.push_back(StoredName(za_, static_cast<zip_uint64_t>(i)));

    std::vector<bool> taken(names.size(), false);
    std::vector<std::string> outNames(names.size());
    int result = kOk;
    if (ifnc == 0) {
        for (size_t i = 0; i < names.size(); ++i) {
            taken[i] = true;
            outNames[i] = names[i];
        }
    }
    // Many plain names (a pass over the entries a caller picked) are looked up rather
    // than matched against every entry, so that the selection stays linear.
    std::unordered_map<std::string, std::vector<size_t>> exact;
    std::unordered_map<std::string, size_t> folded;  // the first entry of each folded name
    if (ifnc > 1) {
        for (size_t i = 0; i < names.size(); ++i) {
            exact[names[i]].push_back(i);
            if (dcl_.C_flag) folded.emplace(LowerCase(names[i]), i);
        }
    }
    const auto take = [&](size_t i, const std::string& outName) {
        if (taken[i]) return;
        taken[i] = true;
        outNames[i] = outName;
    };
    for (int k = 0; k < ifnc; ++k) {
        const std::string pattern = ifnv[k] ? ifnv[k] : "";
        std::string literal;
        const bool isLiteral = WildLiteral(pattern, literal);
        bool matched = false;
        if (isLiteral && ifnc > 1) {
            if (const auto it = exact.find(literal); it != exact.end()) {
                for (const size_t i : it->second) take(i, literal);
                matched = true;
            } else if (const auto f = folded.find(LowerCase(literal)); f != folded.end()) {
                take(f->second, literal);
                matched = true;
            }
            if (!matched) {
                Print("caution: filename not matched:  " + pattern + "\n");
                result = kNotFound;
            }
            continue;
        }
        // Exact letter case first: case twins are two entries, and the one asked for
        // wins. Only when none matches is letter case ignored (C_flag).
        for (int pass = 0; pass < 2 && !matched; ++pass) {
            const bool noCase = pass == 1;
            if (noCase && !dcl_.C_flag) break;
            for (size_t i = 0; i < names.size(); ++i) {
                if (!WildMatch(pattern, names[i], noCase)) continue;
                matched = true;
                // Written under the caller's spelling: that is where the caller looks
                // for the file.
                take(i, isLiteral ? literal : names[i]);
                if (isLiteral && noCase) break;
            }
        }
        if (!matched) {
            Print("caution: filename not matched:  " + pattern + "\n");
            result = kNotFound;
        }
    }
    for (int k = 0; k < xfnc; ++k) {
        const std::string pattern = xfnv[k] ? xfnv[k] : "";
        for (size_t i = 0; i < names.size(); ++i)
            if (taken[i] && WildMatch(pattern, names[i], dcl_.C_flag != 0)) taken[i] = false;
    }
    for (size_t i = 0; i < names.size(); ++i)
        if (taken[i]) out.push_back({static_cast<zip_uint64_t>(i), outNames[i]});
    return result;
}

int TUnzipRun::List(const std::vector<TSelected>& selected) {
    for (const TSelected& s : selected) {
        zip_stat_t st;
        if (zip_stat_index(za_, s.index, ZIP_FL_ENC_RAW, &st) != 0) return kSevere;
        const std::string name = StoredName(za_, s.index);
        if (f_.SendApplicationMessage) {
            std::tm tm{};
            const std::time_t t = st.mtime;
            localtime_r(&t, &tm);
            const unsigned ratio =
                st.size == 0 || st.comp_size >= st.size
                    ? 0
                    : static_cast<unsigned>((st.size - st.comp_size) * 100 / st.size);
            const char* method = st.comp_method == ZIP_CM_STORE ? "Stored"
                                 : st.comp_method == ZIP_CM_DEFLATE ? "Defl:N"
                                                                    : "Unk:???";
            f_.SendApplicationMessage(st.size, st.comp_size, ratio, static_cast<unsigned>(tm.tm_mon + 1),
                                      static_cast<unsigned>(tm.tm_mday),
                                      static_cast<unsigned>(tm.tm_year + 1900),
                                      static_cast<unsigned>(tm.tm_hour),
                                      static_cast<unsigned>(tm.tm_min), ' ', name.c_str(), method,
                                      st.crc, st.encryption_method != ZIP_EM_NONE ? 'E' : ' ');
        }
    }
    return kOk;
}

int TUnzipRun::ReadEntry(zip_uint64_t index, int fd, std::string& text, const std::string& target) {
    zip_file_t* zf = zip_fopen_index(za_, index, 0);
    if (!zf) {
        const int code = zip_error_code_zip(zip_get_error(za_));
        text = zip_error_strerror(zip_get_error(za_));
        NoteZipError(dcl_.lpszZipFN, StoredName(za_, index), zip_get_error(za_));
        zip_error_clear(za_);
        return ReadErrorCode(code);
    }
    static thread_local char buffer[1 << 16];
    int result = kOk;
    for (;;) {
        const zip_int64_t n = zip_fread(zf, buffer, sizeof buffer);
        if (n < 0) {
            const int code = zip_error_code_zip(zip_file_get_error(zf));
            text = zip_file_strerror(zf);
            NoteZipError(dcl_.lpszZipFN, StoredName(za_, index), zip_file_get_error(zf));
            result = ReadErrorCode(code);
            break;
        }
        if (n == 0) break;
        if (fd >= 0) {
            const char* p = buffer;
            size_t left = static_cast<size_t>(n);
            while (left > 0) {
                const ssize_t w = ::write(fd, p, left);
                if (w < 0 && errno == EINTR) continue;
                if (w <= 0) {
                    const int err = w < 0 ? errno : ENOSPC;
                    zip_fclose(zf);
                    return WriteFailed(err, target, text);
                }
                p += w;
                left -= static_cast<size_t>(w);
            }
        }
    }
    zip_fclose(zf);
    return result;
}

int TUnzipRun::Test(const std::vector<TSelected>& selected) {
    int result = kOk;
    for (const TSelected& s : selected) {
        const std::string name = StoredName(za_, s.index);
        std::string text;
        const int code = ReadEntry(s.index, -1, text);
        if (code != kOk) {
            const std::string line = "    testing: " + name + "   " + text + "\n";
            Print(line);
            if (f_.EntryFailed) f_.EntryFailed(name.c_str(), line.c_str());
            if (code > result) result = code;
        } else if (dcl_.fQuiet == 0) {
            Print("    testing: " + name + "   OK\n");
        }
        zip_stat_t st;
        zip_stat_init(&st);
        zip_stat_index(za_, s.index, ZIP_FL_ENC_RAW, &st);
        if (f_.ServCallBk && f_.ServCallBk(name.c_str(), st.size) != 0) return kStopped;
    }
    if (dcl_.fQuiet < 2) {
        if (result == kOk) Print("No errors detected in compressed data of " + dcl_.lpszZipFN + ".\n");
        else Print("At least one error was detected in " + dcl_.lpszZipFN + ".\n");
    }
    return result;
}

int TUnzipRun::ExtractEntry(zip_uint64_t index, const std::string& target, std::string& text) {
    const std::string folder = FolderOf(target);
    if (!folder.empty()) {
        if (const int err = MakeDirs(folder); err != 0) return WriteFailed(err, folder, text);
    }
    // A work file lives in a private folder until it has been read, then goes: written
    // under its own name and never flushed, which would cost more than the extraction.
    // Any other file is written beside its target and renamed over it once complete.
    std::string temp;
    if (dcl_.fWorkFiles) temp = target;
    else if (const int err = CreateTempBeside(target, temp); err != 0) return WriteFailed(err, target, text);
    const int flags = dcl_.fWorkFiles ? O_CREAT | O_NOFOLLOW : 0;
    int fd = -1;
    if (const int err = Fs().Open(temp, O_WRONLY | O_TRUNC | flags, 0600, fd); err != 0) {
        ::unlink(temp.c_str());
        return WriteFailed(err, target, text);
    }
    int result = ReadEntry(index, fd, text, target);
    // A plain file of the usual mode: stored modes (set-uid, symbolic links) are not
    // restored. The time is the entry's.
    ::fchmod(fd, 0644);
    zip_stat_t st;
    if (result == kOk && zip_stat_index(za_, index, 0, &st) == 0 && (st.valid & ZIP_STAT_MTIME)) {
        const timespec times[2] = {{st.mtime, 0}, {st.mtime, 0}};
        ::futimens(fd, times);
    }
    if (::close(fd) != 0 && result == kOk) result = WriteFailed(errno, target, text);
    if (result == kOk && temp != target) {
        if (const int err = Fs().ReplaceWith(temp, target); err != 0) result = WriteFailed(err, target, text);
    }
    if (result != kOk) ::unlink(temp.c_str());
    return result;
}

int TUnzipRun::Extract(const std::vector<TSelected>& selected) {
    std::string dir = dcl_.lpszExtractDir;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    int result = kOk;
    for (const TSelected& s : selected) {
        const std::string stored = StoredName(za_, s.index);
        const bool isFolder = !s.outName.empty() && s.outName.back() == '/';
        std::string relative;
        if (dcl_.ndflag) {
            if (!IsSafeName(s.outName, true)) {
                Print("skipping: " + stored + "   unsafe name (" + UnsafeNameReason(s.outName, true) + ")\n");
                if (kErrors > result) result = kErrors;
                continue;
            }
            relative = s.outName;
        } else {
            if (isFolder) continue;
            relative = BaseName(s.outName);
            if (!IsSafeName(relative, false)) {
                Print("skipping: " + stored + "   unsafe name (" + UnsafeNameReason(relative, false) + ")\n");
                if (kErrors > result) result = kErrors;
                continue;
            }
        }
        const std::string target = dir + relative;
        if (isFolder) {
            if (const int err = MakeDirs(target.substr(0, target.size() - 1)); err != 0) {
                std::string text;
                const int code = WriteFailed(err, target, text);
                Print("error:  cannot create " + target + ": " + text + "\n");
                if (code > result) result = code;
            }
            continue;
        }
        TFileStat existing;
        Fs().Stat(target, existing);
        if (existing.exists && !dcl_.noflag &&
            !(f_.replace && f_.replace(target.c_str()) == 1)) {
            continue;
        }
        std::string text;
        const int code = ExtractEntry(s.index, target, text);
        if (code != kOk) {
            Print("error:  " + stored + ": " + text + "\n");
            if (code > result) result = code;
        } else if (dcl_.fQuiet == 0) {
            Print("  inflating: " + target + "\n");
        }
        zip_stat_t st;
        zip_stat_init(&st);
        zip_stat_index(za_, s.index, 0, &st);
        if (f_.ServCallBk && f_.ServCallBk(stored.c_str(), st.size) != 0) return kStopped;
    }
    return result;
}

}  // namespace

void NoteZipError(const std::string& archive, const std::string& entry, const zip_error_t* error) {
    const int code = zip_error_code_zip(error);
    if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_ENCRNOTSUPP) {
        SetZipFailure(archive, Fmt(_("entry %1 is encrypted"), {entry}));
    } else if (zip_error_system_type(error) == ZIP_ET_SYS && zip_error_code_system(error) != 0) {
        SetZipFailure(archive, SysErrorMessage(zip_error_code_system(error)));
    }
}

zip_t* OpenForReading(const std::string& path, int flags, int& zipError, const USERFUNCTIONS* functions) {
    zip_error_t error;
    zip_error_init(&error);
    zip_t* za = nullptr;
    int fd = -1;
    if (const int err = Fs().Open(path, O_RDONLY, 0, fd); err != 0) {
        zip_error_set(&error, err == ENOENT ? ZIP_ER_NOENT : ZIP_ER_OPEN, err);
    } else if (FILE* file = ::fdopen(fd, "rb"); file == nullptr) {
        zip_error_set(&error, ZIP_ER_OPEN, errno);
        ::close(fd);
    } else if (zip_source_t* src = zip_source_filep_create(file, 0, -1, &error); src == nullptr) {
        std::fclose(file);
    } else if ((za = zip_open_from_source(src, flags, &error)) == nullptr) {
        zip_source_free(src);
    }
    if (za == nullptr) {
        zipError = zip_error_code_zip(&error);
        NoteZipError(path, {}, &error);
        if (functions != nullptr && functions->print) {
            const std::string line = path + ": " + zip_error_strerror(&error) + "\n";
            functions->print(line.c_str(), static_cast<unsigned long>(line.size()));
        }
    }
    zip_error_fini(&error);
    return za;
}

int CreateTempBeside(const std::string& path, std::string& temp, unsigned mode) {
    int err = CreateSiblingTemp(path, temp, mode);
    if (err != ENAMETOOLONG) return err;
    // The name leaves no room: a work file of this process under no name of its own,
    // still known as one to the scan that clears leftovers.
    const std::string pattern = SiblingTempPattern(path.find('/') == std::string::npos ? "." : FolderOf(path), "");
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0) return errno;
    if (mode != 0600) ::fchmod(fd, static_cast<mode_t>(mode));
    ::close(fd);
    temp.assign(buffer.data());
    return 0;
}

bool WildMatch(const std::string& pattern, const std::string& name, bool noCase) {
    return Match(pattern, 0, name, 0, noCase);
}

bool WildLiteral(const std::string& pattern, std::string& literal) {
    std::string out;
    for (size_t p = 0; p < pattern.size();) {
        const char c = pattern[p];
        if (c == '*' || c == '?') return false;
        if (c == '[') {
            const auto close = pattern.find(']', p + 2);
            if (close == std::string::npos) {
                out += c;  // no closing "]": a literal "["
                ++p;
                continue;
            }
            if (close != p + 2 || pattern[p + 1] == '!' || pattern[p + 1] == '^') return false;
            out += pattern[p + 1];
            p = close + 1;
            continue;
        }
        out += c;
        ++p;
    }
    literal = std::move(out);
    return true;
}

int Wiz_SingleEntryUnzip(int ifnc, const char* const* ifnv, int xfnc, const char* const* xfnv,
                         const DCL& dcl, const USERFUNCTIONS& functions) {
    ClearZipFailure();
    try {
        if (dcl.nvflag && ifnc == 0 && xfnc == 0 && !dcl.lpszZipFN.empty()) {
            // A whole listing, the scan's every call: straight from the directory.
            std::vector<TDirEntryRecord> records;
            if (ReadPlainDirectory(dcl.lpszZipFN, records)) {
                SendListing(records, functions);
                return kOk;
            }
        }
        TUnzipRun run(dcl, functions);
        return run.Run(ifnc, ifnv, xfnc, xfnv);
    } catch (const std::bad_alloc&) {
        return kMemory;
    }
}

}  // namespace qm
