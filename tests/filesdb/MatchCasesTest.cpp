// Runs every tests/cases/match/*.case: a datafile, a collection of zips (made by Info-ZIP
// zip), folders and plain files whose contents' CRCs come from Python's zlib, and the
// statuses expected in each set mode, written by hand. Each mode is matched twice: the
// second match must change nothing and keep every placeholder object.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"
#include "filesBdTestSupport.h"
#include "CaseFileSupport.h"

namespace qm::test {
namespace {

using namespace cases;

struct TCase {
    std::string name;
    std::string datafile;
    std::vector<std::string> files;
    std::map<std::string, std::vector<std::string>> expected;  // mode -> lines
    TCaseOptions romCase = coDontCare;
    TCaseOptions fileCase = coDontCare;
};

TCaseOptions ParseCase(const std::string& word) {
    static const std::map<std::string, TCaseOptions> names = {
        {"coDatabase", coDatabase},     {"coUppercase", coUppercase}, {"coLowercase", coLowercase},
        {"coCapitalize", coCapitalize}, {"coDontCare", coDontCare},
    };
    return names.at(word);
}

TCase ReadCase(const std::string& fileName) {
    TCase c;
    c.name = std::filesystem::path(fileName).stem().string();
    ReadSections(fileName, nullptr, [&](const std::string& section, const std::string& line) {
        if (section == "datafile") {
            c.datafile += line + "\n";
        } else if (section == "files") {
            c.files.push_back(line);
        } else if (section == "options") {
            std::istringstream words(line);
            std::string key, value;
            words >> key >> value;
            if (key == "romcase") c.romCase = ParseCase(value);
            if (key == "filecase") c.fileCase = ParseCase(value);
        } else if (section.rfind("expect ", 0) == 0) {
            c.expected[section.substr(7)].push_back(line);
        }
    });
    return c;
}

const auto Content = Content16;

std::set<std::string> Labels(const TCase& c) {
    std::string all = c.datafile;
    for (const std::string& f : c.files) all += f + "\n";
    return LabelsIn(all);
}

struct TEntrySpec {
    std::string name;
    std::string label;  // "" for the CRC 00000000
    bool error = false;
};

// "name={L}", "name=!{L}", "name=!0".
TEntrySpec ParseEntry(const std::string& word) {
    TEntrySpec e;
    const size_t eq = word.find('=');
    e.name = word.substr(0, eq);
    std::string value = word.substr(eq + 1);
    if (!value.empty() && value[0] == '!') {
        e.error = true;
        value = value.substr(1);
    }
    if (value != "0") e.label = value.substr(1, value.size() - 2);
    return e;
}

// Lays the collection out on disk: zips through Info-ZIP zip, in entry order.
void MakeTree(const std::string& root, const TCase& c) {
    for (const std::string& line : c.files) {
        const auto w = Words(line);
        const std::string folder = root + w[0] + "/";
        std::filesystem::create_directories(folder);
        if (w[1] == "plain") {
            const TEntrySpec e = ParseEntry(w[2]);
            WriteFile(folder + e.name, Content(e.label.empty() ? "0" : e.label));
            continue;
        }
        const std::string target = w[1] == "zip" ? root + "staging/" + w[2] + "/" : folder + w[2] + "/";
        std::string names;
        for (size_t i = 3; i < w.size(); ++i) {
            const TEntrySpec e = ParseEntry(w[i]);
            WriteFile(target + e.name, Content(e.label.empty() ? "0" : e.label));
            names += " " + ShellQuote(e.name);
        }
        if (w[1] == "zip") {
            int status = -1;
            RunCommand("cd " + ShellQuote(target) + " && zip -q -X " + ShellQuote(folder + w[2]) + names, &status);
            ASSERT_EQ(status, 0) << line;
        }
    }
}

TEST(MatchCases, EveryCaseInEveryMode) {
    const auto caseFiles = CaseFiles("match");
    ASSERT_FALSE(caseFiles.empty());
    for (const std::string& caseFile : caseFiles) {
        const TCase c = ReadCase(caseFile);
        SCOPED_TRACE(c.name);
        TTempDir dir;
        const auto crcs = PythonCrcs(dir / "contents/", Labels(c), Content);
        MakeTree(dir.Path(), c);
        for (const auto& [mode, expectedLines] : c.expected) {
            SCOPED_TRACE(mode);
            TStaticVolumeProvider volumes;
            volumes.volumes.push_back(TestVolume());
            TScopedVolumeProvider volumeScope(volumes);
            TRomsBd roms;
            BuildRoms(roms, Fill(c.datafile, crcs));
            ASSERT_TRUE(mode == "merged" || mode == "split" || mode == "unmerged") << mode;
            roms.Split = mode != "merged";
            roms.MergeRoms = mode == "split";
            TFilesBd files;
            files.SetRomsBd(&roms);
            files.SetSubmitRoms(true);
            files.RomFileCaseOptions = c.romCase;
            files.FileCaseOptions = c.fileCase;
            files.SetCachePath(dir / "cache/");
            std::vector<std::string> pathNames;
            for (const std::string& line : c.files) {
                const auto w = Words(line);
                if (std::find(pathNames.begin(), pathNames.end(), w[0]) == pathNames.end()) {
                    pathNames.push_back(w[0]);
                    files.AddPath(dir / w[0], "", "");
                }
                TPath* path = files.GetPath(static_cast<int>(
                    std::find(pathNames.begin(), pathNames.end(), w[0]) - pathNames.begin()));
                const uint8_t kind = w[1] == "zip" ? fkZip : w[1] == "folder" ? fkFolder : fkPlain;
                // A plain file is its own single entry.
                const std::string fileName = kind == fkPlain ? ParseEntry(w[2]).name : w[2];
                TFile* file = path->NewFile(fileName, kind, false);
                for (size_t i = kind == fkPlain ? 2 : 3; i < w.size(); ++i) {
                    const TEntrySpec e = ParseEntry(w[i]);
                    const std::string crc = e.label.empty() ? "00000000" : crcs.at(e.label);
                    TRomFile* rf = file->AddRomFile(e.name, crc, 0, 16, "");
                    if (e.error) rf->SetError("read error");
                }
            }
            std::vector<std::string> expected = expectedLines;
            std::sort(expected.begin(), expected.end());

            files.MatchAll();
            EXPECT_EQ(RenderStatuses(files, pathNames), expected) << "first match";
            std::vector<const TRomFile*> placeholders;
            for (int p = 0; p < files.GetPathCount(); ++p)
                for (const auto& file : files.GetPath(p)->Files())
                    for (const auto& entry : file->RomFiles)
                        if (entry.romFile->IsPlaceholder()) placeholders.push_back(entry.romFile.get());

            files.MatchAll();
            EXPECT_EQ(RenderStatuses(files, pathNames), expected) << "second match";
            std::vector<const TRomFile*> again;
            for (int p = 0; p < files.GetPathCount(); ++p)
                for (const auto& file : files.GetPath(p)->Files())
                    for (const auto& entry : file->RomFiles)
                        if (entry.romFile->IsPlaceholder()) again.push_back(entry.romFile.get());
            EXPECT_EQ(again, placeholders) << "placeholders are the same objects";
            files.ClearPaths();
        }
    }
}

}  // namespace
}  // namespace qm::test
