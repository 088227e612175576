#include "dft/chirp_plan.h"

#include <cmath>
#include <cstdlib>

#include "dft/chirp_entries.h"
#include "dft/unit_phase.h"
#include "fft/fft_lanes.h"

namespace velmora::detail {

namespace {

// Lengths and twists up to 2^24 keep every numerator below in 64 bits.
constexpr std::int64_t max_length = std::int64_t{1} << 24;

// Factors computed between two questions to the stop poll.
constexpr std::int32_t poll_factors = 1 << 14;

// t^2 mod 2P, from t reduced mod 2P first so that the square fits.
std::int64_t square_mod(std::int64_t t, std::int64_t P)
{
    std::int64_t r = t % (2 * P);
    if (r < 0)
        r += 2 * P;
    return r * r % (2 * P);
}

// The phase sigma * pi t^2 / P + pi t / twist as one fraction over P * twist
// (twist 0: none), sigma = +1 or -1, so that chirp and ramp cost a single
// cos/sin pair and one exact reduction.
void chirp_phase(std::int64_t t, std::int64_t P, int sigma, std::int64_t twist_sign, std::int64_t twist,
                 double* re, double* im)
{
    const std::int64_t chirp = sigma * square_mod(t, P);
    if (twist == 0) {
        unit_phase(chirp, P, re, im);
        return;
    }
    unit_phase(chirp * twist + twist_sign * (t % (2 * twist)) * P, P * twist, re, im);
}

bool window_is_valid(const dft_window& s)
{
    const std::int64_t P = s.length;
    return P >= 1 && P <= max_length && s.in_count >= 1 && s.in_count <= P && s.out_count >= 1 &&
           s.out_count <= P && s.in_start >= -P && s.in_start <= P && s.out_start >= -P && s.out_start <= P &&
           (s.direction == dft_direction::forward || s.direction == dft_direction::inverse) && s.in_twist >= 0 &&
           s.in_twist <= max_length && s.out_twist >= 0 && s.out_twist <= max_length;
}

// The one block of factors: inputs, outputs and the kernel's N values.
std::size_t factor_doubles(const dft_window& s, std::int32_t N)
{
    return 2 * (static_cast<std::size_t>(s.in_count) + static_cast<std::size_t>(s.out_count) +
                static_cast<std::size_t>(N));
}

// Input factors v(j) t_in(j), output factors v(k) t_out(k) scale, and the
// kernel conj(v(k - j)) laid out by the offset d = r - i of output r from
// input i, at d mod N. v is the chirp exp(-i pi t^2 / P) of the forward
// direction, conjugated for the inverse one.
bool fill_factors(const dft_window& s, std::int32_t N, double* pre, double* post, double* kernel,
                  const stop_poll* poll)
{
    const int sigma = s.direction == dft_direction::forward ? -1 : 1;
    for (std::int32_t i = 0; i < s.in_count; ++i) {
        if (i % poll_factors == poll_factors - 1 && stop_requested(poll))
            return false;
        chirp_phase(std::int64_t{s.in_start} + i, s.length, sigma, 1, s.in_twist, &pre[2 * i], &pre[2 * i + 1]);
    }
    for (std::int32_t r = 0; r < s.out_count; ++r) {
        if (r % poll_factors == poll_factors - 1 && stop_requested(poll))
            return false;
        double re, im;
        chirp_phase(std::int64_t{s.out_start} + r, s.length, sigma, -1, s.out_twist, &re, &im);
        post[2 * r] = re * s.scale;
        post[2 * r + 1] = im * s.scale;
    }
    for (std::int32_t k = 0; k < 2 * N; ++k) {
        // Fresh memory: its first touch can take longer than the phases.
        if (k % poll_factors == 0 && stop_requested(poll))
            return false;
        kernel[k] = 0.0;
    }
    const std::int64_t shift = std::int64_t{s.out_start} - s.in_start;
    for (std::int32_t d = -(s.in_count - 1); d < s.out_count; ++d) {
        if (d % poll_factors == 0 && stop_requested(poll))
            return false;
        const std::int32_t at = d < 0 ? d + N : d;
        chirp_phase(shift + d, s.length, -sigma, 1, 0, &kernel[2 * at], &kernel[2 * at + 1]);
    }
    return true;
}

}  // namespace

std::int32_t chirp_fft_size(const dft_window& window)
{
    if (!window_is_valid(window))
        return 0;
    const std::int64_t span = std::int64_t{window.in_count} + window.out_count - 1;
    std::int64_t N = 4;
    while (N < span)
        N *= 2;
    return static_cast<std::int32_t>(N);
}

std::size_t chirp_plan_bytes(const chirp_plan& plan)
{
    return plan.fft_size == 0 ? 0 : velmora::buffer_bytes<double>(factor_doubles(plan.window, plan.fft_size));
}

dft_status chirp_plan_build(chirp_plan* plan, const dft_window& window, const fft_tables& tables,
                            const stop_poll* poll)
{
    *plan = chirp_plan{};
    const std::int32_t N = chirp_fft_size(window);
    if (N == 0)
        return dft_status::bad_window;
    if (tables.max_points < N)
        return dft_status::small_tables;
    velmora::buffer<double> factors = velmora::make_buffer<double>(factor_doubles(window, N));
    if (!factors)
        return dft_status::no_memory;
    double* pre = factors.get();
    double* post = pre + 2 * window.in_count;
    double* kernel = post + 2 * window.out_count;
    if (!fill_factors(window, N, pre, post, kernel, poll))
        return dft_status::stopped;
    fft_forward_lanes(lane_path::scalar, N, kernel, tables, poll);
    if (stop_requested(poll))
        return dft_status::stopped;
    // The convolution's 1/N rides on the kernel; N is a power of two, so
    // this scaling is exact.
    const double inverse_N = 1.0 / N;
    for (std::int32_t k = 0; k < 2 * N; ++k)
        kernel[k] *= inverse_N;
    plan->window = window;
    plan->fft_size = N;
    plan->factors = std::move(factors);
    plan->tables = &tables;
    return dft_status::ok;
}

std::size_t chirp_work_doubles(const chirp_plan& plan, lane_path path)
{
    return 2 * static_cast<std::size_t>(plan.fft_size) * static_cast<std::size_t>(lane_width(path));
}

void chirp_transform(const chirp_plan& plan, lane_path path, double* work, const stop_poll* poll)
{
    static constexpr lane_builds<chirp_entry> transforms = VELMORA_LANE_BUILDS(chirp_transform_lanes);
    const double* pre = plan.factors.get();
    const double* post = pre + 2 * plan.window.in_count;
    const double* kernel = post + 2 * plan.window.out_count;
    const chirp_arrays arrays{plan.fft_size, plan.window.in_count, plan.window.out_count, pre, post, kernel,
                              plan.tables->ip.get(), plan.tables->ww.get(), plan.tables->table_size, poll};
    lane_build(transforms, path)(arrays, work);
}

}  // namespace velmora::detail
