// SPDX-License-Identifier: GPL-3.0-or-later
// Curves on a log-frequency axis: interpolation, fractional-octave smoothing and the target
// an auto EQ fit aims at.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "MeasurementReader.h"

namespace quorvell {

// The curve's level at `hz`, linear in dB over log frequency between points; the first or
// last level beyond the ends.
double InterpolateLog(const Measurement& curve, double hz);

// The curve averaged over 1/`fraction` octave centred on each of `hz` (the piecewise-linear
// curve integrated over log frequency; the window is cut at the curve's ends). A fraction
// of 0 or less gives the plain interpolation.
std::vector<double> SmoothFractionalOctave(const Measurement& curve, std::span<const double> hz,
                                           int fraction);

// Flat, a tilt in dB per octave (0 dB at 1 kHz), or a target file. Levels are relative: a
// fit levels the measurement to the target.
struct TargetSpec {
    std::optional<Measurement> curve;
    double tiltDbPerOctave = 0.0;
};

std::vector<double> TargetAt(const TargetSpec& target, std::span<const double> hz);

}  // namespace quorvell
