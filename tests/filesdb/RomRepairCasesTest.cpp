// Runs every tests/cases/romrepair/*.case: a datafile, a collection on disk, one repair
// of a single rom, and what the disk must hold afterwards (read back by Python's zlib
// and zipfile, every zip tested by unzip -t), the operation's result, and statuses the
// database must show. After the repair the database is matched again and must equal a
// database built from the disk alone. With "faults" the repair runs again for every
// changing file-system call of the good run, that call failing (see the README there).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "RomRepairTestSupport.h"
#include "archive/archivemanager.h"
#include "catalogue/RomsBd.h"
#include "filesdb/CrcPlugIn.h"
#include "filesdb/SignatureCalculator.h"
#include "filesdb/filesBd.h"
#include "platform/FileSystem.h"
#include "platform/UiHooks.h"
#include "support/CallLogFileSystem.h"

namespace qm::test::romrepair {
namespace {

struct TCase {
    std::string name;
    std::string datafile;
    std::vector<std::string> files;
    std::vector<std::string> options;
    std::string operation;
    std::string result;
    std::vector<std::string> disk;
    std::vector<std::string> statuses;
    bool haveDisk = false;
};

TCase ReadCase(const std::string& fileName) {
    TCase c;
    c.name = std::filesystem::path(fileName).stem().string();
    ReadSections(
        fileName, [&](const std::string& section) {
            if (section == "expect disk") c.haveDisk = true;
        },
        [&](const std::string& section, const std::string& line) {
            if (section == "datafile") c.datafile += line + "\n";
            else if (section == "files") c.files.push_back(line);
            else if (section == "options") c.options.push_back(line);
            else if (section == "do") c.operation = line;
            else if (section == "expect result") c.result = line;
            else if (section == "expect disk") c.disk.push_back(line);
            else if (section == "expect status") c.statuses.push_back(line);
        });
    return c;
}

std::set<std::string> Labels(const TCase& c) {
    std::string all = c.datafile;
    for (const std::string& f : c.files) all += f + "\n";
    return LabelsIn(all);
}

// A database over the case's paths: filled by hand from the case (the state before the
// repair) or from the disk (the state a rescan would find).
enum class TSource { kCase, kListing, kScan };

// A calculator over the default plug-in, as the program reads files.
struct TSigning {
    explicit TSigning(TArchiveManager& manager) {
        calc.SetArchiveManager(&manager);
        calc.SetCrcPlugIn(&cases::DefaultPlugIn());
        calc.SetTempDir(temp.Path());
    }
    TTempDir temp;
    TSignatureCalculator calc;
};

struct TDatabase {
    TDatabase(const TCase& c, const std::string& root, const std::map<std::string, std::string>& crcs,
              TArchiveManager& manager, TSignatureCalculator& calc, TSource source,
              const std::vector<std::vector<std::string>>& order = {}) {
        const bool fromDisk = source != TSource::kCase;
        files.SetRomsBd(&roms);
        if (source == TSource::kScan) files.SetSignatureCalculator(&calc);
        // The mode is known before the build, as the emulator's settings are.
        for (const std::string& option : c.options) {
            const auto w = Words(option);
            if (w[0] == "mode") {
                roms.Split = w[1] != "merged";
                roms.MergeRoms = w[1] == "split";
            }
        }
        BuildRoms(roms, Fill(c.datafile, crcs));
        files.SetSubmitRoms(true);
        files.SetCachePath(cache.Path());
        files.SetArchiveManager(&manager);
        for (const std::string& line : c.files) {
            const std::string pathName = Words(line)[0];
            // What lies in the backup folder is on disk only.
            if (pathName.rfind("backup", 0) == 0) continue;
            if (std::find(pathNames.begin(), pathNames.end(), pathName) == pathNames.end()) {
                pathNames.push_back(pathName);
                files.AddPath(root + pathName, "", "");
            }
        }
        for (size_t p = 0; p < pathNames.size(); ++p) {
            TPath* path = files.GetPath(static_cast<int>(p));
            if (source == TSource::kScan) {
                path->Load(true);
                continue;
            }
            if (fromDisk) {
                LoadPathFromDisk(path, root, pathNames[p], p < order.size() ? order[p] : std::vector<std::string>{});
                continue;
            }
            for (const std::string& line : c.files) {
                const auto w = Words(line);
                if (w[0] != pathNames[p]) continue;
                const uint8_t kind = w[1] == "zip" ? fkZip : w[1] == "folder" ? fkFolder : fkPlain;
                const auto entry = [&](const std::string& word, std::string& name) {
                    const size_t eq = word.find('=');
                    name = word.substr(0, eq);
                    return crcs.at(word.substr(eq + 2, word.size() - eq - 3));
                };
                std::string name;
                if (kind == fkPlain) {
                    const std::string crc = entry(w[2], name);
                    path->NewFile(name, kind, false)->AddRomFile(name, crc, 0, 16, "");
                    continue;
                }
                TFile* file = path->NewFile(w[2], kind, false);
                for (size_t i = 3; i < w.size(); ++i) {
                    const std::string crc = entry(w[i], name);
                    file->AddRomFile(name, crc, 0, 16, "");
                }
            }
        }
        files.MatchAll();
    }
    ~TDatabase() { files.ClearPaths(); }

    TPath* Path(const std::string& name) {
        const auto it = std::find(pathNames.begin(), pathNames.end(), name);
        return it == pathNames.end() ? nullptr : files.GetPath(static_cast<int>(it - pathNames.begin()));
    }
    TFile* File(const std::string& pathName, const std::string& fileName) {
        TPath* path = Path(pathName);
        return path != nullptr ? path->Files().Find(fileName) : nullptr;
    }
    // "file/stored name", or a plain file's name.
    TRomFile* Rom(const std::string& pathName, const std::string& ref) {
        const size_t slash = ref.find('/');
        TFile* file = File(pathName, ref.substr(0, slash));
        if (file == nullptr) return nullptr;
        if (slash == std::string::npos) return file->RomFiles.Empty() ? nullptr : file->RomFiles[0];
        const int index = file->RomFiles.IndexOfFileName(ref.substr(slash + 1), true);
        return index < 0 ? nullptr : file->RomFiles[index];
    }

    TTempDir cache;
    TRomsBd roms;
    TFilesBd files;
    std::vector<std::string> pathNames;
};

std::string RunOperation(TDatabase& db, const std::string& root, const std::string& operation) {
    const auto w = Words(operation);
    const std::string& op = w.at(0);
    const auto rom = [&](size_t at) {
        TRomFile* r = db.Rom(w.at(at), w.at(at + 1));
        if (r == nullptr) throw std::runtime_error("no rom " + w.at(at) + " " + w.at(at + 1));
        return r;
    };
    TFilesBd::TCommandScope command(db.files);
    if (op == "rename") return rom(1)->Rename(w.at(3)) ? "true" : "false";
    if (op == "copy") return rom(1)->CopyTo(db.File(w.at(3), w.at(4)), w.at(5)) ? "true" : "false";
    if (op == "backup") return rom(1)->BackupTo(root + w.at(3)) ? "true" : "false";
    if (op == "place") return rom(1)->CopyToItsPlace() ? "true" : "false";
    if (op == "remove") {
        TRomFile* r = rom(1);
        return std::to_string(r->File->RemoveRomFile(r, root + w.at(3)));
    }
    if (op == "import") {
        bool noMorePrompts = false;
        rom(1)->ImportFrom(noMorePrompts);
        return "done";
    }
    if (op == "dummy") {
        rom(1)->CreateRom();
        return "done";
    }
    if (op == "fixnames") {
        TFile* file = db.File(w.at(1), w.at(2));
        std::vector<TRomFile*> list;
        for (const auto& entry : file->RomFiles)
            if (entry.romFile->NeedsRename()) list.push_back(entry.romFile.get());
        file->FixRomNames(list);
        return "done";
    }
    throw std::runtime_error("unknown operation " + op);
}

// Every content of the disk counted by CRC; a failed repair may add copies, but each
// content the disk held before must still be there as often as before, or as often as
// the good run keeps it.
std::map<std::string, int> ContentCounts(const std::string& root) {
    std::map<std::string, int> counts;
    for (const TDiskItem& item : ListDisk(root)) {
        if (item.path.rfind("contents", 0) == 0 || item.path.rfind("staging", 0) == 0) continue;
        if (item.kind == 'F') ++counts[item.crc];
        for (const auto& entry : item.entries) ++counts[entry.second];
    }
    return counts;
}

// Hidden names are the work files of atomic writes and staged copies.
std::vector<std::string> HiddenLeftovers(const std::string& root) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : Snapshot(root)) {
        const std::string last = name.substr(name.find_last_of('/') + 1);
        if (!last.empty() && last[0] == '.') names.push_back(name);
    }
    return names;
}

// Where the database and the disk disagree about the rom paths: a file the one has and
// the other has not, or a file whose members differ. A file or rom file marked with an
// error is read again before it is trusted, and is left out.
std::vector<std::string> Mismatches(const TDatabase& db, const std::string& root) {
    std::map<std::string, std::set<std::string>> disk;  // "<path> <file>" -> members
    const std::vector<TDiskItem> items = ListDisk(root);
    for (const std::string& pathName : db.pathNames) {
        const std::string prefix = pathName + "/";
        for (const TDiskItem& item : items) {
            if (item.path.rfind(prefix, 0) != 0) continue;
            const std::string rest = item.path.substr(prefix.size());
            const size_t slash = rest.find('/');
            auto& members = disk[pathName + " " + rest.substr(0, slash)];
            if (item.kind == 'Z')
                for (const auto& e : item.entries) members.insert(e.first);
            else if (item.kind == 'F')
                members.insert(slash == std::string::npos ? rest : rest.substr(slash + 1));
        }
    }
    std::vector<std::string> lines;
    for (int p = 0; p < db.files.GetPathCount(); ++p) {
        for (const auto& file : db.files.GetPath(p)->Files()) {
            const std::string key = db.pathNames[static_cast<size_t>(p)] + " " + file->Name;
            const auto found = disk.find(key);
            if (found == disk.end()) {
                lines.push_back("not on disk: " + key);
                continue;
            }
            std::set<std::string> members;
            bool trusted = !file->HasError();
            for (const auto& entry : file->RomFiles) {
                if (entry.romFile->HasError()) trusted = false;
                if (!entry.romFile->IsPlaceholder()) members.insert(entry.romFile->StoredName());
            }
            if (trusted && members != found->second) lines.push_back("members differ: " + key);
            disk.erase(found);
        }
    }
    for (const auto& [key, members] : disk) lines.push_back("not in the database: " + key);
    return lines;
}

// One run of a case on a fresh tree, the failAt-th changing file-system call failing
// (0: none).
struct TRun {
    std::string result;
    bool raised = false;
    std::vector<std::string> disk, live;
    std::vector<std::vector<std::string>> order;
    std::map<std::string, int> before, after;
    std::vector<std::string> leftovers;  // hidden files of the collection
    std::vector<std::string> work;       // what is left in the work folder
    std::vector<std::string> mismatches; // database against disk
    int changingCalls = 0;
    std::string failedCall;  // the call made to fail
    bool failedCleanUp = false;  // it was the removal of a work file
};

TRun RunCase(const TCase& c, const std::string& root, int failAt) {
    TRun run;
    const auto crcs = PythonCrcs(root + "contents/", Labels(c));
    MakeTree(root, c.files);
    run.before = ContentCounts(root);
    const std::string work = root + "staging-work/";
    MakeDirs(work);

    TStaticVolumeProvider volumes;
    volumes.volumes.push_back(TestVolume());
    TScopedVolumeProvider volumeScope(volumes);
    TFaultyFileSystem fs(Fs());
    for (const std::string& option : c.options) {
        const auto w = Words(option);
        if (w[0] == "readonly") fs.readOnlyPaths.push_back(root + w[1]);
    }
    TCallLogFileSystem calls(fs);
    TScopedFileSystem fsScope(calls);
    TScriptedUiHooks hooks;
    TScopedUiHooks hooksScope(hooks);
    TArchiveManager manager;
    manager.SetTempDir(work);
    TSigning signing(manager);
    {
        TDatabase db(c, root, crcs, manager, signing.calc, TSource::kCase);
        fs.failAt = failAt;
        fs.changingCalls = 0;
        try {
            run.result = RunOperation(db, root, c.operation);
        } catch (const Exception& e) {
            run.raised = true;
            std::string message = e.Message();
            for (size_t at; (at = message.find(root)) != std::string::npos;) message.replace(at, root.size(), "<root>/");
            run.result = "error " + message;
        }
        run.changingCalls = fs.changingCalls;
        run.failedCall = calls.Call(failAt);
        run.failedCleanUp = calls.CleansUp(failAt, work);
        fs.failAt = 0;
        for (const auto& shown : hooks.shown) run.result += " | box " + shown.text;
        db.files.MatchAll();
        run.live = RenderStatuses(db.files, db.pathNames);
        run.mismatches = Mismatches(db, root);
        for (int p = 0; p < db.files.GetPathCount(); ++p) {
            run.order.emplace_back();
            for (const auto& file : db.files.GetPath(p)->Files()) run.order.back().push_back(file->Name);
        }
    }
    run.disk = RenderDisk(root, crcs);
    run.after = ContentCounts(root);
    run.leftovers = HiddenLeftovers(root);
    for (const auto& e : std::filesystem::directory_iterator(work)) run.work.push_back(e.path().string());
    ExpectZipsSound(root);
    return run;
}

class RomRepairCases : public ::testing::TestWithParam<std::string> {};

TEST(RomRepairCaseFiles, ThereAreCases) { EXPECT_FALSE(CaseFiles("romrepair").empty()); }

TEST_P(RomRepairCases, Case) {
    {
        const TCase c = ReadCase(GetParam());
        SCOPED_TRACE(c.name);
        TTempDir dir;
        const std::string root = dir.Path();
        const TRun good = RunCase(c, root, 0);
        const auto crcs = PythonCrcs(dir / "contents/", Labels(c));
        EXPECT_EQ(good.result, c.result);
        if (c.haveDisk) {
            std::vector<std::string> expected = c.disk;
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(good.disk, expected);
        }
        EXPECT_EQ(good.leftovers, std::vector<std::string>{});
        EXPECT_EQ(good.work, std::vector<std::string>{});
        EXPECT_EQ(good.mismatches, std::vector<std::string>{});
        for (const std::string& line : c.statuses)
            EXPECT_NE(std::find(good.live.begin(), good.live.end(), line), good.live.end()) << "status line: " << line;

        // Which of several plain-file copies is the surplus one depends on the order in
        // which they were registered, which a rescan does not keep.
        const auto plainDupsAside = [](std::vector<std::string> lines) {
            for (std::string& line : lines) {
                const auto w = Words(line);
                if (w.size() == 4 && w[1].find('/') == std::string::npos && w[3] == "dup") line.resize(line.size() - 4);
            }
            return lines;
        };
        // A failure recorded on a plain file hides its game until it is read again.
        const bool recordedError = std::find(c.options.begin(), c.options.end(), "recorded-error") != c.options.end();
        if (!recordedError) {
            TStaticVolumeProvider volumes;
            volumes.volumes.push_back(TestVolume());
            TScopedVolumeProvider volumeScope(volumes);
            TArchiveManager manager;
            TSigning signing(manager);
            TDatabase listed(c, root, crcs, manager, signing.calc, TSource::kListing, good.order);
            EXPECT_EQ(plainDupsAside(good.live), plainDupsAside(RenderStatuses(listed.files, listed.pathNames)))
                << "the database is the disk's";
            std::vector<std::string> scannedLines;
            std::string scanError;
            std::thread([&] {
                try {
                    TDatabase scanned(c, root, crcs, manager, signing.calc, TSource::kScan);
                    scannedLines = RenderStatuses(scanned.files, scanned.pathNames);
                } catch (const std::exception& e) {
                    scanError = e.what();
                }
            }).join();
            EXPECT_EQ(scanError, "");
            EXPECT_EQ(plainDupsAside(good.live), plainDupsAside(scannedLines)) << "the database is what a scan finds";
        }

        // "faults": the repair again on a fresh tree for every changing call of the
        // good run, that call failing. It must either raise or finish exactly as the
        // good run did, lose no content, and leave no work file behind in the collection.
        if (std::find(c.options.begin(), c.options.end(), "faults") == c.options.end()) return;
        EXPECT_GT(good.changingCalls, 0);
        for (int n = 1; n <= good.changingCalls; ++n) {
            SCOPED_TRACE("failing changing call " + std::to_string(n));
            TTempDir again;
            const TRun failed = RunCase(c, again.Path(), n);
            SCOPED_TRACE(failed.failedCall);
            if (!failed.raised) {
                EXPECT_EQ(failed.disk, good.disk) << "not reported: " << failed.result;
            }
            ExpectNothingLost(failed.before, good.after, failed.after);
            ExpectNothingFromNowhere(failed.before, good.after, failed.after);
            EXPECT_EQ(failed.leftovers, std::vector<std::string>{});
            EXPECT_EQ(failed.mismatches, std::vector<std::string>{}) << "the database is not the disk's";
            // The work folder is the process's own and goes at exit: only a clean-up
            // that itself failed may leave something there.
            if (!failed.failedCleanUp) {
                EXPECT_EQ(failed.work, std::vector<std::string>{});
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Each, RomRepairCases, ::testing::ValuesIn(CaseFiles("romrepair")),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = std::filesystem::path(info.param).stem().string();
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

}  // namespace
}  // namespace qm::test::romrepair
