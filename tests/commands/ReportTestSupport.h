#pragma once
// A small collection for the report, export and launch tests: a rom database built by
// hand and a files database whose rom path holds the files listed, matched in one of
// the three set modes.
#include <string>
#include <vector>

#include "filesdb/filesBdTestSupport.h"
#include "ui/commands/SaveFilePrompt.h"

namespace qm::test {

// pacman is complete on its own; puckman, its clone, lacks pk2.bin; galaga lacks its
// rom that has no good dump; digdug and mappy lack the same CRC; mappy has nothing.
inline const char* const kReportCatalogue =
    "pacman|pacman|pm1.bin|11111111|16||\n"
    "pacman|pacman|pm2.bin|22222222|16||\n"
    "pacman|puckman|pm1.bin|11111111|16|pacman|pm1.bin\n"
    "pacman|puckman|pk2.bin|33333333|16|pacman|\n"
    "galaga|galaga|gg1.bin|44444444|16||\n"
    "galaga|galaga|gg2.bin|00000000|16||\n"
    "digdug|digdug|dd1.bin|55555555|16||\n"
    "digdug|digdug|dd2.bin|66666666|16||\n"
    "mappy|mappy|mp1.bin|77777777|16||\n"
    "mappy|mappy|mp2.bin|66666666|16||\n";

struct TReportCollection : TFilesBdFixture {
    // mode: "merged", "split" or "unmerged".
    explicit TReportCollection(const std::string& mode, const char* catalogue = kReportCatalogue)
        : TFilesBdFixture(catalogue) {
        roms.Split = mode != "merged";
        roms.MergeRoms = mode == "split";
        TFile* pacman = Zip("pacman.zip");
        pacman->AddRomFile("pm1.bin", "11111111", 0, 16, "");
        pacman->AddRomFile("pm2.bin", "22222222", 0, 16, "");
        Folder("galaga")->AddRomFile("gg1.bin", "44444444", 0, 16, "");
        Zip("digdug.zip")->AddRomFile("dd1.bin", "55555555", 0, 16, "");
        files.MatchAll();
        roms.RecalculateStatus();
    }

    // Every clone, as the tree lists them (the sub-list is built with sets split).
    std::vector<TClone*> Listed() const {
        std::vector<TClone*> clones;
        for (TClone* clone : roms.Games().AllClones) clones.push_back(clone);
        return clones;
    }
};

// Answers the save dialog with a fixed name (or cancels) and records the request.
class TScriptedSavePrompt : public ISaveFilePrompt {
public:
    std::string answer;  // empty: cancel
    std::vector<TSaveFileRequest> requests;

    bool PromptSaveFile(const TSaveFileRequest& request, std::string& fileName) override {
        requests.push_back(request);
        if (answer.empty()) return false;
        fileName = answer;
        return true;
    }
};

}  // namespace qm::test
