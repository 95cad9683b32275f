// The shell copy, move and delete, and the safe move, run once for each changing
// file-system call with that call failing, until one runs without reaching the fault:
// a failure raises, every file's bytes are still there (at its old place or complete at
// its new one), no hidden work copy is left, and a run that does not raise did all of
// what a run without faults does.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "archive/FilesTools.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

// The trash of the test: XDG_DATA_HOME set for its lifetime.
struct TScopedDataHome : test::TScopedEnv {
    explicit TScopedDataHome(const std::string& value) : TScopedEnv("XDG_DATA_HOME", value) {}
};

// Every file below root (the trash's records of when a file came left out): relative
// name -> bytes.
std::map<std::string, std::string> Files(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        if (!e.is_regular_file()) continue;
        const std::string rel = std::filesystem::relative(e.path(), root).string();
        if (rel.rfind("xdg/Trash/info/", 0) == 0) continue;
        files[rel] = ReadFile(e.path().string());
    }
    return files;
}

std::multiset<std::string> Contents(const std::map<std::string, std::string>& files) {
    std::multiset<std::string> contents;
    for (const auto& [name, bytes] : files) contents.insert(bytes);
    return contents;
}

std::vector<std::string> Hidden(const std::string& root) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        const std::string name = e.path().filename().string();
        if (!name.empty() && name[0] == '.') names.push_back(e.path().string());
    }
    return names;
}

struct TShellCase {
    const char* name;
    bool acrossVolumes;  // the first rename meets another volume
    std::function<void(const std::string& root)> run;
};

struct TShellRun {
    bool raised = false;
    int changingCalls = 0;
    std::map<std::string, std::string> before, after;
};

TShellRun RunShellCase(const TShellCase& c, int failAt, int failErrno = EIO) {
    TTempDir dir;
    const std::string root = dir.Path();
    WriteFile(root + "src/set/a.bin", "alpha");
    WriteFile(root + "src/set/sub/b.bin", "bravo");
    WriteFile(root + "src/set/c.bin", "charlie");
    WriteFile(root + "src/game.zip", "zip bytes");
    WriteFile(root + "dst/keep.bin", "kept");
    WriteFile(root + "dst/set/old.bin", "old");
    std::filesystem::create_directories(root + "xdg");
    TScopedDataHome dataHome(root + "xdg");

    TShellRun run;
    run.before = Files(root);
    TFaultyFileSystem volumes(Fs());
    if (c.acrossVolumes) {
        volumes.failAt = 1;
        volumes.failErrno = EXDEV;
    }
    TFaultyFileSystem faulty(static_cast<IFileSystem&>(volumes));
    faulty.failAt = failAt;
    faulty.failErrno = failErrno;
    {
        TScopedFileSystem scope(faulty);
        try {
            c.run(root);
        } catch (const Exception&) {
            run.raised = true;
        }
    }
    run.changingCalls = faulty.changingCalls;
    run.after = Files(root);
    EXPECT_EQ(Hidden(root), std::vector<std::string>{}) << "a work copy is left";
    return run;
}

// The good run, then one run for each changing call failing with failErrno, until a
// run no longer reaches the fault.
void ExpectShellCaseSafe(const TShellCase& c, int failErrno) {
    const TShellRun good = RunShellCase(c, 0);
    ASSERT_FALSE(good.raised);
    ASSERT_GT(good.changingCalls, 0);
    // A copy adds, a move or a trashing keeps, nothing takes away.
    const auto goodContents = Contents(good.after);
    for (const std::string& bytes : Contents(good.before))
        EXPECT_GE(goodContents.count(bytes), Contents(good.before).count(bytes)) << bytes;
    for (int n = 1;; ++n) {
        SCOPED_TRACE("failing changing call " + std::to_string(n));
        const TShellRun failed = RunShellCase(c, n, failErrno);
        if (failed.changingCalls < n) {
            EXPECT_FALSE(failed.raised);
            break;
        }
        if (!failed.raised) {
            EXPECT_EQ(failed.after.size(), good.after.size()) << "a failure passed for a success";
        }
        const auto now = Contents(failed.after);
        for (const std::string& bytes : Contents(failed.before))
            EXPECT_GE(now.count(bytes), Contents(failed.before).count(bytes)) << bytes << " lost";
        // What is at a file's old name is still its own bytes, whole.
        for (const auto& [name, bytes] : failed.after) {
            const auto was = failed.before.find(name);
            if (was != failed.before.end()) { EXPECT_EQ(bytes, was->second) << name; }
        }
    }
}

TEST(FilesToolsFaults, ShellCopyMoveAndDeleteLoseNothingWhereverTheyFail) {
    const std::vector<TShellCase> cases = {
        {"copy a file into a folder", false, [](const std::string& r) { ShellCopyFile(r + "src/game.zip", r + "dst"); }},
        {"copy a folder to a new name", false,
         [](const std::string& r) { ShellCopyFile(r + "src/set", r + "dst/copy"); }},
        {"copy a folder into the folder of its name", false,
         [](const std::string& r) { ShellCopyFile(r + "src/set", r + "dst"); }},
        {"move a file", false, [](const std::string& r) { ShellMoveFile(r + "src/game.zip", r + "dst", false); }},
        {"move a file across volumes", true,
         [](const std::string& r) { ShellMoveFile(r + "src/game.zip", r + "dst", false); }},
        {"move a folder across volumes", true,
         [](const std::string& r) { ShellMoveFile(r + "src/set", r + "dst/moved", false); }},
        {"move a folder beside one of its name", false,
         [](const std::string& r) { ShellMoveFile(r + "src/set", r + "dst", true); }},
        {"trash a file", false, [](const std::string& r) { ShellDeleteFile(r + "src/game.zip"); }},
        {"trash a folder", false, [](const std::string& r) { ShellDeleteFile(r + "src/set"); }},
        {"safe move of a file across volumes", true,
         [](const std::string& r) { MoveFileSafe(r + "src/game.zip", r + "dst/game.zip"); }},
        {"safe move of a folder across volumes", true,
         [](const std::string& r) { MoveFileSafe(r + "src/set", r + "dst/other"); }},
    };
    // A plain failure, a name taken meanwhile, and another volume met where none was.
    for (const int failErrno : {EIO, EEXIST, EXDEV}) {
        for (const TShellCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", failing with " + SysErrorMessage(failErrno));
            ExpectShellCaseSafe(c, failErrno);
        }
    }
}

}  // namespace
}  // namespace qm
