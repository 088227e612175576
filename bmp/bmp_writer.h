// Writing an uncompressed 24-bit BMP file.
//
// The file is the 54 header bytes (a 40-byte info header), then the pixel
// rows, bottom row first, blue-green-red per pixel, each zero-padded to a
// multiple of four bytes. bmp_write writes a picture (8-bit RGB) to a
// stream the caller owns: a file (for instance one prepared by
// output/output_target.h) or memory (open_memstream).
//
// Its size follows from the picture's size alone, so the file can also be
// made in place: the caller maps bmp_file_size bytes, fills the rows
// through bmp_file_view, the file's own layout (so a resize writes its
// output where the file keeps it, with no copy), and ends with
// bmp_file_finish. Nothing here opens, names or replaces files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "picture/codec_message.h"
#include "picture/picture.h"

// Refuses a picture of any other shape than 8-bit RGB; a colour profile
// is not written.
codec_message bmp_write(std::FILE* out, const picture& image);

// The bytes of the file of a picture of this info.
std::size_t bmp_file_size(const picture_info& info);

// The picture in file, bmp_file_size bytes, as the file lays it out.
picture_view bmp_file_view(const picture_info& info, std::uint8_t* file);

// Writes the header and zeroes the rows' padding, once the rows are filled.
void bmp_file_finish(const picture_info& info, std::uint8_t* file);
