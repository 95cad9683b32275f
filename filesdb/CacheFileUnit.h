#pragma once
// The cache file of one rom path: what the last scan found, so that the next load only
// reads what changed on disk.
//
// A cache file is "<cache folder>quarmelle<N>.dat", lines ended by CR LF. Seven header
// lines: "2.50", the volume label, the volume serial, the time of writing
// ("yyyy-MM-dd HH:mm:ss", local time), the path relative to its mount point (with "/" at
// both ends), the number of entries of the rom folder, the plug-in file name. Then one
// record per rom: the byte 0xA4, a tag, 0xA4, and the fields separated by 0xA4 with no
// separator at the end:
//   F  plain file   file name, file size, file date, CRC, extension, error, comment
//   D  folder       folder name, rom name, rom size, rom date, CRC, extension, error, comment
//   A  zip archive  zip name, zip size, zip date, rom name, rom size, CRC, extension, error, comment
// Sizes are decimal ("-1" unknown), dates DOS date-and-time values as decimal (empty
// for zero), CRC "n/a" for a file that holds no rom. An F or A record may end with two
// more fields, the file's status-change time (nanoseconds) and inode, both decimal:
// records written before they were kept lack them and are read all the same.
//
// Names are bytes and UTF-8 itself holds 0xA4 ("ä" is C3 A4), and comments may hold
// line breaks, so every text is escaped: "%" as "%25", 0xA4 as "%A4", CR as "%0D", LF
// as "%0A". A text without those bytes is written as it is.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/DiskInfo.h"
#include "platform/Exception.h"

namespace qm {

struct TScanListing;

namespace cachefile {
// The volume is there but the rom folder is not.
QM_DECLARE_EXCEPTION(EPathNotFound, Exception);
// No cache file, no serial given and the volume is absent.
QM_DECLARE_EXCEPTION(EVolumeNotAvailable, Exception);
// The cache file could not be written.
QM_DECLARE_EXCEPTION(EFileError, Exception);
}  // namespace cachefile

// Kinds of file, as the files database numbers them.
enum : int { kCacheKindFile = 0, kCacheKindFolder = 1, kCacheKindZip = 2 };

// One record of a cache file, decoded.
struct TCacheRecord {
    int kind = kCacheKindZip;
    std::string fileName;   // last component of the file (a folder without "/", a zip with ".zip")
    std::string romName;    // as stored in the file; empty for a file without roms
    int64_t fileSize = -1;
    int32_t fileDate = 0;   // DOS date-and-time; 0 unknown
    std::string crc;        // lower case; "n/a" for a file without roms
    std::string extension;  // suggested by the plug-in
    int64_t romSize = -1;
    int32_t romDate = 0;
    std::string errorText;
    std::string comment;
    int64_t fileChangeTime = 0;  // plain file or zip; 0 with the inode when not recorded
    uint64_t fileInode = 0;
    // The line is exactly what FormatRecord makes of the record (numbers without
    // leading zeros, escapes in upper case, the CRC in lower case, a plain name): a
    // record read back from such lines is written out as the very same text.
    bool canonical = false;
};

// A fingerprint of the records of a cache text, as the writer lays them out: two caches
// of equal fingerprints and equal headers are the same text but for their save time.
// Each record is hashed on its own and the hashes are folded in order, so the records
// of a large cache can be hashed side by side and folded after.
class TCacheDigest {
public:
    // One record, the fields of its kind that a record line holds.
    void Add(int kind, std::string_view fileName, std::string_view romName, int64_t fileSize, int32_t fileDate,
             std::string_view crc, std::string_view extension, int64_t romSize, int32_t romDate,
             std::string_view errorText, std::string_view comment, int64_t fileChangeTime, uint64_t fileInode) {
        TCacheDigest one;
        one.Record(kind, fileName, romName, fileSize, fileDate, crc, extension, romSize, romDate, errorText, comment,
                   fileChangeTime, fileInode);
        Fold(one);
    }
    void Add(const TCacheRecord& record);
    // The hash of one record alone, and its adding to a fingerprint: Add in two steps.
    static TCacheDigest Of(int kind, std::string_view fileName, std::string_view romName, int64_t fileSize,
                           int32_t fileDate, std::string_view crc, std::string_view extension, int64_t romSize,
                           int32_t romDate, std::string_view errorText, std::string_view comment,
                           int64_t fileChangeTime, uint64_t fileInode) {
        TCacheDigest one;
        one.Record(kind, fileName, romName, fileSize, fileDate, crc, extension, romSize, romDate, errorText, comment,
                   fileChangeTime, fileInode);
        return one;
    }
    void Fold(const TCacheDigest& record) {
        Word(record.a_);
        Word(record.b_);
    }
    bool operator==(const TCacheDigest&) const = default;

private:
    void Record(int kind, std::string_view fileName, std::string_view romName, int64_t fileSize, int32_t fileDate,
                std::string_view crc, std::string_view extension, int64_t romSize, int32_t romDate,
                std::string_view errorText, std::string_view comment, int64_t fileChangeTime, uint64_t fileInode);
    // Two lanes of different mixing: texts that collide in one rarely do in both.
    void Word(uint64_t word) {
        a_ = (a_ ^ word) * 0x9E3779B97F4A7C15ull;
        a_ ^= a_ >> 32;
        b_ = (b_ + word) * 0xD6E8FEB86659FD93ull;
        b_ = (b_ << 27) | (b_ >> 37);
    }
    // Whole words of the text, then its last bytes with its length in the top byte.
    void Text(std::string_view text) {
        const char* p = text.data();
        size_t left = text.size();
        for (; left >= 8; p += 8, left -= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            Word(word);
        }
        // The last bytes read as two overlapping halves (or three bytes of a short one).
        uint64_t word = static_cast<uint64_t>(text.size()) << 56;
        if (left >= 4) {
            uint32_t low, high;
            std::memcpy(&low, p, 4);
            std::memcpy(&high, p + left - 4, 4);
            word ^= low | static_cast<uint64_t>(high) << 24;
        } else if (left > 0) {
            const auto byte = [&](size_t i) { return static_cast<uint64_t>(static_cast<unsigned char>(p[i])); };
            word ^= byte(0) | byte(left / 2) << 8 | byte(left - 1) << 16;
        }
        Word(word);
    }
    uint64_t a_ = 0x9E3779B97F4A7C15ull, b_ = 0xC2B2AE3D27D4EB4Full;
};

// The seven header lines, decoded.
struct TCacheHeader {
    std::string version;
    std::string label;
    std::string serial;
    std::string time;
    std::string pathWithoutDrive;
    std::string entryCount;
    std::string plugInName;
};

class TCacheFile {
public:
    static constexpr const char* kVersion = "2.50";
    static constexpr int kHeaderLines = 7;

    TCacheFile();
    ~TCacheFile();
    TCacheFile(const TCacheFile&) = delete;
    TCacheFile& operator=(const TCacheFile&) = delete;

    // Binds the cache to a rom path (absolute) and looks for its cache file: path gets a
    // trailing "/", serial is taken in lower case, the volume is read, and the newest
    // matching cache file of the cache folder is chosen. Raises
    // cachefile::EPathNotFound "Path not found." when the volume is there but the folder
    // is not, cachefile::EVolumeNotAvailable "Volume not available." when no cache file
    // was found, no serial was given and the volume is absent. The label becomes the
    // given one. True when a cache file was found.
    bool Open(const std::string& path, const std::string& serial, const std::string& label);

    // Empties the lines and writes a new header (the entry count is recounted now).
    void Clear();

    // Appends one record (a header first when there is none). The file name is reduced
    // to its last component; the CRC is taken in lower case; a kind other than 0, 1, 2
    // adds nothing.
    void AddRecord(const std::string& fileName, const std::string& romName, int64_t fileSize, int32_t fileDate,
                   const std::string& crc, const std::string& extension, int64_t romSize, int32_t romDate, int kind,
                   const std::string& errorText, const std::string& comment, int64_t fileChangeTime = 0,
                   uint64_t fileInode = 0);
    void AddRecord(const TCacheRecord& record);
    // Appends record lines made elsewhere, each ended by CR LF, as AddRecord would have
    // added them one by one.
    void AddRecordLines(std::string_view text, int lines);

    // Writes the lines to the cache file, only when the volume is available and the
    // header is there. The file is replaced atomically: a failure keeps the old one and
    // raises cachefile::EFileError. The first save without a known name takes the
    // smallest free "quarmelle<N>.dat"; later saves reuse that name. A file that holds
    // these lines already, but for its save time, and is not older than the folder is
    // left as it is. The lines go out in pieces while they are added, so a save ends
    // them: a record added after it starts a new header.
    void Save();

    // The cache file was just read and every record of it was canonical: records is
    // their fingerprint, headerText its first seven lines with their line ends. A later
    // save that would write the same text can tell so without making it.
    void NoteLoaded(std::string_view headerText, const TCacheDigest& records);
    // Called after Clear, before any record is added: when the records about to be
    // written are those read (records), the header matches the one read but for its
    // save time, and the file is still the one read and not older than its folder, the
    // save is done as Save would do it for an unchanged text (nothing is written).
    // False otherwise: the records are to be added and saved as usual.
    bool SaveUnchanged(const TCacheDigest& records);
    bool HasLoaded() const { return loaded_ != nullptr; }

    // The rom folder listed on another thread while the cache file is read, so that the
    // scan that follows the reading need not wait for the listing. TakeListing waits for
    // it and hands it over; nullptr when none was begun, or when the folder or the
    // number of files read from the cache (noted by NoteFilesLoaded) is not the same
    // any more.
    void BeginListing(int threads);
    void NoteFilesLoaded(int count);
    std::unique_ptr<TScanListing> TakeListing(int filesCount);

    // Chooses the newest cache file of the cache folder whose serial (ignoring case),
    // path without drive (exactly) and plug-in name (ignoring case) are this path's;
    // other matching ones are deleted, as are caches of another format version. Only
    // files named "quarmelle<digits>.dat" with a version number on their first line are
    // ever deleted. While the volume is absent its mount point is unknown: a cache whose
    // folder is a trailing part of the path matches (the longest folder, then the newest
    // wins) and nothing is deleted. Sets and returns the cache file name (empty when none
    // matched), and takes the label and entry count of the chosen header.
    std::string FindCacheFile();

    // Reads the volume of the path again: with a serial stored, the volume is available
    // when its serial matches; without one it is available and gives its serial.
    void ReadDiskInfo();
    // Whether the recorded volume is still the one at the path: measured again, but
    // the label and sizes last read stay unless the volume has just come back.
    bool CheckVolume();

    // ---- Members ----
    // Folder of the cache files (a missing trailing "/" is supplied) and the file name
    // of the plug-in whose signatures the cache holds; both set by the paths list when
    // it creates the rom path.
    std::string CacheFolder;
    std::string PlugInName;

    const std::string& GetPath() const { return path_; }
    void SetPath(const std::string& path);
    // The cache file found or chosen; empty while none is known.
    const std::string& GetCacheFileName() const { return cacheFileName_; }
    // A cache file is known and is there on disk.
    bool CacheFileExists() const;
    const std::string& GetVolumeSerial() const { return serial_; }
    const std::string& GetVolumeLabel() const { return label_; }
    // Entries of the rom folder, from the chosen header or counted at the last Clear.
    int GetEntryCount() const { return entryCount_; }
    bool IsVolumeAvailable() const { return volumeAvailable_; }
    bool IsReadOnly() const { return readOnly_; }
    // A TDriveType value.
    int GetDriveType() const { return driveType_; }
    // -1 when the volume is absent; 0 before the first reading.
    int64_t GetDiskSize() const { return diskSize_; }
    int64_t GetDiskFree() const { return diskFree_; }

    // ---- Lines ----
    int Count() const { return lineCount_; }

    // ---- Format ----
    // The escaping of texts in header lines and record fields, and its inverse. Only
    // "%25", "%A4", "%0D" and "%0A" (hex digits in either case) are decoded; any other
    // "%" stays as it is.
    static void AppendEscaped(std::string& out, std::string_view text);
    static std::string Escape(std::string_view text);
    static std::string Unescape(std::string_view text);
    // UnescapeInto says whether text is spelled as AppendEscaped spells it.
    static bool UnescapeInto(std::string_view text, std::string& out);

    // The record line of a record (without line end); empty for an unknown kind.
    static std::string FormatRecord(const TCacheRecord& record);
    // Decodes a record line. False, with the reason in problem, for a line that is not a
    // whole record of its kind (wrong number of fields, a number that does not convert);
    // the file name is still filled when the line gives one.
    static bool ParseRecord(std::string_view line, TCacheRecord& record, std::string& problem);

    // The header time of now, and its reading back as a number that sorts as the times
    // do (yyyymmddhhmmss). The header of another locale's date text is read too, as
    // long as the system's locale can parse it. False when the text is no time.
    static std::string FormatHeaderTime(int64_t unixSeconds);
    static bool ParseHeaderTime(std::string_view text, int64_t& key);

    // Reads the first seven lines of a cache file; false when the file cannot be read
    // or holds fewer lines.
    static bool ReadHeader(const std::string& fileName, TCacheHeader& header);

private:
    struct TSaveStream;
    struct TLoaded;
    struct TEarlyListing;
    struct TCounted;

    // The entries of the rom folder, counted now.
    int CountEntries();

    void AddLine(std::string_view line);
    // Hands the lines added so far over to the save in progress, once they fill a piece.
    void FlushFull() {
        if (text_.size() >= kPieceSize) Flush();
    }
    void Flush();

    // A collection's cache has hundreds of thousands of lines, written at every load:
    // they are held a piece at a time, each with its line end, and go out as it fills.
    static constexpr size_t kPieceSize = size_t{1} << 20;
    std::string text_;
    std::unique_ptr<TSaveStream> stream_;
    // What the last reading of the cache file found, while it may still stand for it.
    std::unique_ptr<TLoaded> loaded_;
    std::unique_ptr<TEarlyListing> early_;
    std::unique_ptr<TCounted> counted_;  // the last count, and the folder it was made of
    bool saved_ = false;  // the lines are written; more of them start a new file
    int lineCount_ = 0;
    std::string path_;
    std::string cacheFileName_;
    std::string serial_;
    std::string label_;
    int entryCount_ = 0;
    bool volumeAvailable_ = false;
    bool readOnly_ = false;
    int64_t diskSize_ = 0;
    int64_t diskFree_ = 0;
    TDriveType driveType_ = dtUnknown;
};

// Splits a loaded cache text into lines and decodes its records one by one, for the
// reader of a rom path.
class TCacheReader {
public:
    // text must outlive the reader.
    explicit TCacheReader(std::string_view text);

    int LineCount() const { return static_cast<int>(lines_.size()); }
    std::string_view Line(int index) const { return lines_.at(static_cast<size_t>(index)); }
    // TCacheFile::ParseRecord of line index.
    bool Record(int index, TCacheRecord& record, std::string& problem) const;

private:
    std::vector<std::string_view> lines_;
};

}  // namespace qm
