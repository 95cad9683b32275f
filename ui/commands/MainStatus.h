#pragma once
// The main window's status texts over the databases and the child lists: the item line
// under the list, the status bar's panels and the database line under the tree.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "ui/commands/ViewTypes.h"

namespace qm {

class TChildCollector;
class TDataFile;
class TEmulator;

// What the item line is computed from.
struct TItemTextSource {
    TViewObject Object;          // the focused object of the view that changed
    bool FromTree = false;       // the tree changed (else the list)
    bool TreeRootSelected = false;
    int ListSelectedCount = 0;
    const TDataFile* DataFile = nullptr;  // the open datafile's header, nullptr when none
    bool EmulatorSplit = false;  // what the rom database's Split goes back to after a clone's names
};

// The item line: nullopt when it keeps its text (a rom, a rom file or a list object
// focused in the list).
std::optional<std::string> ItemStatusText(const TItemTextSource& source);

// "description - [name]", with " - Bios [name] needed" when the game needs a resource set.
std::string GameItemText(const TGame& game);
// The same with the clone's own names (Split on while they are read, then emulatorSplit).
std::string CloneItemText(const TClone& clone, bool emulatorSplit);

// Panel texts of the status bar.
struct TStatusTexts {
    std::string Size;      // 3
    std::string Mode;      // 4
    std::string Emulator;  // 5
    std::string Selected;  // 6
};
// selectedSize -1: nothing measurable is selected; the list's total size then counts
// as one item.
TStatusTexts StatusBarTexts(int64_t selectedSize, int selectedCount, int64_t totalSize, const TEmulator* emulator);

// " merged ", " split ", " un-merged ".
std::string ModePanelText(bool split, bool merge);
// The executable's name without folder and extension, blank on each side; " none ".
std::string EmulatorPanelText(const std::string& exe);

// "Database: %1 games, %2 clones, %3 roms, %4 resources." of the tree.
std::string DatabaseInfoText(TChildCollector& tree);
// Missing, incomplete and complete of the tree, as decimal numbers.
std::array<std::string, 3> StatusCounterTexts(const TChildCollector& tree);

}  // namespace qm
