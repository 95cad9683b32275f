#pragma once
// What the two views offer to the single repair steps and the file commands, and the
// rules that turn it into the rom files and files a command works on. The rules are
// plain functions over a plain record, so that they are tested without a window; the
// main window fills the record from its views (SelectionFromViews, ui/ViewSelection.h).
#include <cstdint>
#include <vector>

#include "ui/commands/ChangeCaseChoice.h"

namespace qm {

class TFile;
class TRomFile;

// The list view's layouts that hold files or rom files (the others show games, clones
// or clone roms).
enum class TListContent : uint8_t { Other, Files, RomFiles };

// Which view has the keyboard focus.
enum class TViewFocus : uint8_t { None, List, Tree };

struct TCommandSelection {
    std::vector<TRomFile*> listRoms;   // the list view's selected rom files, in row order
    std::vector<TFile*> listFiles;     // the list view's selected files, in row order
    TListContent listContent = TListContent::Other;
    bool listEmpty = true;             // no row of the list view is selected
    std::vector<TRomFile*> treeRoms;   // rom files under the tree's focused path or file
    std::vector<TFile*> treeFiles;     // files under the tree's focused node
    TViewFocus focus = TViewFocus::None;
};

// A single step: the list's choice, else what lies under the tree's focus.
std::vector<TRomFile*> StepRoms(const TCommandSelection& selection);
std::vector<TFile*> StepFiles(const TCommandSelection& selection);

// The file command modes.
enum TShellMode : int { smMove = 0, smDelete = 1, smCopy = 2, smLower = 3, smUpper = 4, smCapitalize = 5, smDatafileCase = 6 };

struct TShellGather {
    enum TOutcome { Ready, NoItems, NothingToDo } outcome = NoItems;
    std::vector<TRomFile*> roms;
    std::vector<TFile*> files;
};

// The selection of a file command (mode, items: TShellItems bits): move and copy take
// files from the list, else from the tree; delete and the case changes take the view
// with the keyboard focus (the list only in its file and rom-file layouts); the case
// changes widen rom files to their files and files to their rom files as items ask;
// delete and the case changes drop placeholders, and the datafile case keeps only what
// is matched and may need another case. Every list keeps its first-met order and holds
// each object once.
TShellGather GatherShellSelection(int mode, int items, const TCommandSelection& selection);

}  // namespace qm
