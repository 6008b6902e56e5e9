// Auto EQ fit time per channel on a 500-point 20..20000 Hz measurement, and the RMS error
// before and after on synthetic room curves (modes below 300 Hz) and tilted speakers,
// generated here from fixed seeds so that every run measures the same curves.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "AutoEqFit.h"
#include "BiquadDesign.h"
#include "ResponseCurve.h"

namespace quorvell {
namespace {

constexpr int kPoints = 500;

ChannelParameters StartupChannel() {
    DeviceParameters p{};
    ResetDeviceParameters(p);
    return p.channels[0];
}

// A room: four to six modes between 30 and 300 Hz, a little ripple and noise above.
Measurement Room(std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> logHz(std::log(30.0), std::log(300.0));
    std::uniform_real_distribution<double> gain(-10.0, 10.0), q(2.0, 10.0);
    std::normal_distribution<double> noise(0.0, 0.3);
    std::vector<Biquad> modes;
    const int count = 4 + static_cast<int>(rng() % 3);
    for (int i = 0; i < count; ++i) {
        const double f = std::exp(logHz(rng));
        modes.push_back(DesignPeakingBand(f, gain(rng), f / q(rng)));
    }
    Measurement m;
    m.hz = LogFrequencies(kPoints, 20.0, 20000.0);
    for (double f : m.hz) {
        const double above = f > 300.0 ? 0.8 * std::sin(7.0 * std::log(f)) + noise(rng) : 0.0;
        m.db.push_back(85.0 + ChainMagnitudeDb(modes, f) + above);
    }
    return m;
}

// A speaker: a falling tilt, a second-order roll-off near 50 Hz, a presence bump and ripple.
Measurement Speaker(std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> tilt(-1.2, -0.4), bump(-4.0, 4.0);
    std::normal_distribution<double> noise(0.0, 0.3);
    const double t = tilt(rng);
    const std::vector<Biquad> shape = {*DesignHipass(45.0 + rng() % 20, 1, 0.7),
                                       DesignPeakingBand(2500.0, bump(rng), 2500.0 / 1.5)};
    Measurement m;
    m.hz = LogFrequencies(kPoints, 20.0, 20000.0);
    for (double f : m.hz) {
        m.db.push_back(88.0 + t * std::log2(f / 1000.0) + ChainMagnitudeDb(shape, f) +
                       0.5 * std::sin(11.0 * std::log(f)) + noise(rng));
    }
    return m;
}

void BM_FitChannelFullRange(benchmark::State& state) {
    const Measurement m = Room(1);
    const ChannelParameters ch = StartupChannel();
    AutoEqResult r;
    for (auto _ : state) {
        r = FitAutoEq(m, {}, ch, {});
    }
    state.counters["rms_before_db"] = r.rmsBeforeDb;
    state.counters["rms_after_db"] = r.rmsAfterDb;
    state.counters["bands"] = r.activeBands;
}
BENCHMARK(BM_FitChannelFullRange)->Unit(benchmark::kMillisecond);

// Arg: the seed. Rooms are fitted over 20..300 Hz, speakers over 20..20000 Hz to flat.
void BM_Room(benchmark::State& state) {
    const Measurement m = Room(static_cast<std::uint32_t>(state.range(0)));
    AutoEqOptions o;
    o.highHz = 300.0;
    AutoEqResult r;
    for (auto _ : state) {
        r = FitAutoEq(m, {}, StartupChannel(), o);
    }
    state.counters["rms_before_db"] = r.rmsBeforeDb;
    state.counters["rms_after_db"] = r.rmsAfterDb;
    state.counters["bands"] = r.activeBands;
}
BENCHMARK(BM_Room)->DenseRange(1, 5)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Speaker(benchmark::State& state) {
    const Measurement m = Speaker(static_cast<std::uint32_t>(state.range(0)));
    AutoEqResult r;
    for (auto _ : state) {
        r = FitAutoEq(m, {}, StartupChannel(), {});
    }
    state.counters["rms_before_db"] = r.rmsBeforeDb;
    state.counters["rms_after_db"] = r.rmsAfterDb;
    state.counters["bands"] = r.activeBands;
}
BENCHMARK(BM_Speaker)->DenseRange(1, 3)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace quorvell

BENCHMARK_MAIN();
