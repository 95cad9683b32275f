#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "DatafileTestSupport.h"
#include "archive/Trash.h"
#include "archive/archivemanager.h"
#include "platform/FileSystem.h"
#include "catalogue/DatUtil.h"
#include "catalogue/webreleases.h"
#include "platform/UiHooks.h"
#include "ui/DatafileModels.h"
#include "ui/MameDatDlg.h"
#include "ui/ProgressFrm.h"
#include "ui/datafilefrm.h"

using namespace qm;
using namespace qm::test;
namespace fs = std::filesystem;

namespace {

// Closes every modal window still open after a while, so that a test that goes wrong
// fails instead of waiting for a person.
class TWatchdog {
public:
    explicit TWatchdog(int ms = 10000) {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            while (QWidget* modal = QApplication::activeModalWidget()) {
                fired = true;
                modal->close();
            }
        });
        timer_.start(ms);
    }
    bool fired = false;

private:
    QTimer timer_;
};

const char* kList =
    "[INFO]\r\n"
    "romtype=MAME\r\n"
    "[datafiles]\r\n"
    "1;Mame;0.99;4000;Somebody;x;Full set;2004-01-02;%BASE%/dl/mame.zip\r\n"
    "2;Mame old;0.98;3900;Somebody;x;Older;2003-12-31;%BASE%/dl/old.zip\r\n";
const char* kOtherList =
    "[INFO]\r\n"
    "romtype=Raine\r\n"
    "[datafiles]\r\n"
    "1;Raine;0.40;10;b;c;d;2004-05-01;%BASE%/dl/raine.zip\r\n";

std::string Filled(std::string text, const std::string& base) {
    for (size_t p; (p = text.find("%BASE%")) != std::string::npos;) text.replace(p, 6, base);
    return text;
}

class DatafileFormTest : public ::testing::Test {
protected:
    TDatafileHome home;
    std::string datas = home.Datas();
    TScriptedUiHooks hooks;
    TScopedUiHooks scope{hooks};
    TArchiveManager archives;
    TDatafileHttpServer server;
    std::unique_ptr<TDatafileForm> form;
    std::unique_ptr<QAbstractItemModelTester> localTester, releaseTester;
    int changed = 0;
    std::vector<std::string> pagesOpened;

    void SetUp() override {
        archives.SetTempDir(GetTempDirectory());
        WriteFile(datas + "a.dat", "A");
        MakeZip(datas + "b.zip", {{"one.dat", "1"}, {"two.dat", "2"}});
        WriteFile(datas + "sub/c.txt", "C");
        WriteFile(home.Root() + "config.xml",
                  "<quarmelleconfigfile>\n<webupdate>\n"
                  "  <site sitename=\"Main\" url=\"" + server.Base() + "/list.inf\"/>\n"
                  "  <site sitename=\"Other\" url=\"" + server.Base() + "/other.inf\"/>\n"
                  "</webupdate>\n</quarmelleconfigfile>\n");
        server.routes["/list.inf"] = {200, Filled(kList, server.Base())};
        server.routes["/other.inf"] = {200, Filled(kOtherList, server.Base())};
        form = std::make_unique<TDatafileForm>(&archives);
        form->OnDatafilesChanged = [this] { ++changed; };
        form->OpenWebPage = [this](const std::string& url) { pagesOpened.push_back(url); };
        localTester = std::make_unique<QAbstractItemModelTester>(&form->LocalModel());
        releaseTester = std::make_unique<QAbstractItemModelTester>(&form->ReleaseModel());
    }
    void TearDown() override {
        localTester.reset();
        releaseTester.reset();
        form.reset();
    }

    std::vector<std::string> LocalTexts() const {
        std::vector<std::string> texts;
        for (const auto& row : form->LocalModel().Rows()) texts.push_back(row.Text);
        return texts;
    }
    void SelectLocal(const std::vector<int>& rows) {
        QItemSelectionModel* sel = form->VirtualStringTree1()->selectionModel();
        sel->clearSelection();
        for (int row : rows) sel->select(form->LocalModel().index(row, 0), QItemSelectionModel::Select);
    }
    void ShowWebTab() { form->PageControl1()->setCurrentWidget(form->TabWeb()); }
    void ShowLocalTab() { form->PageControl1()->setCurrentWidget(form->TabLocal()); }
    std::vector<std::string> ReleaseNames() const {
        std::vector<std::string> names;
        for (int r = 0; r < form->ReleaseModel().rowCount(); ++r) names.push_back(form->ReleaseModel().Row(r).Texts[0]);
        return names;
    }
};

}  // namespace

TEST_F(DatafileFormTest, ShowingListsTheFolderOnTheLocalTab) {
    EXPECT_EQ(form->windowTitle(), "Datafile manager");
    EXPECT_EQ(form->minimumSize(), QSize(467, 270));
    EXPECT_EQ(form->PageControl1()->tabText(0), "&Local datafiles");
    EXPECT_EQ(form->PageControl1()->tabText(1), "&Web datafiles");
    EXPECT_EQ(form->ActRefresh()->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(form->ActDeleteFile()->shortcut(), QKeySequence(Qt::Key_Delete));
    form->show();
    EXPECT_EQ(form->PageControl1()->currentWidget(), form->TabLocal());
    EXPECT_EQ(LocalTexts(), (std::vector<std::string>{"a.dat", "b.zip | one.dat", "b.zip | two.dat", "c.txt"}));
    EXPECT_EQ(form->WebReleases().ListFileName, home.Root() + "quarmelle.inf");
    EXPECT_EQ(form->WebReleases().DownloadDir, datas);

    WriteFile(datas + "new.dat", "N");
    form->ActRefresh()->trigger();
    EXPECT_EQ(LocalTexts().size(), 5u);
    // Typed search: the letters select the first row they start.
    form->VirtualStringTree1()->setFocus();
    QTest::keyClicks(form->VirtualStringTree1(), "b.zip | t");
    EXPECT_EQ(form->VirtualStringTree1()->currentIndex().data().toString(), "b.zip | two.dat");
}

TEST_F(DatafileFormTest, DeletingBothEntriesOfAnArchiveRemovesItAndSelectsTheNextRow) {
    form->show();
    SelectLocal({1, 2});
    hooks.dialogAnswers = {mrYes};
    form->ActDeleteFile()->trigger();
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].text, "Delete selected datafile(s) ?");
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtWarning);
    EXPECT_FALSE(FileExists(datas + "b.zip"));
    int code = 0;
    RunCommand("unzip -l " + ShellQuote(datas + "b.zip") + " >/dev/null 2>&1", &code);
    EXPECT_NE(code, 0);
    EXPECT_EQ(LocalTexts(), (std::vector<std::string>{"a.dat", "c.txt"}));
    EXPECT_EQ(form->VirtualStringTree1()->currentIndex().data().toString(), "c.txt");
    EXPECT_EQ(changed, 1);
}

TEST_F(DatafileFormTest, DeletingNeedsConfirmationAndTrashesPlainFiles) {
    form->show();
    SelectLocal({0});
    hooks.dialogAnswers = {mrNo};
    form->ActDeleteFile()->trigger();
    EXPECT_TRUE(FileExists(datas + "a.dat"));
    EXPECT_EQ(changed, 0);

    SelectLocal({0, 3});  // a.dat and sub/c.txt
    hooks.dialogAnswers = {mrYes};
    form->ActDeleteFile()->trigger();
    EXPECT_FALSE(FileExists(datas + "a.dat"));
    EXPECT_FALSE(FileExists(datas + "sub/c.txt"));
    EXPECT_EQ(ReadFile(home.Trash() + "a.dat"), "A");
    EXPECT_EQ(ReadFile(home.Trash() + "c.txt"), "C");
    EXPECT_EQ(form->VirtualStringTree1()->currentIndex().data().toString(), "b.zip | one.dat");

    // Nothing selected: nothing asked.
    hooks.shown.clear();
    form->VirtualStringTree1()->selectionModel()->clearSelection();
    form->ActDeleteFile()->trigger();
    EXPECT_TRUE(hooks.shown.empty());
}

TEST_F(DatafileFormTest, AddingThreeFilesWithOneDeclinedAddsTwo) {
    form->show();
    const std::string outside = home.Root() + "new/";
    WriteFile(outside + "a.dat", "new A");
    WriteFile(outside + "x.dat", "X");
    WriteFile(outside + "y.zip", "Y");
    form->ChooseDatafiles = [&] {
        return std::vector<std::string>{outside + "a.dat", outside + "x.dat", outside + "y.zip"};
    };
    hooks.dialogAnswers = {mrNo};
    form->ActAdd()->trigger();
    ASSERT_FALSE(hooks.shown.empty());
    EXPECT_EQ(hooks.shown.back().text, "2 datafiles added.");
    EXPECT_EQ(ReadFile(datas + "a.dat"), "A");
    EXPECT_EQ(LocalTexts(), (std::vector<std::string>{"a.dat", "b.zip | one.dat", "b.zip | two.dat", "c.txt", "x.dat"}));
    EXPECT_EQ(changed, 1);

    // Nothing chosen: nothing happens.
    hooks.shown.clear();
    form->ChooseDatafiles = [] { return std::vector<std::string>{}; };
    form->ActAdd()->trigger();
    EXPECT_TRUE(hooks.shown.empty());
}

TEST_F(DatafileFormTest, TheReleaseListIsFetchedOnceForTheTabThenOnEachRefresh) {
    form->show();
    ShowWebTab();
    ShowLocalTab();
    ShowWebTab();
    EXPECT_EQ(server.hits["/list.inf"], 1);
    EXPECT_EQ(server.hits["/other.inf"], 1);
    EXPECT_FALSE(form->WebListPending());
    ASSERT_EQ(form->FolderCombo()->count(), 2);
    EXPECT_EQ(form->FolderCombo()->itemText(0), "MAME");
    EXPECT_EQ(form->FolderCombo()->itemText(1), "Raine");
    EXPECT_EQ(form->WebReleases().Sites,
              (std::vector<std::string>{"Main|" + server.Base() + "/list.inf", "Other|" + server.Base() + "/other.inf"}));
    EXPECT_EQ(ReleaseNames(), (std::vector<std::string>{"Mame", "Mame old"}));
    EXPECT_EQ(form->ReleaseModel().headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "# of files");

    // The folder chosen stays chosen over a refresh.
    form->FolderCombo()->setCurrentIndex(1);
    form->FolderComboClick();
    EXPECT_EQ(ReleaseNames(), (std::vector<std::string>{"Raine"}));
    QTest::mouseClick(form->RefreshBtn(), Qt::LeftButton);
    EXPECT_EQ(server.hits["/list.inf"], 2);
    EXPECT_EQ(form->FolderCombo()->currentText(), "Raine");
    EXPECT_EQ(ReleaseNames(), (std::vector<std::string>{"Raine"}));
    EXPECT_FALSE(form->ProgressFrm1().Shown());
    EXPECT_TRUE(form->isEnabled());

    // Sorting on the release date puts the older release first.
    form->FolderCombo()->setCurrentIndex(0);
    form->FolderComboClick();
    form->VirtualStringTree2()->sortByColumn(5, Qt::AscendingOrder);
    EXPECT_EQ(ReleaseNames(), (std::vector<std::string>{"Mame old", "Mame"}));
}

TEST_F(DatafileFormTest, AFailedRefreshShowsTheErrorAndEmptiesTheWebLists) {
    form->show();
    ShowWebTab();
    ASSERT_EQ(form->FolderCombo()->count(), 2);
    fs::remove(home.Root() + "config.xml");
    hooks.shown.clear();
    form->RefreshBtn()->click();
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(form->FolderCombo()->count(), 0);
    EXPECT_EQ(form->ReleaseModel().rowCount(), 0);
    EXPECT_TRUE(form->isEnabled());
}

TEST_F(DatafileFormTest, DownloadWithoutCheckedReleasesOnlySaysSo) {
    form->show();
    ShowWebTab();
    form->DownloadBtn()->click();
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].text, "Check datafiles you want to download.");
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtInformation);
    EXPECT_EQ(server.hits["/dl/mame.zip"] + server.hits["/dl/old.zip"], 0);
    EXPECT_TRUE(pagesOpened.empty());
}

TEST_F(DatafileFormTest, DownloadFetchesTheCheckedReleasesIntoTheDatafileFolder) {
    server.routes["/dl/mame.zip"] = {200, ZippedDatafile("mame.dat")};
    const std::string old = ZippedDatafile("old.dat");
    server.routes["/dl/old.zip"] = {200, old};
    form->show();
    ShowWebTab();
    ASSERT_EQ(ReleaseNames(), (std::vector<std::string>{"Mame", "Mame old"}));
    form->ReleaseModel().setData(form->ReleaseModel().index(0, 0), Qt::Checked, Qt::CheckStateRole);
    form->DownloadBtn()->click();
    EXPECT_EQ(server.hits["/dl/mame.zip"], 1);
    EXPECT_EQ(server.hits["/dl/old.zip"], 0);
    EXPECT_TRUE(FileExists(datas + "mame.zip"));
    EXPECT_EQ(pagesOpened, (std::vector<std::string>{server.Base() + "/"}));
    EXPECT_TRUE(form->SiteShown());
    EXPECT_TRUE(form->ReleaseModel().CheckedRecords().empty());  // the tree was filled again
    const auto texts = LocalTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "mame.zip | mame.dat"), texts.end());
    EXPECT_EQ(changed, 1);
    EXPECT_TRUE(hooks.shown.empty());

    // The web page opens on the first download of the window's life only.
    form->ReleaseModel().setData(form->ReleaseModel().index(1, 0), Qt::Checked, Qt::CheckStateRole);
    form->DownloadBtn()->click();
    EXPECT_EQ(ReadFile(datas + "old.zip"), old);
    EXPECT_EQ(pagesOpened.size(), 1u);
}

TEST_F(DatafileFormTest, MameImportRunsTheDialogThenBuildsIntoTheDatafileFolder) {
    const std::string log = home.Root() + "calls.log";
    const std::string canned = std::string(QM_TESTS_DIR) + "/catalogue/data/golden.dat";
    TScopedEnv logEnv("QM_FAKE_LOG", log.c_str());
    TScopedEnv cannedEnv("QM_FAKE_CANNED", canned.c_str());
    TScopedEnv modeEnv("QM_FAKE_MODE", "ok");
    TScopedEnv emuEnv("QM_FAKE_EMU_MODE", "ok");
    fs::create_directories(home.Root() + "games");
    fs::copy_file(QM_FAKE_DATUTIL, home.Root() + "games/mame");
    fs::copy_file(QM_FAKE_DATUTIL, home.Root() + "datutil");
    TDatUtil du;
    du.SetDatutilExe(home.Root() + "datutil");
    du.Timeout = std::chrono::seconds(20);
    form->DatUtil = [&] { return &du; };
    form->show();

    // Cancel at the file choice: nothing runs.
    form->ChooseMameExe = [] { return std::string(); };
    form->ActMameImport()->trigger();
    EXPECT_FALSE(FileExists(log));

    form->ChooseMameExe = [&] { return home.Root() + "games/mame"; };
    // The real dialog runs modally; a timer fills it in and presses Build.
    TWatchdog watchdog;
    QTimer::singleShot(50, [&] {
        TMameDatFrm& dialog = form->MameDatFrm();
        ASSERT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.ExeFile()->text().toStdString(), home.Root() + "games/mame");
        dialog.DatafileName()->setText("mame 0.251");
        dialog.Refname()->setText("mame");
        QTest::mouseClick(dialog.BuildButton(), Qt::LeftButton);
    });
    form->ActMameImport()->trigger();
    EXPECT_FALSE(watchdog.fired);
    EXPECT_EQ(du.MameExe, home.Root() + "games/mame");
    EXPECT_EQ(du.EmuVersion, "mame 0.251");
    EXPECT_EQ(du.Version.size(), 8u);
    EXPECT_EQ(ReadFile(datas + "mame 0.251.dat"), ReadFile(canned));
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].text, "Datafile mame 0.251 created.");
    EXPECT_TRUE(form->StatusBar1()->currentMessage().isEmpty());
    // The local list is not refreshed by a build.
    EXPECT_EQ(LocalTexts().size(), 4u);

    // Cancel in the dialog: no build.
    hooks.shown.clear();
    QTimer::singleShot(50, [&] { form->MameDatFrm().CancelButton()->click(); });
    form->ActMameImport()->trigger();
    EXPECT_TRUE(hooks.shown.empty());
    EXPECT_FALSE(watchdog.fired);
}

TEST_F(DatafileFormTest, CancelInTheProgressWindowStopsTheDownloads) {
    server.routes["/dl/mame.zip"] = {200, "SLOW BODY", true};
    server.routes["/dl/old.zip"] = {200, "O"};
    form->show();
    ShowWebTab();
    for (int row : {0, 1}) form->ReleaseModel().setData(form->ReleaseModel().index(row, 0), Qt::Checked, Qt::CheckStateRole);
    TWatchdog watchdog;
    QTimer::singleShot(300, [&] {
        ASSERT_TRUE(form->ProgressFrm1().Shown());
        EXPECT_FALSE(form->isEnabled());
        form->ProgressFrm1().Form()->Cancel()->click();
    });
    form->DownloadBtn()->click();
    EXPECT_EQ(server.hits["/dl/old.zip"], 0);
    EXPECT_FALSE(FileExists(datas + "mame.zip"));
    EXPECT_TRUE(hooks.shown.empty());
    EXPECT_TRUE(form->isEnabled());
    EXPECT_FALSE(form->ProgressFrm1().Shown());
}

TEST_F(DatafileFormTest, AFailedDeleteKeepsItsRowAndTheRowsAlreadyGoneLeaveTheList) {
    form->show();
    SelectLocal({0, 3});  // a.dat, then sub/c.txt
    hooks.dialogAnswers = {mrYes};
    TFaultyFileSystem faulty(Fs());
    {
        // Trashing a file takes some changing calls once the trash exists; a.dat is
        // given them, everything after them fails.
        std::string reason;
        WriteFile(datas + "probe1", "p");
        WriteFile(datas + "probe2", "p");
        ASSERT_TRUE(MoveToTrash(datas + "probe1", reason));
        TFaultyFileSystem counting(Fs());
        TScopedFileSystem scoped(counting);
        ASSERT_TRUE(MoveToTrash(datas + "probe2", reason));
        faulty.failAt = counting.changingCalls + 1;
        faulty.sticky = true;
    }
    {
        TScopedFileSystem scoped(faulty);
        form->ActDeleteFile()->trigger();
    }
    EXPECT_FALSE(FileExists(datas + "a.dat"));
    EXPECT_EQ(ReadFile(datas + "sub/c.txt"), "C");
    ASSERT_EQ(hooks.shown.size(), 2u);
    EXPECT_EQ(hooks.shown[1].type, TMsgDlgType::mtError);
    EXPECT_EQ(LocalTexts(), (std::vector<std::string>{"b.zip | one.dat", "b.zip | two.dat", "c.txt"}));
    EXPECT_EQ(changed, 1);
}

TEST_F(DatafileFormTest, ClosingTellsTheMainWindow) {
    int closed = 0;
    form->OnClosed = [&] { ++closed; };
    form->show();
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(closed, 1);
}

TEST(DatafileFormHelpers, SiteHomePageAndProxy) {
    EXPECT_EQ(SiteHomePage("http://dat.example/lists/mame.inf"), "http://dat.example/");
    EXPECT_EQ(SiteHomePage("dat.example/list.inf"), "http://dat.example/");
    EXPECT_EQ(SiteHomePage("https://dat.example"), "https://dat.example/");
    struct Case {
        const char* server;
        const char* host;
        int port;
    };
    for (const Case& c : {Case{"proxy.example:3128", "proxy.example", 3128}, Case{"proxy.example", "proxy.example", 0},
                          Case{"", "", 0}, Case{"proxy.example:", "proxy.example:", 0},
                          Case{"[::1]:8080", "[::1]", 8080}}) {
        std::string host;
        int port = -1;
        SplitProxy(c.server, host, port);
        EXPECT_EQ(host, c.host) << c.server;
        EXPECT_EQ(port, c.port) << c.server;
    }
}
