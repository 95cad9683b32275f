// Lists the children of the views' objects over a large collection: the rom database of
// a datafile (from gen_datafile) and one zip per set of the merged mode, matched. Prints
// one line:
//   games=N clones=N files=N games_root_ms=N clones_root_ms=N regex_ms=N path_split_ms=N
//   path_merged_ms=N rom_count_ms=N list_rows=N select_main_ms=N status_main_ms=N
//   invert_ms=N status_invert_ms=N select_all_ms=N status_all_ms=N read_selection_ms=N selected=N
//   drop_files=N drop_ms=N drop_bare_ms=N
// games_root_ms is one listing of the games root by games, clones_root_ms by clones,
// regex_ms by clones under a name filter that tests every rom name; path_split_ms and
// path_merged_ms one listing of the rom path under a sub-list of every clone but one in
// ten, in the split and the merged mode; rom_count_ms one count of the shown roms.
// Then the list view, shown (offscreen), lists every clone: select_main_ms is "Select main
// sets", invert_ms "Invert selection", select_all_ms "Select all", each with the
// status-bar texts after it timed apart (status_*_ms); read_selection_ms is reading the
// inverted selection as the commands do. drop_ms drops every file of the rom path in one
// command (one zip per clone) while the tree (path expanded) and the list both show them;
// drop_bare_ms the same without views.
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
#include "ui/ViewSelection.h"
#include "ui/ListSelection.h"
#include "ui/MainStatusBar.h"
#include "ui/commands/ChildList.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

#include <QApplication>

using qm::bench::Clock;
using qm::bench::Ms;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_views FILE (a datafile, e.g. from gen_datafile)\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qm::TRomsBd roms;
    if (!qm::bench::LoadRoms(roms, argv[1])) return 1;
    qm::bench::TMemoryCollection collection;
    if (!collection.Open(roms, "bench_views")) return 1;
    qm::TFilesBd& files = collection.files;
    qm::TPath* path = collection.path;
    roms.Split = false;
    collection.AddCompleteZips(roms);
    const int fileCount = path->Files().Count();

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

    // The list of every clone, as the main window shows the games root by clones.
    roms.Split = true;
    qm::TShownClones everyClone;
    qm::TShownGames everyGame;
    for (const auto& [name, clone] : all) {
        everyClone.Add(name, clone);
        if (!everyGame.HasObject(clone->Game)) everyGame.Add(clone->Game->Name, clone->Game);
    }
    qm::TQMVirtualTreeView tree;
    qm::TQMVirtualListView list;
    for (qm::TChildCollector* view : {static_cast<qm::TChildCollector*>(&tree), static_cast<qm::TChildCollector*>(&list)}) {
        view->RomsBd = &roms;
        view->FilesBd = &files;
        view->ShownClones = &everyClone;
        view->ShownGames = &everyGame;
    }
    list.resize(900, 700);
    list.show();
    list.SetDisplayLevel(qm::dlClones);
    list.SetParentObject(&roms.Games());
    QCoreApplication::processEvents();
    const int listRows = list.Model()->RootNodeCount();
    auto status = [&] {
        const auto begin = Clock::now();
        const qm::TStatusTexts texts = qm::StatusBarTexts(list, nullptr);
        qm::ItemStatusText(qm::ItemTextSourceOf(false, tree, list, nullptr, true));
        if (texts.Selected.empty()) std::abort();
        return Ms(begin);
    };
    auto timed = [](const auto& command) {
        const auto begin = Clock::now();
        command();
        QCoreApplication::processEvents();
        return Ms(begin);
    };
    const long long selectMainMs = timed([&] { list.SelectMainSets(); });
    const long long statusMainMs = status();
    const long long invertMs = timed([&] { qm::InvertSelection(list); });
    const long long statusInvertMs = status();
    start = Clock::now();
    const qm::TCommandSelection read = qm::SelectionFromViews(list, tree);
    qm::TViewObjects objects;
    list.GetSelectedObjects(objects);
    const long long readMs = Ms(start);
    const int selected = list.SelectedCount();
    if (read.listEmpty != objects.empty()) std::abort();
    const long long selectAllMs = timed([&] { qm::SelectAllRows(list); });
    const long long statusAllMs = status();
    list.Clear();

    // Every file of the path dropped in one command, as a rebuild of the path does, with
    // both views showing them; then again without views. One zip per clone this time.
    path->ClearFiles();
    roms.Split = true;
    collection.AddCompleteZips(roms);
    tree.resize(400, 700);
    tree.show();
    tree.SetQmVirtualListView(&list);
    tree.Rebuild(false);
    const QModelIndex pathRoot = tree.Model()->index(1, 0);
    tree.expand(pathRoot);
    tree.selectionModel()->setCurrentIndex(pathRoot, QItemSelectionModel::ClearAndSelect);
    QCoreApplication::processEvents();
    const int dropFiles = list.Model()->RootNodeCount();
    files.OnRemoveFile = [&](qm::TFile* file) {
        tree.RemoveFile(file);
        list.RemoveFile(file);
    };
    files.OnRemoveRomFile = [&](qm::TRomFile* romFile) { list.RemoveRomFile(romFile); };
    files.OnCommandEnd = [&] { tree.ApplyRemovals(); };
    const long long dropMs = timed([&] {
        qm::TFilesBd::TCommandScope command(files);
        path->ClearFiles();
    });
    if (list.Model()->RootNodeCount() != 0) std::abort();
    tree.Clear();
    files.OnRemoveFile = nullptr;
    files.OnRemoveRomFile = nullptr;
    files.OnCommandEnd = nullptr;
    collection.AddCompleteZips(roms);
    const long long dropBareMs = timed([&] {
        qm::TFilesBd::TCommandScope command(files);
        path->ClearFiles();
    });

    std::printf("games=%d clones=%d files=%d shown_roms=%d games_root_ms=%lld clones_root_ms=%lld regex_ms=%lld "
                "path_split_ms=%lld path_merged_ms=%lld rom_count_ms=%lld list_rows=%d select_main_ms=%lld "
                "status_main_ms=%lld invert_ms=%lld status_invert_ms=%lld select_all_ms=%lld status_all_ms=%lld "
                "read_selection_ms=%lld selected=%d drop_files=%d drop_ms=%lld drop_bare_ms=%lld\n",
                roms.GameCount, roms.CloneCount, fileCount, romCount, gamesMs, clonesMs, regexMs, pathSplitMs,
                pathMergedMs, romCountMs, listRows, selectMainMs, statusMainMs, invertMs, statusInvertMs, selectAllMs,
                statusAllMs, readMs, selected, dropFiles, dropMs, dropBareMs);
    files.ClearPaths();
    std::error_code ec;
    std::filesystem::remove_all(collection.folder, ec);
    return 0;
}
