#include <gtest/gtest.h>

#include <QLocale>

#include <unordered_set>

#include "archive/stringsTools.h"

using namespace qm;

namespace {

const std::string A4 = "\xA4";

struct TFieldCase {
    std::string text;
    char start, end;
    int n;
    std::string expected;
};

TEST(StringsTools, DelimitedFieldTable) {
    const TFieldCase cases[] = {
        TFieldCase{"[vol][123]path", '[', ']', 2, "123"}, TFieldCase{"[vol][123]path", '[', ']', 3, ""},
                      TFieldCase{"[vol][123]path", '[', ']', 1, "vol"}, TFieldCase{"", '[', ']', 1, ""},
                      TFieldCase{"a[", '[', ']', 1, ""},                 // the n-th start is the last character
                      TFieldCase{"a[bc", '[', ']', 1, "bc"},             // no end: to the end of the text
                      TFieldCase{"ab]c", '[', ']', 0, "ab"},             // n <= 0: before the first end
                      TFieldCase{"ab]c", '[', ']', -3, "ab"},
                      TFieldCase{"F" + A4 + "x" + A4 + "y", '\xA4', '\xA4', 1, "x"},
                      TFieldCase{"F" + A4 + "x" + A4 + "y", '\xA4', '\xA4', 2, "y"},
                      TFieldCase{"F" + A4 + "x" + A4 + "y", '\xA4', '\xA4', 0, "F"},
                      TFieldCase{"F" + A4 + "x" + A4 + "y", '\xA4', '\xA4', 3, ""},
                      TFieldCase{A4 + A4 + "z", '\xA4', '\xA4', 1, ""},  // empty field between two separators
                      TFieldCase{A4 + A4 + "z", '\xA4', '\xA4', 2, "z"},
                      TFieldCase{"a,,b,", ',', ',', 3, ""}, TFieldCase{"a,,b,", ',', ',', 2, "b"}};
    for (const auto& c : cases) {
        EXPECT_EQ(GetDelimitedField(c.text, c.start, c.end, c.n), c.expected) << c.text << " n=" << c.n;
        // SplitFields gives the same fields when both characters are the separator.
        if (c.start == c.end) {
            auto fields = SplitFields(c.text, c.start);
            EXPECT_EQ(FieldAt(fields, static_cast<size_t>(std::max(c.n, 0))), c.expected) << c.text << " n=" << c.n;
        }
    }
}

TEST(StringsTools, SubFieldAndUtf8Separators) {
    EXPECT_EQ(GetSubField("F" + A4 + "x" + A4 + "y", 1), "x");
    EXPECT_EQ(GetSubField("F" + A4 + "x" + A4 + "y", 2), "y");
    // "ä" is C3 A4 in UTF-8: the raw byte split cuts it, which is why records are split
    // as bytes and only the fields are decoded.
    const std::string line = "\xC3\xA4" + A4 + "b";
    auto fields = SplitFields(line, '\xA4');
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0], "\xC3");
    EXPECT_EQ(fields[2], "b");
    EXPECT_EQ(SplitFields("", ',').size(), 1u);
}

TEST(StringsTools, SplitFieldsReusesTheVector) {
    std::vector<std::string_view> fields{"stale", "stale"};
    SplitFields("one", ',', fields);
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_EQ(fields[0], "one");
}

TEST(StringsTools, SplitLinesOnEveryLineEnd) {
    struct {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\n\rb", {"a", "", "b"}},  // LF then CR are two line ends
        {"\r\n\r\n", {"", ""}},
        {"a\r", {"a"}},
        {"a\n\n", {"a", ""}},
        {"x\xAC\r\ny", {"x\xAC", "y"}},
    };
    std::vector<std::string_view> lines;
    for (const auto& c : cases) {
        SplitLines(c.text, lines);
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end()), c.lines) << c.text;
    }
    // Lines ended by a lone CR, many of them, in a file with one LF at the end.
    std::string many;
    for (int i = 0; i < 20000; ++i) many += "line\r";
    many += "last\n";
    SplitLines(many, lines);
    ASSERT_EQ(lines.size(), 20001u);
    EXPECT_EQ(lines[19999], "line");
    EXPECT_EQ(lines[20000], "last");
}

TEST(StringsTools, LastTokenAndCollapse) {
    EXPECT_EQ(GetLastToken("  dir/sub/file.zip ", '/'), "file.zip");
    EXPECT_EQ(GetLastToken("abc", '/'), "abc");
    EXPECT_EQ(GetLastToken("abc/", '/'), "");
    EXPECT_EQ(GetLastToken("a  b", '/'), "a b");
    EXPECT_EQ(GetLastToken("[v][1]pa  th", ']'), "pa th");
    EXPECT_EQ(TrimAndCollapseSpaces(""), "");
    EXPECT_EQ(TrimAndCollapseSpaces("\t a   b\t\tc \r\n"), "a b\t\tc");
    EXPECT_EQ(TrimAndCollapseSpaces("a \t b"), "a \t b");  // only runs of blanks collapse
    EXPECT_EQ(Trim("\x01 x \x1f"), "x");
    EXPECT_EQ(Trim("\xA0x"), "\xA0x");  // bytes above 32 are data
}

TEST(StringsTools, CopyRangeFollowsOneBasedRules) {
    EXPECT_EQ(StrCopyRange("abcdef", 2, 4), "bcd");
    EXPECT_EQ(StrCopyRange("abcdef", 0, 2), "abc");  // start counts as 1, count of 3 stays
    EXPECT_EQ(StrCopyRange("abcdef", -2, 0), "abc");
    EXPECT_EQ(StrCopyRange("abcdef", 5, 99), "ef");
    EXPECT_EQ(StrCopyRange("abcdef", 7, 9), "");
    EXPECT_EQ(StrCopyRange("abcdef", 4, 3), "");
    EXPECT_EQ(StrCopyRange("abcdef", 4, 1), "");
    EXPECT_EQ(StrLastChars("abcdef", 2), "ef");
    EXPECT_EQ(StrLastChars("abcdef", 10), "abcdef");
    EXPECT_EQ(StrLastChars("abcdef", 0), "");
    EXPECT_EQ(StrLastChars("", 3), "");
}

TEST(StringsTools, FileNames) {
    struct {
        std::string in, name, noExt;
    } cases[] = {
        {"ab", "ab", "ab"},
        {"readme", "readme", "readme"},
        {"x.7z", "x.7z", "x"},
        {"game.zip", "game.zip", "game"},
        {"a.zip.zip", "a.zip.zip", "a.zip"},
        {"a.jpeg", "a.jpeg", "a.jpeg"},
        {".ab", ".ab", ".ab"},
        {"dir\\sub/file.bin", "file.bin", "dir\\sub/file"},
        {"dir/sub\\file.bin", "file.bin", "dir/sub\\file"},
        {"/opt/a.b/x", "x", "/opt/a.b/x"},  // the dot belongs to a folder
        {"c:\\a.b\\x", "x", "c:\\a.b\\x"},
        {"/opt/ab/", "", "/opt/ab/"},
        {"a.", "a.", "a."},
        {"abc.", "abc.", "abc"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtractFileNameAnySep(c.in), c.name) << c.in;
        EXPECT_EQ(RemoveFileExt(c.in), c.noExt) << c.in;
    }
    EXPECT_EQ(MakeValidFileName("a/b\\c:d*e?f\"g<h>i|j k.z"), "a_b_c_d_e_f_g_h_i_j k.z");
    EXPECT_EQ(MakeValidFileName("\xC3\xA4"), "\xC3\xA4");
    EXPECT_EQ(AddHttpPrefix("www.x.org/a"), "http://www.x.org/a");
    EXPECT_EQ(AddHttpPrefix("ftp://x"), "ftp://x");
    EXPECT_EQ(AddHttpPrefix(""), "http://");
}

TEST(StringsTools, NamesThatBecomePaths) {
    using namespace std::string_literals;
    struct {
        std::string name;
        bool asSet, asEntry;  // accepted as a set or file name, as an entry name
    } cases[] = {
        {"pacman", true, true},
        {"pac..man.zip", true, true},
        {"..a", true, true},
        {"dir/a.bin", false, true},
        {"dir\\a.bin", false, true},
        {"dir/", false, true},  // a folder entry
        {"", false, false},
        {"..", false, false},
        {".", false, false},
        {"../evil", false, false},
        {"a/../../x.bin", false, false},
        {"a\\..\\x", false, false},
        {"a/..", false, false},
        {"./a", false, false},
        {"/abs", false, false},
        {"\\abs", false, false},
        {"a//b", false, false},
        {"a\0b"s, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsSafeName(c.name, false), c.asSet) << c.name;
        EXPECT_EQ(IsSafeName(c.name, true), c.asEntry) << c.name;
        EXPECT_EQ(UnsafeNameMessage(c.name, true).empty(), c.asEntry) << c.name;
    }
    EXPECT_EQ(UnsafeNameMessage("../evil", false), "The name \"../evil\" is refused: it holds a \"..\" part.");
    EXPECT_EQ(UnsafeNameMessage("a/b", false), "The name \"a/b\" is refused: it holds a separator.");
    EXPECT_EQ(UnsafeNameMessage("a\0b"s, false), "The name \"a?b\" is refused: it holds a NUL byte.");
}

TEST(StringsTools, ComplementCrc) {
    struct {
        std::string in, out;
    } cases[] = {
        {"00000000", "ffffffff"}, {"ffffffff", "00000000"}, {"1234ABCD", "edcb5432"}, {"1", "fffffffe"},
        {"n/a", ""},              {"N/A", ""},              {"", ""},                 {"        ", ""},
        {"xyz", "xyz"},           {"123456789", "123456789"}, {"-1", "-1"},         {"0x12", "0x12"},
        {" 1234", " 1234"},
    };
    for (const auto& c : cases) EXPECT_EQ(ComplementCrc(c.in), c.out) << c.in;
}

TEST(StringsTools, FormatSizeInEnglish) {
    QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    struct {
        int64_t in;
        std::string out;
    } cases[] = {
        {-1, "N/A"},
        {-5, "-5 bytes"},
        {0, "0 bytes"},
        {500, "500 bytes"},
        {1023, "1023 bytes"},
        {1024, "1.0 KB"},
        {1536, "1.5 KB"},
        {1048575, "1,024.0 KB"},
        {1048576, "1.0 MB"},
        {1073741824, "1.0 GB"},
        {int64_t(5) << 30, "5.0 GB"},
        {int64_t(1234) << 30, "1,234.0 GB"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatSize(c.in), c.out) << c.in;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FormatSize(1536), "1,5 KB");
    QLocale::setDefault(saved);
}

TEST(StringsTools, ShortenLeftIsExactlyMaxLong) {
    EXPECT_EQ(ShortenLeft("abcdefghij", 8), "...fghij");
    EXPECT_EQ(ShortenLeft("abcdefghij", 10), "abcdefghij");
    EXPECT_EQ(ShortenLeft("abcdefghij", 3), "...");
    EXPECT_EQ(ShortenLeft("abcdefghij", 2), "..");
    EXPECT_EQ(ShortenLeft("abcdefghij", 0), "");
    EXPECT_EQ(ShortenLeft("abcdefghij", -4), "");
    EXPECT_EQ(ShortenLeft("", 0), "");
    // Valid UTF-8 is cut between characters: 5 characters, 10 bytes.
    EXPECT_EQ(ShortenLeft("\xC3\xA4\xC3\xB6\xC3\xBC\xE2\x82\xAC" "b", 4), "...b");
    EXPECT_EQ(ShortenLeft("\xC3\xA4\xC3\xB6\xC3\xBC\xE2\x82\xAC" "b", 5), "\xC3\xA4\xC3\xB6\xC3\xBC\xE2\x82\xAC" "b");
    EXPECT_EQ(ShortenLeft("xx\xC3\xA4\xC3\xB6\xE2\x82\xAC" "b", 5), "...\xE2\x82\xAC" "b");
    // Latin-1 bytes are counted as they are.
    EXPECT_EQ(ShortenLeft("abc\xE4\xF6\xFC", 5), "...\xF6\xFC");
}

TEST(StringsTools, AsciiCaseFold) {
    EXPECT_TRUE(SameText("GAME.Zip", "game.zip"));
    EXPECT_FALSE(SameText("game.zip", "game.zi"));
    EXPECT_FALSE(SameText("\xC3\x84", "\xC3\xA4"));  // non-ASCII bytes compare exactly
    EXPECT_FALSE(SameText("@", "`"));                // neighbours of the letter ranges stay apart
    EXPECT_FALSE(SameText("[", "{"));
    EXPECT_EQ(LowerCase("AbC\xC4_Z"), "abc\xC4_z");
    EXPECT_EQ(UpperCase("aBc\xE4_z"), "ABC\xE4_Z");
    EXPECT_EQ(CompareText("abc", "ABD"), -1);
    EXPECT_EQ(CompareText("ABC", "abc"), 0);
    EXPECT_EQ(CompareText("ab", "a"), 1);
    EXPECT_GT(CompareText("a_", "ab"), 0);  // "_" sorts after the letters once they are upper-cased
    EXPECT_GT(CompareText("\xE4", "z"), 0);
    EXPECT_TRUE(StartsText("ROM", "romset"));
    EXPECT_FALSE(StartsText("romset!", "romset"));
    EXPECT_TRUE(EndsText(".ZIP", "a.zip"));
    EXPECT_FALSE(EndsText(".zip", "zip"));
    std::unordered_set<std::string, TSameTextHash, TSameTextEqual> names{"Pacman.zip"};
    EXPECT_EQ(names.count("PACMAN.ZIP"), 1u);
    EXPECT_EQ(names.count("pacman.zi"), 0u);
}

TEST(StringsTools, WholeFieldIntegers) {
    struct {
        std::string in;
        bool ok;
        int64_t value;
    } cases[] = {
        {"0", true, 0},          {"12", true, 12},      {"-7", true, -7},          {"12abc", false, 99},
        {"", false, 99},         {" 12", false, 99},    {"12 ", false, 99},        {"+3", false, 99},
        {"4294967296", true, 4294967296LL}, {"99999999999999999999", false, 99}, {"0x10", false, 99},
    };
    for (const auto& c : cases) {
        int64_t v = 99;
        EXPECT_EQ(TryStrToInt64(c.in, v), c.ok) << c.in;
        EXPECT_EQ(v, c.value) << c.in;
    }
}

}  // namespace
