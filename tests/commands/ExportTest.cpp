// Datafile exports: what each command gathers, the header, the files written (read back
// through the datafile reader, and a ".zip" export checked with Info-ZIP unzip), and
// that a failed write leaves the chosen file as it was.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "archive/FilesTools.h"
#include "archive/archivemanager.h"
#include "catalogue/DataFile.h"
#include "platform/FileSystem.h"
#include "platform/UiHooks.h"
#include "ui/commands/DatafileExport.h"
#include "commands/ReportTestSupport.h"

namespace qm::test {
namespace {

using TRow = std::tuple<std::string, std::string, std::string, std::string>;  // parent, game, rom, crc

std::multiset<TRow> Rows(const TDatafile& datafile) {
    std::multiset<TRow> rows;
    for (const TDataFileItem& item : datafile.GameItems)
        rows.emplace(item.ParentName, item.GameName, item.RomName, item.Crc);
    return rows;
}

std::multiset<TRow> Rows(const TCloneRomsList& list) {
    std::multiset<TRow> rows;
    for (const TCloneRom* cloneRom : list)
        rows.emplace(cloneRom->Clone->Game->Name, cloneRom->Clone->GetDisplayName(), cloneRom->Name, cloneRom->Crc);
    return rows;
}

void Load(TDatafile& datafile, const std::string& fileName) {
    datafile.SetDataFileName(fileName);
    datafile.LoadFromFile();
}

struct TExportHarness {
    explicit TExportHarness(const std::string& mode, const char* catalogue = kReportCatalogue)
        : collection(mode, catalogue), exporter(collection.roms, prompt, &manager, nullptr), hooksScope(hooks) {
        exporter.RefName = "mame";
        exporter.DatafileName = "mame0104";
        exporter.DatafilePath = out.Path();
        exporter.Today = [] { return TExportDate{2024, 3, 5}; };
        exporter.OnFinished = [this] { ++finished; };
    }
    TReportCollection collection;
    TScriptedSavePrompt prompt;
    TArchiveManager manager;
    TDatafileExporter exporter;
    TScriptedUiHooks hooks;
    TScopedUiHooks hooksScope;
    TTempDir out;
    int finished = 0;
};

TEST(Export, DatesOfTheHeader) {
    EXPECT_EQ(ExportVersionText({2024, 3, 5}), "20240305");
    EXPECT_EQ(ExportDateText({2024, 3, 5}), "5/3/2024");
    EXPECT_EQ(ExportVersionText({2026, 12, 19}), "20261219");
    EXPECT_EQ(ExportDateText({2026, 12, 19}), "19/12/2026");
}

TEST(Export, HaveAndMissingTogetherGiveEveryNeededList) {
    for (const char* mode : {"merged", "split", "unmerged"}) {
        SCOPED_TRACE(mode);
        TExportHarness h(mode);
        h.prompt.answer = h.out / "have.dat";
        h.exporter.ActCreateHaveDat();
        h.prompt.answer = h.out / "miss.dat";
        h.exporter.ActCreateMissDat();
        ASSERT_EQ(h.prompt.requests.size(), 2u);
        EXPECT_EQ(h.prompt.requests[0].DefaultName, "mame0104_have.dat");
        EXPECT_EQ(h.prompt.requests[1].DefaultName, "mame0104_miss.dat");
        EXPECT_EQ(h.prompt.requests[0].Title, "Select datafile destination");
        EXPECT_EQ(h.prompt.requests[0].InitialFolder, h.out.Path());
        EXPECT_EQ(h.prompt.requests[0].DefaultSuffix, "dat");
        EXPECT_EQ(h.finished, 2);
        EXPECT_TRUE(h.hooks.shown.empty());

        TDatafile have, miss;
        Load(have, h.out / "have.dat");
        Load(miss, h.out / "miss.dat");
        EXPECT_EQ(have.Version, "20240305");
        EXPECT_EQ(have.Date, "5/3/2024");
        EXPECT_EQ(have.Author, "Quarmelle 2.70 beta 5");
        EXPECT_EQ(have.Refname, "mame");

        // Every held rom is one the collection's files hold, and the two lists share
        // nothing and together make up the needed list of every set.
        std::set<std::string> heldCrcs;
        for (int p = 0; p < h.collection.files.GetPathCount(); ++p)
            for (const auto& file : h.collection.files.GetPath(p)->Files())
                for (const auto& entry : file->RomFiles)
                    if (!entry.romFile->IsPlaceholder()) heldCrcs.insert(entry.romFile->Crc());
        for (const TRow& row : Rows(have)) EXPECT_EQ(heldCrcs.count(std::get<3>(row)), 1u) << std::get<2>(row);
        for (const TRow& row : Rows(miss)) EXPECT_EQ(heldCrcs.count(std::get<3>(row)), 0u) << std::get<2>(row);

        std::multiset<TRow> all = Rows(have);
        for (const TRow& row : Rows(miss)) all.insert(row);
        std::multiset<TRow> needed;
        TCloneRomsList list;
        for (const TGame* game : h.collection.roms.Games())
            for (const TClone* clone : game->Clones) {
                clone->ListRoms(list, true);
                for (const TRow& row : Rows(list)) needed.insert(row);
            }
        EXPECT_EQ(all, needed);
    }
}

TEST(Export, MergedHaveListsTheWholeSetUnderItsName) {
    TExportHarness h("merged");
    h.prompt.answer = h.out / "have.dat";
    h.exporter.ActCreateHaveDat();
    TDatafile have;
    Load(have, h.out / "have.dat");
    const std::multiset<TRow> expected = {
        {"digdug", "digdug", "dd1.bin", "55555555"},
        {"galaga", "galaga", "gg1.bin", "44444444"},
        {"pacman", "pacman", "pm1.bin", "11111111"},
        {"pacman", "pacman", "pm2.bin", "22222222"},
    };
    EXPECT_EQ(Rows(have), expected);
    ASSERT_GT(have.GameItems.Count(), 0u);
    EXPECT_EQ(have.GameItems.GetItem(0).GameDescription, "digdug desc");
    EXPECT_EQ(have.GameItems.GetItem(0).Size, 16);
}

TEST(Export, SelectionByLayout) {
    TExportHarness h("unmerged");
    TFile* pacmanZip = h.collection.path->Files().Find("pacman.zip");
    ASSERT_NE(pacmanZip, nullptr);
    TRomFile* pm2 = pacmanZip->RomFiles[pacmanZip->RomFiles.IndexOf("22222222")];
    const std::vector<TCommandObject> selected = {
        TCommandObject::Of(h.collection.roms.Games().FindGame("pacman")),
        TCommandObject::Of(h.collection.roms.Games().FindClone("galaga")),
        TCommandObject::Of(pacmanZip),
        TCommandObject::Of(pm2),
    };
    struct TCase {
        TExportLayout layout;
        std::multiset<TRow> rows;
    } cases[] = {
        {TExportLayout::Games,
         {{"pacman", "pacman", "pm1.bin", "11111111"},
          {"pacman", "pacman", "pm2.bin", "22222222"},
          {"pacman", "puckman", "pm1.bin", "11111111"},
          {"pacman", "puckman", "pk2.bin", "33333333"},
          {"galaga", "galaga", "gg1.bin", "44444444"},
          {"galaga", "galaga", "gg2.bin", "00000000"}}},
        {TExportLayout::Files, {{"pacman", "pacman", "pm1.bin", "11111111"}, {"pacman", "pacman", "pm2.bin", "22222222"}}},
        {TExportLayout::RomFiles, {{"pacman", "pacman", "pm2.bin", "22222222"}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.layout));
        TCloneRomsList list;
        ASSERT_TRUE(GatherSelection(c.layout, selected, list));
        EXPECT_EQ(Rows(list), c.rows);
    }
    // The clones-and-roms layout exports nothing, whatever is selected.
    TCloneRomsList list;
    EXPECT_FALSE(GatherSelection(TExportLayout::ClonesRoms, selected, list));
    EXPECT_FALSE(GatherSelection(TExportLayout::Files, {TCommandObject::Of(h.collection.roms.Games().FindGame("pacman"))}, list));

    h.prompt.answer = h.out / "sel.dat";
    h.exporter.ActCreateDat(TExportLayout::ClonesRoms, selected);
    EXPECT_TRUE(h.prompt.requests.empty());
    ASSERT_EQ(h.hooks.shown.size(), 1u);
    EXPECT_EQ(h.hooks.shown[0].text, "No items selected!");
    EXPECT_EQ(h.finished, 1);

    h.exporter.ActCreateDat(TExportLayout::RomFiles, selected);
    ASSERT_EQ(h.prompt.requests.size(), 1u);
    EXPECT_EQ(h.prompt.requests[0].DefaultName, "my_mame0104.dat");
    TDatafile written;
    Load(written, h.out / "sel.dat");
    EXPECT_EQ(Rows(written), cases[2].rows);
}

TEST(Export, NothingToDo) {
    TExportHarness h("split",
                     "pacman|pacman|pm1.bin|11111111|16||\n"
                     "pacman|pacman|pm2.bin|22222222|16||\n");
    h.prompt.answer = h.out / "x.dat";
    h.exporter.ActCreateMissDat();
    EXPECT_TRUE(h.prompt.requests.empty());
    ASSERT_EQ(h.hooks.shown.size(), 1u);
    EXPECT_EQ(h.hooks.shown[0].text, "Nothing to do");
    EXPECT_FALSE(FileExists(h.out / "x.dat"));
    EXPECT_EQ(h.finished, 1);
}

TEST(Export, ZipNameGivesAZipHoldingTheDatafile) {
    TExportHarness h("split");
    h.prompt.answer = h.out / "plain.dat";
    h.exporter.ActCreateHaveDat();
    h.prompt.answer = h.out / "my have.ZIP";
    h.exporter.ActCreateHaveDat();

    int status = -1;
    EXPECT_EQ(RunCommand("unzip -Z1 " + ShellQuote(h.out / "my have.ZIP"), &status), "my have.dat\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(RunCommand("unzip -p " + ShellQuote(h.out / "my have.ZIP") + " 'my have.dat'"),
              ReadFile(h.out / "plain.dat"));
    RunCommand("unzip -tq " + ShellQuote(h.out / "my have.ZIP"), &status);
    EXPECT_EQ(status, 0);

    // The datafile reader opens it as a zipped datafile.
    TDatafile zipped;
    zipped.ArchiveManager = &h.manager;
    Load(zipped, h.out / "my have.ZIP");
    TDatafile plain;
    Load(plain, h.out / "plain.dat");
    EXPECT_EQ(Rows(zipped), Rows(plain));
    EXPECT_FALSE(Rows(plain).empty());

    // Nothing is left behind in the private temporary folder.
    std::vector<TDirEntry> entries;
    Fs().ListDir(GetTempDirectory(), entries);
    for (const TDirEntry& entry : entries) EXPECT_NE(entry.name.rfind("export-", 0), 0u) << entry.name;
}

TEST(Export, FailedZipWriteKeepsTheChosenFile) {
    TExportHarness h("split");
    WriteFile(h.out / "old.zip", "the user's old file");
    h.prompt.answer = h.out / "old.zip";
    TRealFileSystem real;
    TFaultyFileSystem faulty(real);
    TScopedFileSystem fsScope(faulty);
    // Each changing step in turn fails (the work folder, the datafile, the archive, the
    // copy into place), until a run gets through.
    int failAt = 1;
    for (;; ++failAt) {
        SCOPED_TRACE(failAt);
        ASSERT_LT(failAt, 20);
        faulty.changingCalls = 0;
        faulty.failAt = failAt;
        bool failed = false;
        try {
            h.exporter.ActCreateHaveDat();
        } catch (const std::exception&) {
            failed = true;
        }
        if (!failed) break;
        EXPECT_EQ(ReadFile(h.out / "old.zip"), "the user's old file");
    }
    EXPECT_GE(failAt, 4);
    EXPECT_EQ(h.finished, failAt);
    int status = -1;
    EXPECT_EQ(RunCommand("unzip -Z1 " + ShellQuote(h.out / "old.zip"), &status), "old.dat\n");
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace qm::test
