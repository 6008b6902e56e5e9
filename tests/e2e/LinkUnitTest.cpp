// The link's trace line: time, direction, peer, bytes and what they mean.
#include <gtest/gtest.h>

#include "DeviceLink.h"
#include "LinkTrace.h"

namespace quorvell {
namespace {

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
