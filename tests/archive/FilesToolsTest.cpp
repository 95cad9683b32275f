#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "archive/DiskInfo.h"
#include "archive/FilesTools.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

using namespace qm;
using qm::test::FileExists;
using qm::test::ReadFile;
using qm::test::TTempDir;
using qm::test::WriteFile;

namespace {

// DOS times are local: the tests pin the zone.
class ScopedUtc {
public:
    ScopedUtc() {
        if (const char* tz = std::getenv("TZ")) old_ = tz, had_ = true;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    ~ScopedUtc() {
        if (had_) ::setenv("TZ", old_.c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string old_;
    bool had_ = false;
};

int64_t UtcSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return static_cast<int64_t>(::timegm(&t));
}

void SetMtime(const std::string& path, int64_t seconds) {
    const struct timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

int64_t Mtime(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : -1;
}

unsigned Mode(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

constexpr int32_t Dos(int year, int month, int day, int hour, int minute, int second) {
    return static_cast<int32_t>(static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day) << 16 |
                                static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2)));
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(FilesTools, PrivateTemporaryFolder) {
    TTempDir base;
    const std::string first = GetTempDirectory();
    EXPECT_EQ(first.back(), '/');
    EXPECT_EQ(first.rfind(GetTempDirectoryBase(), 0), 0u);
    EXPECT_EQ(Mode(first), 0700u);
    EXPECT_EQ(GetTempDirectory(), first);
    EXPECT_FALSE(SetTempDirectoryBase(base.Path()));  // too late: the folder exists
    WriteFile(first + "sub/work.tmp", "x");
    RemoveTempDirectory();
    EXPECT_FALSE(FileExists(first));

    ASSERT_TRUE(SetTempDirectoryBase(base.Path()));
    const std::string second = GetTempDirectory();
    EXPECT_NE(second, first);
    EXPECT_EQ(second.rfind(base.Path() + "quarmelle-", 0), 0u);
    RemoveTempDirectory();
    EXPECT_TRUE(FileExists(base.Path()));  // the user's folder itself stays
    EXPECT_TRUE(std::filesystem::is_empty(base.Path()));
    SetTempDirectoryBase("");
}

TEST(FilesTools, DosDatesAreLocalWithTwoSecondSteps) {
    ScopedUtc utc;
    struct Case {
        int64_t seconds;
        int32_t dos;
    };
    const Case cases[] = {
        {UtcSeconds(2020, 2, 29, 13, 45, 59), Dos(2020, 2, 29, 13, 45, 58)},
        {UtcSeconds(1980, 1, 1, 0, 0, 0), Dos(1980, 1, 1, 0, 0, 0)},
        {UtcSeconds(1979, 12, 31, 23, 59, 59), Dos(1980, 1, 1, 0, 0, 0)},  // clamped, not "absent"
        {0, Dos(1980, 1, 1, 0, 0, 0)},
        {UtcSeconds(2107, 12, 31, 23, 59, 58), Dos(2107, 12, 31, 23, 59, 58)},  // negative as 32 bits
        {UtcSeconds(2108, 1, 1, 0, 0, 0), -1},
    };
    for (const auto& c : cases) EXPECT_EQ(DosDateTimeFromUnix(c.seconds), c.dos) << c.seconds;

    TTempDir dir;
    EXPECT_EQ(GetFileDosDateTime(dir / "missing"), -1);
    EXPECT_EQ(GetLatestFileTime(dir.Path()), 0);
    WriteFile(dir / "old.bin", "a");
    WriteFile(dir / "new.bin", "b");
    SetMtime(dir / "old.bin", UtcSeconds(2001, 5, 6, 7, 8, 10));
    SetMtime(dir / "new.bin", UtcSeconds(2011, 1, 2, 3, 4, 6));
    EXPECT_EQ(GetFileDosDateTime(dir / "old.bin"), Dos(2001, 5, 6, 7, 8, 10));
    EXPECT_EQ(GetLatestFileTime(dir.Path()), Dos(2011, 1, 2, 3, 4, 6));
    EXPECT_EQ(CountDirEntries(dir.Path()), 2);
    EXPECT_EQ(CountDirEntries(dir / "missing"), 0);
}

TEST(FilesTools, FolderStatistics) {
    TTempDir dir;
    WriteFile(dir / "a.bin", "123");
    WriteFile(dir / ".cache/x", "ignored");
    WriteFile(dir / "sub/b.bin", "12345");
    WriteFile(dir / "sub/deeper/c.bin", "1");
    std::filesystem::create_directory_symlink(dir / "sub", dir / "link");  // never followed
    TDirStatistics counters;
    counters.files = 99;
    GetDirStatistics(dir.Path(), true, counters);
    EXPECT_EQ(counters.files, 4);  // a.bin, b.bin, c.bin and the link itself
    EXPECT_EQ(counters.folders, 2);
    EXPECT_EQ(counters.bytes, 9);
    GetDirStatistics(dir / "sub", false, counters);
    EXPECT_EQ(counters.files, 1);
    EXPECT_EQ(counters.folders, 1);
    EXPECT_EQ(counters.bytes, 5);

    // Beyond 4 GiB the byte count does not wrap (a sparse file takes no room).
    const int fd = ::open((dir / "sub/big.bin").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 5LL << 30), 0);
    ::close(fd);
    GetDirStatistics(dir / "sub", false, counters);
    EXPECT_EQ(counters.bytes, (5LL << 30) + 5);
}

TEST(FilesTools, SizesAttributesAndExistence) {
    TTempDir dir;
    WriteFile(dir / "b.bin", "12345");
    WriteFile(dir / "a.bin", "12");
    WriteFile(dir / ".hidden", "");
    std::filesystem::create_directory(dir / "Folder");
    EXPECT_EQ(GetFileSizeByName(dir / "b.bin"), 5);
    EXPECT_EQ(GetFileSizeByName(dir / "*.bin"), 2);  // first in name order
    EXPECT_EQ(GetFileSizeByName(dir / "?.zip"), -1);
    WriteFile(dir / "Game [!].zip", "1234");
    EXPECT_EQ(GetFileSizeByName(dir / "Game [!].zip"), 4);  // brackets are no wildcards
    EXPECT_EQ(GetFileSizeByName(dir / "G*[!]*"), 4);
    EXPECT_EQ(GetFileSizeByName(dir / "Game [a].zip"), -1);
    EXPECT_EQ(GetFileSizeByName(dir / "Folder"), 0);
    EXPECT_EQ(GetFileSizeByName(dir / "missing"), -1);

    EXPECT_TRUE(FileHasAttr(dir / ".hidden", faHidden | faArchive));
    EXPECT_TRUE(FileHasAttr(dir / "Folder/", faDirectory));
    EXPECT_FALSE(FileHasAttr(dir / "a.bin", faReadOnly));
    EXPECT_TRUE(FileHasAttr(dir / "missing", 0));
    EXPECT_FALSE(FileHasAttr(dir / "missing", faReadOnly));

    ::chmod((dir / "a.bin").c_str(), 0444);
    EXPECT_TRUE(FileHasAttr(dir / "a.bin", faReadOnly));
    EXPECT_TRUE(ClearReadOnly(dir / "a.bin"));
    EXPECT_EQ(Mode(dir / "a.bin"), 0644u);
    EXPECT_TRUE(ClearReadOnly(dir / "a.bin"));  // already writable
    EXPECT_FALSE(ClearReadOnly(dir / "missing"));

    EXPECT_TRUE(FileExistsCase(dir / "a.bin", true));
    EXPECT_TRUE(FileExistsCase(dir / "a.bin", false));
    EXPECT_FALSE(FileExistsCase(dir / "A.BIN", true));
    EXPECT_FALSE(FileExistsCase(dir / "Folder", true));
    EXPECT_TRUE(DirExistsCase(dir / "Folder/", true));
    EXPECT_FALSE(DirExistsCase(dir / "folder", true));
    EXPECT_FALSE(DirExistsCase(dir / "a.bin", false));
}

TEST(FilesTools, ReadOnlyPathsComeFromTheSeamAndChangeNothing) {
    TTempDir dir;
    std::filesystem::create_directory(dir / "ro");
    ::chmod((dir / "ro").c_str(), 0555);
    TRealFileSystem real;
    TFaultyFileSystem faulty(real);
    faulty.readOnlyPaths.push_back(dir / "ro");
    TScopedFileSystem scope(faulty);
    EXPECT_TRUE(IsReadOnlyPath(dir / "ro/"));
    EXPECT_EQ(Mode(dir / "ro"), 0555u);  // no permission was changed to find out
    EXPECT_FALSE(IsReadOnlyPath(dir.Path()));
    EXPECT_FALSE(IsReadOnlyPath(dir / "missing"));
    EXPECT_EQ(faulty.changingCalls, 0);
}

TEST(FilesTools, PathWithoutItsDrive) {
    TStaticVolumeProvider volumes;
    TVolumeFacts root, usb;
    root.root = "/";
    usb.root = "/media/usb/";
    volumes.volumes = {root, usb};
    TScopedVolumeProvider scope(volumes);
    EXPECT_EQ(PathWithoutDrive("/media/usb/roms/a.zip"), "/roms/");
    EXPECT_EQ(PathWithoutDrive("/media/usb/roms/mame/"), "/roms/mame/");
    EXPECT_EQ(PathWithoutDrive("/media/usb/a.zip"), "/");
    EXPECT_EQ(PathWithoutDrive("/media/usb/"), "/");
    EXPECT_EQ(PathWithoutDrive("/media/usbx/roms/a.zip"), "/media/usbx/roms/");
    EXPECT_EQ(PathWithoutDrive("/home/me/x/../roms/a.zip"), "/home/me/roms/");
}

TEST(FilesTools, WriteByteAtCreatesOrPatches) {
    TTempDir dir;
    EXPECT_TRUE(WriteByteAt(dir / "dummy.bin", 10, 0));
    EXPECT_EQ(ReadFile(dir / "dummy.bin"), std::string(10, '\0'));
    EXPECT_TRUE(WriteByteAt(dir / "empty.bin", 0, 0));
    EXPECT_EQ(ReadFile(dir / "empty.bin"), "");
    WriteFile(dir / "data.bin", "abcdef");
    EXPECT_TRUE(WriteByteAt(dir / "data.bin", 2, 'X'));
    EXPECT_EQ(ReadFile(dir / "data.bin"), "aXcdef");
    EXPECT_THROW(WriteByteAt(dir / "no/such/folder.bin", 1, 0), filestools::EFileError);

    TRealFileSystem real;
    TFaultyFileSystem faulty(real);
    faulty.failAt = 1;
    TScopedFileSystem scope(faulty);
    EXPECT_THROW(WriteByteAt(dir / "failed.bin", 4, 1), filestools::EFileError);
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"data.bin", "dummy.bin", "empty.bin"}));
}

TEST(FilesTools, DiskSpaceCheckKeepsFiveMebibytesFree) {
    // A fix checks before every rom it writes: the volume is only read to name a full one.
    struct TCountingVolumes : TStaticVolumeProvider {
        int queries = 0;
        bool Query(const std::string& path, TVolumeFacts& facts) override {
            ++queries;
            return TStaticVolumeProvider::Query(path, facts);
        }
    } volumes;
    TVolumeFacts usb;
    usb.root = "/media/usb/";
    usb.uuid = "1234-5678";
    volumes.volumes = {usb};
    TScopedVolumeProvider vscope(volumes);
    TRealFileSystem real;
    TFaultyFileSystem faulty(real);
    faulty.forcedFreeSpace = 100000000;
    TScopedFileSystem scope(faulty);
    EXPECT_NO_THROW(CheckDiskSpace("/media/usb/roms/", 100000000 - kDiskSpaceReserve));
    EXPECT_EQ(volumes.queries, 0);
    try {
        CheckDiskSpace("/media/usb/roms/", 100000000 - kDiskSpaceReserve + 1);
        FAIL() << "no error";
    } catch (const EDiskFull& e) {
        EXPECT_EQ(e.Message(), "Disk /media/usb/ is full");
    }
    EXPECT_THROW(CheckDiskSpace("/media/usb/roms/", INT64_MAX), EDiskFull);
    faulty.forcedFreeSpace = -1;  // unknown free space is no free space
    EXPECT_THROW(CheckDiskSpace("/media/usb/roms/", 0), EDiskFull);
}

TEST(FilesTools, ShellCopyOfFilesAndFolders) {
    TTempDir dir;
    WriteFile(dir / "src/game.zip", "zip");
    WriteFile(dir / "src/set/a.bin", "a");
    WriteFile(dir / "src/set/inner/b.bin", "b");
    ::chmod((dir / "src/game.zip").c_str(), 0640);
    SetMtime(dir / "src/game.zip", 1000000000);
    SetMtime(dir / "src/set/a.bin", 1100000000);
    std::filesystem::create_directory(dir / "dst");

    ShellCopyFile(dir / "src/game.zip", dir / "dst");  // into an existing folder
    EXPECT_EQ(ReadFile(dir / "dst/game.zip"), "zip");
    EXPECT_EQ(Mtime(dir / "dst/game.zip"), 1000000000);
    EXPECT_EQ(Mode(dir / "dst/game.zip"), 0640u);
    ShellCopyFile(dir / "src/game.zip", dir / "dst/renamed.zip");  // a new name
    EXPECT_EQ(ReadFile(dir / "dst/renamed.zip"), "zip");
    WriteFile(dir / "dst/renamed.zip", "older");
    ShellCopyFile(dir / "src/game.zip", dir / "dst/renamed.zip");  // replaced by a finished copy
    EXPECT_EQ(ReadFile(dir / "dst/renamed.zip"), "zip");

    ShellCopyFile(dir / "src/set", dir / "dst");  // the folder goes into dst
    EXPECT_EQ(ReadFile(dir / "dst/set/inner/b.bin"), "b");
    EXPECT_EQ(Mtime(dir / "dst/set/a.bin"), 1100000000);
    ShellCopyFile(dir / "src/set/", dir / "dst/copy");  // the folder becomes dst/copy
    EXPECT_EQ(ReadFile(dir / "dst/copy/a.bin"), "a");
    EXPECT_EQ(ReadFile(dir / "src/set/a.bin"), "a");

    EXPECT_THROW(ShellCopyFile(dir / "src/set", dir / "src/set/inner"), filestools::EFileError);
    try {
        ShellCopyFile(dir / "src/missing", dir / "dst");
        FAIL() << "no error";
    } catch (const filestools::EFileError& e) {
        EXPECT_EQ(e.Message(), "File Error during transfert\n" + SysErrorMessage(ENOENT));
    }
}

TEST(FilesTools, AFailedFolderCopyLeavesNoHalfCopy) {
    TTempDir dir;
    WriteFile(dir / "src/set/a.bin", "a");
    WriteFile(dir / "src/set/b.bin", "b");
    WriteFile(dir / "src/set/c.bin", "c");
    TRealFileSystem real;
    TFaultyFileSystem faulty(real);
    faulty.failAt = 3;  // the copy of the third file
    {
        TScopedFileSystem scope(faulty);
        EXPECT_THROW(ShellCopyFile(dir / "src/set", dir / "dst"), filestools::EFileError);
    }
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"src"});
    EXPECT_EQ(Names(dir / "src/set"), (std::vector<std::string>{"a.bin", "b.bin", "c.bin"}));
}

TEST(FilesTools, ShellMoveNeverReplaces) {
    TTempDir dir;
    WriteFile(dir / "a.zip", "new");
    WriteFile(dir / "dst/a.zip", "old");
    EXPECT_THROW(ShellMoveFile(dir / "a.zip", dir / "dst", false), filestools::EFileError);
    EXPECT_EQ(ReadFile(dir / "a.zip"), "new");
    EXPECT_EQ(ReadFile(dir / "dst/a.zip"), "old");
    ShellMoveFile(dir / "a.zip", dir / "dst", true);
    EXPECT_EQ(ReadFile(dir / "dst/a (2).zip"), "new");
    EXPECT_EQ(ReadFile(dir / "dst/a.zip"), "old");
    EXPECT_FALSE(FileExists(dir / "a.zip"));

    WriteFile(dir / "set/x.bin", "x");
    ShellMoveFile(dir / "set", dir / "dst/moved", false);
    EXPECT_EQ(ReadFile(dir / "dst/moved/x.bin"), "x");
    EXPECT_FALSE(FileExists(dir / "set"));
}

TEST(FilesTools, MovesAcrossVolumesByCopyAndDelete) {
    TTempDir dir;
    WriteFile(dir / "set/x.bin", "x");
    WriteFile(dir / "set/sub/y.bin", "y");
    WriteFile(dir / "file.zip", "zip");
    SetMtime(dir / "set/x.bin", 1200000000);
    SetMtime(dir / "file.zip", 1300000000);
    std::filesystem::create_directory(dir / "dst");
    TRealFileSystem real;
    TFaultyFileSystem faulty(real);
    faulty.failErrno = EXDEV;  // the rename meets another volume
    TScopedFileSystem scope(faulty);

    faulty.failAt = 1;
    ShellMoveFile(dir / "set", dir / "dst", false);
    EXPECT_EQ(ReadFile(dir / "dst/set/sub/y.bin"), "y");
    EXPECT_EQ(Mtime(dir / "dst/set/x.bin"), 1200000000);
    EXPECT_FALSE(FileExists(dir / "set"));

    faulty.changingCalls = 0;
    ShellMoveFile(dir / "file.zip", dir / "dst", false);
    EXPECT_EQ(ReadFile(dir / "dst/file.zip"), "zip");
    EXPECT_EQ(Mtime(dir / "dst/file.zip"), 1300000000);
    EXPECT_FALSE(FileExists(dir / "file.zip"));

    WriteFile(dir / "m.dat", "dat");
    SetMtime(dir / "m.dat", 1400000000);
    faulty.changingCalls = 0;
    MoveFileSafe(dir / "m.dat", dir / "dst/m.dat");
    EXPECT_EQ(ReadFile(dir / "dst/m.dat"), "dat");
    EXPECT_EQ(Mtime(dir / "dst/m.dat"), 1400000000);
    EXPECT_FALSE(FileExists(dir / "m.dat"));
}

TEST(FilesTools, MoveFileSafeFailures) {
    TTempDir dir;
    WriteFile(dir / "a.dat", "a");
    WriteFile(dir / "b.dat", "b");
    MoveFileSafe(dir / "a.dat", dir / "c.dat");
    EXPECT_EQ(ReadFile(dir / "c.dat"), "a");

    // An existing Dest is never replaced.
    try {
        MoveFileSafe(dir / "b.dat", dir / "c.dat");
        FAIL() << "no error";
    } catch (const EFCantMove& e) {
        EXPECT_EQ(e.Message(), "Can't copy file.\n" + SysErrorMessage(EEXIST));
    }
    EXPECT_EQ(ReadFile(dir / "b.dat"), "b");
    EXPECT_EQ(ReadFile(dir / "c.dat"), "a");

    TRealFileSystem real;
    TFaultyFileSystem faulty(real);
    faulty.failErrno = EACCES;
    TScopedFileSystem scope(faulty);

    // A read-only source that cannot be renamed is not copied.
    ::chmod((dir / "b.dat").c_str(), 0444);
    faulty.failAt = 1;
    try {
        MoveFileSafe(dir / "b.dat", dir / "d.dat");
        FAIL() << "no error";
    } catch (const EFCantMove& e) {
        EXPECT_EQ(e.Message(), "Can't move file. (readonly)");
    }
    EXPECT_FALSE(FileExists(dir / "d.dat"));
    EXPECT_EQ(faulty.changingCalls, 1);
    ::chmod((dir / "b.dat").c_str(), 0644);

    // Rename and copy fail: the source stays.
    faulty.changingCalls = 0;
    faulty.sticky = true;
    try {
        MoveFileSafe(dir / "b.dat", dir / "d.dat");
        FAIL() << "no error";
    } catch (const EFCantMove& e) {
        EXPECT_EQ(e.Message(), "Can't copy file.\n" + SysErrorMessage(EACCES));
    }
    EXPECT_EQ(ReadFile(dir / "b.dat"), "b");
    EXPECT_FALSE(FileExists(dir / "d.dat"));

    // The copy is made but the original cannot go: both stay, and the error says so.
    faulty.sticky = false;
    faulty.changingCalls = 0;
    faulty.failErrno = EXDEV;
    faulty.failAt = 1;
    // (the cast: a plain argument would pick the copy constructor and drop the inner layer)
    TFaultyFileSystem second(static_cast<IFileSystem&>(faulty));  // fails the unlink after the copy
    second.failAt = 3;
    second.failErrno = EBUSY;
    TScopedFileSystem scope2(second);
    try {
        MoveFileSafe(dir / "b.dat", dir / "d.dat");
        FAIL() << "no error";
    } catch (const EFCantMove& e) {
        EXPECT_EQ(e.Message(), "Can't delete original.\n" + SysErrorMessage(EBUSY));
    }
    EXPECT_EQ(ReadFile(dir / "b.dat"), "b");
    EXPECT_EQ(ReadFile(dir / "d.dat"), "b");
}
