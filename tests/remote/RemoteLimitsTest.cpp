// SPDX-License-Identifier: GPL-3.0-or-later
// The listening socket's limits: request-head deadline and connection caps.
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

}  // namespace
}  // namespace quorvell::test
