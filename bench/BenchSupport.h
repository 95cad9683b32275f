#pragma once
// What the benchmark programs share: the clock, the rom database of a datafile, and a
// collection listed in memory (one rom path over an empty folder of its own, whose
// files are added by hand, so that no disk work blurs the figures).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"
#include "platform/Exception.h"

namespace qm::bench {

using Clock = std::chrono::steady_clock;

inline long long Ms(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

// Reads and builds the rom database of file as the program does, the datafile's text
// released once built; false (the reason printed) when it fails.
inline bool LoadRoms(TRomsBd& roms, const char* file) {
    roms.SetDatafileName(file);
    try {
        roms.LoadDatabase();
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return false;
    }
    return true;
}

// A files database over roms with one rom path in a fresh folder "/tmp/<tag>_XXXXXX".
struct TMemoryCollection {
    TFilesBd files;
    TPath* path = nullptr;
    std::string folder;

    // False (the reason printed) when the folder or the path cannot be made.
    bool Open(TRomsBd& roms, const std::string& tag) {
        std::string pattern = "/tmp/" + tag + "_XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            return false;
        }
        folder = pattern;
        files.SetRomsBd(&roms);
        files.SetSubmitRoms(true);
        files.SetCachePath(folder + "/");
        try {
            path = files.AddPath(folder, "", "");
        } catch (const Exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return false;
        }
        return path != nullptr;
    }

    // One zip per set of the database's present mode, holding every rom the set needs
    // (a no-dump under a made-up CRC), then matched.
    void AddCompleteZips(TRomsBd& roms) {
        TCloneItems sets;
        roms.ListClones(sets);
        TCloneRomsList needed;
        for (const auto& [name, clone] : sets) {
            roms.ListGameRoms(name, needed);
            TFile* zip = path->NewFile(name + ".zip", fkZip, false);
            for (const TCloneRom* cr : needed)
                zip->AddRomFile(cr->Name, cr->Crc == kNoDumpCrc ? "0badf00d" : cr->Crc.str(), 0, cr->Rom->Size, "");
        }
        files.MatchAll();
        roms.RecalculateStatus();
    }
};

}  // namespace qm::bench
