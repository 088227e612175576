// velmora: the four sample types as C++ types, the one rule that turns a
// double into a sample, and samples read and written where they lie.
//
// The rule, which every integer or float32 output of a resize follows and
// which a caller that converts values itself (the command line's alpha and
// depth conversions) applies to give the same bytes:
//   - uint8 and uint16: the value is rounded as velmora::rounding says
//     (nearest: floor(value + 0.5), halves up; truncate: left as it is),
//     then clipped to the type's range, an infinity to the end of its sign
//     and a NaN to 0, then converted, which truncates toward zero.
//   - float32: rounded to the nearest float, ties to even, as IEEE and
//     NumPy's astype do. Beyond the float range a value within half a unit
//     in the last place of the largest float rounds down to it; from there
//     on (the tie included: the largest float is odd) it becomes an
//     infinity of its sign. A NaN stays a NaN.
//   - float64: the value as it is.
// The rounding setting concerns the integer types alone.
//
// Samples in memory are read and written with memcpy, so a sample may lie
// at any address (views of interleaved pictures need not be aligned).
//
// visit_sample_type(type, visitor) is the one way from a run-time
// sample_type to code written once over the sample's C++ type:
//
//   const double value = velmora::visit_sample_type(view.type, [&]<typename Sample>() {
//       return velmora::load_sample<Sample>(at);
//   });
//
// calls visitor.template operator()<Sample>() with Sample the type's C++
// type (std::uint8_t, std::uint16_t, float, double) and returns what it
// returns. visit_rounding does the same for velmora::rounding. A value
// outside the enumeration (only a cast makes one) visits uint8 and nearest:
// every call has a type, and the library refuses such views before it
// visits.
//
// Everything here is inline and keeps no state; nothing allocates, prints
// or throws. The header needs velmora.h only for the two enumerations.
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

namespace velmora {

// The C++ types of the four sample types.
template <typename Sample>
concept sample_value = std::is_same_v<Sample, std::uint8_t> || std::is_same_v<Sample, std::uint16_t> ||
                       std::is_same_v<Sample, float> || std::is_same_v<Sample, double>;

// The sample_type of a C++ sample type.
template <sample_value Sample>
inline constexpr sample_type sample_type_of = std::is_same_v<Sample, std::uint8_t>    ? sample_type::uint8
                                              : std::is_same_v<Sample, std::uint16_t> ? sample_type::uint16
                                              : std::is_same_v<Sample, float>         ? sample_type::float32
                                                                                      : sample_type::float64;

// The four, for code that goes through them all (matching a caller's own
// type names against them, tables of tests).
inline constexpr sample_type sample_types[] = {sample_type::uint8, sample_type::uint16, sample_type::float32,
                                               sample_type::float64};

// visitor.template operator()<Sample>() for the C++ type of `type` (see
// above).
template <typename Visitor>
constexpr decltype(auto) visit_sample_type(sample_type type, Visitor&& visitor)
{
    switch (type) {
    case sample_type::uint16:
        return visitor.template operator()<std::uint16_t>();
    case sample_type::float32:
        return visitor.template operator()<float>();
    case sample_type::float64:
        return visitor.template operator()<double>();
    case sample_type::uint8:
        break;
    }
    return visitor.template operator()<std::uint8_t>();
}

// visitor.template operator()<Rounding>() for the value of `how`.
template <typename Visitor>
constexpr decltype(auto) visit_rounding(rounding how, Visitor&& visitor)
{
    if (how == rounding::truncate)
        return visitor.template operator()<rounding::truncate>();
    return visitor.template operator()<rounding::nearest>();
}

namespace sample_rule_detail {

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

template <rounding Rounding>
inline double rounded(double value)
{
    return Rounding == rounding::nearest ? std::floor(value + 0.5) : value;
}

// A double into the nearest float, ties to even. C++ leaves a value beyond
// the float range undefined, so those are settled here.
inline float to_float32(double value)
{
    constexpr double largest = std::numeric_limits<float>::max();
    constexpr double to_infinity = 0x1.ffffffp+127;
    const double magnitude = std::fabs(value);
    if (!(magnitude > largest))  // NaNs too
        return static_cast<float>(value);
    const float end = magnitude >= to_infinity ? std::numeric_limits<float>::infinity()
                                               : std::numeric_limits<float>::max();
    return std::signbit(value) ? -end : end;
}

}  // namespace sample_rule_detail

// value as a sample of type Sample, by the rule above. Inline, because the
// last pass of a resize converts every output sample.
template <sample_value Sample, rounding Rounding = rounding::nearest>
inline Sample to_sample(double value)
{
    using namespace sample_rule_detail;
    if constexpr (std::is_same_v<Sample, double>)
        return value;
    else if constexpr (std::is_same_v<Sample, float>)
        return to_float32(value);
    else
        return static_cast<Sample>(
            static_cast<int>(clipped(rounded<Rounding>(value), std::numeric_limits<Sample>::max())));
}

template <sample_value Sample>
inline Sample to_sample(double value, rounding how)
{
    return visit_rounding(how, [value]<rounding Rounding>() { return to_sample<Sample, Rounding>(value); });
}

// The sample of type Sample at `at`, as a double (exact for every type).
template <sample_value Sample>
inline double load_sample(const void* at)
{
    Sample value;
    std::memcpy(&value, at, sizeof value);
    return static_cast<double>(value);
}

// value into the sample of type Sample at `at`, by the rule above.
template <sample_value Sample, rounding Rounding = rounding::nearest>
inline void store_sample(void* at, double value)
{
    const Sample sample = to_sample<Sample, Rounding>(value);
    std::memcpy(at, &sample, sizeof sample);
}

template <sample_value Sample>
inline void store_sample(void* at, double value, rounding how)
{
    const Sample sample = to_sample<Sample>(value, how);
    std::memcpy(at, &sample, sizeof sample);
}

// The same with the type known only at run time.
inline double load_sample(const void* at, sample_type type)
{
    return visit_sample_type(type, [at]<typename Sample>() { return load_sample<Sample>(at); });
}

inline void store_sample(void* at, sample_type type, double value, rounding how)
{
    visit_sample_type(type, [=]<typename Sample>() { store_sample<Sample>(at, value, how); });
}

}  // namespace velmora
