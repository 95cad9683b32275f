#pragma once
// A collection laid out on disk (zips made by Info-ZIP zip), a files database built by
// hand over it, and independent views of the disk for the rom repair tests: every file,
// folder member and zip entry with the CRC Python's zlib computes from its bytes, every
// zip checked with unzip -t, and a second database built from that listing alone (a
// rescan without the scanner) whose statuses must equal those the repairs left.
//
// Contents: {L} is 16 bytes made from the label L; "zeros" is 16 zero bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/DiskInfo.h"
#include "archive/archivemanager.h"
#include "archive/stringsTools.h"
#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"
#include "CaseFileSupport.h"
#include "filesBdTestSupport.h"
#include "platform/FileSystem.h"

namespace qm::test::romrepair {

using cases::CaseFiles;
using cases::Complement;
using cases::ReadSections;
using cases::Fill;
using cases::LabelsIn;
using cases::RenderStatuses;
using cases::Words;

inline std::string Content(const std::string& label) {
    return label == "zeros" ? std::string(16, '\0') : cases::Content16(label);
}

// CRC of each label's content, from Python's zlib.
inline std::map<std::string, std::string> PythonCrcs(const std::string& folder, std::set<std::string> labels) {
    labels.insert("zeros");
    return cases::PythonCrcs(folder, labels, Content);
}

// One thing found on disk below the root, as Python sees it.
struct TDiskItem {
    char kind = 'F';     // F file, Z zip, D empty folder
    std::string path;    // relative to the root
    std::vector<std::pair<std::string, std::string>> entries;  // zip: name, crc
    std::vector<int64_t> sizes;                                 // zip: entry sizes
    std::string crc;     // file
    int64_t size = 0;    // file
};

inline std::vector<TDiskItem> ListDisk(const std::string& root) {
    static const char* script =
        "import os,sys,zlib,zipfile\n"
        "root=sys.argv[1]\n"
        "for dp,dns,fns in os.walk(root):\n"
        "  dns.sort()\n"
        "  rel=os.path.relpath(dp,root)\n"
        "  if not dns and not fns and rel!='.': print('D',rel)\n"
        "  for f in sorted(fns):\n"
        "    full=os.path.join(dp,f)\n"
        "    r=os.path.normpath(os.path.join(rel,f))\n"
        "    if f.lower().endswith('.zip'):\n"
        "      z=zipfile.ZipFile(full)\n"
        "      print('Z',r,' '.join('%s=%08x:%d'%(i.filename,zlib.crc32(z.read(i)),i.file_size)"
        " for i in z.infolist()))\n"
        "    else:\n"
        "      b=open(full,'rb').read()\n"
        "      print('F',r,'%08x:%d'%(zlib.crc32(b),len(b)))\n";
    int status = -1;
    const std::string out = RunCommand("python3 -c " + ShellQuote(script) + " " + ShellQuote(root), &status);
    EXPECT_EQ(status, 0) << out;
    std::vector<TDiskItem> items;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        const auto w = Words(line);
        if (w.size() < 2) continue;
        TDiskItem item;
        item.kind = w[0][0];
        item.path = w[1];
        const auto split = [](const std::string& v, std::string& crc, int64_t& size) {
            const size_t colon = v.rfind(':');
            crc = v.substr(0, colon);
            size = std::stoll(v.substr(colon + 1));
        };
        if (item.kind == 'F') {
            split(w[2], item.crc, item.size);
        } else if (item.kind == 'Z') {
            for (size_t i = 2; i < w.size(); ++i) {
                const size_t eq = w[i].rfind('=');
                std::string crc;
                int64_t size = 0;
                split(w[i].substr(eq + 1), crc, size);
                item.entries.emplace_back(w[i].substr(0, eq), crc);
                item.sizes.push_back(size);
            }
        }
        items.push_back(std::move(item));
    }
    return items;
}

// Every zip below root passes unzip -t.
inline void ExpectZipsSound(const std::string& root) {
    for (const TDiskItem& item : ListDisk(root)) {
        if (item.kind != 'Z') continue;
        int status = -1;
        const std::string out = RunCommand("unzip -tqq " + ShellQuote(root + item.path) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << item.path << ": " << out;
    }
}

// The disk as lines "<path> {L}", "<path> zip n={L} ..." (entries sorted), "<path>/"
// for an empty folder; CRCs without a label are shown as they are.
inline std::vector<std::string> RenderDisk(const std::string& root, const std::map<std::string, std::string>& crcs,
                                           const std::string& skipPrefix = "contents") {
    std::map<std::string, std::string> labels;
    for (const auto& [label, crc] : crcs) labels[crc] = "{" + label + "}";
    const auto label = [&](const std::string& crc) {
        auto it = labels.find(crc);
        return it == labels.end() ? crc : it->second;
    };
    std::vector<std::string> lines;
    for (const TDiskItem& item : ListDisk(root)) {
        if (item.path.rfind(skipPrefix, 0) == 0 || item.path.rfind("staging", 0) == 0) continue;
        if (item.kind == 'D') {
            lines.push_back(item.path + "/");
        } else if (item.kind == 'F') {
            lines.push_back(item.path + " " + label(item.crc));
        } else {
            std::vector<std::string> entries;
            for (const auto& [name, crc] : item.entries) entries.push_back(name + "=" + label(crc));
            std::sort(entries.begin(), entries.end());
            std::string line = item.path + " zip";
            for (const std::string& e : entries) line += " " + e;
            lines.push_back(line);
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Fills a path of a files database with what Python lists below its folder.
// Files named in order come first, in that order (the duplicate flag of a plain file
// depends on the order in which copies were registered).
inline void LoadPathFromDisk(TPath* path, const std::string& root, const std::string& pathName,
                             const std::vector<std::string>& order = {}) {
    const std::string prefix = pathName + "/";
    for (const std::string& name : order) {
        TFileStat st;
        if (Fs().Stat(root + prefix + name, st) != 0 || !st.exists) continue;
        const bool zip = name.size() > 4 && SameText(name.substr(name.size() - 4), ".zip");
        path->NewFile(name, st.isDir ? fkFolder : zip ? fkZip : fkPlain, false);
    }
    // Every file first, then their roms in the order of the files.
    const std::vector<TDiskItem> items = ListDisk(root);
    std::map<std::string, std::vector<const TDiskItem*>> byFile;
    for (const TDiskItem& item : items) {
        if (item.path.rfind(prefix, 0) != 0) continue;
        const std::string rest = item.path.substr(prefix.size());
        const size_t slash = rest.find('/');
        const std::string top = rest.substr(0, slash);
        if (item.kind == 'D' || slash != std::string::npos)
            path->NewFile(top, fkFolder, false);
        else
            path->NewFile(top, item.kind == 'Z' ? fkZip : fkPlain, false);
        byFile[top].push_back(&item);
    }
    for (int i = 0; i < path->Files().Count(); ++i) {
        TFile* file = path->Files()[i];
        for (const TDiskItem* item : byFile[file->Name]) {
            if (item->kind == 'D') continue;
            if (file->IsFolder()) {
                file->AddRomFile(item->path.substr(prefix.size() + file->Name.size() + 1), item->crc, 0, item->size, "");
            } else if (file->IsZip()) {
                for (size_t e = 0; e < item->entries.size(); ++e)
                    file->AddRomFile(item->entries[e].first, item->entries[e].second, 0, item->sizes[e], "");
            } else {
                file->Size = item->size;
                file->AddRomFile(file->Name, item->crc, 0, item->size, "");
            }
        }
    }
}

// Lays out "<path> zip|folder <name> entry={L} ..." and "<path> plain name={L}" lines
// below root; zips through Info-ZIP zip in entry order.
inline void MakeTree(const std::string& root, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        const auto w = Words(line);
        const std::string folder = root + w[0] + "/";
        std::filesystem::create_directories(folder);
        const auto entry = [](const std::string& word, std::string& name, std::string& label) {
            const size_t eq = word.find('=');
            name = word.substr(0, eq);
            label = word.substr(eq + 2, word.size() - eq - 3);
        };
        std::string name, label;
        if (w[1] == "plain") {
            entry(w[2], name, label);
            WriteFile(folder + name, Content(label));
            continue;
        }
        const std::string target = w[1] == "zip" ? root + "staging/" + w[0] + "/" + w[2] + "/" : folder + w[2] + "/";
        std::filesystem::create_directories(target);
        std::string names;
        for (size_t i = 3; i < w.size(); ++i) {
            entry(w[i], name, label);
            WriteFile(target + name, Content(label));
            names += " " + ShellQuote(name);
        }
        if (w[1] == "zip") {
            int status = -1;
            const std::string out =
                RunCommand("cd " + ShellQuote(target) + " && zip -q -X " + ShellQuote(folder + w[2]) + names, &status);
            ASSERT_EQ(status, 0) << line << out;
        }
    }
    std::filesystem::remove_all(root + "staging");
}

// The bytes of every file below root, to prove that a failed repair changed nothing.
inline std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> bytes;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        const std::string rel = std::filesystem::relative(e.path(), root).string();
        bytes[rel] = e.is_directory() ? std::string("<dir>") : ReadFile(e.path().string());
    }
    return bytes;
}

}  // namespace qm::test::romrepair
