// Reading the input picture of a run into three top-down colour planes.
//
// read_bitmap opens the input file, checks its headers and the requested
// enlargement before anything sized from them is allocated, reads the pixel
// array with one read and leaves BIN, GIN and RIN (width x height bytes each,
// row 0 at the top) for the driver, which owns them until the process ends.
// It sets image_width and image_height to the picture's size. Every failure
// prints its message and ends the process with status 1.
#pragma once

#include <cstdint>

#include "cli/options.h"

struct input_planes {
    std::uint8_t* BIN;
    std::uint8_t* GIN;
    std::uint8_t* RIN;
};

input_planes read_bitmap(const resize_options* cnt);
