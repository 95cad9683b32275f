// The main window's commands run over its real views on a started program: the views
// show the databases, rom paths come and go, the fix repairs what the views hand it and
// no row outlives a file a repair freed, the reports and exports write their files, and
// the list and tree lead to each other.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <filesystem>

#include "ui/AppTestSupport.h"
#include "ui/ProgramTestSupport.h"
#include "ui/commands/FixPipeline.h"
#include "ui/Main.h"
#include "ui/StartApplication.h"
#include "ui/MainStatusBar.h"
#include "ui/SubListMenu.h"
#include "ui/NameFilterBox.h"
#include "commands/ReportTestSupport.h"
#include "ui/views/QMVirtualListView.h"
#include "ui/views/QMVirtualTreeView.h"

using namespace qm;
using namespace qm::apptest;

namespace {

class MainCommandsTest : public TProgramTest {
protected:
    TOwnTempFolder temp;
    TMainFrm* main = nullptr;
    test::TScriptedSavePrompt* prompt = nullptr;

    // alpha and beta are there, gamma's rom sits in a zip of the wrong name, and a zip
    // of nothing known lies beside them.
    void SetUp() override {
        test::WriteFile(home.Dats() + "test.dat",
                        Datafile("testemu", {DatLine("alpha", "alpha", "a.bin", "AAAA"),
                                             DatLine("beta", "beta", "b.bin", "BBBBBB"),
                                             DatLine("gamma", "gamma", "c.bin", "CC")}));
        WriteZip(home.Roms() + "alpha.zip", {{"a.bin", "AAAA"}});
        WriteZip(home.Roms() + "beta.zip", {{"b.bin", "BBBBBB"}});
        WriteZip(home.Roms() + "wrong.zip", {{"c.bin", "CC"}});
        WriteZip(home.Roms() + "junk.zip", {{"readme.txt", "nothing to see"}});
        home.WriteIni(home.Dats() + "test.dat", "", "testemu", {home.Roms()});
        main = &Start();
        ASSERT_TRUE(windows);
        auto scripted = std::make_unique<test::TScriptedSavePrompt>();
        prompt = scripted.get();
        main->SetSaveFilePrompt(std::move(scripted));
    }

    TQMVirtualTreeView& Tree() { return *main->VTreeView(); }
    TQMVirtualListView& List() { return *main->VListView(); }

    void FocusPathRoot(int index) {
        ASSERT_LT(static_cast<size_t>(index), Tree().PathObjects().size());
        Tree().FocusObject(TViewObject(Tree().PathObjects()[static_cast<size_t>(index)].get()));
    }

    std::vector<std::string> ListTexts() {
        std::vector<std::string> texts;
        for (const TChildItem& item : List().ItemList()) texts.push_back(item.Text);
        return texts;
    }

    static bool ZipIsSound(const std::string& file) {
        int code = -1;
        test::RunCommand("unzip -tqq " + test::ShellQuote(file), &code);
        return code == 0;
    }
};

TEST_F(MainCommandsTest, TheViewsShowTheDatabaseAndTheRomPathsAndLeadToEachOther) {
    EXPECT_EQ(Tree().RootItems().Count(), 3);
    // What a merge cannot place goes below the archive folder, never nowhere.
    EXPECT_EQ(main->Controller().FilesBd().MergeBackupDir, Config->GetArchivePath() + "merged/");
    ASSERT_EQ(Tree().PathObjects().size(), 1u);
    // The games root is selected after start-up; the list shows its games.
    EXPECT_EQ(Tree().SelectedString(), TQMVirtualTreeView::GamesRootText());
    EXPECT_EQ(ListTexts().size(), 3u);

    FocusPathRoot(0);
    EXPECT_EQ(List().Layout(), hlFiles);
    EXPECT_EQ(ListTexts().size(), 4u);

    // A double click on a file of the list opens it in the tree; Parent node goes back
    // with the file selected in the list.
    List().SetSelectedString("beta.zip");
    ASSERT_EQ(List().SelectedString(), "beta.zip");
    main->VListViewDblClick();
    EXPECT_NE(ObjectAs<TFile>(Tree().GetFocusedObject()), nullptr);
    EXPECT_EQ(List().Layout(), hlRomFiles);
    main->ActParentNodeExecute();
    EXPECT_NE(ObjectAs<TPathObject>(Tree().GetFocusedObject()), nullptr);
    EXPECT_EQ(List().SelectedString(), "beta.zip");

    // The same by keys: Right opens the focused file, Backspace and Left go back up.
    QTest::keyClick(&List(), Qt::Key_Right);
    EXPECT_EQ(List().Layout(), hlRomFiles);
    QTest::keyClick(&List(), Qt::Key_Backspace);
    EXPECT_EQ(List().Layout(), hlFiles);
    EXPECT_EQ(List().SelectedString(), "beta.zip");
    QTest::keyClick(&List(), Qt::Key_Right);
    QTest::keyClick(&List(), Qt::Key_Left);
    EXPECT_EQ(List().SelectedString(), "beta.zip");

    // A rom file is no place to go to.
    main->VListViewDblClick();
    List().SetSelectedString("b.bin");
    const TViewObject before = Tree().GetFocusedObject();
    main->VListViewDblClick();
    EXPECT_EQ(Tree().GetFocusedObject(), before);
}

TEST_F(MainCommandsTest, RomPathsAreAddedByTheFolderDialogAndClosedAfterConfirmation) {
    const std::string more = home.dir / "more/";
    std::filesystem::create_directories(more);
    WriteZip(more + "gamma.zip", {{"c.bin", "CC"}});
    std::string startFolder;
    main->ChooseFolder = [&](const std::string&, const std::string& start) {
        startFolder = start;
        return more;
    };
    main->ActAddPathExecute();
    ASSERT_EQ(main->Controller().FilesBd().GetPathCount(), 2) << ::testing::PrintToString(BoxTexts(hooks));
    ASSERT_EQ(Tree().PathObjects().size(), 2u);
    EXPECT_EQ(Config->Emulator->RomPaths().Count(), 2u);

    // The new path's root: close it, after a No and then a Yes.
    const int added = Tree().PathObjects()[0]->Path->GetPath() == more ? 0 : 1;
    FocusPathRoot(added);
    hooks.dialogAnswers = {mrNo};
    main->ActRemovePathExecute();
    EXPECT_EQ(main->Controller().FilesBd().GetPathCount(), 2);
    hooks.dialogAnswers = {mrYes};
    main->ActRemovePathExecute();
    ASSERT_EQ(main->Controller().FilesBd().GetPathCount(), 1);
    EXPECT_EQ(Tree().PathObjects().size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(more + "gamma.zip"));
    // Nothing the list shows belongs to the closed path.
    List().RefreshItems();
    for (const TChildItem& item : List().ItemList()) EXPECT_NE(item.Text, "gamma.zip");
}

TEST_F(MainCommandsTest, FixOfAWholePathRepairsTheDiskAndTheViewsFollow) {
    Config->Emulator->SetDoRemoveFiles(true);
    FocusPathRoot(0);
    ASSERT_TRUE(List().SelectionEmpty());
    main->ActFixGameExecute();
    ASSERT_NE(main->LastFixPipeline(), nullptr);
    EXPECT_GT(main->LastFixPipeline()->FixedTotal(), 0);
    EXPECT_EQ(main->LastFixPipeline()->ErrorTotal(), 0);

    // The misnamed zip got its set's name; the unknown one went to the archive folder.
    EXPECT_TRUE(std::filesystem::exists(home.Roms() + "gamma.zip"));
    EXPECT_FALSE(std::filesystem::exists(home.Roms() + "wrong.zip"));
    EXPECT_FALSE(std::filesystem::exists(home.Roms() + "junk.zip"));
    for (const char* name : {"alpha.zip", "beta.zip", "gamma.zip"}) EXPECT_TRUE(ZipIsSound(home.Roms() + name)) << name;

    // The tree and the list show what is on disk now, and every row's file is alive
    // (painting or sorting a freed file would be caught here).
    FocusPathRoot(0);
    std::vector<std::string> texts = ListTexts();
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"alpha.zip", "beta.zip", "gamma.zip"}));
    for (int column = 0; column < TQMVirtualListView::kColumnCount; ++column) List().DoHeaderClick(column);
    main->Controller().RomsBd().UpdateStatistics();
    EXPECT_EQ(main->Controller().RomsBd().GamesComplete, 3);
}

TEST_F(MainCommandsTest, SingleStepsAndFileCommandsActOnTheListSelection) {
    FocusPathRoot(0);
    List().SetSelectedString("junk.zip");
    ASSERT_EQ(List().SelectedString(), "junk.zip");
    main->A(TActionId::ActRemoveUselessFiles)->trigger();
    EXPECT_FALSE(std::filesystem::exists(home.Roms() + "junk.zip"));
    EXPECT_TRUE(std::filesystem::exists(home.Roms() + "wrong.zip")) << "only the selection is fixed";
    for (const TChildItem& item : List().ItemList()) EXPECT_NE(item.Text, "junk.zip");

    // A copy into another folder keeps the source; the folder dialog's answer is used.
    const std::string out = home.dir / "out/";
    std::filesystem::create_directories(out);
    main->ChooseFolder = [&](const std::string&, const std::string&) { return out; };
    List().SetSelectedString("beta.zip");
    hooks.dialogAnswers = {mrOk};
    main->A(TActionId::ActCopyFile)->trigger();
    EXPECT_TRUE(ZipIsSound(out + "beta.zip")) << ::testing::PrintToString(BoxTexts(hooks)) << List().SelectedString();
    EXPECT_TRUE(std::filesystem::exists(home.Roms() + "beta.zip"));
}

TEST_F(MainCommandsTest, SubListsTheNameFilterAndTheActionStatesFollowTheViews) {
    using enum TActionId;
    // A sub-list with "&" in its name, found when the lists are reloaded.
    test::WriteFile(Config->GetSubListPath() + "beta&gamma.lst", "beta\r\ngamma\r\n\r\n");
    main->ActRefreshAllExecute();
    ASSERT_EQ(main->SubLists().FileActions().size(), 1u);
    main->SubLists().FileActions()[0]->trigger();
    EXPECT_EQ(main->ShownClones().Count(), 2);
    EXPECT_EQ(Tree().RootItems().Count(), 2);
    EXPECT_EQ(Config->SubListFileName, Config->GetSubListPath() + "beta&gamma.lst");
    main->A(ActAllExcept)->trigger();
    EXPECT_EQ(Tree().RootItems().Count(), 1);
    main->A(ActAll)->trigger();
    EXPECT_EQ(Tree().RootItems().Count(), 3);

    // The name filter: a star is any run of characters, the case does not count.
    main->Actions().NameFilterBox()->setEditText("AL*");
    ASSERT_TRUE(main->NameFilter().Apply());
    EXPECT_EQ(Tree().RootItems().Count(), 1);
    main->Actions().NameFilterBox()->setEditText("*");
    ASSERT_TRUE(main->NameFilter().Apply());
    EXPECT_EQ(Tree().RootItems().Count(), 3);

    // The games root allows no path command; a rom path allows them all, and repairs.
    Tree().SetSelectedString(TQMVirtualTreeView::GamesRootText());
    main->VTreeViewChange(true);
    EXPECT_FALSE(main->A(ActRemovePath)->isEnabled());
    EXPECT_FALSE(main->A(ActFixGame)->isEnabled());
    FocusPathRoot(0);
    EXPECT_TRUE(main->A(ActRemovePath)->isEnabled());
    EXPECT_TRUE(main->A(ActFixGame)->isEnabled());
    EXPECT_TRUE(main->A(ActCopyFile)->isEnabled());
    List().SetSelectedString("beta.zip");
    main->VTreeViewChange(false);
    EXPECT_EQ(main->Status().Panel(6)->text().toStdString(), "1 items selected");
    EXPECT_EQ(main->Status().Panel(4)->text().toStdString(), ModePanelText(Config->Emulator->Split(), Config->Emulator->Merge()));
}

TEST_F(MainCommandsTest, TheStatusBarCountsWhatTheSelectionCommandsSelect) {
    // Commands that select rows without moving the focus left the count of the one
    // focused row in the status bar.
    FocusPathRoot(0);
    List().SetSelectedString("alpha.zip");
    auto shows = [&](int count) {
        const std::string want = std::to_string(count) + " items selected";
        return QTest::qWaitFor([&] { return main->Status().Panel(6)->text().toStdString() == want; }, 2000);
    };
    const int rows = List().TotalCount();
    int mainSets = 0;
    for (const TChildItem& item : List().ItemList())
        if (const TFile* file = ObjectAs<TFile>(item.Object); file->Clone != nullptr && file->Clone->IsParent) ++mainSets;
    ASSERT_GT(rows, mainSets);
    ASSERT_GT(mainSets, 1);
    main->A(TActionId::ActSelectAll)->trigger();
    EXPECT_TRUE(shows(rows));
    main->A(TActionId::ActSelectMain)->trigger();
    EXPECT_TRUE(shows(mainSets));
    List().SetSelectedString("alpha.zip");
    EXPECT_TRUE(shows(1));
    main->A(TActionId::ActInvertSelection)->trigger();
    EXPECT_TRUE(shows(rows - 1));
    List().setFocus();
    QTest::keyClick(&List(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(shows(rows)) << "Ctrl+A in the list";
}

TEST_F(MainCommandsTest, ReportsAndExportsWriteTheChosenFiles) {
    WriteZip(home.Roms() + "wrong.zip", {{"x.bin", "unknown"}});
    main->ActRefreshAllExecute();
    main->Controller().RomsBd().UpdateStatistics();
    EXPECT_EQ(main->Controller().RomsBd().GamesMissing, 1);
    prompt->answer = home.dir / "miss.txt";
    main->ActMissExecute();
    ASSERT_TRUE(std::filesystem::exists(home.dir / "miss.txt")) << ::testing::PrintToString(BoxTexts(hooks));
    const std::string report = test::ReadFile(home.dir / "miss.txt");
    EXPECT_NE(report.find("gamma"), std::string::npos) << report;
    EXPECT_EQ(report.find("alpha"), std::string::npos) << report;

    prompt->answer = home.dir / "miss.dat";
    main->ActCreateMissDatExecute();
    const std::string dat = test::ReadFile(home.dir / "miss.dat");
    EXPECT_NE(dat.find("c.bin"), std::string::npos);
    EXPECT_EQ(dat.find("a.bin"), std::string::npos);

    // Cancel in the dialog writes nothing.
    prompt->answer.clear();
    main->ActHaveExecute();
    EXPECT_FALSE(std::filesystem::exists(home.dir / "have.txt"));
}

TEST_F(MainCommandsTest, CommandsOfTheMenusRunThroughTheDispatcher) {
    // Refresh from the menu while another command runs is dropped.
    WriteZip(home.Roms() + "gamma.zip", {{"c.bin", "CC"}});
    FocusPathRoot(0);
    main->Dispatcher().Run([&] { main->A(TActionId::ActRefresh)->trigger(); });
    EXPECT_EQ(main->Controller().FilesBd().GetPath(0)->Files().Count(), 4);
    main->A(TActionId::ActRefresh)->trigger();
    EXPECT_EQ(main->Controller().FilesBd().GetPath(0)->Files().Count(), 5);
}

}  // namespace
