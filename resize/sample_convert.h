// Final values into samples: the one rule for every integer output of a
// resize. A value is rounded (floor(value + 0.5)) or left to be truncated,
// then clipped to the type's range (a NaN gives 0) and converted, which
// truncates toward zero. Float outputs take the value as it is. Inline,
// because the last pass of a resize converts every output sample.
#pragma once

#include <cmath>
#include <cstdint>

#include "velmora/velmora.h"

namespace sample_convert_detail {

// Written as the selections that the processor's min and max make exactly
// (a NaN passes the first and fails the second, and becomes 0), so that the
// compiler clamps without jumps.
inline double clipped(double value, double top)
{
    const double below = top < value ? top : value;
    return below > 0.0 ? below : 0.0;
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
