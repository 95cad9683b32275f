#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/DiskInfo.h"
#include "catalogue/RomPaths.h"
#include "catalogue/config.h"
#include "platform/UiHooks.h"
#include "support/TestSupport.h"
#include "ProfileTestSupport.h"

using namespace qm;
using namespace qm::test;

namespace {

const std::string kDuplicate = "Rom path already exist.";
const std::string kParent = "The parent of this path already exists in Quarmelle.\r\nYou can't add this one.";
const std::string kChild = "A direct child of this path already exist in Quarmelle. You can't add this one.";

class RomPathsTest : public ProfileTest {
protected:
    RomPathsTest() : hooksScope_(hooks_), volumeScope_(volumes_) {
        TVolumeFacts usb;
        usb.root = "/media/usb";
        usb.source = "/dev/sdb1";
        usb.fsType = "vfat";
        usb.uuid = "28E6-ADE1";
        usb.label = "Roms]Disk|2";
        TVolumeFacts root;
        root.root = "/";
        root.source = "/dev/sda1";
        root.fsType = "ext4";
        root.uuid = "0f1e2d3c-aaaa-bbbb-cccc-000000000000";
        volumes_.volumes = {root, usb};
        Cfg().EmulatorSection = "mame";
    }

    TRomPaths& Paths() { return Cfg().Emulator->RomPaths(); }
    std::vector<std::string> Listed() {
        std::vector<std::string> out;
        for (size_t i = 0; i < Paths().Count(); ++i) {
            const TRomPath& p = Paths().Items(i);
            out.push_back("[" + p.VolumeName + "][" + p.Serial + "]" + p.Path);
        }
        return out;
    }
    void Store(const std::string& value) { Cfg().WriteString("mame", "RomPaths", value); }

    TScriptedUiHooks hooks_;
    TScopedUiHooks hooksScope_;
    TStaticVolumeProvider volumes_;
    TScopedVolumeProvider volumeScope_;
};

}  // namespace

TEST_F(RomPathsTest, OnlyTheSameFolderItsDirectParentAndChildrenAreRefused) {
    ASSERT_NE(Paths().AddPath("/data/roms/snes", "disk", "1111-2222"), nullptr);
    const struct {
        const char* path;
        const char* label;
        const std::string* refusal;  // nullptr: accepted
    } cases[] = {
        {"/data/roms/snes/", "disk", &kDuplicate},
        {"/data/roms/snes", "DISK", &kDuplicate},         // labels ignore case
        {"/data/roms/", "disk", &kChild},                  // the new folder is the listed one's parent
        {"/data/roms/snes/usa", "disk", &kParent},         // the listed folder is the new one's parent
        {"/data/", "disk", nullptr},                       // grandparent
        {"/data/roms/snes/usa/good/", "disk", nullptr},    // grandchild of the listed folder
        {"/data/roms/snes", "other disc", nullptr},        // same folder on another medium
        {"/data/roms/SNES", "disk", nullptr},              // another folder on Linux
        {"/data/roms//snes", "disk", &kDuplicate},         // spellings of one folder
        {"/data/./roms/snes", "disk", &kDuplicate},
        {"/data/x/../roms/snes/", "disk", &kDuplicate},
    };
    for (const auto& c : cases) {
        hooks_.shown.clear();
        TRomPath* added = Paths().AddPath(c.path, c.label, "1111-2222");
        if (c.refusal) {
            EXPECT_EQ(added, nullptr) << c.path;
            ASSERT_EQ(hooks_.shown.size(), 1u) << c.path;
            EXPECT_EQ(hooks_.shown[0].text, *c.refusal) << c.path;
            EXPECT_EQ(hooks_.shown[0].type, TMsgDlgType::mtError);
            EXPECT_EQ(hooks_.shown[0].buttons, static_cast<unsigned>(mbOK));
        } else {
            ASSERT_NE(added, nullptr) << c.path;
            EXPECT_TRUE(hooks_.shown.empty()) << c.path;
        }
    }
    EXPECT_EQ(Paths().Count(), 5u);
    EXPECT_EQ(Paths().IndexOf("/data/roms/SNES/"), 4);
    EXPECT_EQ(Paths().IndexOf("/data/roms/snes"), -1);  // exact text only
    EXPECT_EQ(Paths().IndexOf("/data/roms/snes/"), 0);
}

TEST_F(RomPathsTest, ASymbolicLinkToAListedFolderIsRefused) {
    test::TTempDir dir;
    std::filesystem::create_directories(dir.Path() + "roms");
    std::filesystem::create_directory_symlink(dir.Path() + "roms", dir.Path() + "link");
    ASSERT_NE(Paths().AddPath(dir.Path() + "roms", "disk", "1111-2222"), nullptr);
    EXPECT_EQ(Paths().AddPath(dir.Path() + "link", "disk", "1111-2222"), nullptr);
    ASSERT_EQ(hooks_.shown.size(), 1u);
    const std::string base = AbsolutePath(dir.Path()) + "/";
    EXPECT_EQ(hooks_.shown[0].text,
              "The folder " + base + "link/ is the rom path " + base + "roms/ under another name.");
    EXPECT_EQ(Paths().Count(), 1u);
}

TEST_F(RomPathsTest, TheRootFolderHasNoParent) {
    ASSERT_NE(Paths().AddPath("/", "", ""), nullptr);
    EXPECT_EQ(Paths().AddPath("/roms", "", ""), nullptr);  // a direct child of the root
    ASSERT_EQ(hooks_.shown.size(), 1u);
    EXPECT_EQ(hooks_.shown[0].text, kParent);
    EXPECT_NE(Paths().AddPath("/roms/a", "", ""), nullptr);
}

TEST_F(RomPathsTest, TheVolumeIsMeasuredOnlyWhenNothingIsStored) {
    const TRomPath* usb = Paths().AddPath("/media/usb/roms", "", "");
    ASSERT_NE(usb, nullptr);
    EXPECT_EQ(usb->Path, "/media/usb/roms/");
    EXPECT_EQ(usb->VolumeName, "roms_disk_2");  // lower case; "]" and "|" would break the stored list
    EXPECT_EQ(usb->Serial, "28e6-ade1");

    const TRomPath* root = Paths().AddPath("/srv/roms", "", "");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->VolumeName, "");
    EXPECT_EQ(root->Serial, "0f1e-2d3c");

    // A volume without a label keeps the serial it was stored with, also when another
    // volume holds that folder now.
    const TRomPath* unlabelled = Paths().AddPath("/media/cdrom/roms/", "", "abcd-0123");
    ASSERT_NE(unlabelled, nullptr);
    EXPECT_EQ(unlabelled->VolumeName, "");
    EXPECT_EQ(unlabelled->Serial, "abcd-0123");

    // No volume holds it at all: nothing is known of it.
    volumes_.volumes.clear();
    const TRomPath* nowhere = Paths().AddPath("/mnt/gone/roms", "", "");
    ASSERT_NE(nowhere, nullptr);
    EXPECT_EQ(nowhere->VolumeName, "");
    EXPECT_EQ(nowhere->Serial, "");
}

TEST_F(RomPathsTest, AFolderThatCannotBeStoredIsRefused) {
    for (const char* path : {"/roms/a|b", "/roms/a\nb"}) {
        hooks_.shown.clear();
        EXPECT_EQ(Paths().AddPath(path, "", ""), nullptr);
        ASSERT_EQ(hooks_.shown.size(), 1u);
        EXPECT_TRUE(Has(hooks_.shown[0].text, path));
    }
    EXPECT_EQ(Paths().Count(), 0u);
}

TEST_F(RomPathsTest, StoredForms) {
    const struct {
        const char* name;
        std::string stored;
        std::vector<std::string> listed;
    } cases[] = {
        {"current", "[a][1111-2222]/roms/a/|[b][3333-4444]/roms/b/|",
         {"[a][1111-2222]/roms/a/", "[b][3333-4444]/roms/b/"}},
        {"no trailing bar", "[a][1]/r/a/|[a][1]/r/b/|[a][1]/r/c/", {"[a][1]/r/a/", "[a][1]/r/b/", "[a][1]/r/c/"}},
        {"leading bar", "|[a][1]/r/a/", {"[a][1]/r/a/"}},
        {"an empty entry", "[a][1]/r/a/||[a][1]/r/b/|", {"[a][1]/r/a/", "[a][1]/r/b/"}},
        // The folder is all that follows the second "]": empty label and serial, and
        // brackets in the folder, read back as stored.
        {"brackets", "[x][9]/roms/[jp] games/|", {"[x][9]/roms/[jp] games/"}},
        {"measured", "[][]/media/usb/roms/|", {"[roms_disk_2][28e6-ade1]/media/usb/roms/"}},
        {"folder without slash", "[a][1]/r/a|", {"[a][1]/r/a/"}},
        {"not an entry", "/r/a/|[a][1]/r/b/|", {"[a][1]/r/b/"}},
        {"older form", "[a][1]/r/a/;[a][1]/r/b/", {"[a][1]/r/a/", "[a][1]/r/b/"}},
        {"older form, blanks", ";[a][1] /r/my  roms/ ;", {"[a][1]/r/my roms/"}},
        {"a refusal goes on", "[a][1]/r/a/|[a][1]/r/a/b/|[a][1]/r/c/|", {"[a][1]/r/a/", "[a][1]/r/c/"}},
    };
    for (const auto& c : cases) {
        Paths().Clear();
        hooks_.shown.clear();
        Store(c.stored);
        Paths().LoadFromIni();
        EXPECT_EQ(Listed(), c.listed) << c.name;
    }
    EXPECT_EQ(hooks_.shown.size(), 1u);  // the refused child only

    // The next save writes the current form.
    Store("[a][1]/r/a/;[a][1]/r/b/");
    Paths().Clear();
    Paths().LoadFromIni();
    Paths().SaveToIni();
    EXPECT_TRUE(Has(Ini(), "RomPaths=[a][1]/r/a/|[a][1]/r/b/|\n"));
}

TEST_F(RomPathsTest, LoadingAppendsAndAnEmptyValueClears) {
    Paths().AddPath("/keep/", "k", "1");
    Store("[a][1]/r/a/|");
    Paths().LoadFromIni();
    EXPECT_EQ(Listed(), (std::vector<std::string>{"[k][1]/keep/", "[a][1]/r/a/"}));
    Store("");
    Paths().LoadFromIni();
    EXPECT_EQ(Paths().Count(), 0u);
    Paths().SaveToIni();
    EXPECT_TRUE(Has(Ini(), "RomPaths=\n"));
}

TEST_F(RomPathsTest, ALongListIsNeverCut) {
    std::vector<std::string> expected;
    for (int i = 0; i < 60; ++i) {
        const std::string folder = "/a/rather/long/folder/name/for/the/roms/of/one/emulator/number-" +
                                   std::to_string(i) + "/";
        ASSERT_NE(Paths().AddPath(folder, "disk", "1234-abcd"), nullptr);
        expected.push_back("[disk][1234-abcd]" + folder);
    }
    Paths().SaveToIni();
    ASSERT_GT(Paths().Text().size(), 4000u);
    Restart();
    Cfg().EmulatorSection = "mame";
    Paths().LoadFromIni();
    EXPECT_EQ(Listed(), expected);
}

TEST_F(RomPathsTest, NothingIsWrittenWithoutAnEmulatorSection) {
    Cfg().EmulatorSection.clear();
    Paths().AddPath("/r/", "a", "1");
    Paths().SaveToIni();
    EXPECT_FALSE(Has(Ini(), "RomPaths"));
    EXPECT_FALSE(Has(Ini(), "[]"));
}
