#pragma once
// The name filter box with its "Go" button and history list: what the user types, run
// through the commands' name filter rules.
#include <functional>
#include <string>

#include <QObject>

#include "ui/commands/ViewFilters.h"

class QComboBox;
class QAbstractButton;

namespace qm {

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
