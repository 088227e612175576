// Writing an uncompressed 24-bit BMP file.
//
// A picture reaches the writer either as its stored pixel rows (the layout
// of the file itself: bottom row first, blue-green-red per pixel, each row
// zero-padded to a multiple of four bytes), which the run fills directly, or
// as three colour planes. bmp_write_rows and bmp_write emit the 54 header
// bytes and the rows to a stream the caller owns: a file (for instance one
// prepared by output/output_target.h) or memory (open_memstream). Nothing
// here opens, names or replaces files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Writes width x height pixels from the planes (layout of plane.h, height
// samples per column): the header with a 40-byte info header, then the rows
// bottom row first, each blue-green-red per pixel and zero-padded to a
// multiple of four bytes. Returns false as soon as the stream refuses a byte.
bool bmp_write(std::FILE* out, const std::uint8_t* R, const std::uint8_t* G, const std::uint8_t* B,
               std::int32_t width, std::int32_t height);

// The file header and the 40-byte info header of a width x height file.
constexpr std::size_t bmp_header_size = 54;
void bmp_header_bytes(std::int32_t width, std::int32_t height, std::uint8_t* out);

// Bytes of the stored pixel rows of a width x height picture (sizes within
// the side limits).
std::size_t bmp_stored_rows_size(std::int32_t width, std::int32_t height);

// Writes the header and the stored pixel rows `rows` (bmp_stored_rows_size
// bytes, padding included) in one go.
bool bmp_write_rows(std::FILE* out, const std::uint8_t* rows, std::int32_t width, std::int32_t height);
