// Throughput of the batched FFT on each vector path, and of FFTW's
// many-transform plan over the same lines when FFTW is built in.
//
// Every benchmark transforms a batch of 64 lines of N points forward
// (negative exponent, unscaled, in place). The lane paths hold the lines as
// 64/W consecutive batches in lane layout; FFTW gets its own natural layout,
// one line after another, planned with FFTW_MEASURE, in place and (as a
// second row) out of place. Reported per line:
// "per_line" (time) and "mflops" = 5 N log2(N) / (time per line in us).
//
// The input is restored between iterations, outside the timing: repeated
// unscaled transforms would grow the data until it overflowed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef VELMORA_BENCH_FFTW
#include <fftw3.h>
#endif

#include "fft/fft_lanes.h"
#include "fft/fft_tables.h"

namespace {

constexpr int lines = 64;
const int lengths[] = {1024, 2048, 4096, 8192, 16384};

struct path_row {
    lane_path path;
    const char* name;
};
const path_row paths[] = {{lane_path::scalar, "scalar"},
                          {lane_path::sse2, "sse2"},
                          {lane_path::avx2, "avx2"},
                          {lane_path::avx512, "avx512"}};

// Line after line, n doubles each; the same values for every contender.
std::vector<double> make_input(int n)
{
    std::vector<double> x(static_cast<std::size_t>(lines) * n);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = std::sin(0.37 * static_cast<double>(i)) + 0.25 * std::cos(1.9 * static_cast<double>(i));
    }
    return x;
}

void set_counters(benchmark::State& state, int points)
{
    const double mflop = 5.0 * points * std::log2(static_cast<double>(points)) * 1e-6;
    state.counters["per_line"] =
        benchmark::Counter(lines, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["mflops"] = benchmark::Counter(mflop * lines, benchmark::Counter::kIsIterationInvariantRate);
}

void bm_lanes(benchmark::State& state, lane_path path)
{
    const int points = static_cast<int>(state.range(0));
    const int n = 2 * points;
    const int width = lane_width(path);
    fft_tables tables;
    if (!fft_tables_build(&tables, points)) {
        state.SkipWithError("no memory for the tables");
        return;
    }

    const std::vector<double> input = make_input(n);
    std::vector<double> packed(input.size());
    for (int b = 0; b < lines / width; ++b) {
        for (int j = 0; j < width; ++j) {
            const double* line = input.data() + static_cast<std::size_t>(b * width + j) * n;
            double* batch = packed.data() + static_cast<std::size_t>(b) * width * n;
            for (int i = 0; i < n; ++i) {
                batch[i * width + j] = line[i];
            }
        }
    }
    const std::size_t bytes = packed.size() * sizeof(double);
    double* a = static_cast<double*>(std::aligned_alloc(lane_alignment, bytes));
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(a, packed.data(), bytes);
        state.ResumeTiming();
        for (int b = 0; b < lines / width; ++b) {
            fft_forward_lanes(path, points, a + static_cast<std::size_t>(b) * width * n, tables);
        }
        benchmark::DoNotOptimize(a);
        benchmark::ClobberMemory();
    }
    std::free(a);
    set_counters(state, points);
}

#ifdef VELMORA_BENCH_FFTW
// In place like the lane paths, or into a second array, which FFTW may
// prefer.
void bm_fftw_many(benchmark::State& state, bool in_place)
{
    const int points = static_cast<int>(state.range(0));
    const std::vector<double> input = make_input(2 * points);
    const std::size_t bytes = input.size() * sizeof(double);
    fftw_complex* a = static_cast<fftw_complex*>(fftw_malloc(bytes));
    fftw_complex* out = in_place ? a : static_cast<fftw_complex*>(fftw_malloc(bytes));
    const int size[1] = {points};
    fftw_plan plan = fftw_plan_many_dft(1, size, lines, a, nullptr, 1, points, out, nullptr, 1, points,
                                        FFTW_FORWARD, FFTW_MEASURE);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(a, input.data(), bytes);
        state.ResumeTiming();
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    if (!in_place) {
        fftw_free(out);
    }
    fftw_free(a);
    set_counters(state, points);
}
#endif

void register_all()
{
    for (int points : lengths) {
        for (const path_row& row : paths) {
            if (lane_path_supported(row.path)) {
                const std::string name = std::string("lanes_") + row.name;
                benchmark::RegisterBenchmark(name.c_str(), bm_lanes, row.path)->Arg(points);
            }
        }
#ifdef VELMORA_BENCH_FFTW
        benchmark::RegisterBenchmark("fftw_many", bm_fftw_many, true)->Arg(points);
        benchmark::RegisterBenchmark("fftw_many_out_of_place", bm_fftw_many, false)->Arg(points);
#endif
    }
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    register_all();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
