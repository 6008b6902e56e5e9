// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary datagrams to the status-frame readers.
#include <cstddef>
#include <cstdint>
#include <span>

#include "Frames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvell;
    const std::span<const std::uint8_t> bytes(data, size);
    DeviceParameters params{};
    ResetDeviceParameters(params);
    const DeviceParameters before = params;
    (void)StatusOf(bytes);
    const bool full = ApplyFullState(params, bytes);
    const bool reset = ApplyResetState(params, bytes);
    if (!full && !reset && WriteParameterImage(params) != WriteParameterImage(before)) {
        __builtin_trap();  // a rejected frame must not change the model
    }
    static const double e = ComputeEulerE();
    // Whatever a frame brought, the builders must stay within their buffers.
    for (int ch = 0; ch < 2; ++ch) {
        for (int b = 1; b <= kBandCount; ++b) {
            (void)BuildEqBand(params, ch, b);
        }
        (void)BuildHipass(params, ch);
        (void)BuildLopass(params, ch);
        (void)BuildLimiter(params, ch, e);
    }
    return 0;
}
