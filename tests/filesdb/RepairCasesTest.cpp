// Runs every tests/cases/repair/*.case: a datafile, a tree of zips (made by Info-ZIP
// zip), folders and plain files whose contents' CRCs come from Python's zlib, one repair
// operation, and what must follow: its result, the tree on disk (read back with
// unzip -Z1 / unzip -t and Python's zlib, never with the code under test), the
// database's files and statuses, the log lines and the message boxes.
//
// With "faults" the operation is run again on a fresh tree for every changing
// file-system call of the good run, that call made to fail: the operation must raise,
// lose no content, leave no stray file and keep the database in step with the disk;
// "faults intact" also wants the tree exactly as it was before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "archive/archivemanager.h"
#include "catalogue/RomsBd.h"
#include "filesBdTestSupport.h"
#include "filesdb/CrcPlugIn.h"
#include "filesdb/RepairSupport.h"
#include "filesdb/SignatureCalculator.h"
#include "filesdb/filesBd.h"
#include "platform/FileSystem.h"
#include "platform/UiHooks.h"
#include "CaseFileSupport.h"

namespace qm::test {
namespace {

using namespace cases;

struct TRepairCase {
    std::string name;
    std::string datafile;
    std::vector<std::string> files;
    std::vector<std::string> paths{"roms"};
    std::string operation;
    std::map<std::string, std::string> options;
    std::map<std::string, std::vector<std::string>> expected;  // section -> lines
};

TRepairCase ReadRepairCase(const std::string& fileName) {
    TRepairCase c;
    c.name = std::filesystem::path(fileName).stem().string();
    ReadSections(
        fileName, [&](const std::string& section) {
            if (section.rfind("expect ", 0) == 0) c.expected[section.substr(7)];
        },
        [&](const std::string& section, const std::string& line) {
            if (section == "datafile") {
                c.datafile += line + "\n";
            } else if (section == "files") {
                c.files.push_back(line);
            } else if (section == "do") {
                c.operation = line;
            } else if (section == "options") {
                const auto w = Words(line);
                std::string rest;
                for (size_t i = 1; i < w.size(); ++i) rest += (i > 1 ? " " : "") + w[i];
                if (w[0] == "paths") c.paths = std::vector<std::string>(w.begin() + 1, w.end());
                c.options[w[0]] = rest;
            } else if (section.rfind("expect ", 0) == 0) {
                c.expected[section.substr(7)].push_back(line);
            }
        });
    return c;
}

const auto Content = Content16;

std::set<std::string> Labels(const TRepairCase& c) {
    std::string all = c.datafile;
    for (const std::string& f : c.files) all += f + "\n";
    return LabelsIn(all);
}

// "name={L}"
// "-name={L}": on disk only, the database does not know it.
std::pair<std::string, std::string> ParseEntry(std::string word) {
    if (!word.empty() && word[0] == '-') word.erase(0, 1);
    const size_t eq = word.find('=');
    std::string label = word.substr(eq + 1);
    return {word.substr(0, eq), label.substr(1, label.size() - 2)};
}

// Lays the tree out: "<folder> plain|zip|folder <name> entries...", zips by Info-ZIP zip.
void MakeTree(const std::string& root, const TRepairCase& c) {
    for (const std::string& folder : c.paths) std::filesystem::create_directories(root + folder);
    for (const std::string& line : c.files) {
        auto w = Words(line);
        if (w[0] == "unlisted") w.erase(w.begin());
        const std::string folder = root + w[0] + "/";
        std::filesystem::create_directories(folder);
        if (w[1] == "plain") {
            const auto [name, label] = ParseEntry(w[2]);
            WriteFile(folder + name, Content(label));
            continue;
        }
        const std::string target = w[1] == "zip" ? root + ".staging/" + w[2] + "/" : folder + w[2] + "/";
        std::filesystem::create_directories(target);
        std::string names;
        for (size_t i = 3; i < w.size(); ++i) {
            const auto [name, label] = ParseEntry(w[i]);
            WriteFile(target + name, Content(label));
            names += " " + ShellQuote(name);
        }
        if (w[1] == "zip") {
            int status = -1;
            RunCommand("cd " + ShellQuote(target) + " && zip -q -X " + ShellQuote(folder + w[2]) + names, &status);
            ASSERT_EQ(status, 0) << line;
        }
    }
    std::filesystem::remove_all(root + ".staging");
    // "damage <folder>/<file> <bytes>": the file loses its last bytes.
    if (c.options.count("damage")) {
        const auto w = Words(c.options.at("damage"));
        const std::string bytes = ReadFile(root + w[0]);
        WriteFile(root + w[0], bytes.substr(0, bytes.size() - std::stoul(w[1])));
    }
}

// The tree as independent tools read it, in the [files] form with CRCs turned back
// into labels; the trash shows as the folder "trash". A zip that unzip -t refuses is
// marked BAD.
std::vector<std::string> DiskTree(const std::string& root, const std::map<std::string, std::string>& crcs) {
    static const char* script = R"PY(
import os, subprocess, sys, zlib
root = sys.argv[1]
def crc(data): return "%08x" % zlib.crc32(data)
def walk(shown, folder):
    for name in sorted(os.listdir(folder)):
        full = os.path.join(folder, name)
        if os.path.isdir(full):
            members = " ".join("%s=%s" % (m, crc(open(os.path.join(full, m), "rb").read()))
                               for m in sorted(os.listdir(full)))
            print(shown, "folder", name, members)
        elif name.lower().endswith(".zip"):
            if os.path.getsize(full) == 22:
                print(shown, "zip", name); continue
            ok = subprocess.run(["unzip", "-tqq", full], capture_output=True).returncode == 0
            entries = sorted(subprocess.run(["unzip", "-Z1", full], capture_output=True, text=True).stdout.split())
            listed = " ".join("%s=%s" % (e, crc(subprocess.run(["unzip", "-p", full, e],
                              capture_output=True).stdout)) for e in entries)
            print(shown, "zip", name, (listed + " " if listed else "") + ("" if ok else "BAD"))
        else:
            print(shown, "plain", "%s=%s" % (name, crc(open(full, "rb").read())))
for top in sorted(os.listdir(root)):
    if top in ("contents", "cache", "rescan", "work", "xdg"): continue
    walk(top, os.path.join(root, top))
trash = os.path.join(root, "xdg", "Trash", "files")
if os.path.isdir(trash): walk("trash", trash)
)PY";
    std::map<std::string, std::string> labels;
    for (const auto& [label, crc] : crcs) labels[crc] = "{" + label + "}";
    const std::string out = RunCommand("python3 -c " + ShellQuote(script) + " " + ShellQuote(root));
    std::vector<std::string> lines;
    std::istringstream in(out);
    std::string line;
    static const std::regex hex(R"(=([0-9a-f]{8}))");
    while (std::getline(in, line)) {
        std::string filled;
        size_t last = 0;
        for (auto it = std::sregex_iterator(line.begin(), line.end(), hex); it != std::sregex_iterator(); ++it) {
            filled += line.substr(last, static_cast<size_t>(it->position()) - last) + "=";
            const auto found = labels.find((*it)[1]);
            filled += found != labels.end() ? found->second : (*it)[1].str();
            last = static_cast<size_t>(it->position() + it->length());
        }
        filled += line.substr(last);
        while (!filled.empty() && filled.back() == ' ') filled.pop_back();
        lines.push_back(filled);
    }
    return lines;
}

// The database in the same form as DiskTree gives the rom paths (real rom files only),
// so that the two can be compared.
std::vector<std::string> DatabaseTree(const TFilesBd& files, const std::vector<std::string>& pathNames,
                                      const std::map<std::string, std::string>& crcs) {
    std::map<std::string, std::string> labels;
    for (const auto& [label, crc] : crcs) labels[crc] = "{" + label + "}";
    std::vector<std::string> lines;
    for (int p = 0; p < files.GetPathCount(); ++p) {
        std::vector<std::pair<std::string, std::string>> own;  // name, line
        for (const auto& file : files.GetPath(p)->Files()) {
            std::vector<std::pair<std::string, std::string>> sorted;  // by name, as the disk lists them
            for (const auto& entry : file->RomFiles)
                if (!entry.romFile->IsPlaceholder())
                    sorted.emplace_back(entry.romFile->StoredName(),
                                        labels.count(entry.romFile->Crc()) ? labels.at(entry.romFile->Crc())
                                                                         : entry.romFile->Crc());
            std::sort(sorted.begin(), sorted.end());
            std::vector<std::string> members;
            for (const auto& [name, label] : sorted) members.push_back(name + "=" + label);
            std::string line = pathNames[static_cast<size_t>(p)] + " " +
                               (file->IsPlain() ? "plain" : file->IsZip() ? "zip" : "folder");
            if (file->IsPlain()) {
                line += " " + (members.empty() ? file->Name + "=?" : members[0]);
            } else {
                line += " " + file->Name;
                for (const auto& m : members) line += " " + m;
            }
            own.emplace_back(file->Name, line);
        }
        std::sort(own.begin(), own.end());
        for (const auto& entry : own) lines.push_back(entry.second);
    }
    return lines;
}

std::vector<std::string> OnlyPaths(const std::vector<std::string>& tree, const std::vector<std::string>& paths) {
    std::vector<std::string> kept;
    for (const std::string& path : paths)
        for (const std::string& line : tree)
            if (Words(line)[0] == path) kept.push_back(line);
    return kept;
}

// The trash of the test: XDG_DATA_HOME set for its lifetime.
struct TScopedXdg : TScopedEnv {
    explicit TScopedXdg(const std::string& value) : TScopedEnv("XDG_DATA_HOME", value) {}
};

// One run of a case on a fresh tree.
struct TRun {
    std::string result;
    std::vector<std::string> disk, before, database, statuses, log, shown;
    std::vector<std::string> events;
    std::vector<std::string> rescanDatabase, rescanStatuses;
    int changingCalls = 0;
};

TRun RunCase(const TRepairCase& c, int failAt) {
    TRun run;
    TTempDir dir;
    const std::string root = dir.Path();
    const auto crcs = PythonCrcs(root + "contents/", Labels(c), Content);
    MakeTree(root, c);
    run.before = DiskTree(root, crcs);
    std::string damagedBytes;
    if (c.options.count("damage")) damagedBytes = ReadFile(root + Words(c.options.at("damage"))[0]);

    TScopedXdg xdg(root + "xdg");
    TStaticVolumeProvider volumes;
    volumes.volumes.push_back(TestVolume());
    TScopedVolumeProvider volumeScope(volumes);
    TScriptedUiHooks hooks;
    TScopedUiHooks hooksScope(hooks);
    TFaultyFileSystem faulty(Fs());
    TScopedFileSystem fsScope(faulty);
    if (c.options.count("freespace")) faulty.forcedFreeSpace = std::stoll(c.options.at("freespace"));
    if (c.options.count("readonly")) faulty.readOnlyPaths.push_back(root + c.options.at("readonly"));

    TRomsBd roms;
    BuildRoms(roms, Fill(c.datafile, crcs));
    TArchiveManager manager;
    manager.SetTempDir(GetTempDirectory());
    TSignatureCalculator calc;
    calc.SetArchiveManager(&manager);
    calc.SetCrcPlugIn(&DefaultPlugIn());
    MakeDirs(root + "work");
    calc.SetTempDir(root + "work/");
    TFilesBd files;
    files.SetSignatureCalculator(&calc);
    files.SetRomsBd(&roms);
    files.SetSubmitRoms(true);
    files.SetArchiveManager(&manager);
    files.SetCachePath(root + "cache/");
    if (c.options.count("backup")) files.MergeBackupDir = root + c.options.at("backup") + "/";
    for (const std::string& path : c.paths) files.AddPath(root + path, "", "");
    for (const std::string& line : c.files) {
        const auto w = Words(line);
        if (w[0] == "unlisted") continue;
        const auto at = std::find(c.paths.begin(), c.paths.end(), w[0]);
        if (at == c.paths.end()) continue;  // not a rom path: only on disk
        TPath* path = files.GetPath(static_cast<int>(at - c.paths.begin()));
        const uint8_t kind = w[1] == "zip" ? fkZip : w[1] == "folder" ? fkFolder : fkPlain;
        TFile* file = path->NewFile(kind == fkPlain ? ParseEntry(w[2]).first : w[2], kind, false);
        for (size_t i = kind == fkPlain ? 2 : 3; i < w.size(); ++i) {
            if (w[i][0] == '-') continue;
            const auto [name, label] = ParseEntry(w[i]);
            file->AddRomFile(name, crcs.at(label), 0, 16, "");
        }
        file->UpdateDate();
    }
    files.MatchAll();
    for (int p = 0; p < files.GetPathCount(); ++p) files.GetPath(p)->ReadDiskInfo();

    files.OnLog = [&](const std::string& text) {
        std::string line = text;
        for (size_t at; (at = line.find(root)) != std::string::npos;) line.replace(at, root.size(), "<root>/");
        run.log.push_back(line);
    };
    files.OnRenameFile = [&](TFile* f) { run.events.push_back("renamed " + f->Name); };
    files.OnRemoveFile = [&](TFile* f) { run.events.push_back("removed " + f->Name); };
    if (c.options.count("abort")) files.Paths().Abort = true;

    // "<op> <path>/<file> [arguments]"; folders given relative to the case root.
    const auto w = Words(c.operation);
    const std::string where = w[1].substr(0, w[1].find('/'));
    TPath* path = files.GetPath(static_cast<int>(std::find(c.paths.begin(), c.paths.end(), where) - c.paths.begin()));
    TFile* file = path->Files().Find(w[1].substr(w[1].find('/') + 1));
    EXPECT_NE(file, nullptr) << c.operation;
    if (file == nullptr) return run;
    faulty.failAt = failAt;
    faulty.changingCalls = 0;
    try {
        // "noscope": the caller holds no command; the operation must still not free
        // the object it runs on while it runs (the sanitizer build would see it).
        std::optional<TFilesBd::TCommandScope> command;
        if (!c.options.count("noscope")) command.emplace(files);
        if (w[0] == "rename") {
            run.result = file->Rename(w[2]) ? "true" : "false";
        } else if (w[0] == "renameormerge") {
            run.result = std::to_string(file->RenameOrMerge());
        } else if (w[0] == "merge") {
            run.result = file->MergeWith(path->Files().Find(w[2])) ? "true" : "false";
        } else if (w[0] == "copy" || w[0] == "copyover") {
            std::string newName;
            file->CopyTo(root + w[2], w[0] == "copyover", newName);
            run.result = newName.substr(root.size());
        } else if (w[0] == "move" || w[0] == "moveover") {
            run.result = file->MoveTo(root + w[2], w[0] == "moveover") ? "true" : "false";
        } else if (w[0] == "remove") {
            run.result = file->Remove(root + w[2]) ? "true" : "false";
        } else if (w[0] == "deleterom") {
            TRomFile* romFile = nullptr;
            for (const auto& entry : file->RomFiles)
                if (entry.romFile->StoredName() == w[2]) romFile = entry.romFile.get();
            run.result = file->DeleteRomFile(romFile) ? "true" : "false";
        } else if (w[0] == "deletefile") {
            run.result = path->DeleteFileFromDisk(file) ? "true" : "false";
        } else if (w[0] == "rezip") {
            file->Rezip();
            run.result = "done";
        } else {
            ADD_FAILURE() << "unknown operation " << w[0];
        }
    } catch (const Exception& e) {
        std::string message = e.Message();
        for (size_t at; (at = message.find(root)) != std::string::npos;) message.replace(at, root.size(), "<root>/");
        run.result = "error " + message;
    }
    run.changingCalls = faulty.changingCalls;
    if (c.options.count("damage")) {
        const std::string damaged = root + Words(c.options.at("damage"))[0];
        if (FileExists(damaged)) { EXPECT_EQ(ReadFile(damaged), damagedBytes) << "the damaged file was changed"; }
    }
    faulty.failAt = 0;
    for (const auto& shown : hooks.shown) run.shown.push_back(shown.text);
    run.disk = DiskTree(root, crcs);
    run.database = DatabaseTree(files, c.paths, crcs);
    run.statuses = RenderStatuses(files, c.paths);
    files.ClearPaths();

    // The database a fresh scan of the disk gives, to compare with the repaired one.
    // Only after a good run: a failed run is compared with the disk as unzip and Python
    // read it, which keeps the sanitizer build's exit leak check away from what reading
    // plain files again leaves in thread-local storage of the system libraries.
    // The scan runs on a thread of its own that ends before the process does: the leak
    // checker cannot read the thread-local data the plug-in leaves in a thread that
    // lives to the end.
    if (failAt != 0) return run;
    std::thread([&] {
        TFilesBd rescan;
        rescan.SetRomsBd(&roms);
        rescan.SetSubmitRoms(true);
        rescan.SetArchiveManager(&manager);
        rescan.SetSignatureCalculator(&calc);
        rescan.SetCachePath(root + "rescan/");
        for (const std::string& path : c.paths) rescan.AddPath(root + path, "", "")->Scan(true);
        rescan.MatchAll();
        run.rescanDatabase = DatabaseTree(rescan, c.paths, crcs);
        run.rescanStatuses = RenderStatuses(rescan, c.paths);
        rescan.ClearPaths();
    }).join();
    return run;
}

// Every content of the tree before, counted; the tree after must hold each at least as
// often (a copy may add, nothing may vanish).
std::map<std::string, int> ContentCounts(const std::vector<std::string>& tree) {
    std::map<std::string, int> counts;
    static const std::regex token(R"(=(\{[A-Za-z0-9]+\}))");
    for (const std::string& line : tree)
        for (auto it = std::sregex_iterator(line.begin(), line.end(), token); it != std::sregex_iterator(); ++it)
            ++counts[(*it)[1]];
    return counts;
}

class RepairCases : public ::testing::TestWithParam<std::string> {};

TEST_P(RepairCases, Run) {
    const TRepairCase c = ReadRepairCase(GetParam());
    ASSERT_FALSE(c.operation.empty());
    const TRun good = RunCase(c, 0);
    if (c.expected.count("result")) {
        ASSERT_EQ(c.expected.at("result").size(), 1u);
        EXPECT_EQ(good.result, c.expected.at("result")[0]);
    }
    if (c.expected.count("disk")) { EXPECT_EQ(good.disk, c.expected.at("disk")); }
    if (c.expected.count("db")) {
        std::vector<std::string> expected = c.expected.at("db");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(good.statuses, expected);
    }
    if (c.expected.count("log")) { EXPECT_EQ(good.log, c.expected.at("log")); }
    if (c.expected.count("shown")) { EXPECT_EQ(good.shown, c.expected.at("shown")); }
    if (c.expected.count("events")) { EXPECT_EQ(good.events, c.expected.at("events")); }
    // What the database holds of the rom paths is what is on disk.
    if (!c.options.count("unlisted")) {
        EXPECT_EQ(good.database, OnlyPaths(good.disk, c.paths)) << "database and disk differ";
        EXPECT_EQ(good.database, good.rescanDatabase) << "database and a rescan differ";
        if (!c.options.count("placeholders")) {
            EXPECT_EQ(good.statuses, good.rescanStatuses) << "statuses and a rescan's differ";
        }
    }

    if (!c.options.count("faults")) return;
    EXPECT_GT(good.changingCalls, 0);
    for (int n = 1; n <= good.changingCalls; ++n) {
        SCOPED_TRACE("failing changing call " + std::to_string(n));
        const TRun failed = RunCase(c, n);
        // A step that fails and is worked round (a rename refused, then a copy) may
        // still finish the operation; then it must have done all of it.
        if (failed.result.rfind("error ", 0) != 0) {
            EXPECT_EQ(failed.disk, good.disk) << failed.result;
        }
        // Nothing is lost that the good run keeps.
        ExpectNothingLost(ContentCounts(failed.before), ContentCounts(good.disk), ContentCounts(failed.disk));
        for (const std::string& line : failed.disk) {
            EXPECT_EQ(line.find("BAD"), std::string::npos) << line;
            EXPECT_EQ(Words(line)[2][0] == '.', false) << "stray file: " << line;
        }
        if (!c.options.count("unlisted")) {
            EXPECT_EQ(failed.database, OnlyPaths(failed.disk, c.paths)) << "database and disk differ";
        }
        if (c.options.at("faults") == "intact") { EXPECT_EQ(failed.disk, failed.before); }
    }
}

std::string CaseName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = std::filesystem::path(info.param).stem().string();
    std::replace_if(name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); },
                    '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Repair, RepairCases, ::testing::ValuesIn(CaseFiles("repair")), CaseName);

}  // namespace
}  // namespace qm::test
