// Resizing one colour plane in the frequency domain.
//
// resize_channel takes a W x H plane to W' x H' as the mirror method
// defines it: the plane mirrored into an even 2W x 2H image, its 2-D DFT,
// the spectrum widened with zeros at the highest frequencies (or cut there)
// to 2W' x 2H', the inverse DFT, and the top-left W' x H' quarter limited
// to 0..255 and truncated. It computes only what that result needs, in four
// passes of paired line transforms (see spectral_passes.h): the H rows, the
// min(W, W') coefficient columns, the min(H, H') coefficient rows, and the W'
// output columns. Memory grows with the output: max(H min(W, W'),
// W' min(H, H')) + min(H, H') min(W, W') doubles, not the grids themselves.
//
// The input plane (plane layout, column by column) and the output belong to
// the caller; every output sample is written. The engine record belongs to the caller too;
// resize_channel builds and releases its plans itself. It prints the ten
// progress lines of a channel on the standard error stream; exhausted memory
// ends the process (checked_alloc), as does a plan that cannot be built
// ("failure!!!!") or a thread that cannot start.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/fft_lanes.h"
#include "fft/fft_tables.h"
#include "resize/parallel_lines.h"

struct channel_sizes {
    std::int32_t W, H;    // input, at least 1 each
    std::int32_t W2, H2;  // output, at least 1 each, at most max_picture_side
};

// How the lines run: on `threads` threads (1 to 256), each transform
// carrying lane_width(path) pairs of lines (path supported by the CPU;
// lane_path_best() in a run). The output does not depend on either.
struct engine_settings {
    int threads;
    lane_path path;
};

// What the channels of one run share: their sizes and settings, and the
// memory and threads the first channel makes and the others reuse (FFT
// tables, one workspace per thread, the row array, which holds the row
// coefficients and later the widened rows, the band of 2-D coefficients,
// and the team of threads). Null until made; channel_engine_release frees
// the memory and stops the threads.
struct channel_engine {
    channel_sizes sizes;
    engine_settings settings;
    fft_tables tables;
    double* workspace_block;
    double** workspace_of;  // one work array per thread, in the block
    double* rows;
    double* band;
    line_team* team;  // the threads of every pass
};

void channel_engine_init(channel_engine* engine, const channel_sizes& sizes, const engine_settings& settings);
void channel_engine_release(channel_engine* engine);

// Where a channel's output samples go: sample (x, y) at
// base[x * column_step + y * row_step]. A plane has column_step H' and
// row_step 1; one channel of a BMP file's stored rows has column_step 3 and
// a negative row_step (rows are stored bottom first).
struct channel_output {
    std::uint8_t* base;
    std::ptrdiff_t column_step;
    std::ptrdiff_t row_step;
};

void resize_channel(channel_engine* engine, const std::uint8_t* in, channel_output out);

// The ten progress lines of a channel, printed as resize_channel would
// print them, for a channel whose result is copied from an identical one:
// scripts count the lines of every channel.
void print_channel_progress();
