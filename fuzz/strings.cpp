// The string and file-name routines on arbitrary bytes: none may raise, read out of
// bounds or break the promises its header makes.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "archive/stringsTools.h"
#include "support/FuzzSupport.h"

using namespace qm;
using qm::fuzz::Check;
using qm::fuzz::Printable;

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

void CheckFields(std::string_view line, char separator) {
    const auto fields = SplitFields(line, separator);
    std::string joined;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) joined += separator;
        joined.append(fields[i]);
    }
    Check(joined == line, "SplitFields loses bytes of " + Printable(line));
    Check(fields.size() == static_cast<size_t>(std::count(line.begin(), line.end(), separator)) + 1,
          "SplitFields gives a wrong field count");
    for (size_t n = 1; n < fields.size() && n < 12; ++n) {
        Check(GetDelimitedField(line, separator, separator, static_cast<int>(n)) == fields[n],
              "SplitFields and GetDelimitedField differ on field " + std::to_string(n) + " of " +
                  Printable(line));
    }
    (void)GetSubField(line, static_cast<int>(fields.size() % 11));
}

void CheckLines(std::string_view text) {
    std::vector<std::string_view> lines;
    SplitLines(text, lines);
    size_t bytes = 0;
    for (auto l : lines) {
        Check(l.find_first_of("\r\n") == std::string_view::npos, "a line holds a line break");
        Check(l.data() >= text.data() && l.data() + l.size() <= text.data() + text.size(),
              "a line points outside the text");
        bytes += l.size();
    }
    Check(bytes <= text.size(), "lines longer than the text");
}

void CheckTrim(std::string_view text) {
    const auto t = TrimView(text);
    Check(t.empty() || (!IsBlank(t.front()) && !IsBlank(t.back())), "TrimView leaves blanks");
    Check(text.find(t) != std::string_view::npos, "TrimView is no part of the text");
    const std::string c = TrimAndCollapseSpaces(text);
    Check(c.find("  ") == std::string::npos, "TrimAndCollapseSpaces leaves two blanks: " + Printable(c));
    Check(c.empty() || (!IsBlank(c.front()) && !IsBlank(c.back())), "TrimAndCollapseSpaces leaves blanks");
}

void CheckNames(std::string_view text) {
    const std::string name = ExtractFileNameAnySep(text);
    Check(name.find_first_of("/\\") == std::string::npos, "ExtractFileNameAnySep keeps a separator");
    Check(text.size() >= name.size() && text.substr(text.size() - name.size()) == name,
          "ExtractFileNameAnySep is not the end of the text");
    const std::string bare = RemoveFileExt(text);
    Check(text.substr(0, bare.size()) == bare, "RemoveFileExt is not the start of the text");
    Check(text.size() - bare.size() <= 4, "RemoveFileExt cuts more than an extension");
    const std::string valid = MakeValidFileName(text);
    Check(valid.size() == text.size(), "MakeValidFileName changes the length");
    Check(valid.find_first_of("/\\:*?\"<>|") == std::string::npos, "MakeValidFileName leaves " + Printable(valid));
    Check(AddHttpPrefix(text).find("://") != std::string::npos, "AddHttpPrefix gives no scheme");
}

void CheckCase(std::string_view a, std::string_view b) {
    const std::string lower = LowerCase(a), upper = UpperCase(a);
    Check(lower.size() == a.size() && upper.size() == a.size(), "case change alters the length");
    Check(SameText(a, upper) && SameText(lower, a), "SameText misses a case variant");
    Check(TSameTextHash()(a) == TSameTextHash()(upper), "hash differs for case variants");
    Check(SameText(a, b) == (CompareText(a, b) == 0), "SameText and CompareText disagree");
    const int ab = CompareText(a, b), ba = CompareText(b, a);
    Check((ab < 0) == (ba > 0) && (ab == 0) == (ba == 0), "CompareText is not antisymmetric");
    Check(StartsText(a.substr(0, a.size() / 2), upper), "StartsText misses a prefix");
    Check(EndsText(a.substr(a.size() / 2), lower), "EndsText misses a suffix");
    if (a.size() > b.size()) Check(!StartsText(a, b) && !EndsText(a, b), "a longer text is a prefix");
}

void CheckNumbers(std::string_view text, int64_t n) {
    int64_t value = 42;
    if (TryStrToInt64(text, value)) {
        Check(!text.empty(), "an empty text reads as a number");
        const size_t start = text[0] == '-' ? 1 : 0;
        Check(text.size() > start && text.find_first_not_of("0123456789", start) == std::string_view::npos,
              "TryStrToInt64 takes " + Printable(text));
        int64_t back = 0;
        Check(TryStrToInt64(std::to_string(value), back) && back == value, "a number does not read back");
    } else {
        Check(value == 42, "TryStrToInt64 changes the value on failure");
    }
    (void)FormatSize(n);
    (void)StrCopyRange(text, n % 1000, (n >> 16) % 1000);
    (void)StrCopyRange(text, n, n >> 3);
    const std::string last = StrLastChars(text, n % 1000);
    if (n % 1000 >= 0) Check(last.size() == std::min<size_t>(text.size(), n % 1000), "StrLastChars length");
    const int max = static_cast<int>(n % 300);
    const std::string shortened = ShortenLeft(text, max);
    if (max >= 0) Check(shortened.size() <= std::max<size_t>(text.size(), static_cast<size_t>(max)),
                        "ShortenLeft makes a text longer");
    const std::string crc = ComplementCrc(text);
    if (crc.size() == 8 && crc != text && crc.find_first_not_of("0123456789abcdef") == std::string::npos &&
        text.size() == 8 && text.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos)
        Check(ComplementCrc(crc) == LowerCase(text), "ComplementCrc twice is not the CRC");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const char separator = in.ConsumeBool() ? static_cast<char>(0xAC) : in.ConsumeIntegral<char>();
    const int64_t n = in.ConsumeIntegral<int64_t>();
    const char tokenSep = in.ConsumeIntegral<char>();
    const std::string a = in.ConsumeRandomLengthString(4096);
    const std::string b = in.ConsumeRemainingBytesAsString();

    CheckFields(a, separator);
    CheckFields(b, kCacheFieldSeparator);
    CheckLines(a);
    CheckLines(b);
    CheckTrim(a);
    CheckNames(a);
    CheckNames(b);
    CheckCase(a, b);
    CheckNumbers(a, n);
    CheckNumbers(b, ~n);
    (void)GetLastToken(a, tokenSep);
    (void)GetDelimitedField(a, tokenSep, separator, static_cast<int>(n % 16));
    return 0;
}
