#include "archive/stringsTools.h"

#include <QLocale>
#include <QString>

#include <charconv>
#include <cstdio>
#include <cstring>

#include "platform/Text.h"

namespace qm {

namespace {

bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= 32; }

// Position (0-based) of the character after the n-th occurrence of startChar, or npos
// when the text holds fewer than n of them. n <= 0 gives 0.
size_t AfterNth(std::string_view text, char startChar, int n) {
    size_t pos = 0;
    for (int count = 0; count < n; ++count) {
        size_t hit = text.find(startChar, pos);
        if (hit == std::string_view::npos) return std::string_view::npos;
        pos = hit + 1;
    }
    return pos;
}

// Byte offsets at which the characters of valid UTF-8 text start; empty when the text
// is not valid UTF-8 (then callers count bytes).
bool Utf8Starts(std::string_view text, std::vector<size_t>& starts) {
    starts.clear();
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (len == 0 || i + len > text.size()) return false;
        for (size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        starts.push_back(i);
        i += len;
    }
    return true;
}

}  // namespace

std::string GetLastToken(std::string_view text, char separator) {
    std::string cleaned = TrimAndCollapseSpaces(text);
    size_t pos = cleaned.rfind(separator);
    if (pos == std::string::npos) return cleaned;
    return cleaned.substr(pos + 1);
}

std::string GetDelimitedField(std::string_view text, char startChar, char endChar, int n) {
    size_t start = AfterNth(text, startChar, n);
    if (start == std::string_view::npos || start >= text.size()) return {};
    size_t end = text.find(endChar, start);
    return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::string GetSubField(std::string_view text, int n) {
    return GetDelimitedField(text, kCacheFieldSeparator, kCacheFieldSeparator, n);
}

void SplitFields(std::string_view line, char separator, std::vector<std::string_view>& fields) {
    // A plain walk: fields are mostly short (a cache record's), and a search call each
    // costs more than the bytes it passes.
    fields.clear();
    const char* start = line.data();
    const char* const end = start + line.size();
    for (const char* at = start; at != end; ++at) {
        if (*at != separator) continue;
        fields.emplace_back(start, static_cast<size_t>(at - start));
        start = at + 1;
    }
    fields.emplace_back(start, static_cast<size_t>(end - start));
}

std::vector<std::string_view> SplitFields(std::string_view line, char separator) {
    std::vector<std::string_view> fields;
    SplitFields(line, separator, fields);
    return fields;
}

void SplitLines(std::string_view text, std::vector<std::string_view>& lines) {
    lines.clear();
    const char* p = text.data();
    const char* end = p + text.size();
    // memchr runs vectorised: find the next LF, then a CR before it. The LF found is
    // kept while lines ended by a CR alone pass, so that such files stay linear.
    const char* lf = nullptr;
    while (p < end) {
        if (lf == nullptr || lf < p) {
            lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
            if (lf == nullptr) lf = end;
        }
        auto* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(lf - p)));
        if (cr) {
            lines.emplace_back(p, static_cast<size_t>(cr - p));
            p = (cr + 1 < end && cr[1] == '\n') ? cr + 2 : cr + 1;
        } else {
            lines.emplace_back(p, static_cast<size_t>(lf - p));
            p = lf + 1;
        }
    }
}

std::string_view TrimView(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && IsTrimmed(text[b])) ++b;
    while (e > b && IsTrimmed(text[e - 1])) --e;
    return text.substr(b, e - b);
}

std::string TrimAndCollapseSpaces(std::string_view text) {
    std::string_view t = TrimView(text);
    std::string out;
    out.reserve(t.size());
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == ' ' && i > 0 && t[i - 1] == ' ') continue;
        out.push_back(t[i]);
    }
    return out;
}

std::string StrCopyRange(std::string_view text, int64_t first, int64_t last) {
    int64_t count = last - first + 1;
    if (first < 1) first = 1;  // the count stays, as with every 1-based copy
    if (count <= 0 || first > static_cast<int64_t>(text.size())) return {};
    return std::string(text.substr(static_cast<size_t>(first - 1), static_cast<size_t>(count)));
}

std::string StrLastChars(std::string_view text, int64_t n) {
    auto len = static_cast<int64_t>(text.size());
    return StrCopyRange(text, len - n + 1, len);
}

std::string ExtractFileNameAnySep(std::string_view text) { return std::string(FileNameViewAnySep(text)); }

std::string_view FileNameViewAnySep(std::string_view text) {
    // A plain walk back: find_last_of tries every separator at every byte.
    size_t at = text.size();
    while (at > 0 && text[at - 1] != '/' && text[at - 1] != '\\') --at;
    return text.substr(at);
}

std::string RemoveFileExt(std::string_view text) { return std::string(WithoutFileExt(text)); }

std::string_view WithoutFileExt(std::string_view text) {
    if (text.size() <= 3) return text;
    size_t dot = text.rfind('.');
    if (dot == std::string_view::npos || dot < text.size() - 4) return text;
    // Only the few characters after the dot can hold a separator; find_last_of would
    // look each character of the whole text up in its set.
    for (size_t i = dot + 1; i < text.size(); ++i)
        if (text[i] == '\\' || text[i] == '/') return text;
    return text.substr(0, dot);
}

namespace {

// The text holds a "/", a "\\" or a NUL byte; eight bytes at a time.
bool HoldsSeparatorOrNul(std::string_view text) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = 0x80 * kOnes;
    auto holds = [](uint64_t w, unsigned char c) {
        const uint64_t x = w ^ (c * kOnes);
        return ((x - kOnes) & ~x & kHigh) != 0;
    };
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, text.data() + i, 8);
        if (holds(w, '/') || holds(w, '\\') || holds(w, 0)) return true;
    }
    for (; i < text.size(); ++i)
        if (text[i] == '/' || text[i] == '\\' || text[i] == '\0') return true;
    return false;
}

}  // namespace

std::string UnsafeNameReason(std::string_view name, bool innerPath) {
    // Nearly every name is one plain part (a whole datafile's are checked at each load):
    // no separator, no NUL, not "." or "..".
    if (!name.empty() && name != "." && name != ".." && !HoldsSeparatorOrNul(name)) return {};
    if (name.empty()) return _("it is empty");
    if (name.find('\0') != std::string_view::npos) return _("it holds a NUL byte");
    if (name[0] == '/' || name[0] == '\\') return _("it starts with a separator");
    size_t start = 0;
    for (;;) {
        const size_t end = name.find_first_of("/\\", start);
        const std::string_view part = name.substr(start, end == std::string_view::npos ? end : end - start);
        if (part == "..") return _("it holds a \"..\" part");
        if (part == ".") return _("it holds a \".\" part");
        if (end == std::string_view::npos) break;
        if (!innerPath) return _("it holds a separator");
        // A folder entry ends with its separator; an empty part anywhere else is a
        // doubled separator, which the file system would fold away.
        if (part.empty()) return _("it holds an empty part");
        start = end + 1;
        if (start == name.size()) break;
    }
    return {};
}

std::string UnsafeNameMessage(std::string_view name, bool innerPath) {
    const std::string reason = UnsafeNameReason(name, innerPath);
    if (reason.empty()) return {};
    std::string shown(name);
    for (char& c : shown)
        if (c == '\0') c = '?';
    return Fmt(_("The name \"%1\" is refused: %2."), {shown, reason});
}

std::string MakeValidFileName(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        switch (c) {
            case '/': case '\\': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
                c = '_';
                break;
            default:
                break;
        }
    }
    return out;
}

std::string AddHttpPrefix(std::string_view url) {
    if (url.find("://") != std::string_view::npos) return std::string(url);
    return "http://" + std::string(url);
}

std::string ComplementCrc(std::string_view crc) {
    if (crc.empty() || crc == "        ") return {};
    std::string upper = UpperCase(crc);
    // Stored data may hold the untranslated text whatever the user's language.
    if (upper == "N/A" || upper == UpperCase(_("N/A"))) return {};
    if (crc.size() > 8) return std::string(crc);
    uint32_t value = 0;
    auto [ptr, ec] = std::from_chars(crc.data(), crc.data() + crc.size(), value, 16);
    if (ec != std::errc() || ptr != crc.data() + crc.size()) return std::string(crc);
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", static_cast<unsigned>(~value));
    return buf;
}

std::string FormatSize(int64_t size) {
    if (size == -1) return _("N/A");
    constexpr int64_t kKB = 1024, kMB = kKB * 1024, kGB = kMB * 1024;
    auto scaled = [](int64_t value, int64_t unit, const char* name) {
        QString number = QLocale().toString(static_cast<double>(value) / static_cast<double>(unit), 'f', 1);
        return number.toStdString() + " " + _(name);
    };
    if (size >= kGB) return scaled(size, kGB, "GB");
    if (size >= kMB) return scaled(size, kMB, "MB");
    if (size >= kKB) return scaled(size, kKB, "KB");
    return std::to_string(size) + " " + _("bytes");
}

std::string ShortenLeft(std::string_view text, int max) {
    if (max < 0) max = 0;
    auto limit = static_cast<size_t>(max);
    std::vector<size_t> starts;
    bool utf8 = Utf8Starts(text, starts);
    size_t length = utf8 ? starts.size() : text.size();
    if (length <= limit) return std::string(text);
    if (limit <= 3) return std::string(limit, '.');
    size_t keep = limit - 3;
    size_t from = utf8 ? starts[length - keep] : text.size() - keep;
    return "..." + std::string(text.substr(from));
}

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string NoSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string ToSlash(std::string name) {
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
}

std::string LowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = LowerChar(c);
    return out;
}

std::string UpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = UpperChar(c);
    return out;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && LowerChar(a[i]) != LowerChar(b[i])) return false;
    return true;
}

int CompareText(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(UpperChar(a[i]));
        auto cb = static_cast<unsigned char>(UpperChar(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool StartsText(std::string_view prefix, std::string_view text) {
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

bool EndsText(std::string_view suffix, std::string_view text) {
    return text.size() >= suffix.size() && SameText(text.substr(text.size() - suffix.size()), suffix);
}

size_t TSameTextHash::operator()(std::string_view text) const noexcept {
    // FNV-1a over the lower-cased bytes.
    uint64_t h = 1469598103934665603ull;
    for (char c : text) {
        h ^= static_cast<unsigned char>(LowerChar(c));
        h *= 1099511628211ull;
    }
    return static_cast<size_t>(h);
}

bool TryStrToInt64(std::string_view text, int64_t& value) {
    if (text.empty()) return false;
    int64_t v = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v, 10);
    if (ec != std::errc() || ptr != text.data() + text.size()) return false;
    value = v;
    return true;
}

}  // namespace qm
