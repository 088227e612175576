#include "cli/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/console.h"
#include "cli/messages.h"

namespace {

// What an option does with its value. A name must fit its field, kept or
// not; a number takes only a sign and digits within low..high; a choice one
// of its words; an output size its own reader's form; the options only
// accepted for existing command lines take any value.
struct option_row {
    const char* name;
    bool name_value;
    char (resize_options::*text)[name_field_size];  // where a name is kept; null: nowhere
    std::int32_t resize_options::*number;           // where a number or a choice is kept
    std::int32_t low;
    std::int32_t high;
    const char* const* choices;
    parse_status (*read)(const char* value, resize_options* options);  // -size, -scale
    bool sizes;    // gives the output size, in the way below
    size_way way;
};

constexpr option_row name_row(const char* name, char (resize_options::*field)[name_field_size])
{
    return {name, true, field, nullptr, 0, 0, nullptr, nullptr, false, size_way::differences};
}

constexpr option_row number_row(const char* name, std::int32_t resize_options::*field, std::int32_t low,
                                std::int32_t high)
{
    return {name, false, nullptr, field, low, high, nullptr, nullptr, false, size_way::differences};
}

constexpr option_row difference_row(const char* name, std::int32_t resize_options::*field)
{
    return {name, false, nullptr, field, INT32_MIN, INT32_MAX, nullptr, nullptr, true, size_way::differences};
}

constexpr option_row size_row(const char* name, size_way way,
                              parse_status (*read)(const char* value, resize_options* options))
{
    return {name, false, nullptr, nullptr, 0, 0, nullptr, read, true, way};
}

constexpr option_row choice_row(const char* name, std::int32_t resize_options::*field, const char* const* choices)
{
    return {name, false, nullptr, field, 0, 0, choices, nullptr, false, size_way::differences};
}

constexpr option_row ignored_row(const char* name)
{
    return {name, false, nullptr, nullptr, 0, 0, nullptr, nullptr, false, size_way::differences};
}

parse_status read_size(const char* value, resize_options* options)
{
    if (!read_size_sides(value, &options->sides))
        return parse_status::not_a_size;
    options->size_by = size_way::size;
    options->size_value = value;
    return parse_status::ok;
}

parse_status read_scale(const char* value, resize_options* options)
{
    if (!read_scale_factor(value, &options->factor))
        return parse_status::not_a_factor;
    options->size_by = size_way::scale;
    options->size_value = value;
    return parse_status::ok;
}

// Whole names, compared case-sensitively; "h", "help", "version" and
// "-version" are handled before the table.
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
    difference_row("sizexminus", &resize_options::added_columns),
    difference_row("sizexminusy", &resize_options::added_rows),
    size_row("size", size_way::size, read_size),
    size_row("scale", size_way::scale, read_scale),
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
    } else if (row.read) {
        return row.read(value, options);
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

parse_outcome outcome_of(parse_status status, const char* option)
{
    return {status, option, nullptr, 0, 0, nullptr, nullptr};
}

}  // namespace

parse_outcome parse_arguments(std::int16_t argc, char** argv, resize_options* options)
{
    // The first option that gave the output size, and its way.
    const char* size_option = nullptr;
    size_way size_given = size_way::differences;
    for (std::int16_t i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (argument[0] != '-')
            continue;
        const char* name = argument + 1;
        // The usage text itself advertises -help.
        if (std::strcmp(name, "h") == 0 || std::strcmp(name, "help") == 0)
            return outcome_of(parse_status::usage, argument);
        if (std::strcmp(name, "version") == 0 || std::strcmp(name, "-version") == 0)
            return outcome_of(parse_status::version, argument);
        const option_row* row = find_option(name);
        if (!row)
            return outcome_of(parse_status::unknown_option, argument);
        if (i + 1 >= argc)
            return outcome_of(parse_status::missing_value, argument);
        ++i;
        const parse_status status = store_value(*row, argv[i], options);
        if (status != parse_status::ok)
            return {status, argument, argv[i], row->low, row->high, row->choices, nullptr};
        if (!row->sizes)
            continue;
        if (size_option && size_given != row->way)
            return {parse_status::exclusive, argument, nullptr, 0, 0, nullptr, size_option};
        if (!size_option) {
            size_option = argument;
            size_given = row->way;
        }
    }
    return outcome_of(parse_status::ok, nullptr);
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
    case parse_status::version:
        print_version();
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
    case parse_status::not_a_size:
        fail_option_not_a_size(outcome.option, max_picture_side, outcome.value);
    case parse_status::not_a_factor:
        fail_option_not_a_factor(outcome.option, scale_digits, outcome.value);
    case parse_status::exclusive:
        fail_options_exclusive(outcome.earlier, outcome.option);
    }
}
