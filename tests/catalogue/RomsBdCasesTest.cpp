// Runs every case file of tests/cases/romsbd: a catalogue, files found, then what the
// rom database must answer in one or more set modes. A new case is a new file.
//
// Lines of a case file (blank lines and lines starting with "#" are skipped):
//   [RESOURCES], [GAMES] and rom lines "parent|game|rom|crc|size|romof|merge"
//       the catalogue, built when the first other line is met;
//   attach SET|ROM|CRC|SIZE
//       a file found for that set, matched and attached (FindRomForFile);
//   mode split=B mergeroms=B mergeresources=B showmerged=B showresources=B
//       sets the flags given (0 or 1; the others stay) and recalculates the states;
//   sets = NAME ...          display names ListClones gives, in order;
//   needed SET = C:ROM ...   ListGameRoms of SET (clone:rom of each entry);
//   shown CLONE = C:ROM ...  ListRoms of CLONE, shown list;
//   clone NAME status=N     game NAME status=N
//   stats games=C/P/M clones=C/P/M size=N
//       complete, partial and missing counts and GetTotalSize.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "RomsBdTestSupport.h"
#include "platform/UiHooks.h"

namespace qm {
namespace {

std::string Trimmed(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return {};
    const size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// "key=value" words of a line after its keyword.
std::map<std::string, std::string> Pairs(const std::string& rest) {
    std::map<std::string, std::string> out;
    std::istringstream in(rest);
    std::string word;
    while (in >> word) {
        const size_t eq = word.find('=');
        if (eq != std::string::npos) out[word.substr(0, eq)] = word.substr(eq + 1);
    }
    return out;
}

// "NAME = words..." -> NAME and the words joined by one blank.
std::pair<std::string, std::string> NameAndList(const std::string& rest) {
    const size_t eq = rest.find('=');
    std::string name = Trimmed(rest.substr(0, eq));
    std::string list = eq == std::string::npos ? "" : Trimmed(rest.substr(eq + 1));
    std::istringstream in(list);
    std::string word, joined;
    while (in >> word) joined += (joined.empty() ? "" : " ") + word;
    return {name, joined};
}

// Rom names in case files cannot hold blanks; the renamed copies of a clash can.
std::string Spaced(const std::string& names) {
    std::string out = names;
    for (char& c : out)
        if (c == '~') c = ' ';
    return out;
}

void RunCase(const std::filesystem::path& file) {
    TScriptedUiHooks hooks;
    TScopedUiHooks scoped(hooks);
    TRomsBd bd;
    std::string catalogue;
    bool built = false;
    std::ifstream in(file);
    std::string raw;
    int lineNo = 0;
    while (std::getline(in, raw)) {
        ++lineNo;
        const std::string line = Trimmed(raw);
        if (line.empty() || line[0] == '#') continue;
        SCOPED_TRACE(file.filename().string() + ":" + std::to_string(lineNo) + ": " + line);
        const bool directive = StartsWith(line, "attach ") || StartsWith(line, "mode ") ||
                               StartsWith(line, "sets ") || StartsWith(line, "needed ") ||
                               StartsWith(line, "shown ") || StartsWith(line, "clone ") ||
                               StartsWith(line, "game ") || StartsWith(line, "stats ");
        if (!directive) {
            ASSERT_FALSE(built) << "rom line after the catalogue was built";
            catalogue += line + "\n";
            continue;
        }
        if (!built) {
            test::BuildCatalogue(bd, catalogue);
            built = true;
        }
        const std::string rest = line.substr(line.find(' ') + 1);
        if (StartsWith(line, "attach ")) {
            auto f = test::SplitBars(rest);
            TCloneRom* cloneRom = nullptr;
            TRom* rom = nullptr;
            bd.FindRomForFile(f[0], f[1], f[2], std::stoll(f[3]), true, cloneRom, rom, nullptr);
            EXPECT_NE(rom, nullptr) << "no rom for the file";
        } else if (StartsWith(line, "mode ")) {
            for (const auto& [key, value] : Pairs(rest)) {
                const bool on = value == "1";
                if (key == "split") bd.Split = on;
                else if (key == "mergeroms") bd.MergeRoms = on;
                else if (key == "mergeresources") bd.MergeResources = on;
                else if (key == "showmerged") bd.ShowMerged = on;
                else if (key == "showresources") bd.ShowResources = on;
                else ADD_FAILURE() << "unknown flag " << key;
            }
            bd.RecalculateStatus();
        } else if (StartsWith(line, "sets ")) {
            TCloneItems items;
            bd.ListClones(items);
            std::string names;
            for (const auto& item : items) names += (names.empty() ? "" : " ") + item.first;
            EXPECT_EQ(names, NameAndList(line).second);
        } else if (StartsWith(line, "needed ") || StartsWith(line, "shown ")) {
            auto [name, expected] = NameAndList(rest);
            TCloneRomsList list;
            if (StartsWith(line, "needed ")) {
                bd.ListGameRoms(name, list);
            } else {
                TClone* clone = bd.Games().FindClone(name);
                ASSERT_NE(clone, nullptr) << name;
                clone->ListRoms(list, false);
            }
            EXPECT_EQ(test::Names(list), Spaced(expected));
        } else if (StartsWith(line, "clone ") || StartsWith(line, "game ")) {
            std::istringstream words(rest);
            std::string name;
            words >> name;
            const int expected = std::stoi(Pairs(rest)["status"]);
            if (StartsWith(line, "clone ")) {
                TClone* clone = bd.Games().FindClone(name);
                ASSERT_NE(clone, nullptr) << name;
                EXPECT_EQ(clone->GetStatus(), expected);
            } else {
                TGame* game = bd.Games().FindGame(name);
                ASSERT_NE(game, nullptr) << name;
                EXPECT_EQ(game->GetStatus(), expected);
            }
        } else if (StartsWith(line, "stats ")) {
            auto pairs = Pairs(rest);
            const int64_t size = bd.GetTotalSize();
            auto counts = [](int32_t c, int32_t p, int32_t m) {
                return std::to_string(c) + "/" + std::to_string(p) + "/" + std::to_string(m);
            };
            if (pairs.count("games")) {
                EXPECT_EQ(counts(bd.GamesComplete, bd.GamesPartial, bd.GamesMissing), pairs["games"]);
            }
            if (pairs.count("clones")) {
                EXPECT_EQ(counts(bd.ClonesComplete, bd.ClonesPartial, bd.ClonesMissing), pairs["clones"]);
            }
            if (pairs.count("size")) { EXPECT_EQ(std::to_string(size), pairs["size"]); }
        }
    }
    EXPECT_TRUE(built) << "a case without checks";
}

TEST(RomsBdCases, EveryCaseFile) {
    const std::filesystem::path folder = std::filesystem::path(QM_TESTS_DIR) / "cases" / "romsbd";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".case") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    for (const auto& file : files) RunCase(file);
}

}  // namespace
}  // namespace qm
