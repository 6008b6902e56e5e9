// The auto EQ fit: greedy start from the residual, NLopt BOBYQA within bounds over
// (log10 fc, gain, Q), then a coordinate search on the raw grid with quantised sections.
#include "AutoEqFit.h"

#include <algorithm>
#include <cmath>
#include <nlopt.hpp>
#include <numbers>
#include <numeric>

#include "Frames.h"
#include "ParameterPaths.h"
#include "ResponseCurve.h"

namespace quorvell {
namespace {

constexpr double kFlatImprovementDb = 0.1;  // a band that helps less than this stays flat
constexpr double kMinStartGainDb = 0.2;     // the greedy start stops below this residual
// The bands together boost no more than one band may: stacked boosts must not fill a null.
// Weight of the squared excess in the search's objective (not in the reported error).
constexpr double kExcessBoostWeight = 1000.0;
constexpr std::int32_t kFlatGain = 180;
constexpr std::int32_t kFlatQ = 20;

// The error points with the cosines the magnitude of a section needs.
struct Points {
    std::vector<double> hz, cos1, cos2;
    explicit Points(std::vector<double> f) : hz(std::move(f)) {
        for (double x : hz) {
            const double w = 2.0 * std::numbers::pi * x / kSampleRate;
            cos1.push_back(std::cos(w));
            cos2.push_back(std::cos(2.0 * w));
        }
    }
    std::size_t size() const { return hz.size(); }
};

// |H(e^jw)|^2 of a section: |sum c_k e^-jkw|^2 = sum c_k^2 + 2 sum c_k c_l cos((l-k)w).
double SectionPower(const Biquad& s, double c1, double c2) {
    const auto power = [&](double p0, double p1, double p2) {
        return p0 * p0 + p1 * p1 + p2 * p2 + 2.0 * (p0 * p1 + p1 * p2) * c1 + 2.0 * p0 * p2 * c2;
    };
    return power(s.b[0], s.b[1], s.b[2]) / power(1.0, -s.a[1], -s.a[2]);
}

void SectionDb(const Biquad& s, const Points& p, std::vector<double>& out) {
    out.resize(p.size());
    for (std::size_t i = 0; i < p.size(); ++i) {
        out[i] = 10.0 * std::log10(std::max(SectionPower(s, p.cos1[i], p.cos2[i]), 1e-24));
    }
}

double Rms(const std::vector<double>& error) {
    double sum = 0.0;
    for (double e : error) {
        sum += e * e;
    }
    return error.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(error.size()));
}

// Raw limits of one band field: the stepper's range narrowed by the options.
struct RawRange {
    std::int32_t lo = 0, hi = 0;
    std::int32_t Clamp(double v) const {
        return static_cast<std::int32_t>(std::clamp(std::lround(v), long{lo}, long{hi}));
    }
};

RawRange Narrow(std::string_view path, double lo, double hi) {
    const auto p = FindParameterPath(path);
    return {std::max(p->minRaw, static_cast<std::int32_t>(std::ceil(lo - 1e-9))),
            std::min(p->maxRaw, static_cast<std::int32_t>(std::floor(hi + 1e-9)))};
}

struct GridLimits {
    RawRange freq, gain, q;
};

struct ContinuousBand {
    double log10Hz = 3.0, gainDb = 0.0, q = 1.0;
};

Biquad ContinuousDesign(const ContinuousBand& b) {
    const double f = std::pow(10.0, b.log10Hz);
    return DesignPeakingBand(f, b.gainDb, f / b.q);
}

Biquad GridDesign(const EqBand& b) {
    return QuantizedSection(BandDesign(b.freq, b.gain, b.q), true);
}

// Greedy start: each band on the largest area of the residual (height x width) the earlier
// ones leave, its gain from the height (clipped), its Q from the width.
std::vector<ContinuousBand> GreedyStart(const Points& p, std::vector<double> need,
                                        const AutoEqOptions& o, double lo, double hi,
                                        int pointsPerOctave) {
    std::vector<ContinuousBand> bands;
    std::vector<bool> spent(need.size(), false);  // nulls a clipped boost could not fill
    std::vector<double> db;
    const auto n = static_cast<std::ptrdiff_t>(need.size());
    while (static_cast<int>(bands.size()) < kBandCount) {
        double bestScore = 0.0;
        std::ptrdiff_t best = -1, bestLeft = 0, bestRight = 0;
        for (std::ptrdiff_t i = 0; i < n; ++i) {
            const double h = need[static_cast<std::size_t>(i)];
            if (spent[static_cast<std::size_t>(i)] || std::abs(h) < kMinStartGainDb) {
                continue;
            }
            std::ptrdiff_t l = i, r = i;
            while (l > 0 && need[static_cast<std::size_t>(l - 1)] * h >= 0.5 * h * h) {
                --l;
            }
            while (r + 1 < n && need[static_cast<std::size_t>(r + 1)] * h >= 0.5 * h * h) {
                ++r;
            }
            const double height = std::clamp(h, o.maxCutDb, o.maxBoostDb);
            const double score = std::abs(height) * static_cast<double>(r - l + 1);
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
        const double h = need[static_cast<std::size_t>(best)];
        const double octaves =
            std::max(1.0, static_cast<double>(bestRight - bestLeft + 1)) / pointsPerOctave;
        const double ratio = std::pow(2.0, octaves);
        ContinuousBand b;
        b.log10Hz = std::clamp(std::log10(p.hz[static_cast<std::size_t>(best)]), std::log10(lo),
                               std::log10(hi));
        b.gainDb = std::clamp(h, o.maxCutDb, o.maxBoostDb);
        b.q = std::clamp(std::sqrt(ratio) / (ratio - 1.0), o.minQ, o.maxQ);
        if (std::abs(b.gainDb) < kMinStartGainDb) {
            break;
        }
        SectionDb(ContinuousDesign(b), p, db);
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

// Bound-constrained continuous fit of all bands at once; returns the best point seen.
void FitContinuous(const Points& p, const std::vector<double>& need, const AutoEqOptions& o,
                   double lo, double hi, std::vector<ContinuousBand>& bands) {
    const std::size_t k = bands.size();
    if (k == 0) {
        return;
    }
    std::vector<double> x, lower, upper, step;
    for (const ContinuousBand& b : bands) {
        x.insert(x.end(), {b.log10Hz, b.gainDb, b.q});
        lower.insert(lower.end(), {std::log10(lo), o.maxCutDb, o.minQ});
        upper.insert(upper.end(), {std::log10(hi), o.maxBoostDb, o.maxQ});
        step.insert(step.end(), {0.03, 1.0, std::max(0.05, 0.2 * b.q)});
    }
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = std::clamp(x[i], lower[i], upper[i]);
    }
    struct State {
        const Points& p;
        const std::vector<double>& need;
        double maxBoostDb;
        std::size_t k;
        std::vector<double> bestX;
        double bestF = HUGE_VAL;
        std::vector<double> power;
    } state{p, need, o.maxBoostDb, k, x, HUGE_VAL, std::vector<double>(p.size())};
    const auto objective = [](unsigned, const double* v, double*, void* data) -> double {
        auto& s = *static_cast<State*>(data);
        std::fill(s.power.begin(), s.power.end(), 1.0);
        for (std::size_t b = 0; b < s.k; ++b) {
            const Biquad d = ContinuousDesign({v[3 * b], v[3 * b + 1], v[3 * b + 2]});
            for (std::size_t i = 0; i < s.p.size(); ++i) {
                s.power[i] *= SectionPower(d, s.p.cos1[i], s.p.cos2[i]);
            }
        }
        double sum = 0.0;
        for (std::size_t i = 0; i < s.p.size(); ++i) {
            const double eq = 10.0 * std::log10(std::max(s.power[i], 1e-24));
            const double excess = std::max(0.0, eq - s.maxBoostDb);
            sum += (eq - s.need[i]) * (eq - s.need[i]) + kExcessBoostWeight * excess * excess;
        }
        const double f = sum / static_cast<double>(s.p.size());
        if (f < s.bestF) {
            s.bestF = f;
            s.bestX.assign(v, v + 3 * s.k);
        }
        return f;
    };
    nlopt::opt opt(nlopt::LN_BOBYQA, static_cast<unsigned>(x.size()));
    opt.set_lower_bounds(lower);
    opt.set_upper_bounds(upper);
    opt.set_initial_step(step);
    opt.set_min_objective(objective, &state);
    opt.set_maxeval(o.continuousEvaluations);
    opt.set_ftol_abs(1e-7);
    opt.set_xtol_rel(1e-6);
    double f = 0.0;
    try {
        opt.optimize(x, f);
    } catch (const std::exception&) {
        // A round-off stop or a failure: the best point seen so far stands.
    }
    for (std::size_t b = 0; b < k; ++b) {
        bands[b] = {state.bestX[3 * b], state.bestX[3 * b + 1], state.bestX[3 * b + 2]};
    }
}

// Coordinate search on the raw grid; each band's quantised response is cached.
class GridSearch {
public:
    GridSearch(const Points& p, const std::vector<double>& need, const GridLimits& limits,
               double maxBoostDb)
        : p_(p), need_(need), limits_(limits), maxBoostDb_(maxBoostDb) {}

    void Set(std::vector<EqBand> bands) {
        bands_ = std::move(bands);
        db_.assign(bands_.size(), {});
        for (std::size_t b = 0; b < bands_.size(); ++b) {
            SectionDb(GridDesign(bands_[b]), p_, db_[b]);
        }
        Total();
    }
    const std::vector<EqBand>& Bands() const { return bands_; }

    // RMS with band `skip` taken out (or none), and band `swap` replaced by `trial`; a
    // boost of the bands together beyond the limit counts heavily against.
    double Error(std::ptrdiff_t skip = -1, std::ptrdiff_t swap = -1,
                 const std::vector<double>* trial = nullptr) const {
        const std::vector<double>* out = skip >= 0   ? &db_[static_cast<std::size_t>(skip)]
                                         : swap >= 0 ? &db_[static_cast<std::size_t>(swap)]
                                                     : nullptr;
        double sum = 0.0;
        for (std::size_t i = 0; i < p_.size(); ++i) {
            double eq = total_[i];
            if (out != nullptr) {
                eq -= (*out)[i];
            }
            if (swap >= 0) {
                eq += (*trial)[i];
            }
            const double excess = std::max(0.0, eq - maxBoostDb_);
            sum += (eq - need_[i]) * (eq - need_[i]) + kExcessBoostWeight * excess * excess;
        }
        return p_.size() == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(p_.size()));
    }

    // Best single-field moves until none helps or the budget is spent.
    void Refine(int& budget) {
        double current = Error();
        std::vector<double> trial;
        bool improved = true;
        while (improved && budget > 0) {
            improved = false;
            for (std::size_t b = 0; b < bands_.size() && budget > 0; ++b) {
                EqBand bestBand = bands_[b];
                double bestError = current;
                std::vector<double> bestDb;
                for (const EqBand& c : Moves(bands_[b])) {
                    if (budget-- <= 0) {
                        break;
                    }
                    SectionDb(GridDesign(c), p_, trial);
                    const double e = Error(-1, static_cast<std::ptrdiff_t>(b), &trial);
                    if (e < bestError - 1e-12) {
                        bestError = e;
                        bestBand = c;
                        bestDb = trial;
                    }
                }
                if (bestError < current) {
                    bands_[b] = bestBand;
                    db_[b] = std::move(bestDb);
                    Total();
                    current = Error();
                    improved = true;
                }
            }
        }
    }

    // Takes out, one at a time, the band that helps least while it helps under 0.1 dB.
    void Prune(int& budget) {
        while (!bands_.empty()) {
            const double with = Error();
            std::size_t weakest = 0;
            double least = HUGE_VAL;
            for (std::size_t b = 0; b < bands_.size(); ++b) {
                const double gain = Error(static_cast<std::ptrdiff_t>(b)) - with;
                if (gain < least) {
                    least = gain;
                    weakest = b;
                }
            }
            if (least >= kFlatImprovementDb) {
                return;
            }
            bands_.erase(bands_.begin() + static_cast<std::ptrdiff_t>(weakest));
            db_.erase(db_.begin() + static_cast<std::ptrdiff_t>(weakest));
            Total();
            Refine(budget);
        }
    }

private:
    // The bands' sum per point, summed afresh so that rounding never accumulates.
    void Total() {
        total_.assign(p_.size(), 0.0);
        for (const auto& db : db_) {
            for (std::size_t i = 0; i < p_.size(); ++i) {
                total_[i] += db[i];
            }
        }
    }

    std::vector<EqBand> Moves(const EqBand& b) const {
        std::vector<EqBand> out;
        const auto add = [&](std::int32_t EqBand::*field, const RawRange& range, double to) {
            EqBand c = b;
            c.*field = range.Clamp(to);
            if (c.*field != b.*field) {
                out.push_back(c);
            }
        };
        for (double d : {1.0, 0.004 * b.freq, 0.02 * b.freq, 0.08 * b.freq}) {
            const double step = std::max(1.0, std::round(d));
            add(&EqBand::freq, limits_.freq, b.freq + step);
            add(&EqBand::freq, limits_.freq, b.freq - step);
        }
        for (double d : {1.0, 5.0, 20.0}) {
            add(&EqBand::gain, limits_.gain, b.gain + d);
            add(&EqBand::gain, limits_.gain, b.gain - d);
        }
        for (double d : {1.0, std::round(0.05 * b.q), std::round(0.2 * b.q)}) {
            const double step = std::max(1.0, d);
            add(&EqBand::q, limits_.q, b.q + step);
            add(&EqBand::q, limits_.q, b.q - step);
        }
        return out;
    }

    const Points& p_;
    const std::vector<double>& need_;
    GridLimits limits_;
    double maxBoostDb_;
    std::vector<EqBand> bands_;
    std::vector<std::vector<double>> db_;
    std::vector<double> total_;
};

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
    return {};
}

double ChainErrorRms(const std::vector<double>& hz, const std::vector<double>& measured,
                     const std::vector<double>& target, std::span<const Biquad> chain) {
    std::vector<double> error;
    error.reserve(hz.size());
    for (std::size_t i = 0; i < hz.size(); ++i) {
        error.push_back(measured[i] + ChainMagnitudeDb(chain, hz[i]) - target[i]);
    }
    return Rms(error);
}

AutoEqResult FitAutoEq(const Measurement& m, const TargetSpec& targetSpec,
                       const ChannelParameters& channel, const AutoEqOptions& o) {
    AutoEqResult result;
    result.error = CheckAutoEqOptions(o);
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
    const Points p(LogFrequencies(count, lo, hi));
    result.hz = p.hz;
    result.target = TargetAt(targetSpec, p.hz);

    // The channel with flat bands: only its crossovers shape the measurement.
    DeviceParameters work{};
    work.channels[0] = channel;
    for (int b = 1; b <= kBandCount; ++b) {
        work.channels[0].bands[b] = {kDefaultBandFreq[b - 1], kFlatGain, kFlatQ, {}, 1};
    }
    const std::vector<Biquad> crossovers = ChannelChain(work, 0);
    const std::vector<double> smoothed = SmoothFractionalOctave(m, p.hz, o.smoothing);
    std::vector<double> xoverDb(p.size());
    double offset = 0.0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        xoverDb[i] = ChainMagnitudeDb(crossovers, p.hz[i]);
        offset += result.target[i] - (smoothed[i] + xoverDb[i]);
    }
    offset /= static_cast<double>(p.size());
    std::vector<double> need(p.size());  // what the bands should add
    for (std::size_t i = 0; i < p.size(); ++i) {
        result.measured.push_back(smoothed[i] + offset);
        result.before.push_back(result.measured[i] + xoverDb[i]);
        need[i] = result.target[i] - result.before[i];
    }

    std::vector<ContinuousBand> start = GreedyStart(p, need, o, lo, hi, o.pointsPerOctave);
    FitContinuous(p, need, o, lo, hi, start);

    const GridLimits limits{
        Narrow("ch1.band1.freq", lo, hi),
        Narrow("ch1.band1.gain", kFlatGain + o.maxCutDb * 10.0, kFlatGain + o.maxBoostDb * 10.0),
        Narrow("ch1.band1.q", o.minQ * 10.0, o.maxQ * 10.0)};
    std::vector<EqBand> snapped;
    for (const ContinuousBand& b : start) {
        snapped.push_back({limits.freq.Clamp(std::pow(10.0, b.log10Hz)),
                           limits.gain.Clamp(kFlatGain + b.gainDb * 10.0),
                           limits.q.Clamp(b.q * 10.0),
                           {},
                           1});
    }
    GridSearch grid(p, need, limits, o.maxBoostDb);
    grid.Set(snapped);
    int budget = o.gridEvaluations;
    grid.Refine(budget);
    grid.Prune(budget);

    std::vector<EqBand> fitted = grid.Bands();
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
    // carries it, crossovers included.
    for (int b = 1; b <= kBandCount; ++b) {
        work.channels[0].bands[b] = bands[b - 1];
    }
    const std::vector<Biquad> chain = ChannelChain(work, 0);
    for (std::size_t i = 0; i < p.size(); ++i) {
        result.predicted.push_back(result.measured[i] + ChainMagnitudeDb(chain, p.hz[i]));
    }
    result.rmsBeforeDb = ChainErrorRms(result.hz, result.measured, result.target, crossovers);
    result.rmsAfterDb = ChainErrorRms(result.hz, result.measured, result.target, chain);
    return result;
}

EqImport AutoEqImport(const AutoEqResult& result) {
    EqImport import;
    import.bands = result.bands;
    import.filterCount = result.activeBands;
    return import;
}

}  // namespace quorvell
