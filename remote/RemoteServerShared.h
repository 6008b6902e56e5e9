// SPDX-License-Identifier: GPL-3.0-or-later
// What the remote API's routing, event and handler sources share: reply shapes, limits, and
// small helpers over requests and JSON. Not part of the public interface.
#pragma once

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrlQuery>
#include <optional>

#include "ProcessorEditor.h"
#include "ReadBack.h"
#include "RemoteEdits.h"
#include "RemoteServer.h"

namespace quorvell::remote_detail {

using Method = QHttpServerRequest::Method;
using Status = QHttpServerResponder::StatusCode;

inline constexpr int kDefaultCurvePoints = 200;
inline constexpr int kMaxCurvePoints = 2000;
inline constexpr int kSearchListenMs = 2000;  // answers are collected this long after a sweep
inline constexpr int kSearchFreshMs = 10000;  // a finished search's list is reused this long
inline constexpr qint64 kEditPeriodMs = 20;  // an API edit of one record is sent at most this often
inline constexpr qint64 kSlowClientBytes =
    256 * 1024;  // a client this far behind gets the state later
inline constexpr quint64 kMaxClientMessageBytes = 8 * 1024;  // one WebSocket message or frame
inline constexpr int kCloseGraceMs = 1000;  // a closing WebSocket is aborted after this
inline constexpr char kEventsPath[] = "/api/v1/events";

inline QByteArray Json(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

inline QByteArray Header(const QHttpServerRequest& request, QByteArrayView name) {
    for (const auto& [key, value] : request.headers()) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

inline bool IsUpgrade(const QHttpServerRequest& request) {
    return Header(request, "Upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
}

// The "origin" of a params event: who made the change.
inline QString OriginName(EditOrigin origin) {
    switch (origin) {
        case EditOrigin::Operator:
            return QStringLiteral("operator");
        case EditOrigin::Undo:
            return QStringLiteral("undo");
        case EditOrigin::Remote:
            return QStringLiteral("remote");
        case EditOrigin::Sequence:
            return QStringLiteral("sequence");
        case EditOrigin::Processor:
            return QStringLiteral("processor");
    }
    return {};
}

// The read-back indicator as a word: "in-sync", "syncing", "out-of-sync", "lost"; "off" while
// not linked or without read-back.
inline QString SyncWord(const ReadBack* sync) {
    switch (sync != nullptr ? sync->state() : SyncState::Off) {
        case SyncState::Off:
            break;
        case SyncState::InSync:
            return QStringLiteral("in-sync");
        case SyncState::Syncing:
            return QStringLiteral("syncing");
        case SyncState::OutOfSync:
            return QStringLiteral("out-of-sync");
        case SyncState::LinkLost:
            return QStringLiteral("lost");
    }
    return QStringLiteral("off");
}

// Records the processor has not confirmed yet (syncing, lost) or kept refusing (out of sync).
inline int PendingCount(const ReadBack* sync) {
    return sync != nullptr && sync->state() != SyncState::Off
               ? static_cast<int>(sync->unconfirmed().size())
               : 0;
}

}  // namespace quorvell::remote_detail

namespace quorvell {

struct RemoteServer::Reply {
    remote_detail::Status status = remote_detail::Status::Ok;
    QByteArray body;
    QByteArray type = "application/json";
    QByteArray allow;        // 405: the methods the path takes
    bool challenge = false;  // 401: ask for the bearer token
    int retryAfter = 0;      // 503: seconds after which the request may succeed
};

struct RemoteServer::Call {
    const QHttpServerRequest& request;
    QString id;  // the path's one captured part, if any
};

struct RemoteServer::Route {
    remote_detail::Method method;
    QRegularExpression pattern;
    Handler handler;
};

}  // namespace quorvell

namespace quorvell::remote_detail {

using Reply = RemoteServer::Reply;

inline Reply JsonReply(const QJsonObject& o, Status status = Status::Ok) {
    return {status, Json(o), "application/json", {}, false};
}

inline Reply ErrorReply(Status status, const QString& text) {
    return JsonReply(QJsonObject{{"error", text}}, status);
}

// 400 for an edit that cannot be applied: the reason, and the path and range it concerns.
inline Reply EditRefusal(const EditError& e) {
    QJsonObject body{{"error", QString::fromStdString(e.error)}};
    if (!e.path.empty()) {
        body.insert("path", QString::fromStdString(e.path));
    }
    if (e.min && e.max) {
        body.insert("min", *e.min);
        body.insert("max", *e.max);
    }
    return JsonReply(body, Status::BadRequest);
}

// Both channels' magnitude response of `params` at ?points= log-spaced frequencies.
Reply CurveReply(const DeviceParameters& params, const QUrlQuery& query);

// A body that is empty or one JSON object; nothing (and `refusal` set) otherwise.
inline std::optional<QJsonObject> BodyObject(const QHttpServerRequest& request, Reply* refusal) {
    const QByteArray body = request.body();
    if (body.trimmed().isEmpty()) {
        return QJsonObject{};
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        *refusal = ErrorReply(Status::BadRequest, "the body must be one JSON object");
        return std::nullopt;
    }
    return doc.object();
}

inline QByteArray Resource(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace quorvell::remote_detail
