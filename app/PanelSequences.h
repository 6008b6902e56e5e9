// SPDX-License-Identifier: GPL-3.0-or-later
// The paced frame sequences of the pages' RESET buttons, built from the model.
#pragma once

#include "DeviceParameters.h"
#include "PacedFrame.h"

namespace quorvell {

// EQ RESET of one channel: bands 1..7, high-pass, low-pass, 50 ms after each. A filter whose
// design cannot be sent is left out.
PacedSequence EqResetFrames(const DeviceParameters& params, int channel);

// Limiter RESET of one channel: its limiter command, then 50 ms.
PacedSequence LimiterResetFrames(const DeviceParameters& params, int channel, double eulerE);

}  // namespace quorvell
