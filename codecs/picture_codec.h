// The one door from the command line to the PNG, JPEG and TIFF codecs.
//
// Reading takes two steps, so that the caller can check the picture's size
// against its own limits (the pixel budget) before anything is decoded or
// allocated for the pixels:
//
//   picture_reader reader;
//   codec_message m = picture_open(kind, source, &reader);  // headers only
//   ... check reader.info ...
//   m = picture_decode(&reader, &image);                       // the pixels
//
// picture_open has already checked every declared size against
// max_picture_side (a limit fault) and, where the file's length is known,
// against that length. A kind whose library this build lacks gets a missing
// fault: "this velmora was built without PNG support". BMP is not handled
// here (bmp/ and the command line's reader do that).
//
// Writing goes to the caller's stream in the kind's own encoder; see
// png_writer.h, jpeg_writer.h and tiff_writer.h for what each takes.
//
// Nothing here prints, ends the process or keeps state between calls;
// every failure comes back as a one-line codec_message, every warning as a
// line of a codec_warnings list (a read that fails has no warnings to tell:
// its message says enough).
#pragma once

#include <cstdio>
#include <memory>

#include "codecs/codec_message.h"
#include "codecs/codec_source.h"
#include "codecs/format_reader.h"
#include "codecs/picture.h"
#include "codecs/picture_kind.h"
#include "codecs/png_writer.h"
#include "codecs/tiff_writer.h"

// Whether this build reads and writes the kind (BMP: false; bmp/ does it).
bool codec_available(picture_kind kind);

// An input between its headers and its pixels. It borrows the source it
// was opened on, which must outlive it.
struct picture_reader {
    picture_kind kind = picture_kind::bmp;
    picture_info info;
    std::unique_ptr<format_reader> format;
    codec_warnings warnings;  // after a picture_decode that succeeded
};

codec_message picture_open(picture_kind kind, const codec_source& source, picture_reader* reader);

// Decodes the pixels of an opened reader into *out (which then owns them,
// with the colour profile if any). On failure *out is left empty. The
// reader is spent either way.
codec_message picture_decode(picture_reader* reader, picture* out);

struct picture_write_options {
    int jpeg_quality = 92;
    png_write_options png;
    tiff_write_options tiff;
    band_runner runner;  // threads for PNG's bands and compressed TIFF strips; JPEG is written on the calling thread
};

// A colour profile the format cannot carry (see jpeg_writer.h and
// png_writer.h) is left out with a line in *warnings, when given.
codec_message picture_write(std::FILE* out, picture_kind kind, const picture& image,
                            const picture_write_options& options = {}, codec_warnings* warnings = nullptr);
