// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary datagrams to the command-frame decoder, its description and apply step.
#include <cstddef>
#include <cstdint>
#include <span>

#include "FrameDecoder.h"
#include "Frames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvell;
    const std::span<const std::uint8_t> bytes(data, size);
    const DecodedCommand d = DecodeCommand(bytes);
    (void)DescribeCommand(d);
    if (d.valid && !d.wellFormed) {
        __builtin_trap();  // a valid frame is always well-formed
    }
    if (d.wellFormed && (size < 5 || bytes[size - 1] != kFrameTrailer || bytes[2] != size - 4)) {
        __builtin_trap();  // structure checks let a broken frame through
    }
    DeviceParameters params{};
    ResetDeviceParameters(params);
    const ParameterImage before = WriteParameterImage(params);
    const bool applied = ApplyCommand(params, d);
    if (!d.wellFormed && (applied || WriteParameterImage(params) != before)) {
        __builtin_trap();  // only a well-formed command may change the model
    }
    // What a frame brought must still build frames within their buffers.
    for (int ch = 0; ch < 2; ++ch) {
        (void)BuildHipass(params, ch);
        (void)BuildLopass(params, ch);
    }
    (void)BuildFullState(params);
    return 0;
}
