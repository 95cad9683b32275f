// The single repair steps and the file commands over the damaged collection: what each
// command gathers, what it changes on disk (read back with unzip, and from the trash),
// how it ends when the user cancels or a name is taken, and the archive test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "RepairCollection.h"
#include "platform/Text.h"
#include "ui/commands/FileCommands.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

class FileCommandsTest : public TRepairCollectionTest {
protected:
    FileCommandsTest() {
        commands.ArchivePath = [this] { return archiveDir; };
        commands.OnLog = [this](const std::string& line) { log.push_back(line); };
        commands.OnBusy = [this](bool b) {
            busy = b;
            if (b) ++busyCalls;
        };
        commands.OnRebuildTree = [this] { ++rebuilds; };
        commands.OnSuspendListChange = [this](bool s) { listChangeOff = s; };
        commands.ChooseFolder = [this](const std::string&, const std::string& start) {
            folderDialogStart = start;
            return chosenFolder;
        };
        commands.IsReadOnlyPath = [this](const std::string& folder) { return folder == readOnlyFolder; };
    }

    TFile* File(const std::string& name) const { return fx.path->Files().Find(name); }
    TRomFile* Rom(const std::string& file, const std::string& name) const {
        for (const auto& e : File(file)->RomFiles)
            if (e.romFile->StoredName() == name) return e.romFile.get();
        return nullptr;
    }

    // The tree focused on the rom path.
    TCommandSelection WholePath() const {
        TCommandSelection s;
        for (const auto& file : fx.path->Files()) {
            s.treeFiles.push_back(file.get());
            for (const auto& e : file->RomFiles) s.treeRoms.push_back(e.romFile.get());
        }
        s.focus = TViewFocus::Tree;
        return s;
    }
    // The list showing files (or the roms of one file) with these selected and focused.
    static TCommandSelection ListFiles(std::vector<TFile*> files) {
        TCommandSelection s;
        s.listFiles = std::move(files);
        s.listContent = TListContent::Files;
        s.focus = TViewFocus::List;
        return s;
    }
    static TCommandSelection ListRoms(std::vector<TRomFile*> roms) {
        TCommandSelection s;
        s.listRoms = std::move(roms);
        if (!s.listRoms.empty()) s.listFiles = {s.listRoms.front()->File};
        s.listContent = TListContent::RomFiles;
        s.focus = TViewFocus::List;
        return s;
    }

    std::string Trashed(const std::string& name) const { return trashHome + "Trash/files/" + name; }
    bool Intact(const std::string& zip) {
        int status = -1;
        RunCommand("unzip -tqq " + ShellQuote(fx.romsDir + zip), &status);
        return status == 0;
    }

    std::string trashHome = fx.tmp.Path() + "xdg/";
    TScopedEnv trashEnv{"XDG_DATA_HOME", trashHome};
    TFileCommands commands{fx.roms, *fx.files};
    std::vector<std::string> log;
    std::string chosenFolder;
    std::string folderDialogStart;
    std::string readOnlyFolder = "/nowhere";
    bool busy = false;
    int busyCalls = 0;
    bool listChangeOff = false;
    int rebuilds = 0;
};

// ---- Gathering --------------------------------------------------------------------------

TEST_F(FileCommandsTest, EachCommandGathersWhatItsViewAndItemsGive) {
    MakeCollection();
    TFile* galaga = File("galaga.zip");
    TFile* dkong = File("dkong.zip");
    TRomFile* dk1 = Rom("dkong.zip", "dk1.bin");
    TRomFile* junk = Rom("dkong.zip", "junk.txt");
    TRomFile* bad = Rom("galaga.zip", "GG2.BIN");
    TRomFile* misnamed = Rom("galaga.zip", "x.bin");
    ASSERT_TRUE(bad->HasBadCase());
    std::vector<TRomFile*> dkongReal;  // in the file's own order, the missing dk2.bin left out
    for (const auto& e : dkong->RomFiles)
        if (!e.romFile->IsPlaceholder()) dkongReal.push_back(e.romFile.get());
    ASSERT_EQ(dkongReal.size(), 2u);

    TCommandSelection otherLayout = ListFiles({galaga});
    otherLayout.listContent = TListContent::Other;
    TCommandSelection listButTreeFocus = ListFiles({galaga});
    listButTreeFocus.treeFiles = {dkong};
    listButTreeFocus.focus = TViewFocus::Tree;
    TCommandSelection unfocused = ListFiles({galaga});
    unfocused.focus = TViewFocus::None;
    TCommandSelection placeholders = ListRoms({Rom("dkong.zip", "dk2.bin")});
    TCommandSelection sameFileTwice = ListRoms({dk1, junk});

    struct TCase {
        const char* name;
        int mode;
        int items;
        TCommandSelection selection;
        TShellGather::TOutcome outcome;
        std::vector<TRomFile*> roms;
        std::vector<TFile*> files;
    };
    const std::vector<TCase> cases = {
        {"move takes the list's files", smMove, siBoth, ListFiles({galaga}), TShellGather::Ready, {}, {galaga}},
        {"copy takes the tree's when the list is empty", smCopy, siBoth, listButTreeFocus, TShellGather::Ready, {},
         {galaga}},
        {"delete takes the focused view", smDelete, siBoth, listButTreeFocus, TShellGather::Ready, {}, {dkong}},
        {"delete in the rom-file layout", smDelete, siBoth, ListRoms({junk}), TShellGather::Ready, {junk}, {}},
        {"another layout gives nothing", smDelete, siBoth, otherLayout, TShellGather::NoItems, {}, {}},
        {"no focus gives nothing", smUpper, siBoth, unfocused, TShellGather::NoItems, {}, {}},
        {"only placeholders: nothing to do", smDelete, siBoth, placeholders, TShellGather::NothingToDo, {}, {}},
        {"roms widened from files, placeholders out", smLower, siRoms, ListFiles({dkong}), TShellGather::Ready,
         dkongReal, {}},
        {"files widened from roms, each once", smUpper, siFiles, sameFileTwice, TShellGather::Ready, {}, {dkong}},
        {"neither items: nothing to do", smCapitalize, siNone, ListFiles({dkong}), TShellGather::NothingToDo, {}, {}},
        {"datafile case keeps ok and wrongly cased roms", smDatafileCase, siRoms, ListRoms({misnamed, bad, dk1, junk}),
         TShellGather::Ready, {bad, dk1}, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TShellGather g = GatherShellSelection(c.mode, c.items, c.selection);
        EXPECT_EQ(g.outcome, c.outcome);
        if (c.outcome != TShellGather::Ready) continue;
        EXPECT_EQ(g.roms, c.roms);
        EXPECT_EQ(g.files, c.files);
    }
    // The datafile case keeps only files of a game whose case is wrong.
    const TShellGather files = GatherShellSelection(smDatafileCase, siFiles, WholePath());
    for (const TFile* f : files.files) EXPECT_TRUE(f->Clone != nullptr && f->HasBadCase()) << f->Name;
}

TEST(CaseRuleNameTest, EachRuleGivesItsName) {
    struct TCase {
        const char* name;
        int rule;
        const char* correct;
        const char* expected;
    };
    const TCase cases[] = {
        {"Pac Man (usa) [b1].ZIP", coCapitalize, "", "Pac Man (Usa) [B1].zip"},
        {"((x) y.bin", coCapitalize, "", "((X) Y.bin"},
        {"Dir/Rom.Bin", coUppercase, "", "Dir/ROM.BIN"},
        {"DIR/ROM.BIN", coLowercase, "", "DIR/rom.bin"},
        {"sub/GG2.BIN", coDatabase, "gg2.bin", "sub/gg2.bin"},
        {"x.bin", coDatabase, "", ""},
        {"Keep.Bin", coDontCare, "", "Keep.Bin"},
    };
    for (const TCase& c : cases) EXPECT_EQ(CaseRuleName(c.name, c.rule, c.correct), c.expected) << c.name;
}

// ---- Single steps -----------------------------------------------------------------------

TEST_F(FileCommandsTest, SingleStepsRepairTheirSelectionAndPruneWhatTheyFree) {
    MakeCollection();
    {
        SCOPED_TRACE("rename files from the list");
        const TCommandResult r = commands.RunFixStep(stRenameFiles, ListFiles({File("pacmn.zip")}));
        EXPECT_EQ(r.done, 1);
        EXPECT_EQ(r.errors, 0);
        EXPECT_TRUE(Intact("pacman.zip"));
        EXPECT_EQ(Listing("pacman.zip"), "pm1.bin pm2.bin ");
        EXPECT_NE(File("pacman.zip"), nullptr);
        EXPECT_EQ(rebuilds, 1);
        EXPECT_FALSE(busy);
        EXPECT_GE(busyCalls, 1);
    }
    {
        SCOPED_TRACE("useless and unknown roms removed, the view still hears of it");
        std::vector<std::string> viewHeard;
        fx.files->OnRemoveRomFile = [&](TRomFile* r) { viewHeard.emplace_back(r->Name()); };
        TCommandSelection s;
        s.treeRoms = {Rom("dkong.zip", "dk1.bin"), Rom("dkong.zip", "junk.txt")};
        const TCommandResult r = commands.RunFixStep(stRemoveUselessRoms, s);
        EXPECT_EQ(r.done, 1);
        EXPECT_EQ(Listing("dkong.zip"), "dk1.bin ");
        EXPECT_TRUE(Intact("dkong.zip"));
        EXPECT_EQ(RunCommand("unzip -Z1 " + ShellQuote(archiveDir + "dkong.zip")), "junk.txt\n");
        EXPECT_NE(std::find(log.begin(), log.end(), "Romfile junk.txt removed from list"), log.end());
        EXPECT_NE(std::find(viewHeard.begin(), viewHeard.end(), "junk.txt"), viewHeard.end());
        ASSERT_TRUE(fx.files->OnRemoveRomFile);  // the view's handler is back
    }
    {
        SCOPED_TRACE("nothing to do, nothing selected, paths changed");
        hooks.shown.clear();
        rebuilds = 0;
        EXPECT_EQ(commands.RunFixStep(stReZip, ListFiles({})).done, 0);
        EXPECT_EQ(commands.RunFixStep(stCreateDummy, ListRoms({Rom("mspac.zip", "ms1.bin")})).done, 0);
        commands.OnCheckPathsModified = [] { return false; };
        commands.RunFixStep(stRenameFiles, WholePath());
        EXPECT_EQ(Boxes(), (std::vector<std::string>{"No items selected!", "No fix done !"}));
        EXPECT_EQ(rebuilds, 0);
    }
}

// ---- Move and copy ----------------------------------------------------------------------

TEST_F(FileCommandsTest, MoveAsksRemembersTheAnswerAndNeverLosesTheFileItReplaces) {
    MakeCollection();
    const std::string dest = fx.tmp.Path() + "vol/elsewhere/";
    for (const char* name : {"dkong.zip", "mspac.zip", "readme.zip"}) WriteFile(dest + name, "old " + std::string(name));
    const TCommandSelection s = ListFiles({File("dkong.zip"), File("galaga.zip"), File("mspac.zip"), File("readme.zip")});
    chosenFolder = dest;
    {
        SCOPED_TRACE("no to all: every later clash skipped without a question");
        hooks.dialogAnswers = {mrOk, mrNoToAll};
        const TCommandResult r = commands.RunShellOperation(smMove, siBoth, s);
        EXPECT_EQ(r.done, 1);
        EXPECT_EQ(folderDialogStart, fx.tmp.Path() + "vol/");
        EXPECT_EQ(hooks.shown.size(), 2u);
        EXPECT_TRUE(fs::exists(dest + "galaga.zip"));
        EXPECT_FALSE(fs::exists(fx.romsDir + "galaga.zip"));
        EXPECT_EQ(File("galaga.zip"), nullptr);
        EXPECT_EQ(ReadFile(dest + "mspac.zip"), "old mspac.zip");
        EXPECT_TRUE(fs::exists(fx.romsDir + "mspac.zip"));
        EXPECT_FALSE(listChangeOff);
        EXPECT_EQ(rebuilds, 1);
    }
    {
        SCOPED_TRACE("yes to all: replaced without asking again, the old ones in the trash");
        hooks.shown.clear();
        hooks.dialogAnswers = {mrOk, mrYesToAll};
        const TCommandResult r =
            commands.RunShellOperation(smMove, siBoth, ListFiles({File("dkong.zip"), File("mspac.zip"), File("readme.zip")}));
        EXPECT_EQ(r.done, 3);
        EXPECT_EQ(hooks.shown.size(), 2u);
        int status = -1;
        for (const char* name : {"dkong.zip", "mspac.zip", "readme.zip"}) {
            RunCommand("unzip -tqq " + ShellQuote(dest + name), &status);
            EXPECT_EQ(status, 0) << name;
            EXPECT_EQ(ReadFile(Trashed(name)), "old " + std::string(name));
        }
        EXPECT_EQ(fx.path->Files().Count(), 1);  // pacmn.zip was not chosen
    }
}

TEST_F(FileCommandsTest, MoveAndCopyEndEarlyWhereTheyMust) {
    MakeCollection();
    const std::string inside = fx.romsDir + "sub/";
    fs::create_directories(inside);
    WriteFile(inside + "dk1.bin", Bytes('e'));
    fx.Load(true);
    ASSERT_NE(File("sub"), nullptr);
    const TCommandSelection s = ListFiles({File("sub"), File("mspac.zip")});
    struct TCase {
        const char* name;
        int mode;
        std::vector<int> answers;
        std::string folder;
        std::string readOnly;
        std::vector<std::string> boxes;
    };
    const std::string other = fx.tmp.Path() + "vol/other/";
    const std::vector<TCase> cases = {
        {"cancelled at the question", smMove, {mrCancel}, other, "", {"2 file(s) will be moved. \nContinue ?"}},
        {"no folder chosen", smCopy, {mrOk}, "", "", {"2 file(s) will be copied. \nContinue ?"}},
        {"read-only destination", smMove, {mrOk}, other, fx.tmp.Path() + "vol",
         {"2 file(s) will be moved. \nContinue ?", "This disk is read only."}},
        {"the same folder", smCopy, {mrOk}, fx.romsDir + "../roms", "",
         {"2 file(s) will be copied. \nContinue ?", "Can't move or copy to the same folder. Nothing to do."}},
        {"a folder into itself", smCopy, {mrOk}, inside + "deeper/", "",
         {"2 file(s) will be copied. \nContinue ?", "Can't move or copy a folder into itself."}},
        {"a folder below itself", smMove, {mrOk}, inside + "deeper/", "",
         {"2 file(s) will be moved. \nContinue ?", "Can't move or copy a folder into itself."}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        hooks.shown.clear();
        hooks.dialogAnswers.assign(c.answers.begin(), c.answers.end());
        chosenFolder = c.folder;
        readOnlyFolder = c.readOnly.empty() ? "/nowhere" : c.readOnly;
        const TCommandResult r = commands.RunShellOperation(c.mode, siBoth, s);
        EXPECT_EQ(r.done, 0);
        EXPECT_EQ(Boxes(), c.boxes);
        EXPECT_TRUE(fs::exists(inside + "dk1.bin"));
        EXPECT_FALSE(fs::exists(inside + "deeper"));
        EXPECT_TRUE(fs::exists(fx.romsDir + "mspac.zip"));
        EXPECT_FALSE(busy);
    }
    {
        SCOPED_TRACE("cancel before the first move: -1, and the path is still refreshed");
        hooks.shown.clear();
        hooks.dialogAnswers = {mrOk};
        chosenFolder = other;
        rebuilds = 0;
        commands.Progress.Start = [this] { fx.files->Paths().Abort = true; };
        const TCommandResult r = commands.RunShellOperation(smMove, siBoth, s);
        EXPECT_EQ(r.done, -1);
        EXPECT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(rebuilds, 1);
        EXPECT_FALSE(fx.files->Paths().Abort);
        EXPECT_TRUE(fs::exists(fx.romsDir + "mspac.zip"));
    }
}

TEST_F(FileCommandsTest, CopyKeepsTheSourcesAndTrashesWhatTheUserAgreedToReplace) {
    MakeCollection();
    const std::string dest = fx.tmp.Path() + "vol/copies/";
    WriteFile(dest + "mspac.zip", "old");
    fs::create_directories(fx.romsDir + "sub");
    WriteFile(fx.romsDir + "sub/dk1.bin", Bytes('e'));
    fs::create_directories(dest + "sub");
    WriteFile(dest + "sub/dk1.bin", "theirs");
    WriteFile(dest + "dkong.zip/keep.txt", "a folder of a zip's name");
    fx.Load(true);
    hooks.dialogAnswers = {mrOk, mrYes};
    chosenFolder = dest;
    const TCommandResult r =
        commands.RunShellOperation(smCopy, siBoth, ListFiles({File("mspac.zip"), File("sub"), File("dkong.zip")}));
    EXPECT_EQ(r.done, 3);
    EXPECT_EQ(hooks.shown.size(), 2u);  // the folder in the way is never offered for replacing
    EXPECT_EQ(ReadFile(dest + "dkong.zip/keep.txt"), "a folder of a zip's name");
    EXPECT_EQ(ReadFile(dest + "dkong_0.zip"), ReadFile(fx.romsDir + "dkong.zip"));
    EXPECT_EQ(ReadFile(Trashed("mspac.zip")), "old");
    EXPECT_EQ(ReadFile(dest + "mspac.zip"), ReadFile(fx.romsDir + "mspac.zip"));
    // The folder already there is left as it was; the copy takes a free name.
    EXPECT_EQ(ReadFile(dest + "sub/dk1.bin"), "theirs");
    EXPECT_EQ(ReadFile(dest + "sub_0/dk1.bin"), Bytes('e'));
    EXPECT_TRUE(Intact("mspac.zip"));
    EXPECT_NE(File("sub"), nullptr);
}

TEST_F(FileCommandsTest, AMoveToAnotherVolumeArrivesWholeBeforeTheSourceGoes) {
    char pattern[] = "/dev/shm/qm-filecmds-XXXXXX";
    if (!fs::is_directory("/dev/shm") || ::mkdtemp(pattern) == nullptr) GTEST_SKIP() << "no second volume";
    const std::string dest = std::string(pattern) + "/";
    struct TRemove {
        std::string dir;
        ~TRemove() { fs::remove_all(dir); }
    } remove{dest};
    TVolumeFacts volume;
    volume.root = dest;
    volume.uuid = "5678-9ABC";
    volume.fsType = "tmpfs";
    volume.totalBytes = 1 << 30;
    fx.volumes.volumes.push_back(volume);
    MakeCollection();
    const std::string before = ReadFile(fx.romsDir + "galaga.zip");
    hooks.dialogAnswers = {mrOk};
    chosenFolder = dest;
    EXPECT_EQ(commands.RunShellOperation(smMove, siBoth, ListFiles({File("galaga.zip")})).done, 1);
    EXPECT_EQ(ReadFile(dest + "galaga.zip"), before);
    EXPECT_FALSE(fs::exists(fx.romsDir + "galaga.zip"));
}

// ---- Delete -----------------------------------------------------------------------------

TEST_F(FileCommandsTest, DeleteSendsFilesToTheTrashAndStopsAtTheFirstFailure) {
    MakeCollection();
    {
        SCOPED_TRACE("cancel does nothing");
        hooks.dialogAnswers = {mrCancel};
        EXPECT_EQ(commands.RunShellOperation(smDelete, siBoth, ListFiles({File("readme.zip")})).done, 0);
        EXPECT_TRUE(fs::exists(fx.romsDir + "readme.zip"));
        EXPECT_EQ(rebuilds, 0);
    }
    {
        SCOPED_TRACE("files to the trash, the database in step");
        hooks.shown.clear();
        hooks.dialogAnswers = {mrOk};
        const std::string bytes = ReadFile(fx.romsDir + "readme.zip");
        EXPECT_EQ(commands.RunShellOperation(smDelete, siBoth, ListFiles({File("readme.zip"), File("mspac.zip")})).done,
                  2);
        EXPECT_EQ(Boxes(), std::vector<std::string>{"2 file(s) will be deleted. \nContinue ?"});
        EXPECT_EQ(ReadFile(Trashed("readme.zip")), bytes);
        EXPECT_TRUE(fs::exists(trashHome + "Trash/info/readme.zip.trashinfo"));
        EXPECT_FALSE(fs::exists(fx.romsDir + "mspac.zip"));
        EXPECT_EQ(File("readme.zip"), nullptr);
    }
    {
        SCOPED_TRACE("a rom of a zip");
        hooks.dialogAnswers = {mrOk};
        EXPECT_EQ(commands.RunShellOperation(smDelete, siBoth, ListRoms({Rom("dkong.zip", "junk.txt")})).done, 1);
        EXPECT_EQ(Listing("dkong.zip"), "dk1.bin ");
        EXPECT_TRUE(Intact("dkong.zip"));
    }
    {
        SCOPED_TRACE("roms of one zip leave it in one rewrite");
        struct TReplaces : TFaultyFileSystem {
            using TFaultyFileSystem::TFaultyFileSystem;
            std::vector<std::string> targets;
            int ReplaceWith(const std::string& temporary, const std::string& target) override {
                targets.push_back(target);
                return TFaultyFileSystem::ReplaceWith(temporary, target);
            }
        } replaces(Fs());
        TScopedFileSystem scope(replaces);
        hooks.dialogAnswers = {mrOk};
        const TCommandResult r = commands.RunShellOperation(
            smDelete, siBoth, ListRoms({Rom("galaga.zip", "x.bin"), Rom("pacmn.zip", "pm1.bin"), Rom("galaga.zip", "ms2.bin")}));
        EXPECT_EQ(r.done, 3);
        EXPECT_EQ(std::count(replaces.targets.begin(), replaces.targets.end(), fx.romsDir + "galaga.zip"), 1);
        EXPECT_EQ(Listing("galaga.zip"), "GG2.BIN ");
        EXPECT_TRUE(Intact("galaga.zip"));
        ASSERT_NE(File("galaga.zip"), nullptr);
        EXPECT_EQ(File("galaga.zip")->GetRomFileCount(), 1);
        EXPECT_EQ(Listing("pacmn.zip"), "pm2.bin ");
    }
    {
        SCOPED_TRACE("no trash can take it: nothing deleted");
        hooks.shown.clear();
        hooks.dialogAnswers = {mrOk};
        TFaultyFileSystem faulty(Fs());
        faulty.failAt = 1;
        faulty.sticky = true;
        TScopedFileSystem scope(faulty);
        const TCommandResult r =
            commands.RunShellOperation(smDelete, siBoth, ListFiles({File("galaga.zip"), File("pacmn.zip")}));
        EXPECT_EQ(r.done, 0);
        ASSERT_EQ(hooks.shown.size(), 2u);
        EXPECT_EQ(hooks.shown[1].type, TMsgDlgType::mtError);
        EXPECT_TRUE(Intact("galaga.zip"));
        EXPECT_TRUE(Intact("pacmn.zip"));
        EXPECT_NE(File("galaga.zip"), nullptr);
    }
    {
        SCOPED_TRACE("a failure after the first file: the command stops, what it did is refreshed");
        TFaultyFileSystem counting(Fs());
        {
            TScopedFileSystem scope(counting);
            fx.path->DeleteFileFromDisk(File("dkong.zip"));
        }
        ASSERT_GT(counting.changingCalls, 0);
        TFaultyFileSystem faulty(Fs());
        faulty.failAt = counting.changingCalls + 1;  // the second file's first change
        TScopedFileSystem scope(faulty);
        hooks.shown.clear();
        hooks.dialogAnswers = {mrOk};
        rebuilds = 0;
        commands.RunShellOperation(smDelete, siBoth, ListFiles({File("pacmn.zip"), File("galaga.zip")}));
        ASSERT_EQ(hooks.shown.size(), 2u);
        EXPECT_EQ(hooks.shown[1].type, TMsgDlgType::mtError);
        EXPECT_TRUE(fs::exists(Trashed("pacmn.zip")));
        EXPECT_TRUE(Intact("galaga.zip"));
        EXPECT_EQ(rebuilds, 1);
        EXPECT_EQ(File("pacmn.zip"), nullptr);
    }
}

TEST_F(FileCommandsTest, AMissingVolumeIsAskedForUntilTheUserGivesUp) {
    MakeCollection();
    fs::rename(fx.romsDir, fx.tmp.Path() + "vol/away");
    hooks.dialogAnswers = {mrRetry, mrAbort};
    EXPECT_EQ(commands.RunShellOperation(smDelete, siBoth, ListFiles({File("readme.zip")})).done, 0);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Volume ROMDISK not available", "Volume ROMDISK not available"}));
    EXPECT_EQ(busyCalls, 0);
    fs::rename(fx.tmp.Path() + "vol/away", fx.romsDir);
}

// ---- Change case ------------------------------------------------------------------------

TEST_F(FileCommandsTest, ChangeCaseRenamesZipsAndEntriesAndRefusesTakenNames) {
    Zip("mspac.zip", {{"ms1.bin", 'f'}, {"Ms2.bin", 'g'}});
    Zip("clash.zip", {{"a.bin", 'a'}, {"A.BIN", 'b'}});
    Zip("pacman.zip", {{"pm1.bin", 'a'}});
    Zip("PACMAN.ZIP", {{"pm2.bin", 'b'}});
    fx.Load(true);
    {
        SCOPED_TRACE("cancel does nothing");
        hooks.dialogAnswers = {mrCancel};
        EXPECT_EQ(commands.RunShellOperation(smUpper, siBoth, ListFiles({File("mspac.zip")})).done, 0);
        EXPECT_EQ(RunCommand("unzip -Z1 " + ShellQuote(fx.romsDir + "mspac.zip")), "ms1.bin\nMs2.bin\n");
    }
    {
        SCOPED_TRACE("upper case of a zip and its entries");
        hooks.shown.clear();
        hooks.dialogAnswers = {mrOk};
        const TCommandResult r = commands.RunShellOperation(smUpper, siBoth, ListFiles({File("mspac.zip")}));
        EXPECT_EQ(r.done, 3);
        EXPECT_EQ(r.errors, 0);
        EXPECT_EQ(Boxes(), std::vector<std::string>{"3 file(s) will be renamed. \nContinue ?"});
        EXPECT_EQ(Listing("MSPAC.ZIP"), "MS1.BIN MS2.BIN ");
        EXPECT_TRUE(Intact("MSPAC.ZIP"));
        ASSERT_NE(File("MSPAC.ZIP"), nullptr);
        EXPECT_EQ(File("MSPAC.ZIP")->RomFiles.Count(), 2);
    }
    {
        SCOPED_TRACE("names that stay as they are are not counted");
        hooks.dialogAnswers = {mrOk};
        rebuilds = 0;
        EXPECT_EQ(commands.RunShellOperation(smUpper, siBoth, ListFiles({File("MSPAC.ZIP")})).done, 0);
        EXPECT_EQ(rebuilds, 0);
    }
    {
        SCOPED_TRACE("entries equal but for case are left alone");
        hooks.shown.clear();
        hooks.dialogAnswers = {mrOk};
        const std::string bytes = ReadFile(fx.romsDir + "clash.zip");
        const TCommandResult r = commands.RunShellOperation(smLower, siRoms, ListFiles({File("clash.zip")}));
        EXPECT_EQ(r.done, 0);
        EXPECT_EQ(r.errors, 1);
        EXPECT_EQ(ReadFile(fx.romsDir + "clash.zip"), bytes);
        EXPECT_EQ(Boxes().back(), "1 file(s) not renamed: the new name is already taken.");
    }
    {
        SCOPED_TRACE("a zip whose new name another file bears on disk");
        hooks.shown.clear();
        hooks.dialogAnswers = {mrOk};
        const std::string upper = ReadFile(fx.romsDir + "PACMAN.ZIP");
        const TCommandResult r = commands.RunShellOperation(smUpper, siFiles, ListFiles({File("pacman.zip")}));
        EXPECT_EQ(r.done, 0);
        EXPECT_EQ(r.errors, 1);
        EXPECT_EQ(ReadFile(fx.romsDir + "PACMAN.ZIP"), upper);
        EXPECT_EQ(Listing("pacman.zip"), "pm1.bin ");
    }
}

TEST_F(FileCommandsTest, DatafileCaseFixesOnlyWhatMatchesByName) {
    MakeCollection();
    hooks.dialogAnswers = {mrOk};
    const TCommandResult r =
        commands.RunShellOperation(smDatafileCase, siRoms, ListRoms({Rom("galaga.zip", "GG2.BIN"), Rom("galaga.zip", "x.bin")}));
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(Listing("galaga.zip"), "gg2.bin ms2.bin x.bin ");
    EXPECT_TRUE(Intact("galaga.zip"));
}

TEST_F(FileCommandsTest, TheChangeCaseDialogChoosesTheCommand) {
    Zip("mspac.zip", {{"ms1.bin", 'f'}});
    fx.Load(true);
    TChangeCaseResult answer;
    commands.AskChangeCase = [&] { return answer; };
    EXPECT_EQ(commands.ActChangeCaseExecute(ListFiles({File("mspac.zip")})).done, 0);
    EXPECT_TRUE(hooks.shown.empty());

    answer.Accepted = true;
    answer.Choice = {TCaseConversion::None, false, false};
    commands.ActChangeCaseExecute(ListFiles({File("mspac.zip")}));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Nothing to do"});

    // No conversion checked is capitalise.
    answer.Choice = {TCaseConversion::None, true, true};
    hooks.dialogAnswers = {mrOk};
    EXPECT_EQ(commands.ActChangeCaseExecute(ListFiles({File("mspac.zip")})).done, 2);
    EXPECT_EQ(Listing("Mspac.zip"), "Ms1.bin ");
}

// ---- Archive test -----------------------------------------------------------------------

TEST_F(FileCommandsTest, TheTestNamesTheDamagedEntryAndItsReason) {
    // Stored entries, so that one changed byte is a wrong CRC of one entry.
    WriteFile(fx.tmp.Path() + "staging/g/gg1.bin", Bytes('c'));
    WriteFile(fx.tmp.Path() + "staging/g/gg2.bin", Bytes('d'));
    int status = -1;
    RunCommand("cd " + ShellQuote(fx.tmp.Path() + "staging/g") + " && zip -q -0 -X " +
                   ShellQuote(fx.romsDir + "galaga.zip") + " gg1.bin gg2.bin",
               &status);
    ASSERT_EQ(status, 0);
    Zip("mspac.zip", {{"ms1.bin", 'f'}, {"ms2.bin", 'g'}});
    fx.Load(true);
    std::string bytes = ReadFile(fx.romsDir + "galaga.zip");
    const auto at = bytes.find(Bytes('c'));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 3] = 'x';
    WriteFile(fx.romsDir + "galaga.zip", bytes);
    RunCommand("unzip -tqq " + ShellQuote(fx.romsDir + "galaga.zip") + " >/dev/null 2>&1", &status);
    ASSERT_NE(status, 0);

    std::vector<bool> busyStates;
    commands.OnBusy = [&](bool b) { busyStates.push_back(b); };
    EXPECT_EQ(commands.ActTestFilesExecute(WholePath()), 1);
    EXPECT_EQ(busyStates, (std::vector<bool>{true, false}));
    ASSERT_EQ(commands.Damaged().size(), 1u);
    EXPECT_EQ(commands.Damaged()[0].file, "galaga.zip");
    EXPECT_EQ(commands.Damaged()[0].entry, "gg1.bin");
    EXPECT_FALSE(commands.Damaged()[0].reason.empty());
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].rfind("1 files corrupted.\ngalaga.zip/gg1.bin: ", 0), 0u) << Boxes()[0];
    EXPECT_TRUE(Rom("galaga.zip", "gg1.bin")->HasError());
    EXPECT_TRUE(Rom("galaga.zip", "gg2.bin")->IsOk());
    EXPECT_EQ(ReadFile(fx.romsDir + "galaga.zip"), bytes);  // a test changes nothing
}

}  // namespace
}  // namespace qm::test
