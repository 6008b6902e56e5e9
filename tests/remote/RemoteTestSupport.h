// A remote server over a device link to an in-process simulator, all on 127.0.26.x, and a
// small HTTP client that waits on the event loop.
#pragma once

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

#include "DeviceLink.h"
#include "PresetDatabase.h"
#include "ProcessorEditor.h"
#include "RemoteServer.h"
#include "SimProcessor.h"

namespace quorvell::test {

inline constexpr char kLinkIp[] = "127.0.26.1";
inline constexpr char kSimIp[] = "127.0.26.2";

inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000) {
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start(1);
    loop.exec();
    return done();
}

struct HttpResult {
    int status = 0;
    QByteArray body;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray Header(const char* name) const { return headers.value(QByteArray(name).toLower()); }
    QHash<QByteArray, QByteArray> headers;
};

// One simulator, one link (not yet connected) and one server; udpPort and httpPort from the
// ranges the remote tests own.
struct RemoteRig {
    RemoteRig(quint16 udpPort, quint16 httpPort, QString token = {}, ConnectionLimits limits = {}) {
        sim::SimOptions so;
        so.address = QHostAddress(QString::fromLatin1(kSimIp));
        so.port = udpPort;
        sim = std::make_unique<sim::SimProcessor>(so);
        QString error;
        EXPECT_TRUE(sim->Start(&error)) << error.toStdString();
        DeviceLinkOptions lo;
        lo.bindAddress = QHostAddress(QString::fromLatin1(kLinkIp));
        lo.port = udpPort;
        lo.deviceAddress = QString::fromLatin1(kSimIp);
        lo.timerPeriodMs = 2;
        lo.sweepStepMs = 1;
        ResetDeviceParameters(params);
        link = std::make_unique<DeviceLink>(params, lo);
        database = std::make_unique<PresetDatabase>(dataDir.path(), boxes);
        RemoteOptions ro;
        ro.address = QHostAddress(QString::fromLatin1(kLinkIp));
        ro.port = httpPort;
        ro.token = token;
        ro.limits = limits;
        editor = std::make_unique<ProcessorEditor>(params, *link);
        server = std::make_unique<RemoteServer>(*editor, database.get(), ro);
        EXPECT_TRUE(server->Listen(&error)) << error.toStdString();
    }

    bool Connect() {
        QSignalSpy up(link.get(), &DeviceLink::linkEstablished);
        return link->Connect() && WaitFor([&] { return up.count() > 0; });
    }

    QString Url(const QString& path) const {
        return QStringLiteral("http://%1:%2%3").arg(kLinkIp).arg(server->Port()).arg(path);
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
        r.error = reply->error();
        for (const auto& [name, value] : reply->rawHeaderPairs()) {
            r.headers.insert(name.toLower(), value);
        }
        return r;
    }

    int CountEqBand() const {
        int n = 0;
        for (const auto& e : sim->Log()) {
            n += e.decoded.code == static_cast<std::uint8_t>(CommandCode::EqBand) ? 1 : 0;
        }
        return n;
    }

    ScriptedMessageBoxes boxes;
    QTemporaryDir dataDir;
    DeviceParameters params{};
    std::unique_ptr<sim::SimProcessor> sim;
    std::unique_ptr<DeviceLink> link;
    std::unique_ptr<ProcessorEditor> editor;
    std::unique_ptr<PresetDatabase> database;
    std::unique_ptr<RemoteServer> server;
    QNetworkAccessManager nam;
};

}  // namespace quorvell::test
