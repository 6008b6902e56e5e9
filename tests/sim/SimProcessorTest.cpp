// The virtual processor in process, driven over loopback UDP like the real device.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "SimProcessor.h"
#include "SimTestSupport.h"

namespace quorvell::sim {
namespace {

using test::Client;
using test::Hex;
using test::TestAddress;
using test::ToIpv4;
using test::WaitFor;

SimOptions At(int host) {
    SimOptions o;
    o.address = TestAddress(host);
    return o;
}

// At(host) with `edit` applied.
template <typename Edit>
SimOptions At(int host, Edit edit) {
    SimOptions o = At(host);
    edit(o);
    return o;
}

DeviceParameters StartupDefaults(std::string_view name) {
    DeviceParameters p{};
    ResetDeviceParameters(p);
    std::copy(name.begin(), name.end(), p.deviceName.begin());
    return p;
}

ParameterImage Image(const DeviceParameters& p) {
    return WriteParameterImage(p);
}

// Starts a processor or fails the test.
#define START(sim)                                               \
    do {                                                         \
        QString error;                                           \
        ASSERT_TRUE((sim).Start(&error)) << error.toStdString(); \
    } while (false)

TEST(SimHandshake, ConnectAnswersFullStateAtTheAddressInTheRequestElseAtItsSource) {
    SimProcessor sim(At(10));
    START(sim);
    Client sender(TestAddress(11), kDevicePort);
    Client replyTo(TestAddress(12), 39070);
    sender.Send(BuildConnect(39070, ToIpv4(replyTo.Address())), TestAddress(10));
    const auto answer = replyTo.Receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(Hex(answer->data()), ToHex(BuildFullState(StartupDefaults("QV-SIM")).Bytes()));
    EXPECT_EQ(answer->senderAddress(), TestAddress(10));
    EXPECT_EQ(answer->senderPort(), kDevicePort);
    EXPECT_EQ(sim.Log().back().answer, "StatusFullState to 127.0.10.12:39070");
    // Without its own address, a request is answered at its source.
    sender.Send(BuildConnect(0, 0), TestAddress(10));
    const auto atSource = sender.Receive();
    ASSERT_TRUE(atSource);
    EXPECT_EQ(atSource->data().size(), 134);
}

TEST(SimHandshake, SetNameAnswersTheConnectedClientElseTheSender) {
    SimProcessor sim(At(16));
    START(sim);
    Client sender(TestAddress(17), kDevicePort);
    Client panel(TestAddress(18), kDevicePort);
    DeviceParameters named{};
    named.deviceName = {'S', 'T', 'U', 'D', 'I', 'O'};

    sender.Send(BuildSetName(named), TestAddress(16));
    auto answer = sender.Receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(Hex(answer->data()), "AA 55 01 06 A5");
    EXPECT_EQ(DeviceNameText(sim.Settings()), "STUDIO");

    panel.Connect(TestAddress(16));
    ASSERT_TRUE(panel.Receive());
    named.deviceName = {'S', 'T', 'A', 'G', 'E', '-', '2', '0', '2', '4'};
    sender.Send(BuildSetName(named), TestAddress(16));
    answer = panel.Receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(Hex(answer->data()), "AA 55 01 06 A5");
    EXPECT_EQ(DeviceNameText(sim.Settings()), "STAGE-2024");
    // The discovery answer carries the new name.
    sender.Discover(TestAddress(16));
    answer = sender.Receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(Hex(answer->data()), "AA 55 0C 80 00 53 54 41 47 45 2D 32 30 32 34 A5");
}

TEST(SimHandshake, ResetLoadsTheDefaultsKeepsTheNameAndAnswersResetState) {
    SimProcessor sim(At(20));
    START(sim);
    DeviceParameters& s = sim.MutableSettings();
    s.channels[0].bands[2].gain = 300;
    s.channels[1].hipass = {.freq = 100, .type = 4, .q = 50};
    s.channels[0].phase = 1;
    s.mainLevel = 90;
    Client panel(TestAddress(21), kDevicePort);
    panel.Connect(TestAddress(20));
    ASSERT_TRUE(panel.Receive());

    panel.Send(BuildReset(), TestAddress(20));
    const auto answer = panel.Receive();
    ASSERT_TRUE(answer);
    const DeviceParameters defaults = StartupDefaults("QV-SIM");
    EXPECT_EQ(Hex(answer->data()), ToHex(BuildResetState(defaults).Bytes()));
    EXPECT_EQ(Image(sim.Settings()), Image(defaults));
}

TEST(SimSettings, EveryCommandChangesItsFieldsAndNothingElse) {
    SimProcessor sim(At(22));
    START(sim);
    Client panel(TestAddress(23), kDevicePort);
    // The panel's model after one edit of every record; each frame carries only its record.
    DeviceParameters want = sim.Settings();
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
    const std::pair<const char*, Frame> steps[] = {
        {"CmdEqBand", *BuildEqBand(want, 0, 1)},
        {"CmdEqBand", *BuildEqBand(want, 1, 7)},
        {"CmdHipass", *BuildHipass(want, 1)},
        {"CmdLopass", *BuildLopass(want, 0)},
        {"CmdLevel", BuildLevel(want, 0)},
        {"CmdLevel", BuildLevel(want, 1)},
        {"CmdLimiter", *BuildLimiter(want, 1, ComputeEulerE())},
        {"CmdPhase", BuildPhase(want, 1)},
        {"CmdSetName", BuildSetName(want)},
    };
    for (const auto& step : steps) {
        panel.Send(step.second, TestAddress(22));
    }
    ASSERT_TRUE(WaitFor([&] { return sim.Log().size() == std::size(steps); }));
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const LogEntry& entry = sim.Log()[i];
        EXPECT_EQ(entry.decoded.commandName, steps[i].first);
        EXPECT_TRUE(entry.decoded.valid) << entry.decoded.reason;
        EXPECT_TRUE(entry.applied);
    }
    EXPECT_EQ(Image(sim.Settings()), Image(want));
}

TEST(SimSettings, InvalidFramesAreLoggedWithTheirReason) {
    SimProcessor sim(At(24));
    START(sim);
    Client panel(TestAddress(25), kDevicePort);
    DeviceParameters p = sim.Settings();
    p.channels[0].bands[5].gain = 240;
    QByteArray coefficient = test::ToBytes(*BuildEqBand(p, 0, 5));
    coefficient[12] = static_cast<char>(coefficient[12] ^ 0x04);  // b0's first byte
    QByteArray length = test::ToBytes(BuildLevel(p, 0));
    length[2] = 0x04;
    panel.Send(coefficient, TestAddress(24));
    panel.Send(length, TestAddress(24));
    ASSERT_TRUE(WaitFor([&] { return sim.Log().size() == 2; }));

    const LogEntry& bad = sim.Log()[0];
    EXPECT_FALSE(bad.decoded.valid);
    EXPECT_TRUE(bad.decoded.reason.starts_with("b0: expected ")) << bad.decoded.reason;
    EXPECT_TRUE(bad.applied);  // settings intact, only the coefficient is wrong
    EXPECT_EQ(sim.Settings().channels[0].bands[5].gain, 240);

    const LogEntry& broken = sim.Log()[1];
    EXPECT_EQ(broken.decoded.reason, "length byte 0x04, expected 0x03");
    EXPECT_FALSE(broken.applied);

    const auto json = QJsonDocument::fromJson(FormatLogLine(bad, sim.Endpoint())).object();
    EXPECT_EQ(json.value("processor").toString(), "127.0.10.24:39060");
    EXPECT_EQ(json.value("sender").toString(), "127.0.10.25:39060");
    EXPECT_EQ(json.value("code").toInt(), 1);
    EXPECT_EQ(json.value("command").toString(), "CmdEqBand");
    EXPECT_EQ(json.value("fields").toObject().value("gain").toInt(), 240);
    EXPECT_FALSE(json.value("valid").toBool(true));
    EXPECT_TRUE(json.value("reason").toString().startsWith("b0: expected "));
    EXPECT_TRUE(json.value("time").toString().endsWith('Z'));
    EXPECT_EQ(json.value("bytes").toString().toStdString(), Hex(coefficient));
}

TEST(SimFaults, DropAllIgnoresEveryDatagramButLogsIt) {
    SimProcessor sim(At(26, [](auto& o) { o.dropFraction = 1.0; }));
    START(sim);
    Client panel(TestAddress(27), kDevicePort);
    DeviceParameters p = sim.Settings();
    p.mainLevel = 10;
    panel.Send(BuildLevel(p, 0), TestAddress(26));
    panel.Connect(TestAddress(26));
    ASSERT_TRUE(WaitFor([&] { return sim.Log().size() == 2; }));
    for (const auto& entry : sim.Log()) {
        EXPECT_TRUE(entry.dropped);
        EXPECT_FALSE(entry.applied);
        EXPECT_TRUE(entry.answer.empty());
        EXPECT_TRUE(FormatLogLine(entry, sim.Endpoint()).contains("\"dropped\":true"));
    }
    EXPECT_EQ(sim.Settings().mainLevel, 0);
    EXPECT_FALSE(panel.HasPending());
}

TEST(SimFaults, NoAnswerIgnoresConnectButStillAnswersDiscovery) {
    SimProcessor sim(At(31, [](auto& o) { o.noAnswer = true; }));
    START(sim);
    Client panel(TestAddress(32), kDevicePort);
    panel.Connect(TestAddress(31));
    panel.Discover(TestAddress(31));
    // Loopback keeps the order: had the connect been answered, that answer would come first.
    const auto answer = panel.Receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(static_cast<std::uint8_t>(answer->data()[3]), 0x80);
    EXPECT_TRUE(sim.Log()[0].answer.empty());
}

TEST(SimProcessors, StartsFromAPresetImage) {
    DeviceParameters preset = StartupDefaults("PRESET");
    preset.channels[1].bands[3].freq = 444;
    preset.channels[0].lopass.type = 3;
    preset.linkUp = 1;
    // An empty name keeps the preset's.
    SimProcessor sim(At(44, [&](auto& o) {
        o.name = "";
        o.state = Image(preset);
    }));
    EXPECT_EQ(sim.Settings().channels[1].bands[3].freq, 444);
    EXPECT_EQ(sim.Settings().channels[0].lopass.type, 3);
    EXPECT_EQ(DeviceNameText(sim.Settings()), "PRESET");
    EXPECT_EQ(sim.Settings().linkUp, 0);
}

TEST(SimRobustness, GarbageDatagramsNeverChangeTheSettings) {
    SimProcessor sim(At(37));
    START(sim);
    Client panel(TestAddress(38), kDevicePort);
    const ParameterImage before = Image(sim.Settings());
    DeviceParameters loud = sim.Settings();
    loud.mainLevel = 100;
    QByteArray truncated = test::ToBytes(*BuildEqBand(loud, 0, 1)).left(20);
    QByteArray padded = test::ToBytes(BuildLevel(loud, 0)) + QByteArray(1, '\0');
    std::vector<QByteArray> garbage = {
        QByteArray(),
        QByteArray(1, '\xAA'),
        QByteArray::fromHex("AA55"),
        QByteArray::fromHex("AA5501"),
        truncated,
        padded,
        QByteArray::fromHex("AA5503040030"),    // no trailer
        QByteArray::fromHex("AA5501090000A5"),  // unused code
        QByteArray(60000, '\xAA'),
    };
    // One at a time: a burst of large datagrams could overflow the socket's buffer.
    for (const auto& bytes : garbage) {
        const std::size_t logged = sim.Log().size();
        panel.Send(bytes, TestAddress(37));
        ASSERT_TRUE(WaitFor([&] { return sim.Log().size() == logged + 1; }));
    }
    for (const auto& entry : sim.Log()) {
        EXPECT_FALSE(entry.applied) << Hex(entry.bytes);
        EXPECT_FALSE(FormatLogLine(entry, sim.Endpoint()).isEmpty());
    }
    EXPECT_EQ(Image(sim.Settings()), before);
    // Still answering afterwards.
    panel.Discover(TestAddress(37));
    EXPECT_TRUE(panel.Receive());
}

}  // namespace
}  // namespace quorvell::sim
