// SPDX-License-Identifier: GPL-3.0-or-later
// The remote API's state, its WebSocket event stream and the pacing of remote edits.
#include "RemoteServer.h"
#include "RemoteServerShared.h"

#include <QFile>
#include <QHostInfo>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerRouterRule>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "DeviceLink.h"
#include "ParameterJson.h"
#include "PresetDatabase.h"
#include "PresetStore.h"
#include "ReadBack.h"
#include "RemoteEdits.h"
#include "ResponseCurve.h"

namespace quorvell {

using namespace remote_detail;

// ---- state and events -----------------------------------------------------------------

QString RemoteServer::LinkState() const {
    if (link_.linkUp()) {
        // Linked but silent: the panel shows LINK LOST while it keeps reconnecting.
        if (sync_ != nullptr && sync_->state() == SyncState::LinkLost) {
            return QStringLiteral("lost");
        }
        return QStringLiteral("up");
    }
    return link_.connectPending() ? QStringLiteral("connecting") : QStringLiteral("down");
}

void RemoteServer::WatchSync(const ReadBack& sync) {
    sync_ = &sync;
    reportedLink_ = LinkState();
    connect(&sync, &ReadBack::changed, this, [this] {
        if (const QString now = LinkState(); now != std::exchange(reportedLink_, now)) {
            Broadcast({{"type", "link"}, {"link", now}});
        }
    });
}

QJsonObject RemoteServer::StateJson() const {
    return QJsonObject{
        {"link", LinkState()},
        {"sync", SyncWord(sync_)},
        {"pending", PendingCount(sync_)},
        {"device", link_.deviceAddress()},
        {"params", ParametersJson(params_)},
        {"values", PathValuesJson(params_)},
    };
}

QJsonArray RemoteServer::DevicesJson() const {
    QJsonArray list;
    for (const FoundDevice& d : link_.foundDevices()) {
        list.append(QJsonObject{{"ip", d.ip}, {"port", d.port}, {"name", d.name}});
    }
    return list;
}

void RemoteServer::RecordsChanged(const QList<Record>& records, EditOrigin origin) {
    const std::vector<Record> list(records.begin(), records.end());
    Broadcast({{"type", "params"},
               {"origin", OriginName(origin)},
               {"changes", RecordValuesJson(params_, list)}});
}

void RemoteServer::StateChanged() {
    QJsonObject event = StateJson();
    event.insert("type", "state");
    Broadcast(event);
}

void RemoteServer::Broadcast(const QJsonObject& eventWithoutRevision) {
    QJsonObject event = eventWithoutRevision;
    event.insert("revision", ++revision_);
    // Every event names the processor it is about; the server's own one unless tagged.
    if (!event.contains("device")) {
        event.insert("device", link_.deviceAddress());
    }
    const QString text = QString::fromUtf8(Json(event));
    for (Client& c : clients_) {
        // A slow reader gets no growing queue: it skips events and is sent the whole state
        // once it has caught up.
        if (c.socket->bytesToWrite() > kSlowClientBytes) {
            c.behind = true;
            continue;
        }
        if (c.behind) {
            QJsonObject state = StateJson();
            state.insert("type", "state");
            state.insert("revision", revision_);
            c.socket->sendTextMessage(QString::fromUtf8(Json(state)));
            c.behind = false;
            continue;
        }
        c.socket->sendTextMessage(text);
    }
}

void RemoteServer::OnNewWebSocket() {
    while (http_.hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = http_.nextPendingWebSocketConnection();
        if (!socket) {
            break;
        }
        QWebSocket* raw = socket.get();
        // A client message is a small JSON object: anything larger, whole or in continuation
        // frames, closes the socket with 1009 before it is held in memory.
        raw->setMaxAllowedIncomingFrameSize(kMaxClientMessageBytes);
        raw->setMaxAllowedIncomingMessageSize(kMaxClientMessageBytes);
        // Frames without a mask, or any sent with the upgrade that break the limits, close it.
        const bool admitted = tcp_ == nullptr || tcp_->HandOver(raw);
        connect(raw, &QWebSocket::disconnected, this, [this, raw] {
            const auto it = std::find_if(clients_.begin(), clients_.end(),
                                         [raw](const Client& c) { return c.socket.get() == raw; });
            if (it != clients_.end()) {
                it->socket.release()->deleteLater();
                clients_.erase(it);
            }
        });
        connect(raw, &QWebSocket::textMessageReceived, this, [this, raw](const QString& text) {
            Heard(raw);
            OnClientMessage(raw, text);
        });
        connect(raw, &QWebSocket::binaryMessageReceived, this, [this, raw] { Heard(raw); });
        // A close (1009, a protocol error) waits for the client's answering close frame; one
        // that never comes would keep the socket, and everything it still sends is read and
        // dropped meanwhile. The socket is released shortly after instead.
        connect(raw, &QWebSocket::stateChanged, this, [raw](QAbstractSocket::SocketState state) {
            if (state == QAbstractSocket::ClosingState) {
                QTimer::singleShot(kCloseGraceMs, raw, [raw] { raw->abort(); });
            }
        });
        connect(raw, &QWebSocket::pong, this, [this, raw] { Heard(raw); });
        if (admitted) {
            QJsonObject state = StateJson();
            state.insert("type", "state");
            state.insert("revision", revision_);
            raw->sendTextMessage(QString::fromUtf8(Json(state)));
        }
        clients_.push_back({std::move(socket), false, true});
    }
}

// A client that answered no ping and sent nothing for a whole period is gone (its peer
// vanished without a close, or it stopped reading): it is closed, and its descriptor freed.
void RemoteServer::PingClients() {
    std::vector<QWebSocket*> silent;
    for (Client& c : clients_) {
        if (!c.heard) {
            silent.push_back(c.socket.get());
            continue;
        }
        c.heard = false;
        c.socket->ping();
    }
    // Aborting emits disconnected at once, which removes the client from clients_.
    for (QWebSocket* s : silent) {
        s->abort();
    }
}

void RemoteServer::Heard(const QWebSocket* socket) {
    for (Client& c : clients_) {
        if (c.socket.get() == socket) {
            c.heard = true;
        }
    }
}

// A client may send {"type": "set", "params": {...}}: the same as PATCH /api/v1/params.
void RemoteServer::OnClientMessage(QWebSocket* socket, const QString& text) {
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    if (!doc.isObject() || doc.object().value("type").toString() != QStringLiteral("set") ||
        !doc.object().value("params").isObject()) {
        socket->sendTextMessage(QString::fromUtf8(
            Json({{"type", "error"}, {"error", "expected {\"type\":\"set\",\"params\":{...}}"}})));
        return;
    }
    const QByteArray params = QJsonDocument(doc.object().value("params").toObject()).toJson();
    const EditRequest request = ParseEditRequest(params, false);
    if (request.error) {
        QJsonObject e{{"type", "error"}, {"error", QString::fromStdString(request.error->error)}};
        e.insert("path", QString::fromStdString(request.error->path));
        socket->sendTextMessage(QString::fromUtf8(Json(e)));
        return;
    }
    Edit(ApplyEdits(params_, request.edits));
}

// The values are in the model already; the editor sends each record while linked and
// announces it (to the pages and, through RecordsChanged, to every client). A record edited
// again within kEditPeriodMs of its last hand-over is handed on once when that period ends,
// with the value the model has then: a client streaming edits (a slider dragged on a phone,
// a script in a loop) costs the processor at most fifty frames a second per record, and its
// last value always arrives. A single edit still goes out at once.
void RemoteServer::Edit(const std::vector<Record>& records) {
    if (!editClock_.isValid()) {
        editClock_.start();
    }
    const qint64 now = editClock_.elapsed();
    for (const Record& r : records) {
        auto it =
            std::find_if(sent_.begin(), sent_.end(), [&](const Sent& s) { return s.record == r; });
        if (it == sent_.end()) {
            sent_.push_back({r, now, false});
            editor_.Edited(r, EditOrigin::Remote);
        } else if (now - it->atMs >= kEditPeriodMs && !it->due) {
            it->atMs = now;
            editor_.Edited(r, EditOrigin::Remote);
        } else {
            it->due = true;
        }
    }
    SendDueEdits();
    emit remoteEdited(QList<Record>(records.begin(), records.end()));
}

// Hands on the records whose period has ended, forgets records idle for a period, and sets
// the timer for the next one due.
void RemoteServer::SendDueEdits() {
    const qint64 now = editClock_.elapsed();
    qint64 next = -1;
    for (auto it = sent_.begin(); it != sent_.end();) {
        const qint64 end = it->atMs + kEditPeriodMs;
        if (it->due && now >= end) {
            it->atMs = now;
            it->due = false;
            editor_.Edited(it->record, EditOrigin::Remote);
        } else if (!it->due && now >= end) {
            it = sent_.erase(it);
            continue;
        }
        if (it->due && (next < 0 || end < next)) {
            next = end;
        }
        ++it;
    }
    if (next >= 0) {
        editTimer_.start(static_cast<int>(std::max<qint64>(0, next - now)));
    }
}

}  // namespace quorvell
