// Writing PNG files with libpng.
//
// Grey, grey and alpha, RGB or RGBA at 8 or 16 bits, as the picture holds
// them (straight alpha only: PNG has no premultiplied form), not
// interlaced, with the picture's ICC profile as an iCCP chunk when it has
// one and libpng accepts it (a profile libpng finds unfit is left out
// rather than failing the file). The file goes to the caller's stream,
// which may be a pipe; the caller closes it.
//
// The defaults favour speed over size: see png_write_options.
#pragma once

#include <cstdio>

#include "codecs/codec_message.h"
#include "codecs/picture.h"

enum class png_row_filter { none, sub, up, average, paeth, adaptive };
enum class zlib_strategy { standard, filtered, run_length };

struct png_write_options {
    int zlib_level = 1;
    zlib_strategy strategy = zlib_strategy::standard;
    png_row_filter filter = png_row_filter::sub;
};

codec_message png_write(std::FILE* out, const picture& image, const png_write_options& options = {});
