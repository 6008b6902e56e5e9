// SPDX-License-Identifier: GPL-3.0-or-later
// quorvell-cli auto-eq and import-eq end to end: the bands they set, the frames the simulator
// receives, and the refusals.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cmath>

#include "LinkTestSupport.h"
#include "ResponseCurve.h"

namespace quorvell::test {
namespace {

// A room: modes below 300 Hz (a known EQ inverted), ripple above.
QByteArray RoomMeasurement() {
    DeviceParameters p{};
    ResetDeviceParameters(p);
    const int modes[][3] = {{42, 270, 50}, {68, 240, 40}, {112, 110, 60}, {175, 230, 30}};
    for (int i = 0; i < 4; ++i) {
        p.channels[0].bands[i + 1] = {modes[i][0], modes[i][1], modes[i][2], {}, 1};
    }
    const auto chain = ChannelChain(p, 0);
    QByteArray text = "* Freq(Hz) SPL(dB) Phase(degrees)\r\n";
    for (double f : LogFrequencies(400, 20.0, 20000.0)) {
        const double ripple = f > 300 ? std::sin(9.0 * std::log(f)) : 0.0;
        text += QByteArray::number(f, 'f', 3) + ' ' +
                QByteArray::number(80.0 + ChainMagnitudeDb(chain, f) + ripple, 'f', 3) + " 0.0\r\n";
    }
    return text;
}

TEST(AutoEqCli, FitsARoomAndTheSimulatorReceivesTheBandsAsValidFrames) {
    constexpr quint16 kPort = 42700;
    const auto sim = StartSim(SimIp(2), kPort);
    sim->MutableSettings().channels[0].hipass = {25, 3, 7};
    const ChannelParameters otherBefore = sim->Settings().channels[1];

    QTemporaryDir dir;
    WriteFile(dir.filePath("room.txt"), RoomMeasurement());
    const CliRun r = RunCli(kPort, {"auto-eq", dir.filePath("room.txt"), "--channel", "1",
                                    "--range", "20:300", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(r.out.toUtf8()).object();
    const QJsonArray bands = json["bands"].toArray();
    ASSERT_EQ(bands.size(), 7) << r.out.toStdString();
    EXPECT_LT(json["rms_after_db"].toDouble(), 0.5 * json["rms_before_db"].toDouble());

    const auto& ch = sim->Settings().channels[0];
    for (int b = 0; b < 7; ++b) {
        const QJsonObject band = bands[b].toObject();
        EXPECT_EQ(ch.bands[b + 1].freq, band["freq"].toInt()) << b;
        EXPECT_EQ(ch.bands[b + 1].gain, std::lround(band["gain"].toDouble() * 10) + 180) << b;
        EXPECT_EQ(ch.bands[b + 1].q, std::lround(band["q"].toDouble() * 10)) << b;
    }
    EXPECT_EQ(CountCode(*sim, CommandCode::EqBand), 7);
    for (const auto& e : sim->Log()) {
        EXPECT_TRUE(e.decoded.valid) << e.decoded.reason;
    }
    EXPECT_EQ(ch.hipass.freq, 25);
    EXPECT_EQ(std::memcmp(&sim->Settings().channels[1], &otherBefore, sizeof otherBefore), 0);
}

TEST(AutoEqCli, OfflineRunsPrintBandsAndFramesOrRefuse) {
    QTemporaryDir dir;
    const QString room = dir.filePath("room.txt"), bad = dir.filePath("bad.txt");
    WriteFile(room, RoomMeasurement());
    WriteFile(bad, "20 80\n30 81\n25 79\n40 x\n");
    struct Case {
        QStringList args;
        int exitCode;
        QString out, err;
        int lines;
    } cases[] = {
        {{room, "--channel", "2", "--tilt", "-0.5"}, 0, "Band 7: ", "", 7 + 1 + 7},
        {{room, "--channel", "1", "--json", "--smooth", "12"}, 0, "{\"bands\":[{\"freq\":", "", 1},
        {{bad, "--channel", "1"}, 1, "", "line 4: malformed number 'x'", 0},
        {{room, "--channel", "1", "--tilt", "1", "--target", "x"}, 2, "", "not both", 0},
        {{room, "--channel", "1", "--max-boost", "20"}, 2, "", "boost", 0},
        {{room, "--channel", "1", "--tilt", "1e308"}, 2, "", "tilt", 0},
        {{room, "--channel", "1", "--tilt", "-6.5"}, 2, "", "tilt", 0},
        {{room, "--channel", "1", "--smooth", "1e308"}, 2, "", "smooth", 0},
    };
    for (const Case& c : cases) {
        const CliRun r = RunCli(std::nullopt, QStringList{"auto-eq"} + c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.out.contains(c.out)) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(c.err)) << r.err.toStdString();
        EXPECT_EQ(r.out.count('\n'), c.lines) << r.out.toStdString();
    }
}

// Five peaking filters set five bands and flatten the rest in seven frames, the preamp sets
// the channel level; an unusable file is refused naming its line, and no band frame follows.
TEST(ImportEq, FiltersSetTheBandsAndAnUnusableFileSendsNothing) {
    constexpr quint16 kPort = 41560;
    auto sim = StartSim(SimIp(2), kPort);
    sim->MutableSettings().channels[1].bands[7].gain = 300;  // not flat before the import
    QTemporaryDir dir;
    WriteFile(dir.filePath("filters.txt"),
              "Filter Settings file\r\n"
              "Preamp: -3.5 dB\r\n"
              "Filter 1: ON PK Fc 50 Hz Gain -6.0 dB Q 4.0\r\n"
              "Filter 2: ON PK Fc 120 Hz Gain 3.5 dB Q 1.0\r\n"
              "Filter 3: OFF None\r\n"
              "Filter 4: ON PK Fc 800 Hz Gain -2.0 dB Q 2.0\r\n"
              "Filter 5: ON PK Fc 2500 Hz Gain 1.5 dB Q 3.0\r\n"
              "Filter 6: ON PK Fc 9000 Hz Gain -1.0 dB Q 0.7\r\n");
    const CliRun r = RunCli(kPort, {"import-eq", dir.filePath("filters.txt"), "--channel", "2"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    const auto& ch = sim->Settings().channels[1];
    EXPECT_EQ(ch.bands[1].freq, 50);
    EXPECT_EQ(ch.bands[1].gain, 120);
    EXPECT_EQ(ch.bands[2].q, 10);
    EXPECT_EQ(ch.bands[5].freq, 9000);
    EXPECT_EQ(ch.bands[7].gain, 180);
    EXPECT_EQ(ch.level, 7);  // -3.5 dB in 0.5 dB steps
    EXPECT_EQ(CountCode(*sim, CommandCode::EqBand), 7);
    EXPECT_EQ(CountCode(*sim, CommandCode::Level), 1);
    for (const auto& e : sim->Log()) {
        EXPECT_TRUE(e.decoded.valid) << e.decoded.reason;
    }

    WriteFile(
        dir.filePath("bad.txt"),
        "Filter 1: ON PK Fc 50 Hz Gain -6.0 dB Q 4.0\nFilter 2: ON HS Fc 8000 Hz Gain 2 dB\n");
    const CliRun bad = RunCli(kPort, {"import-eq", dir.filePath("bad.txt"), "--channel", "1"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.out.isEmpty());
    EXPECT_TRUE(bad.err.contains("line 2: filter type HS")) << bad.err.toStdString();
    EXPECT_EQ(CountCode(*sim, CommandCode::EqBand), 7) << "nothing more was sent";
}

}  // namespace
}  // namespace quorvell::test
