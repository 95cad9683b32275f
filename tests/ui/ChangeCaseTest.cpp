#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "filesdb/CaseRules.h"
#include "ui/ChangeCaseFrm.h"

using namespace qm;

namespace {

// Radio buttons and check boxes take clicks on their box and caption only, which sit
// at the left of a control stretched by its layout.
void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
}

}  // namespace

TEST(ChangeCaseTest, DefaultsAreDatafileCaseOnFileNames) {
    TChangeCaseForm form;
    EXPECT_TRUE(form.RadDatafile()->isChecked());
    EXPECT_TRUE(form.CbSet()->isChecked());
    EXPECT_FALSE(form.CbRoms()->isChecked());
    const TChangeCaseChoice choice = form.Choice();
    EXPECT_EQ(choice.Mode(), 6);
    EXPECT_EQ(choice.Items(), siFiles);
}

// Every combination of the dialog's controls, as the user sets them with the mouse.
TEST(ChangeCaseTest, EveryCombinationGivesItsModeItemsAndRule) {
    struct Radio {
        QRadioButton* (TChangeCaseForm::*button)() const;
        int mode, rule;
    } radios[] = {
        {&TChangeCaseForm::RadUppercase, 4, 1},
        {&TChangeCaseForm::RadLowercase, 3, 2},
        {&TChangeCaseForm::RadCapitalize, 5, 3},
        {&TChangeCaseForm::RadDatafile, 6, 0},
    };
    int seen = 0;
    for (const Radio& r : radios)
        for (bool files : {false, true})
            for (bool roms : {false, true}) {
                SCOPED_TRACE(testing::Message() << r.mode << files << roms);
                TChangeCaseForm form;
                std::vector<TChangeCaseChoice> accepted;
                form.OnAccept = [&](const TChangeCaseChoice& c) { accepted.push_back(c); };
                form.ShowModal = [&](TChangeCaseForm& f) {
                    f.show();
                    Click((f.*r.button)());
                    if (f.CbSet()->isChecked() != files) Click(f.CbSet());
                    if (f.CbRoms()->isChecked() != roms) Click(f.CbRoms());
                    QTest::mouseClick(f.Button2(), Qt::LeftButton);  // OK
                    return f.result();
                };
                const TChangeCaseResult result = form.Ask();
                ASSERT_TRUE(result.Accepted);
                EXPECT_EQ(result.Choice.Mode(), r.mode);
                EXPECT_EQ(CaseRuleOfMode(result.Choice.Mode()), r.rule);
                EXPECT_EQ(result.Choice.Items(), (roms ? siRoms : 0) | (files ? siFiles : 0));
                EXPECT_EQ(result.Choice.HasItems(), files || roms);
                ASSERT_EQ(accepted.size(), 1u);
                EXPECT_EQ(accepted[0].Mode(), r.mode);
                ++seen;
            }
    EXPECT_EQ(seen, 16);
}

TEST(ChangeCaseTest, NoConversionCheckedMeansCapitalise) {
    TChangeCaseForm form;
    form.SetChoice({TCaseConversion::None, true, true});
    for (QRadioButton* b : {form.RadUppercase(), form.RadLowercase(), form.RadCapitalize(), form.RadDatafile()})
        EXPECT_FALSE(b->isChecked());
    EXPECT_EQ(form.Choice().Conversion, TCaseConversion::None);
    EXPECT_EQ(form.Choice().Mode(), 5);
    EXPECT_EQ(form.Choice().Items(), siBoth);
    form.SetChoice({TCaseConversion::Lowercase, false, true});
    EXPECT_TRUE(form.RadLowercase()->isChecked());
    EXPECT_EQ(form.Choice().Items(), siRoms);
}

TEST(ChangeCaseTest, CancelAnswersNotAccepted) {
    TChangeCaseForm form;
    bool called = false;
    form.OnAccept = [&](const TChangeCaseChoice&) { called = true; };
    form.ShowModal = [](TChangeCaseForm& f) {
        f.show();
        Click(f.RadUppercase());
        QTest::mouseClick(f.Button1(), Qt::LeftButton);  // Cancel
        return f.result();
    };
    EXPECT_FALSE(form.Ask().Accepted);
    EXPECT_FALSE(called);
    EXPECT_EQ(CaseRuleOfMode(0), -1);  // moving files is no case change
}

// The chosen conversion, through the command's mode, renames a collection as the user
// expects.
TEST(ChangeCaseTest, ChosenConversionRenamesACollection) {
    const std::vector<std::string> names = {"pac-man (US) [b1].zip", "STREET fighter II", "ddonpach/u1.bin", ""};
    struct Case {
        TCaseConversion conversion;
        std::vector<std::string> expected;
    } cases[] = {
        {TCaseConversion::Uppercase, {"PAC-MAN (US) [B1].ZIP", "STREET FIGHTER II", "DDONPACH/U1.BIN", ""}},
        {TCaseConversion::Lowercase, {"pac-man (us) [b1].zip", "street fighter ii", "ddonpach/u1.bin", ""}},
        {TCaseConversion::Capitalize, {"Pac-man (Us) [B1].zip", "Street Fighter Ii", "Ddonpach/u1.bin", ""}},
        {TCaseConversion::None, {"Pac-man (Us) [B1].zip", "Street Fighter Ii", "Ddonpach/u1.bin", ""}},
        {TCaseConversion::Datafile, names},  // the datafile's names come from the files database
    };
    for (const Case& c : cases) {
        TChangeCaseForm form;
        form.SetChoice({c.conversion, true, true});
        const int rule = CaseRuleOfMode(form.Choice().Mode());
        ASSERT_GE(rule, 0);
        for (size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(ApplyCaseOption(names[i], static_cast<TCaseOptions>(rule)), c.expected[i])
                << static_cast<int>(c.conversion) << " " << names[i];
    }
}
