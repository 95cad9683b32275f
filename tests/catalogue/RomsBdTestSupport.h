#pragma once
// Small catalogues for the rom database tests, written as text: one rom line per row,
// "parent|game|rom|crc|size|romof|merge" (size empty: unknown; missing fields empty),
// under "[RESOURCES]" or "[GAMES]" (the default). Descriptions are the names with
// " desc" appended.
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/RomsBd.h"

namespace qm::test {

inline std::vector<std::string> SplitBars(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '|')) fields.push_back(field);
    if (!line.empty() && line.back() == '|') fields.emplace_back();
    fields.resize(7);
    return fields;
}

inline void AddCatalogue(TDatafile& datafile, const std::string& text) {
    std::istringstream in(text);
    std::string line;
    bool resources = false;
    while (std::getline(in, line)) {
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        line = line.substr(first);
        if (line == "[RESOURCES]") {
            resources = true;
            continue;
        }
        if (line == "[GAMES]") {
            resources = false;
            continue;
        }
        auto f = SplitBars(line);
        const int64_t size = f[4].empty() ? -1 : std::stoll(f[4]);
        datafile.AddItem(f[0], f[0] + " desc", f[1], f[1] + " desc", f[2], f[3], size, f[5], f[6], resources);
    }
}

// Builds a fresh catalogue from text into bd.
inline void BuildCatalogue(TRomsBd& bd, const std::string& text) {
    bd.Clear();
    bd.Datafile().Clear();
    AddCatalogue(bd.Datafile(), text);
    bd.Build();
}

// The names of a list of clone roms as "clone:rom" joined by blanks.
inline std::string Names(const TCloneRomsList& list) {
    std::string out;
    for (const TCloneRom* cloneRom : list) {
        if (!out.empty()) out += ' ';
        out += cloneRom->Clone->Name + ":" + cloneRom->Name;
    }
    return out;
}

}  // namespace qm::test
