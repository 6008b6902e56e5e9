// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the peaking filters of an equaliser text export ("Filter 1: ON PK Fc 63.5 Hz Gain
// -4.20 dB Q 2.500", "Preamp: -3 dB") into the seven bands of a channel.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DeviceParameters.h"
#include "PacedFrame.h"

namespace quorvell {

struct EqImport {
    // Raw settings of bands 1..7 in file order; bands without a filter are flat (default
    // frequency, 0 dB, Q 2.0). Empty when the file is not usable as a whole.
    std::optional<std::array<EqBand, kBandCount>> bands;
    std::optional<double> preampDb;   // the "Preamp:" line, if any
    int filterCount = 0;              // enabled peaking filters read
    std::vector<std::string> errors;  // "line N: why", one per problem
};

// Parses the whole text: a UTF-8 byte-order mark and Windows line endings are accepted;
// blank lines, notes and header lines are skipped; disabled filters ("OFF") are skipped.
// More than seven peaking filters, another filter type, a malformed filter or preamp line,
// or a value outside the panel's ranges is an error, and then nothing is usable.
EqImport ParseEqFilterText(std::string_view text);

// Writes the imported bands into `channel` (flag and reserved bytes kept). A preamp lowers
// the channel's output level by its amount (0.5 dB steps), clamped to the level's range.
// Returns the records that changed as frames to send, 50 ms apart.
PacedSequence ApplyEqImport(DeviceParameters& params, int channel, const EqImport& import);

// Copies bands, crossovers and limiter of channel `from` to channel `to` and returns the
// target channel's frames (bands 1..7, high-pass, low-pass, limiter), 50 ms apart.
PacedSequence CopyChannel(DeviceParameters& params, int from, int to, double eulerE);

}  // namespace quorvell
