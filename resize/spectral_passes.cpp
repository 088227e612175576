#include "resize/spectral_passes.h"

#include <algorithm>

#include "dft/chirp_execute.h"
#include "resize/parallel_lines.h"

namespace {

// Lines handed out together: four pairs make a run of eight neighbouring
// outputs, a whole cache line of doubles, so threads rarely share one.
constexpr std::int32_t pairs_per_unit = 4;
constexpr std::size_t workspace_alignment = 64;

std::int32_t unit_count(std::int32_t lines)
{
    const std::int32_t pairs = (lines + 1) / 2;
    return (pairs + pairs_per_unit - 1) / pairs_per_unit;
}

template <typename T>
inline const T* line_start(strided_lines<const T> lines, std::int32_t i)
{
    return lines.base + i * lines.line_step;
}

// The order that makes the cosine sum a DFT of length n: even samples
// forwards, then odd samples backwards (v = x0 x2 x4 ... x5 x3 x1).
template <typename T>
void gather_reordered(const T* x, std::ptrdiff_t step, std::int32_t n, double* v)
{
    const std::int32_t half = (n + 1) / 2;
    for (std::int32_t m = 0; m < half; ++m)
        v[m] = static_cast<double>(x[2 * m * step]);
    for (std::int32_t m = half; m < n; ++m)
        v[m] = static_cast<double>(x[(2 * n - 1 - 2 * m) * step]);
}

// With A(t) = exp(-i pi t / 2n) Z[t] / 2n the plan's outputs for t in
// [-(kept - 1), ...), line 1's C[k] is Re A(k) + Re A(-k) and line 2's is
// Im A(k) + Im A(-k). When the window holds every residue once (2 kept - 1 >
// n), A(k) for the largest k sits at t = k - n, where the ramp adds a factor
// i that is taken back here.
void store_coefficients(const cosine_pass* pass, const line_workspace& ws, double* c1, double* c2,
                        std::ptrdiff_t step)
{
    const std::int32_t kept = pass->kept;
    const std::int32_t count = pass->plan.shape.out_count;
    for (std::int32_t k = 0; k < kept; ++k) {
        const std::int32_t at = k + kept - 1;
        double a_re, a_im;
        if (at < count) {
            a_re = ws.out_re[at];
            a_im = ws.out_im[at];
        } else {
            a_re = ws.out_im[at - pass->n];
            a_im = -ws.out_re[at - pass->n];
        }
        const std::int32_t mirror = kept - 1 - k;
        c1[k * step] = a_re + ws.out_re[mirror];
        if (c2)
            c2[k * step] = a_im + ws.out_im[mirror];
    }
}

template <typename T>
void forward_pair(const cosine_pass* pass, std::int32_t first, std::int32_t lines, strided_lines<const T> in,
                  strided_lines<double> out, const line_workspace& ws)
{
    const std::int32_t n = pass->n;
    const bool both = first + 1 < lines;
    gather_reordered(line_start(in, first), in.elem_step, n, ws.in_re);
    if (both)
        gather_reordered(line_start(in, first + 1), in.elem_step, n, ws.in_im);
    else
        std::fill(ws.in_im, ws.in_im + n, 0.0);
    chirp_execute(&pass->plan, ws.in_re, ws.in_im, ws.out_re, ws.out_im, ws.work);
    double* c1 = out.base + first * out.line_step;
    store_coefficients(pass, ws, c1, both ? c1 + out.line_step : nullptr, out.elem_step);
}

// The band C[|k|] for k from -(kept - 1) to kept - 1.
void gather_band(const double* c, std::ptrdiff_t step, std::int32_t kept, double* band)
{
    for (std::int32_t i = 0; i < 2 * kept - 1; ++i) {
        const std::int32_t k = i < kept - 1 ? kept - 1 - i : i - (kept - 1);
        band[i] = c[k * step];
    }
}

inline void store_sample(double* at, double value)
{
    *at = value;
}

inline void store_sample(std::uint8_t* at, double value)
{
    *at = to_sample(value);
}

template <typename T>
void inverse_pair(const cosine_pass* pass, std::int32_t first, std::int32_t lines, strided_lines<const double> in,
                  strided_lines<T> out, const line_workspace& ws)
{
    const std::int32_t kept = pass->kept;
    const bool both = first + 1 < lines;
    gather_band(line_start(in, first), in.elem_step, kept, ws.in_re);
    if (both)
        gather_band(line_start(in, first + 1), in.elem_step, kept, ws.in_im);
    else
        std::fill(ws.in_im, ws.in_im + 2 * kept - 1, 0.0);
    chirp_execute(&pass->plan, ws.in_re, ws.in_im, ws.out_re, ws.out_im, ws.work);
    T* y1 = out.base + first * out.line_step;
    for (std::int32_t x = 0; x < pass->n_out; ++x)
        store_sample(y1 + x * out.elem_step, ws.out_re[x]);
    if (both) {
        T* y2 = y1 + out.line_step;
        for (std::int32_t x = 0; x < pass->n_out; ++x)
            store_sample(y2 + x * out.elem_step, ws.out_im[x]);
    }
}

// An unchanged direction: line i's n values copied to the output layout.
template <typename In, typename Out>
void copy_lines(std::int32_t lines, std::int32_t n, strided_lines<const In> in, strided_lines<Out> out)
{
    for (std::int32_t i = 0; i < lines; ++i) {
        const In* from = line_start(in, i);
        Out* to = out.base + i * out.line_step;
        for (std::int32_t j = 0; j < n; ++j)
            store_sample(to + j * out.elem_step, static_cast<double>(from[j * in.elem_step]));
    }
}

template <typename In, typename Out, typename Pair>
void run_pairs(const cosine_pass* pass, std::int32_t lines, strided_lines<const In> in, strided_lines<Out> out,
               line_workspace* workspaces, int threads, Pair pair)
{
    if (pass->identity) {
        copy_lines(lines, pass->n, in, out);
        return;
    }
    parallel_lines(unit_count(lines), threads, [&](int thread, std::int32_t unit) {
        const std::int32_t begin = unit * pairs_per_unit * 2;
        const std::int32_t end = std::min(lines, begin + pairs_per_unit * 2);
        for (std::int32_t first = begin; first < end; first += 2)
            pair(pass, first, lines, in, out, workspaces[thread]);
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
    pass->identity = n == n_out;
    pass->plan.pre = nullptr;
    if (pass->identity)
        return chirp_ok;
    return chirp_plan_init(&pass->plan, shape, tables.ip, tables.table_size, tables.ww);
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
    chirp_plan_release(&pass->plan);
}

workspace_size workspace_needs(const chirp_shape& shape)
{
    const std::int32_t N = chirp_fft_size(shape);
    return workspace_size{2 * static_cast<std::size_t>(N),
                          static_cast<std::size_t>(std::max(shape.in_count, shape.out_count))};
}

workspace_size workspace_union(workspace_size a, workspace_size b)
{
    return workspace_size{std::max(a.work, b.work), std::max(a.lines, b.lines)};
}

namespace {

// Each part starts on its own 64-byte boundary.
std::size_t padded(std::size_t doubles)
{
    const std::size_t per_line = workspace_alignment / sizeof(double);
    return (doubles + per_line - 1) / per_line * per_line;
}

}  // namespace

std::size_t line_workspace_doubles(workspace_size size)
{
    return padded(size.work) + 4 * padded(size.lines);
}

line_workspace line_workspace_at(double* block, workspace_size size)
{
    line_workspace ws;
    ws.work = block;
    ws.in_re = ws.work + padded(size.work);
    ws.in_im = ws.in_re + padded(size.lines);
    ws.out_re = ws.in_im + padded(size.lines);
    ws.out_im = ws.out_re + padded(size.lines);
    return ws;
}

void forward_lines(const cosine_pass* pass, std::int32_t lines, strided_lines<const std::uint8_t> in,
                   strided_lines<double> out, line_workspace* workspaces, int threads)
{
    run_pairs(pass, lines, in, out, workspaces, threads, forward_pair<std::uint8_t>);
}

void forward_lines(const cosine_pass* pass, std::int32_t lines, strided_lines<const double> in,
                   strided_lines<double> out, line_workspace* workspaces, int threads)
{
    run_pairs(pass, lines, in, out, workspaces, threads, forward_pair<double>);
}

void inverse_lines(const cosine_pass* pass, std::int32_t lines, strided_lines<const double> in,
                   strided_lines<double> out, line_workspace* workspaces, int threads)
{
    run_pairs(pass, lines, in, out, workspaces, threads, inverse_pair<double>);
}

void inverse_lines(const cosine_pass* pass, std::int32_t lines, strided_lines<const double> in,
                   strided_lines<std::uint8_t> out, line_workspace* workspaces, int threads)
{
    run_pairs(pass, lines, in, out, workspaces, threads, inverse_pair<std::uint8_t>);
}

std::uint8_t to_sample(double value)
{
    if (value >= 255.0)
        return 255;
    if (!(value > 0.0))  // also maps a NaN to 0
        return 0;
    return static_cast<std::uint8_t>(value);  // truncation toward zero
}
