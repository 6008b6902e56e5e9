// SPDX-License-Identifier: GPL-3.0-or-later
// The WebSocket event stream: the state on open, then every change; the same checks as HTTP.
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QWebSocket>

#include "ReadBack.h"
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
    // The index of the first event of `type` at or after `from`, once one has come; -1 if none.
    int WaitForType(const QString& type, std::size_t from = 0) {
        int at = -1;
        WaitFor([&] {
            for (std::size_t i = from; i < events.size() && at < 0; ++i) {
                at = events[i].value("type").toString() == type ? int(i) : -1;
            }
            return at >= 0;
        });
        return at;
    }
    QWebSocket socket;
    std::vector<QJsonObject> events;
};

// An upgrade to the event stream as a raw client sends it.
QByteArray UpgradeRequest(quint16 port) {
    return "GET /api/v1/events HTTP/1.1\r\nHost: localhost:" + QByteArray::number(port) +
           "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
}

QString EventsUrl(const RemoteRig& rig, const QString& query = {}) {
    return rig.Url("/api/v1/events" + query).replace("http:", "ws:");
}

// The state on open, an API edit from another client reported as its whole record, and edits
// over the socket: a good one reaches the simulator, a bad one gets an error and sends nothing.
TEST(RemoteEvents, ClientEditsOverTheSocketReachTheSimulator) {
    RemoteRig rig(42611, 43611);
    ASSERT_TRUE(rig.Connect());
    EventClient client(EventsUrl(rig));
    ASSERT_EQ(client.WaitForType("state"), 0);
    EXPECT_EQ(client.events.front().value("link").toString(), "up");
    ASSERT_EQ(rig.Send("PATCH", "/api/v1/params", R"({"ch1.band3.gain": -4})").status, 200);
    const int at = client.WaitForType("params", 1);
    ASSERT_GT(at, 0);
    const QJsonObject changes = client.events[std::size_t(at)].value("changes").toObject();
    EXPECT_DOUBLE_EQ(changes.value("ch1.band3.gain").toDouble(), -4.0);
    EXPECT_TRUE(changes.contains("ch1.band3.freq")) << "the whole record is reported";
    EXPECT_FALSE(changes.contains("ch1.band4.gain"));

    client.socket.sendTextMessage(R"({"type":"set","params":{"ch1.band5.gain":6}})");
    ASSERT_TRUE(WaitFor([&] { return rig.CountEqBand() == 2; }));
    EXPECT_EQ(rig.sim->Settings().channels[0].bands[5].gain, 240);
    client.socket.sendTextMessage(R"({"type":"set","params":{"ch1.band5.gain":60}})");
    ASSERT_GE(client.WaitForType("error"), 0);
    EXPECT_EQ(rig.CountEqBand(), 2);
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
    ASSERT_EQ(admitted.WaitForType("state"), 0);
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
    EXPECT_GT(admitted.WaitForType("params", 1), 0);
}

// A processor that goes silent while linked is reported "lost" in the state and on the stream,
// as the panel shows LINK LOST, and "up" again once it answers.
TEST(RemoteEvents, ASilentProcessorIsReportedLostUntilItAnswersAgain) {
    RemoteRig rig(42614, 43614);
    ReadBackOptions quick;
    quick.settleMs = 10;
    quick.pollMs = 0;
    quick.answerMs = 200;
    quick.reconnectMs = 200;
    ReadBack sync(rig.editor, quick);
    rig.server->WatchSync(sync);
    ASSERT_TRUE(rig.Connect());
    EventClient client(EventsUrl(rig));
    ASSERT_EQ(client.WaitForType("state"), 0);

    rig.sim->SetDropFraction(1.0);
    ASSERT_EQ(rig.Send("PATCH", "/api/v1/params", R"({"ch1.band3.gain": -4})").status, 200);
    const int lost = client.WaitForType("link", 1);
    ASSERT_GT(lost, 0);
    EXPECT_EQ(client.events[std::size_t(lost)].value("link").toString(), "lost");
    const QJsonObject state =
        QJsonDocument::fromJson(rig.Send("GET", "/api/v1/state").body).object();
    EXPECT_EQ(state.value("link").toString(), "lost");

    rig.sim->SetDropFraction(0);
    const int up = client.WaitForType("link", std::size_t(lost) + 1);
    ASSERT_GT(up, lost);
    EXPECT_EQ(client.events[std::size_t(up)].value("link").toString(), "up");
    rig.server.reset();  // before the read-back it watches
}

// A client message larger than the cap, in one frame, in continuation frames, or in a frame
// larger than the HTTP read buffer, closes the socket with 1009 and frees it; nothing is
// applied.
TEST(RemoteEvents, OversizedMessagesCloseWith1009) {
    RemoteRig rig(42615, 43615);
    const auto before = rig.params.channels[0].bands[1].gain;
    struct Case {
        int frameBytes;  // 0: the whole message in one frame
        int messageBytes;
        const char* why;
    };
    const Case cases[] = {
        {0, 9 * 1024, "one frame over the cap"},
        {1024, 64 * 1024, "continuation frames adding up over it"},
        {0, 200 * 1024, "a frame larger than the HTTP read buffer"},
    };
    for (const Case& c : cases) {
        EventClient client(EventsUrl(rig));
        ASSERT_EQ(client.WaitForType("state"), 0) << c.why;
        if (c.frameBytes > 0) {
            client.socket.setOutgoingFrameSize(quint64(c.frameBytes));
        }
        const QString padding(c.messageBytes, QLatin1Char(' '));
        client.socket.sendTextMessage(R"({"type":"set","params":{"ch1.band1.gain":3}})" + padding);
        EXPECT_TRUE(WaitFor(
            [&] { return client.socket.state() == QAbstractSocket::UnconnectedState; }, 10000))
            << c.why;
        EXPECT_EQ(client.socket.closeCode(), QWebSocketProtocol::CloseCodeTooMuchData) << c.why;
        EXPECT_TRUE(WaitFor([&] { return rig.server->ClientCount() == 0; })) << c.why;
    }
    EXPECT_EQ(rig.params.channels[0].bands[1].gain, before) << "nothing oversized is applied";
}

// A client frame as a raw client sends it: a text frame, masked or not.
QByteArray ClientTextFrame(const QByteArray& payload, bool masked) {
    QByteArray frame(1, char(0x81));
    frame += char((masked ? 0x80 : 0) | payload.size());  // the payloads here are short
    const QByteArray key("\x12\x34\x56\x78", 4);
    if (masked) {
        frame += key;
    }
    for (qsizetype i = 0; i < payload.size(); ++i) {
        frame += masked ? char(payload[i] ^ key[i % 4]) : payload[i];
    }
    return frame;
}

// The close code of the first close frame after the 101, or 0 when none has come.
int CloseCodeIn(const QByteArray& received) {
    qsizetype at = received.indexOf("\r\n\r\n");
    for (at = at < 0 ? received.size() : at + 4; at + 2 <= received.size();) {
        const int opcode = received[at] & 0x0F;
        qsizetype length = received[at + 1] & 0x7F, header = 2;
        if (length == 126 && at + 4 <= received.size()) {
            length = (quint8(received[at + 2]) << 8) | quint8(received[at + 3]);
            header = 4;
        }
        if (opcode == 0x8 && length >= 2 && at + 4 <= received.size()) {
            return (quint8(received[at + header]) << 8) | quint8(received[at + header + 1]);
        }
        at += header + length;
    }
    return 0;
}

// Every client frame must be masked: an unmasked one, sent after the 101 or together with the
// upgrade, closes the socket with 1002 and is not applied; the same edit masked is.
TEST(RemoteEvents, UnmaskedClientFramesCloseWith1002) {
    RemoteRig rig(42619, 43619);
    ASSERT_TRUE(rig.Connect());
    const QByteArray edit = R"({"type":"set","params":{"ch1.band1.gain":3}})";
    constexpr std::int32_t kApplied = 210;  // +3.0 dB
    struct Case {
        bool masked;
        bool withUpgrade;
        const char* why;
    };
    for (const Case& c : {Case{false, false, "unmasked, after the 101"},
                          Case{false, true, "unmasked, in the same write as the upgrade"},
                          Case{true, false, "masked"}}) {
        QTcpSocket client;
        client.connectToHost(QString::fromLatin1(kRemoteIp), rig.server->Port());
        ASSERT_TRUE(WaitFor([&] { return client.state() == QAbstractSocket::ConnectedState; }));
        QByteArray received;
        QObject::connect(&client, &QTcpSocket::readyRead, [&] { received += client.readAll(); });
        const QByteArray frame = ClientTextFrame(edit, c.masked);
        client.write(UpgradeRequest(rig.server->Port()) + (c.withUpgrade ? frame : QByteArray()));
        ASSERT_TRUE(WaitFor([&] { return received.contains("\r\n\r\n"); })) << c.why;
        EXPECT_TRUE(received.startsWith("HTTP/1.1 101")) << c.why;
        if (!c.withUpgrade) {
            client.write(frame);
        }
        if (c.masked) {
            EXPECT_TRUE(WaitFor([&] { return rig.params.channels[0].bands[1].gain == kApplied; }));
            EXPECT_EQ(CloseCodeIn(received), 0);
            continue;
        }
        EXPECT_TRUE(WaitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; }))
            << c.why;
        EXPECT_EQ(CloseCodeIn(received), QWebSocketProtocol::CloseCodeProtocolError) << c.why;
        EXPECT_NE(rig.params.channels[0].bands[1].gain, kApplied) << c.why;
    }
}

// A client that answers no ping is closed after a ping period, while one that answers stays.
TEST(RemoteEvents, ClientThatAnswersNoPingIsClosed) {
    ConnectionLimits limits;
    limits.webSocketPingMs = 200;
    RemoteRig rig(42617, 43617, {}, limits);
    EventClient answering(EventsUrl(rig));
    ASSERT_EQ(answering.WaitForType("state"), 0);
    QTcpSocket silent;
    silent.connectToHost(QString::fromLatin1(kRemoteIp), rig.server->Port());
    ASSERT_TRUE(WaitFor([&] { return silent.state() == QAbstractSocket::ConnectedState; }));
    silent.write(UpgradeRequest(rig.server->Port()));
    ASSERT_TRUE(WaitFor([&] { return rig.server->ClientCount() == 2; }));
    EXPECT_TRUE(
        WaitFor([&] { return silent.state() == QAbstractSocket::UnconnectedState; }, 10000));
    EXPECT_TRUE(silent.readAll().startsWith("HTTP/1.1 101"));
    EXPECT_EQ(rig.server->ClientCount(), 1);
    EXPECT_EQ(answering.socket.state(), QAbstractSocket::ConnectedState);
}

}  // namespace
}  // namespace quorvell::test
