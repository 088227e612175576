// Writing JPEG files with libjpeg(-turbo).
//
// 8-bit grey or RGB pictures (the caller drops alpha first), baseline, at a
// quality of 1 to 100. Colour is subsampled 2 x 2 below quality 90 and kept
// at full resolution from 90 up, where the loss of subsampling would
// outweigh the quantiser's. The ICC profile goes into APP2 markers, whose
// one-byte sequence numbers let it span 255 markers at most: a longer one
// is left out, with a line in *warnings. The file goes to the caller's
// stream, which may be a pipe.
#pragma once

#include <cstddef>
#include <cstdio>

#include "picture/codec_message.h"
#include "picture/picture.h"

constexpr int jpeg_full_colour_quality = 90;

// 255 APP2 markers of 65,533 bytes, less the 14 of each one's signature and
// sequence numbers.
constexpr std::size_t jpeg_largest_profile = std::size_t{255} * 65519;

codec_message jpeg_write(std::FILE* out, const picture& image, int quality, codec_warnings* warnings);
