// Every step of the fix on its own, and the whole fix, run once for each changing
// file-system call of a good run with that call failing: the user is shown the failure
// (its error, or the warning that some files were not fixed), every content the collection held
// is still in it (in its old place or complete in its new one, the archive folder and
// the trash included) and nothing came from nowhere, every zip passes unzip -t, no work
// file is left behind, and the database says of the rom path what the disk holds.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#ifndef QM_PLUGIN_DIR
#define QM_PLUGIN_DIR QM_BIN_DIR "/plugin/"
#endif
#include "../filesdb/RomRepairTestSupport.h"
#include "../filesdb/ScanTestSupport.h"
#include "RepairCollection.h"
#include "platform/UiHooks.h"
#include "support/CallLogFileSystem.h"
#include "ui/commands/FileCommands.h"
#include "ui/commands/FixPipeline.h"

namespace qm::test {
namespace {

// Every file below root as Python reads it (names may hold blanks: the trash numbers
// what it takes twice as "name (2).zip"), in the support header's form.
std::vector<romrepair::TDiskItem> ListVolume(const std::string& root) {
    static const char* script =
        "import json,os,sys,zlib,zipfile\n"
        "root=sys.argv[1]\n"
        "out=[]\n"
        "for dp,dns,fns in os.walk(root):\n"
        "  dns.sort()\n"
        "  rel=os.path.relpath(dp,root)\n"
        "  if not dns and not fns and rel!='.': out.append(['D',rel,'',[]])\n"
        "  for f in sorted(fns):\n"
        "    full=os.path.join(dp,f)\n"
        "    r=os.path.normpath(os.path.join(rel,f))\n"
        "    if f.lower().endswith('.zip'):\n"
        "      z=zipfile.ZipFile(full)\n"
        "      out.append(['Z',r,'',[[i.filename,'%08x'%zlib.crc32(z.read(i))] for i in z.infolist()]])\n"
        "    else:\n"
        "      out.append(['F',r,'%08x'%zlib.crc32(open(full,'rb').read()),[]])\n"
        "print(json.dumps(out))\n";
    int status = -1;
    const std::string text = RunCommand("python3 -c " + ShellQuote(script) + " " + ShellQuote(root), &status);
    EXPECT_EQ(status, 0) << text;
    std::vector<romrepair::TDiskItem> items;
    const QJsonArray all = QJsonDocument::fromJson(QByteArray::fromStdString(text)).array();
    for (const QJsonValue& value : all) {
        const QJsonArray row = value.toArray();
        romrepair::TDiskItem item;
        item.kind = row[0].toString().toStdString()[0];
        item.path = row[1].toString().toStdString();
        item.crc = row[2].toString().toStdString();
        for (const QJsonValue& entry : row[3].toArray())
            item.entries.emplace_back(entry.toArray()[0].toString().toStdString(),
                                      entry.toArray()[1].toString().toStdString());
        items.push_back(std::move(item));
    }
    return items;
}

// "zip name entry=c ...", "folder name entry=c ...", "plain name=c": c is the content.
using TCollection = std::vector<std::string>;

// The trash of the test: XDG_DATA_HOME set for its lifetime.
struct TScopedDataHome : test::TScopedEnv {
    explicit TScopedDataHome(const std::string& value) : TScopedEnv("XDG_DATA_HOME", value) {}
};

// A scanned collection on a test volume, the trash and the archive folder on it too,
// every change going through a file system that can be told to fail.
struct TFaultyCollection {
    explicit TFaultyCollection(const TCollection& collection) : fx(RepairCatalogue()), dataHome(fx.tmp.Path() + "vol/xdg") {
        fx.files->RomFileCaseOptions = coLowercase;
        fx.files->FileCaseOptions = coLowercase;
        MakeDirs(archiveDir);
        MakeDirs(workDir);
        fx.manager.SetTempDir(workDir);
        for (const std::string& line : collection) Lay(line);
        fx.Load(true);
    }

    void Lay(const std::string& line) {
        const auto w = romrepair::Words(line);
        const auto entry = [](const std::string& word) {
            const size_t eq = word.find('=');
            return std::make_pair(word.substr(0, eq), word[eq + 1]);
        };
        if (w[0] == "plain") {
            const auto [name, c] = entry(w[1]);
            WriteFile(fx.romsDir + name, Bytes(c));
            return;
        }
        const std::string target = w[0] == "zip" ? fx.tmp.Path() + "staging/" + w[1] + "/" : fx.romsDir + w[1] + "/";
        MakeDirs(target);
        std::string names;
        for (size_t i = 2; i < w.size(); ++i) {
            const auto [name, c] = entry(w[i]);
            WriteFile(target + name, Bytes(c));
            names += " " + ShellQuote(name);
        }
        if (w[0] == "zip") {
            int status = -1;
            RunCommand("cd " + ShellQuote(target) + " && zip -q -X " + ShellQuote(fx.romsDir + w[1]) + names, &status);
            ASSERT_EQ(status, 0) << line;
        }
    }

    // How often each content is held below the volume (rom path, archive folder,
    // trash), zip entries counted one by one; the trash's notes of when a file came,
    // the cache and the work folder are not contents.
    std::map<std::string, int> Contents() const {
        std::map<std::string, int> counts;
        for (const romrepair::TDiskItem& item : ListVolume(volume)) {
            if (item.path.rfind("cache", 0) == 0 || item.path.rfind("work", 0) == 0 ||
                item.path.rfind("xdg/Trash/info", 0) == 0)
                continue;
            if (item.kind == 'F') ++counts[item.crc];
            for (const auto& e : item.entries) ++counts[e.second];
        }
        return counts;
    }

    // The rom path and the archive folder as lines, for comparing two runs.
    std::vector<std::string> Disk() const {
        std::vector<std::string> lines;
        for (const romrepair::TDiskItem& item : ListVolume(volume)) {
            if (item.path.rfind("roms", 0) != 0 && item.path.rfind("archive", 0) != 0) continue;
            std::string line = item.path + " " + item.kind + " " + item.crc;
            for (const auto& e : item.entries) line += " " + e.first + "=" + e.second;
            lines.push_back(line);
        }
        return lines;
    }

    // Hidden files anywhere on the volume.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const auto& [name, bytes] : romrepair::Snapshot(volume)) {
            const std::string last = name.substr(name.find_last_of('/') + 1);
            if (!last.empty() && last[0] == '.') names.push_back(name);
        }
        return names;
    }

    // Anything in the work folders.
    std::vector<std::string> Work() const {
        std::vector<std::string> names;
        for (const std::string& folder : {workDir, fx.tempDir})
            for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().string());
        return names;
    }

    // Where the database and the disk disagree about the rom path: a file the one has
    // and the other has not, or a file whose members differ. A file or rom file marked
    // with an error is read again before it is trusted, and is left out.
    std::vector<std::string> Mismatches() const {
        std::map<std::string, std::set<std::string>> disk;  // file -> members
        for (const romrepair::TDiskItem& item : ListVolume(volume)) {
            if (item.path.rfind("roms/", 0) != 0) continue;
            const std::string rest = item.path.substr(5);
            const size_t slash = rest.find('/');
            auto& members = disk[rest.substr(0, slash)];
            if (item.kind == 'Z')
                for (const auto& e : item.entries) members.insert(e.first);
            else if (item.kind == 'F')
                members.insert(slash == std::string::npos ? rest : rest.substr(slash + 1));
        }
        std::vector<std::string> lines;
        for (const auto& file : fx.path->Files()) {
            const auto found = disk.find(file->Name);
            if (found == disk.end()) {
                lines.push_back("not on disk: " + file->Name);
                continue;
            }
            std::set<std::string> members;
            bool trusted = !file->HasError();
            for (const auto& entry : file->RomFiles) {
                if (entry.romFile->HasError()) trusted = false;
                if (!entry.romFile->IsPlaceholder()) members.insert(entry.romFile->StoredName());
            }
            if (trusted && members != found->second) lines.push_back("members differ: " + file->Name);
            disk.erase(found);
        }
        for (const auto& [name, members] : disk) lines.push_back("not in the database: " + name);
        return lines;
    }

    TScanFixture fx;
    TScopedDataHome dataHome;
    std::string volume = fx.tmp.Path() + "vol/";
    std::string archiveDir = fx.tmp.Path() + "vol/archive/";
    std::string workDir = fx.tmp.Path() + "vol/work/";
    TScriptedUiHooks hooks;
    TScopedUiHooks hooksScope{hooks};
    TFaultyFileSystem faulty{Fs()};
    TCallLogFileSystem calls{faulty};
    TScopedFileSystem fsScope{calls};
};

// What one run left.
struct TOutcome {
    bool reported = false;
    std::string how;
    int changingCalls = 0;
    std::map<std::string, int> before, after;
    std::vector<std::string> disk, leftovers;
    std::vector<std::string> work;        // what is left in the work folders
    std::vector<std::string> mismatches;  // database against disk
    std::string failedCall;               // the call made to fail
    bool failedCleanUp = false;           // it removed a work file
};

// Every zip below root passes unzip -t, but for the empty archive (its end record
// alone) a merge leaves when it has moved every entry out, which unzip only warns of.
void ExpectZipsSound(const std::string& root) {
    for (const romrepair::TDiskItem& item : ListVolume(root)) {
        if (item.kind != 'Z') continue;
        if (item.entries.empty() && std::filesystem::file_size(root + item.path) == 22) continue;
        int status = -1;
        const std::string out = RunCommand("unzip -tqq " + ShellQuote(root + item.path) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << item.path << ": " << out;
    }
}

using TRunner = std::function<void(TFaultyCollection&, TOutcome&)>;

// The whole rom path, as the fix takes it when the tree's focus is on the path.
TFixSelection WholePath(const TFaultyCollection& c) {
    TFixSelection selection;
    for (const auto& file : c.fx.path->Files()) {
        selection.treeFiles.push_back(file.get());
        for (const auto& entry : file->RomFiles) selection.treeRoms.push_back(entry.romFile.get());
    }
    selection.focusedIsPath = true;
    return selection;
}

TOutcome RunOnce(const TCollection& collection, const TRunner& run, int failAt, int failErrno = EIO) {
    TFaultyCollection c(collection);
    TOutcome outcome;
    outcome.before = c.Contents();
    c.faulty.failAt = failAt;
    c.faulty.failErrno = failErrno;
    c.faulty.changingCalls = 0;
    c.calls.calls.clear();
    run(c, outcome);
    outcome.changingCalls = c.faulty.changingCalls;
    outcome.failedCall = c.calls.Call(failAt);
    outcome.failedCleanUp = c.calls.CleansUp(failAt, c.workDir) || c.calls.CleansUp(failAt, c.fx.tempDir);
    c.faulty.failAt = 0;
    outcome.after = c.Contents();
    outcome.disk = c.Disk();
    outcome.leftovers = c.Leftovers();
    outcome.work = c.Work();
    outcome.mismatches = c.Mismatches();
    ExpectZipsSound(c.volume);
    return outcome;
}

// The good run, then one run for each of its changing calls failing.
void ExpectEveryFaultSafe(const TCollection& collection, const TRunner& run, int failErrno = EIO) {
    const TOutcome good = RunOnce(collection, run, 0);
    ASSERT_FALSE(good.reported) << "the good run failed: " << good.how;
    ASSERT_GT(good.changingCalls, 0);
    EXPECT_EQ(good.leftovers, std::vector<std::string>{});
    EXPECT_EQ(good.work, std::vector<std::string>{});
    EXPECT_EQ(good.mismatches, std::vector<std::string>{});
    for (int n = 1; n <= good.changingCalls; ++n) {
        SCOPED_TRACE("failing changing call " + std::to_string(n));
        const TOutcome failed = RunOnce(collection, run, n, failErrno);
        SCOPED_TRACE(failed.failedCall + " (" + failed.how + ")");
        // A failure worked round must have done all the good run did.
        if (!failed.reported) {
            EXPECT_EQ(failed.disk, good.disk) << "a failure passed for a success";
        }
        ExpectNothingLost(failed.before, good.after, failed.after);
        // Nor is anything there that neither the collection nor the good run had: no
        // work file under a collection's name.
        ExpectNothingFromNowhere(failed.before, good.after, failed.after);
        EXPECT_EQ(failed.leftovers, std::vector<std::string>{});
        EXPECT_EQ(failed.mismatches, std::vector<std::string>{}) << "the database is not the disk's";
        // The work folders are the process's own and go at exit: only a clean-up that
        // itself failed may leave something there.
        if (!failed.failedCleanUp) {
            EXPECT_EQ(failed.work, std::vector<std::string>{});
        }
    }
}

// What the user was told: an error box or the fix's warning.
void ReadBoxes(const TFaultyCollection& c, TOutcome& outcome) {
    for (const auto& shown : c.hooks.shown) {
        outcome.how += " box " + shown.text;
        if (shown.type == TMsgDlgType::mtError || shown.text.rfind("Some files has not been fixed.", 0) == 0)
            outcome.reported = true;
    }
}

// One step as its own command over the whole path (the tree focused on it): a failure
// counts as reported only when the user is shown it.
TRunner Step(TFixStep step) {
    return [step](TFaultyCollection& c, TOutcome& outcome) {
        static const std::map<TFixStep, int> kModes = {
            {TFixStep::RenameRoms, stRenameRoms},     {TFixStep::RemoveUselessFiles, stRemoveUselessFiles},
            {TFixStep::RemoveUselessRoms, stRemoveUselessRoms}, {TFixStep::ImportRoms, stImportRoms},
            {TFixStep::RenameFiles, stRenameFiles},   {TFixStep::CreateDummyRoms, stCreateDummy},
            {TFixStep::ReZip, stReZip}};
        TFileCommands commands(c.fx.roms, *c.fx.files);
        commands.ArchivePath = [&c] { return c.archiveDir; };
        TCommandSelection selection;
        for (const auto& file : c.fx.path->Files()) {
            selection.treeFiles.push_back(file.get());
            for (const auto& entry : file->RomFiles) selection.treeRoms.push_back(entry.romFile.get());
        }
        selection.focus = TViewFocus::Tree;
        commands.RunFixStep(kModes.at(step), selection);
        ReadBoxes(c, outcome);
    };
}

struct TStepCase {
    const char* name;
    TCollection collection;
    TFixStep step;
};

const std::vector<TStepCase>& StepCases() {
    static const std::vector<TStepCase> cases = {
        {"RenameAndMergeFiles",
         {"zip pacmn.zip pm1.bin=a", "zip pacman.zip pm2.bin=b", "zip galag.zip gg1.bin=c gg2.bin=d",
          "folder mspc ms1.bin=f ms2.bin=g"},
         TFixStep::RenameFiles},
        {"RemoveUselessRoms",
         {"zip dkong.zip dk1.bin=e junk.txt=j", "zip galaga.zip gg1.bin=c gg2.bin=d ms1.bin=f",
          "folder pacman pm1.bin=a pm2.bin=b junk.bin=k"},
         TFixStep::RemoveUselessRoms},
        {"RenameRoms",
         {"zip galaga.zip x.bin=c GG2.BIN=d", "folder pacman p1.bin=a pm2.bin=b", "zip mspac.zip ms1.bin=g ms2.bin=f"},
         TFixStep::RenameRoms},
        {"ImportRoms", {"zip pacman.zip pm1.bin=a", "folder galaga gg1.bin=c", "zip spare.zip other.bin=b more.bin=d"},
         TFixStep::ImportRoms},
        {"RemoveUselessFiles", {"zip readme.zip readme.txt=u", "folder junk x.txt=v y.txt=w", "plain junk.bin=x"},
         TFixStep::RemoveUselessFiles},
        {"CreateDummyRoms", {"zip dkong.zip dk1.bin=e", "folder dkong dk1.bin=e"}, TFixStep::CreateDummyRoms},
        {"ReZip", {"zip pacman.zip pm1.bin=a pm2.bin=b", "zip galaga.zip gg1.bin=c gg2.bin=d"}, TFixStep::ReZip},
    };
    return cases;
}

// One step per test, so that the steps run side by side; each failure is a plain one
// (EIO) or a name that was taken meanwhile (EEXIST), which some steps work round.
class FixPipelineStepFaults : public ::testing::TestWithParam<std::tuple<size_t, int>> {};

TEST_P(FixPipelineStepFaults, LosesNothingWhereverItFails) {
    const TStepCase& c = StepCases()[std::get<0>(GetParam())];
    ExpectEveryFaultSafe(c.collection, Step(c.step), std::get<1>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Each, FixPipelineStepFaults,
                         ::testing::Combine(::testing::Range<size_t>(0, StepCases().size()),
                                            ::testing::Values(EIO, EEXIST)),
                         [](const ::testing::TestParamInfo<std::tuple<size_t, int>>& info) {
                             return std::string(StepCases()[std::get<0>(info.param)].name) +
                                    (std::get<1>(info.param) == EEXIST ? "_NameTaken" : "_Failing");
                         });

// The whole fix from the main window's button: a failure anywhere ends in a box (the
// error itself or "Some files has not been fixed."), never in silence.
class FixPipelineFaults : public ::testing::TestWithParam<int> {};

TEST_P(FixPipelineFaults, TheWholeFixReportsEveryFailureAndLosesNothing) {
    const TCollection collection = {"zip pacmn.zip pm1.bin=a pm2.bin=b",
                                    "zip galaga.zip x.bin=c GG2.BIN=d ms2.bin=g",
                                    "zip dkong.zip dk1.bin=e junk.txt=j", "zip mspac.zip ms1.bin=f",
                                    "zip readme.zip readme.txt=u"};
    ExpectEveryFaultSafe(collection, [](TFaultyCollection& c, TOutcome& outcome) {
        TFixSwitches switches;
        switches.reZip = true;
        TFixPipeline pipeline(c.fx.roms, *c.fx.files, switches, c.archiveDir);
        const TFixSelection selection = WholePath(c);
        pipeline.Run(selection);
        ReadBoxes(c, outcome);
    }, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Each, FixPipelineFaults, ::testing::Values(EIO, EEXIST),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == EEXIST ? "NameTaken" : "Failing");
                         });

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

// Renaming roms goes on past a file it could not rename and does not count it, but the
// fix does not end as if every file were fixed.
TEST(FixPipelineFaults, ARomRenameThatFailsEndsWithTheWarning) {
    TFaultyCollection c({"zip galaga.zip x.bin=c GG2.BIN=d"});
    const std::string before = ReadFile(c.fx.romsDir + "galaga.zip");
    TFixSwitches renameRoms{false, false, true, false, false, false, false};
    TFixPipeline pipeline(c.fx.roms, *c.fx.files, renameRoms, c.archiveDir);
    const TFixSelection selection = WholePath(c);
    c.calls.calls.clear();
    // No rewritten zip can take the old one's place, by whichever way it was written
    // (the cache cannot be saved either, which the fix reports on its own).
    c.faulty.failAt = 1;
    c.faulty.sticky = true;
    pipeline.Run(selection);
    c.faulty.failAt = 0;
    EXPECT_EQ(c.calls.Call(1).rfind("ReplaceWith ", 0), 0u) << c.calls.Call(1);
    EXPECT_EQ(ReadFile(c.fx.romsDir + "galaga.zip"), before);
    std::vector<std::string> warnings;
    for (const auto& shown : c.hooks.shown)
        if (shown.type == TMsgDlgType::mtWarning) warnings.push_back(shown.text);
    // It names the zip and the system's reason.
    EXPECT_EQ(warnings, std::vector<std::string>{"Some files has not been fixed.\n\nRenaming roms of " + c.fx.romsDir +
                                                 "galaga.zip: " + SysErrorMessage(EIO)});
}

// The user drops a new galaga.zip in place while the fix's rewrite of the old one waits
// with its group: the new file stays as the user made it, and the fix says that file
// changed under it rather than counting it fixed.
TEST(FixPipelineFaults, AZipReplacedWhileItsRewriteWaitsIsKeptAndReported) {
    TFaultyCollection c({"zip galaga.zip x.bin=c GG2.BIN=d", "zip mspac.zip ms1.bin=g ms2.bin=f"});
    const std::string galaga = c.fx.romsDir + "galaga.zip";
    const std::string theirs = "the user's own galaga.zip";
    bool dropped = false;
    c.hooks.onProcessMessages = [&] {
        if (dropped) return;
        for (const auto& e : std::filesystem::directory_iterator(c.fx.romsDir)) {
            if (e.path().filename().string().rfind(".galaga.zip.qmtmp-", 0) != 0) continue;
            WriteFile(c.fx.romsDir + "dropped", theirs);
            ASSERT_EQ(std::rename((c.fx.romsDir + "dropped").c_str(), galaga.c_str()), 0);
            dropped = true;
            return;
        }
    };
    TFixSwitches renameRoms{false, false, true, false, false, false, false};
    TFixPipeline pipeline(c.fx.roms, *c.fx.files, renameRoms, c.archiveDir);
    std::vector<std::string> log;
    pipeline.OnLog = [&](const std::string& line) { log.push_back(line); };
    const TFixSelection selection = WholePath(c);
    pipeline.Run(selection);
    ASSERT_TRUE(dropped) << "the rewrite never waited";
    EXPECT_EQ(ReadFile(galaga), theirs);
    EXPECT_NE(std::find(log.begin(), log.end(), galaga + " was changed during the fix: it was left as it is now."),
              log.end());
    std::vector<std::string> warnings;
    for (const auto& shown : c.hooks.shown)
        if (shown.type == TMsgDlgType::mtWarning) warnings.push_back(shown.text);
    EXPECT_EQ(warnings, std::vector<std::string>{"Some files has not been fixed.\n\nRenaming roms of " + galaga +
                                                 ": " + galaga + " was changed during the fix: it was left as it is now."});
    EXPECT_EQ(c.Leftovers(), std::vector<std::string>{});
}

}  // namespace
}  // namespace qm::test
