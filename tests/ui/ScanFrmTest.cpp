// The scan window over a small catalogue of three games and a main rom path that holds
// one of them: drops of folders, zips and plain files and the texts they list, the new-rom
// filter, sorting, refreshes across a datafile change, and copies and moves into the rom
// path checked on disk (unzip -t) and in the main files database.
#include <gtest/gtest.h>
#include <zip.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#ifndef QM_PLUGIN_DIR
#define QM_PLUGIN_DIR QM_BIN_DIR "/plugin/"
#endif
#include "../filesdb/ScanTestSupport.h"
#include "commands/RepairCollection.h"
#include "platform/FileSystem.h"
#include "platform/UiHooks.h"
#include "ui/ActionDispatcher.h"
#include "ui/ScanFrm.h"
#include "ui/commands/ScanSession.h"

namespace qm::test {
namespace {

// pacman and galaga have two roms each, dkong one.
const std::string& Catalogue() {
    static const std::string text = "pacman|pacman|pm1.bin|" + CrcOf('a') + "|16||\n" +  //
                                    "pacman|pacman|pm2.bin|" + CrcOf('b') + "|16||\n" +  //
                                    "galaga|galaga|gg1.bin|" + CrcOf('c') + "|16||\n" +  //
                                    "galaga|galaga|gg2.bin|" + CrcOf('d') + "|16||\n" +  //
                                    "dkong|dkong|dk1.bin|" + CrcOf('e') + "|16||\n";
    return text;
}

void MakeZip(const std::string& fileName, const std::vector<std::pair<std::string, char>>& entries) {
    int err = 0;
    zip_t* zip = zip_open(fileName.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_NE(zip, nullptr);
    std::vector<std::string> contents;
    contents.reserve(entries.size());
    for (const auto& [name, c] : entries) {
        contents.push_back(Bytes(c));
        zip_source_t* source = zip_source_buffer(zip, contents.back().data(), contents.back().size(), 0);
        ASSERT_GE(zip_file_add(zip, name.c_str(), source, ZIP_FL_OVERWRITE), 0);
    }
    ASSERT_EQ(zip_close(zip), 0);
}

bool Exists(const std::string& name) { return std::filesystem::exists(name); }

bool UnzipTestPasses(const std::string& zip) {
    int status = -1;
    RunCommand("unzip -tqq " + ShellQuote(zip), &status);
    return status == 0;
}

// What the session told the window.
struct TFakeView : IScanView {
    std::string count, handling, datafile;
    std::vector<int> gauges;
    int suspended = 0;
    std::vector<std::string> pathMenus;
    bool copyMoveEnabled = false;
    std::vector<bool> windowEnabled;
    int shown = 0;

    void SetCountText(const std::string& text) override { count = text; }
    void SetHandlingText(const std::string& text) override { handling = text; }
    void SetGauge(int percent) override { gauges.push_back(percent); }
    void SetDatafileText(const std::string& text) override { datafile = text; }
    void SuspendTreeUpdates(bool on) override { suspended += on ? 1 : -1; }
    void ShowTree(const std::vector<TScanNode>&) override { ++shown; }
    void AppendNodes(const std::vector<TScanNode>&) override {}
    void SetPathMenus(const std::vector<std::string>& texts) override { pathMenus = texts; }
    void SetCopyMoveEnabled(bool on) override { copyMoveEnabled = on; }
    void SetWindowEnabled(bool on) override { windowEnabled.push_back(on); }
};

// Node texts, children indented by two blanks, in tree order.
std::vector<std::string> Texts(const std::vector<TScanNode>& nodes, const std::string& indent = "") {
    std::vector<std::string> out;
    for (const TScanNode& node : nodes) {
        out.push_back(indent + node.Text);
        for (const std::string& child : Texts(node.Children, indent + "  ")) out.push_back(child);
    }
    return out;
}

std::vector<std::string> Boxes(const TScriptedUiHooks& hooks) {
    std::vector<std::string> texts;
    for (const auto& shown : hooks.shown) texts.push_back(shown.text);
    return texts;
}

class ScanSessionTest : public ::testing::Test {
protected:
    ScanSessionTest() : fx(Catalogue()) {
        MakeDirs(inDir);
        // The main rom path holds pacman, complete.
        MakeZip(fx.romsDir + "pacman.zip", {{"pm1.bin", 'a'}, {"pm2.bin", 'b'}});
        fx.Load(true);
        fx.roms.RecalculateStatus();
        settings.CacheFolder = fx.tmp.Path() + "vol/cache/scan/";
        settings.TempDir = fx.tempDir;
        NewSession();
    }
    ~ScanSessionTest() override { session.reset(); }

    void NewSession() {
        session = std::make_unique<TScanSession>(fx.roms, fx.calc, fx.manager, *fx.files, view, settings);
        session->DatafileName = [] { return std::string("three games"); };
        session->OnRebuildMainTree = [this] { ++mainRebuilds; };
        session->OnUpdateMainStatus = [this] { ++mainStatusUpdates; };
    }

    // A folder of galaga's roms, a zip of dkong's, a plain file of pacman's (already in
    // the main path) and a settings-like file that a drop passes over.
    std::vector<std::string> TypicalDrop() {
        WriteFile(inDir + "galaga/gg1.bin", Bytes('c'));
        WriteFile(inDir + "galaga/gg2.bin", Bytes('d'));
        MakeZip(inDir + "dkong.zip", {{"dk1.bin", 'e'}});
        WriteFile(inDir + "pm1.bin", Bytes('a'));
        WriteFile(inDir + "quarmelle.dat", "settings");
        return {inDir + "galaga", inDir + "dkong.zip", inDir + "pm1.bin", inDir + "quarmelle.dat"};
    }

    TRom* RomOf(const std::string& game, const std::string& rom) {
        return fx.roms.Games().FindClone(game)->FindCloneRom(rom)->Rom;
    }

    // Every rom file of the main rom path good, by file name.
    void ExpectMainPathGood(const std::vector<std::string>& names) {
        std::vector<std::string> listed;
        for (const auto& file : fx.path->Files()) {
            listed.push_back(file->Name);
            for (const auto& entry : file->RomFiles)
                EXPECT_TRUE(entry.romFile->IsOk() || entry.romFile->HasBadCase())
                    << file->Name << "/" << entry.romFile->StoredName() << " " << entry.romFile->GetStatusText();
        }
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, names);
    }

    TScanFixture fx;
    std::string inDir = fx.tmp.Path() + "vol/in/";
    TScanSettings settings;
    TScriptedUiHooks hooks;
    TScopedUiHooks hooksScope{hooks};
    TFakeView view;
    std::unique_ptr<TScanSession> session;
    int mainRebuilds = 0;
    int mainStatusUpdates = 0;
};

// ---- Rules ------------------------------------------------------------------------------

TEST(ScanRulesTest, GaugeStepsRoundHalfToEven) {
    const std::pair<int, int> cases[] = {{1, 100}, {2, 50}, {3, 33}, {6, 17}, {8, 12}, {40, 2}, {200, 0}, {0, 0}};
    for (const auto& [count, step] : cases) EXPECT_EQ(TScanSession::GaugeStep(count), step) << count;
    EXPECT_EQ(TScanSession::CountText(4), "4 files(s)");
}

TEST_F(ScanSessionTest, ARomIsNewOnlyWhenFoundAndHeldByNoMainFile) {
    TRomFile romFile(nullptr);
    romFile.Rom = RomOf("galaga", "gg1.bin");
    const std::pair<uint8_t, bool> cases[] = {{rsOk, true},           {rsBadCase, true},    {rsNotUsed, true},
                                              {rsBadName, true},      {rsUnknown, false},   {rsBadFileName, false},
                                              {rsMissing, false},     {rsAvailableElsewhere, false}};
    for (const auto& [status, isNew] : cases) {
        romFile.Status = status;
        EXPECT_EQ(TScanSession::IsNewRom(romFile), isNew) << int(status);
    }
    romFile.Status = rsOk;
    romFile.Rom = RomOf("pacman", "pm1.bin");  // held by the main path
    EXPECT_FALSE(TScanSession::IsNewRom(romFile));
    romFile.Rom = nullptr;
    EXPECT_FALSE(TScanSession::IsNewRom(romFile));
}

// ---- Drops ------------------------------------------------------------------------------

TEST_F(ScanSessionTest, DropListsFolderZipAndPlainFileAndCountsTheSkippedSettingsFile) {
    session->Drop(TypicalDrop());
    // The scan database asks for upper-case rom names: lower-case ones show their case.
    EXPECT_EQ(Texts(session->Nodes()), (std::vector<std::string>{
                                           "galaga/ (Ok.)",
                                           "  gg1.bin - Ok. (new)",
                                           "  gg2.bin - Ok. (new)",
                                           "dkong.zip (Ok.)",
                                           "  dk1.bin - Ok. (new)",
                                           "pm1.bin - Ok.",
                                       }));
    EXPECT_EQ(view.count, "4 files(s)");
    EXPECT_EQ(view.handling, " ");
    EXPECT_EQ(view.gauges.back(), 0);
    EXPECT_EQ(view.suspended, 0);
    EXPECT_TRUE(view.copyMoveEnabled);
    EXPECT_EQ(hooks.busyDepth, 0);
    // The lookups registered nothing with the catalogue.
    EXPECT_TRUE(RomOf("galaga", "gg1.bin")->Files.empty());
    EXPECT_EQ(RomOf("dkong", "dk1.bin")->MatchCount, 0);
    EXPECT_EQ(RomOf("pacman", "pm1.bin")->MatchCount, 1);
    // Both names of the folder went to one path, whose volume was measured once.
    EXPECT_EQ(session->FilesBdLocal().GetPathCount(), 1);
}

TEST_F(ScanSessionTest, ADroppedFileIsOnlyRead) {
    // A zero-byte ".zip" stays zero bytes: the user only asked what it holds.
    WriteFile(inDir + "empty.zip", "");
    session->Drop({inDir + "empty.zip"});
    EXPECT_EQ(std::filesystem::file_size(inDir + "empty.zip"), 0u);
    EXPECT_EQ(session->Nodes().size(), 1u);
}

TEST_F(ScanSessionTest, GaugeAdvancesPerNameAndStopsAtAHundred) {
    std::vector<std::string> names;
    for (int i = 0; i < 6; ++i) {
        names.push_back(inDir + "f" + std::to_string(i) + ".bin");
        WriteFile(names.back(), Bytes(static_cast<char>('k' + i)));
    }
    session->Drop(names);
    EXPECT_EQ(view.gauges, (std::vector<int>{0, 17, 34, 51, 68, 85, 100, 0}));
    EXPECT_EQ(view.count, "6 files(s)");
}

TEST_F(ScanSessionTest, ShowNewRomKeepsOnlyNewRomsAndDropsNodesLeftEmpty) {
    std::vector<std::string> names = TypicalDrop();
    MakeZip(inDir + "pacman.zip", {{"pm1.bin", 'a'}, {"pm2.bin", 'b'}});  // nothing new
    MakeZip(inDir + "mixed.zip", {{"pm2.bin", 'b'}, {"gg2.bin", 'd'}});
    names.push_back(inDir + "pacman.zip");
    names.push_back(inDir + "mixed.zip");
    session->Drop(names);
    session->SetShowNewRom(true);
    EXPECT_EQ(Texts(session->Nodes()), (std::vector<std::string>{
                                           "galaga/ (Ok.)",
                                           "  gg1.bin - Ok. (new)",
                                           "  gg2.bin - Ok. (new)",
                                           "dkong.zip (Ok.)",
                                           "  dk1.bin - Ok. (new)",
                                           // Found as pacman's, which does not use gg2.
                                           "mixed.zip (Bad file name, correct name is pacman.zip)",
                                           "  gg2.bin - Rom not used in this game. (new)",
                                       }));
    // A drop while the filter is on follows it.
    MakeZip(inDir + "pacman2.zip", {{"pm1.bin", 'a'}});
    session->Drop({inDir + "pacman2.zip"});
    EXPECT_EQ(session->Nodes().size(), 3u);
    session->SetShowNewRom(false);
    EXPECT_EQ(session->Nodes().size(), 6u);
}

TEST_F(ScanSessionTest, NamesAreJudgedByTheMainWindowsCaseRule) {
    MakeZip(inDir + "dkong.zip", {{"dk1.bin", 'e'}});
    fx.files->RomFileCaseOptions = coUppercase;
    session->Drop({inDir + "dkong.zip"});
    EXPECT_EQ(Texts(session->Nodes()),
              (std::vector<std::string>{"dkong.zip (Bad case on roms)", "  dk1.bin - Case is not correct. (new)"}));
    fx.files->RomFileCaseOptions = coDatabase;
    session->RefreshScan();
    EXPECT_EQ(Texts(session->Nodes()), (std::vector<std::string>{"dkong.zip (Ok.)", "  dk1.bin - Ok. (new)"}));
}

TEST_F(ScanSessionTest, AFailingNameEndsTheDropButKeepsWhatCameBeforeAndRestoresTheWindow) {
    MakeZip(inDir + "dkong.zip", {{"dk1.bin", 'e'}});
    WriteFile(inDir + "pm1.bin", Bytes('a'));
    EXPECT_THROW(session->Drop({inDir + "dkong.zip", inDir + "vanished.bin", inDir + "pm1.bin"}),
                 filesbd::EFileNotFound);
    EXPECT_EQ(Texts(session->Nodes()),
              (std::vector<std::string>{"dkong.zip (Ok.)", "  dk1.bin - Ok. (new)"}));
    EXPECT_EQ(view.suspended, 0);
    EXPECT_EQ(hooks.busyDepth, 0);
    EXPECT_EQ(view.count, "3 files(s)");
    EXPECT_EQ(view.handling, " ");
    EXPECT_EQ(view.gauges.back(), 0);
}

TEST_F(ScanSessionTest, SortIgnoresCaseAtEveryLevel) {
    MakeZip(inDir + "Beta.zip", {{"B.bin", 'x'}, {"a.bin", 'y'}});
    MakeZip(inDir + "alpha.zip", {{"Z.bin", 'z'}, {"m.bin", 'w'}});
    WriteFile(inDir + "Gamma.txt", "unknown");
    session->Drop({inDir + "Gamma.txt", inDir + "Beta.zip", inDir + "alpha.zip"});
    session->Sort();
    const std::vector<std::string> texts = Texts(session->Nodes());
    ASSERT_EQ(texts.size(), 7u);
    EXPECT_EQ(texts[0].rfind("alpha.zip", 0), 0u);
    EXPECT_EQ(texts[1].rfind("  m.bin", 0), 0u);
    EXPECT_EQ(texts[2].rfind("  Z.bin", 0), 0u);
    EXPECT_EQ(texts[3].rfind("Beta.zip", 0), 0u);
    EXPECT_EQ(texts[4].rfind("  a.bin", 0), 0u);
    EXPECT_EQ(texts[5].rfind("  B.bin", 0), 0u);
    EXPECT_EQ(texts[6].rfind("Gamma.txt", 0), 0u);
}

// ---- Refresh and clear ------------------------------------------------------------------

TEST_F(ScanSessionTest, RefreshDropsVanishedFilesAndCountsTheOthers) {
    session->Drop(TypicalDrop());
    std::filesystem::remove(inDir + "dkong.zip");
    session->RefreshScan();
    EXPECT_EQ(view.count, "2 files(s)");
    EXPECT_EQ(view.datafile, "three games");
    EXPECT_EQ(view.pathMenus, (std::vector<std::string>{fx.romsDir}));
    EXPECT_EQ(Texts(session->Nodes()), (std::vector<std::string>{
                                           "galaga/ (Ok.)",
                                           "  gg1.bin - Ok. (new)",
                                           "  gg2.bin - Ok. (new)",
                                           "pm1.bin - Ok.",
                                       }));
    EXPECT_TRUE(view.copyMoveEnabled);
}

TEST_F(ScanSessionTest, RefreshWithoutMainRomPathOrNodesDisablesCopyAndMove) {
    session->Drop(TypicalDrop());
    session->Clear();
    EXPECT_TRUE(session->Nodes().empty());
    EXPECT_EQ(session->FilesBdLocal().GetPathCount(), 0);
    EXPECT_EQ(view.count, "0 files(s)");
    EXPECT_FALSE(view.copyMoveEnabled);

    session->Drop(TypicalDrop());
    fx.files->ClearPaths();
    session->RefreshScan();
    EXPECT_FALSE(view.copyMoveEnabled);
    EXPECT_TRUE(view.pathMenus.empty());
}

// After another datafile is loaded, the scan lists what the new one says, and nothing of
// the old catalogue is touched (the sanitizer sees any read of it).
TEST_F(ScanSessionTest, ADatafileChangeRelinksEveryFileToTheNewCatalogue) {
    // A zip lacking a rom holds a placeholder that points into the catalogue.
    MakeZip(inDir + "galaga.zip", {{"gg1.bin", 'c'}});
    std::vector<std::string> names = TypicalDrop();
    names.push_back(inDir + "galaga.zip");
    session->Drop(names);
    for (bool forgetFirst : {false, true}) {
        if (forgetFirst) session->ForgetCatalogue();
        fx.files->ClearPaths();
        BuildRoms(fx.roms, "dkong|dkong|dk1.bin|" + CrcOf('e') + "|16||\n");
        fx.path = fx.files->AddPath(fx.romsDir, "1234-abcd", "ROMDISK");
        fx.Load();
        session->RefreshScan();
        EXPECT_EQ(Texts(session->Nodes()), (std::vector<std::string>{
                                               "galaga/ (No roms found)",
                                               "  gg1.bin - Unknown rom.",
                                               "  gg2.bin - Unknown rom.",
                                               "dkong.zip (Ok.)",
                                               "  dk1.bin - Ok. (new)",
                                               "pm1.bin - Unknown rom.",
                                               "galaga.zip (No roms found)",
                                               "  gg1.bin - Unknown rom.",
                                           }))
            << forgetFirst;
    }
}

// ---- Copy and move ----------------------------------------------------------------------

TEST_F(ScanSessionTest, CopyPutsTheFilesHoldingNewRomsIntoTheRomPath) {
    session->Drop(TypicalDrop());
    session->CopyMoveRoms(fx.romsDir, false);
    EXPECT_EQ(Boxes(hooks), (std::vector<std::string>{"2 files copied."}));
    EXPECT_TRUE(UnzipTestPasses(fx.romsDir + "dkong.zip"));
    EXPECT_EQ(ReadFile(fx.romsDir + "galaga/gg2.bin"), Bytes('d'));
    EXPECT_FALSE(Exists(fx.romsDir + "pm1.bin"));  // nothing new in it
    for (const char* source : {"galaga/gg1.bin", "dkong.zip", "pm1.bin"}) EXPECT_TRUE(Exists(inDir + source));

    ExpectMainPathGood({"dkong.zip", "galaga", "pacman.zip"});
    fx.roms.UpdateStatistics();
    EXPECT_EQ(fx.roms.GamesComplete, 3);
    EXPECT_EQ(RomOf("galaga", "gg2.bin")->MatchCount, 1);
    EXPECT_EQ(RomOf("dkong", "dk1.bin")->MatchCount, 1);
    EXPECT_EQ(RomOf("pacman", "pm1.bin")->MatchCount, 1);
    EXPECT_EQ(mainRebuilds, 1);
    EXPECT_EQ(mainStatusUpdates, 1);
    EXPECT_EQ(view.windowEnabled, (std::vector<bool>{false, true}));
    // The scan now sees those roms as held.
    for (const std::string& text : Texts(session->Nodes())) EXPECT_EQ(text.find("(new)"), std::string::npos) << text;
}

TEST_F(ScanSessionTest, CopyWithNothingNewCopiesNothing) {
    WriteFile(inDir + "pm1.bin", Bytes('a'));
    session->Drop({inDir + "pm1.bin"});
    session->CopyMoveRoms(fx.romsDir, false);
    EXPECT_EQ(Boxes(hooks), (std::vector<std::string>{"0 files copied."}));
    std::vector<std::string> onDisk;
    for (const auto& entry : std::filesystem::directory_iterator(fx.romsDir))
        onDisk.push_back(entry.path().filename().string());
    EXPECT_EQ(onDisk, (std::vector<std::string>{"pacman.zip"}));
}

TEST_F(ScanSessionTest, MoveRemovesPlainFilesAndZipsButKeepsFolders) {
    std::vector<std::string> names = TypicalDrop();
    WriteFile(inDir + "gg1.bin", Bytes('c'));
    names.push_back(inDir + "gg1.bin");
    session->Drop(names);
    session->CopyMoveRoms(fx.romsDir, true);
    EXPECT_EQ(Boxes(hooks), (std::vector<std::string>{"3 files moved."}));
    EXPECT_FALSE(Exists(inDir + "dkong.zip"));
    EXPECT_FALSE(Exists(inDir + "gg1.bin"));
    EXPECT_TRUE(Exists(inDir + "galaga/gg1.bin"));
    EXPECT_TRUE(Exists(inDir + "pm1.bin"));  // held already: not moved
    EXPECT_TRUE(UnzipTestPasses(fx.romsDir + "dkong.zip"));
    EXPECT_EQ(ReadFile(fx.romsDir + "gg1.bin"), Bytes('c'));
    EXPECT_EQ(ReadFile(fx.romsDir + "galaga/gg1.bin"), Bytes('c'));
    ExpectMainPathGood({"dkong.zip", "galaga", "gg1.bin", "pacman.zip"});
    EXPECT_EQ(RomOf("dkong", "dk1.bin")->MatchCount, 1);
    // The vanished sources left the scan list.
    EXPECT_EQ(view.count, "2 files(s)");
}

TEST_F(ScanSessionTest, AFileAlreadyInTheTargetFolderIsLeftWhereItIs) {
    // Put there after the rom path was read: the main database does not know it yet.
    MakeZip(fx.romsDir + "dkong.zip", {{"dk1.bin", 'e'}});
    session->Drop({fx.romsDir + "dkong.zip"});
    session->CopyMoveRoms(fx.romsDir, true);
    EXPECT_EQ(Boxes(hooks), (std::vector<std::string>{"0 files moved."}));
    EXPECT_TRUE(UnzipTestPasses(fx.romsDir + "dkong.zip"));
    EXPECT_FALSE(Exists(fx.romsDir + "dkong_0.zip"));
    // The refresh of the target found it.
    ExpectMainPathGood({"dkong.zip", "pacman.zip"});
}

TEST_F(ScanSessionTest, ACopyNeverReplacesAFileOfTheTarget) {
    MakeZip(fx.romsDir + "dkong.zip", {{"readme.txt", 'r'}});
    fx.Load();
    MakeZip(inDir + "dkong.zip", {{"dk1.bin", 'e'}});
    session->Drop({inDir + "dkong.zip"});
    session->CopyMoveRoms(fx.romsDir, false);
    EXPECT_EQ(Boxes(hooks), (std::vector<std::string>{"1 files copied."}));
    int status = -1;
    EXPECT_EQ(RunCommand("unzip -Z1 " + ShellQuote(fx.romsDir + "dkong.zip"), &status), "readme.txt\n");
    EXPECT_TRUE(UnzipTestPasses(fx.romsDir + "dkong_0.zip"));
}

TEST_F(ScanSessionTest, AnUnknownRomPathIsAnErrorAndChangesNothing) {
    session->Drop(TypicalDrop());
    session->CopyMoveRoms(fx.tmp.Path() + "vol/nowhere/", true);
    EXPECT_EQ(Boxes(hooks), (std::vector<std::string>{"Rom path " + fx.tmp.Path() + "vol/nowhere/ not found."}));
    EXPECT_TRUE(Exists(inDir + "dkong.zip"));
    EXPECT_EQ(view.windowEnabled, (std::vector<bool>{false, true}));
    EXPECT_EQ(hooks.busyDepth, 0);
}

TEST_F(ScanSessionTest, AScannedFileGoneBeforeTheCopyIsReportedAndTheRestGoesOn) {
    session->Drop(TypicalDrop());
    std::filesystem::remove(inDir + "dkong.zip");
    session->CopyMoveRoms(fx.romsDir, false);
    EXPECT_EQ(Boxes(hooks), (std::vector<std::string>{"File Not Found.", "1 files copied."}));
    EXPECT_EQ(ReadFile(fx.romsDir + "galaga/gg1.bin"), Bytes('c'));
}

TEST_F(ScanSessionTest, AMoveWhoseCopyFailsKeepsTheSource) {
    MakeZip(inDir + "dkong.zip", {{"dk1.bin", 'e'}});
    session->Drop({inDir + "dkong.zip"});
    TFaultyFileSystem faulty(Fs());
    faulty.failAt = 1;
    {
        TScopedFileSystem scope(faulty);
        session->CopyMoveRoms(fx.romsDir, true);
    }
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtError);
    EXPECT_TRUE(UnzipTestPasses(inDir + "dkong.zip"));
    EXPECT_FALSE(Exists(fx.romsDir + "dkong.zip"));
    ExpectMainPathGood({"pacman.zip"});
}

// Reports every file below a folder one byte longer than it is.
class TLongerFiles : public TFaultyFileSystem {
public:
    TLongerFiles(IFileSystem& inner, std::string folder) : TFaultyFileSystem(inner), folder_(std::move(folder)) {}
    int Stat(const std::string& path, TFileStat& out) override {
        const int err = TFaultyFileSystem::Stat(path, out);
        if (err == 0 && out.exists && !out.isDir && path.rfind(folder_, 0) == 0) ++out.size;
        return err;
    }

private:
    std::string folder_;
};

TEST_F(ScanSessionTest, AMovedFileWhoseCopyHasAnotherSizeIsKept) {
    MakeZip(inDir + "dkong.zip", {{"dk1.bin", 'e'}});
    session->Drop({inDir + "dkong.zip"});
    TLongerFiles longer(Fs(), fx.romsDir);
    {
        TScopedFileSystem scope(longer);
        session->CopyMoveRoms(fx.romsDir, true);
    }
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtError);
    EXPECT_NE(hooks.shown[0].text.find("was kept"), std::string::npos) << hooks.shown[0].text;
    EXPECT_TRUE(UnzipTestPasses(inDir + "dkong.zip"));
    EXPECT_TRUE(UnzipTestPasses(fx.romsDir + "dkong.zip"));
}

// A file the main database listed in one rom path, changed on disk since, and moved into
// another rom path: the path it left no longer lists it.
TEST_F(ScanSessionTest, ARomPathThatLostAMovedFileIsReadAgain) {
    const std::string roms2 = fx.tmp.Path() + "vol/roms2/";
    MakeDirs(roms2);
    MakeZip(roms2 + "galaga.zip", {{"gg1.bin", 'c'}});
    TPath* second = fx.files->AddPath(roms2, "1234-abcd", "ROMDISK");
    second->Load(false);
    fx.files->MatchAll();
    ASSERT_EQ(RomOf("galaga", "gg1.bin")->MatchCount, 1);
    MakeZip(roms2 + "galaga.zip", {{"gg1.bin", 'c'}, {"gg2.bin", 'd'}});

    session->Drop({roms2 + "galaga.zip"});
    session->CopyMoveRoms(fx.romsDir, true);
    EXPECT_EQ(Boxes(hooks), (std::vector<std::string>{"1 files moved."}));
    EXPECT_FALSE(Exists(roms2 + "galaga.zip"));
    EXPECT_TRUE(second->Files().Empty());
    ExpectMainPathGood({"galaga.zip", "pacman.zip"});
    EXPECT_EQ(RomOf("galaga", "gg1.bin")->MatchCount, 1);
    EXPECT_EQ(RomOf("galaga", "gg2.bin")->MatchCount, 1);
}

// ---- The window ---------------------------------------------------------------------------

class ScanFrmTest : public ScanSessionTest {
protected:
    std::vector<std::string> TreeTexts() const {
        std::vector<std::string> out;
        QTreeWidget* tree = frm->ScanTreeView();
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = tree->topLevelItem(i);
            out.push_back(item->text(0).toStdString());
            for (int j = 0; j < item->childCount(); ++j) out.push_back("  " + item->child(j)->text(0).toStdString());
        }
        return out;
    }

    void SetUp() override {
        session.reset();  // the window brings its own
        frm = std::make_unique<TScanFrm>(fx.roms, fx.calc, fx.manager, *fx.files);
        frm->Session().DatafileName = [] { return std::string("three games"); };
    }
    void TearDown() override { frm.reset(); }

    std::unique_ptr<TScanFrm> frm;
};

TEST_F(ScanFrmTest, IsATopLevelWindowWithCopyAndMoveOffUntilADrop) {
    EXPECT_EQ(frm->parentWidget(), nullptr);
    EXPECT_TRUE(frm->isWindow());
    EXPECT_EQ(frm->windowTitle().toStdString(), "Quarmelle scanner");
    EXPECT_FALSE(frm->ActCopyRom()->isEnabled());
    EXPECT_FALSE(frm->CopyRomBtn()->isEnabled());
    EXPECT_EQ(frm->StatusPanel(0)->text().toStdString(), "0 files(s)");
    EXPECT_EQ(frm->Gauge()->maximumWidth(), 100);
}

TEST_F(ScanFrmTest, DropShowsNodesAndOffersTheRomPathsInEveryCopyAndMoveMenu) {
    std::vector<std::string> names = TypicalDrop();
    QStringList list;
    for (const std::string& name : names) list.append(QString::fromStdString(name));
    frm->handleDropped(list);
    EXPECT_EQ(TreeTexts(), Texts(frm->Session().Nodes()));
    EXPECT_EQ(TreeTexts().size(), 6u);
    EXPECT_EQ(frm->StatusPanel(0)->text().toStdString(), "4 files(s)");
    EXPECT_TRUE(frm->ActMoveRom()->isEnabled());
    EXPECT_TRUE(frm->MoveRomBtn()->isEnabled());
    EXPECT_TRUE(frm->ScanTreeView()->updatesEnabled());
    for (QMenu* menu : {frm->CopyFileMainMenu(), frm->MoveFileMainMenu(), frm->CopyFileContextMenu(),
                        frm->MoveFileContextMenu()}) {
        ASSERT_EQ(menu->actions().size(), 1);
        EXPECT_EQ(menu->actions()[0]->text().toStdString(), fx.romsDir);
    }
    frm->ActShowNewRom()->trigger();
    EXPECT_EQ(TreeTexts().size(), 5u);

    bool lockedWhileCopying = false;
    frm->OnRebuildMainTree = [&] { lockedWhileCopying = !frm->ScanTreeView()->isEnabled(); };
    frm->CopyFileContextMenu()->actions()[0]->trigger();
    EXPECT_EQ(Boxes(hooks), (std::vector<std::string>{"2 files copied."}));
    EXPECT_TRUE(lockedWhileCopying);
    EXPECT_TRUE(frm->ScanTreeView()->isEnabled());
    EXPECT_TRUE(UnzipTestPasses(fx.romsDir + "dkong.zip"));
    // Nothing is new any more.
    EXPECT_TRUE(TreeTexts().empty());
    EXPECT_FALSE(frm->ActCopyRom()->isEnabled());
}

// The main window opens it from one of its commands: the busy flag set then must not
// keep the window from refreshing.
TEST_F(ScanFrmTest, ShowingTheWindowFromAMainCommandRefreshesIt) {
    TActionDispatcher mainDispatcher;
    frm = std::make_unique<TScanFrm>(fx.roms, fx.calc, fx.manager, *fx.files, &mainDispatcher);
    QStringList list;
    for (const std::string& name : TypicalDrop()) list.append(QString::fromStdString(name));
    frm->handleDropped(list);
    std::filesystem::remove(inDir + "dkong.zip");
    mainDispatcher.Run([this] { frm->show(); });
    EXPECT_EQ(frm->StatusPanel(0)->text().toStdString(), "2 files(s)");
    // A drop while the main window is busy is not taken.
    MakeZip(inDir + "dkong.zip", {{"dk1.bin", 'e'}});
    mainDispatcher.Run([&] { frm->handleDropped({QString::fromStdString(inDir + "dkong.zip")}); });
    EXPECT_EQ(TreeTexts().size(), 4u);
}

TEST_F(ScanFrmTest, AFailedDropShowsItsErrorAndLeavesTheTreeUsable) {
    MakeZip(inDir + "dkong.zip", {{"dk1.bin", 'e'}});
    frm->handleDropped({QString::fromStdString(inDir + "dkong.zip"), QString::fromStdString(inDir + "gone.bin")});
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtError);
    EXPECT_TRUE(frm->ScanTreeView()->updatesEnabled());
    EXPECT_EQ(hooks.busyDepth, 0);
    EXPECT_EQ(TreeTexts().size(), 2u);
    EXPECT_EQ(frm->StatusPanel(0)->text().toStdString(), "2 files(s)");
}

}  // namespace
}  // namespace qm::test
