// SPDX-License-Identifier: GPL-3.0-or-later
// The recall sequence: 25 frames in their fixed order, 20 ms after the first five, 50 after
// the rest, each byte-equal to the core builder's frame.
#include <gtest/gtest.h>

#include "AllParameterFrames.h"
#include "Frames.h"

namespace quorvell {
namespace {

DeviceParameters Recalled() {
    DeviceParameters p;
    ResetDeviceParameters(p);
    for (int ch = 0; ch < 2; ++ch) {
        p.channels[ch].level = 10 + ch;
        p.channels[ch].phase = ch;
        p.channels[ch].limiter.threshold = 20 + ch;
        p.channels[ch].hipass = {80, 3, 7};
        p.channels[ch].lopass = {12000, 4, 15};
        for (int b = 1; b <= kBandCount; ++b)
            p.channels[ch].bands[b].gain = 100 + 10 * b + ch;
    }
    p.mainLevel = 30;
    return p;
}

// An unsendable crossover (a damaged preset) is left out together with its pause.
TEST(AllParameterFramesTest, OrderGapsAndBytesMatchTheBuilders) {
    DeviceParameters badLopass = Recalled();
    badLopass.channels[1].lopass.type = 9;
    const double e = ComputeEulerE();
    for (const auto& [p, count] : {std::pair{Recalled(), 25u}, std::pair{badLopass, 24u}}) {
        SCOPED_TRACE(count);
        std::vector<std::pair<std::optional<Frame>, int>> expected = {
            {BuildLevel(p, 0), 20},      {BuildLevel(p, 1), 20},      {BuildLevel(p, 2), 20},
            {BuildLimiter(p, 0, e), 20}, {BuildLimiter(p, 1, e), 20},
        };
        for (int ch = 0; ch < 2; ++ch) {
            for (int b = 1; b <= kBandCount; ++b)
                expected.push_back({BuildEqBand(p, ch, b), 50});
            expected.push_back({BuildHipass(p, ch), 50});
            expected.push_back({BuildLopass(p, ch), 50});
        }
        expected.push_back({BuildPhase(p, 0), 50});
        expected.push_back({BuildPhase(p, 1), 50});
        std::erase_if(expected, [](const auto& f) { return !f.first; });

        const PacedSequence sequence = AllParameterFrames(p, e);
        ASSERT_EQ(sequence.size(), count);
        ASSERT_EQ(expected.size(), count);
        for (std::size_t i = 0; i < sequence.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(ToHex(sequence[i].frame.Bytes()), ToHex(expected[i].first->Bytes()));
            EXPECT_EQ(sequence[i].gapMs, expected[i].second);
        }
    }
}

}  // namespace
}  // namespace quorvell
