#include "ui/QtUiHooks.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "ui/ProgressFrm.h"

namespace qm {
namespace {

// Acts on the first modal window that appears, from the event loop of that window, so
// that the test never waits for a person. Whatever is still open when the object goes
// out of scope or after five seconds is rejected and counted as a failure.
class TModalDriver {
public:
    explicit TModalDriver(std::function<void(QWidget*)> act) : act_(std::move(act)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) return;
            poll_.stop();
            act_(modal);
        });
        QObject::connect(&watchdog_, &QTimer::timeout, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "a modal window was left open";
                dialog->reject();
            }
        });
        poll_.start(10);
        watchdog_.setSingleShot(true);
        watchdog_.start(5000);
    }

private:
    std::function<void(QWidget*)> act_;
    QTimer poll_;
    QTimer watchdog_;
};

QAbstractButton* ButtonWithText(QMessageBox& box, const QString& text) {
    for (QAbstractButton* b : box.buttons())
        if (b->text() == text) return b;
    return nullptr;
}

TEST(QtUiHooks, BusyCursorNestsAndAnUnmatchedOffLeavesOtherCursorsAlone) {
    TQtUiHooks hooks;
    QApplication::setOverrideCursor(Qt::CrossCursor);  // someone else's
    hooks.SetBusyCursor(true);
    hooks.SetBusyCursor(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    hooks.SetBusyCursor(false);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    hooks.SetBusyCursor(false);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
    hooks.SetBusyCursor(false);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
    EXPECT_EQ(hooks.BusyDepth(), 0);
    QApplication::restoreOverrideCursor();
}

TEST(QtUiHooks, ProcessMessagesDeliversPendingEvents) {
    TQtUiHooks hooks;
    bool delivered = false;
    QMetaObject::invokeMethod(qApp, [&] { delivered = true; }, Qt::QueuedConnection);
    hooks.ProcessMessages();
    EXPECT_TRUE(delivered);
}

TEST(QtUiHooks, MessageBoxHasOneButtonPerBitWithTheRightDefaultAndEscape) {
    struct Case {
        unsigned buttons;
        std::set<int> results;
        int enter;
        int escape;
    };
    const Case cases[] = {
        {mbOK, {mrOk}, mrOk, mrOk},
        {0, {mrOk}, mrOk, mrOk},
        {mbYes | mbNo, {mrYes, mrNo}, mrYes, mrNo},
        {mbYes | mbNo | mbCancel, {mrYes, mrNo, mrCancel}, mrYes, mrCancel},
        {mbOK | mbCancel, {mrOk, mrCancel}, mrOk, mrCancel},
        {mbAbort | mbRetry | mbIgnore, {mrAbort, mrRetry, mrIgnore}, mrRetry, -1},
        {mbYes | mbNo | mbAll | mbNoToAll | mbYesToAll, {mrYes, mrNo, mrAll, mrNoToAll, mrYesToAll}, mrYes, mrNo},
    };
    for (const Case& c : cases) {
        auto box = CreateMessageDlg("text", TMsgDlgType::mtConfirmation, c.buttons, nullptr);
        std::set<int> results;
        for (QAbstractButton* b : box->buttons()) {
            b->click();
            results.insert(MessageDlgResult(*box));
        }
        EXPECT_EQ(results, c.results) << "buttons " << c.buttons;
        auto result = [&](QAbstractButton* b) {
            if (!b) return -1;
            b->click();
            return MessageDlgResult(*box);
        };
        EXPECT_EQ(result(box->defaultButton()), c.enter) << "buttons " << c.buttons;
        EXPECT_EQ(result(box->escapeButton()), c.escape) << "buttons " << c.buttons;
    }
}

TEST(QtUiHooks, MessageBoxTitleIconAndText) {
    struct Case { TMsgDlgType type; QString title; QMessageBox::Icon icon; };
    const Case cases[] = {
        {TMsgDlgType::mtWarning, "Warning", QMessageBox::Warning},
        {TMsgDlgType::mtError, "Error", QMessageBox::Critical},
        {TMsgDlgType::mtInformation, "Information", QMessageBox::Information},
        {TMsgDlgType::mtConfirmation, "Confirm", QMessageBox::Question},
    };
    for (const Case& c : cases) {
        auto box = CreateMessageDlg("Delete <b>file</b> caf\xc3\xa9?", c.type, mbYes | mbNo, nullptr);
        EXPECT_EQ(box->windowTitle(), c.title);
        EXPECT_EQ(box->icon(), c.icon);
        EXPECT_EQ(box->text(), QString::fromUtf8("Delete <b>file</b> caf\xc3\xa9?"));
        EXPECT_EQ(box->textFormat(), Qt::PlainText);  // a file name is never markup
    }
    // Not UTF-8: shown as Latin-1, nothing lost.
    auto box = CreateMessageDlg("caf\xe9", TMsgDlgType::mtError, mbOK, nullptr);
    EXPECT_EQ(box->text(), QString::fromLatin1("caf\xe9"));
    EXPECT_EQ(MessageDlgResult(*box), mrCancel);  // closed without a button
}

TEST(QtUiHooks, MessageDlgOnTopOfTheProgressWindowReturnsTheButtonPressed) {
    TQtUiHooks hooks;
    QWidget mainWindow;
    mainWindow.show();
    TProgressFrm progress;
    progress.Start(&mainWindow);
    QWidget* parent = nullptr;
    TModalDriver driver([&](QWidget* modal) {
        parent = modal->parentWidget();
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        QAbstractButton* no = ButtonWithText(*box, "&No");
        ASSERT_NE(no, nullptr);
        no->click();
    });
    EXPECT_EQ(hooks.MessageDlg("Overwrite?", TMsgDlgType::mtConfirmation, mbYes | mbNo), mrNo);
    EXPECT_EQ(parent, progress.Form());
    progress.Stop();
}

TEST(QtUiHooks, InputQueryGivesTheTypedTextOrKeepsTheValueWhenCancelled) {
    TQtUiHooks hooks;
    std::string value = "old name";
    {
        TModalDriver driver([](QWidget* modal) {
            auto* dialog = qobject_cast<QInputDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), "Rename");
            EXPECT_EQ(dialog->labelText(), "New name:");
            EXPECT_EQ(dialog->textValue(), "old name");
            dialog->setTextValue(QString::fromUtf8("nouveau n\xc3\xa9"));
            dialog->accept();
        });
        EXPECT_TRUE(hooks.InputQuery("Rename", "New name:", value));
        EXPECT_EQ(value, "nouveau n\xc3\xa9");
    }
    {
        TModalDriver driver([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
        EXPECT_FALSE(hooks.InputQuery("Rename", "New name:", value));
        EXPECT_EQ(value, "nouveau n\xc3\xa9");
    }
}

TEST(QtUiHooks, LoginQueryHidesThePasswordAndReturnsBoth) {
    TQtUiHooks hooks;
    std::string user = "anna";
    std::string password = "old";
    {
        TModalDriver driver([](QWidget* modal) {
            auto* dialog = qobject_cast<TLoginDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), "Proxy login");
            EXPECT_EQ(dialog->PromptLabel()->text(), "Proxy proxy.example:3128 needs a login");
            EXPECT_EQ(dialog->UserEdit()->text(), "anna");
            EXPECT_EQ(dialog->PasswordEdit()->text(), "old");
            EXPECT_EQ(dialog->PasswordEdit()->echoMode(), QLineEdit::Password);
            dialog->UserEdit()->setText("bob");
            dialog->PasswordEdit()->setText("s3cret");
            dialog->accept();
        });
        EXPECT_TRUE(hooks.LoginQuery("Proxy login", "Proxy proxy.example:3128 needs a login", user, password));
        EXPECT_EQ(user, "bob");
        EXPECT_EQ(password, "s3cret");
    }
    {
        TModalDriver driver([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
        EXPECT_FALSE(hooks.LoginQuery("Proxy login", "Proxy proxy.example:3128 needs a login", user, password));
        EXPECT_EQ(user, "bob");
    }
}

}  // namespace
}  // namespace qm

// A page no program takes is not passed over in silence.
TEST(QtUiHooks, AnAddressNoProgramOpensIsToldInABox) {
    qm::TScriptedUiHooks hooks;
    qm::TScopedUiHooks scope(hooks);
    EXPECT_FALSE(qm::OpenWithDesktop("quarmelle-none://page"));
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].text, "quarmelle-none://page could not be opened: no program on this system accepted it.");
    EXPECT_EQ(hooks.shown[0].type, qm::TMsgDlgType::mtError);
}
