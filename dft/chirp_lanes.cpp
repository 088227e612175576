#include "dft/chirp_lanes.h"

#include "dft/chirp_execute.h"
#include "dft/chirp_lanes_entries.h"

namespace {

using multiply_entry = void (*)(const double*, int, double*);

multiply_entry multiply_of(lane_path path)
{
    switch (path) {
#ifdef VELMORA_LANE_ISAS
    case lane_path::sse2:
        return chirp_lanes_multiply_sse2;
    case lane_path::avx2:
        return chirp_lanes_multiply_avx2;
    case lane_path::avx512:
        return chirp_lanes_multiply_avx512;
#endif
    default:
        return nullptr;
    }
}

}  // namespace

std::size_t chirp_lanes_work_size(const chirp_plan* plan, lane_path path)
{
    return chirp_work_size(plan) * static_cast<std::size_t>(lane_width(path));
}

void chirp_transform_lanes(const chirp_plan* plan, lane_path path, double* work)
{
    const multiply_entry multiply = multiply_of(path);
    if (!multiply) {
        chirp_transform(plan, work);
        return;
    }
    const int N = plan->fft_size;
    const std::size_t lanes = static_cast<std::size_t>(lane_width(path));
    multiply(plan->pre, plan->shape.in_count, work);
    for (std::size_t i = 2 * lanes * static_cast<std::size_t>(plan->shape.in_count); i < 2 * lanes * N; ++i)
        work[i] = 0.0;
    fft_forward_lanes(path, N, work, *plan->tables);
    multiply(plan->kernel, N, work);
    fft_backward_lanes(path, N, work, *plan->tables);
    multiply(plan->post, plan->shape.out_count, work);
}
