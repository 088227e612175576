// The record of one run: what the command line and the input's header
// decide between them, made once after the header is read and only read
// afterwards. The run driver owns it.
#pragma once

#include <cstdint>
#include <string>

#include "picture/picture_kind.h"
#include "velmora/velmora.h"

struct run_record {
    std::string output_name;  // the file written: the name given with -o and any extension appended; "-": stdout
    picture_kind out_kind;    // from -format
    std::int32_t out_width;   // the output picture
    std::int32_t out_height;
    velmora::rounding rounding;
    int quality;              // JPEG, 1 to 100
};
