// The two ways of a line plan on the shapes of the resize passes, on the
// best vector path: the time per line of each way beside the operation
// counts the cost model gives them, so that the model's choice can be held
// against the clock. Reported per line: "per_line" (time) and "model_ops".
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dft/line_plan.h"
#include "resize/spectral_passes.h"

using namespace velmora::detail;

namespace {

constexpr int batches = 8;

// Enlargements and reductions of common picture sides.
const int side_pairs[][2] = {{1536, 3072}, {3072, 6144}, {1080, 1920}, {4000, 3000}, {1920, 640}};

void bm_way(benchmark::State& state, dft_window shape, line_method way)
{
    const lane_path path = lane_path_best();
    const int W = lane_width(path);
    fft_tables tables;
    line_plan plan;
    if (!fft_tables_build(&tables, chirp_fft_size(shape)) || line_plan_build(&plan, shape, tables, way) != dft_status::ok) {
        state.SkipWithError("no plan");
        return;
    }
    const std::size_t doubles = line_plan_work_doubles(plan, path);
    const std::size_t bytes = (doubles * sizeof(double) + lane_alignment - 1) / lane_alignment * lane_alignment;
    double* work = static_cast<double*>(std::aligned_alloc(lane_alignment, bytes));
    std::vector<double> input(2 * static_cast<std::size_t>(shape.in_count) * W);
    for (std::size_t i = 0; i < input.size(); ++i)
        input[i] = std::sin(0.37 * static_cast<double>(i));
    for (auto _ : state) {
        for (int b = 0; b < batches; ++b) {
            std::memcpy(work, input.data(), input.size() * sizeof(double));
            line_plan_transform(plan, path, work);
        }
        benchmark::DoNotOptimize(work);
        benchmark::ClobberMemory();
    }
    std::free(work);
    const line_costs costs = line_plan_costs(shape);
    state.counters["model_ops"] = way == line_method::direct ? costs.direct : costs.chirp_z;
    state.counters["per_line"] = benchmark::Counter(batches * W, benchmark::Counter::kIsIterationInvariantRate |
                                                                     benchmark::Counter::kInvert);
}

void register_all()
{
    for (const auto& sides : side_pairs) {
        const std::string size = std::to_string(sides[0]) + "_to_" + std::to_string(sides[1]);
        const dft_window shapes[] = {forward_pass_window(sides[0], sides[1]), inverse_pass_window(sides[0], sides[1])};
        for (int s = 0; s < 2; ++s) {
            const std::string pass = (s == 0 ? "forward/" : "inverse/") + size;
            benchmark::RegisterBenchmark(("direct_" + pass).c_str(), bm_way, shapes[s], line_method::direct);
            benchmark::RegisterBenchmark(("chirp_z_" + pass).c_str(), bm_way, shapes[s], line_method::chirp_z);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    register_all();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
