// Chirp-z (Bluestein) plans: a DFT of any length P, computed only on a
// window of inputs and for a window of outputs, as one circular convolution
// of power-of-two length N done with the FFT of fft/.
//
// A plan computes, for the outputs k = out_start .. out_start + out_count - 1,
//
//   X[k] = scale * t_out(k) * sum_j x[j] * t_in(j) * exp(-+ 2 pi i jk / P)
//
// over the inputs j = in_start .. in_start + in_count - 1, with the minus
// sign for chirp_forward and the plus sign for chirp_inverse. t_in(j) =
// exp(+i pi j / in_twist) and t_out(k) = exp(-i pi k / out_twist) are
// optional phase ramps (0: none); callers use them to take the known phase
// of mirrored lines in and out without a pass of their own. Windows may
// start below 0 (indices count modulo P): jk = (j^2 + k^2 - (k-j)^2) / 2
// holds for every integer, so the chirp needs no special case there. The
// FFT needs only N >= in_count + out_count - 1 points, however long P is.
//
// chirp_transform runs a plan on a batch of lane_width(path) = W lines in
// lane layout (fft/fft_lanes.h): on entry, input i of line j is at
// work[2iW + j] (real part) and work[(2i + 1)W + j] (imaginary part); on
// return output r of line j is at work[2rW + j] and work[(2r + 1)W + j].
// Every lane runs exactly the one-line arithmetic, so each line's outputs
// are the same bits on every path; with W = 1 the layout is simply the
// interleaved line. Two real lines ride through one transform as real and
// imaginary parts wherever the caller knows both results are real.
//
// Ownership: a plan owns one heap block (factors and kernel spectrum) and
// borrows the FFT tables, which the caller builds beforehand for at least N
// points and keeps alive, in place and unchanged while the plan is used. A
// built plan is only read, so any number of threads may run it at once, each
// with its own work array of chirp_work_doubles doubles, aligned to
// lane_alignment. Nothing here prints or throws; results are returned as
// codes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/fft_lanes.h"
#include "fft/fft_tables.h"
#include "fft/heap_array.h"
#include "fft/stop_poll.h"

constexpr int chirp_forward = 0;
constexpr int chirp_inverse = 1;

struct chirp_shape {
    std::int32_t length;     // P >= 1
    std::int32_t in_start;   // first input index, may be negative
    std::int32_t in_count;   // 1 .. P
    std::int32_t out_start;  // first output index, may be negative
    std::int32_t out_count;  // 1 .. P
    int direction;           // chirp_forward or chirp_inverse
    std::int32_t in_twist;   // 0, or inputs times exp(+i pi j / in_twist)
    std::int32_t out_twist;  // 0, or outputs times exp(-i pi k / out_twist)
    double scale;            // every output times scale
};

struct chirp_plan {
    chirp_shape shape{};
    std::int32_t fft_size = 0;  // N: a power of two, at least 4 and in_count + out_count - 1
    // One block of complex values, interleaved (real at 2i, imaginary at
    // 2i + 1): in_count input factors chirp * t_in, out_count output factors
    // chirp * t_out * scale, and N values of the kernel spectrum divided by N.
    heap_array<double> factors;
    const fft_tables* tables = nullptr;  // borrowed
};

// Results of chirp_plan_build.
constexpr int chirp_ok = 0;
constexpr int chirp_bad_shape = 1;    // a count or length out of range
constexpr int chirp_no_memory = 2;    // allocation failed
constexpr int chirp_small_tables = 3; // tables.max_points < N
constexpr int chirp_stopped = 4;      // the stop poll said stop

// The FFT size N in points that a shape needs (0 for a shape
// chirp_plan_build refuses).
std::int32_t chirp_fft_size(const chirp_shape& shape);

// Builds the plan: factors, and the kernel spectrum by one FFT with the
// given tables. A stop poll, when given, is asked every 2^14 factors. On
// any result but chirp_ok the plan is left empty.
int chirp_plan_build(chirp_plan* plan, const chirp_shape& shape, const fft_tables& tables,
                     const stop_poll* poll = nullptr);

// The bytes the plan's factors take (0 when it is not built).
std::size_t chirp_plan_bytes(const chirp_plan& plan);

// Doubles of one work array for the path: 2 N lane_width(path).
std::size_t chirp_work_doubles(const chirp_plan& plan, lane_path path);

// path must be supported (lane_path_supported). A stop poll, when given,
// is asked inside the FFTs; on a yes the outputs are unspecified.
void chirp_transform(const chirp_plan& plan, lane_path path, double* work, const stop_poll* poll = nullptr);
