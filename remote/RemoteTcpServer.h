// The listening socket of the remote API. Qt HttpServer reads a whole request body into memory
// before it routes, with no limit; this server puts a guard in front of every connection that
// reads the request framing itself, bounds the socket's read buffer, refuses a body over the
// limit before the HTTP layer sees a byte of it, and closes a connection that stays idle.
#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

namespace quorvell {

struct ConnectionLimits {
    qint64 maxBodyBytes = 64 * 1024;    // larger bodies get 413 and the connection is closed
    qint64 maxHeaderBytes = 16 * 1024;  // a longer request head gets 431
    int idleTimeoutMs = 30000;          // no byte either way for this long: closed
};

class RemoteTcpServer : public QTcpServer {
    Q_OBJECT

public:
    explicit RemoteTcpServer(ConnectionLimits limits, QObject* parent = nullptr);

    const ConnectionLimits& Limits() const { return limits_; }

    // Tells whether a connection that asked for an upgrade is now an admitted WebSocket; such
    // a connection is no longer closed when idle. Without it every idle connection is closed.
    using WebSocketCheck = std::function<bool(const QTcpSocket&)>;
    void SetWebSocketCheck(WebSocketCheck check) { isWebSocket_ = std::move(check); }

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    ConnectionLimits limits_;
    WebSocketCheck isWebSocket_;
};

}  // namespace quorvell
