// SPDX-License-Identifier: GPL-3.0-or-later
// The full-state sequence a preset recall sends: every setting of the model as 25 command
// frames in a fixed order, with the pause the processor needs after each.
#pragma once

#include "DeviceParameters.h"
#include "PacedFrame.h"

namespace quorvell {

inline constexpr int kAllParametersFrameCount = 25;
inline constexpr int kShortGapMs = 20;  // after the three levels and the two limiters
inline constexpr int kLongGapMs = 50;   // after every other frame

// Main, CH1 and CH2 level; limiter CH1, CH2 (20 ms after each); then per channel bands
// 1..7, high-pass, low-pass; then phase CH1, CH2 (50 ms after each). A filter whose design
// cannot be sent (crossover type outside 0..4) is left out together with its pause, so the
// sequence then holds fewer frames.
PacedSequence AllParameterFrames(const DeviceParameters& params, double eulerE);

}  // namespace quorvell
