// Repairs of whole files: what the data-driven cases cannot express (volumes that
// ignore case, objects that are not where they should be, missing files).
#include <gtest/gtest.h>

#include <cerrno>

#include "archive/stringsTools.h"
#include "filesBdTestSupport.h"
#include "filesdb/RepairSupport.h"
#include "platform/FileSystem.h"

namespace qm {
namespace {

using test::TFilesBdFixture;
using test::WriteFile;

constexpr const char* kCatalogue = "pacman|pacman|pm1.bin|11111111|4|\npacman|pacman|pm2.bin|22222222|4|\n";

// A volume that ignores case, as vfat does: a rename onto a name that differs only in
// case from an existing entry finds that entry.
class TCaseBlindFileSystem : public TRealFileSystem {
public:
    int renames = 0;
    int RenameNoReplace(const std::string& from, const std::string& to) override {
        ++renames;
        if (from != to && SameText(from, to)) return EEXIST;
        return TRealFileSystem::RenameNoReplace(from, to);
    }
};

TEST(RepairTest, CaseOnlyRenameOnACaseBlindVolumeGoesThroughAFreeName) {
    TFilesBdFixture fx(kCatalogue);
    WriteFile(fx.dir / "PacMan/pm1.bin", "abcd");
    TFile* folder = fx.Folder("PacMan");
    folder->AddRomFile("pm1.bin", "11111111", 0, 4, "");
    TCaseBlindFileSystem blind;
    TScopedFileSystem scope(blind);
    ASSERT_TRUE(folder->Rename("pacman"));
    EXPECT_EQ(blind.renames, 3);
    EXPECT_EQ(test::ReadFile(fx.dir / "pacman/pm1.bin"), "abcd");
    EXPECT_FALSE(test::FileExists(fx.dir / "PacMan/pm1.bin"));
    EXPECT_EQ(folder->FullPath, fx.dir / "pacman/");
    EXPECT_EQ(fx.path->Files().Find("pacman"), folder);
    EXPECT_EQ(fx.path->Files().Find("PacMan"), nullptr);
}

TEST(RepairTest, CaseOnlyRomRenamesOnACaseBlindVolumeForPlainFilesAndFolderMembers) {
    TFilesBdFixture fx(kCatalogue);
    WriteFile(fx.dir / "PM1.BIN", "abcd");
    WriteFile(fx.dir / "pacman/PM2.BIN", "efgh");
    WriteFile(fx.dir / "pacman/PM1.BIN", "abcd");
    TFile* plain = fx.Plain("PM1.BIN");
    TRomFile* plainRom = plain->AddRomFile("PM1.BIN", "11111111", 0, 4, "");
    TFile* folder = fx.Folder("pacman");
    TRomFile* member = folder->AddRomFile("PM2.BIN", "22222222", 0, 4, "");
    folder->AddRomFile("PM1.BIN", "11111111", 0, 4, "");
    TCaseBlindFileSystem blind;
    TScopedFileSystem scope(blind);
    ASSERT_TRUE(plainRom->Rename("pm1.bin"));
    EXPECT_EQ(test::ReadFile(fx.dir / "pm1.bin"), "abcd");
    ASSERT_TRUE(member->Rename("pm2.bin"));
    EXPECT_EQ(test::ReadFile(fx.dir / "pacman/pm2.bin"), "efgh");
    // The fix of a file's rom names takes the same way.
    fx.files.RomFileCaseOptions = coLowercase;
    folder->FixRomNames({folder->RomFiles[folder->RomFiles.IndexOfFileName("PM1.BIN", false)]});
    EXPECT_EQ(test::ReadFile(fx.dir / "pacman/pm1.bin"), "abcd");
    EXPECT_FALSE(test::FileExists(fx.dir / "pacman/PM1.BIN"));
}

TEST(RepairTest, HostileNamesAreRefusedBeforeTheyBecomePaths) {
    TFilesBdFixture fx(kCatalogue);
    WriteFile(fx.dir / "pacman/pm1.bin", "abcd");
    WriteFile(fx.dir / "pm.bin", "abcd");
    TFile* folder = fx.Folder("pacman");
    TRomFile* member = folder->AddRomFile("pm1.bin", "11111111", 0, 4, "");
    TFile* plain = fx.Plain("pm.bin");
    for (const std::string name : {"../x.bin", "/x.bin", "..", "a/b"}) {
        EXPECT_THROW(member->Rename(name), filesbd::EFileError) << name;
        EXPECT_THROW(plain->Rename(name), filesbd::EFileError) << name;
    }
    EXPECT_EQ(member->ErrorText(), "The name \"a/b\" is refused: it holds a separator.");
    EXPECT_EQ(test::ReadFile(fx.dir / "pacman/pm1.bin"), "abcd");
    EXPECT_EQ(test::ReadFile(fx.dir / "pm.bin"), "abcd");
}

TEST(RepairTest, NothingToRenameIsNoSuccess) {
    TFilesBdFixture fx(kCatalogue);
    TFile* zip = fx.Zip("pacman.zip");
    EXPECT_FALSE(zip->Rename(""));
    EXPECT_FALSE(zip->Rename("pacman.zip"));
}

TEST(RepairTest, CorrectNameAlreadyBorneLogsAndDoesNothing) {
    TFilesBdFixture fx(kCatalogue);
    std::vector<std::string> log;
    fx.files.OnLog = [&](const std::string& line) { log.push_back(line); };
    WriteFile(fx.dir / "pacman/pm1.bin", "abcd");
    TFile* folder = fx.Folder("pacman");
    folder->AddRomFile("pm1.bin", "11111111", 0, 4, "");
    folder->Match();
    EXPECT_EQ(folder->RenameOrMerge(), 0);
    EXPECT_EQ(log, std::vector<std::string>{"Rename file " + fx.dir.Path() + "pacman/"});
}

TEST(RepairTest, ObjectsNotListedAreRefused) {
    TFilesBdFixture fx(kCatalogue);
    TFile* zip = fx.Zip("pacman.zip");
    TFile* other = fx.Zip("other.zip");
    TRomFile* foreign = other->AddRomFile("pm1.bin", "11111111", 0, 4, "");
    try {
        zip->DeleteRomFile(foreign);
        FAIL();
    } catch (const filesbd::EObjectNotFound& e) {
        EXPECT_EQ(e.Message(), "Internal Object TFile not found. Contact author.");
    }
    TPath* second = fx.files.AddPath(fx.cacheDir.Path(), "", "");
    EXPECT_THROW(second->DeleteFileFromDisk(zip), filesbd::EObjectNotFound);
    EXPECT_EQ(fx.path->Files().Find("pacman.zip"), zip);
}

TEST(RepairTest, MergeOfMissingFoldersNamesThem) {
    TFilesBdFixture fx(kCatalogue);
    TFile* source = fx.Folder("pacmn");
    TFile* target = fx.Folder("pacman");
    try {
        source->MergeWith(target);
        FAIL();
    } catch (const filesbd::EFileNotFound& e) {
        EXPECT_EQ(e.Message(), "File " + target->FullPath + " not found.");
    }
    WriteFile(fx.dir / "pacman/pm1.bin", "abcd");
    try {
        source->MergeWith(target);
        FAIL();
    } catch (const filesbd::EFileNotFound& e) {
        EXPECT_EQ(e.Message(), "File pacmn not found.");
    }
}

TEST(RepairTest, RenameTellsWhatItRenames) {
    TFilesBdFixture fx(kCatalogue);
    std::vector<std::string> infos;
    fx.files.OnInfos = [&](const std::string& text) { infos.push_back(text); };
    WriteFile(fx.dir / "pm.bin", "abcd");
    TFile* plain = fx.Plain("pm.bin");
    plain->AddRomFile("pm.bin", "11111111", 0, 4, "");
    ASSERT_TRUE(plain->Rename("pm1.bin"));
    EXPECT_EQ(infos, std::vector<std::string>{"Renaming pm.bin..."});
    EXPECT_EQ(plain->RomFiles[0]->StoredName(), "pm1.bin");
    EXPECT_EQ(plain->FullPath, fx.dir / "pm1.bin");
    EXPECT_EQ(test::ReadFile(fx.dir / "pm1.bin"), "abcd");
}

}  // namespace
}  // namespace qm
