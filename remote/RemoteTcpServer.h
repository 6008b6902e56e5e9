// The listening socket of the remote API. Qt HttpServer reads a whole request body into memory
// before it routes, with no limit; this server puts a guard in front of every connection that
// reads the request framing itself, bounds the socket's read buffer, refuses a body over the
// limit before the HTTP layer sees a byte of it, and closes a connection that stays idle.
#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <vector>

namespace quorvell {

struct ConnectionLimits {
    qint64 maxBodyBytes = 64 * 1024;    // larger bodies get 413 and the connection is closed
    qint64 maxHeaderBytes = 16 * 1024;  // a longer request head gets 431
    int idleTimeoutMs = 30000;          // no byte either way for this long: closed
    int headDeadlineMs = 10000;         // a request head must be complete this soon after it began
    int maxConnections = 128;           // open connections in all
    int maxPerAddress = 64;             // open connections from one client address
    int acceptPauseMs = 500;            // accepting pauses this long when out of descriptors
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

    int OpenConnections() const { return static_cast<int>(open_.size()); }

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    // At the limit, the oldest connection still waiting for its first complete request head
    // (a slow or trickling client) makes room for the new one; only when every open
    // connection is busy is the new one answered 503.
    bool MakeRoomFor(const QHostAddress& peer);
    void Forget(QTcpSocket* socket);

    ConnectionLimits limits_;
    WebSocketCheck isWebSocket_;
    std::vector<QTcpSocket*> open_;  // in the order they were accepted
};

}  // namespace quorvell
