// The options of one run and the command-line parser.
//
// The run driver owns the single resize_options record (heap allocated, kept
// until the process ends) and orgx/orgy, two process-wide integers beside it.
// Only the input name, the output name and the two size differences steer a
// run; every other option is accepted, converted and stored for
// compatibility with existing command lines, and has no effect.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t name_field_size = 256;

struct resize_options {
    std::int32_t x;
    std::int32_t y;
    std::int32_t startx;
    std::int32_t starty;
    char input_name[name_field_size];
    char input2_name[name_field_size];
    char output_name[name_field_size];  // base name; later replaced by the output file name
    std::int32_t hv;
    std::int32_t sizexminus;   // columns added to the width
    std::int32_t sizexminusy;  // rows added to the height
    std::int32_t bunshi;
    std::int32_t bunbo;
    std::int32_t norm;
    std::int32_t mado;
    std::int32_t tapnum_y;
    std::int32_t tapnum_c;
    double Fsc;
};

extern std::int32_t orgx;
extern std::int32_t orgy;

enum class parse_status {
    ok,
    usage,           // -h, an unknown name or a lone "-": the usage text ends the run
    missing_value,   // an option that takes a value was the last argument
    value_too_long,  // a name of 256 characters or more for -i, -i2 or -o
};

struct parse_outcome {
    parse_status status;
    const char* option;  // the offending argument, dash included; null when ok
};

// Walks the arguments once and fills *cnt (and orgx/orgy). Arguments without
// a leading dash are passed over; the argument after a recognised name is
// its value whatever it looks like; later occurrences win. Stops at the
// first problem and reports it; prints nothing.
parse_outcome parse_arguments(std::int16_t argc, char** argv, resize_options* cnt);

// Writes the usage text to the standard error stream.
void print_usage();

// parse_arguments, then: the usage text and status 0 for a usage outcome, a
// one-line message naming the option and status 1 for the others.
void parse_options(std::int16_t argc, char** argv, resize_options* cnt);
