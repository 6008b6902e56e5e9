// Paced sequences and the rule that settings are sent only while the link is up.
#include <gtest/gtest.h>
#include <QElapsedTimer>

#include "LinkTestSupport.h"

namespace quorvell::test {
namespace {

PacedSequence LevelSequence(DeviceParameters& params, int count, int gapMs) {
    PacedSequence seq;
    for (int i = 0; i < count; ++i) {
        params.mainLevel = i;
        seq.push_back({BuildLevel(params, 0), gapMs});
    }
    return seq;
}

TEST(Paced, FramesArriveInOrderWithTheirGaps) {
    constexpr quint16 kPort = 41401;
    auto sim = StartSim(2, kPort);
    DeviceParameters params{};
    DeviceLink link(params, LinkOptions(kPort));
    ASSERT_TRUE(ConnectAndWait(link));
    QSignalSpy finished(&link, &DeviceLink::pacedFinished);
    QElapsedTimer clock;
    std::vector<qint64> arrivals;
    QObject::connect(sim.get(), &sim::SimProcessor::datagramLogged, sim.get(),
                     [&](const sim::LogEntry&) { arrivals.push_back(clock.elapsed()); });

    PacedSequence seq = LevelSequence(params, 4, 20);
    seq[1].gapMs = 50;
    clock.start();
    ASSERT_TRUE(link.SendPaced(seq));
    EXPECT_TRUE(link.pacedRunning());
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));

    ASSERT_EQ(arrivals.size(), 4u);
    EXPECT_EQ(sim->Settings().mainLevel, 3) << "last frame applied last";
    // Timers never fire early (precise timers); only a lower bound is checked.
    EXPECT_GE(arrivals[1] - arrivals[0], 19);
    EXPECT_GE(arrivals[2] - arrivals[1], 49);
    EXPECT_GE(arrivals[3] - arrivals[2], 19);
    EXPECT_FALSE(link.pacedRunning());
}

TEST(Paced, CancelAndDisconnectStopTheSequence) {
    constexpr quint16 kPort = 41402;
    auto sim = StartSim(2, kPort);
    DeviceParameters params{};
    DeviceLink link(params, LinkOptions(kPort));
    ASSERT_TRUE(ConnectAndWait(link));
    const auto before = sim->Log().size();

    ASSERT_TRUE(link.SendPaced(LevelSequence(params, 5, 20)));
    link.CancelPaced();
    ASSERT_TRUE(link.SendPaced(LevelSequence(params, 5, 20)));
    link.Disconnect();
    Settle(150);

    EXPECT_EQ(sim->Log().size(), before + 2) << "only the first frame of each left";
    EXPECT_FALSE(link.SendPaced(LevelSequence(params, 2, 20))) << "refused while down";
}

// Every sender but the connect request sends only while the link is up.
TEST(Paced, SettingsAreSentOnlyWhileLinked) {
    constexpr quint16 kPort = 41403;
    auto sim = StartSim(2, kPort);
    DeviceParameters params{};
    ResetDeviceParameters(params);
    DeviceLink link(params, LinkOptions(kPort));
    const std::vector<std::function<bool()>> senders = {
        [&] { return link.SendEqBand(0, 3); }, [&] { return link.SendHipass(1); },
        [&] { return link.SendLopass(0); },    [&] { return link.SendLevel(2); },
        [&] { return link.SendLimiter(1); },   [&] { return link.SendDeviceName(); },
        [&] { return link.SendReset(); },      [&] { return link.SendPhase(1); },
    };
    for (const auto& send : senders) {
        EXPECT_FALSE(send());
    }
    ASSERT_TRUE(ConnectAndWait(link));
    const auto connected = sim->Log().size();
    for (std::size_t i = 0; i + 1 < senders.size(); ++i) {  // all but the reset
        EXPECT_TRUE(senders[i]()) << "sender " << i;
    }
    ASSERT_TRUE(WaitFor([&] { return sim->Log().size() == connected + senders.size() - 1; }));
    for (std::size_t i = connected; i < sim->Log().size(); ++i) {
        EXPECT_TRUE(sim->Log()[i].decoded.valid) << sim->Log()[i].decoded.reason;
    }

    params.channels[0].hipass.type = 9;  // a type no design exists for
    EXPECT_FALSE(link.SendHipass(0)) << "no frame, nothing sent";
    EXPECT_FALSE(link.SendEqBand(2, 1));
    EXPECT_FALSE(link.SendEqBand(0, 0));
    EXPECT_FALSE(link.SendEqBand(1, 8));
    EXPECT_FALSE(link.SendLevel(3));
    EXPECT_FALSE(link.SendPhase(-1));
    Settle();
    EXPECT_EQ(sim->Log().size(), connected + senders.size() - 1);
}

}  // namespace
}  // namespace quorvell::test
