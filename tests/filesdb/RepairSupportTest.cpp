// The conventions every repair shares: abort, free space, file-system failures.
#include <gtest/gtest.h>

#include <limits>

#include "filesBdTestSupport.h"
#include "filesdb/RepairSupport.h"
#include "platform/FileSystem.h"

namespace qm {
namespace {

using test::TFilesBdFixture;

TEST(RepairSupport, AbortClearsTheFlagAndRaisesOnce) {
    TFilesBdFixture fx("p|p|a.bin|11111111|4|");
    TFile* file = fx.Zip("p.zip");
    fx.files.Paths().Abort = true;
    try {
        CheckRepairAbort(*file);
        FAIL() << "no abort";
    } catch (const EAbortOperation& e) {
        EXPECT_EQ(e.Message(), "Operation aborted.");
    }
    EXPECT_FALSE(fx.files.Paths().Abort);
    EXPECT_NO_THROW(CheckRepairAbort(*file));
    EXPECT_NO_THROW(CheckRepairAbort(nullptr));
}

TEST(RepairSupport, SpaceCheckKeepsTheReserveAndCannotOverflow) {
    TFilesBdFixture fx("p|p|a.bin|11111111|4|");
    TFaultyFileSystem faulty(Fs());
    TScopedFileSystem scope(faulty);
    faulty.forcedFreeSpace = kDiskSpaceReserve + 100;
    EXPECT_NO_THROW(CheckRepairSpace(fx.dir.Path(), 100));
    EXPECT_THROW(CheckRepairSpace(fx.dir.Path(), 101), EDiskFull);

    // A file whose roms are near the 64-bit limit asks for the most there is.
    TFile* file = fx.Zip("p.zip");
    file->AddRomFile("a.bin", "11111111", 0, std::numeric_limits<int64_t>::max() / 2 + 10, "");
    EXPECT_EQ(RepairSpaceOf(*file), std::numeric_limits<int64_t>::max());
    faulty.forcedFreeSpace = std::numeric_limits<int64_t>::max();
    EXPECT_THROW(CheckRepairSpace(fx.dir.Path(), RepairSpaceOf(*file)), EDiskFull);
}

TEST(RepairSupport, FailedCallRaisesTheSystemText) {
    EXPECT_NO_THROW(CheckFsResult(0));
    try {
        CheckFsResult(2);
        FAIL();
    } catch (const filestools::EFileError& e) {  // the file routines' class catches it too
        EXPECT_EQ(e.Message(), SysErrorMessage(2));
    }
    EXPECT_THROW(CheckFsResult(13, "x"), filesbd::EFileError);
}

}  // namespace
}  // namespace qm
