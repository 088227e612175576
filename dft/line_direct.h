// The direct way of a line plan, written once for any element type: the
// window of inputs placed on the line of length P (times its factors, zeros
// elsewhere), the mixed-radix FFT of the line, and the window of outputs
// read back (times its factors).
//
// As in fft/mixed_radix.h, T is one double of the data (double, or a
// vector of W doubles for W lines in lane layout), factors are plain
// doubles applied to every lane alike, and each complex product is
// fft/lane_complex.h's, so every lane gives the one-line bits. The FFT
// gathers the inputs in its digit-reversed order straight from the window,
// block by block.
//
// Internal linkage and no std:: templates, for the reasons
// fft/split_radix.h gives. Included by line_direct_kernel.cpp only.
#pragma once

#include "dft/line_direct_entries.h"
#include "fft/lane_complex.h"
#include "fft/mixed_radix.h"

namespace velmora::detail {

namespace {
namespace line_direct {

template <typename T>
inline void put(T* to, const T* from, const double* factor)
{
    if (factor) {
        write_point(to, times(read_point(from), factor[0], factor[1]));
    } else {
        to[0] = from[0];
        to[1] = from[1];
    }
}

// Point q of the line: input j = from[q], window entry j - in_start (mod
// P) times its factor when that lies in the window, zero otherwise.
template <typename T>
struct from_window {
    const line_direct_arrays* d;
    const T* window;

    std::int32_t entry(int q) const
    {
        const std::int32_t i = d->fft.from[q] - d->in_start;
        return i < 0 ? i + d->fft.points : i;
    }

    void operator()(int q, T* to) const
    {
        constexpr int ahead = 8;
        if (q + ahead < d->fft.points) {
            const std::int32_t next = entry(q + ahead);
            if (next < d->in_count) {
                // Both halves: a point of eight lanes spans two cache lines.
                __builtin_prefetch(window + 2 * next);
                __builtin_prefetch(window + 2 * next + 1);
            }
        }
        const std::int32_t i = entry(q);
        if (i < d->in_count) {
            put(to, window + 2 * i, d->pre ? d->pre + 2 * i : nullptr);
        } else {
            to[0] = T{};
            to[1] = T{};
        }
    }
};

// work: the window (window_points points), then the line (P points).
template <typename T>
void transform(const line_direct_arrays& d, T* work)
{
    const std::int32_t P = d.fft.points;
    T* const window = work;
    T* const line = work + 2 * d.window_points;
    mixed_radix::transform(d.fft, d.sign, from_window<T>{&d, window}, line, d.poll);
    std::int32_t k = d.out_start;
    for (std::int32_t r = 0; r < d.out_count; ++r) {
        put(window + 2 * r, line + 2 * k, d.post ? d.post + 2 * r : nullptr);
        k = k + 1 == P ? 0 : k + 1;
    }
}

}  // namespace line_direct
}  // namespace

}  // namespace velmora::detail
