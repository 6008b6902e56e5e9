// The WebSocket event stream: the state on open, then every change; the same checks as HTTP.
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QWebSocket>

#include "RemoteTestSupport.h"

namespace quorvell::test {
namespace {

struct EventClient {
    EventClient(const QString& url, const QByteArray& origin = {}) {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, &socket,
                         [this](const QString& m) {
                             events.push_back(QJsonDocument::fromJson(m.toUtf8()).object());
                         });
        QNetworkRequest request{QUrl(url)};
        if (!origin.isEmpty()) {
            request.setRawHeader("Origin", origin);
        }
        socket.open(request);
    }
    bool WaitForType(const QString& type, std::size_t* index = nullptr) {
        return WaitFor([&] {
            for (std::size_t i = 0; i < events.size(); ++i) {
                if (events[i].value("type").toString() == type && (!index || i >= *index)) {
                    if (index) {
                        *index = i;
                    }
                    return true;
                }
            }
            return false;
        });
    }
    QWebSocket socket;
    std::vector<QJsonObject> events;
};

QString EventsUrl(const RemoteRig& rig, const QString& query = {}) {
    return rig.Url("/api/v1/events" + query).replace("http:", "ws:");
}

TEST(RemoteEvents, StateOnOpenThenAnApiEditFromAnotherClient) {
    RemoteRig rig(42611, 43611);
    ASSERT_TRUE(rig.Connect());
    EventClient client(EventsUrl(rig));
    ASSERT_TRUE(client.WaitForType("state"));
    EXPECT_EQ(client.events.front().value("link").toString(), "up");
    ASSERT_EQ(rig.Send("PATCH", "/api/v1/params", R"({"ch1.band3.gain": -4})").status, 200);
    std::size_t at = 1;
    ASSERT_TRUE(client.WaitForType("params", &at));
    const QJsonObject changes = client.events[at].value("changes").toObject();
    EXPECT_DOUBLE_EQ(changes.value("ch1.band3.gain").toDouble(), -4.0);
    EXPECT_TRUE(changes.contains("ch1.band3.freq")) << "the whole record is reported";
    EXPECT_FALSE(changes.contains("ch1.band4.gain"));
}

TEST(RemoteEvents, ClientEditsOverTheSocketReachTheSimulator) {
    RemoteRig rig(42612, 43612);
    ASSERT_TRUE(rig.Connect());
    EventClient client(EventsUrl(rig));
    ASSERT_TRUE(client.WaitForType("state"));
    client.socket.sendTextMessage(R"({"type":"set","params":{"ch1.band5.gain":6}})");
    ASSERT_TRUE(WaitFor([&] { return rig.CountEqBand() == 1; }));
    EXPECT_EQ(rig.sim->Settings().channels[0].bands[5].gain, 240);
    client.socket.sendTextMessage(R"({"type":"set","params":{"ch1.band5.gain":60}})");
    ASSERT_TRUE(client.WaitForType("error"));
    EXPECT_EQ(rig.CountEqBand(), 1);
}

// Upgrades without the token or from another site's page are refused, and a refused upgrade
// is closed by the idle timeout; an admitted socket stays open past it and gets events.
TEST(RemoteEvents, UpgradeIsRefusedWithoutTokenOrFromAnotherSite) {
    ConnectionLimits limits;
    limits.idleTimeoutMs = 150;
    RemoteRig rig(42613, 43613, QStringLiteral("tok"), limits);
    EventClient noToken(EventsUrl(rig));
    EventClient otherSite(EventsUrl(rig, "?token=tok"), "http://evil.example");
    EventClient admitted(EventsUrl(rig, "?token=tok"));
    ASSERT_TRUE(admitted.WaitForType("state"));
    QTcpSocket refused;
    refused.connectToHost(QString::fromLatin1(kRemoteIp), rig.server->Port());
    ASSERT_TRUE(WaitFor([&] { return refused.state() == QAbstractSocket::ConnectedState; }));
    refused.write(
        "GET /api/v1/events HTTP/1.1\r\nHost: 127.0.26.1:43613\r\nUpgrade: websocket\r\n"
        "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
        "Sec-WebSocket-Version: 13\r\n\r\n");
    EXPECT_TRUE(
        WaitFor([&] { return refused.state() == QAbstractSocket::UnconnectedState; }, 3000));
    EXPECT_TRUE(refused.readAll().startsWith("HTTP/1.1 401"));
    WaitFor([] { return false; }, 400);
    EXPECT_TRUE(noToken.events.empty());
    EXPECT_TRUE(otherSite.events.empty());
    EXPECT_NE(noToken.socket.state(), QAbstractSocket::ConnectedState);
    EXPECT_NE(otherSite.socket.state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(rig.server->ClientCount(), 1);
    EXPECT_EQ(admitted.socket.state(), QAbstractSocket::ConnectedState);
    ASSERT_EQ(rig.Send("PATCH", "/api/v1/params", R"({"ch1.band1.gain": 1})",
                       {{"Authorization", "Bearer tok"}})
                  .status,
              200);
    std::size_t at = 1;
    EXPECT_TRUE(admitted.WaitForType("params", &at));
}

}  // namespace
}  // namespace quorvell::test
