#include "ui/ChangeCaseFrm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/Text.h"
#include "ui/commands/TextConv.h"

namespace qm {

namespace {

QString T(const char* text) { return ui::ToQ(_(text)); }

}  // namespace

TChangeCaseForm::TChangeCaseForm(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("ChangeCaseForm"));
    setWindowTitle(T("Case options"));

    auto* type = new QGroupBox(T("Type of convertion"), this);
    auto* typeLayout = new QVBoxLayout(type);
    typeLayout->addWidget(new QLabel(T("Select convertion to apply to selection"), type));
    group_ = new QButtonGroup(this);
    const auto radio = [&](const char* caption, const char* hint) {
        auto* button = new QRadioButton(T(caption), type);
        button->setToolTip(T(hint));
        group_->addButton(button);
        typeLayout->addWidget(button);
        return button;
    };
    radUppercase_ = radio("Uppercase", "Convert selected items to uppercase");
    radLowercase_ = radio("Lowercase", "Convert selected items to lowercase");
    radCapitalize_ = radio("Capitalize", "Convert first letter of each word of selection to uppercase");
    radDatafile_ = radio("Datafile case", "Convert selected items to reflect database case.");
    radDatafile_->setChecked(true);

    auto* items = new QGroupBox(T("Items to modify"), this);
    auto* itemsLayout = new QVBoxLayout(items);
    itemsLayout->addWidget(new QLabel(T("Select which items you want to modify"), items));
    cbSet_ = new QCheckBox(T("Files (zip / folder name)"), items);
    cbSet_->setToolTip(T("Change case of zips and folders"));
    cbSet_->setChecked(true);
    cbRoms_ = new QCheckBox(T("Roms (zip / folder content)"), items);
    cbRoms_->setToolTip(T("Change case of files inside zips and folders"));
    itemsLayout->addWidget(cbSet_);
    itemsLayout->addWidget(cbRoms_);

    button1_ = new QPushButton(T("Cancel"), this);
    button2_ = new QPushButton(T("OK"), this);
    button2_->setDefault(true);
    connect(button1_, &QPushButton::clicked, this, &QDialog::reject);
    connect(button2_, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(button1_);
    buttons->addWidget(button2_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(type);
    layout->addWidget(items);
    layout->addLayout(buttons);

    ShowModal = [](TChangeCaseForm& form) { return form.exec(); };
}

TChangeCaseChoice TChangeCaseForm::Choice() const {
    TChangeCaseChoice choice;
    if (radUppercase_->isChecked())
        choice.Conversion = TCaseConversion::Uppercase;
    else if (radLowercase_->isChecked())
        choice.Conversion = TCaseConversion::Lowercase;
    else if (radCapitalize_->isChecked())
        choice.Conversion = TCaseConversion::Capitalize;
    else if (radDatafile_->isChecked())
        choice.Conversion = TCaseConversion::Datafile;
    else
        choice.Conversion = TCaseConversion::None;
    choice.Files = cbSet_->isChecked();
    choice.Roms = cbRoms_->isChecked();
    return choice;
}

void TChangeCaseForm::SetChoice(const TChangeCaseChoice& choice) {
    QRadioButton* checked = nullptr;
    switch (choice.Conversion) {
        case TCaseConversion::Uppercase: checked = radUppercase_; break;
        case TCaseConversion::Lowercase: checked = radLowercase_; break;
        case TCaseConversion::Capitalize: checked = radCapitalize_; break;
        case TCaseConversion::Datafile: checked = radDatafile_; break;
        case TCaseConversion::None: break;
    }
    if (checked) {
        checked->setChecked(true);
    } else {
        // An exclusive group never lets its last checked button go.
        group_->setExclusive(false);
        for (QAbstractButton* button : group_->buttons()) button->setChecked(false);
        group_->setExclusive(true);
    }
    cbSet_->setChecked(choice.Files);
    cbRoms_->setChecked(choice.Roms);
}

TChangeCaseResult TChangeCaseForm::Ask() {
    TChangeCaseResult result;
    result.Accepted = ShowModal && ShowModal(*this) == QDialog::Accepted;
    result.Choice = Choice();
    if (result.Accepted && OnAccept) OnAccept(result.Choice);
    return result;
}

}  // namespace qm
