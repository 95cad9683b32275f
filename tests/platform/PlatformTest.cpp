#include <gtest/gtest.h>
#include <zlib.h>

#include <cerrno>
#include <random>
#include <vector>

#include "platform/Crc32.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Progress.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "support/TestSupport.h"

using namespace qm;
using qm::test::TTempDir;

TEST(Fmt, FillsPlaceholdersInOnePass) {
    EXPECT_EQ(Fmt("File %1 not found.", {"a.dat"}), "File a.dat not found.");
    EXPECT_EQ(Fmt("%2-%1", {"x", "y"}), "y-x");
    // A value holding a placeholder is not filled again.
    EXPECT_EQ(Fmt("%1 and %2", {"%2", "b"}), "%2 and b");
    // A placeholder with no value stays.
    EXPECT_EQ(Fmt("%1 %3", {"a"}), "a %3");
    EXPECT_EQ(Fmt("100%", {}), "100%");
}

TEST(Exception, AbortCarriesTheDefaultMessage) {
    EXPECT_STREQ(EAbortOperation().what(), "Operation aborted.");
    try {
        throw EAbortOperation("other");
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "other");
    }
}

TEST(Progress, ReportsOnlyChangedPercentages) {
    TScriptedUiHooks hooks;
    TScopedUiHooks scope(hooks);
    TProgressState state;
    std::vector<int> seen;
    TProgressEvent ev = [&](int p) { seen.push_back(p); };
    for (int i = 0; i <= 10; ++i) state.Report(ev, i, 10);
    // 0 is the starting value and is not reported again.
    EXPECT_EQ(seen, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    seen.clear();
    state.Report(ev, 5, 0);  // maximum 0 means done
    EXPECT_TRUE(seen.empty());  // already at 100
    state.Reset();
    state.Report(ev, 0, 0);
    EXPECT_EQ(seen, std::vector<int>{100});
    EXPECT_EQ(TProgressState::Percent(2, 3), 66);  // remainder dropped
}

TEST(UiHooks, ScriptedAnswersAndBusyCursor) {
    TScriptedUiHooks hooks;
    hooks.dialogAnswers = {mrYes};
    TScopedUiHooks scope(hooks);
    EXPECT_EQ(UiHooks().MessageDlg("Sure?", TMsgDlgType::mtConfirmation, mbYes | mbNo), mrYes);
    EXPECT_EQ(UiHooks().MessageDlg("Again?", TMsgDlgType::mtConfirmation, mbYes | mbNo), mrNone);
    ASSERT_EQ(hooks.shown.size(), 2u);
    EXPECT_EQ(hooks.shown[0].text, "Sure?");
    {
        TBusyCursor a;
        TBusyCursor b;
        EXPECT_EQ(hooks.busyDepth, 2);
    }
    EXPECT_EQ(hooks.busyDepth, 0);
    std::string value = "x";
    EXPECT_FALSE(UiHooks().InputQuery("c", "p", value));
}

TEST(FileSystem, RenameNeverReplaces) {
    TTempDir dir;
    qm::test::WriteFile(dir / "a", "A");
    qm::test::WriteFile(dir / "b", "B");
    EXPECT_EQ(Fs().RenameNoReplace(dir / "a", dir / "b"), EEXIST);
    EXPECT_EQ(qm::test::ReadFile(dir / "b"), "B");
    EXPECT_EQ(qm::test::ReadFile(dir / "a"), "A");
    EXPECT_EQ(Fs().RenameNoReplace(dir / "a", dir / "c"), 0);
    EXPECT_FALSE(qm::test::FileExists(dir / "a"));
    EXPECT_EQ(qm::test::ReadFile(dir / "c"), "A");
    // A rename that changes only the letter case is a plain rename.
    EXPECT_EQ(Fs().RenameNoReplace(dir / "c", dir / "C"), 0);
    EXPECT_EQ(qm::test::ReadFile(dir / "C"), "A");
}

TEST(FileSystem, AtomicWriteKeepsOldFileOnFailure) {
    TTempDir dir;
    qm::test::WriteFile(dir / "f.ini", "old");
    EXPECT_EQ(Fs().WriteFileAtomic(dir / "f.ini", "new"), 0);
    EXPECT_EQ(qm::test::ReadFile(dir / "f.ini"), "new");
    // Into a missing folder: fails, nothing created.
    EXPECT_NE(Fs().WriteFileAtomic(dir / "missing/f.ini", "x"), 0);
    std::vector<TDirEntry> entries;
    ASSERT_EQ(Fs().ListDir(dir.Path(), entries), 0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "f.ini");
}

TEST(FileSystem, CopyAndListSorted) {
    TTempDir dir;
    qm::test::WriteFile(dir / "b", "12345");
    qm::test::WriteFile(dir / "a", "x");
    EXPECT_EQ(Fs().CopyFile(dir / "b", dir / "a", false), EEXIST);
    EXPECT_EQ(qm::test::ReadFile(dir / "a"), "x");
    EXPECT_EQ(Fs().CopyFile(dir / "b", dir / "a", true), 0);
    EXPECT_EQ(qm::test::ReadFile(dir / "a"), "12345");
    EXPECT_EQ(MakeDirs(dir / "x/y/z"), 0);
    std::vector<TDirEntry> entries;
    ASSERT_EQ(Fs().ListDir(dir.Path(), entries), 0);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "a");
    EXPECT_EQ(entries[1].name, "b");
    EXPECT_EQ(entries[1].size, 5);
    EXPECT_TRUE(entries[2].isDir);
    EXPECT_GT(Fs().FreeSpace(dir / "does/not/exist"), 0);
}

TEST(FileSystem, FaultyFailsTheNthChangingCall) {
    TTempDir dir;
    TFaultyFileSystem faulty(Fs());
    faulty.failAt = 2;
    TScopedFileSystem scope(faulty);
    EXPECT_EQ(Fs().WriteFileAtomic(dir / "1", "a"), 0);
    EXPECT_EQ(Fs().WriteFileAtomic(dir / "2", "b"), 5);
    EXPECT_EQ(Fs().WriteFileAtomic(dir / "3", "c"), 0);
    EXPECT_FALSE(qm::test::FileExists(dir / "2"));
    faulty.readOnlyPaths = {dir.Path()};
    EXPECT_TRUE(Fs().IsReadOnly(dir / "1"));
}

namespace qm {
namespace {

// zlib is the oracle: every length up to a few vector widths and beyond, at every
// alignment of the start, and chained in two parts.
TEST(Crc32, AgreesWithZlibOnRandomLengthsAndAlignments) {
    std::mt19937 random(39);
    std::vector<unsigned char> bytes(1 << 16);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
    for (int round = 0; round < 2000; ++round) {
        const size_t offset = random() % 64;
        const size_t length = round < 300 ? static_cast<size_t>(round) : random() % (bytes.size() - offset);
        const unsigned char* data = bytes.data() + offset;
        const uint32_t expected = static_cast<uint32_t>(crc32(0, data, static_cast<uInt>(length)));
        ASSERT_EQ(Crc32(0, data, length), expected) << offset << "+" << length;
        const size_t cut = length == 0 ? 0 : random() % length;
        ASSERT_EQ(Crc32(Crc32(0, data, cut), data + cut, length - cut), expected) << offset << "+" << length;
    }
}

}  // namespace
}  // namespace qm
