// SPDX-License-Identifier: GPL-3.0-or-later
// Per-connection guard: follows the HTTP/1.1 framing (request head, Content-Length body) on
// the bytes as they arrive, ahead of Qt HttpServer's own reader, which is connected to the
// socket after it.
#include "RemoteTcpServer.h"

#include <QEvent>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <algorithm>
#include <array>
#include <optional>

#include "ClientFrameCheck.h"
#include "RemoteServerShared.h"
#include "SocketPeek.h"

namespace quorvell {
namespace {

// A refused body is read and dropped up to this much, so that the client gets to read the
// 413 instead of a reset; beyond it the connection is simply closed.
constexpr qint64 kMaxDrainBytes = 4 * 1024 * 1024;
constexpr char kGuardProperty[] = "quorvellGuard";
// How much of a WebSocket's received bytes is checked (and then let through) at a time.
constexpr std::size_t kFrameCheckBytes = 16 * 1024;

class ConnectionGuard : public QObject {
public:
    ConnectionGuard(QTcpSocket* socket, const ConnectionLimits& limits)
        : QObject(socket), socket_(socket), limits_(limits) {
        socket->setReadBufferSize(limits.maxBodyBytes + limits.maxHeaderBytes);
        idle_.setSingleShot(true);
        idle_.setInterval(limits.idleTimeoutMs);
        // A refused upgrade (answered 401 or 403) is an idle HTTP connection like any other.
        connect(&idle_, &QTimer::timeout, this, [this] {
            if (!handedOver_) {
                socket_->abort();
            }
        });
        // A request head must be complete within its deadline however slowly its bytes
        // trickle in: the idle timer alone would be reset by every byte.
        headDeadline_.setSingleShot(true);
        headDeadline_.setInterval(limits.headDeadlineMs);
        connect(&headDeadline_, &QTimer::timeout, this, [this] {
            if (state_ == State::Head && !handedOver_) {
                Refuse(408, "Request Timeout", "the request head took too long");
                socket_->disconnectFromHost();
            }
        });
        connect(socket, &QTcpSocket::readyRead, this, &ConnectionGuard::OnReadyRead);
        connect(socket, &QTcpSocket::bytesWritten, this, [this] {
            if (!handedOver_) {
                idle_.start();
            }
        });
        idle_.start();
    }

    // True until the first complete request head: such a connection may be closed to make
    // room for a new one.
    bool WaitingForFirstHead() const { return !sawHead_ && !upgraded_; }

    // The WebSocket layer has taken the connection. The HTTP read-buffer cap (which would
    // stall any frame larger than it, and with it the notice that the peer has gone) and the
    // idle timer no longer apply: the WebSocket layer pings its peer. Its frames are checked
    // before the WebSocket layer reads them (eventFilter); false if those that came with
    // the upgrade are refused, in which case the socket is being closed.
    bool HandOver() {
        handedOver_ = true;
        idle_.stop();
        headDeadline_.stop();
        head_.clear();
        // The frames that came with the upgrade were checked as they arrived (OnReadyRead).
        if (const std::uint16_t code = frames_.Feed({})) {
            Close(code);
            return false;
        }
        const auto notifiers = socket_->findChildren<QSocketNotifier*>();
        const auto read = std::find_if(
            notifiers.begin(), notifiers.end(),
            [](const QSocketNotifier* n) { return n->type() == QSocketNotifier::Read; });
        if (read == notifiers.end()) {
            // No reader to stand in front of: the connection cannot be checked.
            Close(ClientFrameCheck::kProtocolError);
            return false;
        }
        (*read)->installEventFilter(this);
        // Any bound but 0 (which means none): every read from here on is sized by eventFilter.
        socket_->setReadBufferSize(socket_->bytesAvailable() + 1);
        return true;
    }

protected:
    // The socket's read notifier is about to make Qt read from the system. The
    // waiting bytes are looked at first, and Qt's read buffer is sized so that it takes
    // exactly the ones that passed; a refused frame closes the socket before Qt sees it.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::SockAct || !socket_->isOpen()) {
            return QObject::eventFilter(watched, event);
        }
        std::array<std::uint8_t, kFrameCheckBytes> bytes;
        const qintptr fd = socket_->socketDescriptor();
        if (refused_) {
            // Dropped unread: the close frame is on its way and nothing more is taken.
            const platform::Received dropped =
                platform::ReceiveWaiting(fd, bytes, platform::ReceiveMode::Drop);
            if (dropped.outcome == platform::ReceiveOutcome::Closed ||
                dropped.outcome == platform::ReceiveOutcome::Failed) {
                socket_->abort();  // the client has answered (or gone): nothing is left to do
            }
            return true;
        }
        const platform::Received got =
            platform::ReceiveWaiting(fd, bytes, platform::ReceiveMode::Peek);
        switch (got.outcome) {
            case platform::ReceiveOutcome::Nothing:
                return true;  // a wake-up with nothing to read
            case platform::ReceiveOutcome::Closed:
            case platform::ReceiveOutcome::Failed:
                // Nothing can follow: Qt reads the end (or the error) and reports the peer gone.
                socket_->setReadBufferSize(0);
                return false;
            case platform::ReceiveOutcome::Bytes:
                break;
        }
        if (const std::uint16_t code = frames_.Feed(std::span(bytes.data(), got.size))) {
            platform::ReceiveWaiting(fd, bytes, platform::ReceiveMode::Drop);
            Close(code);
            return true;
        }
        socket_->setReadBufferSize(socket_->bytesAvailable() + qint64(got.size));
        return false;
    }

private:
    // Closing: the last request (Connection: close, HTTP/1.0) is complete; what follows is
    // dropped and the connection closes once it is answered.
    enum class State { Head, Body, Refused, Closing };

    void OnReadyRead() {
        if (handedOver_) {
            return;
        }
        idle_.start();
        if (state_ == State::Refused) {
            Drain();
            return;
        }
        if (state_ == State::Closing) {
            socket_->skip(socket_->bytesAvailable());
            return;
        }
        // Qt HttpServer's reader runs after this slot and takes everything available, so
        // each call sees only bytes that arrived since the last one.
        const QByteArray bytes = socket_->peek(socket_->bytesAvailable());
        qsizetype at = 0;
        while (at < bytes.size() && (state_ == State::Head || state_ == State::Body)) {
            if (state_ == State::Body) {
                const qint64 take = std::min<qint64>(bodyLeft_, bytes.size() - at);
                bodyLeft_ -= take;
                at += static_cast<qsizetype>(take);
                if (bodyLeft_ == 0) {
                    RequestComplete();
                }
                continue;
            }
            // Head: collect up to the blank line that ends it. Its deadline runs from its
            // first byte.
            const qsizetype before = head_.size();
            if (before == 0) {
                headDeadline_.start();
                earlierInChunk_ = at > 0;
            }
            head_ += bytes.mid(at);
            const qsizetype end = head_.indexOf("\r\n\r\n", std::max<qsizetype>(0, before - 3));
            if (end < 0 || end + 4 > limits_.maxHeaderBytes) {
                if (head_.size() > limits_.maxHeaderBytes) {
                    Refuse(431, "Request Header Fields Too Large", "the request head is too long");
                }
                if (end < 0) {
                    break;
                }
            }
            at += end + 4 - before;
            const QByteArray head = head_.left(end);
            head_.clear();
            sawHead_ = true;
            headDeadline_.stop();
            if (state_ == State::Head) {
                chunkBody_ = bytes.size() - at;
                chunkHead_ = at;
                ReadHead(head);
                if (upgraded_) {
                    // Frames sent with the upgrade reach the WebSocket layer before it is
                    // handed over: they are checked here.
                    const QByteArray frames = bytes.mid(at);
                    frames_.Feed(
                        std::span(reinterpret_cast<const std::uint8_t*>(frames.constData()),
                                  std::size_t(frames.size())));
                }
            }
        }
        // The HTTP layer consumes everything that is available after this slot returns.
        if (state_ == State::Refused && !refusalDue_) {
            Drain();
        }
    }

    // The request's last byte has arrived: the HTTP layer answers it when this slot returns.
    void RequestComplete() {
        state_ = State::Head;
        if (closeAfter_) {
            state_ = State::Closing;
            QMetaObject::invokeMethod(
                this, [this] { socket_->disconnectFromHost(); }, Qt::QueuedConnection);
        }
    }

    void ReadHead(const QByteArray& head) {
        std::optional<qint64> length;
        bool chunked = false;
        bool upgrade = false;
        const QList<QByteArray> lines = head.split('\n');
        // HTTP/1.0 closes after each answer unless it asks to keep the connection.
        std::optional<bool> keepAlive;
        const bool http10 = lines.value(0).trimmed().endsWith("HTTP/1.0");
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0) {
                continue;
            }
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "content-length") {
                bool ok = false;
                const qint64 n = value.toLongLong(&ok);
                length = ok && n >= 0 ? n : -1;
            } else if (name == "transfer-encoding") {
                chunked = true;
            } else if (name == "upgrade") {
                upgrade = true;
            } else if (name == "connection") {
                const QByteArray v = value.toLower();
                if (v.contains("close")) {
                    keepAlive = false;
                } else if (v.contains("keep-alive")) {
                    keepAlive = true;
                }
            }
        }
        closeAfter_ = !upgrade && !keepAlive.value_or(!http10);
        if (chunked) {
            Refuse(411, "Length Required", "send the body with a Content-Length");
            return;
        }
        if (length && *length < 0) {
            Refuse(400, "Bad Request", "malformed Content-Length");
            return;
        }
        if (length && *length > limits_.maxBodyBytes) {
            if (earlierInChunk_ && chunkBody_ < *length) {
                // Requests before this one arrived in the same read: the HTTP layer is left
                // this read, answers them and starts on this one, which never completes (the
                // rest of its body is dropped from here on); the refusal follows their answers.
                drainLeft_ = *length - chunkBody_;
                state_ = State::Refused;
                refusalDue_ = true;
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        refusalDue_ = false;
                        Refuse(413, "Payload Too Large", "the request body is larger than 64 KiB");
                    },
                    Qt::QueuedConnection);
                return;
            }
            // The whole read is dropped, the bytes before this body included.
            drainLeft_ = *length + chunkHead_;
            Refuse(413, "Payload Too Large", "the request body is larger than 64 KiB");
            return;
        }
        // The WebSocket layer takes the connection if the upgrade is admitted (HandOver); a
        // refused one stays HTTP, and what follows is checked like any other request.
        upgraded_ = upgraded_ || upgrade;
        bodyLeft_ = length.value_or(0);
        state_ = State::Body;
        if (bodyLeft_ == 0) {
            RequestComplete();
        }
    }

    void Refuse(int status, const char* reason, const char* message) {
        state_ = State::Refused;
        const QByteArray body = QByteArray("{\"error\":\"") + message + "\"}";
        socket_->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
                       "\r\nContent-Type: application/json\r\nContent-Length: " +
                       QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        if (drainLeft_ > kMaxDrainBytes || drainLeft_ <= 0) {
            socket_->disconnectFromHost();
        }
    }

    // Refuses the WebSocket: a close frame with `code`, then the connection is closed (at the
    // latest after a grace period).
    void Close(std::uint16_t code) {
        refused_ = true;
        // Written here rather than by the WebSocket layer, which would close the connection
        // at once: with the client's bytes still unread that resets it, and the close frame
        // is lost with it.
        const QByteArray reason =
            code == ClientFrameCheck::kTooLarge ? "message too large" : "protocol error";
        QByteArray frame(1, char(0x88));
        frame += char(2 + reason.size());
        frame += char(code >> 8);
        frame += char(code & 0xFF);
        socket_->write(frame + reason);
        // What the client still sends is read and dropped meanwhile (eventFilter): closing
        // with bytes unread would reset the connection, and the close frame with it.
        QTimer::singleShot(remote_detail::kCloseGraceMs, socket_,
                           [socket = socket_] { socket->abort(); });
    }

    // Reads and drops what the client still sends of a refused request, so that the HTTP
    // layer never sees it; closes once the announced body is through.
    void Drain() {
        const qint64 n = socket_->bytesAvailable();
        socket_->skip(n);
        drainLeft_ -= n;
        if (!refusalDue_ && drainLeft_ <= 0 &&
            socket_->state() == QAbstractSocket::ConnectedState) {
            socket_->disconnectFromHost();
        }
    }

    QTcpSocket* socket_;
    ConnectionLimits limits_;
    QTimer idle_;
    QTimer headDeadline_;
    bool sawHead_ = false;
    State state_ = State::Head;
    qint64 bodyLeft_ = 0;
    qint64 drainLeft_ = 0;
    bool refusalDue_ = false;      // a refusal waits for the answers to earlier requests
    bool closeAfter_ = false;      // the current request is the connection's last
    bool earlierInChunk_ = false;  // the current head began after other bytes of its read
    qsizetype chunkHead_ = 0;      // bytes of the current read up to the end of the head
    qsizetype chunkBody_ = 0;      // bytes of the current read after the head
    QByteArray head_;              // the current request head, until its blank line
    bool upgraded_ = false;        // an upgrade was asked for
    bool handedOver_ = false;      // ... and the WebSocket layer has the connection
    ClientFrameCheck frames_{remote_detail::kMaxClientMessageBytes};
    bool refused_ = false;  // a client frame was refused and the socket is closing
};

}  // namespace
}  // namespace quorvell

Q_DECLARE_METATYPE(quorvell::ConnectionGuard*)

namespace quorvell {

RemoteTcpServer::RemoteTcpServer(ConnectionLimits limits, QObject* parent)
    : QTcpServer(parent), limits_(limits) {
    // Out of descriptors, the listening socket stays readable and accept fails at once:
    // pausing keeps the loop from spinning, and accepting resumes once some are free.
    connect(this, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::SocketResourceError || !isListening()) {
            return;
        }
        pauseAccepting();
        QTimer::singleShot(limits_.acceptPauseMs, this, [this] { resumeAccepting(); });
    });
}

int RemoteTcpServer::OpenConnections() {
    Forget(nullptr);
    return static_cast<int>(open_.size());
}

bool RemoteTcpServer::MakeRoomFor(const QHostAddress& peer) {
    Forget(nullptr);  // the sockets deleted since
    const auto fromPeer = std::count_if(open_.begin(), open_.end(), [&](QTcpSocket* s) {
        return s->peerAddress().isEqual(peer, QHostAddress::TolerantConversion);
    });
    const bool full = static_cast<int>(open_.size()) >= limits_.maxConnections;
    const bool peerFull = fromPeer >= limits_.maxPerAddress;
    if (!full && !peerFull) {
        return true;
    }
    for (QTcpSocket* s : open_) {
        const auto* guard = s->property(kGuardProperty).value<ConnectionGuard*>();
        const bool samePeer = s->peerAddress().isEqual(peer, QHostAddress::TolerantConversion);
        if (guard != nullptr && guard->WaitingForFirstHead() && (full || samePeer)) {
            Forget(s);
            s->abort();
            s->deleteLater();
            return true;
        }
    }
    return false;
}

bool RemoteTcpServer::HandOver(QWebSocket* webSocket) {
    Forget(nullptr);  // the sockets deleted since
    for (QTcpSocket* s : open_) {
        if (s->peerPort() == webSocket->peerPort() &&
            s->peerAddress() == webSocket->peerAddress()) {
            if (auto* guard = s->property(kGuardProperty).value<ConnectionGuard*>()) {
                return guard->HandOver();
            }
        }
    }
    return true;
}

void RemoteTcpServer::Forget(QTcpSocket* socket) {
    std::erase_if(open_,
                  [socket](const QPointer<QTcpSocket>& s) { return s.isNull() || s == socket; });
}

void RemoteTcpServer::incomingConnection(qintptr socketDescriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(socketDescriptor)) {
        socket->deleteLater();
        return;
    }
    if (!MakeRoomFor(socket->peerAddress())) {
        static constexpr char kBusy[] =
            "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\n"
            "Retry-After: 1\r\nContent-Length: 37\r\nConnection: close\r\n\r\n"
            "{\"error\":\"too many open connections\"}";
        socket->write(kBusy);
        socket->disconnectFromHost();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        return;
    }
    open_.push_back(socket);
    // A connection whose peer has gone is released at once, whichever layer holds it.
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Forget(socket); });
    connect(socket, &QObject::destroyed, this, [this, socket] { Forget(socket); });
    auto* guard = new ConnectionGuard(socket, limits_);
    socket->setProperty(kGuardProperty, QVariant::fromValue(guard));
    addPendingConnection(socket);
}

}  // namespace quorvell
