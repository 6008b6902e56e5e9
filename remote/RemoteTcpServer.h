// SPDX-License-Identifier: GPL-3.0-or-later
// The listening socket of the remote API. Qt HttpServer reads a whole request body into memory
// before it routes, with no limit; this server puts a guard in front of every connection that
// reads the request framing itself, bounds the socket's read buffer, refuses a body over the
// limit before the HTTP layer sees a byte of it, and closes a connection that stays idle.
#pragma once

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <vector>

class QWebSocket;

namespace quorvell {

struct ConnectionLimits {
    qint64 maxBodyBytes = 64 * 1024;    // larger bodies get 413 and the connection is closed
    qint64 maxHeaderBytes = 16 * 1024;  // a longer request head gets 431
    int idleTimeoutMs = 30000;          // no byte either way for this long: closed
    int headDeadlineMs = 10000;         // a request head must be complete this soon after it began
    int maxConnections = 128;           // open connections in all
    int maxPerAddress = 64;             // open connections from one client address
    int acceptPauseMs = 500;            // accepting pauses this long when out of descriptors
    int webSocketPingMs = 20000;        // a WebSocket is pinged this often; silent since: closed
    // Connections the system queues before they are accepted. A burst of connects (clients
    // cut at the connection limit all coming back) beyond it drops SYNs, and each dropped one
    // costs its client a retry a whole second later.
    int listenBacklog = 1024;
};

class RemoteTcpServer : public QTcpServer {
    Q_OBJECT

public:
    explicit RemoteTcpServer(ConnectionLimits limits, QObject* parent = nullptr);

    const ConnectionLimits& Limits() const { return limits_; }

    // The connection of `webSocket` is now an admitted WebSocket: its read buffer is no longer
    // capped and it is no longer closed when idle (the WebSocket layer pings it), and every
    // frame its client sends is checked before the WebSocket layer reads it. False if the
    // frames that came with the upgrade are refused: the socket is then being closed.
    bool HandOver(QWebSocket* webSocket);

    int OpenConnections();

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    // At the limit, the oldest connection still waiting for its first complete request head
    // (a slow or trickling client) makes room for the new one; only when every open
    // connection is busy is the new one answered 503.
    bool MakeRoomFor(const QHostAddress& peer);
    void Forget(QTcpSocket* socket);

    ConnectionLimits limits_;
    // In the order they were accepted. Guarded pointers: on an upgrade Qt HttpServer drops
    // every connection of the socket (ours too), and the WebSocket layer deletes it later.
    std::vector<QPointer<QTcpSocket>> open_;
};

}  // namespace quorvell
