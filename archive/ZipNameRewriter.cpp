#include "archive/ZipNameRewriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <unordered_map>

#include "archive/LittleEndian.h"
#include "archive/stringsTools.h"
#include "platform/FileSystem.h"
#include "platform/RewriteBatch.h"
#include "platform/UiHooks.h"

namespace qm {

using archive::ECorrupted;
using archive::EError;
using archive::EFileExist;
using archive::EFileNotFound;
using archive::ESystemError;

namespace {

// Signatures and fixed sizes of the zip format (all fields little-endian).
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
// Marks a spanned archive as the first word of the file; also the optional signature
// of a data descriptor.
constexpr uint32_t kSpanSignature = 0x08074b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr size_t kLocalSize = 30;
constexpr size_t kCentralSize = 46;
constexpr size_t kEndSize = 22;
constexpr int64_t kEndSearchWindow = 65535 + kEndSize;  // longest comment + the record
constexpr size_t kCopyBlock = 1 << 20;
constexpr uint16_t kFlagDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint16_t kZip64ExtraId = 0x0001;

const char* const kCantRead = "Can't read file.";
const char* const kCantOpen = "Can't open file.";
const char* const kCantCreateTemp = "Can't create temp file.";
const char* const kCantWrite = "Can't write file.";
const char* const kFileToPath = "Can't rename file to path or path to file.";
const char* const kNoEndRecord = "Can't find the end of the central directory.";
const char* const kZip64 = "Zip64 archives are not supported.";
const char* const kCentralDamaged = "Central directory damaged.";
const char* const kEntryDamaged = "Entry data damaged.";

void Put16(char* p, uint16_t v) {
    p[0] = static_cast<char>(v & 0xff);
    p[1] = static_cast<char>(v >> 8);
}
void Put32(char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

std::string ToSlash(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

bool StartsWith(const std::string& text, const std::string& prefix, bool ignoreCase) {
    if (text.size() < prefix.size()) return false;
    const std::string head = text.substr(0, prefix.size());
    return ignoreCase ? SameText(head, prefix) : head == prefix;
}

std::string FolderOf(const std::string& name) {
    const auto slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

std::string LastComponent(const std::string& name) {
    const auto slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool IsAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsValidUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t extra;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = cp << 6 | (cc & 0x3F);
        }
        static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// The upper half of code page 437, the encoding of a stored name without the UTF-8 flag.
const uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

std::string Cp437ToUtf8(const std::string& s) {
    std::string out;
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
            continue;
        }
        const uint16_t cp = kCp437High[c - 0x80];
        if (cp < 0x800) {
            out += static_cast<char>(0xC0 | cp >> 6);
        } else {
            out += static_cast<char>(0xE0 | cp >> 12);
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        }
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

// A control byte other than tab and line ends: the archive library refuses a name
// flagged UTF-8 that holds one, and the whole archive with it.
bool HasControlByte(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 32 && b != '\t' && b != '\n' && b != '\r';
    });
}

// The flags that go with a new name: UTF-8 names say so; bytes that are not UTF-8 must
// not claim to be, nor a name that a reader would refuse as UTF-8.
uint16_t FlagsForName(uint16_t flags, const std::string& name) {
    if (HasControlByte(name)) return static_cast<uint16_t>(flags & ~kFlagUtf8);
    if (IsAscii(name)) return flags;
    return IsValidUtf8(name) ? static_cast<uint16_t>(flags | kFlagUtf8)
                             : static_cast<uint16_t>(flags & ~kFlagUtf8);
}

template <class E>
[[noreturn]] void Throw(const std::string& archiveName, std::string message) {
    throw E(std::move(message), archiveName);
}

std::string ReadAt(int fd, int64_t offset, size_t size, const std::string& archiveName) {
    std::string data(size, '\0');
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, data.data() + done, size - done, offset + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Throw<ESystemError>(archiveName, kCantRead);
        done += static_cast<size_t>(n);
    }
    return data;
}

// A rename item in the program's form.
struct TItem {
    std::string oldName;
    std::string newName;  // for a folder item: the new folder, ending with "/"
    bool folder = false;
    uint32_t stamp = 0;
    int32_t index = -1;
};

std::vector<TItem> NormaliseItems(const TRenameList& list, const std::string& archiveName) {
    std::vector<TItem> items;
    for (const TRenameItem& in : list) {
        TItem item{ToSlash(in.OldName), ToSlash(in.NewName), false, static_cast<uint32_t>(in.Stamp), in.Index};
        if (item.oldName.empty() || item.newName.empty())
            Throw<ESystemError>(archiveName, kFileToPath);
        // A new name that would leave the archive's tree when extracted is refused
        // before anything is read or written.
        if (!IsSafeName(item.newName, true)) Throw<EError>(archiveName, UnsafeNameMessage(item.newName, true));
        if (item.oldName.back() == '/') {
            item.folder = true;
            item.newName = FolderOf(item.newName);
            // A folder cannot become a file, nor the root (its entries would start with "/").
            if (item.newName.empty() || item.newName == "/")
                Throw<ESystemError>(archiveName, kFileToPath);
        } else if (item.newName.back() == '/') {
            Throw<ESystemError>(archiveName, kFileToPath);
        }
        items.push_back(std::move(item));
    }
    return items;
}

// Closes a descriptor when the scope is left.
struct TFd {
    int fd = -1;
    TFd() = default;
    explicit TFd(int f) : fd(f) {}
    ~TFd() { Close(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Close() {
        int err = 0;
        if (fd >= 0 && ::close(fd) != 0) err = errno;
        fd = -1;
        return err;
    }
};

}  // namespace

struct TZipNameRewriter::TState {
    std::string archiveName;
    std::vector<TItem> items;
    uint32_t timeStamp = 0;
    TFd in;
    int64_t size = 0;
    unsigned mode = 0644;
    uid_t owner = 0;
    gid_t group = 0;
    TRewriteBatch::TSource source;  // the archive as it was opened
    std::string endRecord;  // 22 bytes
    uint32_t centralOffset = 0;
    std::string central;                   // the whole central directory
    std::vector<TZipEntryRecord> records;  // central-directory order
    std::vector<std::string> localHeaders;  // 30 bytes + stored local name, per record
};

bool TZipNameRewriter::FindEndOfCentralDir(int fd, int64_t size, std::string& record) {
    ZipComment.clear();
    EndOfCentralDirPos = 0;
    const std::string head = ReadAt(fd, 0, 4, archiveName_);
    if (Get32(head.data()) == kSpanSignature) Throw<EError>(archiveName_, "Spanned archive. (Skipped)");
    if (size < static_cast<int64_t>(kEndSize)) return false;
    const int64_t window = std::min(kEndSearchWindow, size);
    const int64_t start = size - window;
    const std::string buf = ReadAt(fd, start, static_cast<size_t>(window), archiveName_);
    // The last candidate whose comment ends exactly at the end of the file and whose
    // central directory ends where it starts: a "PK\5\6" inside a comment never passes
    // for the record. Failing a consistent one, the last that reaches the end is taken
    // (and refused as damaged by the caller).
    int64_t fallback = -1;
    for (int64_t p = window - static_cast<int64_t>(kEndSize); p >= 0; --p) {
        const char* c = buf.data() + p;
        if (Get32(c) != kEndSignature) continue;
        const uint16_t commentLength = Get16(c + 20);
        if (p + static_cast<int64_t>(kEndSize) + commentLength != window) continue;
        if (fallback < 0) fallback = p;
        const int64_t filePos = start + p;
        const uint32_t centralSize = Get32(c + 12);
        const uint32_t centralOffset = Get32(c + 16);
        bool consistent = static_cast<int64_t>(centralOffset) + centralSize == filePos ||
                          Get16(c + 10) == 0xFFFF || centralSize == 0xFFFFFFFF || centralOffset == 0xFFFFFFFF;
        if (!consistent && filePos >= 20) {
            const std::string locator = ReadAt(fd, filePos - 20, 4, archiveName_);
            consistent = Get32(locator.data()) == kZip64LocatorSignature;
        }
        if (consistent) {
            fallback = p;
            break;
        }
    }
    if (fallback < 0) return false;
    const char* c = buf.data() + fallback;
    record.assign(c, kEndSize);
    EndOfCentralDirPos = start + fallback;
    ZipComment.assign(c + kEndSize, Get16(c + 20));
    return true;
}

void TZipNameRewriter::ReadArchive(TState& st) {
    const std::string& name = st.archiveName;
    if (!FindEndOfCentralDir(st.in.fd, st.size, st.endRecord)) Throw<ECorrupted>(name, kNoEndRecord);
    const char* end = st.endRecord.data();
    const uint16_t thisDisk = Get16(end + 4);
    const uint16_t centralDisk = Get16(end + 6);
    const uint16_t entriesHere = Get16(end + 8);
    const uint16_t total = Get16(end + 10);
    const uint32_t centralSize = Get32(end + 12);
    st.centralOffset = Get32(end + 16);

    bool zip64 = total == 0xFFFF || entriesHere == 0xFFFF || centralSize == 0xFFFFFFFF ||
                 st.centralOffset == 0xFFFFFFFF;
    if (!zip64 && EndOfCentralDirPos >= 20) {
        const std::string locator = ReadAt(st.in.fd, EndOfCentralDirPos - 20, 4, name);
        zip64 = Get32(locator.data()) == kZip64LocatorSignature;
    }
    if (zip64) Throw<ECorrupted>(name, kZip64);
    if (thisDisk != 0 || centralDisk != 0 || entriesHere != total)
        Throw<EError>(name, "Spanned archive. (Skipped)");
    // The central directory lies right before the end record; anything else is a damaged
    // archive (or one with data we would not carry over).
    if (static_cast<int64_t>(st.centralOffset) + centralSize != EndOfCentralDirPos)
        Throw<ECorrupted>(name, kCentralDamaged);

    st.central = ReadAt(st.in.fd, st.centralOffset, centralSize, name);
    size_t pos = 0;
    st.records.reserve(total);
    for (unsigned i = 0; i < total; ++i) {
        if (pos + kCentralSize > st.central.size()) Throw<ECorrupted>(name, kCentralDamaged);
        const char* h = st.central.data() + pos;
        if (Get32(h) != kCentralSignature) Throw<ECorrupted>(name, "Wrong Central Header signature.");
        TZipEntryRecord r;
        r.CentralPos = st.centralOffset + static_cast<int64_t>(pos);
        r.Flags = Get16(h + 8);
        r.Crc = Get32(h + 16);
        r.CompressedSize = Get32(h + 20);
        const uint32_t uncompressed = Get32(h + 24);
        r.NameLength = Get16(h + 28);
        r.CentralExtraLength = Get16(h + 30);
        r.CentralCommentLength = Get16(h + 32);
        const uint16_t startDisk = Get16(h + 34);
        r.LocalHeaderOffset = Get32(h + 42);
        if (r.CompressedSize == 0xFFFFFFFF || uncompressed == 0xFFFFFFFF ||
            r.LocalHeaderOffset == 0xFFFFFFFF || startDisk == 0xFFFF)
            Throw<ECorrupted>(name, kZip64);
        const size_t length = kCentralSize + r.NameLength + r.CentralExtraLength + r.CentralCommentLength;
        if (pos + length > st.central.size()) Throw<ECorrupted>(name, kCentralDamaged);
        r.Name.assign(h + kCentralSize, r.NameLength);
        r.TimeStamp = st.timeStamp;
        st.records.push_back(std::move(r));
        pos += length;
    }
    if (pos != st.central.size()) Throw<ECorrupted>(name, kCentralDamaged);

    st.localHeaders.reserve(st.records.size());
    for (TZipEntryRecord& r : st.records) {
        ProcessPendingMessages();
        if (static_cast<int64_t>(r.LocalHeaderOffset) + static_cast<int64_t>(kLocalSize) > st.centralOffset)
            Throw<ECorrupted>(name, kEntryDamaged);
        std::string local = ReadAt(st.in.fd, r.LocalHeaderOffset, kLocalSize, name);
        if (Get32(local.data()) != kLocalSignature) Throw<ECorrupted>(name, "Wrong Local Header signature.");
        const uint16_t localFlags = Get16(local.data() + 6);
        r.LocalNameLength = Get16(local.data() + 26);
        r.LocalExtraLength = Get16(local.data() + 28);
        const int64_t dataStart = static_cast<int64_t>(r.LocalHeaderOffset) + static_cast<int64_t>(kLocalSize) +
                                  r.LocalNameLength + r.LocalExtraLength;
        // The size comes from the central header: with a data descriptor the local one
        // is usually 0.
        const int64_t dataEnd = dataStart + r.CompressedSize;
        if (dataEnd > st.centralOffset) Throw<ECorrupted>(name, kEntryDamaged);
        local += ReadAt(st.in.fd, r.LocalHeaderOffset + static_cast<int64_t>(kLocalSize), r.LocalNameLength, name);
        if ((localFlags | r.Flags) & kFlagDescriptor) {
            // Descriptor: optional signature, CRC, then both sizes in 4 bytes, or in 8
            // when the local header carries a zip64 extra field.
            bool zip64Sizes = false;
            const std::string extra = ReadAt(st.in.fd, dataStart - r.LocalExtraLength, r.LocalExtraLength, name);
            for (size_t e = 0; e + 4 <= extra.size();) {
                if (Get16(extra.data() + e) == kZip64ExtraId) zip64Sizes = true;
                e += 4 + Get16(extra.data() + e + 2);
            }
            const uint32_t sizesLength = zip64Sizes ? 16 : 8;
            const int64_t available = std::min<int64_t>(24, st.centralOffset - dataEnd);
            const std::string d = ReadAt(st.in.fd, dataEnd, static_cast<size_t>(available), name);
            if (available >= 8 + sizesLength && Get32(d.data()) == kSpanSignature &&
                Get32(d.data() + 4) == r.Crc)
                r.DescriptorLength = 8 + sizesLength;
            else if (available >= 4 + sizesLength && Get32(d.data()) == r.Crc)
                r.DescriptorLength = 4 + sizesLength;
            else
                Throw<ECorrupted>(name, kEntryDamaged);
        }
        st.localHeaders.push_back(std::move(local));
    }
}

namespace {

// Decides the new name of every entry; false when nothing changes.
bool PlanRenames(std::vector<TZipEntryRecord>& records, const std::vector<TItem>& items,
                 const std::string& archiveName) {
    // The names an entry answers to: its stored name with "/" and, for a name that is
    // neither flagged nor valid UTF-8, its code page 437 reading (what a listing shows).
    std::vector<std::string> key(records.size()), alt(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        key[i] = ToSlash(records[i].Name);
        if (!(records[i].Flags & kFlagUtf8) && !IsAscii(key[i]) && !IsValidUtf8(key[i]))
            alt[i] = Cp437ToUtf8(key[i]);
    }
    std::vector<int> claimedBy(records.size(), -1);
    auto claim = [&](size_t i, size_t itemIndex, std::string newName) {
        if (claimedBy[i] >= 0) return;
        claimedBy[i] = static_cast<int>(itemIndex);
        TZipEntryRecord& r = records[i];
        if (items[itemIndex].stamp != 0) r.TimeStamp = items[itemIndex].stamp;
        if (newName == r.Name) return;
        // A replacement inside a longer name can still make an unsafe one ("a/b" with
        // "a/" renamed to "../"): every name the rename produces passes the rule.
        if (!IsSafeName(newName, true)) Throw<EError>(archiveName, UnsafeNameMessage(newName, true));
        if (newName.size() > 0xFFFF) Throw<EError>(archiveName, "Entry name too long.");
        r.Renamed = true;
        r.NewFlags = FlagsForName(r.Flags, newName);
        r.NewName = std::move(newName);
    };
    // The first entry that answers to a name, and the form it answers with, in each of
    // the four ways a file item is looked for: indexed on first use, so that renaming
    // every entry of a large archive costs one lookup per item, not a walk over the
    // entries. Entries are met in order, the stored name before its other reading: the
    // first one met keeps the name.
    using TFound = std::pair<int, const std::string*>;
    auto folded = [](std::string s) {
        for (char& c : s) c = Fold(c);
        return s;
    };
    enum { kExact, kFolded, kLast, kLastFolded };
    std::unordered_map<std::string, TFound> index[4];
    bool indexed[4] = {};
    auto find = [&](int way, const std::string& name) -> TFound {
        auto& map = index[way];
        if (!indexed[way]) {
            indexed[way] = true;
            map.reserve(records.size());
            for (size_t i = 0; i < records.size(); ++i)
                for (const std::string* form : {&key[i], &alt[i]}) {
                    if (form == &alt[i] && alt[i].empty()) continue;
                    std::string k = way == kExact || way == kFolded ? *form : LastComponent(*form);
                    map.emplace(way == kFolded || way == kLastFolded ? folded(std::move(k)) : std::move(k),
                                TFound{static_cast<int>(i), form});
                }
        }
        const auto it = map.find(way == kFolded || way == kLastFolded ? folded(name) : name);
        return it == map.end() ? TFound{-1, nullptr} : it->second;
    };

    for (size_t j = 0; j < items.size(); ++j) {
        const TItem& item = items[j];
        if (item.folder) {
            for (bool ignoreCase : {false, true}) {
                bool any = false;
                for (size_t i = 0; i < records.size(); ++i) {
                    const std::string* form = StartsWith(key[i], item.oldName, ignoreCase) ? &key[i]
                                              : (!alt[i].empty() && StartsWith(alt[i], item.oldName, ignoreCase))
                                                  ? &alt[i]
                                                  : nullptr;
                    if (!form) continue;
                    any = true;
                    std::string newName = item.newName + form->substr(item.oldName.size());
                    // A file stored under a name ending with "\\" only looks like a
                    // folder to us; ending it with "/" would make it a folder entry,
                    // which extractors make a folder of, dropping its data.
                    if (!records[i].Name.empty() && records[i].Name.back() == '\\' && newName.back() == '/')
                        newName.back() = '\\';
                    claim(i, j, std::move(newName));
                }
                if (any) break;
            }
            continue;
        }
        if (item.index >= 0) {
            // One entry of several of that name: the one at that position, and only
            // while it still bears the name.
            const auto i = static_cast<size_t>(item.index);
            if (i < records.size() && key[i] == item.oldName) claim(i, j, item.newName);
            continue;
        }
        TFound found = find(kExact, item.oldName);
        if (found.first < 0) found = find(kFolded, item.oldName);
        if (found.first >= 0) {
            claim(static_cast<size_t>(found.first), j, item.newName);
            continue;
        }
        if (item.oldName.find('/') != std::string::npos) continue;
        // A bare name (as the plug-ins report entries) stands for the entry of that name
        // in whatever folder; the folder stays.
        found = find(kLast, item.oldName);
        if (found.first < 0) found = find(kLastFolded, item.oldName);
        if (found.first >= 0) claim(static_cast<size_t>(found.first), j, FolderOf(*found.second) + item.newName);
    }

    // A renamed entry must not take a name that another entry keeps or gets.
    std::unordered_map<std::string, int> finals;
    for (size_t i = 0; i < records.size(); ++i) ++finals[records[i].Renamed ? ToSlash(records[i].NewName) : key[i]];
    bool changes = false;
    for (size_t i = 0; i < records.size(); ++i) {
        const TZipEntryRecord& r = records[i];
        if (r.Renamed && finals[ToSlash(r.NewName)] > 1)
            Throw<EFileExist>(archiveName, "File " + r.NewName + " already exists in the archive.");
        changes = changes || r.Renamed || r.TimeStamp != 0;
    }
    return changes;
}

}  // namespace

void TZipNameRewriter::RewriteZipNames(const std::string& archiveName, const TRenameList& list,
                                       uint32_t timeStamp) {
    archiveName_ = archiveName;
    TState st;
    st.archiveName = archiveName;
    st.timeStamp = timeStamp;
    TFileStat stat;
    if (Fs().Stat(archiveName, stat) != 0 || !stat.exists || stat.isDir)
        Throw<EFileNotFound>(archiveName, "File not found");
    st.items = NormaliseItems(list, archiveName);
    // A pending rewrite of this archive goes to disk first: this one reads the new one.
    if (TRewriteBatch::Settle(archiveName) != 0) Throw<ESystemError>(archiveName, kCantOpen);

    st.in.fd = ::open(archiveName.c_str(), O_RDONLY | O_CLOEXEC);
    if (st.in.fd < 0) Throw<ESystemError>(archiveName, kCantOpen);
    struct stat info;
    if (::fstat(st.in.fd, &info) != 0) Throw<ESystemError>(archiveName, kCantRead);
    st.size = info.st_size;
    st.source = TRewriteBatch::TSource::Of(info);
    st.mode = info.st_mode & 07777;
    st.owner = info.st_uid;
    st.group = info.st_gid;

    ReadArchive(st);
    if (!PlanRenames(st.records, st.items, archiveName)) return;
    if (!PatchInPlace(st)) Rewrite(st);
}

bool TZipNameRewriter::PatchInPlace(TState& st) {
    for (const TZipEntryRecord& r : st.records)
        if (r.Renamed && (r.NewName.size() != r.NameLength || r.NewName.size() != r.LocalNameLength))
            return false;
    // A file we may not write to is still renamed, by a rewrite in its folder.
    TFd out(::open(st.archiveName.c_str(), O_RDWR | O_CLOEXEC));
    if (out.fd < 0) return false;

    struct TPatch {
        int64_t offset;
        std::string bytes, old;
    };
    std::vector<TPatch> patches;
    auto add = [&](int64_t offset, std::string bytes, std::string old) {
        if (bytes != old) patches.push_back({offset, std::move(bytes), std::move(old)});
    };
    auto field16 = [](uint16_t v) {
        std::string s(2, '\0');
        Put16(s.data(), v);
        return s;
    };
    auto stampBytes = [](uint32_t stamp) {
        std::string s(4, '\0');
        Put16(s.data(), stamp & 0xFFFF);
        Put16(s.data() + 2, static_cast<uint16_t>(stamp >> 16));
        return s;
    };
    // Local headers first, central directory last: until the central names change, every
    // reader still sees the old, consistent names.
    for (size_t i = 0; i < st.records.size(); ++i) {
        const TZipEntryRecord& r = st.records[i];
        const std::string& local = st.localHeaders[i];
        const int64_t at = r.LocalHeaderOffset;
        if (r.Renamed) {
            const uint16_t flags = Get16(local.data() + 6);
            add(at + 6, field16(FlagsForName(flags, r.NewName)), local.substr(6, 2));
            add(at + static_cast<int64_t>(kLocalSize), r.NewName, local.substr(kLocalSize));
        }
        if (r.TimeStamp != 0) add(at + 10, stampBytes(r.TimeStamp), local.substr(10, 4));
    }
    for (const TZipEntryRecord& r : st.records) {
        const size_t rel = static_cast<size_t>(r.CentralPos - st.centralOffset);
        if (r.Renamed) {
            add(r.CentralPos + 8, field16(r.NewFlags), st.central.substr(rel + 8, 2));
            add(r.CentralPos + static_cast<int64_t>(kCentralSize), r.NewName,
                st.central.substr(rel + kCentralSize, r.NameLength));
        }
        if (r.TimeStamp != 0) add(r.CentralPos + 12, stampBytes(r.TimeStamp), st.central.substr(rel + 12, 4));
    }

    size_t done = 0;
    int err = 0;
    for (; done < patches.size() && err == 0; ++done) {
        ProcessPendingMessages();
        err = WriteAt(out.fd, patches[done].bytes.data(), patches[done].bytes.size(), patches[done].offset);
        if (err != 0) break;
    }
    if (err == 0 && SyncFd(out.fd) != 0) err = errno;
    if (err != 0) {
        // Put back what was written, so that the archive stays as it was.
        for (size_t k = std::min(done + 1, patches.size()); k-- > 0;)
            WriteAt(out.fd, patches[k].old.data(), patches[k].old.size(), patches[k].offset);
        SyncFd(out.fd);
        Throw<ESystemError>(st.archiveName, "Can't write file " + st.archiveName);
    }
    if (out.Close() != 0) Throw<ESystemError>(st.archiveName, "Can't write file " + st.archiveName);
    return true;
}

void TZipNameRewriter::Rewrite(TState& st) {
    const std::string& name = st.archiveName;
    // Through a symbolic link the file it points to is rewritten, so that the link stays.
    const std::string target = FileBehindLinks(name);
    std::string temp;
    if (CreateSiblingTemp(target, temp) != 0) Throw<ESystemError>(name, kCantCreateTemp);
    TFd out;
    bool replaced = false;
    // The temporary file goes whatever way this scope is left, unless it became the archive.
    struct TCleanup {
        TFd& out;
        const std::string& temp;
        bool& replaced;
        ~TCleanup() {
            out.Close();
            if (!replaced && Fs().Unlink(temp) != 0) ::unlink(temp.c_str());
        }
    } cleanup{out, temp, replaced};

    out.fd = ::open(temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (out.fd < 0) Throw<ESystemError>(name, kCantCreateTemp);
    // The copy takes the place of the archive: same permissions and, where allowed, the
    // same owner (only a privileged process may give a file away).
    ::fchmod(out.fd, st.mode);
    [[maybe_unused]] const int ownerKept = ::fchown(out.fd, st.owner, st.group);

    int64_t pos = 0;
    auto put = [&](const char* data, size_t size) {
        if (size != 0 && WriteAt(out.fd, data, size, pos) != 0) Throw<ESystemError>(name, kCantWrite);
        pos += static_cast<int64_t>(size);
    };
    auto offsetHere = [&]() -> uint32_t {
        if (pos > 0xFFFFFFFFLL) Throw<ECorrupted>(name, kZip64);
        return static_cast<uint32_t>(pos);
    };
    std::string buffer;
    auto copy = [&](int64_t from, int64_t length) {
        while (length > 0) {
            const size_t chunk = static_cast<size_t>(std::min<int64_t>(length, kCopyBlock));
            buffer.resize(chunk);
            size_t got = 0;
            while (got < chunk) {
                const ssize_t n = ::pread(st.in.fd, buffer.data() + got, chunk - got, from + static_cast<int64_t>(got));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) Throw<ESystemError>(name, kCantRead);
                got += static_cast<size_t>(n);
            }
            put(buffer.data(), chunk);
            from += static_cast<int64_t>(chunk);
            length -= static_cast<int64_t>(chunk);
            ProcessPendingMessages();
        }
    };

    std::vector<uint32_t> newOffsets(st.records.size());
    for (size_t i = 0; i < st.records.size(); ++i) {
        ProcessPendingMessages();
        const TZipEntryRecord& r = st.records[i];
        std::string header = st.localHeaders[i].substr(0, kLocalSize);
        const std::string entryName = r.Renamed ? r.NewName : st.localHeaders[i].substr(kLocalSize);
        if (r.Renamed) Put16(header.data() + 6, FlagsForName(Get16(header.data() + 6), r.NewName));
        if (r.TimeStamp != 0) {
            Put16(header.data() + 10, r.TimeStamp & 0xFFFF);
            Put16(header.data() + 12, static_cast<uint16_t>(r.TimeStamp >> 16));
        }
        Put16(header.data() + 26, static_cast<uint16_t>(entryName.size()));
        newOffsets[i] = offsetHere();
        put(header.data(), header.size());
        put(entryName.data(), entryName.size());
        copy(static_cast<int64_t>(r.LocalHeaderOffset) + static_cast<int64_t>(kLocalSize) + r.LocalNameLength,
             static_cast<int64_t>(r.LocalExtraLength) + r.CompressedSize + r.DescriptorLength);
    }

    const uint32_t centralStart = offsetHere();
    for (size_t i = 0; i < st.records.size(); ++i) {
        const TZipEntryRecord& r = st.records[i];
        const size_t rel = static_cast<size_t>(r.CentralPos - st.centralOffset);
        std::string header = st.central.substr(rel, kCentralSize);
        const std::string entryName = r.Renamed ? r.NewName : r.Name;
        if (r.Renamed) Put16(header.data() + 8, r.NewFlags);
        if (r.TimeStamp != 0) {
            Put16(header.data() + 12, r.TimeStamp & 0xFFFF);
            Put16(header.data() + 14, static_cast<uint16_t>(r.TimeStamp >> 16));
        }
        Put16(header.data() + 28, static_cast<uint16_t>(entryName.size()));
        Put32(header.data() + 42, newOffsets[i]);
        put(header.data(), header.size());
        put(entryName.data(), entryName.size());
        put(st.central.data() + rel + kCentralSize + r.NameLength,
            static_cast<size_t>(r.CentralExtraLength) + r.CentralCommentLength);
    }
    const uint32_t centralEnd = offsetHere();

    std::string end = st.endRecord;
    Put16(end.data() + 4, 0);
    Put16(end.data() + 6, 0);
    Put32(end.data() + 12, centralEnd - centralStart);
    Put32(end.data() + 16, centralStart);
    put(end.data(), end.size());
    put(ZipComment.data(), ZipComment.size());

    // In a batch the flush and the rename are the batch's, with its others.
    TRewriteBatch* batch = TRewriteBatch::Current();
    if ((!batch && SyncFd(out.fd) != 0) || out.Close() != 0) Throw<ESystemError>(name, kCantWrite);
    if (batch) {
        if (batch->Defer(temp, target, name, &st.source) != 0) Throw<ESystemError>(name, kCantWrite);
    } else if (Fs().ReplaceWith(temp, target) != 0) {
        Throw<ESystemError>(name, kCantWrite);
    }
    replaced = true;
}

int TZipNameRewriter::WriteAt(int fd, const char* data, size_t size, int64_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, offset + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;
        done += static_cast<size_t>(n);
    }
    return 0;
}

void RewriteZipNames(const std::string& archiveName, const TRenameList& list, uint32_t timeStamp) {
    TZipNameRewriter().RewriteZipNames(archiveName, list, timeStamp);
}

}  // namespace qm
