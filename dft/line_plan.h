// Line DFT plans: the transform of a DFT window (dft/dft_window.h: length
// P, input and output windows that may start below 0, direction, phase
// ramps in and out, scale), computed whichever of two ways costs less for
// that window:
//
//   direct   the inputs placed on a line of P points, the mixed-radix FFT
//            of length P (fft/mixed_radix_plan.h), the output window read
//            back; for P = 2^a 3^b 5^c only;
//   chirp_z  the chirp-z convolution of chirp_plan.h over power-of-two FFTs
//            of N >= in_count + out_count - 1 points, which prunes the
//            work to the windows and serves any P.
//
// line_plan_costs is the one cost model: the floating-point operations
// (real additions and multiplications) of each way, factor multiplies
// included, and line_plan_method picks the cheaper, the direct way on a
// tie. Both ways give the same values up to rounding; the direct one has
// fewer roundings.
//
// line_plan_transform has chirp_transform's contract: a batch of
// lane_width(path) = W lines in lane layout (fft/fft_lanes.h); on entry,
// input i of line j is at work[2iW + j] (real part) and work[(2i + 1)W + j]
// (imaginary part); on return output r of line j is at work[2rW + j] and
// work[(2r + 1)W + j]. Each line's outputs are the same bits on every path.
//
// Ownership: a plan owns its arrays (velmora::buffer members) and, for the
// chirp-z way, borrows the FFT tables, which must serve
// line_plan_fft_points(window) points and stay alive, in place and unchanged
// while the plan is used. A built plan is only read, so any number of
// threads may run it at once, each with its own work array of
// line_plan_work_doubles doubles aligned to lane_alignment: 2 N W for the
// chirp-z way, 2 (max(in_count, out_count) + P) W for the direct one.
// Nothing here prints or throws; results are returned as codes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dft/chirp_plan.h"
#include "dft/dft_window.h"
#include "fft/fft_lanes.h"
#include "fft/fft_tables.h"
#include "fft/mixed_radix_plan.h"
#include "velmora/buffer.h"

namespace velmora::detail {

enum class line_method { direct, chirp_z };

// Operations per line of each way; infinity where a way cannot serve the
// window (the direct way for other lengths, the chirp-z way beyond
// fft_max_points, both for a window chirp_plan_build refuses).
struct line_costs {
    double direct;
    double chirp_z;
};

line_costs line_plan_costs(const dft_window& window);
line_method line_plan_method(const dft_window& window);

// Points of the power-of-two FFTs the chosen way needs from the tables: 0
// for the direct way.
std::int32_t line_plan_fft_points(const dft_window& window);

// Work array of a plan of this window with the chosen way, in doubles.
std::size_t line_plan_work_doubles(const dft_window& window, lane_path path);

struct line_plan {
    dft_window window{};
    line_method method = line_method::direct;
    chirp_plan chirp;              // the chirp-z way
    mixed_radix_plan fft;          // the direct way: its FFT of length P,
    velmora::buffer<double> pre;   // in_count input factors t_in, or null for none
    velmora::buffer<double> post;  // out_count output factors t_out * scale, or null
};

// Builds the plan the cost model chooses, or the given way. Returns ok,
// or bad_window (also for the direct way at another length), no_memory,
// small_tables, or stopped when a stop poll is given and says stop (asked
// every 2^14 values computed); on any other result than ok the plan is
// left empty.
dft_status line_plan_build(line_plan* plan, const dft_window& window, const fft_tables& tables,
                           const stop_poll* poll = nullptr);
dft_status line_plan_build(line_plan* plan, const dft_window& window, const fft_tables& tables, line_method method,
                           const stop_poll* poll = nullptr);

std::size_t line_plan_work_doubles(const line_plan& plan, lane_path path);

// The bytes the plan's arrays take: the chirp-z way's factors, or the
// direct way's FFT plan and its input and output factors.
std::size_t line_plan_bytes(const line_plan& plan);

// path must be supported (lane_path_supported). A stop poll, when given,
// is asked inside the FFTs, a few microseconds of work apart; on a yes the
// outputs are unspecified.
void line_plan_transform(const line_plan& plan, lane_path path, double* work, const stop_poll* poll = nullptr);

}  // namespace velmora::detail
