// SPDX-License-Identifier: GPL-3.0-or-later
// The connect handshake, its supervision, disconnect and status frames, against the
// simulator (and a bare socket where the test must choose what the processor says).
#include <gtest/gtest.h>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <cstring>

#include "FrameDecoder.h"
#include "LinkTestSupport.h"
#include "LinkTrace.h"

namespace quorvell::test {
namespace {

TEST(Connect, HandshakeAppliesTheProcessorsStateAndCarriesOwnAddress) {
    constexpr quint16 kPort = 41201;
    Rig r(kPort, With([](auto& o) { o.name = "STAGE-L"; }));
    r.sim->MutableSettings().channels[1].bands[4].gain = 240;
    r.sim->MutableSettings().channels[0].lopass.type = 3;
    ASSERT_TRUE(ConnectAndWait(r.link));

    EXPECT_FALSE(r.link.connectPending());
    EXPECT_EQ(DeviceNameText(r.params), "STAGE-L");
    EXPECT_EQ(r.params.channels[1].bands[4].gain, 240);
    EXPECT_EQ(r.params.channels[0].lopass.type, 3);
    ASSERT_EQ(CountCode(*r.sim, CommandCode::Connect), 1);
    const auto& request = r.sim->Log().front();
    EXPECT_EQ(request.decoded.Field("port"), kPort);
    EXPECT_EQ(request.decoded.Field("address"), *ParseIpv4(kLinkIp));
    EXPECT_EQ(request.senderPort, kPort);  // commands leave from the link's own port
}

// Supervision without an answer: three requests, then one failure, also across midnight.
// Disconnect while pending ends the attempt quietly instead.
TEST(Connect, WithoutAnswerSendsExactlyThreeRequestsThenFailsOnceAlsoAcrossMidnight) {
    const struct {
        int seconds;  // past midnight
        quint16 port;
        bool disconnect;
    } cases[] = {
        {12 * 3600, 41202, false}, {24 * 3600 - 2, 41203, false}, {12 * 3600, 41212, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        FakeClock clock{c.seconds, 1};  // every reading is one second later
        Rig r(c.port, With([](auto& o) { o.noAnswer = true; }), &clock);
        QSignalSpy failed(&r.link, &DeviceLink::connectFailed);

        ASSERT_TRUE(r.link.Connect());
        EXPECT_FALSE(r.link.Connect()) << "Connect while pending does nothing";
        if (c.disconnect) {
            r.link.Disconnect();
            Settle(100);
        } else {
            ASSERT_TRUE(WaitFor([&] { return failed.count() > 0; }));
            Settle();
        }
        EXPECT_EQ(failed.count(), c.disconnect ? 0 : 1);
        EXPECT_EQ(CountCode(*r.sim, CommandCode::Connect), c.disconnect ? 1 : 3);
        EXPECT_FALSE(r.link.connectPending());
        EXPECT_FALSE(r.link.linkUp());
        EXPECT_FALSE(r.link.receiveRunning());
        if (c.disconnect) {
            EXPECT_TRUE(r.link.Connect()) << "a new attempt can start";
        } else {
            EXPECT_EQ(r.params.connectAttempts, 3);
        }
    }
}

TEST(Connect, AnswerBetweenTwoTicksEndsTheRetries) {
    constexpr quint16 kPort = 41204;
    QUdpSocket peer;
    ASSERT_TRUE(peer.bind(QHostAddress(SimIp(2)), kPort));
    FakeClock clock;
    DeviceParameters params{};
    DeviceLink link(params, LinkOptions(kPort, &clock));
    QSignalSpy up(&link, &DeviceLink::linkEstablished);
    QSignalSpy failed(&link, &DeviceLink::connectFailed);

    ASSERT_TRUE(link.Connect());
    ASSERT_TRUE(WaitFor([&] { return peer.hasPendingDatagrams(); }));
    peer.receiveDatagram();
    clock.seconds += 5;  // the first wait runs out: the second request
    ASSERT_TRUE(WaitFor([&] { return peer.hasPendingDatagrams(); }));
    peer.receiveDatagram();

    DeviceParameters state{};
    ResetDeviceParameters(state);
    peer.writeDatagram(ToBytes(BuildFullState(state)), QHostAddress(QString(kLinkIp)), kPort);
    ASSERT_TRUE(WaitFor([&] { return up.count() == 1; }));
    clock.seconds += 60;
    Settle(100);

    EXPECT_FALSE(peer.hasPendingDatagrams()) << "no request after the answer";
    EXPECT_EQ(failed.count(), 0);
    EXPECT_TRUE(link.linkUp());
}

// Disconnect sends nothing and keeps the model; Close stops the link and frees its port.
TEST(Connect, DisconnectKeepsTheModelAndCloseFreesThePort) {
    constexpr quint16 kPort = 41205;
    Rig r(kPort);
    ASSERT_TRUE(ConnectAndWait(r.link));
    const ParameterImage before = WriteParameterImage(r.params);
    const auto received = r.sim->Log().size();
    QSignalSpy down(&r.link, &DeviceLink::disconnected);
    QSignalSpy closed(&r.link, &DeviceLink::closed);

    r.link.Disconnect();
    Settle();
    EXPECT_EQ(r.sim->Log().size(), received);
    EXPECT_EQ(down.count(), 1);
    EXPECT_FALSE(r.link.receiveRunning());
    ParameterImage after = WriteParameterImage(r.params);
    after[offsetof(DeviceParameters, linkUp) - kImageOffset] = 1;
    EXPECT_EQ(before, after) << "only linkUp changes";
    EXPECT_FALSE(r.link.SendLevel(0)) << "nothing is sent while the link is down";

    ASSERT_TRUE(ConnectAndWait(r.link));
    r.link.Close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(r.link.linkUp());
    QUdpSocket again;
    EXPECT_TRUE(again.bind(QHostAddress(QString(kLinkIp)), kPort)) << "the port is free at once";
}

// Another host, or the processor's host from another port (another program there).
TEST(Connect, StatusFramesFromAnotherSenderAreIgnored) {
    constexpr quint16 kPort = 41206;
    Rig r(kPort);
    ASSERT_TRUE(ConnectAndWait(r.link));
    const ParameterImage before = WriteParameterImage(r.params);
    QSignalSpy named(&r.link, &DeviceLink::nameConfirmed);
    QSignalSpy reset(&r.link, &DeviceLink::resetStateApplied);

    const std::pair<QString, quint16> senders[] = {{SimIp(9), kPort}, {SimIp(2), 42101}};
    for (const auto& [address, port] : senders) {
        QUdpSocket stranger;
        ASSERT_TRUE(stranger.bind(QHostAddress(address), port));
        DeviceParameters forged{};
        forged.mainLevel = 200;
        std::memcpy(forged.deviceName.data(), "EVIL", 4);
        for (const Frame& f : {BuildFullState(forged), BuildResetState(forged), BuildNameSet()}) {
            stranger.writeDatagram(ToBytes(f), QHostAddress(QString(kLinkIp)), kPort);
        }
        Settle(100);
    }

    EXPECT_EQ(WriteParameterImage(r.params), before);
    EXPECT_EQ(named.count(), 0);
    EXPECT_EQ(reset.count(), 0);
}

// Unbound, the request carries the address the routing table picks towards the processor,
// from the first request on: 127.0.0.1 for a processor on loopback.
TEST(Connect, UnboundFirstRequestCarriesTheRoutedSourceAddress) {
    DeviceParameters params{};
    DeviceLink link(params, LinkOptions(42104, nullptr, "0.0.0.0", "127.0.21.2"));
    QSignalSpy sent(&link, &DeviceLink::frameSent);

    ASSERT_TRUE(link.Connect());
    ASSERT_GE(sent.count(), 1);
    const QByteArray first = sent.front().front().toByteArray();
    const auto decoded = DecodeCommand(std::span(
        reinterpret_cast<const std::uint8_t*>(first.constData()), std::size_t(first.size())));
    EXPECT_EQ(decoded.Field("address"), *ParseIpv4("127.0.0.1"));
    link.Close();
}

TEST(Connect, SecondBindOnTheSamePortFailsCleanly) {
    constexpr quint16 kPort = 41209;
    Rig holder(kPort);
    ASSERT_TRUE(ConnectAndWait(holder.link));

    FakeClock clock{12 * 3600, 1};
    DeviceParameters second{};
    DeviceLink link(second, LinkOptions(kPort, &clock));
    QSignalSpy bindFailed(&link, &DeviceLink::bindFailed);
    QSignalSpy failed(&link, &DeviceLink::connectFailed);

    EXPECT_TRUE(link.Connect());
    ASSERT_EQ(bindFailed.count(), 1);
    EXPECT_TRUE(bindFailed.front().front().toString().contains("41209"));
    // The attempt runs into its timeout; nothing leaves through the unbound socket.
    ASSERT_TRUE(WaitFor([&] { return failed.count() == 1; }));
    EXPECT_EQ(CountCode(*holder.sim, CommandCode::Connect), 1) << "only the holder's request";
    EXPECT_FALSE(link.StartSearch());
    EXPECT_EQ(bindFailed.count(), 2);
    EXPECT_TRUE(holder.link.linkUp()) << "the holder keeps its link";
}

// The trace line: time, direction, peer, bytes and what they mean.
TEST(Trace, LineHasTimeDirectionPeerHexAndMeaning) {
    EXPECT_EQ(FormatTraceLine(QTime(9, 5, 1, 20), '>', "127.0.0.2", 39060, BuildReset().Bytes()),
              "09:05:01.020 > 127.0.0.2:39060 AA 55 01 08 A5 | CmdReset");
    EXPECT_NE(
        FormatTraceLine(QTime(9, 5, 1), '<', "127.0.0.3", 39060, BuildDeviceFound("AMP").Bytes())
            .find("StatusDeviceFound name=\"AMP\""),
        std::string::npos);
    const std::uint8_t junk[] = {0x01, 0x02};
    EXPECT_EQ(DescribeDatagram('<', junk), "ignored: not a frame");
}

}  // namespace
}  // namespace quorvell::test
