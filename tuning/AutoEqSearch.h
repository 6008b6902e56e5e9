// SPDX-License-Identifier: GPL-3.0-or-later
// The search behind the auto EQ fit: several starts, a continuous fit, then the raw grid with
// band relocation, pruning and a last look for a band that would still earn its place.
#pragma once

#include <cstdint>
#include <exception>
#include <random>
#include <vector>

#include "AutoEqFit.h"

namespace quorvell {

// The error points with the cosines the magnitude of a section needs.
struct FitPoints {
    std::vector<double> hz, cos1, cos2;
    explicit FitPoints(std::vector<double> f);
    std::size_t size() const { return hz.size(); }
};

// Raw limits of one band field: the stepper's range narrowed by the options.
struct RawRange {
    std::int32_t lo = 0, hi = 0;
    std::int32_t Clamp(double v) const;
};

struct GridLimits {
    RawRange freq, gain, q;
};

// What the bands should do, per error point: add `need` dB where `weight` > 0 (the error is
// the weighted RMS of the difference), and never boost beyond `cap` dB anywhere.
struct FitProblem {
    FitPoints p;
    std::vector<double> need, weight, cap;
    double lo = 20.0, hi = 20000.0;  // band frequencies, Hz
    AutoEqOptions options;
    GridLimits limits;
};

// The bands' quantised response in dB at each point.
void SectionDb(const Biquad& s, const FitPoints& p, std::vector<double>& out);

// The search's objective for the bands' summed response `eq`: the weighted RMS error plus a
// heavy penalty for every boost beyond the cap.
double FitObjective(const FitProblem& f, const std::vector<double>& eq);

// Thrown by FitObjective once the options' stop flag is set.
struct FitStopped : std::exception {};

inline bool StopRequested(const FitProblem& f) {
    return f.options.stop != nullptr && f.options.stop->load(std::memory_order_relaxed);
}

// A band of the continuous fit: fc as log10 Hz, gain in dB, Q.
struct ContinuousBand {
    double log10Hz = 3.0, gainDb = 0.0, q = 1.0;
};

Biquad ContinuousDesign(const ContinuousBand& b);

// Starts for the continuous fit. Greedy: each band on the largest peak or dip of `need` the
// earlier ones leave, ranked by area (height x width) or by height alone. Masked: the need
// where it counts, averaged over `octaves` (0: as it is). Random: seven bands within the
// bounds.
std::vector<ContinuousBand> GreedyStart(const FitProblem& f, std::vector<double> need, bool byArea);
std::vector<double> MaskedNeed(const FitProblem& f, double octaves);
std::vector<ContinuousBand> RandomStart(const FitProblem& f, std::mt19937& rng);

// The fitted bands (raw grid, at most seven, in no particular order). Deterministic: every
// budget counts evaluations and the random starts use a fixed seed.
std::vector<EqBand> SearchBands(const FitProblem& f);

}  // namespace quorvell
