#pragma once
// What the case-file drivers of the files database share: the words of a line, the
// contents behind the labels of a case with the CRCs Python's zlib gives them, "{L}"
// and "{~L}" (the complement, a bad dump) filled in, the case files of a folder, and the
// statuses of a database in the one text form the cases expect:
//   <path> <file> = <clone or ->
//   <path> <file>[/<stored name>] <status> [dup]
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "filesdb/CrcPlugIn.h"
#include "filesdb/filesBd.h"
#include "support/TestSupport.h"

namespace qm::test::cases {

// The default signature plug-in, loaded once for every case of the process and kept,
// as the program keeps it, rather than loaded again for each of hundreds of runs.
inline TCrcPlugIn& DefaultPlugIn() {
    static TCrcPlugIn* plugIn = [] {
        auto* loaded = new TCrcPlugIn;
        loaded->SetPath(QM_PLUGIN_DIR);
        loaded->SetFileName("arcade.dll");
        return loaded;
    }();
    return *plugIn;
}

inline std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    std::string word;
    while (in >> word) words.push_back(word);
    return words;
}

// Reads a case file: onSection(name) at each "[name]" line, onLine(section, line) for
// every other line that is neither blank nor a "#" comment. "[RESOURCES]" and "[GAMES]"
// are lines of the datafile, not sections.
inline void ReadSections(const std::string& fileName, const std::function<void(const std::string&)>& onSection,
                         const std::function<void(const std::string&, const std::string&)>& onLine) {
    std::ifstream in(fileName);
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[' && line != "[RESOURCES]" && line != "[GAMES]") {
            section = line.substr(1, line.size() - 2);
            if (onSection) onSection(section);
            continue;
        }
        onLine(section, line);
    }
}

// The 16 bytes of content L.
inline std::string Content16(const std::string& label) {
    std::string bytes = "content-" + label + "-";
    bytes.resize(16, label[0]);
    return bytes;
}

inline std::string Complement(const std::string& crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", ~static_cast<unsigned>(std::stoul(crc, nullptr, 16)));
    return text;
}

// Writes each label's content into folder and gives the CRC Python computes of it.
inline std::map<std::string, std::string> PythonCrcs(const std::string& folder, const std::set<std::string>& labels,
                                                     const std::function<std::string(const std::string&)>& content) {
    for (const std::string& label : labels) WriteFile(folder + label, content(label));
    const std::string listing = RunCommand(
        "python3 -c 'import os,sys,zlib\nd=sys.argv[1]\nfor f in sorted(os.listdir(d)): "
        "print(f, \"%08x\" % zlib.crc32(open(os.path.join(d, f), \"rb\").read()))' " +
        ShellQuote(folder));
    std::map<std::string, std::string> crcs;
    std::istringstream in(listing);
    std::string label, crc;
    while (in >> label >> crc) crcs[label] = crc;
    return crcs;
}

// The labels of every "{L}" and "{~L}" of text.
inline std::set<std::string> LabelsIn(const std::string& text) {
    static const std::regex token(R"(\{~?([A-Za-z0-9]+)\})");
    std::set<std::string> labels;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), token); it != std::sregex_iterator(); ++it)
        labels.insert((*it)[1]);
    return labels;
}

// "{L}" replaced by L's CRC, "{~L}" by its complement.
inline std::string Fill(const std::string& text, const std::map<std::string, std::string>& crcs) {
    static const std::regex token(R"(\{(~?)([A-Za-z0-9]+)\})");
    std::string out;
    size_t last = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), token); it != std::sregex_iterator(); ++it) {
        out += text.substr(last, static_cast<size_t>(it->position()) - last);
        const std::string& crc = crcs.at((*it)[2]);
        out += (*it)[1].length() ? Complement(crc) : crc;
        last = static_cast<size_t>(it->position() + it->length());
    }
    return out + text.substr(last);
}

// The ".case" files of tests/cases/<folder>, sorted.
inline std::vector<std::string> CaseFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(QM_TESTS_DIR) + "/cases/" + folder))
        if (entry.path().extension() == ".case") names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every file and rom file of files, sorted; pathNames name the paths in order.
inline std::vector<std::string> RenderStatuses(const TFilesBd& files, const std::vector<std::string>& pathNames) {
    std::vector<std::string> lines;
    for (int p = 0; p < files.GetPathCount(); ++p) {
        const TPath* path = files.GetPath(p);
        const std::string& pathName = pathNames.at(static_cast<size_t>(p));
        for (const auto& file : path->Files()) {
            lines.push_back(pathName + " " + file->Name + " = " + (file->Clone ? file->Clone->Name.str() : "-"));
            for (const auto& entry : file->RomFiles) {
                const TRomFile& r = *entry.romFile;
                std::string line = pathName + " " + file->Name;
                if (!file->IsPlain()) line += "/" + r.StoredName();
                line += " " + std::to_string(r.Status);
                if (r.Duplicated) line += " dup";
                lines.push_back(line);
            }
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace qm::test::cases
