#pragma once
// A collection written fast for the benchmarks: zips of deflated entries whose contents
// are forged to a listed size and CRC (zeros, then four bytes that give the CRC), so
// that a collection of thousands of sets is made in seconds and signs as the datafile
// says.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "BenchSupport.h"

namespace qm::bench {

inline void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// Contents of a given size and CRC: size - 4 zeros, then four bytes found by solving the
// CRC's linear dependence on them. The zeros' CRC and their deflated form are computed
// once per size.
class TForge {
public:
    ~TForge() {
        for (auto& [size, prefix] : prefixes_) deflateEnd(&prefix->stream);
    }

    // The four closing bytes.
    std::string Tail(int64_t size, uint32_t crc) {
        const uint32_t start = ZerosCrc(size - 4);
        const unsigned char zero[4] = {0, 0, 0, 0};
        const uint32_t base = crc32(start, zero, 4);
        uint32_t vec[32] = {}, mask[32] = {};
        for (int j = 0; j < 32; ++j) {
            unsigned char bit[4] = {0, 0, 0, 0};
            bit[j / 8] = static_cast<unsigned char>(1u << (j % 8));
            uint32_t v = static_cast<uint32_t>(crc32(start, bit, 4)) ^ base;
            uint32_t m = 1u << j;
            for (int b = 31; b >= 0 && v != 0; --b) {
                if (((v >> b) & 1u) == 0) continue;
                if (vec[b] == 0) {
                    vec[b] = v;
                    mask[b] = m;
                    break;
                }
                v ^= vec[b];
                m ^= mask[b];
            }
        }
        uint32_t want = crc ^ base, x = 0;
        for (int b = 31; b >= 0; --b)
            if ((want >> b) & 1u) {
                want ^= vec[b];
                x ^= mask[b];
            }
        std::string tail(4, '\0');
        for (int i = 0; i < 4; ++i) tail[static_cast<size_t>(i)] = static_cast<char>((x >> (8 * i)) & 0xFF);
        return tail;
    }

    // The whole content (for plain files).
    std::string Content(int64_t size, uint32_t crc) {
        std::string bytes(static_cast<size_t>(size - 4), '\0');
        return bytes + Tail(size, crc);
    }

    // Raw deflate of the content.
    std::string Deflated(int64_t size, uint32_t crc) {
        TPrefix& prefix = Prefix(size - 4);
        z_stream copy;
        deflateCopy(&copy, &prefix.stream);
        std::string tail = Tail(size, crc);
        std::string out = prefix.out;
        unsigned char buffer[1 << 14];
        copy.next_in = reinterpret_cast<Bytef*>(tail.data());
        copy.avail_in = 4;
        int rc;
        do {
            copy.next_out = buffer;
            copy.avail_out = sizeof buffer;
            rc = deflate(&copy, Z_FINISH);
            out.append(reinterpret_cast<char*>(buffer), sizeof buffer - copy.avail_out);
        } while (rc == Z_OK);
        deflateEnd(&copy);
        return out;
    }

private:
    struct TPrefix {
        z_stream stream{};
        std::string out;
    };

    uint32_t ZerosCrc(int64_t n) {
        auto it = zerosCrc_.find(n);
        if (it != zerosCrc_.end()) return it->second;
        const std::vector<unsigned char> zeros(static_cast<size_t>(n), 0);
        const uint32_t crc = static_cast<uint32_t>(crc32(0, zeros.data(), static_cast<uInt>(n)));
        zerosCrc_[n] = crc;
        return crc;
    }

    TPrefix& Prefix(int64_t n) {
        auto it = prefixes_.find(n);
        if (it != prefixes_.end()) return *it->second;
        auto prefix = std::make_unique<TPrefix>();
        deflateInit2(&prefix->stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        std::vector<unsigned char> zeros(static_cast<size_t>(n), 0);
        unsigned char buffer[1 << 14];
        prefix->stream.next_in = zeros.data();
        prefix->stream.avail_in = static_cast<uInt>(n);
        while (prefix->stream.avail_in > 0) {
            prefix->stream.next_out = buffer;
            prefix->stream.avail_out = sizeof buffer;
            deflate(&prefix->stream, Z_NO_FLUSH);
            prefix->out.append(reinterpret_cast<char*>(buffer), sizeof buffer - prefix->stream.avail_out);
        }
        TPrefix& ref = *prefix;
        prefixes_[n] = std::move(prefix);
        return ref;
    }

    std::map<int64_t, uint32_t> zerosCrc_;
    std::map<int64_t, std::unique_ptr<TPrefix>> prefixes_;
};

struct TZipEntry {
    std::string name;
    uint32_t crc;
    int64_t size;
};

// A zip of deflated entries, written in one go.
inline bool WriteZip(const std::string& fileName, const std::vector<TZipEntry>& entries, TForge& forge) {
    const uint32_t dosTime = (12u << 11), dosDate = ((2020u - 1980u) << 9) | (1u << 5) | 1u;
    std::string data, central;
    for (const TZipEntry& e : entries) {
        const std::string packed = forge.Deflated(e.size, e.crc);
        const uint32_t offset = static_cast<uint32_t>(data.size());
        Put32(data, 0x04034b50);
        Put16(data, 20);
        Put16(data, 0);
        Put16(data, 8);
        Put16(data, dosTime);
        Put16(data, dosDate);
        Put32(data, e.crc);
        Put32(data, static_cast<uint32_t>(packed.size()));
        Put32(data, static_cast<uint32_t>(e.size));
        Put16(data, static_cast<uint32_t>(e.name.size()));
        Put16(data, 0);
        data += e.name;
        data += packed;

        Put32(central, 0x02014b50);
        Put16(central, (3u << 8) | 20u);
        Put16(central, 20);
        Put16(central, 0);
        Put16(central, 8);
        Put16(central, dosTime);
        Put16(central, dosDate);
        Put32(central, e.crc);
        Put32(central, static_cast<uint32_t>(packed.size()));
        Put32(central, static_cast<uint32_t>(e.size));
        Put16(central, static_cast<uint32_t>(e.name.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, 0100644u << 16);
        Put32(central, offset);
        central += e.name;
    }
    const uint32_t centralOffset = static_cast<uint32_t>(data.size());
    data += central;
    Put32(data, 0x06054b50);
    Put16(data, 0);
    Put16(data, 0);
    Put16(data, static_cast<uint32_t>(entries.size()));
    Put16(data, static_cast<uint32_t>(entries.size()));
    Put32(data, static_cast<uint32_t>(central.size()));
    Put32(data, centralOffset);
    Put16(data, 0);
    FILE* f = std::fopen(fileName.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

inline bool WritePlain(const std::string& fileName, const std::string& bytes) {
    FILE* f = std::fopen(fileName.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

inline std::string ProgramFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("./") : exe.parent_path().string() + "/";
}

// The command line of the programs over a collection:
//   PROGRAM DATAFILE ROMPATH [--mode merged|split|unmerged] [--make N] [--plugin-dir DIR]
//           [--plugin NAME] [--cache DIR]
// NAME is the plug-in's file name as the settings hold it (arcade.dll, the default, signs
// a zip's roms by the CRCs it stores; any other name has every entry extracted). DIR,
// for the programs that write a cache file, is kept with it, to compare two builds' files.
struct TCollectionArgs {
    std::string Datafile;
    std::string RomPath;  // ends with "/"
    std::string Mode = "merged";
    long long Make = 0;
    // Merged sets also hold the roms their games take from a bios, as a full merge
    // writes them (bench_scan only).
    bool FullMerge = false;
    std::string PlugInDir = ProgramFolder() + "plugin/";
    std::string PlugInName = "arcade.dll";
    std::string CacheDir;  // empty: a temporary folder, removed at the end

    // False when the line is not of that form.
    bool Parse(int argc, char** argv) {
        if (argc < 3) return false;
        Datafile = argv[1];
        RomPath = argv[2];
        if (RomPath.back() != '/') RomPath += '/';
        for (int i = 3; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--full-merge") {
                FullMerge = true;
                continue;
            }
            if (i + 1 >= argc) return false;
            if (arg == "--mode")
                Mode = argv[++i];
            else if (arg == "--make")
                Make = std::atoll(argv[++i]);
            else if (arg == "--plugin-dir")
                PlugInDir = argv[++i];
            else if (arg == "--plugin")
                PlugInName = argv[++i];
            else if (arg == "--cache")
                CacheDir = argv[++i];
            else
                return false;
        }
        return Mode == "merged" || Mode == "split" || Mode == "unmerged";
    }

    // Loads the datafile in the mode asked for; false, with a message, when it cannot.
    bool LoadRoms(TRomsBd& roms) const {
        if (!bench::LoadRoms(roms, Datafile.c_str())) return false;
        roms.Split = Mode != "merged";
        roms.MergeRoms = Mode == "split";
        return true;
    }

    // Makes the rom path a forged collection is written into; false, with a message,
    // when it already holds something (a forge never writes over a user's files).
    bool MakeEmptyRomPath() const {
        std::error_code ec;
        std::filesystem::create_directories(RomPath, ec);
        if (std::filesystem::is_empty(RomPath, ec)) return true;
        std::fprintf(stderr, "%s is not empty\n", RomPath.c_str());
        return false;
    }
};

}  // namespace qm::bench
