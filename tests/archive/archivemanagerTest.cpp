// The archive manager: choice of archiver, copy, move and recompression between
// archives, checked with Info-ZIP and Python.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "archive/FilesTools.h"
#include "archive/ZipTestSupport.h"
#include "archive/archivemanager.h"
#include "archive/qmZip.h"
#include "platform/FileSystem.h"
#include "platform/RewriteBatch.h"
#include "platform/UiHooks.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::RawZip;
using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

class ArchiveManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir / "work");
        manager.SetTempDir(dir / "work");
        manager.SetCompressionLevel(6);
        WriteFile(dir / "src.zip", RawZip({{"a.bin", "alpha"}, {"sub/x.bin", "xray"}, {"keep.bin", "k"}}));
        WriteFile(dir / "dst.zip", RawZip({{"old.bin", "old"}}));
    }

    TTempDir dir;
    TArchiveManager manager;
};

TEST(ArchiveManager, ArchiverIsChosenByExtension) {
    TArchiveManager manager;
    struct Case {
        const char* name;
        bool archive;
    } cases[] = {
        {"A.ZIP", true}, {"/r/game.Zip", true}, {"x.tar.zip", true}, {"a.7z", false},
        {"zip", false},  {"/r/zip.d/game", false}, {"game.zipx", false}, {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(manager.IsArchive(c.name), c.archive) << c.name;

    // The manager's events are handed over on every call, also when they are unset.
    manager.OnMessage = [](const std::string&) {};
    ASSERT_NE(manager.GetArchiver("a.zip"), nullptr);
    EXPECT_TRUE(static_cast<bool>(ZipObject().OnMessage));
    manager.OnMessage = nullptr;
    manager.GetArchiver("a.zip");
    EXPECT_FALSE(static_cast<bool>(ZipObject().OnMessage));

    manager.SetTempDir("/some/where");
    EXPECT_EQ(manager.TempDir, "/some/where/");
    EXPECT_EQ(ZipObject().TempDir, "/some/where/");
    manager.SetCompressionLevel(3);
    EXPECT_EQ(ZipObject().CompressionLevel, 3);
}

TEST_F(ArchiveManagerTest, ListExtractAndEmptiness) {
    TArchiveItems items;
    manager.GetFileList(dir / "src.zip", items);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].GetFullName(), "sub/x.bin");

    // A stale read-only file where the entry lands is replaced.
    WriteFile(dir / "out/x.bin", "stale");
    ::chmod((dir / "out/x.bin").c_str(), 0444);
    manager.ExtractFile(dir / "src.zip", "sub/x.bin", dir / "out", false);
    EXPECT_EQ(ReadFile(dir / "out/x.bin"), "xray");
    manager.ExtractFile(dir / "src.zip", "sub/x.bin", dir / "out", true);
    EXPECT_EQ(ReadFile(dir / "out/sub/x.bin"), "xray");

    EXPECT_FALSE(manager.IsArchiveEmpty(dir / "src.zip"));
    manager.CreateEmptyArchive(dir / "e.zip");
    EXPECT_TRUE(manager.IsArchiveEmpty(dir / "e.zip"));
    EXPECT_FALSE(manager.IsArchiveEmpty(dir / "e.7z"));
    EXPECT_THROW(manager.GetFileList(dir / "e.7z", items), archive::EError);
    // An empty rename list does nothing, even for a missing archive.
    EXPECT_NO_THROW(manager.RenameFiles(dir / "missing.zip", {}));
}

TEST_F(ArchiveManagerTest, CopyAddsTheBareNewNameAndFailsCleanly) {
    manager.CopyFileBetweenArchives(dir / "src.zip", "sub/x.bin", dir / "dst.zip", "y.bin");
    EXPECT_EQ(test::UnzipNames(dir / "dst.zip"), "old.bin\ny.bin\n");
    EXPECT_EQ(test::UnzipTest(dir / "dst.zip"), 0);
    manager.CopyFileBetweenArchives(dir / "src.zip", "a.bin", dir / "dst.zip", "a.bin");
    manager.CopyFileBetweenArchives(dir / "src.zip", "keep.bin", dir / "dst.zip", "sub/kept.bin");
    EXPECT_EQ(test::UnzipNames(dir / "dst.zip"), "old.bin\ny.bin\na.bin\nkept.bin\n");
    EXPECT_EQ(test::Tree(dir / "work"), "");
    // The source is untouched.
    EXPECT_EQ(test::UnzipNames(dir / "src.zip"), "a.bin\nsub/x.bin\nkeep.bin\n");

    // A failed copy leaves the target as it was.
    const std::string before = ReadFile(dir / "dst.zip");
    EXPECT_THROW(manager.CopyFileBetweenArchives(dir / "src.zip", "nope.bin", dir / "dst.zip", "n.bin"),
                 archive::EPK_FIND);
    EXPECT_THROW(manager.CopyFileBetweenArchives(dir / "none.zip", "a.bin", dir / "dst.zip", "n.bin"),
                 archive::EFileNotFound);
    std::string damaged = RawZip({{"bad.bin", "payload"}});
    damaged[damaged.find("payload")] ^= 1;
    WriteFile(dir / "bad.zip", damaged);
    EXPECT_THROW(manager.CopyFileBetweenArchives(dir / "bad.zip", "bad.bin", dir / "dst.zip", "bad.bin"),
                 archive::EPK_ERR);
    TFaultyFileSystem faulty(Fs());
    faulty.failAt = 1;
    {
        TScopedFileSystem scope(faulty);
        EXPECT_THROW(manager.CopyFileBetweenArchives(dir / "src.zip", "a.bin", dir / "dst.zip", "q.bin"),
                     archive::EZE_CREAT);
    }
    EXPECT_EQ(ReadFile(dir / "dst.zip"), before);
    EXPECT_EQ(test::Tree(dir.Path()).find(".qmtmp"), std::string::npos);

    // No archiver for one side is an error, not a silent success.
    EXPECT_THROW(manager.CopyFileBetweenArchives(dir / "src.zip", "a.bin", dir / "dst.7z", "a.bin"),
                 archive::EError);
}

TEST_F(ArchiveManagerTest, CopyKeepsTheCompressedBytesWhereTheLevelAllows) {
    WriteFile(dir / "g/big.bin", std::string(30000, 'q') + "end");
    ASSERT_EQ(test::RunIn(dir / "g", "zip -q -9 ../deflated.zip big.bin && zip -q -0 ../stored.zip big.bin"), 0);
    const std::string compressedSizes =
        "import sys, zipfile\nfor i in zipfile.ZipFile(sys.argv[1]).infolist(): print(i.filename, i.compress_type, i.compress_size, '%08x' % i.CRC)\n";
    auto sizes = [&](const std::string& archive) {
        return test::RunCommand("python3 -c " + test::ShellQuote(compressedSizes) + " " + test::ShellQuote(archive));
    };
    manager.SetCompressionLevel(1);  // deflated either way: zip's level-9 bytes stay
    manager.CopyFileBetweenArchives(dir / "deflated.zip", "big.bin", dir / "out.zip", "big.bin");
    EXPECT_EQ(sizes(dir / "out.zip"), sizes(dir / "deflated.zip"));
    manager.SetCompressionLevel(0);  // stored asked for: inflated on the way
    manager.CopyFileBetweenArchives(dir / "deflated.zip", "big.bin", dir / "out0.zip", "big.bin");
    EXPECT_EQ(sizes(dir / "out0.zip"), sizes(dir / "stored.zip"));
    manager.SetCompressionLevel(9);  // stored source, deflated target
    manager.CopyFileBetweenArchives(dir / "stored.zip", "big.bin", dir / "out9.zip", "big.bin");
    EXPECT_EQ(test::PythonMethods(dir / "out9.zip"), "8\n");
    for (const char* archive : {"out.zip", "out0.zip", "out9.zip"}) {
        EXPECT_EQ(test::UnzipTest(dir / archive), 0) << archive;
        EXPECT_EQ(test::PythonListing(dir / archive), test::PythonListing(dir / "stored.zip")) << archive;
    }
}

TEST_F(ArchiveManagerTest, RenameGoesToTheEntryRenameEngine) {
    manager.RenameFiles(dir / "src.zip", {{"a.bin", "b.bin", 0}, {"sub/x.bin", "sub/longer.bin", 0}});
    EXPECT_EQ(test::UnzipNames(dir / "src.zip"), "b.bin\nsub/longer.bin\nkeep.bin\n");
    EXPECT_EQ(test::UnzipTest(dir / "src.zip"), 0);
    EXPECT_THROW(manager.RenameFiles(dir / "missing.zip", {{"a.bin", "b.bin", 0}}), archive::EFileNotFound);
}

TEST_F(ArchiveManagerTest, HostileNamesAreRefusedBeforeAnythingChanges) {
    WriteFile(dir / "hostile.zip", RawZip({{"../../victim.txt", "evil"}, {"/abs.bin", "abs"}, {"sub/ok.bin", "ok"}}));
    WriteFile(dir / "victim.txt", "precious");
    // The stale-file deletion comes after the check: the victim two folders above the
    // destination stays.
    EXPECT_THROW(manager.ExtractFile(dir / "hostile.zip", "../../victim.txt", dir / "a/b", true), archive::EError);
    EXPECT_EQ(ReadFile(dir / "victim.txt"), "precious");
    // An absolute entry keeps a name that finds it again.
    TArchiveItems items;
    manager.GetFileList(dir / "hostile.zip", items);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].GetFullName(), "/abs.bin");
    manager.ExtractFile(dir / "hostile.zip", items[1].GetFullName(), dir / "out", false);
    EXPECT_EQ(ReadFile(dir / "out/abs.bin"), "abs");

    // The rename engine refuses new names that leave the archive's tree, also when a
    // folder rename would make one; the archive stays as it was.
    const std::string before = ReadFile(dir / "hostile.zip");
    for (const TRenameItem& item : {TRenameItem{"sub/ok.bin", "../ok.bin", 0}, TRenameItem{"sub/ok.bin", "/ok.bin", 0},
                                    TRenameItem{"sub/", "../", 0}, TRenameItem{"sub/ok.bin", "sub/../../x", 0}}) {
        EXPECT_THROW(manager.RenameFiles(dir / "hostile.zip", {item}), archive::EError) << item.NewName;
        EXPECT_EQ(ReadFile(dir / "hostile.zip"), before) << item.NewName;
    }
    EXPECT_THROW(manager.CopyFileBetweenArchives(dir / "src.zip", "a.bin", dir / "dst.zip", ".."), archive::EError);

    // While the engine rewrites (and lets windows work), no other operation starts.
    TScriptedUiHooks hooks;
    TScopedUiHooks scope(hooks);
    int refused = 0;
    hooks.onProcessMessages = [&] {
        try {
            manager.GetFileList(dir / "src.zip", items);
        } catch (const archive::EError&) {
            ++refused;
        }
    };
    // Window messages are processed at most every 30 ms: the first call of the
    // rename then goes through.
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    manager.RenameFiles(dir / "src.zip", {{"a.bin", "longer-a.bin", 0}});
    EXPECT_GT(refused, 0);
    EXPECT_EQ(test::UnzipNames(dir / "src.zip"), "longer-a.bin\nsub/x.bin\nkeep.bin\n");
}

TEST_F(ArchiveManagerTest, EveryWriteKeepsALinkALink) {
    std::filesystem::create_symlink(dir / "dst.zip", dir / "link.zip");
    WriteFile(dir / "new.bin", "new");
    const auto stillALink = [&](const char* step) {
        EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.zip")) << step;
        EXPECT_EQ(test::UnzipTest(dir / "dst.zip"), 0) << step;
    };
    manager.AddFile(dir / "link.zip", dir / "new.bin");
    stillALink("add");
    manager.DeleteFile(dir / "link.zip", "old.bin");
    stillALink("delete");
    manager.CopyFileBetweenArchives(dir / "src.zip", "a.bin", dir / "link.zip", "a.bin");
    stillALink("copy");
    manager.RecompressArchive(dir / "link.zip");
    stillALink("recompress");
    manager.RenameFiles(dir / "link.zip", {{"a.bin", "another.bin", 0}});
    stillALink("rename");
    EXPECT_EQ(test::UnzipNames(dir / "dst.zip"), "new.bin\nanother.bin\n");
}

TEST_F(ArchiveManagerTest, TwoEntriesOfOneNameAreAddressedOneAtATime) {
    // An appended archive: the second a.bin is another content under the same name.
    WriteFile(dir / "twins.zip", RawZip({{"a.bin", "good"}, {"b.bin", "bee"}, {"a.bin", "notes"}}));
    // The rename by position takes the second one only, and leaves a name it no longer
    // finds there alone.
    manager.RenameFiles(dir / "twins.zip", {{"a.bin", "a_0.bin", 0, 2}, {"a.bin", "x.bin", 0, 1}});
    EXPECT_EQ(test::UnzipNames(dir / "twins.zip"), "a.bin\nb.bin\na_0.bin\n");
    const std::string listing = test::PythonListing(dir / "twins.zip");
    EXPECT_NE(listing.find("a.bin 4 "), std::string::npos) << listing;
    EXPECT_NE(listing.find("a_0.bin 5 "), std::string::npos) << listing;
    // A delete by name takes one entry, never its twin with it.
    WriteFile(dir / "twins.zip", RawZip({{"a.bin", "good"}, {"a.bin", "notes"}}));
    manager.DeleteFile(dir / "twins.zip", "a.bin");
    EXPECT_EQ(test::UnzipNames(dir / "twins.zip"), "a.bin\n");
    EXPECT_EQ(test::UnzipTest(dir / "twins.zip"), 0);
}

TEST_F(ArchiveManagerTest, MoveDeletesFromTheSourceButNeverLosesTheEntry) {
    manager.MoveFileBetweenArchives(dir / "src.zip", "sub/x.bin", dir / "dst.zip", "x.bin");
    EXPECT_EQ(test::UnzipNames(dir / "src.zip"), "a.bin\nkeep.bin\n");
    EXPECT_EQ(test::UnzipNames(dir / "dst.zip"), "old.bin\nx.bin\n");

    // Onto itself: same archive, and the bare new name is the entry moved.
    manager.MoveFileBetweenArchives(dir / "src.zip", "a.bin", dir / "src.zip", "a.bin");
    manager.MoveFileBetweenArchives(dir / "src.zip", "a.bin", dir / "./src.zip", "sub/a.bin");
    EXPECT_EQ(test::UnzipNames(dir / "src.zip"), "a.bin\nkeep.bin\n");

    // Within one archive under another name: the entry is renamed in effect.
    manager.MoveFileBetweenArchives(dir / "src.zip", "a.bin", dir / "src.zip", "b.bin");
    EXPECT_EQ(test::UnzipNames(dir / "src.zip"), "keep.bin\nb.bin\n");
    EXPECT_NE(test::PythonListing(dir / "src.zip").find("b.bin 5 "), std::string::npos);

    // Moving the last entry leaves the empty archive.
    manager.MoveFileBetweenArchives(dir / "src.zip", "keep.bin", dir / "dst.zip", "keep.bin");
    manager.MoveFileBetweenArchives(dir / "src.zip", "b.bin", dir / "dst.zip", "b.bin");
    EXPECT_TRUE(manager.IsArchiveEmpty(dir / "src.zip"));
    EXPECT_EQ(std::filesystem::file_size(dir / "src.zip"), 22u);
}

TEST_F(ArchiveManagerTest, ABatchIsOneRewriteAndAllOrNothing) {
    const std::string src = dir / "src.zip", dst = dir / "dst.zip";
    TFaultyFileSystem counting(Fs());
    {
        TScopedFileSystem scope(counting);
        manager.CommitChanges(dst, {{src, "a.bin", "a.bin"},
                                    {src, "sub/x.bin", "sub/y.bin"},
                                    {"", "old.bin", ""},
                                    {src, "keep.bin", "k.bin"},
                                    {src, "a.bin", "a.bin"}});  // a second copy replaces the first
    }
    EXPECT_EQ(counting.changingCalls, 1);  // the one replace of the archive
    EXPECT_EQ(test::UnzipNames(dst), "a.bin\ny.bin\nk.bin\n");
    EXPECT_EQ(test::UnzipTest(dst), 0);
    std::string expected = test::PythonListing(src);
    expected.replace(expected.find("sub/x.bin"), 9, "y.bin");
    expected.replace(expected.find("keep.bin"), 8, "k.bin");
    EXPECT_EQ(test::PythonListing(dst), expected);

    // Any failing change leaves the archive byte for byte as it was, named in the error.
    const std::string before = ReadFile(dst);
    const auto fails = [&](const TArchiveChanges& changes, const std::string& archive, const std::string& file) {
        try {
            manager.CommitChanges(dst, changes);
            ADD_FAILURE() << "no failure for " << file;
        } catch (const archive::EArchiveException& e) {
            EXPECT_EQ(e.ArchiveName, archive) << e.Message();
            EXPECT_EQ(e.FileName, file) << e.Message();
        }
        EXPECT_EQ(ReadFile(dst), before) << file;
    };
    fails({{"", "a.bin", ""}, {src, "nope.bin", "n.bin"}}, src, "nope.bin");
    fails({{src, "keep.bin", "n.bin"}, {"", "gone.bin", ""}}, dst, "gone.bin");
    fails({{"", "a.bin", ""}, {src, "a.bin", ".."}}, dst, "..");
    std::string damaged = RawZip({{"bad.bin", "payload"}});
    damaged[damaged.find("payload")] ^= 1;
    WriteFile(dir / "bad.zip", damaged);
    fails({{"", "y.bin", ""}, {dir / "bad.zip", "bad.bin", "bad.bin"}}, dir / "bad.zip", "bad.bin");
    TFaultyFileSystem faulty(Fs());
    faulty.failAt = 1;
    {
        TScopedFileSystem scope(faulty);
        fails({{"", "y.bin", ""}, {src, "keep.bin", "n.bin"}}, dst, "");
    }
    EXPECT_EQ(test::Tree(dir.Path()).find(".qmtmp"), std::string::npos);

    // Deleting every entry, twins one after the other, leaves the empty archive; a
    // batch of copies makes a missing archive.
    WriteFile(dir / "twins.zip", RawZip({{"a.bin", "good"}, {"a.bin", "notes"}}));
    manager.CommitChanges(dir / "twins.zip", {{"", "a.bin", ""}, {"", "a.bin", ""}});
    EXPECT_EQ(std::filesystem::file_size(dir / "twins.zip"), 22u);
    manager.CommitChanges(dir / "new.zip", {{src, "keep.bin", "keep.bin"}});
    EXPECT_EQ(test::UnzipNames(dir / "new.zip"), "keep.bin\n");
}

// While a rewrite waits in a batch, whatever reads the archive reads the new one: a
// batch of changes taking entries from it, a copy or the trash reaching it by another
// way than the rewrite did (through a linked folder, or around the link).
TEST_F(ArchiveManagerTest, APendingRewriteIsSeenByEveryReaderWhateverWayItComes) {
    test::TScopedEnv dataHome("XDG_DATA_HOME", dir / "share");
    std::filesystem::create_directories(dir / "real");
    std::filesystem::create_directory_symlink(dir / "real", dir / "linked");
    WriteFile(dir / "real/a.zip", RawZip({{"old.bin", "old"}}));
    WriteFile(dir / "real/b.zip", RawZip({{"old.bin", "old"}}));
    WriteFile(dir / "new.bin", "new");
    {
        TRewriteBatch batch;
        manager.AddFile(dir / "src.zip", dir / "new.bin");
        manager.CommitChanges(dir / "dst.zip", {{dir / "src.zip", "new.bin", "new.bin"}});
        // Made through the link, copied and trashed by the real folder; and the other way.
        manager.AddFile(dir / "linked/a.zip", dir / "new.bin");
        ShellCopyFile(dir / "real/a.zip", dir / "copy.zip");
        ShellDeleteFile(dir / "real/a.zip");
        manager.AddFile(dir / "real/b.zip", dir / "new.bin");
        ShellCopyFile(dir / "linked/b.zip", dir / "copy-b.zip");
        EXPECT_TRUE(batch.Commit().empty());
    }
    EXPECT_EQ(test::UnzipNames(dir / "dst.zip"), "old.bin\nnew.bin\n");
    EXPECT_EQ(test::UnzipNames(dir / "copy.zip"), "old.bin\nnew.bin\n");
    EXPECT_EQ(test::UnzipNames(dir / "copy-b.zip"), "old.bin\nnew.bin\n");
    // The trash took the new archive, and nothing came back in its place.
    EXPECT_FALSE(test::FileExists(dir / "real/a.zip"));
    EXPECT_EQ(test::UnzipNames(dir / "share/Trash/files/a.zip"), "old.bin\nnew.bin\n");
    EXPECT_EQ(test::Tree(dir.Path()).find(".qmtmp"), std::string::npos);
}

// A file written in pieces while rewrites wait (a rom path's cache after a repair step)
// describes them: they are in place before its first piece, and the pieces go to disk as
// they come rather than piling up in memory until the end.
TEST_F(ArchiveManagerTest, AFileWrittenInPiecesDuringABatchFollowsItsRewrites) {
    WriteFile(dir / "new.bin", "new");
    TRewriteBatch batch;
    manager.AddFile(dir / "src.zip", dir / "new.bin");
    std::unique_ptr<IAtomicWriter> writer;
    ASSERT_EQ(Fs().OpenAtomicWriter(dir / "cache.txt", writer), 0);
    EXPECT_EQ(test::UnzipNames(dir / "src.zip"), "a.bin\nsub/x.bin\nkeep.bin\nnew.bin\n");
    ASSERT_EQ(writer->Write("first piece "), 0);
    EXPECT_NE(test::Tree(dir.Path()).find(".qmtmp"), std::string::npos);
    ASSERT_EQ(writer->Write("second piece"), 0);
    ASSERT_EQ(writer->Commit(), 0);
    EXPECT_EQ(ReadFile(dir / "cache.txt"), "first piece second piece");
    EXPECT_TRUE(batch.Commit().empty());
    EXPECT_EQ(test::Tree(dir.Path()).find(".qmtmp"), std::string::npos);
}

// A rewrite goes in place only over the archive it was made from: one the user put at
// that name while the rewrite waited stays, and the batch says so; the rewrites after
// it wait for it and stay out too.
TEST_F(ArchiveManagerTest, AnArchiveReplacedWhileItsRewriteWaitsIsKept) {
    WriteFile(dir / "new.bin", "new");
    const std::string theirs = RawZip({{"theirs.bin", "user's own"}});
    const std::string dstBefore = ReadFile(dir / "dst.zip");
    TRewriteBatch batch;
    manager.AddFile(dir / "src.zip", dir / "new.bin");
    manager.AddFile(dir / "dst.zip", dir / "new.bin");
    // The user drops a new file in place (a rename over it, as a file manager does).
    WriteFile(dir / "dropped.zip", theirs);
    ASSERT_EQ(std::rename((dir / "dropped.zip").c_str(), (dir / "src.zip").c_str()), 0);
    const std::vector<TRewriteBatch::TFailure> failures = batch.Commit();
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].name, dir / "src.zip");
    EXPECT_TRUE(failures[0].changed);
    EXPECT_EQ(failures[1].name, dir / "dst.zip");
    EXPECT_FALSE(failures[1].changed);
    EXPECT_EQ(ReadFile(dir / "src.zip"), theirs);
    EXPECT_EQ(ReadFile(dir / "dst.zip"), dstBefore);
    EXPECT_EQ(test::Tree(dir.Path()).find(".qmtmp"), std::string::npos);
}

TEST_F(ArchiveManagerTest, RecompressionKeepsCrcsAndCommentAndChangesTheMethod) {
    WriteFile(dir / "g/b.bin", std::string(50000, 'b'));
    WriteFile(dir / "g/A.bin", "upper");
    WriteFile(dir / "g/a.bin", "lower");
    ASSERT_EQ(test::RunIn(dir / "g", "zip -q -0 ../game.zip b.bin A.bin a.bin && echo note | zip -q -z ../game.zip"), 0);
    const std::string archive = dir / "game.zip";
    const std::string listing = test::PythonListing(archive);
    manager.SetCompressionLevel(9);
    manager.RecompressArchive(archive);
    EXPECT_EQ(test::PythonListing(archive), listing);  // case twins, order and CRCs kept
    EXPECT_EQ(test::PythonMethods(archive), "8\n8\n8\n");
    EXPECT_EQ(test::PythonComment(archive), "note");
    EXPECT_EQ(test::UnzipTest(archive), 0);
    EXPECT_LT(std::filesystem::file_size(archive), 50000u);

    manager.SetCompressionLevel(0);
    manager.RecompressArchive(archive);
    EXPECT_EQ(test::PythonMethods(archive), "0\n0\n0\n");
    EXPECT_EQ(test::PythonListing(archive), listing);

    // A failure on the way leaves the original where it was.
    const std::string before = ReadFile(archive);
    TFaultyFileSystem faulty(Fs());
    faulty.failAt = 1;
    manager.SetCompressionLevel(9);
    {
        TScopedFileSystem scope(faulty);
        EXPECT_THROW(manager.RecompressArchive(archive), archive::ESystemError);
    }
    EXPECT_EQ(ReadFile(archive), before);
    EXPECT_EQ(test::Tree(dir.Path()).find(".qmtmp"), std::string::npos);
    EXPECT_NO_THROW(manager.RecompressArchive(dir / "other.7z"));
}

}  // namespace
}  // namespace qm
