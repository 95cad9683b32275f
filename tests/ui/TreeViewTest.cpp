// The game and folder tree on a small rom database and a files database over real
// files: roots and their texts and images, game and clone levels, the hand-over to the
// list, rebuilds that keep the focus and the expanded roots, also across a switch of
// the display level, and the reads for the commands.
#include <QAbstractItemModelTester>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QTest>

#include <string>
#include <vector>

#include "TreeListFixture.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;

class TreeViewTest : public TreeListFixture {
protected:
    void SetUp() override {
        TreeListFixture::SetUp();
        Link(tree);
        Link(list);
        tree.SetQmVirtualListView(&list);
        tester = std::make_unique<TModelTesterScope>(tree.Model());
        tree.Rebuild(false);
    }

    QModelIndex Root(int row) const { return tree.Model()->index(row, 0); }
    Strings Texts(const QModelIndex& parent) {
        if (tree.Model()->canFetchMore(parent)) tree.Model()->fetchMore(parent);
        Strings texts;
        for (int i = 0; i < tree.Model()->rowCount(parent); ++i)
            texts.push_back(tree.Model()->Node(tree.Model()->index(i, 0, parent))->Text(0));
        return texts;
    }
    QModelIndex Child(const QModelIndex& parent, const std::string& text) {
        if (tree.Model()->canFetchMore(parent)) tree.Model()->fetchMore(parent);
        for (int i = 0; i < tree.Model()->rowCount(parent); ++i) {
            const QModelIndex index = tree.Model()->index(i, 0, parent);
            if (tree.Model()->Node(index)->Text(0) == text) return index;
        }
        return {};
    }
    void Select(const QModelIndex& index) {
        ASSERT_TRUE(index.isValid());
        tree.selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
    std::string Selected() const { return tree.SelectedString(); }

    TQMVirtualListView list;
    TQMVirtualTreeView tree;
    std::unique_ptr<TModelTesterScope> tester;

    void TearDown() override {
        EXPECT_TRUE(tester->Failures().isEmpty()) << tester->Failures().join("\n").toStdString();
        tester.reset();
        TreeListFixture::TearDown();
    }
};

TEST_F(TreeViewTest, RootsAreTheGamesThenEachRomPathInOrder) {
    EXPECT_EQ(tree.Model()->RootNodeCount(), 2);
    EXPECT_EQ(tree.Model()->Node(Root(0))->Text(0), "Games database");
    EXPECT_EQ(tree.Model()->Node(Root(0))->Record.ImageIndex, 24);
    EXPECT_EQ(tree.Model()->Node(Root(1))->Text(0), path->GetPath()) << "a fixed disk shows the bare path";
    EXPECT_EQ(tree.Model()->Node(Root(1))->Record.ImageIndex, path->IsReadOnly() ? 23 : 22);

    TTempDir third;
    TPath* usb = files.AddPath(usbDir.Path(), "", "");
    files.AddPath(third.Path(), "", "");
    tree.Rebuild(false);
    ASSERT_EQ(tree.Model()->RootNodeCount(), 4);
    EXPECT_EQ(tree.Model()->Node(Root(2))->Text(0), "[USBKEY] " + usb->GetPath());
    EXPECT_EQ(tree.Model()->Node(Root(3))->Text(0), third.Path());
    EXPECT_EQ(tree.PathObjects().size(), 3u);

    files.ClearPaths();
    tree.Rebuild(false);
    EXPECT_EQ(tree.Model()->RootNodeCount(), 1) << "with no rom path the games root stands alone";
}

TEST_F(TreeViewTest, GamesWithTheirClonesAndFilesUnderTheirPath) {
    EXPECT_EQ(Texts(Root(0)), (Strings{"Galaga", "Metal Slug", "Neo Geo BIOS", "Pac-Man", "Xevious 1982"}));
    const QModelIndex pacman = Child(Root(0), "Pac-Man");
    const QModelIndex galaga = Child(Root(0), "Galaga");
    EXPECT_TRUE(tree.Model()->hasChildren(pacman));
    EXPECT_EQ(Texts(pacman), (Strings{"Pac-Man", "Puck Man"}));
    EXPECT_EQ(tree.Model()->Node(pacman)->Record.ImageIndex, Game("pacman")->GetStatus());
    EXPECT_EQ(tree.Model()->Node(Child(pacman, "Puck Man"))->Record.ImageIndex, Clone("puckman")->GetStatus());
    EXPECT_EQ(Texts(galaga), (Strings{"Galaga"})) << "a game of one set lists that set";

    EXPECT_EQ(Texts(Root(1)), (Strings{"galaga", "junk.zip", "pacman.zip", "puckman.zip", "readme.txt", "xevious.zip"}));
    const QModelIndex zip = Child(Root(1), "pacman.zip");
    EXPECT_EQ(tree.Model()->Node(zip)->Record.ImageIndex, File("pacman.zip")->GetImageIndex());
    EXPECT_FALSE(tree.Model()->hasChildren(zip));

    tree.SetDisplayLevel(dlClones);
    tree.Rebuild(false);
    EXPECT_EQ(Texts(Root(0)), (Strings{"Galaga", "Metal Slug", "Neo Geo BIOS", "Pac-Man", "Puck Man", "Xevious 1982"}));
    EXPECT_FALSE(tree.Model()->hasChildren(Child(Root(0), "Pac-Man")));
}

TEST_F(TreeViewTest, SelectingANodeHandsItsObjectToTheList) {
    int changes = 0;
    tree.OnSelectionChange = [&] { ++changes; };
    Select(Root(0));
    EXPECT_EQ(ObjectAs<TGamesList>(list.ShownObject()), &roms.Games());
    EXPECT_EQ(list.Layout(), hlGames);
    EXPECT_EQ(list.Model()->RootNodeCount(), 5);
    Select(Root(1));
    EXPECT_EQ(ObjectAs<TPath>(list.ShownObject()), path);
    EXPECT_EQ(list.Layout(), hlFiles);
    EXPECT_NE(ObjectAs<TPathObject>(tree.GetFocusedObject()), nullptr) << "the tree keeps its path object";
    EXPECT_EQ(tree.GetFocusedPath(), path);
    TNamedFiles filesOut;
    tree.GetFilesOfFocused(filesOut);
    EXPECT_EQ(filesOut.size(), 6u);
    TNamedRomFiles romFiles;
    tree.GetRomFilesOfFocused(romFiles);
    EXPECT_GE(romFiles.size(), 7u);

    Select(Child(Root(1), "xevious.zip"));
    EXPECT_EQ(ObjectAs<TFile>(list.ShownObject()), File("xevious.zip"));
    EXPECT_EQ(list.Layout(), hlRomFiles);
    tree.GetRomFilesOfFocused(romFiles);
    ASSERT_EQ(romFiles.size(), 1u);
    EXPECT_EQ(romFiles[0].first, "xv1.bin");
    EXPECT_EQ(tree.GetFocusedPath(), path);

    Select(Child(Child(Root(0), "Pac-Man"), "Puck Man"));
    EXPECT_EQ(ObjectAs<TClone>(list.ShownObject()), Clone("puckman"));
    EXPECT_EQ(tree.GetFocusedPath(), nullptr);
    EXPECT_EQ(changes, 4);

    TCloneItems clones;
    tree.ListClones(clones, "report");
    EXPECT_EQ(static_cast<int>(clones.size()), shownClones.Count());
    EXPECT_EQ(clones.front().first, "report");
}

TEST_F(TreeViewTest, RebuildsKeepTheFocusAcrossDisplayLevelsAndTheExpandedRoots) {
    Select(Child(Root(0), "Pac-Man"));
    tree.Rebuild(true);
    EXPECT_EQ(Selected(), "Pac-Man");
    EXPECT_EQ(ObjectAs<TGame>(tree.GetFocusedObject()), Game("pacman"));
    EXPECT_EQ(ObjectAs<TGame>(list.ShownObject()), Game("pacman")) << "the list shows its children again";

    // Games to clones: the game's parent clone; the clone of a game stays itself.
    tree.SetDisplayLevel(dlClones);
    tree.Rebuild(true);
    EXPECT_EQ(ObjectAs<TClone>(tree.GetFocusedObject()), Clone("pacman"));
    Select(Child(Root(0), "Puck Man"));
    // Clones to games: the clone's game is expanded and the clone selected.
    tree.SetDisplayLevel(dlGames);
    tree.Rebuild(true);
    EXPECT_EQ(ObjectAs<TClone>(tree.GetFocusedObject()), Clone("puckman"));
    EXPECT_TRUE(tree.isExpanded(Child(Root(0), "Pac-Man")));
    EXPECT_EQ(tree.FocusRootText(), "Games database");
    // A clone under its game goes back to being the clone itself.
    tree.SetDisplayLevel(dlClones);
    tree.Rebuild(true);
    EXPECT_EQ(ObjectAs<TClone>(tree.GetFocusedObject()), Clone("puckman"));

    // Expanded roots come back, the others are collapsed.
    tree.expand(Root(1));
    tree.collapse(Root(0));
    tree.Rebuild(true);
    EXPECT_TRUE(tree.isExpanded(Root(1)));
    EXPECT_FALSE(tree.isExpanded(Root(0)));

    // A file is found again by its name, in a files list made anew.
    Select(Child(Root(1), "readme.txt"));
    tree.Rebuild(true);
    EXPECT_EQ(Selected(), "readme.txt");
    EXPECT_EQ(ObjectAs<TFile>(tree.GetFocusedObject()), File("readme.txt"));

    tree.Rebuild(false);
    EXPECT_TRUE(IsNilObject(tree.GetFocusedObject()));
}

TEST_F(TreeViewTest, FocusObjectSelectsAndExpandsTheFirstNodeOfIt) {
    tree.FocusObject(Clone("puckman"));
    EXPECT_EQ(ObjectAs<TClone>(tree.GetFocusedObject()), Clone("puckman"));
    EXPECT_TRUE(tree.isExpanded(Child(Root(0), "Pac-Man")));
    tree.FocusObject(File("junk.zip"));
    EXPECT_EQ(ObjectAs<TFile>(tree.GetFocusedObject()), File("junk.zip"));
    tree.FocusObject(static_cast<TGame*>(nullptr));
    EXPECT_EQ(ObjectAs<TFile>(tree.GetFocusedObject()), File("junk.zip")) << "nothing happens for no object";
}

TEST_F(TreeViewTest, ARemovedFileStaysInNoNodeNorInTheList) {
    Select(Root(1));
    ASSERT_TRUE(Child(Root(1), "junk.zip").isValid());
    const int rows = list.Model()->RootNodeCount();
    TFile* junk = File("junk.zip");
    tree.RemoveFile(junk);
    EXPECT_TRUE(IsNilObject(tree.Model()->Node(Child(Root(1), "junk.zip"))->Record.Object));
    EXPECT_EQ(list.Model()->RootNodeCount(), rows - 1);
    EXPECT_EQ(tree.PathObjects()[0]->Files.IndexOfObject(junk), -1);
}

TEST_F(TreeViewTest, AFileDroppedFromItsPathLeavesTheFocusOnThePath) {
    files.OnRemoveFile = [this](TFile* file) { tree.RemoveFile(file); };
    Select(Child(Root(1), "junk.zip"));
    path->DropFile(File("junk.zip"));
    tree.Rebuild(true);
    EXPECT_EQ(ObjectAs<TPathObject>(tree.GetFocusedObject())->Path, path) << "the file's root is focused";
    EXPECT_FALSE(Child(Root(1), "junk.zip").isValid());
    EXPECT_EQ(ObjectAs<TPath>(list.ShownObject()), path);
}

struct TDropTarget : TQMVirtualTreeView {
    using TQMVirtualTreeView::dropEvent;
};

TEST(TreeViewDrop, DroppedLocalFilesGoToTheMainWindow) {
    TDropTarget tree;
    std::vector<std::string> dropped;
    tree.OnDropFiles = [&](const std::vector<std::string>& names) { dropped = names; };
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/tmp/roms/a.zip"), QUrl("http://example.com/x")});
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    tree.dropEvent(&drop);
    // The link goes on too: the main window refuses a drop that is not all folders.
    EXPECT_EQ(dropped, (std::vector<std::string>{"/tmp/roms/a.zip", "http://example.com/x"}));
}

}  // namespace
}  // namespace qm::test
