#include "ui/SplashFrm.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

#include "archive/stringsTools.h"
#include "catalogue/config.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/SkinPainter.h"
#include "ui/commands/TextConv.h"
#include "ui/controls/ALProgressBar.h"

namespace qm {

namespace {

QLabel* PlainLabel(QWidget* parent, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);  // datafile names are shown as they are
    label->setAlignment(alignment);
    return label;
}

}  // namespace

TSplashForm::TSplashForm()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint),
      ProgramVersion(TConfig::CurrentVersion) {
    setObjectName(QStringLiteral("SplashForm"));
    setWindowTitle(ui::ToQ(_("Please wait...")));
    setFixedSize(380, 262);

    panel1_ = new QFrame(this);
    panel1_->setFrameShape(QFrame::Box);
    panel1_->setGeometry(0, 0, 380, 262);
    panel1_->setCursor(Qt::WaitCursor);

    image1_ = new QLabel(panel1_);
    image1_->setGeometry(8, 8, 364, 128);
    image1_->setPixmap(QPixmap::fromImage(TSkinPainter::SplashPicture(364, 128)));

    beta_ = new QLabel(panel1_);
    const QImage badge = TSkinPainter::BetaBadge();
    beta_->setPixmap(QPixmap::fromImage(badge));
    beta_->setGeometry(372 - badge.width() - 6, 14, badge.width(), badge.height());
    beta_->hide();

    version_ = PlainLabel(panel1_, Qt::AlignCenter);
    version_->setGeometry(8, 140, 364, 18);
    QFont bold = version_->font();
    bold.setBold(true);
    version_->setFont(bold);

    infoslbl_ = PlainLabel(panel1_);
    infoslbl_->setGeometry(12, 160, 356, 18);

    progressBar_ = new TALProgressBar(panel1_);
    progressBar_->setGeometry(12, 180, 356, 16);
    progressBar_->SetPosTextSuffix(QStringLiteral("%"));
    progressBar_->SetBarColor1(QColor(0x80, 0xFF, 0x80));
    progressBar_->SetBarColor2(QColor(0xFF, 0xFF, 0x80));
    progressBar_->SetBarColor3(QColor(0xFF, 0x80, 0x40));

    label1_ = PlainLabel(panel1_);
    label1_->setText(ui::ToQ(_("A rom manager for emulator users.")));
    label1_->setGeometry(12, 202, 260, 16);

    quarmelleVersion_ = PlainLabel(panel1_, Qt::AlignRight | Qt::AlignVCenter);
    quarmelleVersion_->setGeometry(272, 202, 96, 16);

    translationAuthor_ = PlainLabel(panel1_, Qt::AlignCenter);
    translationAuthor_->setGeometry(8, 220, 364, 16);

    skip_ = new QPushButton(ui::ToQ(_("Cancel")), panel1_);
    skip_->setGeometry(300, 236, 72, 22);
    skip_->setCursor(Qt::ArrowCursor);
    connect(skip_, &QPushButton::clicked, this, [this] { SkipClick(); });
}

bool TSplashForm::IsBetaVersion(const std::string& version) {
    return LowerCase(version).find("beta") != std::string::npos;
}

void TSplashForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    translationAuthor_->setText(ui::ToQ(_("English texts by the Quarmelle developers")));
    beta_->hide();
    quarmelleVersion_->clear();
    version_->clear();
    infoslbl_->clear();
    cancelled_ = false;
    quarmelleVersion_->setText(ui::ToQ(ProgramVersion));
    if (IsBetaVersion(ProgramVersion)) beta_->show();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TSplashForm::SetInfoText(const std::string& text) {
    infoslbl_->setText(ui::ToQ(text));
    ProcessPendingMessages();
}

void TSplashForm::SetProgress(int position) {
    progressBar_->SetPosition(position);
    ProcessPendingMessages();
}

void TSplashForm::SetVersionText(const std::string& text) { version_->setText(ui::ToQ(text)); }

void TSplashForm::SkipClick() {
    skip_->hide();
    cancelled_ = true;
    if (OnSkip) OnSkip();
}

void TSplashForm::EnableSkip() {
    cancelled_ = false;
    skip_->setEnabled(true);
    skip_->show();
}

TInfosEvent TSplashForm::InfosHandler() {
    return [this](const std::string& text) { SetInfoText(text); };
}

TProgressEvent TSplashForm::ProgressHandler() {
    return [this](int position) { SetProgress(position); };
}

}  // namespace qm
