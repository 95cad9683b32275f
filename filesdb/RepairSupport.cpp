#include "filesdb/RepairSupport.h"

#include <cerrno>
#include <limits>

#include "archive/FilesTools.h"
#include "archive/stringsTools.h"
#include "filesdb/filesBd.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace qm {

void RepairLog(TFilesBd* bd, const std::string& text) {
    if (bd != nullptr) bd->DoLog(text);
}

void CheckRepairAbort(TPathsList* paths) {
    if (paths == nullptr || !paths->Abort) return;
    paths->Abort = false;
    throw filesbd::EAbortOperation(_("Operation aborted."));
}

void CheckRepairAbort(const TFile& file) {
    CheckRepairAbort(file.Path != nullptr ? file.Path->Owner() : nullptr);
}

void CheckRepairSpace(const std::string& path, int64_t bytes) {
    CheckDiskSpace(path, bytes < 0 ? 0 : bytes);
}

int64_t RepairSpaceOf(const TFile& file) {
    const int64_t size = file.GetRomsSize();
    if (size > std::numeric_limits<int64_t>::max() / 2) return std::numeric_limits<int64_t>::max();
    return size * 2;
}

void CheckFsResult(int err) {
    if (err != 0) throw filesbd::EFileError(SysErrorMessage(err));
}

void CheckFsResult(int err, const std::string& name) {
    if (err != 0) throw filesbd::EFileError(name + ": " + SysErrorMessage(err));
}

void CheckSafeName(const std::string& name, bool innerPath) {
    if (!IsSafeName(name, innerPath)) throw filesbd::EFileError(UnsafeNameMessage(name, innerPath));
}

int RenameNoReplaceAnyCase(const std::string& from, const std::string& to) {
    int err = Fs().RenameNoReplace(from, to);
    if (err != EEXIST || from == to || !SameText(from, to)) return err;
    std::string temporary;
    for (int n = 0; temporary.empty() || PathExists(temporary); ++n)
        temporary = NoSlash(from) + ".rename" + std::to_string(n);
    if ((err = Fs().RenameNoReplace(from, temporary)) != 0) return err;
    err = Fs().RenameNoReplace(temporary, to);
    if (err != 0) Fs().RenameNoReplace(temporary, from);
    return err;
}

}  // namespace qm
