// STAND-IN until the whole-file repairs land with TFile::DeleteRomFile: deletes one rom
// from disk and drops it from its file.
#include "archive/archivemanager.h"
#include "filesdb/RepairSupport.h"
#include "filesdb/filesBd.h"
#include "platform/FileSystem.h"

namespace qm {

void RomRepairDeleteRomFile(TFile& file, TRomFile* romFile) {
    if (file.IsZip())
        file.FilesBd()->ArchiveManager()->DeleteFile(file.FullPath, romFile->StoredName);
    else
        CheckFsResult(Fs().Unlink(file.IsPlain() ? file.FullPath : file.FullPath + romFile->StoredName));
    file.DropRomFile(romFile);
    file.UpdateDate();
}

}  // namespace qm
