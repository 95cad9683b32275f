// Loads a datafile with TDatafile, builds the rom database from it and lists every set
// of the three set modes (MergeResources off, CheckSize on). Prints one line:
//   games=N clones=N roms=N load_ms=N build_ms=N
//   merged_sets=N merged_needed=N merged_size=N merged_ms=N   (Split off)
//   split_sets=N ... split_ms=N                               (Split on, MergeRoms on)
//   unmerged_sets=N ... unmerged_ms=N                         (Split on, MergeRoms off)
//   lookups=N lookups_found=N lookup_ms=N states_ms=N peak_rss_mb=N rss_after_build_mb=N
// sets are the clones ListClones gives; needed the sum over them of the entries of
// ListGameRoms for the set's display name; size the sum of those entries' rom sizes
// (unknown sizes count 0); *_ms the time of that listing; states_ms the time of
// RecalculateStatus in each of the three modes together; lookup_ms the time of one
// FindRomForFile (no attach) per listing of the catalogue. peak_rss_mb is the peak
// resident size of the whole run; rss_after_build_mb the resident size once the build
// is done and the datafile's items are released, as the program holds the catalogue.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "catalogue/RomsBd.h"
#include "platform/Exception.h"

namespace {

using qm::bench::Clock;
using qm::bench::Ms;

std::string ModeFigures(qm::TRomsBd& bd, const char* mode, bool split, bool mergeRoms) {
    bd.Split = split;
    bd.MergeRoms = mergeRoms;
    const auto start = Clock::now();
    qm::TCloneItems sets;
    bd.ListClones(sets);
    qm::TCloneRomsList roms;
    long long needed = 0;
    long long size = 0;
    for (const auto& [name, clone] : sets) {
        bd.ListGameRoms(name, roms);
        needed += static_cast<long long>(roms.Count());
        for (const qm::TCloneRom* cloneRom : roms)
            if (cloneRom->Rom->Size > 0) size += cloneRom->Rom->Size;
    }
    const long long ms = Ms(start);
    const std::string m = mode;
    return m + "_sets=" + std::to_string(sets.size()) + " " + m + "_needed=" + std::to_string(needed) + " " + m +
           "_size=" + std::to_string(size) + " " + m + "_ms=" + std::to_string(ms);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_romsbd FILE\n");
        return 2;
    }
    qm::TRomsBd bd;
    bd.SetDatafileName(argv[1]);
    long long loadMs = 0;
    long long buildMs = 0;
    try {
        auto start = Clock::now();
        bd.Datafile().LoadFromFile();
        loadMs = Ms(start);
        start = Clock::now();
        bd.Build();
        bd.ReleaseDatafileItems();
        buildMs = Ms(start);
    } catch (const qm::Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    long long residentMb = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        long long pages = 0, resident = 0;
        if (std::fscanf(statm, "%lld %lld", &pages, &resident) == 2)
            residentMb = resident * ::sysconf(_SC_PAGESIZE) / (1024 * 1024);
        std::fclose(statm);
    }
    std::string line = "games=" + std::to_string(bd.GameCount) + " clones=" + std::to_string(bd.CloneCount) +
                       " roms=" + std::to_string(bd.RomCount) + " load_ms=" + std::to_string(loadMs) +
                       " build_ms=" + std::to_string(buildMs);
    line += " " + ModeFigures(bd, "merged", false, false);
    line += " " + ModeFigures(bd, "split", true, true);
    line += " " + ModeFigures(bd, "unmerged", true, false);

    // What matching asks for every file found: each listing looked up by its set, name,
    // CRC and size, without attaching.
    auto start = Clock::now();
    long long lookups = 0;
    long long found = 0;
    for (const qm::TClone* clone : bd.Games().AllClones) {
        for (const qm::TCloneRom* listing : clone->CloneRoms) {
            qm::TCloneRom* cloneRom = nullptr;
            qm::TRom* rom = nullptr;
            bd.FindRomForFile(clone->Name, listing->Name, listing->Rom->Crc, listing->Rom->Size, false, cloneRom,
                              rom, nullptr);
            ++lookups;
            found += rom != nullptr;
        }
    }
    line += " lookups=" + std::to_string(lookups) + " lookups_found=" + std::to_string(found) +
            " lookup_ms=" + std::to_string(Ms(start));

    start = Clock::now();
    for (bool split : {false, true}) {
        bd.Split = split;
        bd.MergeRoms = split;
        bd.RecalculateStatus();
    }
    bd.MergeRoms = false;
    bd.RecalculateStatus();
    line += " states_ms=" + std::to_string(Ms(start));

    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    line += " peak_rss_mb=" + std::to_string(usage.ru_maxrss / 1024) +
            " rss_after_build_mb=" + std::to_string(residentMb);
    std::printf("%s\n", line.c_str());
    return 0;
}
