// Writing and reading the cache file of a large rom path: records built and saved
// through TCacheFile, then the file read and every record decoded.
//
//   bench_cache [--records N]   (default 300000; zips of 8 roms, some names holding
//                               the separator byte inside UTF-8)
//
// Prints one line: records=N write_ms=N read_ms=N bytes=N
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "filesdb/CacheFileUnit.h"
#include "platform/FileSystem.h"

namespace {

using Clock = std::chrono::steady_clock;

long long Ms(Clock::time_point from) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from).count();
}

}  // namespace

int main(int argc, char** argv) {
    long records = 300000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--records") == 0) records = std::atol(argv[++i]);

    char pattern[] = "/tmp/bench_cache.XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::string root = pattern;
    std::filesystem::create_directories(root + "/roms");
    std::filesystem::create_directories(root + "/cache");

    qm::TCacheFile cache;
    cache.CacheFolder = root + "/cache";
    cache.PlugInName = "arcade.dll";
    cache.Open(root + "/roms", "", "bench");

    const auto writeStart = Clock::now();
    cache.Clear();
    char crc[24];
    for (long i = 0; i < records; ++i) {
        const long zip = i / 8;
        std::snprintf(crc, sizeof crc, "%08lx", static_cast<unsigned long>((i * 2654435761u) & 0xFFFFFFFFu));
        const std::string zipName = (zip % 10 == 0 ? "J\xC3\xA4ger " : "game ") + std::to_string(zip) + ".zip";
        cache.AddRecord(zipName, "rom" + std::to_string(i % 8) + ".bin", 1000000 + zip, 0x5A2B3C4D, crc, "",
                        65536, 0, qm::kCacheKindZip, "", "");
    }
    cache.Save();
    const long long writeMs = Ms(writeStart);

    const auto readStart = Clock::now();
    std::string text;
    qm::Fs().ReadFile(cache.GetCacheFileName(), text);
    const qm::TCacheReader reader(text);
    qm::TCacheRecord record;
    std::string problem;
    long good = 0;
    for (int i = qm::TCacheFile::kHeaderLines; i < reader.LineCount(); ++i)
        if (reader.Record(i, record, problem)) ++good;
    const long long readMs = Ms(readStart);

    std::printf("records=%ld write_ms=%lld read_ms=%lld bytes=%zu\n", good, writeMs, readMs, text.size());
    std::filesystem::remove_all(root);
    return good == records ? 0 : 2;
}
