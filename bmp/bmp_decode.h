// Decoding the pixel data of an accepted BMP file into colour planes.
//
// bmp_decode hands the pixel data to the decoder of the header's coding
// (bmp_pixels, bmp_palette, bmp_bitfields, bmp_rle); each ends in the same
// three planes, row 0 at the top, whatever the file's row order, depth or
// coding. The caller owns every buffer; nothing is allocated, printed or
// ended here.
//
// The same work in bands, for a caller that spreads it over threads: the
// uncompressed codings split into bands of bmp_band_columns columns, every
// row of them, so that each band writes its own contiguous run of each
// plane (and a fresh plane is first touched by the thread that fills it);
// run-length codes run through the whole picture and make one band. Bands
// may be decoded in any order and at once; bmp_bands_outcome then gives the
// picture's status and detail, exactly those of bmp_decode.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bmp/bmp_header.h"
#include "bmp/plane.h"

// data holds the length bytes of the file from header.pixel_offset on (at
// most bmp_pixel_bytes_bound of them are looked at); the planes hold
// header.width x header.height bytes each. Returns ok with every sample
// written, or the fault that comes first in the file with its detail value
// (see bmp_status_reason); the planes then hold what was decoded.
bmp_status bmp_decode(const bmp_header& header, const std::uint8_t* data, std::size_t length, colour_planes out,
                      std::uint64_t* detail);

// Wide enough that a band's part of a stored row is a few cache lines, narrow
// enough that a picture of a few thousand columns makes dozens of bands.
constexpr std::int32_t bmp_band_columns = 64;

// The number of bands of the header's picture: at most bmp_max_bands.
std::int64_t bmp_band_count(const bmp_header& header);
constexpr std::int64_t bmp_max_bands = (max_picture_side + bmp_band_columns - 1) / bmp_band_columns;

// Decodes band `band` (0 to bmp_band_count - 1) of the data bmp_decode
// takes into the planes.
bmp_band_result bmp_decode_band(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                                colour_planes out, std::int64_t band);

// The status of a picture from the results of all its bands, with *detail
// set as bmp_decode sets it.
bmp_status bmp_bands_outcome(const bmp_band_result* results, std::int64_t bands, std::uint64_t* detail);
