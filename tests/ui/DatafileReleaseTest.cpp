#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QTimer>

#include "DatafileTestSupport.h"
#include "platform/UiHooks.h"
#include "ui/DatafileModels.h"
#include "ui/commands/ReleaseView.h"

using namespace qm;
using namespace qm::test;

namespace {

std::unique_ptr<TWebRecord> Release(const std::string& folder, const std::string& name, const std::string& date,
                                    const std::string& url = "http://x.test/f.zip") {
    auto r = std::make_unique<TWebRecord>();
    r->SiteName = "Site";
    r->SiteUrl = "http://x.test/list.inf";
    r->RomType = folder;
    r->Fields = {"1", name, "0.1", "10", "me", "", "comment", date};
    r->Url = url;
    r->RequestUrl = url;
    return r;
}

std::vector<std::string> Names(const std::vector<TReleaseRow>& rows) {
    std::vector<std::string> names;
    for (const auto& r : rows) names.push_back(r.Texts[rcName]);
    return names;
}

}  // namespace

TEST(DatafileReleaseView, FoldersAreDistinctWithoutRegardToCaseAndSorted) {
    TWebRecordList list;
    for (const char* folder : {"MAME", "raine", "", "mame", "Atari"}) list.Add(Release(folder, "n", ""));
    EXPECT_EQ(ReleaseFolders(list), (std::vector<std::string>{"Atari", "MAME", "raine"}));
    EXPECT_EQ(KeptFolderIndex({"Atari", "MAME"}, "MAME"), 1);
    EXPECT_EQ(KeptFolderIndex({"Atari", "MAME"}, "gone"), 0);
    EXPECT_EQ(KeptFolderIndex({}, "MAME"), -1);
}

TEST(DatafileReleaseView, RowsOfAFolderCarryTheirColumnTexts) {
    TWebRecordList list;
    list.Add(Release("MAME", "Mame", "2004-01-01"));
    list.Add(Release("Raine", "Raine", ""));
    list.Add(Release("mame", "Mame2", ""));
    const auto rows = ReleaseRowsOf(list, "Mame");
    ASSERT_EQ(Names(rows), (std::vector<std::string>{"Mame", "Mame2"}));
    EXPECT_EQ(rows[0].Texts, (std::array<std::string, rcColumnCount>{"Mame", "0.1", "10", "me", "comment",
                                                                     "2004-01-01", "Site"}));
    EXPECT_EQ(rows[0].Record, &list.GetItem(0));
}

TEST(DatafileReleaseView, ReleaseDatesCompareAsDatesElseAsText) {
    struct Case {
        const char* text;
        bool ok;
    };
    int value = 0;
    for (const Case& c : {Case{"2004-01-01", true}, Case{"2004-1-9", true}, Case{" 2004-12-31 ", true},
                          Case{"2004-02-30", false}, Case{"2000-02-29", true}, Case{"1900-02-29", false},
                          Case{"04-01-01", false}, Case{"2004/01/01", false}, Case{"", false},
                          Case{"2004-13-01", false}, Case{"2004-01-01-01", false}})
        EXPECT_EQ(ParseReleaseDate(c.text, value), c.ok) << c.text;

    TWebRecordList list;
    list.Add(Release("m", "a", "2004-10-2"));
    list.Add(Release("m", "B", "2004-9-30"));
    list.Add(Release("m", "c", "soon"));
    list.Add(Release("m", "d", "2003-12-31"));
    auto rows = ReleaseRowsOf(list, "m");
    SortReleaseRows(rows, rcReleaseDate, true);
    // As text "2004-10-2" would come before "2004-9-30"; "soon" compares as text.
    EXPECT_EQ(Names(rows), (std::vector<std::string>{"d", "B", "a", "c"}));
    SortReleaseRows(rows, rcName, false);
    EXPECT_EQ(Names(rows), (std::vector<std::string>{"d", "c", "B", "a"}));
}

TEST(DatafileReleaseView, SiteEntriesJoinNameAndUrl) {
    TQmWebUpdates sites;
    sites.Add("Main", "http://a.test/l.inf");
    sites.Add("Mirror", "b.test/l.inf");
    EXPECT_EQ(ReleaseSiteEntries(sites), (std::vector<std::string>{"Main|http://a.test/l.inf", "Mirror|b.test/l.inf"}));
}

TEST(DatafileModels, ReleaseModelChecksSortsAndKeepsChecksWithTheirRows) {
    TWebRecordList list;
    list.Add(Release("m", "b", "2004-01-02"));
    list.Add(Release("m", "a", "2004-01-03"));
    list.Add(Release("m", "c", "2004-01-01"));
    TReleaseModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.SetRows(ReleaseRowsOf(list, "m"));
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.columnCount(), 7);
    EXPECT_EQ(model.headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(), "Release date");
    EXPECT_EQ(model.index(0, 0).data().toString(), "a");
    EXPECT_EQ(model.index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_TRUE(model.flags(model.index(0, 0)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.flags(model.index(0, 1)) & Qt::ItemIsUserCheckable);
    ASSERT_TRUE(model.setData(model.index(2, 0), Qt::Checked, Qt::CheckStateRole));  // "c"
    model.sort(rcReleaseDate, Qt::AscendingOrder);
    EXPECT_EQ(model.index(0, 0).data().toString(), "c");
    EXPECT_TRUE(model.IsChecked(0));
    ASSERT_EQ(model.CheckedRecords().size(), 1u);
    EXPECT_EQ(model.CheckedRecords()[0], &list.GetItem(2));
    // New rows take the model's order and start unchecked.
    model.SetRows(ReleaseRowsOf(list, "m"));
    EXPECT_EQ(model.index(0, 0).data().toString(), "c");
    EXPECT_TRUE(model.CheckedRecords().empty());
}

TEST(DatafileModels, LocalModelShowsTextsAndSortsWithoutRegardToCase) {
    TLocalDatafileModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.SetCaption("Datafile name");
    model.SetRows({{"b.dat", "/d/b.dat", ""}, {"A.dat", "/d/A.dat", ""}, {"z.zip | c.dat", "/d/z.zip", "c.dat"}});
    model.sort(0, Qt::AscendingOrder);
    EXPECT_EQ(model.index(0, 0).data().toString(), "A.dat");
    EXPECT_EQ(model.index(2, 0).data().toString(), "z.zip | c.dat");
    EXPECT_EQ(model.Row(2).Entry, "c.dat");
    model.sort(0, Qt::DescendingOrder);
    EXPECT_EQ(model.index(0, 0).data().toString(), "z.zip | c.dat");
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Datafile name");
}

TEST(DatafileModels, TypedSearchComparesOverTheShorterLength) {
    EXPECT_TRUE(SearchMatches("MA", "mame"));
    EXPECT_TRUE(SearchMatches("mame 0.99", "Mame"));
    EXPECT_FALSE(SearchMatches("mb", "mame"));
    EXPECT_TRUE(SearchMatches("x", ""));
}

// ---- downloads ----

namespace {

class DatafileDownloadTest : public ::testing::Test {
protected:
    TDatafileHome home;
    TDatafileHttpServer server;
    TScriptedUiHooks hooks;
    TScopedUiHooks scope{hooks};
    TWebReleases web;
    TWebRecordList list;
    std::vector<std::string> texts;
    int steps = 0;
    bool cancelled = false;

    void SetUp() override { web.DownloadDir = home.Datas(); }
    const TWebRecord* Add(const std::string& name, const std::string& path) {
        list.Add(Release("m", name, "", server.Base() + path));
        return &list.GetItem(list.Count() - 1);
    }
    TDownloadProgress Progress() {
        return {[this](const std::string& t) { texts.push_back(t); }, [this] { ++steps; },
                [this] { return cancelled; }};
    }
};

}  // namespace

TEST_F(DatafileDownloadTest, AFailedDownloadIsShownAndTheNextOneFollows) {
    const std::string a = ZippedDatafile("a.dat"), c = ZippedDatafile("c.dat");
    server.routes["/a.zip"] = {200, a};
    server.routes["/c.zip"] = {200, c};
    WriteFile(home.Datas() + "b.zip", "old b");
    const std::vector<const TWebRecord*> records = {Add("A", "/a.zip"), Add("B", "/b.zip"), Add("C", "/c.zip")};
    EXPECT_EQ(DownloadReleases(web, records, Progress()), 2);
    EXPECT_EQ(ReadFile(home.Datas() + "a.zip"), a);
    EXPECT_EQ(ReadFile(home.Datas() + "c.zip"), c);
    EXPECT_EQ(ReadFile(home.Datas() + "b.zip"), "old b");  // replaced only by a complete download
    EXPECT_EQ(texts, (std::vector<std::string>{"Downloading A", "Downloading B", "Downloading C"}));
    EXPECT_EQ(steps, 3);
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].type, TMsgDlgType::mtError);
}

TEST_F(DatafileDownloadTest, CancelDuringATransferEndsTheWholeRun) {
    server.routes["/slow.zip"] = {200, "SLOW BODY", true};
    server.routes["/b.zip"] = {200, "BBB"};
    const std::vector<const TWebRecord*> records = {Add("Slow", "/slow.zip"), Add("B", "/b.zip")};
    // Cancel pressed while the first transfer waits for its data.
    QTimer::singleShot(300, [this] {
        cancelled = true;
        web.Abort();
    });
    EXPECT_EQ(DownloadReleases(web, records, Progress()), 0);
    EXPECT_EQ(server.hits["/b.zip"], 0);
    EXPECT_FALSE(FileExists(home.Datas() + "slow.zip"));
    EXPECT_FALSE(FileExists(home.Datas() + "b.zip"));
    EXPECT_TRUE(hooks.shown.empty());
}

TEST_F(DatafileDownloadTest, CancelBetweenTwoTransfersStopsBeforeTheNext) {
    server.routes["/a.zip"] = {200, ZippedDatafile("a.dat")};
    server.routes["/b.zip"] = {200, ZippedDatafile("b.dat")};
    const std::vector<const TWebRecord*> records = {Add("A", "/a.zip"), Add("B", "/b.zip")};
    TDownloadProgress progress = Progress();
    progress.Step = [this] { cancelled = true; };
    EXPECT_EQ(DownloadReleases(web, records, progress), 1);
    EXPECT_EQ(server.hits["/b.zip"], 0);
}
