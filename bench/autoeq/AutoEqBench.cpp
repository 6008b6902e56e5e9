// SPDX-License-Identifier: GPL-3.0-or-later
// Auto EQ fit time per channel and the error it leaves on the corpus of physically modelled
// speakers and rooms the tests use. `--reference` runs a slow multi-start search per case
// instead and prints the best error it finds: the tests keep those numbers as best-known.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "SpeakerModels.h"

namespace quorvell {
namespace {

AutoEqResult Fit(const speaker::Case& c, const AutoEqOptions& o) {
    return FitAutoEq(c.measurement, TargetSpec{std::nullopt, c.tiltDbPerOctave}, c.channel, o);
}

void BM_Corpus(benchmark::State& state) {
    const speaker::Case c = speaker::Corpus()[static_cast<std::size_t>(state.range(0))];
    AutoEqResult r;
    for (auto _ : state) {
        r = Fit(c, c.options);
    }
    state.SetLabel(c.name);
    state.counters["rms_before_db"] = r.rmsBeforeDb;
    state.counters["rms_after_db"] = r.rmsAfterDb;
    state.counters["best_known_db"] = c.bestKnownDb;
    state.counters["bands"] = r.activeBands;
}

// The best error of many searches: the fit as configured, and with one, three and six times
// its budgets, 8 or 24 random starts, from four seeds. More budget alone does not always find
// a lower error (the starts share it), so every run counts.
int Reference() {
    for (const speaker::Case& c : speaker::Corpus()) {
        const double fit = Fit(c, c.options).rmsAfterDb;
        double best = fit;
        for (int times : {1, 3, 6}) {
            for (int starts : {8, 24}) {
                for (std::uint32_t seed = 1; seed <= 4; ++seed) {
                    AutoEqOptions o = c.options;
                    o.continuousEvaluations *= times;
                    o.gridEvaluations *= times;
                    o.randomStarts = starts;
                    o.seed = seed;
                    best = std::min(best, Fit(c, o).rmsAfterDb);
                }
            }
        }
        std::printf("%-55s fit %.3f dB  reference %.3f dB\n", c.name.c_str(), fit, best);
    }
    return 0;
}

}  // namespace
}  // namespace quorvell

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--reference") == 0) {
        return quorvell::Reference();
    }
    benchmark::RegisterBenchmark("BM_Corpus", quorvell::BM_Corpus)
        ->DenseRange(0, static_cast<int>(quorvell::speaker::Corpus().size()) - 1)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
