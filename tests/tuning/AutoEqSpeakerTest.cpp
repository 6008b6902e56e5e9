// SPDX-License-Identifier: GPL-3.0-or-later
// The auto EQ fit on physically modelled speakers and rooms behind the channel's crossovers:
// what an installer checks after a fit.
#include <gtest/gtest.h>

#include <cmath>

#include "SpeakerModels.h"

namespace quorvell {
namespace {

// The fitted bands alone, as the processor runs them (the crossovers left out).
std::vector<Biquad> BandsOnly(const AutoEqResult& r) {
    DeviceParameters p{};
    p.channels[0].hipass.type = p.channels[0].lopass.type = -1;
    for (int b = 0; b < kBandCount; ++b) {
        p.channels[0].bands[b + 1] = (*r.bands)[static_cast<std::size_t>(b)];
    }
    return ChannelChain(p, 0);
}

TEST(AutoEqSpeakers, StopBandsAndNullsAreLeftAloneAndTheErrorNearsTheBestKnown) {
    for (const speaker::Case& c : speaker::Corpus()) {
        SCOPED_TRACE(c.name);
        const AutoEqResult r = FitAutoEq(c.measurement, TargetSpec{std::nullopt, c.tiltDbPerOctave},
                                         c.channel, c.options);
        ASSERT_TRUE(r.bands) << r.error;
        const AutoEqOptions& o = c.options;
        for (int b = 0; b < kBandCount; ++b) {  // each band inside the limits, unused ones flat
            const EqBand& e = (*r.bands)[static_cast<std::size_t>(b)];
            if (b >= r.activeBands) {
                EXPECT_EQ(e.gain, 180) << "band " << b;
                continue;
            }
            EXPECT_GE(e.freq, o.lowHz) << "band " << b;
            EXPECT_LE(e.freq, o.highHz) << "band " << b;
            EXPECT_LE(e.gain, 180 + std::lround(o.maxBoostDb * 10)) << "band " << b;
            EXPECT_GE(e.gain, 180 + std::lround(o.maxCutDb * 10)) << "band " << b;
            EXPECT_GE(e.q, std::lround(o.minQ * 10)) << "band " << b;
            EXPECT_LE(e.q, std::lround(o.maxQ * 10)) << "band " << b;
        }
        const std::vector<Biquad> bands = BandsOnly(r);
        for (std::size_t i = 0; i < r.hz.size(); ++i) {
            const double eq = ChainMagnitudeDb(bands, r.hz[i]);
            EXPECT_LE(eq, o.maxBoostDb + 0.05) << "stacked boost at " << r.hz[i] << " Hz";
            if (!r.passBand[i]) {
                EXPECT_LE(eq, 0.5 + 0.05) << "boost in a stop band at " << r.hz[i] << " Hz";
            }
            if (c.flatWithinDb > 0.0) {
                EXPECT_LE(std::abs(eq), c.flatWithinDb) << r.hz[i] << " Hz";
            }
        }
        for (double null : c.nullsHz) {
            EXPECT_LE(ChainMagnitudeDb(bands, null), 1.0 + 0.05) << "null at " << null << " Hz";
        }
        EXPECT_LE(r.rmsAfterDb, r.rmsBeforeDb);
        if (c.bestKnownDb > 0.0) {
            EXPECT_LE(r.rmsAfterDb, c.bestKnownDb * 1.10 + 0.05)
                << "best known " << c.bestKnownDb << " dB";
        }
    }
}

}  // namespace
}  // namespace quorvell
