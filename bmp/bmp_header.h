// Checking the headers of a BMP file.
//
// bmp_parse_header looks at the first bytes of a file (the first
// bmp_head_bytes, or the whole file when it is shorter), held in a buffer the
// caller owns. It accepts the file header, the info header, the bit-field
// masks and the colour table as one of the codings below, or says which
// check failed. Every size it or the helpers below derive is computed in 64
// bits from values already checked against the side limit, so that no field
// can overflow them. Nothing is allocated, printed or ended here: the caller
// decides what a refusal means, and decides it before anything is allocated.
//
// Accepted: info headers of 12 bytes (OS/2 1.x: 16-bit sizes, 3-byte colour
// table entries), 16 and 64 bytes (OS/2 2.x), 40, 52, 56, 108 and 124 bytes
// (Windows); one plane; 1, 2, 4 and 8 bits with a colour table, 16 and 32
// bits plain or with bit fields, 24 bits plain, 8- and 4-bit run-length
// coding (bottom-up only); width and height from 1 to max_picture_side.
#pragma once

#include <cstddef>
#include <cstdint>

// The 14-byte file header.
constexpr std::size_t bmp_file_header_size = 14;
// Everything a reader needs from before the pixel data: the file header,
// the longest info header and the longest colour table (256 entries of four
// bytes). The bit-field masks lie within that too.
constexpr std::size_t bmp_head_bytes = bmp_file_header_size + 124 + 256 * 4;

enum class bmp_coding {
    palette,     // 1, 2, 4 or 8 bits per pixel: indices into the colour table
    bit_fields,  // 16 or 32 bits per pixel: channels cut out by masks
    direct,      // 24 bits per pixel: blue, green, red
    rle8,        // run-length coded 8-bit indices
    rle4,        // run-length coded 4-bit indices
};

enum class bmp_status {
    ok,
    // Found in the headers.
    too_short,              // fewer bytes than the headers need
    bad_info_size,          // an info header size not listed above
    bad_planes,             // not exactly one colour plane
    bad_depth,              // not 1, 2, 4, 8, 16, 24 or 32 bits per pixel
    depth_64,               // 64 bits per pixel
    embedded_jpeg,          // compression 4 with a Windows header
    embedded_png,           // compression 5 with a Windows header
    os2_huffman,            // compression 3 with an OS/2 2.x header
    os2_rle24,              // compression 4 with an OS/2 2.x header
    bad_compression,        // a compression method not known at all
    compression_depth,      // a known method with a depth it cannot code
    bad_width,              // width zero or negative
    zero_height,            // height zero
    width_above_limit,      // width above max_picture_side
    height_above_limit,     // height above max_picture_side
    rle_top_down,           // run-length coding with rows stored top down
    offset_inside_headers,  // the pixel data would overlap the headers or masks
    bad_mask,               // a bit-field mask whose bits are not contiguous
    // Found in the pixel data; the detail value says where or what.
    short_pixel_data,  // fewer bytes than the pixel rows need
    bad_index,         // a colour index beyond the usable table (detail: the index)
    rle_past_row,      // a run beyond the end of its row (detail: file position of the code)
    rle_past_picture,  // a run or move beyond the last row (detail: file position)
    rle_cut,           // the data ends inside a code (detail: file position)
};

// What decoding one band of a picture found: ok, or a fault with its detail
// value (see bmp_status_reason) and its place among the pixels in the
// order the file stores them (stored row times width plus column), so
// that the fault of a picture decoded in bands is the one that comes first
// in the file, as if it had been decoded row by row.
struct bmp_band_result {
    bmp_status status;
    std::uint64_t detail;
    std::int64_t position;
};

struct bmp_colour {
    std::uint8_t b, g, r;
};

struct bmp_header {
    std::int32_t file_size;        // stored file size S (signed, as stored)
    std::uint32_t pixel_offset;    // where the pixel data starts
    std::uint32_t info_size;       // one of the accepted sizes once accepted
    std::uint16_t planes;
    std::uint16_t bits_per_pixel;
    std::uint32_t compression;     // 0 for the headers that have no such field
    std::int32_t width;            // 1 to max_picture_side once accepted
    std::int64_t height;           // number of rows, 1 to max_picture_side once accepted
    bool top_down;                 // rows stored top row first (negative stored height)
    bmp_coding coding;
    std::uint32_t masks[3];        // red, green and blue masks of bit_fields
    std::uint32_t palette_size;    // usable colour table entries (palette and run-length codings)
    bmp_colour palette[256];
};

// Fills *header with every field it could read and returns ok, or the first
// check that failed.
bmp_status bmp_parse_header(const std::uint8_t* bytes, std::size_t length, bmp_header* header);

// One line of text (no newline) saying what is wrong, for any status but ok.
// detail is the value a pixel-data status carries (ignored by the others).
void bmp_status_reason(bmp_status status, const bmp_header& header, std::uint64_t detail, char* text,
                       std::size_t size);

// Bytes per 24-bit pixel row: three per pixel, padded to a multiple of four.
std::int64_t bmp_row_stride(std::int64_t width);

// Bytes the 24-bit pixel rows need: every row but the last with its padding,
// and the last one without. For sizes within the side limits.
std::int64_t bmp_pixel_rows_size(std::int64_t width, std::int64_t height);

// Bytes per stored row at any depth: width * bits rounded up to 32 bits.
std::int64_t bmp_row_bytes(std::int64_t width, std::int64_t bits);

// The most pixel-data bytes a decoder may look at for a width x height
// picture in the header's coding: all rows (the last without its padding)
// when uncompressed; for run-length coding, the longest coding that spends
// no code on nothing (four bytes per pixel, an end of line per row, an end
// of picture). Sizes up to max_picture_side.
std::int64_t bmp_pixel_bytes_bound(const bmp_header& header, std::int64_t width, std::int64_t height);

// The largest file the side limits allow for the header's offset, depth and
// coding: the bound on what is read from an input that cannot be measured.
std::int64_t bmp_largest_file(const bmp_header& header);

// Whether the stored size S reaches the pixel data and, when uncompressed,
// holds every pixel row after the offset (the last may lack its padding).
// For an accepted header.
bool bmp_stored_size_holds_rows(const bmp_header& header);

// The picture row (0 at the top) of the row stored at position file_row.
inline std::int64_t bmp_picture_row(const bmp_header& header, std::int64_t file_row)
{
    return header.top_down ? file_row : header.height - 1 - file_row;
}
