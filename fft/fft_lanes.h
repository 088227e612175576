// Power-of-two FFTs of a batch of lines at once, one line per vector lane.
//
// Lane layout: a batch of W = lane_width(path) lines, each of n doubles in
// the interleaved one-line format (double 2k the real part, 2k+1 the
// imaginary part of point k), is one array of n*W doubles in which double i
// of line j sits at a[i*W + j]. Every lane runs exactly the arithmetic of
// the scalar path (W = 1, one interleaved line) on its own line, in the
// same order, so line j of the result is bit for bit the one-line
// transform of line j, on every path.
//
// Paths are chosen at run time from the CPU's features; lane_path_best() is
// the one place that makes that choice, once per process.
//
// Ownership: the caller owns a and the tables. The transforms write a only
// and read the tables, so any number of threads may run them at once on
// different batches with shared tables. Nothing here allocates, prints or
// fails.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/fft_tables.h"
#include "fft/stop_poll.h"

namespace velmora::detail {

enum class lane_path { scalar, sse2, avx2, avx512 };

// Alignment in bytes that batches must have on every path.
constexpr std::size_t lane_alignment = 64;

// Lines per batch: 1, 2, 4 or 8.
int lane_width(lane_path path);

// The one way from a lane count known at run time to code written once
// over it as a constant: body.template operator()<Lanes>() with Lanes =
// lanes for 8, 4 and 2, and 1 for any other count, returning what it
// returns. For loops whose inner loop over the lanes the compiler unrolls:
//
//   visit_lane_width(lane_width(path), [&]<int Lanes>() { ... });
template <typename Body>
decltype(auto) visit_lane_width(int lanes, Body&& body)
{
    switch (lanes) {
    case 8:
        return body.template operator()<8>();
    case 4:
        return body.template operator()<4>();
    case 2:
        return body.template operator()<2>();
    default:
        return body.template operator()<1>();
    }
}

// True when this build has the path and the running CPU can execute it.
// scalar is always supported; the vector paths exist on x86-64 builds only.
bool lane_path_supported(lane_path path);

// The widest supported path, decided on the first call.
lane_path lane_path_best();

// X[k] = sum_j x[j] exp(-2 pi i jk/N), unscaled and in place, for each of
// the lane_width(path) lines of the batch a, for lines of N = `points`
// points (a power of two from 1 to tables.max_points). a holds
// 2*points*lane_width(path) doubles in lane layout and is
// lane_alignment-aligned; path must be supported. A stop poll (or null) is
// asked as fft/split_radix.h says; on a yes a holds unspecified values.
void fft_forward_lanes(lane_path path, std::int32_t points, double* a, const fft_tables& tables,
                       const stop_poll* poll = nullptr);

// For the tests and benchmarks, which check the transforms against their
// inverses (the library's own inverse transforms run inside the chirp-z
// kernel): as fft_forward_lanes with exp(+2 pi i jk/N); after
// fft_forward_lanes it gives N x.
void fft_backward_lanes(lane_path path, std::int32_t points, double* a, const fft_tables& tables,
                        const stop_poll* poll = nullptr);

}  // namespace velmora::detail
