#include "cli/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/console.h"
#include "cli/messages.h"

namespace {

// Where the value of each option goes; exactly one destination is set. An
// integer row with strict set takes only a sign and digits within low..high.
struct option_row {
    const char* name;
    char (resize_options::*text)[name_field_size];
    std::int32_t resize_options::*integer;
    double resize_options::*real;
    bool strict;
    std::int32_t low;
    std::int32_t high;
    const char* const* choices;  // an integer row that takes one of these words
};

constexpr option_row text_row(const char* name, char (resize_options::*field)[name_field_size])
{
    return {name, field, nullptr, nullptr, false, 0, 0, nullptr};
}

// atoi's reading, for the options kept only for existing command lines.
constexpr option_row lenient_row(const char* name, std::int32_t resize_options::*field)
{
    return {name, nullptr, field, nullptr, false, 0, 0, nullptr};
}

constexpr option_row strict_row(const char* name, std::int32_t resize_options::*field, std::int32_t low,
                                std::int32_t high)
{
    return {name, nullptr, field, nullptr, true, low, high, nullptr};
}

constexpr option_row real_row(const char* name, double resize_options::*field)
{
    return {name, nullptr, nullptr, field, false, 0, 0, nullptr};
}

constexpr option_row choice_row(const char* name, std::int32_t resize_options::*field, const char* const* choices)
{
    return {name, nullptr, field, nullptr, false, 0, 0, choices};
}

// Compared in this order, whole names, case-sensitively; "h" and "help" are
// handled before the table.
const option_row option_table[] = {
    text_row("o", &resize_options::output_name),
    text_row("i", &resize_options::input_name),
    text_row("i2", &resize_options::input2_name),
    lenient_row("x", &resize_options::x),
    lenient_row("y", &resize_options::y),
    lenient_row("startx", &resize_options::startx),
    lenient_row("starty", &resize_options::starty),
    lenient_row("hv", &resize_options::hv),
    lenient_row("bunshi", &resize_options::bunshi),
    lenient_row("bunbo", &resize_options::bunbo),
    lenient_row("norm", &resize_options::norm),
    lenient_row("mado", &resize_options::mado),
    lenient_row("tapnum_y", &resize_options::tapnum_y),
    lenient_row("tapnum_c", &resize_options::tapnum_c),
    real_row("Fsc", &resize_options::Fsc),
    strict_row("sizexminus", &resize_options::sizexminus, INT32_MIN, INT32_MAX),
    strict_row("sizexminusy", &resize_options::sizexminusy, INT32_MIN, INT32_MAX),
    lenient_row("orgx", &resize_options::orgx),
    lenient_row("orgy", &resize_options::orgy),
    strict_row("threads", &resize_options::threads, 1, max_threads),
    strict_row("max-pixels", &resize_options::max_pixels, 1, max_pixel_budget),
    choice_row("format", &resize_options::format, format_choices),
    choice_row("rounding", &resize_options::rounding, rounding_choices),
    strict_row("quality", &resize_options::quality, 1, 100),
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

// An optional sign and at least one decimal digit, nothing before or after.
// Numbers too long for 64 bits are only ever out of range, so they saturate.
bool strict_number(const char* text, std::int64_t* value)
{
    const char* at = text;
    const bool negative = *at == '-';
    if (*at == '-' || *at == '+')
        ++at;
    if (*at == '\0')
        return false;
    constexpr std::int64_t ceiling = std::int64_t{1} << 40;
    std::int64_t magnitude = 0;
    for (; *at != '\0'; ++at) {
        if (*at < '0' || *at > '9')
            return false;
        if (magnitude < ceiling)
            magnitude = magnitude * 10 + (*at - '0');
    }
    *value = negative ? -magnitude : magnitude;
    return true;
}

parse_status store_value(const option_row& row, const char* value, resize_options* cnt)
{
    if (row.text) {
        char* field = cnt->*row.text;
        if (std::strlen(value) >= name_field_size)
            return parse_status::value_too_long;
        std::strcpy(field, value);
    } else if (row.choices) {
        std::int32_t place = 0;
        while (row.choices[place] && std::strcmp(row.choices[place], value) != 0)
            ++place;
        if (!row.choices[place])
            return parse_status::not_a_choice;
        cnt->*row.integer = place + 1;
    } else if (row.strict) {
        std::int64_t number = 0;
        if (!strict_number(value, &number))
            return parse_status::not_a_number;
        if (number < row.low || number > row.high)
            return parse_status::out_of_range;
        cnt->*row.integer = static_cast<std::int32_t>(number);
    } else if (row.integer) {
        cnt->*row.integer = text_to_int(value);
    } else {
        cnt->*row.real = std::atof(value);
    }
    return parse_status::ok;
}

}  // namespace

parse_outcome parse_arguments(std::int16_t argc, char** argv, resize_options* cnt)
{
    for (std::int16_t i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (argument[0] != '-')
            continue;
        const char* name = argument + 1;
        // The usage text itself advertises -help.
        if (std::strcmp(name, "h") == 0 || std::strcmp(name, "help") == 0)
            return {parse_status::usage, argument, nullptr, 0, 0, nullptr};
        const option_row* row = find_option(name);
        if (!row)
            return {parse_status::unknown_option, argument, nullptr, 0, 0, nullptr};
        if (i + 1 >= argc)
            return {parse_status::missing_value, argument, nullptr, 0, 0, nullptr};
        ++i;
        const parse_status status = store_value(*row, argv[i], cnt);
        if (status != parse_status::ok)
            return {status, argument, argv[i], row->low, row->high, row->choices};
    }
    return {parse_status::ok, nullptr, nullptr, 0, 0, nullptr};
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
    case parse_status::unknown_option:
        // A script learns that its command line was wrong, and its user which word.
        fail_unknown_option(outcome.option);
    case parse_status::missing_value:
        fail_option_needs_value(outcome.option);
    case parse_status::value_too_long:
        fail_option_too_long(outcome.option, name_field_size - 1);
    case parse_status::not_a_number:
        fail_option_not_a_number(outcome.option, outcome.value);
    case parse_status::out_of_range:
        fail_option_out_of_range(outcome.option, outcome.low, outcome.high, outcome.value);
    case parse_status::not_a_choice:
        fail_option_not_a_choice(outcome.option, outcome.choices, outcome.value);
    }
}
