// Entries of fft_lanes_kernel.cpp, one per build (fft/lane_dispatch.h).
//
// Internal to fft/: callers go through fft_lanes.h. Each
// runs the split-radix transform with the negative exponent (sign < 0) or
// the positive one (sign > 0) in every lane of a batch in lane layout, for n
// doubles per line, with the tables' arrays (fft_tables.h).
#pragma once

#include "fft/lane_dispatch.h"
#include "fft/stop_poll.h"

namespace velmora::detail {

using fft_lanes_entry = void(int sign, int n, double* a, const int* ip, int table_size, const double* ww,
                             const stop_poll* poll);
VELMORA_LANE_DECLARE(fft_lanes_entry, fft_lanes_transform);

}  // namespace velmora::detail
