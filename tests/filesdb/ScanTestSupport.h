#pragma once
// A rom path on a test volume with every part a real scan needs: the rom database, the
// archive manager, the default signature plug-in and a calculator over them, and a
// files database that can be thrown away and made again over the same cache folder (a
// restart of the program).
#include <sys/stat.h>

#include <fcntl.h>

#include <memory>
#include <string>

#include "archive/DiskInfo.h"
#include "archive/archivemanager.h"
#include "catalogue/RomsBd.h"
#include "filesBdTestSupport.h"
#include "filesdb/CrcPlugIn.h"
#include "filesdb/SignatureCalculator.h"
#include "filesdb/filesBd.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace qm::test {

// Fixed moments, so that a test decides which files look changed.
constexpr int64_t kOldTime = 1577880000;          // 2020-01-01 12:00:00 UTC
constexpr int64_t kNewTime = kOldTime + 86400 * 30;

inline void SetTime(const std::string& name, int64_t seconds) {
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = seconds;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ::utimensat(AT_FDCWD, name.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

struct TScanFixture {
    explicit TScanFixture(const std::string& catalogue = "") : volumeScope(volumes) {
        TVolumeFacts volume;
        volume.root = tmp.Path() + "vol/";
        volume.source = "/dev/test";
        volume.uuid = "1234-ABCD";
        volume.fsType = "vfat";
        volume.label = "ROMDISK";
        volume.totalBytes = 1 << 30;
        volumes.volumes.push_back(volume);
        MakeDirs(romsDir);
        MakeDirs(cacheDir);
        MakeDirs(tempDir);
        BuildRoms(roms, catalogue);
        plugIn.SetPath(QM_PLUGIN_DIR);
        plugIn.SetFileName("arcade.dll");
        calc.SetArchiveManager(&manager);
        calc.SetCrcPlugIn(&plugIn);
        calc.SetTempDir(tempDir);
        Restart();
    }
    ~TScanFixture() {
        if (files) files->ClearPaths();
    }

    // A new files database over the same cache folder, holding the rom path.
    void Restart() {
        if (files) files->ClearPaths();
        files = std::make_unique<TFilesBd>();
        files->SetRomsBd(&roms);
        files->SetSubmitRoms(true);
        files->SetSignatureCalculator(&calc);
        files->SetArchiveManager(&manager);
        files->SetCachePath(cacheDir);
        files->OnLog = [this](const std::string& line) { log.push_back(line); };
        path = files->AddPath(romsDir, "1234-abcd", "ROMDISK");
    }

    // Loads the path (cache, scan, cache written) and matches; the signature calls made.
    int64_t Load(bool rebuild = false) {
        const int64_t before = files->SignatureCalls;
        path->Load(rebuild);
        files->MatchAll();
        return files->SignatureCalls - before;
    }

    TTempDir tmp;
    std::string romsDir = tmp.Path() + "vol/roms/";
    std::string cacheDir = tmp.Path() + "vol/cache/";
    std::string tempDir = tmp.Path() + "temp/";
    TStaticVolumeProvider volumes;
    TScopedVolumeProvider volumeScope;
    TRomsBd roms;
    TArchiveManager manager;
    TCrcPlugIn plugIn;
    TSignatureCalculator calc;
    std::unique_ptr<TFilesBd> files;
    TPath* path = nullptr;
    std::vector<std::string> log;
};

}  // namespace qm::test
