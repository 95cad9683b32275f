#pragma once
// The filters of the views: the database and path filters kept in the settings and
// toggled by their actions' check marks, and the name filter's pattern and history.
#include <string>
#include <string_view>
#include <vector>

#include "ui/commands/ActionIds.h"

namespace qm {

class TChildCollector;
class TConfig;

// ---- Database and path filters -----------------------------------------------------

// The ten filter actions checked as the settings say.
void CheckFilterActions(TActionChecks& actions, const TConfig& config);

// The settings and the level actions handed to the tree (the list shows what the tree
// hands it).
void ApplyFilters(const TActionChecks& actions, const TConfig& config, TChildCollector& tree);

// A click of a path filter action, after Qt toggled its check mark: the new state is
// stored (the missing-files filter is not) and applied. True: rebuild the tree.
bool TVFilterClick(TActionChecks& actions, TActionId id, TConfig& config, TChildCollector& tree);

// A click of a database filter action, likewise. Sets and clones are a pair of which one
// is checked: a click on the checked one changes nothing and returns false; a click on
// the other checks it, unchecks its partner, stores the level and resets the tree's
// cached rom count. True: rebuild the tree and show its counters again.
bool DBFilterClick(TActionChecks& actions, TActionId id, TConfig& config, TChildCollector& tree);

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

}  // namespace qm
