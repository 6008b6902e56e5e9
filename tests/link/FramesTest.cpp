// SPDX-License-Identifier: GPL-3.0-or-later
// Wire bytes of every command and status frame, and what the decoder reads from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "BiquadDesign.h"
#include "FrameDecoder.h"
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

std::vector<std::uint8_t> FrameBytes(const Frame& f) {
    return {f.Bytes().begin(), f.Bytes().end()};
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

// Coefficients are sent only when finite and inside the 5.23 fixed-point range; a design
// that gives any other word gives no frame.
TEST(CommandFrames, UnsendableDesignsGiveNoFrame) {
    const Biquad ok{{-16.0, -2, 1}, {1, 1.9, -0.9}};  // -16 is the lowest word
    EXPECT_TRUE(IsSendable(ok));
    for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL, 16.0, -16.5}) {
        Biquad b = ok;
        b.b[1] = bad;
        EXPECT_FALSE(IsSendable(b)) << bad;
    }
    DeviceParameters p = Defaults();
    p.channels[1].hipass.type = 5;  // crossover types outside the table
    p.channels[1].lopass.type = 255;
    EXPECT_FALSE(BuildHipass(p, 1) || BuildLopass(p, 1));
    p.channels[0].bands[2].freq = 0;  // 0 Hz: the band's Q becomes 0 / 0
    EXPECT_FALSE(BuildEqBand(p, 0, 2));
    p.channels[0].limiter.threshold = 255;  // -46.3: outside the 5.23 range
    EXPECT_FALSE(BuildLimiter(p, 0, ComputeEulerE()));
    p.channels[0].limiter.threshold = 0;
    p.channels[0].limiter.ratio = 0;  // slope 1/0
    EXPECT_FALSE(BuildLimiter(p, 0, ComputeEulerE()));
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

// --- the command decoder -------------------------------------------------------------

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
    auto eq = FrameBytes(*BuildEqBand(base, 0, 3));
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
        {"gain out of range", FrameBytes(*BuildEqBand(loud, 0, 3)), true,
         "gain 400 outside 0..360"},
        {"crossover type", with(FrameBytes(*BuildHipass(oddType, 1)), 27, 9), true,
         "type 9 outside 0..4"},
        {"no header", with(eq, 1, 0x56), false, "no AA 55 header"},
        {"limiter word", with(FrameBytes(*BuildLimiter(base, 1, ComputeEulerE())), 45, 0x00), true,
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
