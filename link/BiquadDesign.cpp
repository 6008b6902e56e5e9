// SPDX-License-Identifier: GPL-3.0-or-later
// Biquad designs exactly as the processor's firmware expects them (double precision).
#include "BiquadDesign.h"

#include <cmath>

namespace quorvell {
namespace {

constexpr double kOmegaPerHz = 2.0 * kDesignPi / kSampleRate;  // 0.00013089969166666667
constexpr double kHalfOmegaPerHz = kDesignPi / kSampleRate;    // 6.544984583333334e-05

constexpr double kAlphaButterworth2 = 0.7072135785007072;  // 1 / (2 * 0.707)
constexpr double kAlphaBessel2 = 0.8620689655172414;       // 1 / (2 * 0.58)

enum class Pass { High, Low };

std::optional<Biquad> DesignCrossover(Pass pass, double f, int type, double q) {
    const double w0 = f * kOmegaPerHz;
    const double sw = std::sin(w0);
    const double cw = std::cos(w0);
    Biquad r;
    r.a[0] = 1.0;
    switch (type) {
        case 0: {  // Butterworth1: first order
            const double d = cw + sw + 1.0;
            if (pass == Pass::High) {
                r.b = {(cw + 1.0) / d, -(cw + 1.0) / d, 0.0};
            } else {
                r.b = {sw / d, sw / d, 0.0};
            }
            r.a[1] = -(sw - cw - 1.0) / d;
            r.a[2] = -0.0;
            return r;
        }
        case 3: {  // Linkwitz2: the first-order section squared
            const double d = cw + sw + 1.0;
            const double d2 = d * d;
            const double m = sw - cw - 1.0;
            const double n = pass == Pass::High ? (cw + 1.0) * (cw + 1.0) : sw * sw;
            r.b = {n / d2, (pass == Pass::High ? -2.0 : 2.0) * n / d2, n / d2};
            r.a[1] = -2.0 * m * d / d2;
            r.a[2] = -(m * m) / d2;
            return r;
        }
        case 1:
        case 2:
        case 4: {
            const double alpha = type == 1   ? sw * kAlphaButterworth2
                                 : type == 2 ? sw * kAlphaBessel2
                                             : sw / (2.0 * q);
            const double a0 = 1.0 + alpha;
            if (pass == Pass::High) {
                r.b = {(1.0 + cw) / 2.0, -(1.0 + cw), (1.0 + cw) / 2.0};
            } else {
                r.b = {(1.0 - cw) / 2.0, 1.0 - cw, (1.0 - cw) / 2.0};
            }
            for (double& v : r.b) {
                v /= a0;
            }
            r.a[1] = 2.0 * cw / a0;
            r.a[2] = (alpha - 1.0) / a0;
            return r;
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

Biquad DesignPeakingBand(double frequencyHz, double gainDb, double bandwidthHz) {
    const double qb = frequencyHz / bandwidthHz;
    const double k = std::tan(frequencyHz * kHalfOmegaPerHz);
    const double v = std::pow(10.0, gainDb * 0.05);
    const double k2 = k * k;
    const double d = k / qb + k2 + 1.0;
    Biquad r;
    r.b = {(k2 + v * k / qb + 1.0) / d, 2.0 * (k2 - 1.0) / d, (1.0 - v * k / qb + k2) / d};
    r.a = {1.0, -r.b[1], -(1.0 - k / qb + k2) / d};
    return r;
}

std::optional<Biquad> DesignHipass(double frequencyHz, int type, double q) {
    return DesignCrossover(Pass::High, frequencyHz, type, q);
}

std::optional<Biquad> DesignLopass(double frequencyHz, int type, double q) {
    return DesignCrossover(Pass::Low, frequencyHz, type, q);
}

std::uint32_t ToFixed523(double value, bool mask28) {
    const auto scaled = static_cast<std::int64_t>(value * 8388608.0);  // truncates toward zero
    auto word = static_cast<std::uint32_t>(scaled);
    return mask28 ? (word & 0x0FFFFFFFu) : word;
}

bool IsFixed523(double value) {
    return std::isfinite(value) && value >= -16.0 && value < 16.0;
}

bool IsSendable(const Biquad& biquad) {
    for (double v : {biquad.b[0], biquad.b[1], biquad.b[2], biquad.a[1], biquad.a[2]}) {
        if (!IsFixed523(v)) {
            return false;
        }
    }
    return true;
}

}  // namespace quorvell
