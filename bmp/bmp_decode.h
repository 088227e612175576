// Decoding the pixel data of an accepted BMP file into a picture.
//
// The decoder of the header's coding (bmp_pixels, bmp_palette,
// bmp_bitfields, bmp_rle) writes rgb, the samples of a picture of the
// header's size with three 8-bit channels (picture.h: red, green, blue,
// rows top first), whatever the file's row order, depth or coding. The
// caller owns every buffer; nothing is allocated, printed or ended here.
//
// The work comes in bands, for a caller that spreads it over threads: the
// uncompressed codings split into bands of bmp_band_rows stored rows, each
// of which fills its own contiguous run of the picture (so that memory is
// first touched by the thread that fills it); run-length codes run through
// the whole picture and make one band. Bands may be decoded in any order
// and at once; bmp_bands_outcome then gives the picture's status and
// detail: those of the fault that comes first in the file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bmp/bmp_header.h"

// A band's rows are a few hundred kilobytes of a wide picture, and a
// picture of a few thousand rows makes dozens of bands.
constexpr std::int32_t bmp_band_rows = 64;

// The number of bands of the header's picture: at most bmp_max_bands.
std::int64_t bmp_band_count(const bmp_header& header);
constexpr std::int64_t bmp_max_bands = (max_picture_side + bmp_band_rows - 1) / bmp_band_rows;

// Decodes band `band` (0 to bmp_band_count - 1) of data, the length bytes
// of the file from header.pixel_offset on (at most bmp_pixel_bytes_bound of
// them are looked at), into rgb.
bmp_band_result bmp_decode_band(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                                std::uint8_t* rgb, std::int64_t band);

// The status of a picture from the results of all its bands: ok with every
// sample written, or the fault that comes first in the file with its
// detail value in *detail (see bmp_status_reason).
bmp_status bmp_bands_outcome(const bmp_band_result* results, std::int64_t bands, std::uint64_t* detail);
