#pragma once
// Free routines on byte strings: fields of record lines, file names, URLs, and display
// texts for CRCs and byte counts. Texts are bytes, never re-encoded; positions are
// 1-based and follow the usual substring rules (a start below 1 counts as 1, the count
// stays). None of them raises.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// ---- Fields and tokens --------------------------------------------------------------

// The part of TrimAndCollapseSpaces(text) after the last separator: the whole cleaned
// text when the separator does not occur, empty when the cleaned text ends with it.
std::string GetLastToken(std::string_view text, char separator);

// The text after the n-th startChar up to (not including) the next endChar, or to the
// end when no endChar follows. Empty when the n-th startChar is never reached or is the
// last character. n <= 0 gives the text before the first endChar.
std::string GetDelimitedField(std::string_view text, char startChar, char endChar, int n);

// Field n of a cache-file record line (fields separated by the byte 0xA4).
std::string GetSubField(std::string_view text, int n);

// The byte that separates the fields of a cache-file record.
inline constexpr char kCacheFieldSeparator = '\xA4';

// Splits a line at every separator without copying: fields[0] is the text before the
// first separator, fields[n] the text between the n-th and the (n+1)-th, as
// GetDelimitedField(line, sep, sep, n) gives it. A line without the separator is one
// field. The views point into line. The vector is cleared first, so one vector can be
// reused for every line of a file.
void SplitFields(std::string_view line, char separator, std::vector<std::string_view>& fields);
std::vector<std::string_view> SplitFields(std::string_view line, char separator);

// fields[n], or an empty view when the line has fewer fields.
inline std::string_view FieldAt(const std::vector<std::string_view>& fields, size_t n) {
    return n < fields.size() ? fields[n] : std::string_view();
}

// Splits a text into lines without copying: CR, LF and CR LF each end a line; a last
// line without an end is kept, and an end at the very end adds no empty line. The
// vector is cleared first.
void SplitLines(std::string_view text, std::vector<std::string_view>& lines);

// ---- Trimming and substrings --------------------------------------------------------

// The text without leading and trailing bytes of code 0 to 32.
std::string_view TrimView(std::string_view text);
inline std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

// Trimmed as Trim, then every run of blanks (only " ") becomes one blank; tabs and
// other control bytes inside the text stay.
std::string TrimAndCollapseSpaces(std::string_view text);

// The characters from position first to position last, both included.
std::string StrCopyRange(std::string_view text, int64_t first, int64_t last);

// The last n characters (the whole text when it is shorter).
std::string StrLastChars(std::string_view text, int64_t n);

// ---- File names and URLs ------------------------------------------------------------

// The text after the last "\" or "/"; the whole text when neither occurs.
std::string ExtractFileNameAnySep(std::string_view text);
// The same as a view into text.
std::string_view FileNameViewAnySep(std::string_view text);

// The name without an extension of one to three characters: game.zip -> game,
// a.zip.zip -> a.zip, a.jpeg and texts of three characters or fewer stay. Only a "."
// after the last "/" or "\" counts, so a dotted folder in a path is left alone.
std::string RemoveFileExt(std::string_view text);
// The same, as a view into text.
std::string_view WithoutFileExt(std::string_view text);

// "/", "\", ":", "*", "?", '"', "<", ">" and "|" replaced by "_"; the length is kept.
std::string MakeValidFileName(std::string_view text);

// ---- Names that become paths ---------------------------------------------------------
// A name read from a datafile or an archive becomes a file or entry name below a folder
// only when it cannot reach outside that folder: not empty, no NUL byte, no leading "/"
// or "\", no "." or ".." part. A set or file name (innerPath false) holds no separator
// at all; an entry name may hold inner folders ("dir/a.bin", a folder entry "dir/").
// "\" counts as a separator, as it does in stored entry names.

// Why name may not become such a path, or "" when it may.
std::string UnsafeNameReason(std::string_view name, bool innerPath);
inline bool IsSafeName(std::string_view name, bool innerPath) { return UnsafeNameReason(name, innerPath).empty(); }
// The text a refusal shows: "The name "<name>" is refused: <reason>."
std::string UnsafeNameMessage(std::string_view name, bool innerPath);

// The URL with "http://" in front unless it already holds "://".
std::string AddHttpPrefix(std::string_view url);

// ---- Display texts ------------------------------------------------------------------

// The complement of a hexadecimal CRC of at most 8 digits, as 8 lower-case digits.
// Empty for an empty value, eight blanks and "N/A" (translated or not, any case); any
// other value that is not such a number comes back unchanged.
std::string ComplementCrc(std::string_view crc);

// "N/A" for -1; else GB, MB or KB with one decimal and the locale's separators, or the
// plain count and "bytes" below 1024 (and for other negative values). UTF-8.
std::string FormatSize(int64_t size);

// A text longer than max characters becomes "..." and its last max - 3 characters, so
// that it is exactly max characters long (max below 3: that many dots). Valid UTF-8 is
// counted and cut by characters, anything else by bytes.
std::string ShortenLeft(std::string_view text, int max);

// ---- ASCII case fold ----------------------------------------------------------------
// Comparisons "without regard to case" fold ASCII letters only: fast, locale-free, and
// the bytes of other characters compare exactly.

inline char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string LowerCase(std::string_view text);

// A folder name as the program keeps it, ending with one "/" ("" gives "/"), and the
// same name without its closing slashes (the root stays "/"), as system calls take it.
std::string WithSlash(std::string folder);
std::string NoSlash(std::string folder);
// An entry name of an archive with "\\" read as "/", as the program spells them.
std::string ToSlash(std::string name);
std::string UpperCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);
// <0, 0 or >0 as a sorts before, with or after b once both are upper-cased.
int CompareText(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view text);
bool EndsText(std::string_view suffix, std::string_view text);

// Hash and equality for unordered containers keyed without regard to case.
struct TSameTextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const noexcept;
};
struct TSameTextEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return SameText(a, b); }
};

// ---- Numbers ------------------------------------------------------------------------

// Reads a whole text as a decimal integer (an optional "-", then digits only):
// "12abc", "", " 12" and out-of-range values fail. Returns false and leaves value alone
// on failure.
bool TryStrToInt64(std::string_view text, int64_t& value);

}  // namespace qm
