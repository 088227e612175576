// Decoding TIFF files with libtiff.
//
// The first page only. Strips or tiles, pixels interleaved or in separate
// planes; uncompressed, LZW, Deflate or PackBits (with or without a
// predictor); 8 and 16-bit unsigned integers or 32-bit floats; grey (black
// or white as zero) or RGB, each with or without alpha. An extra sample
// marked as associated alpha gives a premultiplied picture, one marked as
// unassociated a straight one; unspecified extra samples are not alpha and
// are dropped. Every other colour model, depth, sample kind or compression
// is refused with its reason. The ICC profile tag comes with the picture.
//
// Checked before any pixel is decoded: the size against max_picture_side;
// the strip or tile size against the picture (so one strip or tile cannot
// cost far more than the picture); every strip or tile needed lies inside
// the file, and an uncompressed one holds all its pixels. libtiff reports
// through handlers on this one handle: errors are recorded, warnings are
// dropped, nothing is printed, and no single allocation of its own may
// exceed largest_picture_stream.
#pragma once

#include <memory>

#include "picture/codec_source.h"
#include "picture/format_reader.h"

codec_message tiff_open(const codec_source& source, std::unique_ptr<format_reader>* reader, picture_info* info);
