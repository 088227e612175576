#include "resize/spectral_passes.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "resize/sample_convert.h"


namespace {

using velmora::rounding;
using velmora::sample_type;

// Pairs handed out together: at least four, a run of eight neighbouring
// outputs, a whole cache line of doubles, so threads rarely share one; and
// at least one batch of lanes.
constexpr std::int64_t min_pairs_per_unit = 4;
constexpr int max_slots = 16;  // two lines in each of at most eight lanes

// Values a line's loops below go through between two questions to the
// stop poll. Few, because a line across a fresh work array touches a new
// page with each value, and a virtual machine may take 20 us for each.
constexpr std::int32_t poll_values = 1 << 8;

inline bool stop_due(std::int32_t value, const stop_poll* poll)
{
    return value % poll_values == poll_values - 1 && stop_requested(poll);
}

std::int64_t pairs_per_unit(int lanes)
{
    return std::max<std::int64_t>(lanes, min_pairs_per_unit);
}

// A coefficient into a work array.
inline void store(unsigned char* at, double value)
{
    std::memcpy(at, &value, sizeof value);
}

std::int64_t offset_of(std::int64_t index, int dims, const std::int64_t* sizes, const std::int64_t* strides)
{
    std::int64_t offset = 0;
    for (int d = dims - 1; d >= 0; --d) {
        offset += index % sizes[d] * strides[d];
        index /= sizes[d];
    }
    return offset;
}

unsigned char* line_start(const line_layout& layout, std::int64_t set, std::int64_t line)
{
    return layout.base + offset_of(layout.first_set + set, layout.set_dims, layout.set_sizes, layout.set_strides) +
           offset_of(line, layout.line_dims, layout.line_sizes, layout.line_strides);
}

// A batch: `lanes` pairs, pair j in lane j of the work array, its first
// line as real parts (slot 2j) and its second as imaginary parts (slot
// 2j + 1). A missing line (past the unit, or a set's odd last line's
// partner) has null pointers: it rides as zeros and is never stored, so a
// partial batch needs no path of its own.
struct batch {
    int lanes;
    double* work;
    const stop_poll* poll;  // for the transforms
    const unsigned char* in[max_slots];
    unsigned char* out[max_slots];
    // Every slot holds a line, and the lines' starts lie these many bytes
    // apart in slot order (0: they do not): the common case, which the
    // loops below walk with one address instead of one per slot.
    std::int64_t in_spacing;
    std::int64_t out_spacing;
    // Some slot's line belongs to a scaled set (pass_lines::exponents):
    // the slower loops below that scale each slot by its own exponent.
    bool scaled;
    std::uint8_t exponent[max_slots];

    double* at(std::int32_t i, int slot) const
    {
        return work + (2 * static_cast<std::ptrdiff_t>(i) + (slot & 1)) * lanes + (slot >> 1);
    }
};

// Pairs in one run of a pass: per set, or over the sequence of all lines.
std::int64_t pair_count(const pass_lines& lines)
{
    if (lines.across_sets)
        return (lines.sets * lines.lines_per_set + 1) / 2;
    return lines.sets * ((lines.lines_per_set + 1) / 2);
}

template <typename Byte>
std::int64_t uniform_spacing(Byte* const* starts, int slots)
{
    if (slots < 2)
        return 0;
    for (int s = 0; s < slots; ++s)
        if (!starts[s])
            return 0;
    const std::int64_t spacing = starts[1] - starts[0];
    for (int s = 2; s < slots; ++s)
        if (starts[s] - starts[s - 1] != spacing)
            return 0;
    return spacing;
}

void fill_slots(const pass_lines& lines, std::int64_t first_pair, std::int64_t end_pair, batch* b)
{
    const std::int64_t per_set = (lines.lines_per_set + 1) / 2;
    const std::int64_t all_lines = lines.sets * lines.lines_per_set;
    b->scaled = false;
    for (int j = 0; j < b->lanes; ++j) {
        const std::int64_t pair = first_pair + j;
        for (int h = 0; h < 2; ++h) {
            b->in[2 * j + h] = nullptr;
            b->out[2 * j + h] = nullptr;
            b->exponent[2 * j + h] = 0;
        }
        if (pair >= end_pair)
            continue;
        for (int h = 0; h < 2; ++h) {
            std::int64_t set, line;
            if (lines.across_sets) {
                const std::int64_t sequence = 2 * pair + h;
                if (sequence >= all_lines)
                    break;
                set = sequence / lines.lines_per_set;
                line = sequence % lines.lines_per_set;
            } else {
                set = pair / per_set;
                line = 2 * (pair % per_set) + h;
                if (line >= lines.lines_per_set)
                    break;
            }
            b->in[2 * j + h] = line_start(lines.in, set, line);
            b->out[2 * j + h] = line_start(lines.out, set, line);
            if (lines.exponents && lines.exponents[set] != 0) {
                b->exponent[2 * j + h] = lines.exponents[set];
                b->scaled = true;
            }
        }
    }
    b->in_spacing = uniform_spacing(b->in, 2 * b->lanes);
    b->out_spacing = uniform_spacing(b->out, 2 * b->lanes);
}

// Fills `count` values of every slot from the lines: value i of a line is
// its sample index(i). Value i of all lines goes into one run of the work
// array, so the work array is written in order while each line is read in
// order.
template <typename T, int Lanes, typename Index>
void gather_uniform(const batch& b, std::int64_t step, std::int32_t count, Index index)
{
    const std::int64_t spacing = b.in_spacing;
    for (std::int32_t i = 0; i < count; ++i) {
        if (stop_due(i, b.poll))
            return;
        const unsigned char* first = b.in[0] + index(i) * step;
        double* re = b.work + 2 * static_cast<std::ptrdiff_t>(i) * Lanes;
        double* im = re + Lanes;
        for (int j = 0; j < Lanes; ++j) {
            re[j] = load_sample<T>(first + 2 * j * spacing);
            im[j] = load_sample<T>(first + (2 * j + 1) * spacing);
        }
    }
}

template <typename T, typename Index>
void gather(const batch& b, std::int64_t step, std::int32_t count, Index index)
{
    if (b.in_spacing != 0) {
        switch (b.lanes) {
        case 8:
            return gather_uniform<T, 8>(b, step, count, index);
        case 4:
            return gather_uniform<T, 4>(b, step, count, index);
        case 2:
            return gather_uniform<T, 2>(b, step, count, index);
        default:
            return gather_uniform<T, 1>(b, step, count, index);
        }
    }
    for (std::int32_t i = 0; i < count; ++i) {
        if (stop_due(i, b.poll))
            return;
        const std::int64_t offset = index(i) * step;
        for (int h = 0; h < 2; ++h) {
            double* to = b.work + (2 * static_cast<std::ptrdiff_t>(i) + h) * b.lanes;
            for (int j = 0; j < b.lanes; ++j) {
                const unsigned char* line = b.in[2 * j + h];
                to[j] = line ? load_sample<T>(line + offset) : 0.0;
            }
        }
    }
}

// gather for scaled sets: value i of a line times 2^-e, e its exponent.
// Powers of two scale exactly.
template <typename T, typename Index>
void gather_scaled(const batch& b, std::int64_t step, std::int32_t count, Index index)
{
    double factor[max_slots];
    for (int s = 0; s < 2 * b.lanes; ++s)
        factor[s] = std::ldexp(1.0, -b.exponent[s]);
    for (std::int32_t i = 0; i < count; ++i) {
        if (stop_due(i, b.poll))
            return;
        const std::int64_t offset = index(i) * step;
        for (int s = 0; s < 2 * b.lanes; ++s)
            *b.at(i, s) = b.in[s] ? load_sample<T>(b.in[s] + offset) * factor[s] : 0.0;
    }
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
template <int Lanes>
void store_coefficients_uniform(const cosine_pass& pass, const batch& b, std::int64_t step)
{
    const std::int32_t kept = pass.kept;
    const std::int32_t count = pass.plan.shape.out_count;
    const std::int64_t spacing = b.out_spacing;
    for (std::int32_t k = 0; k < kept; ++k) {
        if (stop_due(k, b.poll))
            return;
        const std::int32_t at = k + kept - 1;
        const double* mirror_re = b.work + 2 * static_cast<std::ptrdiff_t>(kept - 1 - k) * Lanes;
        const double* mirror_im = mirror_re + Lanes;
        unsigned char* first = b.out[0] + k * step;
        // The same sums as below, the ramp's factor i taken back when the
        // window wrapped.
        const bool wrapped = at >= count;
        const double* a = b.work + 2 * static_cast<std::ptrdiff_t>(wrapped ? at - pass.n : at) * Lanes;
        for (int j = 0; j < Lanes; ++j) {
            const double a_re = wrapped ? a[Lanes + j] : a[j];
            const double a_im = wrapped ? -a[j] : a[Lanes + j];
            store(first + 2 * j * spacing, a_re + mirror_re[j]);
            store(first + (2 * j + 1) * spacing, a_im + mirror_im[j]);
        }
    }
}

void store_coefficients(const cosine_pass& pass, const batch& b, std::int64_t step)
{
    if (b.out_spacing != 0) {
        switch (b.lanes) {
        case 8:
            return store_coefficients_uniform<8>(pass, b, step);
        case 4:
            return store_coefficients_uniform<4>(pass, b, step);
        case 2:
            return store_coefficients_uniform<2>(pass, b, step);
        default:
            return store_coefficients_uniform<1>(pass, b, step);
        }
    }
    const std::int32_t kept = pass.kept;
    const std::int32_t count = pass.plan.shape.out_count;
    for (std::int32_t k = 0; k < kept; ++k) {
        if (stop_due(k, b.poll))
            return;
        const std::int32_t at = k + kept - 1;
        const std::int32_t mirror = kept - 1 - k;
        const std::int64_t offset = k * step;
        for (int j = 0; j < b.lanes; ++j) {
            if (!b.out[2 * j])
                continue;
            double a_re, a_im;
            if (at < count) {
                a_re = *b.at(at, 2 * j);
                a_im = *b.at(at, 2 * j + 1);
            } else {
                a_re = *b.at(at - pass.n, 2 * j + 1);
                a_im = -*b.at(at - pass.n, 2 * j);
            }
            store(b.out[2 * j] + offset, a_re + *b.at(mirror, 2 * j));
            if (b.out[2 * j + 1])
                store(b.out[2 * j + 1] + offset, a_im + *b.at(mirror, 2 * j + 1));
        }
    }
}

template <typename T>
void forward_batch(const cosine_pass& pass, const pass_lines& lines, const batch& b)
{
    const std::int32_t n = pass.n;
    const auto index = [n](std::int32_t i) { return reordered(i, n); };
    if (b.scaled)
        gather_scaled<T>(b, lines.in.step, n, index);
    else
        gather<T>(b, lines.in.step, n, index);
    if (stop_requested(b.poll))
        return;
    line_plan_transform(pass.plan, pass.path, b.work, b.poll);
    if (stop_requested(b.poll))
        return;  // the transform may have been cut short
    store_coefficients(pass, b, lines.out.step);
}

template <typename T, rounding R, int Lanes>
void scatter_uniform(const batch& b, std::int32_t count, std::int64_t step)
{
    const std::int64_t spacing = b.out_spacing;
    unsigned char* first = b.out[0];
    for (std::int32_t x = 0; x < count; ++x, first += step) {
        if (stop_due(x, b.poll))
            return;
        const double* re = b.work + 2 * static_cast<std::ptrdiff_t>(x) * Lanes;
        const double* im = re + Lanes;
        for (int j = 0; j < Lanes; ++j) {
            store_sample<T, R>(first + 2 * j * spacing, re[j]);
            store_sample<T, R>(first + (2 * j + 1) * spacing, im[j]);
        }
    }
}

// The samples of scaled sets, each line's times 2^e.
template <typename T, rounding R>
void scatter_scaled(const batch& b, std::int32_t count, std::int64_t step)
{
    double factor[max_slots];
    for (int s = 0; s < 2 * b.lanes; ++s)
        factor[s] = std::ldexp(1.0, b.exponent[s]);
    for (std::int32_t x = 0; x < count; ++x) {
        if (stop_due(x, b.poll))
            return;
        for (int s = 0; s < 2 * b.lanes; ++s)
            if (b.out[s])
                store_sample<T, R>(b.out[s] + x * step, *b.at(x, s) * factor[s]);
    }
}

template <typename T, rounding R>
void inverse_batch(const cosine_pass& pass, const pass_lines& lines, const batch& b)
{
    const std::int32_t kept = pass.kept;
    gather<double>(b, lines.in.step, 2 * kept - 1, [kept](std::int32_t i) { return band_index(i, kept); });
    if (stop_requested(b.poll))
        return;
    line_plan_transform(pass.plan, pass.path, b.work, b.poll);
    if (stop_requested(b.poll))
        return;
    // Sample x of every line of the batch lies in one run of the work array:
    // reading it in that order streams the work array once, and each output
    // line is still written in order.
    const std::int64_t step = lines.out.step;
    if (b.scaled)
        return scatter_scaled<T, R>(b, pass.n_out, step);
    if (b.out_spacing != 0) {
        switch (b.lanes) {
        case 8:
            return scatter_uniform<T, R, 8>(b, pass.n_out, step);
        case 4:
            return scatter_uniform<T, R, 4>(b, pass.n_out, step);
        case 2:
            return scatter_uniform<T, R, 2>(b, pass.n_out, step);
        default:
            return scatter_uniform<T, R, 1>(b, pass.n_out, step);
        }
    }
    for (std::int32_t x = 0; x < pass.n_out; ++x) {
        if (stop_due(x, b.poll))
            return;
        const std::int64_t offset = x * step;
        for (int h = 0; h < 2; ++h) {
            const double* from = b.work + (2 * static_cast<std::ptrdiff_t>(x) + h) * b.lanes;
            for (int j = 0; j < b.lanes; ++j) {
                unsigned char* line = b.out[2 * j + h];
                if (line)
                    store_sample<T, R>(line + offset, from[j]);
            }
        }
    }
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
            batch b;
            b.lanes = lanes;
            b.work = engine.workspaces[thread];
            b.poll = engine.poll;
            for (std::int64_t first = unit * per_unit; first < end; first += lanes) {
                if (stop_requested(engine.poll))
                    return;
                fill_slots(lines, first, end, &b);
                run_batch(pass, lines, b);
            }
        },
        engine.poll);
}

// The largest magnitude among the n samples of a line.
template <typename T>
double line_largest(const unsigned char* line, std::int64_t step, std::int32_t n)
{
    double largest = 0.0;
    for (std::int32_t i = 0; i < n; ++i)
        largest = std::max(largest, std::fabs(load_sample<T>(line + i * step)));
    return largest;
}

double line_largest(const unsigned char* line, std::int64_t step, std::int32_t n, sample_type type)
{
    switch (type) {
    case sample_type::uint8:
        return line_largest<std::uint8_t>(line, step, n);
    case sample_type::uint16:
        return line_largest<std::uint16_t>(line, step, n);
    case sample_type::float32:
        return line_largest<float>(line, step, n);
    case sample_type::float64:
        return line_largest<double>(line, step, n);
    }
    return 0.0;
}

template <typename T>
void inverse_rounded(const cosine_pass& pass, const pass_lines& lines, rounding how, const line_engine& engine)
{
    if (how == rounding::nearest)
        run_batches(pass, lines, engine, inverse_batch<T, rounding::nearest>);
    else
        run_batches(pass, lines, engine, inverse_batch<T, rounding::truncate>);
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

chirp_shape forward_pass_shape(std::int32_t n, std::int32_t n_out)
{
    // Outputs k and -k of the length-n DFT, for k < kept: the window
    // [-(kept - 1), kept - 1], or every residue once when that is shorter.
    const std::int32_t kept = carried_bins(n, n_out);
    const std::int32_t outputs = std::min(2 * kept - 1, n);
    return chirp_shape{n, 0, n, -(kept - 1), outputs, chirp_forward, 0, 2 * n, 0.5 / n};
}

chirp_shape inverse_pass_shape(std::int32_t n, std::int32_t n_out)
{
    const std::int32_t kept = carried_bins(n, n_out);
    return chirp_shape{2 * n_out, -(kept - 1), 2 * kept - 1, 0, n_out, chirp_inverse, 2 * n, 0, 1.0};
}

chirp_shape pass_shape(bool inverse, std::int32_t n, std::int32_t n_out)
{
    return inverse ? inverse_pass_shape(n, n_out) : forward_pass_shape(n, n_out);
}

int cosine_pass_init(cosine_pass* pass, bool inverse, std::int32_t n, std::int32_t n_out, lane_path path,
                     const fft_tables& tables, const stop_poll* poll)
{
    pass->n = n;
    pass->n_out = n_out;
    pass->kept = carried_bins(n, n_out);
    pass->inverse = inverse;
    pass->path = path;
    return line_plan_build(&pass->plan, pass_shape(inverse, n, n_out), tables, poll);
}

std::size_t workspace_doubles(const chirp_shape& shape, lane_path path)
{
    return line_plan_work_doubles(shape, path);
}

void forward_lines(const cosine_pass& pass, const pass_lines& lines, sample_type in_type, const line_engine& engine)
{
    switch (in_type) {
    case sample_type::uint8:
        run_batches(pass, lines, engine, forward_batch<std::uint8_t>);
        return;
    case sample_type::uint16:
        run_batches(pass, lines, engine, forward_batch<std::uint16_t>);
        return;
    case sample_type::float32:
        run_batches(pass, lines, engine, forward_batch<float>);
        return;
    case sample_type::float64:
        run_batches(pass, lines, engine, forward_batch<double>);
        return;
    }
}

void inverse_lines(const cosine_pass& pass, const pass_lines& lines, sample_type out_type, rounding how,
                   const line_engine& engine)
{
    switch (out_type) {
    case sample_type::uint8:
        inverse_rounded<std::uint8_t>(pass, lines, how, engine);
        return;
    case sample_type::uint16:
        inverse_rounded<std::uint16_t>(pass, lines, how, engine);
        return;
    case sample_type::float32:
        run_batches(pass, lines, engine, inverse_batch<float, rounding::nearest>);
        return;
    case sample_type::float64:
        run_batches(pass, lines, engine, inverse_batch<double, rounding::nearest>);
        return;
    }
}
