// Which commands are enabled for each kind of selection, with and without a datafile.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/commands/ActionStates.h"

namespace qm::test {
namespace {

using enum TActionId;
using K = TObjectKind;

const std::vector<TActionId> kRepair = {ActAdvanced,          ActFixGame,            ActRenameRoms,       ActRenameFiles,
                                        ActImportExternalRom, ActRemoveUselessFiles, ActRemoveUselessRoms};
const std::vector<TActionId> kPath = {ActRemovePath, ActOpenPath};
const std::vector<TActionId> kCopy = {ActCopyFile, ActMoveFile};
const std::vector<TActionId> kFile = {ActDeleteFiles, ActTestFiles, ActReZip,  ActCapitalize,
                                      ActUpperCase,   ActLowerCase, ActDBCase, ActChangeCase};
// Named by the datafile rule only.
const std::vector<TActionId> kDatafileOnly = {ActRefresh, ActRefreshAll, ActAddPath, ActMiss,
                                              ActHave,    ActMissCrc,    ActMissRoms, ActScan};

struct TRowCase {
    const char* what;
    K list, tree;
    bool root;
    bool repair, play, path, copy, file;
};

const TRowCase kRows[] = {
    {"only the games root", K::None, K::GamesList, true, false, false, false, false, false},
    {"games root with a game in the list", K::Game, K::GamesList, true, false, true, false, false, false},
    {"a game", K::None, K::Game, false, false, true, false, false, false},
    {"a game with a clone in the list", K::Clone, K::Game, false, false, true, false, false, false},
    {"a clone", K::None, K::Clone, false, false, true, false, false, false},
    {"a rom path", K::None, K::PathObject, false, true, false, true, true, true},
    {"a rom path with a file in the list", K::File, K::PathObject, false, true, true, true, true, true},
    {"a file", K::None, K::File, false, true, true, true, true, true},
    {"a file with a rom file in the list", K::RomFile, K::File, false, true, true, true, false, true},
    {"a clone rom", K::None, K::CloneRom, false, true, true, true, true, true},
    {"nothing", K::None, K::None, false, false, false, false, false, false},
    {"nothing in the tree, a game in the list", K::Game, K::None, false, false, true, false, false, false},
};

void ExpectGroup(const TActionStates& states, const std::vector<TActionId>& group, bool enabled,
                 const std::string& what) {
    for (TActionId id : group)
        EXPECT_EQ(states.Enabled(id), enabled) << what << ": " << "action " << Index(id);
}

TEST(ActionStatesTest, EachSelectionRowWithAndWithoutDatafile) {
    for (bool datafile : {false, true}) {
        for (const TRowCase& row : kRows) {
            const std::string what = std::string(row.what) + (datafile ? ", datafile" : ", no datafile");
            const TActionStates states = ComputeActionStates({datafile, row.list, row.tree, row.root});
            ExpectGroup(states, kRepair, row.repair, what);
            ExpectGroup(states, kPath, row.path, what);
            ExpectGroup(states, kCopy, row.copy, what);
            ExpectGroup(states, kFile, row.file, what);
            EXPECT_EQ(states.Enabled(ActPlayGame), row.play) << what;
            ExpectGroup(states, kDatafileOnly, datafile, what);
            // Commands the rule does not name are left to their owners.
            ExpectGroup(states, {ActQuit, ActSelectAll, ActDBSets, ActConfiguration, ActGameInfo}, true, what);
        }
    }
}

}  // namespace
}  // namespace qm::test
