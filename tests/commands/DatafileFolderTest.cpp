#include <gtest/gtest.h>

#include <filesystem>

#include "ui/DatafileTestSupport.h"
#include "archive/archivemanager.h"
#include "platform/FileSystem.h"
#include "platform/UiHooks.h"
#include "ui/commands/DatafileFolder.h"

using namespace qm;
using namespace qm::test;
namespace fs = std::filesystem;

namespace {

class DatafileFolderTest : public ::testing::Test {
protected:
    TDatafileHome home;
    std::string datas = home.Datas();
    TArchiveManager archives;
    TScriptedUiHooks hooks;
    TScopedUiHooks scope{hooks};

    void SetUp() override {
        archives.SetTempDir(GetTempDirectory());
        WriteFile(datas + "a.dat", "A");
        WriteFile(datas + "readme.txt", "not a datafile");
        MakeZip(datas + "b.zip", {{"one.dat", "1"}, {"TWO.DAT", "2"}, {"notes.txt", "t"}});
        WriteFile(datas + "sub/c.txt", "C");
        WriteFile(datas + "sub/a.dat", "the other a");
        WriteFile(datas + "sub/deeper/d.dat", "D");
    }

    std::vector<std::string> Texts(const std::vector<TLocalDatafile>& list) {
        std::vector<std::string> texts;
        for (const auto& d : list) texts.push_back(d.Text);
        return texts;
    }

    const TLocalDatafile& Find(const std::vector<TLocalDatafile>& list, const std::string& text,
                               const std::string& fileName) {
        for (const auto& d : list)
            if (d.Text == text && d.FileName == fileName) return d;
        throw std::runtime_error("no line " + text);
    }
};

}  // namespace

TEST_F(DatafileFolderTest, ListsPlainFilesArchiveEntriesAndSubFolderFilesWithoutRegardToCase) {
    const auto list = ListLocalDatafiles(datas, archives);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"a.dat", "a.dat", "b.zip | one.dat", "b.zip | TWO.DAT", "c.txt"}));
    // Each line keeps the file it stands for: two "a.dat" lines are two files.
    EXPECT_EQ(Find(list, "a.dat", datas + "a.dat").Entry, "");
    EXPECT_EQ(Find(list, "a.dat", datas + "sub/a.dat").Entry, "");
    EXPECT_EQ(Find(list, "b.zip | TWO.DAT", datas + "b.zip").Entry, "TWO.DAT");
    EXPECT_EQ(Find(list, "c.txt", datas + "sub/c.txt").Entry, "");
}

TEST_F(DatafileFolderTest, ABrokenArchiveOrAMissingFolderListsNothingOfIt) {
    WriteFile(datas + "broken.zip", "not a zip at all");
    EXPECT_EQ(ListLocalDatafiles(datas, archives).size(), 5u);
    EXPECT_TRUE(ListLocalDatafiles(datas + "nowhere/", archives).empty());
}

TEST_F(DatafileFolderTest, DeletingASubFolderFileTrashesThatFileAndNotItsTopLevelNamesake) {
    const auto list = ListLocalDatafiles(datas, archives);
    DeleteLocalDatafile(Find(list, "a.dat", datas + "sub/a.dat"), archives);
    EXPECT_FALSE(FileExists(datas + "sub/a.dat"));
    EXPECT_EQ(ReadFile(datas + "a.dat"), "A");
    EXPECT_EQ(ReadFile(home.Trash() + "a.dat"), "the other a");
}

TEST_F(DatafileFolderTest, DeletingBothDatEntriesKeepsTheArchiveWhileOtherEntriesRemain) {
    auto list = ListLocalDatafiles(datas, archives);
    DeleteLocalDatafile(Find(list, "b.zip | one.dat", datas + "b.zip"), archives);
    DeleteLocalDatafile(Find(list, "b.zip | TWO.DAT", datas + "b.zip"), archives);
    EXPECT_EQ(ZipEntries(datas + "b.zip"), "notes.txt\n");

    MakeZip(datas + "e.zip", {{"x.dat", "x"}, {"y.dat", "y"}});
    list = ListLocalDatafiles(datas, archives);
    DeleteLocalDatafile(Find(list, "e.zip | x.dat", datas + "e.zip"), archives);
    EXPECT_EQ(ZipEntries(datas + "e.zip"), "y.dat\n");
    DeleteLocalDatafile(Find(list, "e.zip | y.dat", datas + "e.zip"), archives);
    EXPECT_FALSE(FileExists(datas + "e.zip"));
}

TEST_F(DatafileFolderTest, AFailedTrashLeavesTheFileAndSaysWhy) {
    const auto list = ListLocalDatafiles(datas, archives);
    TFaultyFileSystem faulty(Fs());
    faulty.failAt = 1;
    faulty.sticky = true;
    TScopedFileSystem scopedFs(faulty);
    EXPECT_THROW(DeleteLocalDatafile(Find(list, "a.dat", datas + "a.dat"), archives), datafilefolder::EFileError);
    EXPECT_EQ(ReadFile(datas + "a.dat"), "A");
}

TEST(DatafileRowAfterRemoval, SelectsTheFollowerOfTheLastRemovedRow) {
    struct Case {
        size_t count;
        std::vector<size_t> removed;
        int expected;
    };
    const Case cases[] = {
        {5, {1}, 1},     {5, {1, 3}, 2}, {5, {3, 1}, 2}, {5, {4}, 0},     {5, {0, 4}, 0},
        {3, {0, 1, 2}, -1}, {0, {}, -1},  {4, {}, 0},     {4, {0, 0}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(RowAfterRemoval(c.count, c.removed), c.expected) << c.count;
}

TEST_F(DatafileFolderTest, AddingAsksBeforeReplacingAndCountsOnlyWhatWasCopied) {
    const std::string outside = home.Root() + "new/";
    WriteFile(outside + "a.dat", "new A");
    WriteFile(outside + "f.dat", "F");
    WriteFile(outside + "b.zip", "new zip");
    hooks.dialogAnswers = {mrNo, mrYes};  // keep the old a.dat, replace b.zip
    const int added = AddDatafiles({outside + "a.dat", outside + "f.dat", outside + "b.zip"}, datas);
    EXPECT_EQ(added, 2);
    EXPECT_EQ(ReadFile(datas + "a.dat"), "A");
    EXPECT_EQ(ReadFile(datas + "f.dat"), "F");
    EXPECT_EQ(ReadFile(datas + "b.zip"), "new zip");
    ASSERT_EQ(hooks.shown.size(), 3u);
    EXPECT_EQ(hooks.shown[0].text,
              "A file with the name a.dat exists in destination folder.\n\nWould you like to replace it ?");
    EXPECT_EQ(hooks.shown[0].buttons, mbYes | mbNo);
    EXPECT_EQ(hooks.shown[2].text, "2 datafiles added.");
    EXPECT_EQ(hooks.shown[2].type, TMsgDlgType::mtInformation);
}

TEST_F(DatafileFolderTest, AFailedCopyKeepsTheOldFileAndTheOthersGoOn) {
    const std::string outside = home.Root() + "new/";
    WriteFile(outside + "a.dat", "new A");
    WriteFile(outside + "g.dat", "G");
    hooks.dialogAnswers = {mrYes};
    TFaultyFileSystem faulty(Fs());
    faulty.failAt = 1;
    faulty.failErrno = ENOSPC;
    {
        TScopedFileSystem scopedFs(faulty);
        EXPECT_EQ(AddDatafiles({outside + "a.dat", outside + "g.dat"}, datas), 1);
    }
    EXPECT_EQ(ReadFile(datas + "a.dat"), "A");
    EXPECT_EQ(ReadFile(datas + "g.dat"), "G");
    ASSERT_EQ(hooks.shown.size(), 3u);
    EXPECT_EQ(hooks.shown[1].text, "Can't copy file.\n" + SysErrorMessage(ENOSPC));
    EXPECT_EQ(hooks.shown[1].type, TMsgDlgType::mtError);
    EXPECT_EQ(hooks.shown[2].text, "1 datafiles added.");
}

TEST_F(DatafileFolderTest, AddingAFileOntoItselfLeavesItAlone) {
    EXPECT_EQ(AddDatafiles({datas + "a.dat"}, datas), 0);
    EXPECT_EQ(ReadFile(datas + "a.dat"), "A");
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].text, "0 datafiles added.");
}
