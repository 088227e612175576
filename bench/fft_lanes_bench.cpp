// Throughput of the batched FFTs on each vector path, and of FFTW's
// many-transform plan over the same lines when FFTW is built in.
//
// Every benchmark transforms a batch of 64 lines of N points forward
// (negative exponent, unscaled): powers of two through the split-radix FFT
// ("lanes_", in place) and lengths 2^a 3^b 5^c through the mixed-radix FFT
// ("mixed_", out of place, as it always runs). The lane paths hold the lines
// as 64/W consecutive batches in lane layout; FFTW gets its own natural
// layout, one line after another, planned with FFTW_MEASURE for the same
// length, in place and (as a second row) out of place. Reported per line:
// "per_line" (time) and "mflops" = 5 N log2(N) / (time per line in us).
//
// An in-place input is restored between iterations, outside the timing:
// repeated unscaled transforms would grow the data until it overflowed.
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
#include "fft/mixed_radix_plan.h"

using namespace velmora::detail;

namespace {

constexpr int lines = 64;
const int lengths[] = {1024, 2048, 4096, 8192, 16384};
// Picture sides of the form 2^a 3^b 5^c, through the mixed-radix FFT.
const int mixed_lengths[] = {1536, 3072, 4608, 6144, 12288};

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

// The lines as lane_width(path) batches in lane layout, one after another.
std::vector<double> pack_lines(const std::vector<double>& input, int n, int width)
{
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
    return packed;
}

void bm_mixed(benchmark::State& state, lane_path path)
{
    const int points = static_cast<int>(state.range(0));
    const int n = 2 * points;
    const int width = lane_width(path);
    mixed_radix_plan plan;
    if (!mixed_radix_plan_build(&plan, points)) {
        state.SkipWithError("no plan for this length");
        return;
    }
    const std::vector<double> packed = pack_lines(make_input(n), n, width);
    const std::size_t bytes = packed.size() * sizeof(double);
    // Out of place: the input stays as it is between iterations.
    double* in = static_cast<double*>(std::aligned_alloc(lane_alignment, bytes));
    double* out = static_cast<double*>(std::aligned_alloc(lane_alignment, bytes));
    std::memcpy(in, packed.data(), bytes);
    for (auto _ : state) {
        for (int b = 0; b < lines / width; ++b) {
            const std::size_t at = static_cast<std::size_t>(b) * width * n;
            mixed_radix_forward(plan, path, in + at, out + at);
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    std::free(out);
    std::free(in);
    set_counters(state, points);
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

    const std::vector<double> packed = pack_lines(make_input(n), n, width);
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
    for (int points : mixed_lengths) {
        for (const path_row& row : paths) {
            if (lane_path_supported(row.path)) {
                const std::string name = std::string("mixed_") + row.name;
                benchmark::RegisterBenchmark(name.c_str(), bm_mixed, row.path)->Arg(points);
            }
        }
#ifdef VELMORA_BENCH_FFTW
        benchmark::RegisterBenchmark("fftw_many", bm_fftw_many, true)->Arg(points);
        benchmark::RegisterBenchmark("fftw_many_out_of_place", bm_fftw_many, false)->Arg(points);
#endif
    }
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
