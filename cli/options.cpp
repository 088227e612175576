#include "cli/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/console.h"
#include "cli/messages.h"

namespace {

// What an option does with its value. A name must fit its field, kept or
// not; a number takes only a sign and digits within low..high; a choice one
// of its words; the options only accepted for existing command lines take
// any value.
struct option_row {
    const char* name;
    bool name_value;
    char (resize_options::*text)[name_field_size];  // where a name is kept; null: nowhere
    std::int32_t resize_options::*number;           // where a number or a choice is kept
    std::int32_t low;
    std::int32_t high;
    const char* const* choices;
};

constexpr option_row name_row(const char* name, char (resize_options::*field)[name_field_size])
{
    return {name, true, field, nullptr, 0, 0, nullptr};
}

constexpr option_row number_row(const char* name, std::int32_t resize_options::*field, std::int32_t low,
                                std::int32_t high)
{
    return {name, false, nullptr, field, low, high, nullptr};
}

constexpr option_row choice_row(const char* name, std::int32_t resize_options::*field, const char* const* choices)
{
    return {name, false, nullptr, field, 0, 0, choices};
}

constexpr option_row ignored_row(const char* name)
{
    return {name, false, nullptr, nullptr, 0, 0, nullptr};
}

// Whole names, compared case-sensitively; "h" and "help" are handled
// before the table.
const option_row option_table[] = {
    name_row("o", &resize_options::output_name),
    name_row("i", &resize_options::input_name),
    name_row("i2", nullptr),
    ignored_row("x"),
    ignored_row("y"),
    ignored_row("startx"),
    ignored_row("starty"),
    ignored_row("hv"),
    ignored_row("bunshi"),
    ignored_row("bunbo"),
    ignored_row("norm"),
    ignored_row("mado"),
    ignored_row("tapnum_y"),
    ignored_row("tapnum_c"),
    ignored_row("Fsc"),
    number_row("sizexminus", &resize_options::added_columns, INT32_MIN, INT32_MAX),
    number_row("sizexminusy", &resize_options::added_rows, INT32_MIN, INT32_MAX),
    ignored_row("orgx"),
    ignored_row("orgy"),
    number_row("threads", &resize_options::threads, 1, max_threads),
    number_row("max-pixels", &resize_options::max_pixels, 1, max_pixel_budget),
    choice_row("format", &resize_options::format, format_choices),
    choice_row("rounding", &resize_options::rounding, rounding_choices),
    number_row("quality", &resize_options::quality, 1, 100),
};

const option_row* find_option(const char* name)
{
    for (const option_row& row : option_table) {
        if (std::strcmp(row.name, name) == 0)
            return &row;
    }
    return nullptr;
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

parse_status store_value(const option_row& row, const char* value, resize_options* options)
{
    if (row.name_value) {
        if (std::strlen(value) >= name_field_size)
            return parse_status::value_too_long;
        if (row.text)
            std::strcpy(options->*row.text, value);
    } else if (row.choices) {
        std::int32_t place = 0;
        while (row.choices[place] && std::strcmp(row.choices[place], value) != 0)
            ++place;
        if (!row.choices[place])
            return parse_status::not_a_choice;
        options->*row.number = place + 1;
    } else if (row.number) {
        std::int64_t number = 0;
        if (!strict_number(value, &number))
            return parse_status::not_a_number;
        if (number < row.low || number > row.high)
            return parse_status::out_of_range;
        options->*row.number = static_cast<std::int32_t>(number);
    }
    return parse_status::ok;
}

}  // namespace

parse_outcome parse_arguments(std::int16_t argc, char** argv, resize_options* options)
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
        const parse_status status = store_value(*row, argv[i], options);
        if (status != parse_status::ok)
            return {status, argument, argv[i], row->low, row->high, row->choices};
    }
    return {parse_status::ok, nullptr, nullptr, 0, 0, nullptr};
}

void parse_options(std::int16_t argc, char** argv, resize_options* options)
{
    const parse_outcome outcome = parse_arguments(argc, argv, options);
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
