// Checking the headers of a 24-bit BMP file.
//
// bmp_parse_header looks at the first bytes of a file, held in a buffer the
// caller owns, and either accepts them as an uncompressed 24-bit picture or
// says what is wrong. Nothing is allocated, printed or ended here: the caller
// decides what a rejection means. Every size derived from the header is
// computed in 64 bits so that no field value can overflow it.
#pragma once

#include <cstddef>
#include <cstdint>

// The 14-byte file header followed by the longest info header accepted.
constexpr std::size_t bmp_file_header_size = 14;
constexpr std::size_t bmp_max_header_bytes = bmp_file_header_size + 124;

enum class bmp_status {
    ok,
    too_short,              // fewer bytes than the headers need
    bad_info_size,          // an info header other than 40, 108 or 124 bytes
    bad_planes,             // not exactly one colour plane
    bad_depth,              // not 24 bits per pixel
    compressed,             // any compression method but none
    bad_width,              // width zero or negative
    zero_height,            // height zero
    offset_inside_headers,  // the pixel array would overlap the headers
};

struct bmp_header {
    std::int32_t file_size;       // stored file size S (signed, as stored)
    std::uint32_t pixel_offset;   // where the pixel rows start
    std::uint32_t info_size;      // 40, 108 or 124 once accepted
    std::uint16_t planes;
    std::uint16_t bits_per_pixel;
    std::uint32_t compression;
    std::int32_t width;           // at least 1 once accepted
    std::int64_t height;          // number of rows, always positive once accepted
    bool top_down;                // rows stored top row first (negative stored height)
};

// Fills *header with every field it could read and returns ok, or the first
// check that failed.
bmp_status bmp_parse_header(const std::uint8_t* bytes, std::size_t length, bmp_header* header);

// One line of text (no newline) saying what is wrong, for any status but ok.
void bmp_status_reason(bmp_status status, const bmp_header& header, char* text, std::size_t size);

// Bytes per stored pixel row: three per pixel, padded to a multiple of four.
std::int64_t bmp_row_stride(std::int64_t width);

// Bytes the pixel rows need: every row but the last with its padding, and
// the last one without. For sizes within the output limits only; use
// bmp_stored_size_holds_rows on untrusted headers.
std::int64_t bmp_pixel_rows_size(std::int64_t width, std::int64_t height);

// Whether the stored size S puts the whole pixel array at or after the offset:
// S - offset must be able to hold bmp_pixel_rows_size.
bool bmp_stored_size_holds_rows(const bmp_header& header);
