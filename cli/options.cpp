#include "cli/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/fail.h"

std::int32_t orgx = 720;
std::int32_t orgy = 480;

namespace {

// Where the value of each option goes; exactly one destination is set.
struct option_row {
    const char* name;
    char (resize_options::*text)[name_field_size];
    std::int32_t resize_options::*integer;
    double resize_options::*real;
    std::int32_t* global;
};

// Compared in this order, whole names, case-sensitively; "h" is handled
// before the table.
const option_row option_table[] = {
    {"o", &resize_options::output_name, nullptr, nullptr, nullptr},
    {"i", &resize_options::input_name, nullptr, nullptr, nullptr},
    {"i2", &resize_options::input2_name, nullptr, nullptr, nullptr},
    {"x", nullptr, &resize_options::x, nullptr, nullptr},
    {"y", nullptr, &resize_options::y, nullptr, nullptr},
    {"startx", nullptr, &resize_options::startx, nullptr, nullptr},
    {"starty", nullptr, &resize_options::starty, nullptr, nullptr},
    {"hv", nullptr, &resize_options::hv, nullptr, nullptr},
    {"bunshi", nullptr, &resize_options::bunshi, nullptr, nullptr},
    {"bunbo", nullptr, &resize_options::bunbo, nullptr, nullptr},
    {"norm", nullptr, &resize_options::norm, nullptr, nullptr},
    {"mado", nullptr, &resize_options::mado, nullptr, nullptr},
    {"tapnum_y", nullptr, &resize_options::tapnum_y, nullptr, nullptr},
    {"tapnum_c", nullptr, &resize_options::tapnum_c, nullptr, nullptr},
    {"Fsc", nullptr, nullptr, &resize_options::Fsc, nullptr},
    {"sizexminus", nullptr, &resize_options::sizexminus, nullptr, nullptr},
    {"sizexminusy", nullptr, &resize_options::sizexminusy, nullptr, nullptr},
    {"orgx", nullptr, nullptr, nullptr, &orgx},
    {"orgy", nullptr, nullptr, nullptr, &orgy},
};

const option_row* find_option(const char* name)
{
    for (const option_row& row : option_table) {
        if (std::strcmp(row.name, name) == 0)
            return &row;
    }
    return nullptr;
}

// atoi's reading of decimal text (leading blanks, a sign, digits, anything
// after ignored, 0 for no number), but saturating at the int range instead of
// wrapping, so an absurd size can never turn into a plausible one.
std::int32_t text_to_int(const char* text)
{
    const long value = std::strtol(text, nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

bool store_value(const option_row& row, const char* value, resize_options* cnt)
{
    if (row.text) {
        char* field = cnt->*row.text;
        if (std::strlen(value) >= name_field_size)
            return false;
        std::strcpy(field, value);
    } else if (row.integer) {
        cnt->*row.integer = text_to_int(value);
    } else if (row.real) {
        cnt->*row.real = std::atof(value);
    } else {
        *row.global = text_to_int(value);
    }
    return true;
}

}  // namespace

parse_outcome parse_arguments(std::int16_t argc, char** argv, resize_options* cnt)
{
    for (std::int16_t i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (argument[0] != '-')
            continue;
        const char* name = argument + 1;
        if (std::strcmp(name, "h") == 0)
            return {parse_status::usage, argument};
        const option_row* row = find_option(name);
        if (!row)
            return {parse_status::usage, argument};
        if (i + 1 >= argc)
            return {parse_status::missing_value, argument};
        ++i;
        if (!store_value(*row, argv[i], cnt))
            return {parse_status::value_too_long, argument};
    }
    return {parse_status::ok, nullptr};
}

void print_usage()
{
    std::fprintf(stderr, "Usage: VELMORA [options]\n");
    std::fprintf(stderr, "\toptions: \n");
    std::fprintf(stderr, "\t  -help          : help message display\n");
    std::fprintf(stderr, "\t  -i             : input bitmap file name 24 bit true color only\n");
    std::fprintf(stderr, "\t  -o             : output bitmap file name (auto add .bmp extension)\n");
    std::fprintf(stderr, "\t  -sizexminus    : difference between input horizontal picture size and output one \n");
    std::fprintf(stderr, "\t  -sizexminusy   : difference between input vertical picture size and output one\n");
}

void parse_options(std::int16_t argc, char** argv, resize_options* cnt)
{
    const parse_outcome outcome = parse_arguments(argc, argv, cnt);
    switch (outcome.status) {
    case parse_status::ok:
        return;
    case parse_status::usage:
        print_usage();
        std::exit(0);
    case parse_status::missing_value:
        fail_run("option %s needs a value", outcome.option);
    case parse_status::value_too_long:
        fail_run("the value of option %s is too long (at most %zu characters)", outcome.option,
                 name_field_size - 1);
    }
}
