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

// What is applied: the file, its names and the mode. A file that cannot be read changes
// nothing; a file no longer listed drops back to every game.
class TSubListChoice {
public:
    // Reads the names of fileName (qm::Exception when it cannot be read, with the
    // choice as it was), then applies them in the given mode.
    void ChooseFile(const std::string& fileName, bool allExcept);
    void SetAllExcept(bool allExcept) { allExcept_ = allExcept; }
    // No sub-list: every game shown.
    void Reset();
    // The files listed now; true when the applied one is gone and the choice was reset.
    bool KeepListed(const std::vector<TSubListFile>& files);

    const TSubListNames& Names() const { return names_; }
    bool AllExcept() const { return allExcept_; }
    // The file applied, "" when none.
    const std::string& AppliedFile() const { return appliedFile_; }

private:
    TSubListNames names_;
    bool allExcept_ = false;
    std::string appliedFile_;
};

}  // namespace qm
