#pragma once
// A small rom database and a files database built by hand for the files database tests.
// Catalogue text: one rom per line, "parent|game|rom|crc|size|romof|merge" (size empty:
// unknown), under "[GAMES]" (the default) or "[RESOURCES]".
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "archive/DiskInfo.h"
#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"
#include "support/TestSupport.h"

namespace qm::test {

inline void BuildRoms(TRomsBd& bd, const std::string& text) {
    bd.Clear();
    bd.Datafile().Clear();
    std::istringstream in(text);
    std::string line;
    bool resources = false;
    while (std::getline(in, line)) {
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        line = line.substr(first);
        if (line == "[RESOURCES]" || line == "[GAMES]") {
            resources = line == "[RESOURCES]";
            continue;
        }
        std::vector<std::string> f;
        std::string field;
        std::istringstream fields(line);
        while (std::getline(fields, field, '|')) f.push_back(field);
        f.resize(7);
        const int64_t size = f[4].empty() ? -1 : std::stoll(f[4]);
        bd.Datafile().AddItem(f[0], f[0] + " desc", f[1], f[1] + " desc", f[2], f[3], size, f[5], f[6], resources);
    }
    bd.Build();
}

// One volume holding every path, so that rom paths can be added without real disks.
inline TVolumeFacts TestVolume(const std::string& uuid = "1234-ABCD", const std::string& label = "") {
    TVolumeFacts facts;
    facts.root = "/";
    facts.source = "/dev/test";
    facts.fsType = "vfat";
    facts.uuid = uuid;
    facts.label = label;
    facts.totalBytes = 1 << 30;
    return facts;
}

// A rom database and a files database over it with one rom path in a temporary folder.
struct TFilesBdFixture {
    explicit TFilesBdFixture(const std::string& catalogue, bool submit = true) : volumeScope(volumes) {
        volumes.volumes.push_back(TestVolume());
        BuildRoms(roms, catalogue);
        files.SetRomsBd(&roms);
        files.SetSubmitRoms(submit);
        files.SetCachePath(cacheDir.Path());
        path = files.AddPath(dir.Path(), "", "");
    }
    ~TFilesBdFixture() { files.ClearPaths(); }

    TFile* Zip(const std::string& name) { return path->NewFile(name, fkZip, false); }
    TFile* Folder(const std::string& name) { return path->NewFile(name, fkFolder, false); }
    TFile* Plain(const std::string& name) { return path->NewFile(name, fkPlain, false); }
    TRom* RomOf(const std::string& clone, const std::string& rom) {
        return roms.Games().FindClone(clone)->FindCloneRom(rom)->Rom;
    }
    TCloneRom* CloneRomOf(const std::string& clone, const std::string& rom) {
        return roms.Games().FindClone(clone)->FindCloneRom(rom);
    }

    TTempDir dir;
    TTempDir cacheDir;
    TStaticVolumeProvider volumes;
    TScopedVolumeProvider volumeScope;
    TRomsBd roms;
    TFilesBd files;
    TPath* path = nullptr;
};

}  // namespace qm::test
