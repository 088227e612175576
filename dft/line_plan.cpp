#include "dft/line_plan.h"

#include <cmath>
#include <limits>

#include "dft/line_direct_entries.h"
#include "dft/unit_phase.h"

namespace velmora::detail {

namespace {

// ---- The cost model --------------------------------------------------------
//
// Floating-point operations (real additions and multiplications) per line.
// Data movement (zeros, the placing of inputs, the copies) is left out: each
// way moves every point a bounded number of times, while the operations grow
// with the length and the windows.

constexpr double complex_multiply = 6;

// The split-radix FFT of N points: 4 N log2 N - 6 N + 8 (N >= 4).
double split_radix_operations(std::int32_t N)
{
    if (N < 4)
        return N == 2 ? 4 : 0;
    return 4.0 * N * std::log2(static_cast<double>(N)) - 6.0 * N + 8;
}

// Operations of one butterfly of each radix in fft/mixed_radix.h.
double butterfly_operations(int radix)
{
    switch (radix) {
    case 2:
        return 4;
    case 3:
        return 16;
    case 4:
        return 16;
    case 5:
        return 48;
    default:
        return 56;  // radix 8
    }
}

// The mixed-radix FFT of P points: at each level P / r butterflies, and a
// complex twiddle on r - 1 points of every butterfly but the first of each
// block. Infinity for another length.
double mixed_radix_operations(std::int32_t P)
{
    int radices[mixed_radix_max_levels];
    const int count = mixed_radix_levels(P, radices);
    if (count < 0)
        return std::numeric_limits<double>::infinity();
    double operations = 0;
    double block = P;  // points per block of the level
    for (int i = 0; i < count; ++i) {
        const int r = radices[i];
        const double butterflies_per_block = block / r;
        const double blocks = P / block;
        operations += blocks * butterflies_per_block * butterfly_operations(r);
        operations += blocks * (butterflies_per_block - 1) * (r - 1) * complex_multiply;
        block /= r;
    }
    return operations;
}

bool has_post_factors(const dft_window& s)
{
    return s.out_twist != 0 || s.scale != 1.0;
}

// ----------------------------------------------------------------------------

// Reduced into 0 .. P-1.
std::int32_t residue(std::int32_t index, std::int32_t P)
{
    const std::int32_t r = index % P;
    return r < 0 ? r + P : r;
}

// The direct way's factors: t_in(j) for the window's inputs, t_out(k) *
// scale for its outputs (dft/dft_window.h).
bool fill_direct_factors(const dft_window& s, line_plan* plan, const stop_poll* poll)
{
    constexpr std::int32_t poll_factors = 1 << 14;
    if (s.in_twist != 0) {
        plan->pre = velmora::make_buffer<double>(2 * static_cast<std::size_t>(s.in_count));
        if (!plan->pre)
            return false;
        for (std::int32_t i = 0; i < s.in_count; ++i) {
            if (i % poll_factors == poll_factors - 1 && stop_requested(poll))
                return false;
            unit_phase(std::int64_t{s.in_start} + i, s.in_twist, &plan->pre[2 * i], &plan->pre[2 * i + 1]);
        }
    }
    if (has_post_factors(s)) {
        plan->post = velmora::make_buffer<double>(2 * static_cast<std::size_t>(s.out_count));
        if (!plan->post)
            return false;
        for (std::int32_t r = 0; r < s.out_count; ++r) {
            if (r % poll_factors == poll_factors - 1 && stop_requested(poll))
                return false;
            double re = 1.0, im = 0.0;
            if (s.out_twist != 0)
                unit_phase(-(std::int64_t{s.out_start} + r), s.out_twist, &re, &im);
            plan->post[2 * r] = re * s.scale;
            plan->post[2 * r + 1] = im * s.scale;
        }
    }
    return true;
}

std::size_t work_doubles(const dft_window& s, line_method method, lane_path path)
{
    const auto W = static_cast<std::size_t>(lane_width(path));
    if (method == line_method::chirp_z)
        return 2 * static_cast<std::size_t>(chirp_fft_size(s)) * W;
    const std::int32_t window = s.in_count > s.out_count ? s.in_count : s.out_count;
    return 2 * (static_cast<std::size_t>(window) + static_cast<std::size_t>(s.length)) * W;
}

}  // namespace

line_costs line_plan_costs(const dft_window& s)
{
    constexpr double none = std::numeric_limits<double>::infinity();
    const std::int32_t N = chirp_fft_size(s);
    if (N == 0)
        return line_costs{none, none};
    const double chirp_z = N > fft_max_points ? none
                                              : 2 * split_radix_operations(N) +
                                                    complex_multiply * (static_cast<double>(s.in_count) + N + s.out_count);
    const double direct = mixed_radix_operations(s.length) +
                          complex_multiply * ((s.in_twist != 0 ? s.in_count : 0) +
                                              (has_post_factors(s) ? s.out_count : 0));
    return line_costs{direct, chirp_z};
}

line_method line_plan_method(const dft_window& window)
{
    const line_costs costs = line_plan_costs(window);
    return costs.direct <= costs.chirp_z && costs.direct != std::numeric_limits<double>::infinity()
               ? line_method::direct
               : line_method::chirp_z;
}

std::int32_t line_plan_fft_points(const dft_window& window)
{
    return line_plan_method(window) == line_method::chirp_z ? chirp_fft_size(window) : 0;
}

std::size_t line_plan_work_doubles(const dft_window& window, lane_path path)
{
    return work_doubles(window, line_plan_method(window), path);
}

dft_status line_plan_build(line_plan* plan, const dft_window& window, const fft_tables& tables,
                           const stop_poll* poll)
{
    return line_plan_build(plan, window, tables, line_plan_method(window), poll);
}

dft_status line_plan_build(line_plan* plan, const dft_window& window, const fft_tables& tables, line_method method,
                           const stop_poll* poll)
{
    *plan = line_plan{};
    if (chirp_fft_size(window) == 0)
        return dft_status::bad_window;
    if (method == line_method::chirp_z) {
        const dft_status result = chirp_plan_build(&plan->chirp, window, tables, poll);
        if (result != dft_status::ok)
            return result;
    } else {
        int radices[mixed_radix_max_levels];
        if (mixed_radix_levels(window.length, radices) < 0)
            return dft_status::bad_window;
        if (!mixed_radix_plan_build(&plan->fft, window.length, poll) || !fill_direct_factors(window, plan, poll)) {
            *plan = line_plan{};
            return stop_requested(poll) ? dft_status::stopped : dft_status::no_memory;
        }
    }
    plan->window = window;
    plan->method = method;
    return dft_status::ok;
}

std::size_t line_plan_work_doubles(const line_plan& plan, lane_path path)
{
    if (plan.method == line_method::chirp_z)
        return chirp_work_doubles(plan.chirp, path);
    return work_doubles(plan.window, plan.method, path);
}

void line_plan_transform(const line_plan& plan, lane_path path, double* work, const stop_poll* poll)
{
    if (plan.method == line_method::chirp_z) {
        chirp_transform(plan.chirp, path, work, poll);
        return;
    }
    static constexpr lane_builds<line_direct_entry> transforms = VELMORA_LANE_BUILDS(line_direct_lanes);
    const dft_window& s = plan.window;
    const line_direct_arrays arrays{mixed_radix_steps_of(plan.fft),
                                    s.direction == dft_direction::forward ? -1 : 1,
                                    residue(s.in_start, s.length),
                                    s.in_count,
                                    residue(s.out_start, s.length),
                                    s.out_count,
                                    s.in_count > s.out_count ? s.in_count : s.out_count,
                                    plan.pre.get(),
                                    plan.post.get(),
                                    poll};
    lane_build(transforms, path)(arrays, work);
}

std::size_t line_plan_bytes(const line_plan& plan)
{
    if (plan.method == line_method::chirp_z)
        return chirp_plan_bytes(plan.chirp);
    const auto in_count = static_cast<std::size_t>(plan.window.in_count);
    const auto out_count = static_cast<std::size_t>(plan.window.out_count);
    return mixed_radix_plan_bytes(plan.fft) + (plan.pre ? velmora::buffer_bytes<double>(2 * in_count) : 0) +
           (plan.post ? velmora::buffer_bytes<double>(2 * out_count) : 0);
}

}  // namespace velmora::detail
