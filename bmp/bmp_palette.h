// Decoding colour-table pictures: 1, 2, 4 and 8 bits per pixel.
//
// Each stored row packs its indices from the most significant bits of each
// byte on and is padded to a multiple of four bytes. An index is looked up in
// the usable part of the colour table that bmp_parse_header kept; one beyond
// it refuses the picture. Works on buffers the caller owns and never
// allocates, prints or ends the process.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bmp/bmp_header.h"
#include "bmp/plane.h"

// Puts the colour of table entry index at plane position at. Returns false,
// touching nothing, when the index lies beyond the usable entries.
inline bool bmp_put_colour(const bmp_header& header, std::uint32_t index, std::size_t at, colour_planes out)
{
    if (index >= header.palette_size)
        return false;
    const bmp_colour colour = header.palette[index];
    out.B[at] = colour.b;
    out.G[at] = colour.g;
    out.R[at] = colour.r;
    return true;
}

// Fills the given columns of the three planes (header.width x
// header.height, row 0 at the top) from uncompressed index rows. Returns
// short_pixel_data, touching nothing, when length cannot hold the rows, and
// bad_index with the index as its detail at the columns' first index beyond
// the table (the planes then hold the pixels decoded so far). For a header
// accepted with the palette coding.
bmp_band_result bmp_decode_palette(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                                   colour_planes out, column_range columns);
