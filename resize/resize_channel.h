// Enlarging one colour plane in the frequency domain.
//
// resize_channel mirrors a W x H plane into an even 2W x 2H image (so the
// periodic extension has no jumps at the borders and the enlargement no
// ringing there), takes its 2-D DFT, inserts 2a zero columns and 2b zero
// rows at the highest frequencies, takes the inverse 2-D DFT of the
// 2W' x 2H' spectrum and keeps the top-left W' x H' quarter, limited to
// 0..255. W and H come from image_width and image_height; W' = W + a,
// H' = H + b.
//
// It owns every working array of the channel (six grid arrays of 32 W' H'
// bytes at the peak, plus the FFT tables) and frees them before it returns.
// The output plane (W' x H' bytes, plane layout) belongs to the caller and
// is written in full. Progress lines go to the standard error stream;
// exhausted memory ends the process (checked_alloc), as does a line
// transform that fails.
#pragma once

#include <cstdint>

// Longest output side: the inverse line transforms run on lines of twice the
// output side, and the line buffers hold 8192 values.
constexpr std::int32_t max_output_side = 4096;

// Needs a >= 0, b >= 0, W, H >= 1 and W', H' <= max_output_side; the run
// driver checks all of them before any picture is read.
void resize_channel(std::int32_t a, std::int32_t b, const std::uint8_t* in, std::uint8_t* out);
