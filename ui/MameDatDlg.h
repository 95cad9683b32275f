#pragma once
// The small dialog that asks for the name and type of a datafile built from MAME's game
// list. Build checks the names (and asks before an existing datafile is replaced) and
// closes the dialog with Accepted; the build itself is the datafile manager's.
#include <QDialog>
#include <functional>
#include <string>

#include "ui/commands/MameDatBuilder.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {

class TMameDatFrm : public QDialog {
    Q_OBJECT
public:
    explicit TMameDatFrm(QWidget* parent = nullptr);

    QLabel* ExeFile() const { return exeFile_; }
    QLineEdit* DatafileName() const { return datafileName_; }
    QLineEdit* Refname() const { return refname_; }
    QPushButton* BuildButton() const { return build_; }
    QPushButton* CancelButton() const { return cancel_; }

    // Shows the chosen executable.
    void SetExeFile(const std::string& fileName);
    TMameDatRequest Request() const;

    // The folder the datafile goes into, asked at each Build (the settings' datafile
    // folder unless set otherwise).
    std::function<std::string()> DestinationFolder;

    // The Build button: closes with Accepted once the checks pass.
    void Button2Click();

private:
    QLabel* exeFile_;
    QLineEdit* datafileName_;
    QLineEdit* refname_;
    QPushButton* build_;
    QPushButton* cancel_;
};

}  // namespace qm
