// The cache file of a rom path: the bytes it writes, reading them back, the volume
// check, and the choice among the cache files of one folder.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>
#include <algorithm>
#include <ctime>
#include <random>

#include "archive/DiskInfo.h"
#include "archive/stringsTools.h"
#include "filesdb/CacheFileUnit.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::FileExists;
using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

const std::string S = "\xA4";  // the field separator

// A volume mounted at <tmp>/vol holding the rom folder <tmp>/vol/roms/, and a cache
// folder <tmp>/cache/ on it.
class CacheFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        TVolumeFacts volume;
        volume.root = tmp.Path() + "vol";
        volume.uuid = "1234-ABCD";
        volume.fsType = "vfat";
        volume.label = "ROMDISK";
        volume.removable = true;
        volumes.volumes.push_back(volume);
        WriteFile(roms + "a.zip", "x");
        WriteFile(roms + "b.bin", "y");
        WriteFile(cacheFolder + "keep.txt", "");
    }

    // A cache file written by hand: the header lines given, CR LF ends.
    void WriteCache(const std::string& name, const std::string& version, const std::string& serial,
                    const std::string& time, const std::string& path = "/roms/",
                    const std::string& plugIn = "arcade.dll", const std::string& count = "2",
                    const std::string& records = "") {
        WriteFile(cacheFolder + name, version + "\r\nLABEL-" + name + "\r\n" + serial + "\r\n" + time + "\r\n" + path +
                                          "\r\n" + count + "\r\n" + plugIn + "\r\n" + records);
    }

    void OpenCache(TCacheFile& cache, const std::string& serial = "1234-abcd") {
        cache.CacheFolder = cacheFolder;
        cache.PlugInName = "arcade.dll";
        cache.Open(roms, serial, "ROMDISK");
    }

    TTempDir tmp;
    std::string roms = tmp.Path() + "vol/roms/";
    std::string cacheFolder = tmp.Path() + "vol/cache/";
    TStaticVolumeProvider volumes;
    TScopedVolumeProvider scope{volumes};
};

TEST(CacheFileFormat, EscapesOnlyTheBytesThatWouldBreakALine) {
    const struct {
        std::string text, escaped;
    } cases[] = {
        {"", ""},
        {"Street Fighter II (World 910522).zip", "Street Fighter II (World 910522).zip"},
        {"J\xC3\xA4ger.zip", "J\xC3%A4ger.zip"},  // UTF-8 "ä" holds the separator byte
        {"100%", "100%25"},
        {"%A4", "%25A4"},
        {"line1\r\nline2\n", "line1%0D%0Aline2%0A"},
        {"\xA4\xA4", "%A4%A4"},
        {"latin1 \xE9\xFF", "latin1 \xE9\xFF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TCacheFile::Escape(c.text), c.escaped) << c.text;
        EXPECT_EQ(TCacheFile::Unescape(c.escaped), c.text) << c.escaped;
    }
    // Only the four codes are decoded, in either case; any other "%" stays.
    EXPECT_EQ(TCacheFile::Unescape("%a4%0d%0a"), "\xA4\r\n");
    EXPECT_EQ(TCacheFile::Unescape("50%off %41 %"), "50%off %41 %");
    EXPECT_EQ(TCacheFile::Unescape("%2"), "%2");
}

TEST(CacheFileFormat, RecordLinesOfEachKind) {
    TCacheRecord zip;
    zip.kind = kCacheKindZip;
    zip.fileName = "pacman.zip";
    zip.fileSize = 12345678901;
    zip.fileDate = 1234567;
    zip.romName = "sub/pacman.6e";
    zip.romSize = 4096;
    zip.crc = "C1E6AB10";
    zip.extension = ".rom";
    EXPECT_EQ(TCacheFile::FormatRecord(zip),
              S + "A" + S + "pacman.zip" + S + "12345678901" + S + "1234567" + S + "sub/pacman.6e" + S + "4096" + S +
                  "c1e6ab10" + S + ".rom" + S + S);

    TCacheRecord folder;
    folder.kind = kCacheKindFolder;
    folder.fileName = "mspacman";
    folder.romName = "boot1";
    folder.romSize = 4096;
    folder.romDate = 0;  // a zero date is an empty field
    folder.crc = "d16b31b7";
    folder.errorText = "Read error";
    folder.comment = "c";
    EXPECT_EQ(TCacheFile::FormatRecord(folder),
              S + "D" + S + "mspacman" + S + "boot1" + S + "4096" + S + S + "d16b31b7" + S + S + "Read error" + S + "c");

    TCacheRecord plain;
    plain.kind = kCacheKindFile;
    plain.fileName = "game.bin";
    plain.fileSize = -1;
    plain.fileDate = -5;
    plain.crc = "n/a";
    EXPECT_EQ(TCacheFile::FormatRecord(plain), S + "F" + S + "game.bin" + S + "-1" + S + "-5" + S + "n/a" + S + S + S);

    plain.kind = 3;
    EXPECT_EQ(TCacheFile::FormatRecord(plain), "");
}

TEST(CacheFileFormat, RecordsReadBackWithTheRulesOfTheirKind) {
    TCacheRecord r;
    std::string problem;

    ASSERT_TRUE(TCacheFile::ParseRecord(S + "F" + S + "J\xC3%A4ger.bin" + S + "300" + S + "77" + S + "0badcafe" + S +
                                            ".bin" + S + S + "two%0Alines",
                                        r, problem));
    EXPECT_EQ(r.kind, kCacheKindFile);
    EXPECT_EQ(r.fileName, "J\xC3\xA4ger.bin");
    EXPECT_EQ(r.romName, r.fileName);  // a plain file is its own rom
    EXPECT_EQ(r.fileSize, 300);
    EXPECT_EQ(r.romSize, 300);
    EXPECT_EQ(r.fileDate, 77);
    EXPECT_EQ(r.romDate, 77);
    EXPECT_EQ(r.crc, "0badcafe");
    EXPECT_EQ(r.comment, "two\nlines");

    // A plain file without a rom is not read back as a rom named after the file.
    ASSERT_TRUE(TCacheFile::ParseRecord(S + "F" + S + "x.txt" + S + "3" + S + S + "n/a" + S + S + "Cannot read" + S, r,
                                        problem));
    EXPECT_EQ(r.romName, "");
    EXPECT_EQ(r.errorText, "Cannot read");
    EXPECT_EQ(r.fileDate, 0);

    ASSERT_TRUE(TCacheFile::ParseRecord(S + "D" + S + "dir" + S + "m.rom" + S + "16" + S + S + "00000000" + S + S + S,
                                        r, problem));
    EXPECT_EQ(r.kind, kCacheKindFolder);
    EXPECT_EQ(r.fileSize, -1);
    EXPECT_EQ(r.fileDate, 0);
    EXPECT_EQ(r.romDate, 0);
    EXPECT_EQ(r.romSize, 16);

    // An unknown tag is read as a zip record.
    ASSERT_TRUE(TCacheFile::ParseRecord(
        S + "Z" + S + "z.zip" + S + "22" + S + "9" + S + "" + S + "-1" + S + "n/a" + S + S + S, r, problem));
    EXPECT_EQ(r.kind, kCacheKindZip);
    EXPECT_EQ(r.romName, "");
    EXPECT_EQ(r.romDate, 0);
    EXPECT_EQ(r.fileDate, 9);
}

// A plain file or zip carries its change time and inode after the old fields; a record
// written without them (an older cache) reads as before, with both unknown.
TEST(CacheFileFormat, ChangeTimeAndInodeFollowTheOldFields) {
    TCacheRecord zip;
    zip.kind = kCacheKindZip;
    zip.fileName = "pacman.zip";
    zip.fileSize = 22;
    zip.fileDate = 9;
    zip.romName = "r";
    zip.romSize = 5;
    zip.crc = "12345678";
    const std::string old = TCacheFile::FormatRecord(zip);
    zip.fileChangeTime = 1577880000123456789;
    zip.fileInode = 18446744073709551557ull;
    const std::string line = TCacheFile::FormatRecord(zip);
    EXPECT_EQ(line, old + S + "1577880000123456789" + S + "18446744073709551557");
    TCacheRecord r;
    std::string problem;
    ASSERT_TRUE(TCacheFile::ParseRecord(line, r, problem)) << problem;
    EXPECT_EQ(r.fileChangeTime, 1577880000123456789);
    EXPECT_EQ(r.fileInode, 18446744073709551557ull);
    EXPECT_EQ(r.comment, "");
    ASSERT_TRUE(TCacheFile::ParseRecord(old, r, problem));
    EXPECT_EQ(r.fileChangeTime, 0);
    EXPECT_EQ(r.fileInode, 0u);

    TCacheRecord plain;
    plain.kind = kCacheKindFile;
    plain.fileName = "dd1.bin";
    plain.fileSize = 16;
    plain.crc = "0badcafe";
    plain.fileChangeTime = 7;
    plain.fileInode = 8;
    ASSERT_TRUE(TCacheFile::ParseRecord(TCacheFile::FormatRecord(plain), r, problem));
    EXPECT_EQ(r.romName, "dd1.bin");
    EXPECT_EQ(r.fileInode, 8u);

    // A folder's members are judged by their own size and date: its records keep their shape.
    TCacheRecord folder;
    folder.kind = kCacheKindFolder;
    folder.fileName = "galaga";
    folder.romName = "gg1.bin";
    folder.crc = "12345678";
    folder.fileInode = 8;
    const std::string folderLine = TCacheFile::FormatRecord(folder);
    EXPECT_EQ(std::count(folderLine.begin(), folderLine.end(), S[0]), 9);
    EXPECT_FALSE(TCacheFile::ParseRecord(folderLine + S + "7" + S + "8", r, problem));
    EXPECT_FALSE(TCacheFile::ParseRecord(line.substr(0, line.rfind(S[0])), r, problem)) << "one field short";
}

TEST(CacheFileFormat, DamagedRecordsAreRefused) {
    const std::string good = S + "A" + S + "z.zip" + S + "22" + S + "9" + S + "r" + S + "5" + S + "12345678" + S + S + S;
    TCacheRecord r;
    std::string problem;
    ASSERT_TRUE(TCacheFile::ParseRecord(good, r, problem));
    const struct {
        const char* what;
        std::string line;
    } cases[] = {
        {"empty", ""},
        {"no separator", "garbage"},
        {"text before the tag", "x" + good},
        {"cut before the last fields", good.substr(0, good.size() - 2)},
        {"cut inside the CRC", S + "A" + S + "z.zip" + S + "22" + S + "9" + S + "r" + S + "5" + S + "1234"},
        {"two records run together", good + good},
        {"size is text", S + "F" + S + "f" + S + "big" + S + S + "12345678" + S + S + S},
        {"date is text", S + "D" + S + "d" + S + "r" + S + "1" + S + "today" + S + "12345678" + S + S + S},
        {"date out of range", S + "F" + S + "f" + S + "1" + S + "99999999999" + S + "12345678" + S + S + S},
        {"rom size missing", S + "A" + S + "z.zip" + S + "22" + S + "9" + S + "r" + S + S + "12345678" + S + S + S},
    };
    for (const auto& c : cases) {
        problem.clear();
        EXPECT_FALSE(TCacheFile::ParseRecord(c.line, r, problem)) << c.what;
        EXPECT_FALSE(problem.empty()) << c.what;
    }
    // The file name is known even from a damaged record, so that the file can be read again.
    EXPECT_FALSE(TCacheFile::ParseRecord(cases[4].line, r, problem));
    EXPECT_EQ(r.fileName, "z.zip");
}

TEST(CacheFileFormat, HeaderTimeIsLocaleFreeAndSortable) {
    int64_t key = 0;
    const std::string written = TCacheFile::FormatHeaderTime(std::time(nullptr));
    ASSERT_EQ(written.size(), 19u);
    ASSERT_TRUE(TCacheFile::ParseHeaderTime(written, key));

    int64_t a = 0, b = 0;
    ASSERT_TRUE(TCacheFile::ParseHeaderTime("2026-12-09 07:59:59", a));
    ASSERT_TRUE(TCacheFile::ParseHeaderTime("2026-12-09 08:00:00", b));
    EXPECT_LT(a, b);
    EXPECT_EQ(b, 20261209080000);

    for (const char* bad : {"", "yesterday", "2026-13-01 00:00:00", "2026-12-09T08:00:00", "2026-12-09 08:00"})
        EXPECT_FALSE(TCacheFile::ParseHeaderTime(bad, key)) << bad;

    // A time in the system locale's own text is read as well.
    const QLocale locale = QLocale::system();
    const QDateTime when(QDate(2025, 3, 4), QTime(5, 6, 7));
    const QString text =
        locale.toString(when, locale.dateFormat(QLocale::ShortFormat) + ' ' + locale.timeFormat(QLocale::LongFormat));
    const QByteArray bytes = text.toUtf8();
    ASSERT_TRUE(TCacheFile::ParseHeaderTime(std::string_view(bytes.constData(), bytes.size()), key)) << bytes.constData();
    EXPECT_EQ(key % 10000000000, 304050607);  // a short date may carry only two digits of the year
}

// Names that break a naive writer: the separator inside UTF-8, line breaks, "%",
// bytes that are not UTF-8, inner paths.
std::string NastyText(std::mt19937& random, int i) {
    static const std::string pieces[] = {"J\xC3\xA4ger", "\xA4", "%", "%A4", "\r", "\n", "\r\n", "\xFF\xFE",
                                         "\xE9t\xE9", "sub/dir/", "plain", " ", "\xC2\xA4", "%25"};
    std::string text = std::to_string(i);
    const int n = static_cast<int>(random() % 5);
    for (int k = 0; k < n; ++k) text += pieces[random() % std::size(pieces)];
    return text;
}

std::vector<TCacheRecord> NastyRecords(int count) {
    std::mt19937 random(12);
    std::vector<TCacheRecord> records;
    for (int i = 0; i < count; ++i) {
        TCacheRecord r;
        r.kind = i % 3;
        r.fileName = NastyText(random, i);
        r.fileName.erase(std::remove(r.fileName.begin(), r.fileName.end(), '/'), r.fileName.end());
        r.romName = r.kind == kCacheKindFile ? r.fileName : NastyText(random, i);
        r.crc = i % 17 == 0 ? "n/a" : "0123abcd";
        if (r.crc == "n/a" && r.kind != kCacheKindZip) r.crc = "89abcdef";
        r.extension = i % 2 ? ".bin" : "";
        r.romSize = i % 5 == 0 ? -1 : i * 7;
        r.fileSize = r.kind == kCacheKindFolder ? -1 : r.kind == kCacheKindFile ? r.romSize : int64_t(i) << 33;
        r.fileDate = r.kind == kCacheKindFolder ? 0 : (i % 4 == 0 ? 0 : 0x5A000000 + i);
        r.romDate = r.kind == kCacheKindFolder ? (i % 4 == 0 ? 0 : -0x20000000 - i) : r.kind == kCacheKindFile ? r.fileDate : 0;
        r.errorText = i % 11 == 0 ? "Error %1 in \xA4 file\n" : "";
        r.comment = i % 7 == 0 ? NastyText(random, i) : "";
        records.push_back(r);
    }
    return records;
}

void ExpectSameRecord(const TCacheRecord& a, const TCacheRecord& b, int line) {
    EXPECT_EQ(a.kind, b.kind) << line;
    EXPECT_EQ(a.fileName, b.fileName) << line;
    EXPECT_EQ(a.romName, b.romName) << line;
    EXPECT_EQ(a.fileSize, b.fileSize) << line;
    EXPECT_EQ(a.fileDate, b.fileDate) << line;
    EXPECT_EQ(a.crc, b.crc) << line;
    EXPECT_EQ(a.extension, b.extension) << line;
    EXPECT_EQ(a.romSize, b.romSize) << line;
    EXPECT_EQ(a.romDate, b.romDate) << line;
    EXPECT_EQ(a.errorText, b.errorText) << line;
    EXPECT_EQ(a.comment, b.comment) << line;
}

TEST_F(CacheFileTest, TenThousandNastyRecordsComeBackByteForByte) {
    TCacheFile cache;
    OpenCache(cache);
    const std::vector<TCacheRecord> records = NastyRecords(10000);
    cache.Clear();
    for (const TCacheRecord& r : records) cache.AddRecord(r);
    cache.Save();
    ASSERT_EQ(cache.GetCacheFileName(), cacheFolder + "quarmelle0.dat");

    const std::string text = ReadFile(cache.GetCacheFileName());
    const TCacheReader reader(text);
    ASSERT_EQ(reader.LineCount(), 7 + 10000);
    for (int i = 0; i < 10000; ++i) {
        TCacheRecord back;
        std::string problem;
        ASSERT_TRUE(reader.Record(7 + i, back, problem)) << i << ": " << problem;
        ExpectSameRecord(back, records[static_cast<size_t>(i)], i);
        if (HasFailure()) break;
    }
    // Every line ends with CR LF, the last one too, and no line break is left inside a line.
    size_t crlf = 0;
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
        ASSERT_GT(at, 0u);
        ASSERT_EQ(text[at - 1], '\r');
        ++crlf;
    }
    EXPECT_EQ(crlf, 10007u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST_F(CacheFileTest, TruncatedCacheGivesItsWholeRecordsAndRefusesTheCutOne) {
    TCacheFile cache;
    OpenCache(cache);
    const std::vector<TCacheRecord> records = NastyRecords(40);
    for (const TCacheRecord& r : records) cache.AddRecord(r);
    cache.Save();
    const std::string text = ReadFile(cache.GetCacheFileName());
    const size_t lastLine = text.rfind("\r\n", text.size() - 3) + 2;
    // Cut at every byte of the last two records.
    const size_t from = text.rfind("\r\n", lastLine - 3) + 2;
    for (size_t cut = from; cut < text.size(); ++cut) {
        const std::string truncated = text.substr(0, cut);
        const TCacheReader reader(truncated);
        for (int i = 7; i < reader.LineCount(); ++i) {
            TCacheRecord back;
            std::string problem;
            const TCacheRecord& original = records[static_cast<size_t>(i - 7)];
            const bool whole = reader.Line(i) == TCacheFile::FormatRecord(original);
            if (!reader.Record(i, back, problem)) {
                EXPECT_FALSE(whole) << "cut " << cut << " line " << i;
                continue;
            }
            // Only a cut inside the comment, the last field, goes unnoticed, and only the
            // comment suffers.
            TCacheRecord expected = original;
            if (!whole) {
                EXPECT_EQ(TCacheFile::FormatRecord(original).rfind(reader.Line(i), 0), 0u) << "cut " << cut;
                expected.comment = back.comment;
            }
            ExpectSameRecord(back, expected, i);
        }
        if (HasFailure()) break;
    }
}

TEST_F(CacheFileTest, HeaderOfSevenLinesAndAnEmptyPath) {
    TCacheFile cache;
    OpenCache(cache);
    cache.Clear();
    cache.Save();
    const std::string text = ReadFile(cacheFolder + "quarmelle0.dat");
    const std::vector<std::string_view> lines = [&] {
        std::vector<std::string_view> out;
        SplitLines(text, out);
        return out;
    }();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "2.50");
    EXPECT_EQ(lines[1], "ROMDISK");
    EXPECT_EQ(lines[2], "1234-abcd");
    int64_t key = 0;
    EXPECT_TRUE(TCacheFile::ParseHeaderTime(lines[3], key)) << lines[3];
    EXPECT_EQ(lines[4], "/roms/");
    EXPECT_EQ(lines[5], "2");  // a.zip and b.bin
    EXPECT_EQ(lines[6], "arcade.dll");
    EXPECT_EQ(cache.GetEntryCount(), 2);
}

TEST_F(CacheFileTest, VolumeIdentity) {
    {
        TCacheFile cache;
        OpenCache(cache, "1234-ABCD");  // given in upper case, kept in lower case
        EXPECT_TRUE(cache.IsVolumeAvailable());
        EXPECT_FALSE(cache.IsReadOnly());
        EXPECT_EQ(cache.GetVolumeSerial(), "1234-abcd");
        EXPECT_EQ(cache.GetVolumeLabel(), "ROMDISK");
        EXPECT_EQ(cache.GetDriveType(), dtFloppy);
        EXPECT_GT(cache.GetDiskFree(), 0);
        EXPECT_EQ(cache.GetPath(), roms);
    }
    {
        // Another disk in the drive: absent, read-only, sizes unknown.
        TCacheFile cache;
        OpenCache(cache, "9999-0000");
        EXPECT_FALSE(cache.IsVolumeAvailable());
        EXPECT_TRUE(cache.IsReadOnly());
        EXPECT_EQ(cache.GetDiskSize(), -1);
        EXPECT_EQ(cache.GetDiskFree(), -1);
        cache.Clear();
        cache.Save();  // nothing is written for an absent volume
        EXPECT_EQ(cache.GetCacheFileName(), "");
        EXPECT_FALSE(FileExists(cacheFolder + "quarmelle0.dat"));
    }
    {
        // No serial known yet: the drive's, in lower case.
        TCacheFile cache;
        cache.CacheFolder = cacheFolder;
        EXPECT_FALSE(cache.Open(roms.substr(0, roms.size() - 1), "", "given"));
        EXPECT_TRUE(cache.IsVolumeAvailable());
        EXPECT_EQ(cache.GetVolumeSerial(), "1234-abcd");
        EXPECT_EQ(cache.GetVolumeLabel(), "given");
        EXPECT_EQ(cache.GetPath(), roms);
    }
    {
        TCacheFile cache;
        cache.CacheFolder = cacheFolder;
        EXPECT_THROW(cache.Open(tmp.Path() + "vol/nothing/", "1234-abcd", "L"), cachefile::EPathNotFound);
    }
    {
        // A read-only volume.
        TRealFileSystem real;
        TFaultyFileSystem faulty(real);
        faulty.readOnlyPaths.push_back(tmp.Path() + "vol");
        TScopedFileSystem fsScope(faulty);
        TCacheFile cache;
        OpenCache(cache);
        EXPECT_TRUE(cache.IsVolumeAvailable());
        EXPECT_TRUE(cache.IsReadOnly());
    }
}

TEST_F(CacheFileTest, LookupAmongTheCachesOfOneFolder) {
    // Directory order is by name; the newest matching header wins, whatever its name.
    WriteCache("quarmelle0.dat", "2.50", "1234-abcd", "2026-01-01 10:00:00");                  // older: deleted
    WriteCache("quarmelle1.dat", "2.50", "1234-ABCD", "2026-06-01 10:00:00", "/roms/", "ARCADE.DLL", "5");  // chosen
    WriteCache("quarmelle2.dat", "2.50", "1234-abcd", "2026-06-01 10:00:00");                  // as new: deleted
    WriteCache("quarmelle3.dat", "2.50", "5555-abcd", "2027-01-01 10:00:00");                  // other volume
    WriteCache("quarmelle4.dat", "2.50", "1234-abcd", "2027-01-01 10:00:00", "/roms/", "nes.dll");  // other plug-in
    WriteCache("quarmelle5.dat", "2.50", "1234-abcd", "2027-01-01 10:00:00", "/Roms/");         // other folder
    WriteCache("quarmelle6.dat", "2.50", "1234-abcd", "last tuesday");                         // unreadable time
    WriteCache("quarmelle7.dat", "2.50", "1234-abcd", "2027-01-01 10:00:00", "/roms/", "arcade.dll", "many");
    WriteCache("quarmelle8.dat", "2.40", "1234-abcd", "2027-01-01 10:00:00");                  // old format: deleted
    WriteCache("quarmelle9.dat", "2.50", "1234-abcd", "2027-01-01");                           // too short: skipped
    WriteFile(cacheFolder + "quarmelle10.dat", "2.50\r\nshort\r\n");                           // cut header
    WriteFile(cacheFolder + "quarmelle11.dat", "my own notes\r\n");                           // not a version
    WriteCache("quarmelle.dat", "2.40", "1234-abcd", "2027-01-01 10:00:00");                   // not our name
    WriteCache("quarmelle_x.dat", "1.00", "1234-abcd", "2027-01-01 10:00:00");                 // not our name
    WriteCache("quarmelleA.dat", "2.50", "1234-abcd", "2028-01-01 10:00:00");                  // not our name

    TCacheFile cache;
    cache.CacheFolder = cacheFolder;
    cache.PlugInName = "arcade.dll";
    EXPECT_TRUE(cache.Open(roms, "1234-abcd", "ROMDISK"));
    EXPECT_EQ(cache.GetCacheFileName(), cacheFolder + "quarmelle1.dat");
    EXPECT_EQ(cache.GetEntryCount(), 5);
    EXPECT_EQ(cache.GetVolumeLabel(), "ROMDISK");  // the given label holds over the header's

    for (const char* gone : {"quarmelle0.dat", "quarmelle2.dat", "quarmelle8.dat"})
        EXPECT_FALSE(FileExists(cacheFolder + gone)) << gone;
    for (const char* kept : {"quarmelle1.dat", "quarmelle3.dat", "quarmelle4.dat", "quarmelle5.dat", "quarmelle6.dat",
                             "quarmelle7.dat", "quarmelle9.dat", "quarmelle10.dat", "quarmelle11.dat", "quarmelle.dat",
                             "quarmelle_x.dat", "quarmelleA.dat", "keep.txt"})
        EXPECT_TRUE(FileExists(cacheFolder + kept)) << kept;

    // The label of the chosen header is taken by the search itself.
    EXPECT_EQ(cache.FindCacheFile(), cacheFolder + "quarmelle1.dat");
    EXPECT_EQ(cache.GetVolumeLabel(), "LABEL-quarmelle1.dat");
}

TEST_F(CacheFileTest, AbsentVolumeStillFindsItsCacheAndDeletesNothing) {
    WriteCache("quarmelle0.dat", "2.50", "1234-abcd", "2026-01-01 10:00:00");
    WriteCache("quarmelle1.dat", "2.50", "1234-abcd", "2026-02-01 10:00:00");
    WriteCache("quarmelle2.dat", "2.50", "1234-abcd", "2027-01-01 10:00:00", "/");  // the volume's root folder
    WriteCache("quarmelle3.dat", "2.50", "1234-abcd", "2027-01-01 10:00:00", "/other/roms/");
    const TStaticVolumeProvider present = volumes;
    volumes.volumes.clear();  // unplugged: its mount point is gone
    {
        TCacheFile cache;
        OpenCache(cache);
        EXPECT_FALSE(cache.IsVolumeAvailable());
        EXPECT_EQ(cache.GetCacheFileName(), cacheFolder + "quarmelle1.dat");
        for (const char* kept : {"quarmelle0.dat", "quarmelle1.dat", "quarmelle2.dat", "quarmelle3.dat"})
            EXPECT_TRUE(FileExists(cacheFolder + kept)) << kept;
        const std::string before = ReadFile(cacheFolder + "quarmelle1.dat");
        cache.Clear();
        cache.Save();
        EXPECT_EQ(ReadFile(cacheFolder + "quarmelle1.dat"), before);
    }
    volumes = present;
    {
        TCacheFile cache;
        OpenCache(cache);
        EXPECT_TRUE(cache.IsVolumeAvailable());
        EXPECT_EQ(cache.GetCacheFileName(), cacheFolder + "quarmelle1.dat");
        EXPECT_FALSE(FileExists(cacheFolder + "quarmelle0.dat"));
        EXPECT_TRUE(FileExists(cacheFolder + "quarmelle2.dat"));
    }
}

TEST_F(CacheFileTest, SaveReusesItsNameOrTakesTheSmallestFreeOne) {
    WriteCache("quarmelle0.dat", "2.50", "5555-abcd", "2026-01-01 10:00:00");  // another volume's
    WriteCache("quarmelle2.dat", "2.50", "5555-abcd", "2026-01-01 10:00:00");
    TCacheFile cache;
    OpenCache(cache);
    EXPECT_EQ(cache.GetCacheFileName(), "");
    cache.Save();  // no header yet: nothing to write, no name taken
    EXPECT_EQ(cache.GetCacheFileName(), "");
    cache.AddRecord("/somewhere/a.zip", "r.bin", 1, 2, "ABCDEF01", "", 3, 0, kCacheKindZip, "", "");
    cache.Save();
    EXPECT_EQ(cache.GetCacheFileName(), cacheFolder + "quarmelle1.dat");
    const std::string first = ReadFile(cacheFolder + "quarmelle1.dat");
    EXPECT_NE(first.find(S + "A" + S + "a.zip" + S + "1" + S + "2" + S + "r.bin" + S + "3" + S + "abcdef01"),
              std::string::npos);

    cache.Clear();
    cache.Save();
    EXPECT_EQ(cache.GetCacheFileName(), cacheFolder + "quarmelle1.dat");
    EXPECT_FALSE(FileExists(cacheFolder + "quarmelle3.dat"));

    // Found again by a new object of the same path.
    TCacheFile again;
    OpenCache(again);
    EXPECT_EQ(again.GetCacheFileName(), cacheFolder + "quarmelle1.dat");
    EXPECT_EQ(ReadFile(cacheFolder + "quarmelle0.dat").substr(0, 4), "2.50");
}

TEST_F(CacheFileTest, FailedSaveKeepsTheOldCache) {
    TCacheFile cache;
    OpenCache(cache);
    cache.AddRecord("a.zip", "r.bin", 1, 2, "abcdef01", "", 3, 0, kCacheKindZip, "", "");
    cache.Save();
    const std::string before = ReadFile(cache.GetCacheFileName());

    TRealFileSystem real;
    TFaultyFileSystem faulty(real);
    faulty.failAt = 1;
    faulty.failErrno = 28;  // ENOSPC
    TScopedFileSystem fsScope(faulty);
    cache.Clear();
    EXPECT_THROW(cache.Save(), cachefile::EFileError);
    EXPECT_EQ(ReadFile(cache.GetCacheFileName()), before);
}

}  // namespace
}  // namespace qm
