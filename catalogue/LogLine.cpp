#include "catalogue/LogLine.h"

#include <QLocalSocket>

#include <cstdio>

namespace qm {

TLogLine::TLogLine(std::string socketName) : name_(std::move(socketName)) {}

TLogLine::~TLogLine() {
    if (socket_) socket_->abort();
}

std::string TLogLine::SocketName(const std::string& iniFileName) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : iniFileName) {
        hash ^= c;
        hash *= 16777619u;
    }
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", hash);
    return std::string("Quarmelle Log-") + digits;
}

bool TLogLine::Connect() {
    if (socket_ && socket_->state() == QLocalSocket::ConnectedState) return true;
    // A connection still pending from the last line (the viewer's queue was full) is
    // given up rather than waited for.
    if (!socket_) socket_ = std::make_unique<QLocalSocket>();
    socket_->abort();
    // A local stream socket connects at once or fails at once (no viewer: the name
    // does not exist or nobody accepts on it).
    socket_->connectToServer(QString::fromUtf8(name_.data(), static_cast<qsizetype>(name_.size())),
                             QIODevice::WriteOnly);
    return socket_->state() == QLocalSocket::ConnectedState;
}

bool TLogLine::Send(const std::string& text) {
    if (!Connect()) return false;
    if (socket_->bytesToWrite() > MaxPending) return false;
    std::string line = text;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    line.push_back('\n');
    if (socket_->write(line.data(), static_cast<qint64>(line.size())) != static_cast<qint64>(line.size())) {
        socket_->abort();
        return false;
    }
    // Hands what the socket takes without blocking; the rest waits in the socket's
    // buffer for the event loop. A viewer that went away shows here as a broken
    // connection: the line is lost and the next one connects again.
    socket_->flush();
    return socket_->state() == QLocalSocket::ConnectedState;
}

}  // namespace qm
