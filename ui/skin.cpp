#include "ui/skin.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/commands/TextConv.h"

namespace qm {

TSkinForm::TSkinForm(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("SkinForm"));
    setWindowTitle(ui::ToQ(_("Skin browser")));

    groupBox1_ = new QGroupBox(ui::ToQ(_("Skins")), this);
    skinBox_ = new QListWidget(groupBox1_);
    label1_ = new QLabel(ui::ToQ(_("Info")), groupBox1_);
    infoBox_ = new QListWidget(groupBox1_);
    auto* groupLayout = new QVBoxLayout(groupBox1_);
    groupLayout->addWidget(skinBox_);
    groupLayout->addWidget(label1_);
    groupLayout->addWidget(infoBox_);

    button1_ = new QPushButton(ui::ToQ(_("&Ok")), this);
    button1_->setDefault(true);
    button2_ = new QPushButton(ui::ToQ(_("&Cancel")), this);
    connect(button1_, &QPushButton::clicked, this, &QDialog::accept);
    connect(button2_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(button1_);
    buttons->addWidget(button2_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(groupBox1_);
    layout->addLayout(buttons);
    resize(320, 340);
}

TSkinResult TSkinForm::ApplySkin() {
    TImageList unusedFlags, unusedIcons;
    TSkinResult result = ApplySkinFolder(SkinPath, Target.FlagList ? *Target.FlagList : unusedFlags,
                                         Target.ToolsIconsList ? *Target.ToolsIconsList : unusedIcons);
    if (result.MenuImages && Target.SetMainMenuImages) Target.SetMainMenuImages(*result.MenuImages);
    for (const std::string& error : result.Errors)
        UiHooks().MessageDlg(error, TMsgDlgType::mtWarning, mbOK);
    return result;
}

}  // namespace qm
