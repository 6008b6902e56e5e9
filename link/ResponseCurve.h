// SPDX-License-Identifier: GPL-3.0-or-later
// Magnitude response of a channel's whole chain as the processor runs it: the coefficients
// after the 5.23 quantisation of the frames that carry them, at 48 kHz.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "BiquadDesign.h"
#include "DeviceParameters.h"

namespace quorvell {

// The coefficient a 5.23 word stands for; a 28-bit word is sign-extended from bit 27.
double FromFixed523(std::uint32_t word, bool mask28);

// The section the processor receives for a design: each coefficient through ToFixed523 and
// back, with the frame's mask.
Biquad QuantizedSection(const Biquad& designed, bool mask28);

// The sections of one channel in signal order: bands 1..7, high-pass, low-pass. A record
// whose frame cannot be built contributes no section.
std::vector<Biquad> ChannelChain(const DeviceParameters& params, int channel);

// |H| in dB of the cascade at `hz`.
double ChainMagnitudeDb(std::span<const Biquad> chain, double hz);

// `count` frequencies spaced evenly on a log axis from `lowHz` to `highHz` inclusive.
std::vector<double> LogFrequencies(int count, double lowHz, double highHz);

}  // namespace quorvell
