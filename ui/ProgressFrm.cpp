#include "ui/ProgressFrm.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <exception>
#include <vector>

#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/commands/TextConv.h"
#include "ui/controls/ALProgressBar.h"

namespace qm {

namespace {

// Visible progress windows, the one shown last at the back.
std::vector<TProgressForm*>& ShownForms() {
    static std::vector<TProgressForm*> forms;
    return forms;
}

void Forget(TProgressForm* form) {
    auto& forms = ShownForms();
    forms.erase(std::remove(forms.begin(), forms.end(), form), forms.end());
}

}  // namespace

TProgressForm::TProgressForm()
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(ui::ToQ(_("Please wait...")));
    setFixedSize(296, 69);
    setCursor(Qt::WaitCursor);

    waitInfo_ = new QLabel(ui::ToQ(_("Processing...")), this);
    waitInfo_->setGeometry(8, 8, 233, 16);

    image1_ = new QLabel(this);
    image1_->setGeometry(248, 0, 32, 32);
    image1_->setAlignment(Qt::AlignCenter);
    image1_->setScaledContents(true);
    image1_->setAttribute(Qt::WA_TranslucentBackground);

    waitProgressBar_ = new TALProgressBar(this);
    waitProgressBar_->setGeometry(8, 32, 217, 15);
    waitProgressBar_->SetBarColor1(QColor(0x80, 0xFF, 0x80));
    waitProgressBar_->SetBarColor2(QColor(0xFF, 0xFF, 0x80));
    waitProgressBar_->SetBarColor3(QColor(0xFF, 0x80, 0x40));
    waitProgressBar_->SetPosTextSuffix(QStringLiteral("%"));

    cancel_ = new QPushButton(ui::ToQ(_("Cancel")), this);
    cancel_->setGeometry(232, 48, 59, 17);
    cancel_->setToolTip(ui::ToQ(_("Cancel operation")));
    QFont font = cancel_->font();
    font.setFamily(QStringLiteral("Arial"));
    cancel_->setFont(font);
    cancel_->setFocusPolicy(Qt::NoFocus);
    cancel_->setCursor(Qt::ArrowCursor);
}

TProgressForm::~TProgressForm() { Forget(this); }

TProgressForm* TProgressForm::Current() {
    const auto& forms = ShownForms();
    return forms.empty() ? nullptr : forms.back();
}

void TProgressForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Forget(this);
    ShownForms().push_back(this);
}

void TProgressForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    Forget(this);
}

void TProgressForm::closeEvent(QCloseEvent* event) { event->ignore(); }

TProgressFrm::TProgressFrm(QObject* owner)
    : QObject(owner), form_(std::make_unique<TProgressForm>()), controller_(*this) {
    // The click arrives from the event loop, which no exception may cross.
    connect(form_->Cancel(), &QPushButton::clicked, this, [this] {
        try {
            controller_.CancelClick();
        } catch (const std::exception& e) {
            UiHooks().MessageDlg(e.what(), TMsgDlgType::mtError, mbOK);
        }
    });
    SetTitle(_("Please wait..."));
}

TProgressFrm::~TProgressFrm() = default;

void TProgressFrm::Start(QWidget* control) {
    TLockedControl lock;
    lock.id = control;
    if (control) {
        QPointer<QWidget> guarded(control);
        lock.setEnabled = [guarded](bool enabled) {
            if (guarded) guarded->setEnabled(enabled);
        };
        transientFor_ = control->window();
    }
    controller_.Start(std::move(lock));
}

void TProgressFrm::Stop() { controller_.Stop(); }
void TProgressFrm::Reset() { controller_.Reset(); }
void TProgressFrm::StepIt() { controller_.StepIt(); }

QColor TProgressFrm::BarColor1() const { return form_->WaitProgressBar()->BarColor1(); }
void TProgressFrm::SetBarColor1(const QColor& value) { form_->WaitProgressBar()->SetBarColor1(value); }
QColor TProgressFrm::BarColor2() const { return form_->WaitProgressBar()->BarColor2(); }
void TProgressFrm::SetBarColor2(const QColor& value) { form_->WaitProgressBar()->SetBarColor2(value); }
QColor TProgressFrm::BarColor3() const { return form_->WaitProgressBar()->BarColor3(); }
void TProgressFrm::SetBarColor3(const QColor& value) { form_->WaitProgressBar()->SetBarColor3(value); }

std::string TProgressFrm::Title() const { return ui::FromQ(form_->windowTitle()); }
void TProgressFrm::SetTitle(const std::string& title) { form_->setWindowTitle(ui::ToQ(title)); }

void TProgressFrm::SetBitMap(const QImage& image) {
    bitmap_ = image;
    form_->Image1()->setPixmap(QPixmap::fromImage(image));
}

void TProgressFrm::ShowWindow() {
    TProgressForm* form = form_.get();
    QScreen* screen = transientFor_ ? transientFor_->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = form->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        form->move(frame.topLeft());
    }
    // Keeps the window above the locked one without making it a child of it (a child
    // would be disabled with it).
    form->winId();
    if (form->windowHandle() && transientFor_ && transientFor_->windowHandle())
        form->windowHandle()->setTransientParent(transientFor_->windowHandle());
    form->show();
    form->raise();
}

void TProgressFrm::HideWindow() {
    form_->hide();
    if (form_->windowHandle()) form_->windowHandle()->setTransientParent(nullptr);
    transientFor_ = nullptr;
}

void TProgressFrm::SetText(const std::string& text) { form_->WaitInfo()->setText(ui::ToQ(text)); }

void TProgressFrm::SetTextTop(int top) {
    QLabel* label = form_->WaitInfo();
    label->move(label->x(), top);
}

void TProgressFrm::SetBarPosition(int position) { form_->WaitProgressBar()->SetPosition(position); }

void TProgressFrm::SetBarVisible(bool visible) {
    form_->WaitProgressBar()->setEnabled(visible);
    form_->WaitProgressBar()->setVisible(visible);
}

void TProgressFrm::SetCancelEnabled(bool enabled) { form_->Cancel()->setEnabled(enabled); }
void TProgressFrm::SetCancelVisible(bool visible) { form_->Cancel()->setVisible(visible); }

}  // namespace qm
