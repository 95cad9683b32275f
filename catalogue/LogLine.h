#pragma once
// The log line to the external viewer window: each message is one line (ended by LF)
// on a local socket stream, sent only while a viewer listens and never waiting for it.
#include <cstdint>
#include <memory>
#include <string>

class QLocalSocket;

namespace qm {

class TLogLine {
public:
    // socketName as QLocalServer::listen takes it (a bare name lives in the system's
    // temporary folder).
    explicit TLogLine(std::string socketName);
    ~TLogLine();
    TLogLine(const TLogLine&) = delete;
    TLogLine& operator=(const TLogLine&) = delete;

    // The name of the viewer's socket for an ini file: "Quarmelle Log-" and eight
    // hexadecimal digits of the FNV-1a hash of the ini file's full name, so that two
    // programs (or two tests) with two settings files never meet.
    static std::string SocketName(const std::string& iniFileName);

    const std::string& Name() const { return name_; }

    // Sends text as one line; line breaks inside it become blanks so that one message
    // stays one line. Without a viewer, or while the viewer lags behind by more than
    // MaxPending bytes, the line is dropped. Returns true when the line was handed to
    // the socket.
    bool Send(const std::string& text);

    static constexpr int64_t MaxPending = 1 << 20;

private:
    bool Connect();

    std::string name_;
    std::unique_ptr<QLocalSocket> socket_;
};

}  // namespace qm
