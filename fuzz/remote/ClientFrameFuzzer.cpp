// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary client bytes to the WebSocket frame check, whole and split at a point the
// input chooses: both must reach the same verdict, and a refusal must stay a refusal.
#include <cstddef>
#include <cstdint>
#include <span>

#include "ClientFrameCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using quorvell::ClientFrameCheck;
    if (size < 2) {
        return 0;
    }
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    const std::size_t split = data[0] % bytes.size();
    ClientFrameCheck whole(8192);
    ClientFrameCheck parts(8192);
    const std::uint16_t first = parts.Feed(bytes.first(split));
    const std::uint16_t verdict = parts.Feed(bytes.subspan(split));
    if (whole.Feed(bytes) != verdict || (first != 0 && first != verdict)) {
        __builtin_trap();
    }
    if (verdict != 0 && verdict != ClientFrameCheck::kProtocolError &&
        verdict != ClientFrameCheck::kTooLarge) {
        __builtin_trap();
    }
    return 0;
}
