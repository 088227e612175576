// Decoding 16- and 32-bit pictures through bit-field masks.
//
// Each pixel is a little-endian 16- or 32-bit value; a channel is the run of
// bits under its mask. A field of b bits with value v becomes
// round(v * 255 / (2^b - 1)), so that 5-bit 31 and 8-bit 255 both give 255;
// a zero mask gives 0. Plain 16-bit pictures use the 5-5-5 masks and plain
// 32-bit ones 8-8-8, which bmp_parse_header fills in. Rows are padded to a
// multiple of four bytes. Works on buffers the caller owns and never
// allocates, prints or ends the process.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bmp/bmp_header.h"
#include "bmp/plane.h"

// The 8-bit level of the field under mask in value (mask contiguous or 0).
std::uint8_t bmp_field_level(std::uint32_t value, std::uint32_t mask);

// Fills the given columns of the three planes (header.width x
// header.height, row 0 at the top) from the pixel rows, or returns
// short_pixel_data, touching nothing, when length cannot hold them. For a
// header accepted with the bit_fields coding.
bmp_status bmp_decode_bit_fields(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                                 colour_planes out, column_range columns);
