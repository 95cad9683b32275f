// The database and path filters over the settings, and the name filter's pattern and history.
#include "ui/commands/ViewFilters.h"

#include <QRegularExpression>

#include "archive/stringsTools.h"
#include "catalogue/config.h"
#include "platform/Text.h"
#include "ui/commands/ChildList.h"
#include "ui/commands/TextConv.h"

namespace qm {

namespace {

using enum TActionId;

struct TSetting {
    TActionId Id;
    bool (TConfig::*Get)() const;
    void (TConfig::*Set)(bool);
};

constexpr TSetting kPathFilters[] = {
    {ActTVGood, &TConfig::TVGood, &TConfig::SetTVGood},
    {ActTVIncomplete, &TConfig::TVIncomplete, &TConfig::SetTVIncomplete},
    {ActTVUnknown, &TConfig::TVUnknown, &TConfig::SetTVUnknown},
    {ActTVBadName, &TConfig::TVBadName, &TConfig::SetTVBadName},
};

constexpr TSetting kDatabaseFilters[] = {
    {ActDBPlayable, &TConfig::DBPlayable, &TConfig::SetDBPlayable},
    {ActDBMissing, &TConfig::DBMissing, &TConfig::SetDBMissing},
    {ActDBIncomplete, &TConfig::DBIncomplete, &TConfig::SetDBIncomplete},
};

void Check(TActionChecks& actions, TActionId id, bool checked) { actions.SetChecked(id, checked); }

}  // namespace

void CheckFilterActions(TActionChecks& actions, const TConfig& config) {
    for (const TSetting& s : kPathFilters) Check(actions, s.Id, (config.*s.Get)());
    Check(actions, ActTVMissing, config.TVMissing());
    for (const TSetting& s : kDatabaseFilters) Check(actions, s.Id, (config.*s.Get)());
    Check(actions, ActDBClones, config.DBLevel());
    Check(actions, ActDBSets, !config.DBLevel());
}

void ApplyFilters(const TActionChecks& actions, const TConfig& config, TChildCollector& tree) {
    TDatabaseFilters db;
    if (config.DBPlayable()) db.Include(dfShowComplete);
    if (config.DBMissing()) db.Include(dfShowMissing);
    if (config.DBIncomplete()) db.Include(dfShowIncomplete);
    tree.DatabaseFilters = db;
    if (actions.Checked(ActDBSets)) tree.SetDisplayLevel(dlGames);
    if (actions.Checked(ActDBClones)) tree.SetDisplayLevel(dlClones);
    TPathFilters paths;
    if (config.TVGood()) paths.Include(pfShowPlayable);
    if (config.TVIncomplete()) paths.Include(pfShowIncomplete);
    if (config.TVUnknown()) paths.Include(pfShowUnknown);
    if (config.TVBadName()) paths.Include(pfShowNeedFix);
    tree.PathFilters = paths;
}

bool TVFilterClick(TActionChecks& actions, TActionId id, TConfig& config, TChildCollector& tree) {
    const bool checked = actions.Checked(id);
    for (const TSetting& s : kPathFilters)
        if (s.Id == id) (config.*s.Set)(checked);
    ApplyFilters(actions, config, tree);
    return true;
}

bool DBFilterClick(TActionChecks& actions, TActionId id, TConfig& config, TChildCollector& tree) {
    if (id == ActDBClones || id == ActDBSets) {
        // The stored level says which one was checked before the click, whatever Qt did
        // to the check marks (a plain action toggles, an exclusive group re-checks).
        const bool clones = id == ActDBClones;
        const bool wasChecked = clones == config.DBLevel();
        Check(actions, ActDBClones, wasChecked ? config.DBLevel() : clones);
        Check(actions, ActDBSets, wasChecked ? !config.DBLevel() : !clones);
        if (wasChecked) return false;
        config.SetDBLevel(clones);
        tree.ResetRomCount();
    } else {
        for (const TSetting& s : kDatabaseFilters)
            if (s.Id == id) (config.*s.Set)(actions.Checked(id));
    }
    ApplyFilters(actions, config, tree);
    return true;
}

// ---------------------------------------------------------------------------------------

std::string NameFilterPattern(std::string_view text) {
    std::string pattern;
    pattern.reserve(text.size() + 8);
    for (char c : text) {
        switch (c) {
            case '(':
            case ')':
            case '[':
            case ']':
                pattern += '\\';
                pattern += c;
                break;
            case '*': pattern += ".*"; break;
            default: pattern += c; break;
        }
    }
    return pattern;
}

std::string NameFilterError(const std::string& pattern) {
    if (pattern.empty()) return {};
    const QRegularExpression expression(ui::ToQ(pattern), QRegularExpression::CaseInsensitiveOption);
    if (expression.isValid()) return {};
    return ui::FromQ(expression.errorString());
}

void TFilterHistory::Add(const std::string& text) {
    if (text.empty()) return;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (SameText(*it, text)) {
            entries_.erase(it);
            break;
        }
    }
    if (static_cast<int>(entries_.size()) >= kMaxEntries) entries_.resize(kMaxEntries - 1);
    entries_.insert(entries_.begin(), text);
}

}  // namespace qm
