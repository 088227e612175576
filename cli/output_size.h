// The output size a run asks for, in one of three ways that exclude each
// other: the differences (-sizexminus, -sizexminusy) added to the input's
// sides; -size WxH, the sides themselves, one of them possibly left out to
// keep the aspect ratio; -scale F, a decimal factor for both sides.
//
// A side that is worked out rather than given is rounded to the nearest
// whole pixel, halves up, and is at least 1. It is computed in exact
// integer arithmetic, so that no rounding of a binary fraction (0.1 has
// none) can move a side by a pixel. The values are read strictly: digits,
// no sign, no exponent. Nothing here prints or keeps state; the options
// record (options.h) holds what was asked.
#pragma once

#include <cstdint>

enum class size_way : std::int32_t {
    differences,  // also when no size option is given: both differences are 0
    size,
    scale,
};

// -size: each side 1..max_picture_side, 0 where it was left out.
struct size_sides {
    std::int32_t width;
    std::int32_t height;
};

// -scale: whole + part / unit, unit a power of ten above part.
struct scale_factor {
    std::int64_t whole;
    std::int64_t part;
    std::int64_t unit;
};

// "WxH", "Wx" or "xH" with sides from 1 to max_picture_side; false for
// anything else ("x" alone included).
bool read_size_sides(const char* text, size_sides* sides);

// Digits, an optional decimal part, an optional "%", above 0. At most
// scale_digits significant digits on either side of the point, so that
// a side times the factor fits 64 bits with room to spare.
constexpr int scale_digits = 9;
bool read_scale_factor(const char* text, scale_factor* factor);

struct resize_options;

// The sides asked for an input of in_width x in_height. The differences
// can give 0 or less and any side can pass the limit: the caller checks.
struct output_sides {
    std::int64_t width;
    std::int64_t height;
};
output_sides requested_sides(const resize_options& options, std::int64_t in_width, std::int64_t in_height);
