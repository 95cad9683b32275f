#pragma once
// The single door through which the program works on archives: picks the archiver of
// a file by its extension, hands it the manager's events, and builds the composite
// operations (copy or move an entry between archives, recompress an archive, tell
// whether an archive is empty).
//
// Archive failures pass through unchanged as archive exceptions.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "platform/Exception.h"

namespace qm {

namespace archivemanager {
// A file-system call of the manager failed; the message is the system's text.
// (Copies between zip archives need no work file, so nothing raises it today.)
QM_DECLARE_EXCEPTION(EFileError, Exception);
}  // namespace archivemanager

class TArchiveManager {
public:
    TArchiveManager();

    std::string TempDir;           // work folder, ending with "/"
    TArchiveMessageEvent OnMessage;  // handed to the archiver before each operation
    TArchiveErrorEvent OnError;      // handed to the archiver before each operation
    std::function<void()> OnPoll;    // handed to the archiver before each operation
    int32_t CompressionLevel = 0;    // 0-9, passed on to the zip archiver

    // Also the zip archiver's work folder (shared by every user of the manager).
    void SetTempDir(const std::string& value);
    void SetCompressionLevel(int level);

    // The archiver for a file name (".zip" in any letter case), or nullptr. The
    // manager's OnMessage and OnError are copied into it, also when they are empty.
    TArchive* GetArchiver(const std::string& fileName);
    bool IsArchive(const std::string& fileName);

    // These five need a supported archive name (EError otherwise).
    void GetFileList(const std::string& archiveName, TArchiveItems& items);
    // Extracts one entry into destDir (a file already where it lands is replaced).
    void ExtractFile(const std::string& archiveName, const std::string& fileName,
                     const std::string& destDir, bool keepPath);
    // ExtractFile without inner paths for each named entry (full names as a listing
    // gives them), in one pass over the archive where it can: each(k, file) is called
    // for fileNames[k] in order as soon as its file is written, and the file is
    // removed when each returns. An entry that does not extract raises as ExtractFile
    // raises for it, after the entries before it were handed over.
    void ExtractEach(const std::string& archiveName, const std::vector<std::string>& fileNames,
                     const std::string& destDir, const std::function<void(size_t, const std::string&)>& each);
    void AddFile(const std::string& archiveName, const std::string& fileName);
    void DeleteFile(const std::string& archiveName, const std::string& fileName);
    void CreateEmptyArchive(const std::string& archiveName);

    // These do nothing for an unsupported archive type.
    void TestArchive(const std::string& archiveName);
    void ExtractAll(const std::string& archiveName, const std::string& destDir);
    void AddDirectory(const std::string& dir, const std::string& archiveName);
    // Nothing for an empty list, even for a missing archive.
    void RenameFiles(const std::string& archiveName, const TRenameList& list);
    // Rewrites every entry at CompressionLevel; the archive is replaced only once the
    // new one is complete, keeping names, order, times and comment.
    void RecompressArchive(const std::string& archiveName);

    // False for an unsupported type; otherwise true when the archive holds no entry.
    bool IsArchiveEmpty(const std::string& archiveName);

    // Adds the entry fileName of srcArchive to destArchive under newName (stored
    // without its folder part), replacing an entry of that name; the compressed bytes
    // go across as they are when their method is the one CompressionLevel asks for.
    // EError when either archive has no archiver.
    void CopyFileBetweenArchives(const std::string& srcArchive, const std::string& fileName,
                                 const std::string& destArchive, const std::string& newName);
    // The copy, then the entry is deleted from srcArchive. Moving an entry onto itself
    // (same archive, and the copy would land on the entry moved) changes nothing.
    void MoveFileBetweenArchives(const std::string& srcArchive, const std::string& fileName,
                                 const std::string& destArchive, const std::string& newName);

    // The changes in their order, made to archiveName with one rewrite of it (the
    // archive is created when missing): a copy as CopyFileBetweenArchives makes it, a
    // delete as DeleteFile. Sources are read as they are before the call. When any
    // change fails the archive stays as it was, and the failure names the archive and
    // the entry at fault. Names are checked before anything is read; nothing happens
    // for an empty list.
    void CommitChanges(const std::string& archiveName, const TArchiveChanges& changes);

private:
    TArchive& Require(const std::string& archiveName);
};

}  // namespace qm
