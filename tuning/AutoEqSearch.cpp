// SPDX-License-Identifier: GPL-3.0-or-later
// The auto EQ search: greedy, smoothed and seeded random starts, NLopt BOBYQA over
// (log10 fc, gain, Q), then a coordinate search on the raw grid with quantised sections,
// relocation of single bands and of pairs, pruning and a final check for a band that would still
// help.
#include "AutoEqSearch.h"

#include <algorithm>
#include <cmath>
#include <nlopt.hpp>
#include <numbers>
#include <random>
#include <tuple>

#include "BiquadDesign.h"
#include "Frames.h"
#include "ResponseCurve.h"

namespace quorvell {
namespace {

constexpr double kFlatImprovementDb = 0.1;  // a band that helps less than this stays flat
// Weight of the squared boost beyond the cap in the objective (not in the reported error).
constexpr double kExcessBoostWeight = 10000.0;
constexpr std::int32_t kFlatGain = 180;
constexpr int kFinalists = 2;  // starts carried onto the grid
constexpr int kRelocationPasses = 4;
constexpr std::size_t kExactCandidates = 6;  // replacements evaluated exactly per band
// A pair's two new bands, refined alone, within this of the error before: worth refining all.
constexpr double kPromisingPairDb = 0.05;

Biquad GridDesign(const EqBand& b) {
    return QuantizedSection(BandDesign(b.freq, b.gain, b.q), true);
}

// |H(e^jw)|^2 of a section: |sum c_k e^-jkw|^2 = sum c_k^2 + 2 sum c_k c_l cos((l-k)w).
double SectionPower(const Biquad& s, double c1, double c2) {
    const auto power = [&](double p0, double p1, double p2) {
        return p0 * p0 + p1 * p1 + p2 * p2 + 2.0 * (p0 * p1 + p1 * p2) * c1 + 2.0 * p0 * p2 * c2;
    };
    return power(s.b[0], s.b[1], s.b[2]) / power(1.0, -s.a[1], -s.a[2]);
}

// Bound-constrained continuous fit of all bands at once, from `bands`; leaves the best point
// seen in `bands` and returns its objective.
double FitContinuous(const FitProblem& f, std::vector<ContinuousBand>& bands, int evaluations) {
    const std::size_t k = bands.size();
    const AutoEqOptions& o = f.options;
    if (k == 0) {
        return FitObjective(f, std::vector<double>(f.p.size(), 0.0));
    }
    std::vector<double> x, lower, upper, step;
    for (const ContinuousBand& b : bands) {
        x.insert(x.end(), {b.log10Hz, b.gainDb, b.q});
        lower.insert(lower.end(), {std::log10(f.lo), o.maxCutDb, o.minQ});
        upper.insert(upper.end(), {std::log10(f.hi), o.maxBoostDb, o.maxQ});
        step.insert(step.end(), {0.03, 1.0, std::max(0.05, 0.2 * b.q)});
    }
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = std::clamp(x[i], lower[i], upper[i]);
        // BOBYQA needs room around the start for its first steps.
        step[i] = std::min(step[i], std::max(1e-6, 0.5 * (upper[i] - lower[i])));
    }
    struct State {
        const FitProblem& f;
        std::size_t k;
        std::vector<double> bestX;
        double bestF = HUGE_VAL;
        std::vector<double> power, eq;
    } state{f, k, x, HUGE_VAL, std::vector<double>(f.p.size()), std::vector<double>(f.p.size())};
    const auto objective = [](unsigned, const double* v, double*, void* data) -> double {
        auto& s = *static_cast<State*>(data);
        // Numerators and denominators multiplied apart: one division per point.
        std::fill(s.power.begin(), s.power.end(), 1.0);
        std::fill(s.eq.begin(), s.eq.end(), 1.0);
        for (std::size_t b = 0; b < s.k; ++b) {
            const Biquad d = ContinuousDesign({v[3 * b], v[3 * b + 1], v[3 * b + 2]});
            const double n0 = d.b[0] * d.b[0] + d.b[1] * d.b[1] + d.b[2] * d.b[2];
            const double n1 = 2.0 * (d.b[0] * d.b[1] + d.b[1] * d.b[2]), n2 = 2.0 * d.b[0] * d.b[2];
            const double d0 = 1.0 + d.a[1] * d.a[1] + d.a[2] * d.a[2];
            const double d1 = 2.0 * (-d.a[1] + d.a[1] * d.a[2]), d2 = -2.0 * d.a[2];
            for (std::size_t i = 0; i < s.f.p.size(); ++i) {
                const double c1 = s.f.p.cos1[i], c2 = s.f.p.cos2[i];
                s.power[i] *= n0 + n1 * c1 + n2 * c2;
                s.eq[i] *= d0 + d1 * c1 + d2 * c2;
            }
        }
        for (std::size_t i = 0; i < s.f.p.size(); ++i) {
            s.eq[i] = 10.0 * std::log10(std::max(s.power[i] / s.eq[i], 1e-24));
        }
        const double e = FitObjective(s.f, s.eq);
        if (e < s.bestF) {
            s.bestF = e;
            s.bestX.assign(v, v + 3 * s.k);
        }
        return e;
    };
    nlopt::opt opt(nlopt::LN_BOBYQA, static_cast<unsigned>(x.size()));
    opt.set_lower_bounds(lower);
    opt.set_upper_bounds(upper);
    opt.set_initial_step(step);
    opt.set_min_objective(objective, &state);
    opt.set_maxeval(std::max(evaluations, 2 * static_cast<int>(x.size()) + 2));
    opt.set_ftol_abs(1e-7);
    opt.set_xtol_rel(1e-6);
    double value = 0.0;
    try {
        opt.optimize(x, value);
    } catch (const std::exception&) {
        // A round-off stop or a failure: the best point seen so far stands. A stop request
        // reaches here as NLopt's own forced stop and leaves the whole search.
        if (StopRequested(f)) {
            throw FitStopped{};
        }
    }
    for (std::size_t b = 0; b < k; ++b) {
        bands[b] = {state.bestX[3 * b], state.bestX[3 * b + 1], state.bestX[3 * b + 2]};
    }
    return state.bestF;
}

// Single bands on a coarse grid of frequency (1/12 octave) and Q, each at +6 dB: the shapes
// a replacement band is chosen from. The dB response of a peaking band scales nearly in
// proportion with its gain, so one shape serves every gain.
struct Candidates {
    std::vector<EqBand> band;
    std::vector<std::vector<double>> db;
};

Candidates MakeCandidates(const FitProblem& f) {
    Candidates c;
    std::vector<std::int32_t> qs;
    for (double q : {f.options.minQ, 0.5, 0.7, 1.0, 1.4, 2.0, 2.8, 4.0, 5.6, 8.0, 11.0, 16.0,
                     f.options.maxQ}) {
        if (q >= f.options.minQ && q <= f.options.maxQ) {
            qs.push_back(f.limits.q.Clamp(q * 10.0));
        }
    }
    std::sort(qs.begin(), qs.end());
    qs.erase(std::unique(qs.begin(), qs.end()), qs.end());
    std::int32_t last = -1;
    for (double hz = f.lo; hz <= f.hi * 1.0001; hz *= std::pow(2.0, 1.0 / 12.0)) {
        const std::int32_t raw = f.limits.freq.Clamp(hz);
        if (raw == last) {
            continue;
        }
        last = raw;
        for (std::int32_t q : qs) {
            c.band.push_back({raw, kFlatGain + 60, q, {}, 1});
            c.db.emplace_back();
            SectionDb(GridDesign(c.band.back()), f.p, c.db.back());
        }
    }
    return c;
}

// Coordinate search on the raw grid; each band's quantised response is cached.
class GridSearch {
public:
    GridSearch(const FitProblem& f, const Candidates& candidates)
        : f_(f), candidates_(candidates) {}

    void Set(std::vector<EqBand> bands) {
        bands_ = std::move(bands);
        db_.assign(bands_.size(), {});
        for (std::size_t b = 0; b < bands_.size(); ++b) {
            SectionDb(GridDesign(bands_[b]), f_.p, db_[b]);
        }
        Total();
    }
    const std::vector<EqBand>& Bands() const { return bands_; }

    // The objective with band `skip` taken out (or none), and band `swap` replaced by
    // `trial`.
    double Error(std::ptrdiff_t skip = -1, std::ptrdiff_t swap = -1,
                 const std::vector<double>* trial = nullptr) {
        const std::vector<double>* out = skip >= 0   ? &db_[static_cast<std::size_t>(skip)]
                                         : swap >= 0 ? &db_[static_cast<std::size_t>(swap)]
                                                     : nullptr;
        scratch_ = total_;
        for (std::size_t i = 0; i < f_.p.size(); ++i) {
            if (out != nullptr) {
                scratch_[i] -= (*out)[i];
            }
            if (swap >= 0) {
                scratch_[i] += (*trial)[i];
            }
        }
        return FitObjective(f_, scratch_);
    }

    // Best single-field moves of every band (or of band `only`) until none helps or the
    // budget is spent.
    void Refine(int& budget, std::ptrdiff_t only = -1) {
        double current = Error();
        std::vector<double> trial;
        bool improved = true;
        while (improved && budget > 0) {
            improved = false;
            for (std::size_t b = 0; b < bands_.size() && budget > 0; ++b) {
                if (only >= 0 && b != static_cast<std::size_t>(only)) {
                    continue;
                }
                EqBand bestBand = bands_[b];
                double bestError = current;
                std::vector<double> bestDb;
                for (const EqBand& c : Moves(bands_[b])) {
                    if (budget-- <= 0) {
                        break;
                    }
                    SectionDb(GridDesign(c), f_.p, trial);
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
            Remove(weakest);
            Refine(budget);
        }
    }

    // Each band in turn is taken out and the best single band for what the others leave is
    // put in its place; the change stays when the refined whole is better.
    void Relocate(int& budget) {
        for (int pass = 0; pass < kRelocationPasses && budget > 0; ++pass) {
            bool moved = false;
            for (std::size_t b = 0; b < bands_.size() && budget > 0; ++b) {
                const double before = Error();
                const auto savedBands = bands_;
                const auto savedDb = db_;
                Remove(b);
                Add(BestAddition());
                Refine(budget, static_cast<std::ptrdiff_t>(bands_.size()) - 1);
                if (Error() < before - 1e-9) {
                    moved = true;
                } else {
                    bands_ = savedBands;
                    db_ = savedDb;
                    Total();
                }
            }
            Refine(budget);
            if (!moved) {
                return;
            }
        }
    }

    // Each pair of bands in turn, nearest in frequency first, is taken out and two
    // replacements placed one after the other at their best for what the rest leaves; the
    // change stays when the refined whole is better. Two bands that shape one feature together
    // (a steep edge by a crossover, a broad boost beside a narrow one) are out of reach of
    // single-band moves.
    void RelocatePairs(int& budget) {
        std::vector<std::tuple<double, EqBand, EqBand>> pairs;
        for (std::size_t a = 0; a < bands_.size(); ++a) {
            for (std::size_t b = a + 1; b < bands_.size(); ++b) {
                const double octaves =
                    std::abs(std::log2(static_cast<double>(bands_[a].freq) / bands_[b].freq));
                pairs.emplace_back(octaves, bands_[a], bands_[b]);
            }
        }
        std::stable_sort(pairs.begin(), pairs.end(), [](const auto& x, const auto& y) {
            return std::get<0>(x) < std::get<0>(y);
        });
        for (const auto& [octaves, first, second] : pairs) {
            if (budget <= 0) {
                return;
            }
            // An earlier change may have moved either band: such a pair is gone.
            const auto a = IndexOf(first), b = IndexOf(second);
            if (a < 0 || b < 0 || a == b) {
                continue;
            }
            const double before = Error();
            const auto savedBands = bands_;
            const auto savedDb = db_;
            Remove(static_cast<std::size_t>(std::max(a, b)));
            Remove(static_cast<std::size_t>(std::min(a, b)));
            for (int added = 0; added < 2; ++added) {
                Add(BestAddition());
                Refine(budget, static_cast<std::ptrdiff_t>(bands_.size()) - 1);
            }
            Refine(budget, static_cast<std::ptrdiff_t>(bands_.size()) - 2);
            // Refining the whole is most of the cost: only for a promising placement.
            if (Error() < before + kPromisingPairDb) {
                Refine(budget);
            }
            if (Error() >= before - 1e-9) {
                bands_ = savedBands;
                db_ = savedDb;
                Total();
            }
        }
    }

    // Adds bands while a free one, placed at its best and refined with the rest, lowers the
    // error by at least the amount a band must earn.
    void FillFreeBands(int& budget) {
        while (static_cast<int>(bands_.size()) < kBandCount && budget > 0) {
            const double before = Error();
            const auto savedBands = bands_;
            const auto savedDb = db_;
            Add(BestAddition());
            Refine(budget);
            if (Error() > before - kFlatImprovementDb) {
                bands_ = savedBands;
                db_ = savedDb;
                Total();
                return;
            }
        }
    }

private:
    // The candidate that best fits what the bands leave, its gain scaled to fit, then
    // the few best by that estimate compared exactly.
    EqBand BestAddition() {
        const std::size_t n = f_.p.size();
        std::vector<double> rest(n);
        for (std::size_t i = 0; i < n; ++i) {
            rest[i] = f_.need[i] - total_[i];
        }
        const double lo = (f_.limits.gain.lo - kFlatGain) / 60.0;
        const double hi = (f_.limits.gain.hi - kFlatGain) / 60.0;
        std::vector<std::pair<double, EqBand>> ranked;
        ranked.reserve(candidates_.band.size());
        for (std::size_t c = 0; c < candidates_.band.size(); ++c) {
            const std::vector<double>& s = candidates_.db[c];
            double a = 0.0, b = 0.0;
            for (std::size_t i = 0; i < n; ++i) {
                a += f_.weight[i] * rest[i] * s[i];
                b += f_.weight[i] * s[i] * s[i];
            }
            if (b <= 1e-12) {
                continue;
            }
            const double scale = std::clamp(a / b, lo, hi);
            EqBand band = candidates_.band[c];
            band.gain = f_.limits.gain.Clamp(kFlatGain + 60.0 * scale);
            ranked.emplace_back(scale * scale * b - 2.0 * scale * a, band);
        }
        const std::size_t keep = std::min(kExactCandidates, ranked.size());
        std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(keep),
                          ranked.end(), [](const auto& x, const auto& y) {
                              return x.first < y.first ||
                                     (x.first == y.first && x.second.freq < y.second.freq);
                          });
        EqBand best{f_.limits.freq.Clamp(1000.0), kFlatGain, f_.limits.q.Clamp(10.0), {}, 1};
        double bestError = HUGE_VAL;
        std::vector<double> db;
        for (std::size_t c = 0; c < keep; ++c) {
            SectionDb(GridDesign(ranked[c].second), f_.p, db);
            for (std::size_t i = 0; i < n; ++i) {
                db[i] += total_[i];
            }
            const double e = FitObjective(f_, db);
            if (e < bestError) {
                bestError = e;
                best = ranked[c].second;
            }
        }
        return best;
    }

    std::ptrdiff_t IndexOf(const EqBand& band) const {
        const auto it = std::find_if(bands_.begin(), bands_.end(), [&](const EqBand& x) {
            return x.freq == band.freq && x.gain == band.gain && x.q == band.q;
        });
        return it == bands_.end() ? -1 : it - bands_.begin();
    }

    void Add(const EqBand& band) {
        bands_.push_back(band);
        db_.emplace_back();
        SectionDb(GridDesign(band), f_.p, db_.back());
        Total();
    }

    void Remove(std::size_t b) {
        bands_.erase(bands_.begin() + static_cast<std::ptrdiff_t>(b));
        db_.erase(db_.begin() + static_cast<std::ptrdiff_t>(b));
        Total();
    }

    // The bands' sum per point, summed afresh so that rounding never accumulates.
    void Total() {
        total_.assign(f_.p.size(), 0.0);
        for (const auto& db : db_) {
            for (std::size_t i = 0; i < f_.p.size(); ++i) {
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
            add(&EqBand::freq, f_.limits.freq, b.freq + step);
            add(&EqBand::freq, f_.limits.freq, b.freq - step);
        }
        for (double d : {1.0, 5.0, 20.0}) {
            add(&EqBand::gain, f_.limits.gain, b.gain + d);
            add(&EqBand::gain, f_.limits.gain, b.gain - d);
        }
        for (double d : {1.0, std::round(0.05 * b.q), std::round(0.2 * b.q)}) {
            const double step = std::max(1.0, d);
            add(&EqBand::q, f_.limits.q, b.q + step);
            add(&EqBand::q, f_.limits.q, b.q - step);
        }
        return out;
    }

    const FitProblem& f_;
    const Candidates& candidates_;
    std::vector<EqBand> bands_;
    std::vector<std::vector<double>> db_;
    std::vector<double> total_, scratch_;
};

std::vector<EqBand> Snap(const FitProblem& f, const std::vector<ContinuousBand>& bands) {
    std::vector<EqBand> out;
    for (const ContinuousBand& b : bands) {
        out.push_back({f.limits.freq.Clamp(std::pow(10.0, b.log10Hz)),
                       f.limits.gain.Clamp(kFlatGain + b.gainDb * 10.0),
                       f.limits.q.Clamp(b.q * 10.0),
                       {},
                       1});
    }
    return out;
}

// Every `step`th point: the starts and the continuous fit need no finer a grid than a
// smoothed curve has detail, and take half the time on it.
FitProblem Thinned(const FitProblem& f, std::size_t step) {
    std::vector<double> hz;
    FitProblem out{FitPoints({}), {}, {}, {}, f.lo, f.hi, f.options, f.limits};
    for (std::size_t i = 0; i < f.p.size(); i += step) {
        hz.push_back(f.p.hz[i]);
        out.need.push_back(f.need[i]);
        out.weight.push_back(f.weight[i]);
        out.cap.push_back(f.cap[i]);
    }
    out.p = FitPoints(std::move(hz));
    out.options.pointsPerOctave = std::max(1, f.options.pointsPerOctave / static_cast<int>(step));
    return out;
}

}  // namespace

FitPoints::FitPoints(std::vector<double> f) : hz(std::move(f)) {
    for (double x : hz) {
        const double w = 2.0 * std::numbers::pi * x / kSampleRate;
        cos1.push_back(std::cos(w));
        cos2.push_back(std::cos(2.0 * w));
    }
}

std::int32_t RawRange::Clamp(double v) const {
    return static_cast<std::int32_t>(std::clamp(std::lround(v), long{lo}, long{hi}));
}

void SectionDb(const Biquad& s, const FitPoints& p, std::vector<double>& out) {
    out.resize(p.size());
    for (std::size_t i = 0; i < p.size(); ++i) {
        out[i] = 10.0 * std::log10(std::max(SectionPower(s, p.cos1[i], p.cos2[i]), 1e-24));
    }
}

double FitObjective(const FitProblem& f, const std::vector<double>& eq) {
    if (StopRequested(f)) {
        throw FitStopped{};
    }
    double error = 0.0, excess = 0.0, weight = 0.0;
    for (std::size_t i = 0; i < eq.size(); ++i) {
        const double e = eq[i] - f.need[i];
        error += f.weight[i] * e * e;
        weight += f.weight[i];
        const double over = std::max(0.0, eq[i] - f.cap[i]);
        excess += over * over;
    }
    const double n = std::max<double>(1.0, static_cast<double>(eq.size()));
    return std::sqrt(error / std::max(weight, 1e-12) + kExcessBoostWeight * excess / n);
}

std::vector<EqBand> SearchBands(const FitProblem& fine) {
    const AutoEqOptions& o = fine.options;
    const FitProblem f = Thinned(fine, 2);
    std::vector<std::vector<ContinuousBand>> starts;
    starts.push_back(GreedyStart(f, MaskedNeed(f, 0.0), true));
    starts.push_back(GreedyStart(f, MaskedNeed(f, 0.0), false));
    for (double octaves : {1.0 / 3.0, 1.0, 2.0}) {
        starts.push_back(GreedyStart(f, MaskedNeed(f, octaves), true));
    }
    std::mt19937 rng(o.seed);
    for (int i = 0; i < o.randomStarts; ++i) {
        starts.push_back(RandomStart(f, rng));
    }

    // The continuous budget is set for a full-range fit; a narrower range has fewer points,
    // so that the same work buys it more evaluations (up to three times as many).
    const double scale = std::clamp(
        static_cast<double>(10 * o.pointsPerOctave / 2) / static_cast<double>(f.p.size()), 1.0,
        3.0);
    const int continuous = static_cast<int>(scale * o.continuousEvaluations);
    // A short fit from every start, a longer one from the best few.
    const int shortRun = continuous / (2 * static_cast<int>(starts.size()));
    std::vector<std::pair<double, std::size_t>> scores;
    for (std::size_t s = 0; s < starts.size(); ++s) {
        scores.emplace_back(FitContinuous(f, starts[s], shortRun), s);
    }
    std::sort(scores.begin(), scores.end());
    const Candidates candidates = MakeCandidates(fine);
    GridSearch grid(fine, candidates);
    std::vector<EqBand> best;
    double bestError = HUGE_VAL;
    const std::size_t finalists = std::min<std::size_t>(kFinalists, scores.size());
    for (std::size_t r = 0; r < finalists; ++r) {
        std::vector<ContinuousBand>& start = starts[scores[r].second];
        FitContinuous(f, start, continuous / (2 * kFinalists));
        grid.Set(Snap(fine, start));
        int share = o.gridEvaluations / (3 * kFinalists);
        grid.Refine(share);
        if (const double e = grid.Error(); e < bestError) {
            bestError = e;
            best = grid.Bands();
        }
    }
    // Then relocation, of single bands and then of pairs, and what it leaves for pruning and
    // the free bands.
    int relocation = o.gridEvaluations / 2;
    grid.Set(best);
    grid.Relocate(relocation);
    int pairs = o.gridEvaluations / 3 + relocation;
    grid.RelocatePairs(pairs);
    int rest = o.gridEvaluations / 6 + pairs;
    grid.Prune(rest);
    grid.FillFreeBands(rest);
    grid.Prune(rest);

    // Bands that only cancel each other survive pruning one at a time: when flat bands come
    // within 0.1 dB per band of the fit, bands added one by one from flat may do better.
    const std::vector<EqBand> kept = grid.Bands();
    const double keptScore = grid.Error() + kFlatImprovementDb * static_cast<double>(kept.size());
    grid.Set({});
    if (grid.Error() >= keptScore) {
        return kept;
    }
    int fromFlat = o.gridEvaluations / 6;
    grid.FillFreeBands(fromFlat);
    grid.Prune(fromFlat);
    const double flatScore =
        grid.Error() + kFlatImprovementDb * static_cast<double>(grid.Bands().size());
    return flatScore <= keptScore ? grid.Bands() : kept;
}

}  // namespace quorvell
