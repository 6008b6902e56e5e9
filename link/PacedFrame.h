// One frame of a paced sequence (page RESET, preset recall) and the pause that follows it.
#pragma once

#include <vector>

#include "Frames.h"

namespace quorvell {

struct PacedFrame {
    Frame frame;
    int gapMs = 0;  // pause after this frame before the next one is sent
};

using PacedSequence = std::vector<PacedFrame>;

}  // namespace quorvell
