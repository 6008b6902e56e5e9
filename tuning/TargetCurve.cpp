// SPDX-License-Identifier: GPL-3.0-or-later
// Log-frequency interpolation and smoothing of measured curves, and fit targets.
#include "TargetCurve.h"

#include <algorithm>
#include <cmath>

namespace quorvell {
namespace {

// Integral over log2 frequency of the piecewise-linear curve, from its first point to `u`.
class LogIntegral {
public:
    explicit LogIntegral(const Measurement& c) : db_(c.db) {
        u_.reserve(c.hz.size());
        for (double f : c.hz) {
            u_.push_back(std::log2(f));
        }
        sum_.assign(u_.size(), 0.0);
        for (std::size_t i = 1; i < u_.size(); ++i) {
            sum_[i] = sum_[i - 1] + 0.5 * (db_[i - 1] + db_[i]) * (u_[i] - u_[i - 1]);
        }
    }
    double Front() const { return u_.front(); }
    double Back() const { return u_.back(); }

    // u must lie inside [Front, Back].
    double At(double u) const {
        const auto it = std::upper_bound(u_.begin(), u_.end(), u);
        const std::size_t i = it == u_.begin() ? 0 : static_cast<std::size_t>(it - u_.begin()) - 1;
        if (i + 1 >= u_.size()) {
            return sum_.back();
        }
        const double t = u - u_[i];
        const double slope = (db_[i + 1] - db_[i]) / (u_[i + 1] - u_[i]);
        return sum_[i] + t * (db_[i] + 0.5 * slope * t);
    }

private:
    const std::vector<double>& db_;
    std::vector<double> u_;
    std::vector<double> sum_;
};

}  // namespace

double InterpolateLog(const Measurement& c, double hz) {
    if (c.hz.empty()) {
        return 0.0;
    }
    if (hz <= c.hz.front()) {
        return c.db.front();
    }
    if (hz >= c.hz.back()) {
        return c.db.back();
    }
    const auto it = std::upper_bound(c.hz.begin(), c.hz.end(), hz);
    const std::size_t i = static_cast<std::size_t>(it - c.hz.begin()) - 1;
    const double t = std::log(hz / c.hz[i]) / std::log(c.hz[i + 1] / c.hz[i]);
    return c.db[i] + t * (c.db[i + 1] - c.db[i]);
}

std::vector<double> SmoothFractionalOctave(const Measurement& c, std::span<const double> hz,
                                           int fraction) {
    std::vector<double> out;
    out.reserve(hz.size());
    if (fraction <= 0 || c.hz.size() < 2) {
        for (double f : hz) {
            out.push_back(InterpolateLog(c, f));
        }
        return out;
    }
    const LogIntegral integral(c);
    const double half = 0.5 / fraction;
    for (double f : hz) {
        const double u = std::log2(f);
        const double lo = std::clamp(u - half, integral.Front(), integral.Back());
        const double hi = std::clamp(u + half, integral.Front(), integral.Back());
        out.push_back(hi - lo > 1e-12 ? (integral.At(hi) - integral.At(lo)) / (hi - lo)
                                      : InterpolateLog(c, f));
    }
    return out;
}

std::vector<double> TargetAt(const TargetSpec& target, std::span<const double> hz) {
    std::vector<double> out;
    out.reserve(hz.size());
    for (double f : hz) {
        out.push_back(target.curve ? InterpolateLog(*target.curve, f)
                                   : target.tiltDbPerOctave * std::log2(f / 1000.0));
    }
    return out;
}

}  // namespace quorvell
