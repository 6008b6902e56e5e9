// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary text to the equaliser import and applies whatever it accepts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "EqFilterImport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvell;
    const EqImport r =
        ParseEqFilterText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (r.bands.has_value() != r.errors.empty() || r.filterCount > kBandCount) {
        __builtin_trap();
    }
    DeviceParameters p{};
    ResetDeviceParameters(p);
    const PacedSequence seq = ApplyEqImport(p, 1, r);
    if (r.bands && seq.size() < static_cast<std::size_t>(kBandCount)) {
        __builtin_trap();  // every imported band is in range, so every band has a frame
    }
    return 0;
}
