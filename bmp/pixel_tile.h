// A tile of pixels in transit between stored rows and colour planes.
//
// Planes are stored column by column and BMP files row by row, so moving
// pixels one at a time touches a new cache line with every byte. Moving a
// strip of neighbouring rows a few columns at a time through a tile instead
// reads and writes memory in order: each column's part of the strip is one
// short run. The tile holds tile_columns such runs per colour, top picture
// row first; it lives on the stack of whoever moves the pixels.
#pragma once

#include <cstdint>

constexpr std::int32_t tile_strip_rows = 64;
constexpr std::int32_t tile_columns = 16;

struct pixel_tile {
    std::uint8_t b[tile_columns][tile_strip_rows];
    std::uint8_t g[tile_columns][tile_strip_rows];
    std::uint8_t r[tile_columns][tile_strip_rows];
};
