// Scans a rom path with the default plug-in, matches it against a datafile, then loads
// it again in a fresh files database (as after a restart: the cache, then the scan).
//
//   bench_scan DATAFILE ROMPATH [--mode merged|split|unmerged] [--make N] [--plugin-dir DIR]
//
// --make N first writes a collection into ROMPATH (absent or empty): one zip per set of
// the mode for the first N sets, holding the roms the set needs (no-dump roms left
// out), each rom's content forged to its listed size and CRC (zeros and four bytes that
// give the CRC, deflated); every 25th set also lies as a plain file of its smallest
// rom. Prints one line:
//   made_zips=N made_plain=N files=N roms=N status0=N .. status9=N duplicated=N
//   games_complete=N games_partial=N games_missing=N clones_complete=N clones_partial=N
//   clones_missing=N first_scan_ms=N match_ms=N signature_calls=N rescan_ms=N
//   rescan_signature_calls=N peak_rss_mb=N
// roms counts the rom files found (placeholders left out), status<k> every rom file of
// status k (placeholders of missing roms included); first_scan_ms is the first load,
// match_ms the matching and game states after it; rescan_ms the second load from the
// cache the first one wrote; signature_calls the files handed to the calculator.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "archive/DiskInfo.h"
#include "archive/archivemanager.h"
#include "catalogue/RomsBd.h"
#include "filesdb/CrcPlugIn.h"
#include "filesdb/SignatureCalculator.h"
#include "filesdb/filesBd.h"
#include "platform/Exception.h"

namespace {

using qm::bench::Clock;
using qm::bench::Ms;

void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
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
bool WriteZip(const std::string& fileName, const std::vector<TZipEntry>& entries, TForge& forge) {
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

bool WritePlain(const std::string& fileName, const std::string& bytes) {
    FILE* f = std::fopen(fileName.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string ProgramFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("./") : exe.parent_path().string() + "/";
}

struct TCounts {
    long long files = 0, roms = 0, duplicated = 0;
    long long status[10] = {};
};

TCounts Count(const qm::TFilesBd& files) {
    TCounts c;
    for (int p = 0; p < files.GetPathCount(); ++p)
        for (const auto& file : files.GetPath(p)->Files()) {
            ++c.files;
            for (const auto& entry : file->RomFiles) {
                const qm::TRomFile& r = *entry.romFile;
                if (!r.IsPlaceholder()) ++c.roms;
                if (r.Status < 10) ++c.status[r.Status];
                if (r.Duplicated) ++c.duplicated;
            }
        }
    return c;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_scan DATAFILE ROMPATH [--mode merged|split|unmerged] [--make N] [--plugin-dir DIR]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string datafile = argv[1];
    std::string romPath = argv[2];
    if (romPath.back() != '/') romPath += '/';
    std::string mode = "merged";
    long long make = 0;
    std::string plugInDir = ProgramFolder() + "plugin/";
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return Usage();
        if (arg == "--mode")
            mode = argv[++i];
        else if (arg == "--make")
            make = std::atoll(argv[++i]);
        else if (arg == "--plugin-dir")
            plugInDir = argv[++i];
        else
            return Usage();
    }
    if (mode != "merged" && mode != "split" && mode != "unmerged") return Usage();

    qm::TRomsBd roms;
    roms.SetDatafileName(datafile);
    try {
        roms.Datafile().LoadFromFile();
        roms.Build();
    } catch (const qm::Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    roms.Split = mode != "merged";
    roms.MergeRoms = mode == "split";

    long long madeZips = 0, madePlain = 0;
    if (make > 0) {
        std::error_code ec;
        std::filesystem::create_directories(romPath, ec);
        if (!std::filesystem::is_empty(romPath, ec)) {
            std::fprintf(stderr, "%s is not empty\n", romPath.c_str());
            return 1;
        }
        TForge forge;
        qm::TCloneItems sets;
        roms.ListClones(sets);
        qm::TCloneRomsList needed;
        for (const auto& [name, clone] : sets) {
            if (madeZips >= make) break;
            roms.ListGameRoms(name, needed);
            std::vector<TZipEntry> entries;
            const qm::TCloneRom* smallest = nullptr;
            for (size_t i = 0; i < needed.Count(); ++i) {
                const qm::TCloneRom* cr = needed[i];
                if (cr->Crc == qm::kNoDumpCrc || cr->Rom->Size < 4) continue;
                entries.push_back({cr->Name, static_cast<uint32_t>(std::strtoul(cr->Crc.c_str(), nullptr, 16)),
                                   cr->Rom->Size});
                if (smallest == nullptr || cr->Rom->Size < smallest->Rom->Size) smallest = cr;
            }
            if (!WriteZip(romPath + name + ".zip", entries, forge)) {
                std::fprintf(stderr, "cannot write %s%s.zip\n", romPath.c_str(), name.c_str());
                return 1;
            }
            ++madeZips;
            if (madeZips % 25 == 0 && smallest != nullptr) {
                const uint32_t crc = static_cast<uint32_t>(std::strtoul(smallest->Crc.c_str(), nullptr, 16));
                if (!WritePlain(romPath + name + "_" + smallest->Name, forge.Content(smallest->Rom->Size, crc)))
                    return 1;
                ++madePlain;
            }
        }
    }

    char cacheTemplate[] = "/tmp/bench_scan_cache.XXXXXX";
    if (::mkdtemp(cacheTemplate) == nullptr) return 1;
    const std::string cacheDir = std::string(cacheTemplate) + "/";

    qm::TArchiveManager manager;
    qm::TCrcPlugIn plugIn;
    qm::TSignatureCalculator calc;
    int rc = 0;
    try {
        plugIn.SetPath(plugInDir);
        plugIn.SetFileName("arcade.dll");
        calc.SetArchiveManager(&manager);
        calc.SetCrcPlugIn(&plugIn);

        const auto open = [&](std::unique_ptr<qm::TFilesBd>& files) {
            if (files) files->ClearPaths();
            files = std::make_unique<qm::TFilesBd>();
            files->SetRomsBd(&roms);
            files->SetSubmitRoms(true);
            files->SetSignatureCalculator(&calc);
            files->SetArchiveManager(&manager);
            files->SetCachePath(cacheDir);
            return files->AddPath(romPath, "", "");
        };
        std::unique_ptr<qm::TFilesBd> files;
        qm::TPath* path = open(files);
        auto start = Clock::now();
        path->Load(false);
        const long long scanMs = Ms(start);
        const long long calls = files->SignatureCalls;
        start = Clock::now();
        files->MatchAll();
        roms.RecalculateStatus();
        const long long matchMs = Ms(start);
        const TCounts counts = Count(*files);
        long long games[3] = {}, clones[3] = {};
        for (const qm::TGame* game : roms.Games()) {
            if (game->IsResource) continue;
            const int gs = game->GetStatus() & 3;
            if (gs <= 2) ++games[gs];
            for (const qm::TClone* clone : game->Clones) {
                const int cs = clone->GetStatus() & 3;
                if (cs <= 2) ++clones[cs];
            }
        }

        path = open(files);
        start = Clock::now();
        path->Load(false);
        const long long rescanMs = Ms(start);
        const long long rescanCalls = files->SignatureCalls;
        files->ClearPaths();

        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("made_zips=%lld made_plain=%lld files=%lld roms=%lld", madeZips, madePlain, counts.files,
                    counts.roms);
        for (int k = 0; k < 10; ++k) std::printf(" status%d=%lld", k, counts.status[k]);
        std::printf(" duplicated=%lld games_complete=%lld games_partial=%lld games_missing=%lld "
                    "clones_complete=%lld clones_partial=%lld clones_missing=%lld first_scan_ms=%lld match_ms=%lld "
                    "signature_calls=%lld rescan_ms=%lld rescan_signature_calls=%lld peak_rss_mb=%ld\n",
                    counts.duplicated, games[2], games[1], games[0], clones[2], clones[1], clones[0], scanMs, matchMs,
                    calls, rescanMs, rescanCalls, usage.ru_maxrss / 1024);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        rc = 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(cacheDir, ec);
    return rc;
}
