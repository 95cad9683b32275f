// The items of the datafile box from the datafile folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archivemanager.h"
#include "ui/AppTestSupport.h"
#include "ui/commands/DatafileList.h"

using namespace qm;
using namespace qm::apptest;

TEST(AppDatafileListTest, PlainAndZippedDatafilesOnceEachWithTheirRealNames) {
    test::TTempDir dir;
    const std::string folder = dir.Path();
    test::WriteFile(folder + "Mame.DAT", "x");
    WriteZip(folder + "b.zip", {{"mame.dat", "y"}, {"sub/neogeo.dat", "z"}, {"notes.txt", "n"}});
    test::WriteFile(folder + "bad.zip", "not a zip at all");
    test::WriteFile(folder + "readme.txt", "r");
    test::WriteFile(folder + ".dat", "empty name");
    std::filesystem::create_directories(folder + "folder.dat");
    TScriptedUiHooks hooks;
    TScopedUiHooks scoped(hooks);
    TArchiveManager manager;

    const TDatafileList list = ListDatafiles(folder, manager, "NEOGEO");
    // ".dat" first, then b.zip's entries, bad.zip fails, then Mame.DAT, whose text is
    // taken already by b.zip's entry (the first met supplies the item).
    ASSERT_EQ(list.Items.size(), 3u);
    EXPECT_EQ(list.Items[0].Text, "");
    EXPECT_EQ(list.Items[0].FileName, ".dat");
    EXPECT_EQ(list.Items[1].Text, "mame");
    EXPECT_EQ(list.Items[1].FileName, "b.zip");
    EXPECT_EQ(list.Items[1].EntryName, "mame.dat");
    EXPECT_EQ(list.Items[2].Text, "neogeo");
    EXPECT_EQ(list.Items[2].EntryName, "sub/neogeo.dat");
    EXPECT_EQ(list.Selected, 2);
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].text.rfind("Can't extract datafiles from bad.zip.\n", 0), 0u) << hooks.shown[0].text;

    // Without the archive the plain file keeps its real name for the open; the last
    // match wins the selection.
    std::filesystem::remove(folder + "b.zip");
    hooks.shown.clear();
    const TDatafileList plain = ListDatafiles(folder, manager, "mame");
    ASSERT_EQ(plain.Items.size(), 2u);
    EXPECT_EQ(plain.Items[1].Text, "mame");
    EXPECT_EQ(plain.Items[1].FileName, "Mame.DAT");
    EXPECT_FALSE(plain.Items[1].InArchive());
    EXPECT_EQ(plain.Selected, 1);
}

TEST(AppDatafileListTest, AMissingFolderListsNothing) {
    TScriptedUiHooks hooks;
    TScopedUiHooks scoped(hooks);
    TArchiveManager manager;
    const TDatafileList list = ListDatafiles("/nonexistent-quarmelle-folder/", manager, "");
    EXPECT_TRUE(list.Items.empty());
    EXPECT_EQ(list.Selected, -1);
    EXPECT_TRUE(hooks.shown.empty());
}
