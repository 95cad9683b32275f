// The fix pipeline over a small damaged collection on a test volume: a whole run
// checked on disk (unzip) and by a rescan from nothing, the order of the steps, the
// switches, a failing file among good ones, a cancel, and the boxes it ends with.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
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
    FixPipelineTest() = default;
    explicit FixPipelineTest(const std::string& catalogue) : TRepairCollectionTest(catalogue) {}

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
        // Where the program keeps what a merge leaves, as start-up sets it.
        fx.files->MergeBackupDir = archiveDir + "merged/";
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
                EXPECT_TRUE(entry.romFile->IsOk()) << file->Name << "/" << entry.romFile->StoredName() << " "
                                                   << entry.romFile->GetStatusText();
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"dkong.zip", "galaga.zip", "mspac.zip", "pacman.zip"}));
    }

    // Every file below the volume (rom path and archive folder) by inode, size and
    // modification time: what tells a file written, replaced or moved.
    std::map<std::string, std::string> Stamps() const {
        std::map<std::string, std::string> stamps;
        for (const auto& e : std::filesystem::recursive_directory_iterator(fx.tmp.Path() + "vol/")) {
            const std::string name = e.path().string();
            if (name.find("/cache") != std::string::npos) continue;
            struct stat st {};
            if (::stat(name.c_str(), &st) != 0) continue;
            stamps[name] = std::to_string(st.st_ino) + " " + std::to_string(st.st_size) + " " +
                           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
        }
        return stamps;
    }

    // A whole fix of what the fix left, scanned again from nothing, finds nothing to do:
    // nothing fixed, no archive written, no file moved. (Re-compressing is a choice to
    // rewrite every zip, so that switch is off.)
    void ExpectSecondFixChangesNothing() {
        fx.Restart();
        fx.Load(true);
        const auto before = Stamps();
        TFixSwitches again = AllOn();
        again.reZip = false;
        auto p = Pipeline(again);
        p->Run(WholePath());
        EXPECT_EQ(p->FixedTotal(), 0);
        EXPECT_EQ(p->ErrorTotal(), 0);
        EXPECT_EQ(Stamps(), before);
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
    ExpectSecondFixChangesNothing();
}

TEST_F(FixPipelineTest, TwinEntryNamesLoseNothing) {
    // An appended zip holds the good pm1.bin and, under the same name, the user's notes;
    // either may come first.
    for (const bool notesFirst : {false, true}) {
        SCOPED_TRACE(notesFirst ? "notes first" : "good rom first");
        std::filesystem::remove_all(fx.romsDir);
        std::filesystem::remove_all(archiveDir);
        MakeDirs(fx.romsDir);
        MakeDirs(archiveDir);
        const std::string entries = notesFirst ? "pm1.bin=n pm2.bin=b pm1.bin=a" : "pm1.bin=a pm2.bin=b pm1.bin=n";
        int status = -1;
        RunCommand(R"(python3 -W ignore -c 'import sys,zipfile
z=zipfile.ZipFile(sys.argv[1],"w")
for a in sys.argv[2:]:
  n,c=a.split("=")
  z.writestr(n,c*16)' )" + ShellQuote(fx.romsDir + "pacman.zip") + " " + entries,
                   &status);
        ASSERT_EQ(status, 0);
        fx.Restart();
        fx.Load(true);
        TFile* zip = fx.path->Files().Find("pacman.zip");
        ASSERT_NE(zip, nullptr);
        int sharing = 0;
        for (const auto& e : zip->RomFiles)
            if (e.romFile->GetStatusText().find("Shares its name with another entry.") != std::string::npos) ++sharing;
        EXPECT_EQ(sharing, 1);

        auto p = Pipeline(AllOn());
        p->Run(WholePath());
        EXPECT_EQ(p->ErrorTotal(), 0);
        // Read back by Python: the set holds its two roms, the notes are in the backup
        // folder, and every content is there exactly once.
        const auto contents = [](const std::string& zipName) {
            return RunCommand(R"(python3 -c 'import sys,zipfile
z=zipfile.ZipFile(sys.argv[1])
print(" ".join(sorted(i.filename+"="+z.read(i).decode()[0] for i in z.infolist())))' )" +
                              ShellQuote(zipName));
        };
        EXPECT_EQ(contents(fx.romsDir + "pacman.zip"), "pm1.bin=a pm2.bin=b\n");
        const std::string kept = contents(archiveDir + "pacman.zip");
        EXPECT_EQ(std::count(kept.begin(), kept.end(), '='), 1) << kept;
        EXPECT_NE(kept.find("=n\n"), std::string::npos) << kept;
        ExpectSecondFixChangesNothing();
    }
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
    // The summary names the zip that failed, as the box of the failure did.
    const std::string failed = fx.romsDir + (pacmanFixed ? "galag.zip" : "pacmn.zip");
    EXPECT_EQ(boxes.back().rfind("Some files has not been fixed.\n\nRenaming file " + failed + ": ", 0), 0u)
        << boxes.back();
    EXPECT_NE(boxes.front().find(failed), std::string::npos) << boxes.front();
    EXPECT_EQ(hooks.shown.back().type, TMsgDlgType::mtWarning);
    EXPECT_EQ(hooks.shown.front().type, TMsgDlgType::mtError);
}

TEST_F(FixPipelineTest, HostileNamesNeverReachOutsideTheRomPath) {
    // Sets named "../evil", "a/b", "/abs" and "..", and a rom named "../../x.bin", each
    // with files that a fix would otherwise rename or fill.
    const std::string catalogue = "../evil|../evil|ev1.bin|" + CrcOf('h') + "|16||\n" +  //
                                  "a/b|a/b|ab1.bin|" + CrcOf('i') + "|16||\n" +          //
                                  "/abs|/abs|abs1.bin|" + CrcOf('k') + "|16||\n" +       //
                                  "..|..|dd1.bin|" + CrcOf('l') + "|16||\n" +            //
                                  "pacman|pacman|../../x.bin|" + CrcOf('a') + "|16||\n" +
                                  "pacman|pacman|pm2.bin|" + CrcOf('b') + "|16||\n";
    std::vector<std::string> loadLog;
    fx.roms.OnLog = [&](const std::string& line) { loadLog.push_back(line); };
    BuildRoms(fx.roms, catalogue);
    EXPECT_EQ(loadLog, (std::vector<std::string>{
                           "Datafile: The name \"../evil\" is refused: it holds a \"..\" part.",
                           "Datafile: The name \"a/b\" is refused: it holds a separator.",
                           "Datafile: The name \"/abs\" is refused: it starts with a separator.",
                           "Datafile: The name \"..\" is refused: it holds a \"..\" part.",
                           "Datafile: The name \"../../x.bin\" is refused: it holds a \"..\" part.",
                       }));
    Zip("evil.zip", {{"ev1.bin", 'h'}});
    Zip("ab.zip", {{"ab1.bin", 'i'}});
    Zip("dd.zip", {{"dd1.bin", 'l'}});
    Zip("pacman.zip", {{"pm1.bin", 'a'}, {"pm2.bin", 'b'}});
    WriteFile(fx.romsDir + "pacmn/pm1.bin", Bytes('a'));
    WriteFile(fx.romsDir + "abs1.bin", Bytes('k'));
    // An entry that climbs out of any folder it is extracted into.
    RunCommand("python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1], \"w\").writestr(\"../../x.bin\", " +
               ShellQuote("\"" + Bytes('a') + "\"") + ")' " + ShellQuote(fx.romsDir + "climb.zip"));
    fx.Load(true);

    // Everything but the rom path and the program's own cache and archive folders,
    // with sizes and hashes.
    const auto outside = [&] {
        return RunCommand("cd " + ShellQuote(fx.tmp.Path()) +
                          " && find . \\( -path ./vol/roms -o -path ./vol/cache -o -path ./vol/archive \\) -prune"
                          " -o -printf '%y %s %p\\n' | sort && find . \\( -path ./vol/roms -o -path ./vol/cache -o"
                          " -path ./vol/archive \\) -prune -o -type f -print0 | sort -z | xargs -0 -r sha1sum");
    };
    const std::string before = outside();
    auto p = Pipeline(AllOn());
    p->Run(WholePath());
    EXPECT_EQ(outside(), before);
    EXPECT_GT(p->ErrorTotal(), 0);
    // The refused names stayed as they were, and say why.
    EXPECT_EQ(Listing("pacman.zip"), "pm1.bin pm2.bin ");
    EXPECT_TRUE(std::filesystem::exists(fx.romsDir + "evil.zip"));
    EXPECT_TRUE(std::filesystem::exists(fx.romsDir + "pacman/pm1.bin") ||
                std::filesystem::exists(fx.romsDir + "pacmn/pm1.bin"));
    const std::string shown = ::testing::PrintToString(Boxes()) + ::testing::PrintToString(log);
    EXPECT_NE(shown.find("is refused"), std::string::npos) << shown;
}

TEST_F(FixPipelineTest, ALooseRomImportedIntoItsSetLeavesWithTheSameFix) {
    Zip("pacman.zip", {{"pm1.bin", 'a'}});
    WriteFile(fx.romsDir + "pm2.bin", Bytes('b'));
    fx.Load(true);
    auto p = Pipeline(TFixSwitches{});
    p->Run(WholePath());
    EXPECT_EQ(p->ErrorTotal(), 0);
    EXPECT_EQ(Listing("pacman.zip"), "pm1.bin pm2.bin ");
    EXPECT_FALSE(std::filesystem::exists(fx.romsDir + "pm2.bin"));
    EXPECT_EQ(ReadFile(archiveDir + "pm2.bin"), Bytes('b'));  // kept, not lost
    ExpectSecondFixChangesNothing();
}

TEST_F(FixPipelineTest, AFailureThatEndsTheFixNamesItsFileAndOperation) {
    Zip("pacman.zip", {{"pm1.bin", 'a'}, {"pm2.bin", 'b'}, {"junk.txt", 'j'}});
    fx.Load(true);
    TFaultyFileSystem faulty(Fs());
    faulty.failAt = 1;  // nothing can be written any more: the backup fails
    faulty.sticky = true;
    faulty.failErrno = EACCES;
    TScopedFileSystem fsScope(faulty);
    auto p = Pipeline(TFixSwitches{false, true, false, false, false, false, false});
    p->Run(WholePath());
    const auto boxes = Boxes();
    ASSERT_FALSE(boxes.empty());
    const std::string head = "Removing rom " + fx.romsDir + "pacman.zip/junk.txt: ";
    EXPECT_EQ(boxes.front().rfind(head, 0), 0u) << boxes.front();
    EXPECT_GT(boxes.front().size(), head.size());  // the system's text follows
    EXPECT_EQ(Listing("pacman.zip"), "junk.txt pm1.bin pm2.bin ");
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
    // The roms put in the new file stand for roms that were selected: they join the
    // selection, so the later steps see them.
    std::vector<std::string> joined;
    p->OnStepStarted = [&](TFixStep step) {
        if (step != TFixStep::RenameRoms || !joined.empty()) return;
        for (const TRomFile* r : p->SelectedRoms)
            if (r->File->Name == "mspac.zip") joined.push_back(r->StoredName());
    };
    p->Run(WholePath());
    EXPECT_EQ(created, std::vector<std::string>{"mspac.zip"});
    EXPECT_EQ(joined, (std::vector<std::string>{"ms1.bin", "ms2.bin"}));
    EXPECT_EQ(Listing("galaga.zip"), "gg1.bin gg2.bin ");
    EXPECT_EQ(Listing("mspac.zip"), "ms1.bin ms2.bin ");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], Fmt("%1 files fixed.", {std::to_string(p->FixedTotal())}));
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtInformation);
    ASSERT_TRUE(fx.files->OnCreateFile);  // the view's handler is back
    ExpectSecondFixChangesNothing();
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
    // A counted failure is not reported as success, and says which file and why.
    EXPECT_EQ(Boxes().back().rfind("Some files has not been fixed.\n\nRezipping file " + fx.romsDir + "pacman.zip: ", 0),
              0u)
        << Boxes().back();
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
    for (const auto& entry : merged->RomFiles) EXPECT_TRUE(entry.romFile->IsOk()) << entry.romFile->Name();
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
            EXPECT_TRUE(entry.romFile->IsOk()) << file->Name << "/" << entry.romFile->StoredName() << " "
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
    ExpectSecondFixChangesNothing();
}

INSTANTIATE_TEST_SUITE_P(Modes, FixPipelineModeTest, ::testing::Values(0, 1, 2));

// Merged sets as collectors of the emulator keep them: the bios set holds the roms its
// games take from it. gb.zip lacks them and is complete; gc.zip, written by a full
// merge, holds a copy, which is its rom all the same. A whole fix changes nothing.
TEST_F(FixPipelineTest, MergedSetsTakeTheirBiosRomsFromTheBiosSet) {
    fx.roms.Split = false;
    fx.roms.MergeRoms = false;
    BuildRoms(fx.roms, "[RESOURCES]\nneo|neo|sp1.bin|" + CrcOf('h') + "|16||\n[GAMES]\n" + RepairCatalogue() +
                           "gb|gb|sp1.bin|" + CrcOf('h') + "|16|neo|sp1.bin\ngb|gb|gb1.bin|" + CrcOf('i') +
                           "|16|neo|\ngc|gc|sp1.bin|" + CrcOf('h') + "|16|neo|sp1.bin\ngc|gc|gc1.bin|" +
                           CrcOf('k') + "|16|neo|\n");
    Zip("neo.zip", {{"sp1.bin", 'h'}});
    Zip("gb.zip", {{"gb1.bin", 'i'}});
    Zip("gc.zip", {{"gc1.bin", 'k'}, {"sp1.bin", 'h'}});
    fx.Load(true);
    for (const auto& file : fx.path->Files())
        for (const auto& entry : file->RomFiles)
            EXPECT_EQ(entry.romFile->Status, rsOk) << file->Name << "/" << entry.romFile->StoredName();
    fx.roms.RecalculateStatus();
    for (const char* game : {"gb", "gc", "neo"}) EXPECT_EQ(fx.roms.Games().FindGame(game)->GetStatus(), 2) << game;
    ExpectSecondFixChangesNothing();
    EXPECT_EQ(Listing("gb.zip"), "gb1.bin ");
    EXPECT_EQ(Listing("gc.zip"), "gc1.bin sp1.bin ");
    EXPECT_EQ(Listing("neo.zip"), "sp1.bin ");
}

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
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[0], Fmt("%1 files fixed.", {std::to_string(p->FixedTotal())}));
    EXPECT_EQ(Boxes()[1].rfind("Some files has not been fixed.\n\n", 0), 0u);
    EXPECT_NE(Boxes()[1].find(fx.romsDir + "pacmn.zip"), std::string::npos) << Boxes()[1];
    EXPECT_EQ(hooks.shown.back().type, TMsgDlgType::mtWarning);
}

// A rom that would go into a set whose zip is damaged: the fix goes on, and its last box
// and the log say which zip and why.
TEST_F(FixPipelineTest, AFailureTheFixGoesOnPastIsNamedInTheBoxAndTheLog) {
    Zip("galaga.zip", {{"gg1.bin", 'c'}, {"gg2.bin", 'd'}, {"ms2.bin", 'g'}});
    Zip("mspac.zip", {{"ms1.bin", 'f'}});
    fx.Load(true);
    std::string bytes = ReadFile(fx.romsDir + "mspac.zip");
    bytes.resize(bytes.size() / 2);
    WriteFile(fx.romsDir + "mspac.zip", bytes);
    auto p = Pipeline(TFixSwitches{false, true, false, false, false, false, false});
    p->Run(WholePath());
    EXPECT_EQ(Listing("galaga.zip"), "gg1.bin gg2.bin ms2.bin ");  // kept: it had nowhere to go
    const std::string zip = fx.romsDir + "mspac.zip";
    const auto boxes = Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(boxes.back().find(zip), std::string::npos) << boxes.back();
    ASSERT_EQ(p->Failures().size(), 1u);
    const std::string& failure = p->Failures().front();
    EXPECT_NE(failure.find(zip), std::string::npos) << failure;
    EXPECT_GT(failure.size(), failure.find(": ") + 2) << "a reason follows";
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.find(failure) != std::string::npos; }),
              1);
    // Named once: the box that ends the fix does not list it twice.
    EXPECT_EQ(boxes.back().find(zip), boxes.back().rfind(zip)) << boxes.back();
}

// The box lists the first twenty failures and tells how many more the log holds.
TEST_F(FixPipelineTest, ManyFailuresAreListedUpToTwentyThenCounted) {
    std::vector<std::string> names;
    for (int i = 0; i < 23; ++i) {
        const std::string name = "bad" + std::to_string(100 + i) + ".zip";
        Zip(name, {{"pm1.bin", 'a'}, {"pm2.bin", 'b'}});
        names.push_back(name);
    }
    fx.Load(true);
    for (const std::string& name : names) {
        std::string bytes = ReadFile(fx.romsDir + name);
        bytes.resize(bytes.size() / 2);
        WriteFile(fx.romsDir + name, bytes);
    }
    auto p = Pipeline(TFixSwitches{false, false, false, false, false, false, true});
    p->Run(WholePath());
    EXPECT_EQ(p->Failures().size(), 23u);
    const std::string box = Boxes().back();
    EXPECT_NE(box.find(names[19]), std::string::npos);
    EXPECT_EQ(box.find(names[20]), std::string::npos);
    EXPECT_NE(box.find("\nand 3 more"), std::string::npos) << box;
    for (const std::string& name : names)
        EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.find(name) != std::string::npos; }))
            << name;
}

// A set that lists one content under two names, its zip holding one: the fix makes the
// other name from the copy in the same zip, says nothing went wrong, and a second fix
// changes nothing.
class FixTwinNamesTest : public FixPipelineTest {
protected:
    FixTwinNamesTest()
        : FixPipelineTest(RepairCatalogue() + "twin|twin|a.bin|" + CrcOf('h') + "|16||\n" + "twin|twin|b.bin|" +
                          CrcOf('h') + "|16||\n") {}
};

TEST_F(FixTwinNamesTest, TheMissingNameIsMadeFromTheCopyInTheSameZip) {
    Zip("twin.zip", {{"a.bin", 'h'}});
    fx.Load(true);
    auto p = Pipeline(TFixSwitches{});
    p->Run(WholePath());
    EXPECT_EQ(Listing("twin.zip"), "a.bin b.bin ");
    EXPECT_EQ(p->ErrorTotal(), 0);
    EXPECT_TRUE(p->Failures().empty());
    for (const auto& shown : hooks.shown) EXPECT_EQ(shown.type, TMsgDlgType::mtInformation) << shown.text;
    ExpectSecondFixChangesNothing();
}

// The selection's membership table answers as a hash set would through growth and
// through many erasures (erased slots are passed over, not taken for the end of a run).
TEST(FixSelectionSet, AgreesWithAHashSetThroughGrowthAndErasures) {
    std::vector<int64_t> objects(60000);
    TAddressSet set;
    std::unordered_set<const void*> oracle;
    uint64_t state = 12345;
    for (int step = 0; step < 400000; ++step) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const void* address = &objects[(state >> 33) % (step < 200000 ? 20000 : objects.size())];
        switch ((state >> 20) % 3) {
            case 0: ASSERT_EQ(set.Insert(address), oracle.insert(address).second) << step; break;
            case 1: ASSERT_EQ(set.Erase(address), oracle.erase(address) != 0) << step; break;
            default: ASSERT_EQ(set.Contains(address), oracle.count(address) != 0) << step; break;
        }
        ASSERT_EQ(set.Size(), oracle.size());
    }
    set.Clear();
    EXPECT_FALSE(set.Contains(&objects[0]));
    EXPECT_TRUE(set.Insert(&objects[0]));
}

}  // namespace
}  // namespace qm::test
