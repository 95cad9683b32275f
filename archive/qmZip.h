#pragma once
// The zip archiver: the nine archive operations over our zip and unzip libraries
// (Zip32, UnZip32). Each library call runs on the archiver's worker thread while the
// calling thread keeps processing pending window messages; the library's text and
// listing reach the calling thread, where OnMessage, OnError and the listing run.
// Library records and the names of the running operation are shared, so one archive
// operation runs at a time; starting another while one waits raises EError.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "archive/UnZip32.h"
#include "archive/Zip32.h"
#include "archive/archive.h"

namespace qm {

class TArchiveThread;

class TQMZip : public TArchive {
public:
    TQMZip();
    ~TQMZip() override;
    TQMZip(const TQMZip&) = delete;
    TQMZip& operator=(const TQMZip&) = delete;

    void GetFileList(const std::string& archiveName, TArchiveItems& items) override;
    void ExtractFile(const std::string& archiveName, const std::string& fileName,
                     const std::string& destDir, bool keepPath) override;
    void AddFile(const std::string& archiveName, const std::string& fileName) override;
    void TestArchive(const std::string& archiveName) override;
    void RenameFiles(const std::string& archiveName, const TRenameList& list, int flag) override;
    void DeleteFile(const std::string& archiveName, const std::string& fileName) override;
    void CreateEmptyArchive(const std::string& archiveName) override;
    void ExtractAll(const std::string& archiveName, const std::string& destDir) override;
    void AddDirectory(const std::string& dir, const std::string& archiveName) override;

    // Rewrites every entry of the archive at CompressionLevel, in place: names, order,
    // times and comment are kept, and the archive is replaced only once the new one is
    // complete.
    void RecompressArchive(const std::string& archiveName);

    // Adds the entry fileName of srcArchive to destArchive under newName (a bare name),
    // replacing an entry of that name; the compressed bytes are copied as they are when
    // the entry's method is the one CompressionLevel asks for. Failures on the source
    // side raise as an extraction's would, those on the target side as an add's.
    void CopyEntry(const std::string& srcArchive, const std::string& fileName,
                   const std::string& destArchive, const std::string& newName);

    // Applies the changes in their order to archiveName (created when missing) with one
    // rewrite; nothing is applied when any of them fails. A failure on a copy's source
    // side raises as an extraction's would, naming that archive and entry; any other
    // as a zip failure naming archiveName and the entry at fault ("Nothing to do" for
    // a delete that names no entry).
    void ApplyChanges(const std::string& archiveName, const TArchiveChanges& changes);

    // Extracts the named entries (full names as a listing gives them, in archive
    // order) into destDir without their inner paths in one pass over the archive, and
    // hands each over as soon as it is written: each(k, file) for fileNames[k]; the
    // file is removed when each returns. The pass stops at the first entry that does
    // not extract or comes out of order; the result is the number handed over, and
    // the rest is the caller's to take one at a time.
    size_t ExtractEach(const std::string& archiveName, const std::vector<std::string>& fileNames,
                       const std::string& destDir, const std::function<void(size_t, const std::string&)>& each);

    // A listing that any thread may run beside the others: the entries are appended to
    // items and the library's result code returned (100 for a missing archive); the
    // library's text is dropped. GetFileList is this plus the events and the exception.
    static int ListEntries(const std::string& archiveName, TArchiveItems& items, std::string* why = nullptr);

    // Library text: trimmed, line feeds removed; to OnMessage, or to OnError while an
    // archive is tested entry by entry. Unassigned events drop it.
    void LogMessage(const std::string& text);
    // One listed entry, appended to Items.
    void AddListedEntry(uint64_t size, const std::string& entryName, uint32_t crc);

    // Prepares an entry name for the libraries' wildcard matching: "[" becomes "[[]",
    // then "-" becomes "[-]"; "*" and "?" (legal in Linux names) become "[*]" and
    // "[?]".
    static std::string EscapeZipName(const std::string& name);

    bool EntryTestMode = false;     // true while an archive is tested entry by entry
    std::string CurrentArchiveName;  // of the running operation, copied into exceptions
    std::string CurrentFileName;

protected:
    // Called on the worker thread after each entry the library processed.
    virtual void EntryProcessed(const std::string& entryName, uint64_t size);

private:
    enum TOperation { opExtractAll = 0, opTest = 1, opList = 2, opZip = 3, opNamed = 4, opRecompress = 5, opCopy = 6, opBatch = 7 };

    void InitUnzipCallbacks();
    void InitZipCallbacks();
    // Raises EError while an operation waits for its worker: nothing of the running
    // operation may change under it.
    void CheckIdle(const std::string& archiveName, const std::string& fileName) const;
    // Runs one library call on a worker thread and returns its result: for the long
    // writes, during which the windows keep painting.
    int Run(TOperation operation);
    // Runs a read (listing, one entry, test) on the calling thread: no round trip, the
    // events delivered as they come.
    int RunHere(TOperation operation);
    void SettlePending(const std::string& archiveName) const;
    // rootDir non-empty: the options of adding that folder.
    void SetZipOptions(bool add, bool remove, const std::string& rootDir);
    void UnzipOptions(int quiet, int test, int list, int keepPath, int overwrite,
                      const std::string& archive, const std::string& dir);
    bool ArchiveExists(const std::string& archiveName) const;

    DCL dcl_;
    USERFUNCTIONS userFunctions_;
    ZIPUSERFUNCTIONS zipUserFunctions_;
    ZCL zcl_;
    std::string nameList_;  // the one entry name of a named extraction or test
    std::string copySource_;  // the source archive of a copy
    std::string failure_;     // why the last library call failed (TakeZipFailure)
    int copyUnzipCode_ = 0;   // a copy's failure on the source side
    std::vector<ZCHANGE> batch_;  // the changes of a batch
    int batchFailed_ = -1;        // the change of the batch at fault
    bool running_ = false;
    bool direct_ = false;  // a call runs on the calling thread
    // While a test runs: the entries that failed, with the library's text about each.
    std::vector<std::pair<std::string, std::string>>* failedEntries_ = nullptr;

    struct TPending;
    TPending* pending_ = nullptr;  // events of the running call, posted by the worker
    std::unique_ptr<TArchiveThread> worker_;
};

// The one zip archiver of the program, created on first use.
TQMZip& ZipObject();

}  // namespace qm
