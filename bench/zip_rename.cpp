// Renaming every entry of a large archive: once in place (names of the same length),
// once by a rewrite (longer names), which copies all entry data.
// Usage: zip_rename [entries [entry_bytes]] (2000 entries of 32 KiB unless told).
#include <zlib.h>

#include <chrono>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "archive/ZipNameRewriter.h"

namespace {

void Put16(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xff);
    s += static_cast<char>(v >> 8);
}
void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
}

// A stored archive of count entries named e<number>.bin, each size bytes.
void WriteArchive(const std::string& path, int count, size_t size) {
    std::ofstream out(path, std::ios::binary);
    std::string central, data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 131 % 251);
    const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(size)));
    uint32_t offset = 0;
    for (int n = 0; n < count; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "e%06d.bin", n);
        std::string local;
        Put32(local, 0x04034b50);
        Put16(local, 20);
        Put16(local, 0);
        Put16(local, 0);
        Put16(local, 0);
        Put16(local, 0x21);
        Put32(local, crc);
        Put32(local, static_cast<uint32_t>(size));
        Put32(local, static_cast<uint32_t>(size));
        Put16(local, static_cast<uint16_t>(std::string(name).size()));
        Put16(local, 0);
        local += name;
        out << local << data;
        Put32(central, 0x02014b50);
        Put16(central, 20);
        Put16(central, 20);
        for (int k = 0; k < 3; ++k) Put16(central, 0);
        Put16(central, 0x21);
        Put32(central, crc);
        Put32(central, static_cast<uint32_t>(size));
        Put32(central, static_cast<uint32_t>(size));
        Put16(central, static_cast<uint16_t>(std::string(name).size()));
        for (int k = 0; k < 4; ++k) Put16(central, 0);
        Put32(central, 0);
        Put32(central, offset);
        central += name;
        offset += static_cast<uint32_t>(local.size() + size);
    }
    std::string end;
    Put32(end, 0x06054b50);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, static_cast<uint16_t>(count));
    Put16(end, static_cast<uint16_t>(count));
    Put32(end, static_cast<uint32_t>(central.size()));
    Put32(end, offset);
    Put16(end, 0);
    out << central << end;
}

double Millis(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/qmbench-XXXXXX";
    if (!::mkdtemp(pattern.data())) return 1;
    const std::string zip = pattern + "/bench.zip";
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    const size_t size = argc > 2 ? static_cast<size_t>(std::atoll(argv[2])) : 32 * 1024;
    if (count <= 0 || count > 65535) return 2;
    WriteArchive(zip, count, size);
    const auto bytes = static_cast<double>(std::filesystem::file_size(zip));

    qm::TRenameList same, longer;
    for (int n = 0; n < count; ++n) {
        char from[32], to[32], to2[40];
        std::snprintf(from, sizeof from, "e%06d.bin", n);
        std::snprintf(to, sizeof to, "r%06d.bin", n);
        std::snprintf(to2, sizeof to2, "renamed%06d.bin", n);
        same.push_back({from, to});
        longer.push_back({to, to2});
    }
    const double inPlace = Millis([&] { qm::RewriteZipNames(zip, same); });
    const double rewrite = Millis([&] { qm::RewriteZipNames(zip, longer); });
    std::filesystem::remove_all(pattern);
    std::printf("bench=zip_rename entries=%d archive_mib=%.1f inplace_ms=%.1f rewrite_ms=%.1f rewrite_mib_per_s=%.0f\n",
                count, bytes / 1048576.0, inPlace, rewrite, bytes / 1048576.0 / (rewrite / 1000.0));
    return 0;
}
