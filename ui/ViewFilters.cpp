#include "ui/ViewFilters.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalBlocker>

#include "archive/stringsTools.h"
#include "catalogue/config.h"
#include "platform/Text.h"
#include "ui/TextConv.h"
#include "ui/views/ChildList.h"

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

void Check(TMainActions& actions, TActionId id, bool checked) { actions.Action(id)->setChecked(checked); }

}  // namespace

void CheckFilterActions(TMainActions& actions, const TConfig& config) {
    for (const TSetting& s : kPathFilters) Check(actions, s.Id, (config.*s.Get)());
    Check(actions, ActTVMissing, config.TVMissing());
    for (const TSetting& s : kDatabaseFilters) Check(actions, s.Id, (config.*s.Get)());
    Check(actions, ActDBClones, config.DBLevel());
    Check(actions, ActDBSets, !config.DBLevel());
}

void ApplyFilters(const TMainActions& actions, const TConfig& config, TChildCollector& tree) {
    TDatabaseFilters db;
    if (config.DBPlayable()) db.Include(dfShowComplete);
    if (config.DBMissing()) db.Include(dfShowMissing);
    if (config.DBIncomplete()) db.Include(dfShowIncomplete);
    tree.DatabaseFilters = db;
    if (actions.Action(ActDBSets)->isChecked()) tree.SetDisplayLevel(dlGames);
    if (actions.Action(ActDBClones)->isChecked()) tree.SetDisplayLevel(dlClones);
    TPathFilters paths;
    if (config.TVGood()) paths.Include(pfShowPlayable);
    if (config.TVIncomplete()) paths.Include(pfShowIncomplete);
    if (config.TVUnknown()) paths.Include(pfShowUnknown);
    if (config.TVBadName()) paths.Include(pfShowNeedFix);
    tree.PathFilters = paths;
}

bool TVFilterClick(TMainActions& actions, TActionId id, TConfig& config, TChildCollector& tree) {
    const bool checked = actions.Action(id)->isChecked();
    for (const TSetting& s : kPathFilters)
        if (s.Id == id) (config.*s.Set)(checked);
    ApplyFilters(actions, config, tree);
    return true;
}

bool DBFilterClick(TMainActions& actions, TActionId id, TConfig& config, TChildCollector& tree) {
    QAction* action = actions.Action(id);
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
            if (s.Id == id) (config.*s.Set)(action->isChecked());
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

// ---------------------------------------------------------------------------------------

TNameFilterBox::TNameFilterBox(QComboBox* box, QAbstractButton* go, QObject* parent) : QObject(parent), box_(box) {
    // Enter is taken from the key itself, and taken away: the combo, which has the
    // focus, hands its keys to its line edit without passing this filter, and either of
    // them would answer Enter once more (returnPressed, an activation of a known text).
    box_->installEventFilter(this);
    if (QLineEdit* edit = box_->lineEdit()) edit->installEventFilter(this);
    // A choice of the user only: activated is not emitted for changes made from code.
    connect(box_, &QComboBox::activated, this, [this](int) { UserCommand(&TNameFilterBox::ApplyText); });
    if (go != nullptr) connect(go, &QAbstractButton::clicked, this, [this] { UserCommand(&TNameFilterBox::ApplyText); });
}

void TNameFilterBox::UserCommand(void (TNameFilterBox::*command)()) {
    if (RunCommand)
        RunCommand([this, command] { (this->*command)(); });
    else
        (this->*command)();
}

bool TNameFilterBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            UserCommand(&TNameFilterBox::Enter);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

bool TNameFilterBox::Apply() {
    const std::string pattern = NameFilterPattern(ui::FromQ(box_->currentText()));
    error_ = NameFilterError(pattern);
    ShowError();
    if (!error_.empty()) return false;
    applied_ = pattern;
    if (OnApply) OnApply(applied_);
    return true;
}

void TNameFilterBox::Enter() {
    if (!Apply()) return;
    history_.Add(ui::FromQ(box_->currentText()));
    ShowHistory();
}

void TNameFilterBox::Reset() {
    box_->setEditText(QStringLiteral("*"));
    Apply();
}

void TNameFilterBox::ShowHistory() {
    const QString text = box_->currentText();
    QSignalBlocker block(box_);
    box_->clear();
    for (const std::string& entry : history_.Entries()) box_->addItem(ui::ToQ(entry));
    // The entry of the text current, so that the combo's own end-of-editing check finds
    // nothing to activate.
    box_->setCurrentIndex(history_.Entries().empty() ? -1 : 0);
    box_->setEditText(text);
}

void TNameFilterBox::ShowError() {
    QLineEdit* edit = box_->lineEdit();
    if (edit == nullptr) return;
    if (error_.empty()) {
        edit->setToolTip(QString());
        edit->setStyleSheet(QString());
    } else {
        edit->setToolTip(ui::ToQ(Fmt(_("Invalid filter: %1"), {error_})));
        edit->setStyleSheet(QStringLiteral("color: red;"));
    }
}

}  // namespace qm
