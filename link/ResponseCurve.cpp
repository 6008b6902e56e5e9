// SPDX-License-Identifier: GPL-3.0-or-later
// Chain response from quantised coefficients, for the EQ page's curve and its tests.
#include "ResponseCurve.h"

#include <cmath>
#include <complex>
#include <numbers>

#include "Frames.h"

namespace quorvell {

double FromFixed523(std::uint32_t word, bool mask28) {
    std::int64_t v = mask28 ? static_cast<std::int64_t>(word & 0x0FFFFFFFu)
                            : static_cast<std::int64_t>(static_cast<std::int32_t>(word));
    if (mask28 && (v & 0x08000000)) {
        v -= 0x10000000;
    }
    return static_cast<double>(v) / 8388608.0;
}

Biquad QuantizedSection(const Biquad& d, bool mask28) {
    const auto q = [&](double v) { return FromFixed523(ToFixed523(v, mask28), mask28); };
    Biquad r;
    r.b = {q(d.b[0]), q(d.b[1]), q(d.b[2])};
    r.a = {1.0, q(d.a[1]), q(d.a[2])};
    return r;
}

std::vector<Biquad> ChannelChain(const DeviceParameters& params, int channel) {
    std::vector<Biquad> chain;
    const ChannelParameters& ch = params.channels[channel];
    for (int b = 1; b <= kBandCount; ++b) {
        const Biquad d = BandDesign(ch.bands[b].freq, ch.bands[b].gain, ch.bands[b].q);
        if (IsSendable(d)) {
            chain.push_back(QuantizedSection(d, true));
        }
    }
    // High-pass words travel as full 32-bit values, low-pass words masked to 28 bits.
    if (auto hp = CrossoverDesign(true, ch.hipass.freq, ch.hipass.type, ch.hipass.q);
        hp && IsSendable(*hp)) {
        chain.push_back(QuantizedSection(*hp, false));
    }
    if (auto lp = CrossoverDesign(false, ch.lopass.freq, ch.lopass.type, ch.lopass.q);
        lp && IsSendable(*lp)) {
        chain.push_back(QuantizedSection(*lp, true));
    }
    return chain;
}

double ChainMagnitudeDb(std::span<const Biquad> chain, double hz) {
    const double w = 2.0 * std::numbers::pi * hz / kSampleRate;
    const std::complex<double> z1 = std::polar(1.0, -w);
    const std::complex<double> z2 = z1 * z1;
    double db = 0.0;
    for (const Biquad& s : chain) {
        const auto num = s.b[0] + s.b[1] * z1 + s.b[2] * z2;
        const auto den = 1.0 - s.a[1] * z1 - s.a[2] * z2;
        const double mag = std::abs(num / den);
        db += 20.0 * std::log10(std::max(mag, 1e-12));
    }
    return db;
}

std::vector<double> LogFrequencies(int count, double lowHz, double highHz) {
    std::vector<double> f;
    if (count <= 0) {
        return f;
    }
    f.reserve(static_cast<std::size_t>(count));
    const double ratio = count > 1 ? std::log(highHz / lowHz) / (count - 1) : 0.0;
    for (int i = 0; i < count; ++i) {
        f.push_back(lowHz * std::exp(ratio * i));
    }
    return f;
}

}  // namespace quorvell
