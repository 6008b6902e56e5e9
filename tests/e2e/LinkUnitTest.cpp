// The link's pure helpers: elapsed whole seconds of the supervision and the trace line.
#include <gtest/gtest.h>

#include "DeviceLink.h"
#include "LinkTrace.h"

namespace quorvell {
namespace {

SystemTime At(int h, int m, int s, int ms = 0) {
    SystemTime t;
    t.hour = static_cast<std::uint16_t>(h);
    t.minute = static_cast<std::uint16_t>(m);
    t.second = static_cast<std::uint16_t>(s);
    t.milliseconds = static_cast<std::uint16_t>(ms);
    return t;
}

TEST(Supervision, ElapsedWholeSecondsIgnoresMillisecondsAndCrossesMidnight) {
    struct Case {
        SystemTime from, to;
        int seconds;
    };
    const Case cases[] = {
        {At(12, 0, 0), At(12, 0, 5), 5},     {At(12, 0, 0, 999), At(12, 0, 4, 0), 4},
        {At(12, 59, 58), At(13, 0, 3), 5},   {At(23, 59, 58), At(0, 0, 3), 5},
        {At(23, 59, 58), At(23, 59, 58), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ElapsedWholeSeconds(c.from, c.to), c.seconds);
    }
}

TEST(Trace, LineHasTimeDirectionPeerHexAndMeaning) {
    const Frame reset = BuildReset();
    EXPECT_EQ(FormatTraceLine(QTime(9, 5, 1, 20), '>', "127.0.0.2", 39060, reset.Bytes()),
              "09:05:01.020 > 127.0.0.2:39060 AA 55 01 08 A5 | CmdReset");
    const Frame found = BuildDeviceFound("AMP");
    EXPECT_NE(FormatTraceLine(QTime(9, 5, 1), '<', "127.0.0.3", 39060, found.Bytes())
                  .find("StatusDeviceFound name=\"AMP\""),
              std::string::npos);
    const std::uint8_t junk[] = {0x01, 0x02};
    EXPECT_EQ(DescribeDatagram('<', junk), "ignored: not a frame");
}

}  // namespace
}  // namespace quorvell
