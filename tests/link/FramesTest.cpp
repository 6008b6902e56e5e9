// SPDX-License-Identifier: GPL-3.0-or-later
// Wire bytes of every command and status frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "BiquadDesign.h"
#include "Frames.h"
#include "ParameterPaths.h"

namespace quorvell {
namespace {

DeviceParameters Defaults() {
    DeviceParameters p{};
    ResetDeviceParameters(p);
    return p;
}

// A zeroed status frame with its header, for pinning single offsets.
std::vector<std::uint8_t> StatusBytes(std::size_t size, std::uint8_t code) {
    std::vector<std::uint8_t> bytes(size, 0);
    bytes[0] = 0xAA;
    bytes[1] = 0x55;
    bytes[3] = code;
    return bytes;
}

std::string Hex(const std::optional<Frame>& f) {
    return f ? ToHex(f->Bytes()) : "<none>";
}
std::string Hex(const Frame& f) {
    return ToHex(f.Bytes());
}

TEST(CommandFrames, FixedFramesMatchTheirWireBytes) {
    DeviceParameters p = Defaults();
    p.mainLevel = 48;
    p.channels[1].phase = 1;
    p.deviceName = {'A', 'B', 'C'};
    struct Case {
        std::string name;
        std::string got;
        std::string want;
    } cases[] = {
        {"level main", Hex(BuildLevel(p, 0)), "AA 55 03 04 00 30 A5"},
        {"level ch2", Hex(BuildLevel(p, 2)), "AA 55 03 04 02 00 A5"},
        {"reset", Hex(BuildReset()), "AA 55 01 08 A5"},
        {"phase ch2", Hex(BuildPhase(p, 1)), "AA 55 03 0A 01 01 A5"},
        {"name", Hex(BuildSetName(p)), "AA 55 0B 06 41 42 43 00 00 00 00 00 00 00 A5"},
        {"connect", Hex(BuildConnect(kDevicePort, *ParseIpv4("192.168.0.10"))),
         "AA 55 07 07 98 94 C0 A8 00 0A A5"},
        {"discover", Hex(BuildDiscover(kDevicePort, *ParseIpv4("10.1.2.3"))),
         "AA 55 07 80 98 94 0A 01 02 03 A5"},
        {"name set", Hex(BuildNameSet()), "AA 55 01 06 A5"},
        {"device found", Hex(BuildDeviceFound("QV")),
         "AA 55 0C 80 00 51 56 00 00 00 00 00 00 00 00 A5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got, c.want) << c.name;
    }
}

TEST(CommandFrames, UnsendableDesignsGiveNoFrame) {
    DeviceParameters p = Defaults();
    p.channels[1].hipass.type = 5;  // crossover types outside the table
    p.channels[1].lopass.type = 255;
    EXPECT_FALSE(BuildHipass(p, 1));
    EXPECT_FALSE(BuildLopass(p, 1));
    p.channels[0].bands[2].freq = 0;  // 0 Hz: the band's Q becomes 0 / 0
    EXPECT_FALSE(BuildEqBand(p, 0, 2));
    p.channels[0].limiter.threshold = 255;  // -46.3: outside the 5.23 range
    EXPECT_FALSE(BuildLimiter(p, 0, ComputeEulerE()));
    p.channels[0].limiter.threshold = 0;
    p.channels[0].limiter.ratio = 0;  // slope 1/0
    EXPECT_FALSE(BuildLimiter(p, 0, ComputeEulerE()));
}

// Coefficients are sent only when finite and inside the 5.23 fixed-point range.
TEST(Fixed523, SendableOnlyWhenFiniteAndInRange) {
    const Biquad ok{{-16.0, -2, 1}, {1, 1.9, -0.9}};  // -16 is the lowest word
    EXPECT_TRUE(IsSendable(ok));
    for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL, 16.0, -16.5}) {
        Biquad b = ok;
        b.b[1] = bad;
        EXPECT_FALSE(IsSendable(b)) << bad;
    }
}

TEST(CommandFrames, ZeroQIsDesignedAsOne) {
    DeviceParameters p = Defaults();
    p.channels[0].hipass = {1000, 4, 0};
    p.channels[0].bands[4].q = 0;
    auto zeroHp = BuildHipass(p, 0);
    auto zeroBand = BuildEqBand(p, 0, 4);
    p.channels[0].hipass.q = 1;
    p.channels[0].bands[4].q = 1;
    auto oneHp = BuildHipass(p, 0);
    auto oneBand = BuildEqBand(p, 0, 4);
    ASSERT_TRUE(zeroHp && oneHp && zeroBand && oneBand);
    // Same coefficients; the raw q byte still says what the model holds.
    EXPECT_EQ(ToHex(zeroHp->Bytes().subspan(7, 20)), ToHex(oneHp->Bytes().subspan(7, 20)));
    EXPECT_EQ((*zeroHp)[29], 0);
    EXPECT_EQ(ToHex(zeroBand->Bytes().subspan(12, 20)), ToHex(oneBand->Bytes().subspan(12, 20)));
}

// Frames for random in-range states, computed independently by make_golden_frames.py.
enum class Kind { EqBand, Hipass, Lopass, Limiter };
struct Golden {
    Kind kind;
    std::array<int, 6> args;
    std::vector<std::uint8_t> bytes;
};
const Golden kGolden[] = {
#include "GoldenFrames.inc"
};

TEST(CommandFrames, MatchIndependentComputationByteForByte) {
    const double e = ComputeEulerE();
    for (const Golden& g : kGolden) {
        DeviceParameters p = Defaults();
        const auto& a = g.args;
        std::optional<Frame> f;
        switch (g.kind) {
            case Kind::EqBand:
                p.channels[a[0]].bands[a[1]] = {a[2], a[3], a[4], {}, 1};
                f = BuildEqBand(p, a[0], a[1]);
                break;
            case Kind::Hipass:
                p.channels[a[0]].hipass = {a[1], a[2], a[3]};
                f = BuildHipass(p, a[0]);
                break;
            case Kind::Lopass:
                p.channels[a[0]].lopass = {a[1], a[2], a[3]};
                f = BuildLopass(p, a[0]);
                break;
            case Kind::Limiter:
                p.channels[a[0]].limiter.ratio = a[1];
                p.channels[a[0]].limiter.threshold = a[2];
                p.channels[a[0]].limiter.attack = a[3];
                p.channels[a[0]].limiter.release = a[4];
                f = BuildLimiter(p, a[0], e);
                break;
        }
        EXPECT_EQ(Hex(f), ToHex(g.bytes)) << "kind " << static_cast<int>(g.kind) << " args " << a[0]
                                          << ' ' << a[1] << ' ' << a[2] << ' ' << a[3];
    }
}

// --- status frames --------------------------------------------------------------------

// Every field a status frame carries, at a random value in its range.
DeviceParameters RandomState(std::mt19937& rng) {
    DeviceParameters p = Defaults();
    for (const ParameterPath& path : AllParameterPaths()) {
        if (std::int32_t* field = path.Field(p)) {
            *field = std::uniform_int_distribution<std::int32_t>(path.minRaw, path.maxRaw)(rng);
        }
    }
    for (std::size_t i = 0; i < kDeviceNameMax; ++i) {
        p.deviceName[i] = static_cast<std::uint8_t>('A' + rng() % 26);
    }
    return p;
}

TEST(StatusFrames, FullAndResetStateRoundTripEveryField) {
    std::mt19937 rng(7);
    for (int i = 0; i < 50; ++i) {
        const DeviceParameters sent = RandomState(rng);
        const Frame full = BuildFullState(sent);
        ASSERT_EQ(full.Size(), kFullStateFrameSize);
        EXPECT_EQ(full[2], 130);
        DeviceParameters got = Defaults();
        ASSERT_TRUE(ApplyFullState(got, full.Bytes()));
        EXPECT_EQ(WriteParameterImage(got), WriteParameterImage(sent));

        const Frame reset = BuildResetState(sent);
        ASSERT_EQ(reset.Size(), kResetStateFrameSize);
        EXPECT_EQ(reset[2], 120);
        DeviceParameters afterReset = Defaults();
        afterReset.deviceName = {'k', 'e', 'e', 'p'};
        ASSERT_TRUE(ApplyResetState(afterReset, reset.Bytes()));
        DeviceParameters want = sent;
        want.deviceName = afterReset.deviceName;  // frame 8 carries no name
        EXPECT_EQ(WriteParameterImage(afterReset), WriteParameterImage(want));
    }
}

// The reset state reads the crossover types right after the limiters; the full state's name
// fills ten bytes and clears the rest.
TEST(StatusFrames, ResetStateTypesAndFullStateNameLieAtTheirOffsets) {
    std::vector<std::uint8_t> reset = StatusBytes(124, 8);
    reset[109] = 3;  // CH1 hipass.type
    reset[122] = 1;  // CH2 phase
    DeviceParameters p = Defaults();
    ASSERT_TRUE(ApplyResetState(p, reset));
    EXPECT_EQ(p.channels[0].hipass.type, 3);
    EXPECT_EQ(p.channels[1].phase, 1);

    p.deviceName.fill('x');
    std::vector<std::uint8_t> full = StatusBytes(kFullStateFrameSize, 7);
    for (int i = 0; i < 10; ++i) {
        full[109 + i] = static_cast<std::uint8_t>('A' + i);
    }
    ASSERT_TRUE(ApplyFullState(p, full));
    EXPECT_EQ(DeviceNameText(p), "ABCDEFGHIJ");
    for (std::size_t i = 10; i < kDeviceNameSize; ++i) {
        EXPECT_EQ(p.deviceName[i], 0);
    }
}

TEST(StatusFrames, ShortFrameReadsAsZeroPaddedAndWrongHeadersChangeNothing) {
    DeviceParameters p = Defaults();
    const std::vector<std::uint8_t> shortFrame = {0xAA, 0x55, 0x82, 0x07, 0x01};
    ASSERT_TRUE(ApplyFullState(p, shortFrame));
    EXPECT_EQ(p.channels[0].bands[1].freq, 0x0100);  // high byte given, low byte padded
    EXPECT_EQ(p.channels[1].limiter.ratio, 0);
    EXPECT_EQ(p.channels[0].bands[1].flag, 1);  // not carried by the frame

    const DeviceParameters before = Defaults();
    const std::vector<std::vector<std::uint8_t>> rejected = {
        {}, {0xAA}, {0xAA, 0x56, 0x82, 0x07}, {0xAA, 0x55, 0x82, 0x09}, {0x55, 0xAA, 0x82, 0x07},
    };
    for (const auto& bytes : rejected) {
        DeviceParameters q = before;
        EXPECT_FALSE(ApplyFullState(q, bytes));
        EXPECT_FALSE(ApplyResetState(q, bytes));
        EXPECT_FALSE(StatusOf(bytes));
        EXPECT_EQ(WriteParameterImage(q), WriteParameterImage(before));
    }
    EXPECT_EQ(StatusOf(std::vector<std::uint8_t>{0xAA, 0x55, 0x01, 0x06, 0xA5}),
              StatusCode::NameSet);
}

TEST(DiscoveryAnswer, NameSkipsZeroBytesAndNeedsCodeAndZero) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::optional<std::string> name;
    } cases[] = {
        {{0xAA, 0x55, 0x33, 0x80, 0x00, 'A', 'B', 0, 'C', 0, 0, 0, 0, 0, 0, 0xA5}, "ABC"},
        {{0xAA, 0x55, 0x00, 0x80, 0x00, 'Q', 'V'}, "QV"},  // short: padded with zeros
        {{0xAA, 0x55, 0x0C, 0x80, 0x00}, ""},
        {{0xAA, 0x55, 0x0C, 0x80, 0x01, 'A'}, std::nullopt},
        {{0xAA, 0x55, 0x0C, 0x81, 0x00, 'A'}, std::nullopt},
        {{0xAA, 0x55}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseDeviceFound(c.bytes), c.name) << ToHex(c.bytes);
    }
    std::vector<std::uint8_t> longAnswer = StatusBytes(2048, 0x80);
    std::fill(longAnswer.begin() + 5, longAnswer.end(), 'Z');
    EXPECT_EQ(ParseDeviceFound(longAnswer), "ZZZZZZZZZZ");
}

TEST(Addresses, ParseAndFormatDottedQuads) {
    EXPECT_EQ(ParseIpv4("127.0.0.2"), 0x7F000002u);
    EXPECT_EQ(FormatIpv4(0xC0A8006Au), "192.168.0.106");
    for (const char* bad :
         {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "a.b.c.d", "1.2.3.4 ", "-1.2.3.4"}) {
        EXPECT_FALSE(ParseIpv4(bad)) << bad;
    }
}

}  // namespace
}  // namespace quorvell
