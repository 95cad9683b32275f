#include "ui/QtUiHooks.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/Text.h"
#include "ui/ProgressFrm.h"
#include "ui/commands/TextConv.h"

namespace qm {

namespace {

constexpr const char* kResultProperty = "qmModalResult";

struct TButtonKind {
    TMsgDlgBtn bit;
    QMessageBox::StandardButton standard;  // NoButton: a button of our own
    const char* caption;
    TModalResult result;
};

// In the order the buttons of a box are laid out.
const TButtonKind kButtons[] = {
    {mbYes, QMessageBox::Yes, "&Yes", mrYes},
    {mbNo, QMessageBox::No, "&No", mrNo},
    {mbOK, QMessageBox::Ok, "OK", mrOk},
    {mbCancel, QMessageBox::Cancel, "Cancel", mrCancel},
    {mbAbort, QMessageBox::Abort, "&Abort", mrAbort},
    {mbRetry, QMessageBox::Retry, "&Retry", mrRetry},
    {mbIgnore, QMessageBox::Ignore, "&Ignore", mrIgnore},
    {mbAll, QMessageBox::NoButton, "&All", mrAll},
    {mbNoToAll, QMessageBox::NoToAll, "N&o to All", mrNoToAll},
    {mbYesToAll, QMessageBox::YesToAll, "Yes to &All", mrYesToAll},
};

QAbstractButton* ButtonFor(const QMessageBox& box, TModalResult result) {
    for (QAbstractButton* b : box.buttons())
        if (b->property(kResultProperty).toInt() == result) return b;
    return nullptr;
}

// Shows the normal arrow over a box while the hourglass is on, and puts the hourglass
// back afterwards.
class TArrowWhileBusy {
public:
    explicit TArrowWhileBusy(bool busy) : busy_(busy) {
        if (busy_) QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~TArrowWhileBusy() {
        if (busy_) QApplication::restoreOverrideCursor();
    }
    TArrowWhileBusy(const TArrowWhileBusy&) = delete;
    TArrowWhileBusy& operator=(const TArrowWhileBusy&) = delete;

private:
    bool busy_;
};

}  // namespace

void TQtUiHooks::ProcessMessages() { QCoreApplication::processEvents(); }

void TQtUiHooks::SetBusyCursor(bool busy) {
    if (busy) {
        ++busyDepth_;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (busyDepth_ > 0) {
        // An unmatched "off" must not pop a cursor someone else pushed.
        --busyDepth_;
        QApplication::restoreOverrideCursor();
    }
}

QWidget* TQtUiHooks::DialogParent() {
    if (TProgressForm* progress = TProgressForm::Current()) return progress;
    return QApplication::activeWindow();
}

std::unique_ptr<QMessageBox> CreateMessageDlg(const std::string& text, TMsgDlgType type,
                                              unsigned buttons, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    QString title;
    switch (type) {
    case TMsgDlgType::mtWarning:
        title = ui::ToQ(_("Warning"));
        box->setIcon(QMessageBox::Warning);
        break;
    case TMsgDlgType::mtError:
        title = ui::ToQ(_("Error"));
        box->setIcon(QMessageBox::Critical);
        break;
    case TMsgDlgType::mtInformation:
        title = ui::ToQ(_("Information"));
        box->setIcon(QMessageBox::Information);
        break;
    case TMsgDlgType::mtConfirmation:
        title = ui::ToQ(_("Confirm"));
        box->setIcon(QMessageBox::Question);
        break;
    case TMsgDlgType::mtCustom:
        title = QGuiApplication::applicationDisplayName();
        box->setIcon(QMessageBox::NoIcon);
        break;
    }
    box->setWindowTitle(title);
    box->setText(ui::ToQ(text));
    box->setTextFormat(Qt::PlainText);

    if ((buttons & 0x3FFu) == 0) buttons = mbOK;
    for (const TButtonKind& kind : kButtons) {
        if (!(buttons & kind.bit)) continue;
        QAbstractButton* b = kind.standard != QMessageBox::NoButton
                                 ? box->addButton(kind.standard)
                                 : box->addButton(QString(), QMessageBox::AcceptRole);
        b->setText(ui::ToQ(_(kind.caption)));
        b->setProperty(kResultProperty, int(kind.result));
    }

    QAbstractButton* def = ButtonFor(*box, mrOk);
    if (!def) def = ButtonFor(*box, mrYes);
    if (!def) def = ButtonFor(*box, mrRetry);
    if (auto* push = qobject_cast<QPushButton*>(def)) box->setDefaultButton(push);

    QAbstractButton* esc = ButtonFor(*box, mrCancel);
    if (!esc) esc = ButtonFor(*box, mrNo);
    if (!esc) esc = ButtonFor(*box, mrOk);
    box->setEscapeButton(esc);
    return box;
}

bool OpenWithDesktop(const std::string& url) {
    // A local name is opened as a file; anything else as the address it is.
    const QUrl target = !url.empty() && url[0] == '/' ? QUrl::fromLocalFile(ui::ToQ(url)) : QUrl(ui::ToQ(url));
    if (QDesktopServices::openUrl(target)) return true;
    UiHooks().MessageDlg(Fmt(_("%1 could not be opened: no program on this system accepted it."), {url}),
                         TMsgDlgType::mtError, mbOK);
    return false;
}

int MessageDlgResult(const QMessageBox& box) {
    QAbstractButton* clicked = box.clickedButton();
    if (!clicked) return mrCancel;
    bool ok = false;
    const int result = clicked->property(kResultProperty).toInt(&ok);
    return ok ? result : mrCancel;
}

int TQtUiHooks::MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) {
    auto box = CreateMessageDlg(text, type, buttons, DialogParent());
    TArrowWhileBusy arrow(busyDepth_ > 0);
    box->exec();
    return MessageDlgResult(*box);
}

bool TQtUiHooks::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
    QInputDialog dialog(DialogParent());
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(ui::ToQ(caption));
    dialog.setLabelText(ui::ToQ(prompt));
    dialog.setTextValue(ui::ToQ(value));
    TArrowWhileBusy arrow(busyDepth_ > 0);
    if (dialog.exec() != QDialog::Accepted) return false;
    value = ui::FromQ(dialog.textValue());
    return true;
}

bool TQtUiHooks::LoginQuery(const std::string& caption, const std::string& prompt, std::string& user,
                            std::string& password) {
    TLoginDialog dialog(caption, prompt, user, password, DialogParent());
    TArrowWhileBusy arrow(busyDepth_ > 0);
    if (dialog.exec() != QDialog::Accepted) return false;
    user = dialog.UserName();
    password = dialog.Password();
    return true;
}

TLoginDialog::TLoginDialog(const std::string& caption, const std::string& prompt, const std::string& user,
                           const std::string& password, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(ui::ToQ(caption));
    prompt_ = new QLabel(ui::ToQ(prompt), this);
    prompt_->setTextFormat(Qt::PlainText);
    prompt_->setWordWrap(true);
    prompt_->setVisible(!prompt.empty());
    userEdit_ = new QLineEdit(ui::ToQ(user), this);
    passwordEdit_ = new QLineEdit(ui::ToQ(password), this);
    passwordEdit_->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    form->addRow(ui::ToQ(_("User name:")), userEdit_);
    form->addRow(ui::ToQ(_("Password:")), passwordEdit_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(ui::ToQ(_("OK")));
    buttons->button(QDialogButtonBox::Cancel)->setText(ui::ToQ(_("Cancel")));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt_);
    layout->addLayout(form);
    layout->addWidget(buttons);
    // The password is what the user usually has to type; a known user name is filled.
    (user.empty() ? userEdit_ : passwordEdit_)->setFocus();
}

std::string TLoginDialog::UserName() const { return ui::FromQ(userEdit_->text()); }
std::string TLoginDialog::Password() const { return ui::FromQ(passwordEdit_->text()); }

}  // namespace qm
