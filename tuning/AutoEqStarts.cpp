// SPDX-License-Identifier: GPL-3.0-or-later
// Where the auto EQ search starts: greedy placements on the residual, as it is and smoothed,
// and seeded random bands within the bounds.
#include <algorithm>
#include <cmath>

#include "AutoEqSearch.h"
#include "BiquadDesign.h"

namespace quorvell {
namespace {

constexpr double kMinStartGainDb = 0.2;  // a greedy start stops below this residual

}  // namespace

Biquad ContinuousDesign(const ContinuousBand& b) {
    const double f = std::pow(10.0, b.log10Hz);
    return DesignPeakingBand(f, b.gainDb, f / b.q);
}

// Greedy start: each band on the largest peak or dip of the residual the earlier ones leave,
// ranked by area (height x width) or by height alone; gain from the height (clipped), Q from
// the width. `need` is zero where nothing is to be corrected.
std::vector<ContinuousBand> GreedyStart(const FitProblem& f, std::vector<double> need,
                                        bool byArea) {
    const AutoEqOptions& o = f.options;
    std::vector<ContinuousBand> bands;
    std::vector<bool> spent(need.size(), false);  // dips a clipped boost could not fill
    std::vector<double> db;
    const auto n = static_cast<std::ptrdiff_t>(need.size());
    const auto at = [&](std::ptrdiff_t i) { return need[static_cast<std::size_t>(i)]; };
    while (static_cast<int>(bands.size()) < kBandCount) {
        double bestScore = 0.0;
        std::ptrdiff_t best = -1, bestLeft = 0, bestRight = 0;
        for (std::ptrdiff_t i = 0; i < n; ++i) {
            const double h = at(i);
            if (spent[static_cast<std::size_t>(i)] || std::abs(h) < kMinStartGainDb) {
                continue;
            }
            std::ptrdiff_t l = i, r = i;
            while (l > 0 && at(l - 1) * h >= 0.5 * h * h) {
                --l;
            }
            while (r + 1 < n && at(r + 1) * h >= 0.5 * h * h) {
                ++r;
            }
            const double height = std::abs(std::clamp(h, o.maxCutDb, o.maxBoostDb));
            const double score = byArea ? height * static_cast<double>(r - l + 1) : height;
            if (score > bestScore) {
                bestScore = score;
                best = i;
                bestLeft = l;
                bestRight = r;
            }
        }
        if (best < 0) {
            break;
        }
        const double h = at(best);
        const double octaves =
            std::max(1.0, static_cast<double>(bestRight - bestLeft + 1)) / o.pointsPerOctave;
        const double ratio = std::pow(2.0, octaves);
        ContinuousBand b;
        b.log10Hz = std::clamp(std::log10(f.p.hz[static_cast<std::size_t>(best)]), std::log10(f.lo),
                               std::log10(f.hi));
        b.gainDb = std::clamp(h, o.maxCutDb, o.maxBoostDb);
        b.q = std::clamp(std::sqrt(ratio) / (ratio - 1.0), o.minQ, o.maxQ);
        if (std::abs(b.gainDb) < kMinStartGainDb) {
            break;
        }
        SectionDb(ContinuousDesign(b), f.p, db);
        for (std::size_t i = 0; i < need.size(); ++i) {
            need[i] -= db[i];
        }
        if (b.gainDb != h) {
            for (auto i = bestLeft; i <= bestRight; ++i) {
                spent[static_cast<std::size_t>(i)] = true;
            }
        }
        bands.push_back(b);
    }
    return bands;
}

// The need where it counts, averaged over `octaves` around each point (0: as it is).
std::vector<double> MaskedNeed(const FitProblem& f, double octaves) {
    const std::size_t n = f.need.size();
    const auto half =
        static_cast<std::ptrdiff_t>(std::lround(0.5 * octaves * f.options.pointsPerOctave));
    std::vector<double> out(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        if (f.weight[i] <= 0.0) {
            continue;
        }
        double sum = 0.0, weight = 0.0;
        const auto c = static_cast<std::ptrdiff_t>(i);
        for (auto j = std::max<std::ptrdiff_t>(0, c - half);
             j <= std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(n) - 1, c + half); ++j) {
            sum += f.weight[static_cast<std::size_t>(j)] * f.need[static_cast<std::size_t>(j)];
            weight += f.weight[static_cast<std::size_t>(j)];
        }
        out[i] = weight > 0.0 ? sum / weight : 0.0;
    }
    return out;
}

std::vector<ContinuousBand> RandomStart(const FitProblem& f, std::mt19937& rng) {
    const AutoEqOptions& o = f.options;
    std::uniform_real_distribution<double> logHz(std::log10(f.lo), std::log10(f.hi));
    std::uniform_real_distribution<double> gain(o.maxCutDb / 3.0, o.maxBoostDb / 2.0);
    std::uniform_real_distribution<double> logQ(std::log(o.minQ), std::log(o.maxQ));
    std::vector<ContinuousBand> bands(kBandCount);
    for (ContinuousBand& b : bands) {
        b.log10Hz = logHz(rng);
        b.gainDb = gain(rng);
        b.q = std::exp(logQ(rng));
    }
    return bands;
}

}  // namespace quorvell
