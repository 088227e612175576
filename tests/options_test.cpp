#include <gtest/gtest.h>

#include <sched.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
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

// Text as shown below: a long one by its length.
std::string shown(const std::string& text)
{
    return text.size() > 20 ? "<" + std::to_string(text.size()) + ">" : text;
}

// What a parse gave: the outcome when not ok, then every field that is
// not empty or zero, as "name=value".
std::string described(const parsed& p)
{
    // In parse_status's order.
    static const char* const statuses[] = {"ok",           "usage",        "version",      "unknown_option",
                                           "missing_value", "value_too_long", "not_a_number", "out_of_range",
                                           "not_a_choice", "not_a_size",   "not_a_factor", "exclusive"};
    static_assert(std::size(statuses) == static_cast<std::size_t>(parse_status::exclusive) + 1);
    std::string text;
    if (p.outcome.status != parse_status::ok)
        text = std::string(statuses[static_cast<int>(p.outcome.status)]) + " " + p.option +
               (p.outcome.value ? " \"" + shown(p.value) + "\"" : "") +
               (p.outcome.status == parse_status::out_of_range
                    ? " " + std::to_string(p.outcome.low) + ".." + std::to_string(p.outcome.high) : "") + ";";
    const resize_options& o = p.options;
    const std::pair<const char*, std::int32_t> numbers[] = {
        {"columns", o.added_columns}, {"rows", o.added_rows}, {"threads", o.threads}, {"pixels", o.max_pixels},
        {"format", o.format},         {"rounding", o.rounding}, {"quality", o.quality}};
    for (const auto& [name, text_field] : {std::pair{"i", o.input_name}, {"o", o.output_name}})
        if (*text_field)
            text += std::string(" ") + name + "=" + shown(text_field);
    for (const auto& [name, value] : numbers)
        if (value)
            text += std::string(" ") + name + "=" + std::to_string(value);
    return text;
}

// What each option keeps, and that a refused value keeps nothing and ends
// the walk (the options after it are not read).
TEST(options, values_are_kept_in_their_fields_and_refusals_keep_nothing)
{
    const std::string longest(255, 'n'), too_long(256, 'n');
    const struct {
        std::vector<std::string> args;
        const char* want;
    } cases[] = {
        {{"-i", "in.bmp", "-o", "out"}, " i=in.bmp o=out"},
        {{"picture.bmp", "-i", "in.bmp", "stray", "-o", "out"}, " i=in.bmp o=out"},  // no dash: passed over
        {{"-o", "-x", "-sizexminus", "-5"}, " o=-x columns=-5"},                      // a dash starts a value too
        {{"-i", "a.bmp", "-sizexminus", "3", "-i", "b.bmp", "-sizexminusy", "-4", "-sizexminus", "4"},
         " i=b.bmp columns=4 rows=-4"},  // later occurrences win
        {{"-threads", "1", "-max-pixels", "1"}, " threads=1 pixels=1"},
        {{"-threads", "+256", "-max-pixels", "268435456"}, " threads=256 pixels=268435456"},
        {{"-format", "jpeg", "-rounding", "truncate", "-quality", "90"}, " format=4 rounding=2 quality=90"},
        {{"-o", longest, "-i", longest}, " i=<255> o=<255>"},
        {{"-o", "out", "-threads", "0", "-i", "x"}, "out_of_range -threads \"0\" 1..256; o=out"},
        {{"-threads", "257"}, "out_of_range -threads \"257\" 1..256;"},
        {{"-threads", "-1"}, "out_of_range -threads \"-1\" 1..256;"},
        {{"-threads", "18446744073709551617"}, "out_of_range -threads \"18446744073709551617\" 1..256;"},
        {{"-threads", "4x"}, "not_a_number -threads \"4x\";"},
        {{"-threads", ""}, "not_a_number -threads \"\";"},
        {{"-max-pixels", "0"}, "out_of_range -max-pixels \"0\" 1..268435456;"},
        {{"-max-pixels", "268435457"}, "out_of_range -max-pixels \"268435457\" 1..268435456;"},
        {{"-max-pixels", "1e6"}, "not_a_number -max-pixels \"1e6\";"},
        {{"-quality", "0"}, "out_of_range -quality \"0\" 1..100;"},
        {{"-format", "gif"}, "not_a_choice -format \"gif\";"},
        {{"-o", "out", "-h", "-i", "in.bmp"}, "usage -h; o=out"},
        {{"-o", "out", "-help", "-i", "in.bmp"}, "usage -help; o=out"},
        {{"-i", too_long}, "value_too_long -i \"<256>\";"},
        {{"-o", too_long}, "value_too_long -o \"<256>\";"},
        {{"-i2", too_long, "-o", "out"}, "value_too_long -i2 \"<256>\";"},
        {{"-i2", longest, "-o", "out"}, " o=out"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& arg : c.args)
            line += " " + shown(arg);
        EXPECT_EQ(described(parse(c.args)), c.want) << line;
    }
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
