// The search of an import: a placeholder looks through every rom file of every rom path
// for a copy of its rom. The collection is built in memory: GAMES sets of four roms, a
// present rom path holding one zip per set with its fourth rom missing, and a rom path
// on an absent disk holding each set's fourth rom. Each import walks everything (the
// copies on the absent disk are remembered and the walk goes on) and then gives up, since
// no more prompts are wanted, so only the search is timed. Prints one line:
//   games=N rom_files=N imports=N search_ms=N per_import_us=N
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"
#include "platform/Exception.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Crc(unsigned value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value * 2654435761u + 17u);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const int games = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int imports = argc > 2 ? std::atoi(argv[2]) : 200;
    qm::TRomsBd roms;
    for (int g = 0; g < games; ++g) {
        const std::string name = "game" + std::to_string(g);
        for (int r = 0; r < 4; ++r)
            roms.Datafile().AddItem(name, name, name, name, "r" + std::to_string(r) + ".bin",
                                    Crc(static_cast<unsigned>(g * 4 + r)), 16, "", "", false);
    }
    roms.Build();

    char folder[] = "/tmp/bench_import_XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    qm::TFilesBd files;
    files.SetRomsBd(&roms);
    files.SetSubmitRoms(true);
    files.SetCachePath(std::string(folder) + "/");
    int romFiles = 0;
    long long searchMs = 0;
    int done = 0;
    try {
        qm::TPath* present = files.AddPath(folder, "", "");
        // Known by a serial that no mounted volume has: the disk is not in.
        qm::TPath* absent = files.AddPath(std::string(folder) + "/absent", "ffff-ffff", "STORE");
        for (int g = 0; g < games; ++g) {
            const std::string name = "game" + std::to_string(g);
            qm::TFile* zip = present->NewFile(name + ".zip", qm::fkZip, false);
            for (int r = 0; r < 3; ++r, ++romFiles)
                zip->AddRomFile("r" + std::to_string(r) + ".bin", Crc(static_cast<unsigned>(g * 4 + r)), 0, 16, "");
            absent->NewFile(name + ".zip", qm::fkZip, false)
                ->AddRomFile("r3.bin", Crc(static_cast<unsigned>(g * 4 + 3)), 0, 16, "");
            ++romFiles;
        }
        files.MatchAll();

        qm::TFilesBd::TCommandScope command(files);
        const auto start = Clock::now();
        for (int i = 0; i < imports && i < present->Files().Count(); ++i) {
            qm::TFile* zip = present->Files()[i];
            const int index = zip->RomFiles.IndexOfFileName("r3.bin", true);
            if (index < 0) continue;
            bool noMorePrompts = true;
            try {
                zip->RomFiles[index]->ImportFrom(noMorePrompts);
            } catch (const qm::filesbd::EIgnoreFile&) {
                ++done;
            }
        }
        searchMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        files.ClearPaths();
    } catch (const qm::Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::string cleanup = std::string("rm -rf ") + folder;
    if (std::system(cleanup.c_str()) != 0) return 1;
    std::printf("games=%d rom_files=%d imports=%d search_ms=%lld per_import_us=%lld\n", games, romFiles, done,
                searchMs, done > 0 ? searchMs * 1000 / done : 0);
    return done == imports ? 0 : 1;
}
