// Entries of chirp_kernel.cpp, one per build (fft/lane_dispatch.h).
//
// Internal to dft/: chirp_plan.cpp calls them for a path the CPU supports,
// with the plan's arrays as plain pointers (the form a lane kernel takes).
// Each runs chirp_z::transform (chirp_z.h) on a work array in lane layout.
#pragma once

#include <cstdint>

#include "fft/lane_dispatch.h"
#include "fft/stop_poll.h"

namespace velmora::detail {

struct chirp_arrays {
    std::int32_t fft_points;  // N
    std::int32_t in_count;
    std::int32_t out_count;
    const double* pre;     // in_count complex factors
    const double* post;    // out_count complex factors
    const double* kernel;  // N complex values
    const int* ip;         // the FFT tables (fft_tables.h)
    const double* ww;
    int table_size;
    const stop_poll* poll;  // or null: asked inside the FFTs
};

using chirp_entry = void(const chirp_arrays& plan, double* work);
VELMORA_LANE_DECLARE(chirp_entry, chirp_transform_lanes);

}  // namespace velmora::detail
