#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "archive/DiskInfo.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

using namespace qm;
using qm::test::TTempDir;
using qm::test::WriteFile;

namespace {

// A fake system tree: a mount table, /dev/disk links and /sys/block flags, as the real
// provider reads them.
class FakeSystem {
public:
    FakeSystem() {
        SetTable(
            "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
            "40 27 8:17 / /media/usb\\040stick rw,nosuid shared:5 - vfat /dev/sdb1 rw,uid=1000\n"
            "41 27 8:33 / /mnt/data rw - ext4 /dev/sdc1 rw\n"
            "42 27 8:49 / /mnt/ntfs rw - ntfs3 /dev/sdd1 rw\n"
            "43 27 0:50 / /mnt/nas rw - nfs4 server:/export rw\n"
            "44 27 11:0 / /mnt/cd ro - iso9660 /dev/sr0 ro\n"
            "45 27 0:23 / /mnt/qmram rw - tmpfs tmpfs rw\n"
            "46 27 8:65 / /mnt/zero rw - vfat /dev/sde1 rw\n"
            "47 27 0:24 / /mnt/qmram rw - ext4 /dev/sdc1 rw\n"  // mounted over the tmpfs
            "48 27 0:25 / /mnt/qmtmpfs rw - tmpfs tmpfs rw\n"
            "garbage line\n");
        for (const char* dev : {"vda", "sdb1", "sdc1", "sdd1", "sr0", "sde1"}) WriteFile(root_ / ("dev/" + std::string(dev)), "");
        Link("dev/disk/by-uuid/28E6-ADE1", "../../sdb1");
        Link("dev/disk/by-uuid/3f1b2c4d-aaaa-bbbb-cccc-0123456789ab", "../../sdc1");
        Link("dev/disk/by-uuid/0123456789ABCDEF", "../../sdd1");
        Link("dev/disk/by-uuid/0000-0000", "../../sde1");
        Link("dev/disk/by-label/ROMS\\x20USB", "../../sdb1");
        Link("dev/disk/by-label/ZERO", "../../sde1");
        WriteFile(root_ / "sys/block/sdb/removable", "1\n");
        std::filesystem::create_directories(root_ / "sys/block/sdb/sdb1");
        WriteFile(root_ / "sys/block/sdc/removable", "0\n");
        std::filesystem::create_directories(root_ / "sys/block/sdc/sdc1");
    }
    void SetTable(const std::string& text) { WriteFile(root_ / "proc/self/mountinfo", text); }
    std::string Root() const { return root_.Path(); }

private:
    void Link(const std::string& name, const std::string& target) {
        std::filesystem::create_directories(std::filesystem::path(root_ / name).parent_path());
        std::filesystem::create_symlink(target, root_ / name);
    }
    TTempDir root_;
};

}  // namespace

TEST(DiskInfo, ParsesTheMountTable) {
    const auto mounts = TSysVolumeProvider::ParseMountInfo(
        "36 35 98:0 /mnt1 /mnt/a\\040b rw,noatime master:1 - ext3 /dev/root rw\n"
        "37 35 98:0 / /x rw - fuse.sshfs me@host:/dir\\134x rw\n"
        "short line\n");
    ASSERT_EQ(mounts.size(), 2u);
    EXPECT_EQ(mounts[0].mountPoint, "/mnt/a b");
    EXPECT_EQ(mounts[0].fsType, "ext3");
    EXPECT_EQ(mounts[0].source, "/dev/root");
    EXPECT_EQ(mounts[1].source, "me@host:/dir\\x");
    EXPECT_EQ(mounts[1].fsType, "fuse.sshfs");
}

TEST(DiskInfo, ReadsVolumesOfAFakeSystem) {
    FakeSystem system;
    TSysVolumeProvider provider(system.Root());
    TScopedVolumeProvider scope(provider);
    struct Case {
        const char* path;
        const char* disk;
        const char* serial;  // empty: derived from the mount source, only non-zero
        const char* label;
        const char* fileSystem;
        TDriveType type;
    };
    const Case cases[] = {
        {"/media/usb stick/roms/mame/", "/media/usb stick/", "28E6-ADE1", "ROMS USB", "vfat", dtFloppy},
        {"/media/usb stick", "/media/usb stick/", "28E6-ADE1", "ROMS USB", "vfat", dtFloppy},
        {"/media/usb sticky/x", "/", "", "", "ext4", dtFixed},  // a name prefix is not a folder
        {"/mnt/data/a/../b", "/mnt/data/", "3F1B-2C4D", "", "ext4", dtFixed},
        {"/mnt/ntfs/roms", "/mnt/ntfs/", "0123-4567", "", "ntfs3", dtFixed},
        {"/mnt/nas/roms", "/mnt/nas/", "", "", "nfs4", dtNetwork},
        {"/mnt/cd", "/mnt/cd/", "", "", "iso9660", dtCDROM},
        {"/mnt/qmram/x", "/mnt/qmram/", "3F1B-2C4D", "", "ext4", dtFixed},  // the last mount on a point wins
        {"/mnt/qmtmpfs", "/mnt/qmtmpfs/", "", "", "tmpfs", dtRAM},
        {"/mnt/zero/x", "/mnt/zero/", "0000-0000", "", "", dtFixed},    // serial 0: no label, no type
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        TDiskInfo info(c.path);
        EXPECT_EQ(info.Disk(), c.disk);
        if (*c.serial) {
            EXPECT_EQ(info.SerialNumberStr(), c.serial);
        } else {
            EXPECT_NE(info.SerialNumber(), 0u);
            EXPECT_EQ(TDiskInfo(c.path).SerialNumber(), info.SerialNumber());  // stable
        }
        EXPECT_EQ(info.VolumeLabel(), c.label);
        EXPECT_EQ(info.FileSystem(), c.fileSystem);
        EXPECT_EQ(info.DriveType(), c.type);
    }
    // Two volumes without UUID do not share a serial.
    EXPECT_NE(TDiskInfo("/mnt/nas").SerialNumber(), TDiskInfo("/mnt/cd").SerialNumber());
}

TEST(DiskInfo, FollowsChangesOfTheMountTable) {
    FakeSystem system;
    TSysVolumeProvider provider(system.Root());
    TScopedVolumeProvider scope(provider);
    EXPECT_EQ(TDiskInfo("/media/usb stick/roms").SerialNumberStr(), "28E6-ADE1");
    system.SetTable("27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n");  // the stick is gone
    TDiskInfo info("/media/usb stick/roms");
    EXPECT_EQ(info.Disk(), "/");
    EXPECT_NE(info.SerialNumberStr(), "28E6-ADE1");
    system.SetTable("");
    TDiskInfo none("/media/usb stick/roms");
    EXPECT_EQ(none.DriveType(), dtNoDrive);
    EXPECT_EQ(none.SerialNumberStr(), "0000-0000");
    EXPECT_EQ(none.VolumeLabel(), "");
    EXPECT_EQ(none.FileSystem(), "");
}

TEST(DiskInfo, SerialTexts) {
    EXPECT_EQ(FormatVolumeSerial(0x28E6ADE1u), "28E6-ADE1");
    EXPECT_EQ(FormatVolumeSerial(0x000000FFu), "0000-00FF");
    TVolumeFacts facts;
    facts.uuid = "28e6-ade1";
    EXPECT_EQ(VolumeSerial(facts), 0x28E6ADE1u);
    facts.uuid = "not-a-uuid";
    facts.source = "/dev/sdz";
    facts.fsType = "ext4";
    EXPECT_NE(VolumeSerial(facts), 0u);
    EXPECT_EQ(VolumeSerial(TVolumeFacts{}), 0u);
}

TEST(DiskInfo, SizesComeFromTheFileSystemSeamAndNeverFromTheVolumeBefore) {
    TStaticVolumeProvider volumes;
    TVolumeFacts usb;
    usb.root = "/media/usb";
    usb.uuid = "1234-ABCD";
    usb.fsType = "vfat";
    usb.removable = true;
    usb.totalBytes = 8000;
    volumes.volumes.push_back(usb);
    TScopedVolumeProvider scope(volumes);
    TRealFileSystem real;
    TFaultyFileSystem faulty(real);
    TScopedFileSystem fsScope(faulty);

    faulty.forcedFreeSpace = 3000;
    TDiskInfo info("/media/usb/roms");
    EXPECT_EQ(info.Disk(), "/media/usb/");
    EXPECT_EQ(info.SerialNumberStr(), "1234-ABCD");
    EXPECT_EQ(info.DriveType(), dtFloppy);
    EXPECT_EQ(info.DiskSize(), 8000);
    EXPECT_EQ(info.DiskFree(), 3000);
    EXPECT_EQ(info.DiskUsed(), 5000);

    // The free-space query fails: the figures read before do not stay.
    faulty.forcedFreeSpace = -1;
    info.SetDisk("/media/usb/other");
    EXPECT_EQ(info.DiskFree(), 0);
    EXPECT_EQ(info.DiskSize(), 0);
    EXPECT_EQ(info.SerialNumberStr(), "1234-ABCD");

    // No volume holds the path.
    info.SetDisk("/elsewhere/x");
    EXPECT_EQ(info.DriveType(), dtNoDrive);
    EXPECT_EQ(info.SerialNumber(), 0u);
    EXPECT_EQ(info.Disk(), "/elsewhere/x/");
}

TEST(DiskInfo, ReadsTheMachinesOwnRoot) {
    TDiskInfo info;
    EXPECT_EQ(info.Disk(), "/");
    EXPECT_NE(info.DriveType(), dtNoDrive);
    EXPECT_FALSE(info.FileSystem().empty());
    EXPECT_GT(info.DiskSize(), 0);
    EXPECT_GE(info.DiskFree(), 0);
    EXPECT_LE(info.DiskFree(), info.DiskSize());
    EXPECT_EQ(info.SerialNumberStr().size(), 9u);
    // A folder that does not exist yet is measured on the volume that would hold it.
    TDiskInfo missing("/qm-no-such-folder/sub");
    EXPECT_EQ(missing.Disk(), "/");
    EXPECT_EQ(missing.SerialNumber(), info.SerialNumber());
    EXPECT_GT(missing.DiskSize(), 0);
}

TEST(DiskInfo, AbsolutePaths) {
    EXPECT_EQ(AbsolutePath("/a//b/./c/../d/"), "/a/b/d");
    EXPECT_EQ(AbsolutePath("/.."), "/");
    EXPECT_EQ(AbsolutePath("/"), "/");
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(AbsolutePath("x/y"), AbsolutePath(std::string(cwd) + "/x/y"));
}
