// Chirp-z (Bluestein) plans: a DFT of any length P, computed only on a
// window of inputs and for a window of outputs, as one circular convolution
// of power-of-two length N done with the FFT of fft/.
//
// A plan computes the window of a DFT that dft/dft_window.h defines. Its
// windows may start below 0: jk = (j^2 + k^2 - (k-j)^2) / 2 holds for every
// integer, so the chirp needs no special case there. The FFT needs only
// N >= in_count + out_count - 1 points, however long P is.
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

#include "dft/dft_window.h"
#include "fft/fft_lanes.h"
#include "fft/fft_tables.h"
#include "fft/stop_poll.h"
#include "velmora/buffer.h"

namespace velmora::detail {

struct chirp_plan {
    dft_window window{};
    std::int32_t fft_size = 0;  // N: a power of two, at least 4 and in_count + out_count - 1
    // One block of complex values, interleaved (real at 2i, imaginary at
    // 2i + 1): in_count input factors chirp * t_in, out_count output factors
    // chirp * t_out * scale, and N values of the kernel spectrum divided by N.
    velmora::buffer<double> factors;
    const fft_tables* tables = nullptr;  // borrowed
};

// The FFT size N in points that a window needs (0 for a window
// chirp_plan_build refuses as bad_window).
std::int32_t chirp_fft_size(const dft_window& window);

// Builds the plan: factors, and the kernel spectrum by one FFT with the
// given tables. A stop poll, when given, is asked every 2^14 factors. On
// any result but ok the plan is left empty.
dft_status chirp_plan_build(chirp_plan* plan, const dft_window& window, const fft_tables& tables,
                     const stop_poll* poll = nullptr);

// The bytes the plan's factors take (0 when it is not built).
std::size_t chirp_plan_bytes(const chirp_plan& plan);

// Doubles of one work array for the path: 2 N lane_width(path).
std::size_t chirp_work_doubles(const chirp_plan& plan, lane_path path);

// path must be supported (lane_path_supported). A stop poll, when given,
// is asked inside the FFTs; on a yes the outputs are unspecified.
void chirp_transform(const chirp_plan& plan, lane_path path, double* work, const stop_poll* poll = nullptr);

}  // namespace velmora::detail
