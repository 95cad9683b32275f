// Builds the rows of the game and folder tree and of the game list over a large
// collection (the rom database of a datafile, e.g. from gen_datafile, and one matched zip
// per set) with every game shown, then sorts the list by each column. Prints one line:
//   games=N rows_ms=N sort_ms=N
// rows_ms: one tree rebuild plus the list's rows of the games root (games and clones
// display), and of the rom path; sort_ms: the slowest column of the clones list.
#include <sys/resource.h>

#include <QApplication>

#include <algorithm>
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
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

using qm::bench::Clock;
using qm::bench::Ms;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_treelist FILE (a datafile, e.g. from gen_datafile)\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    qm::TRomsBd roms;
    if (!qm::bench::LoadRoms(roms, argv[1])) return 1;
    qm::bench::TMemoryCollection collection;
    if (!collection.Open(roms, "bench_treelist")) return 1;
    qm::TFilesBd& files = collection.files;
    roms.Split = true;
    collection.AddCompleteZips(roms);
    qm::TCloneItems sets;
    roms.ListClones(sets);
    qm::TShownGames shownGames;
    qm::TShownClones shownClones;
    for (const auto& [name, clone] : sets) {
        shownClones.Add(name, clone);
        if (!shownGames.HasObject(clone->Game)) shownGames.Add(clone->Game->Name, clone->Game);
    }

    qm::TQMVirtualTreeView tree;
    qm::TQMVirtualListView list;
    for (qm::TChildCollector* view : {static_cast<qm::TChildCollector*>(&tree), static_cast<qm::TChildCollector*>(&list)}) {
        view->RomsBd = &roms;
        view->FilesBd = &files;
        view->ShownGames = &shownGames;
        view->ShownClones = &shownClones;
        view->SplitMergeMode = qm::smManual;
        view->Split = true;
    }
    tree.SetQmVirtualListView(&list);

    const auto rowsStart = Clock::now();
    tree.Rebuild(false);
    list.SetParentObject(&roms.Games());
    list.Clear();
    list.SetDisplayLevel(qm::dlClones);
    list.SetParentObject(&roms.Games());
    list.SetParentObject(collection.path);
    list.Clear();
    list.SetParentObject(&roms.Games());
    const long long rowsMs = Ms(rowsStart);

    long long sortMs = 0;
    for (int column = 0; column < qm::TQMVirtualListView::kColumnCount; ++column) {
        const auto start = Clock::now();
        list.DoHeaderClick(column);
        sortMs = std::max(sortMs, Ms(start));
    }
    std::printf("games=%d rows_ms=%lld sort_ms=%lld\n", static_cast<int>(sets.size()), rowsMs, sortMs);
    files.ClearPaths();
    std::error_code ec;
    std::filesystem::remove_all(collection.folder, ec);
    return 0;
}
