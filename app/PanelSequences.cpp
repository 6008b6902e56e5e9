// SPDX-License-Identifier: GPL-3.0-or-later
// Paced sequences of the RESET buttons.
#include "PanelSequences.h"

#include "EqPageTable.h"
#include "Frames.h"
#include "LimiterPageTable.h"

namespace quorvell {

namespace {

void Append(PacedSequence& sequence, const std::optional<Frame>& frame, const Record& record,
            int gapMs) {
    if (frame) {
        sequence.push_back({*frame, gapMs, record});
    }
}

}  // namespace

PacedSequence EqResetFrames(const DeviceParameters& params, int channel) {
    PacedSequence sequence;
    for (int b = 1; b <= kBandCount; ++b) {
        Append(sequence, BuildEqBand(params, channel, b), {RecordKind::EqBand, channel, b},
               eq::kResetGapMs);
    }
    Append(sequence, BuildHipass(params, channel), {RecordKind::Hipass, channel, 0},
           eq::kResetGapMs);
    Append(sequence, BuildLopass(params, channel), {RecordKind::Lopass, channel, 0},
           eq::kResetGapMs);
    return sequence;
}

PacedSequence LimiterResetFrames(const DeviceParameters& params, int channel, double eulerE) {
    PacedSequence sequence;
    Append(sequence, BuildLimiter(params, channel, eulerE), {RecordKind::Limiter, channel, 0},
           limiter::kResetGapMs);
    return sequence;
}

}  // namespace quorvell
