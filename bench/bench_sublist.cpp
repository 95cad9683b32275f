// Applies sub-lists over a large rom database (a datafile from gen_datafile), as a
// click in the SubList menu does: the names of a list file are read, then the shown
// games and clones are made again. Prints one line:
//   games=N clones=N names=N parse_ms=N only_ms=N except_ms=N all_ms=N shown_only=N shown_except=N
// parse_ms reads the names of every tenth clone from text, only_ms and except_ms apply
// them in the "only" and "all except" modes, all_ms applies no list (every clone).
#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "ui/commands/SubLists.h"

using qm::bench::Clock;
using qm::bench::Ms;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_sublist FILE (a datafile, e.g. from gen_datafile)\n");
        return 2;
    }
    qm::TRomsBd roms;
    if (!qm::bench::LoadRoms(roms, argv[1])) return 1;
    roms.Split = true;
    qm::TCloneItems all;
    roms.ListClones(all);
    // Every tenth clone, upper-cased on every other line, with CR LF ends: the names of
    // a hand-made list file.
    std::string text;
    size_t n = 0;
    for (const auto& [name, clone] : all) {
        if (++n % 10 != 0) continue;
        text += (n % 20 == 0) ? qm::UpperCase(name) : name;
        text += "\r\n";
    }

    auto start = Clock::now();
    const qm::TSubListNames names = qm::ParseSubListNames(text);
    const long long parseMs = Ms(start);

    qm::TShownGames games;
    qm::TShownClones clones;
    start = Clock::now();
    qm::ApplySubList(&roms, false, names, false, games, clones);
    const long long onlyMs = Ms(start);
    const int shownOnly = clones.Count();

    start = Clock::now();
    qm::ApplySubList(&roms, false, names, true, games, clones);
    const long long exceptMs = Ms(start);
    const int shownExcept = clones.Count();

    start = Clock::now();
    qm::ApplySubList(&roms, false, {}, false, games, clones);
    const long long allMs = Ms(start);

    std::printf("games=%d clones=%d names=%zu parse_ms=%lld only_ms=%lld except_ms=%lld all_ms=%lld shown_only=%d "
                "shown_except=%d\n",
                roms.GameCount, roms.CloneCount, names.size(), parseMs, onlyMs, exceptMs, allMs, shownOnly,
                shownExcept);
    return 0;
}
