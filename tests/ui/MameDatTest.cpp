#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "DatafileTestSupport.h"
#include "catalogue/DatUtil.h"
#include "platform/UiHooks.h"
#include "ui/commands/MameDatBuilder.h"
#include "ui/MameDatDlg.h"

using namespace qm;
using namespace qm::test;
namespace fs = std::filesystem;

namespace {

const std::string kCanned = std::string(QM_TESTS_DIR) + "/catalogue/data/golden.dat";

// The arguments of each call the stand-in recorded: fields ended by NUL, a call by an
// empty field; the first field is the working folder.
std::vector<std::vector<std::string>> Calls(const std::string& log) {
    std::vector<std::vector<std::string>> calls;
    if (!FileExists(log)) return calls;
    const std::string bytes = ReadFile(log);
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\0') continue;
        std::string field = bytes.substr(start, i - start);
        start = i + 1;
        if (!field.empty()) {
            fields.push_back(field);
            continue;
        }
        if (!fields.empty()) fields.erase(fields.begin());
        calls.push_back(fields);
        fields.clear();
    }
    return calls;
}

class MameDatTest : public ::testing::Test {
protected:
    TDatafileHome home;
    TScriptedUiHooks hooks;
    TScopedUiHooks scope{hooks};
    std::string log = home.Root() + "calls.log";
    std::string mameExe = home.Root() + "games/mame";
    TDatUtil du;
    TScopedEnv logEnv{"QM_FAKE_LOG", log.c_str()};
    TScopedEnv cannedEnv{"QM_FAKE_CANNED", kCanned.c_str()};
    TScopedEnv modeEnv{"QM_FAKE_MODE", "ok"};
    TScopedEnv emuEnv{"QM_FAKE_EMU_MODE", "ok"};
    std::vector<std::string> statuses;

    void SetUp() override {
        fs::create_directories(home.Root() + "games");
        fs::copy_file(QM_FAKE_DATUTIL, mameExe);
        fs::copy_file(QM_FAKE_DATUTIL, home.Root() + "datutil");
        du.SetDatutilExe(home.Root() + "datutil");
        du.MameExe = mameExe;
        du.Timeout = std::chrono::seconds(20);
    }
    void Build(const TMameDatRequest& request) {
        BuildMameDatafile(du, request, home.Datas(), "1.2", "20261209",
                          [this](const std::string& text) { statuses.push_back(text); });
    }
};

}  // namespace

TEST(MameDatNames, VersionAndDestination) {
    EXPECT_EQ(MameDatafileVersion(2026, 12, 9), "20261209");
    EXPECT_EQ(MameDatafileVersion(2004, 1, 31), "20040131");
    EXPECT_EQ(MameDatafileVersionToday().size(), 8u);
    EXPECT_EQ(MameDatafileDest("/d/", "mame 0.53"), "/d/mame 0.53.dat");
    // A typed "/" never leads out of the datafile folder.
    EXPECT_EQ(MameDatafileDest("/d/", "../x/y"), "/d/.._x_y.dat");
}

TEST_F(MameDatTest, BuildChecksNamesAndAsksBeforeReplacing) {
    struct Case {
        TMameDatRequest request;
        bool exists;
        int answer;
        bool ok;
        std::string shown;
    };
    const std::string question =
        "A file with the name Mame exists in destination folder.\n\nWould you like to replace it ?";
    const Case cases[] = {
        {{"", "mame"}, false, mrNone, false, "Please give a name to the datafile."},
        {{"Mame", ""}, false, mrNone, false, "Please give a name to the datafile type."},
        {{"Mame", "mame"}, false, mrNone, true, ""},
        {{"Mame", "mame"}, true, mrNo, false, question},
        {{"Mame", "mame"}, true, mrYes, true, question},
    };
    for (const Case& c : cases) {
        hooks.shown.clear();
        hooks.dialogAnswers = {c.answer};
        fs::remove(home.Datas() + "Mame.dat");
        if (c.exists) WriteFile(home.Datas() + "Mame.dat", "old");
        EXPECT_EQ(CheckMameDatRequest(c.request, home.Datas()), c.ok) << c.shown;
        if (c.shown.empty()) {
            EXPECT_TRUE(hooks.shown.empty());
        } else {
            ASSERT_EQ(hooks.shown.size(), 1u);
            EXPECT_EQ(hooks.shown[0].text, c.shown);
        }
    }
}

TEST_F(MameDatTest, BuildRunsMameAndDatutilWithTheCreditsAndReportsTheNewFile) {
    Build({"Mame 0.251", "mame"});
    EXPECT_EQ(ReadFile(home.Datas() + "Mame 0.251.dat"), ReadFile(kCanned));
    const auto calls = Calls(log);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], (std::vector<std::string>{"-listxml"}));
    const std::vector<std::string> credits = {"-A", "Quarmelle 1.2", "-V", "20261209", "-R", "mame", "-F", "Mame 0.251"};
    EXPECT_TRUE(std::equal(credits.begin(), credits.end(), calls[1].begin()));
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].text, "Datafile Mame 0.251 created.");
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtInformation);
    EXPECT_EQ(statuses, (std::vector<std::string>{"Creating dat...", ""}));
    EXPECT_EQ(hooks.busyDepth, 0);
    EXPECT_GT(hooks.maxBusyDepth, 0);
}

TEST_F(MameDatTest, AFailedBuildShowsTheErrorAndKeepsTheOldDatafile) {
    WriteFile(home.Datas() + "Mame.dat", "old");
    TScopedEnv failing("QM_FAKE_MODE", "exit3");
    Build({"Mame", "mame"});
    EXPECT_EQ(ReadFile(home.Datas() + "Mame.dat"), "old");
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtError);
    // The box says which program failed, how, and its last words.
    EXPECT_EQ(hooks.shown[0].text, "Dat file not created !\ndatutil exited with code 3.\nfake datutil ran");
    EXPECT_EQ(statuses.back(), "");
    EXPECT_EQ(hooks.busyDepth, 0);

    // A datutil that writes something that is no datafile and says all went well.
    hooks.shown.clear();
    {
        TScopedEnv garbage("QM_FAKE_MODE", "garbage");
        Build({"Mame", "mame"});
    }
    EXPECT_EQ(ReadFile(home.Datas() + "Mame.dat"), "old");
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(hooks.shown[0].text,
              "Dat file not created !\ndatutil exited with code 0 but wrote no datafile: its [DAT] section gives no "
              "version that can be read.\nIt begins with:\nSegmentation in the listing\nnothing of a datafile here");

    // Without datutil nothing runs and the box says so.
    hooks.shown.clear();
    EXPECT_THROW(du.SetDatutilExe(""), datutil::EFileNotFound);  // stored all the same
    Build({"Mame", "mame"});
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(Calls(log).size(), 4u);  // only the failed jobs above ran
}

TEST_F(MameDatTest, DialogBuildButtonClosesOnlyOnceTheChecksPass) {
    TMameDatFrm dialog;
    dialog.DestinationFolder = [this] { return home.Datas(); };
    EXPECT_EQ(dialog.windowTitle(), "Mame Datafile builder");
    EXPECT_EQ(dialog.DatafileName()->text(), "Mame");
    EXPECT_EQ(dialog.Refname()->text(), "Mame");
    EXPECT_TRUE(dialog.BuildButton()->isDefault());
    dialog.SetExeFile("/usr/games/mame");
    EXPECT_EQ(dialog.ExeFile()->text(), "/usr/games/mame");
    EXPECT_TRUE(dialog.ExeFile()->alignment() & Qt::AlignRight);

    dialog.show();
    dialog.DatafileName()->clear();
    QTest::mouseClick(dialog.BuildButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtWarning);

    dialog.DatafileName()->setText("mame 0.53");
    dialog.Refname()->setText("neo mame");
    QTest::mouseClick(dialog.BuildButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Request().DatafileName, "mame 0.53");
    EXPECT_EQ(dialog.Request().Refname, "neo mame");
}
