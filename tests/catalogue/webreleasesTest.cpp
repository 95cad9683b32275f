#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <map>
#include <memory>

#include "catalogue/webreleases.h"
#include "platform/FileSystem.h"
#include "platform/UiHooks.h"
#include "support/QtApp.h"
#include "support/TestSupport.h"

using namespace qm;
using qm::test::TTempDir;

namespace {

// A tiny HTTP server on 127.0.0.1 answering from a table of routes.
class TLocalHttpServer {
public:
    struct Route {
        int status = 200;
        std::string reason = "OK";
        std::string body;
        std::string extraHeaders;
        bool slow = false;  // sends the first bytes, then waits for ever
        bool cut = false;   // announces more than it sends, then closes
    };
    std::map<std::string, Route> routes;  // by path
    std::vector<std::string> requestLines;
    // Answers 407 until this Proxy-Authorization header value arrives.
    std::string requiredProxyAuth;

    TLocalHttpServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                auto buffer = std::make_shared<std::string>();
                QObject::connect(s, &QTcpSocket::readyRead, [this, s, buffer] {
                    buffer->append(s->readAll().toStdString());
                    const auto end = buffer->find("\r\n\r\n");
                    if (end == std::string::npos) return;
                    const std::string head = buffer->substr(0, end);
                    buffer->clear();
                    Answer(s, head);
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    int Port() const { return server_.serverPort(); }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(Port()); }

private:
    void Answer(QTcpSocket* s, const std::string& head) {
        const std::string line = head.substr(0, head.find("\r\n"));
        requestLines.push_back(line);
        std::string target = line.substr(line.find(' ') + 1);
        target = target.substr(0, target.find(' '));
        if (auto p = target.find("://"); p != std::string::npos) target = target.substr(target.find('/', p + 3));
        if (!requiredProxyAuth.empty() &&
            head.find("Proxy-Authorization: " + requiredProxyAuth) == std::string::npos) {
            Send(s, "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"test\"\r\n"
                    "Content-Length: 0\r\n\r\n");
            return;
        }
        auto it = routes.find(target);
        Route r = it == routes.end() ? Route{404, "Not Found", "missing", ""} : it->second;
        const std::string status = "HTTP/1.1 " + std::to_string(r.status) + " " + r.reason + "\r\n" + r.extraHeaders;
        if (r.slow || r.cut) {
            Send(s, status + "Content-Length: " + std::to_string(r.body.size() + 100000) + "\r\n\r\n" +
                        r.body.substr(0, 10));
            if (r.cut) {
                s->flush();
                s->disconnectFromHost();
            }
            return;
        }
        Send(s, status + "Content-Length: " + std::to_string(r.body.size()) + "\r\nConnection: close\r\n\r\n" +
                    r.body);
        s->disconnectFromHost();
    }
    static void Send(QTcpSocket* s, const std::string& bytes) {
        s->write(bytes.data(), static_cast<qint64>(bytes.size()));
    }

    QTcpServer server_;
};

const char* kList =
    "some header text\r\n"
    "[INFO]\r\n"
    "romtype = MAME \r\n"
    "email= me@example.test\r\n"
    "[Datafiles]\r\n"
    "\r\n"
    " 1 ; Mame ; 0.99 ; 4000 ; Somebody ; x ; Full set ; 2004-01-01 ;  releases.test/dats/mame%20full.zip \r\n"
    "2;NoUrl;1.0;1;a;b;c;d;\r\n"
    "3;Raine;0.40;10;b;c;d;e;http://releases.test/r.zip;\r\n";

class WebReleasesTest : public ::testing::Test {
protected:
    void SetUp() override { qm::test::EnsureQtApp(); }
    TScriptedUiHooks hooks;
    TScopedUiHooks scope{hooks};
};

// A small datafile the reader takes, and the same zipped (by Info-ZIP zip, not by us).
const std::string kGoodDatafile =
    "[CREDITS]\r\nAuthor=me\r\n[DAT]\r\nversion=2.00\r\n[EMULATOR]\r\nrefname=mame\r\n[GAMES]\r\n"
    "\xAC" "pacman\xAC" "Pac-Man\xAC" "pacman\xAC" "Pac-Man\xAC" "pm1.bin\xAC" "0123abcd\xAC" "4096\xAC\xAC\xAC\r\n";

std::string ZippedDatafile() {
    TTempDir dir;
    qm::test::WriteFile(dir / "mame.dat", kGoodDatafile);
    int status = -1;
    qm::test::RunCommand("cd " + qm::test::ShellQuote(dir.Path()) + " && zip -q -X mame.zip mame.dat", &status);
    EXPECT_EQ(status, 0);
    return qm::test::ReadFile(dir / "mame.zip");
}

size_t EntriesIn(const std::string& dir) {
    std::vector<TDirEntry> entries;
    Fs().ListDir(dir, entries);
    return entries.size();
}

}  // namespace

TEST(WebReleasesParse, SplitLinesKeepsEmptyLines) {
    using V = std::vector<std::string>;
    EXPECT_EQ(TWebReleases::SplitLines("a\r\nb\rc\nd"), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(TWebReleases::SplitLines("a\n\nb\r\n"), (V{"a", "", "b"}));
    EXPECT_EQ(TWebReleases::SplitLines(""), V{});
    EXPECT_EQ(TWebReleases::SplitLines("\r\n\r\n"), (V{"", ""}));
}

TEST(WebReleasesParse, ListFieldsSchemesAndValidity) {
    TWebRecordList list;
    TWebReleases::ParseReleaseList("Site|site.test/list.inf", TWebReleases::SplitLines(kList), list);
    ASSERT_EQ(list.Count(), 2u);
    const TWebRecord& r = list.GetItem(0);
    EXPECT_EQ(r.SiteName, "Site");
    EXPECT_EQ(r.SiteUrl, "http://site.test/list.inf");
    EXPECT_EQ(r.RomType, "MAME");
    EXPECT_EQ(r.SiteEmail, "me@example.test");
    EXPECT_EQ(r.Name(), "Mame");
    EXPECT_EQ(r.Version(), "0.99");
    EXPECT_EQ(r.Field(8), "2004-01-01");
    EXPECT_EQ(r.Url, "http://releases.test/dats/mame full.zip");
    EXPECT_EQ(r.RequestUrl, "http://releases.test/dats/mame%20full.zip");
    EXPECT_EQ(list.GetItem(1).Url, "http://releases.test/r.zip");  // closing ";" dropped
    EXPECT_EQ(TWebReleases::LocalFileName(r.Url), "mame full.zip");
}

TEST(WebReleasesParse, SectionsMatchCaseButNotBlanks) {
    TWebRecordList list;
    TWebReleases::ParseReleaseList("S", {" [info]", "[datafiles]", "1;A;1;1;1;1;1;1;u"}, list);
    EXPECT_EQ(list.Count(), 0u);
    TWebReleases::ParseReleaseList("S", {"[info]", "1;A;1;1;1;1;1;1;u"}, list);
    EXPECT_EQ(list.Count(), 0u);  // no [datafiles]
    TWebReleases::ParseReleaseList("S", {"[Info]", "[DATAFILES]", "1;A;1;1;1;1;1;1;u;v;w"}, list);
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.GetItem(0).Url, "http://u");  // later fields are no part of the address
    EXPECT_EQ(list.GetItem(0).SiteUrl, "http://S");
    // Short lines: missing fields are empty, and no address means no release.
    TWebReleases::ParseReleaseList("S", {"[info]", "[datafiles]", "1;A;1", ";;;"}, list);
    EXPECT_EQ(list.Count(), 1u);
}

TEST(WebReleasesParse, WhatFollowsTheNinthFieldIsNoPartOfTheAddress) {
    TWebRecordList list;
    TWebReleases::ParseReleaseList("S", {"[info]", "[datafiles]", "1;A;1;1;1;1;1;1; h.test/a.zip ;;",
                                          "2;B;1;1;1;1;1;1;h.test/b%20c.zip;2024;extra"},
                                   list);
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.GetItem(0).Url, "http://h.test/a.zip");
    EXPECT_EQ(TWebReleases::LocalFileName(list.GetItem(0).Url), "a.zip");
    EXPECT_EQ(list.GetItem(1).RequestUrl, "http://h.test/b%20c.zip");
    EXPECT_EQ(TWebReleases::LocalFileName(list.GetItem(1).Url), "b c.zip");
}

TEST(WebReleasesParse, UnsafeLocalNamesAreRefused) {
    EXPECT_EQ(TWebReleases::LocalFileName("http://h/a/"), "");
    EXPECT_EQ(TWebReleases::LocalFileName("http://h/.."), "");
    EXPECT_EQ(TWebReleases::LocalFileName("http://h/get.php?file=x"), "get.php");
    EXPECT_EQ(TWebReleases::LocalFileName("http://h/a\\..\\b.zip"), "a_.._b.zip");
    EXPECT_EQ(TWebReleases::LocalFileName("http://h/game#1.dat"), "game#1.dat");
}

TEST_F(WebReleasesTest, ListsOfEverySiteWithProgressAndDuplicates) {
    TLocalHttpServer server;
    server.routes["/a.inf"].body = kList;
    server.routes["/b.inf"].body = "[info]\n[datafiles]\n1;Mame;1.00;1;x;x;x;x;http://releases.test/m.zip\n";
    TWebReleases web;
    std::vector<int> progress;
    std::vector<std::string> status;
    web.OnProgressPosition = [&](int p) { progress.push_back(p); };
    web.OnProgressText = [&](const std::string& t) { status.push_back(t); };
    web.Sites = {"A|" + server.Base() + "/a.inf", "B|" + server.Base() + "/b.inf"};
    web.DownloadReleaseLists();
    EXPECT_FALSE(web.Busy);
    EXPECT_EQ(web.Releases.Count(), 3u);
    EXPECT_EQ(web.ReleasesByName.count("Mame"), 2u);
    EXPECT_EQ(progress, (std::vector<int>{51, 100}));
    EXPECT_NE(std::find(status.begin(), status.end(), "Connecting to web site A..."), status.end());
    EXPECT_EQ(status.back(), "");
    EXPECT_TRUE(hooks.shown.empty());

    // A second run starts from empty lists: nothing is kept twice.
    web.DownloadReleaseLists();
    EXPECT_EQ(web.Releases.Count(), 3u);
    EXPECT_EQ(web.ReleasesByName.size(), 3u);
}

TEST_F(WebReleasesTest, NoSitesNoProgress) {
    TWebReleases web;
    bool fired = false;
    web.OnProgressPosition = [&](int) { fired = true; };
    web.DownloadReleaseLists();
    EXPECT_FALSE(fired);
    EXPECT_EQ(web.Releases.Count(), 0u);
}

TEST_F(WebReleasesTest, NotFoundAsksAndStopsOnNo) {
    TLocalHttpServer server;
    server.routes["/b.inf"].body = kList;
    TWebReleases web;
    web.Sites = {"A|" + server.Base() + "/missing.inf", "B|" + server.Base() + "/b.inf"};
    // Yes once (asked again), then No: the run stops silently, B is never fetched.
    hooks.dialogAnswers = {mrYes, mrNo};
    EXPECT_THROW(web.DownloadReleaseLists(), webreleases::ESilentAbort);
    EXPECT_EQ(server.requestLines.size(), 2u);
    ASSERT_EQ(hooks.shown.size(), 2u);
    EXPECT_NE(hooks.shown[0].text.find("Continue ?"), std::string::npos);
    EXPECT_FALSE(web.Busy);
    EXPECT_TRUE(web.ReleasesByName.empty());
}

TEST_F(WebReleasesTest, OtherFailureIsShownAndTheNextSiteFollows) {
    TLocalHttpServer server;
    server.routes["/err.inf"] = {500, "Boom", "x", ""};
    server.routes["/b.inf"].body = kList;
    TWebReleases web;
    web.Sites = {"A|" + server.Base() + "/err.inf", "B|" + server.Base() + "/b.inf"};
    web.DownloadReleaseLists();
    ASSERT_EQ(hooks.shown.size(), 1u);
    EXPECT_EQ(hooks.shown[0].text.rfind(server.Base() + "/err.inf:\n", 0), 0u);
    EXPECT_EQ(web.Releases.Count(), 2u);
}

TEST_F(WebReleasesTest, HttpProxyGetsTheRequestAndTheLogin) {
    TLocalHttpServer proxy;
    proxy.routes["/list.inf"].body = kList;
    proxy.requiredProxyAuth = "Basic dXNlcjpzZWNyZXQ=";  // user:secret
    hooks.loginAnswers = {{"user", "secret"}};
    TWebReleases web;
    web.SetProxy("127.0.0.1");
    web.SetProxyPort(proxy.Port());
    web.Sites = {"P|http://releases.test/list.inf"};
    web.DownloadReleaseLists();
    EXPECT_EQ(web.Releases.Count(), 2u);
    ASSERT_FALSE(proxy.requestLines.empty());
    EXPECT_EQ(proxy.requestLines[0], "GET http://releases.test/list.inf HTTP/1.1");
    ASSERT_EQ(hooks.prompts.size(), 1u);
    EXPECT_EQ(hooks.prompts[0], "Proxy authentication: Connection to 127.0.0.1");
    EXPECT_EQ(web.GetProxyUser(), "user");
}

TEST_F(WebReleasesTest, CancelledProxyLoginStopsSilently) {
    TLocalHttpServer proxy;
    proxy.requiredProxyAuth = "Basic never";
    TWebReleases web;
    web.SetProxy("127.0.0.1");
    web.SetProxyPort(proxy.Port());
    web.Sites = {"P|http://releases.test/list.inf", "Q|http://releases.test/other.inf"};
    EXPECT_THROW(web.DownloadReleaseLists(), webreleases::ESilentAbort);
    EXPECT_EQ(hooks.prompts.size(), 1u);
    EXPECT_TRUE(hooks.shown.empty());
}

TEST_F(WebReleasesTest, DownloadReplacesTheOldFileOnlyWhenComplete) {
    TTempDir dir;
    TLocalHttpServer server;
    const std::string zipped = ZippedDatafile();
    server.routes["/dats/mame%20full.zip"].body = zipped;
    server.routes["/cut.zip"] = {200, "OK", "0123456789abcdef", "", false, true};
    qm::test::WriteFile(dir / "mame full.zip", "OLD");
    qm::test::WriteFile(dir / "cut.zip", "OLD CUT");
    TWebReleases web;
    web.DownloadDir = dir.Path();
    TWebRecord r;
    r.Url = server.Base() + "/dats/mame full.zip";
    r.RequestUrl = server.Base() + "/dats/mame%20full.zip";
    EXPECT_EQ(web.DownloadDatafile(r), dir / "mame full.zip");
    EXPECT_EQ(qm::test::ReadFile(dir / "mame full.zip"), zipped);
    EXPECT_EQ(server.requestLines.back(), "GET /dats/mame%20full.zip HTTP/1.1");

    TWebRecord cut;
    cut.Url = cut.RequestUrl = server.Base() + "/cut.zip";
    EXPECT_THROW(web.DownloadDatafile(cut), webreleases::ECantDownloadFile);
    EXPECT_EQ(qm::test::ReadFile(dir / "cut.zip"), "OLD CUT");

    TWebRecord missing;
    missing.Url = missing.RequestUrl = server.Base() + "/nothing.zip";
    EXPECT_THROW(web.DownloadDatafile(missing), webreleases::ECantDownloadFile);
    EXPECT_FALSE(qm::test::FileExists(dir / "nothing.zip"));
    EXPECT_EQ(EntriesIn(dir.Path()), 2u);  // no temporary file left behind
}

// A server that answers 200 with anything but the datafile the list promised (nothing,
// a web page however it opens, a broken zip, an error in words or in JSON) has sent no
// datafile: the download fails saying what came, and the good file stays byte for byte.
TEST_F(WebReleasesTest, OnlyADatafileTheReaderTakesReplacesTheOldOne) {
    TTempDir dir;
    TLocalHttpServer server;
    const std::string zipped = ZippedDatafile();
    const struct {
        const char* name;
        std::string body;
        const char* said;  // in the error
    } bodies[] = {
        {"empty.dat", "", "Nothing was received from"},
        {"page.dat", "\r\n<!DOCTYPE html><html><body>Please log in</body></html>", "a web page, not a datafile"},
        {"bin.dat", std::string("\x1f\x8b\x08\0\0\0", 6), "did not send a datafile"},
        {"half.zip", zipped.substr(0, zipped.size() / 2), "did not send a datafile"},
        {"text.dat", "404 Not Found\n", "What came begins with \"404 Not Found\"."},
        {"xhtml.zip",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
         "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n<html xmlns=\"http://www.w3.org/1999/xhtml\">"
         "<body>Not here</body></html>",
         "a web page, not a datafile"},
        {"comment.dat", "<!-- served by the cache -->\n<HTML><BODY>Error 404</BODY></HTML>", "a web page, not a datafile"},
        {"json.dat", "{\"error\": \"not found\", \"status\": 404}", "What came begins with \"{\"error\""},
        {"json.zip", "{\"error\": \"not found\"}", "did not send a datafile"},
    };
    const std::string good = "[CREDITS]\r\nauthor=me\r\n";
    for (const auto& b : bodies) {
        SCOPED_TRACE(b.name);
        server.routes[std::string("/") + b.name].body = b.body;
        qm::test::WriteFile(dir / b.name, good);
        TWebReleases web;
        web.DownloadDir = dir.Path();
        TWebRecord r;
        r.Url = r.RequestUrl = server.Base() + "/" + b.name;
        try {
            web.DownloadDatafile(r);
            ADD_FAILURE() << "taken for a datafile";
        } catch (const webreleases::ECantDownloadFile& e) {
            EXPECT_NE(e.Message().find(b.said), std::string::npos) << e.Message();
            EXPECT_NE(e.Message().find(r.Url), std::string::npos) << e.Message();
        }
        EXPECT_EQ(qm::test::ReadFile(dir / b.name), good);
    }
    EXPECT_EQ(EntriesIn(dir.Path()), std::size(bodies));

    // The same address with the datafile, plain or zipped, replaces the old file.
    server.routes["/text.dat"].body = kGoodDatafile;
    server.routes["/half.zip"].body = zipped;
    for (const char* name : {"text.dat", "half.zip"}) {
        TWebReleases web;
        web.DownloadDir = dir.Path();
        TWebRecord r;
        r.Url = r.RequestUrl = server.Base() + "/" + name;
        EXPECT_EQ(web.DownloadDatafile(r), dir / name);
    }
    EXPECT_EQ(qm::test::ReadFile(dir / "text.dat"), kGoodDatafile);
    EXPECT_EQ(qm::test::ReadFile(dir / "half.zip"), zipped);
    EXPECT_EQ(EntriesIn(dir.Path()), std::size(bodies));
}

// A release list that is no list (nothing, a web page, other text) is an error of its
// site, shown with its address; the next site follows.
TEST_F(WebReleasesTest, AListThatIsNoListSaysSo) {
    TLocalHttpServer server;
    server.routes["/empty.inf"].body = " \r\n";
    server.routes["/page.inf"].body = "<?xml version=\"1.0\"?>\n<html><body>Moved</body></html>";
    server.routes["/text.inf"].body = "404 Not Found";
    server.routes["/b.inf"].body = kList;
    TWebReleases web;
    web.Sites = {"E|" + server.Base() + "/empty.inf", "P|" + server.Base() + "/page.inf",
                 "T|" + server.Base() + "/text.inf", "B|" + server.Base() + "/b.inf"};
    web.DownloadReleaseLists();
    EXPECT_EQ(web.Releases.Count(), 2u);
    ASSERT_EQ(hooks.shown.size(), 3u);
    EXPECT_EQ(hooks.shown[0].text, server.Base() + "/empty.inf:\nThe release list is empty.");
    EXPECT_EQ(hooks.shown[1].text, server.Base() + "/page.inf:\nThe server sent a web page, not a release list.");
    EXPECT_EQ(hooks.shown[2].text,
              server.Base() + "/text.inf:\nThis is not a release list: it has no [info] and [datafiles] sections.");
}

TEST_F(WebReleasesTest, AbortedDownloadKeepsTheOldFile) {
    TTempDir dir;
    TLocalHttpServer server;
    server.routes["/slow.zip"] = {200, "OK", "0123456789abcdef", "", true};
    qm::test::WriteFile(dir / "slow.zip", "OLD");
    TWebReleases web;
    web.DownloadDir = dir.Path();
    web.OnProgressText = [&](const std::string& t) {
        if (t.rfind("Loading datafile", 0) == 0) QTimer::singleShot(0, [&] { web.Abort(); });
    };
    TWebRecord r;
    r.Url = r.RequestUrl = server.Base() + "/slow.zip";
    EXPECT_THROW(web.DownloadDatafile(r), webreleases::ESilentAbort);
    EXPECT_FALSE(web.Aborted);
    EXPECT_EQ(qm::test::ReadFile(dir / "slow.zip"), "OLD");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);

    // A later real failure is an error again, not a silent abort.
    TWebRecord missing;
    missing.Url = missing.RequestUrl = server.Base() + "/nothing.zip";
    EXPECT_THROW(web.DownloadDatafile(missing), webreleases::ECantDownloadFile);

    // Stalled with nobody pressing Cancel: the transfer says it timed out.
    web.OnProgressText = nullptr;
    web.TransferTimeoutMs = 300;
    try {
        web.DownloadDatafile(r);
        ADD_FAILURE() << "no error";
    } catch (const webreleases::ECantDownloadFile& e) {
        EXPECT_EQ(e.Message(), r.Url + " sent nothing for 1 seconds: the transfer timed out.");
    }
    EXPECT_EQ(qm::test::ReadFile(dir / "slow.zip"), "OLD");
}

TEST_F(WebReleasesTest, MissingDownloadFolderIsAnError) {
    TWebReleases web;
    web.DownloadDir = "/nonexistent/qm/folder";
    TWebRecord r;
    r.Url = "http://releases.test/a.zip";
    EXPECT_THROW(web.DownloadDatafile(r), webreleases::ECantDownloadFile);
}
