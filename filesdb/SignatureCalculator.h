#pragma once
// Turns one file on disk into signature results, one TCrcItem per rom: one per
// selected entry of a zip archive, one for any other file.
//
// Inside zip archives the CRC the archive stores is taken when the plug-in is the
// default "arcade.dll" (or, with no plug-in, when UseZipCrcForArcade is on); otherwise
// the entries are read in one pass over the archive, each written into a private
// folder made inside TempDir for the call, signed by the plug-in by its absolute name
// and removed before the next. The process's current folder is never changed.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "platform/Exception.h"

namespace qm {

class TCrcPlugIn;
class TArchiveManager;

QM_DECLARE_EXCEPTION(ECrcFileNotFound, Exception);
QM_DECLARE_EXCEPTION(ENoPlugInAvailable, Exception);

// One signature result.
struct TCrcItem {
    std::string Name;       // entry name (see Calculate) or the plain file's name without folder
    std::string Extension;  // suggested by the plug-in; empty for zip CRCs
    std::string Signature;  // CRC text, normally 8 hexadecimal digits
    int64_t Size = 0;       // rom size
    std::string Comment;    // plug-in comment; empty for zip CRCs
    std::string ErrorText;  // non-empty when the rom could not be read
};

class TSignatureCalculator {
public:
    TSignatureCalculator();
    TSignatureCalculator(const TSignatureCalculator&) = delete;
    TSignatureCalculator& operator=(const TSignatureCalculator&) = delete;

    // Folder inside which entries are extracted for the plug-in; ends with "/". A value
    // that is blank or names no existing folder gives the process's private temporary
    // folder (GetTempDirectory), which is also the default.
    const std::string& TempDir() const { return tempDir_; }
    void SetTempDir(const std::string& value);

    // Sign the entries of zip archives rather than the archive file (default on).
    bool ScanInsideZip() const { return scanInsideZip_; }
    void SetScanInsideZip(bool value) { scanInsideZip_ = value; }

    // Extensions to sign, lower case, dots included (".bin.rom" or ".bin .rom");
    // "*" (the default) signs everything. Set lower-cased and trimmed; an empty value
    // or one holding "*" becomes "*".
    const std::string& ScanExtensions() const { return scanExtensions_; }
    void SetScanExtensions(const std::string& value);

    // Extensions never signed inside zip archives; lower-cased and trimmed.
    const std::string& SkipExtensions() const { return skipExtensions_; }
    void SetSkipExtensions(const std::string& value);

    // With no plug-in, take the zip's stored CRC (default on).
    bool UseZipCrcForArcade() const { return useZipCrcForArcade_; }
    void SetUseZipCrcForArcade(bool value) { useZipCrcForArcade_ = value; }

    // Neither is owned. A plug-in that is set but did not load is never called: it
    // gives ENoPlugInAvailable ("No plug in specified"), except that the default
    // plug-in's name still selects the archive's stored CRCs, which need no call.
    TCrcPlugIn* CrcPlugIn() const { return crcPlugIn_; }
    void SetCrcPlugIn(TCrcPlugIn* plugIn) { crcPlugIn_ = plugIn; }
    TArchiveManager* ArchiveManager() const { return archiveManager_; }
    void SetArchiveManager(TArchiveManager* manager) { archiveManager_ = manager; }

    // Replaces the items by the results for one file.
    // - Missing file or folder: ECrcFileNotFound "File %1 not found.", no items.
    // - A zip archive (with ScanInsideZip): one item per entry whose extension passes
    //   ScanExtensions and SkipExtensions, folder entries left out. Zip CRCs are named
    //   by the entry's full name ("sub/b.bin"), plug-in results by the bare name
    //   ("b.bin") with the signature lower-cased. Any failure ends the archive with
    //   one more item: the entry's bare name (empty when the listing failed),
    //   "00000000" and the failure's message as ErrorText; earlier items stay.
    // - Any other file: one item unless its extension fails ScanExtensions; the
    //   plug-in's signature as it returned it. No plug-in: ENoPlugInAvailable.
    void Calculate(const std::string& fileName);

    // True when Calculate signs a zip's entries by the CRCs its listing gives, so that
    // a listing made beforehand (on another thread) serves as well.
    bool SignsZipByListing(const std::string& fileName);
    // Calculate for a zip archive whose listing was made beforehand: code is the
    // listing's result code (TQMZip::ListEntries), entries what it gave.
    void CalculateListed(const std::string& fileName, int code, const TArchiveItems& entries,
                         const std::string& why = {});

    int GetCount() const { return static_cast<int>(items_.size()); }
    const TCrcItem& GetItem(int index) const { return items_.at(static_cast<size_t>(index)); }
    const std::vector<TCrcItem>& Items() const { return items_; }
    void AddItem(const std::string& name, const std::string& signature, const std::string& extension, int64_t size,
                 const std::string& comment, const std::string& errorText);

    // The text of a name from its last "." on, dot included; empty without a dot.
    static std::string ExtensionOf(const std::string& name);
    // True when the extension is one of the list's extensions. The list is split into
    // whole extensions at "." and at blanks, ";" and ","; so ".b" is not in ".bin",
    // and the empty extension is in no list.
    static bool ListContains(const std::string& list, const std::string& extension);

private:
    // listed: a listing made beforehand, with its result code; nullptr lists now.
    void CalculateZip(const std::string& fileName, const TArchiveItems* listed = nullptr, int listedCode = 0,
                      const std::string& listedWhy = {});
    bool UsesZipCrc() const;
    void CalculatePlain(const std::string& fileName);
    bool PlugInUsable() const;

    std::string tempDir_;
    bool scanInsideZip_ = true;
    std::string scanExtensions_ = "*";
    std::string skipExtensions_;
    bool useZipCrcForArcade_ = true;
    TCrcPlugIn* crcPlugIn_ = nullptr;
    TArchiveManager* archiveManager_ = nullptr;
    std::vector<TCrcItem> items_;
};

}  // namespace qm
