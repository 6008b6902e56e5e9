// SPDX-License-Identifier: GPL-3.0-or-later
// The auto EQ fit: what the bands should correct (the measurement levelled to the target in
// the crossovers' pass band, narrow deep notches left out), the search, and the prediction
// from the frames the processor will run.
#include "AutoEqFit.h"

#include <algorithm>
#include <cmath>

#include "AutoEqSearch.h"
#include "Frames.h"
#include "ParameterPaths.h"
#include "ResponseCurve.h"

namespace quorvell {
namespace {

constexpr std::int32_t kFlatGain = 180;
constexpr std::int32_t kFlatQ = 20;
// Where the crossovers take more than this, the channel is meant to be quiet: nothing is
// corrected there and the bands boost it by no more than kStopBandBoostDb.
constexpr double kStopBandLossDb = 6.0;
constexpr double kStopBandBoostDb = 0.5;
// A dip narrower than a third of an octave and deeper than 6 dB is an acoustic null that no
// EQ fills: it is left out of the error and boosted by no more than kNotchBoostDb.
constexpr double kNotchOctaves = 1.0 / 3.0;
constexpr double kNotchDepthDb = 6.0;
constexpr double kNotchBoostDb = 1.0;

RawRange Narrow(std::string_view path, double lo, double hi) {
    const auto p = FindParameterPath(path);
    return {std::max(p->minRaw, static_cast<std::int32_t>(std::ceil(lo - 1e-9))),
            std::min(p->maxRaw, static_cast<std::int32_t>(std::floor(hi + 1e-9)))};
}

// Points inside narrow deep notches of `db` (log-spaced, `perOctave` points per octave): a
// point lies more than 6 dB below the highest level within 1/6 octave on both sides. The
// notch reaches out while it stays 3 dB deep, and by `margin` points more, the spread the
// smoothing gives it.
std::vector<bool> NarrowNotches(const std::vector<double>& db, int perOctave,
                                std::ptrdiff_t margin) {
    const auto n = static_cast<std::ptrdiff_t>(db.size());
    const auto half = static_cast<std::ptrdiff_t>(std::lround(0.5 * kNotchOctaves * perOctave));
    std::vector<double> depth(db.size(), 0.0);
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        double left = -HUGE_VAL, right = -HUGE_VAL;
        for (auto j = std::max<std::ptrdiff_t>(0, i - half); j < i; ++j) {
            left = std::max(left, db[static_cast<std::size_t>(j)]);
        }
        for (auto j = i + 1; j <= std::min(n - 1, i + half); ++j) {
            right = std::max(right, db[static_cast<std::size_t>(j)]);
        }
        depth[static_cast<std::size_t>(i)] =
            std::min(left, right) - db[static_cast<std::size_t>(i)];
    }
    std::vector<bool> core(db.size(), false);
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        if (depth[static_cast<std::size_t>(i)] <= kNotchDepthDb) {
            continue;
        }
        std::ptrdiff_t l = i, r = i;
        while (l > 0 && depth[static_cast<std::size_t>(l - 1)] > 0.5 * kNotchDepthDb) {
            --l;
        }
        while (r + 1 < n && depth[static_cast<std::size_t>(r + 1)] > 0.5 * kNotchDepthDb) {
            ++r;
        }
        for (auto j = std::max<std::ptrdiff_t>(0, l - margin); j <= std::min(n - 1, r + margin);
             ++j) {
            core[static_cast<std::size_t>(j)] = true;
        }
        i = r;
    }
    return core;
}

double WeightedRms(const std::vector<double>& error, const std::vector<double>& weight) {
    double sum = 0.0, total = 0.0;
    for (std::size_t i = 0; i < error.size(); ++i) {
        sum += weight[i] * error[i] * error[i];
        total += weight[i];
    }
    return total > 0.0 ? std::sqrt(sum / total) : 0.0;
}

}  // namespace

std::string CheckAutoEqOptions(const AutoEqOptions& o) {
    if (!(o.lowHz >= 20.0 && o.highHz <= 20000.0 && o.lowHz < o.highHz)) {
        return "the fit range must lie within 20..20000 Hz, low below high";
    }
    if (!(o.maxBoostDb >= 0.0 && o.maxBoostDb <= 18.0)) {
        return "the maximum boost must be 0..18 dB";
    }
    if (!(o.maxCutDb >= -18.0 && o.maxCutDb <= 0.0)) {
        return "the maximum cut must be -18..0 dB";
    }
    if (!(o.minQ >= 0.1 && o.maxQ <= 100.0 && o.minQ <= o.maxQ)) {
        return "the Q range must lie within 0.1..100, low not above high";
    }
    if (o.smoothing != 0 && o.smoothing != 3 && o.smoothing != 6 && o.smoothing != 12 &&
        o.smoothing != 24) {
        return "smoothing must be 3, 6, 12 or 24 (1/N octave)";
    }
    if (o.pointsPerOctave < 48 || o.pointsPerOctave > 480) {
        return "the error needs 48..480 points per octave";
    }
    if (o.continuousEvaluations < 0 || o.continuousEvaluations > 1000000 || o.gridEvaluations < 0 ||
        o.gridEvaluations > 1000000 || o.randomStarts < 0 || o.randomStarts > 64) {
        return "the search budgets must be 0..1000000 evaluations";
    }
    return {};
}

std::string CheckTarget(const TargetSpec& target) {
    if (!std::isfinite(target.tiltDbPerOctave) || std::abs(target.tiltDbPerOctave) > kMaxTiltDb) {
        return "the tilt must be a finite -6..6 dB per octave";
    }
    if (target.curve) {
        for (std::size_t i = 0; i < target.curve->hz.size(); ++i) {
            if (!std::isfinite(target.curve->hz[i]) || !std::isfinite(target.curve->db[i])) {
                return "the target has a point that is not a finite number";
            }
        }
    }
    return {};
}

double ChainErrorRms(const std::vector<double>& hz, const std::vector<double>& measured,
                     const std::vector<double>& target, const std::vector<double>& weight,
                     std::span<const Biquad> chain) {
    std::vector<double> error;
    error.reserve(hz.size());
    for (std::size_t i = 0; i < hz.size(); ++i) {
        error.push_back(measured[i] + ChainMagnitudeDb(chain, hz[i]) - target[i]);
    }
    return WeightedRms(error, weight);
}

AutoEqResult FitAutoEq(const Measurement& m, const TargetSpec& targetSpec,
                       const ChannelParameters& channel, const AutoEqOptions& o) {
    AutoEqResult result;
    result.error = CheckAutoEqOptions(o);
    if (result.error.empty()) {
        result.error = CheckTarget(targetSpec);
    }
    if (!result.error.empty()) {
        return result;
    }
    if (m.hz.size() < 2) {
        result.error = "the measurement has fewer than two points";
        return result;
    }
    // Only the part of the range the measurement covers can be fitted.
    const double lo = std::max(o.lowHz, m.hz.front());
    const double hi = std::min(o.highHz, m.hz.back());
    if (!(hi > lo * std::pow(2.0, 1.0 / 3.0))) {
        result.error = "the measurement covers less than 1/3 octave of the fit range";
        return result;
    }
    const int count = static_cast<int>(std::ceil(std::log2(hi / lo) * o.pointsPerOctave)) + 1;
    FitProblem f{FitPoints(LogFrequencies(count, lo, hi)), {}, {}, {}, lo, hi, o, {}};
    const std::size_t n = f.p.size();
    result.hz = f.p.hz;
    result.target = TargetAt(targetSpec, f.p.hz);

    // The channel with flat bands: only its crossovers shape what it plays.
    DeviceParameters work{};
    work.channels[0] = channel;
    for (int b = 1; b <= kBandCount; ++b) {
        work.channels[0].bands[b] = {kDefaultBandFreq[b - 1], kFlatGain, kFlatQ, {}, 1};
    }
    const std::vector<Biquad> crossovers = ChannelChain(work, 0);
    const std::vector<double> smoothed = SmoothFractionalOctave(m, f.p.hz, o.smoothing);
    const std::vector<double> unsmoothed = SmoothFractionalOctave(m, f.p.hz, 0);
    const auto margin = static_cast<std::ptrdiff_t>(
        o.smoothing > 0 ? std::ceil(0.5 * o.pointsPerOctave / o.smoothing) + 1 : 1);
    const std::vector<bool> notch = NarrowNotches(unsmoothed, o.pointsPerOctave, margin);
    std::vector<double> xoverDb(n);
    double offset = 0.0, weightSum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        xoverDb[i] = ChainMagnitudeDb(crossovers, f.p.hz[i]);
        const bool pass = xoverDb[i] > -kStopBandLossDb;
        result.passBand.push_back(pass);
        const double w = pass && !notch[i] ? std::pow(10.0, xoverDb[i] / 20.0) : 0.0;
        f.weight.push_back(w);
        f.cap.push_back(std::min({o.maxBoostDb, pass ? o.maxBoostDb : kStopBandBoostDb,
                                  notch[i] ? kNotchBoostDb : o.maxBoostDb}));
        offset += w * (result.target[i] - smoothed[i]);
        weightSum += w;
    }
    if (weightSum <= 0.0) {
        result.error = "the crossovers block the whole fit range: nothing to correct";
        return result;
    }
    offset /= weightSum;
    for (std::size_t i = 0; i < n; ++i) {
        result.measured.push_back(smoothed[i] + offset);
        result.before.push_back(result.measured[i] + xoverDb[i]);
        f.need.push_back(result.target[i] - result.measured[i]);
    }
    result.weight = f.weight;

    f.limits = {
        Narrow("ch1.band1.freq", lo, hi),
        Narrow("ch1.band1.gain", kFlatGain + o.maxCutDb * 10.0, kFlatGain + o.maxBoostDb * 10.0),
        Narrow("ch1.band1.q", o.minQ * 10.0, o.maxQ * 10.0)};
    std::vector<EqBand> fitted;
    try {
        fitted = SearchBands(f);
    } catch (const FitStopped&) {
        result.error = "the fit was stopped";
        return result;
    }
    std::sort(fitted.begin(), fitted.end(),
              [](const EqBand& a, const EqBand& b) { return a.freq < b.freq; });
    std::array<EqBand, kBandCount> bands{};
    for (int b = 0; b < kBandCount; ++b) {
        bands[b] = b < static_cast<int>(fitted.size())
                       ? fitted[static_cast<std::size_t>(b)]
                       : EqBand{kDefaultBandFreq[b], kFlatGain, kFlatQ, {}, 1};
    }
    result.bands = bands;
    result.activeBands = static_cast<int>(fitted.size());

    // The prediction from the chain the processor will run: every section as its frame
    // carries it, crossovers included. The error counts the bands alone: the crossovers'
    // roll-off is what the installer asked for.
    for (int b = 1; b <= kBandCount; ++b) {
        work.channels[0].bands[b] = bands[b - 1];
    }
    const std::vector<Biquad> chain = ChannelChain(work, 0);
    std::vector<double> before(n), after(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double chainDb = ChainMagnitudeDb(chain, f.p.hz[i]);
        result.predicted.push_back(result.measured[i] + chainDb);
        before[i] = result.measured[i] - result.target[i];
        after[i] = before[i] + chainDb - xoverDb[i];
    }
    result.rmsBeforeDb = WeightedRms(before, f.weight);
    result.rmsAfterDb = WeightedRms(after, f.weight);
    return result;
}

EqImport AutoEqImport(const AutoEqResult& result) {
    EqImport import;
    import.bands = result.bands;
    import.filterCount = result.activeBands;
    return import;
}

}  // namespace quorvell
