// Tests a damaged zip archive through the archive manager, as the scan does for an
// archive that held a rom in error: every entry is read once, and each bad one is
// reported with its name.
//
//   bench_zip_test DIR
//
// When DIR holds no damaged.zip, it is written there first: 4,000 stored entries, one
// of them (the middle one) with a flipped byte. Prints one line:
//   entries=N bad=N ms=N entries_per_s=N
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archivemanager.h"

namespace {

constexpr int kEntries = 4000;

std::string Content(int i) { return "rom data of entry " + std::to_string(i) + ", stored as it is"; }

bool Generate(const std::string& name) {
    int error = 0;
    zip_t* za = zip_open(name.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!za) return false;
    std::vector<std::string> contents;
    contents.reserve(kEntries);
    for (int i = 0; i < kEntries; ++i) contents.push_back(Content(i));
    for (int i = 0; i < kEntries; ++i) {
        zip_source_t* src = zip_source_buffer(za, contents[i].data(), contents[i].size(), 0);
        const std::string entry = "rom" + std::to_string(i) + ".bin";
        const zip_int64_t index = zip_file_add(za, entry.c_str(), src, ZIP_FL_OVERWRITE);
        if (index < 0) {
            zip_source_free(src);
            continue;
        }
        zip_set_file_compression(za, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    if (zip_close(za) != 0) return false;
    std::string bytes;
    {
        std::ifstream in(name, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const size_t at = bytes.find(Content(kEntries / 2));
    if (at == std::string::npos) return false;
    bytes[at] ^= 1;
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_zip_test DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::filesystem::create_directories(dir);
    const std::string name = dir + "/damaged.zip";
    if (!std::filesystem::exists(name) && !Generate(name)) {
        std::fprintf(stderr, "cannot write %s\n", name.c_str());
        return 1;
    }

    qm::TArchiveManager manager;
    qm::TArchiveItems items;
    manager.GetFileList(name, items);
    long long bad = 0;
    manager.OnError = [&](const std::string&, const std::string&, const std::string&) { ++bad; };
    const auto start = std::chrono::steady_clock::now();
    try {
        manager.TestArchive(name);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("entries=%zu bad=%lld ms=%.0f entries_per_s=%.0f\n", items.size(), bad, seconds * 1000.0,
                seconds > 0 ? static_cast<double>(items.size()) / seconds : 0.0);
    return 0;
}
