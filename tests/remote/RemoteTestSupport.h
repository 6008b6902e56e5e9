// SPDX-License-Identifier: GPL-3.0-or-later
// A remote server over a device link to an in-process simulator, all on 127.0.26.x, and a
// small HTTP client that waits on the event loop.
#pragma once

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryDir>

#include "LinkTestSupport.h"
#include "PresetDatabase.h"
#include "RemoteServer.h"

namespace quorvell::test {

inline constexpr char kRemoteIp[] = "127.0.26.1";

struct HttpResult {
    int status = 0;
    QByteArray body;
    QByteArray Header(const char* name) const { return headers.value(QByteArray(name).toLower()); }
    QHash<QByteArray, QByteArray> headers;
};

// One simulator, one link (not yet connected) and one server; udpPort and httpPort from the
// ranges the remote tests own.
struct RemoteRig : Rig {
    RemoteRig(quint16 udpPort, quint16 httpPort, QString token = {}, ConnectionLimits limits = {})
        : Rig(udpPort, {}, nullptr, kRemoteIp, "127.0.26.2") {
        ResetDeviceParameters(params);
        RemoteOptions ro;
        ro.address = QHostAddress(QString::fromLatin1(kRemoteIp));
        ro.port = httpPort;
        ro.token = token;
        ro.limits = limits;
        server = std::make_unique<RemoteServer>(editor, &database, ro);
        QString error;
        EXPECT_TRUE(server->Listen(&error)) << error.toStdString();
    }

    bool Connect() { return ConnectAndWait(link); }

    QString Url(const QString& path) const {
        return QStringLiteral("http://%1:%2%3").arg(kRemoteIp).arg(server->Port()).arg(path);
    }

    HttpResult Send(const QByteArray& method, const QString& path, const QByteArray& body = {},
                    const QList<QPair<QByteArray, QByteArray>>& headers = {}) {
        QNetworkRequest request{QUrl(Url(path))};
        for (const auto& [name, value] : headers) {
            request.setRawHeader(name, value);
        }
        if (!body.isEmpty()) {
            request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        }
        std::unique_ptr<QNetworkReply> reply(nam.sendCustomRequest(request, method, body));
        WaitFor([&] { return reply->isFinished(); }, 10000);
        HttpResult r;
        r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        r.body = reply->readAll();
        for (const auto& [name, value] : reply->rawHeaderPairs()) {
            r.headers.insert(name.toLower(), value);
        }
        return r;
    }

    int CountEqBand() const { return CountCode(*sim, CommandCode::EqBand); }

    ScriptedMessageBoxes boxes;
    QTemporaryDir dataDir;
    PresetDatabase database{dataDir.path(), boxes};
    std::unique_ptr<RemoteServer> server;
    QNetworkAccessManager nam;
};

}  // namespace quorvell::test
