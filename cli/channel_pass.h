// The processing phase of a run: the three colour planes enlarged one after
// the other, bracketed by the start and end times.
//
// The planes belong to the run driver; the pass fills the output planes
// (W' x H' bytes each) and leaves image_width and image_height, the input
// size, unchanged. Progress goes to the console; failures inside a channel
// end the process.
#pragma once

#include <cstdint>

#include "cli/input_reader.h"
#include "cli/options.h"

struct output_planes {
    std::uint8_t* RUPOUT;
    std::uint8_t* GUPOUT;
    std::uint8_t* BUPOUT;
};

void run_channel_pass(const resize_options* cnt, const input_planes& in, const output_planes& out);
