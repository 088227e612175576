// Decoding uncompressed 24-bit pixel rows into a picture.
//
// Rows are stored blue-green-red per pixel, each padded to a multiple of four
// bytes; the last row may lack its padding. Works on buffers the caller owns
// and never allocates, prints or ends the process.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bmp/bmp_header.h"

// Fills the given rows of the picture rgb (bmp_decode.h) from the pixel
// data, or returns short_pixel_data, touching nothing, when length cannot
// hold the rows. For a header that bmp_parse_header accepted with the
// direct coding.
bmp_status bmp_decode_direct(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                             std::uint8_t* rgb, bmp_rows rows);
