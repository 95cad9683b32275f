// The rename engine against archives written by Info-ZIP zip, Python and a small raw
// writer below; every result is judged by Info-ZIP unzip and Python's zipfile and zlib,
// never by the engine itself.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <cerrno>
#include <filesystem>
#include <map>
#include <sstream>

#include "archive/ZipNameRewriter.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

using namespace qm;
using namespace qm::archive;
using qm::test::ReadFile;
using qm::test::RunCommand;
using qm::test::ShellQuote;
using qm::test::TTempDir;
using qm::test::WriteFile;

namespace {

// ---- a raw zip writer, for layouts Info-ZIP does not produce ------------------------

struct TRawEntry {
    std::string name;
    std::string data;
    int descriptor = 0;  // 0 none, 1 with its signature, 2 without
    uint16_t flags = 0;
};

void Put16(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xff);
    s += static_cast<char>(v >> 8);
}
void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
}
uint32_t Crc(const std::string& data) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string RawZip(const std::vector<TRawEntry>& entries, const std::string& comment = "") {
    std::string out, central;
    for (const TRawEntry& e : entries) {
        const uint32_t offset = static_cast<uint32_t>(out.size());
        const uint16_t flags = e.flags | (e.descriptor ? 0x0008 : 0);
        const uint32_t crc = Crc(e.data);
        const uint32_t size = static_cast<uint32_t>(e.data.size());
        Put32(out, 0x04034b50);
        Put16(out, 20);
        Put16(out, flags);
        Put16(out, 0);       // stored
        Put16(out, 0);       // time
        Put16(out, 0x0021);  // 1980-01-01
        // With a descriptor the local header leaves CRC and sizes at 0, as streaming
        // writers do.
        Put32(out, e.descriptor ? 0 : crc);
        Put32(out, e.descriptor ? 0 : size);
        Put32(out, e.descriptor ? 0 : size);
        Put16(out, static_cast<uint16_t>(e.name.size()));
        Put16(out, 0);
        out += e.name + e.data;
        if (e.descriptor == 1) Put32(out, 0x08074b50);
        if (e.descriptor) {
            Put32(out, crc);
            Put32(out, size);
            Put32(out, size);
        }
        Put32(central, 0x02014b50);
        Put16(central, 20);
        Put16(central, 20);
        Put16(central, flags);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0x0021);
        Put32(central, crc);
        Put32(central, size);
        Put32(central, size);
        Put16(central, static_cast<uint16_t>(e.name.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, 0);
        Put32(central, offset);
        central += e.name;
    }
    const uint32_t centralOffset = static_cast<uint32_t>(out.size());
    out += central;
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint16_t>(entries.size()));
    Put16(out, static_cast<uint16_t>(entries.size()));
    Put32(out, static_cast<uint32_t>(central.size()));
    Put32(out, centralOffset);
    Put16(out, static_cast<uint16_t>(comment.size()));
    out += comment;
    return out;
}

// ---- the independent checkers --------------------------------------------------------

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

const char* const kPythonCheck = R"PY(
import sys, zipfile, zlib
with zipfile.ZipFile(sys.argv[1]) as z:
    print("testzip", z.testzip())
    print("comment", z.comment.hex())
    for i in z.infolist():
        data = z.read(i)
        print("entry", i.filename, "%08x" % i.CRC, "%08x" % (zlib.crc32(data) & 0xffffffff),
              i.flag_bits & 0x800, "%04d%02d%02d%02d%02d%02d" % i.date_time)
)PY";

struct TPyEntry {
    std::string name, crc, dataCrc, utf8, date;
};

struct TPyReport {
    std::string testzip, comment;
    std::vector<TPyEntry> entries;
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : entries) names.push_back(e.name);
        return names;
    }
};

TPyReport PythonReport(const std::string& zip) {
    const std::string script = std::filesystem::path(zip).parent_path().string() + "/check.py";
    WriteFile(script, kPythonCheck);
    int rc = -1;
    const std::string out =
        RunCommand("PYTHONIOENCODING=utf-8 python3 " + ShellQuote(script) + " " + ShellQuote(zip) + " 2>&1", &rc);
    std::filesystem::remove(script);
    EXPECT_EQ(rc, 0) << out;
    TPyReport report;
    for (const std::string& line : Lines(out)) {
        std::istringstream in(line);
        std::string kind;
        in >> kind;
        if (kind == "testzip") in >> report.testzip;
        else if (kind == "comment") in >> report.comment;
        else if (kind == "entry") {
            TPyEntry e;
            in >> e.name >> e.crc >> e.dataCrc >> e.utf8 >> e.date;
            report.entries.push_back(e);
        }
    }
    return report;
}

// Checks an archive the engine wrote: Info-ZIP's test passes without complaint about
// names, both tools list the expected names in order, every CRC matches its content and
// the comment is kept. contents: entry name -> bytes.
void ExpectSound(const std::string& zip, const std::vector<std::string>& names,
                 const std::map<std::string, std::string>& contents, const std::string& commentHex = "",
                 bool unzipNames = true) {
    int rc = -1;
    const std::string test = RunCommand("unzip -t " + ShellQuote(zip) + " 2>&1", &rc);
    EXPECT_EQ(rc, 0) << test;
    EXPECT_EQ(test.find("mismatch"), std::string::npos) << test;
    if (unzipNames) {
        EXPECT_EQ(Lines(RunCommand("unzip -Z1 " + ShellQuote(zip))), names);
    }
    const TPyReport py = PythonReport(zip);
    EXPECT_EQ(py.testzip, "None");
    EXPECT_EQ(py.comment, commentHex);
    EXPECT_EQ(py.Names(), names);
    for (const TPyEntry& e : py.entries) {
        EXPECT_EQ(e.crc, e.dataCrc) << e.name;
        auto it = contents.find(e.name);
        if (it != contents.end()) {
            char want[9];
            std::snprintf(want, sizeof want, "%08x", Crc(it->second));
            EXPECT_EQ(e.dataCrc, want) << e.name;
        }
    }
}

ino_t Inode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
}

// Every file of a folder but the given ones: leftovers of the engine.
std::vector<std::string> Others(const std::string& folder, const std::vector<std::string>& keep) {
    std::vector<std::string> others;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (std::find(keep.begin(), keep.end(), name) == keep.end()) others.push_back(name);
    }
    return others;
}

std::string Zip(const TTempDir& dir, const std::string& options, const std::map<std::string, std::string>& files,
                const std::string& comment = "") {
    const std::string src = dir / "src/";
    std::string args;
    for (const auto& [name, data] : files) {
        if (name.back() == '/') std::filesystem::create_directories(src + name);
        else WriteFile(src + name, data);
        args += " " + ShellQuote(name);
    }
    const std::string zip = dir / "set.zip";
    std::string cmd = "cd " + ShellQuote(src) + " && zip -q -X " + options + " " + ShellQuote(zip) + args;
    if (!comment.empty()) cmd = "printf %s " + ShellQuote(comment) + " | (" + cmd + " -z)";
    int rc = -1;
    const std::string out = RunCommand(cmd + " 2>&1", &rc);
    EXPECT_EQ(rc, 0) << out;
    std::filesystem::remove_all(src);
    return zip;
}

}  // namespace

// ---- archives from Info-ZIP zip -------------------------------------------------------

TEST(ZipNameRewriter, RenamesInInfoZipArchives) {
    std::string big;
    for (int64_t i = 0; i < 3 * 1024 * 1024 / 7; ++i) big += std::to_string(i * 7919 % 1000003);
    const std::map<std::string, std::string> files = {
        {"a.bin", "alpha"}, {"big.rom", big}, {"dir/", ""}, {"dir/c.bin", "gamma in a folder"}};
    struct TCase {
        const char* label;
        std::string options, comment;
        TRenameList list;
        std::vector<std::string> after;
        bool inPlace;
    };
    const std::vector<TCase> cases = {
        {"stored, same length", "-0", "", {{"a.bin", "z.bin"}}, {"z.bin", "big.rom", "dir/", "dir/c.bin"}, true},
        {"deflated, same length", "-9", "", {{"dir/c.bin", "dir/y.bin"}}, {"a.bin", "big.rom", "dir/", "dir/y.bin"},
         true},
        {"deflated, longer", "-9", "", {{"a.bin", "longer-name.bin"}},
         {"longer-name.bin", "big.rom", "dir/", "dir/c.bin"}, false},
        {"stored, shorter, comment", "-0", "set comment\nline two", {{"big.rom", "b.r"}},
         {"a.bin", "b.r", "dir/", "dir/c.bin"}, false},
        {"deflated, comment, same length", "-6", "kept", {{"big.rom", "BIG.ROM"}},
         {"a.bin", "BIG.ROM", "dir/", "dir/c.bin"}, true},
        {"folder, longer", "-9", "", {{"dir/", "folder/"}}, {"a.bin", "big.rom", "folder/", "folder/c.bin"}, false},
        {"folder, same length", "-0", "", {{"dir/", "new/x"}}, {"a.bin", "big.rom", "new/", "new/c.bin"}, true},
        {"several at once", "-9", "",
         {{"a.bin", "a2.bin"}, {"dir/c.bin", "c.bin"}, {"big.rom", "huge.rom"}},
         {"a2.bin", "huge.rom", "dir/", "c.bin"}, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.label);
        TTempDir dir;
        const std::string zip = Zip(dir, c.options + " -r", files, c.comment);
        const std::string comment = PythonReport(zip).comment;
        EXPECT_EQ(comment.empty(), c.comment.empty());
        const ino_t before = Inode(zip);
        RewriteZipNames(zip, c.list);
        EXPECT_EQ(Inode(zip) == before, c.inPlace);
        std::map<std::string, std::string> contents;
        for (size_t i = 0; i < c.after.size(); ++i) {
            // Entries keep their order; map each new name to the old content.
            static const std::vector<std::string> order = {"a.bin", "big.rom", "dir/", "dir/c.bin"};
            contents[c.after[i]] = files.at(order[i]);
        }
        ExpectSound(zip, c.after, contents, comment);
        // The data went over untouched, byte for byte.
        EXPECT_EQ(RunCommand("unzip -p " + ShellQuote(zip) + " " + ShellQuote(c.after[1])), big);
        EXPECT_TRUE(Others(dir.Path(), {"set.zip"}).empty());
    }
}

TEST(ZipNameRewriter, KeepsTheModeOfARewrittenArchive) {
    TTempDir dir;
    const std::string zip = Zip(dir, "-0", {{"a.bin", "x"}});
    ASSERT_EQ(::chmod(zip.c_str(), 0640), 0);
    RewriteZipNames(zip, {{"a.bin", "longer.bin"}});
    struct stat st {};
    ::stat(zip.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(ZipNameRewriter, RewritesThroughASymbolicLink) {
    TTempDir dir;
    const std::string zip = Zip(dir, "-0", {{"a.bin", "x"}});
    const std::string link = dir / "link.zip";
    ASSERT_EQ(::symlink(zip.c_str(), link.c_str()), 0);
    RewriteZipNames(link, {{"a.bin", "longer.bin"}});
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ExpectSound(zip, {"longer.bin"}, {{"longer.bin", "x"}});
    EXPECT_TRUE(Others(dir.Path(), {"set.zip", "link.zip"}).empty());
}

// ---- layouts from the raw writer -------------------------------------------------------

TEST(ZipNameRewriter, CarriesDataDescriptorsOver) {
    // Streaming writers leave the local sizes at 0: the data must still be copied.
    for (int descriptor : {1, 2}) {
        for (const char* newName : {"b.bin", "much-longer.bin"}) {
            SCOPED_TRACE(std::to_string(descriptor) + " " + newName);
            TTempDir dir;
            const std::string zip = dir / "d.zip";
            WriteFile(zip, RawZip({{"a.bin", "descriptor data", descriptor},
                                   {"n.bin", std::string(70000, 'n'), descriptor}}));
            RewriteZipNames(zip, {{"a.bin", newName}});
            ExpectSound(zip, {newName, "n.bin"},
                        {{newName, "descriptor data"}, {"n.bin", std::string(70000, 'n')}});
        }
    }
}

TEST(ZipNameRewriter, PythonStreamedArchive) {
    // Python writes a data descriptor with its signature when the output cannot seek.
    TTempDir dir;
    const std::string zip = dir / "py.zip";
    int rc = -1;
    const std::string out = RunCommand(
        "python3 -c " +
            ShellQuote("import zipfile,sys\n"
                       "class W:\n"
                       "  def __init__(s,f): s.f=f\n"
                       "  def write(s,b): return s.f.write(b)\n"
                       "  def flush(s): s.f.flush()\n"
                       "with open(sys.argv[1],'wb') as f:\n"
                       "  with zipfile.ZipFile(W(f),'w',zipfile.ZIP_DEFLATED) as z:\n"
                       "    z.writestr('x/one.bin', b'1'*5000)\n"
                       "    z.writestr('two.bin', b'2'*10)\n") +
            " " + ShellQuote(zip) + " 2>&1",
        &rc);
    ASSERT_EQ(rc, 0) << out;
    RewriteZipNames(zip, {{"x/one.bin", "x/first.bin"}});
    ExpectSound(zip, {"x/first.bin", "two.bin"},
                {{"x/first.bin", std::string(5000, '1')}, {"two.bin", std::string(10, '2')}});
}

namespace {

struct TMatchCase {
    const char* label;
    std::vector<std::string> entries;
    TRenameList list;
    std::vector<std::string> after;  // empty: the call must raise
    std::string error;               // the message then expected
};

void RunMatchCase(const TMatchCase& c) {
    SCOPED_TRACE(c.label);
    TTempDir dir;
    const std::string zip = dir / "m.zip";
    std::vector<TRawEntry> raw;
    std::map<std::string, std::string> contents;
    for (size_t i = 0; i < c.entries.size(); ++i) {
        const char last = c.entries[i].back();
        raw.push_back({c.entries[i], last == '/' || last == '\\' ? "" : "content " + std::to_string(i)});
        if (!c.after.empty()) contents[c.after[i]] = raw.back().data;
    }
    WriteFile(zip, RawZip(raw));
    const std::string before = ReadFile(zip);
    if (c.after.empty()) {
        try {
            RewriteZipNames(zip, c.list);
            ADD_FAILURE() << "nothing raised";
        } catch (const EArchiveException& e) {
            EXPECT_EQ(e.Message(), c.error);
            EXPECT_EQ(e.ArchiveName, zip);
        }
        EXPECT_EQ(ReadFile(zip), before);
    } else {
        RewriteZipNames(zip, c.list);
        if (c.after == c.entries) EXPECT_EQ(ReadFile(zip), before);
        else ExpectSound(zip, c.after, contents, "", false);
    }
    EXPECT_TRUE(Others(dir.Path(), {"m.zip"}).empty());
}

}  // namespace

TEST(ZipNameRewriter, MatchesEachEntryAgainstItsOriginalName) {
    const std::string kFileToPath = "Can't rename file to path or path to file.";
    const std::vector<TMatchCase> cases = {
        {"same length renames only the exact name", {"a.bin", "dir/a.bin", "xa.bin"}, {{"a.bin", "b.bin"}},
         {"b.bin", "dir/a.bin", "xa.bin"}, ""},
        {"other length too", {"a.bin", "dir/a.bin", "xa.bin"}, {{"a.bin", "bb.bin"}},
         {"bb.bin", "dir/a.bin", "xa.bin"}, ""},
        {"swap, same length", {"a.bin", "b.bin"}, {{"a.bin", "b.bin"}, {"b.bin", "a.bin"}}, {"b.bin", "a.bin"}, ""},
        {"swap, other lengths", {"a.bin", "bb.bin"}, {{"a.bin", "bb.bin"}, {"bb.bin", "a.bin"}},
         {"bb.bin", "a.bin"}, ""},
        {"chain", {"a", "b"}, {{"a", "b"}, {"b", "c"}}, {"b", "c"}, ""},
        {"onto an existing name", {"a.bin", "b.bin"}, {{"a.bin", "b.bin"}}, {},
         "File b.bin already exists in the archive."},
        {"two onto one name", {"a.bin", "b.bin"}, {{"a.bin", "c.bin"}, {"b.bin", "c.bin"}}, {},
         "File c.bin already exists in the archive."},
        {"onto an existing name, longer", {"a.bin", "bb.bin"}, {{"a.bin", "bb.bin"}}, {},
         "File bb.bin already exists in the archive."},
        {"without regard to case", {"a.bin"}, {{"A.BIN", "c.bin"}}, {"c.bin"}, ""},
        {"exact name first", {"a.bin", "A.BIN"}, {{"A.BIN", "z.bin"}}, {"a.bin", "z.bin"}, ""},
        {"case change only", {"a.bin"}, {{"a.bin", "A.BIN"}}, {"A.BIN"}, ""},
        {"bare name keeps the folder", {"dir/a.bin"}, {{"a.bin", "bb.bin"}}, {"dir/bb.bin"}, ""},
        {"stored backslash", {"dir\\a.bin"}, {{"dir/a.bin", "dir/bb.bin"}}, {"dir/bb.bin"}, ""},
        {"backslash item", {"dir/a.bin"}, {{"dir\\a.bin", "dir\\bb.bin"}}, {"dir/bb.bin"}, ""},
        {"folder, same length", {"old/", "old/x.bin", "oldx.bin", "b/old/y"}, {{"old/", "new/"}},
         {"new/", "new/x.bin", "oldx.bin", "b/old/y"}, ""},
        {"folder, longer", {"old/", "old/x.bin", "oldx.bin"}, {{"old\\", "newer\\"}},
         {"newer/", "newer/x.bin", "oldx.bin"}, ""},
        {"folder without its own entry", {"old/x.bin", "old/s/y.bin"}, {{"OLD/", "n/"}}, {"n/x.bin", "n/s/y.bin"},
         ""},
        {"folder onto an existing entry", {"old/x", "new/x"}, {{"old/", "new/"}}, {},
         "File new/x already exists in the archive."},
        {"first item wins", {"a.bin"}, {{"a.bin", "first.bin"}, {"a.bin", "second.bin"}}, {"first.bin"}, ""},
        {"unknown item is passed over", {"a.bin"}, {{"zz.bin", "y.bin"}}, {"a.bin"}, ""},
        {"empty list", {"a.bin"}, {}, {"a.bin"}, ""},
        {"file to folder", {"a.bin"}, {{"a.bin", "dir/"}}, {}, kFileToPath},
        {"folder to file", {"old/x"}, {{"old/", "x.bin"}}, {}, kFileToPath},
        {"empty new name", {"a.bin"}, {{"a.bin", ""}}, {}, kFileToPath},
    };
    for (const TMatchCase& c : cases) RunMatchCase(c);
}

TEST(ZipNameRewriter, NamesOutsideAscii) {
    TTempDir dir;
    const std::string zip = dir / "u.zip";
    // "\x82" is e-acute in code page 437, the encoding of names without the UTF-8 flag.
    WriteFile(zip, RawZip({{"caf\x82.bin", "one"}, {"plain.bin", "two"}}));
    // The entry answers to its listing (code page 437 read as UTF-8) and gets a UTF-8 name.
    RewriteZipNames(zip, {{"caf\xC3\xA9.bin", "\xC3\xA9t\xC3\xA9.bin"}, {"plain.bin", "pl\xC3\xA2in.bin"}});
    TPyReport py = PythonReport(zip);
    ASSERT_EQ(py.entries.size(), 2u);
    EXPECT_EQ(py.entries[0].name, "\xC3\xA9t\xC3\xA9.bin");
    EXPECT_EQ(py.entries[0].utf8, "2048");
    EXPECT_EQ(py.entries[1].name, "pl\xC3\xA2in.bin");
    EXPECT_EQ(py.entries[1].utf8, "2048");
    ExpectSound(zip, {"\xC3\xA9t\xC3\xA9.bin", "pl\xC3\xA2in.bin"}, {}, "", false);
    // The stored bytes themselves match too.
    WriteFile(zip, RawZip({{"caf\x82.bin", "one"}}));
    RewriteZipNames(zip, {{"caf\x82.bin", "cafe.bin"}});
    EXPECT_EQ(PythonReport(zip).Names(), std::vector<std::string>{"cafe.bin"});
}

TEST(ZipNameRewriter, StampsTheRenamedEntry) {
    TTempDir dir;
    const std::string zip = dir / "s.zip";
    WriteFile(zip, RawZip({{"a.bin", "x"}, {"b.bin", "y"}}));
    // 2003-04-05 06:07:08: date (23 << 9 | 4 << 5 | 5), time (6 << 11 | 7 << 5 | 4).
    const int32_t stamp = (23 << 9 | 4 << 5 | 5) << 16 | (6 << 11 | 7 << 5 | 4);
    RewriteZipNames(zip, {{"a.bin", "c.bin", stamp}});
    TPyReport py = PythonReport(zip);
    ASSERT_EQ(py.entries.size(), 2u);
    EXPECT_EQ(py.entries[0].date, "20030405060708");
    EXPECT_EQ(py.entries[1].date, "19800101000000");
    ExpectSound(zip, {"c.bin", "b.bin"}, {{"c.bin", "x"}, {"b.bin", "y"}});
}

// ---- hostile input: refused, and the file stays as it was ------------------------------

TEST(ZipNameRewriter, RefusesDamagedArchivesAndChangesNothing) {
    const std::string good = RawZip({{"a.bin", "alpha"}, {"b.bin", "beta"}}, "comment");
    const size_t endPos = good.size() - 22 - 7;
    const size_t centralPos = good.size() - 22 - 7 - 2 * (46 + 5);
    auto patched = [&](size_t at, const std::string& bytes) {
        std::string s = good;
        s.replace(at, bytes.size(), bytes);
        return s;
    };
    std::string zip64 = RawZip({{"a.bin", "alpha"}});
    zip64.replace(zip64.size() - 22 + 8, 4, std::string(4, '\xff'));
    struct TCase {
        const char* label;
        std::string bytes;
        const std::type_info& type;
        std::string message;
    };
    const std::vector<TCase> cases = {
        {"empty file", "", typeid(ESystemError), "Can't read file."},
        {"not a zip", std::string(300, 'x'), typeid(ECorrupted), "Can't find the end of the central directory."},
        {"end record cut", good.substr(0, good.size() - 10), typeid(ECorrupted),
         "Can't find the end of the central directory."},
        {"central directory cut", good.substr(0, centralPos + 20) + good.substr(endPos), typeid(ECorrupted),
         "Central directory damaged."},
        {"entries cut", good.substr(0, 40) + good.substr(centralPos), typeid(ECorrupted),
         "Central directory damaged."},
        {"wrong central offset", patched(endPos + 16, "\x01"), typeid(ECorrupted), "Central directory damaged."},
        {"wrong entry count", patched(endPos + 8, std::string("\x03\x00\x03\x00", 4)), typeid(ECorrupted),
         "Central directory damaged."},
        {"central signature", patched(centralPos, "PK\x09\x09"), typeid(ECorrupted),
         "Wrong Central Header signature."},
        {"local signature", patched(0, "PK\x09\x09"), typeid(ECorrupted), "Wrong Local Header signature."},
        {"local offset past the data", patched(centralPos + 42, "\xf0"), typeid(ECorrupted),
         "Entry data damaged."},
        {"size past the data", patched(centralPos + 20, "\xf0"), typeid(ECorrupted), "Entry data damaged."},
        {"descriptor missing", patched(centralPos + 8, "\x08"), typeid(ECorrupted), "Entry data damaged."},
        {"spanned", patched(0, "PK\x07\x08"), typeid(EError), "Spanned archive. (Skipped)"},
        {"disk number", patched(endPos + 4, "\x01"), typeid(EError), "Spanned archive. (Skipped)"},
        {"zip64", zip64, typeid(ECorrupted), "Zip64 archives are not supported."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.label);
        TTempDir dir;
        const std::string zip = dir / "bad.zip";
        WriteFile(zip, c.bytes);
        try {
            RewriteZipNames(zip, {{"a.bin", "longer-name.bin"}});
            ADD_FAILURE() << "nothing raised";
        } catch (const EArchiveException& e) {
            EXPECT_EQ(typeid(e), c.type) << e.Message();
            EXPECT_EQ(e.Message(), c.message);
            EXPECT_EQ(e.ArchiveName, zip);
        }
        EXPECT_EQ(ReadFile(zip), c.bytes);
        EXPECT_TRUE(Others(dir.Path(), {"bad.zip"}).empty());
    }
}

TEST(ZipNameRewriter, MissingArchive) {
    TTempDir dir;
    try {
        RewriteZipNames(dir / "none.zip", {{"a", "b"}});
        ADD_FAILURE();
    } catch (const EFileNotFound& e) {
        EXPECT_EQ(e.Message(), "File not found");
        EXPECT_EQ(e.ArchiveName, dir / "none.zip");
    }
}

TEST(ZipNameRewriter, EndRecordLookalikeInsideTheComment) {
    // A comment may hold "PK\5\6", even a whole fake record at its very end. Info-ZIP and
    // Python both take such a fake for the record, so the result is checked by them once
    // the (kept) comment is cut off again.
    const std::string fake = std::string("PK\x05\x06", 4) + std::string(18, '\0');
    for (const std::string& comment : {"before " + fake + " after", "tail " + fake}) {
        TTempDir dir;
        const std::string zip = dir / "c.zip";
        WriteFile(zip, RawZip({{"a.bin", "alpha"}, {"b.bin", "beta"}}, comment));
        RewriteZipNames(zip, {{"a.bin", "renamed.bin"}});
        std::string after = ReadFile(zip);
        ASSERT_GT(after.size(), comment.size() + 22);
        EXPECT_EQ(after.substr(after.size() - comment.size()), comment);
        after.resize(after.size() - comment.size());
        after[after.size() - 2] = after[after.size() - 1] = '\0';
        WriteFile(zip, after);
        ExpectSound(zip, {"renamed.bin", "b.bin"}, {{"renamed.bin", "alpha"}, {"b.bin", "beta"}});
    }
}

// ---- failures while writing leave the original intact ----------------------------------

namespace {

// Fails the n-th write of the engine (1-based), once.
class TFailingRewriter : public TZipNameRewriter {
public:
    int failAt = 0;
    int writes = 0;

protected:
    int WriteAt(int fd, const char* data, size_t size, int64_t offset) override {
        if (++writes == failAt) return ENOSPC;
        return TZipNameRewriter::WriteAt(fd, data, size, offset);
    }
};

}  // namespace

TEST(ZipNameRewriter, AFailedWriteLeavesTheArchiveAsItWas) {
    for (const char* newName : {"b.bin" /* in place */, "longer.bin" /* rewrite */}) {
        TTempDir dir;
        const std::string zip = dir / "w.zip";
        const std::string original = RawZip({{"a.bin", "alpha"}, {"x.bin", "xx"}}, "note");
        WriteFile(zip, original);
        TFailingRewriter counter;
        counter.RewriteZipNames(zip, {{"a.bin", newName}});
        const int total = counter.writes;
        ASSERT_GT(total, 0);
        for (int n = 1; n <= total; ++n) {
            SCOPED_TRACE(std::string(newName) + " write " + std::to_string(n));
            WriteFile(zip, original);
            TFailingRewriter engine;
            engine.failAt = n;
            try {
                engine.RewriteZipNames(zip, {{"a.bin", newName}});
                ADD_FAILURE() << "nothing raised";
            } catch (const ESystemError& e) {
                EXPECT_EQ(e.Message(), std::string(newName) == "b.bin" ? "Can't write file " + zip
                                                                       : "Can't write file.");
            }
            EXPECT_EQ(ReadFile(zip), original);
            EXPECT_TRUE(Others(dir.Path(), {"w.zip"}).empty());
        }
    }
}

TEST(ZipNameRewriter, AFailedSwapLeavesTheArchiveAsItWas) {
    for (bool sticky : {false, true}) {
        TTempDir dir;
        const std::string zip = dir / "r.zip";
        const std::string original = RawZip({{"a.bin", "alpha"}});
        WriteFile(zip, original);
        TRealFileSystem real;
        TFaultyFileSystem faulty(real);
        faulty.failAt = 1;  // the replacement of the archive by the finished copy
        faulty.sticky = sticky;
        {
            TScopedFileSystem scope(faulty);
            EXPECT_THROW(RewriteZipNames(zip, {{"a.bin", "longer.bin"}}), ESystemError);
        }
        EXPECT_EQ(ReadFile(zip), original);
        EXPECT_TRUE(Others(dir.Path(), {"r.zip"}).empty());
    }
}

// A file whose stored name ends with "\" looks like a folder to the program. Renaming
// that folder must keep it a file: under a name ending with "/" extractors would make a
// folder of it and drop its data.
TEST(ZipNameRewriter, AFileNamedLikeAFolderStaysAFile) {
    TTempDir dir;
    const std::string zip = dir / "f.zip";
    WriteFile(zip, RawZip({{"old\\", "data of a file"}, {"old\\x.bin", "x"}}));
    for (const char* target : {"new/", "longer/"}) {
        SCOPED_TRACE(target);
        RewriteZipNames(zip, {{"old/", target}});
        const std::string folder = std::string(target).substr(0, std::strlen(target) - 1);
        ExpectSound(zip, {folder + "\\", folder + "/x.bin"},
                    {{folder + "\\", "data of a file"}, {folder + "/x.bin", "x"}}, "", false);
        int error = 0;
        zip_t* za = zip_open(zip.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
        EXPECT_NE(za, nullptr) << "libzip error " << error;
        if (za) zip_discard(za);
        RewriteZipNames(zip, {{folder + "/", "old/"}});
    }
}

// A UTF-8 flagged entry renamed to a name with a control byte: the flag must go, or the
// archive library refuses the archive.
TEST(ZipNameRewriter, ANameWithAControlByteIsNotFlaggedUtf8) {
    for (const char* newName : {"a\x19.bin", "\xc3\xa9\x01.bin"}) {
        SCOPED_TRACE(newName);
        TTempDir dir;
        const std::string zip = dir / "u.zip";
        WriteFile(zip, RawZip({{"abc.bin", "data", 0, 0x0800}, {"other.bin", "more", 0, 0x0800}}));
        RewriteZipNames(zip, {{"abc.bin", newName}});
        int error = 0;
        zip_t* za = zip_open(zip.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
        ASSERT_NE(za, nullptr) << "libzip error " << error;
        EXPECT_STREQ(zip_get_name(za, 0, ZIP_FL_ENC_RAW), newName);
        EXPECT_STREQ(zip_get_name(za, 1, ZIP_FL_ENC_RAW), "other.bin");
        zip_discard(za);
    }
}
