// Decoding uncompressed 24-bit pixel rows into colour planes.
//
// Rows are stored blue-green-red per pixel, each padded to a multiple of four
// bytes; the last row may lack its padding. Works on buffers the caller owns
// and never allocates, prints or ends the process.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bmp/bmp_header.h"
#include "bmp/plane.h"

// Fills the given columns of the three planes (header.width x
// header.height, row 0 at the top) from the pixel data, or returns
// short_pixel_data, touching nothing, when length cannot hold the rows. For
// a header that bmp_parse_header accepted with the direct coding.
bmp_status bmp_decode_direct(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                             colour_planes out, column_range columns);
