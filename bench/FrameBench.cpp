// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of building each command frame kind, coefficient design included.
#include <benchmark/benchmark.h>

#include "Frames.h"

namespace {

using namespace quorvell;

DeviceParameters Defaults() {
    DeviceParameters p{};
    ResetDeviceParameters(p);
    p.channels[0].hipass.type = 4;
    p.channels[0].hipass.q = 7;
    p.channels[0].lopass.type = 3;
    return p;
}

void BM_EqBand(benchmark::State& state) {
    DeviceParameters p = Defaults();
    int band = 1;
    for (auto _ : state) {
        p.channels[0].bands[band].gain = (p.channels[0].bands[band].gain + 1) % 361;
        benchmark::DoNotOptimize(BuildEqBand(p, 0, band));
        band = band % 7 + 1;
    }
}
BENCHMARK(BM_EqBand);

void BM_Hipass(benchmark::State& state) {
    DeviceParameters p = Defaults();
    for (auto _ : state) {
        p.channels[0].hipass.freq = p.channels[0].hipass.freq % 20000 + 20;
        benchmark::DoNotOptimize(BuildHipass(p, 0));
    }
}
BENCHMARK(BM_Hipass);

void BM_Lopass(benchmark::State& state) {
    DeviceParameters p = Defaults();
    for (auto _ : state) {
        p.channels[0].lopass.freq = p.channels[0].lopass.freq % 20000 + 20;
        benchmark::DoNotOptimize(BuildLopass(p, 0));
    }
}
BENCHMARK(BM_Lopass);

void BM_Limiter(benchmark::State& state) {
    DeviceParameters p = Defaults();
    const double e = ComputeEulerE();
    for (auto _ : state) {
        p.channels[1].limiter.attack = p.channels[1].limiter.attack % 100 + 1;
        benchmark::DoNotOptimize(BuildLimiter(p, 1, e));
    }
}
BENCHMARK(BM_Limiter);

void BM_Level(benchmark::State& state) {
    const DeviceParameters p = Defaults();
    for (auto _ : state) {
        benchmark::DoNotOptimize(BuildLevel(p, 1));
    }
}
BENCHMARK(BM_Level);

void BM_Phase(benchmark::State& state) {
    const DeviceParameters p = Defaults();
    for (auto _ : state) {
        benchmark::DoNotOptimize(BuildPhase(p, 1));
    }
}
BENCHMARK(BM_Phase);

void BM_SetName(benchmark::State& state) {
    const DeviceParameters p = Defaults();
    for (auto _ : state) {
        benchmark::DoNotOptimize(BuildSetName(p));
    }
}
BENCHMARK(BM_SetName);

void BM_Connect(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(BuildConnect(kDevicePort, 0x7F000001));
    }
}
BENCHMARK(BM_Connect);

void BM_ApplyFullState(benchmark::State& state) {
    const Frame f = BuildFullState(Defaults());
    DeviceParameters p{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(ApplyFullState(p, f.Bytes()));
    }
}
BENCHMARK(BM_ApplyFullState);

}  // namespace

BENCHMARK_MAIN();
