// The processing phase of a run: the three colour planes resized one after
// the other, red, green, blue, bracketed by the start and end times.
//
// The planes belong to the run driver; the pass fills the output planes
// (W' x H' bytes each). Each channel runs its lines on `threads` threads;
// the channels themselves, and the console lines, stay in their order.
// A channel identical to one already resized (as in every grey picture) is
// copied instead, with the same console lines. Progress goes to the console;
// failures inside a channel end the process.
#pragma once

#include <cstdint>

#include "cli/input_reader.h"
#include "resize/resize_channel.h"

struct output_planes {
    std::uint8_t* RUPOUT;
    std::uint8_t* GUPOUT;
    std::uint8_t* BUPOUT;
};

void run_channel_pass(const channel_sizes& sizes, const engine_settings& settings, const input_planes& in,
                      const output_planes& out);
