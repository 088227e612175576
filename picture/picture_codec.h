// The one door from the command line to the picture formats: BMP, PNG,
// JPEG and TIFF, each a reader and a writer behind the same calls.
//
// Reading takes two steps, so that the caller can check the picture's size
// against its own limits (the pixel budget) before anything is decoded or
// allocated for the pixels:
//
//   picture_reader reader;
//   codec_message m = picture_open(kind, source, &reader, options);  // headers only
//   ... check reader.info ...
//   m = picture_decode(&reader, &image);                                // the pixels
//
// picture_open has already checked every declared size against
// max_picture_side (a limit fault) and, where the file's length is known,
// against that length. A kind whose library this build lacks gets a missing
// fault: "this velmora was built without PNG support". The options lend
// the reader threads and blocks (format_reader.h).
//
// Writing goes to the caller's stream in the kind's own encoder; see
// bmp_writer.h, png_writer.h, jpeg_writer.h and tiff_writer.h for what each
// takes. A kind whose file size follows from the picture's size alone (BMP)
// can also be made in place: the caller maps picture_in_place_size bytes,
// has the picture written through picture_in_place_view, the file's own
// layout, and ends with picture_in_place_finish.
//
// Nothing here prints, ends the process or keeps state between calls;
// every failure comes back as a one-line codec_message, every warning as a
// line of a codec_warnings list (a read that fails has no warnings to tell:
// its message says enough).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "codecs/png_writer.h"
#include "codecs/tiff_writer.h"
#include "picture/codec_message.h"
#include "picture/codec_source.h"
#include "picture/format_reader.h"
#include "picture/picture.h"
#include "picture/picture_kind.h"

// Whether this build reads and writes the kind (BMP always).
bool codec_available(picture_kind kind);

// An input between its headers and its pixels. It borrows the source it
// was opened on, which must outlive it.
struct picture_reader {
    picture_kind kind = picture_kind::bmp;
    picture_info info;
    std::unique_ptr<format_reader> format;
    codec_warnings warnings;  // after a picture_decode that succeeded
};

codec_message picture_open(picture_kind kind, const codec_source& source, picture_reader* reader,
                           const picture_read_options& options = {});

// Decodes the pixels of an opened reader into *out (which then owns them,
// with the colour profile if any). On failure *out is left empty. The
// reader is spent either way.
codec_message picture_decode(picture_reader* reader, picture* out);

// What a file of the kind holds of a picture of this info: its channels
// and precision where the format can hold them. PNG has no float samples
// (they become 16-bit) and no premultiplied alpha; BMP and JPEG hold 8-bit
// RGB.
picture_info picture_fit(picture_kind kind, const picture_info& info);

// Whether the kind's writer carries a colour profile (BMP does not).
bool picture_keeps_profile(picture_kind kind);

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

// The bytes of the file of a picture of this info (fitted to the kind),
// where they follow from its size alone; 0 for a kind not made in place.
std::size_t picture_in_place_size(picture_kind kind, const picture_info& info);

// The picture in file (picture_in_place_size bytes) as the file lays it out.
picture_view picture_in_place_view(picture_kind kind, const picture_info& info, std::uint8_t* file);

// What the file needs besides the picture (a header), once it is written.
void picture_in_place_finish(picture_kind kind, const picture_info& info, std::uint8_t* file);
