// Entries of line_direct_kernel.cpp, one per build (fft/lane_dispatch.h).
//
// Internal to dft/: line_plan.cpp calls them for a path the CPU supports,
// with the plan's arrays as plain pointers. Each runs line_direct::transform
// (line_direct.h) on a work array in lane layout.
#pragma once

#include <cstdint>

#include "fft/lane_dispatch.h"
#include "fft/mixed_radix_entries.h"
#include "fft/stop_poll.h"

namespace velmora::detail {

struct line_direct_arrays {
    mixed_radix_steps fft;       // the transform of length P
    int sign;                    // -1: negative exponent
    std::int32_t in_start;       // reduced to 0 .. P-1
    std::int32_t in_count;
    std::int32_t out_start;      // reduced to 0 .. P-1
    std::int32_t out_count;
    std::int32_t window_points;  // max(in_count, out_count): the line starts after them
    const double* pre;           // in_count complex factors, or null for none
    const double* post;          // out_count complex factors, or null for none
    const stop_poll* poll;       // or null: asked inside the FFT
};

using line_direct_entry = void(const line_direct_arrays& plan, double* work);
VELMORA_LANE_DECLARE(line_direct_entry, line_direct_lanes);

}  // namespace velmora::detail
