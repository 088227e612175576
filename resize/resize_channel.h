// Resizing one colour plane in the frequency domain.
//
// resize_channel takes a W x H plane to W' x H' as the mirror method
// defines it: the plane mirrored into an even 2W x 2H image, its 2-D DFT,
// the spectrum widened with zeros at the highest frequencies (or cut there)
// to 2W' x 2H', the inverse DFT, and the top-left W' x H' quarter limited
// to 0..255 and truncated. It computes only what that result needs, in four
// passes of paired line transforms (see spectral_passes.h): the H rows, the
// min(W, W') coefficient columns, the min(H, H') coefficient rows, and the W'
// output columns. Memory grows with the output: H min(W, W') + min(H, H')
// (min(W, W') + W') doubles, not the grids themselves.
//
// The planes belong to the caller (plane layout, column by column); every
// output sample is written. resize_channel owns its working arrays, the
// FFT tables, the plans and the per-thread workspaces, and frees them before
// it returns. It prints the ten progress lines of a channel on the standard
// error stream; exhausted memory ends the process (checked_alloc), as does
// a plan that cannot be built ("failure!!!!") or a thread that cannot start.
#pragma once

#include <cstdint>

#include "fft/fft_lanes.h"

struct channel_sizes {
    std::int32_t W, H;    // input, at least 1 each
    std::int32_t W2, H2;  // output, at least 1 each, at most max_output_side
};

// Longest side of an output: lines of the inverse passes are twice as long,
// and the FFT tables serve 65536 points.
constexpr std::int32_t max_output_side = 16384;

// How the lines run: on `threads` threads (1 to 256), each transform
// carrying lane_width(path) pairs of lines (path supported by the CPU;
// lane_path_best() in a run). The output does not depend on either.
struct engine_settings {
    int threads;
    lane_path path;
};

void resize_channel(const channel_sizes& sizes, const std::uint8_t* in, std::uint8_t* out,
                    const engine_settings& settings);

// The ten progress lines of a channel, printed as resize_channel would
// print them, for a channel whose result is copied from an identical one:
// scripts count the lines of every channel.
void print_channel_progress();
