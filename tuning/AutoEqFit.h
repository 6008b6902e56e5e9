// SPDX-License-Identifier: GPL-3.0-or-later
// Fits the seven peaking bands of a channel to a measurement, on the processor's own grid:
// continuous bound-constrained fits from several starts, then every band snapped to its raw
// steps (1 Hz, 0.1 dB, Q 0.1) and refined there with the error of the quantised 5.23
// coefficients. The channel's crossovers are intended: the fit corrects only where they pass.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "DeviceParameters.h"
#include "EqFilterImport.h"
#include "MeasurementReader.h"
#include "TargetCurve.h"

namespace quorvell {

struct AutoEqOptions {
    double lowHz = 20.0;  // fit range, inside 20..20000 Hz
    double highHz = 20000.0;
    double maxBoostDb = 6.0;  // 0..18: deep nulls are not filled
    double maxCutDb = -18.0;  // -18..0
    double minQ = 0.3;        // inside 0.1..100
    double maxQ = 10.0;
    int smoothing = 6;         // 1/N octave: 3, 6, 12 or 24
    int pointsPerOctave = 48;  // error points, log-spaced over the fit range
    // Work budgets, in error evaluations (never in time, so results never depend on load).
    int continuousEvaluations = 12000;
    int gridEvaluations = 12000;
    // Starts drawn at random within the bounds, from a fixed seed (0..64).
    int randomStarts = 3;
    std::uint32_t seed = 20240611;
    // Set from another thread to end a running fit early (its result is then an error); the
    // flag must outlive the fit. A window closing mid-fit uses it so that the process does not
    // wait for a result nobody will see.
    const std::atomic<bool>* stop = nullptr;
};

// Why the options cannot be used, or empty.
std::string CheckAutoEqOptions(const AutoEqOptions& options);

// The steepest target tilt, dB per octave either way.
inline constexpr double kMaxTiltDb = 6.0;

// Why the target cannot be used (a tilt beyond +-kMaxTiltDb or not finite, a point that is
// not a finite number), or empty.
std::string CheckTarget(const TargetSpec& target);

struct AutoEqResult {
    // Raw settings of bands 1..7: the fitted bands in rising frequency, then flat bands
    // (default frequency, 0 dB, Q 2.0). Empty when `error` says why nothing was fitted.
    std::optional<std::array<EqBand, kBandCount>> bands;
    int activeBands = 0;
    std::string error;

    // Over the error points `hz`: the smoothed measurement levelled to the target, the
    // target, the measurement through the channel with flat bands (its crossovers only) and
    // through the whole fitted chain, all in dB, from the quantised coefficients.
    std::vector<double> hz;
    std::vector<double> measured;
    std::vector<double> target;
    std::vector<double> before;
    std::vector<double> predicted;
    // Per point: true where the crossovers pass (their loss is under 6 dB), and how much the
    // point counts in the error: the crossovers' magnitude (0.5..1) in the pass band, 0 in
    // their stop bands and in narrow deep notches, which EQ cannot fill.
    std::vector<bool> passBand;
    std::vector<double> weight;
    // Weighted RMS in dB of measurement + bands - target: flat bands, then the fitted ones.
    double rmsBeforeDb = 0.0;
    double rmsAfterDb = 0.0;
};

// `channel` supplies the crossovers the prediction includes; its bands are replaced by the
// fit and its other settings are untouched. Deterministic for equal inputs.
AutoEqResult FitAutoEq(const Measurement& measurement, const TargetSpec& target,
                       const ChannelParameters& channel, const AutoEqOptions& options);

// Weighted RMS in dB of measured + chain - target over the points.
double ChainErrorRms(const std::vector<double>& hz, const std::vector<double>& measured,
                     const std::vector<double>& target, const std::vector<double>& weight,
                     std::span<const Biquad> chain);

// The fitted bands as an import, for ApplyEqImport (the path every whole-channel band
// change takes).
EqImport AutoEqImport(const AutoEqResult& result);

}  // namespace quorvell
