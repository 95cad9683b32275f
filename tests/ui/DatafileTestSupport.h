#pragma once
// Shared by the datafile manager's tests: a home with its settings, a datafile folder,
// a trash of its own, zip archives made by Info-ZIP, and a small HTTP server.
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/FilesTools.h"
#include "catalogue/config.h"
#include "support/TestSupport.h"

namespace qm::test {

// A home of its own (settings, trash, temporary folder) with the global settings
// made in it, and an empty datafile folder "datas/".
class TDatafileHome {
public:
    TDatafileHome()
        : homeEnv_("QUARMELLE_HOME", root_.Path().c_str()),
          tmpEnv_("TMPDIR", (root_ / "tmp").c_str()),
          xdgEnv_("XDG_DATA_HOME", (root_ / "xdg").c_str()),
          proxyEnv_("http_proxy", nullptr),
          proxyEnv2_("HTTP_PROXY", nullptr) {
        std::filesystem::create_directories(root_ / "tmp");
        std::filesystem::create_directories(root_ / "datas");
        RemoveTempDirectory();
        global_ = std::make_unique<TGlobalConfig>(root_ / "bin/quarmelle");
        Config->SetDatafilePath(Datas());
        Config->SetXmlPath(root_.Path());
    }
    ~TDatafileHome() {
        global_.reset();
        RemoveTempDirectory();
    }
    std::string Root() const { return root_.Path(); }
    std::string Datas() const { return root_ / "datas/"; }
    std::string Trash() const { return root_ / "xdg/Trash/files/"; }

private:
    TTempDir root_;
    TScopedEnv homeEnv_, tmpEnv_, xdgEnv_, proxyEnv_, proxyEnv2_;
    std::unique_ptr<TGlobalConfig> global_;
};

// A zip archive made by Info-ZIP from the files given (name -> contents); names may
// hold a folder.
inline void MakeZip(const std::string& zipName, const std::map<std::string, std::string>& files) {
    TTempDir stage;
    std::string names;
    for (const auto& [name, bytes] : files) {
        WriteFile(stage / name, bytes);
        names += " " + ShellQuote(name);
    }
    int code = 0;
    RunCommand("cd " + ShellQuote(stage.Path()) + " && zip -q -X " + ShellQuote(zipName) + names, &code);
    if (code != 0) throw std::runtime_error("zip failed for " + zipName);
}

// The bytes of a zip holding one small datafile the reader takes, named entry.
inline std::string ZippedDatafile(const std::string& entry) {
    TTempDir stage;
    MakeZip(stage / "served.zip",
            {{entry, "[CREDITS]\r\nAuthor=me\r\n[DAT]\r\nversion=2.00\r\n[EMULATOR]\r\nrefname=" + entry +
                         "\r\n[GAMES]\r\n"}});
    return ReadFile(stage / "served.zip");
}

// The entries of a zip archive as Info-ZIP lists them.
inline std::string ZipEntries(const std::string& zipName) {
    return RunCommand("unzip -Z1 " + ShellQuote(zipName) + " 2>/dev/null");
}

// A small HTTP server on 127.0.0.1 that answers from a table of routes and counts
// the requests of each path.
class TDatafileHttpServer {
public:
    struct Route {
        int status = 200;
        std::string body;
        bool slow = false;  // sends the head and a few bytes, then nothing more
    };
    std::map<std::string, Route> routes;
    std::map<std::string, int> hits;

    TDatafileHttpServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                auto buffer = std::make_shared<std::string>();
                QObject::connect(s, &QTcpSocket::readyRead, [this, s, buffer] {
                    buffer->append(s->readAll().toStdString());
                    const auto end = buffer->find("\r\n\r\n");
                    if (end == std::string::npos) return;
                    const std::string line = buffer->substr(0, buffer->find("\r\n"));
                    buffer->clear();
                    std::string target = line.substr(line.find(' ') + 1);
                    target = target.substr(0, target.find(' '));
                    Answer(s, target);
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(server_.serverPort()); }

private:
    void Answer(QTcpSocket* s, const std::string& target) {
        ++hits[target];
        auto it = routes.find(target);
        const Route r = it == routes.end() ? Route{404, "missing"} : it->second;
        std::string head = "HTTP/1.1 " + std::to_string(r.status) + (r.status == 200 ? " OK" : " Not Found") + "\r\n";
        if (r.slow) {
            head += "Content-Length: " + std::to_string(r.body.size() + 100000) + "\r\n\r\n" + r.body.substr(0, 4);
            s->write(head.data(), static_cast<qint64>(head.size()));
            return;
        }
        head += "Content-Length: " + std::to_string(r.body.size()) + "\r\nConnection: close\r\n\r\n" + r.body;
        s->write(head.data(), static_cast<qint64>(head.size()));
        s->disconnectFromHost();
    }
    QTcpServer server_;
};

}  // namespace qm::test
