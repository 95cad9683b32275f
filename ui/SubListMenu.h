#pragma once
// The SubList menu that offers the sub-list files; its check marks always say what is
// applied.
#include <functional>
#include <string>
#include <vector>

#include "ui/commands/SubLists.h"

class QAction;
class QMenu;

namespace qm {

class TMainActions;

// The SubList menu of TMainActions: "All except", "All", then one checkable item per
// file, each holding its file's path in data(). It keeps what is applied and checks the
// items to match.
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

    const TSubListNames& Names() const { return choice_.Names(); }
    bool AllExcept() const { return choice_.AllExcept(); }
    // The file applied, "" when none.
    const std::string& AppliedFile() const { return choice_.AppliedFile(); }
    const std::vector<QAction*>& FileActions() const { return fileActions_; }

private:
    void ShowApplied();

    TMainActions& actions_;
    std::vector<QAction*> fileActions_;
    TSubListChoice choice_;
};

}  // namespace qm
