#include <gtest/gtest.h>

#include <sched.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/options.h"

namespace {

struct parsed {
    parse_outcome outcome;
    resize_options options;
    std::string option;  // outcome.option and outcome.value copied before the argument strings go away
    std::string value;
};

parsed parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "velmora");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    parsed result{};
    std::memset(&result.options, 0, sizeof result.options);
    result.outcome = parse_arguments(static_cast<std::int16_t>(args.size()), argv.data(), &result.options);
    if (result.outcome.option)
        result.option = result.outcome.option;
    if (result.outcome.value)
        result.value = result.outcome.value;
    return result;
}

TEST(options, text_values_go_to_their_fields)
{
    const parsed p = parse({"-i", "in.bmp", "-o", "out"});
    ASSERT_EQ(p.outcome.status, parse_status::ok);
    EXPECT_STREQ(p.options.input_name, "in.bmp");
    EXPECT_STREQ(p.options.output_name, "out");
}

// Existing command lines keep working: each of these options takes any
// value, one that looks like an option or a number too, and nothing else.
TEST(options, compatibility_options_take_any_value)
{
    for (const char* name : {"-i2", "-x", "-y", "-startx", "-starty", "-hv", "-bunshi", "-bunbo", "-norm", "-mado",
                             "-tapnum_y", "-tapnum_c", "-Fsc", "-orgx", "-orgy"})
        for (const char* value : {"12abc", "", "-o", "99999999999", "2.5e1"}) {
            const parsed p = parse({"-i", "in.bmp", name, value, "-o", "out"});
            EXPECT_EQ(p.outcome.status, parse_status::ok) << name << " " << value;
            EXPECT_STREQ(p.options.output_name, "out") << name << " " << value;
        }
}

TEST(options, a_value_starting_with_a_dash_is_a_value)
{
    const parsed p = parse({"-o", "-x", "-sizexminus", "-5"});
    ASSERT_EQ(p.outcome.status, parse_status::ok);
    EXPECT_STREQ(p.options.output_name, "-x");
    EXPECT_EQ(p.options.added_columns, -5);
}

TEST(options, later_occurrences_win)
{
    const parsed p = parse({"-i", "a.bmp", "-sizexminus", "3", "-i", "b.bmp", "-sizexminus", "4"});
    EXPECT_STREQ(p.options.input_name, "b.bmp");
    EXPECT_EQ(p.options.added_columns, 4);
}

TEST(options, arguments_without_a_dash_are_passed_over)
{
    const parsed p = parse({"picture.bmp", "-i", "in.bmp", "stray", "-o", "out"});
    ASSERT_EQ(p.outcome.status, parse_status::ok);
    EXPECT_STREQ(p.options.input_name, "in.bmp");
    EXPECT_STREQ(p.options.output_name, "out");
}

// The options that steer a run take a sign and digits, nothing else.
TEST(options, sizes_that_are_not_plain_numbers_are_refused)
{
    const struct {
        const char* text;
        parse_status status;
        std::int32_t value;
    } cases[] = {
        {"12", parse_status::ok, 12},
        {"-5", parse_status::ok, -5},
        {"+8", parse_status::ok, 8},
        {"-0", parse_status::ok, 0},
        {"007", parse_status::ok, 7},
        {"2147483647", parse_status::ok, INT32_MAX},
        {"-2147483648", parse_status::ok, INT32_MIN},
        {"2147483648", parse_status::out_of_range, 0},
        {"-2147483649", parse_status::out_of_range, 0},
        {"99999999999999999999999999", parse_status::out_of_range, 0},
        // 2^64 + 1 and 2^64 + 3 wrap back into range unless the reading saturates.
        {"18446744073709551617", parse_status::out_of_range, 0},
        {"-18446744073709551619", parse_status::out_of_range, 0},
        {"12abc", parse_status::not_a_number, 0},
        {"abc", parse_status::not_a_number, 0},
        {"", parse_status::not_a_number, 0},
        {"-", parse_status::not_a_number, 0},
        {"+", parse_status::not_a_number, 0},
        {"+-3", parse_status::not_a_number, 0},
        {" 42", parse_status::not_a_number, 0},
        {"42 ", parse_status::not_a_number, 0},
        {"1e3", parse_status::not_a_number, 0},
        {"0x10", parse_status::not_a_number, 0},
        {"3.0", parse_status::not_a_number, 0},
    };
    for (const char* name : {"-sizexminus", "-sizexminusy"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(name) + " \"" + c.text + "\"");
            const parsed p = parse({"-i", "in.bmp", name, c.text, "-o", "out"});
            EXPECT_EQ(p.outcome.status, c.status);
            if (c.status == parse_status::ok) {
                const bool columns = std::strcmp(name, "-sizexminus") == 0;
                const std::int32_t stored = columns ? p.options.added_columns : p.options.added_rows;
                EXPECT_EQ(stored, c.value);
                EXPECT_STREQ(p.options.output_name, "out");
            } else {
                EXPECT_EQ(p.option, name);
                EXPECT_EQ(p.value, c.text);
                EXPECT_STREQ(p.options.output_name, "") << "the walk must stop at the refused value";
            }
        }
    }
}

TEST(options, thread_counts_outside_1_to_256_are_refused)
{
    const struct {
        const char* text;
        parse_status status;
    } cases[] = {{"1", parse_status::ok},           {"256", parse_status::ok},         {"+4", parse_status::ok},
                 {"0", parse_status::out_of_range}, {"257", parse_status::out_of_range}, {"-1", parse_status::out_of_range},
                 {"4096", parse_status::out_of_range}, {"two", parse_status::not_a_number}, {"4x", parse_status::not_a_number},
                 {"", parse_status::not_a_number},        {"18446744073709551617", parse_status::out_of_range}};
    for (const auto& c : cases) {
        const parsed p = parse({"-threads", c.text});
        EXPECT_EQ(p.outcome.status, c.status) << c.text;
        if (c.status == parse_status::ok) {
            EXPECT_EQ(p.options.threads, std::atoi(c.text)) << c.text;
        } else {
            EXPECT_EQ(p.option, "-threads");
            EXPECT_EQ(p.outcome.low, 1);
            EXPECT_EQ(p.outcome.high, 256);
            EXPECT_EQ(p.options.threads, 0) << "a refused count must not be stored";
        }
    }
    EXPECT_EQ(parse({"-i", "in.bmp"}).options.threads, 0) << "no -threads leaves 0";
}

TEST(options, pixel_budgets_outside_1_to_16384_squared_are_refused)
{
    for (const char* text : {"1", "268435456"})
        EXPECT_EQ(parse({"-max-pixels", text}).options.max_pixels, std::atoi(text));
    for (const char* text : {"0", "268435457", "18446744073709551619", "1e6"})
        EXPECT_NE(parse({"-max-pixels", text}).outcome.status, parse_status::ok) << text;
}

TEST(options, help_names_ask_for_the_usage_text)
{
    for (const char* name : {"-h", "-help"}) {
        const parsed p = parse({"-o", "out", name, "-i", "in.bmp"});
        EXPECT_EQ(p.outcome.status, parse_status::usage) << name;
        EXPECT_EQ(p.option, name);
        EXPECT_STREQ(p.options.input_name, "") << "arguments after " << name << " must not be read";
    }
}

TEST(options, mistyped_names_are_unknown_and_stop_the_walk)
{
    for (const char* name : {"-H", "-Help", "-helpx", "-sizex", "-thread", "-", "-I", "--i", "-o2"}) {
        const parsed p = parse({"-o", "out", name, "-i", "in.bmp"});
        EXPECT_EQ(p.outcome.status, parse_status::unknown_option) << name;
        EXPECT_EQ(p.option, name);
        EXPECT_STREQ(p.options.input_name, "") << "arguments after " << name << " must not be read";
        EXPECT_STREQ(p.options.output_name, "out");
    }
}

TEST(options, an_option_without_its_value_is_reported)
{
    for (const char* name : {"-i", "-o", "-i2", "-x", "-Fsc", "-sizexminus", "-sizexminusy", "-orgy", "-threads"}) {
        const parsed p = parse({"-i", "in.bmp", name});
        EXPECT_EQ(p.outcome.status, parse_status::missing_value) << name;
        EXPECT_EQ(p.option, name);
    }
}

TEST(options, names_must_fit_their_256_character_fields)
{
    const std::string longest(255, 'n');
    const std::string too_long(256, 'n');
    for (const char* name : {"-i", "-i2", "-o"}) {
        const parsed fits = parse({name, longest});
        EXPECT_EQ(fits.outcome.status, parse_status::ok) << name;
        const parsed refused = parse({name, too_long});
        EXPECT_EQ(refused.outcome.status, parse_status::value_too_long) << name;
        EXPECT_EQ(refused.option, name);
    }
    EXPECT_EQ(std::strlen(parse({"-o", longest}).options.output_name), 255u);
}

// A process confined to fewer CPUs than the machine has must not count the
// machine's.
TEST(options, default_thread_count_follows_the_affinity_mask)
{
    cpu_set_t saved;
    ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
    std::vector<int> allowed;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &saved))
            allowed.push_back(cpu);
    ASSERT_FALSE(allowed.empty());
    EXPECT_EQ(velmora::available_threads(), std::min<int>(static_cast<int>(allowed.size()), 256));

    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(allowed.back(), &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const std::int32_t confined = velmora::available_threads();
    ASSERT_EQ(sched_setaffinity(0, sizeof saved, &saved), 0);
    EXPECT_EQ(confined, 1);
}

}  // namespace
