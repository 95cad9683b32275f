#pragma once
// Identity and size of the volume that holds a path: label, serial, file system, drive
// type and sizes. Rom paths are remembered with the serial and label of their volume so
// that a removable disk is recognised when it comes back, and every writing repair asks
// for the free space first.
//
// The facts come from a volume provider (Volumes()). The real one reads the mount table,
// /dev/disk/by-uuid, /dev/disk/by-label and /sys/block below a root folder, so that tests
// can point it at a fake tree; free space always comes from Fs().FreeSpace so that the
// fault-injecting file system can present a full disk.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace qm {

// The values 0 to 6 in this order are stored and compared by other units.
enum TDriveType : int {
    dtUnknown = 0,
    dtNoDrive = 1,
    dtFloppy = 2,  // removable media
    dtFixed = 3,
    dtNetwork = 4,
    dtCDROM = 5,
    dtRAM = 6,
};

// What the provider knows about the volume that holds a path.
struct TVolumeFacts {
    std::string root;       // mount point, ending with "/"
    std::string source;     // mount source as the table gives it ("/dev/sdb1", "server:/x")
    std::string fsType;     // "ext4", "vfat", "nfs4", ...
    std::string uuid;       // file-system UUID; empty when none is known
    std::string label;      // volume label; empty when none
    bool removable = false; // the block device says its medium is removable
    int64_t totalBytes = -1;  // -1 when unknown
};

class IVolumeProvider {
public:
    virtual ~IVolumeProvider() = default;
    // Fills facts for the mounted volume that holds the absolute path; false when no
    // mounted volume holds it.
    virtual bool Query(const std::string& absolutePath, TVolumeFacts& facts) = 0;
};

// The provider in force; never null.
IVolumeProvider& Volumes();
// Installs a provider (not owned); nullptr restores the real one.
void SetVolumeProvider(IVolumeProvider* provider);

class TScopedVolumeProvider {
public:
    explicit TScopedVolumeProvider(IVolumeProvider& provider);
    ~TScopedVolumeProvider();
    TScopedVolumeProvider(const TScopedVolumeProvider&) = delete;
    TScopedVolumeProvider& operator=(const TScopedVolumeProvider&) = delete;

private:
    IVolumeProvider* previous_;
};

// Reads the system's tables below sysRoot ("" for the machine itself):
// <sysRoot>/proc/self/mountinfo, <sysRoot>/dev/disk/by-uuid and by-label,
// <sysRoot>/sys/block/*/removable. Total sizes come from statvfs of the path itself
// (only meaningful for the machine's own root). The parsed mount table is kept until
// the table's text changes.
class TSysVolumeProvider : public IVolumeProvider {
public:
    explicit TSysVolumeProvider(std::string sysRoot = "");
    bool Query(const std::string& absolutePath, TVolumeFacts& facts) override;

    struct TMount {
        std::string mountPoint;  // without trailing "/" except for "/"
        std::string source;
        std::string fsType;
    };
    // One entry per line of a mountinfo text, in table order; octal escapes ("\040")
    // are decoded.
    static std::vector<TMount> ParseMountInfo(const std::string& text);

private:
    std::string Resolve(const std::string& path) const;
    std::string FindLink(const std::string& folder, const std::string& device) const;
    bool IsRemovable(const std::string& device) const;

    std::string sysRoot_;
    std::mutex mutex_;
    std::string tableText_;
    std::vector<TMount> table_;
};

// A provider that answers from a fixed list of volumes (longest root that holds the
// path wins). For tests of the units that remember volumes.
class TStaticVolumeProvider : public IVolumeProvider {
public:
    std::vector<TVolumeFacts> volumes;
    bool Query(const std::string& absolutePath, TVolumeFacts& facts) override;
};

// The serial a volume is known by: from the UUID (vfat and exfat give "XXXX-XXXX"
// directly, other UUIDs their first eight hexadecimal digits); with no UUID the CRC32
// of the mount source and file-system type. 0 only when nothing is known.
uint32_t VolumeSerial(const TVolumeFacts& facts);
// The drive type from the file-system type, the mount source and the removable flag.
TDriveType VolumeDriveType(const TVolumeFacts& facts);
// "28E6-ADE1": eight upper-case hex digits, "-" after the fourth.
std::string FormatVolumeSerial(uint32_t serial);

// The absolute, lexically normal form of path ("." and ".." folded, repeated "/"
// merged), against the current folder when relative; no trailing "/" except for "/".
std::string AbsolutePath(const std::string& path);
// The one name of a folder however it is spelled: absolute, with every symbolic link of
// its existing part followed, ending with "/". A missing rest keeps its lexical form.
std::string RealFolder(const std::string& folder);

class TDiskInfo {
public:
    // Reads the volume of "/".
    TDiskInfo();
    explicit TDiskInfo(const std::string& disk);

    // The root (mount point, ending with "/") of the volume that holds the path last
    // assigned, or that path itself when no mounted volume holds it.
    const std::string& Disk() const { return disk_; }
    // Reads the volume that holds path; never throws.
    void SetDisk(const std::string& path);

    std::string SerialNumberStr() const { return FormatVolumeSerial(serial_); }
    uint32_t SerialNumber() const { return serial_; }
    // Empty when the serial is 0.
    const std::string& VolumeLabel() const { return label_; }
    const std::string& FileSystem() const { return fileSystem_; }
    TDriveType DriveType() const { return driveType_; }
    int64_t DiskSize() const { return diskSize_; }
    int64_t DiskFree() const { return diskFree_; }
    int64_t DiskUsed() const { return diskSize_ - diskFree_; }

private:
    std::string disk_;
    uint32_t serial_ = 0;
    std::string label_;
    std::string fileSystem_;
    TDriveType driveType_ = dtUnknown;
    int64_t diskSize_ = 0;
    int64_t diskFree_ = 0;
};

}  // namespace qm
