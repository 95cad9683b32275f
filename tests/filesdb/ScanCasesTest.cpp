// Runs every tests/cases/scan/*.case: a datafile, a rom folder laid out on disk (zips by
// Info-ZIP zip, contents whose CRCs come from Python's zlib), then steps in order:
//   [change]   commands that change the folder (see Apply)
//   [scan]     the path loaded again in the same files database
//   [restart]  a new files database that reads the cache file first, then scans
//   [rebuild]  the path loaded with rebuild on
// ("replace" puts new content in place under the old size and date, as rsync -t and
// cp -p do; "oldcache" strips the cache file's records to the shape older versions
// wrote.)
// Each loading step expects "reads N" (files handed to the signature calculator) and
// the statuses after matching, one line per file and rom file:
//   <file> = <clone, - for none>      <file> error      <file>[/<rom>] <status> [dup]
// Right after each load the change test must find nothing.
// The tree is dated at one old moment; what a change writes or touches is dated later,
// each change at a moment of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "ScanTestSupport.h"
#include "archive/stringsTools.h"
#include "filesdb/CacheFileUnit.h"
#include "platform/Text.h"
#include "CaseFileSupport.h"

namespace qm::test {
namespace {

using namespace cases;

struct TStep {
    std::string kind;
    std::vector<std::string> lines;
};

struct TCase {
    std::string name;
    std::string datafile;
    std::vector<TStep> steps;  // the tree first
};

TCase ReadCase(const std::string& fileName) {
    TCase c;
    c.name = std::filesystem::path(fileName).stem().string();
    ReadSections(
        fileName, [&](const std::string& section) {
            if (section != "datafile") c.steps.push_back({section, {}});
        },
        [&](const std::string& section, const std::string& line) {
            if (section == "datafile")
                c.datafile += line + "\n";
            else if (!c.steps.empty())
                c.steps.back().lines.push_back(line);
        });
    return c;
}

// The 16 bytes of content L ("L2" gives 32 bytes, for a change of size).
std::string Content(const std::string& label) {
    std::string bytes = "content-" + label + "-";
    bytes.resize(label.size() > 1 && label.back() == '2' ? 32 : 16, label[0]);
    return bytes;
}

std::set<std::string> Labels(const TCase& c) {
    std::string all = c.datafile;
    for (const TStep& s : c.steps)
        for (const std::string& l : s.lines) all += l + "\n";
    return LabelsIn(all);
}

// "name={L}" -> name, L.
std::pair<std::string, std::string> Entry(const std::string& word) {
    const size_t eq = word.find('=');
    if (eq == std::string::npos) return {word, ""};
    return {word.substr(0, eq), word.substr(eq + 2, word.size() - eq - 3)};
}

class TCaseRunner {
public:
    TCaseRunner(const TCase& c, TScanFixture& fx) : case_(c), fx_(fx) {}

    // Carries out one command in the rom folder; returns the names it wrote.
    std::vector<std::string> Apply(const std::string& line) {
        const auto w = Words(line);
        const std::string& op = w.at(0);
        const std::string root = fx_.romsDir;
        std::vector<std::string> written;
        if (op == "zip") {
            MakeZip(line, root + w.at(1), false);
            written.push_back(w.at(1));
        } else if (op == "folder") {
            std::filesystem::create_directories(root + w.at(1));
            written.push_back(w.at(1));
            for (size_t i = 2; i < w.size(); ++i) {
                const auto [name, label] = Entry(w[i]);
                WriteFile(root + w.at(1) + "/" + name, Content(label));
                written.push_back(w.at(1) + "/" + name);
            }
        } else if (op == "plain") {
            const auto [name, label] = Entry(w.at(1));
            WriteFile(root + name, Content(label));
            written.push_back(name);
        } else if (op == "empty") {
            WriteFile(root + w.at(1), "");
            written.push_back(w.at(1));
        } else if (op == "garbage") {
            WriteFile(root + w.at(1), "this is not a zip archive at all");
            written.push_back(w.at(1));
        } else if (op == "fifo") {
            EXPECT_EQ(::mkfifo((root + w.at(1)).c_str(), 0644), 0) << line;
        } else if (op == "outside") {
            const auto [name, label] = Entry(w.at(1));
            WriteFile(fx_.tmp.Path() + "vol/" + name, Content(label));
        } else if (op == "link") {
            std::filesystem::create_symlink(w.at(2), root + w.at(1));
        } else if (op == "touch") {
            SetTime(root + w.at(1), NextTime());
        } else if (op == "rewrite") {
            // New content in the same file, the old date: only its change time tells.
            const auto [name, label] = Entry(w.at(1));
            struct stat st {};
            ::stat((root + name).c_str(), &st);
            WriteFile(root + name, Content(label));
            SetTime(root + name, st.st_mtime);
            ChangeAgain(root + name, st);
        } else if (op == "stored") {
            MakeZip(line, root + w.at(1), true);
            written.push_back(w.at(1));
        } else if (op == "replace") {
            // Another file renamed over the old one, with its size and date.
            struct stat st {};
            EXPECT_EQ(::stat((root + Entry(w.at(1)).first).c_str(), &st), 0) << line;
            const std::string work = root + ".replacing";
            if (SameText(FileExtension(w.at(1)), ".zip")) {
                MakeZip(line, work, true);
            } else {
                WriteFile(work, Content(Entry(w.at(1)).second));
            }
            SetTime(work, st.st_mtime);
            const std::string name = Entry(w.at(1)).first;
            EXPECT_EQ(std::filesystem::file_size(work), static_cast<uintmax_t>(st.st_size)) << line;
            std::filesystem::rename(work, root + name);
        } else if (op == "oldcache") {
            StripCacheFields();
        } else if (op == "rename") {
            std::filesystem::rename(root + w.at(1), root + w.at(2));
        } else if (op == "remove") {
            std::filesystem::remove_all(root + w.at(1));
        } else {
            ADD_FAILURE() << "unknown command: " << line;
        }
        return written;
    }

    void Run() {
        for (const TStep& step : case_.steps) {
            SCOPED_TRACE("[" + step.kind + "] #" + std::to_string(++stepNumber_));
            if (step.kind == "tree" || step.kind == "change") {
                const int64_t moment = step.kind == "tree" ? kOldTime : NextTime();
                for (const std::string& line : step.lines)
                    for (const std::string& name : Apply(line)) SetTime(fx_.romsDir + name, moment);
                continue;
            }
            if (step.kind == "restart") fx_.Restart();
            ASSERT_TRUE(step.kind == "scan" || step.kind == "restart" || step.kind == "rebuild") << step.kind;
            const int64_t reads = fx_.Load(step.kind == "rebuild");
            std::vector<std::string> expected;
            int64_t expectedReads = -1;
            for (const std::string& line : step.lines) {
                if (line.rfind("reads ", 0) == 0)
                    expectedReads = std::stoll(line.substr(6));
                else
                    expected.push_back(line);
            }
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(reads, expectedReads) << "files read";
            EXPECT_EQ(Render(), expected);
            // What was just scanned is what the cache now holds.
            EXPECT_FALSE(fx_.path->HasChanged()) << "change test right after the scan";
        }
    }

private:
    int64_t NextTime() { return kNewTime + 2 * ++moments_; }

    // "zip|stored|replace NAME entry={L} ...": the entries in order, deflated or stored
    // (a stored zip's size is that of its names and contents only).
    void MakeZip(const std::string& line, const std::string& zipName, bool stored) {
        const auto w = Words(line);
        const std::string staging = fx_.tmp.Path() + "staging/" + w.at(1) + "/";
        std::filesystem::remove_all(staging);
        std::string names;
        for (size_t i = 2; i < w.size(); ++i) {
            const auto [name, label] = Entry(w[i]);
            WriteFile(staging + name, Content(label));
            names += " " + ShellQuote(name);
        }
        std::filesystem::remove(zipName);
        int status = -1;
        RunCommand("cd " + ShellQuote(staging) + " && zip -q -X " + (stored ? "-0 " : "") + ShellQuote(zipName) + names,
                   &status);
        EXPECT_EQ(status, 0) << line;
    }

    // A file system whose clock ticks coarsely may give a rewrite within the same tick
    // the change time it had: a second change of the file's status moves it on.
    static void ChangeAgain(const std::string& name, const struct stat& before) {
        for (int i = 0; i < 100; ++i) {
            struct stat now {};
            ::stat(name.c_str(), &now);
            if (now.st_ctim.tv_sec != before.st_ctim.tv_sec || now.st_ctim.tv_nsec != before.st_ctim.tv_nsec) return;
            ::usleep(10000);
            ::chmod(name.c_str(), now.st_mode & 07777);
        }
    }

    // The records of the path's cache file without the change time and inode that
    // plain files and zips now carry.
    void StripCacheFields() {
        const std::string name = fx_.path->CacheFile().GetCacheFileName();
        std::ifstream in(name, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::istringstream lines(text);
        std::string line, out;
        int stripped = 0;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const size_t fields = std::count(line.begin(), line.end(), '\xA4');
            const bool record = line.size() > 2 && line[0] == '\xA4';
            if (record && ((line[1] == 'F' && fields == 10) || (line[1] == 'A' && fields == 12))) {
                for (int cut = 0; cut < 2; ++cut) line.erase(line.rfind('\xA4'));
                ++stripped;
            }
            out += line + "\r\n";
        }
        EXPECT_GT(stripped, 0) << "no record carried the new fields";
        std::ofstream(name, std::ios::binary | std::ios::trunc) << out;
    }

    std::vector<std::string> Render() const {
        std::vector<std::string> lines;
        for (const auto& file : fx_.path->Files()) {
            lines.push_back(file->Name + " = " + (file->Clone ? file->Clone->Name.str() : "-"));
            if (file->HasError()) lines.push_back(file->Name + " error");
            for (const auto& entry : file->RomFiles) {
                const TRomFile& r = *entry.romFile;
                std::string line = file->Name;
                if (!file->IsPlain()) line += "/" + r.StoredName();
                line += " " + std::to_string(r.Status);
                if (r.Duplicated) line += " dup";
                lines.push_back(line);
            }
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    const TCase& case_;
    TScanFixture& fx_;
    int moments_ = 0;
    int stepNumber_ = 0;
};

TEST(ScanCases, EveryCase) {
    const auto caseFiles = CaseFiles("scan");
    ASSERT_FALSE(caseFiles.empty());
    for (const std::string& caseFile : caseFiles) {
        const TCase c = ReadCase(caseFile);
        SCOPED_TRACE(c.name);
        TTempDir contents;
        const auto crcs = PythonCrcs(contents.Path(), Labels(c), Content);
        TScanFixture fx(Fill(c.datafile, crcs));
        TCaseRunner(c, fx).Run();
    }
}

}  // namespace
}  // namespace qm::test
