// The signature calculator on real zip archives made with Info-ZIP's zip, checked
// against the CRCs "unzip -v" lists and, for plain files, the CRC in a gzip trailer.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <vector>

#include "archive/FilesTools.h"
#include "archive/archivemanager.h"
#include "filesdb/CrcPlugIn.h"
#include "filesdb/SignatureCalculator.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::RunCommand;
using test::ShellQuote;

struct TListed {
    std::string name;
    std::string crc;
    int64_t size;
};

// The entries of a zip as "unzip -v" lists them (names without blanks).
std::vector<TListed> UnzipListing(const std::string& zip) {
    std::istringstream lines(RunCommand("unzip -v " + ShellQuote(zip)));
    std::vector<TListed> out;
    std::string line;
    int separators = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("--------", 0) == 0) {
            ++separators;
            continue;
        }
        if (separators != 1) continue;
        std::istringstream f(line);
        std::string length, method, size, cmpr, date, time, crc, name;
        f >> length >> method >> size >> cmpr >> date >> time >> crc >> name;
        out.push_back({name, crc, std::stoll(length)});
    }
    return out;
}

std::string GzipCrc(const std::string& path) {
    std::string out = RunCommand("gzip -c " + ShellQuote(path) + " | tail -c 8 | od -An -tx4 -N4 | tr -d ' \\n'");
    return out;
}

class SignatureCalculatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        calc.SetArchiveManager(&manager);
        calc.SetTempDir(temp.Path());
        test::WriteFile(src / "a.bin", "abc");
        test::WriteFile(src / "sub/b.bin", "hello, world");
        test::WriteFile(src / "c.bin", "");
        test::WriteFile(src / "noext", "x");
        std::string big(3 * 1024 * 1024 + 5, '\0');
        for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
        test::WriteFile(src / "d.rom", big);
        Zip("x.zip", "a.bin sub/ sub/b.bin c.bin noext d.rom");
    }

    // Makes dir/<zip> from files of src, in the order given.
    std::string Zip(const std::string& zip, const std::string& files, const std::string& options = "") {
        int rc = -1;
        RunCommand("cd " + ShellQuote(src.Path()) + " && zip -q -X " + options + " " + ShellQuote(dir / zip) + " " +
                       files,
                   &rc);
        EXPECT_EQ(rc, 0);
        return dir / zip;
    }

    void UsePlugIn(const std::string& folder, const std::string& name) {
        plugIn.SetPath(folder);
        plugIn.SetFileName(name);
        ASSERT_TRUE(plugIn.IsLoaded());
        calc.SetCrcPlugIn(&plugIn);
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const TCrcItem& item : calc.Items()) names.push_back(item.Name);
        return names;
    }

    std::vector<std::string> TempContents() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(temp.Path())) names.push_back(e.path().filename());
        return names;
    }

    test::TTempDir dir, src, temp;
    TArchiveManager manager;
    TCrcPlugIn plugIn;
    TSignatureCalculator calc;
};

TEST_F(SignatureCalculatorTest, ZipCrcsOfTheDefaultPlugInAreTheStoredOnes) {
    UsePlugIn(QM_PLUGIN_DIR, "arcade.dll");
    const auto listed = UnzipListing(dir / "x.zip");
    ASSERT_EQ(listed.size(), 6u);
    // The option cannot turn the shortcut off for the default plug-in; without a
    // plug-in the option alone decides.
    for (int round = 0; round < 3; ++round) {
        calc.SetUseZipCrcForArcade(round != 1);
        if (round == 2) calc.SetCrcPlugIn(nullptr);
        calc.Calculate(dir / "x.zip");
        ASSERT_EQ(calc.GetCount(), 5) << round;  // the folder entry gives none
        std::vector<TListed> files;
        for (const auto& l : listed)
            if (l.name.back() != '/') files.push_back(l);
        for (int i = 0; i < calc.GetCount(); ++i) {
            const TCrcItem& item = calc.GetItem(i);
            EXPECT_EQ(item.Name, files[i].name);  // the full name, "sub/b.bin"
            EXPECT_EQ(item.Signature, files[i].crc);
            EXPECT_EQ(item.Size, files[i].size);
            EXPECT_EQ(item.Extension, "");
            EXPECT_EQ(item.Comment, "");
            EXPECT_EQ(item.ErrorText, "");
        }
    }
    EXPECT_TRUE(TempContents().empty());
}

TEST_F(SignatureCalculatorTest, NoPlugInAndNoZipCrcGivesOneErrorItem) {
    calc.SetUseZipCrcForArcade(false);
    calc.Calculate(dir / "x.zip");
    ASSERT_EQ(calc.GetCount(), 1);
    EXPECT_EQ(calc.GetItem(0).Name, "a.bin");
    EXPECT_EQ(calc.GetItem(0).Signature, "00000000");
    EXPECT_EQ(calc.GetItem(0).ErrorText, "No plug in specified");
}

TEST_F(SignatureCalculatorTest, APlugInThatDidNotLoadIsNeverCalled) {
    plugIn.SetPath(QM_TEST_PLUGIN_DIR);
    EXPECT_ANY_THROW(plugIn.SetFileName("tpnoauthor.dll"));
    calc.SetCrcPlugIn(&plugIn);
    calc.Calculate(dir / "x.zip");
    ASSERT_EQ(calc.GetCount(), 1);
    EXPECT_EQ(calc.GetItem(0).ErrorText, "No plug in specified");
    test::WriteFile(dir / "plain.bin", "abc");
    EXPECT_THROW(calc.Calculate(dir / "plain.bin"), ENoPlugInAvailable);

    // The default plug-in's stored CRCs need no call, loaded or not.
    calc.SetUseZipCrcForArcade(false);
    EXPECT_THROW(plugIn.SetFileName("arcade.dll"), EDllNotFound);
    calc.Calculate(dir / "x.zip");
    EXPECT_EQ(calc.GetCount(), 5);
    EXPECT_EQ(calc.GetItem(0).ErrorText, "");
    EXPECT_THROW(calc.Calculate(dir / "plain.bin"), ENoPlugInAvailable);
}

TEST_F(SignatureCalculatorTest, OtherPlugInsSignEachEntryExtractedIntoAPrivateFolder) {
    UsePlugIn(QM_TEST_PLUGIN_DIR, "tp262.dll");
    // Files of the temporary folder that share an entry's name stay as they are, a
    // link included.
    test::WriteFile(temp / "a.bin", "keep me");
    test::WriteFile(dir / "outside.txt", "outside");
    ASSERT_EQ(::symlink((dir / "outside.txt").c_str(), (temp / "b.bin").c_str()), 0);

    const int64_t syncsBefore = SyncCount();
    calc.Calculate(dir / "x.zip");
    // The work files are deleted once signed: flushing them to disk is wasted time.
    EXPECT_EQ(SyncCount(), syncsBefore);
    const auto listed = UnzipListing(dir / "x.zip");
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.bin", "b.bin", "c.bin", "noext", "d.rom"}));
    for (int i = 0; i < calc.GetCount(); ++i) {
        const TCrcItem& item = calc.GetItem(i);
        const TListed& l = listed[i < 1 ? i : i + 1];
        EXPECT_EQ(item.Signature, l.crc) << item.Name;  // lower-cased from the plug-in's upper case
        EXPECT_EQ(item.Size, l.size);
        EXPECT_EQ(item.Extension, ".tst");
        EXPECT_EQ(item.ErrorText, "");
        // The plug-in got an absolute name inside a private folder of TempDir, and
        // the stored CRC.
        const std::string prefix = "file=" + temp / "qm-sign-";
        EXPECT_EQ(item.Comment.rfind(prefix, 0), 0u) << item.Comment;
        EXPECT_NE(item.Comment.find("/" + item.Name + " zipcrc=" + l.crc), std::string::npos) << item.Comment;
    }
    EXPECT_EQ(test::ReadFile(temp / "a.bin"), "keep me");
    EXPECT_EQ(test::ReadFile(dir / "outside.txt"), "outside");
    auto left = TempContents();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"a.bin", "b.bin"}));  // the private folder is gone
}

TEST_F(SignatureCalculatorTest, TheDefaultPlugInUnderAnotherNameReadsTheStoredCrcsBack) {
    // The same CRC code, but not named "arcade.dll": every entry is extracted and read.
    test::TTempDir plugins;
    std::filesystem::copy_file(std::string(QM_PLUGIN_DIR) + "arcade.so", plugins / "crc32.so");
    UsePlugIn(plugins.Path(), "crc32.dll");
    calc.Calculate(dir / "x.zip");
    const auto listed = UnzipListing(dir / "x.zip");
    ASSERT_EQ(calc.GetCount(), 5);
    for (int i = 0; i < calc.GetCount(); ++i) {
        const TListed& l = listed[i < 1 ? i : i + 1];
        EXPECT_EQ(calc.GetItem(i).Signature, l.crc) << l.name;
        EXPECT_EQ(calc.GetItem(i).Size, l.size) << l.name;
        EXPECT_EQ(calc.GetItem(i).ErrorText, "") << l.name;
    }
    // Entries of one bare name in two folders are each read as themselves.
    test::WriteFile(src / "p/r.bin", "first");
    test::WriteFile(src / "q/r.bin", "the second");
    Zip("same.zip", "p/r.bin q/r.bin a.bin");
    calc.Calculate(dir / "same.zip");
    const auto same = UnzipListing(dir / "same.zip");
    ASSERT_EQ(calc.GetCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(calc.GetItem(i).Signature, same[static_cast<size_t>(i)].crc) << i;
}

TEST_F(SignatureCalculatorTest, ARomThePlugInCannotReadDoesNotStopTheArchive) {
    test::WriteFile(src / "err.bin", "bad");
    test::WriteFile(src / "nullsig.bin", "none");
    Zip("e.zip", "err.bin nullsig.bin a.bin");
    UsePlugIn(QM_TEST_PLUGIN_DIR, "tp250.dll");
    calc.Calculate(dir / "e.zip");
    ASSERT_EQ(calc.GetCount(), 3);
    EXPECT_EQ(calc.GetItem(0).ErrorText, "cannot read this rom");
    EXPECT_EQ(calc.GetItem(1).Signature, "");  // a null answer, nothing else set
    EXPECT_EQ(calc.GetItem(1).Extension, "");
    EXPECT_EQ(calc.GetItem(1).Size, 0);
    EXPECT_EQ(calc.GetItem(2).Signature, "352441c2");
}

TEST_F(SignatureCalculatorTest, ABrokenEntryEndsTheArchiveWithOneErrorItem) {
    // Stored entries, so the bytes of b can be damaged in place: the listing stays
    // good, the extraction of b fails its CRC check.
    test::WriteFile(src / "b.dat", std::string(1000, 'B'));
    const std::string zip = Zip("broken.zip", "a.bin b.dat c.bin", "-0");
    std::string bytes = test::ReadFile(zip);
    const auto at = bytes.find(std::string(1000, 'B'));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 500] = 'X';
    test::WriteFile(zip, bytes);

    UsePlugIn(QM_TEST_PLUGIN_DIR, "tp262.dll");
    calc.Calculate(zip);
    ASSERT_EQ(calc.GetCount(), 2);
    EXPECT_EQ(calc.GetItem(0).Name, "a.bin");
    const TCrcItem& error = calc.GetItem(1);
    EXPECT_EQ(error.Name, "b.dat");
    EXPECT_EQ(error.Signature, "00000000");
    EXPECT_EQ(error.Extension, ".tst");  // what the plug-in last returned
    EXPECT_EQ(error.Size, 3);
    EXPECT_EQ(error.Comment, "");
    EXPECT_NE(error.ErrorText, "");
    EXPECT_TRUE(TempContents().empty());

    // The default plug-in reads no entry, so the damage does not show.
    UsePlugIn(QM_PLUGIN_DIR, "arcade.dll");
    calc.Calculate(zip);
    EXPECT_EQ(calc.GetCount(), 3);
}

TEST_F(SignatureCalculatorTest, AnArchiveThatCannotBeListedGivesOneNamelessErrorItem) {
    std::string random(5000, '\0');
    for (size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>((i * 7919 + 13) % 251);
    test::WriteFile(dir / "random.zip", random);
    const std::string good = test::ReadFile(dir / "x.zip");
    test::WriteFile(dir / "truncated.zip", good.substr(0, good.size() / 2));
    for (const char* name : {"random.zip", "truncated.zip"}) {
        for (const char* plug : {"arcade.dll", "tp262.dll"}) {
            UsePlugIn(std::string(plug)[0] == 'a' ? QM_PLUGIN_DIR : QM_TEST_PLUGIN_DIR, plug);
            calc.Calculate(dir / name);
            ASSERT_EQ(calc.GetCount(), 1) << name;
            EXPECT_EQ(calc.GetItem(0).Name, "");
            EXPECT_EQ(calc.GetItem(0).Signature, "00000000");
            EXPECT_EQ(calc.GetItem(0).Extension, "");
            EXPECT_EQ(calc.GetItem(0).Size, 0);
            EXPECT_NE(calc.GetItem(0).ErrorText, "");
        }
    }
}

TEST_F(SignatureCalculatorTest, ExtensionsSelectWholeExtensions) {
    UsePlugIn(QM_PLUGIN_DIR, "arcade.dll");
    struct Case {
        const char* scan;
        const char* skip;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"*", "", {"a.bin", "sub/b.bin", "c.bin", "noext", "d.rom"}},
        {".BIN", "", {"a.bin", "sub/b.bin", "c.bin"}},  // no extension: skipped
        {".bin.rom", ".rom", {"a.bin", "sub/b.bin", "c.bin"}},
        {".zip; .rom, .dat", "", {"d.rom"}},
        {".b .ro", "", {}},  // parts of extensions match nothing
        {"*", ".bin .b", {"noext", "d.rom"}},
    };
    for (const Case& c : cases) {
        calc.SetScanExtensions(c.scan);
        calc.SetSkipExtensions(c.skip);
        calc.Calculate(dir / "x.zip");
        EXPECT_EQ(Names(), c.names) << c.scan << " / " << c.skip;
    }
}

TEST_F(SignatureCalculatorTest, PlainFilesAreSignedAsThePlugInAnswers) {
    const std::string file = dir / "rom.bin";
    std::string bytes(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 + (i >> 9));
    test::WriteFile(file, bytes);

    UsePlugIn(QM_PLUGIN_DIR, "arcade.dll");
    calc.Calculate(file);
    ASSERT_EQ(calc.GetCount(), 1);
    EXPECT_EQ(calc.GetItem(0).Name, "rom.bin");
    EXPECT_EQ(calc.GetItem(0).Signature, GzipCrc(file));
    EXPECT_EQ(calc.GetItem(0).Size, static_cast<int64_t>(bytes.size()));

    // Not lower-cased here, unlike inside archives.
    UsePlugIn(QM_TEST_PLUGIN_DIR, "tp262.dll");
    calc.Calculate(file);
    ASSERT_EQ(calc.GetCount(), 1);
    std::string upper = GzipCrc(file);
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(calc.GetItem(0).Signature, upper);
    EXPECT_EQ(calc.GetItem(0).Extension, ".tst");
    EXPECT_EQ(calc.GetItem(0).Comment, "file=" + file + " zipcrc=null");

    // A relative name reaches the plug-in as an absolute one.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    calc.Calculate("rom.bin");
    std::filesystem::current_path(cwd);
    ASSERT_EQ(calc.GetCount(), 1);
    EXPECT_EQ(calc.GetItem(0).Comment, "file=" + file + " zipcrc=null");

    // ScanInsideZip off: the archive is one plain file.
    UsePlugIn(QM_PLUGIN_DIR, "arcade.dll");
    calc.SetScanInsideZip(false);
    calc.Calculate(dir / "x.zip");
    ASSERT_EQ(calc.GetCount(), 1);
    EXPECT_EQ(calc.GetItem(0).Name, "x.zip");
    EXPECT_EQ(calc.GetItem(0).Signature, GzipCrc(dir / "x.zip"));

    // Skip extensions do not apply to plain files; scan extensions do, before the
    // plug-in is even looked at.
    calc.SetSkipExtensions(".bin");
    calc.Calculate(file);
    EXPECT_EQ(calc.GetCount(), 1);
    calc.SetCrcPlugIn(nullptr);
    EXPECT_THROW(calc.Calculate(file), ENoPlugInAvailable);
    EXPECT_EQ(calc.GetCount(), 0);
    calc.SetScanExtensions(".rom");
    calc.Calculate(file);
    EXPECT_EQ(calc.GetCount(), 0);
}

TEST_F(SignatureCalculatorTest, AMissingFileIsAnErrorAndClearsTheItems) {
    UsePlugIn(QM_PLUGIN_DIR, "arcade.dll");
    calc.Calculate(dir / "x.zip");
    ASSERT_GT(calc.GetCount(), 0);
    try {
        calc.Calculate(dir / "none.zip");
        FAIL();
    } catch (const ECrcFileNotFound& e) {
        EXPECT_EQ(e.Message(), "File " + dir / "none.zip" + " not found.");
    }
    EXPECT_EQ(calc.GetCount(), 0);
}

TEST(SignatureCalculatorSetters, NormaliseTheirValues) {
    TSignatureCalculator calc;
    EXPECT_EQ(calc.ScanExtensions(), "*");
    EXPECT_TRUE(calc.ScanInsideZip());
    EXPECT_TRUE(calc.UseZipCrcForArcade());
    const struct {
        const char* value;
        const char* scan;
        const char* skip;
    } cases[] = {
        {"  .BIN .Rom ", ".bin .rom", ".bin .rom"},
        {"", "*", ""},
        {"   ", "*", ""},
        {".bin*", "*", ".bin*"},
        {"*", "*", "*"},
    };
    for (const auto& c : cases) {
        calc.SetScanExtensions(c.value);
        calc.SetSkipExtensions(c.value);
        EXPECT_EQ(calc.ScanExtensions(), c.scan) << c.value;
        EXPECT_EQ(calc.SkipExtensions(), c.skip) << c.value;
    }

    test::TTempDir dir;
    const std::string system = GetTempDirectory();
    std::string noSlash = dir.Path();
    noSlash.pop_back();
    calc.SetTempDir(noSlash);
    EXPECT_EQ(calc.TempDir(), dir.Path());
    calc.SetTempDir(dir / "missing");
    EXPECT_EQ(calc.TempDir(), system);
    calc.SetTempDir(dir.Path());
    calc.SetTempDir("  ");
    EXPECT_EQ(calc.TempDir(), system);
}

}  // namespace
}  // namespace qm
