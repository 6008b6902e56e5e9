// SPDX-License-Identifier: GPL-3.0-or-later
// Device discovery over a loopback /24: the sweep's addresses, the listener's list, and how
// the search and the link share one port.
#include <gtest/gtest.h>

#include "LinkTestSupport.h"

namespace quorvell::test {
namespace {

TEST(Discovery, ListsEachProcessorOnceAndSkipsTheOwnAddress) {
    constexpr quint16 kPort = 41301;
    // A processor sits at .5, which this search treats as the computer's own address.
    std::vector<std::unique_ptr<sim::SimProcessor>> sims;
    for (int h : {2, 3, 4, 5}) {
        sims.push_back(
            StartSim(SimIp(h), kPort, With([h](auto& o) { o.name = "SIM-" + std::to_string(h); })));
    }
    DeviceParameters params{};
    DeviceLink link(params, LinkOptions(kPort));
    QSignalSpy progress(&link, &DeviceLink::searchProgress);
    QSignalSpy finished(&link, &DeviceLink::searchFinished);
    QSignalSpy found(&link, &DeviceLink::deviceFound);

    ASSERT_TRUE(link.StartSearch(QHostAddress(SimIp(5))));
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    Settle();

    ASSERT_EQ(progress.count(), 253);
    for (int i = 0; i < 253; ++i) {
        ASSERT_EQ(progress[i].front().toInt(), i + 2) << "hosts 2..254 in order";
    }

    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(CountCode(*sims[i], CommandCode::Discover), 2) << "each host gets it twice";
    }
    EXPECT_EQ(CountCode(*sims[3], CommandCode::Discover), 0) << "own address skipped";

    const auto& list = link.foundDevices();
    ASSERT_EQ(list.size(), 3) << "one row per sender despite two answers each";
    EXPECT_EQ(found.count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list[i].ip, SimIp(i + 2));
        EXPECT_EQ(list[i].port, kPort);
        EXPECT_EQ(list[i].name, QStringLiteral("SIM-%1").arg(i + 2));
    }
    EXPECT_TRUE(link.discoveryRunning()) << "the listener keeps running after the sweep";
}

// A sweep cut short reports its end too, once, whatever cut it.
TEST(Discovery, EverySweepCutShortReportsFinishedOnce) {
    const struct {
        const char* cut;
        quint16 port;
        void (*apply)(DeviceLink&);
        int sweeps;  // a new search starts a second sweep, ended by the StopSearch below
    } cases[] = {
        {"StopSearch", 42130, [](DeviceLink& l) { l.StopSearch(); }, 1},
        {"Connect", 42131, [](DeviceLink& l) { l.Connect(); }, 1},
        {"Close", 42132, [](DeviceLink& l) { l.Close(); }, 1},
        {"StartSearch", 42133, [](DeviceLink& l) { l.StartSearch(); }, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cut);
        DeviceParameters params{};
        DeviceLinkOptions o = LinkOptions(c.port, nullptr, "127.0.21.1", "127.0.21.2");
        o.sweepStepMs = 10;
        DeviceLink link(params, o);
        QSignalSpy progress(&link, &DeviceLink::searchProgress);
        QSignalSpy finished(&link, &DeviceLink::searchFinished);
        ASSERT_TRUE(link.StartSearch());
        ASSERT_TRUE(WaitFor([&] { return progress.count() > 0; }));

        c.apply(link);
        EXPECT_EQ(finished.count(), 1);
        link.StopSearch();
        link.Close();
        Settle(30);
        EXPECT_EQ(finished.count(), c.sweeps);
    }
}

TEST(Discovery, SearchAndLinkTakeTurnsOnThePort) {
    Rig r(41303);
    DeviceLink& link = r.link;
    QSignalSpy refused(&link, &DeviceLink::searchRefused);
    QSignalSpy bindFailed(&link, &DeviceLink::bindFailed);

    ASSERT_TRUE(link.StartSearch());
    ASSERT_TRUE(link.discoveryRunning());
    ASSERT_TRUE(ConnectAndWait(link)) << "connect stops the listener first";
    EXPECT_FALSE(link.discoveryRunning());

    EXPECT_FALSE(link.StartSearch());
    ASSERT_EQ(refused.count(), 1);
    EXPECT_EQ(refused.front().front().toString(), QString(kTextAlreadyConnected));
    EXPECT_TRUE(link.receiveRunning()) << "a refused search leaves the link alone";

    link.Disconnect();
    ASSERT_TRUE(link.StartSearch());
    EXPECT_TRUE(link.discoveryRunning());
    EXPECT_EQ(bindFailed.count(), 0);
}

}  // namespace
}  // namespace quorvell::test
