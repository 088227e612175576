// A decoded picture, as every reader hands it over and every writer takes
// it in, and the view of where its samples lie.
//
// A picture's samples are interleaved, pixel after pixel, row after row
// with the top row first, with no padding between rows: grey; grey, alpha;
// red, green, blue; or red, green, blue, alpha. A u16 or f32 sample is
// stored in the machine's own byte order. Float samples run from 0 (black,
// or transparent) to 1 (the top); they are handed over as read, neither
// clipped nor rounded. A picture owns its samples and its colour profile;
// both are heap blocks released with std::free (the samples are not
// zero-filled).
//
// A picture_view says where the samples of a picture lie without owning
// them: an owned picture's (view_of), or those of a file a writer fills in
// place (picture_codec.h), laid out as that file stores them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "picture/codec_message.h"
#include "velmora/buffer.h"

enum class sample_format { u8, u16, f32 };

struct picture_info {
    std::int32_t width = 0;   // 1 .. max_picture_side
    std::int32_t height = 0;  // 1 .. max_picture_side
    int channels = 0;         // 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA
    sample_format format = sample_format::u8;
    // The colour samples are stored multiplied by alpha (TIFF's associated
    // alpha); otherwise, and always without alpha, they are stored straight.
    bool premultiplied = false;
};

// The library's owning array: a heap block freed with std::free.
using block_ptr = velmora::buffer<std::uint8_t>;

struct picture {
    picture_info info;
    block_ptr samples;  // picture_bytes(info) bytes
    block_ptr icc;      // the ICC colour profile, or null
    std::size_t icc_size = 0;
};

// Sample c of pixel (x, y), y = 0 the top row, lies at
// first + y * row_step + x * pixel_step + c * channel_step; each step is in
// bytes and may be negative.
struct picture_view {
    picture_info info;
    std::uint8_t* first = nullptr;  // sample 0 of the top left pixel
    std::ptrdiff_t row_step = 0;
    std::ptrdiff_t pixel_step = 0;
    std::ptrdiff_t channel_step = 0;
};

std::size_t sample_bytes(sample_format format);
std::size_t pixel_bytes(const picture_info& info);
std::size_t row_bytes(const picture_info& info);
std::size_t picture_bytes(const picture_info& info);

// The samples of an owned picture, in the layout above.
picture_view view_of(const picture& image);

// Gives *out the info and an uninitialised sample block of its size, and no
// colour profile.
codec_message picture_allocate(const picture_info& info, picture* out);

// Gives *out a copy of the size bytes at profile as its colour profile.
codec_message picture_set_icc(picture* out, const void* profile, std::size_t size);

// A malloc block of size bytes, or a memory message naming what it was for.
codec_message allocate_block(std::size_t size, const char* what, block_ptr* out);
