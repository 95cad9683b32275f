// Runs the whole fix over every set of a rom path, then scans the path again from
// nothing and counts the game states.
//
//   bench_fix DATAFILE ROMPATH [--mode merged|split|unmerged] [--make N] [--plugin-dir DIR]
//
// --make N first writes a collection into ROMPATH (absent or empty): one zip per set of
// the mode for the first N sets, holding what the set needs (no-dump roms left out),
// and one set in three damaged in turn: the zip under another name, its entries in upper
// case, an unknown entry added, or its first rom missing from the zip and lying in a
// plain file beside it. Prints one line:
//   zips=N fixed=N errors=N archive_rewrites=N fix_ms=N fix_cpu_ms=N rename_files_ms=N
//   remove_roms_ms=N rename_roms_ms=N import_ms=N remove_files_ms=N dummy_ms=N fsyncs=N
//   games_complete=N games_partial=N games_missing=N second_fixed=N second_rewrites=N
//   check_rss_mb=N fix_rss_mb=N peak_rss_mb=N
// zips counts the zips before the fix; archive_rewrites the zips written or replaced by
// it; fix_ms the pipeline alone (its matching included), fix_cpu_ms its processor time;
// the *_ms after it split fix_ms by step (rename_roms_ms both of its runs; the last step
// run holds what follows it);
// fsyncs the flushes to disk the fix made; the game counts come from the scan after
// the fix. Then the fix runs again over that scan: second_fixed is what it fixed and
// second_rewrites the files of the rom path it wrote, replaced, added or took away (both
// 0 when the first fix left nothing to do). check_rss_mb is the peak resident memory
// before the fix starts (the catalogue and the scan), fix_rss_mb when the first fix ends
// (the catalogue, the scan and the fix), peak_rss_mb the process's at the end. The work folder, with the removal folder,
// lies under TMPDIR (/tmp when unset).
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "BenchSupport.h"
#include "ForgedCollection.h"
#include "archive/archivemanager.h"
#include "catalogue/RomsBd.h"
#include "filesdb/CrcPlugIn.h"
#include "filesdb/SignatureCalculator.h"
#include "filesdb/filesBd.h"
#include "platform/FileSystem.h"
#include "ui/commands/FixPipeline.h"

namespace {

using namespace qm::bench;

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_fix DATAFILE ROMPATH [--mode merged|split|unmerged] [--make N] [--plugin-dir DIR]\n");
    return 2;
}

uint32_t CrcOf(const std::string& text) { return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 16)); }

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The processor time of the process so far (a busy machine stretches fix_ms, not this).
long long CpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

long PeakRssMb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// Writes the collection; false when a file could not be written.
bool MakeCollection(qm::TRomsBd& roms, const std::string& romPath, long long count) {
    TForge forge;
    qm::TCloneItems sets;
    roms.ListClones(sets);
    qm::TCloneRomsList needed;
    long long made = 0;
    for (const auto& [name, clone] : sets) {
        if (made >= count) break;
        roms.ListGameRoms(name, needed);
        std::vector<TZipEntry> entries;
        for (size_t i = 0; i < needed.Count(); ++i) {
            const qm::TCloneRom* cr = needed[i];
            if (cr->Crc == qm::kNoDumpCrc || cr->Rom->Size < 4) continue;
            entries.push_back({cr->Name, CrcOf(cr->Crc), cr->Rom->Size});
        }
        std::string zipName = name + ".zip";
        if (made % 3 == 0 && !entries.empty()) {
            switch ((made / 3) % 4) {
                case 0: zipName = name + "_old.zip"; break;
                case 1:
                    for (TZipEntry& e : entries) e.name = Upper(e.name);
                    break;
                case 2: entries.push_back({"readme.txt", 0x12345678u ^ static_cast<uint32_t>(made), 64}); break;
                case 3: {
                    const TZipEntry spare = entries.front();
                    entries.erase(entries.begin());
                    if (!WritePlain(romPath + "spare_" + name + "_" + spare.name, forge.Content(spare.size, spare.crc)))
                        return false;
                    break;
                }
            }
        }
        if (!WriteZip(romPath + zipName, entries, forge)) {
            std::fprintf(stderr, "cannot write %s%s\n", romPath.c_str(), zipName.c_str());
            return false;
        }
        ++made;
    }
    return true;
}

// What tells a zip written anew: its inode, size and modification time.
using TZipStamp = std::tuple<ino_t, off_t, long long>;

// The files of folder (its zips only, or all), not its sub-folders' contents.
std::map<std::string, TZipStamp> FileStamps(const std::string& folder, bool zipsOnly) {
    std::map<std::string, TZipStamp> stamps;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (zipsOnly && (name.size() < 4 || name.compare(name.size() - 4, 4, ".zip") != 0)) continue;
        struct stat st {};
        if (::stat(entry.path().c_str(), &st) != 0) continue;
        stamps[name] = {st.st_ino, st.st_size,
                        static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
    }
    return stamps;
}

std::map<std::string, TZipStamp> ZipStamps(const std::string& folder) { return FileStamps(folder, true); }

}  // namespace

int main(int argc, char** argv) {
    TCollectionArgs args;
    if (!args.Parse(argc, argv)) return Usage();
    const std::string& romPath = args.RomPath;

    qm::TRomsBd roms;
    if (!args.LoadRoms(roms)) return 1;

    if (args.Make > 0) {
        if (!args.MakeEmptyRomPath()) return 1;
        if (!MakeCollection(roms, romPath, args.Make)) return 1;
    }

    // The work folder (the removal folder and the archiver's own) lies under TMPDIR.
    const char* tmp = std::getenv("TMPDIR");
    std::string workTemplate = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/bench_fix.XXXXXX";
    if (::mkdtemp(workTemplate.data()) == nullptr) return 1;
    const std::string work = workTemplate + "/";
    const std::string archive = work + "archive/";
    std::filesystem::create_directories(archive);

    qm::TArchiveManager manager;
    qm::TCrcPlugIn plugIn;
    qm::TSignatureCalculator calc;
    int rc = 0;
    try {
        plugIn.SetPath(args.PlugInDir);
        plugIn.SetFileName("arcade.dll");
        calc.SetArchiveManager(&manager);
        calc.SetCrcPlugIn(&plugIn);
        calc.SetTempDir(work);
        manager.SetTempDir(work);

        const auto open = [&](std::unique_ptr<qm::TFilesBd>& files, const std::string& cache) {
            if (files) files->ClearPaths();
            files = std::make_unique<qm::TFilesBd>();
            files->SetRomsBd(&roms);
            files->SetSubmitRoms(true);
            files->SetSignatureCalculator(&calc);
            files->SetArchiveManager(&manager);
            files->SetTempDir(work);
            files->MergeBackupDir = archive + "merged/";
            std::filesystem::create_directories(cache);
            files->SetCachePath(cache);
            return files->AddPath(romPath, "", "");
        };
        std::unique_ptr<qm::TFilesBd> files;
        qm::TPath* path = open(files, work + "cache1/");
        path->Load(false);
        files->MatchAll();
        roms.RecalculateStatus();

        const auto before = ZipStamps(romPath);
        // The whole path, as the tree offers it when the path is focused.
        const auto wholePath = [](qm::TPath* p) {
            qm::TFixSelection s;
            for (const auto& file : p->Files()) {
                s.treeFiles.push_back(file.get());
                for (const auto& entry : file->RomFiles) s.treeRoms.push_back(entry.romFile.get());
            }
            s.focusedIsPath = true;
            s.listSelectionEmpty = true;
            return s;
        };
        const qm::TFixSelection selection = wholePath(path);
        qm::TFixSwitches switches;
        switches.reZip = false;
        qm::TFixPipeline fix(roms, *files, switches, archive);
        // Each step lasts until the next one starts; the last until the fix ends.
        std::map<qm::TFixStep, long long> stepMs;
        bool inStep = false;
        qm::TFixStep current = qm::TFixStep::RenameFiles;
        auto stepStart = Clock::now();
        const auto closeStep = [&] {
            if (inStep) stepMs[current] += Ms(stepStart);
            stepStart = Clock::now();
        };
        fix.OnStepStarted = [&](qm::TFixStep step) {
            closeStep();
            current = step;
            inStep = true;
        };
        const long checkRssMb = PeakRssMb();
        const int64_t syncsBefore = qm::SyncCount();
        const long long cpuBefore = CpuMs();
        const auto start = Clock::now();
        fix.Run(selection);
        const long long fixMs = Ms(start);
        const long long fixCpuMs = CpuMs() - cpuBefore;
        const int64_t fsyncs = qm::SyncCount() - syncsBefore;
        const long fixRssMb = PeakRssMb();
        long long stepsMs = 0;
        for (const auto& [step, ms] : stepMs) stepsMs += ms;
        const auto step = [&](qm::TFixStep s) { return stepMs.count(s) != 0 ? stepMs[s] : 0LL; };

        const auto after = ZipStamps(romPath);
        long long rewrites = 0;
        for (const auto& [name, stamp] : after) {
            const auto it = before.find(name);
            if (it == before.end() || it->second != stamp) ++rewrites;
        }

        // A scan from nothing tells what the fix left.
        path = open(files, work + "cache2/");
        path->Load(true);
        files->MatchAll();
        roms.RecalculateStatus();
        long long games[3] = {};
        for (const qm::TGame* game : roms.Games()) {
            if (game->IsResource) continue;
            const int state = game->GetStatus() & 3;
            if (state <= 2) ++games[state];
        }

        // The fix again, over what the first one left.
        const auto before2 = FileStamps(romPath, false);
        qm::TFixPipeline again(roms, *files, switches, archive);
        again.Run(wholePath(path));
        const auto after2 = FileStamps(romPath, false);
        long long rewrites2 = 0;
        for (const auto& [name, stamp] : after2) {
            const auto it = before2.find(name);
            if (it == before2.end() || it->second != stamp) ++rewrites2;
        }
        for (const auto& [name, stamp] : before2)
            if (after2.count(name) == 0) ++rewrites2;
        files->ClearPaths();

        // The last step's time runs to the end of the fix: its share after the steps is
        // not told apart from it.
        const long long lastStep = std::max(0LL, fixMs - stepsMs);
        if (inStep) stepMs[current] += lastStep;
        std::printf("zips=%zu fixed=%d errors=%d archive_rewrites=%lld fix_ms=%lld fix_cpu_ms=%lld rename_files_ms=%lld "
                    "remove_roms_ms=%lld rename_roms_ms=%lld import_ms=%lld remove_files_ms=%lld dummy_ms=%lld "
                    "fsyncs=%lld games_complete=%lld games_partial=%lld games_missing=%lld second_fixed=%d "
                    "second_rewrites=%lld check_rss_mb=%ld fix_rss_mb=%ld peak_rss_mb=%ld\n",
                    before.size(), fix.FixedTotal(), fix.ErrorTotal(), rewrites, fixMs, fixCpuMs, step(qm::TFixStep::RenameFiles),
                    step(qm::TFixStep::RemoveUselessRoms), step(qm::TFixStep::RenameRoms),
                    step(qm::TFixStep::ImportRoms), step(qm::TFixStep::RemoveUselessFiles),
                    step(qm::TFixStep::CreateDummyRoms), static_cast<long long>(fsyncs), games[2], games[1], games[0],
                    again.FixedTotal(), rewrites2, checkRssMb, fixRssMb, PeakRssMb());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        rc = 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
    return rc;
}
