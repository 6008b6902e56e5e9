// SPDX-License-Identifier: GPL-3.0-or-later
// Second-order section design for the EQ bands and crossovers, and the processor's 5.23
// fixed-point coefficient word. Sample rate 48 kHz; pi is taken as 3.1415926 exactly as
// the processor expects.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace quorvell {

inline constexpr double kSampleRate = 48000.0;
inline constexpr double kDesignPi = 3.1415926;

// H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 - A1 z^-1 - A2 z^-2): a[0] is 1.0 and a[1], a[2]
// hold the negated, normalised denominator coefficients A1 and A2 that frames carry.
struct Biquad {
    std::array<double, 3> b{};
    std::array<double, 3> a{};
};

// Peaking band of `gainDb` at `frequencyHz` with a bandwidth of `bandwidthHz` (Q = f / W).
Biquad DesignPeakingBand(double frequencyHz, double gainDb, double bandwidthHz);

// Crossover designs by FilterType code; q is the Q number (used by Variable only).
// A type outside 0..4 gives no design.
std::optional<Biquad> DesignHipass(double frequencyHz, int type, double q);
std::optional<Biquad> DesignLopass(double frequencyHz, int type, double q);

// value * 2^23 truncated toward zero as a 32-bit two's-complement word, ANDed with
// 0x0FFFFFFF when mask28. Only values for which IsFixed523 holds may be given.
std::uint32_t ToFixed523(double value, bool mask28);

// True when `value` is finite and inside the 5.23 range [-16, 16).
bool IsFixed523(double value);

// True when every coefficient of the section passes IsFixed523.
bool IsSendable(const Biquad& biquad);

}  // namespace quorvell
