// SPDX-License-Identifier: GPL-3.0-or-later
// The command-frame decoder: what it accepts, what it flags, and what it applies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FrameDecoder.h"
#include "Frames.h"

namespace quorvell {
namespace {

DeviceParameters Defaults() {
    DeviceParameters p{};
    ResetDeviceParameters(p);
    return p;
}

std::vector<std::uint8_t> Bytes(const Frame& f) {
    return {f.Bytes().begin(), f.Bytes().end()};
}

TEST(FrameDecoder, FieldsAndDescriptionsReadTheWireValuesAndCrossoverQZeroIsValid) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::string text;
    } cases[] = {
        {{0xAA, 0x55, 0x03, 0x04, 0x00, 0x30, 0xA5}, "CmdLevel target=0 level=48"},
        {{0xAA, 0x55, 0x03, 0x0A, 0x01, 0x01, 0xA5}, "CmdPhase channel=1 phase=1"},
        {{0xAA, 0x55, 0x01, 0x08, 0xA5}, "CmdReset"},
        {{0xAA, 0x55, 0x07, 0x07, 0x98, 0x94, 0xC0, 0xA8, 0x00, 0x0A, 0xA5},
         "CmdConnect port=39060 address=192.168.0.10"},
        {{0xAA, 0x55, 0x0B, 0x06, 'A', 'B', 'C', 0, 0, 0, 0, 0, 0, 0, 0xA5},
         "CmdSetName name=\"ABC\""},
        {{0xAA, 0x55, 0x0B, 0x06, 'A', 0x01, '\\', 0, 0, 0, 0, 0, 0, 0, 0xA5},
         "CmdSetName name=\"A\\x01\\x5C\""},
        {{0xAA, 0x55, 0x03, 0x04, 0x03, 0x30, 0xA5},
         "CmdLevel target=3 level=48 [invalid: target 3 outside 0..2]"},
        {{0xAA, 0x55}, "datagram [invalid: 2 bytes: too short for a command]"},
        {{0xAA, 0x55, 0x01, 0x09, 0xA5}, "code 0x09 [invalid: unknown command code 0x09]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DescribeCommand(DecodeCommand(c.bytes)), c.text);
    }
    const auto eq = DecodeCommand(BuildEqBand(Defaults(), 0, 1)->Bytes());
    EXPECT_TRUE(
        DescribeCommand(eq).starts_with("CmdEqBand channel=0 band=1 freq=50 q=20 "
                                        "gain=180 b0="));
    // A crossover Q of zero is valid: the model starts with it.
    const auto hipass = DecodeCommand(BuildHipass(Defaults(), 0)->Bytes());
    EXPECT_EQ(hipass.Field("q"), 0);
    EXPECT_TRUE(hipass.valid) << hipass.reason;
}

// Each case damages a valid frame. Structure faults are never applied; a frame that only
// carries a wrong coefficient or an out-of-range value is applied and reported invalid.
TEST(FrameDecoder, DamagedFramesAreReportedAndOnlyStructureFaultsRefused) {
    const DeviceParameters base = Defaults();
    struct Case {
        std::string name;
        std::vector<std::uint8_t> bytes;
        bool wellFormed;
        std::string reason;
    };
    auto eq = Bytes(*BuildEqBand(base, 0, 3));
    auto with = [](std::vector<std::uint8_t> b, std::size_t at, std::uint8_t v) {
        b[at] = v;
        return b;
    };
    DeviceParameters loud = base;
    loud.channels[0].bands[3].gain = 400;
    DeviceParameters oddType = base;
    oddType.channels[1].hipass.type = 4;
    oddType.channels[1].hipass.q = 0;
    auto eqLonger = eq;
    eqLonger.insert(eqLonger.end() - 1, 0x00);
    eqLonger[2] = 30;
    const std::vector<Case> cases = {
        {"coefficient byte", with(eq, 17, eq[17] ^ 0x01), true, "b1: expected "},
        {"length byte", with(eq, 2, 0x1C), false, "length byte 0x1C, expected 0x1D"},
        {"trailer", with(eq, 32, 0x00), false, "trailer 0x00, expected 0xA5"},
        {"one byte more", eqLonger, false, "34 bytes, expected 33"},
        {"channel 2", with(eq, 4, 2), false, "channel 2 outside 0..1"},
        {"band 0", with(eq, 5, 0), false, "band 0 outside 1..7"},
        {"gain out of range", Bytes(*BuildEqBand(loud, 0, 3)), true, "gain 400 outside 0..360"},
        {"crossover type", with(Bytes(*BuildHipass(oddType, 1)), 27, 9), true,
         "type 9 outside 0..4"},
        {"no header", with(eq, 1, 0x56), false, "no AA 55 header"},
        {"limiter word", with(Bytes(*BuildLimiter(base, 1, ComputeEulerE())), 45, 0x00), true,
         "g: expected "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedCommand d = DecodeCommand(c.bytes);
        EXPECT_FALSE(d.valid);
        EXPECT_EQ(d.wellFormed, c.wellFormed);
        EXPECT_NE(d.reason.find(c.reason), std::string::npos) << d.reason;
        DeviceParameters params = base;
        EXPECT_EQ(ApplyCommand(params, d), c.wellFormed);
        if (!c.wellFormed) {
            EXPECT_EQ(WriteParameterImage(params), WriteParameterImage(base));
        }
    }
}

TEST(FrameDecoder, TruncatedFramesReadOnlyTheirOwnBytes) {
    DeviceParameters named = Defaults();
    named.deviceName = {'S', 'T', 'A', 'G', 'E', ' ', 'L', 'E', 'F', 'T'};
    for (const Frame& frame : {*BuildEqBand(named, 1, 7), *BuildLimiter(named, 0, ComputeEulerE()),
                               BuildSetName(named), BuildConnect(1, 2)}) {
        for (std::size_t n = 0; n < frame.Size(); ++n) {
            // A heap copy of exactly n bytes, so that a read past the end is caught by ASan.
            const std::vector<std::uint8_t> prefix(frame.Bytes().begin(),
                                                   frame.Bytes().begin() + n);
            const DecodedCommand d = DecodeCommand(prefix);
            EXPECT_FALSE(d.wellFormed) << n;
            DeviceParameters params = Defaults();
            EXPECT_FALSE(ApplyCommand(params, d));
        }
    }
}

}  // namespace
}  // namespace quorvell
