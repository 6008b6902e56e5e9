// SPDX-License-Identifier: GPL-3.0-or-later
// The listening socket's limits: request-head deadline and connection caps.
#include <QRegularExpression>
#include <QTcpSocket>
#include <memory>
#include <vector>

#include "RemoteTestSupport.h"

namespace quorvell::test {
namespace {

// Connection limits against a hostile local client: a head that trickles in is cut at its
// deadline, however long the idle time; at the connection limit a slow client makes room, so
// a new request is still answered.
TEST(RemoteLimits, SlowClientsAreCutAndANewClientIsStillServed) {
    ConnectionLimits limits;
    limits.headDeadlineMs = 300;
    limits.maxConnections = 4;
    RemoteRig rig(42690, 43690, {}, limits);

    std::vector<std::unique_ptr<QTcpSocket>> slow;
    for (int i = 0; i < limits.maxConnections; ++i) {
        slow.push_back(std::make_unique<QTcpSocket>());
        slow.back()->connectToHost(QString::fromLatin1(kRemoteIp), rig.server->Port());
        ASSERT_TRUE(slow.back()->waitForConnected(5000));
        slow.back()->write("GET /api/v1/state HTTP/1.1\r\nHost: 127.0.26.1");
    }
    EXPECT_EQ(rig.Send("GET", "/api/v1/state").status, 200) << "a new client is served";
    for (auto& s : slow) {
        EXPECT_TRUE(WaitFor([&] { return s->state() == QAbstractSocket::UnconnectedState; }))
            << "a head that never ends is closed at its deadline, however long the idle time";
    }
}

// Raw request sequences on one connection: the answers, in order, and the connection closed.
TEST(RemoteLimits, PipelinedAndClosingRequestsGetTheirOwnAnswers) {
    RemoteRig rig(42691, 43691);
    const QByteArray host = "Host: 127.0.26.1:43691\r\n";
    const QByteArray huge = "PATCH /api/v1/params HTTP/1.1\r\n" + host +
                            "Content-Length: 99999999999\r\n\r\n" + QByteArray(1000, ' ');
    const struct {
        QByteArray bytes;
        QList<int> statuses;
        bool bodyless;  // the first answer has headers only
        const char* why;
    } cases[] = {
        {"GET /api/v1/state HTTP/1.1\r\n" + host + "\r\n" + huge,
         {200, 413},
         false,
         "a request pipelined before a refused one is answered first"},
        {"GET /api/v1/state HTTP/1.0\r\n" + host + "\r\n", {200}, false, "HTTP/1.0 closes"},
        {"GET /api/v1/state HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n",
         {200},
         false,
         "Connection: close closes"},
        {"HEAD /api/v1/state HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n",
         {200},
         true,
         "HEAD answers like GET without the body"},
        {"GET /api/v1/state HTTP/1.1\r\n" + host + "Upgrade: websocket\r\n\r\n" + huge,
         {200, 413},
         false,
         "the checks go on after a request that carried Upgrade"},
    };
    const QRegularExpression statusLine(QStringLiteral("HTTP/1\\.1 (\\d{3}) "));
    for (const auto& c : cases) {
        QTcpSocket socket;
        socket.connectToHost(QString::fromLatin1(kRemoteIp), rig.server->Port());
        ASSERT_TRUE(socket.waitForConnected(5000)) << c.why;
        socket.write(c.bytes);
        QByteArray answer;
        EXPECT_TRUE(WaitFor([&] {
            answer += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        })) << c.why
            << ": the connection stays open";
        answer += socket.readAll();
        QList<int> statuses;
        for (auto it = statusLine.globalMatch(QString::fromLatin1(answer)); it.hasNext();) {
            statuses << it.next().captured(1).toInt();
        }
        EXPECT_EQ(statuses, c.statuses) << c.why << ":\n" << answer.toStdString();
        if (c.bodyless) {
            EXPECT_TRUE(answer.endsWith("\r\n\r\n")) << c.why;
            EXPECT_TRUE(answer.contains("Content-Length: ")) << c.why;
        }
    }
}

}  // namespace
}  // namespace quorvell::test
