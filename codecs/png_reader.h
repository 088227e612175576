// Decoding PNG files with libpng.
//
// Every colour type and depth is taken: palettes become the colours they
// show, a tRNS chunk becomes an alpha channel (a palette's table, or the one
// transparent grey or colour), grey below 8 bits is scaled to 8 bits
// (1-bit white is 255), 16-bit samples stay 16-bit, interlaced files are
// put together. The iCCP profile, if libpng accepts it, comes with the
// picture; one larger than png_largest_profile is left out with a warning.
// No other chunk (gamma, text, time) is carried: libpng is told to skip
// every other ancillary chunk, known or not, which it then reads past
// without keeping a byte of it.
//
// A file's memory is bounded by its picture (and the profile). Checked
// before decoding: the IHDR size against max_picture_side (from the head
// bytes, before libpng is even started), and against the file's length
// where it is known: the compressed data of a file cannot give more than
// deflate_largest_ratio times its own length. Where the length is known,
// every chunk's declared length is checked against the bytes left as its
// header goes by, before libpng sees it. libpng's own limits are set too:
// user limits on the size, and bounds on how much one ancillary chunk may
// take and on how many it keeps. libpng reports through handlers that
// record the first fault and the warnings, so it never prints.
#pragma once

#include <cstddef>
#include <memory>

#include "picture/codec_source.h"
#include "picture/format_reader.h"

// The largest colour profile read (and so written, see png_writer.h).
constexpr std::size_t png_largest_profile = std::size_t{8} << 20;

codec_message png_open(const codec_source& source, std::unique_ptr<format_reader>* reader, picture_info* info);
