// The processing phase of a run: the three colour planes resized one after
// the other, red, green, blue, bracketed by the start and end times.
//
// The input planes and the output picture belong to the run driver. The
// output is the picture as the file stores it (bottom row first, blue,
// green, red per pixel, rows padded to four bytes), so that it is written
// as it stands; the pass fills every pixel and leaves the padding alone.
// Each channel runs its lines on the engine's threads; the channels
// themselves, and the console lines, stay in their order. A channel
// identical to one already resized (as in every grey picture) is copied
// instead, with the same console lines. Progress goes to the console;
// failures inside a channel end the process.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cli/input_reader.h"
#include "resize/resize_channel.h"

struct output_picture {
    std::uint8_t* UPOUT;  // stored pixel rows, stride bytes each
    std::size_t stride;
};

void run_channel_pass(const channel_sizes& sizes, const engine_settings& settings, const input_planes& in,
                      const output_picture& out);
