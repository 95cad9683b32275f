#include "ui/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <cstdint>
#include <cstdio>

namespace qm {

TSingleInstance::TSingleInstance(const std::string& iniFileName, QObject* parent)
    : QObject(parent), key_(KeyFor(iniFileName)) {}

TSingleInstance::~TSingleInstance() {
    if (server_) server_->close();
}

std::string TSingleInstance::KeyFor(const std::string& iniFileName) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (unsigned char c : iniFileName) {
        hash ^= c;
        hash *= 16777619u;
    }
    char text[9];
    std::snprintf(text, sizeof text, "%08x", hash);
    return "quarmelle-" + std::string(text);
}

std::string TSingleInstance::LockFileName() const {
    return QDir(QDir::tempPath()).filePath(QString::fromStdString(key_) + ".lock").toStdString();
}

bool TSingleInstance::Acquire() {
    const QString name = QString::fromStdString(key_);
    auto lock = std::make_unique<QLockFile>(QString::fromStdString(LockFileName()));
    // A lock left by a program that died is taken over (QLockFile checks its process).
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(1000)) {
            socket.write("activate\n");
            socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
        }
        return false;
    }
    lock_ = std::move(lock);
    // A socket left by a program that died would refuse the listen.
    QLocalServer::removeServer(name);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            emit ActivateRequested();
        }
    });
    server_->listen(name);
    return true;
}

}  // namespace qm
