// The processing phase of a run: the three colour planes resized one after
// the other, red, green, blue, bracketed by the start and end times.
//
// The input planes and the output picture belong to the run driver. The
// output is the picture as the file stores it (bottom row first, blue,
// green, red per pixel, rows padded to four bytes), so that it is written
// as it stands; the pass fills every pixel and leaves the padding alone.
// Each channel is one run of a library plan made by the first channel and
// reused by the others; its lines run on the plan's threads, and the
// channels themselves, and the console lines, stay in their order. A
// channel identical to one already resized (as in every grey picture) is
// copied instead, with the same console lines. Progress goes to the
// console; a failure of the library ends the process with its message.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cli/input_reader.h"
#include "velmora/velmora.h"

struct channel_sizes {
    std::int32_t W, H;    // input, at least 1 each
    std::int32_t W2, H2;  // output, at least 1 each
};

struct output_picture {
    std::uint8_t* UPOUT;  // stored pixel rows, stride bytes each
    std::size_t stride;
};

void run_channel_pass(const channel_sizes& sizes, int threads, const input_planes& in, const output_picture& out);
