// Writing TIFF files with libtiff.
//
// Grey or RGB, with or without alpha, as 8 or 16-bit unsigned integers or
// 32-bit floats, pixels interleaved in strips, with the alpha marked
// associated (premultiplied) or unassociated as the picture says, and its
// ICC profile when it has one. libtiff must seek while it writes: into a
// caller's stream that is a regular file it writes in place, and for any
// other stream (a pipe) the file is made in memory and then written in one
// go; the caller closes the stream. A file that could pass the 4 GiB of
// classic TIFF is written as BigTIFF.
//
// Uncompressed by default, as ImageMagick writes TIFF: every reader takes
// it, and it costs next to nothing. A 4096 x 3072 RGB enlargement of a
// noisy photograph took 0.05 s (37.8 MB); Deflate at level 1 took 0.53 s
// for 34.8 MB, with the horizontal predictor 0.65 s for 21.1 MB. Deflate
// and the predictor stay available through tiff_write_options; compressed
// strips are encoded at once on the threads the runner lends, by libtiff
// itself in a file of each thread's own, and written raw in order, so the
// file is byte for byte the one a single thread writes.
#pragma once

#include <cstdio>

#include "codecs/band_runner.h"
#include "codecs/codec_message.h"
#include "codecs/picture.h"

enum class tiff_compression { none, deflate };

struct tiff_write_options {
    tiff_compression compression = tiff_compression::none;
    int deflate_level = 1;
    bool predictor = false;  // horizontal differencing (floating point for f32)
};

codec_message tiff_write(std::FILE* out, const picture& image, const tiff_write_options& options = {},
                         const band_runner& runner = {});
