#pragma once
// The case-options dialog of the change-case command: which conversion, and whether it
// applies to the zips and folders themselves, to the files inside them, or to both. It
// only chooses; the main window's file commands do the renaming.
#include <QDialog>
#include <functional>

#include "ui/commands/ChangeCaseChoice.h"

class QButtonGroup;
class QCheckBox;
class QPushButton;
class QRadioButton;

namespace qm {

class TChangeCaseForm : public QDialog {
    Q_OBJECT
public:
    explicit TChangeCaseForm(QWidget* owner = nullptr);

    // What the controls show now.
    TChangeCaseChoice Choice() const;
    // Sets the controls to a choice (TCaseConversion::None clears every radio button).
    void SetChoice(const TChangeCaseChoice& choice);

    // Shows the dialog modally and returns the answer. The default shows it with
    // exec(); tests replace ShowModal to press the buttons themselves.
    TChangeCaseResult Ask();
    std::function<int(TChangeCaseForm&)> ShowModal;
    // Called with the choice when the user confirms with OK.
    std::function<void(const TChangeCaseChoice&)> OnAccept;

    QRadioButton* RadUppercase() const { return radUppercase_; }
    QRadioButton* RadLowercase() const { return radLowercase_; }
    QRadioButton* RadCapitalize() const { return radCapitalize_; }
    QRadioButton* RadDatafile() const { return radDatafile_; }
    QCheckBox* CbSet() const { return cbSet_; }
    QCheckBox* CbRoms() const { return cbRoms_; }
    QPushButton* Button1() const { return button1_; }  // Cancel
    QPushButton* Button2() const { return button2_; }  // OK

private:
    QButtonGroup* group_;
    QRadioButton* radUppercase_;
    QRadioButton* radLowercase_;
    QRadioButton* radCapitalize_;
    QRadioButton* radDatafile_;
    QCheckBox* cbSet_;
    QCheckBox* cbRoms_;
    QPushButton* button1_;
    QPushButton* button2_;
};

}  // namespace qm
