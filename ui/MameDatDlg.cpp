#include "ui/MameDatDlg.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "catalogue/config.h"
#include "platform/Text.h"
#include "ui/commands/TextConv.h"

namespace qm {

using ui::FromQ;
using ui::ToQ;

TMameDatFrm::TMameDatFrm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(ToQ(_("Mame Datafile builder")));
    setModal(true);

    auto* group = new QGroupBox(ToQ(_("Mame informations")), this);
    auto* grid = new QGridLayout(group);
    exeFile_ = new QLabel(group);
    exeFile_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    exeFile_->setMinimumWidth(220);
    datafileName_ = new QLineEdit(QStringLiteral("Mame"), group);
    refname_ = new QLineEdit(QStringLiteral("Mame"), group);
    grid->addWidget(new QLabel(ToQ(_("Binary file :")), group), 0, 0);
    grid->addWidget(exeFile_, 0, 1);
    grid->addWidget(new QLabel(ToQ(_("Datafile name (ex: mame 0.53) :")), group), 1, 0);
    grid->addWidget(datafileName_, 1, 1);
    grid->addWidget(new QLabel(ToQ(_("Datafile type (mame, neo mame...) :")), group), 2, 0);
    grid->addWidget(refname_, 2, 1);

    auto* picture = new QLabel(this);
    picture->setPixmap(QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(48, 48));
    picture->setAlignment(Qt::AlignTop);

    build_ = new QPushButton(ToQ(_("&Build")), this);
    build_->setDefault(true);
    cancel_ = new QPushButton(ToQ(_("&Cancel")), this);
    connect(build_, &QPushButton::clicked, this, &TMameDatFrm::Button2Click);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(group, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(build_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);

    DestinationFolder = [] { return Config ? Config->GetDatafilePath() : std::string(); };
}

void TMameDatFrm::SetExeFile(const std::string& fileName) { exeFile_->setText(ToQ(fileName)); }

TMameDatRequest TMameDatFrm::Request() const { return {FromQ(datafileName_->text()), FromQ(refname_->text())}; }

void TMameDatFrm::Button2Click() {
    if (CheckMameDatRequest(Request(), DestinationFolder ? DestinationFolder() : std::string())) accept();
}

}  // namespace qm
