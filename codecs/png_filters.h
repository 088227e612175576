// The row filters of the PNG standard, for the writer (png_writer.h).
//
// A filtered row is out[0], the filter type, then out[1 .. n], the row less
// its predictor, from the row's own bytes and those of the row above. The
// default, Paeth, runs eight bytes at a time with SSE2 (part of every
// x86-64) and makes the same choices as the plain loop, so the same bytes.
// Works on buffers the caller owns; nothing is allocated or kept.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/png_writer.h"

// The row raw (n bytes, bpp of them per pixel; prev the row above, zeros
// above the first row) filtered into out (n + 1 bytes) with the option's
// filter or, adaptive, the one whose filtered bytes taken as signed sum
// the least (trial, n + 1 bytes, holds the others while they are tried).
void filter_chosen(png_row_filter filter, const std::uint8_t* raw, const std::uint8_t* prev, std::size_t n,
                   std::size_t bpp, std::uint8_t* out, std::uint8_t* trial);
