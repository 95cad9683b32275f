// Lists the entries of every zip archive in a folder through the archive manager, as
// a scan of a rom path does (central directories only, no entry data read).
//
//   bench_zip_list DIR
//
// When DIR holds no zip archive, 20,000 small ones are written there first. Prints one
// line: zips=N entries=N ms=N zips_per_s=N
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archivemanager.h"

namespace {

bool IsZip(const std::filesystem::path& p) { return p.extension() == ".zip"; }

void Generate(const std::string& dir, int count) {
    std::filesystem::create_directories(dir);
    static const char* data[] = {"first rom data", "second rom, a little longer than the first",
                                 "third"};
    for (int i = 0; i < count; ++i) {
        const std::string name = dir + "/game" + std::to_string(i) + ".zip";
        int error = 0;
        zip_t* za = zip_open(name.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        if (!za) continue;
        for (int k = 0; k < 3; ++k) {
            zip_source_t* src = zip_source_buffer(za, data[k], std::strlen(data[k]), 0);
            const std::string entry = "rom" + std::to_string(k) + ".bin";
            if (zip_file_add(za, entry.c_str(), src, ZIP_FL_OVERWRITE) < 0) zip_source_free(src);
        }
        zip_close(za);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_zip_list DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::vector<std::string> zips;
    auto collect = [&] {
        zips.clear();
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(dir, ec))
            if (e.is_regular_file() && IsZip(e.path())) zips.push_back(e.path().string());
    };
    collect();
    if (zips.empty()) {
        Generate(dir, 20000);
        collect();
    }

    qm::TArchiveManager manager;
    size_t entries = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& zip : zips) {
        qm::TArchiveItems items;
        try {
            manager.GetFileList(zip, items);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", zip.c_str(), e.what());
        }
        entries += items.size();
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    const long long perSecond = ms > 0 ? static_cast<long long>(zips.size()) * 1000 / ms : 0;
    std::printf("zips=%zu entries=%zu ms=%lld zips_per_s=%lld\n", zips.size(), entries,
                static_cast<long long>(ms), perSecond);
    return 0;
}
