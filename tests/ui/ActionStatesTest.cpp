// Which commands are enabled for each kind of selection, with and without a datafile,
// and the reading of that selection from the two views.
#include <QAction>
#include <QObject>

#include <string>
#include <vector>

#include "TreeListFixture.h"
#include "ui/ActionStates.h"
#include "ui/MainActions.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

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
        EXPECT_EQ(states.Enabled(id), enabled) << what << ": " << ActionDef(id).Name;
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

TEST(ActionStatesTest, ApplyChangesOnlyTheRuledActions) {
    QObject owner;
    TMainActions actions(&owner);
    actions.Action(ActQuit)->setEnabled(false);
    ApplyActionStates(actions, ComputeActionStates({false, K::None, K::PathObject, false}));
    EXPECT_FALSE(actions.Action(ActRefresh)->isEnabled());
    EXPECT_TRUE(actions.Action(ActFixGame)->isEnabled()) << "the selection rule overrides the datafile rule";
    EXPECT_TRUE(actions.Action(ActCopyFile)->isEnabled());
    EXPECT_FALSE(actions.Action(ActPlayGame)->isEnabled());
    EXPECT_FALSE(actions.Action(ActQuit)->isEnabled()) << "not the rule's";
    ApplyActionStates(actions, ComputeActionStates({true, K::None, K::Game, false}));
    EXPECT_TRUE(actions.Action(ActRefresh)->isEnabled());
    EXPECT_FALSE(actions.Action(ActFixGame)->isEnabled());
    EXPECT_TRUE(actions.Action(ActPlayGame)->isEnabled());
}

class ActionSelectionTest : public TreeListFixture {
protected:
    void SetUp() override {
        TreeListFixture::SetUp();
        Link(tree);
        Link(list);
        tree.SetQmVirtualListView(&list);
        tree.Rebuild(false);
    }
    void Select(TCustomQMVirtualView& view, const QModelIndex& index) {
        ASSERT_TRUE(index.isValid());
        view.selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QModelIndex Row(TCustomQMVirtualView& view, int row, const QModelIndex& parent = {}) {
        if (view.Model()->canFetchMore(parent)) view.Model()->fetchMore(parent);
        return view.Model()->index(row, 0, parent);
    }

    TQMVirtualListView list;
    TQMVirtualTreeView tree;
};

TEST_F(ActionSelectionTest, KindsOfTheFocusedObjectsOfBothViews) {
    Select(tree, Row(tree, 0));
    TActionSelection s = SelectionOfViews(true, &tree, &list);
    EXPECT_TRUE(s.DatafileSelected);
    EXPECT_EQ(s.Tree, K::GamesList);
    EXPECT_TRUE(s.TreeRootSelected);
    EXPECT_EQ(s.List, K::None);

    Select(list, Row(list, 0));
    s = SelectionOfViews(false, &tree, &list);
    EXPECT_FALSE(s.DatafileSelected);
    EXPECT_EQ(s.List, K::Game);
    EXPECT_TRUE(s.TreeRootSelected);

    Select(tree, Row(tree, 0, Row(tree, 0)));
    s = SelectionOfViews(true, &tree, &list);
    EXPECT_EQ(s.Tree, K::Game);
    EXPECT_FALSE(s.TreeRootSelected);

    Select(tree, Row(tree, 1));
    s = SelectionOfViews(true, &tree, &list);
    EXPECT_EQ(s.Tree, K::PathObject);
    EXPECT_FALSE(s.TreeRootSelected);
    Select(tree, Row(tree, 0, Row(tree, 1)));
    EXPECT_EQ(SelectionOfViews(true, &tree, &list).Tree, K::File);

    EXPECT_EQ(SelectionOfViews(true, nullptr, nullptr).Tree, K::None);
    EXPECT_EQ(KindOf(TViewObject(static_cast<TGame*>(nullptr))), K::None) << "a null object is none";
}

}  // namespace
}  // namespace qm::test
