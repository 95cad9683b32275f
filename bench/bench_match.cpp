// Matches a large collection against the rom database of a datafile (from gen_datafile).
// The collection is built in memory, one zip per set of the merged mode holding what the
// set needs, with faults spread over it: every 10th zip lacks a rom, every 7th holds one
// under another name, every 13th holds an unknown entry, every 50th set also lies as a
// plain file of its first rom. Prints one line:
//   games=N files=N roms=N add_ms=N match_ms=N rematch_ms=N split_match_ms=N peak_rss_mb=N
// roms is the number of rom files added; add_ms the time of adding them (each looked up
// and registered with the rom database); match_ms one MatchAll; rematch_ms a second one
// (placeholders reused); split_match_ms a MatchAll after switching to the split mode.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <string>

#include "BenchSupport.h"
#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"
#include "platform/Exception.h"

using qm::bench::Clock;
using qm::bench::Ms;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_match FILE (a datafile, e.g. from gen_datafile)\n");
        return 2;
    }
    qm::TRomsBd roms;
    if (!qm::bench::LoadRoms(roms, argv[1])) return 1;

    // The one rom path is an empty folder of its own: its files are listed by hand.
    qm::bench::TMemoryCollection collection;
    if (!collection.Open(roms, "bench_match")) return 1;
    qm::TFilesBd& files = collection.files;
    qm::TPath* path = collection.path;

    roms.Split = false;
    qm::TCloneItems sets;
    roms.ListClones(sets);
    qm::TCloneRomsList needed;
    long long romFiles = 0;
    const auto addStart = Clock::now();
    size_t n = 0;
    for (const auto& [name, clone] : sets) {
        ++n;
        roms.ListGameRoms(name, needed);
        qm::TFile* zip = path->NewFile(name + ".zip", qm::fkZip, false);
        for (size_t i = 0; i < needed.Count(); ++i) {
            const qm::TCloneRom* cr = needed[i];
            if (n % 10 == 0 && i == 0) continue;
            std::string romName = cr->Name;
            if (n % 7 == 0 && i == 1) romName = "renamed_" + romName;
            std::string crc = cr->Crc == qm::kNoDumpCrc ? "0badf00d" : cr->Crc.str();
            zip->AddRomFile(romName, crc, 0, cr->Rom->Size, "");
            ++romFiles;
        }
        if (n % 13 == 0) {
            zip->AddRomFile("unknown.bin", "fedcba98", 0, 1234, "");
            ++romFiles;
        }
        if (n % 50 == 0 && !needed.Empty()) {
            const qm::TCloneRom* cr = needed[0];
            qm::TFile* plain = path->NewFile(name + "_" + cr->Name, qm::fkPlain, false);
            plain->AddRomFile(plain->Name, cr->Crc, 0, cr->Rom->Size, "");
            ++romFiles;
        }
    }
    const long long addMs = Ms(addStart);

    auto start = Clock::now();
    files.MatchAll();
    const long long matchMs = Ms(start);
    start = Clock::now();
    files.MatchAll();
    const long long rematchMs = Ms(start);
    roms.Split = true;
    roms.MergeRoms = true;
    start = Clock::now();
    files.MatchAll();
    const long long splitMs = Ms(start);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("games=%d files=%d roms=%lld add_ms=%lld match_ms=%lld rematch_ms=%lld split_match_ms=%lld "
                "peak_rss_mb=%ld\n",
                roms.GameCount, path->Files().Count(), romFiles, addMs, matchMs, rematchMs, splitMs,
                usage.ru_maxrss / 1024);
    files.ClearPaths();
    std::error_code ec;
    std::filesystem::remove_all(collection.folder, ec);
    return 0;
}
