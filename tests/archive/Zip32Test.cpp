// The zip and unzip layer over libzip, checked against Info-ZIP and Python.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/UnZip32.h"
#include "archive/archive.h"
#include "archive/Zip32.h"
#include "archive/ZipTestSupport.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::RawZip;
using test::TRawEntry;
using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

const std::string kEmptyArchive("PK\x05\x06" + std::string(18, '\0'));

struct TListed {
    std::string name;
    uint64_t size;
    uint32_t crc;
};

// Calls the unzip layer the way the archiver does.
struct TUnzip {
    DCL dcl;
    USERFUNCTIONS f;
    std::vector<TListed> listed;
    std::string printed;

    explicit TUnzip(const std::string& archive) {
        dcl.lpszZipFN = archive;
        dcl.noflag = 1;
        dcl.C_flag = 1;
        f.print = [this](const char* text, unsigned long n) {
            printed.append(text, n);
            return static_cast<int>(n);
        };
        f.SendApplicationMessage = [this](uint64_t size, uint64_t, unsigned, unsigned, unsigned,
                                          unsigned, unsigned, unsigned, char, const char* name,
                                          const char*, uint32_t crc, char) {
            listed.push_back({name, size, crc});
        };
    }
    int List() {
        dcl.nvflag = 1;
        return Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, dcl, f);
    }
    int Test() {
        dcl.ntflag = 1;
        return Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, dcl, f);
    }
    int Extract(const std::string& dir, const std::string& pattern, bool keepPath) {
        dcl.lpszExtractDir = dir;
        dcl.ndflag = keepPath ? 1 : 0;
        const char* names[] = {pattern.c_str()};
        return Wiz_SingleEntryUnzip(pattern.empty() ? 0 : 1, names, 0, nullptr, dcl, f);
    }
    std::string Listing() const {
        std::string out;
        char crc[9];
        for (const auto& e : listed) {
            std::snprintf(crc, sizeof crc, "%08x", e.crc);
            out += e.name + " " + std::to_string(e.size) + " " + crc + "\n";
        }
        return out;
    }
};

int Zip(const std::string& archive, const std::vector<std::string>& args, char level = '6',
        bool remove = false, const std::string& root = {}, std::string* printed = nullptr) {
    ZIPUSERFUNCTIONS f;
    f.print = [printed](const char* text, unsigned long n) {
        if (printed) printed->append(text, n);
        return static_cast<int>(n);
    };
    ZpInit(f);
    ZPOPT o;
    o.fLevel = level;
    o.fJunkDir = root.empty() ? kZipTrue : 0;
    o.fDeleteEntries = remove ? kZipTrue : 0;
    o.fRecurse = root.empty() ? 0 : 1;
    o.szRootDir = root;
    EXPECT_EQ(ZpSetOptions(o), 1);
    return ZpArchive(ZCL{static_cast<int>(args.size()), archive, args});
}

TEST(WildMatch, Patterns) {
    struct Case {
        const char* pattern;
        const char* name;
        bool noCase;
        bool match;
    } cases[] = {
        {"a.bin", "a.bin", false, true},
        {"a.bin", "A.BIN", false, false},
        {"a.bin", "A.BIN", true, true},
        {"rom[[]1].bin", "rom[1].bin", false, true},
        {"a[-]b.bin", "a-b.bin", false, true},
        {"*.bin", "dir/x.bin", false, true},
        {"?.bin", "ab.bin", false, false},
        {"[a-c]x", "bx", false, true},
        {"[!a-c]x", "bx", false, false},
        {"[A-C]x", "bx", true, true},
        {"d[*]", "d*", false, true},
        {"d[*]", "dd", false, false},
        {"open[", "open[", false, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WildMatch(c.pattern, c.name, c.noCase), c.match) << c.pattern << " " << c.name;

    std::string literal;
    EXPECT_TRUE(WildLiteral("dir/rom[[]1][-]x.bin", literal));
    EXPECT_EQ(literal, "dir/rom[1]-x.bin");
    EXPECT_FALSE(WildLiteral("a*.bin", literal));
    EXPECT_FALSE(WildLiteral("[ab].bin", literal));
}

TEST(Zip32, AddWritesArchivesInfoZipAccepts) {
    TTempDir dir;
    WriteFile(dir / "src/a.bin", std::string(5000, 'a'));
    WriteFile(dir / "src/b-1[x].bin", "bee");
    const std::string archive = dir / "out.zip";
    ASSERT_EQ(Zip(archive, {dir / "src/a.bin"}, '9'), 0);
    ASSERT_EQ(Zip(archive, {dir / "src/b[-]1[[]x].bin"}, '0'), 0);
    EXPECT_EQ(test::UnzipTest(archive), 0);
    EXPECT_EQ(test::UnzipNames(archive), "a.bin\nb-1[x].bin\n");
    EXPECT_EQ(test::PythonMethods(archive), "8\n0\n");

    // Adding a file of a name already there replaces that entry.
    WriteFile(dir / "src/a.bin", "new");
    ASSERT_EQ(Zip(archive, {dir / "src/a.bin"}), 0);
    EXPECT_EQ(test::PythonListing(archive),
              "a.bin 3 " + CrcToText(test::PythonCrc(dir / "src/a.bin")) + "\nb-1[x].bin 3 " +
                  CrcToText(test::PythonCrc(dir / "src/b-1[x].bin")) + "\n");
}

TEST(Zip32, FailuresLeaveTheArchiveAsItWas) {
    TTempDir dir;
    WriteFile(dir / "a.bin", "alpha");
    const std::string archive = dir / "t.zip";
    ASSERT_EQ(Zip(archive, {dir / "a.bin"}), 0);
    const std::string before = ReadFile(archive);

    EXPECT_EQ(Zip(archive, {dir / "missing.bin"}), 18);
    EXPECT_EQ(Zip(archive, {dir / "nope.bin"}, '6', true), 12);  // no such entry
    EXPECT_EQ(ReadFile(archive), before);

    // The rewrite cannot be put in place: the archive stays, no work file is left.
    TFaultyFileSystem faulty(Fs());
    faulty.failAt = 1;
    {
        TScopedFileSystem scope(faulty);
        WriteFile(dir / "b.bin", "beta");
        EXPECT_EQ(Zip(archive, {dir / "b.bin"}), 15);
    }
    EXPECT_EQ(ReadFile(archive), before);
    EXPECT_EQ(test::Tree(dir.Path()), "a.bin\nb.bin\nt.zip\n");

    // Not archives: a text and a 0-byte file are refused, as Info-ZIP zip does.
    WriteFile(dir / "text.zip", "not a zip at all");
    WriteFile(dir / "zero.zip", "");
    EXPECT_EQ(Zip(dir / "text.zip", {dir / "a.bin"}), 3);
    EXPECT_EQ(Zip(dir / "zero.zip", {dir / "a.bin"}), 3);
    EXPECT_EQ(ReadFile(dir / "text.zip"), "not a zip at all");
    EXPECT_EQ(Zip(dir / "none.zip", {dir / "a.bin"}, '6', true), 12);
    EXPECT_FALSE(test::FileExists(dir / "none.zip"));
}

TEST(Zip32, DeletingTheLastEntryLeavesTheEmptyArchive) {
    TTempDir dir;
    WriteFile(dir / "a-b.bin", "x");
    WriteFile(dir / "c.bin", "y");
    const std::string archive = dir / "t.zip";
    ASSERT_EQ(Zip(archive, {dir / "a[-]b.bin", dir / "c.bin"}), 0);
    ASSERT_EQ(Zip(archive, {"a[-]b.bin"}, '6', true), 0);
    EXPECT_EQ(test::UnzipNames(archive), "c.bin\n");
    // The empty archive cannot be written: the archive keeps its last entry.
    TFaultyFileSystem faulty(Fs());
    faulty.failAt = 1;
    {
        TScopedFileSystem scope(faulty);
        EXPECT_EQ(Zip(archive, {"c.bin"}, '6', true), 14);
    }
    EXPECT_EQ(test::UnzipNames(archive), "c.bin\n");
    ASSERT_EQ(Zip(archive, {"c.bin"}, '6', true), 0);
    EXPECT_EQ(ReadFile(archive), kEmptyArchive);
    EXPECT_EQ(test::UnzipTest(archive), 1);  // "zipfile is empty", a warning
    TUnzip unzip(archive);
    EXPECT_EQ(unzip.List(), 0);
    EXPECT_TRUE(unzip.listed.empty());
    // And the empty archive takes entries again.
    ASSERT_EQ(Zip(archive, {dir / "c.bin"}), 0);
    EXPECT_EQ(test::UnzipNames(archive), "c.bin\n");
}

TEST(Zip32, AddFolderRecursesFromItsRoot) {
    TTempDir dir;
    WriteFile(dir / "game/a.bin", "a");
    WriteFile(dir / "game/.hidden", "h");
    WriteFile(dir / "game/sub/deep/b.bin", "b");
    std::filesystem::create_directories(dir / "game/empty");
    const auto cwd = std::filesystem::current_path();
    ASSERT_EQ(Zip(dir / "game.zip", {"."}, '6', false, dir / "game"), 0);
    EXPECT_EQ(std::filesystem::current_path(), cwd);
    EXPECT_EQ(test::UnzipNames(dir / "game.zip"),
              ".hidden\na.bin\nempty/\nsub/\nsub/deep/\nsub/deep/b.bin\n");
    EXPECT_EQ(test::UnzipTest(dir / "game.zip"), 0);
}

TEST(Zip32, RecompressKeepsEverythingButTheMethod) {
    TTempDir dir;
    WriteFile(dir / "src/b.bin", std::string(20000, 'b'));
    WriteFile(dir / "src/a.bin", std::string(3000, 'a') + "tail");
    ASSERT_EQ(test::RunIn(dir / "src", "zip -0 -q ../r.zip b.bin a.bin && echo 'the comment' | zip -z -q ../r.zip"), 0);
    const std::string archive = dir / "r.zip";
    const std::string listing = test::PythonListing(archive);
    const std::string times = test::PythonTimes(archive);
    ZPOPT o;
    o.fLevel = '9';
    ASSERT_EQ(ZpSetOptions(o), 1);
    ASSERT_EQ(ZpRecompress(ZCL{1, archive, {}}), 0);
    EXPECT_EQ(test::PythonListing(archive), listing);
    EXPECT_EQ(test::PythonMethods(archive), "8\n8\n");
    EXPECT_EQ(test::PythonComment(archive), "the comment");
    EXPECT_EQ(test::PythonTimes(archive), times);
    EXPECT_EQ(test::UnzipTest(archive), 0);

    // A damaged entry fails the rewrite; the archive stays as it was.
    std::string bytes = RawZip({{"good.bin", "good"}, {"bad.bin", "payload"}});
    bytes[bytes.find("payload")] ^= 0x20;
    WriteFile(dir / "bad.zip", bytes);
    EXPECT_EQ(ZpRecompress(ZCL{1, dir / "bad.zip", {}}), 3);
    EXPECT_EQ(ReadFile(dir / "bad.zip"), bytes);
}

TEST(Zip32, NamesAreBytesAndAddingReplacesTheEntryOfTheSameBytes) {
    TTempDir dir;
    const std::string latin1 = "caf\xe9.bin";  // not UTF-8: stored without the UTF-8 flag
    const std::string utf8 = "caf\xc3\xa9.bin";
    WriteFile(dir / "c.zip", RawZip({{latin1, "old"}}));
    WriteFile(dir / latin1, "new latin-1");
    WriteFile(dir / utf8, "new utf-8");
    ASSERT_EQ(Zip(dir / "c.zip", {dir / latin1}), 0);
    ASSERT_EQ(Zip(dir / "c.zip", {dir / utf8}), 0);
    TUnzip unzip(dir / "c.zip");
    ASSERT_EQ(unzip.List(), 0);
    ASSERT_EQ(unzip.listed.size(), 2u);
    EXPECT_EQ(unzip.listed[0].name, latin1);
    EXPECT_EQ(unzip.listed[0].size, 11u);
    EXPECT_EQ(unzip.listed[1].name, utf8);
    TUnzip extract(dir / "c.zip");
    EXPECT_EQ(extract.Extract(dir / "out", latin1, false), 0);
    EXPECT_EQ(ReadFile(dir / "out/" + latin1), "new latin-1");
    EXPECT_EQ(test::UnzipTest(dir / "c.zip"), 0);
}

TEST(Zip32, NamesTooLongForASiblingTemporaryName) {
    TTempDir dir;
    const std::string name(250, 'n');
    WriteFile(dir / name, "long");
    const std::string archive = dir / (std::string(246, 'z') + ".zip");
    ASSERT_EQ(Zip(archive, {dir / name}), 0);
    EXPECT_EQ(test::UnzipNames(archive), name + "\n");
    TUnzip unzip(archive);
    EXPECT_EQ(unzip.Extract(dir / "out", name, false), 0) << unzip.printed;
    EXPECT_EQ(ReadFile(dir / "out/" + name), "long");
}

TEST(UnZip32, ListsWhatInfoZipWrote) {
    TTempDir dir;
    WriteFile(dir / "src/stored.bin", "stored data");
    WriteFile(dir / "src/sub/deflated.txt", std::string(4000, 'z') + "end");
    WriteFile(dir / "src/sub/empty.bin", "");
    struct Case {
        std::string name;
        std::string command;
    };
    std::vector<Case> cases = {
        {"comment", "zip -q -r ../x.zip . && echo remark | zip -q -z ../x.zip"},
        {"descriptors", "zip -q -fd -r ../x.zip ."},
        {"stream", "find . -type f | sort | zip -q ../x.zip -@ -fd"},
    };
    for (int level = 0; level <= 9; ++level)
        cases.push_back({"level" + std::to_string(level), "zip -q -" + std::to_string(level) + " -r ../x.zip ."});
    for (const Case& c : cases) {
        std::filesystem::remove(dir / "x.zip");
        ASSERT_EQ(test::RunIn(dir / "src", c.command), 0) << c.name;
        TUnzip unzip(dir / "x.zip");
        EXPECT_EQ(unzip.List(), 0) << c.name;
        EXPECT_EQ(unzip.Listing(), test::PythonListing(dir / "x.zip")) << c.name;
        EXPECT_EQ(unzip.Listing(), test::UnzipVerboseListing(dir / "x.zip")) << c.name;
        TUnzip tester(dir / "x.zip");
        EXPECT_EQ(tester.Test(), 0) << c.name << tester.printed;
        TUnzip extract(dir / "x.zip");
        EXPECT_EQ(extract.Extract(dir / ("out-" + std::string(c.name)), "", true), 0) << c.name;
        EXPECT_EQ(ReadFile(dir / ("out-" + std::string(c.name)) + "/sub/deflated.txt"),
                  ReadFile(dir / "src/sub/deflated.txt"));
    }
}

TEST(UnZip32, DamagedArchivesGiveInfoZipCodes) {
    TTempDir dir;
    const std::string good = RawZip({{"a.bin", "alpha"}, {"dir/b.bin", "bravo"}});
    std::string flipped = good;
    flipped[flipped.find("bravo")] ^= 0x01;
    std::string crcFlipped = good;  // the stored CRC of a.bin, local and central
    crcFlipped[14] ^= 0x01;
    crcFlipped[crcFlipped.find("PK\x01\x02") + 16] ^= 0x01;
    struct Case {
        const char* name;
        std::string bytes;
        int list;
        int test;
    } cases[] = {
        {"good", good, 0, 0},
        {"flipped data byte", flipped, 0, 2},
        {"flipped CRC byte", crcFlipped, 0, 2},
        {"cut end record", good.substr(0, good.size() - 10), 9, 9},
        {"not a zip", "hello world, this is text", 9, 9},
        {"0 bytes", "", 9, 9},
        {"empty archive", kEmptyArchive, 0, 0},
    };
    for (const Case& c : cases) {
        const std::string path = dir / "t.zip";
        WriteFile(path, c.bytes);
        TUnzip lister(path);
        EXPECT_EQ(lister.List(), c.list) << c.name;
        TUnzip tester(path);
        EXPECT_EQ(tester.Test(), c.test) << c.name;
        // Info-ZIP agrees on what is damaged.
        const int unzipCode = test::UnzipTest(path);
        EXPECT_EQ(unzipCode == 0 || unzipCode == 1, c.test == 0) << c.name;
    }
    TUnzip missing(dir / "none.zip");
    EXPECT_EQ(missing.List(), 9);
}

TEST(UnZip32, DataDescriptorsWithAndWithoutSignature) {
    TTempDir dir;
    TRawEntry signed_{"signed.bin", "with signature", true, true};
    TRawEntry bare{"bare.bin", "without signature", true, false};
    WriteFile(dir / "d.zip", RawZip({signed_, bare}));
    TUnzip tester(dir / "d.zip");
    EXPECT_EQ(tester.Test(), 0) << tester.printed;
    TUnzip extract(dir / "d.zip");
    EXPECT_EQ(extract.Extract(dir / "out", "bare.bin", false), 0);
    EXPECT_EQ(ReadFile(dir / "out/bare.bin"), "without signature");
}

TEST(UnZip32, ExtractionRefusesUnsafeNames) {
    TTempDir dir;
    WriteFile(dir / "evil.zip", RawZip({{"../up.bin", "up"},
                                         {"/abs.bin", "abs"},
                                         {"dir/../../x.bin", "x"},
                                         {"ok/fine.bin", "fine"}}));
    TUnzip all(dir / "evil.zip");
    EXPECT_EQ(all.Extract(dir / "out", "", true), 2);
    EXPECT_EQ(test::Tree(dir.Path()), "evil.zip\nout/\nout/ok/\nout/ok/fine.bin\n");
    EXPECT_NE(all.printed.find("skipping: ../up.bin"), std::string::npos);

    // Without the inner folders only the bare name is written, inside the folder.
    TUnzip bare(dir / "evil.zip");
    EXPECT_EQ(bare.Extract(dir / "flat", "../up.bin", false), 0);
    EXPECT_EQ(ReadFile(dir / "flat/up.bin"), "up");
}

TEST(UnZip32, NamesMatchExactCaseFirstAndLandUnderTheCallersSpelling) {
    TTempDir dir;
    WriteFile(dir / "c.zip", RawZip({{"Rom.bin", "upper"}, {"rom.bin", "lower"}, {"Only.BIN", "only"}}));
    TUnzip twins(dir / "c.zip");
    EXPECT_EQ(twins.Extract(dir / "out", "rom.bin", false), 0);
    EXPECT_EQ(ReadFile(dir / "out/rom.bin"), "lower");
    TUnzip folded(dir / "c.zip");
    EXPECT_EQ(folded.Extract(dir / "out", "only.bin", false), 0);
    EXPECT_EQ(ReadFile(dir / "out/only.bin"), "only");
    EXPECT_FALSE(test::FileExists(dir / "out/Only.BIN"));
    TUnzip none(dir / "c.zip");
    EXPECT_EQ(none.Extract(dir / "out", "other.bin", false), 11);
}

}  // namespace
}  // namespace qm
