// Writing PNG files with libpng and zlib.
//
// Grey, grey and alpha, RGB or RGBA at 8 or 16 bits, as the picture holds
// them (straight alpha only: PNG has no premultiplied form), not
// interlaced, with the picture's ICC profile as an iCCP chunk when it has
// one and libpng accepts it (a profile libpng finds unfit is left out
// rather than failing the file). A profile larger than our own reader takes
// (png_largest_profile) is left out too, with a line in *warnings: other
// readers would drop it or refuse the file. The file goes to the caller's
// stream, which may be a pipe; the caller closes it.
//
// The pixels are filtered and compressed in bands of rows on the threads
// the runner lends, into one zlib stream: each band is raw deflate data of
// its own (no match reaches into the band before) ended by a full flush,
// the last by the stream's end; the zlib header goes first and the
// Adler-32 of every filtered byte, combined from the bands', last. A band
// holds about 256 KiB of filtered rows whatever the thread count, so every
// thread count writes the same file. libpng writes the signature and the
// chunks before the pixels, then each band as an IDAT chunk, and IEND. The
// 4096 x 3072 enlargement of bench/scaling_bench.py's picture (19.9 MB)
// took 0.28 s on one thread and 0.16 s on two.
//
// The defaults favour speed: run-length matching only (zlib's Z_RLE, for
// which the level makes no difference) after the Paeth filter on every row.
// On a 4096 x 3072 enlargement of a noisy photograph that wrote 16.5 MB in
// 0.41 s where ImageMagick's convert (zlib level 7, adaptive filters) took
// 4.9 s for 16.8 MB; at 16 bits 62.5 MB in 0.99 s against 4.0 s for 62.4 MB.
// Sub instead of Paeth was a third faster and a fifth larger; level 1
// without Z_RLE was slower and a third larger; level 6 with adaptive
// filters took seven times as long for a file 10 % larger than ours.
#pragma once

#include <cstdio>

#include "codecs/band_runner.h"
#include "codecs/codec_message.h"
#include "codecs/picture.h"

enum class png_row_filter { none, sub, up, average, paeth, adaptive };
enum class zlib_strategy { standard, filtered, run_length };

struct png_write_options {
    int zlib_level = 1;
    zlib_strategy strategy = zlib_strategy::run_length;
    png_row_filter filter = png_row_filter::paeth;
};

codec_message png_write(std::FILE* out, const picture& image, const png_write_options& options,
                        codec_warnings* warnings, const band_runner& runner = {});
