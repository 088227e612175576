// Colour planes.
//
// A plane holds the W x H samples of one colour channel, one byte each, stored
// column by column: the sample of column x (0 at the left) and row y (0 at the
// top) lies at index x * H + y. A plane is one heap block of exactly W * H
// bytes, owned by whoever allocated it (the run driver for every plane of a
// run).
#pragma once

#include <cstddef>
#include <cstdint>

// Longest side of a picture, in or out. It bounds every size computed from
// an input header, so that those sizes fit comfortably in 64 bits and no
// allocation exceeds what a picture of that size needs; and the resize's
// longest lines, twice a side, then need FFTs of at most 65536 points.
constexpr std::int32_t max_picture_side = 16384;

// The three planes of one picture, W x H bytes each, owned by the caller.
struct colour_planes {
    std::uint8_t* B;
    std::uint8_t* G;
    std::uint8_t* R;
};

// Columns first .. first + count - 1 of a picture: a band of columns, whose
// samples are one contiguous run of each plane.
struct column_range {
    std::int32_t first;
    std::int32_t count;
};

inline std::size_t plane_index(std::int32_t x, std::int32_t y, std::int32_t height)
{
    return static_cast<std::size_t>(x) * static_cast<std::size_t>(height) + static_cast<std::size_t>(y);
}
