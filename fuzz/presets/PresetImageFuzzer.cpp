// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary preset file bytes read over the model, then the full recall sequence built from
// it: no crash, no undefined behaviour, and every frame well formed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "AllParameterFrames.h"
#include "Frames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const double eulerE = quorvell::ComputeEulerE();
    quorvell::DeviceParameters params;
    quorvell::ResetDeviceParameters(params);
    quorvell::ReadParameterImage(params, std::span(data, size));
    const quorvell::PacedSequence sequence = quorvell::AllParameterFrames(params, eulerE);
    if (sequence.size() > quorvell::kAllParametersFrameCount) {
        std::abort();
    }
    for (const quorvell::PacedFrame& p : sequence) {
        const auto bytes = p.frame.Bytes();
        if (bytes.size() < 5 || bytes[0] != quorvell::kFrameSync0 ||
            bytes[1] != quorvell::kFrameSync1 || bytes[2] != bytes.size() - 4 ||
            bytes.back() != quorvell::kFrameTrailer) {
            std::abort();
        }
    }
    return 0;
}
