#include "ui/NameFilterBox.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>

#include "platform/Text.h"
#include "ui/commands/TextConv.h"

namespace qm {

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
