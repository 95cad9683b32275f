#pragma once
// What the datafile manager does to the datafile folder, apart from its window: list
// the datafiles it holds (plain files, ".dat" entries of archives, files of
// sub-folders), add files to it and delete them. Questions and reports go through the
// message box hook, so all of it runs without a window.
#include <cstddef>
#include <string>
#include <vector>

#include "platform/Exception.h"

namespace qm {

class TArchiveManager;

namespace datafilefolder {
// A file-system step of adding or deleting failed; the message gives the system's text.
QM_DECLARE_EXCEPTION(EFileError, Exception);
}  // namespace datafilefolder

// One line of the local list.
struct TLocalDatafile {
    std::string Text;      // shown: the file name, or "archive | entry" for an archive entry
    std::string FileName;  // the real file: the datafile itself, or the archive holding it
    std::string Entry;     // the entry inside the archive (with its inner path); empty for a file
    bool IsArchiveEntry() const { return !Entry.empty(); }
};

// The datafiles of folder (ending with "/"): for each archive the manager supports, one
// line per entry whose extension is ".dat" in any case; each other file whose extension
// is ".dat"; for each sub-folder every file directly inside it. An archive that cannot
// be listed gives no line. Sorted on the text without regard to case.
std::vector<TLocalDatafile> ListLocalDatafiles(const std::string& folder, TArchiveManager& archives);

// Deletes the datafile of one line: the entry out of its archive, and the archive file
// when no entry is left; any other file goes to the trash. Raises the archive errors,
// or datafilefolder::EFileError when the file cannot be trashed or the emptied archive
// removed.
void DeleteLocalDatafile(const TLocalDatafile& datafile, TArchiveManager& archives);

// The row to select once the rows `removed` (indexes into a list of count rows) are
// gone: the row that followed the last one removed, as an index into what is left, or
// the first row when none followed; -1 when nothing is left.
int RowAfterRemoval(size_t count, std::vector<size_t> removed);

// Copies each file into folder (ending with "/") under its own name. An existing file
// of that name is replaced only when the user agrees; it is never deleted first: the
// copy is written beside it and renamed over it once complete. A failed copy is
// reported in an error box and the next file follows. Ends with the count of files
// added in an information box; returns that count.
int AddDatafiles(const std::vector<std::string>& files, const std::string& folder);

// The question asked before a file of the same name in the destination is replaced.
std::string ReplaceQuestion(const std::string& name);

}  // namespace qm
