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

// Puts the colour of table entry index into pixel (red, green, blue).
// Returns false, touching nothing, when the index lies beyond the usable
// entries.
inline bool bmp_put_colour(const bmp_header& header, std::uint32_t index, std::uint8_t* pixel)
{
    if (index >= header.palette_size)
        return false;
    const bmp_colour colour = header.palette[index];
    pixel[0] = colour.r;
    pixel[1] = colour.g;
    pixel[2] = colour.b;
    return true;
}

// Fills the given rows of the picture rgb (bmp_decode.h) from uncompressed
// index rows. Returns short_pixel_data, touching nothing, when length cannot
// hold the rows, and bad_index with the index as its detail at the rows'
// first index beyond the table (the picture then holds the pixels decoded
// so far). For a header accepted with the palette coding.
bmp_band_result bmp_decode_palette(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                                   std::uint8_t* rgb, bmp_rows rows);
