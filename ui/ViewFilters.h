#pragma once
// The filters of the views: the database filters (which game states the tree lists, and
// sets or clones) and the path filters (which file states), kept in the settings and
// toggled by their actions; and the name filter box with its history.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QObject>

#include "ui/MainActions.h"

class QComboBox;
class QAbstractButton;

namespace qm {

class TChildCollector;
class TConfig;

// ---- Database and path filters -----------------------------------------------------

// The ten filter actions checked as the settings say.
void CheckFilterActions(TMainActions& actions, const TConfig& config);

// The settings and the level actions handed to the tree (the list shows what the tree
// hands it).
void ApplyFilters(const TMainActions& actions, const TConfig& config, TChildCollector& tree);

// A click of a path filter action, after Qt toggled its check mark: the new state is
// stored (the missing-files filter is not) and applied. True: rebuild the tree.
bool TVFilterClick(TMainActions& actions, TActionId id, TConfig& config, TChildCollector& tree);

// A click of a database filter action, likewise. Sets and clones are a pair of which one
// is checked: a click on the checked one changes nothing and returns false; a click on
// the other checks it, unchecks its partner, stores the level and resets the tree's
// cached rom count. True: rebuild the tree and show its counters again.
bool DBFilterClick(TMainActions& actions, TActionId id, TConfig& config, TChildCollector& tree);

// ---- Name filter -----------------------------------------------------------------

// The box's text as a regular expression: "(", ")", "[" and "]" match themselves, then
// "*" matches any run of characters; every other character keeps its meaning.
std::string NameFilterPattern(std::string_view text);

// "" when the pattern compiles (as the views compile it), else why not.
std::string NameFilterError(const std::string& pattern);

// The last filters entered: at most five, newest first, no two equal without regard to
// case.
class TFilterHistory {
public:
    static constexpr int kMaxEntries = 5;

    // Nothing for an empty text; an equal entry moves to the top (with the new text).
    void Add(const std::string& text);
    const std::vector<std::string>& Entries() const { return entries_; }

private:
    std::vector<std::string> entries_;
};

// The name filter box and its "Go" button: Enter applies the text and records it in
// the history, a choice from the list and the button apply it. A pattern that does not
// compile is not applied: the views keep the previous filter and the box shows why.
class TNameFilterBox : public QObject {
public:
    TNameFilterBox(QComboBox* box, QAbstractButton* go, QObject* parent = nullptr);

    // The pattern for both views; the owner gives it to them and rebuilds the tree.
    std::function<void(const std::string& pattern)> OnApply;
    // Runs what the user did in the box (Enter, a choice, the button) as one command;
    // false when it was dropped (another command runs). Unset: run at once.
    std::function<bool(const std::function<void()>& command)> RunCommand;

    // Applies the box's text; false when its pattern is invalid.
    bool Apply();
    // Enter: Apply, then the text into the history when it was applied.
    void Enter();
    // The text back to "*", applied (a datafile change).
    void Reset();

    const std::string& AppliedPattern() const { return applied_; }
    // Why the last text was not applied; "" when it was.
    const std::string& Error() const { return error_; }
    const TFilterHistory& History() const { return history_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UserCommand(void (TNameFilterBox::*command)());
    void ApplyText() { Apply(); }
    void ShowHistory();
    void ShowError();

    QComboBox* box_;
    TFilterHistory history_;
    std::string applied_ = ".*";
    std::string error_;
};

}  // namespace qm
