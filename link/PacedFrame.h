// SPDX-License-Identifier: GPL-3.0-or-later
// One frame of a paced sequence (page RESET, preset recall, import, channel copy) and the
// pause that follows it.
#pragma once

#include <optional>
#include <vector>

#include "Frames.h"
#include "ParameterPaths.h"

namespace quorvell {

struct PacedFrame {
    PacedFrame(Frame bytes, int gap, std::optional<Record> carried = std::nullopt)
        : frame(bytes), gapMs(gap), record(carried) {}

    Frame frame;    // the bytes when the sequence was made (what a print or a test reads)
    int gapMs = 0;  // pause after this frame before the next one is sent
    // The record this frame carries. When set, the link builds the frame again from the model
    // at the moment it is sent, so that an edit made while the sequence runs is never
    // overwritten by an older value; when empty (CmdReset) `frame` is sent as it is.
    std::optional<Record> record;
};

using PacedSequence = std::vector<PacedFrame>;

// A record to send in a paced sequence, and the pause after it.
struct PacedRecord {
    Record record;
    int gapMs = 0;
};

}  // namespace quorvell
