// The rule of which main window commands are enabled for a selection.
#include "ui/commands/ActionStates.h"

#include <algorithm>
#include <iterator>

namespace qm {

namespace {

using enum TActionId;

// Enabled only while a datafile is chosen in the datafile box.
constexpr TActionId kDatafileActions[] = {
    ActPlayGame, ActRefresh,  ActRefreshAll, ActAddPath,     ActFixGame,   ActMiss,      ActHave,
    ActMissCrc,  ActMissRoms, ActScan,       ActCopyFile,    ActMoveFile,  ActDeleteFiles, ActTestFiles,
    ActReZip,    ActCapitalize, ActUpperCase, ActLowerCase,  ActDBCase,    ActChangeCase,
};

constexpr TActionId kRepairGroup[] = {ActAdvanced,          ActFixGame,           ActRenameRoms,       ActRenameFiles,
                                      ActImportExternalRom, ActRemoveUselessFiles, ActRemoveUselessRoms};
constexpr TActionId kPathGroup[] = {ActRemovePath, ActOpenPath};
constexpr TActionId kCopyGroup[] = {ActCopyFile, ActMoveFile};
constexpr TActionId kFileGroup[] = {ActDeleteFiles, ActTestFiles, ActReZip,  ActCapitalize,
                                    ActUpperCase,   ActLowerCase, ActDBCase, ActChangeCase};

struct TRow {
    bool repair, play, path, copy, file;
};

template <size_t N>
void SetGroup(TActionStates& states, const TActionId (&group)[N], bool enabled) {
    for (TActionId id : group) states.Set(id, enabled);
}

}  // namespace

TObjectKind KindOf(const TViewObject& object) {
    if (IsNilObject(object)) return TObjectKind::None;
    // The alternatives of TViewObject in order, after monostate.
    static constexpr TObjectKind kKinds[] = {TObjectKind::None,       TObjectKind::GamesList, TObjectKind::ClonesList,
                                             TObjectKind::Game,       TObjectKind::Clone,     TObjectKind::CloneRom,
                                             TObjectKind::Path,       TObjectKind::File,      TObjectKind::RomFile,
                                             TObjectKind::PathObject};
    static_assert(std::size(kKinds) == std::variant_size_v<TViewObject>);
    return kKinds[object.index()];
}

TActionStates ComputeActionStates(const TActionSelection& s) {
    TActionStates states;
    for (TActionId id : kDatafileActions) states.Set(id, s.DatafileSelected);

    const bool listNone = s.List == TObjectKind::None;
    TRow row{false, false, false, false, false};
    // Nothing but the games root: everything of the selection rule stays off.
    if (!(listNone && s.TreeRootSelected)) {
        switch (s.Tree) {
            case TObjectKind::Game:
            case TObjectKind::Clone: row = {false, true, false, false, false}; break;
            case TObjectKind::PathObject: row = {true, false, true, true, true}; break;
            // A file of the tree is copied or moved only while the list has no focused row.
            case TObjectKind::File: row = {true, true, true, listNone, true}; break;
            case TObjectKind::CloneRom: row = {true, true, true, true, true}; break;
            default: break;
        }
        if (!listNone) row.play = true;
    }
    SetGroup(states, kRepairGroup, row.repair);
    states.Set(ActPlayGame, row.play);
    SetGroup(states, kPathGroup, row.path);
    SetGroup(states, kCopyGroup, row.copy);
    SetGroup(states, kFileGroup, row.file);
    return states;
}

const std::vector<TActionId>& RuledActions() {
    static const std::vector<TActionId> ids = [] {
        std::vector<TActionId> all(std::begin(kDatafileActions), std::end(kDatafileActions));
        all.insert(all.end(), std::begin(kRepairGroup), std::end(kRepairGroup));
        all.insert(all.end(), std::begin(kPathGroup), std::end(kPathGroup));
        all.insert(all.end(), std::begin(kFileGroup), std::end(kFileGroup));
        std::sort(all.begin(), all.end());
        all.erase(std::unique(all.begin(), all.end()), all.end());
        return all;
    }();
    return ids;
}

}  // namespace qm
