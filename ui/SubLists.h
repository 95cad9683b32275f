#pragma once
// Sub-lists: named lists of games, one name a line in the "*.lst" files of the sub-list
// folder, that restrict what both views show ("only these" or "all except these"); and
// the SubList menu that offers them, whose check marks always say what is applied.
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "archive/stringsTools.h"
#include "ui/views/ShownLists.h"

class QAction;
class QMenu;

namespace qm {

class TMainActions;
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

// The SubList menu of TMainActions: "All except", "All", then one checkable item per
// file, each holding its file's path in data(). It keeps what is applied (the file,
// its names and the mode) and checks the items to match.
class TSubListMenu {
public:
    explicit TSubListMenu(TMainActions& actions);
    ~TSubListMenu();
    TSubListMenu(const TSubListMenu&) = delete;
    TSubListMenu& operator=(const TSubListMenu&) = delete;

    // Called for each item made by Build: the window connects it to Click.
    std::function<void(QAction* action)> OnNewAction;

    // The items made again from the files of folder. The applied file is checked again
    // when it is still listed; when it is gone, "All" is checked and the names are
    // dropped, and the result is true: the caller applies the sub-list again.
    bool Build(const std::string& folder);

    // A click on "All", "All except" or a file item, after Qt toggled its check mark.
    // A file that cannot be read raises, with the menu and the names as they were.
    // The caller then applies the sub-list and rebuilds the tree.
    void Click(QAction* action);

    // No sub-list: every game shown, "All" checked.
    void Reset();

    const TSubListNames& Names() const { return names_; }
    bool AllExcept() const { return allExcept_; }
    // The file applied, "" when none.
    const std::string& AppliedFile() const { return appliedFile_; }
    const std::vector<QAction*>& FileActions() const { return fileActions_; }

private:
    void ShowApplied();

    TMainActions& actions_;
    std::vector<QAction*> fileActions_;
    TSubListNames names_;
    bool allExcept_ = false;
    std::string appliedFile_;
};

}  // namespace qm
