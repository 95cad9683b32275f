#pragma once
// What every repair of the files database does alike, whether it works on a whole file
// or on one rom: one log line before it works, the abort check, the free-space check,
// and turning a failed file-system call into the database's EFileError with the
// system's text.
#include <cstdint>
#include <string>

#include "archive/FilesTools.h"
#include "platform/Exception.h"

namespace qm {

class TFilesBd;
class TPathsList;
class TFile;

namespace filesbd {
// A failed copy, rename, delete or folder creation of a repair. It derives from the file
// routines' class, so a caller that catches that one catches this one too.
QM_DECLARE_EXCEPTION(EFileError, filestools::EFileError);
}  // namespace filesbd

// Hands one log line to the database's OnLog (nothing when bd is null).
void RepairLog(TFilesBd* bd, const std::string& text);

// When the paths list's abort flag is set: clears it and raises
// filesbd::EAbortOperation "Operation aborted.". Nothing when paths is null.
void CheckRepairAbort(TPathsList* paths);
// The same for the paths list a file belongs to.
void CheckRepairAbort(const TFile& file);

// Raises EDiskFull unless bytes plus the 5 MiB reserve are free on the volume of path.
// Sizes are 64-bit, so twice a huge rom cannot wrap round and pass; a negative request
// is treated as no request.
void CheckRepairSpace(const std::string& path, int64_t bytes);
// Twice the sizes of the file's roms, as every whole-file repair asks.
int64_t RepairSpaceOf(const TFile& file);

// Raises filesbd::EFileError with the system's text for err when err is not 0 (the
// value a qm::Fs() call returned).
void CheckFsResult(int err);
// The same, with the name the call was about in front: "<name>: <reason>".
void CheckFsResult(int err, const std::string& name);

// Raises filesbd::EFileError with the refusal's text unless name may become a file or
// entry name (IsSafeName): every repair checks a name from the datafile or an archive so
// before it becomes a path.
void CheckSafeName(const std::string& name, bool innerPath);

// A rename on disk that never replaces; 0 or errno. On a volume that ignores case
// (vfat, exFAT) a rename that changes only the case finds its own file under the new
// name: it then goes through a free temporary name beside it, and back when the second
// step fails.
int RenameNoReplaceAnyCase(const std::string& from, const std::string& to);

}  // namespace qm
