// Sample-by-sample work on whole arrays: the copy of a resize in which no
// axis changes size, and the search for values a resize cannot take.
//
// Both walk the array in row-major order of its axes, whatever the
// strides. They only read the input and write the output the caller owns,
// on the calling thread, and allocate nothing. Both ask a stop poll (or
// null) every 2^16 samples and, on a yes, end early.
#pragma once

#include <cstdint>

#include "fft/stop_poll.h"
#include "velmora/velmora.h"

namespace velmora::detail {

// out = in converted sample by sample, integer outputs clipped and rounded
// as the resize's last pass does. The views have the same sizes.
void copy_samples(const velmora::array_view& in, const velmora::array_view& out, velmora::rounding how,
                  const stop_poll* poll);

// The first NaN or infinity of a float array among its samples first ..
// end - 1, counted in row-major order: true with its index on every axis in
// index[] and whether it is a NaN; false when all of them are finite
// (always for integer arrays), with the largest magnitude among them in
// *largest (0 for integer arrays). Disjoint ranges may be searched at once.
bool find_non_finite(const velmora::array_view& view, std::int64_t first, std::int64_t end, std::int64_t* index,
                     bool* is_nan, double* largest, const stop_poll* poll);

}  // namespace velmora::detail
