// Throughput of the power-of-two FFT drivers, as the customary "mflops"
// figure 5 N log2(N) / (time in microseconds) for N complex points.
//
// Each iteration starts from a fresh copy of the same input: repeated
// unscaled transforms would otherwise grow the data by sqrt(N) per pass
// until it overflows. The copy is timed with the transform.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "fft/fft_lanes.h"
#include "fft/fft_tables.h"

using namespace velmora::detail;

namespace {

template <bool Forward>
void bm_fft(benchmark::State& state)
{
    const int points = static_cast<int>(state.range(0));
    const int n = 2 * points;
    fft_tables tables;
    if (!fft_tables_build(&tables, points)) {
        state.SkipWithError("no memory for the tables");
        return;
    }
    std::vector<double> input(n);
    for (int i = 0; i < n; ++i) {
        input[i] = std::sin(0.37 * i) + 0.25 * std::cos(1.9 * i);
    }
    std::vector<double> a(n);
    for (auto _ : state) {
        a = input;
        if (Forward) {
            fft_forward_lanes(lane_path::scalar, points, a.data(), tables);
        } else {
            fft_backward_lanes(lane_path::scalar, points, a.data(), tables);
        }
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
    // Per-iteration flop count in millions, turned into a rate per second.
    const double mflop = 5.0 * points * std::log2(static_cast<double>(points)) * 1e-6;
    state.counters["mflops"] = benchmark::Counter(mflop, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(bm_fft<true>)->Name("fft_forward")->RangeMultiplier(2)->Range(64, 65536);
BENCHMARK(bm_fft<false>)->Name("fft_backward")->RangeMultiplier(2)->Range(64, 65536);

BENCHMARK_MAIN();
