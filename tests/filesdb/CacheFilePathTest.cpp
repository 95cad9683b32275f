// A rom path written to its cache file and read back: files, rom files, errors, and
// what happens to damaged and truncated caches.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "archive/DiskInfo.h"
#include "archive/stringsTools.h"
#include "filesdb/CacheFileUnit.h"
#include "filesdb/SignatureCalculator.h"
#include "filesdb/filesBd.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::FileExists;
using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

const std::string S = "\xA4";

class CacheFilePathTest : public ::testing::Test {
protected:
    void SetUp() override {
        TVolumeFacts volume;
        volume.root = tmp.Path() + "vol";
        volume.uuid = "1234-ABCD";
        volume.fsType = "vfat";
        volume.label = "ROMDISK";
        volumes.volumes.push_back(volume);
        WriteFile(roms + "placeholder", "");
        WriteFile(cacheFolder + "keep.txt", "");
    }

    // A fresh database over the same cache folder, holding the rom path.
    TPath* AddPath(TFilesBd& bd, const std::string& path = "") {
        bd.SetCachePath(cacheFolder);
        bd.OnLog = [this](const std::string& line) { log.push_back(line); };
        bd.OnInfos = [this](const std::string& text) { infos.push_back(text); };
        return bd.AddPath(path.empty() ? roms : path, "1234-abcd", "ROMDISK");
    }

    // The cache of the path while it holds no file: its name, and its text (the header).
    void HeaderOnlyCache(std::string& cacheName, std::string& text) {
        TFilesBd bd;
        TPath* path = AddPath(bd);
        path->SaveCache();
        cacheName = path->CacheFile().GetCacheFileName();
        text = ReadFile(cacheName);
    }

    // Fills a path with one file of every kind and shape the cache must carry.
    void Populate(TPath& path) {
        TRomFile* r = path.AddEntry("J\xC3\xA4ger.zip", "sub/j\xC3\xA4ger.bin", "ABCDEF01", ".bin", 4096, fkZip, 0);
        ASSERT_NE(r, nullptr);
        r->SetComment("two\r\nlines \xA4 100%");
        r->File->Size = 5000000000;
        r->File->Date = 0x5A2B3C4D;
        TRomFile* bad = path.AddEntry("J\xC3\xA4ger.zip", "broken.bin", "00000000", "", 10, fkZip, 0);
        bad->SetError("CRC error");

        TRomFile* m1 = path.AddEntry("folder", "m1.rom", "11111111", "", 1, fkFolder, 0x4A000001);
        TRomFile* m2 = path.AddEntry("folder", "m2.rom", "22222222", ".nes", 2, fkFolder, 0);
        ASSERT_NE(m1, nullptr);
        ASSERT_NE(m2, nullptr);
        m1->File->Date = 0x4B000000;

        TRomFile* plain = path.AddEntry("plain \xFF.bin", "plain \xFF.bin", "33333333", ".bin", 77, fkPlain, 0x4C000002);
        plain->File->Size = 77;
        plain->File->Date = 0x4C000002;

        path.AddEntry("empty.zip", "", "n/a", "", -1, fkZip, 0);  // a zip without roms
        TFile* unreadable = path.NewFile("unreadable.bin", fkPlain, false);
        unreadable->Size = 12;
        unreadable->Date = 0x4D000000;
        unreadable->SetErrorText("Read error %1");
    }

    TTempDir tmp;
    std::string roms = tmp.Path() + "vol/roms/";
    std::string cacheFolder = tmp.Path() + "vol/cache/";
    TStaticVolumeProvider volumes;
    TScopedVolumeProvider scope{volumes};
    std::vector<std::string> log, infos;
};

struct TRomView {
    std::string stored, crc, extension, error, comment;
    int64_t size;
    int32_t date;
    uint8_t status;
    bool operator==(const TRomView&) const = default;
};
struct TFileView {
    std::string name, fullPath, shortName, error;
    uint8_t kind;
    int64_t size;
    int32_t date;
    std::vector<TRomView> roms;
    bool operator==(const TFileView&) const = default;
};

std::vector<TFileView> View(const TPath& path) {
    std::vector<TFileView> out;
    for (const auto& owned : path.Files()) {
        const TFile& f = *owned;
        TFileView v{f.Name, f.FullPath, f.ShortName, f.ErrorText, f.Kind, f.Size, f.Date, {}};
        for (const auto& entry : f.RomFiles) {
            const TRomFile& r = *entry.romFile;
            v.roms.push_back({r.StoredName(), r.Crc(), r.SuggestedExtension(), r.ErrorText(), r.Comment(), r.Size, r.GetDate(),
                              r.Status});
        }
        out.push_back(v);
    }
    return out;
}

TEST_F(CacheFilePathTest, PathSavedAndLoadedBack) {
    TFilesBd first;
    TPath* written = AddPath(first);
    Populate(*written);
    written->SaveCache();
    const std::string cacheName = written->CacheFile().GetCacheFileName();
    ASSERT_EQ(cacheName, cacheFolder + "quarmelle0.dat");

    TFilesBd second;
    TPath* read = AddPath(second);
    ASSERT_EQ(read->CacheFile().GetCacheFileName(), cacheName);
    read->LoadFromCache();

    std::vector<TFileView> expected = View(*written);
    // What the cache does not hold: a zip without roms has no date or size, a folder
    // neither (only its members' dates).
    for (TFileView& f : expected) {
        if (f.name == "empty.zip") f.size = 0, f.date = 0;
        if (f.name == "folder") f.size = -1, f.date = 0;
    }
    EXPECT_EQ(View(*read), expected);
    ASSERT_EQ(read->Files().Count(), 5);
    EXPECT_EQ(read->Files().Find("unreadable.bin")->RomFiles.Count(), 0);
    EXPECT_EQ(read->Files().Find("empty.zip")->RomFiles.Count(), 0);
    EXPECT_EQ(read->Files().Find("folder")->FullPath, roms + "folder/");
    EXPECT_EQ(read->Files().Find("J\xC3\xA4ger.zip")->ShortName, "J\xC3\xA4ger");
    EXPECT_TRUE(log.empty()) << log.front();

    // Saved again from what was read, the file is the same but for the header's time.
    const std::string before = ReadFile(cacheName);
    read->SaveCache();
    const std::string after = ReadFile(cacheName);
    const auto body = [](const std::string& text) { return text.substr(text.find("\r\n" + S)); };
    EXPECT_EQ(body(after), body(before));
    // A change that keeps the file's size is written all the same.
    read->Files().Find("plain \xFF.bin")->RomFiles[0]->SetCrc("44444444");
    read->SaveCache();
    const std::string changed = ReadFile(cacheName);
    ASSERT_EQ(changed.size(), after.size());
    EXPECT_NE(changed.find(S + "44444444" + S), std::string::npos);
}

// A path read from its cache and saved unchanged leaves the file alone; anything the
// save would write otherwise (a field, a record's place, the header, a file that is no
// longer the one read, a cache spelled otherwise than the writer spells it) rewrites it.
TEST_F(CacheFilePathTest, ACacheReadBackIsRewrittenExactlyWhenItsTextWouldChange) {
    {
        TFilesBd bd;
        TPath* written = AddPath(bd);
        Populate(*written);
        written->SaveCache();
    }
    const std::string cacheName = cacheFolder + "quarmelle0.dat";
    const std::string saved = ReadFile(cacheName);
    const auto body = [](const std::string& text) { return text.substr(text.find("\r\n" + S)); };
    const auto inode = [&] {
        struct stat st {};
        ::stat(cacheName.c_str(), &st);
        return st.st_ino;
    };
    const auto replaceOnce = [](std::string text, const std::string& from, const std::string& to) {
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
        return text;
    };
    // (The byte 0xA4 of the names is escaped in the file.)
    const std::string zipRom = S + "A" + S + "J\xC3%A4ger.zip" + S + "5000000000" + S + "1512782925" + S +
                               "sub/j\xC3%A4ger.bin" + S + "4096" + S + "abcdef01";
    const std::string brokenRom = S + "A" + S + "J\xC3%A4ger.zip" + S + "5000000000" + S + "1512782925" + S +
                                  "broken.bin" + S + "10" + S + "00000000" + S + S + "CRC error" + S;
    ASSERT_NE(saved.find(zipRom), std::string::npos);
    ASSERT_NE(saved.find(brokenRom + "\r\n"), std::string::npos);

    // kept: the file stays as it is; asSaved: rewritten as the first save wrote it;
    // changed: rewritten with the change.
    enum TOutcome { kept, asSaved, changed };
    struct TCase {
        const char* what;
        std::function<std::string()> onDisk;  // the cache file before the load
        std::function<void(TPath&)> change;   // between the load and the save
        TOutcome outcome;
    };
    const auto same = [&] { return saved; };
    const auto nothing = [](TPath&) {};
    const auto rom = [](TPath& path, const char* file, int index) { return path.Files().Find(file)->RomFiles[index]; };
    const auto past = [&] {
        std::filesystem::last_write_time(roms, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    };
    const std::vector<TCase> cases = {
        {"nothing changed", same, nothing, kept},
        {"a CRC held in capitals", same, [&](TPath& p) { rom(p, "J\xC3\xA4ger.zip", 1)->SetCrc("ABCDEF01"); }, kept},
        {"a comment", same, [&](TPath& p) { rom(p, "plain \xFF.bin", 0)->SetComment("x"); }, changed},
        {"a rom's size", same, [&](TPath& p) { rom(p, "folder", 0)->Size = 3; }, changed},
        {"a member's date", same, [&](TPath& p) { rom(p, "folder", 0)->Date = 0x4A000002; }, changed},
        {"a zip's inode", same, [&](TPath& p) { p.Files().Find("J\xC3\xA4ger.zip")->Inode = 42; }, changed},
        {"an error taken back", same, [&](TPath& p) { p.Files().Find("unreadable.bin")->ErrorText.clear(); }, changed},
        {"a rom file dropped", same,
         [&](TPath& p) { p.Files().Find("folder")->DropRomFile(rom(p, "folder", 1)); }, changed},
        {"a file dropped", same, [&](TPath& p) { p.DropFile(p.Files().Find("empty.zip")); }, changed},
        {"a new entry in the folder: the header's count", same,
         [&](TPath&) {
             WriteFile(roms + "new.bin", "x");
             past();
         },
         asSaved},
        {"a folder newer than the cache", same,
         [&](TPath&) {
             std::filesystem::last_write_time(roms,
                                              std::filesystem::file_time_type::clock::now() + std::chrono::seconds(5));
         },
         asSaved},
        {"the file written over since the load", same,
         [&](TPath&) { WriteFile(cacheName, replaceOnce(saved, "CRC error", "CRC errox")); }, asSaved},
        {"a number with a leading zero", [&] { return replaceOnce(saved, S + "4096" + S, S + "04096" + S); }, nothing,
         asSaved},
        {"an escape in lower case", [&] { return replaceOnce(saved, "%0D", "%0d"); }, nothing, asSaved},
        {"a CRC in capitals", [&] { return replaceOnce(saved, "abcdef01", "ABCDEF01"); }, nothing, asSaved},
        {"a line ended by LF alone",
         [&] { return replaceOnce(saved, "CRC error" + S + "\r\n", "CRC error" + S + "\n"); }, nothing, asSaved},
        {"the records of a zip in another order",
         [&] {
             const size_t first = saved.find(brokenRom), second = saved.find(zipRom);
             const size_t secondEnd = saved.find("\r\n", second) + 2;
             return saved.substr(0, first) + saved.substr(second, secondEnd - second) +
                    saved.substr(first, second - first) + saved.substr(secondEnd);
         },
         nothing, asSaved},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ignored;
        std::filesystem::remove(roms + "new.bin", ignored);
        past();
        const std::string onDisk = c.onDisk();
        WriteFile(cacheName, onDisk);
        TFilesBd bd;
        TPath* path = AddPath(bd);
        path->LoadFromCache();
        ASSERT_EQ(path->Files().Count(), 5);
        c.change(*path);
        const std::string before = ReadFile(cacheName);
        const auto inodeBefore = inode();
        path->SaveCache();
        const std::string after = ReadFile(cacheName);
        if (c.outcome == kept) {
            EXPECT_EQ(after, before);
            EXPECT_EQ(inode(), inodeBefore);
        } else if (c.outcome == asSaved) {
            EXPECT_NE(inode(), inodeBefore);
            EXPECT_EQ(body(after), body(saved));
        } else {
            EXPECT_NE(inode(), inodeBefore);
            EXPECT_NE(body(after), body(saved));
            EXPECT_EQ(after.size() - after.find("\r\n" + S), body(after).size());
        }
    }
}

TEST_F(CacheFilePathTest, ALargePathGoesOutInPiecesAndAFullDiskKeepsTheOldCache) {
    // Records well past a piece of the writer, so that a save takes several.
    TFilesBd bd;
    TPath* path = AddPath(bd);
    const std::string pad(120, 'x');
    constexpr int kZips = 12000;
    for (int i = 0; i < kZips; ++i)
        ASSERT_NE(path->AddEntry("game" + std::to_string(i) + pad + ".zip", "rom.bin", "0badcafe", "", 1, fkZip, 0),
                  nullptr);
    path->SaveCache();
    const std::string cacheName = path->CacheFile().GetCacheFileName();
    const std::string first = ReadFile(cacheName);
    ASSERT_GT(first.size(), size_t{3} << 19);
    const TCacheReader reader(first);
    ASSERT_EQ(reader.LineCount(), 7 + kZips);
    EXPECT_EQ(reader.Line(7 + kZips - 1).substr(0, 12), S + "A" + S + "game11999");
    const auto inode = [&] {
        struct stat st {};
        ::stat(cacheName.c_str(), &st);
        return st.st_ino;
    };
    const auto body = [](const std::string& text) { return text.substr(text.find("\r\n" + S)); };

    // Unchanged: the file stays as it is.
    const auto firstInode = inode();
    path->SaveCache();
    EXPECT_EQ(inode(), firstInode);
    EXPECT_EQ(ReadFile(cacheName), first);

    // A change in the last piece: the pieces that matched come from the old file.
    path->Files().Find("game11999" + pad + ".zip")->RomFiles[0]->SetCrc("12345678");
    path->SaveCache();
    std::string expected = body(first);
    expected.replace(expected.rfind("0badcafe"), 8, "12345678");
    const std::string second = ReadFile(cacheName);
    EXPECT_EQ(body(second), expected);
    EXPECT_NE(inode(), firstInode);

    // The disk fills up in the second piece of a change in the first: the same error as
    // a whole write, the old cache intact, no work file left.
    path->Files().Find("game0" + pad + ".zip")->RomFiles[0]->SetCrc("87654321");
    TRealFileSystem real;
    TFaultyFileSystem faulty(real);
    faulty.failWritesAfter = (1 << 20) + 100;
    faulty.failErrno = ENOSPC;
    {
        TScopedFileSystem fsScope(faulty);
        try {
            path->SaveCache();
            ADD_FAILURE() << "a full disk saved the cache";
        } catch (const cachefile::EFileError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot write " + cacheName + ": " + SysErrorMessage(ENOSPC));
        }
    }
    EXPECT_EQ(ReadFile(cacheName), second);
    for (const auto& entry : std::filesystem::directory_iterator(cacheFolder))
        EXPECT_FALSE(IsSiblingTemp(entry.path().filename().string())) << entry.path();
}

// The reader takes the file a piece at a time: a line end split between two pieces
// (CR the last byte of one, LF the first of the next) is still one line end.
TEST_F(CacheFilePathTest, ALargeCacheIsReadInPiecesWhereverTheyEnd) {
    std::string cacheName, text;
    HeaderOnlyCache(cacheName, text);
    const auto record = [](const std::string& name) {
        return S + "A" + S + name + S + "1" + S + S + "rom.bin" + S + "1" + S + "0badcafe" + S + S + S;
    };
    constexpr size_t kPiece = size_t{1} << 20;
    int zips = 0;
    while (text.size() + 2 * record("game000000.zip").size() < kPiece)
        text += record("game" + std::to_string(zips++) + ".zip") + "\r\n";
    const size_t padding = kPiece - 1 - text.size() - record("g.zip").size();
    text += record("g" + std::string(padding, 'x') + ".zip") + "\r\n";
    ASSERT_EQ(text.substr(kPiece - 1, 2), "\r\n");
    for (int i = 0; i < 3; ++i) text += record("last" + std::to_string(i) + ".zip") + "\r\n";
    WriteFile(cacheName, text);
    struct stat before {};
    ::stat(cacheName.c_str(), &before);

    TFilesBd bd;
    TPath* path = AddPath(bd);
    path->LoadFromCache();
    EXPECT_EQ(path->Files().Count(), zips + 4);
    EXPECT_NE(path->Files().Find("last2.zip"), nullptr);
    EXPECT_TRUE(log.empty()) << log.front();
    // Read as it was written, so saved unchanged it is kept.
    path->SaveCache();
    struct stat after {};
    ::stat(cacheName.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(ReadFile(cacheName), text);
}

// A large cache is read while the folder is listed beside it; the scan takes that
// listing only while the folder is as it was listed.
TEST_F(CacheFilePathTest, AFolderChangedWhileItsCacheIsReadIsListedAgain) {
    std::string cacheName, text;
    HeaderOnlyCache(cacheName, text);
    for (int i = 0; text.size() < (size_t{1} << 19); ++i)
        text += S + "A" + S + "gone" + std::to_string(i) + ".zip" + S + "1" + S + S + "rom.bin" + S + "1" + S +
                "0badcafe" + S + S + S + "\r\n";
    WriteFile(cacheName, text);

    TFilesBd bd;
    TPath* path = AddPath(bd);
    path->LoadFromCache();
    ASSERT_NE(path->Files().Find("gone7.zip"), nullptr);
    WriteFile(roms + "late.bin", "x");
    path->Scan(false);
    EXPECT_NE(path->Files().Find("late.bin"), nullptr);
    EXPECT_NE(path->Files().Find("placeholder"), nullptr);
    EXPECT_EQ(path->Files().Find("gone7.zip"), nullptr);
    EXPECT_EQ(path->Files().Count(), 2);
}

// Batches of a large cache end wherever their lines do: a line longer than a batch, a
// batch of lines shorter than its threads had room for, and lines ended by LF or CR
// alone are all read as one thread reads them; such a cache is then written anew.
TEST_F(CacheFilePathTest, ALargeCacheOfLongShortAndOddlyEndedLinesIsReadWhole) {
    std::string cacheName, text;
    HeaderOnlyCache(cacheName, text);
    const auto record = [](const std::string& name, const std::string& comment) {
        return S + "A" + S + name + S + "1" + S + S + "r" + S + "1" + S + "0badcafe" + S + S + S + comment;
    };
    int zips = 0;
    for (; text.size() < (size_t{1} << 18); ++zips) text += record("z" + std::to_string(zips), "") + "\r\n";
    const std::string longComment(size_t{200} << 10, 'c');
    text += record("long", longComment) + "\r\n" + record("lf", "") + "\n" + record("cr", "") + "\r";
    for (int i = 0; i < 3000; ++i) text += record("t" + std::to_string(i), "") + "\r\n";
    WriteFile(cacheName, text);

    TFilesBd bd;
    TPath* path = AddPath(bd);
    path->LoadFromCache();
    EXPECT_TRUE(log.empty()) << log.front();
    EXPECT_EQ(path->Files().Count(), zips + 3 + 3000);
    const TFile* longOne = path->Files().Find("long");
    ASSERT_NE(longOne, nullptr);
    EXPECT_EQ(longOne->RomFiles[0]->Comment(), longComment);
    for (const std::string name : {"lf", "cr", "t2999", "z0"}) EXPECT_NE(path->Files().Find(name), nullptr) << name;
    path->SaveCache();
    const std::string saved = ReadFile(cacheName);
    EXPECT_NE(saved.find(record("lf", "") + "\r\n" + record("cr", "") + "\r\n"), std::string::npos);
    EXPECT_EQ(saved.size(), text.size() + 2);
}

TEST_F(CacheFilePathTest, RecordsAsTheyAreWritten) {
    TFilesBd bd;
    TPath* path = AddPath(bd);
    Populate(*path);
    path->SaveCache();
    std::vector<std::string_view> lines;
    const std::string text = ReadFile(path->CacheFile().GetCacheFileName());
    SplitLines(text, lines);
    ASSERT_EQ(lines.size(), 7u + 7u);
    // Records in files-list order; rom files of one file in the list's CRC order.
    EXPECT_EQ(lines[7], S + "A" + S + "J\xC3%A4ger.zip" + S + "5000000000" + S + std::to_string(0x5A2B3C4D) + S +
                            "broken.bin" + S + "10" + S + "00000000" + S + S + "CRC error" + S);
    EXPECT_EQ(lines[8], S + "A" + S + "J\xC3%A4ger.zip" + S + "5000000000" + S + std::to_string(0x5A2B3C4D) + S +
                            "sub/j\xC3%A4ger.bin" + S + "4096" + S + "abcdef01" + S + ".bin" + S + S +
                            "two%0D%0Alines %A4 100%25");
    EXPECT_EQ(lines[9], S + "D" + S + "folder" + S + "m1.rom" + S + "1" + S + std::to_string(0x4A000001) + S +
                            "11111111" + S + S + S);
    EXPECT_EQ(lines[10], S + "D" + S + "folder" + S + "m2.rom" + S + "2" + S + S + "22222222" + S + ".nes" + S + S);
    EXPECT_EQ(lines[11], S + "F" + S + "plain \xFF.bin" + S + "77" + S + std::to_string(0x4C000002) + S + "33333333" +
                             S + ".bin" + S + S);
    EXPECT_EQ(lines[12], S + "A" + S + "empty.zip" + S + "0" + S + S + S + "-1" + S + "n/a" + S + S + S);
    EXPECT_EQ(lines[13], S + "F" + S + "unreadable.bin" + S + "12" + S + std::to_string(0x4D000000) + S + "n/a" + S + S +
                             "Read error %251" + S);
}

TEST_F(CacheFilePathTest, EmptyPathWritesTheHeaderOnly) {
    TFilesBd bd;
    TPath* path = AddPath(bd);
    path->SaveCache();
    std::vector<std::string_view> lines;
    const std::string text = ReadFile(path->CacheFile().GetCacheFileName());
    SplitLines(text, lines);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[4], "/roms/");
    EXPECT_EQ(lines[5], "1");  // the one file of the folder

    TFilesBd again;
    TPath* read = AddPath(again);
    read->LoadFromCache();
    EXPECT_EQ(read->Files().Count(), 0);
}

TEST_F(CacheFilePathTest, DamagedRecordsCostOnlyTheirFile) {
    TFilesBd first;
    TPath* written = AddPath(first);
    Populate(*written);
    written->SaveCache();
    const std::string cacheName = written->CacheFile().GetCacheFileName();
    std::string text = ReadFile(cacheName);
    // The second record of the zip loses a field; garbage and a cut record follow.
    const size_t at = text.find(S + "4096" + S);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 6, S + "40x6" + S);
    text += "garbage\r\n" + S + "A" + S + "cut.zip" + S + "1" + S + "2" + S + "x.bin" + S + "3" + S + "1234";
    WriteFile(cacheName, text);

    TFilesBd second;
    TPath* read = AddPath(second);
    ASSERT_NO_THROW(read->LoadFromCache());
    // The zip is left out whole, so that the scan reads it again; the rest is there.
    EXPECT_EQ(read->Files().Find("J\xC3\xA4ger.zip"), nullptr);
    EXPECT_EQ(read->Files().Find("cut.zip"), nullptr);
    EXPECT_EQ(read->Files().Count(), 4);
    EXPECT_EQ(read->Files().Find("folder")->RomFiles.Count(), 2);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_NE(log[0].find(cacheName + ", line 9"), std::string::npos) << log[0];
    EXPECT_NE(log[0].find("\"40x6\" is not a size"), std::string::npos) << log[0];
    EXPECT_NE(log[1].find("line 15"), std::string::npos) << log[1];
    EXPECT_NE(log[2].find("line 16"), std::string::npos) << log[2];
}

// The cache ends inside the name of a record of the file before it: that file is read
// again whole, not kept with the records before the cut.
TEST_F(CacheFilePathTest, ARecordCutInsideItsNameCostsTheFileBeforeIt) {
    TFilesBd first;
    TPath* written = AddPath(first);
    Populate(*written);
    written->SaveCache();
    const std::string cacheName = written->CacheFile().GetCacheFileName();
    std::string text = ReadFile(cacheName);
    // The zip's later record, cut after the first byte of its name.
    const std::string zip = "J\xC3\xA4ger.zip";
    const size_t later = std::max(text.find("broken.bin"), text.find("ger.bin"));
    ASSERT_NE(later, std::string::npos);
    const size_t line = text.rfind('\n', later) + 1;
    ASSERT_EQ(text.compare(line, 4, S + "A" + S + "J"), 0);
    text.resize(line + 4);
    WriteFile(cacheName, text);

    TFilesBd reread;
    TPath* read = AddPath(reread);
    ASSERT_NO_THROW(read->LoadFromCache());
    EXPECT_EQ(read->Files().Find(zip), nullptr);
}

TEST_F(CacheFilePathTest, PlainFileWithoutRomComesBackWithoutRom) {
    TFilesBd first;
    TPath* written = AddPath(first);
    written->NewFile("readme.txt", fkPlain, false)->Size = 5;
    written->SaveCache();
    EXPECT_NE(ReadFile(written->CacheFile().GetCacheFileName()).find(S + "F" + S + "readme.txt" + S + "5" + S + S + "n/a"),
              std::string::npos);

    TFilesBd second;
    TPath* read = AddPath(second);
    read->LoadFromCache();
    ASSERT_EQ(read->Files().Count(), 1);
    EXPECT_EQ(read->Files().Find("readme.txt")->RomFiles.Count(), 0);  // never a rom of signature "n/a"
}

TEST_F(CacheFilePathTest, AddEntry) {
    TFilesBd bd;
    TPath* path = AddPath(bd);
    std::vector<TFile*> announced;
    bd.OnCreateFile = [&](TFile* f) { announced.push_back(f); };
    EXPECT_EQ(path->AddEntry("a.zip", "r.bin", "", "", 1, fkZip, 0), nullptr);  // no CRC: nothing at all
    EXPECT_EQ(path->Files().Count(), 0);
    TRomFile* r = path->AddEntry("/elsewhere/a.zip", "r.bin", "ABCDEF01", ".bin", 9, fkZip, 0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Crc(), "abcdef01");
    EXPECT_EQ(r->Size, 9);
    EXPECT_EQ(r->SuggestedExtension(), ".bin");
    EXPECT_EQ(r->File->Name, "a.zip");
    EXPECT_EQ(r->File->ShortName, "a");
    EXPECT_EQ(r->File->FullPath, roms + "a.zip");
    EXPECT_EQ(r->File->Kind, fkZip);
    EXPECT_EQ(path->AddEntry("a.zip", "s.bin", "12345678", "", 1, fkZip, 0)->File, r->File);
    EXPECT_EQ(path->AddEntry("d", "", "n/a", "", -1, fkFolder, 0), nullptr);
    EXPECT_EQ(path->Files().Find("d")->FullPath, roms + "d/");
    EXPECT_TRUE(announced.empty());  // entries from the cache are not announced
}

TEST_F(CacheFilePathTest, AbortKeepsTheWholeFilesLoadedSoFar) {
    TFilesBd first;
    TPath* written = AddPath(first);
    for (int i = 0; i < 50; ++i)
        for (int k = 0; k < 3; ++k)
            written->AddEntry("z" + std::to_string(i) + ".zip", "r" + std::to_string(k), "1234567" + std::to_string(k), "",
                              1, fkZip, 0);
    written->SaveCache();

    TFilesBd second;
    TPath* read = AddPath(second);
    second.OnProgress = [&](int percent) {
        if (percent == 51) second.Paths().Abort = true;  // 51 % of 149 steps: inside a zip's records
    };
    EXPECT_THROW(read->LoadFromCache(), filesbd::EAbortPathLoading);
    EXPECT_FALSE(second.Paths().Abort);
    EXPECT_GT(read->Files().Count(), 20);
    EXPECT_LT(read->Files().Count(), 30);
    // The zip that was being read when the abort came is not kept with part of its roms.
    for (const auto& file : read->Files()) EXPECT_EQ(file->RomFiles.Count(), 3) << file->Name;
}

TEST_F(CacheFilePathTest, InfosAndAMissingCache) {
    const std::string deep = roms + "a-rather-long-folder-name/and-another-one-below/";
    WriteFile(deep + "x", "");
    TFilesBd first;
    TPath* written = AddPath(first, deep);
    written->SaveCache();
    TFilesBd second;
    TPath* read = AddPath(second, deep);
    read->LoadFromCache();
    ASSERT_FALSE(infos.empty());
    EXPECT_EQ(infos.back(), "Loading " + deep.substr(deep.size() - 42));

    TFilesBd third;
    TPath* none = AddPath(third);
    try {
        none->LoadFromCache();
        FAIL();
    } catch (const filesbd::EFileNotFound& e) {
        EXPECT_EQ(e.Message(), "Cache file not found");
    }
}

TEST_F(CacheFilePathTest, SaveWithoutPlugInKeepsTheName) {
    TFilesBd bd;
    TPath* path = AddPath(bd);
    path->CacheFile().PlugInName = "nes.dll";
    path->SaveCache();  // no signature calculator
    EXPECT_EQ(path->CacheFile().PlugInName, "nes.dll");
    TSignatureCalculator calculator;
    bd.SetSignatureCalculator(&calculator);
    path->SaveCache();  // a calculator without a plug-in
    EXPECT_EQ(path->CacheFile().PlugInName, "nes.dll");
    EXPECT_NE(ReadFile(path->CacheFile().GetCacheFileName()).find("\r\nnes.dll\r\n"), std::string::npos);
}

TEST_F(CacheFilePathTest, LoadReadsTheCacheOfAPathWithoutFiles) {
    TFilesBd first;
    TPath* written = AddPath(first);
    Populate(*written);
    written->SaveCache();
    TFilesBd second;
    TPath* read = AddPath(second);
    // Without its folder the scan leaves the path as the cache gave it.
    std::filesystem::remove_all(roms);
    read->Load(false);
    EXPECT_NE(read->Files().Find("folder"), nullptr);
}

}  // namespace
}  // namespace qm
