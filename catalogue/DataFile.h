#pragma once
// The datafile reader and writer. A datafile is 8-bit text in five sections:
// [CREDITS], [DAT] and [EMULATOR] are ini-style header sections; [GAMES] and
// [RESOURCES] hold one rom per line in nine fields, each after the byte 0xAC:
//
//   0xAC parent 0xAC parent description 0xAC game 0xAC game description 0xAC rom
//   0xAC crc 0xAC size 0xAC rom of 0xAC merge 0xAC
//
// Version "1.90" (and a "2.00" file whose first game line has "N" or "O" in field 8)
// puts a merge flag in field 8 and the size in field 9.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Exception.h"
#include "platform/Progress.h"

namespace qm {

class TArchiveManager;

namespace datafile {
QM_DECLARE_EXCEPTION(EFileNotFound, Exception);
QM_DECLARE_EXCEPTION(EBadDatafileVersion, Exception);
QM_DECLARE_EXCEPTION(EBadFormat, Exception);
QM_DECLARE_ABORT(EAbortDataFileLoading, EAbortOperation);
// A datafile that could not be read or written (the system's reason in the message).
QM_DECLARE_EXCEPTION(EFileError, Exception);
}  // namespace datafile

// One rom line of a datafile. Fields are the bytes of the file, untrimmed; the CRC is
// lower-cased by the reader. The texts are views into the list that holds the line:
// like references into a vector, they stay valid until that list is next changed.
struct TDataFileItem {
    std::string_view ParentName;
    std::string_view ParentDescription;
    std::string_view GameName;
    std::string_view GameDescription;
    std::string_view RomName;
    std::string_view Crc;
    int64_t Size = -1;  // -1 when the field is empty or not an integer
    std::string_view RomOf;
    std::string_view Merge;
};

// The items of one section, in file order. A catalogue holds hundreds of thousands of
// lines whose set and game texts repeat from line to line, so the texts live in one
// buffer: the texts of a line's set and game (and the set it takes roms from) are held
// once for a run of lines that share them, a text equal to another field of its line is
// stored once, and each line keeps only offsets. A loaded datafile is parsed in the
// buffer it was read into: its texts are moved down over the bytes already parsed, and
// what is left over is given back at the end.
class TDataFileItems {
public:
    TDataFileItems() = default;
    TDataFileItems(const TDataFileItems&) = delete;
    TDataFileItems& operator=(const TDataFileItems&) = delete;

    void Add(std::string_view parentName, std::string_view parentDescription, std::string_view gameName,
             std::string_view gameDescription, std::string_view romName, std::string_view crc, int64_t size,
             std::string_view romOf, std::string_view merge);
    void Add(const TDataFileItem& item) { AddRecord(item, false); }
    TDataFileItem GetItem(size_t index) const { return View(records_.at(index)); }
    size_t Count() const { return records_.size(); }
    void Clear();
    // Room for n lines holding about textBytes bytes of text in all.
    void Reserve(size_t n, size_t textBytes = 0);

    class const_iterator {
    public:
        using value_type = TDataFileItem;
        using difference_type = std::ptrdiff_t;
        const_iterator(const TDataFileItems* items, size_t index) : items_(items), index_(index) {}
        TDataFileItem operator*() const { return items_->View(items_->records_[index_]); }
        const_iterator& operator++() {
            ++index_;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return index_ == other.index_; }
        bool operator!=(const const_iterator& other) const { return index_ != other.index_; }

    private:
        const TDataFileItems* items_;
        size_t index_;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, records_.size()}; }

private:
    friend class TDatafile;
    struct TText {
        uint32_t offset = 0;
        uint32_t length = 0;
    };
    // The texts that the lines of one game share.
    struct THead {
        TText parentName, parentDescription, gameName, gameDescription, romOf;
    };
    struct TRecord {
        uint32_t head = 0;
        uint32_t rom = 0;  // the rom name, then the CRC right after it
        uint32_t romLength = 0;
        uint32_t crcLength = 0;
        TText merge;
        int64_t size = -1;
    };
    // A growable block of bytes from malloc, so that a file read into it can be taken
    // over, and a buffer can shrink or grow without a copy where the system allows.
    class TBuffer {
    public:
        TBuffer() = default;
        TBuffer(const TBuffer&) = delete;
        TBuffer& operator=(const TBuffer&) = delete;
        ~TBuffer() { Release(); }
        char* data = nullptr;
        size_t size = 0;  // bytes of text held; those after it are free, or not yet parsed
        size_t capacity = 0;
        void Release();
        // False when the memory could not be had.
        bool Resize(size_t newCapacity);
        void Adopt(char* bytes, size_t bytesCapacity);
    };

    std::string_view Text(TText t) const { return std::string_view(text_.data + t.offset, t.length); }
    TDataFileItem View(const TRecord& r) const;
    // Appends a copy of value (lower-cased when lower is set) at the end of the text.
    // value may lie in the buffer after the text held: the bytes are moved down.
    TText Append(std::string_view value, bool lower = false);
    // Makes room for every text of item at once, moving its views along when they point
    // into the buffer.
    void MakeRoom(TDataFileItem& item);
    // Adds a line. The texts of item may point into this buffer, after the text held, in
    // field order (as a line read into the buffer lies): each is moved down before a
    // later one is written.
    void AddRecord(TDataFileItem item, bool lowerCrc);
    // Gives back the unused end of the buffer (after a load).
    void Trim();

    TBuffer text_;
    std::vector<THead> heads_;
    std::vector<TRecord> records_;
};

// What the writer needs from the signature calculator: the file name of the plug-in
// in use. The calculator lives in a layer above the catalogue, so the datafile sees it
// only through this interface.
class ICrcPlugInSource {
public:
    virtual ~ICrcPlugInSource() = default;
    // The plug-in's file name (its logical name, such as "arcade.dll"); empty when none
    // is loaded.
    virtual std::string CrcPlugInFileName() const = 0;
};

// Serves the interface from a signature calculator (anything with CrcPlugIn() giving
// a plug-in pointer with FileName()); instantiated where the calculator is known.
template <class Calculator>
class TCalculatorPlugInSource : public ICrcPlugInSource {
public:
    explicit TCalculatorPlugInSource(const Calculator& calculator) : calculator_(calculator) {}
    std::string CrcPlugInFileName() const override {
        const auto* plugIn = calculator_.CrcPlugIn();
        return plugIn ? std::string(plugIn->FileName()) : std::string();
    }

private:
    const Calculator& calculator_;
};

// Called with the plug-in the datafile names; setting abort refuses the datafile.
using TPlugInCheck = std::function<void(const std::string& plugInName, bool& abort)>;

class TDatafile {
public:
    TDatafile();
    ~TDatafile();
    TDatafile(const TDatafile&) = delete;
    TDatafile& operator=(const TDatafile&) = delete;

    // Not owned. The signature calculator names the plug-in written by SaveToFile; the
    // archive manager opens zipped datafiles.
    ICrcPlugInSource* SignatureCalculator = nullptr;
    TArchiveManager* ArchiveManager = nullptr;

    TProgressEvent OnProgress;
    TInfosEvent OnInfos;
    TPlugInCheck OnPlugInCheck;
    // One line for each rom line whose CRC could not be used, sent at the end of a load.
    TLogEvent OnLog;
    // Whether a load ends with one box that lists the rom lines whose CRC could not be
    // used (their roms can never be found). A check of a file before it is put in place
    // shows nothing.
    bool ReportBadLines = true;

    // Header: credits, emulator, and the plug-in named by the file last read.
    std::string Author, Email, Web, Version, Date, Comment;
    std::string Refname, EmuVersion;
    std::string PlugIn;

    TDataFileItems GameItems;
    TDataFileItems ResourceItems;

    // Folder in which a zipped datafile is extracted (into a fresh folder of its own);
    // the process's private temporary folder unless set. Ends with "/".
    std::string TempDir;

    // Set (by the rom database) to stop a load before its next rom line.
    bool Abort = false;

    // The name is stored as a full path; an empty name stays empty.
    void SetDataFileName(const std::string& name);
    const std::string& DataFileName() const { return dataFileName_; }

    // The datafile extracted from an archive by the last load; empty after a plain file
    // (which is read where it lies).
    const std::string& WorkFileName() const { return workFileName_; }
    // The format version of the file last read: "2.50", "2.00" or "1.90".
    const std::string& FormatVersion() const { return formatVersion_; }
    // The rom lines of the last load whose CRC field is neither eight hexadecimal digits
    // nor blank: the line's number (from 1) and the field as written. The line is read
    // all the same.
    struct TBadLine {
        size_t line;
        std::string crc;
    };
    const std::vector<TBadLine>& BadLines() const { return badLines_; }

    void Clear();
    void AddItem(std::string_view parentName, std::string_view parentDescription, std::string_view gameName,
                 std::string_view gameDescription, std::string_view romName, std::string_view crc, int64_t size,
                 std::string_view romOf, std::string_view merge, bool isResource);

    // Reads DataFileName into GameItems and ResourceItems. Raises datafile::EFileNotFound,
    // EBadDatafileVersion, EBadFormat, EAbortDataFileLoading or EFileError.
    void LoadFromFile();
    // Writes the header and both lists as a datafile through a temporary file beside
    // fileName, which replaces the old file only once it is complete.
    void SaveToFile(const std::string& fileName);

    TDataFileItem GetGameItem(size_t index) const { return GameItems.GetItem(index); }
    size_t GetGameCount() const { return GameItems.Count(); }
    // The file name of the signature plug-in in use; empty without a calculator.
    std::string GetCrcPlugIn() const;

private:
    void DoProgress(int64_t position, int64_t maximum);
    void DoInfos(const std::string& text);
    void ClearForAbort();
    void DeleteWorkFile();
    std::string ExtractFromArchive();
    // Reads the header and the rom lines from the file's bytes, which GameItems has
    // taken over: it parses them in place.
    void ReadText(const char* bytes, size_t size);
    // The lines after the "[games]" line (index s), when there was one.
    void ReadRomLines(std::string_view text, bool found, size_t s);
    void ReportBad() const;
    std::string PlugInNameToWrite() const;

    std::string dataFileName_;
    std::string workFileName_;
    std::string workDir_;  // private folder of the working copy, removed with it
    std::string formatVersion_;
    std::vector<TBadLine> badLines_;
    TProgressState progress_;
};

// Reads fileName as TDatafile::LoadFromFile reads it and raises what the load would
// raise; nothing is kept and nothing is shown. A name the archive manager takes for an
// archive is opened through manager (one of its own when none is given). Checks a file
// before it takes the place of a user's datafile.
void CheckDatafile(const std::string& fileName, TArchiveManager* manager);

}  // namespace qm
