#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "cli/options.h"

namespace {

struct parsed {
    parse_outcome outcome;
    resize_options cnt;
    std::string option;  // outcome.option copied before the argument strings go away
};

parsed parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "velmora");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    parsed result{};
    std::memset(&result.cnt, 0, sizeof result.cnt);
    orgx = 720;
    orgy = 480;
    result.outcome = parse_arguments(static_cast<std::int16_t>(args.size()), argv.data(), &result.cnt);
    if (result.outcome.option)
        result.option = result.outcome.option;
    return result;
}

struct integer_case {
    const char* option;
    std::int32_t resize_options::*field;
};

class integer_option : public testing::TestWithParam<integer_case> {};

TEST_P(integer_option, stores_its_value)
{
    const integer_case& c = GetParam();
    const parsed p = parse({c.option, "-37"});
    ASSERT_EQ(p.outcome.status, parse_status::ok);
    EXPECT_EQ(p.cnt.*c.field, -37);
}

INSTANTIATE_TEST_SUITE_P(options, integer_option,
                         testing::Values(integer_case{"-x", &resize_options::x}, integer_case{"-y", &resize_options::y},
                                         integer_case{"-startx", &resize_options::startx},
                                         integer_case{"-starty", &resize_options::starty},
                                         integer_case{"-hv", &resize_options::hv},
                                         integer_case{"-bunshi", &resize_options::bunshi},
                                         integer_case{"-bunbo", &resize_options::bunbo},
                                         integer_case{"-norm", &resize_options::norm},
                                         integer_case{"-mado", &resize_options::mado},
                                         integer_case{"-tapnum_y", &resize_options::tapnum_y},
                                         integer_case{"-tapnum_c", &resize_options::tapnum_c},
                                         integer_case{"-sizexminus", &resize_options::sizexminus},
                                         integer_case{"-sizexminusy", &resize_options::sizexminusy}));

TEST(options, text_values_go_to_their_fields)
{
    const parsed p = parse({"-i", "in.bmp", "-i2", "second.bmp", "-o", "out"});
    ASSERT_EQ(p.outcome.status, parse_status::ok);
    EXPECT_STREQ(p.cnt.input_name, "in.bmp");
    EXPECT_STREQ(p.cnt.input2_name, "second.bmp");
    EXPECT_STREQ(p.cnt.output_name, "out");
}

TEST(options, orgx_orgy_and_fsc_are_stored)
{
    const parsed p = parse({"-orgx", "100", "-orgy", "50", "-Fsc", "3.5"});
    ASSERT_EQ(p.outcome.status, parse_status::ok);
    EXPECT_EQ(orgx, 100);
    EXPECT_EQ(orgy, 50);
    EXPECT_EQ(p.cnt.Fsc, 3.5);
}

TEST(options, a_value_starting_with_a_dash_is_a_value)
{
    const parsed p = parse({"-o", "-x", "-sizexminus", "-5"});
    ASSERT_EQ(p.outcome.status, parse_status::ok);
    EXPECT_STREQ(p.cnt.output_name, "-x");
    EXPECT_EQ(p.cnt.x, 0);
    EXPECT_EQ(p.cnt.sizexminus, -5);
}

TEST(options, later_occurrences_win)
{
    const parsed p = parse({"-i", "a.bmp", "-sizexminus", "3", "-i", "b.bmp", "-sizexminus", "4"});
    EXPECT_STREQ(p.cnt.input_name, "b.bmp");
    EXPECT_EQ(p.cnt.sizexminus, 4);
}

TEST(options, arguments_without_a_dash_are_passed_over)
{
    const parsed p = parse({"picture.bmp", "-i", "in.bmp", "stray", "-o", "out"});
    ASSERT_EQ(p.outcome.status, parse_status::ok);
    EXPECT_STREQ(p.cnt.input_name, "in.bmp");
    EXPECT_STREQ(p.cnt.output_name, "out");
}

TEST(options, numbers_follow_atoi_rules_and_saturate)
{
    const struct {
        const char* text;
        std::int32_t value;
    } cases[] = {{"12abc", 12}, {"abc", 0}, {"", 0}, {"  42", 42}, {"+8", 8}, {"-0", 0}, {"0x10", 0},
                 {"2147483647", INT32_MAX}, {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN}};
    for (const auto& c : cases) {
        const parsed p = parse({"-sizexminus", c.text});
        EXPECT_EQ(p.cnt.sizexminus, c.value) << "text \"" << c.text << "\"";
    }
    EXPECT_EQ(parse({"-Fsc", "2.5e1xyz"}).cnt.Fsc, 25.0);
    EXPECT_EQ(parse({"-Fsc", "abc"}).cnt.Fsc, 0.0);
}

TEST(options, usage_names_stop_the_walk)
{
    for (const char* name : {"-h", "-help", "-H", "-sizex", "-", "-I", "--i"}) {
        const parsed p = parse({"-o", "out", name, "-i", "in.bmp"});
        EXPECT_EQ(p.outcome.status, parse_status::usage) << name;
        EXPECT_EQ(p.option, name);
        EXPECT_STREQ(p.cnt.input_name, "") << "arguments after " << name << " must not be read";
        EXPECT_STREQ(p.cnt.output_name, "out");
    }
}

TEST(options, an_option_without_its_value_is_reported)
{
    for (const char* name : {"-i", "-o", "-i2", "-x", "-Fsc", "-sizexminus", "-sizexminusy", "-orgy"}) {
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
    EXPECT_EQ(std::strlen(parse({"-o", longest}).cnt.output_name), 255u);
}

}  // namespace
