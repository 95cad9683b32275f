// The game, rom and file list on a small rom database and a files database over real
// files: layouts per class, row texts, images and colours, header sorting, typed search,
// selection reads, refills and the column widths in an ini file.
#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include <string>
#include <vector>

#include "TreeListFixture.h"
#include "archive/stringsTools.h"
#include "ui/SkinLoader.h"
#include "ui/commands/TextConv.h"
#include "ui/views/QMVirtualListView.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;

class ListViewTest : public TreeListFixture {
protected:
    void SetUp() override {
        TreeListFixture::SetUp();
        Link(list);
        tester = std::make_unique<TModelTesterScope>(list.Model());
        list.resize(900, 400);
    }

    Strings Column(int column) const {
        Strings texts;
        for (const auto& node : list.Model()->Root().Children) texts.push_back(list.GetCellText(node.get(), column));
        return texts;
    }
    Strings Captions() const {
        Strings captions;
        for (int i = 0; i < TQMVirtualListView::kColumnCount; ++i)
            if (!list.header()->isSectionHidden(i))
                captions.push_back(ui::FromQ(list.Model()->headerData(i, Qt::Horizontal).toString()));
        return captions;
    }
    const TViewNode* Row(const std::string& text) const {
        for (const auto& node : list.Model()->Root().Children)
            if (node->Text(0) == text) return node.get();
        return nullptr;
    }
    void SelectRow(const std::string& text) {
        const QModelIndex index = list.Model()->IndexOf(Row(text));
        ASSERT_TRUE(index.isValid()) << text;
        list.selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    TQMVirtualListView list;
    std::unique_ptr<TModelTesterScope> tester;

    void TearDown() override {
        EXPECT_TRUE(tester->Failures().isEmpty()) << tester->Failures().join("\n").toStdString();
        tester.reset();
        TreeListFixture::TearDown();
    }
};

TEST_F(ListViewTest, LayoutFollowsTheClassOfTheObjectShown) {
    struct TRow {
        TViewObject object;
        TDisplayLevel level;
        THeaderLayout layout;
        Strings captions;
    };
    const std::vector<TRow> rows = {
        {&roms.Games(), dlGames, hlGames, {"Game name", "File name", "Size", "# of clones"}},
        {&roms.Games(), dlClones, hlClones, {"Game name", "File name", "Size", "main set", "# of roms"}},
        {Game("pacman"), dlGames, hlClones, {"Game name", "File name", "Size", "main set", "# of roms"}},
        {Clone("puckman"), dlGames, hlClonesRoms, {"Rom name", "Signature", "Size", "Can be merged"}},
        {path, dlGames, hlFiles, {"File name", "Game name", "Size", "# of roms", "Infos"}},
        {File("pacman.zip"), dlGames, hlRomFiles, {"Rom name", "Signature", "Size", "Infos"}},
    };
    for (const TRow& row : rows) {
        list.Clear();
        list.SetDisplayLevel(row.level);
        list.SetParentObject(row.object);
        EXPECT_EQ(list.Layout(), row.layout);
        EXPECT_EQ(Captions(), row.captions);
        EXPECT_GT(list.Model()->RootNodeCount(), 0);
    }
    // Another class keeps the layout it has.
    list.SetParentObject(static_cast<TRomFile*>(File("pacman.zip")->RomFiles[0]));
    EXPECT_EQ(list.Layout(), hlRomFiles);
    EXPECT_EQ(list.Model()->RootNodeCount(), 0);
}

TEST_F(ListViewTest, RowTextsImagesAndColoursOfEachClass) {
    const TImageList flags = DefaultFlagList();
    list.SetImages(&flags, false);

    list.SetParentObject(&roms.Games());
    EXPECT_EQ(Column(0), (Strings{"Galaga", "Metal Slug", "Neo Geo BIOS - bios", "Pac-Man", "Xevious 1982"}));
    EXPECT_EQ(Column(1), (Strings{"galaga", "mslug", "neogeo", "pacman", "xevious"}));
    EXPECT_EQ(Column(2), (Strings{FormatSize(32), FormatSize(16), FormatSize(16), FormatSize(64), FormatSize(16)}));
    EXPECT_EQ(Column(3), (Strings{"1", "1", "1", "2", "1"}));
    EXPECT_EQ(Row("Pac-Man")->Record.ImageIndex, Game("pacman")->GetStatus());
    EXPECT_EQ(Row("Galaga")->Record.ImageIndex, 1);
    EXPECT_EQ(list.GetCellText(Row("Galaga"), 7), "???");
    EXPECT_EQ(list.GetCellText(nullptr, 0), "???");
    const QModelIndex galaga = list.Model()->IndexOf(Row("Galaga"));
    EXPECT_FALSE(list.Model()->data(galaga, Qt::DecorationRole).isNull());
    EXPECT_TRUE(list.Model()->data(galaga.siblingAtColumn(1), Qt::DecorationRole).isNull());

    list.SetParentObject(Game("pacman"));
    EXPECT_EQ(Column(0), (Strings{"Pac-Man", "Puck Man"}));
    EXPECT_EQ(Column(1), (Strings{"pacman", "puckman"}));
    EXPECT_EQ(Column(3), (Strings{"main", "clone"}));
    EXPECT_EQ(Column(4), (Strings{"2", "2"}));

    // Roms of a clone: a rom of the parent set or of a bios set says where it comes from.
    list.SetParentObject(Clone("puckman"));
    EXPECT_EQ(Column(0), (Strings{"pk2.bin", "pm1.bin"}));
    EXPECT_EQ(Column(1), (Strings{ViewCrc("C"), ViewCrc("A")}));
    EXPECT_EQ(Column(3), (Strings{"", "rom from pacman"}));
    EXPECT_FALSE(Row("pm1.bin")->Record.Color.isValid()) << "merged roms are not coloured while MergeRoms is off";
    // With the list's Merged on and merged roms shown, the parent's rom is coloured.
    roms.ShowMerged = true;
    list.Merged = true;
    list.RefreshItems();
    ASSERT_NE(Row("pm1.bin"), nullptr);
    EXPECT_EQ(Row("pm1.bin")->Record.Color, QColor(239, 239, 239));
    EXPECT_FALSE(Row("pk2.bin")->Record.Color.isValid());
    EXPECT_FALSE(roms.MergeRoms) << "the list's own mode lasts only while it reads";
    roms.ShowMerged = false;
    list.Merged = false;
    roms.MergeResources = true;
    roms.ShowResources = true;
    list.SetParentObject(Clone("mslug"));
    EXPECT_EQ(Column(0), (Strings{"bios.rom", "ms1.bin"}));
    EXPECT_EQ(Column(3), (Strings{"bios from neogeo", ""}));
    ASSERT_NE(Row("bios.rom"), nullptr);
    EXPECT_EQ(Row("bios.rom")->Record.Color, QColor(230, 247, 255));
    EXPECT_EQ(list.Model()->data(list.Model()->IndexOf(Row("bios.rom")), Qt::BackgroundRole).value<QColor>(),
              QColor(230, 247, 255));
    EXPECT_FALSE(Row("ms1.bin")->Record.Color.isValid());
    roms.MergeResources = false;
    roms.ShowResources = false;

    list.SetParentObject(Clone("neogeo"));
    EXPECT_EQ(Column(3), (Strings{"bios"}));

    list.SetParentObject(path);
    EXPECT_EQ(Column(0), (Strings{"galaga", "junk.zip", "pacman.zip", "puckman.zip", "readme.txt", "xevious.zip"}));
    EXPECT_EQ(Column(1), (Strings{"Galaga", "", "Pac-Man", "Puck Man", "", "Xevious 1982"}));
    EXPECT_EQ(Column(3), (Strings{"1", "1", "2", "1", "1", "1"}));
    EXPECT_EQ(list.GetCellText(Row("pacman.zip"), 4), File("pacman.zip")->GetStatusText());
    EXPECT_EQ(Row("pacman.zip")->Record.ImageIndex, File("pacman.zip")->GetImageIndex());
    EXPECT_EQ(Row("galaga")->Record.ImageIndex, File("galaga")->GetImageIndex());

    list.SetParentObject(File("xevious.zip"));
    EXPECT_EQ(Column(0), (Strings{"sub/xv1.bin"})) << "the name as stored, with its folder";
    EXPECT_EQ(Column(2), (Strings{FormatSize(16)}));
    EXPECT_EQ(Column(3), (Strings{File("xevious.zip")->RomFiles[0]->GetStatusText()}));
    EXPECT_EQ(TQMVirtualListView::GetStatusText(File("xevious.zip")->RomFiles[0]),
              File("xevious.zip")->RomFiles[0]->GetStatusText());
    EXPECT_EQ(TQMVirtualListView::GetStatusText(Game("pacman")), "");
}

TEST_F(ListViewTest, HeaderClicksSortByValueAndToggleTheDirection) {
    TFile* sizes = path->NewFile("sizes.zip", fkZip, false);
    for (const auto& [name, size] : std::vector<std::pair<std::string, int64_t>>{{"a", 10}, {"b", 9}, {"c", 100}})
        sizes->AddRomFile(name, "0000000" + name, 0, size, "");
    list.SetParentObject(sizes);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QHeaderView* header = list.header();
    auto click = [&](int section) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(section) + 5, header->height() / 2));
    };
    click(2);
    EXPECT_EQ(Column(0), (Strings{"b", "a", "c"})) << "9 before 10";
    EXPECT_EQ(header->sortIndicatorSection(), 2);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    click(2);
    EXPECT_EQ(Column(0), (Strings{"c", "a", "b"}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    click(0);
    EXPECT_EQ(Column(0), (Strings{"a", "b", "c"})) << "another column starts ascending";

    // Main sets first, the order among equals kept.
    list.SetDisplayLevel(dlClones);
    list.SetParentObject(&roms.Games());
    list.DoHeaderClick(1);
    list.DoHeaderClick(3);
    EXPECT_EQ(Column(1), (Strings{"galaga", "mslug", "neogeo", "pacman", "xevious", "puckman"}));
    list.DoHeaderClick(3);
    EXPECT_EQ(Column(1), (Strings{"puckman", "galaga", "mslug", "neogeo", "pacman", "xevious"}));
}

TEST_F(ListViewTest, TypedLettersSelectTheFirstRowThatBeginsWithThem) {
    list.SetParentObject(path);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    list.setFocus();
    QTest::keyClicks(&list, "pu");
    EXPECT_EQ(list.SelectedString(), "puckman.zip");
    TNamedFiles selected;
    list.GetSelectedFiles(selected);
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0].second, File("puckman.zip"));
}

TEST_F(ListViewTest, SelectionReadsAndSelectOperations) {
    list.SetParentObject(path);
    EXPECT_TRUE(list.SelectionEmpty());
    EXPECT_EQ(list.GetSelectedSize(), -1);
    EXPECT_EQ(list.SelectMainSets(), 3);  // pacman.zip, galaga, xevious.zip
    EXPECT_EQ(list.SelectClones(), 1);    // puckman.zip
    TNamedRomFiles romFiles;
    list.GetSelectedRomFiles(romFiles);
    ASSERT_EQ(romFiles.size(), 2u);  // its own rom and the place of the missing one
    EXPECT_EQ(romFiles[0].first, "pk2.bin");
    EXPECT_EQ(romFiles[1].second->File, File("puckman.zip"));
    EXPECT_EQ(list.GetSelectedSize(), File("puckman.zip")->GetRomsSize());

    list.SetParentObject(File("xevious.zip"));
    list.selectAll();
    list.GetSelectedRomFiles(romFiles);
    ASSERT_EQ(romFiles.size(), 1u);
    EXPECT_EQ(romFiles[0].first, "xv1.bin") << "under the name without its folder";
    TNamedFiles filesOut;
    list.GetSelectedFiles(filesOut);
    ASSERT_EQ(filesOut.size(), 1u);
    EXPECT_EQ(filesOut[0].second, File("xevious.zip"));

    list.SetParentObject(&roms.Games());
    EXPECT_EQ(list.SelectMainSets(), 5);
    EXPECT_EQ(list.SelectNoGoodDump(), 0);
    TViewObjects objects;
    list.SelectMainSets();
    list.GetSelectedObjects(objects);
    EXPECT_EQ(objects.size(), 5u);
    EXPECT_EQ(list.GetSelectedSize(), 32 + 16 + 16 + 64 + 16);
}

TEST_F(ListViewTest, RefillsKeepTheSelectedSetAndTheSameObjectIsNotShownAgain) {
    int changes = 0;
    list.OnSelectionChange = [&] { ++changes; };
    list.SetParentObject(&roms.Games());
    SelectRow("Pac-Man");
    EXPECT_GT(changes, 0);
    QSignalSpy resets(list.Model(), &QAbstractItemModel::modelReset);
    list.SetParentObject(&roms.Games());
    EXPECT_EQ(resets.count(), 0) << "asking for the object shown does not refill";

    // Games to clones: the game's parent clone is selected; and back.
    list.SetDisplayLevel(dlClones);
    list.Clear();
    list.SetParentObject(&roms.Games());
    SelectRow("Pac-Man");
    list.RefreshItems();
    ASSERT_TRUE(ObjectAs<TClone>(list.GetFocusedObject()) != nullptr);
    EXPECT_EQ(ObjectAs<TClone>(list.GetFocusedObject()), Clone("pacman"));
    list.SetDisplayLevel(dlGames);
    list.Clear();
    list.SetParentObject(&roms.Games());
    SelectRow("Galaga");
    list.SetDisplayLevel(dlClones);
    list.RefreshItems();
    EXPECT_EQ(ObjectAs<TClone>(list.GetFocusedObject()), Clone("galaga"));
    list.SetDisplayLevel(dlGames);
    const TViewObject shown = list.ShownObject();
    list.Clear();
    list.SetParentObject(shown);
    EXPECT_TRUE(IsNilObject(list.GetFocusedObject()));

    // A request made while the list refreshes waits, then is shown.
    list.Refreshing = true;
    list.SetParentObject(path);
    EXPECT_EQ(list.Layout(), hlGames);
    list.Refreshing = false;
    list.ShowObject();
    EXPECT_EQ(list.Layout(), hlFiles);
}

TEST_F(ListViewTest, RemovedFilesLeaveNoRow) {
    list.SetParentObject(path);
    const int before = list.Model()->RootNodeCount();
    list.RemoveFile(File("junk.zip"));
    EXPECT_EQ(list.Model()->RootNodeCount(), before - 1);
    EXPECT_EQ(Row("junk.zip"), nullptr);
    list.SetParentObject(File("pacman.zip"));
    TRomFile* pm1 = nullptr;
    for (int i = 0; i < File("pacman.zip")->RomFiles.Count(); ++i)
        if (File("pacman.zip")->RomFiles[i]->Name() == "pm1.bin") pm1 = File("pacman.zip")->RomFiles[i];
    list.RemoveRomFile(pm1);
    EXPECT_EQ(Column(0), (Strings{"pm2.bin"}));
    list.RemoveFile(File("pacman.zip"));
    EXPECT_TRUE(IsNilObject(list.ShownObject()));
    EXPECT_EQ(list.Model()->RootNodeCount(), 0);
}

TEST_F(ListViewTest, ColumnWidthsRoundTripThroughTheIniFile) {
    TTempDir home;
    const std::string ini = home / "quarmelle.ini";
    list.IniFileName = ini;
    EXPECT_EQ(list.SaveColumnWidths(), 0);
    EXPECT_FALSE(FileExists(ini)) << "nothing is written before a load";

    list.LoadColumnWidths("mame [64]");
    EXPECT_EQ(list.ColumnSection(), "mame {{64}}");
    EXPECT_EQ(list.SizeWidth, 70);
    EXPECT_FALSE(FileExists(ini)) << "defaults are not written on reading";

    list.SetParentObject(path);  // hlFiles
    list.header()->resizeSection(2, 123);
    list.header()->resizeSection(3, 20);
    EXPECT_EQ(list.header()->sectionSize(3), 65) << "the minimum holds";
    list.SetParentObject(Clone("pacman"));  // hlClonesRoms: "Size" shares its slot
    EXPECT_EQ(list.header()->sectionSize(2), 123);
    list.header()->resizeSection(0, 150);  // RomNameWidth
    const int rowsBefore = list.Model()->RootNodeCount();
    EXPECT_EQ(list.SaveColumnWidths(), 0);
    EXPECT_EQ(list.Model()->RootNodeCount(), rowsBefore) << "saving keeps the rows";

    const std::string text = ReadFile(ini);
    EXPECT_NE(text.find("[mame {{64}}]"), std::string::npos) << text;
    const size_t game = text.find("GameWidth=280"), rom = text.find("RomNameWidth=150"),
                 file = text.find("FileNameWidth=110");
    ASSERT_NE(game, std::string::npos);
    ASSERT_NE(rom, std::string::npos);
    EXPECT_TRUE(game < rom && rom < file) << text;
    EXPECT_NE(text.find("SizeWidth=123"), std::string::npos);
    EXPECT_NE(text.find("NbOfRomsWidth=65"), std::string::npos);

    TQMVirtualListView other;
    other.IniFileName = ini;
    other.LoadColumnWidths("mame [64]");
    EXPECT_EQ(other.SizeWidth, 123);
    EXPECT_EQ(other.RomNameWidth, 150);
    EXPECT_EQ(other.header()->sectionSize(2), 123);
    TQMVirtualListView fresh;
    fresh.IniFileName = ini;
    fresh.LoadColumnWidths("neogeo");
    EXPECT_EQ(fresh.SizeWidth, 70);
    EXPECT_EQ(fresh.header()->sectionSize(0), 280);
}

}  // namespace
}  // namespace qm::test
