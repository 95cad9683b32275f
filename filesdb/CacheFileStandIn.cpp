// STAND-IN until the cache file unit lands (see CacheFileStandIn.h): the volume is read
// as the cache file reads it, and nothing is stored or read back.
#include "filesdb/CacheFileStandIn.h"

#include "archive/DiskInfo.h"
#include "archive/FilesTools.h"
#include "archive/stringsTools.h"
#include "filesdb/filesBd.h"

namespace qm {

bool TCacheFile::Open(const std::string& path, const std::string& serial, const std::string& label) {
    path_ = path;
    serial_ = LowerCase(serial);
    ReadDiskInfo();
    label_ = label;
    return false;
}

void TCacheFile::ReadDiskInfo() {
    TDiskInfo disk(path_);
    const std::string serial = LowerCase(disk.SerialNumberStr());
    driveType_ = disk.DriveType();
    available_ = serial_.empty() || serial == serial_;
    if (serial_.empty()) serial_ = serial;
    if (available_) label_ = disk.VolumeLabel();
    readOnly_ = !available_ || IsReadOnlyPath(path_);
}

void TPath::SaveCache() {}
void TPath::LoadFromCache() {}
TRomFile* TPath::AddEntry(const std::string&, const std::string&, const std::string&, const std::string&, int64_t,
                          uint8_t, int32_t) {
    return nullptr;
}

}  // namespace qm
