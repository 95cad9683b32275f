#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "catalogue/LogLine.h"
#include "catalogue/config.h"
#include "support/QtApp.h"
#include "support/TestSupport.h"

using namespace qm;
using qm::test::EnsureQtApp;
using qm::test::TTempDir;

namespace {

// Every test gets a socket name of its own (the names derive from an ini path).
std::string FreshName(const TTempDir& dir) { return TLogLine::SocketName(dir / "quarmelle.ini"); }

// Reads from a viewer's connection until count lines have come (or the wait ends).
std::string ReadLines(QLocalSocket& viewer, int count) {
    std::string got;
    for (int tries = 0; tries < 50 && std::count(got.begin(), got.end(), '\n') < count; ++tries) {
        if (viewer.bytesAvailable() == 0) viewer.waitForReadyRead(100);
        got += viewer.readAll().toStdString();
    }
    return got;
}

// A listener on the path QLocalServer uses for a bare name that never accepts nor
// reads: a viewer that hangs.
class THungViewer {
public:
    explicit THungViewer(const std::string& name) {
        path_ = QDir::tempPath().toStdString() + "/" + name;
        fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        ::unlink(path_.c_str());
        ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd_, 1) == 0;
    }
    ~THungViewer() {
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    bool ok() const { return ok_; }

private:
    std::string path_;
    int fd_ = -1;
    bool ok_ = false;
};

}  // namespace

TEST(LogLine, NamesFollowTheSettingsFile) {
    EXPECT_EQ(TLogLine::SocketName("/a/quarmelle.ini"), TLogLine::SocketName("/a/quarmelle.ini"));
    EXPECT_NE(TLogLine::SocketName("/a/quarmelle.ini"), TLogLine::SocketName("/b/quarmelle.ini"));
    EXPECT_EQ(TLogLine::SocketName("/a/quarmelle.ini").rfind("Quarmelle Log-", 0), 0u);
    EXPECT_EQ(TLogLine::SocketName("").size(), std::strlen("Quarmelle Log-") + 8);
}

TEST(LogLine, NoViewerDropsTheLine) {
    TTempDir dir;
    TLogLine log(FreshName(dir));
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(log.Send("nobody listens"));
}

TEST(LogLine, AViewerReceivesOneLinePerMessage) {
    EnsureQtApp();  // the program sends with an application object present
    TTempDir dir;
    const std::string name = FreshName(dir);
    QLocalServer server;
    ASSERT_TRUE(server.listen(QString::fromStdString(name))) << server.errorString().toStdString();

    TLogLine log(name);
    EXPECT_TRUE(log.Send("Rename a.zip -> b.zip"));
    EXPECT_TRUE(log.Send("two\nlines\r\nin one"));
    EXPECT_TRUE(log.Send(""));
    ASSERT_TRUE(server.waitForNewConnection(5000));
    std::unique_ptr<QLocalSocket> viewer(server.nextPendingConnection());
    ASSERT_TRUE(viewer);
    EXPECT_EQ(ReadLines(*viewer, 3), "Rename a.zip -> b.zip\ntwo lines  in one\n\n");

    // The viewer goes: the line is lost, nothing blocks; a new viewer gets the next.
    viewer->abort();
    viewer.reset();
    server.close();
    for (int i = 0; i < 3; ++i) log.Send("while nobody listens");
    EXPECT_FALSE(log.Send("still nobody"));

    QLocalServer next;
    ASSERT_TRUE(next.listen(QString::fromStdString(name)));
    EXPECT_TRUE(log.Send("back again"));
    ASSERT_TRUE(next.waitForNewConnection(5000));
    std::unique_ptr<QLocalSocket> second(next.nextPendingConnection());
    EXPECT_EQ(ReadLines(*second, 1), "back again\n");
}

TEST(LogLine, AHungViewerNeverBlocksTheSender) {
    EnsureQtApp();  // the program sends with an application object present
    TTempDir dir;
    const std::string name = FreshName(dir);
    THungViewer viewer(name);
    ASSERT_TRUE(viewer.ok());
    TLogLine log(name);
    const std::string line(1000, 'x');
    int sent = 0;
    // Far more than the socket and the pending limit hold: the later lines are dropped.
    for (int i = 0; i < 4000; ++i) sent += log.Send(line) ? 1 : 0;
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, 4000);
}

TEST(LogLine, SettingsSendToTheViewerOfTheirFile) {
    EnsureQtApp();  // the program sends with an application object present
    TTempDir home;
    const char* old = std::getenv("QUARMELLE_HOME");
    std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("QUARMELLE_HOME", home.Path().c_str(), 1);
    {
        TConfig config("/opt/quarmelle/bin/quarmelle");
        EXPECT_EQ(config.LogSocketName(), TLogLine::SocketName(home / "quarmelle.ini"));
        config.SendToLogWindow("dropped: no viewer yet");

        QLocalServer server;
        ASSERT_TRUE(server.listen(QString::fromStdString(config.LogSocketName())));
        config.SendToLogWindow("Remove foo.zip");
        ASSERT_TRUE(server.waitForNewConnection(5000));
        std::unique_ptr<QLocalSocket> viewer(server.nextPendingConnection());
        EXPECT_EQ(ReadLines(*viewer, 1), "Remove foo.zip\n");
    }
    if (saved)
        ::setenv("QUARMELLE_HOME", saved->c_str(), 1);
    else
        ::unsetenv("QUARMELLE_HOME");
}
