#pragma once
// The main window's status texts, as functions over the databases and the views so that
// they are checked without a window: the item line under the list, the panels of the
// status bar (counters, size of the selection, set mode, emulator, selected count) and
// the database line under the tree; and TMainStatusBar, which makes those panels.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "ui/views/ViewTypes.h"

class QLabel;
class QStatusBar;
class QWidget;

namespace qm {

class TChildCollector;
class TDataFile;
class TEmulator;
class TImageList;
class TQMVirtualListView;
class TQMVirtualTreeView;

// What the item line is computed from.
struct TItemTextSource {
    TViewObject Object;          // the focused object of the view that changed
    bool FromTree = false;       // the tree changed (else the list)
    bool TreeRootSelected = false;
    int ListSelectedCount = 0;
    const TDataFile* DataFile = nullptr;  // the open datafile's header, nullptr when none
    bool EmulatorSplit = false;  // what the rom database's Split goes back to after a clone's names
};

// The source of a change of the tree (fromTree) or the list, from both views.
TItemTextSource ItemTextSourceOf(bool fromTree, const TQMVirtualTreeView& tree, const TQMVirtualListView& list,
                                 const TDataFile* dataFile, bool emulatorSplit);

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
TStatusTexts StatusBarTexts(TQMVirtualListView& list, const TEmulator* emulator);

// " merged ", " split ", " un-merged ".
std::string ModePanelText(bool split, bool merge);
// The executable's name without folder and extension, blank on each side; " none ".
std::string EmulatorPanelText(const std::string& exe);

// "Database: %1 games, %2 clones, %3 roms, %4 resources." of the tree.
std::string DatabaseInfoText(TChildCollector& tree);
// Missing, incomplete and complete of the tree, as decimal numbers.
std::array<std::string, 3> StatusCounterTexts(const TChildCollector& tree);

// The seven permanent panels of the main status bar (0 to 2: a picture and a count of
// missing, incomplete and complete games; 3 size; 4 mode; 5 emulator; 6 selected
// count), and the one-line status of each view.
class TMainStatusBar {
public:
    static constexpr int kPanelCount = 7;

    // viewsParent owns the two view lines, which the window places below its views.
    TMainStatusBar(QStatusBar* statusBar, QWidget* viewsParent);

    QLabel* Panel(int index) const { return panels_.at(static_cast<size_t>(index)); }
    QLabel* Glyph(int index) const { return glyphs_.at(static_cast<size_t>(index)); }
    QLabel* ListViewStatus() const { return listStatus_; }
    QLabel* TreeViewStatus() const { return treeStatus_; }

    // The pictures of panels 0 to 2 from the status pictures.
    void SetGlyphs(const TImageList& flags);

    void SetItemText(const std::optional<std::string>& text);
    void SetTexts(const TStatusTexts& texts);
    void SetCounters(const std::array<std::string, 3>& counters);
    void SetDatabaseInfo(const std::string& text);

private:
    std::array<QLabel*, kPanelCount> panels_{};
    std::array<QLabel*, 3> glyphs_{};
    QLabel* listStatus_ = nullptr;
    QLabel* treeStatus_ = nullptr;
};

}  // namespace qm
