#include "resize/spectral_passes.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "velmora/samples.h"

namespace velmora::detail {

namespace {

// Pairs handed out together: at least four, a run of eight neighbouring
// outputs, a whole cache line of doubles, so threads rarely share one; and
// at least one batch of lanes.
constexpr std::int64_t min_pairs_per_unit = 4;

std::int64_t pairs_per_unit(int lanes)
{
    return std::max<std::int64_t>(lanes, min_pairs_per_unit);
}

// A coefficient into a work array.
inline void store(unsigned char* at, double value)
{
    std::memcpy(at, &value, sizeof value);
}

// Input i of the length-n DFT that sums the cosines: even samples forwards,
// then odd samples backwards (v = x0 x2 x4 ... x5 x3 x1).
inline std::int64_t reordered(std::int32_t i, std::int32_t n)
{
    return i < (n + 1) / 2 ? 2 * i : 2 * n - 1 - 2 * i;
}

// Input i of an inverse pass: the band C[|k|] for k from -(kept - 1) on.
inline std::int64_t band_index(std::int32_t i, std::int32_t kept)
{
    return i < kept - 1 ? kept - 1 - i : i - (kept - 1);
}

// With A(t) = exp(-i pi t / 2n) Z[t] / 2n the plan's outputs for t in
// [-(kept - 1), ...), line 1's C[k] is Re A(k) + Re A(-k) and line 2's is
// Im A(k) + Im A(-k). When the window holds every residue once (2 kept - 1 >
// n), A(k) for the largest k sits at t = k - n, where the ramp adds a factor
// i that is taken back here.
void store_coefficients(const cosine_pass& pass, const line_batch& batch, std::int64_t step)
{
    const std::int32_t kept = pass.kept;
    const std::int32_t count = pass.plan.window.out_count;
    if (batch.out_spacing != 0) {
        return visit_lane_width(batch.lanes, [&]<int Lanes>() {
            const std::int64_t spacing = batch.out_spacing;
            for (std::int32_t k = 0; k < kept; ++k) {
                if (stop_due(k, batch.poll))
                    return;
                const std::int32_t at = k + kept - 1;
                const double* mirror_re = batch.work + 2 * static_cast<std::ptrdiff_t>(kept - 1 - k) * Lanes;
                const double* mirror_im = mirror_re + Lanes;
                unsigned char* first = batch.out[0] + k * step;
                // The same sums as below, the ramp's factor i taken back
                // when the window wrapped.
                const bool wrapped = at >= count;
                const double* a = batch.work + 2 * static_cast<std::ptrdiff_t>(wrapped ? at - pass.n : at) * Lanes;
                for (int lane = 0; lane < Lanes; ++lane) {
                    const double a_re = wrapped ? a[Lanes + lane] : a[lane];
                    const double a_im = wrapped ? -a[lane] : a[Lanes + lane];
                    store(first + 2 * lane * spacing, a_re + mirror_re[lane]);
                    store(first + (2 * lane + 1) * spacing, a_im + mirror_im[lane]);
                }
            }
        });
    }
    for (std::int32_t k = 0; k < kept; ++k) {
        if (stop_due(k, batch.poll))
            return;
        const std::int32_t at = k + kept - 1;
        const std::int32_t mirror = kept - 1 - k;
        const std::int64_t offset = k * step;
        for (int lane = 0; lane < batch.lanes; ++lane) {
            if (!batch.out[2 * lane])
                continue;
            double a_re, a_im;
            if (at < count) {
                a_re = *batch.at(at, 2 * lane);
                a_im = *batch.at(at, 2 * lane + 1);
            } else {
                a_re = *batch.at(at - pass.n, 2 * lane + 1);
                a_im = -*batch.at(at - pass.n, 2 * lane);
            }
            store(batch.out[2 * lane] + offset, a_re + *batch.at(mirror, 2 * lane));
            if (batch.out[2 * lane + 1])
                store(batch.out[2 * lane + 1] + offset, a_im + *batch.at(mirror, 2 * lane + 1));
        }
    }
}

template <typename Sample>
void forward_batch(const cosine_pass& pass, const pass_lines& lines, const line_batch& batch)
{
    const std::int32_t n = pass.n;
    const auto index = [n](std::int32_t i) { return reordered(i, n); };
    if (batch.scaled)
        gather_scaled<Sample>(batch, lines.in.step, n, index);
    else
        gather<Sample>(batch, lines.in.step, n, index);
    if (stop_requested(batch.poll))
        return;
    line_plan_transform(pass.plan, pass.path, batch.work, batch.poll);
    if (stop_requested(batch.poll))
        return;  // the transform may have been cut short
    store_coefficients(pass, batch, lines.out.step);
}

template <typename Sample, rounding Rounding>
void inverse_batch(const cosine_pass& pass, const pass_lines& lines, const line_batch& batch)
{
    const std::int32_t kept = pass.kept;
    gather<double>(batch, lines.in.step, 2 * kept - 1, [kept](std::int32_t i) { return band_index(i, kept); });
    if (stop_requested(batch.poll))
        return;
    line_plan_transform(pass.plan, pass.path, batch.work, batch.poll);
    if (stop_requested(batch.poll))
        return;
    scatter<Sample, Rounding>(batch, pass.n_out, lines.out.step);
}

template <typename Run>
void run_batches(const cosine_pass& pass, const pass_lines& lines, const line_engine& engine, Run run_batch)
{
    const int lanes = lane_width(pass.path);
    const std::int64_t per_unit = pairs_per_unit(lanes);
    const std::int64_t pairs = pair_count(lines);
    const std::int64_t units = (pairs + per_unit - 1) / per_unit;
    parallel_lines(
        *engine.team, units,
        [&](int thread, std::int64_t unit) {
            const std::int64_t end = std::min(pairs, (unit + 1) * per_unit);
            line_batch batch;
            batch.lanes = lanes;
            batch.work = engine.workspaces[thread];
            batch.poll = engine.poll;
            for (std::int64_t first = unit * per_unit; first < end; first += lanes) {
                if (stop_requested(engine.poll))
                    return;
                fill_slots(lines, first, end, &batch);
                run_batch(pass, lines, batch);
            }
        },
        engine.poll);
}

// The largest magnitude among the n samples of a line.
double line_largest(const unsigned char* line, std::int64_t step, std::int32_t n, sample_type type)
{
    return velmora::visit_sample_type(type, [&]<typename Sample>() {
        double largest = 0.0;
        for (std::int32_t i = 0; i < n; ++i)
            largest = std::max(largest, std::fabs(velmora::load_sample<Sample>(line + i * step)));
        return largest;
    });
}

}  // namespace

std::int32_t carried_bins(std::int32_t n, std::int32_t n_out)
{
    return std::min(n, n_out);
}

int overflow_exponent(double largest)
{
    constexpr int safe = 896;
    return largest < std::ldexp(1.0, safe) ? 0 : std::ilogb(largest) - (safe - 1);
}

void find_set_exponents(const pass_lines& lines, std::int32_t n, sample_type in_type, const line_engine& engine,
                        std::uint8_t* exponents)
{
    std::fill(exponents, exponents + lines.sets, std::uint8_t{0});
    // Units of whole lines and about 2^16 samples, so that a stop is seen
    // soon.
    const std::int64_t all_lines = lines.sets * lines.lines_per_set;
    const std::int64_t per_unit = std::max<std::int64_t>(1, (std::int64_t{1} << 16) / n);
    const std::int64_t units = (all_lines + per_unit - 1) / per_unit;
    parallel_lines(
        *engine.team, units,
        [&](int, std::int64_t unit) {
            const std::int64_t end = std::min(all_lines, (unit + 1) * per_unit);
            for (std::int64_t t = unit * per_unit; t < end; ++t) {
                const std::int64_t set = t / lines.lines_per_set;
                const unsigned char* line = line_start(lines.in, set, t % lines.lines_per_set);
                const auto exponent =
                    static_cast<std::uint8_t>(overflow_exponent(line_largest(line, lines.in.step, n, in_type)));
                // The largest of the set's lines, which other threads may
                // be raising too.
                std::atomic_ref<std::uint8_t> held(exponents[set]);
                std::uint8_t seen = held.load(std::memory_order_relaxed);
                while (seen < exponent && !held.compare_exchange_weak(seen, exponent, std::memory_order_relaxed)) {
                }
            }
        },
        engine.poll);
}

dft_window forward_pass_window(std::int32_t n, std::int32_t n_out)
{
    // Outputs k and -k of the length-n DFT, for k < kept: the window
    // [-(kept - 1), kept - 1], or every residue once when that is shorter.
    const std::int32_t kept = carried_bins(n, n_out);
    return dft_window{.length = n,
                      .in_count = n,
                      .out_start = -(kept - 1),
                      .out_count = std::min(2 * kept - 1, n),
                      .direction = dft_direction::forward,
                      .out_twist = 2 * n,
                      .scale = 0.5 / n};
}

dft_window inverse_pass_window(std::int32_t n, std::int32_t n_out)
{
    const std::int32_t kept = carried_bins(n, n_out);
    return dft_window{.length = 2 * n_out,
                      .in_start = -(kept - 1),
                      .in_count = 2 * kept - 1,
                      .out_count = n_out,
                      .direction = dft_direction::inverse,
                      .in_twist = 2 * n,
                      .scale = 1.0};
}

dft_window pass_window(bool inverse, std::int32_t n, std::int32_t n_out)
{
    return inverse ? inverse_pass_window(n, n_out) : forward_pass_window(n, n_out);
}

dft_status cosine_pass_init(cosine_pass* pass, bool inverse, std::int32_t n, std::int32_t n_out, lane_path path,
                            const fft_tables& tables, const stop_poll* poll)
{
    pass->n = n;
    pass->n_out = n_out;
    pass->kept = carried_bins(n, n_out);
    pass->path = path;
    return line_plan_build(&pass->plan, pass_window(inverse, n, n_out), tables, poll);
}

void forward_lines(const cosine_pass& pass, const pass_lines& lines, sample_type in_type, const line_engine& engine)
{
    velmora::visit_sample_type(in_type,
                               [&]<typename Sample>() { run_batches(pass, lines, engine, forward_batch<Sample>); });
}

void inverse_lines(const cosine_pass& pass, const pass_lines& lines, sample_type out_type, rounding how,
                   const line_engine& engine)
{
    velmora::visit_sample_type(out_type, [&]<typename Sample>() {
        // The rounding concerns integer samples alone: float outputs take
        // one instance.
        if constexpr (std::is_floating_point_v<Sample>)
            run_batches(pass, lines, engine, inverse_batch<Sample, rounding::nearest>);
        else
            velmora::visit_rounding(how, [&]<rounding Rounding>() {
                run_batches(pass, lines, engine, inverse_batch<Sample, Rounding>);
            });
    });
}

}  // namespace velmora::detail
