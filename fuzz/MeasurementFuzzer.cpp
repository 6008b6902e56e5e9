// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary text to the measurement reader and smooths whatever it accepts.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "MeasurementReader.h"
#include "TargetCurve.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvell;
    const MeasurementRead r =
        ParseMeasurementText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (r.curve.has_value() != r.errors.empty()) {
        __builtin_trap();
    }
    if (!r.curve) {
        return 0;
    }
    const Measurement& m = *r.curve;
    if (m.hz.size() < 2 || m.hz.size() != m.db.size()) {
        __builtin_trap();
    }
    for (std::size_t i = 0; i < m.hz.size(); ++i) {
        if (!(m.hz[i] > 0.0) || !std::isfinite(m.db[i]) || (i > 0 && !(m.hz[i] > m.hz[i - 1]))) {
            __builtin_trap();
        }
    }
    const double hz[] = {m.hz.front(), std::sqrt(m.hz.front() * m.hz.back()), m.hz.back(), 1000.0};
    for (double v : SmoothFractionalOctave(m, hz, 6)) {
        // An average of finite levels; it may only overflow for levels near the double limit.
        if (std::isnan(v)) {
            __builtin_trap();
        }
    }
    return 0;
}
