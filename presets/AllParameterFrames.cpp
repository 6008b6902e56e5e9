// SPDX-License-Identifier: GPL-3.0-or-later
// The recall sequence, built from the core's frame builders.
#include "AllParameterFrames.h"

#include <optional>

#include "Frames.h"

namespace quorvell {

PacedSequence AllParameterFrames(const DeviceParameters& params, double eulerE) {
    PacedSequence sequence;
    sequence.reserve(kAllParametersFrameCount);
    const auto add = [&](const std::optional<Frame>& frame, RecordKind kind, int channel, int band,
                         int gapMs) {
        if (frame) {
            sequence.push_back({*frame, gapMs, Record{kind, channel, band}});
        }
    };
    for (int target = 0; target < 3; ++target) {
        add(BuildLevel(params, target), RecordKind::Level, target, 0, kShortGapMs);
    }
    for (int channel = 0; channel < 2; ++channel) {
        add(BuildLimiter(params, channel, eulerE), RecordKind::Limiter, channel, 0, kShortGapMs);
    }
    for (int channel = 0; channel < 2; ++channel) {
        for (int band = 1; band <= kBandCount; ++band) {
            add(BuildEqBand(params, channel, band), RecordKind::EqBand, channel, band, kLongGapMs);
        }
        add(BuildHipass(params, channel), RecordKind::Hipass, channel, 0, kLongGapMs);
        add(BuildLopass(params, channel), RecordKind::Lopass, channel, 0, kLongGapMs);
    }
    for (int channel = 0; channel < 2; ++channel) {
        add(BuildPhase(params, channel), RecordKind::Phase, channel, 0, kLongGapMs);
    }
    return sequence;
}

}  // namespace quorvell
