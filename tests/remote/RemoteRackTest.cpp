// SPDX-License-Identifier: GPL-3.0-or-later
// The rack routes against two in-process simulators: the linked list, one processor's state
// and edits, groups, and a group edit that reaches both while one of them keeps nothing.
#include <QJsonArray>
#include <QJsonDocument>

#include "ProcessorRack.h"
#include "RemoteTestSupport.h"

namespace quorvell::test {
namespace {

constexpr quint16 kUdpPort = 42650;
constexpr quint16 kHttpPort = 43650;

QJsonObject Object(const QByteArray& body) {
    return QJsonDocument::fromJson(body).object();
}

struct RackRig {
    RackRig() : rack(LinkOptions(kUdpPort, nullptr, kRemoteIp), FastSync()) {
        a = rack.Add("127.0.26.2");
        b = rack.Add("127.0.26.3");
        RemoteOptions ro;
        ro.address = QHostAddress(QString::fromLatin1(kRemoteIp));
        ro.port = kHttpPort;
        server = std::make_unique<RemoteServer>(*a, nullptr, ro);
        server->WatchSync(*a->Sync());
        server->SetRack(rack);
        QString error;
        EXPECT_TRUE(server->Listen(&error)) << error.toStdString();
    }
    static ReadBackOptions FastSync() {
        ReadBackOptions o;
        o.settleMs = 20;
        o.pollMs = 0;
        o.maxRounds = 2;
        return o;
    }
    HttpResult Send(const QByteArray& method, const QString& path, const QByteArray& body = {}) {
        QNetworkRequest request{
            QUrl(QStringLiteral("http://%1:%2%3").arg(kRemoteIp).arg(server->Port()).arg(path))};
        if (!body.isEmpty()) {
            request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        }
        std::unique_ptr<QNetworkReply> reply(nam.sendCustomRequest(request, method, body));
        WaitFor([&] { return reply->isFinished(); }, 10000);
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                reply->readAll(),
                {}};
    }
    QString SyncOf(const QString& address) {
        for (const QJsonValue& d :
             Object(Send("GET", "/api/v1/devices").body)["linked"].toArray()) {
            if (d["address"].toString() == address) {
                return d["sync"].toString();
            }
        }
        return {};
    }

    std::unique_ptr<sim::SimProcessor> simA = StartSim("127.0.26.2", kUdpPort);
    std::unique_ptr<sim::SimProcessor> simB = StartSim("127.0.26.3", kUdpPort);
    ProcessorRack rack;
    ProcessorEditor* a = nullptr;
    ProcessorEditor* b = nullptr;
    std::unique_ptr<RemoteServer> server;
    QNetworkAccessManager nam;
};

TEST(RemoteRack, RoutesAnswerAsDescribedAndAGroupEditReachesEveryMember) {
    RackRig rig;
    ASSERT_EQ(rig.rack.ConnectAll(), 2);
    ASSERT_TRUE(WaitFor([&] { return rig.a->Link().linkUp() && rig.b->Link().linkUp(); }));

    struct Case {
        const char* method;
        const char* path;
        QByteArray body;
        int status;
    };
    const std::vector<Case> cases = {
        {"GET", "/api/v1/devices/127.0.26.3/state", {}, 200},
        {"GET", "/api/v1/devices/127.0.26.9/state", {}, 404},
        {"GET", "/api/v1/devices/127.0.26/state", {}, 400},
        {"PATCH", "/api/v1/devices/127.0.26.3/params?raw=1", R"({"ch2.band4.gain":60})", 200},
        {"PATCH", "/api/v1/devices/127.0.26.3/params", R"({"ch9.band4.gain":1})", 400},
        {"GET", "/api/v1/devices/127.0.26.3/curve?points=1", {}, 400},
        {"GET", "/api/v1/devices/127.0.26.9/curve", {}, 404},
        {"PUT", "/api/v1/groups/tops", R"({"devices":["127.0.26.2","127.0.26.3"]})", 201},
        {"PUT", "/api/v1/groups/tops", R"({"devices":["127.0.26.2","127.0.26.3"]})", 200},
        {"PUT", "/api/v1/groups/subs", R"({"devices":["127.0.26.8"]})", 422},
        {"PUT", "/api/v1/groups/subs", R"({"devices":[]})", 400},
        {"PUT", "/api/v1/groups/no%20way", R"({"devices":["127.0.26.2"]})", 400},
        {"GET", "/api/v1/groups", {}, 200},
        {"GET", "/api/v1/groups/tops", {}, 200},
        {"GET", "/api/v1/groups/subs", {}, 404},
        {"PATCH", "/api/v1/groups/subs/params", R"({"main.level":-10})", 404},
        {"DELETE", "/api/v1/groups/subs", {}, 404},
    };
    const QJsonObject described =
        Object(rig.Send("GET", "/api/v1/openapi.json").body)["paths"].toObject();
    const QRegularExpression device(QStringLiteral("/devices/[^/]+"));
    const QRegularExpression group(QStringLiteral("/groups/[^/]+"));
    for (const Case& c : cases) {
        const HttpResult r = rig.Send(c.method, QString::fromLatin1(c.path), c.body);
        EXPECT_EQ(r.status, c.status)
            << c.method << ' ' << c.path << " -> " << r.body.toStdString();
        const QString route = QString::fromLatin1(c.path)
                                  .section('?', 0, 0)
                                  .replace(device, "/devices/{address}")
                                  .replace(group, "/groups/{name}");
        const QJsonObject op =
            described[route].toObject()[QString::fromLatin1(c.method).toLower()].toObject();
        EXPECT_TRUE(op["responses"].toObject().contains(QString::number(r.status)))
            << r.status << " is not described for " << c.method << ' ' << route.toStdString();
    }
    EXPECT_EQ(rig.simA->Settings().channels[1].bands[4].gain,
              rig.a->Parameters().channels[1].bands[4].gain)
        << "the edit of B never reached A";
    // Each processor's curve is drawn from its own settings: B's dip, A flat.
    const auto deepest = [&](const char* address) {
        const QJsonArray db =
            Object(rig.Send("GET",
                            QStringLiteral("/api/v1/devices/%1/curve").arg(QLatin1String(address)))
                       .body)["ch2"]
                .toArray();
        EXPECT_EQ(db.size(), 200);
        double least = 0.0;
        for (const QJsonValue& v : db) {
            least = std::min(least, v.toDouble());
        }
        return least;
    };
    EXPECT_LT(deepest("127.0.26.3"), deepest("127.0.26.2") - 5.0);

    // One edit to the group: both processors receive the same frame; B keeps nothing and is
    // reported out of sync, A in sync.
    ASSERT_TRUE(WaitFor([&] { return rig.SyncOf("127.0.26.3") == QStringLiteral("in-sync"); }));
    rig.simB->SetKeepNothing(true);
    const std::size_t before[] = {rig.simA->Log().size(), rig.simB->Log().size()};
    const HttpResult r =
        rig.Send("PATCH", "/api/v1/groups/tops/params?raw=1", R"({"ch1.band2.gain":210})");
    ASSERT_EQ(r.status, 200) << r.body.toStdString();
    const QJsonArray members = Object(r.body)["devices"].toArray();
    ASSERT_EQ(members.size(), 2);
    EXPECT_TRUE(members[0]["sent"].toBool() && members[1]["sent"].toBool());
    ASSERT_TRUE(WaitFor([&] { return rig.simA->Settings().channels[0].bands[2].gain == 210; }));
    // The first band frame each received after the edit (B may be read or resent to between).
    const auto firstBand = [](const sim::SimProcessor& s, std::size_t from) {
        for (std::size_t i = from; i < s.Log().size(); ++i) {
            if (s.Log()[i].decoded.code == static_cast<std::uint8_t>(CommandCode::EqBand)) {
                return s.Log()[i].bytes;
            }
        }
        return QByteArray();
    };
    ASSERT_TRUE(WaitFor([&] { return !firstBand(*rig.simB, before[1]).isEmpty(); }));
    EXPECT_EQ(firstBand(*rig.simA, before[0]), firstBand(*rig.simB, before[1]));
    EXPECT_TRUE(
        WaitFor([&] { return rig.SyncOf("127.0.26.3") == QStringLiteral("out-of-sync"); }, 10000));
    EXPECT_TRUE(WaitFor([&] { return rig.SyncOf("127.0.26.2") == QStringLiteral("in-sync"); }));
    EXPECT_EQ(rig.Send("DELETE", "/api/v1/groups/tops").status, 200);
}

}  // namespace
}  // namespace quorvell::test
