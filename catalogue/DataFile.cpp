#include "catalogue/DataFile.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdlib>
#include <iterator>
#include <new>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/FilesTools.h"
#include "archive/archivemanager.h"
#include "archive/qmZip.h"
#include "archive/stringsTools.h"
#include "catalogue/IniText.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"


namespace qm {

namespace {

constexpr char kSep = '\xAC';

std::string FilePart(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsPlainFile(const std::string& path) {
    TFileStat st;
    return Fs().Stat(path, st) == 0 && st.exists && !st.isDir;
}

int64_t SizeField(std::string_view text) {
    // Sizes are short runs of digits: read those here, anything else as the general rule.
    if (!text.empty() && text.size() <= 18) {
        // Unsigned, so that a text that is no number wraps harmlessly before it is
        // turned down; 18 digits always fit.
        uint64_t value = 0;
        bool digits = true;
        for (const char c : text) {
            digits &= c >= '0' && c <= '9';
            value = value * 10 + static_cast<uint64_t>(static_cast<unsigned char>(c) - '0');
        }
        if (digits) return static_cast<int64_t>(value);
    }
    int64_t size = -1;
    if (!TryStrToInt64(text, size)) return -1;
    return size;
}

// The fields of a rom line: field[n] is the text after the n-th separator up to the
// next one or the end of the line; text before the first separator is ignored, and a
// field that is not there is empty.
struct TRomFields {
    std::string_view field[10];
};

TRomFields RomFields(std::string_view line) {
    TRomFields f;
    const char* end = line.data() + line.size();
    auto* sep = static_cast<const char*>(std::memchr(line.data(), kSep, line.size()));
    for (int n = 1; n <= 9 && sep != nullptr; ++n) {
        const char* from = sep + 1;
        sep = static_cast<const char*>(std::memchr(from, kSep, static_cast<size_t>(end - from)));
        f.field[n] = std::string_view(from, static_cast<size_t>((sep ? sep : end) - from));
    }
    return f;
}

// One rom line by the layout in force, as views into the line.
TDataFileItem ParseRomLine(std::string_view line, bool layout190) {
    const TRomFields r = RomFields(line);
    const auto& f = r.field;
    TDataFileItem item{f[1], f[2], f[3], f[4], f[5], f[6], -1, {}, {}};
    if (!layout190) {
        item.Size = SizeField(f[7]);
        item.RomOf = f[8];
        item.Merge = f[9];
    } else {
        if (f[8] == "N") {
            item.RomOf = item.ParentName;
            item.Merge = item.RomName;
        }
        item.Size = SizeField(f[9]);
    }
    return item;
}

// Walks the lines of a text as SplitLines cuts them (CR, LF and CR LF end a line; a
// last line without an end counts when it is not empty), without keeping them.
class TLineCursor {
public:
    explicit TLineCursor(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}
    bool Next(std::string_view& line) {
        if (p_ >= end_) return false;
        // The LF found is kept while lines ended by a CR alone pass, so that such texts
        // stay linear.
        if (lf_ == nullptr || lf_ < p_) {
            lf_ = static_cast<const char*>(std::memchr(p_, '\n', static_cast<size_t>(end_ - p_)));
            if (lf_ == nullptr) lf_ = end_;
        }
        auto* cr = static_cast<const char*>(std::memchr(p_, '\r', static_cast<size_t>(lf_ - p_)));
        if (cr) {
            line = std::string_view(p_, static_cast<size_t>(cr - p_));
            p_ = (cr + 1 < end_ && cr[1] == '\n') ? cr + 2 : cr + 1;
        } else {
            line = std::string_view(p_, static_cast<size_t>(lf_ - p_));
            p_ = lf_ + 1;
        }
        return true;
    }
    // Where the next line starts.
    const char* Position() const { return p_ < end_ ? p_ : end_; }

private:
    const char* p_;
    const char* end_;
    const char* lf_ = nullptr;
};

// The number of lines TLineCursor gives: one per line end, CR LF counting once. The
// last byte either ends the last line or belongs to a last line without an end, so
// that it counts one line either way. A datafile has hundreds of thousands of lines:
// sixteen bytes are looked at at once, each lane counting up to 255 line ends.
size_t CountLines(std::string_view text) {
    const auto* b = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    if (n == 0) return 0;
    using TBytes = unsigned char __attribute__((vector_size(16)));
    constexpr size_t kLanes = sizeof(TBytes);
    size_t ends = 0;
    size_t i = 0;
    // Byte i is looked at with byte i + 1, so the vectors stop one byte short.
    while (i + kLanes < n) {
        TBytes counts{};
        for (int round = 0; round < 255 && i + kLanes < n; ++round, i += kLanes) {
            TBytes here, next;
            std::memcpy(&here, b + i, kLanes);
            std::memcpy(&next, b + i + 1, kLanes);
            // A true comparison is all ones, that is -1: subtracting counts one.
            counts -= (here == '\n') | ((here == '\r') & (next != '\n'));
        }
        for (size_t lane = 0; lane < kLanes; ++lane) ends += counts[lane];
    }
    for (; i + 1 < n; ++i) ends += (b[i] == '\n') || (b[i] == '\r' && b[i + 1] != '\n');
    return ends + 1;
}

// Asks for the large pages of the system for a block that is about to be written
// whole: a datafile's tens of megabytes then cost a few dozen page faults, not tens of
// thousands (each of which is dear in a virtual machine). Only whole large pages
// inside the block are marked; a refusal changes nothing.
void AdviseLargePages(void* block, size_t size) {
    constexpr uintptr_t kLarge = uintptr_t{2} << 20;
    const auto from = (reinterpret_cast<uintptr_t>(block) + kLarge - 1) & ~(kLarge - 1);
    const auto to = (reinterpret_cast<uintptr_t>(block) + size) & ~(kLarge - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

// Gives back to the system the large pages between from and to: bytes of a datafile
// already parsed, behind the texts kept, which nothing reads again. Pages from the
// last such call on only; a page that a later text reaches comes back zeroed.
void ReleaseParsed(const char* from, const char* to, uintptr_t& releasedTo) {
    constexpr uintptr_t kLarge = uintptr_t{2} << 20;
    const auto begin = std::max((reinterpret_cast<uintptr_t>(from) + kLarge - 1) & ~(kLarge - 1), releasedTo);
    const auto end = reinterpret_cast<uintptr_t>(to) & ~(kLarge - 1);
    if (end <= begin) return;
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
    releasedTo = end;
}

// Reads a whole file into memory from malloc (the caller frees it): size bytes read,
// capacity bytes held. 0 or the errno.
int ReadWholeFile(const std::string& path, char*& bytes, size_t& size, size_t& capacity) {
    bytes = nullptr;
    size = capacity = 0;
    int fd = -1;
    if (int err = Fs().Open(path, O_RDONLY, 0, fd)) return err;
    struct stat st {};
    // One byte more than the file, so that its end is seen without growing.
    size_t cap = ::fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 1 << 16;
    auto* buffer = static_cast<char*>(std::malloc(cap));
    if (buffer) AdviseLargePages(buffer, cap);
    size_t n = 0;
    int err = buffer ? 0 : ENOMEM;
    while (err == 0) {
        if (n == cap) {
            auto* grown = static_cast<char*>(std::realloc(buffer, cap * 2));
            if (grown == nullptr) {
                err = ENOMEM;
                break;
            }
            buffer = grown;
            cap *= 2;
        }
        const ssize_t got = ::read(fd, buffer + n, cap - n);
        if (got < 0) {
            if (errno != EINTR) err = errno;
            continue;
        }
        if (got == 0) break;
        n += static_cast<size_t>(got);
    }
    ::close(fd);
    if (err != 0) {
        std::free(buffer);
        return err;
    }
    bytes = buffer;
    size = n;
    capacity = cap;
    return 0;
}

// A CRC field the rom database can use: eight hexadecimal digits, or blank (no CRC).
// Every rom line passes here: the usual case is settled by one table lookup a byte.
bool IsUsableCrc(std::string_view crc) {
    static constexpr auto kHex = [] {
        std::array<bool, 256> table{};
        for (const char c : std::string_view("0123456789abcdefABCDEF")) table[static_cast<unsigned char>(c)] = true;
        return table;
    }();
    if (crc.size() == 8) {
        bool hex = true;
        for (const char c : crc) hex &= kHex[static_cast<unsigned char>(c)];
        if (hex) return true;
    }
    return TrimView(crc).empty();
}

// Bad lines named one by one in the box and in the log; the rest are counted.
constexpr size_t kBadLinesShown = 10;
constexpr size_t kBadLinesLogged = 200;

bool IsSkipped(std::string_view line) {
    std::string_view t = TrimView(line);
    return t.empty() || t[0] == '#';
}

// A value written on one line of the file: a line break in it would start a line of
// its own (a section header, a key) and a separator byte would shift every field after
// it, so both become blanks.
std::string OneLine(std::string_view value, bool blankSeparator) {
    std::string out(value);
    for (char& c : out)
        if (c == '\r' || c == '\n' || (blankSeparator && c == kSep)) c = ' ';
    return out;
}

void AppendLine(std::string& out, std::string_view line) {
    out.append(line);
    out.append("\r\n");
}

// The comment keeps its line breaks (the header reader of an opened datafile reads
// every line of it), but none of its lines may look like a section header.
void AppendComment(std::string& out, std::string_view comment) {
    std::vector<std::string_view> lines;
    SplitLines(comment, lines);
    if (lines.empty()) lines.emplace_back();
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line(lines[i]);
        if (i == 0) {
            AppendLine(out, "Comment=" + line);
            continue;
        }
        size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] == '[') line[first] = '(';
        AppendLine(out, line);
    }
}

void AppendRomLine(std::string& out, const TDataFileItem& item) {
    const std::string_view fields[] = {item.ParentName, item.ParentDescription, item.GameName,
                                       item.GameDescription, item.RomName, item.Crc};
    for (std::string_view field : fields) {
        out.push_back(kSep);
        for (char c : field) out.push_back(c == '\r' || c == '\n' || c == kSep ? ' ' : c);
    }
    out.push_back(kSep);
    out.append(std::to_string(item.Size));
    for (std::string_view field : {std::string_view(item.RomOf), std::string_view(item.Merge)}) {
        out.push_back(kSep);
        for (char c : field) out.push_back(c == '\r' || c == '\n' || c == kSep ? ' ' : c);
    }
    out.push_back(kSep);
    out.append("\r\n");
}

}  // namespace

// ---- TDataFileItems -----------------------------------------------------------------

void TDataFileItems::TBuffer::Release() {
    std::free(data);
    data = nullptr;
    size = capacity = 0;
}

bool TDataFileItems::TBuffer::Resize(size_t newCapacity) {
    if (newCapacity == 0) {
        Release();
        return true;
    }
    void* moved = std::realloc(data, newCapacity);
    if (moved == nullptr) return false;
    data = static_cast<char*>(moved);
    capacity = newCapacity;
    if (size > capacity) size = capacity;
    return true;
}

void TDataFileItems::TBuffer::Adopt(char* bytes, size_t bytesCapacity) {
    Release();
    data = bytes;
    capacity = bytesCapacity;
}

TDataFileItem TDataFileItems::View(const TRecord& r) const {
    const THead& h = heads_[r.head];
    TDataFileItem item;
    item.ParentName = Text(h.parentName);
    item.ParentDescription = Text(h.parentDescription);
    item.GameName = Text(h.gameName);
    item.GameDescription = Text(h.gameDescription);
    item.RomName = Text(TText{r.rom, r.romLength});
    item.Crc = Text(TText{r.rom + r.romLength, r.crcLength});
    item.Size = r.size;
    item.RomOf = Text(h.romOf);
    item.Merge = Text(r.merge);
    return item;
}

TDataFileItems::TText TDataFileItems::Append(std::string_view value, bool lower) {
    if (value.empty()) return {};
    char* to = text_.data + text_.size;
    std::memmove(to, value.data(), value.size());
    if (lower)
        for (size_t i = 0; i < value.size(); ++i) to[i] = LowerChar(to[i]);
    const TText t{static_cast<uint32_t>(text_.size), static_cast<uint32_t>(value.size())};
    text_.size += value.size();
    return t;
}

void TDataFileItems::MakeRoom(TDataFileItem& item) {
    std::string_view* views[] = {&item.ParentName, &item.ParentDescription, &item.GameName, &item.GameDescription,
                                 &item.RomName,    &item.Crc,               &item.RomOf,    &item.Merge};
    // A view given for two fields is written once. So a line parsed in place never needs
    // more than its own bytes, and the buffer it lies in never moves under the parse.
    size_t total = 0;
    for (const std::string_view* v : views) total += v->size();
    if (total <= text_.capacity - text_.size) return;
    total = 0;
    for (size_t i = 0; i < std::size(views); ++i) {
        bool repeated = false;
        for (size_t j = 0; j < i && !repeated; ++j)
            repeated = views[j]->data() == views[i]->data() && views[j]->size() == views[i]->size();
        if (!repeated) total += views[i]->size();
    }
    if (total <= text_.capacity - text_.size) return;
    if (text_.size + total > UINT32_MAX) throw datafile::EFileError(_("The datafile is too large to be read."));
    // A view into the buffer (a line being parsed in place, or a text of this list added
    // again) moves with it.
    const auto old = reinterpret_cast<uintptr_t>(text_.data);
    size_t offsets[std::size(views)];
    for (size_t i = 0; i < std::size(views); ++i) {
        const auto at = reinterpret_cast<uintptr_t>(views[i]->data());
        offsets[i] = !views[i]->empty() && at >= old && at < old + text_.capacity ? at - old : SIZE_MAX;
    }
    if (!text_.Resize(std::max({text_.capacity * 2, text_.size + total, size_t{4096}}))) throw std::bad_alloc();
    for (size_t i = 0; i < std::size(views); ++i)
        if (offsets[i] != SIZE_MAX) *views[i] = std::string_view(text_.data + offsets[i], views[i]->size());
}

void TDataFileItems::Add(std::string_view parentName, std::string_view parentDescription, std::string_view gameName,
                         std::string_view gameDescription, std::string_view romName, std::string_view crc,
                         int64_t size, std::string_view romOf, std::string_view merge) {
    AddRecord(TDataFileItem{parentName, parentDescription, gameName, gameDescription, romName, crc, size, romOf, merge},
              false);
}

void TDataFileItems::AddRecord(TDataFileItem item, bool lowerCrc) {
    MakeRoom(item);
    const auto same = [this](TText t, std::string_view value) {
        return t.length == value.size() &&
               (value.empty() || std::memcmp(text_.data + t.offset, value.data(), t.length) == 0);
    };
    // A parsed line may give one view of its bytes for two fields (the merge flag of the
    // old layout); the bytes of the first may already have been overwritten, so such a
    // text is recognised by its view, not by its bytes.
    const auto alias = [](std::string_view a, std::string_view b) {
        return a.data() == b.data() && a.size() == b.size();
    };
    struct TEarlier {
        std::string_view view;
        TText text;
    };
    // A text of the line's head: the previous head's, an earlier field's, or a copy.
    const THead* previous = heads_.empty() ? nullptr : &heads_.back();
    const auto headText = [&](std::string_view value, TText THead::*field, const TEarlier* earlier, size_t n) {
        if (value.empty()) return TText{};
        for (size_t i = 0; i < n; ++i)
            if (alias(value, earlier[i].view)) return earlier[i].text;
        if (previous && same(previous->*field, value)) return previous->*field;
        for (size_t i = 0; i < n; ++i)
            if (same(earlier[i].text, value)) return earlier[i].text;
        return Append(value);
    };

    const bool sameHead = previous && same(previous->parentName, item.ParentName) &&
                          same(previous->parentDescription, item.ParentDescription) &&
                          same(previous->gameName, item.GameName) &&
                          same(previous->gameDescription, item.GameDescription) && same(previous->romOf, item.RomOf);
    // The texts are written in the order of the fields of a line.
    THead head;
    TEarlier earlier[4];
    if (!sameHead) {
        head.parentName = headText(item.ParentName, &THead::parentName, earlier, 0);
        earlier[0] = {item.ParentName, head.parentName};
        head.parentDescription = headText(item.ParentDescription, &THead::parentDescription, earlier, 1);
        earlier[1] = {item.ParentDescription, head.parentDescription};
        head.gameName = headText(item.GameName, &THead::gameName, earlier, 2);
        earlier[2] = {item.GameName, head.gameName};
        head.gameDescription = headText(item.GameDescription, &THead::gameDescription, earlier, 3);
        earlier[3] = {item.GameDescription, head.gameDescription};
    }
    TRecord r;
    r.rom = static_cast<uint32_t>(text_.size);
    r.romLength = Append(item.RomName).length;
    r.crcLength = Append(item.Crc, lowerCrc).length;
    r.size = item.Size;
    if (!sameHead) head.romOf = headText(item.RomOf, &THead::romOf, earlier, 4);
    const TText rom{r.rom, r.romLength};
    if (item.Merge.empty())
        r.merge = {};
    else if (alias(item.Merge, item.RomName) || same(rom, item.Merge))
        r.merge = rom;
    else if (!records_.empty() && same(records_.back().merge, item.Merge))
        r.merge = records_.back().merge;
    else
        r.merge = Append(item.Merge);

    if (!sameHead) heads_.push_back(head);
    r.head = static_cast<uint32_t>(heads_.size() - 1);
    records_.push_back(r);
}

void TDataFileItems::Clear() {
    records_.clear();
    records_.shrink_to_fit();
    heads_.clear();
    heads_.shrink_to_fit();
    text_.Release();
}

void TDataFileItems::Reserve(size_t n, size_t textBytes) {
    records_.reserve(n);
    if (textBytes > text_.capacity - text_.size && !text_.Resize(text_.size + textBytes)) throw std::bad_alloc();
}

void TDataFileItems::Trim() {
    if (text_.size < text_.capacity) text_.Resize(text_.size);
}

TDatafile::TDatafile() {
    try {
        TempDir = GetTempDirectory();
    } catch (const Exception&) {
        // Without the private folder the extraction still gets a fresh folder of its
        // own inside the system's temporary folder.
        TempDir = GetTempDirectoryBase();
    }
}

TDatafile::~TDatafile() { DeleteWorkFile(); }

void TDatafile::SetDataFileName(const std::string& name) {
    if (name.empty()) {
        dataFileName_.clear();
        return;
    }
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(name, ec);
    dataFileName_ = ec ? name : full.lexically_normal().string();
}

void TDatafile::Clear() {
    GameItems.Clear();
    ResourceItems.Clear();
}

void TDatafile::AddItem(std::string_view parentName, std::string_view parentDescription, std::string_view gameName,
                        std::string_view gameDescription, std::string_view romName, std::string_view crc,
                        int64_t size, std::string_view romOf, std::string_view merge, bool isResource) {
    (isResource ? ResourceItems : GameItems)
        .Add(parentName, parentDescription, gameName, gameDescription, romName, crc, size, romOf, merge);
}

std::string TDatafile::GetCrcPlugIn() const {
    return SignatureCalculator ? SignatureCalculator->CrcPlugInFileName() : std::string();
}

void TDatafile::DoProgress(int64_t position, int64_t maximum) { progress_.Report(OnProgress, position, maximum); }

void TDatafile::DoInfos(const std::string& text) { ReportInfos(OnInfos, text); }

void TDatafile::ClearForAbort() {
    Clear();
    Abort = false;
}

void TDatafile::DeleteWorkFile() {
    // Only a copy this object extracted itself is ever deleted: a plain datafile is read
    // where it lies and never named here.
    if (!workFileName_.empty()) Fs().Unlink(workFileName_);
    if (!workDir_.empty()) Fs().RemoveDir(workDir_);
    workFileName_.clear();
    workDir_.clear();
}

std::string TDatafile::ExtractFromArchive() {
    DoInfos(_("Unzipping datafile..."));
    TArchiveItems entries;
    ArchiveManager->GetFileList(dataFileName_, entries);
    const TArchiveItem* last = nullptr;
    for (const auto& entry : entries)
        if (EndsText(".dat", entry.Name)) last = &entry;
    if (!last) throw datafile::EFileNotFound(Fmt(_("Datafile not found in %1."), {dataFileName_}));

    // A fresh folder of our own, so that the extraction never replaces a file that was
    // there before, whatever folder TempDir names.
    std::string dir = TempDir.empty() ? GetTempDirectoryBase() : TempDir;
    if (dir.back() != '/') dir += '/';
    int err = 0;
    for (unsigned n = 0;; ++n) {
        std::string candidate = dir + "qm-datafile-" + std::to_string(::getpid()) + "-" + std::to_string(n);
        err = Fs().MakeDir(candidate);
        if (err == 0) {
            workDir_ = candidate + "/";
            break;
        }
        if (err != EEXIST || n > 1000)
            throw datafile::EFileError(Fmt(_("Cannot create folder %1: %2"), {candidate, SysErrorMessage(err)}));
    }
    // Only the last entry counts, so only that one is extracted. It lands without its
    // inner folder, so the working copy is named by its bare name.
    ArchiveManager->ExtractFile(dataFileName_, last->GetFullName(), workDir_, false);
    workFileName_ = workDir_ + last->Name;
    return workFileName_;
}

void TDatafile::LoadFromFile() {
    Clear();
    badLines_.clear();
    if (dataFileName_.empty()) return;
    if (!IsPlainFile(dataFileName_))
        throw datafile::EFileNotFound(Fmt(_("File %1 not found."), {dataFileName_}));
    DeleteWorkFile();

    std::string source;
    // Without a manager a zip cannot be opened, but it must not be read as text either.
    const bool isArchive = ArchiveManager ? ArchiveManager->IsArchive(dataFileName_) : EndsText(".zip", dataFileName_);
    if (!isArchive) {
        // Read in place: a copy could fail unnoticed and leave an older copy to be read,
        // and the source may itself lie in the temporary folder.
        DoInfos(_("Preparing datafile..."));
        source = dataFileName_;
    } else if (!ArchiveManager) {
        throw datafile::EFileNotFound(Fmt(_("Datafile not found in %1."), {dataFileName_}));
    } else {
        source = ExtractFromArchive();
    }

    char* bytes = nullptr;
    size_t size = 0, capacity = 0;
    if (int err = ReadWholeFile(source, bytes, size, capacity))
        throw datafile::EFileError(Fmt(_("Cannot read file %1: %2"), {source, SysErrorMessage(err)}));
    // The game list owns the bytes from here on, and parses them in place.
    GameItems.text_.Adopt(bytes, capacity);
    try {
        ReadText(bytes, size);
    } catch (...) {
        GameItems.Trim();
        throw;
    }
    GameItems.Trim();
    ReportBad();
}

void TDatafile::ReadText(const char* bytes, size_t size) {
    const std::string_view text(bytes, size);
    TLineCursor cursor(text);
    std::string_view line;
    size_t s = 0;  // index of the "[games]" line
    bool found = false;
    while (cursor.Next(line)) {
        if (SameText(TrimView(line), "[games]")) {
            found = true;
            break;
        }
        ++s;
    }
    const size_t romLinesStart = found ? static_cast<size_t>(cursor.Position() - bytes) : size;

    {
        // The header lies before the games; only a file whose header lacks one of its
        // sections is searched whole, where a later section of that name counts.
        const std::string_view before(bytes, found ? static_cast<size_t>(line.data() - bytes) : size);
        const TIniText headerOnly(before);
        std::optional<TIniText> whole;
        if (!headerOnly.SectionExists("DAT") || !headerOnly.SectionExists("CREDITS") ||
            !headerOnly.SectionExists("EMULATOR"))
            whole.emplace(text);
        const TIniText& header = whole ? *whole : headerOnly;
        std::string_view version;
        if (!header.FindValue("DAT", "version", version) ||
            (version != "2.50" && version != "2.00" && version != "1.90"))
            throw datafile::EBadDatafileVersion(
                Fmt(_("This version of the datafile %1 is not supported."), {FilePart(dataFileName_)}) + "\n" +
                _("Please use another datafile, or download a new version of Quarmelle."));
        formatVersion_ = std::string(version);
        Author = header.ReadString("CREDITS", "Author", "");
        Email = header.ReadString("CREDITS", "Email", "");
        Web = header.ReadString("CREDITS", "Web", "");
        Version = header.ReadString("CREDITS", "Version", "");
        Date = header.ReadString("CREDITS", "Date", "");
        Comment = header.ReadString("CREDITS", "Comment", "");
        PlugIn = LowerCase(header.ReadString("DAT", "plugin", "arcade.dll"));
        Refname = header.ReadString("EMULATOR", "refname", "");
        EmuVersion = header.ReadString("EMULATOR", "version", "");
    }

    if (OnPlugInCheck) {
        OnPlugInCheck(PlugIn, Abort);
        if (Abort) {
            ClearForAbort();
            DeleteWorkFile();
            throw datafile::EAbortDataFileLoading();
        }
    }

    try {
        ReadRomLines(std::string_view(bytes + romLinesStart, size - romLinesStart), found, s);
    } catch (...) {
        DoInfos(_("Datafile loaded"));
        throw;
    }
    DoInfos(_("Datafile loaded"));
}

void TDatafile::ReadRomLines(std::string_view text, bool found, size_t s) {
    if (!found) throw datafile::EBadFormat(Fmt(_("File %1 has bad format."), {dataFileName_}));
    DoInfos(Fmt(_("Loading datafile %1"), {FilePart(dataFileName_)}));

    const size_t count = CountLines(text);  // the lines after "[games]"
    bool layout190 = formatVersion_ == "1.90";
    std::string_view line;
    if (formatVersion_ == "2.00") {
        // The line right after "[games]" tells the layout, unless it is the resources
        // header.
        TLineCursor first(text);
        if (first.Next(line) && !SameText(line, "[resources]")) {
            const std::string_view flag = RomFields(line).field[8];
            layout190 = flag == "N" || flag == "O";
        }
    }
    // Every line parsed lies in the game list's buffer, after the text it holds: the
    // reserve is never touched beyond the lines there are.
    GameItems.Reserve(count);
    AdviseLargePages(GameItems.records_.data(), GameItems.records_.capacity() * sizeof(TDataFileItems::TRecord));

    TLineCursor cursor(text);
    size_t index = 0;  // of the line after "[games]", from 1
    size_t r = 0;      // index of the "[resources]" line, 0 before it
    // The bytes parsed are given back as the parse goes, so that the file and what is
    // made of it are not both held whole.
    constexpr size_t kReleaseStep = size_t{4} << 20;
    uintptr_t releasedTo = 0;
    const char* nextRelease = text.data() + kReleaseStep;
    while (cursor.Next(line)) {
        ++index;
        if (line.data() >= nextRelease) {
            ReleaseParsed(GameItems.text_.data + GameItems.text_.size, line.data(), releasedTo);
            nextRelease = line.data() + kReleaseStep;
        }
        if (r == 0 && SameText(line, "[resources]")) {
            r = index;
            continue;
        }
        if (IsSkipped(line)) continue;
        if (Abort) {
            ClearForAbort();
            throw datafile::EAbortDataFileLoading();
        }
        if (r == 0)
            DoProgress(static_cast<int64_t>(index), static_cast<int64_t>(count));
        else
            DoProgress(static_cast<int64_t>(index - r), static_cast<int64_t>(count - r));
        const TDataFileItem item = ParseRomLine(line, r == 0 && layout190);
        if (!IsUsableCrc(item.Crc)) badLines_.push_back({s + index + 1, std::string(item.Crc)});
        (r == 0 ? GameItems : ResourceItems).AddRecord(item, true);
    }
    assert(index == count);
}

void TDatafile::ReportBad() const {
    if (badLines_.empty()) return;
    const std::string file = FilePart(dataFileName_);
    auto describe = [&](const TBadLine& bad) {
        return Fmt(_("%1, line %2: the CRC \"%3\" is not eight hexadecimal digits."),
                   {file, std::to_string(bad.line), bad.crc});
    };
    const std::string more = badLines_.size() > kBadLinesShown
                                 ? Fmt(_("... and %1 more lines."), {std::to_string(badLines_.size() - kBadLinesShown)})
                                 : std::string();
    if (OnLog) {
        for (size_t i = 0; i < badLines_.size() && i < kBadLinesLogged; ++i) OnLog(describe(badLines_[i]));
        if (badLines_.size() > kBadLinesLogged)
            OnLog(Fmt(_("... and %1 more lines."), {std::to_string(badLines_.size() - kBadLinesLogged)}));
    }
    if (!ReportBadLines) return;
    std::string text = Fmt(_("%1 rom lines of the datafile have a CRC that cannot be used: their roms can never be "
                             "found."),
                           {std::to_string(badLines_.size())});
    for (size_t i = 0; i < badLines_.size() && i < kBadLinesShown; ++i) {
        text += '\n';
        text += describe(badLines_[i]);
    }
    if (!more.empty()) {
        text += '\n';
        text += more;
    }
    UiHooks().MessageDlg(_("Data error in datafile !") + "\n" + text, TMsgDlgType::mtWarning, mbOK);
}

std::string TDatafile::PlugInNameToWrite() const {
    std::string name = GetCrcPlugIn();
    if (TrimView(name).empty()) name = PlugIn;
    if (TrimView(name).empty()) name = "arcade.dll";
    name = LowerCase(ExtractFileNameAnySep(name));
    // Datafiles name plug-ins by their logical name whatever the loader maps it to.
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0) name.replace(name.size() - 3, 3, ".dll");
    return OneLine(name, false);
}

void TDatafile::SaveToFile(const std::string& fileName) {
    std::string out;
    size_t estimate = 512;
    for (const auto* list : {&GameItems, &ResourceItems})
        for (const auto& item : *list)
            estimate += 32 + item.ParentName.size() + item.ParentDescription.size() + item.GameName.size() +
                        item.GameDescription.size() + item.RomName.size() + item.Crc.size() + item.RomOf.size() +
                        item.Merge.size();
    out.reserve(estimate);

    AppendLine(out, "[CREDITS]");
    AppendLine(out, "Author=" + OneLine(Author, false));
    AppendLine(out, "Email=" + OneLine(Email, false));
    AppendLine(out, "Web=" + OneLine(Web, false));
    AppendLine(out, "Version=" + OneLine(Version, false));
    AppendLine(out, "Date=" + OneLine(Date, false));
    AppendComment(out, Comment);
    AppendLine(out, "[DAT]");
    AppendLine(out, "version=2.00");
    AppendLine(out, "plugin=" + PlugInNameToWrite());
    AppendLine(out, "[EMULATOR]");
    AppendLine(out, "refname=" + OneLine(Refname, false));
    AppendLine(out, "version=" + OneLine(EmuVersion, false));
    AppendLine(out, "[GAMES]");
    for (size_t i = 0, n = GameItems.Count(); i < n; ++i) {
        DoProgress(static_cast<int64_t>(i), static_cast<int64_t>(n) - 1);
        AppendRomLine(out, GameItems.GetItem(i));
    }
    AppendLine(out, "[RESOURCES]");
    for (size_t i = 0, n = ResourceItems.Count(); i < n; ++i) {
        DoProgress(static_cast<int64_t>(i), static_cast<int64_t>(n) - 1);
        AppendRomLine(out, ResourceItems.GetItem(i));
    }
    if (int err = Fs().WriteFileAtomic(fileName, out))
        throw datafile::EFileError(Fmt(_("Cannot write file %1: %2"), {fileName, SysErrorMessage(err)}));
}

void CheckDatafile(const std::string& fileName, TArchiveManager* manager) {
    std::optional<TArchiveManager> own;
    if (manager == nullptr && EndsText(".zip", fileName)) {
        // A manager of its own would make its folder the zip layer's: the old one is
        // given back.
        const std::string zipTemp = ZipObject().TempDir;
        own.emplace();
        own->SetTempDir(GetTempDirectory());
        ZipObject().TempDir = zipTemp;
        manager = &*own;
    }
    TDatafile datafile;
    datafile.ReportBadLines = false;
    datafile.ArchiveManager = manager;
    datafile.SetDataFileName(fileName);
    datafile.LoadFromFile();
}

}  // namespace qm
