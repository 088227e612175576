// Moving pixels between a BMP pixel array and colour planes.
//
// bmp_split_pixels spreads the stored rows into three planes in file row
// order; bmp_flip_rows then puts the top row of the picture first. Both work
// on buffers the caller owns and never end the process.
#pragma once

#include <cstddef>
#include <cstdint>

// Splits the pixel array vin (stored rows, blue-green-red per pixel, each row
// padded to a multiple of four bytes) into B, G and R, planes of width *
// height bytes in file row order: file row r becomes row r of the planes.
// Returns false, touching nothing, when vin_length cannot hold the rows (the
// last row may lack its padding).
bool bmp_split_pixels(const std::uint8_t* vin, std::size_t vin_length, std::int32_t width, std::int32_t height,
                      std::uint8_t* B, std::uint8_t* G, std::uint8_t* R);

// Copies a plane in file row order into one whose row 0 is the top row of
// the picture: reversing the rows of a bottom-up file, keeping those of a
// top-down one.
void bmp_flip_rows(const std::uint8_t* file_rows, std::uint8_t* picture_rows, std::int32_t width,
                   std::int32_t height, bool top_down);
