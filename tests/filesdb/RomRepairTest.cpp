// Repairs of single roms where a case file cannot say it: a file-system call failing at
// every step in turn, the disk prompt of an import, a rename that fails half-way, archive
// errors, the abort flag and the free-space check.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "RomRepairTestSupport.h"
#include "archive/FilesTools.h"
#include "archive/archivemanager.h"
#include "catalogue/RomsBd.h"
#include "filesdb/RepairSupport.h"
#include "filesdb/filesBd.h"
#include "platform/FileSystem.h"
#include "platform/UiHooks.h"

namespace qm::test::romrepair {
namespace {

const char* kCatalogue =
    "pacman|pacman|pm1.bin|{A}|16||\n"
    "pacman|pacman|pm2.bin|{B}|16||\n"
    "galaga|galaga|gg1.bin|{D}|16||\n"
    "galaga|galaga|gg2.bin|{E}|16||\n"
    "digdug|digdug|dd1.bin|{I}|16||\n"
    "digdug|digdug|dd3.bin|00000000|16||\n";

// A collection on disk and a database over it, built from the disk.
struct TRepairFixture {
    explicit TRepairFixture(const std::vector<std::string>& tree) : fs(Fs()), fsScope(fs), hooksScope(hooks) {
        volumes.volumes.push_back(TestVolume());
        crcs = PythonCrcs(root / "contents/", {"A", "B", "C", "D", "E", "I", "X", "Y"});
        MakeTree(root.Path(), tree);
        std::string catalogue = kCatalogue;
        for (const auto& [label, crc] : crcs) {
            for (size_t at; (at = catalogue.find("{" + label + "}")) != std::string::npos;)
                catalogue.replace(at, label.size() + 2, crc);
        }
        BuildRoms(roms, catalogue);
        files.SetRomsBd(&roms);
        files.SetSubmitRoms(true);
        files.SetCachePath(cache.Path());
        files.SetArchiveManager(&manager);
        files.OnLog = [this](const std::string& line) { log.push_back(line); };
        for (const std::string& line : tree) {
            const std::string name = Words(line)[0];
            if (name.rfind("backup", 0) == 0 || paths.count(name) != 0) continue;
            paths[name] = files.AddPath(root / name, "", "");
            LoadPathFromDisk(paths[name], root.Path(), name);
        }
        files.MatchAll();
    }
    ~TRepairFixture() { files.ClearPaths(); }

    TFile* File(const std::string& path, const std::string& name) { return paths.at(path)->Files().Find(name); }
    TRomFile* Rom(const std::string& path, const std::string& file, const std::string& stored) {
        TFile* f = File(path, file);
        const int index = f->RomFiles.IndexOfFileName(stored, true);
        return index < 0 ? nullptr : f->RomFiles[index];
    }
    std::vector<std::string> Disk() { return RenderDisk(root.Path(), crcs); }

    TTempDir root, cache;
    TStaticVolumeProvider volumes;
    TScopedVolumeProvider volumeScope{volumes};
    TFaultyFileSystem fs;
    TScopedFileSystem fsScope;
    TScriptedUiHooks hooks;
    TScopedUiHooks hooksScope;
    std::map<std::string, std::string> crcs;
    TArchiveManager manager;
    TRomsBd roms;
    TFilesBd files;
    std::map<std::string, TPath*> paths;
    std::vector<std::string> log;
};

// Hidden names are the work files of atomic writes: none may be left behind.
std::vector<std::string> Leftovers(const std::string& root) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : Snapshot(root)) {
        const std::string last = name.substr(name.find_last_of('/') + 1);
        if (!last.empty() && last[0] == '.') names.push_back(name);
    }
    return names;
}

struct TFaultCase {
    const char* name;
    std::vector<std::string> tree;
    std::function<void(TRepairFixture&)> run;
    // Files that may have changed when a late step failed, each still sound.
    std::vector<std::string> mayChange = {};
};

// Each repair is run with its first, second, third ... changing file-system call
// failing, until it succeeds. Every failed run leaves each file that was there
// byte-for-byte as it was, no work file behind, and anything new complete.
TEST(RomRepairFaults, AFailedStepLeavesEveryOriginalIntact) {
    const std::vector<TFaultCase> cases = {
        {"zip to zip making room",
         {"path1 zip pacman.zip pm1.bin={A} pm2.bin={X}", "path1 zip spare.zip b.bin={B}"},
         [](TRepairFixture& f) { f.Rom("path1", "spare.zip", "b.bin")->CopyTo(f.File("path1", "pacman.zip"), "pm2.bin"); }},
        {"plain to zip under a new name",
         {"path1 zip pacman.zip pm1.bin={A}", "path1 plain loose.bin={B}"},
         [](TRepairFixture& f) { f.Rom("path1", "loose.bin", "loose.bin")->CopyTo(f.File("path1", "pacman.zip"), "pm2.bin"); }},
        {"zip to folder making room",
         {"path1 folder pacman pm1.bin={A} pm2.bin={X}", "path1 zip spare.zip b.bin={B}"},
         [](TRepairFixture& f) { f.Rom("path1", "spare.zip", "b.bin")->CopyTo(f.File("path1", "pacman"), "pm2.bin"); }},
        {"remove into a backup zip",
         {"path1 zip pacman.zip pm1.bin={A} junk.bin={X}", "backup zip pacman.zip junk.bin={Y}"},
         [](TRepairFixture& f) {
             TFile* zip = f.File("path1", "pacman.zip");
             zip->RemoveRomFile(f.Rom("path1", "pacman.zip", "junk.bin"), f.root / "backup/");
         },
         // The backup is written first; when the deletion then fails, it stays.
         {"backup/pacman.zip"}},
        {"remove a folder rom into its place",
         {"path1 folder pacman pm1.bin={A} gg2.bin={E}"},
         [](TRepairFixture& f) {
             TFile* folder = f.File("path1", "pacman");
             folder->RemoveRomFile(f.Rom("path1", "pacman", "gg2.bin"), f.root / "backup/");
         },
         // Placed first; when the deletion then fails, the placed copy stays.
         {"path1/galaga", "path1/galaga/gg2.bin"}},
        {"swap inside a zip",
         {"path1 zip pacman.zip pm1.bin={B} pm2.bin={A}"},
         [](TRepairFixture& f) {
             TFile* zip = f.File("path1", "pacman.zip");
             zip->FixRomNames({f.Rom("path1", "pacman.zip", "pm1.bin"), f.Rom("path1", "pacman.zip", "pm2.bin")});
         }},
        {"dummy into a zip",
         {"path1 zip digdug.zip dd1.bin={I}"},
         [](TRepairFixture& f) { f.Rom("path1", "digdug.zip", "dd3.bin")->CreateRom(); },
         // The cache file is written once the archive is complete.
         {"path1/digdug.zip"}},
        {"import into a folder",
         {"path1 folder pacman pm1.bin={A}", "path2 zip spare.zip b.bin={B}"},
         [](TRepairFixture& f) {
             bool noMorePrompts = false;
             f.Rom("path1", "pacman", "pm2.bin")->ImportFrom(noMorePrompts);
         }},
    };
    for (const TFaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        bool succeeded = false;
        for (int failAt = 1; failAt < 40 && !succeeded; ++failAt) {
            SCOPED_TRACE("failing call " + std::to_string(failAt));
            TRepairFixture f(c.tree);
            const auto before = Snapshot(f.root.Path());
            f.fs.failAt = failAt;
            f.fs.changingCalls = 0;
            try {
                TFilesBd::TCommandScope command(f.files);
                c.run(f);
                succeeded = true;
            } catch (const Exception&) {
                const auto after = Snapshot(f.root.Path());
                for (const auto& [name, bytes] : before) {
                    const auto found = after.find(name);
                    const bool allowed =
                        std::find(c.mayChange.begin(), c.mayChange.end(), name) != c.mayChange.end();
                    if (found == after.end())
                        ADD_FAILURE() << name << " is gone";
                    else if (found->second != bytes && !allowed)
                        ADD_FAILURE() << name << " changed";
                }
                // Nothing new but what the case allows (a backup written before the
                // step that failed); a container made for the rom goes again.
                for (const auto& [name, bytes] : after)
                    if (before.count(name) == 0 &&
                        std::find(c.mayChange.begin(), c.mayChange.end(), name) == c.mayChange.end())
                        ADD_FAILURE() << name << " is new";
                EXPECT_EQ(Leftovers(f.root.Path()), std::vector<std::string>{});
                ExpectZipsSound(f.root.Path());
            }
            f.fs.failAt = 0;
        }
        EXPECT_TRUE(succeeded);
    }
}

TEST(RomRepairFaults, FolderRenamesThatFailAreReportedAfterTheOthers) {
    TRepairFixture f({"path1 folder pacman a.bin={A} b.bin={B}"});
    TFile* folder = f.File("path1", "pacman");
    TRomFile* a = f.Rom("path1", "pacman", "a.bin");
    TRomFile* b = f.Rom("path1", "pacman", "b.bin");
    ASSERT_EQ(a->Status, rsBadName);
    ASSERT_EQ(b->Status, rsBadName);
    TFilesBd::TCommandScope command(f.files);
    f.fs.failAt = 2;
    f.fs.sticky = true;
    EXPECT_THROW(folder->FixRomNames({a, b}), filesbd::EFileError);
    f.fs.failAt = 0;
    // The rename that worked is in the database; the one that failed kept its name.
    EXPECT_EQ(a->StoredName(), "pm1.bin");
    EXPECT_EQ(a->Status, rsOk);
    EXPECT_EQ(b->StoredName(), "b.bin");
    EXPECT_EQ(b->Status, rsBadName);
    EXPECT_FALSE(folder->ErrorText.empty());
    EXPECT_EQ(f.Disk(), (std::vector<std::string>{"path1/pacman/b.bin {B}", "path1/pacman/pm1.bin {A}"}));
}

TEST(RomRepairErrors, ADamagedZipIsMarkedAndTheErrorRaisedAgain) {
    TRepairFixture f({"path1 zip pacman.zip x.bin={A}"});
    TFile* zip = f.File("path1", "pacman.zip");
    TRomFile* rom = zip->RomFiles[0];
    WriteFile(zip->FullPath, "this is no zip archive at all, but it is long enough to look");
    TFilesBd::TCommandScope command(f.files);
    EXPECT_THROW(rom->Rename("pm1.bin"), archive::EArchiveException);
    EXPECT_FALSE(zip->ErrorText.empty());
    EXPECT_EQ(zip->GetRomFileCount(), 0);
}

TEST(RomRepairErrors, DiskFullChangesNothing) {
    TRepairFixture f({"path1 zip pacman.zip pm1.bin={A}", "path1 plain loose.bin={B}"});
    const auto before = Snapshot(f.root.Path());
    f.fs.forcedFreeSpace = 1000;
    TFilesBd::TCommandScope command(f.files);
    EXPECT_THROW(f.Rom("path1", "loose.bin", "loose.bin")->CopyTo(f.File("path1", "pacman.zip"), "pm2.bin"), EDiskFull);
    EXPECT_THROW(f.Rom("path1", "loose.bin", "loose.bin")->BackupTo(f.root / "backup/"), EDiskFull);
    EXPECT_EQ(Snapshot(f.root.Path()), before);
}

TEST(RomRepairErrors, TheAbortFlagStopsEachRepairBeforeItChangesAnything) {
    const std::vector<std::pair<const char*, std::function<void(TRepairFixture&)>>> cases = {
        {"fix names", [](TRepairFixture& f) { f.File("path1", "pacman")->FixRomNames({f.Rom("path1", "pacman", "a.bin")}); }},
        {"place", [](TRepairFixture& f) { f.Rom("path1", "pacman", "gg2.bin")->CopyToItsPlace(); }},
        {"remove",
         [](TRepairFixture& f) {
             f.File("path1", "pacman")->RemoveRomFile(f.Rom("path1", "pacman", "gg2.bin"), f.root / "backup/");
         }},
        {"import",
         [](TRepairFixture& f) {
             bool noMorePrompts = false;
             f.Rom("path1", "pacman", "pm2.bin")->ImportFrom(noMorePrompts);
         }},
        {"dummy", [](TRepairFixture& f) { f.Rom("path1", "digdug", "dd3.bin")->CreateRom(); }},
    };
    for (const auto& [name, run] : cases) {
        SCOPED_TRACE(name);
        TRepairFixture f({"path1 folder pacman a.bin={A} gg2.bin={E}", "path1 folder digdug dd1.bin={I}",
                          "path2 plain loose.bin={B}"});
        const auto before = Snapshot(f.root.Path());
        f.files.Paths().Abort = true;
        TFilesBd::TCommandScope command(f.files);
        EXPECT_THROW(run(f), qm::EAbortOperation);
        EXPECT_FALSE(f.files.Paths().Abort);
        EXPECT_EQ(Snapshot(f.root.Path()), before);
    }
}

TEST(RomRepairLog, RemovingARomWritesItsLinesBeforeItWorks) {
    TRepairFixture f({"path1 zip pacman.zip pm1.bin={A} gg2.bin={E}"});
    TFile* zip = f.File("path1", "pacman.zip");
    TFilesBd::TCommandScope command(f.files);
    ASSERT_EQ(zip->RemoveRomFile(f.Rom("path1", "pacman.zip", "gg2.bin"), f.root / "backup/"), 5);
    ASSERT_GE(f.log.size(), 2u);
    EXPECT_EQ(f.log[0], "Remove rom " + f.root.Path() + "path1/pacman.zip");
    EXPECT_EQ(f.log[1], "Copy rom gg2.binto its place");
}

TEST(RomRepairRemove, AnUnreadableRomIsBackedUpBeforeItGoes) {
    TRepairFixture f({"path1 zip pacman.zip pm1.bin={A} junk.bin={X}"});
    TFile* zip = f.File("path1", "pacman.zip");
    TRomFile* junk = f.Rom("path1", "pacman.zip", "junk.bin");
    junk->SetError("read error");
    ASSERT_EQ(junk->Status, rsError);
    TFilesBd::TCommandScope command(f.files);
    EXPECT_EQ(zip->RemoveRomFile(junk, f.root / "backup/"), 1);
    EXPECT_EQ(f.Disk(), (std::vector<std::string>{"backup/pacman.zip zip junk.bin={X}", "path1/pacman.zip zip pm1.bin={A}"}));
}

TEST(RomRepairRemove, AFailedBackupKeepsTheRom) {
    TRepairFixture f({"path1 folder pacman pm1.bin={A} junk.bin={X}"});
    TFile* folder = f.File("path1", "pacman");
    TRomFile* junk = f.Rom("path1", "pacman", "junk.bin");
    const auto before = Snapshot(f.root.Path());
    f.fs.failAt = 1;
    f.fs.sticky = true;
    TFilesBd::TCommandScope command(f.files);
    EXPECT_THROW(folder->RemoveRomFile(junk, f.root / "backup/"), filesbd::EFileError);
    f.fs.failAt = 0;
    EXPECT_TRUE(junk->ErrorFlag);
    EXPECT_FALSE(junk->ErrorText().empty());
    EXPECT_GE(folder->RomFiles.IndexOfObject(junk), 0);
    EXPECT_EQ(Snapshot(f.root.Path()), before);
}

TEST(RomRepairPlace, NoWritablePathKeepsTheRomWithTheReason) {
    TRepairFixture f({"path1 zip pacman.zip pm1.bin={A} gg2.bin={E}"});
    f.fs.readOnlyPaths.push_back(f.root / "path1");
    f.paths.at("path1")->ReadDiskInfo();
    TFile* zip = f.File("path1", "pacman.zip");
    TRomFile* rom = f.Rom("path1", "pacman.zip", "gg2.bin");
    const auto before = Snapshot(f.root.Path());
    TFilesBd::TCommandScope command(f.files);
    EXPECT_EQ(zip->RemoveRomFile(rom, f.root / "backup/"), 0);
    EXPECT_EQ(rom->ErrorText(), "No writable rom path found.");
    EXPECT_TRUE(rom->ErrorFlag);
    EXPECT_EQ(Snapshot(f.root.Path()), before);
}

TEST(RomRepairPlace, AnUnlistedFileOfTheGamesNameIsNeverBlanked) {
    TRepairFixture f({"path1 zip pacman.zip pm1.bin={A} gg2.bin={E}"});
    // On disk, but not (yet) in the database.
    WriteFile(f.root / "path1/galaga.zip", "not ours to overwrite");
    TFilesBd::TCommandScope command(f.files);
    EXPECT_THROW(f.Rom("path1", "pacman.zip", "gg2.bin")->CopyToItsPlace(), filesbd::EFileError);
    EXPECT_EQ(ReadFile(f.root / "path1/galaga.zip"), "not ours to overwrite");
}

TEST(RomRepairDummy, OnlyAMissingNoDumpOnAWritablePathGetsOne) {
    TRepairFixture f({"path1 zip digdug.zip dd1.bin={I}"});
    TFile* zip = f.File("path1", "digdug.zip");
    TRomFile* placeholder = f.Rom("path1", "digdug.zip", "dd3.bin");
    ASSERT_TRUE(placeholder->IsMissingDump());
    f.fs.readOnlyPaths.push_back(f.root / "path1");
    f.paths.at("path1")->ReadDiskInfo();
    TFilesBd::TCommandScope command(f.files);
    placeholder->CreateRom();
    EXPECT_EQ(f.Disk(), std::vector<std::string>{"path1/digdug.zip zip dd1.bin={I}"});
    f.fs.readOnlyPaths.clear();
    f.paths.at("path1")->ReadDiskInfo();
    placeholder->CreateRom();
    EXPECT_EQ(f.Disk(), std::vector<std::string>{"path1/digdug.zip zip dd1.bin={I} dd3.bin={zeros}"});
    // The placeholder object became the rom file.
    EXPECT_EQ(zip->RomFiles.IndexOfObject(placeholder) >= 0, true);
    EXPECT_EQ(placeholder->Status, rsOk);
    EXPECT_EQ(placeholder->Crc(), f.crcs.at("zeros"));
    EXPECT_EQ(f.log.back(), "Create rom dd3.bin");
}

// ---- The disk prompt of an import ---------------------------------------------------

// Answers the prompt from a queue; a Yes may bring the disk.
class TDiskHooks : public TScriptedUiHooks {
public:
    std::function<void(int answer)> onAnswer;
    int MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) override {
        const int answer = TScriptedUiHooks::MessageDlg(text, type, buttons);
        if (onAnswer) onAnswer(answer);
        return answer;
    }
};

// The missing rom lies only on a second volume, which is not in the drive.
struct TImportFixture : TRepairFixture {
    TImportFixture() : TRepairFixture({"path1 zip pacman.zip pm1.bin={A}"}), diskScope(disk) {
        WriteFile(root / "disk2/loose.bin", Content("B"));
        TVolumeFacts second = TestVolume("5555-6666", "GAMES2");
        second.root = root / "disk2/";
        second.source = "/dev/second";
        volumes.volumes.push_back(second);
        // Known by the serial of the disk that belongs there; another disk is in.
        TPath* path = files.AddPath(root / "disk2", "aaaa-bbbb", "GAMES2");
        volumes.volumes.back().uuid = "1111-2222";
        path->NewFile("loose.bin", fkPlain, false)->AddRomFile("loose.bin", crcs.at("B"), 0, 16, "");
        path->ReadDiskInfo();
        files.MatchAll();
        placeholder = Rom("path1", "pacman.zip", "pm2.bin");
    }
    void InsertDisk() { volumes.volumes.back().uuid = "AAAA-BBBB"; }

    TDiskHooks disk;
    TScopedUiHooks diskScope;
    TRomFile* placeholder = nullptr;
};

TEST(RomRepairImport, NoMorePromptsGivesUpAtOnce) {
    TImportFixture f;
    ASSERT_TRUE(f.placeholder != nullptr);
    ASSERT_EQ(f.placeholder->Status, rsAvailableElsewhere);
    bool noMorePrompts = true;
    TFilesBd::TCommandScope command(f.files);
    EXPECT_THROW(f.placeholder->ImportFrom(noMorePrompts), filesbd::EIgnoreFile);
    EXPECT_TRUE(f.disk.shown.empty());
    EXPECT_TRUE(noMorePrompts);
}

TEST(RomRepairImport, EachAnswerOfThePrompt) {
    struct TAnswerCase {
        int answer;
        bool flagBefore;
        bool flagAfter;
        bool abort;
    };
    const std::vector<TAnswerCase> cases = {
        {mrNo, true, false, false},      // given only when the flag is off; No clears it
        {mrNoToAll, false, true, false},
        {mrAbort, false, false, true},
    };
    for (const TAnswerCase& c : cases) {
        SCOPED_TRACE(c.answer);
        TImportFixture f;
        f.disk.dialogAnswers = {c.answer};
        bool noMorePrompts = c.answer == mrNo ? false : c.flagBefore;
        TFilesBd::TCommandScope command(f.files);
        if (c.abort)
            EXPECT_THROW(f.placeholder->ImportFrom(noMorePrompts), qm::EAbortOperation);
        else
            EXPECT_THROW(f.placeholder->ImportFrom(noMorePrompts), filesbd::EIgnoreFile);
        EXPECT_EQ(noMorePrompts, c.flagAfter);
        ASSERT_EQ(f.disk.shown.size(), 1u);
        EXPECT_EQ(f.disk.shown[0].text,
                  "The rom pm2.bin is on the disk [GAMES2].\n Please insert this disk.\n\nDo you want to retry ?");
        EXPECT_EQ(f.disk.shown[0].buttons, unsigned(mbYes | mbNo | mbAbort | mbNoToAll));
        EXPECT_EQ(f.Disk(), (std::vector<std::string>{"disk2/loose.bin {B}", "path1/pacman.zip zip pm1.bin={A}"}));
    }
}

TEST(RomRepairImport, YesAsksAgainUntilTheDiskIsIn) {
    TImportFixture f;
    f.disk.dialogAnswers = {mrYes, mrYes};
    int answers = 0;
    f.disk.onAnswer = [&](int) {
        if (++answers == 2) f.InsertDisk();
    };
    bool noMorePrompts = false;
    TFilesBd::TCommandScope command(f.files);
    f.placeholder->ImportFrom(noMorePrompts);
    EXPECT_EQ(f.disk.shown.size(), 2u);
    EXPECT_EQ(f.Disk(), (std::vector<std::string>{"disk2/loose.bin {B}", "path1/pacman.zip zip pm1.bin={A} pm2.bin={B}"}));
    EXPECT_EQ(f.placeholder->Status, rsOk);
    EXPECT_EQ(f.log.back(), "Import rom pm2.bin from " + f.root.Path() + "disk2/loose.bin/loose.bin");
}

TEST(RomRepairImport, ACopyOnAPresentDiskIsTakenWithoutAsking) {
    TImportFixture f;
    WriteFile(f.root / "path1/spare.bin", Content("B"));
    TPath* path1 = f.paths.at("path1");
    path1->NewFile("spare.bin", fkPlain, false)->AddRomFile("spare.bin", f.crcs.at("B"), 0, 16, "");
    f.files.MatchAll();
    bool noMorePrompts = false;
    TFilesBd::TCommandScope command(f.files);
    f.placeholder->ImportFrom(noMorePrompts);
    EXPECT_TRUE(f.disk.shown.empty());
    EXPECT_EQ(f.placeholder->Status, rsOk);
}

}  // namespace
}  // namespace qm::test::romrepair
