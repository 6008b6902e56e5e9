// quorvell-cli import-eq against the simulator: the bands it sets and the frames it sends.
#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "LinkTestSupport.h"

namespace quorvell::test {
namespace {

// Five peaking filters set five bands and flatten the rest in seven frames; an unusable file
// is refused naming its line, and no band frame follows.
TEST(ImportEq, FiltersSetTheBandsAndAnUnusableFileSendsNothing) {
    constexpr quint16 kPort = 41560;
    auto sim = StartSim(2, kPort);
    sim->MutableSettings().channels[1].bands[7].gain = 300;  // not flat before the import
    QTemporaryDir dir;
    WriteFile(dir.filePath("filters.txt"),
              "Filter Settings file\r\n"
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
    EXPECT_EQ(CountCode(*sim, CommandCode::EqBand), 7);
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
