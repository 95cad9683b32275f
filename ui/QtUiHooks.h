#pragma once
// The user interface's answer to what the code below it may ask (platform/UiHooks.h):
// event processing, the hourglass, message boxes, text prompts and the login box, all
// with Qt Widgets. Installed once at start-up with qm::SetUiHooks.
#include <QDialog>
#include <QMessageBox>

#include <memory>
#include <string>

#include "platform/UiHooks.h"

class QLabel;
class QLineEdit;

namespace qm {

class TQtUiHooks : public IUiHooks {
public:
    void ProcessMessages() override;
    void SetBusyCursor(bool busy) override;
    int MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) override;
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
    bool LoginQuery(const std::string& caption, const std::string& prompt, std::string& user,
                    std::string& password) override;

    int BusyDepth() const { return busyDepth_; }

    // The window a box is parented to: the progress window while one is shown (the
    // main window is disabled then), else the active window.
    static QWidget* DialogParent();

private:
    int busyDepth_ = 0;
};

// The message box MessageDlg shows: title and icon from the type, one button per bit
// of `buttons` (OK when none), Enter on OK, else Yes, else Retry; Escape on Cancel,
// else No, else OK.
std::unique_ptr<QMessageBox> CreateMessageDlg(const std::string& text, TMsgDlgType type,
                                              unsigned buttons, QWidget* parent);
// The answer of a box made by CreateMessageDlg once it has closed; mrCancel when it
// closed without a button.
int MessageDlgResult(const QMessageBox& box);

// Hands a web page, folder or document to the desktop; when no program takes it, an
// error box says so. True when it was taken.
bool OpenWithDesktop(const std::string& url);

// A line of text, then user name and password (the password hidden), both filled with
// the values given.
class TLoginDialog : public QDialog {
    Q_OBJECT
public:
    TLoginDialog(const std::string& caption, const std::string& prompt, const std::string& user,
                 const std::string& password, QWidget* parent = nullptr);

    std::string UserName() const;
    std::string Password() const;
    QLineEdit* UserEdit() const { return userEdit_; }
    QLineEdit* PasswordEdit() const { return passwordEdit_; }
    QLabel* PromptLabel() const { return prompt_; }

private:
    QLabel* prompt_;
    QLineEdit* userEdit_;
    QLineEdit* passwordEdit_;
};

}  // namespace qm
