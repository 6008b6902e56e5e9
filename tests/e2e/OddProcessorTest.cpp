// SPDX-License-Identifier: GPL-3.0-or-later
// quorvell-cli against processors that misbehave: one that keeps nothing, one that answers a
// connect with the reset state, one that answers short, one that drops datagrams. Whatever
// the processor does, the exit status never reports a change it does not have. And the link
// under a processor that floods its state.
#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include "LinkTestSupport.h"
#include "ReadBack.h"

namespace quorvell::test {
namespace {

// A preset data file holding `edit` applied to the defaults, named `name`.
template <typename Edit>
QByteArray PresetImage(const char* name, Edit edit) {
    DeviceParameters p{};
    ResetDeviceParameters(p);
    p.deviceName.fill(0);
    std::copy_n(name, std::strlen(name), p.deviceName.begin());
    edit(p);
    const ParameterImage image = WriteParameterImage(p);
    return QByteArray(reinterpret_cast<const char*>(image.data()), kImageSize);
}

struct OddCase {
    const char* what;
    sim::SimOptions processor;
    QByteArray preset;  // imported as preset 1 before the run when not empty
    const char* args;
    int exitCode;
    const char* inErr;  // words the error output holds
    std::function<void(const sim::SimProcessor&, const CliRun&)> check;
};

TEST(OddProcessor, TheExitStatusNeverReportsWhatTheProcessorDoesNotHave) {
    const auto dropping = [](double share, quint32 seed) {
        return With([=](auto& o) {
            o.dropFraction = share;
            o.seed = seed;
        });
    };
    const auto none = [](const sim::SimProcessor&, const CliRun&) {};
    const OddCase cases[] = {
        {"answers reads with frame 8 and keeps nothing",
         With([](auto& o) { o.keepNothing = o.answerReset = true; }), "",
         "set ch1.level=-10 ch1.band3.gain=6", 5, "ch1.level ch1.band3", none},
        {"answers a connect with a bare header", With([](auto& o) { o.answerShort = true; }), "",
         "show --retry 1", 3, "CANNOT CONNECT.", none},
        {"drops 30 % of datagrams: the name is sent until confirmed", dropping(0.3, 7), "",
         "name MONITOR --retry 1", 0, "",
         [](const sim::SimProcessor& s, const CliRun& r) {
             EXPECT_EQ(DeviceNameText(s.Settings()), "MONITOR");
             EXPECT_EQ(r.out.trimmed(), QString(kTextNameSet));
         }},
        {"drops 30 % of datagrams: the reset is sent until answered", dropping(0.3, 11), "",
         "reset --retry 1", 0, "", none},
        {"recall of a preset saved on another processor keeps this one's name", sim::SimOptions(),
         PresetImage("OTHER", [](DeviceParameters& p) { p.mainLevel = 20; }), "preset recall 1", 0,
         "",
         [](const sim::SimProcessor& s, const CliRun&) {
             EXPECT_EQ(DeviceNameText(s.Settings()), "QV-SIM");
             EXPECT_EQ(s.Settings().mainLevel, 20);
             EXPECT_EQ(CountCode(s, CommandCode::SetName), 0);
         }},
    };
    quint16 port = 42400;
    for (const OddCase& c : cases) {
        SCOPED_TRACE(c.what);
        ++port;
        const auto processor = StartSim(SimIp(40), port, c.processor);
        QTemporaryDir dir;
        const QStringList data = {"--data-dir", dir.filePath("data")};
        if (!c.preset.isEmpty()) {
            WriteFile(dir.filePath("image.dat"), c.preset);
            const CliRun import = RunCli(
                std::nullopt, data + QStringList{"preset", "import", dir.filePath("image.dat")});
            ASSERT_EQ(import.exitCode, 0) << import.err.toStdString();
        }
        const CliRun r = RunCli(port, data + Words(c.args), kLinkIp, SimIp(40));
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        for (const QString& text : Words(c.inErr)) {
            EXPECT_TRUE(r.err.contains(text)) << r.err.toStdString();
        }
        c.check(*processor, r);
    }
}

// 10,000 state frames in about a second from the processor's own address, its CH1 level changed
// early on: the link takes at most one state per interval, stays up, and ends with the latest
// (applied directly without read-back, shown in sync by the next read with it).
TEST(OddProcessor, AFloodOfStatesIsTakenOncePerIntervalAndTheLatestWins) {
    for (const bool withReadBack : {false, true}) {
        SCOPED_TRACE(withReadBack ? "read-back" : "no read-back");
        Rig rig(withReadBack ? 42490 : 42491, {}, nullptr, kLinkIp, SimIp(47));
        std::unique_ptr<ReadBack> sync;
        if (withReadBack) {
            sync = std::make_unique<ReadBack>(rig.editor);
        }
        ASSERT_TRUE(ConnectAndWait(rig.link));
        int taken = 0;
        const auto count = [&] { ++taken; };
        QObject::connect(&rig.link, &DeviceLink::linkEstablished, count);
        QObject::connect(&rig.link, &DeviceLink::resetStateApplied, count);
        QObject::connect(&rig.link, &DeviceLink::stateRead, count);
        bool flooding = true;
        QObject::connect(rig.sim.get(), &sim::SimProcessor::floodEnded, [&] { flooding = false; });
        rig.sim->SetFloodCount(10000);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(rig.link.RequestRead());  // its answer starts the flood
        QTimer::singleShot(50, [&] { rig.sim->MutableSettings().channels[0].level = 100; });
        ASSERT_TRUE(WaitFor([&] { return !flooding; }, 60000));
        rig.sim->SetFloodCount(0);
        Settle(100);
        EXPECT_LE(taken, clock.elapsed() / kStateIntervalMs + 2);
        EXPECT_TRUE(rig.link.linkUp());
        if (sync) {
            sync->RequestRead();
        }
        EXPECT_TRUE(WaitFor([&] {
            return rig.params.channels[0].level == 100 &&
                   (!sync || sync->state() == SyncState::InSync);
        }));
    }
}

}  // namespace
}  // namespace quorvell::test
