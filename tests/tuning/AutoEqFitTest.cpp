// SPDX-License-Identifier: GPL-3.0-or-later
// The auto EQ fit: the error it predicts is the error of the frames it sends, and options
// it cannot honour are refused.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

#include "AutoEqFit.h"
#include "FrameDecoder.h"
#include "Frames.h"
#include "ResponseCurve.h"
#include "SpeakerModels.h"

namespace quorvell {
namespace {

DeviceParameters Defaults() {
    DeviceParameters p{};
    ResetDeviceParameters(p);
    return p;
}

TEST(AutoEqFit, PredictedErrorIsTheErrorOfTheSentFrames) {
    DeviceParameters params = Defaults();
    params.channels[1].hipass = {40, static_cast<std::int32_t>(FilterType::Linkwitz2), 0};
    const AutoEqResult r = FitAutoEq(speaker::Corpus()[3].measurement,
                                     TargetSpec{std::nullopt, -0.5}, params.channels[1], {});
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
    const std::atomic<bool> stopped{true};  // a window closed while its fit ran
    struct Case {
        AutoEqOptions options;
        std::string error;
    } cases[] = {
        {{.lowHz = 300, .highHz = 20}, "fit range"},
        {{.maxBoostDb = 19}, "boost"},
        {{.maxCutDb = 1}, "cut"},
        {{.minQ = 0.05}, "Q range"},
        {{.smoothing = 5}, "smoothing"},
        {{.stop = &stopped}, "stopped"},
    };
    Measurement m;
    m.hz = LogFrequencies(500, 20.0, 20000.0);
    m.db.assign(m.hz.size(), 80.0);
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
