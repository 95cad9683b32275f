#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "archive/FilesTools.h"
#include "archive/Trash.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

using namespace qm;
using qm::test::FileExists;
using qm::test::ReadFile;
using qm::test::TTempDir;
using qm::test::WriteFile;

namespace {

// Points the home trash at a private folder for the test's lifetime.
class ScopedDataHome {
public:
    explicit ScopedDataHome(const std::string& folder) {
        if (const char* old = std::getenv("XDG_DATA_HOME")) old_ = old, had_ = true;
        ::setenv("XDG_DATA_HOME", folder.c_str(), 1);
    }
    ~ScopedDataHome() {
        if (had_) ::setenv("XDG_DATA_HOME", old_.c_str(), 1);
        else ::unsetenv("XDG_DATA_HOME");
    }

private:
    std::string old_;
    bool had_ = false;
};

std::string InfoPathLine(const std::string& info) {
    std::smatch m;
    static const std::regex re("\\nPath=([^\\n]*)\\n");
    return std::regex_search(info, m, re) ? m[1].str() : std::string();
}

}  // namespace

TEST(Trash, MovesFilesAndFoldersIntoTheHomeTrashWithARecord) {
    TTempDir data, work;
    ScopedDataHome home(data.Path() + "share");  // missing: the trash folders are made
    WriteFile(work / "roms/game 1.zip", "zip-bytes");
    WriteFile(work / "roms/sub/a.bin", "a");
    WriteFile(work / "other/game 1.zip", "second");

    std::string reason, placed;
    ASSERT_TRUE(MoveToTrash(work / "roms/game 1.zip", reason, &placed)) << reason;
    const std::string trash = data.Path() + "share/Trash";
    EXPECT_EQ(placed, trash + "/files/game 1.zip");
    EXPECT_FALSE(FileExists(work / "roms/game 1.zip"));
    EXPECT_EQ(ReadFile(trash + "/files/game 1.zip"), "zip-bytes");
    const std::string info = ReadFile(trash + "/info/game 1.zip.trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\n", 0), 0u);
    EXPECT_EQ(InfoPathLine(info), EncodeTrashPath(work / "roms/game 1.zip"));
    EXPECT_NE(InfoPathLine(info).find("game%201.zip"), std::string::npos);
    EXPECT_TRUE(std::regex_search(info, std::regex("\\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\n")));
    EXPECT_EQ(std::filesystem::status(trash).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);

    // The same name again takes a free one; the first stays.
    ASSERT_TRUE(MoveToTrash(work / "other/game 1.zip", reason, &placed)) << reason;
    EXPECT_EQ(placed, trash + "/files/game 1 (2).zip");
    EXPECT_EQ(ReadFile(trash + "/files/game 1.zip"), "zip-bytes");
    EXPECT_TRUE(FileExists(trash + "/info/game 1 (2).zip.trashinfo"));

    // A folder, given with its trailing "/".
    ASSERT_TRUE(MoveToTrash(work / "roms/sub/", reason, &placed)) << reason;
    EXPECT_EQ(ReadFile(trash + "/files/sub/a.bin"), "a");
    EXPECT_FALSE(FileExists(work / "roms/sub"));

    // Through a link to its folder: the link stays, the file goes, the record names the
    // real place.
    std::filesystem::create_directory_symlink(work / "other", work / "via");
    WriteFile(work / "other/c.bin", "c");
    ASSERT_TRUE(MoveToTrash(work / "via/c.bin", reason, &placed)) << reason;
    EXPECT_EQ(InfoPathLine(ReadFile(trash + "/info/c.bin.trashinfo")),
              EncodeTrashPath(std::filesystem::canonical(work / "other").string() + "/c.bin"));
    EXPECT_TRUE(std::filesystem::is_symlink(work / "via"));
}

TEST(Trash, AFailedTrashKeepsTheFileAndLeavesNoRecord) {
    TTempDir data, work;
    ScopedDataHome home(data.Path());
    WriteFile(work / "a.zip", "keep");
    TRealFileSystem real;
    TFaultyFileSystem faulty(real);
    faulty.failAt = 1;
    faulty.failErrno = EIO;
    std::string reason;
    {
        TScopedFileSystem scope(faulty);
        EXPECT_FALSE(MoveToTrash(work / "a.zip", reason));
    }
    EXPECT_NE(reason.find(SysErrorMessage(EIO)), std::string::npos);
    EXPECT_EQ(ReadFile(work / "a.zip"), "keep");
    EXPECT_TRUE(std::filesystem::is_empty(data.Path() + "Trash/info"));

    // Through the shell routine: the error names the cause and nothing is deleted.
    WriteFile(data / "blocker", "");
    ScopedDataHome blocked(data.Path() + "blocker/x");  // the trash cannot be made under a file
    try {
        ShellDeleteFile(work / "a.zip");
        FAIL() << "no error";
    } catch (const filestools::EFileError& e) {
        EXPECT_EQ(e.Message().rfind("File Error during transfert\n", 0), 0u) << e.Message();
        EXPECT_NE(e.Message().find(SysErrorMessage(ENOTDIR)), std::string::npos) << e.Message();
    }
    EXPECT_EQ(ReadFile(work / "a.zip"), "keep");

    EXPECT_FALSE(MoveToTrash(work / "missing.zip", reason));
}

TEST(Trash, AVolumeTrashRecordsThePathFromTheVolumeTop) {
    TTempDir top;
    WriteFile(top / "roms/x y.bin", "x");
    std::string placed;
    ASSERT_EQ(PutIntoTrash(top / ".Trash-0", top / "roms/x y.bin", "roms/x y.bin", placed), 0);
    EXPECT_EQ(ReadFile(top / ".Trash-0/files/x y.bin"), "x");
    EXPECT_EQ(InfoPathLine(ReadFile(top / ".Trash-0/info/x y.bin.trashinfo")), "roms/x%20y.bin");
}

TEST(Trash, TrashPathsAndHomeFolder) {
    EXPECT_EQ(EncodeTrashPath("/a b/\xC3\xA9%.zip"), "/a%20b/%C3%A9%25.zip");
    ScopedDataHome home("/data/home/");
    EXPECT_EQ(HomeTrashFolder(), "/data/home/Trash");
    ::unsetenv("XDG_DATA_HOME");
    const char* user = std::getenv("HOME");
    EXPECT_EQ(HomeTrashFolder(), std::string(user ? user : "") + "/.local/share/Trash");
}

TEST(Trash, AVolumeTrashThatWouldLieInARomPathGivesWayToTheHomeTrash) {
    // /dev/shm is a volume of its own: its top folder stands for a USB stick used only
    // for roms, so its trash would lie inside the rom path.
    const std::string top = "/dev/shm";
    if (::access(top.c_str(), W_OK) != 0) GTEST_SKIP() << "no writable volume other than the home's";
    TTempDir data;
    ScopedDataHome home(data.Path() + "share");
    std::string pattern = top + "/qm-trash-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path roms = pattern;
    struct TRemove {
        std::filesystem::path folder;
        ~TRemove() { std::filesystem::remove_all(folder); }
    } remove{roms};
    WriteFile(roms / "useless.zip", "zip-bytes");
    KeepTrashOutOf(top + "/");
    std::string reason, placed;
    const bool trashed = MoveToTrash(roms / "useless.zip", reason, &placed);
    AllowTrashIn(top + "/");
    ASSERT_TRUE(trashed) << reason;
    // Copied across volumes into the home trash, with its full old place.
    const std::string trash = data.Path() + "share/Trash";
    EXPECT_EQ(placed, trash + "/files/useless.zip");
    EXPECT_EQ(ReadFile(placed), "zip-bytes");
    EXPECT_FALSE(FileExists(roms / "useless.zip"));
    EXPECT_EQ(InfoPathLine(ReadFile(trash + "/info/useless.zip.trashinfo")), (roms / "useless.zip").string());
    EXPECT_FALSE(FileExists(top + "/.Trash-" + std::to_string(::geteuid()) + "/files/useless.zip"));
}
