// SPDX-License-Identifier: GPL-3.0-or-later
// A stream of API edits to one record reaches the processor at most once per 20 ms, and its
// last value always arrives, also when the server stops; a single edit goes out at once.
#include "RemoteTestSupport.h"

namespace quorvell::test {
namespace {

TEST(RemoteCoalesce, AStreamOfEditsSendsAtMostOneFramePerPeriodAndTheLastValue) {
    RemoteRig rig(42621, 43621);
    ASSERT_TRUE(rig.Connect());
    QElapsedTimer clock;
    clock.start();
    const int before = rig.CountEqBand();
    QSignalSpy sent(&rig.link, &DeviceLink::frameSent);
    ASSERT_EQ(rig.Send("PATCH", "/api/v1/params", R"({"ch1.band3.gain": -1})").status, 200);
    EXPECT_EQ(sent.count(), 1) << "a single edit waited for the period";
    int requests = 1;
    for (int i = 0; i < 100; ++i, ++requests) {
        const QByteArray body = QStringLiteral(R"({"ch1.band3.gain": %1})")
                                    .arg(-1.0 - 0.1 * (i + 1), 0, 'f', 1)
                                    .toUtf8();
        ASSERT_EQ(rig.Send("PATCH", "/api/v1/params", body).status, 200);
    }
    const qint64 elapsed = clock.elapsed();
    // -11.0 dB is raw 70: the last value reaches the processor once its period ends.
    ASSERT_TRUE(WaitFor([&] { return rig.sim->Settings().channels[0].bands[3].gain == 70; }, 1000));
    WaitFor([] { return false; }, 60);  // a surplus frame would arrive meanwhile
    const int frames = rig.CountEqBand() - before;
    EXPECT_LE(frames, 2 + elapsed / 20) << requests << " requests in " << elapsed << " ms";

    // A server stopped within the period still hands the waiting value on.
    ASSERT_EQ(rig.Send("PATCH", "/api/v1/params", R"({"ch1.band3.gain": -2})").status, 200);
    ASSERT_EQ(rig.Send("PATCH", "/api/v1/params", R"({"ch1.band3.gain": -3})").status, 200);
    rig.server.reset();
    EXPECT_TRUE(WaitFor([&] { return rig.sim->Settings().channels[0].bands[3].gain == 150; }));
}

}  // namespace
}  // namespace quorvell::test
