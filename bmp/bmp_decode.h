// Decoding the pixel data of an accepted BMP file into colour planes.
//
// bmp_decode hands the pixel data to the decoder of the header's coding
// (bmp_pixels, bmp_palette, bmp_bitfields, bmp_rle); each ends in the same
// three planes, row 0 at the top, whatever the file's row order, depth or
// coding. The caller owns every buffer; nothing is allocated, printed or
// ended here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bmp/bmp_header.h"
#include "bmp/plane.h"

// data holds the length bytes of the file from header.pixel_offset on (at
// most bmp_pixel_bytes_bound of them are looked at); the planes hold
// header.width x header.height bytes each. Returns ok with every sample
// written, or the first fault with its detail value (see bmp_status_reason).
bmp_status bmp_decode(const bmp_header& header, const std::uint8_t* data, std::size_t length, colour_planes out,
                      std::uint64_t* detail);
