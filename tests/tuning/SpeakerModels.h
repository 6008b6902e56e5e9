// SPDX-License-Identifier: GPL-3.0-or-later
// Speaker and room responses made from physical models (analog transfer functions of driver
// roll-offs, box and room resonances, baffle steps and interference nulls), and the corpus of
// measurements the auto EQ fit is judged on, with the crossovers set on each channel.
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "AutoEqFit.h"
#include "ResponseCurve.h"

namespace quorvell::speaker {

using Response = std::function<std::complex<double>(double hz)>;

inline std::complex<double> S(double hz, double cornerHz) {
    return {0.0, hz / cornerHz};
}

// A driver's low end: second-order high-pass of total Q `q` (a sealed box).
inline Response SealedBox(double fcHz, double q) {
    return [=](double hz) {
        const auto s = S(hz, fcHz);
        return s * s / (s * s + s / q + 1.0);
    };
}

// A vented box: fourth-order high-pass as two second-order sections.
inline Response VentedBox(double fcHz) {
    return [=](double hz) {
        const auto s = S(hz, fcHz);
        return s * s / (s * s + s / 0.54 + 1.0) * (s * s / (s * s + s / 1.31 + 1.0));
    };
}

// The top end of a driver: second-order low-pass with its own Q (a cone or dome breakup).
inline Response Breakup(double fcHz, double q) {
    return [=](double hz) {
        const auto s = S(hz, fcHz);
        return 1.0 / (s * s + s / q + 1.0);
    };
}

// A resonance of quality `q` adding `level` times its peak to the direct sound (a box or room
// mode; negative levels are cancellations).
inline Response Mode(double hz0, double q, double level) {
    return [=](double hz) {
        const auto s = S(hz, hz0);
        return 1.0 + level * (s / q) / (s * s + s / q + 1.0);
    };
}

// The baffle step: half the pressure (-6 dB) below `hz0`, full above.
inline Response BaffleStep(double hz0) {
    return [=](double hz) { return (0.5 + S(hz, hz0)) / (1.0 + S(hz, hz0)); };
}

// A narrow interference null `depthDb` deep with quality `q`.
inline Response Null(double hz0, double q, double depthDb) {
    const double d = std::pow(10.0, -std::abs(depthDb) / 20.0);
    return [=](double hz) {
        const auto s = S(hz, hz0);
        return (s * s + s * d / q + 1.0) / (s * s + s / q + 1.0);
    };
}

// `levelDb` + the product of `parts` on 600 points 20 Hz..20 kHz, with Gaussian noise of
// `noiseDb` from `seed` (the same every run).
inline Measurement Measure(const std::vector<Response>& parts, double noiseDb, std::uint32_t seed,
                           double levelDb = 86.0) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, noiseDb);
    Measurement m;
    m.hz = LogFrequencies(600, 20.0, 20000.0);
    for (double hz : m.hz) {
        std::complex<double> h = 1.0;
        for (const Response& r : parts) {
            h *= r(hz);
        }
        m.db.push_back(levelDb + 20.0 * std::log10(std::abs(h)) +
                       (noiseDb > 0.0 ? noise(rng) : 0.0));
    }
    return m;
}

struct Case {
    std::string name;
    Measurement measurement;
    ChannelParameters channel;  // its crossovers are the installer's
    AutoEqOptions options;
    double tiltDbPerOctave = 0.0;
    std::vector<double> nullsHz;  // narrow deep nulls the bands must leave alone
    double bestKnownDb = 0.0;     // the lowest error a slow multi-start search found (0: none)
    double flatWithinDb = 0.0;    // when above 0: the bands stay this close to 0 dB
};

inline ChannelParameters Channel(int hpHz, FilterType hp, int lpHz, FilterType lp) {
    DeviceParameters p{};
    ResetDeviceParameters(p);
    ChannelParameters ch = p.channels[0];
    ch.hipass = {hpHz, static_cast<std::int32_t>(hp), 0};
    ch.lopass = {lpHz, static_cast<std::int32_t>(lp), 0};
    return ch;
}

inline ChannelParameters StartupChannel() {
    return Channel(20, FilterType::Butterworth2, 20000, FilterType::Butterworth2);
}

// Best-known errors: the lowest that `quorvell_bench_autoeq --reference` (the best of many
// searches with up to six times the budgets and many random starts) or an earlier slower
// search has found.
inline std::vector<Case> Corpus() {
    using enum FilterType;
    std::vector<Case> c;
    c.push_back({"flat mid behind LR2 100 Hz / BW2 3 kHz",
                 Measure({}, 0.2, 1),
                 Channel(100, Linkwitz2, 3000, Butterworth2),
                 {},
                 0.0,
                 {},
                 0.057,
                 0.5});
    c.push_back(
        {"tweeter behind a 2.5 kHz high-pass",
         Measure({SealedBox(1100, 0.8), Mode(6500, 3.0, 0.6), Breakup(24000, 0.9)}, 0.25, 2),
         Channel(2500, Linkwitz2, 20000, Butterworth2),
         {},
         0.0,
         {},
         0.088});
    c.push_back(
        {"sealed woofer with baffle step behind LR2 1.8 kHz",
         Measure({SealedBox(38, 1.1), BaffleStep(450), Mode(1400, 4.0, 0.8), Breakup(3500, 1.6)},
                 0.25, 3),
         Channel(30, Butterworth2, 1800, Linkwitz2),
         {},
         0.0,
         {},
         0.721});
    c.push_back({"full-range vented speaker, start-up filters",
                 Measure({VentedBox(30), BaffleStep(380), Mode(2800, 2.0, -0.45),
                          Mode(9000, 1.5, 0.5), Breakup(18000, 0.8)},
                         0.3, 4),
                 StartupChannel(),
                 {},
                 -0.5,
                 {},
                 1.897});
    c.push_back({"room modes below 300 Hz",
                 Measure({Mode(38, 7.0, 2.0), Mode(64, 5.0, 1.2), Mode(105, 3.0, -0.55),
                          Mode(170, 6.0, 0.9), SealedBox(28, 0.7)},
                         0.3, 5),
                 StartupChannel(),
                 {.highHz = 300},
                 0.0,
                 {},
                 0.270});
    c.push_back({"room modes within tight limits",
                 c.back().measurement,
                 StartupChannel(),
                 {.highHz = 300, .maxBoostDb = 3.0, .maxCutDb = -6.0, .minQ = 1.0, .maxQ = 5.0},
                 0.0,
                 {},
                 1.321,
                 0.0});
    c.push_back({"two narrow deep nulls on a speaker",
                 Measure({BaffleStep(300), Null(900, 25.0, 25.0), Null(3300, 30.0, 25.0),
                          Mode(5500, 2.0, 0.6)},
                         0.25, 6),
                 Channel(60, Butterworth2, 20000, Butterworth2),
                 {},
                 0.0,
                 {900, 3300},
                 0.271});
    return c;
}

}  // namespace quorvell::speaker
