// SPDX-License-Identifier: GPL-3.0-or-later
// The response curve against the coefficients actually carried by the frames.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "Frames.h"
#include "ResponseCurve.h"

namespace quorvell {
namespace {

// Evaluates one frame's five words straight from its bytes.
std::complex<double> FrameResponse(const Frame& f, std::size_t firstWord, bool mask28, double hz) {
    double c[5];
    for (int i = 0; i < 5; ++i) {
        const std::size_t at = firstWord + 4 * static_cast<std::size_t>(i);
        std::uint32_t w = (std::uint32_t{f[at]} << 24) | (std::uint32_t{f[at + 1]} << 16) |
                          (std::uint32_t{f[at + 2]} << 8) | f[at + 3];
        std::int64_t v = mask28 ? ((w & 0x08000000) ? std::int64_t(w) - 0x10000000 : w)
                                : std::int64_t(std::int32_t(w));
        c[i] = double(v) / 8388608.0;
    }
    const double w = 2 * M_PI * hz / 48000.0;
    const auto z1 = std::polar(1.0, -w), z2 = z1 * z1;
    return (c[0] + c[1] * z1 + c[2] * z2) / (1.0 - c[3] * z1 - c[4] * z2);
}

TEST(ResponseCurve, MatchesTheSentFramesAtChosenFrequencies) {
    DeviceParameters p{};
    ResetDeviceParameters(p);
    p.channels[1].bands[2] = {250, 60, 7, {}, 1};
    p.channels[1].bands[5] = {4000, 300, 35, {}, 1};
    p.channels[1].hipass = {80, 4, 6};
    p.channels[1].lopass = {15000, 2, 0};
    const auto chain = ChannelChain(p, 1);
    ASSERT_EQ(chain.size(), 9u);
    for (double hz : {20.0, 80.0, 250.0, 1000.0, 4000.0, 15000.0, 21000.0}) {
        std::complex<double> h = 1.0;
        for (int b = 1; b <= 7; ++b) {
            h *= FrameResponse(*BuildEqBand(p, 1, b), 12, true, hz);
        }
        h *= FrameResponse(*BuildHipass(p, 1), 7, false, hz);
        h *= FrameResponse(*BuildLopass(p, 1), 7, true, hz);
        EXPECT_NEAR(ChainMagnitudeDb(chain, hz), 20 * std::log10(std::abs(h)), 1e-9) << hz;
    }
}

TEST(ResponseCurve, UnsendableRecordsContributeNothing) {
    DeviceParameters p{};
    ResetDeviceParameters(p);
    p.channels[0].hipass.type = 9;
    p.channels[0].bands[1].freq = 0;
    EXPECT_EQ(ChannelChain(p, 0).size(), 7u);
}

}  // namespace
}  // namespace quorvell
