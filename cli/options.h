// The options of one run and the command-line parser.
//
// The run driver owns the single resize_options record (heap allocated, kept
// until the process ends). Only the input name, the output name, the output
// size (output_size.h), the thread count, the pixel budget, the output format,
// its rounding and its JPEG quality steer a run and are kept; every other
// option of existing command lines (-i2, -x, -y, -startx, -starty, -hv,
// -bunshi, -bunbo, -norm, -mado, -tapnum_y, -tapnum_c, -Fsc, -orgx,
// -orgy) is accepted with its value and has no effect. The numbers are
// read strictly (an optional sign and decimal digits, nothing else, within
// range).
#pragma once

#include <cstddef>
#include <cstdint>

#include "cli/output_size.h"
#include "picture/picture_limits.h"
#include "velmora/velmora.h"

constexpr std::size_t name_field_size = 256;

struct resize_options {
    char input_name[name_field_size];
    char output_name[name_field_size];  // the base name given with -o
    std::int32_t added_columns;  // -sizexminus: columns added to the width (negative: taken away)
    std::int32_t added_rows;     // -sizexminusy: rows added to the height
    size_way size_by;            // which of the exclusive ways above and below was given
    size_sides sides;            // -size
    scale_factor factor;         // -scale
    const char* size_value;      // the -size or -scale value as given (argv's), for messages
    std::int32_t threads;        // 1..256 from -threads; 0 when not given
    std::int32_t max_pixels;     // 1..max_pixel_budget from -max-pixels; 0 when not given
    // The choices below hold 1 + their place in the option's list, 0 when
    // not given.
    std::int32_t format;    // -format: format_choices
    std::int32_t rounding;  // -rounding: rounding_choices
    std::int32_t quality;   // 1..100 from -quality; 0 when not given
};

// The words -format and -rounding take, in the order the choice fields
// count them.
inline constexpr const char* format_choices[] = {"bmp", "png", "tiff", "jpeg", nullptr};
inline constexpr const char* rounding_choices[] = {"nearest", "truncate", nullptr};
constexpr std::int32_t default_jpeg_quality = 92;

// -threads accepts 1..max_threads.
constexpr std::int32_t max_threads = velmora::max_threads;

enum class parse_status {
    ok,
    usage,           // -h or -help: the usage text ends the run, status 0
    version,         // -version or --version: the version ends the run, status 0
    unknown_option,  // any other name, a lone "-" too: named, then the usage text, status 1
    missing_value,   // an option that takes a value was the last argument
    value_too_long,  // a name of 256 characters or more for -i, -i2 or -o
    not_a_number,    // a number that is not a sign and digits
    out_of_range,    // a number outside its option's range
    not_a_choice,    // a word that is not one of its option's choices
    not_a_size,      // a -size value that is not WxH, Wx or xH with sides in range
    not_a_factor,    // a -scale value that is not a decimal factor above 0
    exclusive,       // two ways of giving the output size: earlier, then option
};

struct parse_outcome {
    parse_status status;
    const char* option;  // the offending argument, dash included; null when ok
    const char* value;   // its value as given, for the last two; null otherwise
    std::int32_t low;    // the range of the option, for out_of_range
    std::int32_t high;
    const char* const* choices;  // the option's words, for not_a_choice
    const char* earlier;         // the first option of another way, for exclusive; null otherwise
};

// Walks the arguments once and fills *options. Arguments without a
// leading dash are passed over; the argument after a recognised name is
// its value whatever it looks like; later occurrences win. An option of
// one way of giving the output size, once its value is read, is refused
// when another way came before it. Stops at the first problem and reports
// it; prints nothing.
parse_outcome parse_arguments(std::int16_t argc, char** argv, resize_options* options);

// parse_arguments, then: the usage text and status 0 for -h and -help, the
// version on the standard output stream and status 0 for -version, a
// line naming an unknown name followed by the usage text and status 1, a
// one-line message naming the option (and repeating the value as given) and
// status 1 for the others.
void parse_options(std::int16_t argc, char** argv, resize_options* options);
