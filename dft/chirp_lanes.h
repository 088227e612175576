// A batch of lines through one chirp-z plan, one line per vector lane.
//
// chirp_transform_lanes does what chirp_transform does (chirp_execute.h)
// for lane_width(path) = W lines at once, on a work array in lane layout
// (fft/fft_lanes.h): on entry, input i of line j is at work[2iW + j] (real
// part) and work[(2i + 1)W + j] (imaginary part); on return output r of
// line j is at work[2rW + j] and work[(2r + 1)W + j]. Every lane runs
// exactly the one-line arithmetic, so each line's outputs are bit for bit
// those of chirp_transform, on every path. With W = 1 the layout is the
// one-line one and the call is chirp_transform.
//
// Ownership: the plan and its tables are only read; work is the caller's,
// chirp_lanes_work_size doubles aligned to lane_alignment, one per thread.
// Nothing is allocated or printed.
#pragma once

#include <cstddef>

#include "dft/chirp_plan.h"
#include "fft/fft_lanes.h"

std::size_t chirp_lanes_work_size(const chirp_plan* plan, lane_path path);

// path must be supported (lane_path_supported).
void chirp_transform_lanes(const chirp_plan* plan, lane_path path, double* work);
