// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary datagrams to the discovery-answer parser.
#include <cstddef>
#include <cstdint>
#include <span>

#include "Frames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto name = quorvell::ParseDeviceFound(std::span<const std::uint8_t>(data, size));
    if (name && name->size() > 10) {
        __builtin_trap();
    }
    return 0;
}
