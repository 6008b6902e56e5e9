// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual processor in process, driven over loopback UDP like the real device.
#include <gtest/gtest.h>

#include <functional>

#include "SimProcessor.h"
#include "SimTestSupport.h"

namespace quorvell::sim {
namespace {

using test::Client;
using test::Hex;
using test::TestAddress;
using test::WaitFor;

DeviceParameters StartupDefaults(std::string_view name) {
    DeviceParameters p{};
    ResetDeviceParameters(p);
    std::copy(name.begin(), name.end(), p.deviceName.begin());
    return p;
}

SimOptions At(int host, const std::function<void(SimOptions&)>& edit = {}) {
    SimOptions o;
    o.address = TestAddress(host);
    if (edit) {
        edit(o);
    }
    return o;
}

// A processor at 127.0.10.`host`, started, and a panel endpoint at the next address.
struct Rig {
    explicit Rig(int host, const std::function<void(SimOptions&)>& edit = {})
        : sim(At(host, edit)), at(TestAddress(host)), panel(TestAddress(host + 1), kDevicePort) {
        QString error;
        started = sim.Start(&error);
        EXPECT_TRUE(started) << error.toStdString();
    }
    SimProcessor sim;
    QHostAddress at;
    Client panel;
    bool started = false;
};

// A connect is answered with the full state at the address it names, else at its source, and
// makes that the last client. Set-name and reset answer the last client, else the sender.
// Reset loads the start-up defaults but keeps the name, which discovery then answers with.
TEST(SimHandshake, AnswersGoToTheNamedAddressTheLastClientOrTheSender) {
    Rig r(10);
    ASSERT_TRUE(r.started);
    Client sender(TestAddress(18), kDevicePort);
    DeviceParameters named{};
    named.deviceName = {'S', 'T', 'U', 'D', 'I', 'O'};
    sender.Send(BuildSetName(named), r.at);
    auto answer = sender.Receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(Hex(answer->data()), "AA 55 01 06 A5");
    EXPECT_EQ(DeviceNameText(r.sim.Settings()), "STUDIO");

    Client replyTo(TestAddress(12), 39070);
    r.panel.Send(BuildConnect(39070, TestAddress(12).toIPv4Address()), r.at);
    answer = replyTo.Receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(Hex(answer->data()), ToHex(BuildFullState(StartupDefaults("STUDIO")).Bytes()));
    EXPECT_EQ(answer->senderAddress(), r.at);
    EXPECT_EQ(answer->senderPort(), kDevicePort);
    EXPECT_EQ(r.sim.Log().back().answer, "StatusFullState to 127.0.10.12:39070");
    r.panel.Send(BuildConnect(0, 0), r.at);
    answer = r.panel.Receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->data().size(), 134);

    named.deviceName = {'S', 'T', 'A', 'G', 'E', '-', '2', '0', '2', '4'};
    sender.Send(BuildSetName(named), r.at);
    answer = r.panel.Receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(Hex(answer->data()), "AA 55 01 06 A5");
    EXPECT_EQ(DeviceNameText(r.sim.Settings()), "STAGE-2024");

    DeviceParameters& s = r.sim.MutableSettings();
    s.channels[0].bands[2].gain = 300;
    s.channels[1].hipass = {.freq = 100, .type = 4, .q = 50};
    s.channels[0].phase = 1;
    s.mainLevel = 90;
    sender.Send(BuildReset(), r.at);
    answer = r.panel.Receive();
    ASSERT_TRUE(answer);
    const DeviceParameters defaults = StartupDefaults("STAGE-2024");
    EXPECT_EQ(Hex(answer->data()), ToHex(BuildResetState(defaults).Bytes()));
    EXPECT_EQ(WriteParameterImage(r.sim.Settings()), WriteParameterImage(defaults));
    sender.Discover(r.at);
    answer = sender.Receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(Hex(answer->data()), "AA 55 0C 80 00 53 54 41 47 45 2D 32 30 32 34 A5");
    EXPECT_FALSE(replyTo.HasPending());
}

TEST(SimSettings, EveryCommandChangesItsFieldsAndNothingElse) {
    Rig r(22);
    ASSERT_TRUE(r.started);
    // The panel's model after one edit of every record; each frame carries only its record.
    DeviceParameters want = r.sim.Settings();
    want.channels[0].bands[1] = {.freq = 63, .gain = 0, .q = 1, .reserved = {}, .flag = 1};
    want.channels[1].bands[7] = {.freq = 20000, .gain = 360, .q = 1000, .reserved = {}, .flag = 1};
    want.channels[1].hipass = {.freq = 120, .type = 2, .q = 0};
    want.channels[0].lopass = {.freq = 4000, .type = 4, .q = 9};
    want.mainLevel = 254;
    want.channels[0].level = 48;
    want.channels[1].limiter = {
        .threshold = 60, .attack = 100, .release = 1, .reserved = {}, .ratio = 2000};
    want.channels[1].phase = 1;
    want.deviceName = {'S', 'T', 'A', 'G', 'E', ' ', 'L', 'E', 'F', 'T'};
    const Frame steps[] = {*BuildEqBand(want, 0, 1),
                           *BuildEqBand(want, 1, 7),
                           *BuildHipass(want, 1),
                           *BuildLopass(want, 0),
                           BuildLevel(want, 0),
                           BuildLevel(want, 1),
                           *BuildLimiter(want, 1, ComputeEulerE()),
                           BuildPhase(want, 1),
                           BuildSetName(want)};
    for (const Frame& step : steps) {
        r.panel.Send(step, r.at);
    }
    ASSERT_TRUE(WaitFor([&] { return r.sim.Log().size() == std::size(steps); }));
    for (const LogEntry& entry : r.sim.Log()) {
        EXPECT_TRUE(entry.decoded.valid) << entry.decoded.reason;
    }
    EXPECT_EQ(WriteParameterImage(r.sim.Settings()), WriteParameterImage(want));
}

// Every datagram is logged with the reason it is invalid. A wrong coefficient is still applied;
// structure faults (a wrong length, an empty datagram, a runt, an oversized one) never change
// the settings, and the processor still answers afterwards.
TEST(SimSettings, InvalidFramesAreLoggedWithTheirReason) {
    Rig r(24);
    ASSERT_TRUE(r.started);
    DeviceParameters p = r.sim.Settings();
    p.channels[0].bands[5].gain = 240;
    QByteArray coefficient = test::ToBytes(*BuildEqBand(p, 0, 5));
    coefficient[12] = static_cast<char>(coefficient[12] ^ 0x04);  // b0's first byte
    r.panel.Send(coefficient, r.at);
    ASSERT_TRUE(WaitFor([&] { return r.sim.Log().size() == 1; }));
    const ParameterImage applied = WriteParameterImage(r.sim.Settings());
    QByteArray length = test::ToBytes(BuildLevel(p, 0));
    length[2] = 0x04;
    const QByteArray garbage[] = {length, QByteArray(), QByteArray::fromHex("AA5501"),
                                  QByteArray(60000, '\xAA')};
    // One at a time: a burst of large datagrams could overflow the socket's buffer.
    for (const auto& bytes : garbage) {
        const std::size_t logged = r.sim.Log().size();
        r.panel.Send(bytes, r.at);
        ASSERT_TRUE(WaitFor([&] { return r.sim.Log().size() == logged + 1; }));
    }

    const LogEntry& bad = r.sim.Log()[0];
    EXPECT_FALSE(bad.decoded.valid);
    EXPECT_TRUE(bad.decoded.reason.starts_with("b0: expected ")) << bad.decoded.reason;
    EXPECT_TRUE(bad.applied);  // settings intact, only the coefficient is wrong
    EXPECT_EQ(r.sim.Settings().channels[0].bands[5].gain, 240);
    for (std::size_t i = 1; i < r.sim.Log().size(); ++i) {
        EXPECT_FALSE(r.sim.Log()[i].applied) << Hex(r.sim.Log()[i].bytes);
        EXPECT_FALSE(FormatLogLine(r.sim.Log()[i], r.sim.Endpoint()).isEmpty());
    }
    EXPECT_EQ(WriteParameterImage(r.sim.Settings()), applied);

    // The JSON line of a structure fault, after its time stamp.
    const QByteArray line = FormatLogLine(r.sim.Log()[1], r.sim.Endpoint());
    EXPECT_TRUE(line.startsWith("{\"time\":\"") && line.contains("Z\",\"processor\""))
        << line.data();
    EXPECT_EQ(
        line.mid(line.indexOf("\"processor\"")),
        "\"processor\":\"127.0.10.24:39060\",\"sender\":\"127.0.10.25:39060\",\"code\":4,"
        "\"command\":\"CmdLevel\",\"bytes\":\"AA 55 04 04 00 00 A5\",\"fields\":{\"target\":0,"
        "\"level\":0},\"valid\":false,\"reason\":\"length byte 0x04, expected 0x03\","
        "\"applied\":false}");
    r.panel.Discover(r.at);
    EXPECT_TRUE(r.panel.Receive());
}

// Fault injection: dropping ignores every datagram but logs it; no-answer ignores only connect
// (loopback keeps the order: had the connect been answered, that answer would come first).
TEST(SimFaults, DropAllIgnoresEverythingAndNoAnswerOnlyConnect) {
    const struct {
        int host;
        std::function<void(SimOptions&)> edit;
        bool dropped;
    } cases[] = {
        {26, [](SimOptions& o) { o.dropFraction = 1.0; }, true},
        {31, [](SimOptions& o) { o.noAnswer = true; }, false},
    };
    for (const auto& c : cases) {
        Rig r(c.host, c.edit);
        ASSERT_TRUE(r.started);
        DeviceParameters p = r.sim.Settings();
        p.mainLevel = 10;
        r.panel.Send(BuildLevel(p, 0), r.at);
        r.panel.Connect(r.at);
        r.panel.Discover(r.at);
        ASSERT_TRUE(WaitFor([&] { return r.sim.Log().size() == 3; }));
        for (const auto& entry : r.sim.Log()) {
            EXPECT_EQ(entry.dropped, c.dropped);
            EXPECT_EQ(FormatLogLine(entry, r.sim.Endpoint()).contains("\"dropped\":true"),
                      c.dropped);
        }
        EXPECT_TRUE(r.sim.Log()[1].answer.empty());
        EXPECT_EQ(r.sim.Settings().mainLevel, c.dropped ? 0 : 10);
        if (c.dropped) {
            EXPECT_FALSE(r.panel.HasPending());
            continue;
        }
        const auto answer = r.panel.Receive();
        ASSERT_TRUE(answer);
        EXPECT_EQ(static_cast<std::uint8_t>(answer->data()[3]), 0x80);
    }
}

TEST(SimProcessors, StartsFromAPresetImage) {
    DeviceParameters preset = StartupDefaults("PRESET");
    preset.channels[1].bands[3].freq = 444;
    preset.channels[0].lopass.type = 3;
    preset.linkUp = 1;
    // An empty name keeps the preset's; the link flag is not preset data.
    SimProcessor sim(At(44, [&](SimOptions& o) {
        o.name = "";
        o.state = WriteParameterImage(preset);
    }));
    preset.linkUp = 0;
    EXPECT_EQ(WriteParameterImage(sim.Settings()), WriteParameterImage(preset));
}

}  // namespace
}  // namespace quorvell::sim
