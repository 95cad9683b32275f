#pragma once
// Sub-lists: named lists of games, one name a line in the "*.lst" files of the sub-list
// folder, that restrict what both views show ("only these" or "all except these").
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "archive/stringsTools.h"
#include "ui/commands/ShownLists.h"

namespace qm {

class TRomsBd;

// Names compared without regard to case (ASCII letters folded).
using TSubListNames = std::unordered_set<std::string, TSameTextHash, TSameTextEqual>;

struct TSubListFile {
    std::string Path;     // the folder and the file's name, as the system gives it
    std::string Caption;  // the name without extension
};

// The "*.lst" files of folder (the extension in any case), by name without regard to
// case. None when the folder does not exist.
std::vector<TSubListFile> ListSubListFiles(const std::string& folder);

// One name a line; line ends LF or CR LF, blanks around a name dropped, blank lines
// skipped.
TSubListNames ParseSubListNames(std::string_view text);
// Raises qm::Exception with the system's reason when the file cannot be read.
TSubListNames LoadSubListNames(const std::string& fileName);

// Fills the shown clones and games from every clone of the rom database (by its own
// name, Split on while they are listed, then Split := emulatorSplit): with no names
// every clone, else in "only" mode the clones named, in "all except" mode the others;
// each clone's game once. Nothing when romsBd is nullptr. The tree's cached rom count is
// the caller's to reset.
void ApplySubList(TRomsBd* romsBd, bool emulatorSplit, const TSubListNames& names, bool allExcept,
                  TShownGames& shownGames, TShownClones& shownClones);

}  // namespace qm
