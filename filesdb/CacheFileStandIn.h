#pragma once
// STAND-IN until the cache file unit lands: a TCacheFile that remembers the volume
// identity it is opened with and stores nothing. Only what the files database calls is
// here; the real unit replaces this file and CacheFileStandIn.cpp as a whole.
#include <cstdint>
#include <string>

namespace qm {

class TCacheFile {
public:
    std::string CacheFolder;  // ends with "/"
    std::string PlugInName;

    // Binds the cache to a rom path; true when a cache file of that path was found.
    bool Open(const std::string& path, const std::string& serial, const std::string& label);
    // Empties the records (the real one writes a fresh header).
    void Clear() {}
    // Reads the volume of the path again.
    void ReadDiskInfo();

    bool IsVolumeAvailable() const { return available_; }
    bool IsReadOnly() const { return readOnly_; }
    int GetDriveType() const { return driveType_; }
    const std::string& GetVolumeLabel() const { return label_; }
    const std::string& GetVolumeSerial() const { return serial_; }
    // The cache file found or chosen ("" when none).
    const std::string& GetCacheFileName() const { return cacheFileName_; }

private:
    std::string path_;
    std::string serial_;
    std::string label_;
    std::string cacheFileName_;
    bool available_ = false;
    bool readOnly_ = false;
    int driveType_ = 0;
};

}  // namespace qm
