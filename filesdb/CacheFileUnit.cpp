#include "filesdb/CacheFileUnit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <cerrno>
#include <cstring>
#include <charconv>
#include <climits>
#include <ctime>
#include <memory>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_set>

#include "archive/FilesTools.h"
#include "archive/stringsTools.h"
#include "filesdb/CrcPlugIn.h"
#include "filesdb/SignatureCalculator.h"
#include "filesdb/filesBd.h"
#include "filesdb/filesBdScan.h"
#include "platform/FileSystem.h"
#include "platform/Finally.h"
#include "platform/Text.h"
#include "platform/Threads.h"

namespace qm {

namespace {

constexpr char kSep = kCacheFieldSeparator;

// The last component of a name, a trailing "/" removed first.
std::string_view LastComponentView(std::string_view name) {
    while (name.size() > 1 && name.back() == '/') name.remove_suffix(1);
    // (A search from the end: every record and every file of a save passes here.)
    const auto* slash = name.empty() ? nullptr : static_cast<const char*>(::memrchr(name.data(), '/', name.size()));
    return slash == nullptr ? name : name.substr(static_cast<size_t>(slash - name.data()) + 1);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// TryStrToInt64, spelled out for the short numbers of a record: a cache of a large
// path holds some million of them.
bool ParseNumber(std::string_view text, int64_t& value) {
    const size_t first = !text.empty() && text[0] == '-' ? 1 : 0;
    // Nineteen digits still fit the unsigned sum; more are out of range or zeros first.
    if (first >= text.size() || text.size() - first > 19) return TryStrToInt64(text, value);
    uint64_t digits = 0;
    for (size_t i = first; i < text.size(); ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (digit > 9) return false;
        digits = digits * 10 + digit;
    }
    constexpr uint64_t kMost = static_cast<uint64_t>(INT64_MAX);
    if (digits > kMost + first) return false;
    value = first != 0 ? static_cast<int64_t>(0 - digits) : static_cast<int64_t>(digits);
    return true;
}

bool ParseDate(std::string_view text, int32_t& date) {
    if (text.empty()) {
        date = 0;
        return true;
    }
    int64_t value = 0;
    if (!ParseNumber(text, value) || value < INT32_MIN || value > INT32_MAX) return false;
    date = static_cast<int32_t>(value);
    return true;
}

// "quarmelle<digits>.dat": the only names this program gives its cache files.
bool IsCacheFileName(std::string_view name) {
    static constexpr std::string_view prefix = "quarmelle", suffix = ".dat";
    if (name.size() <= prefix.size() + suffix.size()) return false;
    if (name.substr(0, prefix.size()) != prefix || name.substr(name.size() - suffix.size()) != suffix) return false;
    for (char c : name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()))
        if (c < '0' || c > '9') return false;
    return true;
}

// "2.50", "1.0": what the first line of a cache file of any version looks like.
bool IsVersionText(std::string_view text) {
    const size_t dot = text.find('.');
    if (dot == 0 || dot == std::string_view::npos || dot + 1 == text.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (i != dot && (text[i] < '0' || text[i] > '9')) return false;
    return true;
}

// A number as std::to_chars writes it: no leading zero but in "0", no "-0". (That the
// text is digits is the parser's test.)
bool IsCanonicalNumber(std::string_view text) {
    const size_t first = !text.empty() && text[0] == '-' ? 1 : 0;
    if (first >= text.size()) return false;
    return text[first] != '0' || (first == 0 && text.size() == 1);
}

// A date as the writer puts it: empty for zero.
bool IsCanonicalDate(std::string_view text) { return text.empty() || (text != "0" && IsCanonicalNumber(text)); }

int64_t TimeKey(int year, int month, int day, int hour, int minute, int second) {
    return ((((static_cast<int64_t>(year) * 100 + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
}

// Appends the decoded text to out; whether text is spelled as AppendEscaped spells it.
bool AppendUnescaped(std::string_view text, std::string& out) {
    size_t at = text.find('%');
    size_t from = 0;
    bool asWritten = true;
    while (at != std::string_view::npos) {
        out.append(text.data() + from, at - from);
        from = at + 1;
        if (at + 2 < text.size()) {
            const int high = HexValue(text[at + 1]), low = HexValue(text[at + 2]);
            const int code = high < 0 || low < 0 ? -1 : high * 16 + low;
            if (code == 0x25 || code == 0xA4 || code == 0x0D || code == 0x0A) {
                out += static_cast<char>(code);
                from = at + 3;
                // The writer spells its escapes in capitals.
                asWritten = asWritten && !(text[at + 1] >= 'a' && text[at + 1] <= 'f') &&
                            !(text[at + 2] >= 'a' && text[at + 2] <= 'f');
            } else {
                out += '%';
                asWritten = false;
            }
        } else {
            out += '%';
            asWritten = false;
        }
        at = text.find('%', from);
    }
    out.append(text.data() + from, text.size() - from);
    return asWritten;
}

}  // namespace

// ---- Format -------------------------------------------------------------------------

void TCacheFile::AppendEscaped(std::string& out, std::string_view text) {
    // A plain walk: find_first_of looks each character up in its set of four, and a
    // save escapes every field of every record.
    size_t from = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c != '%' && c != kSep && c != '\r' && c != '\n') continue;
        out.append(text.data() + from, at - from);
        switch (c) {
            case '%': out += "%25"; break;
            case kSep: out += "%A4"; break;
            case '\r': out += "%0D"; break;
            default: out += "%0A"; break;
        }
        from = at + 1;
    }
    out.append(text.data() + from, text.size() - from);
}

std::string TCacheFile::Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendEscaped(out, text);
    return out;
}

std::string TCacheFile::Unescape(std::string_view text) {
    std::string out;
    UnescapeInto(text, out);
    return out;
}

bool TCacheFile::UnescapeInto(std::string_view text, std::string& out) {
    if (text.find('%') == std::string_view::npos) {
        out.assign(text);
        return true;
    }
    out.clear();
    out.reserve(text.size());
    return AppendUnescaped(text, out);
}

namespace {

// The fields of one record as the writer holds them, without copies.
struct TRecordFields {
    int kind = kCacheKindZip;
    std::string_view fileName, romName;
    int64_t fileSize = -1;
    int32_t fileDate = 0;
    std::string_view crc, extension;
    int64_t romSize = -1;
    int32_t romDate = 0;
    std::string_view errorText, comment;
    int64_t fileChangeTime = 0;
    uint64_t fileInode = 0;
};

// Appends the record line (without line end) to line; false, adding nothing, for an
// unknown kind.
bool AppendRecordLine(std::string& line, const TRecordFields& r) {
    const char* tag = r.kind == kCacheKindFile ? "F" : r.kind == kCacheKindFolder ? "D" : r.kind == kCacheKindZip ? "A" : nullptr;
    if (!tag) return false;
    const auto text = [&](std::string_view value) {
        line += kSep;
        TCacheFile::AppendEscaped(line, value);
    };
    // (By length: an append of two pointers goes through the string's general replace.)
    const auto digits = [&](int64_t value) {
        char buffer[24];
        line.append(buffer, static_cast<size_t>(std::to_chars(buffer, buffer + sizeof buffer, value).ptr - buffer));
    };
    const auto number = [&](int64_t value) {
        line += kSep;
        digits(value);
    };
    // A zero date is an empty field.
    const auto date = [&](int32_t value) {
        line += kSep;
        if (value != 0) digits(value);
    };
    line += kSep;
    line += tag;
    text(r.fileName);
    switch (r.kind) {
        case kCacheKindFile:
            number(r.fileSize);
            date(r.fileDate);
            break;
        case kCacheKindFolder:
            text(r.romName);
            number(r.romSize);
            date(r.romDate);
            break;
        default:
            number(r.fileSize);
            date(r.fileDate);
            text(r.romName);
            number(r.romSize);
            break;
    }
    // The signatures are held in lower case already: no copy for them.
    if (std::any_of(r.crc.begin(), r.crc.end(), [](char c) { return LowerChar(c) != c; }))
        text(LowerCase(r.crc));
    else
        text(r.crc);
    text(r.extension);
    text(r.errorText);
    text(r.comment);
    if (r.kind != kCacheKindFolder && r.fileInode != 0) {
        number(r.fileChangeTime);
        line += kSep;
        char buffer[24];
        line.append(buffer, static_cast<size_t>(std::to_chars(buffer, buffer + sizeof buffer, r.fileInode).ptr - buffer));
    }
    return true;
}

}  // namespace

std::string TCacheFile::FormatRecord(const TCacheRecord& r) {
    std::string line;
    AppendRecordLine(line, {r.kind, r.fileName, r.romName, r.fileSize, r.fileDate, r.crc, r.extension, r.romSize,
                            r.romDate, r.errorText, r.comment, r.fileChangeTime, r.fileInode});
    return line;
}

void TCacheDigest::Record(int kind, std::string_view fileName, std::string_view romName, int64_t fileSize,
                          int32_t fileDate, std::string_view crc, std::string_view extension, int64_t romSize,
                          int32_t romDate, std::string_view errorText, std::string_view comment,
                          int64_t fileChangeTime, uint64_t fileInode) {
    // The fields a line of that kind holds, in its order; the others do not count.
    const uint64_t measured = kind != kCacheKindFolder && fileInode != 0 ? 1 : 0;
    const int32_t date = kind == kCacheKindFolder ? romDate : fileDate;
    Word(static_cast<uint64_t>(static_cast<uint32_t>(date)) | static_cast<uint64_t>(kind) << 32 | measured << 40);
    Text(fileName);
    if (kind != kCacheKindFolder) Word(static_cast<uint64_t>(fileSize));
    if (kind != kCacheKindFile) {
        Text(romName);
        Word(static_cast<uint64_t>(romSize));
    }
    Text(crc);
    Text(extension);
    Text(errorText);
    Text(comment);
    if (measured != 0) {
        Word(static_cast<uint64_t>(fileChangeTime));
        Word(fileInode);
    }
}

void TCacheDigest::Add(const TCacheRecord& r) {
    Add(r.kind, r.fileName, r.romName, r.fileSize, r.fileDate, r.crc, r.extension, r.romSize, r.romDate, r.errorText,
        r.comment, r.fileChangeTime, r.fileInode);
}

namespace {

// Why a record line was refused, and the field at fault; the message is made by the
// caller (the line may have been read on another thread).
enum class TRecordProblem : uint8_t { kNone, kDamaged, kSize, kDate, kInode };

std::string ProblemText(TRecordProblem problem, std::string_view field) {
    switch (problem) {
        case TRecordProblem::kSize: return Fmt(_("\"%1\" is not a size"), {field});
        case TRecordProblem::kDate: return Fmt(_("\"%1\" is not a date"), {field});
        case TRecordProblem::kInode: return Fmt(_("\"%1\" is not an inode"), {field});
        default: return _("the record is incomplete or damaged");
    }
}

// A text of a record line as a view: of the line itself when it holds no escape, else
// of its decoded copy at the end of arena. The arena never grows past its capacity
// while the line's texts are decoded (a decoded text is never longer than its field),
// so the views it gives stay valid.
std::string_view Decoded(std::string_view field, std::string& arena, bool& asWritten) {
    if (field.empty() || std::memchr(field.data(), '%', field.size()) == nullptr) return field;
    const size_t from = arena.size();
    asWritten = AppendUnescaped(field, arena) && asWritten;
    return std::string_view(arena.data() + from, arena.size() - from);
}

// Decodes a record line into views of the line or of arena, which must have room for
// line.size() more bytes. canonical tells whether the writer would give this very line
// back. False for a line that is not a whole record of its kind; the file name is
// still filled when the line gives one.
bool ParseFields(std::string_view line, TRecordFields& r, bool& canonicalOut, std::string& arena,
                 TRecordProblem& problem, std::string_view& badField) {
    r = TRecordFields{};
    canonicalOut = false;
    problem = TRecordProblem::kNone;
    // The fields, split by a plain walk: they are mostly short. A line of more fields
    // than any record has is refused, so those past them need not be kept.
    constexpr size_t kMost = 14;
    std::string_view fields[kMost];
    size_t count = 0;
    const char* start = line.data();
    const char* const end = start + line.size();
    for (const char* at = start; at != end; ++at) {
        if (*at != kSep) continue;
        if (count < kMost) fields[count] = std::string_view(start, static_cast<size_t>(at - start));
        ++count;
        start = at + 1;
    }
    if (count < kMost) fields[count] = std::string_view(start, static_cast<size_t>(end - start));
    ++count;
    const auto field = [&](size_t n) { return n < count && n < kMost ? fields[n] : std::string_view(); };
    const std::string_view tag = field(1);
    r.kind = tag == "F" ? kCacheKindFile : tag == "D" ? kCacheKindFolder : kCacheKindZip;
    // Whether the writer would give this very line back: every field spelled as it
    // spells it, and nothing it would change (a name with a folder, a CRC in capitals,
    // an inode of 0 that it leaves out).
    bool canonical = tag == "F" || tag == "D" || tag == "A";
    r.fileName = Decoded(field(2), arena, canonical);
    // Texts are escaped, so a whole record has exactly its kind's fields; fewer is a
    // cut line, more a line that two records ran into.
    const size_t expected = r.kind == kCacheKindFile ? 9 : r.kind == kCacheKindFolder ? 10 : 11;
    // A plain file or zip may carry its change time and inode after them.
    const bool measured = r.kind != kCacheKindFolder && count == expected + 2;
    if ((count != expected && !measured) || !fields[0].empty()) {
        problem = TRecordProblem::kDamaged;
        return false;
    }
    const auto size = [&](size_t n, int64_t& value) {
        canonical = canonical && IsCanonicalNumber(fields[n]);
        if (ParseNumber(fields[n], value)) return true;
        problem = TRecordProblem::kSize;
        badField = fields[n];
        return false;
    };
    const auto date = [&](size_t n, int32_t& value) {
        canonical = canonical && IsCanonicalDate(fields[n]);
        if (ParseDate(fields[n], value)) return true;
        problem = TRecordProblem::kDate;
        badField = fields[n];
        return false;
    };
    size_t next = 0;
    switch (r.kind) {
        case kCacheKindFile:
            if (!size(3, r.fileSize) || !date(4, r.fileDate)) return false;
            r.romSize = r.fileSize;
            r.romDate = r.fileDate;
            r.romName = r.fileName;
            next = 5;
            break;
        case kCacheKindFolder:
            r.romName = Decoded(fields[3], arena, canonical);
            if (!size(4, r.romSize) || !date(5, r.romDate)) return false;
            next = 6;
            break;
        default:
            if (!size(3, r.fileSize) || !date(4, r.fileDate)) return false;
            r.romName = Decoded(fields[5], arena, canonical);
            if (!size(6, r.romSize)) return false;
            next = 7;
            break;
    }
    r.crc = Decoded(fields[next], arena, canonical);
    if (std::any_of(r.crc.begin(), r.crc.end(), [](char c) { return LowerChar(c) != c; })) {
        // Signatures are held in lower case: a decoded one is lowered where it lies, one
        // of the line itself copied lowered.
        canonical = false;
        char* lowered;
        if (r.crc.data() >= arena.data() && r.crc.data() < arena.data() + arena.size()) {
            lowered = arena.data() + (r.crc.data() - arena.data());
        } else {
            const size_t from = arena.size();
            arena.append(r.crc);
            lowered = arena.data() + from;
        }
        for (size_t i = 0; i < r.crc.size(); ++i) lowered[i] = LowerChar(lowered[i]);
        r.crc = std::string_view(lowered, r.crc.size());
    }
    r.extension = Decoded(fields[next + 1], arena, canonical);
    r.errorText = Decoded(fields[next + 2], arena, canonical);
    r.comment = Decoded(fields[next + 3], arena, canonical);
    if (measured) {
        if (!size(expected, r.fileChangeTime)) return false;
        const std::string_view inode = fields[expected + 1];
        const auto [stop, error] = std::from_chars(inode.data(), inode.data() + inode.size(), r.fileInode);
        if (inode.empty() || error != std::errc() || stop != inode.data() + inode.size()) {
            problem = TRecordProblem::kInode;
            badField = inode;
            return false;
        }
        canonical = canonical && inode[0] != '0';
    }
    canonicalOut = canonical && r.fileName.find('/') == std::string_view::npos;
    // A plain file that held no rom is written with "n/a" for its CRC; it must not come
    // back as a rom of that signature.
    if (r.kind == kCacheKindFile && r.crc == "n/a") r.romName = {};
    return true;
}

}  // namespace

bool TCacheFile::ParseRecord(std::string_view line, TCacheRecord& r, std::string& problem) {
    std::string arena;
    arena.reserve(line.size());
    TRecordFields f;
    bool canonical = false;
    TRecordProblem why = TRecordProblem::kNone;
    std::string_view bad;
    const bool parsed = ParseFields(line, f, canonical, arena, why, bad);
    r.kind = f.kind;
    r.fileName.assign(f.fileName);
    r.romName.assign(f.romName);
    r.fileSize = f.fileSize;
    r.fileDate = f.fileDate;
    r.crc.assign(f.crc);
    r.extension.assign(f.extension);
    r.romSize = f.romSize;
    r.romDate = f.romDate;
    r.errorText.assign(f.errorText);
    r.comment.assign(f.comment);
    r.fileChangeTime = f.fileChangeTime;
    r.fileInode = f.fileInode;
    r.canonical = parsed && canonical;
    if (!parsed) problem = ProblemText(why, bad);
    return parsed;
}

std::string TCacheFile::FormatHeaderTime(int64_t unixSeconds) {
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    if (!::localtime_r(&t, &local)) return "1980-01-01 00:00:00";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

bool TCacheFile::ParseHeaderTime(std::string_view text, int64_t& key) {
    static constexpr std::string_view shape = "dddd-dd-dd dd:dd:dd";
    bool iso = text.size() == shape.size();
    for (size_t i = 0; iso && i < shape.size(); ++i)
        iso = shape[i] == 'd' ? (text[i] >= '0' && text[i] <= '9') : text[i] == shape[i];
    if (iso) {
        const auto num = [&](size_t at, size_t n) {
            int v = 0;
            for (size_t i = at; i < at + n; ++i) v = v * 10 + (text[i] - '0');
            return v;
        };
        const int month = num(5, 2), day = num(8, 2), hour = num(11, 2), minute = num(14, 2), second = num(17, 2);
        if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return false;
        key = TimeKey(num(0, 4), month, day, hour, minute, second);
        return true;
    }
    // A header in the locale's own date and time text (short date, long time).
    const QString value = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QLocale locale = QLocale::system();
    for (const auto timeFormat : {QLocale::LongFormat, QLocale::ShortFormat}) {
        const QString format = locale.dateFormat(QLocale::ShortFormat) + ' ' + locale.timeFormat(timeFormat);
        const QDateTime when = locale.toDateTime(value, format);
        if (when.isValid()) {
            key = TimeKey(when.date().year(), when.date().month(), when.date().day(), when.time().hour(),
                          when.time().minute(), when.time().second());
            return true;
        }
    }
    return false;
}

bool TCacheFile::ReadHeader(const std::string& fileName, TCacheHeader& header) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // Only the head is read: a cache of a large path runs to tens of megabytes.
    std::string head;
    std::vector<std::string_view> lines;
    bool complete = false;
    char buffer[8192];
    while (head.size() < (1u << 20)) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            complete = got == 0;
            break;
        }
        head.append(buffer, static_cast<size_t>(got));
        SplitLines(head, lines);
        if (lines.size() > static_cast<size_t>(kHeaderLines)) {
            complete = true;
            break;
        }
    }
    ::close(fd);
    if (!complete) return false;
    SplitLines(head, lines);
    if (lines.size() < static_cast<size_t>(kHeaderLines)) return false;
    header.version = std::string(lines[0]);
    header.label = Unescape(lines[1]);
    header.serial = std::string(lines[2]);
    header.time = std::string(lines[3]);
    header.pathWithoutDrive = Unescape(lines[4]);
    header.entryCount = std::string(lines[5]);
    header.plugInName = Unescape(lines[6]);
    return true;
}

// ---- The cache of one path ----------------------------------------------------------

void TCacheFile::SetPath(const std::string& path) { path_ = WithSlash(path); }

bool TCacheFile::CacheFileExists() const {
    TFileStat st;
    return !cacheFileName_.empty() && Fs().Stat(cacheFileName_, st) == 0 && st.exists && !st.isDir;
}

void TCacheFile::ReadDiskInfo() {
    const TDiskInfo info(path_);
    const std::string driveSerial = LowerCase(info.SerialNumberStr());
    driveType_ = info.DriveType();
    if (serial_.empty()) {
        serial_ = driveSerial;
        volumeAvailable_ = true;
    } else {
        volumeAvailable_ = SameText(serial_, driveSerial);
    }
    if (volumeAvailable_) {
        label_ = info.VolumeLabel();
        diskSize_ = info.DiskSize();
        diskFree_ = info.DiskFree();
        readOnly_ = IsReadOnlyPath(path_);
    } else {
        diskSize_ = -1;
        diskFree_ = -1;
        readOnly_ = true;
    }
}

bool TCacheFile::CheckVolume() {
    if (serial_.empty()) return volumeAvailable_;
    const TDiskInfo info(path_);
    const bool there = SameText(serial_, LowerCase(info.SerialNumberStr()));
    if (there && !volumeAvailable_) {
        ReadDiskInfo();
    } else if (!there && volumeAvailable_) {
        volumeAvailable_ = false;
        diskSize_ = -1;
        diskFree_ = -1;
        readOnly_ = true;
    }
    return volumeAvailable_;
}

bool TCacheFile::Open(const std::string& path, const std::string& serial, const std::string& label) {
    path_ = WithSlash(path);
    serial_ = LowerCase(serial);
    ReadDiskInfo();
    if (volumeAvailable_) {
        TFileStat st;
        if (Fs().Stat(path_, st) != 0 || !st.exists || !st.isDir) throw cachefile::EPathNotFound(_("Path not found."));
    }
    FindCacheFile();
    if (cacheFileName_.empty() && serial.empty() && !volumeAvailable_)
        throw cachefile::EVolumeNotAvailable(_("Volume not available."));
    label_ = label;
    return !cacheFileName_.empty();
}

std::string TCacheFile::FindCacheFile() {
    cacheFileName_.clear();
    std::vector<TDirEntry> entries;
    if (CacheFolder.empty()) return cacheFileName_;
    const std::string folder = WithSlash(CacheFolder);
    if (Fs().ListDir(folder, entries) != 0) return cacheFileName_;
    const std::string pathWithoutDrive = PathWithoutDrive(path_);
    // An absent volume has no mount point, so the folder's place on it is not known: a
    // cache then matches when its folder is a trailing part of the path, the longest
    // such folder first, and nothing is deleted while the volume cannot be checked.
    const bool absent = !volumeAvailable_;
    int64_t bestTime = 0;
    size_t bestLength = 0;
    bool chosen = false;
    for (const TDirEntry& entry : entries) {
        if (entry.isDir || !IsCacheFileName(entry.name)) continue;
        const std::string fileName = folder + entry.name;
        TCacheHeader header;
        // A file that cannot be read is left alone rather than making the path fail.
        if (!ReadHeader(fileName, header)) continue;
        if (header.version != kVersion) {
            if (IsVersionText(header.version)) Fs().Unlink(fileName);
            continue;
        }
        const std::string& folderOnVolume = header.pathWithoutDrive;
        const bool samePath = folderOnVolume == pathWithoutDrive ||
                              (absent && !folderOnVolume.empty() && folderOnVolume[0] == '/' &&
                               path_.size() >= folderOnVolume.size() &&
                               path_.compare(path_.size() - folderOnVolume.size(), std::string::npos, folderOnVolume) == 0);
        if (!SameText(header.serial, serial_) || !samePath || !SameText(header.plugInName, PlugInName)) continue;
        int64_t time = 0, count = 0;
        if (!ParseHeaderTime(header.time, time) || !TryStrToInt64(header.entryCount, count) || count < INT_MIN ||
            count > INT_MAX)
            continue;
        if (absent) {
            if (chosen && (folderOnVolume.size() < bestLength ||
                           (folderOnVolume.size() == bestLength && time <= bestTime)))
                continue;
        } else {
            if (chosen && time <= bestTime) {
                Fs().Unlink(fileName);
                continue;
            }
            if (chosen) Fs().Unlink(cacheFileName_);
        }
        chosen = true;
        cacheFileName_ = fileName;
        bestTime = time;
        bestLength = folderOnVolume.size();
        label_ = header.label;
        entryCount_ = static_cast<int>(count);
    }
    return cacheFileName_;
}

void TCacheFile::AddLine(std::string_view line) {
    text_ += line;
    text_ += "\r\n";
    ++lineCount_;
}

void TCacheFile::Clear() {
    stream_.reset();  // a save left unfinished writes nothing
    saved_ = false;
    text_.clear();
    text_.reserve(kPieceSize + kPieceSize / 8);
    lineCount_ = 0;
    entryCount_ = CountEntries();
    AddLine(kVersion);
    AddLine(Escape(label_));
    AddLine(serial_);
    AddLine(FormatHeaderTime(std::time(nullptr)));
    AddLine(Escape(PathWithoutDrive(path_)));
    AddLine(std::to_string(entryCount_));
    AddLine(Escape(PlugInName));
}

void TCacheFile::AddRecord(const TCacheRecord& record) {
    AddRecord(record.fileName, record.romName, record.fileSize, record.fileDate, record.crc, record.extension,
              record.romSize, record.romDate, record.kind, record.errorText, record.comment, record.fileChangeTime,
              record.fileInode);
}

void TCacheFile::AddRecord(const std::string& fileName, const std::string& romName, int64_t fileSize,
                           int32_t fileDate, const std::string& crc, const std::string& extension, int64_t romSize,
                           int32_t romDate, int kind, const std::string& errorText, const std::string& comment,
                           int64_t fileChangeTime, uint64_t fileInode) {
    if (kind != kCacheKindFile && kind != kCacheKindFolder && kind != kCacheKindZip) return;
    if (lineCount_ < kHeaderLines || saved_) Clear();
    if (AppendRecordLine(text_, {kind, LastComponentView(fileName), romName, fileSize, fileDate, crc, extension,
                                 romSize, romDate, errorText, comment, fileChangeTime, fileInode})) {
        text_ += "\r\n";
        ++lineCount_;
        FlushFull();
    }
}

void TCacheFile::AddRecordLines(std::string_view text, int lines) {
    if (lineCount_ < kHeaderLines || saved_) Clear();
    text_ += text;
    lineCount_ += lines;
    FlushFull();
}

namespace {

// Where the line of the save time starts and ends (before its line end) in a cache text;
// false when the text has no whole header up to it.
bool TimeLineOf(std::string_view text, size_t& from, size_t& to) {
    from = 0;
    for (int line = 0; line < 3; ++line) {
        const size_t end = text.find("\r\n", from);
        if (end == std::string_view::npos) return false;
        from = end + 2;
    }
    to = text.find("\r\n", from);
    return to != std::string_view::npos;
}

bool OlderThan(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Reads size bytes at offset, short only at the end of the file; -1 on an error.
ssize_t ReadAt(int fd, char* data, size_t size, int64_t offset) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, data + got, size - got, static_cast<off_t>(offset) + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

}  // namespace

// A save in progress. A rescan that found nothing changed would only give the file a new
// save time, so each piece is first compared with the same range of the file on disk;
// the new file is begun at the first difference, from the header just made and the
// matching bytes of the old file, and a text that matches to its end writes nothing.
struct TCacheFile::TSaveStream {
    std::string target;
    int old = -1;               // the file on disk while everything so far matches it
    int64_t done = 0;           // bytes of the text handed over so far
    size_t timeFrom = 0, timeTo = 0;  // the save-time line, which may read otherwise
    std::string head;           // the new text up to the end of that line
    std::string block;          // a piece of the old file
    std::unique_ptr<IAtomicWriter> writer;
    int error = 0;

    ~TSaveStream() { CloseOld(); }

    void CloseOld() {
        if (old >= 0) ::close(old);
        old = -1;
    }

    // Whether the old file holds piece at offset done, but for the time line, which must
    // keep its length and stay one line.
    bool Matches(std::string_view piece) {
        block.resize(piece.size());
        if (ReadAt(old, block.data(), piece.size(), done) != static_cast<ssize_t>(piece.size())) return false;
        const size_t at = static_cast<size_t>(done);
        for (size_t i = 0; i < piece.size();) {
            const size_t abs = at + i;
            const size_t stop = abs < timeFrom ? std::min(piece.size(), timeFrom - at)
                                : abs < timeTo ? std::min(piece.size(), timeTo - at)
                                               : piece.size();
            const char* held = block.data() + i;
            if (abs >= timeFrom && abs < timeTo) {
                if (std::any_of(held, held + (stop - i), [](char c) { return c == '\r' || c == '\n'; })) return false;
            } else if (std::memcmp(piece.data() + i, held, stop - i) != 0) {
                return false;
            }
            i = stop;
        }
        return true;
    }

    // Opens the new file and writes into it what matched so far: the new header, then
    // the old file's bytes after it.
    void BeginWriting() {
        if ((error = Fs().OpenAtomicWriter(target, writer)) != 0) return;
        if (done > 0) {
            Write(head);
            for (int64_t at = static_cast<int64_t>(head.size()); error == 0 && at < done;) {
                block.resize(static_cast<size_t>(std::min<int64_t>(kPieceSize, done - at)));
                if (ReadAt(old, block.data(), block.size(), at) != static_cast<ssize_t>(block.size())) {
                    error = EIO;  // the old file shrank under us: its bytes are not there to take
                    break;
                }
                Write(block);
                at += static_cast<int64_t>(block.size());
            }
        }
        CloseOld();
        std::string().swap(block);
    }

    void Write(std::string_view data) {
        if (error == 0 && (error = writer->Write(data)) != 0) writer.reset();
    }

    void Take(std::string_view piece) {
        if (error != 0) return;
        if (done == 0) {
            if (TimeLineOf(piece, timeFrom, timeTo))
                head.assign(piece.substr(0, timeTo));
            else
                CloseOld();
        }
        if (old >= 0 && !Matches(piece)) BeginWriting();
        if (old < 0 && error == 0) {
            if (!writer) BeginWriting();
            Write(piece);
        }
        done += static_cast<int64_t>(piece.size());
    }

    // True when the old file was the whole text but for its time: it stays.
    bool Unchanged() {
        if (old < 0) return false;
        char extra;
        if (ReadAt(old, &extra, 1, done) == 0) return true;
        BeginWriting();
        return false;
    }
};


void TCacheFile::Flush() {
    // An absent volume keeps its cache as it is.
    if (!volumeAvailable_ || saved_) {
        text_.clear();
        return;
    }
    if (!stream_) {
        if (cacheFileName_.empty()) {
            for (int n = 0;; ++n) {
                const std::string candidate = WithSlash(CacheFolder) + "quarmelle" + std::to_string(n) + ".dat";
                TFileStat st;
                if (Fs().Stat(candidate, st) != 0 || !st.exists) {
                    cacheFileName_ = candidate;
                    break;
                }
            }
        }
        stream_ = std::make_unique<TSaveStream>();
        stream_->target = cacheFileName_;
        // A cache older than its folder tells the next start that the folder changed
        // (and makes it scan again): that one is written anew, time and all.
        struct stat cache, folder;
        if (::stat(cacheFileName_.c_str(), &cache) == 0 && S_ISREG(cache.st_mode) &&
            ::stat(path_.c_str(), &folder) == 0 && !OlderThan(cache.st_mtim, folder.st_mtim))
            if (Fs().Open(cacheFileName_, O_RDONLY | O_CLOEXEC, 0, stream_->old) != 0) stream_->old = -1;
    }
    stream_->Take(text_);
    text_.clear();
}

void TCacheFile::Save() {
    if (!volumeAvailable_ || lineCount_ < kHeaderLines || saved_) return;
    loaded_.reset();  // whatever comes of it, the file may no longer be the one read
    Flush();
    std::unique_ptr<TSaveStream> stream = std::move(stream_);
    saved_ = true;
    // The piece buffer goes too: a path's lines are not needed again before its next save.
    std::string().swap(text_);
    int err = stream->error;
    if (err == 0 && !stream->Unchanged()) err = stream->error != 0 ? stream->error : stream->writer->Commit();
    if (err != 0)
        throw cachefile::EFileError(Fmt(_("Cannot write %1: %2"), {cacheFileName_, SysErrorMessage(err)}));
}

namespace {

struct TFileTimes {
    uint64_t inode = 0;
    int64_t size = 0, mtimeSec = 0, mtimeNsec = 0, ctimeSec = 0, ctimeNsec = 0;
    bool operator==(const TFileTimes&) const = default;
};

TFileTimes TimesOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_ino), static_cast<int64_t>(st.st_size), st.st_mtim.tv_sec,
            st.st_mtim.tv_nsec, st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
}

}  // namespace

struct TCacheFile::TLoaded {
    std::string fileName;
    std::string header;
    TCacheDigest records;
    TFileTimes times;
};

void TCacheFile::NoteLoaded(std::string_view headerText, const TCacheDigest& records) {
    loaded_.reset();
    struct stat st;
    if (cacheFileName_.empty() || ::stat(cacheFileName_.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    loaded_ = std::make_unique<TLoaded>(TLoaded{cacheFileName_, std::string(headerText), records, TimesOf(st)});
}

bool TCacheFile::SaveUnchanged(const TCacheDigest& records) {
    if (!loaded_ || !volumeAvailable_ || saved_ || lineCount_ != kHeaderLines || stream_ ||
        cacheFileName_ != loaded_->fileName || !(records == loaded_->records))
        return false;
    // The header just made (text_ holds nothing else yet) against the one read: equal
    // but for the save time, which keeps its length, as a save compares them.
    const std::string& old = loaded_->header;
    size_t from = 0, to = 0;
    if (text_.size() != old.size() || !TimeLineOf(text_, from, to) ||
        text_.compare(0, from, old, 0, from) != 0 || text_.compare(to, std::string::npos, old, to) != 0 ||
        std::any_of(old.begin() + static_cast<std::ptrdiff_t>(from), old.begin() + static_cast<std::ptrdiff_t>(to),
                    [](char c) { return c == '\r' || c == '\n'; }))
        return false;
    // The file is still the one read, and (as every save asks) not older than its folder.
    struct stat cache, folder;
    if (::stat(cacheFileName_.c_str(), &cache) != 0 || !S_ISREG(cache.st_mode) ||
        !(TimesOf(cache) == loaded_->times) ||
        ::stat(path_.c_str(), &folder) != 0 || OlderThan(cache.st_mtim, folder.st_mtim))
        return false;
    saved_ = true;
    std::string().swap(text_);
    return true;
}

struct TCacheFile::TEarlyListing {
    std::thread thread;
    TScanListing listing;
    TListingRoom room;
    bool done = false;      // listed without a failure
    TFileTimes folder;      // the folder measured before it was listed
    int filesLoaded = -1;   // the files the reading left; -1 while it runs
    ~TEarlyListing() {
        if (thread.joinable()) thread.join();
    }
};

TCacheFile::TCacheFile() = default;
TCacheFile::~TCacheFile() = default;

struct TCacheFile::TCounted {
    std::string path;
    TFileTimes folder;
    int count = 0;
};

int TCacheFile::CountEntries() {
    // A load counts the folder's entries twice (the scan and the save each begin a new
    // header): a folder whose times are those it had at the last count, and had already
    // had for some seconds then, holds what it held.
    struct stat folder;
    const bool measured = ::stat(path_.c_str(), &folder) == 0 && S_ISDIR(folder.st_mode);
    if (measured && counted_ && counted_->path == path_ && counted_->folder == TimesOf(folder)) return counted_->count;
    counted_.reset();
    const int count = CountDirEntries(path_);
    // (A change within the resolution of the folder's times would not show in them.)
    if (measured && std::time(nullptr) - folder.st_mtim.tv_sec >= 2 && std::time(nullptr) - folder.st_ctim.tv_sec >= 2)
        counted_ = std::make_unique<TCounted>(TCounted{path_, TimesOf(folder), count});
    return count;
}

void TCacheFile::BeginListing(int threads) {
    early_.reset();
    struct stat folder;
    if (::stat(path_.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) return;
    auto early = std::make_unique<TEarlyListing>();
    early->folder = TimesOf(folder);
    // The entries' room is made here, from the count the cache was saved with: what the
    // listing's thread allocates stays with it once freed.
    const size_t entries = static_cast<size_t>(std::max(entryCount_, 0)) + 64;
    early->listing.entries.reserve(entries);
    early->room.Reserve(entries);
    TEarlyListing* listing = early.get();
    try {
        early->thread = std::thread([listing, path = path_, threads] {
            try {
                ListScanFolder(path, ResolvedFolder(path), listing->listing, threads, &listing->room);
                listing->done = true;
            } catch (...) {
                // The scan lists the folder itself.
            }
        });
    } catch (const std::system_error&) {
        return;
    }
    early_ = std::move(early);
}

void TCacheFile::NoteFilesLoaded(int count) {
    if (early_) early_->filesLoaded = count;
}

std::unique_ptr<TScanListing> TCacheFile::TakeListing(int filesCount) {
    const std::unique_ptr<TEarlyListing> early = std::move(early_);
    if (!early) return nullptr;
    if (early->thread.joinable()) early->thread.join();
    // Whatever was made, created, removed or renamed in the folder since changed its
    // times; the files read are those the listing was made for.
    struct stat folder;
    if (!early->done || early->filesLoaded != filesCount || ::stat(path_.c_str(), &folder) != 0 ||
        !(TimesOf(folder) == early->folder))
        return nullptr;
    return std::make_unique<TScanListing>(std::move(early->listing));
}

// ---- Reading ------------------------------------------------------------------------

TCacheReader::TCacheReader(std::string_view text) { SplitLines(text, lines_); }

bool TCacheReader::Record(int index, TCacheRecord& record, std::string& problem) const {
    return TCacheFile::ParseRecord(Line(index), record, problem);
}

// ---- The writer and reader of a rom path --------------------------------------------

namespace {

// Hands each record that a save of a file writes to take, in their order.
template <typename Take>
void ForEachRecordOf(const TFile& file, Take&& take) {
    static const std::string none, notAvailable = "n/a";
    bool wroteRom = false;
    for (const auto& entry : file.RomFiles) {
        const TRomFile& rom = *entry.romFile;
        if (rom.IsPlaceholder()) continue;
        wroteRom = true;
        take(file.Name, rom.StoredName(), file.Size, file.Date, rom.Crc(), rom.SuggestedExtension(), rom.Size,
             file.IsFolder() ? rom.Date : file.Date, file.Kind, rom.Status == rsError ? rom.ErrorText() : none,
             rom.Comment(), file.ChangeTime, file.Inode);
    }
    if (!wroteRom)
        take(file.Name, none, file.Size, file.Date, notAvailable, none, int64_t{-1}, int32_t{0}, file.Kind,
             file.ErrorText, none, file.ChangeTime, file.Inode);
}

// The fingerprint of a path's records: each record hashed alone, the hashes folded a
// block of files at a time, and the blocks folded in their order. The reading folds
// the records as they come; a save hashes its blocks side by side.
class TFingerprint {
public:
    static constexpr size_t kFilesPerBlock = 256;

    // The records of another file follow.
    void BeginFile() {
        if (files_ > 0 && files_ % kFilesPerBlock == 0) EndBlock(block_);
        ++files_;
    }
    void AddRecord(const TCacheDigest& hash) { block_.Fold(hash); }
    // A whole block, folded apart.
    void EndBlock(const TCacheDigest& block) {
        total_.Fold(block);
        block_ = TCacheDigest();
    }
    TCacheDigest Total() const {
        TCacheDigest total = total_;
        if (files_ > 0) total.Fold(block_);  // the last block, whole or not
        return total;
    }

private:
    TCacheDigest total_, block_;
    size_t files_ = 0;
};

// The fingerprint of the records a save of the files would write; false when one of
// their CRCs is not in lower case (the save then makes and compares the text), or when
// it could not be made.
bool FingerprintOf(const TFilesList& files, TCacheDigest& digest) {
    constexpr size_t kBlock = TFingerprint::kFilesPerBlock;
    const size_t count = static_cast<size_t>(files.Count());
    const size_t blocks = (count + kBlock - 1) / kBlock;
    // (Made here: nothing is allocated on the threads.)
    std::vector<TCacheDigest> folded(blocks);
    std::atomic<size_t> next{0};
    std::atomic<bool> usable{true};
    const auto work = [&] {
        for (size_t block; (block = next.fetch_add(1)) < blocks;) {
            TCacheDigest& out = folded[block];
            bool lowerCrcs = true;
            for (size_t at = block * kBlock; at < std::min(count, (block + 1) * kBlock); ++at)
                ForEachRecordOf(*files[static_cast<int>(at)],
                                [&](const std::string& fileName, const std::string& romName, int64_t fileSize,
                                    int32_t fileDate, const std::string& crc, const std::string& extension,
                                    int64_t romSize, int32_t romDate, uint8_t kind, const std::string& errorText,
                                    const std::string& comment, int64_t changeTime, uint64_t inode) {
                                    lowerCrcs = lowerCrcs && std::none_of(crc.begin(), crc.end(), [](char c) {
                                                    return LowerChar(c) != c;
                                                });
                                    out.Fold(TCacheDigest::Of(kind, LastComponentView(fileName), romName, fileSize,
                                                              fileDate, crc, extension, romSize, romDate, errorText,
                                                              comment, changeTime, inode));
                                });
            if (!lowerCrcs) usable = false;
        }
    };
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    RunOnThreads(std::max<size_t>(1, std::min(cores, blocks / 4)), work);
    if (!usable) return false;
    TFingerprint total;
    for (const TCacheDigest& block : folded) total.EndBlock(block);
    digest = total.Total();
    return true;
}

// The record lines of a block of files, each ended by CR LF.
int AppendRecordLines(const TFilesList& files, size_t from, size_t to, std::string& out) {
    int lines = 0;
    for (size_t at = from; at < to; ++at)
        ForEachRecordOf(*files[static_cast<int>(at)],
                        [&](const std::string& fileName, const std::string& romName, int64_t fileSize,
                            int32_t fileDate, const std::string& crc, const std::string& extension, int64_t romSize,
                            int32_t romDate, uint8_t kind, const std::string& errorText, const std::string& comment,
                            int64_t changeTime, uint64_t inode) {
                            if (!AppendRecordLine(out, {kind, LastComponentView(fileName), romName, fileSize,
                                                        fileDate, crc, extension, romSize, romDate, errorText,
                                                        comment, changeTime, inode}))
                                return;
                            out += "\r\n";
                            ++lines;
                        });
    return lines;
}

// Adds the records of the files to the cache in their order. Those of a large path are
// made a block of files at a time on a few threads, a window of blocks ahead of the
// one handed to the cache; the blocks' room is made here, so their threads keep none.
void WriteRecords(const TFilesList& files, TCacheFile& cache) {
    constexpr size_t kBlock = TFingerprint::kFilesPerBlock;
    const size_t count = static_cast<size_t>(files.Count());
    const size_t blocks = (count + kBlock - 1) / kBlock;
    const size_t threads = std::min<size_t>(3, std::max(1u, std::thread::hardware_concurrency()) - 1);
    const auto oneByOne = [&] {
        std::string text;
        for (size_t block = 0; block < blocks; ++block) {
            text.clear();
            const int lines = AppendRecordLines(files, block * kBlock, std::min(count, (block + 1) * kBlock), text);
            cache.AddRecordLines(text, lines);
        }
    };
    if (blocks < 8 || threads == 0) return oneByOne();
    struct TSlot {
        std::string text;
        int lines = 0;
        bool ready = false;
        std::exception_ptr failure;
    };
    std::vector<TSlot> window(4 * threads);
    for (TSlot& slot : window) slot.text.reserve(kBlock * 512);
    std::mutex mutex;
    std::condition_variable changed;
    size_t next = 0, taken = 0;
    bool stop = false;
    const auto work = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stop || next >= blocks || next < taken + window.size(); });
            if (stop || next >= blocks) return;
            const size_t block = next++;
            TSlot& slot = window[block % window.size()];
            lock.unlock();
            try {
                slot.text.clear();
                slot.lines = AppendRecordLines(files, block * kBlock, std::min(count, (block + 1) * kBlock), slot.text);
            } catch (...) {
                slot.failure = std::current_exception();
            }
            lock.lock();
            slot.ready = true;
            changed.notify_all();
        }
    };
    std::vector<std::thread> pool;
    const TFinally join([&] {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        changed.notify_all();
        for (std::thread& thread : pool) thread.join();
    });
    try {
        for (size_t t = 0; t < threads; ++t) pool.emplace_back(work);
    } catch (const std::system_error&) {
        // No thread to be had: the blocks are made here, one after the other.
        if (pool.empty()) return oneByOne();
    }
    for (size_t block = 0; block < blocks; ++block) {
        TSlot& slot = window[block % window.size()];
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return slot.ready; });
        }
        if (slot.failure) std::rethrow_exception(slot.failure);
        cache.AddRecordLines(slot.text, slot.lines);
        {
            const std::lock_guard<std::mutex> lock(mutex);
            slot.ready = false;
            taken = block + 1;
        }
        changed.notify_all();
    }
}

}  // namespace

void TPath::SaveCache() {
    if (TFilesBd* bd = FilesBd(); bd != nullptr && bd->DeferCacheSave(this)) return;
    TCacheFile& cache = CacheFile();
    cache.Clear();
    // The header just written names the plug-in held before; the name is brought up to
    // date for the next save.
    if (TFilesBd* bd = FilesBd(); bd != nullptr && bd->SignatureCalculator() != nullptr &&
                                  bd->SignatureCalculator()->CrcPlugIn() != nullptr)
        cache.PlugInName = bd->SignatureCalculator()->CrcPlugIn()->FileName();
    // A path whose files are still what its cache file says (a load that found nothing
    // changed) has nothing to write: a fingerprint of its records tells so without
    // making the text. A CRC held in capitals would be written otherwise: that one is
    // made and compared.
    if (cache.HasLoaded()) {
        TCacheDigest digest;
        if (FingerprintOf(Files(), digest) && cache.SaveUnchanged(digest)) return;
    }
    WriteRecords(Files(), cache);
    cache.Save();
}

namespace {

// Lines counted as the reader cuts them (CR LF, CR or LF ends one; a last line may have
// no end), a block at a time.
class TLineCounter {
public:
    void Add(const char* data, size_t size) {
        if (size == 0) return;
        const char* const end = data + size;
        for (const char* p = data; (p = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p))));
             ++p)
            ++lines_;
        // An LF ends a line of its own unless it ends a CR LF.
        for (const char* p = data; (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p))));
             ++p)
            if ((p == data ? last_ : p[-1]) != '\r') ++lines_;
        last_ = end[-1];
    }
    int64_t Lines() const { return lines_ + (last_ != 0 && last_ != '\r' && last_ != '\n' ? 1 : 0); }

private:
    int64_t lines_ = 0;
    char last_ = 0;  // the last byte counted; 0 before any
};

// One line of a batch, decoded as a record (header lines are decoded too, and not used).
struct TReadLine {
    std::string_view text;  // without its end
    bool crlf = false;
    bool parsed = false;
    bool canonical = false;
    TRecordFields fields;
    std::string_view name;  // the last component of the file name
    TCacheDigest hash;
};

// Whole lines of a cache file and their records, decoded on whichever thread takes the
// batch; the texts stay in the batch until it is filled again.
struct TReadBatch {
    std::unique_ptr<char[]> data;
    size_t capacity = 0, size = 0;
    std::vector<TReadLine> lines;
    size_t count = 0;     // lines decoded by the last call
    size_t decoded = 0;   // bytes decoded so far
    std::string arena;  // decoded texts that held escapes
    bool done = false;
    std::exception_ptr failure;

    // Room for the decoding, made by the thread that fills the batch: memory taken on
    // the decoding threads would stay with them, out of reach of the files built after.
    void Prepare() {
        decoded = 0;
        arena.reserve(capacity);  // decoded texts are never longer than the batch
        // Records run to some hundred bytes; more lines than that take more room then.
        if (lines.size() < capacity / 80) lines.resize(capacity / 80);
    }

    // Decodes the lines from where the last call stopped, into the room there is (or
    // more with mayGrow): the decoding threads take none of their own.
    void Decode(bool mayGrow) {
        if (decoded == 0) arena.clear();
        count = 0;
        const char* p = data.get() + decoded;
        const char* const end = data.get() + size;
        const char* lf = nullptr;
        for (; p < end; decoded = static_cast<size_t>(p - data.get())) {
            if (count == lines.size()) {
                if (!mayGrow) break;
                lines.emplace_back();
            }
            if (lf == nullptr || lf < p) {
                lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
                if (lf == nullptr) lf = end;
            }
            TReadLine& line = lines[count++];
            const auto* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(lf - p)));
            if (cr != nullptr) {
                line.text = std::string_view(p, static_cast<size_t>(cr - p));
                line.crlf = cr + 1 < end && cr[1] == '\n';
                p = cr + (line.crlf ? 2 : 1);
            } else {
                line.text = std::string_view(p, static_cast<size_t>(lf - p));
                line.crlf = false;
                p = lf + 1;
            }
            TRecordProblem problem;
            std::string_view badField;
            line.parsed = ParseFields(line.text, line.fields, line.canonical, arena, problem, badField);
            line.name = LastComponentView(line.fields.fileName);
            if (line.parsed) {
                const TRecordFields& r = line.fields;
                line.hash = TCacheDigest::Of(r.kind, r.fileName, r.romName, r.fileSize, r.fileDate, r.crc,
                                             r.extension, r.romSize, r.romDate, r.errorText, r.comment,
                                             r.fileChangeTime, r.fileInode);
            }
        }
        if (p >= end) decoded = size;
    }
};

// Fills batches from a file in order, each ending with a line end (or at the end of the
// file): a CR at the end of what was read may be the first half of a CR LF, so a batch
// ends after its last LF, or after a CR that is known to stand alone.
class TBatchReader {
public:
    static constexpr size_t kBatch = size_t{64} << 10;

    explicit TBatchReader(int fd) : fd_(fd) {}

    // False when the file has nothing more, or on a read error (Error then tells it).
    bool Fill(TReadBatch& batch) {
        if (error_ != 0 || (eof_ && carry_.empty())) return false;
        Reserve(batch, std::max(kBatch, carry_.size() * 2));
        std::memcpy(batch.data.get(), carry_.data(), carry_.size());
        size_t size = carry_.size();
        carry_.clear();
        for (;;) {
            while (!eof_ && size < batch.capacity) {
                const ssize_t got = ::read(fd_, batch.data.get() + size, batch.capacity - size);
                if (got < 0 && errno == EINTR) continue;
                if (got < 0) {
                    error_ = errno;
                    return false;
                }
                eof_ = got == 0;
                size += static_cast<size_t>(got);
            }
            const size_t cut = eof_ ? size : Cut(batch.data.get(), size);
            if (cut > 0 || eof_) {
                carry_.assign(batch.data.get() + cut, size - cut);
                batch.size = cut;
                return cut > 0;
            }
            // A line longer than the batch: it grows until the line's end is in.
            Reserve(batch, batch.capacity * 2, size);
        }
    }
    int Error() const { return error_; }

private:
    static size_t Cut(const char* data, size_t size) {
        for (size_t at = size; at-- > 0;)
            if (data[at] == '\n') return at + 1;
        // No LF at all: the last CR but one at the very end stands alone.
        for (size_t at = size - 1; at-- > 0;)
            if (data[at] == '\r') return at + 1;
        return 0;
    }
    // Room for capacity bytes, keeping the first keep.
    static void Reserve(TReadBatch& batch, size_t capacity, size_t keep = 0) {
        if (batch.capacity >= capacity) return;
        auto data = std::make_unique_for_overwrite<char[]>(capacity);
        if (keep > 0) std::memcpy(data.get(), batch.data.get(), keep);
        batch.data = std::move(data);
        batch.capacity = capacity;
    }

    int fd_;
    std::string carry_;  // the bytes after the last batch's cut
    bool eof_ = false;
    int error_ = 0;
};

// Threads that decode the batches handed to them, in any order; with no thread a batch
// is decoded when it is handed over.
class TDecodePool {
public:
    explicit TDecodePool(size_t threads) {
        try {
            for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            // Fewer threads than asked: those started share the work.
        }
    }
    ~TDecodePool() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& thread : threads_) thread.join();
    }
    TDecodePool(const TDecodePool&) = delete;
    TDecodePool& operator=(const TDecodePool&) = delete;

    void Submit(TReadBatch& batch) {
        batch.done = false;
        batch.failure = nullptr;
        if (threads_.empty()) {
            batch.Decode(true);
            batch.done = true;
            return;
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(&batch);
        }
        wake_.notify_one();
    }
    // Waits until the batch is decoded; a failure on its thread is raised here.
    void Wait(TReadBatch& batch) {
        if (!threads_.empty()) {
            std::unique_lock<std::mutex> lock(mutex_);
            done_.wait(lock, [&] { return batch.done; });
        }
        if (batch.failure) std::rethrow_exception(batch.failure);
    }

private:
    void Work() {
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
            if (stop_) return;
            TReadBatch* batch = queue_.front();
            queue_.pop_front();
            lock.unlock();
            try {
                batch->Decode(false);
            } catch (...) {
                batch->failure = std::current_exception();
            }
            lock.lock();
            batch->done = true;
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::deque<TReadBatch*> queue_;
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace

void TPath::LoadFromCache() {
    const TCacheFile& cache = CacheFile();
    if (!cache.CacheFileExists()) throw filesbd::EFileNotFound(_("Cache file not found"));
    const std::string cacheName = cache.GetCacheFileName();
    // Nothing is lost when the file cannot be read: the scan that follows reads the whole
    // folder from disk.
    const auto cannotRead = [&](int err) { Log(Fmt(_("Cannot read %1: %2"), {cacheName, SysErrorMessage(err)})); };
    int fd = -1;
    if (const int err = Fs().Open(cacheName, O_RDONLY | O_CLOEXEC, 0, fd)) return cannotRead(err);
    const TFinally closeFile([fd] { ::close(fd); });
    TFilesBd* bd = FilesBd();
    // The records of a large cache are decoded on a few threads, a batch ahead of the
    // files being built from them here, in the file's order; and the folder is listed
    // meanwhile for the scan that follows.
    struct stat st;
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t wanted = bd != nullptr && bd->ScanThreads > 0 ? static_cast<size_t>(bd->ScanThreads) : cores;
    const size_t threads = ::fstat(fd, &st) == 0 && st.st_size > static_cast<off_t>(2 * TBatchReader::kBatch)
                               ? std::min<size_t>(wanted - 1, 3)
                               : 0;
    if (threads > 0) CacheFile().BeginListing(bd != nullptr ? bd->ScanThreads : 1);
    // The progress counts lines: they are counted first, in a pass that keeps nothing.
    int lineCount = 0;
    {
        TLineCounter counter;
        constexpr size_t kBlock = size_t{1} << 20;
        const auto block = std::make_unique_for_overwrite<char[]>(kBlock);
        for (;;) {
            const ssize_t got = ::read(fd, block.get(), kBlock);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return cannotRead(errno);
            if (got == 0) break;
            counter.Add(block.get(), static_cast<size_t>(got));
        }
        lineCount = static_cast<int>(counter.Lines());
        if (::lseek(fd, 0, SEEK_SET) < 0) return cannotRead(errno);
    }
    const std::string& path = GetPath();
    if (bd != nullptr) bd->DoInfos(Fmt(_("Loading %1"), {path.size() > 45 ? StrLastChars(path, 42) : path}));

    std::unordered_set<std::string> damaged;
    // A file that lost a record is left for the scan to read whole.
    const auto dropDamaged = [&] {
        for (const std::string& name : damaged) {
            const int at = Files().IndexOf(name);
            if (at < 0) continue;
            std::unique_ptr<TFile> file = Files().Extract(at);
            if (bd != nullptr) bd->Retire(std::move(file));
        }
    };
    std::string lastName;  // the file of the last record taken
    TFile* lastFile = nullptr;  // its entry, once looked up
    // Whether a save of what is read would write this very text again, and the
    // fingerprint of its records that lets the save see so.
    bool asSaved = lineCount >= TCacheFile::kHeaderLines;
    TFingerprint digest;
    const int firstRecord = TCacheFile::kHeaderLines;
    std::string header;  // the first lines, with their ends
    TFile::TSetMemo setMemo;  // the set of the file being filled, looked up once

    TBatchReader reader(fd);
    std::vector<TReadBatch> ring(2 * threads + 2);
    TDecodePool pool(threads);
    size_t head = 0, inFlight = 0;
    const auto readAhead = [&] {
        while (inFlight < ring.size()) {
            TReadBatch& batch = ring[(head + inFlight) % ring.size()];
            if (!reader.Fill(batch)) break;
            batch.Prepare();
            pool.Submit(batch);
            ++inFlight;
        }
    };
    int index = 0;
    for (readAhead(); inFlight > 0; readAhead()) {
        TReadBatch& batch = ring[head];
        pool.Wait(batch);
        for (;;) {
            for (size_t at = 0; at < batch.count; ++at, ++index) {
                const TReadLine& line = batch.lines[at];
                asSaved = asSaved && line.crlf;
                if (index < TCacheFile::kHeaderLines) {
                    header.append(line.text).append("\r\n");
                    continue;
                }
                try {
                    if (owner_ != nullptr) owner_->CheckAbort();
                } catch (const qm::EAbortOperation&) {
                    // The records of one file follow each other: the file being read may miss
                    // some of its roms, and a later scan would keep it as it is.
                    if (!lastName.empty()) damaged.insert(lastName);
                    dropDamaged();
                    throw;
                }
                if (bd != nullptr)
                    bd->DoProgress(index - TCacheFile::kHeaderLines, lineCount - TCacheFile::kHeaderLines - 1);
                const TRecordFields& record = line.fields;
                if (!line.parsed) {
                    asSaved = false;
                    // One damaged record costs a fresh reading of its file, never the whole path.
                    std::string problem;
                    TCacheRecord again;
                    TCacheFile::ParseRecord(line.text, again, problem);
                    Log(Fmt(_("Cache file %1, line %2 skipped: %3"), {cacheName, std::to_string(index + 1), problem}));
                    if (!record.fileName.empty()) {
                        const std::string name(line.name);
                        damaged.insert(name);
                        // A record cut inside its name (a crash or a full disk while the cache
                        // was written) may be one of the file whose records came just before:
                        // that file goes too, rather than stay half known.
                        if (lastName.compare(0, name.size(), name) == 0) damaged.insert(lastName);
                    }
                    continue;
                }
                if (asSaved) {
                    asSaved = line.canonical;
                    // A file's records follow each other, as a save writes them.
                    if (index == firstRecord || line.name != lastName) digest.BeginFile();
                    digest.AddRecord(line.hash);
                }
                // The records of a file follow each other: its entry is looked up once.
                if (lastFile == nullptr || line.name != lastName) {
                    lastName.assign(line.name);
                    lastFile = nullptr;
                }
                const auto file = [&] {
                    // NewFile gives the entry already listed, if any.
                    if (lastFile == nullptr) lastFile = NewFile(lastName, static_cast<uint8_t>(record.kind), false);
                    return lastFile;
                };
                if (!record.errorText.empty() && record.romName.empty()) {
                    // A file that could not be read: listed with its error, which makes the scan
                    // that follows read it again (or drop it when it is gone).
                    TFile* unread = file();
                    unread->Size = record.fileSize;
                    unread->Date = record.fileDate;
                    unread->SetErrorText(std::string(record.errorText));
                    unread->Inode = record.fileInode;
                    unread->ChangeTime = record.fileChangeTime;
                    continue;
                }
                if (!record.romName.empty() && (record.romName.back() == '/' || record.romName.back() == '\\'))
                    continue;
                // As AddEntry: no CRC adds nothing, no rom name only the file.
                if (record.crc.empty()) continue;
                TFile* holder = file();
                if (record.romName.empty()) continue;
                TRomFile* romFile = holder->AddRomFile(record.romName, record.crc, record.romDate, record.romSize,
                                                       record.extension, &setMemo);
                romFile->SetComment(record.comment);
                romFile->File->Date = record.fileDate;
                romFile->File->Size = record.fileSize;
                romFile->File->Inode = record.fileInode;
                romFile->File->ChangeTime = record.fileChangeTime;
                if (!record.errorText.empty()) romFile->SetError(std::string(record.errorText));
            }
            if (batch.decoded >= batch.size) break;
            // The lines past the room the decoding thread had are decoded here.
            batch.Decode(true);
        }
        head = (head + 1) % ring.size();
        --inFlight;
    }
    if (reader.Error() != 0) {
        // Cut short: the file being read may miss some of its roms.
        cannotRead(reader.Error());
        if (!lastName.empty()) damaged.insert(lastName);
        asSaved = false;
    }
    dropDamaged();
    if (asSaved) CacheFile().NoteLoaded(header, digest.Total());
    CacheFile().NoteFilesLoaded(Files().Count());
}

TRomFile* TPath::AddEntry(const std::string& fileName, const std::string& romName, const std::string& crc,
                          const std::string& extension, int64_t romSize, uint8_t kind, int32_t romDate) {
    if (crc.empty()) return nullptr;
    const std::string_view name = LastComponentView(fileName);
    TFile* file = Files().Find(name);
    if (file == nullptr) file = NewFile(std::string(name), kind, false);
    if (romName.empty()) return nullptr;
    // AddRomFile lower-cases the signature itself.
    return file->AddRomFile(romName, crc, romDate, romSize, extension);
}

}  // namespace qm
