// The auto EQ fit against measurements made by inverting a known EQ on the raw grid.
#include <gtest/gtest.h>

#include <cmath>

#include "AutoEqFit.h"
#include "FrameDecoder.h"
#include "Frames.h"
#include "ResponseCurve.h"

namespace quorvell {
namespace {

struct Band {
    int freq;
    double gainDb, q;
};

DeviceParameters Defaults() {
    DeviceParameters p{};
    ResetDeviceParameters(p);
    return p;
}

// What a speaker and room would measure if `bands` (raw grid) corrected it exactly, plus a
// ripple of `rippleDb`, on 500 log-spaced points from 20 Hz to 20 kHz.
Measurement Inverted(const std::vector<Band>& bands, double rippleDb) {
    DeviceParameters p = Defaults();
    p.channels[0].hipass.type = p.channels[0].lopass.type = -1;  // the bands alone
    for (std::size_t i = 0; i < bands.size(); ++i) {
        EqBand& b = p.channels[0].bands[i + 1];
        b.freq = bands[i].freq;
        b.gain = static_cast<std::int32_t>(std::lround(180 + bands[i].gainDb * 10));
        b.q = static_cast<std::int32_t>(std::lround(bands[i].q * 10));
    }
    const auto chain = ChannelChain(p, 0);
    Measurement m;
    m.hz = LogFrequencies(500, 20.0, 20000.0);
    for (double f : m.hz) {
        m.db.push_back(80.0 - ChainMagnitudeDb(chain, f) + rippleDb * std::sin(17.0 * std::log(f)));
    }
    return m;
}

const std::vector<Band> kSevenBands = {{45, -8.0, 4.0},   {70, 4.5, 2.0},    {125, -6.0, 5.0},
                                       {260, 3.0, 1.5},   {1100, -4.0, 1.0}, {4200, 2.5, 2.0},
                                       {10500, -3.0, 0.8}};

TEST(AutoEqFit, RecoversAnInvertedEqWithinLimitsOnTheGrid) {
    struct Case {
        std::vector<Band> truth;
        AutoEqOptions options;
        double maxRmsAfter;
        int maxActive;
    } cases[] = {
        {kSevenBands, {}, 0.5, 7},
        {{{45, -10.0, 6.0}, {90, 5.0, 3.0}, {180, -7.0, 4.0}}, {.highHz = 300}, 0.5, 7},
        // Deep nulls with a small boost allowance: the error stays, the limit holds.
        {{{60, 12.0, 3.0}, {150, -9.0, 4.0}},
         {.maxBoostDb = 3.0, .maxCutDb = -6.0, .minQ = 1.0, .maxQ = 5.0},
         99.0,
         7},
        {{}, {}, 0.5, 0},  // nothing to correct beyond the ripple: every band stays flat
    };
    for (const Case& c : cases) {
        const AutoEqResult r =
            FitAutoEq(Inverted(c.truth, 0.15), TargetSpec{}, Defaults().channels[0], c.options);
        ASSERT_TRUE(r.bands) << r.error;
        EXPECT_LT(r.rmsAfterDb, c.maxRmsAfter);
        EXPECT_LE(r.rmsAfterDb, r.rmsBeforeDb);
        EXPECT_LE(r.activeBands, c.maxActive);
        DeviceParameters p{};  // the bands alone, without crossovers
        p.channels[0].hipass.type = p.channels[0].lopass.type = -1;
        for (int b = 0; b < kBandCount; ++b) {
            const EqBand& e = p.channels[0].bands[b + 1] = (*r.bands)[b];
            if (b >= r.activeBands) {
                EXPECT_EQ(e.gain, 180) << b;
                continue;
            }
            EXPECT_GE(e.freq, c.options.lowHz) << b;
            EXPECT_LE(e.freq, c.options.highHz) << b;
            EXPECT_LE(e.gain, 180 + std::lround(c.options.maxBoostDb * 10)) << b;
            EXPECT_GE(e.gain, 180 + std::lround(c.options.maxCutDb * 10)) << b;
            EXPECT_GE(e.q, std::lround(c.options.minQ * 10)) << b;
            EXPECT_LE(e.q, std::lround(c.options.maxQ * 10)) << b;
        }
        // Stacked bands do not boost beyond the limit either.
        const auto bandsOnly = ChannelChain(p, 0);
        for (double f : r.hz) {
            EXPECT_LE(ChainMagnitudeDb(bandsOnly, f), c.options.maxBoostDb + 0.05) << f;
        }
    }
}

TEST(AutoEqFit, PredictedErrorIsTheErrorOfTheSentFrames) {
    DeviceParameters params = Defaults();
    params.channels[1].hipass = {40, static_cast<std::int32_t>(FilterType::Linkwitz2), 0};
    const AutoEqResult r = FitAutoEq(Inverted(kSevenBands, 0.3), TargetSpec{std::nullopt, -0.5},
                                     params.channels[1], {});
    ASSERT_TRUE(r.bands) << r.error;
    const PacedSequence frames = ApplyEqImport(params, 1, AutoEqImport(r));
    ASSERT_EQ(frames.size(), 7u);

    std::vector<Biquad> chain;
    for (const PacedFrame& f : frames) {
        const DecodedCommand d = DecodeCommand(f.frame.Bytes());
        ASSERT_TRUE(d.valid) << d.reason;
        const auto word = [&](const char* name) {
            return FromFixed523(static_cast<std::uint32_t>(*d.Field(name)), true);
        };
        chain.push_back({{word("b0"), word("b1"), word("b2")}, {1.0, word("a1"), word("a2")}});
    }
    const std::vector<Biquad> bandsChain = chain;
    const auto& ch = params.channels[1];
    chain.push_back(
        QuantizedSection(*CrossoverDesign(true, ch.hipass.freq, ch.hipass.type, 0), false));
    chain.push_back(
        QuantizedSection(*CrossoverDesign(false, ch.lopass.freq, ch.lopass.type, 0), true));
    EXPECT_NEAR(ChainErrorRms(r.hz, r.measured, r.target, r.weight, bandsChain), r.rmsAfterDb,
                1e-9);
    for (std::size_t i = 0; i < r.hz.size(); i += 37) {
        EXPECT_NEAR(r.predicted[i], r.measured[i] + ChainMagnitudeDb(chain, r.hz[i]), 1e-9);
    }
}

TEST(AutoEqFit, UnusableOptionsAndRangesAreRefused) {
    struct Case {
        AutoEqOptions options;
        std::string error;
    } cases[] = {
        {{.lowHz = 300, .highHz = 20}, "fit range"},
        {{.maxBoostDb = 19}, "boost"},
        {{.maxCutDb = 1}, "cut"},
        {{.minQ = 0.05}, "Q range"},
        {{.smoothing = 5}, "smoothing"},
    };
    const Measurement m = Inverted({}, 0.0);
    for (const Case& c : cases) {
        const AutoEqResult r = FitAutoEq(m, {}, Defaults().channels[0], c.options);
        EXPECT_FALSE(r.bands);
        EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
    }
    Measurement narrow{{1000, 1100}, {0, 0}};
    EXPECT_NE(FitAutoEq(narrow, {}, Defaults().channels[0], {}).error.find("1/3 octave"),
              std::string::npos);
}

}  // namespace
}  // namespace quorvell
