// The zip archiver: the nine operations, their checks and codes, and how the library
// calls run on a worker while the caller keeps its windows alive.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "archive/UnZip32.h"
#include "archive/ZipTestSupport.h"
#include "archive/qmZip.h"
#include "platform/FileSystem.h"
#include "platform/RewriteBatch.h"
#include "platform/UiHooks.h"
#include "support/QtApp.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::RawZip;
using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

const std::string kEmptyArchive("PK\x05\x06" + std::string(18, '\0'));

class QMZipTest : public ::testing::Test {
protected:
    void SetUp() override {
        zip.TempDir = dir.Path() + "work/";
        std::filesystem::create_directories(zip.TempDir);
    }

    std::string Listing(const std::string& archive) {
        TArchiveItems items;
        zip.GetFileList(archive, items);
        std::string out;
        for (const auto& i : items) out += i.GetFullName() + " " + std::to_string(i.Size) + " " + i.Crc + "\n";
        return out;
    }

    TTempDir dir;
    TQMZip zip;
};

TEST(QMZip, NamesAreEscapedForTheLibrariesWildcards) {
    EXPECT_EQ(TQMZip::EscapeZipName("a-b.bin"), "a[-]b.bin");
    EXPECT_EQ(TQMZip::EscapeZipName("dir/rom[1].bin"), "dir/rom[[]1].bin");
    EXPECT_EQ(TQMZip::EscapeZipName("what?*.bin"), "what[?][*].bin");
    EXPECT_EQ(TQMZip::EscapeZipName("caf\xe9.bin"), "caf\xe9.bin");  // bytes stay bytes
}

TEST_F(QMZipTest, ListingGivesNamePathSizeAndCrcAsPythonReadsThem) {
    WriteFile(dir / "src/a.bin", "alpha");
    WriteFile(dir / "src/roms/b.bin", std::string(3000, 'b'));
    ASSERT_EQ(test::RunIn(dir / "src", "zip -q -r ../t.zip a.bin roms"), 0);
    EXPECT_EQ(Listing(dir / "t.zip"), test::PythonListing(dir / "t.zip"));
    // With an archive comment and a stub before the first entry, the same.
    ASSERT_EQ(test::RunIn(dir / "", "echo note | zip -q -z t.zip && printf stub > s.zip && cat t.zip >> s.zip && "
                               "zip -q -A s.zip"), 0);
    EXPECT_EQ(Listing(dir / "s.zip"), test::PythonListing(dir / "t.zip"));

    TArchiveItems items(1);  // the listing appends
    zip.GetFileList(dir / "t.zip", items);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[1].Name, "a.bin");
    EXPECT_EQ(items[1].Path, "/");
    EXPECT_EQ(items[2].Path, "roms/");
    EXPECT_EQ(items[2].Name, "");
    EXPECT_EQ(items[3].GetFullName(), "roms/b.bin");
    EXPECT_EQ(zip.Items, nullptr);
}

TEST_F(QMZipTest, FailuresRaiseTheirClassWithTheArchiveName) {
    WriteFile(dir / "text.zip", "no zip here");
    WriteFile(dir / "ok.zip", RawZip({{"a.bin", "a"}}));
    auto expect = [&](auto&& call, const char* klass, const std::string& message) {
        try {
            call();
            ADD_FAILURE() << "nothing raised, expected " << klass;
        } catch (const archive::EArchiveException& e) {
            EXPECT_EQ(e.Message(), message) << klass;
            if (message.find("No filename") == std::string::npos) {
                EXPECT_FALSE(e.ArchiveName.empty()) << klass;
            }
        }
    };
    TArchiveItems items;
    expect([&] { zip.GetFileList(dir / "none.zip", items); }, "EFileNotFound", "File Not Found.");
    EXPECT_THROW(zip.GetFileList(dir / "none.zip", items), archive::EFileNotFound);
    EXPECT_THROW(zip.GetFileList(dir / "text.zip", items), archive::EPK_NOZIP);
    EXPECT_THROW(zip.ExtractFile(dir / "ok.zip", "b.bin", dir / "out", false), archive::EPK_FIND);
    EXPECT_THROW(zip.ExtractFile(dir / "none.zip", "b.bin", dir / "out", false), archive::EFileNotFound);
    expect([&] { zip.AddFile(" ", "x"); }, "ENoFileSpecified", "[1] No filename specified");
    expect([&] { zip.AddFile(dir / "ok.zip", " "); }, "ENoFileSpecified", "[2] No filename specified");
    expect([&] { zip.AddFile(dir / "ok.zip", dir / "missing.bin"); }, "EZE_OPEN",
           "File not found or no read permission");
    expect([&] { zip.DeleteFile("", "a.bin"); }, "ENoFileSpecified", "[DE1] No filename specified");
    expect([&] { zip.DeleteFile(dir / "ok.zip", "nope.bin"); }, "EZE_NONE", "Nothing to do");
    zip.CompressionLevel = -1;
    expect([&] { zip.AddFile(dir / "ok.zip", dir / "text.zip"); }, "EZE_CantSetZipOption",
           "Error setting Zip Options");
    zip.CompressionLevel = 0;
    expect([&] { zip.ExtractAll(dir / "ok.zip", dir.Path()); }, "ESystemError", "Unknown error n\u00b0 101");
    // A missing archive wins over an existing folder.
    EXPECT_THROW(zip.ExtractAll(dir / "none.zip", dir.Path()), archive::EFileNotFound);
    expect([&] { zip.AddDirectory(dir / "src", " "); }, "ENoFileSpecified", "[1] No filename specified");
    expect([&] { zip.AddDirectory(" ", dir / "n.zip"); }, "ENoFileSpecified", "[2] No filename specified");
    expect([&] { zip.AddDirectory(dir / "nodir/", dir / "n.zip"); }, "EPathExist",
           "[3] Path " + dir / "nodir" + " doesn't exist");
    expect([&] { zip.AddDirectory(dir / "work", dir / "ok.zip"); }, "EFileExist",
           "[4] File " + dir / "ok.zip" + " already exist");
    try {
        zip.ExtractFile(dir / "ok.zip", "dir\\b.bin", dir / "out", false);
    } catch (const archive::EPK_FIND& e) {
        EXPECT_EQ(e.ArchiveName, dir / "ok.zip");
        EXPECT_EQ(e.FileName, "dir/b.bin");
    }
}

TEST_F(QMZipTest, ExtractTakesNamesLiterallyAndKeepsOrDropsTheFolders) {
    WriteFile(dir / "x.zip", RawZip({{"dir/rom[1].bin", "one"},
                                      {"dir/rom1.bin", "plain"},
                                      {"a-b*.bin", "star"},
                                      {"a-bc.bin", "abc"},
                                      {"UP.BIN", "up"}}));
    zip.ExtractFile(dir / "x.zip", "dir\\rom[1].bin", dir / "out/new/", false);
    EXPECT_EQ(ReadFile(dir / "out/new/rom[1].bin"), "one");
    zip.ExtractFile(dir / "x.zip", "dir/rom[1].bin", dir / "kept", true);
    EXPECT_EQ(ReadFile(dir / "kept/dir/rom[1].bin"), "one");
    zip.ExtractFile(dir / "x.zip", "a-b*.bin", dir / "star", false);
    EXPECT_EQ(test::Tree(dir / "star"), "a-b*.bin\n");
    // Letter case is ignored when no exact name exists; the file lands as asked.
    zip.ExtractFile(dir / "x.zip", "up.bin", dir / "case", false);
    EXPECT_EQ(test::Tree(dir / "case"), "up.bin\n");
    // An existing file is replaced.
    WriteFile(dir / "out/new/rom[1].bin", "stale");
    zip.ExtractFile(dir / "x.zip", "dir/rom[1].bin", dir / "out/new", false);
    EXPECT_EQ(ReadFile(dir / "out/new/rom[1].bin"), "one");
}

TEST_F(QMZipTest, AddDeleteAndCreateKeepTheArchiveValid) {
    WriteFile(dir / "src/a-1[2].bin", "alpha");
    WriteFile(dir / "src/b.bin", std::string(10000, 'b'));
    const std::string archive = dir / "new.zip";
    zip.CompressionLevel = 0;
    zip.AddFile(archive, dir / "src/a-1[2].bin");  // created, stored bare
    zip.CompressionLevel = 9;
    zip.AddFile(archive, dir / "src/b.bin");
    EXPECT_EQ(test::UnzipTest(archive), 0);
    EXPECT_EQ(test::UnzipNames(archive), "a-1[2].bin\nb.bin\n");
    EXPECT_EQ(test::PythonMethods(archive), "0\n8\n");
    // No extra fields: the local header ends with the name.
    const std::string bytes = ReadFile(archive);
    EXPECT_EQ(bytes[28] | bytes[29], 0);

    zip.DeleteFile(archive, "a-1[2].bin");
    EXPECT_EQ(test::UnzipNames(archive), "b.bin\n");
    zip.DeleteFile(archive, "b.bin");
    EXPECT_EQ(ReadFile(archive), kEmptyArchive);

    zip.CreateEmptyArchive(dir / "empty.zip");
    EXPECT_EQ(ReadFile(dir / "empty.zip"), kEmptyArchive);
    EXPECT_EQ(test::Tree(zip.TempDir), "");
    // On an archive with entries it only makes sure the archive is there.
    zip.AddFile(archive, dir / "src/b.bin");
    zip.CreateEmptyArchive(archive);
    EXPECT_EQ(test::UnzipNames(archive), "b.bin\n");
}

// In a batch the rewrites wait beside their archives and go in place together, yet
// every look at a waiting archive through the program's paths sees it new; a removal
// elsewhere waits for them; one that cannot go in place leaves its old archive, and the
// ones after it theirs, and is reported, never taken for done.
TEST_F(QMZipTest, BatchedRewritesGoInPlaceTogetherAndReadAsNew) {
    WriteFile(dir / "src/a.bin", "alpha");
    WriteFile(dir / "src/b.bin", "beta");
    WriteFile(dir / "loose.bin", "x");
    const std::string one = dir / "one.zip";
    const std::string two = dir / "two.zip";
    zip.AddFile(one, dir / "src/a.bin");
    zip.AddFile(two, dir / "src/a.bin");
    const std::string oneBefore = ReadFile(one);
    const std::string twoBefore = ReadFile(two);
    {
        TRewriteBatch batch;
        zip.AddFile(one, dir / "src/b.bin");
        zip.AddFile(two, dir / "src/b.bin");
        EXPECT_EQ(ReadFile(one), oneBefore);
        EXPECT_EQ(ReadFile(two), twoBefore);
        TFileStat st;
        ASSERT_EQ(Fs().Stat(one, st), 0);
        EXPECT_NE(st.size, static_cast<int64_t>(oneBefore.size()));
        EXPECT_NE(Listing(one).find("b.bin 4 "), std::string::npos);
        EXPECT_EQ(test::UnzipNames(two), "a.bin\nb.bin\n");
        EXPECT_EQ(std::filesystem::file_size(one), static_cast<uintmax_t>(st.size));

        zip.DeleteFile(two, "a.bin");
        ASSERT_EQ(Fs().Unlink(dir / "loose.bin"), 0);
        EXPECT_EQ(test::UnzipNames(two), "b.bin\n");
        EXPECT_TRUE(batch.Commit().empty());
    }
    TFaultyFileSystem faulty(Fs());
    TScopedFileSystem scoped(faulty);
    const std::string twoNow = ReadFile(two);
    {
        TRewriteBatch batch;
        zip.DeleteFile(one, "a.bin");
        zip.AddFile(two, dir / "src/a.bin");
        faulty.failAt = faulty.changingCalls + 1;
        batch.Flush();
        // The later rewrites may rely on the earlier one: they do not go in place either,
        // nor does any until the failure is heard of.
        EXPECT_ANY_THROW(zip.DeleteFile(two, "b.bin"));
        std::vector<std::string> names;
        for (const TRewriteBatch::TFailure& f : batch.Commit()) names.push_back(f.name);
        EXPECT_EQ(names, (std::vector<std::string>{one, two}));
    }
    EXPECT_EQ(test::UnzipNames(one), "a.bin\nb.bin\n");
    EXPECT_EQ(ReadFile(two), twoNow);
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_EQ(e.path().filename().string().find(".qmtmp"), std::string::npos) << e.path();
}

// Whichever of its steps fails, a new empty archive is made whole or not at all: never
// an archive that holds the work file under a set's name.
// Only a full disk is called one: any other failure to write carries the system's text.
TEST_F(QMZipTest, AnExtractionThatCannotWriteSaysWhy) {
    WriteFile(dir / "ok.zip", RawZip({{"a.bin", "a"}}));
    MakeDirs(dir / "out");
    for (const int err : {EIO, ENOSPC, EDQUOT}) {
        SCOPED_TRACE(err);
        TFaultyFileSystem faulty(Fs());
        faulty.failAt = 1;
        faulty.failErrno = err;
        TScopedFileSystem scope(faulty);
        try {
            zip.ExtractFile(dir / "ok.zip", "a.bin", dir / "out", false);
            ADD_FAILURE() << "nothing raised";
        } catch (const archive::EADiskFull& e) {
            EXPECT_NE(err, EIO) << e.Message();
            EXPECT_EQ(e.Message(), "Disk full: " + (dir / "out/a.bin") + ": " + SysErrorMessage(err));
        } catch (const archive::ESystemError& e) {
            EXPECT_EQ(err, EIO);
            EXPECT_EQ(e.Message(), (dir / "out/a.bin") + ": " + SysErrorMessage(EIO));
            EXPECT_EQ(e.ArchiveName, dir / "ok.zip");
        }
        EXPECT_FALSE(test::FileExists(dir / "out/a.bin"));
    }
}

// Where a system call or an entry that cannot be read is the cause, the message keeps
// its code's own text and adds the file and the reason.
TEST_F(QMZipTest, ZipFailuresNameTheFileAndTheReason) {
    WriteFile(dir / "a.bin", "a");
    WriteFile(dir / "b.bin", "b");
    const std::string one = dir / "one.zip";
    const std::string two = dir / "two.zip";
    int status = -1;
    test::RunCommand("cd " + test::ShellQuote(dir.Path()) + " && zip -q -P secret locked.zip a.bin", &status);
    ASSERT_EQ(status, 0);
    struct Case {
        const char* name;
        std::function<void(TFaultyFileSystem&)> fault;
        std::function<void()> call;
        const char* text;  // the code's own text
        std::string file;
        std::string reason;
    } cases[] = {
        {"unreadable zip", [&](TFaultyFileSystem& f) { f.failOpens = {{one, EACCES}}; },
         [&] { Listing(one); }, "Probably not a zip", one, SysErrorMessage(EACCES)},
        {"full disk", [&](TFaultyFileSystem& f) { f.fullPaths = {dir / ".one.zip"}; },
         [&] { zip.AddFile(one, dir / "b.bin"); }, "Output file write failure", one, SysErrorMessage(ENOSPC)},
        {"no free inodes", [&](TFaultyFileSystem& f) { f.failOpens = {{dir / ".one.zip", ENOSPC}}; },
         [&] { zip.AddFile(one, dir / "b.bin"); }, "Temporary file failure", one, SysErrorMessage(ENOSPC)},
        {"refused after an earlier failure", [](TFaultyFileSystem&) {},
         [&] {
             TFaultyFileSystem& faulty = static_cast<TFaultyFileSystem&>(Fs());
             TRewriteBatch batch;
             zip.AddFile(one, dir / "b.bin");
             faulty.failAt = faulty.changingCalls + 1;
             faulty.failErrno = EIO;
             batch.Flush();
             faulty.failAt = 0;
             zip.AddFile(two, dir / "b.bin");
         },
         "Could not create output file", two, one + ": " + SysErrorMessage(EIO)},
        {"encrypted entry", [](TFaultyFileSystem&) {}, [&] { zip.RecompressArchive(dir / "locked.zip"); },
         "Internal logic error", dir / "locked.zip", "a.bin is encrypted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(one, RawZip({{"a.bin", "a"}}));
        WriteFile(two, RawZip({{"a.bin", "a"}}));
        TFaultyFileSystem faulty(Fs());
        c.fault(faulty);
        TScopedFileSystem scope(faulty);
        try {
            c.call();
            ADD_FAILURE() << "nothing raised";
        } catch (const archive::EArchiveException& e) {
            EXPECT_EQ(e.Message().rfind(std::string(c.text) + ": ", 0), 0u) << e.Message();
            EXPECT_NE(e.Message().find(c.file + ": "), std::string::npos) << e.Message();
            EXPECT_NE(e.Message().find(c.reason), std::string::npos) << e.Message();
        }
        EXPECT_EQ(test::UnzipNames(one), "a.bin\n");
        EXPECT_EQ(test::UnzipNames(two), "a.bin\n");
    }
    // The work file made where the archive's own name leaves no room names its process
    // as the others do, so the scan that clears leftovers knows it.
    const std::string longName = dir / (std::string(250, 'x') + ".zip");
    std::string temp;
    ASSERT_EQ(CreateTempBeside(longName, temp), 0);
    EXPECT_TRUE(IsSiblingTemp(temp.substr(temp.rfind('/') + 1))) << temp;
    EXPECT_FALSE(SiblingTempLeftOver(temp)) << temp;
    ::unlink(temp.c_str());
}

TEST_F(QMZipTest, AFailedEmptyArchiveLeavesNothingBehind) {
    bool reached = true;
    for (int failAt = 1; reached && failAt < 20; ++failAt) {
        SCOPED_TRACE("failing changing call " + std::to_string(failAt));
        const std::string archive = dir / ("made" + std::to_string(failAt) + ".zip");
        TFaultyFileSystem faulty(Fs());
        faulty.failAt = failAt;
        TScopedFileSystem scope(faulty);
        try {
            zip.CreateEmptyArchive(archive);
            EXPECT_EQ(ReadFile(archive), kEmptyArchive);
        } catch (const Exception&) {
            EXPECT_FALSE(test::FileExists(archive)) << "a half-made archive is left";
        }
        reached = faulty.changingCalls >= failAt;
    }
    EXPECT_FALSE(reached);
}

TEST_F(QMZipTest, ExtractAllAndAddDirectoryRoundTrip) {
    WriteFile(dir / "game/a.bin", "a");
    WriteFile(dir / "game/.dot", "d");
    WriteFile(dir / "game/sub/b.bin", "b");
    const auto cwd = std::filesystem::current_path();
    zip.CompressionLevel = 6;
    zip.AddDirectory(dir / "game/", dir / "game.zip");
    EXPECT_EQ(std::filesystem::current_path(), cwd);
    EXPECT_EQ(test::UnzipNames(dir / "game.zip"), ".dot\na.bin\nsub/\nsub/b.bin\n");
    zip.ExtractAll(dir / "game.zip", dir / "again/");
    EXPECT_EQ(test::Tree(dir / "again"), test::Tree(dir / "game"));

    // Unsafe names are refused and nothing lands outside the folder.
    WriteFile(dir / "evil.zip", RawZip({{"../out.bin", "x"}, {"in.bin", "y"}}));
    EXPECT_THROW(zip.ExtractAll(dir / "evil.zip", dir / "evil"), archive::EPK_ERR);
    EXPECT_FALSE(test::FileExists(dir / "out.bin"));
    EXPECT_EQ(ReadFile(dir / "evil/in.bin"), "y");
}

TEST_F(QMZipTest, TestReportsDamageThroughOnError) {
    std::string bytes = RawZip({{"good.bin", "good"}, {"sub/bad.bin", "damaged"}, {"bad2.bin", "again"}});
    bytes[bytes.find("damaged")] ^= 1;
    bytes[bytes.find("again")] ^= 1;
    WriteFile(dir / "bad.zip", bytes);
    WriteFile(dir / "text.zip", "plain text");
    WriteFile(dir / "good.zip", RawZip({{"a.bin", "a"}}));

    std::vector<std::string> errors, messages;
    zip.OnError = [&](const std::string& a, const std::string& f, const std::string& m) {
        errors.push_back(a.substr(a.rfind('/') + 1) + "|" + f + "|" + (m.empty() ? "" : "text"));
    };
    zip.OnMessage = [&](const std::string& m) { messages.push_back(m); };
    zip.TestArchive(dir / "good.zip");
    EXPECT_TRUE(errors.empty());
    zip.TestArchive(dir / "bad.zip");
    EXPECT_EQ(errors, (std::vector<std::string>{"bad.zip|sub/bad.bin|text", "bad.zip|bad2.bin|text"}));
    EXPECT_FALSE(zip.EntryTestMode);
    // Cancel is heard between the entries: a poll that raises ends the test there.
    int polls = 0;
    zip.OnPoll = [&] {
        if (++polls == 2) throw std::runtime_error("cancelled");
    };
    errors.clear();
    EXPECT_THROW(zip.TestArchive(dir / "bad.zip"), std::runtime_error);
    EXPECT_EQ(polls, 2);
    EXPECT_TRUE(errors.empty());
    zip.OnPoll = nullptr;
    zip.TestArchive(dir / "text.zip");
    EXPECT_EQ(errors, (std::vector<std::string>{"text.zip||text"}));

    messages.clear();
    EXPECT_THROW(zip.TestArchive(dir / "none.zip"), archive::EFileNotFound);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "File " + dir / "none.zip");
    EXPECT_EQ(messages[1], "File not found");

    // Without a handler damage raises nothing.
    zip.OnError = nullptr;
    zip.OnMessage = nullptr;
    EXPECT_NO_THROW(zip.TestArchive(dir / "bad.zip"));
    EXPECT_NO_THROW(zip.TestArchive(dir / "text.zip"));
}

TEST_F(QMZipTest, EventsRunOnTheCallingThread) {
    std::string bytes = RawZip({{"bad.bin", "damaged"}});
    bytes[bytes.find("damaged")] ^= 1;
    WriteFile(dir / "bad.zip", bytes);
    const auto caller = std::this_thread::get_id();
    int calls = 0;
    zip.OnError = [&](const std::string&, const std::string&, const std::string&) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        ++calls;
    };
    zip.OnMessage = [&](const std::string&) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        ++calls;
    };
    zip.TestArchive(dir / "bad.zip");
    EXPECT_GE(calls, 3);

    // A handler that throws: the failure reaches the caller once the worker is done.
    zip.OnMessage = [](const std::string& m) {
        if (m.find("testing") != std::string::npos) throw std::runtime_error("handler");
    };
    EXPECT_THROW(zip.TestArchive(dir / "bad.zip"), std::runtime_error);
}

TEST_F(QMZipTest, DamagedArchivesRaiseThePartsMessages) {
    const std::string good = RawZip({{"a.bin", "alpha"}});
    std::string crc = good;
    // The stored CRC, in the local and the central header alike.
    crc[14] ^= 0x10;
    crc[crc.find("PK\x01\x02") + 16] ^= 0x10;
    struct Case {
        const char* name;
        std::string bytes;
        const char* listMessage;     // nullptr: lists
        const char* extractMessage;  // nullptr: extracts
    } cases[] = {
        {"flipped CRC byte", crc, nullptr, "Errors in zipfile"},
        {"cut end record", good.substr(0, good.size() - 5), "Probably not a zip", "Probably not a zip"},
        {"not a zip", "just some text, long enough to look at", "Probably not a zip", "Probably not a zip"},
        {"0 bytes", "", "Probably not a zip", "Probably not a zip"},
    };
    for (const Case& c : cases) {
        WriteFile(dir / "d.zip", c.bytes);
        auto message = [](auto&& call) -> std::string {
            try {
                call();
            } catch (const archive::EArchiveException& e) {
                return e.Message();
            }
            return "(none)";
        };
        TArchiveItems items;
        EXPECT_EQ(message([&] { zip.GetFileList(dir / "d.zip", items); }),
                  c.listMessage ? c.listMessage : "(none)") << c.name;
        EXPECT_EQ(message([&] { zip.ExtractFile(dir / "d.zip", "a.bin", dir / "out", false); }),
                  c.extractMessage ? c.extractMessage : "(none)") << c.name;
        EXPECT_FALSE(test::FileExists(dir / "out/a.bin")) << c.name;
    }
}

TEST_F(QMZipTest, RewrittenArchivesKeepTheirModeAndCallbacksFindTheirObject) {
    WriteFile(dir / "a.bin", "a");
    WriteFile(dir / "m.zip", RawZip({{"old.bin", "o"}}));
    ::chmod((dir / "m.zip").c_str(), 0640);
    { TQMZip other; }  // another archiver came and went
    std::vector<std::string> messages;
    zip.OnMessage = [&](const std::string& m) { messages.push_back(m); };
    zip.AddFile(dir / "m.zip", dir / "a.bin");
    EXPECT_EQ(messages, (std::vector<std::string>{"adding: a.bin"}));
    struct stat st;
    ASSERT_EQ(::stat((dir / "m.zip").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// A failure on the worker is the caller's failure, never a silent success.
class TFailingZip : public TQMZip {
protected:
    void EntryProcessed(const std::string&, uint64_t) override { throw std::runtime_error("worker failed"); }
};

TEST(QMZipThreads, AFailureOnTheWorkerReachesTheCaller) {
    TTempDir dir;
    WriteFile(dir / "a.zip", RawZip({{"a.bin", "a"}}));
    TFailingZip zip;
    EXPECT_THROW(zip.ExtractFile(dir / "a.zip", "a.bin", dir / "out", false), std::runtime_error);
    // The archiver is free again afterwards.
    TArchiveItems items;
    EXPECT_NO_THROW(zip.GetFileList(dir / "a.zip", items));
}

// Blocks the worker inside a long extraction until the caller's event loop has run.
class TSlowZip : public TQMZip {
public:
    std::atomic<bool> released{false};
    std::atomic<bool> timedOut{false};

protected:
    void EntryProcessed(const std::string&, uint64_t) override {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!released && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!released) timedOut = true;
    }
};

class TQtHooks : public TScriptedUiHooks {
public:
    void ProcessMessages() override {
        TScriptedUiHooks::ProcessMessages();
        QCoreApplication::processEvents();
    }
};

// Long writes run on the worker; reads (listing, one entry, a test) run on the calling
// thread.
TEST(QMZipThreads, WindowMessagesAreProcessedWhileAnExtractionRuns) {
    test::EnsureQtApp();
    TTempDir dir;
    WriteFile(dir / "big.zip", RawZip({{"big.bin", std::string(1 << 20, 'x')}}));
    TQtHooks hooks;
    TScopedUiHooks scope(hooks);
    TSlowZip zip;
    bool firedDuringCall = false;
    bool inCall = true;
    QTimer::singleShot(0, [&] {
        firedDuringCall = inCall;
        zip.released = true;
    });
    zip.ExtractAll(dir / "big.zip", dir / "out");
    inCall = false;
    EXPECT_TRUE(firedDuringCall);
    EXPECT_FALSE(zip.timedOut);
    EXPECT_GT(hooks.processMessagesCalls, 0);
    EXPECT_EQ(ReadFile(dir / "out/big.bin").size(), 1u << 20);
}

TEST(QMZipThreads, AnotherOperationWhileOneWaitsIsRefused) {
    TTempDir dir;
    WriteFile(dir / "a.zip", RawZip({{"a.bin", std::string(1000, 'a')}}));
    TScriptedUiHooks hooks;
    TScopedUiHooks scope(hooks);
    TSlowZip zip;
    bool refused = false;
    hooks.onProcessMessages = [&] {
        if (zip.released) return;
        TArchiveItems items;
        try {
            zip.GetFileList(dir / "a.zip", items);
        } catch (const archive::EError&) {
            refused = true;
        }
        zip.released = true;
    };
    zip.ExtractAll(dir / "a.zip", dir / "out");
    EXPECT_TRUE(refused);
    EXPECT_EQ(ReadFile(dir / "out/a.bin"), std::string(1000, 'a'));
}

}  // namespace
}  // namespace qm
