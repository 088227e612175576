// Writing three colour planes as an uncompressed 24-bit BMP file.
//
// bmp_write emits the 54 header bytes and the pixel rows to a stream the
// caller owns. bmp_save writes a whole file safely: into a temporary file
// beside the target, renamed onto the target only once every byte and the
// close have succeeded, so a failure never leaves a partial file and never
// destroys an existing one. Neither prints; both report.
#pragma once

#include <cstdint>
#include <cstdio>

// Writes width x height pixels from the planes (layout of plane.h, height
// samples per column): the header with a 40-byte info header, then the rows
// bottom row first, each blue-green-red per pixel and zero-padded to a
// multiple of four bytes. Returns false as soon as the stream refuses a byte.
bool bmp_write(std::FILE* out, const std::uint8_t* R, const std::uint8_t* G, const std::uint8_t* B,
               std::int32_t width, std::int32_t height);

// Writes the file at path as bmp_write does. Returns 0 on success, otherwise
// the errno value of the step that failed; the target is then untouched and
// no temporary is left behind.
int bmp_save(const char* path, const std::uint8_t* R, const std::uint8_t* G, const std::uint8_t* B,
             std::int32_t width, std::int32_t height);
