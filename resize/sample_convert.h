// Samples in memory and final values into samples: the one rule for every
// integer output of a resize, and the one way samples of any type are read
// and written where they lie (arrays may be unaligned).
//
// The rule: A value is rounded (floor(value + 0.5)) or left to be truncated,
// then clipped to the type's range (a NaN gives 0, an infinity the end of
// its sign) and converted, which truncates toward zero. Float outputs take
// the value as it is, float32 rounded to nearest as IEEE (and NumPy's
// astype) do: beyond its range to an infinity. Inline, because the last
// pass of a resize converts every output sample.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

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

template <typename T>
inline double load_sample(const unsigned char* at)
{
    T value;
    std::memcpy(&value, at, sizeof value);
    return static_cast<double>(value);
}

// A double into the nearest float, ties to even. C++ leaves a value beyond
// the float range undefined, so those are settled here: up to half a unit
// in the last place above the largest float they round down to it, from
// there on (the tie included: the largest float is odd) to infinity.
inline float to_float32(double value)
{
    constexpr double largest = std::numeric_limits<float>::max();
    constexpr double to_infinity = 0x1.ffffffp+127;
    const double magnitude = std::fabs(value);
    if (!(magnitude > largest))  // NaNs too
        return static_cast<float>(value);
    const float end = magnitude >= to_infinity ? std::numeric_limits<float>::infinity() : std::numeric_limits<float>::max();
    return std::signbit(value) ? -end : end;
}

// value into a sample of type T by the rule above.
template <typename T, velmora::rounding R>
inline void store_sample(unsigned char* at, double value)
{
    T sample;
    if constexpr (std::is_same_v<T, std::uint8_t>)
        sample = to_uint8<R>(value);
    else if constexpr (std::is_same_v<T, std::uint16_t>)
        sample = to_uint16<R>(value);
    else if constexpr (std::is_same_v<T, float>)
        sample = to_float32(value);
    else
        sample = value;
    std::memcpy(at, &sample, sizeof sample);
}

template <typename T>
inline void store_sample(unsigned char* at, double value, velmora::rounding how)
{
    if (how == velmora::rounding::nearest)
        store_sample<T, velmora::rounding::nearest>(at, value);
    else
        store_sample<T, velmora::rounding::truncate>(at, value);
}

// The same with the type known only at run time.
inline double load_sample(const unsigned char* at, velmora::sample_type type)
{
    switch (type) {
    case velmora::sample_type::uint8:
        return load_sample<std::uint8_t>(at);
    case velmora::sample_type::uint16:
        return load_sample<std::uint16_t>(at);
    case velmora::sample_type::float32:
        return load_sample<float>(at);
    case velmora::sample_type::float64:
        return load_sample<double>(at);
    }
    return 0.0;
}

inline void store_sample(unsigned char* at, velmora::sample_type type, double value, velmora::rounding how)
{
    switch (type) {
    case velmora::sample_type::uint8:
        return store_sample<std::uint8_t>(at, value, how);
    case velmora::sample_type::uint16:
        return store_sample<std::uint16_t>(at, value, how);
    case velmora::sample_type::float32:
        return store_sample<float>(at, value, how);
    case velmora::sample_type::float64:
        return store_sample<double>(at, value, how);
    }
}
