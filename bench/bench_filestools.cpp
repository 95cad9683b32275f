// The free-space check runs before every repair step and the folder count on every
// cache check of a rom path: how long one check takes, and how long a folder of
// 20,000 entries takes to count and to date.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/FilesTools.h"

using Clock = std::chrono::steady_clock;

static double MicrosSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

int main() {
    const std::string folder = qm::GetTempDirectory() + "entries";
    ::mkdir(folder.c_str(), 0700);
    const int entries = 20000;
    for (int i = 0; i < entries; ++i) {
        const std::string name = folder + "/rom" + std::to_string(i) + ".zip";
        const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0) ::close(fd);
    }

    const int checks = 2000;
    auto start = Clock::now();
    for (int i = 0; i < checks; ++i) qm::CheckDiskSpace(folder, 0);
    const double checkUs = MicrosSince(start) / checks;

    start = Clock::now();
    const int counted = qm::CountDirEntries(folder);
    const double countMs = MicrosSince(start) / 1000.0;

    start = Clock::now();
    const int32_t latest = qm::GetLatestFileTime(folder);
    const double latestMs = MicrosSince(start) / 1000.0;

    std::printf("bench=filestools checkdiskspace_us=%.1f countdirentries_ms=%.1f getlatestfiletime_ms=%.1f entries=%d ok=%d\n",
                checkUs, countMs, latestMs, counted, counted == entries && latest != 0 ? 1 : 0);
    qm::RemoveTempDirectory();
    return 0;
}
