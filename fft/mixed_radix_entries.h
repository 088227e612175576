// Entries of mixed_radix_kernel.cpp, one per build (fft/lane_dispatch.h),
// and the plain record of a plan that lane kernels read.
//
// Internal to fft/ and dft/: callers go through mixed_radix_plan.h.
#pragma once

#include <cstdint>

#include "fft/lane_dispatch.h"

namespace velmora::detail {

// Levels of a plan: 8s, 4s and 2s, 3s and 5s; 24 suffice for every length up
// to 2^22 points.
constexpr int mixed_radix_max_levels = 32;

// A plan (mixed_radix_plan.h) as plain values and pointers.
struct mixed_radix_steps {
    std::int32_t points;
    int level_count;
    const int* radices;
    const double* twiddles;
    const std::int32_t* from;
};

// out = the transform (sign < 0: negative exponent) of in, every lane; in
// and out are different arrays.
using mixed_radix_entry = void(const mixed_radix_steps& steps, int sign, const double* in, double* out);
VELMORA_LANE_DECLARE(mixed_radix_entry, mixed_radix_transform_lanes);

}  // namespace velmora::detail
