// Mixed-radix FFT plans: complex transforms of any length N = 2^a 3^b 5^c,
// for one line or for a batch of lines, one per vector lane.
//
// A plan splits N into levels of radix 8, 4, 2, 3 and 5 (mixed_radix.h) and
// holds the twiddles of every level and the digit-reversal permutation.
// The library runs a plan inside the direct way of dft/ (line_direct.h),
// which reads it through mixed_radix_steps_of; for the tests and
// benchmarks, which hold it to the DFT on its own,
// mixed_radix_forward computes X[k] = sum_j x[j] exp(-2 pi i jk/N),
// mixed_radix_backward the same with the positive exponent; both unscaled,
// from `in` into `out`, two different arrays. Both hold lane_width(path)
// lines in lane layout (fft/fft_lanes.h: 2 N lane_width(path) doubles,
// lane_alignment-aligned); every lane runs the one-line arithmetic, so each
// line gets the same bits on every path, the scalar one (one interleaved
// line) included.
//
// Ownership: a plan owns its arrays (velmora::buffer) and is only read once
// built, so any number of threads may run it at once, each on its own
// arrays. Nothing here prints or throws; a build that cannot get its memory
// returns false.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/fft_lanes.h"
#include "fft/mixed_radix_entries.h"
#include "fft/stop_poll.h"
#include "velmora/buffer.h"

namespace velmora::detail {

constexpr std::int32_t mixed_radix_max_points = std::int32_t{1} << 22;

struct mixed_radix_plan {
    std::int32_t points = 0;  // N; 0: not built
    int level_count = 0;
    int radices[mixed_radix_max_levels] = {};  // level 0 combines the whole line
    // Per level i of radix r over blocks of n points, for k < n / r:
    // w^k, w^2k, ..., w^(r-1)k with w = exp(-2 pi i / n), complex,
    // interleaved.
    velmora::buffer<double> twiddles;
    velmora::buffer<std::int32_t> from;  // point q of the first level takes input from[q]
};

// The radices a plan of N points uses, from the outer level in, and their
// count; -1 unless N = 2^a 3^b 5^c from 1 to mixed_radix_max_points. For
// costing a transform without building it.
int mixed_radix_levels(std::int32_t points, int radices[mixed_radix_max_levels]);

// False (plan left empty) for a length mixed_radix_levels refuses, when
// memory runs out, or when the stop poll (if given), asked every 2^13
// values, says stop.
bool mixed_radix_plan_build(mixed_radix_plan* plan, std::int32_t points, const stop_poll* poll = nullptr);

// The bytes the plan's arrays take (0 when it is not built).
std::size_t mixed_radix_plan_bytes(const mixed_radix_plan& plan);

// The plan's arrays as the lane kernels read them.
mixed_radix_steps mixed_radix_steps_of(const mixed_radix_plan& plan);

// For the tests and benchmarks (above): doubles of in (and of out) for the
// path, 2 N lane_width(path), and the transforms; path must be supported
// (lane_path_supported).
std::size_t mixed_radix_line_doubles(const mixed_radix_plan& plan, lane_path path);
void mixed_radix_forward(const mixed_radix_plan& plan, lane_path path, const double* in, double* out);
void mixed_radix_backward(const mixed_radix_plan& plan, lane_path path, const double* in, double* out);

}  // namespace velmora::detail
