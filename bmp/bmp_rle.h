// Decoding run-length coded pictures: 8-bit (compression 1) and 4-bit
// (compression 2) colour indices, rows stored bottom up.
//
// The data is a sequence of two-byte codes. A first byte n > 0 repeats the
// second byte's index n times (for 4 bits, its two nibbles alternate, high
// one first). A first byte 0 is an escape: 0 ends the row, 1 ends the
// picture, 2 moves right and up by the next two bytes, and n >= 3 is an
// absolute run of n indices, padded to an even number of bytes. Pixels that
// no code reaches stay black; data that ends between codes ends the picture.
// Every run and move is checked against the row and the picture before a
// pixel is written. Works on buffers the caller owns and never allocates,
// prints or ends the process.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bmp/bmp_header.h"

// Blackens the picture rgb (bmp_decode.h), then runs the codes of data
// into it. On a fault it returns its status with *detail set: the index for
// bad_index, the file position of the code otherwise; the picture then
// holds what was decoded so far. For a header accepted with the rle8 or
// rle4 coding.
bmp_status bmp_decode_rle(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                          std::uint8_t* rgb, std::uint64_t* detail);
