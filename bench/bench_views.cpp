// Lists the children of the views' objects over a large collection: the rom database of
// a datafile (from gen_datafile) and one zip per set of the merged mode, matched. Prints
// one line:
//   games=N clones=N files=N games_root_ms=N clones_root_ms=N regex_ms=N path_split_ms=N
//   path_merged_ms=N rom_count_ms=N
// games_root_ms is one listing of the games root by games, clones_root_ms by clones,
// regex_ms by clones under a name filter that tests every rom name; path_split_ms and
// path_merged_ms one listing of the rom path under a sub-list of every clone but one in
// ten, in the split and the merged mode; rom_count_ms one count of the shown roms.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "BenchSupport.h"
#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"
#include "platform/Exception.h"
#include "ui/views/ChildList.h"

using qm::bench::Clock;
using qm::bench::Ms;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_views FILE (a datafile, e.g. from gen_datafile)\n");
        return 2;
    }
    qm::TRomsBd roms;
    if (!qm::bench::LoadRoms(roms, argv[1])) return 1;
    qm::bench::TMemoryCollection collection;
    if (!collection.Open(roms, "bench_views")) return 1;
    qm::TFilesBd& files = collection.files;
    qm::TPath* path = collection.path;
    roms.Split = false;
    collection.AddCompleteZips(roms);

    // The main window's sub-list: every clone but one in ten, listed in the split mode.
    roms.Split = true;
    qm::TCloneItems all;
    roms.ListClones(all);
    qm::TShownClones shownClones;
    qm::TShownGames shownGames;
    size_t n = 0;
    for (const auto& [name, clone] : all) {
        if (++n % 10 == 0) continue;
        shownClones.Add(name, clone);
        if (!shownGames.HasObject(clone->Game)) shownGames.Add(clone->Game->Name, clone->Game);
    }

    qm::TChildCollector collector;
    collector.RomsBd = &roms;
    collector.FilesBd = &files;
    collector.ShownClones = &shownClones;
    collector.ShownGames = &shownGames;
    collector.SplitMergeMode = qm::smManual;
    collector.Split = true;
    qm::TChildItems items;

    auto start = Clock::now();
    collector.CollectChildren(&roms.Games(), items);
    const long long gamesMs = Ms(start);

    collector.SetDisplayLevel(qm::dlClones);
    start = Clock::now();
    collector.CollectChildren(&roms.Games(), items);
    const long long clonesMs = Ms(start);

    collector.RegularExpression = "^zz[0-9]+\\.bin$";
    start = Clock::now();
    collector.CollectChildren(&roms.Games(), items);
    const long long regexMs = Ms(start);
    collector.RegularExpression.clear();

    start = Clock::now();
    collector.CollectChildren(path, items);
    const long long pathSplitMs = Ms(start);

    roms.Split = false;
    start = Clock::now();
    collector.CollectChildren(path, items);
    const long long pathMergedMs = Ms(start);

    collector.SetDisplayLevel(qm::dlGames);
    collector.ResetRomCount();
    start = Clock::now();
    const int romCount = collector.GetRomCount();
    const long long romCountMs = Ms(start);

    std::printf("games=%d clones=%d files=%d shown_roms=%d games_root_ms=%lld clones_root_ms=%lld regex_ms=%lld "
                "path_split_ms=%lld path_merged_ms=%lld rom_count_ms=%lld\n",
                roms.GameCount, roms.CloneCount, path->Files().Count(), romCount, gamesMs, clonesMs, regexMs,
                pathSplitMs, pathMergedMs, romCountMs);
    files.ClearPaths();
    std::error_code ec;
    std::filesystem::remove_all(collection.folder, ec);
    return 0;
}
