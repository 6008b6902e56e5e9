// SPDX-License-Identifier: GPL-3.0-or-later
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
    Rig r(41401);
    ASSERT_TRUE(ConnectAndWait(r.link));
    QSignalSpy finished(&r.link, &DeviceLink::pacedFinished);
    QElapsedTimer clock;
    std::vector<qint64> arrivals;
    QObject::connect(r.sim.get(), &sim::SimProcessor::datagramLogged, r.sim.get(),
                     [&](const sim::LogEntry&) { arrivals.push_back(clock.elapsed()); });

    PacedSequence seq = LevelSequence(r.params, 4, 20);
    seq[1].gapMs = 50;
    clock.start();
    ASSERT_TRUE(r.link.SendPaced(seq));
    EXPECT_TRUE(r.link.pacedRunning());
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));

    ASSERT_EQ(arrivals.size(), 4u);
    EXPECT_EQ(r.sim->Settings().mainLevel, 3) << "last frame applied last";
    // Timers never fire early (precise timers); only a lower bound is checked.
    EXPECT_GE(arrivals[1] - arrivals[0], 19);
    EXPECT_GE(arrivals[2] - arrivals[1], 49);
    EXPECT_GE(arrivals[3] - arrivals[2], 19);
    EXPECT_FALSE(r.link.pacedRunning());
}

TEST(Paced, CancelAndDisconnectStopTheSequence) {
    Rig r(41402);
    ASSERT_TRUE(ConnectAndWait(r.link));
    const auto before = r.sim->Log().size();

    ASSERT_TRUE(r.link.SendPaced(LevelSequence(r.params, 5, 20)));
    r.link.CancelPaced();
    ASSERT_TRUE(r.link.SendPaced(LevelSequence(r.params, 5, 20)));
    r.link.Disconnect();
    Settle(150);

    EXPECT_EQ(r.sim->Log().size(), before + 2) << "only the first frame of each left";
    EXPECT_FALSE(r.link.SendPaced(LevelSequence(r.params, 2, 20))) << "refused while down";
}

// Commands leave only once the link is up (not while the connect waits); a record with no
// design, or indices out of range, send nothing.
TEST(Paced, SettingsAreSentOnlyWhileLinked) {
    Rig r(41403);
    ResetDeviceParameters(r.params);
    ASSERT_TRUE(r.link.Connect());  // the socket is open, the answer not yet read
    EXPECT_FALSE(r.link.SendReset() || r.link.SendDeviceName() || r.link.SendEqBand(0, 3));
    ASSERT_TRUE(WaitFor([&] { return r.link.linkUp(); }));
    const auto connected = r.sim->Log().size();
    EXPECT_TRUE(r.link.SendDeviceName() && r.link.SendEqBand(0, 3));

    r.params.channels[0].hipass.type = 9;  // a type no design exists for
    EXPECT_FALSE(r.link.SendHipass(0)) << "no frame, nothing sent";
    EXPECT_FALSE(r.link.SendEqBand(2, 1) || r.link.SendEqBand(0, 0) || r.link.SendEqBand(1, 8) ||
                 r.link.SendLevel(3) || r.link.SendPhase(-1));
    Settle();
    EXPECT_EQ(r.sim->Log().size(), connected + 2);
}

}  // namespace
}  // namespace quorvell::test
