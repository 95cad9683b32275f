// Scans a rom path with the default plug-in, matches it against a datafile, then loads
// it again in a fresh files database (as after a restart: the cache, then the scan).
//
//   bench_scan DATAFILE ROMPATH [--mode merged|split|unmerged] [--make N] [--full-merge]
//              [--plugin-dir DIR] [--plugin NAME] [--cache DIR]
//
// --make N first writes a collection into ROMPATH (absent or empty): one zip per set of
// the mode for the first N sets, holding the roms the set needs (no-dump roms left
// out), each rom's content forged to its listed size and CRC (zeros and four bytes that
// give the CRC, deflated); every 25th set also lies as a plain file of its smallest rom
// that no other listing shares, under that rom's name. Such a collection is clean:
// nothing of it is misnamed or out of place. With --full-merge a merged set's zip also
// holds the roms its game takes from a bios, as a full merge writes them. Prints one line:
//   made_zips=N made_plain=N files=N roms=N status0=N .. status9=N duplicated=N
//   games_complete=N games_partial=N games_missing=N clones_complete=N clones_partial=N
//   clones_missing=N partial_dumpable=N first_scan_ms=N match_ms=N signature_calls=N
//   rescan_ms=N rescan_signature_calls=N peak_rss_mb=N zips_per_s=N threads=N
//   rescan_files_per_s=N clear_files_ms=N load_ms=N audit_ms=N first_scan_fsyncs=N
//   rescan_fsyncs=N steady_rescan_ms=N steady_rescan_fsyncs=N steady_rescan_files_per_s=N
//   cache_check_ms=N
// roms counts the rom files found (placeholders left out), status<k> every rom file of
// status k (placeholders of missing roms included); partial_dumpable the sets of the
// mode with something found that lack a rom of which a good dump exists (a set partial
// only through no-dump roms is not counted); first_scan_ms is the first load,
// match_ms the matching and game states after it; rescan_ms the second load from the
// cache the first one wrote; signature_calls the files handed to the calculator;
// zips_per_s the zips of the first load by its time, threads the threads its listing
// ran on; rescan_files_per_s the files of the second load by its time; clear_files_ms
// the time to drop every file of the path from the files database; first_scan_fsyncs
// the flushes to disk of the first load (its cache file's, and with another plug-in
// than the default every extracted entry's before), rescan_fsyncs those of the second;
// steady_rescan_ms and steady_rescan_fsyncs the same of a third load (a later start
// that finds nothing changed: its cache is not written again); load_ms the
// reading and building of the rom database, audit_ms that with the first load and the
// matching (the whole audit of a collection seen for the first time), cache_check_ms
// that with the third load and a matching after it (the whole check at a later start).
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
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
#include "ForgedCollection.h"
#include "archive/DiskInfo.h"
#include "archive/archivemanager.h"
#include "archive/stringsTools.h"
#include "catalogue/RomsBd.h"
#include "filesdb/CrcPlugIn.h"
#include "filesdb/SignatureCalculator.h"
#include "filesdb/filesBd.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"

namespace {

using qm::bench::Clock;
using qm::bench::Ms;
using namespace qm::bench;

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
                 "usage: bench_scan DATAFILE ROMPATH [--mode merged|split|unmerged] [--make N] [--full-merge]"
                 " [--plugin-dir DIR] [--plugin NAME] [--cache DIR]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    TCollectionArgs args;
    if (!args.Parse(argc, argv)) return Usage();
    const std::string& romPath = args.RomPath;

    qm::TRomsBd roms;
    const auto loadStart = Clock::now();
    if (!args.LoadRoms(roms)) return 1;
    const long long loadMs = Ms(loadStart);

    long long madeZips = 0, madePlain = 0;
    if (args.Make > 0) {
        if (!args.MakeEmptyRomPath()) return 1;
        TForge forge;
        qm::TCloneItems sets;
        roms.ListClones(sets);
        qm::TCloneRomsList needed;
        for (const auto& [name, clone] : sets) {
            if (madeZips >= args.Make) break;
            roms.ListGameRoms(name, needed);
            if (args.FullMerge && !roms.Split && !clone->Game->IsResource) {
                // The bios roms each clone of the game takes, once a name.
                for (const qm::TClone* member : clone->Game->Clones)
                    for (qm::TCloneRom* cr : member->CloneRoms) {
                        if (!cr->IsResourceRom()) continue;
                        bool listed = false;
                        for (size_t i = 0; i < needed.Count() && !listed; ++i)
                            listed = qm::SameText(needed[i]->Name, cr->Name);
                        if (!listed) needed.Add(cr);
                    }
            }
            std::vector<TZipEntry> entries;
            const qm::TCloneRom* smallest = nullptr;
            for (size_t i = 0; i < needed.Count(); ++i) {
                const qm::TCloneRom* cr = needed[i];
                if (cr->Crc == qm::kNoDumpCrc || cr->Rom->Size < 4) continue;
                entries.push_back({cr->Name, static_cast<uint32_t>(std::strtoul(cr->Crc.c_str(), nullptr, 16)),
                                   cr->Rom->Size});
                const bool plainable = cr->Rom->Owners.Count() == 1 && cr->Name.find('/') == std::string::npos;
                if (plainable && (smallest == nullptr || cr->Rom->Size < smallest->Rom->Size)) smallest = cr;
            }
            if (!WriteZip(romPath + name + ".zip", entries, forge)) {
                std::fprintf(stderr, "cannot write %s%s.zip\n", romPath.c_str(), name.c_str());
                return 1;
            }
            ++madeZips;
            if (madeZips % 25 == 0 && smallest != nullptr) {
                const uint32_t crc = static_cast<uint32_t>(std::strtoul(smallest->Crc.c_str(), nullptr, 16));
                if (!WritePlain(romPath + smallest->Name, forge.Content(smallest->Rom->Size, crc)))
                    return 1;
                ++madePlain;
            }
        }
    }

    char cacheTemplate[] = "/tmp/bench_scan_cache.XXXXXX";
    if (args.CacheDir.empty() ? ::mkdtemp(cacheTemplate) == nullptr
                              : ::mkdir(args.CacheDir.c_str(), 0700) != 0 && errno != EEXIST)
        return 1;
    const std::string cacheDir = (args.CacheDir.empty() ? std::string(cacheTemplate) : args.CacheDir) + "/";

    qm::TArchiveManager manager;
    qm::TCrcPlugIn plugIn;
    qm::TSignatureCalculator calc;
    int rc = 0;
    try {
        plugIn.SetPath(args.PlugInDir);
        plugIn.SetFileName(args.PlugInName);
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
        const int64_t syncsBefore = qm::SyncCount();
        auto start = Clock::now();
        path->Load(false);
        const auto scanTime = Clock::now() - start;
        const long long scanSyncs = qm::SyncCount() - syncsBefore;
        const long long scanMs = Ms(start);
        const long long calls = files->SignatureCalls;
        const int threads = files->ScanThreadsUsed;
        long long zips = 0;
        for (const auto& file : path->Files()) zips += file->IsZip() ? 1 : 0;
        start = Clock::now();
        files->MatchAll();
        roms.RecalculateStatus();
        const long long matchMs = Ms(start);
        const TCounts counts = Count(*files);
        long long games[3] = {}, clones[3] = {}, partialDumpable = 0;
        qm::TCloneItems sets;
        roms.ListClones(sets);
        qm::TCloneRomsList shown;
        for (const auto& [name, clone] : sets) {
            clone->ListRoms(shown, false);
            bool found = false, lacksDump = false;
            for (const qm::TCloneRom* cr : shown) {
                if (cr->Rom->MatchCount > 0)
                    found = true;
                else if (cr->GetCrcState() != qm::csNoDump)
                    lacksDump = true;
            }
            if (found && lacksDump) ++partialDumpable;
        }
        for (const qm::TGame* game : roms.Games()) {
            if (game->IsResource) continue;
            const int gs = game->GetStatus() & 3;
            if (gs <= 2) ++games[gs];
            // The clones the mode shows: merged sets have no clone of their own.
            game->ForEachShownClone([&](const qm::TClone* clone) {
                const int cs = clone->GetStatus() & 3;
                if (cs <= 2) ++clones[cs];
            });
        }

        path = open(files);
        int64_t syncs = qm::SyncCount();
        start = Clock::now();
        path->Load(false);
        const auto rescanTime = Clock::now() - start;
        const long long rescanMs = Ms(start);
        const long long rescanSyncs = qm::SyncCount() - syncs;
        const long long rescanCalls = files->SignatureCalls;
        const long long rescanFiles = path->Files().Count();
        // Once more, as a later start finds it: the files the rescan read again now
        // stand where it put them, so nothing is left to change.
        path = open(files);
        syncs = qm::SyncCount();
        start = Clock::now();
        path->Load(false);
        const auto steadyTime = Clock::now() - start;
        const long long steadyMs = Ms(start);
        const long long steadySyncs = qm::SyncCount() - syncs;
        const long long steadyFiles = path->Files().Count();
        start = Clock::now();
        files->MatchAll();
        roms.RecalculateStatus();
        const long long steadyMatchMs = Ms(start);
        start = Clock::now();
        path->ClearFiles();
        const long long clearMs = Ms(start);
        files->ClearPaths();
        const auto perSecond = [](long long count, Clock::duration time) {
            const double seconds = std::chrono::duration<double>(time).count();
            return seconds > 0 ? static_cast<long long>(static_cast<double>(count) / seconds) : 0LL;
        };

        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("made_zips=%lld made_plain=%lld files=%lld roms=%lld", madeZips, madePlain, counts.files,
                    counts.roms);
        for (int k = 0; k < 10; ++k) std::printf(" status%d=%lld", k, counts.status[k]);
        std::printf(" duplicated=%lld games_complete=%lld games_partial=%lld games_missing=%lld "
                    "clones_complete=%lld clones_partial=%lld clones_missing=%lld partial_dumpable=%lld "
                    "first_scan_ms=%lld match_ms=%lld signature_calls=%lld rescan_ms=%lld "
                    "rescan_signature_calls=%lld peak_rss_mb=%ld zips_per_s=%lld threads=%d rescan_files_per_s=%lld "
                    "clear_files_ms=%lld load_ms=%lld audit_ms=%lld first_scan_fsyncs=%lld rescan_fsyncs=%lld "
                    "steady_rescan_ms=%lld steady_rescan_fsyncs=%lld steady_rescan_files_per_s=%lld "
                    "cache_check_ms=%lld\n",
                    counts.duplicated, games[2], games[1], games[0], clones[2], clones[1], clones[0], partialDumpable,
                    scanMs, matchMs, calls, rescanMs, rescanCalls, usage.ru_maxrss / 1024, perSecond(zips, scanTime),
                    threads, perSecond(rescanFiles, rescanTime), clearMs, loadMs, loadMs + scanMs + matchMs, scanSyncs,
                    rescanSyncs, steadyMs, steadySyncs, perSecond(steadyFiles, steadyTime),
                    loadMs + steadyMs + steadyMatchMs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        rc = 1;
    }
    std::error_code ec;
    if (args.CacheDir.empty()) std::filesystem::remove_all(cacheDir, ec);
    return rc;
}
