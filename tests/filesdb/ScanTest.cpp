// Scanning a rom path beyond the cases: aborts, the cache written after a scan, an
// absent volume, the change test, files that vanish or cannot be signed while the scan
// runs, and the reloading of nested rom paths.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ScanTestSupport.h"
#include "archive/stringsTools.h"
#include "filesdb/CacheFileUnit.h"
#include "filesdb/filesBdScan.h"

namespace qm::test {
namespace {

const char* const kCatalogue =
    "pacman|pacman|pm1.bin|c1e2e3c4|16||\n"
    "galaga|galaga|gg1.bin|d1e2e3c4|16||\n";

class ScanTest : public ::testing::Test {
protected:
    // A zip of one entry, dated at the old moment.
    void Zip(const std::string& name, const std::string& entry, const std::string& content) {
        const std::string staging = fx.tmp.Path() + "staging/" + name + "/";
        WriteFile(staging + entry, content);
        int status = -1;
        RunCommand("cd " + ShellQuote(staging) + " && zip -q -X " + ShellQuote(fx.romsDir + name) + " " +
                       ShellQuote(entry),
                   &status);
        ASSERT_EQ(status, 0);
        SetTime(fx.romsDir + name, kOldTime);
    }
    void Plain(const std::string& name, const std::string& content) {
        WriteFile(fx.romsDir + name, content);
        SetTime(fx.romsDir + name, kOldTime);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& file : fx.path->Files()) names.push_back(file->Name);
        std::sort(names.begin(), names.end());
        return names;
    }
    // Moves the cache file's date past every change made since.
    void AgeFolder() { SetTime(fx.romsDir, kOldTime); }
    // Every file with its date and error, and every rom file with its CRC and status.
    std::string State() const {
        std::string out;
        for (const auto& file : fx.path->Files()) {
            out += file->Name + " " + std::to_string(file->Date) + " " + file->ErrorText + "\n";
            for (const auto& item : file->RomFiles) {
                const TRomFile& r = *item.romFile;
                out += "  " + r.StoredName() + " " + r.Crc() + " " + std::to_string(r.Status) + " " + r.ErrorText() + "\n";
            }
        }
        return out;
    }
    // The cache file without its fourth header line, the time it was written: two scans
    // may fall in different seconds.
    std::string CacheWithoutTime() const {
        std::string text = ReadFile(fx.path->CacheFile().GetCacheFileName());
        size_t start = 0;
        for (int line = 0; line < 3 && start != std::string::npos; ++line) start = text.find('\n', start) + 1;
        const size_t end = text.find('\n', start);
        if (start != 0 && end != std::string::npos) text.erase(start, end - start);
        return text;
    }

    TScanFixture fx{kCatalogue};
};

TEST_F(ScanTest, AbortStopsEitherPhaseAndTheNextLoadReadsOnlyTheRest) {
    for (int i = 0; i < 10; ++i) Zip("z" + std::to_string(i) + ".zip", "a.bin", "abc" + std::to_string(i));
    int events = 0;
    int abortAt = 5;
    fx.files->OnProgress = [&](int) {
        if (++events == abortAt) fx.files->Paths().Abort = true;
    };
    EXPECT_THROW(fx.Load(), filesbd::EAbortPathLoading);
    EXPECT_FALSE(fx.files->Paths().Abort) << "the loop that saw the flag clears it";
    const int64_t readBefore = fx.files->SignatureCalls;
    EXPECT_EQ(readBefore, 5) << "the sixth step saw the flag";
    EXPECT_EQ(fx.path->Files().Count(), 5) << "what was added stays";

    // Among the files already listed, before any entry of the folder is read.
    events = 0;
    abortAt = 1;
    EXPECT_THROW(fx.Load(), filesbd::EAbortPathLoading);
    EXPECT_EQ(fx.files->SignatureCalls, readBefore);
    EXPECT_EQ(fx.path->Files().Count(), 5);

    fx.files->OnProgress = nullptr;
    EXPECT_EQ(fx.Load(), 5) << "only the files not read yet";
    EXPECT_EQ(fx.path->Files().Count(), 10);
    fx.Restart();
    EXPECT_EQ(fx.Load(), 0);
}

// Zips listed on several threads are merged in the folder's order: the cache file and
// every status come out as a one-thread scan makes them, damaged archives included.
TEST_F(ScanTest, ManyThreadsGiveTheCacheAndStatusesOfOne) {
    for (int i = 0; i < 12; ++i)
        Zip("z" + std::to_string(i) + ".zip", "pm1.bin", "0123456789abcde" + std::to_string(i));
    Zip("pacman.zip", "pm1.bin", "0123456789abcdef");
    Plain("text.zip", "no zip at all, only text");
    Plain("gg1.bin", "fedcba9876543210");
    fx.files->ScanThreads = 1;
    EXPECT_EQ(fx.Load(), 15);
    EXPECT_EQ(fx.files->ScanThreadsUsed, 1);
    const std::string cache = CacheWithoutTime();
    const std::string statuses = State();

    fx.files->ScanThreads = 4;
    EXPECT_EQ(fx.Load(true), 15);
    EXPECT_EQ(fx.files->ScanThreadsUsed, 4);
    EXPECT_EQ(CacheWithoutTime(), cache);
    EXPECT_EQ(State(), statuses);
}

// Far more zips than the listing runs ahead of the merge, of seven kinds in turn, so
// that a listing handed to the wrong zip shows: the threads still give what one gives,
// and a Cancel in the middle of the merge stops them with it and loses nothing.
TEST_F(ScanTest, AFolderOfManyZipsOnManyThreadsIsMergedInOrderAndCancelledMidWay) {
    for (int k = 0; k < 7; ++k)
        Zip("kind" + std::to_string(k) + ".zip", "e" + std::to_string(k) + ".bin", std::string(k + 1, 'x'));
    constexpr int kCopies = 1200;
    for (int i = 0; i < kCopies; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "m%04d.zip", i);
        std::filesystem::copy_file(fx.romsDir + "kind" + std::to_string(i % 7) + ".zip", fx.romsDir + name);
    }
    const int total = kCopies + 7;
    fx.files->ScanThreads = 1;
    EXPECT_EQ(fx.Load(), total);
    const std::string cache = CacheWithoutTime();
    const std::string statuses = State();

    fx.files->ScanThreads = 4;
    EXPECT_EQ(fx.Load(true), total);
    EXPECT_EQ(fx.files->ScanThreadsUsed, 4);
    EXPECT_EQ(CacheWithoutTime(), cache);
    EXPECT_EQ(State(), statuses);

    // The flag is seen before the entry after m0600.zip: the seven kinds come first.
    fx.files->OnInfos = [&](const std::string& text) {
        if (text == "Loading m0600.zip") fx.files->Paths().Abort = true;
    };
    const int64_t before = fx.files->SignatureCalls;
    EXPECT_THROW(fx.Load(true), filesbd::EAbortPathLoading);
    EXPECT_EQ(fx.files->SignatureCalls - before, 7 + 601);
    fx.files->OnInfos = nullptr;
    EXPECT_EQ(fx.Load(), total - 7 - 601) << "only the zips not read yet";
    EXPECT_EQ(CacheWithoutTime(), cache);
    EXPECT_EQ(State(), statuses);
}

TEST_F(ScanTest, AZipRewrittenWithinTheSameDateIsReadAgainByItsSize) {
    Zip("pacman.zip", "pm1.bin", "0123456789abcdef");
    EXPECT_EQ(fx.Load(), 1);
    // Another content, another archive size, the same date: the old roms must not stay.
    std::filesystem::remove(fx.romsDir + "pacman.zip");
    Zip("pacman.zip", "other.bin", "a longer content than the first one");
    AgeFolder();
    fx.Restart();
    EXPECT_EQ(fx.Load(), 1);
    const TFile* zip = fx.path->Files().Find("pacman.zip");
    ASSERT_NE(zip, nullptr);
    EXPECT_LT(zip->RomFiles.IndexOfFileName("pm1.bin", false), 0);
    EXPECT_GE(zip->RomFiles.IndexOfFileName("other.bin", false), 0);
}

TEST_F(ScanTest, CacheIsWrittenAfterTheScanAndReadBackInPlaceOfTheFiles) {
    Zip("pacman.zip", "pm1.bin", "0123456789abcdef");
    Plain("gg1.bin", "fedcba9876543210");
    EXPECT_EQ(fx.Load(), 2);
    const std::string cacheName = fx.path->CacheFile().GetCacheFileName();
    ASSERT_FALSE(cacheName.empty());
    const std::string text = ReadFile(cacheName);
    const std::string S = "\xA4";
    EXPECT_NE(text.find(S + "A" + S + "pacman.zip" + S), std::string::npos) << text;
    EXPECT_NE(text.find(S + "F" + S + "gg1.bin" + S), std::string::npos) << text;

    // The cache alone gives the files: the folder that has no change is not read.
    struct stat saved {};
    ASSERT_EQ(::stat(cacheName.c_str(), &saved), 0);
    fx.Restart();
    EXPECT_EQ(fx.Load(), 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"gg1.bin", "pacman.zip"}));
    const TFile* zip = fx.path->Files().Find("pacman.zip");
    ASSERT_NE(zip, nullptr);
    ASSERT_EQ(zip->GetRomFileCount(), 1);
    EXPECT_GE(zip->RomFiles.IndexOfFileName("pm1.bin", false), 0);
    // Nor is the cache written again: it is the same file, save time and all.
    struct stat kept {};
    ASSERT_EQ(::stat(cacheName.c_str(), &kept), 0);
    EXPECT_EQ(kept.st_ino, saved.st_ino);
    EXPECT_EQ(ReadFile(cacheName), text);

    // A cache older than its folder (a file made and removed there since) is written
    // anew, so that the change test does not find the folder changed at every start.
    SetTime(cacheName, kOldTime);
    fx.Restart();
    EXPECT_EQ(fx.Load(), 0);
    struct stat rewritten {};
    ASSERT_EQ(::stat(cacheName.c_str(), &rewritten), 0);
    EXPECT_NE(rewritten.st_ino, kept.st_ino);
    EXPECT_NE(rewritten.st_mtime, kOldTime);
    EXPECT_FALSE(fx.path->HasChanged());
}

TEST_F(ScanTest, AbsentVolumeOrFolderChangesNothing) {
    Zip("pacman.zip", "pm1.bin", "0123456789abcdef");
    EXPECT_EQ(fx.Load(), 1);
    std::vector<std::string> infos;
    fx.files->OnInfos = [&](const std::string& text) { infos.push_back(text); };

    // The folder gone (the disk's own contents changed): the scan leaves the list alone.
    std::filesystem::rename(fx.romsDir, fx.tmp.Path() + "vol/elsewhere");
    fx.path->Scan(false);
    EXPECT_EQ(Names(), std::vector<std::string>{"pacman.zip"});
    EXPECT_TRUE(infos.empty());
    std::filesystem::rename(fx.tmp.Path() + "vol/elsewhere", fx.romsDir);

    fx.volumes.volumes.clear();
    EXPECT_FALSE(fx.path->HasChanged());
    EXPECT_TRUE(infos.empty()) << "no event for an absent volume";
    const std::string cacheName = fx.path->CacheFile().GetCacheFileName();
    const std::string before = ReadFile(cacheName);
    EXPECT_EQ(fx.Load(), 0);
    EXPECT_EQ(ReadFile(cacheName), before) << "no cache is written while the volume is away";
}

TEST_F(ScanTest, ChangeTestAnswersEachClauseWithoutReading) {
    Zip("pacman.zip", "pm1.bin", "0123456789abcdef");
    WriteFile(fx.romsDir + "galaga/gg1.bin", "fedcba9876543210");
    SetTime(fx.romsDir + "galaga/gg1.bin", kOldTime);
    std::vector<std::string> infos;
    fx.files->OnInfos = [&](const std::string& text) { infos.push_back(text); };
    EXPECT_TRUE(fx.path->HasChanged()) << "no cache file yet";
    EXPECT_EQ(infos.back(), "Check path " + fx.romsDir + " for changes...");
    fx.Load();
    fx.files->OnInfos = [&](const std::string& text) { infos.push_back(text); };
    int64_t reads = 0;
    const auto changed = [&] {
        const int64_t calls = fx.files->SignatureCalls;
        const bool answer = fx.path->HasChanged();
        reads += fx.files->SignatureCalls - calls;
        return answer;
    };
    EXPECT_FALSE(changed());

    struct TChange {
        const char* what;
        std::function<void()> make, undo;
        bool changed;
        bool ageFolder = true;  // so that only the clause under test can answer
        // Putting the zip's date or name back changes its status-change time: it stays
        // changed until it is read again.
        bool zipTouched = false;
    };
    const std::string zip = fx.romsDir + "pacman.zip";
    const std::string member = fx.romsDir + "galaga/gg1.bin";
    const std::vector<TChange> changes = {
        {"zip date", [&] { SetTime(zip, kNewTime); }, [&] { SetTime(zip, kOldTime); }, true, true, true},
        {"member date", [&] { SetTime(member, kNewTime); }, [&] { SetTime(member, kOldTime); }, true},
        {"member size only",
         [&] {
             WriteFile(member, "longer than it was before");
             SetTime(member, kOldTime);
         },
         [&] {
             WriteFile(member, "fedcba9876543210");
             SetTime(member, kOldTime);
         },
         false},
        {"zip renamed in case", [&] { std::filesystem::rename(zip, fx.romsDir + "PACMAN.zip"); },
         [&] { std::filesystem::rename(fx.romsDir + "PACMAN.zip", zip); }, true, true, true},
        {"new file", [&] { Plain("new.bin", "x"); }, [&] { std::filesystem::remove(fx.romsDir + "new.bin"); }, true},
        {"new member", [&] { WriteFile(fx.romsDir + "galaga/gg2.bin", "y"); },
         [&] { std::filesystem::remove(fx.romsDir + "galaga/gg2.bin"); }, true},
        {"folder newer than its cache",
         [&] {
             const int64_t now = std::time(nullptr);
             SetTime(fx.romsDir, now + 3600);
         },
         [&] { AgeFolder(); }, true, false},
    };
    for (const TChange& change : changes) {
        SCOPED_TRACE(change.what);
        change.make();
        if (change.ageFolder) AgeFolder();
        EXPECT_EQ(changed(), change.changed);
        change.undo();
        AgeFolder();
        if (change.zipTouched) {
            EXPECT_TRUE(changed()) << "undone, but the zip's status changed";
            fx.Load();
            AgeFolder();
        }
        EXPECT_FALSE(changed()) << "undone";
    }
    EXPECT_EQ(reads, 0) << "the change test reads no rom";
}

TEST_F(ScanTest, EventsNameThePathAndEachEntryInLowerCase) {
    Zip("PacMan.zip", "pm1.bin", "0123456789abcdef");
    std::vector<std::string> infos;
    fx.files->OnInfos = [&](const std::string& text) { infos.push_back(text); };
    fx.path->Scan(false);
    ASSERT_GE(infos.size(), 2u);
    EXPECT_EQ(infos[0], "Preparing " + fx.romsDir);
    EXPECT_EQ(infos[1], "Loading pacman.zip");
}

TEST_F(ScanTest, FileThatVanishesOrCannotBeSignedBecomesAnErrorEntry) {
    Plain("a.bin", "aaaa");
    Plain("b.bin", "bbbb");
    Zip("c.zip", "c.bin", "cccc");
    // b.bin goes while the scan runs, between the listing and its reading.
    fx.files->OnInfos = [&](const std::string& text) {
        if (text == "Loading b.bin") std::filesystem::remove(fx.romsDir + "b.bin");
    };
    EXPECT_EQ(fx.Load(), 2);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.bin", "b.bin", "c.zip"}));
    const TFile* vanished = fx.path->Files().Find("b.bin");
    EXPECT_EQ(vanished->ErrorText, "File b.bin not found.");
    EXPECT_TRUE(vanished->RomFiles.Empty());
    EXPECT_EQ(fx.path->Files().Find("c.zip")->GetRomFileCount(), 1) << "the scan went on";
    fx.files->OnInfos = nullptr;
    EXPECT_EQ(fx.Load(), 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.bin", "c.zip"})) << "dropped by the next scan";

    // No plug-in: plain files and folder members cannot be signed; the zip's stored
    // CRCs still serve, and the calculator signs zips again afterwards.
    fx.calc.SetCrcPlugIn(nullptr);
    Plain("d.bin", "dddd");
    WriteFile(fx.romsDir + "folder/inner.zip", "xx");
    Zip("e.zip", "e.bin", "eeee");
    fx.Restart();
    fx.Load();
    EXPECT_EQ(fx.path->Files().Find("d.bin")->ErrorText, "No plug in specified");
    EXPECT_EQ(fx.path->Files().Find("folder")->ErrorText, "No plug in specified");
    EXPECT_EQ(fx.path->Files().Find("e.zip")->GetRomFileCount(), 1);
    EXPECT_TRUE(fx.calc.ScanInsideZip()) << "restored after the failed folder member";

    EXPECT_THROW(fx.path->AddFile(fx.romsDir + "missing.zip", fkZip), filesbd::EFileNotFound);
    try {
        fx.path->AddFile(fx.romsDir + "missing.bin", fkPlain);
        ADD_FAILURE();
    } catch (const filesbd::EFileNotFound& e) {
        EXPECT_EQ(e.Message(), "File missing.bin not found.");
    }
}

TEST_F(ScanTest, AddFileGivesBackAListedFileUnread) {
    Plain("a.bin", "aaaa");
    WriteFile(fx.romsDir + "dir/m.bin", "m");
    TFile* plain = fx.path->AddFile(fx.romsDir + "a.bin", fkPlain);
    TFile* folder = fx.path->AddFile(fx.romsDir + "dir", fkFolder);
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->FullPath, fx.romsDir + "dir/");
    EXPECT_EQ(folder->Name, "dir");
    EXPECT_EQ(plain->Size, 4);
    const int64_t calls = fx.files->SignatureCalls;
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(fx.path->AddFile(fx.romsDir + "a.bin", fkPlain), plain);
    EXPECT_EQ(fx.path->AddFile(fx.romsDir + "dir/", fkFolder), folder);
    EXPECT_EQ(fx.files->SignatureCalls, calls);
}

TEST_F(ScanTest, FilteredExtensionGivesAFileWithoutRomAndWithoutError) {
    fx.calc.SetScanExtensions(".bin");
    Plain("readme.txt", "hello");
    Plain("a.bin", "aaaa");
    fx.Load();
    const TFile* readme = fx.path->Files().Find("readme.txt");
    ASSERT_NE(readme, nullptr);
    EXPECT_EQ(readme->GetRomFileCount(), 0);
    EXPECT_FALSE(readme->HasError());
    EXPECT_EQ(readme->Size, 5);
    EXPECT_EQ(fx.path->Files().Find("a.bin")->GetRomFileCount(), 1);
}

// Work files of a rewrite are never files of the collection; those of a process that
// is gone (killed half way) are taken away by the next scan, a running one's are left.
TEST_F(ScanTest, WorkFilesOfRewritesAreNeverListedAndLeftoversGo) {
    Zip("pacman.zip", "pm1.bin", "abc");
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);  // its number now names no process
    const std::string dead = fx.romsDir + ".pacman.zip.qmtmp-" + std::to_string(child) + "-Ab12Cd";
    const std::string alive = fx.romsDir + ".galaga.zip.qmtmp-" + std::to_string(::getppid()) + "-Zz99Yy";
    const std::string older = fx.romsDir + ".dkong.zip.qmtmp-Qw3rTy";  // no process named, written now
    const std::string folder = fx.romsDir + ".mspac.qmtmp-" + std::to_string(child) + "-Fo1der/";
    for (const std::string& name : {dead, alive}) Plain(name.substr(fx.romsDir.size()), "half a zip");
    WriteFile(older, "half a zip");
    WriteFile(folder + "ms1.bin", "x");
    fx.Load();
    EXPECT_EQ(Names(), std::vector<std::string>{"pacman.zip"});
    EXPECT_FALSE(std::filesystem::exists(dead));
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_TRUE(std::filesystem::exists(alive));
    EXPECT_TRUE(std::filesystem::exists(older));
    // Of a process gone long ago, before work files named theirs: it goes too.
    SetTime(older, kOldTime);
    fx.Restart();
    fx.Load();
    EXPECT_EQ(Names(), std::vector<std::string>{"pacman.zip"});
    EXPECT_FALSE(std::filesystem::exists(older));
}

TEST_F(ScanTest, ZeroByteZipBecomesAnEmptyArchive) {
    Plain("void.zip", "");
    fx.Load();
    const TFile* zip = fx.path->Files().Find("void.zip");
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(zip->GetRomFileCount(), 0);
    EXPECT_FALSE(zip->HasError());
    EXPECT_EQ(zip->Size, 22);
    int status = -1;
    const std::string out = RunCommand(
        "python3 -c 'import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); print(len(z.namelist()), z.testzip())' " +
            ShellQuote(fx.romsDir + "void.zip"),
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "0 None\n");
}

TEST_F(ScanTest, DatesOfEveryKindAgreeWithTheCache) {
    // Odd seconds and moments outside the DOS range: the scan's date and the cached one
    // are the same value, so nothing is read again after a restart.
    Plain("odd.bin", "odd");
    SetTime(fx.romsDir + "odd.bin", kOldTime + 1);
    Plain("early.bin", "early");
    SetTime(fx.romsDir + "early.bin", 100000000);  // 1973
    Plain("late.bin", "late");
    SetTime(fx.romsDir + "late.bin", 4500000000);  // 2112
    WriteFile(fx.romsDir + "folder/m.bin", "m");
    SetTime(fx.romsDir + "folder/m.bin", 4500000000);
    EXPECT_EQ(fx.Load(), 4);
    EXPECT_EQ(ScanDate(4500000000), 0);
    EXPECT_NE(fx.path->Files().Find("folder")->Date, 0) << "a kept folder's own date is known";
    fx.Restart();
    EXPECT_EQ(fx.Load(), 0);
    fx.Restart();
    fx.Load();
    EXPECT_NE(fx.path->Files().Find("folder")->Date, 0);
}

TEST_F(ScanTest, RefreshReloadsTheHoldingAndTheNestedRomPaths) {
    Zip("pacman.zip", "pm1.bin", "0123456789abcdef");
    WriteFile(fx.romsDir + "sub/gg1.bin", "fedcba9876543210");
    TPath* sub = fx.files->AddPath(fx.romsDir + "sub/", "1234-abcd", "ROMDISK");
    fx.Load();
    sub->Load(false);
    std::vector<std::string> infos;
    fx.files->OnInfos = [&](const std::string& text) {
        if (text == "Refreshing...") infos.push_back(text);
    };
    fx.path->Refresh(false, false, false);
    EXPECT_EQ(infos.size(), 2u) << "itself and the rom path of its folder sub";
    infos.clear();
    sub->Refresh(false, true, false);
    EXPECT_EQ(infos.size(), 1u) << "only the holding rom path";

    fx.path->Files().Find("pacman.zip")->RomFiles[0]->ErrorFlag = true;
    sub->Refresh(false, true, true);
    EXPECT_FALSE(fx.path->Files().Find("pacman.zip")->RomFiles[0]->ErrorFlag);
}

}  // namespace
}  // namespace qm::test
