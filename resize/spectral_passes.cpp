#include "resize/spectral_passes.h"

#include <algorithm>

#include "resize/parallel_lines.h"

namespace {

// Pairs handed out together: at least four, a run of eight neighbouring
// outputs, a whole cache line of doubles, so threads rarely share one; and
// at least one batch of lanes.
constexpr std::int32_t min_pairs_per_unit = 4;

std::int32_t pairs_per_unit(int lanes)
{
    return lanes > min_pairs_per_unit ? lanes : min_pairs_per_unit;
}

inline void store_sample(double* at, double value)
{
    *at = value;
}

inline void store_sample(std::uint8_t* at, double value)
{
    *at = to_sample(value);
}

// A batch: `lanes` pairs of lines from `first` on, pair j in lane j of the
// work array, its first line as real parts and its second as imaginary
// parts. A line at or past `end` rides as zeros and is never stored, so a
// last, partial batch needs no path of its own.
struct batch {
    std::int32_t first;
    std::int32_t end;
    int lanes;
    double* work;

    bool has(std::int32_t line) const { return line < end; }
    // Where value i of the line in slot s sits: slot 2j + h is pair j's
    // first line (h = 0, the real parts) or second line (h = 1, the
    // imaginary parts). The hot loops below walk the same layout by hand.
    double* at(std::int32_t i, int slot) const
    {
        return work + (2 * static_cast<std::ptrdiff_t>(i) + (slot & 1)) * lanes + (slot >> 1);
    }
};

// Fills `count` values of every slot of the batch from the input lines:
// value i of a line is its element index(i). Value i of all lines goes into
// one run of the work array, so the work array is written in order while
// each line is read in order.
template <typename T, typename Index>
void gather_batch(const batch& b, strided_lines<const T> in, std::int32_t count, Index index)
{
    const T* first = in.base + b.first * in.line_step;
    for (std::int32_t i = 0; i < count; ++i) {
        const T* value = first + index(i) * in.elem_step;
        for (int h = 0; h < 2; ++h) {
            double* to = b.work + (2 * static_cast<std::ptrdiff_t>(i) + h) * b.lanes;
            for (int j = 0; j < b.lanes; ++j) {
                const int slot = 2 * j + h;
                to[j] = b.has(b.first + slot) ? static_cast<double>(value[slot * in.line_step]) : 0.0;
            }
        }
    }
}

// Input i of the length-n DFT that sums the cosines: even samples forwards,
// then odd samples backwards (v = x0 x2 x4 ... x5 x3 x1).
inline std::int32_t reordered(std::int32_t i, std::int32_t n)
{
    return i < (n + 1) / 2 ? 2 * i : 2 * n - 1 - 2 * i;
}

// Input i of an inverse pass: the band C[|k|] for k from -(kept - 1) on.
inline std::int32_t band_index(std::int32_t i, std::int32_t kept)
{
    return i < kept - 1 ? kept - 1 - i : i - (kept - 1);
}

// With A(t) = exp(-i pi t / 2n) Z[t] / 2n the plan's outputs for t in
// [-(kept - 1), ...), line 1's C[k] is Re A(k) + Re A(-k) and line 2's is
// Im A(k) + Im A(-k). When the window holds every residue once (2 kept - 1 >
// n), A(k) for the largest k sits at t = k - n, where the ramp adds a factor
// i that is taken back here.
void store_coefficients(const cosine_pass* pass, const batch& b, strided_lines<double> out)
{
    const std::int32_t kept = pass->kept;
    const std::int32_t count = pass->plan.shape.out_count;
    for (std::int32_t k = 0; k < kept; ++k) {
        const std::int32_t at = k + kept - 1;
        const std::int32_t mirror = kept - 1 - k;
        for (int j = 0; j < b.lanes; ++j) {
            const std::int32_t line = b.first + 2 * j;
            if (!b.has(line))
                break;
            double a_re, a_im;
            if (at < count) {
                a_re = *b.at(at, 2 * j);
                a_im = *b.at(at, 2 * j + 1);
            } else {
                a_re = *b.at(at - pass->n, 2 * j + 1);
                a_im = -*b.at(at - pass->n, 2 * j);
            }
            double* c = out.base + line * out.line_step + k * out.elem_step;
            *c = a_re + *b.at(mirror, 2 * j);
            if (b.has(line + 1))
                c[out.line_step] = a_im + *b.at(mirror, 2 * j + 1);
        }
    }
}

template <typename T>
void forward_batch(const cosine_pass* pass, const batch& b, strided_lines<const T> in, strided_lines<double> out,
                   lane_path path)
{
    const std::int32_t n = pass->n;
    gather_batch(b, in, n, [n](std::int32_t i) { return reordered(i, n); });
    line_plan_transform(pass->plan, path, b.work);
    store_coefficients(pass, b, out);
}

template <typename T>
void inverse_batch(const cosine_pass* pass, const batch& b, strided_lines<const double> in, strided_lines<T> out,
                   lane_path path)
{
    const std::int32_t kept = pass->kept;
    gather_batch(b, in, 2 * kept - 1, [kept](std::int32_t i) { return band_index(i, kept); });
    line_plan_transform(pass->plan, path, b.work);
    // Sample x of every line of the batch lies in one run of the work array:
    // reading it in that order streams the work array once, and each output
    // line is still written in order.
    for (std::int32_t x = 0; x < pass->n_out; ++x) {
        T* y = out.base + b.first * out.line_step + x * out.elem_step;
        for (int h = 0; h < 2; ++h) {
            const double* from = b.work + (2 * static_cast<std::ptrdiff_t>(x) + h) * b.lanes;
            for (int j = 0; j < b.lanes; ++j) {
                const int slot = 2 * j + h;
                if (b.has(b.first + slot))
                    store_sample(y + slot * out.line_step, from[j]);
            }
        }
    }
}

template <typename In, typename Out, typename Batch>
void run_batches(const cosine_pass* pass, std::int32_t lines, strided_lines<const In> in, strided_lines<Out> out,
                 const line_engine& engine, Batch run_batch)
{
    const int lanes = lane_width(engine.path);
    const std::int32_t per_unit = pairs_per_unit(lanes);
    const std::int32_t pairs = (lines + 1) / 2;
    const std::int32_t units = (pairs + per_unit - 1) / per_unit;
    parallel_lines(engine.team, units, [&](int thread, std::int32_t unit) {
        const std::int32_t end = std::min(lines, (unit + 1) * per_unit * 2);
        for (std::int32_t first = unit * per_unit * 2; first < end; first += 2 * lanes)
            run_batch(pass, batch{first, end, lanes, engine.workspaces[thread]}, in, out, engine.path);
    });
}

}  // namespace

std::int32_t carried_bins(std::int32_t n, std::int32_t n_out)
{
    return std::min(n, n_out);
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

namespace {

int pass_init(cosine_pass* pass, std::int32_t n, std::int32_t n_out, const chirp_shape& shape,
              const fft_tables& tables)
{
    pass->n = n;
    pass->n_out = n_out;
    pass->kept = carried_bins(n, n_out);
    return line_plan_build(&pass->plan, shape, tables);
}

}  // namespace

int forward_pass_init(cosine_pass* pass, std::int32_t n, std::int32_t n_out, const fft_tables& tables)
{
    return pass_init(pass, n, n_out, forward_pass_shape(n, n_out), tables);
}

int inverse_pass_init(cosine_pass* pass, std::int32_t n, std::int32_t n_out, const fft_tables& tables)
{
    return pass_init(pass, n, n_out, inverse_pass_shape(n, n_out), tables);
}

void pass_release(cosine_pass* pass)
{
    pass->plan = line_plan{};
}

std::size_t workspace_doubles(const chirp_shape& shape, lane_path path)
{
    return line_plan_work_doubles(shape, path);
}

void forward_lines(const cosine_pass* pass, std::int32_t lines, strided_lines<const std::uint8_t> in,
                   strided_lines<double> out, const line_engine& engine)
{
    run_batches(pass, lines, in, out, engine, forward_batch<std::uint8_t>);
}

void forward_lines(const cosine_pass* pass, std::int32_t lines, strided_lines<const double> in,
                   strided_lines<double> out, const line_engine& engine)
{
    run_batches(pass, lines, in, out, engine, forward_batch<double>);
}

void inverse_lines(const cosine_pass* pass, std::int32_t lines, strided_lines<const double> in,
                   strided_lines<double> out, const line_engine& engine)
{
    run_batches(pass, lines, in, out, engine, inverse_batch<double>);
}

void inverse_lines(const cosine_pass* pass, std::int32_t lines, strided_lines<const double> in,
                   strided_lines<std::uint8_t> out, const line_engine& engine)
{
    run_batches(pass, lines, in, out, engine, inverse_batch<std::uint8_t>);
}

std::uint8_t to_sample(double value)
{
    // Written as selections rather than branches, so that the compiler can
    // clamp without jumps; a NaN fails both tests and becomes 0.
    const double below = value >= 255.0 ? 255.0 : value;
    const double clamped = below > 0.0 ? below : 0.0;
    return static_cast<std::uint8_t>(static_cast<int>(clamped));  // truncation toward zero
}
