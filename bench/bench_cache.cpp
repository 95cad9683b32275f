// Writing and reading the cache file of a large rom path: records built and saved
// through TCacheFile, then the file read and every record decoded; then the same
// through a rom path (TPath::SaveCache from its files, TPath::LoadFromCache into a
// fresh path, no rom database).
//
//   bench_cache [--records N]   (default 300000; zips of 8 roms, some names holding
//                               the separator byte inside UTF-8)
//
// Prints one line: records=N write_ms=N read_ms=N bytes=N path_save_ms=N path_load_ms=N
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "BenchSupport.h"
#include "filesdb/CacheFileUnit.h"
#include "filesdb/filesBd.h"
#include "platform/FileSystem.h"

namespace {

using qm::bench::Clock;
using qm::bench::Ms;

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

    // The same records through a rom path.
    std::filesystem::remove_all(root + "/cache");
    std::filesystem::create_directories(root + "/cache");
    long long pathSaveMs = 0, pathLoadMs = 0;
    int loadedFiles = 0;
    {
        qm::TFilesBd bd;
        bd.SetCachePath(root + "/cache/");
        qm::TPath* path = bd.AddPath(root + "/roms", "", "");
        for (long i = 0; i < records; ++i) {
            std::snprintf(crc, sizeof crc, "%08lx", static_cast<unsigned long>((i * 2654435761u) & 0xFFFFFFFFu));
            path->AddEntry("game " + std::to_string(i / 8) + ".zip", "rom" + std::to_string(i % 8) + ".bin", crc, "",
                           65536, qm::fkZip, 0);
        }
        const auto saveStart = Clock::now();
        path->SaveCache();
        pathSaveMs = Ms(saveStart);
    }
    {
        qm::TFilesBd bd;
        bd.SetCachePath(root + "/cache/");
        qm::TPath* path = bd.AddPath(root + "/roms", "", "");
        const auto loadStart = Clock::now();
        path->LoadFromCache();
        pathLoadMs = Ms(loadStart);
        loadedFiles = path->Files().Count();
    }

    std::printf("records=%ld write_ms=%lld read_ms=%lld bytes=%zu path_save_ms=%lld path_load_ms=%lld\n", good,
                writeMs, readMs, text.size(), pathSaveMs, pathLoadMs);
    std::filesystem::remove_all(root);
    return good == records && loadedFiles == (records + 7) / 8 ? 0 : 2;
}
