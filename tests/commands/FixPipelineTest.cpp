// The fix pipeline over a small damaged collection on a test volume: a whole run
// checked on disk (unzip) and by a rescan from nothing, the order of the steps, the
// switches, a failing file among good ones, a cancel, and the boxes it ends with.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#ifndef QM_PLUGIN_DIR
#define QM_PLUGIN_DIR QM_BIN_DIR "/plugin/"
#endif
#include "RepairCollection.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/commands/FixPipeline.h"

namespace qm::test {
namespace {

class FixPipelineTest : public TRepairCollectionTest {
protected:
    // The whole path as the tree offers it when the path is focused.
    TFixSelection WholePath() const {
        TFixSelection s;
        for (const auto& file : fx.path->Files()) {
            s.treeFiles.push_back(file.get());
            for (const auto& entry : file->RomFiles) s.treeRoms.push_back(entry.romFile.get());
        }
        s.focusedIsPath = true;
        s.listSelectionEmpty = true;
        return s;
    }

    std::unique_ptr<TFixPipeline> Pipeline(TFixSwitches switches) {
        auto p = std::make_unique<TFixPipeline>(fx.roms, *fx.files, switches, archiveDir);
        p->OnLog = [this](const std::string& line) { log.push_back(line); };
        p->OnBusy = [this](bool b) { busy = b; };
        p->OnRebuildTree = [this] { ++rebuilds; };
        p->OnStepStarted = [this](TFixStep s) { steps.push_back(s); };
        p->Progress.Start = [this] { ++progressDepth; };
        p->Progress.Stop = [this] { --progressDepth; };
        return p;
    }

    static TFixSwitches AllOn() {
        TFixSwitches s;
        s.reZip = true;
        return s;
    }

    // Every file of the path after a scan from nothing: complete and nothing to fix.
    void ExpectRescanClean() {
        fx.Restart();
        fx.Load(true);
        std::vector<std::string> names;
        for (const auto& file : fx.path->Files()) {
            names.push_back(file->Name);
            for (const auto& entry : file->RomFiles)
                EXPECT_TRUE(entry.romFile->IsOk()) << file->Name << "/" << entry.romFile->StoredName << " "
                                                   << entry.romFile->GetStatusText();
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"dkong.zip", "galaga.zip", "mspac.zip", "pacman.zip"}));
    }

    std::vector<std::string> log;
    std::vector<TFixStep> steps;
    bool busy = false;
    int rebuilds = 0;
    int progressDepth = 0;  // the progress window's Start less its Stop
};

TEST_F(FixPipelineTest, WholeFixRepairsTheCollectionAndARescanFindsItComplete) {
    MakeCollection();
    auto p = Pipeline(AllOn());
    p->Run(WholePath());
    EXPECT_FALSE(busy);
    EXPECT_EQ(p->ErrorTotal(), 0);
    EXPECT_GT(p->FixedTotal(), 0);
    EXPECT_GE(rebuilds, 1);

    EXPECT_EQ(Listing("pacman.zip"), "pm1.bin pm2.bin ");
    EXPECT_EQ(Listing("galaga.zip"), "gg1.bin gg2.bin ");
    EXPECT_EQ(Listing("dkong.zip"), "dk1.bin dk2.bin ");
    EXPECT_EQ(Listing("mspac.zip"), "ms1.bin ms2.bin ");
    EXPECT_FALSE(std::filesystem::exists(fx.romsDir + "pacmn.zip"));
    EXPECT_FALSE(std::filesystem::exists(fx.romsDir + "readme.zip"));
    // What was taken away is kept in the archive folder, not lost.
    int status = -1;
    const std::string kept = RunCommand("cd " + ShellQuote(archiveDir) + " && find . -type f | sort", &status);
    EXPECT_NE(kept.find("readme.zip"), std::string::npos) << kept;
    EXPECT_EQ(RunCommand("unzip -Z1 " + ShellQuote(archiveDir + "dkong.zip")), "junk.txt\n");
    EXPECT_EQ(Boxes(), std::vector<std::string>{}) << Boxes().front();
    for (const char* zip : {"pacman.zip", "galaga.zip", "dkong.zip", "mspac.zip"}) {
        RunCommand("unzip -tqq " + ShellQuote(fx.romsDir + zip), &status);
        EXPECT_EQ(status, 0) << zip;
    }
    // The files database's events are the views' again; the abort flags are down.
    EXPECT_FALSE(fx.files->OnRemoveFile);
    EXPECT_FALSE(fx.files->Paths().Abort);
    EXPECT_EQ(hooks.busyDepth, 0);
    EXPECT_EQ(progressDepth, 0);
    EXPECT_TRUE(p->SelectedRoms.empty());
    ExpectRescanClean();
}

TEST_F(FixPipelineTest, StepsRunInTheirOrderAndOnlyWhenSwitchedOn) {
    struct TCase {
        const char* name;
        TFixSwitches switches;
        std::vector<TFixStep> steps;
    };
    using S = TFixStep;
    TFixSwitches noFind = AllOn();
    noFind.findRoms = false;
    noFind.reZip = false;
    TFixSwitches renameOnly{};
    renameOnly = {false, false, true, false, false, false, false};
    const std::vector<TCase> cases = {
        {"all", AllOn(),
         {S::RenameFiles, S::RemoveUselessRoms, S::RenameRoms, S::ImportRoms, S::RenameRoms, S::RemoveUselessFiles,
          S::CreateDummyRoms, S::ReZip}},
        {"no find, no rezip", noFind,
         {S::RenameFiles, S::RemoveUselessRoms, S::RenameRoms, S::RenameRoms, S::RemoveUselessFiles,
          S::CreateDummyRoms}},
        {"rename roms twice", renameOnly, {S::RenameRoms, S::RenameRoms}},
    };
    MakeCollection();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        steps.clear();
        auto p = Pipeline(c.switches);
        p->Run(WholePath());
        EXPECT_EQ(steps, c.steps);
    }
}

TEST_F(FixPipelineTest, TheLogFollowsTheStepTable) {
    MakeCollection();
    TFixSwitches s{false, false, false, false, false, true, false};  // create dummy only
    auto p = Pipeline(s);
    const TFixSelection selection = WholePath();
    const std::string roms = std::to_string(selection.treeRoms.size()) + " roms selected";
    p->Run(selection);
    ASSERT_GE(log.size(), 5u);
    std::vector<std::string> head(log.begin(), log.begin() + 5);
    EXPECT_EQ(head, (std::vector<std::string>{"start fix", roms, "5 files selected", "Fix full Path", roms}));
    // Counts after steps 1, 2, 3, the pair 4 and 5, and then 6: five pairs before the
    // dummy step's label.
    const auto label = std::find(log.begin(), log.end(), "Create dummy");
    ASSERT_NE(label, log.end());
    EXPECT_EQ(std::count(log.begin(), label, roms), 1 + 1 + 5);
    EXPECT_NE(std::find(label, log.end(), "1 files fixed, 0 errors"), log.end());
    EXPECT_EQ(Listing("dkong.zip"), "dk1.bin dk2.bin junk.txt ");
    EXPECT_TRUE(Boxes().empty());  // all went well, nothing created
}

TEST_F(FixPipelineTest, EveryWayOutEndsWithItsBox) {
    MakeCollection();
    {
        SCOPED_TRACE("every switch off");
        auto p = Pipeline(TFixSwitches{false, false, false, false, false, false, false});
        p->Run(WholePath());
        EXPECT_EQ(Boxes(), (std::vector<std::string>{"No fix done !"}));
        EXPECT_EQ(rebuilds, 0);
        EXPECT_FALSE(busy);
    }
    {
        SCOPED_TRACE("files without rom files");
        hooks.shown.clear();
        TFixSelection s;
        s.listFiles.push_back(fx.path->Files().Find("readme.zip"));
        s.listSelectionEmpty = false;
        auto p = Pipeline(AllOn());
        p->Run(s);
        EXPECT_EQ(Boxes(), (std::vector<std::string>{"No items selected!"}));
        EXPECT_TRUE(std::filesystem::exists(fx.romsDir + "readme.zip"));
        EXPECT_TRUE(steps.empty());
    }
    {
        SCOPED_TRACE("paths changed and the user declined");
        hooks.shown.clear();
        auto p = Pipeline(AllOn());
        p->OnCheckPathsModified = [] { return false; };
        p->Run(WholePath());
        EXPECT_TRUE(Boxes().empty());
        EXPECT_TRUE(steps.empty());
        EXPECT_FALSE(busy);
    }
    {
        SCOPED_TRACE("a selection in the list: repaired without a box");
        hooks.shown.clear();
        TFixSelection s;
        TFile* pac = fx.path->Files().Find("pacmn.zip");
        s.listFiles.push_back(pac);
        for (const auto& e : pac->RomFiles) s.listRoms.push_back(e.romFile.get());
        s.listSelectionEmpty = false;
        auto p = Pipeline(AllOn());
        p->Run(s);
        EXPECT_TRUE(Boxes().empty());
        EXPECT_EQ(Listing("pacman.zip"), "pm1.bin pm2.bin ");
        EXPECT_TRUE(std::filesystem::exists(fx.romsDir + "galaga.zip"));
        EXPECT_EQ(Listing("galaga.zip"), "GG2.BIN ms2.bin x.bin ");
    }
}

TEST_F(FixPipelineTest, AFailingFileIsCountedWhileTheOthersAreFixed) {
    Zip("pacmn.zip", {{"pm1.bin", 'a'}, {"pm2.bin", 'b'}});
    Zip("galag.zip", {{"gg1.bin", 'c'}, {"gg2.bin", 'd'}});
    fx.Load(true);
    TFaultyFileSystem faulty(Fs());
    faulty.failAt = 1;  // the first rename on disk fails
    TScopedFileSystem fsScope(faulty);
    auto p = Pipeline(TFixSwitches{true, false, false, false, false, false, false});
    p->Run(WholePath());
    EXPECT_EQ(p->ErrorTotal(), 1);
    EXPECT_EQ(p->FixedTotal(), 1);
    const bool pacmanFixed = std::filesystem::exists(fx.romsDir + "pacman.zip");
    const bool galagaFixed = std::filesystem::exists(fx.romsDir + "galaga.zip");
    EXPECT_NE(pacmanFixed, galagaFixed);
    EXPECT_TRUE(std::filesystem::exists(fx.romsDir + (pacmanFixed ? "galag.zip" : "pacmn.zip")));
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);  // the failure itself, then the summary
    EXPECT_EQ(boxes.back(), "Some files has not been fixed.");
    EXPECT_EQ(hooks.shown.back().type, TMsgDlgType::mtWarning);
    EXPECT_EQ(hooks.shown.front().type, TMsgDlgType::mtError);
}

TEST_F(FixPipelineTest, CancelEndsTheWholeFix) {
    MakeCollection();
    auto p = Pipeline(AllOn());
    // Cancel pressed while the first step runs.
    p->Progress.StepIt = [this] {
        EXPECT_EQ(progressDepth, 1);
        fx.files->Paths().Abort = true;
        fx.roms.SetAbort(true);
    };
    p->Run(WholePath());
    EXPECT_EQ(progressDepth, 0);
    EXPECT_EQ(steps, (std::vector<TFixStep>{TFixStep::RenameFiles}));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Operation aborted."}));
    EXPECT_FALSE(fx.files->Paths().Abort);
    EXPECT_FALSE(busy);
    EXPECT_TRUE(std::filesystem::exists(fx.romsDir + "pacmn.zip"));
    EXPECT_TRUE(std::filesystem::exists(fx.romsDir + "readme.zip"));
    EXPECT_EQ(hooks.busyDepth, 0);
}

TEST_F(FixPipelineTest, CancelWhileRemovingFilesStillStopsTheFix) {
    Zip("readme.zip", {{"readme.txt", 'u'}});
    Zip("other.zip", {{"other.txt", 'v'}});
    Zip("dkong.zip", {{"dk1.bin", 'e'}});
    fx.Load(true);
    auto p = Pipeline(AllOn());
    p->Progress.StepIt = [this] { fx.files->Paths().Abort = true; };
    p->Run(WholePath());
    // The dummy and rezip steps never ran, though the removal took the cancel as its end.
    EXPECT_EQ(steps.back(), TFixStep::RemoveUselessFiles);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Operation aborted."}));
    EXPECT_EQ(Listing("dkong.zip"), "dk1.bin ");
    EXPECT_EQ(p->FixedTotal(), 0);  // none moved is not minus one
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

TEST_F(FixPipelineTest, AFixOfTheWholePathThatCreatesFilesRunsTheSecondRoundAndSaysSo) {
    // The mspac roms sit only in galaga.zip: putting them in their place creates mspac.zip.
    Zip("galaga.zip", {{"gg1.bin", 'c'}, {"gg2.bin", 'd'}, {"ms1.bin", 'f'}, {"ms2.bin", 'g'}});
    fx.Load(true);
    auto p = Pipeline(TFixSwitches{});
    std::vector<std::string> created;
    fx.files->OnCreateFile = [&](TFile* f) { created.push_back(f->Name); };  // a view listening
    p->Run(WholePath());
    EXPECT_EQ(created, std::vector<std::string>{"mspac.zip"});
    EXPECT_EQ(Listing("galaga.zip"), "gg1.bin gg2.bin ");
    EXPECT_EQ(Listing("mspac.zip"), "ms1.bin ms2.bin ");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], Fmt("%1 files fixed.", {std::to_string(p->FixedTotal())}));
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtInformation);
    ASSERT_TRUE(fx.files->OnCreateFile);  // the view's handler is back
}

TEST_F(FixPipelineTest, ADamagedArchiveIsCountedAndTheOthersAreRezipped) {
    Zip("pacman.zip", {{"pm1.bin", 'a'}, {"pm2.bin", 'b'}});
    Zip("galaga.zip", {{"gg1.bin", 'c'}, {"gg2.bin", 'd'}});
    fx.Load(true);
    // Damaged after the scan: the rezip is the first to find out.
    std::string bytes = ReadFile(fx.romsDir + "pacman.zip");
    bytes.resize(bytes.size() / 2);
    WriteFile(fx.romsDir + "pacman.zip", bytes);
    auto p = Pipeline(TFixSwitches{false, false, false, false, false, false, true});
    p->Run(WholePath());
    EXPECT_EQ(p->ErrorTotal(), 1);
    EXPECT_EQ(p->FixedTotal(), 1);
    EXPECT_EQ(Listing("galaga.zip"), "gg1.bin gg2.bin ");
    // A counted failure is not reported as success.
    EXPECT_EQ(Boxes().back(), "Some files has not been fixed.");
    EXPECT_EQ(ReadFile(fx.romsDir + "pacman.zip"), bytes);  // the damaged file is left as it was
}

TEST_F(FixPipelineTest, AFileMergedIntoTheFileOfItsNameIsLoggedAsThatFile) {
    Zip("pacman.zip", {{"pm1.bin", 'a'}});
    Zip("pacmn.zip", {{"pm2.bin", 'b'}});
    fx.Load(true);
    auto p = Pipeline(TFixSwitches{true, false, false, false, false, false, false});
    p->Run(WholePath());
    EXPECT_EQ(p->FixedTotal(), 1);
    EXPECT_EQ(Listing("pacman.zip"), "pm1.bin pm2.bin ");
    EXPECT_FALSE(std::filesystem::exists(fx.romsDir + "pacmn.zip"));
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                           [](const std::string& l) { return l.rfind("File pacman.zip renamed (", 0) == 0; }),
              log.end());
    TFile* merged = fx.path->Files().Find("pacman.zip");
    ASSERT_NE(merged, nullptr);
    for (const auto& entry : merged->RomFiles) EXPECT_TRUE(entry.romFile->IsOk()) << entry.romFile->Name;
}

TEST_F(FixPipelineTest, AReadOnlyMediumStopsTheFixBeforeAnythingIsWired) {
    MakeCollection();
    TFaultyFileSystem faulty(Fs());
    faulty.readOnlyPaths.push_back(fx.romsDir.substr(0, fx.romsDir.size() - 1));
    TScopedFileSystem fsScope(faulty);
    fx.path->ReadDiskInfo();
    ASSERT_TRUE(fx.path->IsReadOnly());
    auto p = Pipeline(AllOn());
    bool wired = false;
    p->OnStepStarted = [&](TFixStep) { wired = static_cast<bool>(fx.files->OnRemoveFile); };
    p->Run(WholePath());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"This disk is read only."}));
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtWarning);
    EXPECT_FALSE(wired);
    EXPECT_EQ(faulty.changingCalls, 0);
    EXPECT_EQ(rebuilds, 0);
    EXPECT_FALSE(busy);
}

// The collection of a parent and its clone, repaired in each set mode, then scanned
// again from nothing.
class FixPipelineModeTest : public FixPipelineTest, public ::testing::WithParamInterface<int> {};

TEST_P(FixPipelineModeTest, EveryCompletableGameEndsComplete) {
    const int mode = GetParam();  // 0 merged, 1 split, 2 un-merged
    fx.roms.Split = mode != 0;
    fx.roms.MergeRoms = mode == 1;
    BuildRoms(fx.roms, RepairCatalogue() + "pacman|pacmanf|pmf.bin|" +
                           RunCommand("python3 -c 'import zlib;print(\"%08x\" % zlib.crc32(b\"" + Bytes('h') +
                                      "\"))'")
                               .substr(0, 8) +
                           "|16|pacman|\n");
    fx.roms.Split = mode != 0;
    fx.roms.MergeRoms = mode == 1;
    Zip("pacmn.zip", {{"pm1.bin", 'a'}, {"pm2.bin", 'b'}});
    Zip("pacmanf.zip", {{"PMF.BIN", 'h'}, {"pm1.bin", 'a'}});
    Zip("galaga.zip", {{"x.bin", 'c'}, {"gg2.bin", 'd'}});
    fx.Load(true);
    auto p = Pipeline(AllOn());
    p->Run(WholePath());
    EXPECT_EQ(p->ErrorTotal(), 0);
    fx.Restart();
    fx.Load(true);
    for (const auto& file : fx.path->Files())
        for (const auto& entry : file->RomFiles)
            EXPECT_TRUE(entry.romFile->IsOk()) << file->Name << "/" << entry.romFile->StoredName << " "
                                               << entry.romFile->GetStatusText();
    int status = -1;
    for (const auto& file : fx.path->Files()) {
        RunCommand("unzip -tqq " + ShellQuote(file->FullPath), &status);
        EXPECT_EQ(status, 0) << file->Name;
    }
    EXPECT_EQ(Listing("galaga.zip"), "gg1.bin gg2.bin ");
    if (mode == 0) {
        EXPECT_EQ(Listing("pacman.zip"), "pm1.bin pm2.bin pmf.bin ");
    }
    // The clone lists only its own rom, so split and un-merged sets look alike.
    if (mode != 0) {
        EXPECT_EQ(Listing("pacmanf.zip"), "pmf.bin ");
    }
    if (mode != 0) {
        EXPECT_EQ(Listing("pacman.zip"), "pm1.bin pm2.bin ");
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, FixPipelineModeTest, ::testing::Values(0, 1, 2));

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

// The name a file needs is taken by a file the scan never saw: the rename is refused,
// and the count of a fix that created files is followed by the warning.
TEST_F(FixPipelineTest, ARefusedRenameIsNotCountedAndWarnsAfterTheCount) {
    Zip("galaga.zip", {{"gg1.bin", 'c'}, {"gg2.bin", 'd'}, {"ms1.bin", 'f'}, {"ms2.bin", 'g'}});
    Zip("pacmn.zip", {{"pm1.bin", 'a'}, {"pm2.bin", 'b'}});
    fx.Load(true);
    WriteFile(fx.romsDir + "pacman.zip", "not the set");
    auto p = Pipeline(TFixSwitches{});
    p->Run(WholePath());
    EXPECT_EQ(Listing("mspac.zip"), "ms1.bin ms2.bin ");
    EXPECT_EQ(ReadFile(fx.romsDir + "pacman.zip"), "not the set");
    EXPECT_GE(p->ErrorTotal(), 1);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Fmt("%1 files fixed.", {std::to_string(p->FixedTotal())}),
                                                 "Some files has not been fixed."}));
    EXPECT_EQ(hooks.shown.back().type, TMsgDlgType::mtWarning);
}

}  // namespace
}  // namespace qm::test
