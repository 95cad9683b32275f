// What the preferences hand to the files database and its archive manager.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/archivemanager.h"
#include "filesdb/filesBd.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "ui/commands/OptionsFilesBd.h"
#include "ui/commands/OptionsModel.h"

using namespace qm;

TEST(OptionsFilesBdTest, WorkSettingsReachTheDatabaseAndItsManager) {
    TArchiveManager manager;
    TFilesBd bd;
    bd.SetArchiveManager(&manager);
    ApplyWorkSettings(&bd, &manager, "/work/a/", 3);
    EXPECT_EQ(bd.TempDir(), "/work/a/");
    EXPECT_EQ(bd.CompressionLevel(), 3);
    EXPECT_EQ(manager.TempDir, "/work/a/");
    EXPECT_EQ(manager.CompressionLevel, 3);
    // No private folder could be made: the working folder stays, the level changes.
    ApplyWorkSettings(&bd, &manager, "", 7);
    EXPECT_EQ(bd.TempDir(), "/work/a/");
    EXPECT_EQ(manager.CompressionLevel, 7);
    // The manager alone.
    TArchiveManager alone;
    ApplyWorkSettings(nullptr, &alone, "/work/b/", 1);
    EXPECT_EQ(alone.TempDir, "/work/b/");
    EXPECT_EQ(alone.CompressionLevel, 1);
}

TEST(OptionsFilesBdTest, NamingRulesAndRomPaths) {
    qm::test::TTempDir dir;
    TFilesBd bd;
    ApplyNamingRules(bd, coUppercase, coCapitalize, true);
    EXPECT_EQ(bd.FileCaseOptions, coUppercase);
    EXPECT_EQ(bd.RomFileCaseOptions, coCapitalize);
    EXPECT_TRUE(bd.PlugInSuggeredExtension);
    ApplyNamingRules(bd, 9, -1, false);  // codes out of range: names stay as they are
    EXPECT_EQ(bd.FileCaseOptions, coDontCare);
    EXPECT_EQ(bd.RomFileCaseOptions, coDontCare);
    EXPECT_FALSE(bd.PlugInSuggeredExtension);
    EXPECT_EQ(CaseSample("Golden sun (f).zip", 9), "Golden sun (f).zip");

    const std::string roms = dir.Path() + "roms/";
    ASSERT_EQ(MakeDirs(roms), 0);
    bd.Paths().CachePath = dir.Path();
    ASSERT_NE(bd.AddPath(roms, "1234-abcd", "ROMDISK"), nullptr);
    EXPECT_EQ(FilesBdRomPaths(bd), std::vector<std::string>{roms});
    // The database's rom paths take part in the folder checks.
    TOptions o;
    o.TempPath = dir.Path() + "roms/tmp/";
    ASSERT_EQ(MakeDirs(o.TempPath), 0);
    EXPECT_EQ(CheckOptions(o, FilesBdRomPaths(bd)).Field, TOptionsField::TempPath);
}
