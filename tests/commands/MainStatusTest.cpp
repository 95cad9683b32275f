// The status texts of the main window on the small database: the item line for each
// kind of object (and the set mode the rom database is left in), and the panel texts.
#include <optional>
#include <string>

#include "archive/stringsTools.h"
#include "catalogue/Emulator.h"
#include "ui/MainUnitsTestSupport.h"
#include "ui/commands/MainStatus.h"

namespace qm::test {
namespace {

class MainStatusTest : public MainUnitsTest {
protected:
    std::optional<std::string> ListText(const TViewObject& object, int selected = 1) {
        TItemTextSource source;
        source.Object = object;
        source.ListSelectedCount = selected;
        return ItemStatusText(source);
    }
};

TEST_F(MainStatusTest, ItemLineForEachKindOfObject) {
    EXPECT_EQ(ListText(Game("pacman")), "Pac-Man - [pacman]");
    EXPECT_EQ(ListText(Game("mslug")), "Metal Slug - [mslug] - Bios [neogeo] needed");
    EXPECT_EQ(ListText(Game("pacman"), 2), "") << "several items selected";
    EXPECT_EQ(ListText(Clone("puckman")), "Puck Man - [puckman]");
    EXPECT_EQ(ListText(Clone("puckman"), 3), "");
    EXPECT_EQ(ListText(path), "");
    ASSERT_NE(File("puckman.zip")->Clone, nullptr);
    EXPECT_EQ(ListText(File("puckman.zip")), "Puck Man - [puckman]");
    EXPECT_EQ(ListText(File("junk.zip")), "Unknown game");
    EXPECT_EQ(ListText(File("puckman.zip"), 4), "Puck Man - [puckman]") << "a file's line ignores the count";
    EXPECT_EQ(ListText(Clone("puckman")->CloneRoms[0]), std::nullopt) << "a rom keeps the line";
    EXPECT_EQ(ListText(TViewObject()), std::nullopt);
}

TEST_F(MainStatusTest, CloneNamesReadSplitThenTheEmulatorsMode) {
    // In merged mode a clone answers with its parent's names; the line shows its own.
    roms.Split = false;
    EXPECT_EQ(CloneItemText(*Clone("puckman"), false), "Puck Man - [puckman]");
    EXPECT_FALSE(roms.Split);
    EXPECT_EQ(CloneItemText(*Clone("puckman"), true), "Puck Man - [puckman]");
    EXPECT_TRUE(roms.Split) << "restored from the emulator, not from before";
    TItemTextSource source;
    source.Object = File("puckman.zip");
    source.EmulatorSplit = false;
    ItemStatusText(source);
    EXPECT_FALSE(roms.Split);
}

TEST_F(MainStatusTest, TreeLineNamesTheDatafileOnTheRootOnly) {
    TDataFile header;
    header.FileName = "/tmp/work/mame0250.dat";
    header.Author = "The team";
    header.CreditsVersion = "0.250";
    TItemTextSource source;
    source.FromTree = true;
    source.DataFile = &header;
    source.TreeRootSelected = true;
    source.Object = &roms.Games();
    EXPECT_EQ(ItemStatusText(source), "mame0250 - The team - 0.250");
    source.TreeRootSelected = false;
    EXPECT_EQ(ItemStatusText(source), "") << "the tree's other nodes empty the line";
    source.Object = Game("galaga");
    EXPECT_EQ(ItemStatusText(source), "Galaga - [galaga]");
}

TEST_F(MainStatusTest, PanelTexts) {
    TEmulator emulator(*config);
    emulator.SetExe("/usr/games/bin/mame64.exe");
    emulator.SetSplit(true);
    emulator.SetMerge(false);

    TStatusTexts texts = StatusBarTexts(-1, 0, 4096, &emulator);
    EXPECT_EQ(texts.Size, FormatSize(4096)) << "nothing selected: the whole list counts as one";
    EXPECT_EQ(texts.Selected, "1 items selected");
    EXPECT_EQ(texts.Mode, " un-merged ");
    EXPECT_EQ(texts.Emulator, " mame64 ");
    texts = StatusBarTexts(0, 3, 4096, &emulator);
    EXPECT_EQ(texts.Size, "");
    EXPECT_EQ(texts.Selected, "3 items selected");
    texts = StatusBarTexts(5000, 2, 4096, &emulator);
    EXPECT_EQ(texts.Size, FormatSize(5000));

    EXPECT_EQ(ModePanelText(false, true), " merged ");
    EXPECT_EQ(ModePanelText(true, true), " split ");
    EXPECT_EQ(EmulatorPanelText(""), " none ");
    EXPECT_EQ(StatusBarTexts(-1, 0, 0, nullptr).Emulator, " none ");
}

}  // namespace
}  // namespace qm::test
