// The recall sequence, built from the core's frame builders.
#include "AllParameterFrames.h"

#include <optional>

#include "Frames.h"

namespace quorvell {

PacedSequence AllParameterFrames(const DeviceParameters& params, double eulerE) {
    PacedSequence sequence;
    sequence.reserve(kAllParametersFrameCount);
    const auto add = [&](const std::optional<Frame>& frame, int gapMs) {
        if (frame) {
            sequence.push_back({*frame, gapMs});
        }
    };
    for (int target = 0; target < 3; ++target) {
        add(BuildLevel(params, target), kShortGapMs);
    }
    for (int channel = 0; channel < 2; ++channel) {
        add(BuildLimiter(params, channel, eulerE), kShortGapMs);
    }
    for (int channel = 0; channel < 2; ++channel) {
        for (int band = 1; band <= kBandCount; ++band) {
            add(BuildEqBand(params, channel, band), kLongGapMs);
        }
        add(BuildHipass(params, channel), kLongGapMs);
        add(BuildLopass(params, channel), kLongGapMs);
    }
    for (int channel = 0; channel < 2; ++channel) {
        add(BuildPhase(params, channel), kLongGapMs);
    }
    return sequence;
}

}  // namespace quorvell
