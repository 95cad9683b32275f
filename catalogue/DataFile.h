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
#include <vector>

#include "platform/Exception.h"
#include "platform/Progress.h"

namespace qm {

class TArchiveManager;

// One rom line of a datafile. Fields are the bytes of the file, untrimmed; the CRC is
// lower-cased by the reader.
struct TDataFileItem {
    std::string ParentName;
    std::string ParentDescription;
    std::string GameName;
    std::string GameDescription;
    std::string RomName;
    std::string Crc;
    int64_t Size = -1;  // -1 when the field is empty or not an integer
    std::string RomOf;
    std::string Merge;
};

// The items of one section, in file order.
class TDataFileItems {
public:
    TDataFileItem& Add(std::string parentName, std::string parentDescription, std::string gameName,
                       std::string gameDescription, std::string romName, std::string crc, int64_t size,
                       std::string romOf, std::string merge) {
        items_.push_back(TDataFileItem{std::move(parentName), std::move(parentDescription), std::move(gameName),
                                       std::move(gameDescription), std::move(romName), std::move(crc), size,
                                       std::move(romOf), std::move(merge)});
        return items_.back();
    }
    TDataFileItem& Add(TDataFileItem item) {
        items_.push_back(std::move(item));
        return items_.back();
    }
    const TDataFileItem& GetItem(size_t index) const { return items_.at(index); }
    TDataFileItem& GetItem(size_t index) { return items_.at(index); }
    size_t Count() const { return items_.size(); }
    void Clear() { items_.clear(); items_.shrink_to_fit(); }
    void Reserve(size_t n) { items_.reserve(n); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<TDataFileItem> items_;
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

namespace datafile {
QM_DECLARE_EXCEPTION(EFileNotFound, Exception);
QM_DECLARE_EXCEPTION(EBadDatafileVersion, Exception);
QM_DECLARE_EXCEPTION(EBadFormat, Exception);
QM_DECLARE_ABORT(EAbortDataFileLoading, EAbortOperation);
// A datafile that could not be read or written (the system's reason in the message).
QM_DECLARE_EXCEPTION(EFileError, Exception);
}  // namespace datafile

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

    void Clear();
    void AddItem(std::string parentName, std::string parentDescription, std::string gameName,
                 std::string gameDescription, std::string romName, std::string crc, int64_t size,
                 std::string romOf, std::string merge, bool isResource);

    // Reads DataFileName into GameItems and ResourceItems. Raises datafile::EFileNotFound,
    // EBadDatafileVersion, EBadFormat, EAbortDataFileLoading or EFileError.
    void LoadFromFile();
    // Writes the header and both lists as a datafile through a temporary file beside
    // fileName, which replaces the old file only once it is complete.
    void SaveToFile(const std::string& fileName);

    const TDataFileItem& GetGameItem(size_t index) const { return GameItems.GetItem(index); }
    size_t GetGameCount() const { return GameItems.Count(); }
    // The file name of the signature plug-in in use; empty without a calculator.
    std::string GetCrcPlugIn() const;

private:
    void DoProgress(int64_t position, int64_t maximum);
    void DoInfos(const std::string& text);
    void ClearForAbort();
    void DeleteWorkFile();
    std::string ExtractFromArchive();
    void ReadLines(const std::vector<std::string_view>& lines);
    std::string PlugInNameToWrite() const;

    std::string dataFileName_;
    std::string workFileName_;
    std::string workDir_;  // private folder of the working copy, removed with it
    std::string formatVersion_;
    TProgressState progress_;
};

}  // namespace qm
