// Final values into samples: the one rule for every integer output of a
// resize. A value is rounded (floor(value + 0.5)) or left to be truncated,
// then clipped to the type's range (a NaN gives 0) and converted, which
// truncates toward zero. Float outputs take the value as it is. Inline,
// because the last pass of a resize converts every output sample.
#pragma once

#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "velmora/velmora.h"

namespace sample_convert_detail {

// Two selections: a NaN passes the first and fails the second, and becomes
// 0. They are exactly what SSE2's minsd and maxsd compute (each returns its
// second operand when the comparison fails), which the compiler does not
// use for them on its own; those instructions clamp without jumps.
inline double clipped(double value, double top)
{
#if defined(__SSE2__)
    const __m128d below = _mm_min_sd(_mm_set_sd(top), _mm_set_sd(value));
    return _mm_cvtsd_f64(_mm_max_sd(below, _mm_setzero_pd()));
#else
    const double below = top < value ? top : value;
    return below > 0.0 ? below : 0.0;
#endif
}

template <velmora::rounding R>
inline double rounded(double value)
{
    return R == velmora::rounding::nearest ? std::floor(value + 0.5) : value;
}

}  // namespace sample_convert_detail

template <velmora::rounding R>
inline std::uint8_t to_uint8(double value)
{
    using namespace sample_convert_detail;
    return static_cast<std::uint8_t>(static_cast<int>(clipped(rounded<R>(value), 255.0)));
}

template <velmora::rounding R>
inline std::uint16_t to_uint16(double value)
{
    using namespace sample_convert_detail;
    return static_cast<std::uint16_t>(static_cast<int>(clipped(rounded<R>(value), 65535.0)));
}

inline std::uint8_t to_uint8(double value, velmora::rounding how)
{
    return how == velmora::rounding::nearest ? to_uint8<velmora::rounding::nearest>(value)
                                             : to_uint8<velmora::rounding::truncate>(value);
}

inline std::uint16_t to_uint16(double value, velmora::rounding how)
{
    return how == velmora::rounding::nearest ? to_uint16<velmora::rounding::nearest>(value)
                                             : to_uint16<velmora::rounding::truncate>(value);
}
