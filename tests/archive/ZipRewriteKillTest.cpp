// An archive rewrite (a rezip, an entry rename, a batch of rezips) killed outright
// (SIGKILL: no handler, no clean-up) at several moments: each archive must afterwards be
// the old one byte for byte or the complete new one, never a half-written file under
// its name. The rewrite runs in a child process so that the kill cannot take the test
// with it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace qm {
namespace {

using test::ReadFile;
using test::RunCommand;
using test::ShellQuote;
using test::TTempDir;
using test::WriteFile;

// Entries stored without compression, of text that compresses well: the rezip has
// real work to do for a moment, long enough to be hit while it writes.
void MakeStoredArchive(const std::string& folder, const std::string& zip) {
    std::mt19937 random(7);
    static const char* words[] = {"pacman ", "galaga ", "dkong ", "mspac ", "digdug ", "xevious ", "\n"};
    std::string names;
    for (int i = 0; i < 5; ++i) {
        std::string text;
        while (text.size() < 1000000) text += words[random() % 7];
        const std::string name = "rom" + std::to_string(i) + ".bin";
        WriteFile(folder + name, text);
        names += " " + name;
    }
    int status = -1;
    RunCommand("cd " + ShellQuote(folder) + " && zip -q -0 -X " + ShellQuote(zip) + names, &status);
    ASSERT_EQ(status, 0);
}

// Python's view of an archive: every entry's name and CRC of its bytes, or "BAD".
std::string Entries(const std::string& zip) {
    int status = -1;
    const std::string out = RunCommand(
        "python3 -c 'import sys,zipfile,zlib\nz=zipfile.ZipFile(sys.argv[1])\n"
        "print(\" \".join(\"%s=%08x\" % (i.filename, zlib.crc32(z.read(i))) for i in z.infolist()))' " +
            ShellQuote(zip) + " 2>/dev/null",
        &status);
    return status == 0 ? out : "BAD";
}

// Starts the helper program that rewrites the archives and ends; returns its pid. A
// program of its own, not a fork of this one: a fork would inherit the archiver
// without the worker thread it may already have started.
pid_t StartRewrite(const std::string& operation, const std::vector<std::string>& zips, const std::string& work) {
    std::vector<const char*> args = {QM_ZIP_REWRITE, operation.c_str(), zips[0].c_str(), work.c_str()};
    for (size_t i = 1; i < zips.size(); ++i) args.push_back(zips[i].c_str());
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(QM_ZIP_REWRITE, const_cast<char* const*>(args.data()));
        ::_exit(127);
    }
    return pid;
}

int WaitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

// The rewrite (a rezip, the rename engine giving every entry a new name, or three rezips
// made durable as one batch) is killed at moments spread over its run, thicker round
// its end where the new archives take the old ones' places, each a little off its mark.
class ZipRewriteKill : public ::testing::TestWithParam<const char*> {};

TEST_P(ZipRewriteKill, EachArchiveIsTheOldOneOrTheCompleteNewOne) {
    const std::string operation = GetParam();
    TTempDir dir;
    const std::string roms = dir / "roms/";
    const std::string work = dir / "work/";
    std::filesystem::create_directories(roms);
    std::filesystem::create_directories(work);
    std::vector<std::string> zips = {roms + "pacman.zip"};
    if (operation == "batch") zips = {roms + "dkong.zip", roms + "galaga.zip", roms + "pacman.zip"};
    MakeStoredArchive(dir / "src/", zips[0]);
    const std::string original = ReadFile(zips[0]);
    ASSERT_NE(Entries(zips[0]), "BAD");
    const auto restore = [&] {
        for (const std::string& zip : zips) WriteFile(zip, original);
    };

    // Runs left to finish tell how long one takes, and what the new archive is. The
    // fastest of two is the measure: a run slowed by a loaded machine would put every
    // kill after the end.
    std::chrono::steady_clock::duration took{};
    std::string rewritten;
    for (int run = 0; run < 2; ++run) {
        restore();
        const auto started = std::chrono::steady_clock::now();
        const int status = WaitFor(StartRewrite(operation, zips, work));
        const auto elapsed = std::chrono::steady_clock::now() - started;
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        if (run == 0 || elapsed < took) took = elapsed;
        rewritten = Entries(zips.back());
        ASSERT_NE(rewritten, "BAD");
        for (const std::string& zip : zips) ASSERT_NE(ReadFile(zip), original) << zip;
    }

    std::mt19937 random(11);
    const std::vector<int> percents = {15, 30, 45, 60, 75, 90, 97, 103};
    int hitOld = 0;
    // A measure taken while the machine was busier than during the kills puts every
    // kill after the end: the sweep is made again on half the measure until one lands.
    for (int sweep = 0; sweep < 4 && hitOld == 0; ++sweep, took /= 2) {
        for (const int percent : percents) {
            SCOPED_TRACE("sweep " + std::to_string(sweep) + ", kill at " + std::to_string(percent) + "%");
            restore();
            const auto at = took * percent / 100 + std::chrono::milliseconds(random() % 20);
            const pid_t pid = StartRewrite(operation, zips, work);
            std::this_thread::sleep_for(at);
            ::kill(pid, SIGKILL);
            WaitFor(pid);

            for (const std::string& zip : zips) {
                if (ReadFile(zip) == original) {
                    ++hitOld;
                    continue;
                }
                EXPECT_EQ(Entries(zip), rewritten) << zip << ": a half-written archive took the old one's place";
                int tested = -1;
                RunCommand("unzip -tqq " + ShellQuote(zip), &tested);
                EXPECT_EQ(tested, 0) << zip;
            }
            // A work file the kill left is hidden beside the archive or in the work folder,
            // never under a name a scan would take for a set.
            for (const auto& e : std::filesystem::directory_iterator(roms)) {
                const std::string name = e.path().filename().string();
                EXPECT_TRUE(std::find(zips.begin(), zips.end(), roms + name) != zips.end() || name[0] == '.') << name;
                if (name[0] == '.') std::filesystem::remove(e.path());
            }
        }
    }
    // The kills are spread over the run: some at least landed while it worked.
    EXPECT_GT(hitOld, 0);
}

INSTANTIATE_TEST_SUITE_P(Each, ZipRewriteKill, ::testing::Values("rezip", "rename", "batch"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
}  // namespace qm
