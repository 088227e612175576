// Runs the built binary: usage text, streams, exit statuses and the checks
// that guard a run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>

#include "test_support.h"

namespace {

class cli : public testing::Test {
protected:
    void SetUp() override
    {
        dir = make_scratch_dir();
        write_file(dir + "/in.bmp", make_bmp(pattern_picture(5, 3)));
    }
    void TearDown() override { remove_tree(dir); }

    tool_result run(const std::vector<std::string>& args, const tool_limits& limits = {})
    {
        return run_tool(args, dir, limits);
    }
    // The folder's entries, the input file excluded.
    std::vector<std::string> created() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().filename() != "in.bmp")
                names.push_back(entry.path().filename().string());
        return names;
    }
    void expect_failure(const tool_result& result, const std::string& err)
    {
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, err);
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(created().empty());
    }
    std::string dir;
};

TEST_F(cli, no_arguments_print_the_usage_text)
{
    const tool_result result = run({});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, usage_text);
    EXPECT_EQ(result.out, "");
}

TEST_F(cli, help_names_print_the_usage_text_and_succeed)
{
    for (const char* name : {"-h", "-help"}) {
        const tool_result result = run({name, "-i", "in.bmp", "-o", "out"});
        EXPECT_EQ(result.status, 0) << name;
        EXPECT_EQ(result.err, usage_text) << name;
        EXPECT_EQ(result.out, "") << name;
    }
    EXPECT_TRUE(created().empty());
}

TEST_F(cli, mistyped_option_names_fail)
{
    for (const char* name : {"-H", "-sizex", "-", "-bogus", "-helpme", "-thread", "--threads", "-\x1b[2J\n"}) {
        const tool_result result = run({"-i", "in.bmp", name, "4", "-o", "out"});
        const std::string shown = name[1] == '\x1b' ? "-\\x1b[2J\\n" : name;  // escaped as in every message
        EXPECT_EQ(result.status, 1) << name;
        EXPECT_EQ(result.err, "velmora: unknown option " + shown + "\n" + usage_text);
        EXPECT_EQ(result.out, "") << name;
    }
    EXPECT_TRUE(created().empty());
}

TEST_F(cli, sizes_and_thread_counts_that_are_not_numbers_fail)
{
    const struct {
        const char* option;
        const char* value;
        std::string err;
    } cases[] = {
        {"-sizexminus", "abc", "velmora: option -sizexminus takes a whole number (digits with an optional sign), not \"abc\"\n"},
        {"-sizexminus", "1e3", "velmora: option -sizexminus takes a whole number (digits with an optional sign), not \"1e3\"\n"},
        {"-sizexminusy", "0x10", "velmora: option -sizexminusy takes a whole number (digits with an optional sign), not \"0x10\"\n"},
        {"-sizexminusy", "", "velmora: option -sizexminusy takes a whole number (digits with an optional sign), not \"\"\n"},
        {"-sizexminus", "12abc", "velmora: option -sizexminus takes a whole number (digits with an optional sign), not \"12abc\"\n"},
        {"-sizexminus", "2147483648",
         "velmora: option -sizexminus takes a whole number from -2147483648 to 2147483647, not \"2147483648\"\n"},
        {"-sizexminusy", "-99999999999",
         "velmora: option -sizexminusy takes a whole number from -2147483648 to 2147483647, not \"-99999999999\"\n"},
        {"-threads", "0", "velmora: option -threads takes a whole number from 1 to 256, not \"0\"\n"},
        {"-threads", "257", "velmora: option -threads takes a whole number from 1 to 256, not \"257\"\n"},
        {"-threads", "-3", "velmora: option -threads takes a whole number from 1 to 256, not \"-3\"\n"},
        {"-threads", "all", "velmora: option -threads takes a whole number (digits with an optional sign), not \"all\"\n"},
        {"-max-pixels", "268435457", "velmora: option -max-pixels takes a whole number from 1 to 268435456, not \"268435457\"\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        expect_failure(run({"-i", "in.bmp", "-o", "out", c.option, c.value}), c.err);
    }
}

TEST_F(cli, thread_counts_in_range_give_the_same_picture)
{
    ASSERT_EQ(run({"-i", "in.bmp", "-o", "default", "-sizexminus", "3"}).status, 0);
    for (const char* count : {"1", "2", "+3", "256"}) {
        const tool_result result = run({"-i", "in.bmp", "-o", "counted", "-sizexminus", "3", "-threads", count});
        ASSERT_EQ(result.status, 0) << count << result.err;
        EXPECT_EQ(read_file(dir + "/counted.bmp"), read_file(dir + "/default.bmp")) << count;
    }
}

// Checked from the header, before anything sized from it is allocated.
TEST_F(cli, the_pixel_budget_refuses_larger_inputs_before_reading_them)
{
    EXPECT_EQ(run({"-i", "in.bmp", "-o", "out", "-max-pixels", "15"}).status, 0);  // 5 x 3
    std::filesystem::remove(dir + "/out.bmp");
    expect_failure(run({"-i", "in.bmp", "-o", "out", "-max-pixels", "14"}),
                   "velmora: the input is 5 x 3 = 15 pixels, above -max-pixels 14\n");
    // A run-length file of a few bytes that declares 16384 x 16384.
    bmp_build bomb;
    bomb.width = bomb.height = 16384;
    bomb.bits = 8;
    bomb.compression = 1;
    bomb.palette = {{1, 2, 3}};
    bomb.pixels = {0, 1};
    write_file(dir + "/in.bmp", build_bmp(bomb));
    tool_limits limits;
#ifndef VELMORA_SANITIZED
    limits.address_space = 256L << 20;  // less than one colour plane of it
#endif
    expect_failure(run({"-i", "in.bmp", "-o", "out", "-sizexminus", "-16320", "-sizexminusy", "-16320"}, limits),
                   "velmora: the input is 16384 x 16384 = 268435456 pixels, above -max-pixels 178956970\n");
}

// A closed stream's descriptor would otherwise be the next file opened, and
// the console lines would go into the picture.
TEST_F(cli, closed_standard_streams_leave_the_picture_alone)
{
    ASSERT_EQ(run({"-i", "in.bmp", "-o", "open", "-sizexminus", "3"}).status, 0);
    for (unsigned closed : {1u, 2u, 3u, 7u}) {
        tool_limits limits;
        limits.closed_streams = closed;
        EXPECT_EQ(run({"-i", "in.bmp", "-o", "closed", "-sizexminus", "3"}, limits).status, 0) << closed;
        EXPECT_EQ(read_file(dir + "/closed.bmp"), read_file(dir + "/open.bmp")) << closed;
    }
}

TEST_F(cli, control_characters_in_names_and_values_are_escaped)
{
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"-i", "line\nbreak\x1b.bmp", "-o", "out"}, "line\\nbreak\\x1b.bmp\n"},
        {{"-i", "in.bmp", "-o", "no\tfolder/out"},
         "velmora: cannot write the output file no\\tfolder/out.bmp: No such file or directory\n"},
        {{"-i", "in.bmp", "-o", "out", "-threads", "4\r"},
         "velmora: option -threads takes a whole number (digits with an optional sign), not \"4\\r\"\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        expect_failure(run(c.args), c.err);
    }
}

// BMP gets ".bmp" whatever the name ends in; the other kinds only lack an
// extension of their own, in any case.
TEST_F(cli, output_names_get_the_extension_they_lack)
{
    const struct {
        const char* name;
        const char* format;
        const char* file;
    } cases[] = {{"out", "bmp", "out.bmp"},          {"out.bmp", "bmp", "out.bmp.bmp"},
                 {"pin", "png", "pin.png"},          {"pin.png", "png", "pin.png"},
                 {"pin.PNG", "png", "pin.PNG"},      {"pin.jpeg", "jpeg", "pin.jpeg"},
                 {"pin.jpg.x", "jpeg", "pin.jpg.x.jpg"}, {"pin.Tiff", "tiff", "pin.Tiff"},
                 {"pin.png", "tiff", "pin.png.tif"}};
    for (const auto& c : cases) {
        ASSERT_EQ(run({"-i", "in.bmp", "-o", c.name, "-format", c.format}).status, 0) << c.name;
        EXPECT_TRUE(file_exists(dir + "/" + c.file)) << c.file;
    }
    EXPECT_EQ(created().size(), std::size(cases) - 1);  // "pin" and "pin.png" as PNG: one file
}

// On a 6 x 5 input each form means a pair of differences, and writes their
// file byte for byte. The kept sides: 3 * 5 / 6 = 2.5 rounds up to 3, and
// 2 * 6 / 5 = 2.4 down to 2; 5 * 0.7 = 3.5 is 4 (in doubles it is just
// below); 0.01 of a side is kept at 1.
TEST_F(cli, size_and_scale_write_the_file_of_the_differences_they_mean)
{
    write_file(dir + "/in.bmp", make_bmp(pattern_picture(6, 5)));
    const struct {
        const char* option;
        const char* value;
        const char* columns;
        const char* rows;
    } cases[] = {
        {"-size", "8x7", "2", "2"},      {"-size", "3x", "-3", "-2"},     {"-size", "x2", "-4", "-3"},
        {"-size", "6x", "0", "0"},       {"-scale", "2", "6", "5"},       {"-scale", "150%", "3", "3"},
        {"-scale", "0.5", "-3", "-2"},   {"-scale", "0.7", "-2", "-1"},   {"-scale", "070.00%", "-2", "-1"},
        {"-scale", "0.01", "-5", "-4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.option) + " " + c.value);
        ASSERT_EQ(run({"-i", "in.bmp", "-o", "want", "-sizexminus", c.columns, "-sizexminusy", c.rows}).status, 0);
        const tool_result result = run({"-i", "in.bmp", "-o", "got", c.option, c.value});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(read_file(dir + "/got.bmp"), read_file(dir + "/want.bmp"));
    }
}

// Refused while parsing: the input named does not exist, and is never opened.
TEST_F(cli, size_and_scale_values_and_mixed_ways_are_refused_before_any_file)
{
    auto refused = [&](std::vector<std::string> args, const std::string& err) {
        args.insert(args.begin(), {"-i", "nowhere.bmp", "-o", "out"});
        SCOPED_TRACE(err);
        expect_failure(run(args), err);
    };
    for (const char* value : {"x", "0x3", "3x0", "16385x", "x99999999999999999999", "+5x", "5X3", "5x3x", "5", ""})
        refused({"-size", value}, "velmora: option -size takes WxH, Wx or xH with whole numbers from 1 to 16384, not \"" +
                                      std::string(value) + "\"\n");
    for (const char* value : {"0", "0%", "0.000", ".5", "5.", "1e3", "-2", "2x", "1234567890", "0.0000000001", "%"})
        refused({"-scale", value}, "velmora: option -scale takes a factor above 0 such as 2, 0.5 or 150% (at most 9 "
                                   "digits either side of the point), not \"" + std::string(value) + "\"\n");
    refused({"-size", "3x", "-scale", "2"}, "velmora: -size and -scale cannot be used together\n");
    refused({"-scale", "2", "-sizexminusy", "1"}, "velmora: -scale and -sizexminusy cannot be used together\n");
    refused({"-sizexminus", "1", "-sizexminusy", "1", "-size", "3x"},
            "velmora: -sizexminus and -size cannot be used together\n");
}

TEST_F(cli, output_header_carries_the_enlarged_size)
{
    const struct {
        const char* a;
        const char* b;
        std::uint32_t width, height;
    } cases[] = {{"0", "0", 5, 3}, {"3", "2", 8, 5}, {"0", "7", 5, 10}};
    for (const auto& c : cases) {
        ASSERT_EQ(run({"-i", "in.bmp", "-o", "out", "-sizexminus", c.a, "-sizexminusy", c.b}).status, 0);
        const bytes out = read_file(dir + "/out.bmp");
        ASSERT_GE(out.size(), 54u);
        EXPECT_EQ(get_u32(out, 18), c.width);
        EXPECT_EQ(get_u32(out, 22), c.height);
        const std::uint32_t stride = (3 * c.width + 3) / 4 * 4;
        EXPECT_EQ(out.size(), 54 + c.height * stride);
        EXPECT_EQ(get_u32(out, 2), out.size());
    }
}

TEST_F(cli, missing_size_options_count_as_zero)
{
    ASSERT_EQ(run({"-i", "in.bmp", "-o", "out"}).status, 0);
    const bytes out = read_file(dir + "/out.bmp");
    EXPECT_EQ(get_u32(out, 18), 5u);
    EXPECT_EQ(get_u32(out, 22), 3u);
}

TEST_F(cli, unopenable_input_prints_its_name_and_fails)
{
    const tool_result result = run({"-i", "nowhere.bmp", "-o", "out"});
    expect_failure(result, "nowhere.bmp\n");
}

TEST_F(cli, guarding_checks_name_what_is_wrong)
{
    const std::string long_name(256, 'n');
    const std::string base_252(252, 'b');
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"-i", "in.bmp", "-o"}, "velmora: option -o needs a value\n"},
        {{"-o", "out", "-i"}, "velmora: option -i needs a value\n"},
        {{"-i", "in.bmp", "-o", "out", "-sizexminusy"}, "velmora: option -sizexminusy needs a value\n"},
        {{"-i", long_name, "-o", "out"}, "velmora: the value of option -i is too long (at most 255 characters)\n"},
        {{"-i", "in.bmp", "-i2", long_name}, "velmora: the value of option -i2 is too long (at most 255 characters)\n"},
        {{"-i", "in.bmp", "-o", long_name}, "velmora: the value of option -o is too long (at most 255 characters)\n"},
        {{"-i", "in.bmp", "-o", base_252},
         "velmora: the output name given with -o is too long (at most 251 characters, to leave room for \".bmp\")\n"},
        {{"-o", "out"}, "velmora: no input file: give one with -i\n"},
        {{"-i", "in.bmp"}, "velmora: no output name: give one with -o\n"},
        {{"-i", "in.bmp", "-o", "out", "-sizexminus", "-5"},
         "velmora: -sizexminus -5 leaves no output columns (input width 5; the least is -4)\n"},
        {{"-i", "in.bmp", "-o", "out", "-sizexminusy", "-2147483648"},
         "velmora: -sizexminusy -2147483648 leaves no output rows (input height 3; the least is -2)\n"},
        {{"-i", "in.bmp", "-o", "out", "-sizexminus", "16380"},
         "velmora: output width 16385 is above the limit of 16384 (input width 5 plus -sizexminus 16380)\n"},
        {{"-i", "in.bmp", "-o", "out", "-sizexminusy", "2147483647"},
         "velmora: output height 2147483650 is above the limit of 16384 (input height 3 plus -sizexminusy "
         "2147483647)\n"},
        {{"-i", "in.bmp", "-o", "out", "-scale", "3277"},
         "velmora: output width 16385 is above the limit of 16384 (input width 5 times -scale 3277)\n"},
        {{"-i", "in.bmp", "-o", "out", "-size", "x9831"},
         "velmora: output width 16385 is above the limit of 16384 (input width 5 with -size x9831)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        expect_failure(run(c.args), c.err);
    }
}

TEST_F(cli, the_largest_sizes_are_accepted)
{
    // 16384 columns on a one-row strip; the base name uses all 251 characters.
    const std::string base(251, 'b');
    write_file(dir + "/in.bmp", make_bmp(pattern_picture(5, 1)));
    const tool_result result = run({"-i", "in.bmp", "-o", base, "-sizexminus", "16379"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(get_u32(read_file(dir + "/" + base + ".bmp"), 18), 16384u);
}

TEST_F(cli, unsupported_files_are_refused_with_the_file_name_and_reason)
{
    auto with = [](void (*change)(bmp_build&)) {
        bmp_build build;
        build.width = 2;
        build.height = 2;
        build.pixels = bytes(16, 0);
        change(build);
        return build_bmp(build);
    };
    bytes cut = make_bmp(pattern_picture(2, 2));
    cut.resize(50);
    const struct {
        bytes file;
        std::string reason;
    } cases[] = {
        {with([](bmp_build& b) { b.planes = 257; }), "257 colour planes (expected 1)"},
        {with([](bmp_build& b) { b.bits = 280; }),
         "280 bits per pixel is not a BMP depth (expected 1, 2, 4, 8, 16, 24 or 32)"},
        {with([](bmp_build& b) { b.compression = 4; }), "embedded JPEG (compression 4) is not supported"},
        {with([](bmp_build& b) { b.info_size = 64; b.bits = 1; b.compression = 3; }),
         "OS/2 Huffman coding (compression 3) is not supported"},
        {with([](bmp_build& b) { b.bits = 8; }), "colour index 0 is beyond the 0 usable entries of its colour table"},
        {with([](bmp_build& b) { b.bits = 8; b.compression = 1; b.pixels = {3, 0}; b.palette = {{1, 2, 3}}; }),
         "run-length code at byte 58 runs past the end of its row"},
        {cut, "file too short for its headers"},
        // Without "BM" a refusal says what the file is not.
        {bytes(), "not a BMP, PNG, JPEG or TIFF picture"},
        {bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, "not a BMP, PNG, JPEG or TIFF picture"},
    };
    for (const auto& c : cases) {
        write_file(dir + "/in.bmp", c.file);
        expect_failure(run({"-i", "in.bmp", "-o", "out"}), "velmora: in.bmp: " + c.reason + "\n");
    }
}

TEST_F(cli, input_sides_above_the_limit_are_refused_before_any_pixel_is_read)
{
    // Headers only: reading a single pixel would end in a size error instead.
    const struct {
        std::int32_t width, height;
        std::string err;
    } cases[] = {
        {16385, 1, "velmora: input width 16385 is above the limit of 16384\n"},
        {1, 16385, "velmora: input height 16385 is above the limit of 16384\n"},
        {1, -20000, "velmora: input height 20000 is above the limit of 16384\n"},
        {INT32_MAX, INT32_MAX, "velmora: input width 2147483647 is above the limit of 16384\n"},
    };
    for (const auto& c : cases) {
        bmp_build build;
        build.width = c.width;
        build.height = c.height;
        build.stored_size = 0x7FFFFFFF;
        write_file(dir + "/in.bmp", build_bmp(build));
        expect_failure(run({"-i", "in.bmp", "-o", "out"}), c.err);
    }
}

TEST_F(cli, a_folder_given_as_input_says_it_is_a_folder)
{
    std::filesystem::create_directory(dir + "/pictures");
    const tool_result result = run({"-i", "pictures", "-o", "out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "velmora: pictures: is a folder, not a file\n");
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(file_exists(dir + "/out.bmp"));
}

TEST_F(cli, every_variant_gives_the_output_of_its_24_bit_twin)
{
    for (const bmp_variant& variant : bmp_variants()) {
        SCOPED_TRACE(variant.name);
        write_file(dir + "/in.bmp", variant.file);
        write_file(dir + "/twin.bmp", make_bmp(variant.picture));
        const tool_result result = run({"-i", "in.bmp", "-o", "out", "-sizexminus", "2", "-sizexminusy", "1"});
        ASSERT_EQ(result.status, 0) << result.err;
        ASSERT_EQ(run({"-i", "twin.bmp", "-o", "twin_out", "-sizexminus", "2", "-sizexminusy", "1"}).status, 0);
        const bytes out = read_file(dir + "/out.bmp");
        EXPECT_EQ(get_u32(out, 18), variant.picture[0].size() + 2);
        EXPECT_EQ(out, read_file(dir + "/twin_out.bmp"));
    }
}

TEST_F(cli, a_one_row_picture_stored_exactly_to_its_last_pixel_is_read)
{
    // 5 pixels: 15 bytes, no padding after the only row.
    bytes file = make_bmp(pattern_picture(5, 1));
    file.resize(54 + 15);
    put_u32(file, 2, 54 + 15);
    write_file(dir + "/in.bmp", file);
    const tool_result result = run({"-i", "in.bmp", "-o", "out"});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(run_tool_fed({"-i", "/dev/stdin", "-o", "piped"}, dir, file).status, 0);
    EXPECT_EQ(read_file(dir + "/out.bmp"), read_file(dir + "/piped.bmp"));
}

TEST_F(cli, stored_sizes_that_cannot_hold_the_rows_are_size_errors)
{
    const bytes good = make_bmp(pattern_picture(5, 3));
    for (std::int64_t stored : {std::int64_t{20}, std::int64_t{54 + 16 + 16 + 14}, std::int64_t{-5},
                                std::int64_t{static_cast<std::int64_t>(good.size()) + 1}}) {
        bytes file = good;
        put_u32(file, 2, static_cast<std::uint32_t>(stored));
        write_file(dir + "/in.bmp", file);
        const tool_result result = run({"-i", "in.bmp", "-o", "out"});
        EXPECT_EQ(result.status, 1) << stored;
        EXPECT_EQ(result.out, "input file size err!!\n") << stored;
        EXPECT_EQ(result.err, "") << stored;
        EXPECT_TRUE(created().empty());
    }
    // The last row may lack its padding.
    bytes file = good;
    file.resize(file.size() - 1);
    put_u32(file, 2, static_cast<std::uint32_t>(file.size()));
    write_file(dir + "/in.bmp", file);
    EXPECT_EQ(run({"-i", "in.bmp", "-o", "out"}).status, 0);
}

TEST_F(cli, a_file_longer_than_its_stored_size_is_read)
{
    bytes file = make_bmp(pattern_picture(5, 3));
    file.insert(file.end(), 37, 0xCD);
    write_file(dir + "/in.bmp", file);
    EXPECT_EQ(run({"-i", "in.bmp", "-o", "out"}).status, 0);
}

TEST_F(cli, longer_headers_and_top_down_files_are_read)
{
    for (std::uint32_t info : {108u, 124u}) {
        for (bool top_down : {false, true}) {
            bmp_layout layout;
            layout.info_size = info;
            layout.top_down = top_down;
            layout.pixel_offset = 14 + info + 8;  // a gap before the pixels, as some writers leave
            write_file(dir + "/in.bmp", make_bmp(pattern_picture(4, 3), layout));
            const tool_result result = run({"-i", "in.bmp", "-o", "out"});
            EXPECT_EQ(result.status, 0) << info << " " << top_down << result.err;
            EXPECT_EQ(get_u32(read_file(dir + "/out.bmp"), 22), 3u);
        }
    }
}

TEST_F(cli, a_failed_run_leaves_an_existing_output_untouched)
{
    const bytes previous(77, 0x5A);
    write_file(dir + "/out.bmp", previous);
    write_file(dir + "/in.bmp", bytes(10, 0));
    EXPECT_EQ(run({"-i", "in.bmp", "-o", "out"}).status, 1);
    EXPECT_EQ(read_file(dir + "/out.bmp"), previous);
}

// The output is made ready before the first channel: nothing on the
// standard output stream means that no channel was started.
TEST_F(cli, output_failures_are_reported_before_any_channel_and_leave_nothing_behind)
{
    expect_failure(run({"-i", "in.bmp", "-o", "missing/out", "-sizexminus", "100"}),
                   "velmora: cannot write the output file missing/out.bmp: No such file or directory\n");

    std::filesystem::create_directory(dir + "/taken.bmp");
    const tool_result result = run({"-i", "in.bmp", "-o", "taken", "-sizexminus", "100"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "velmora: cannot write the output file taken.bmp: Is a directory\n");
    EXPECT_EQ(created(), std::vector<std::string>{"taken.bmp"});
}

TEST_F(cli, a_full_disk_keeps_the_previous_output)
{
    // The file size limit stands in for a full disk: the 3654-byte output
    // cannot have its space, which is known before any channel is resized.
    write_file(dir + "/in.bmp", make_bmp(pattern_picture(40, 30)));
    const bytes previous(40, 0x11);
    write_file(dir + "/out.bmp", previous);
    tool_limits limits;
    limits.file_size = 2000;
    const tool_result result = run({"-i", "in.bmp", "-o", "out"}, limits);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "velmora: cannot write the output file out.bmp: File too large\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(read_file(dir + "/out.bmp"), previous);
    EXPECT_EQ(created(), std::vector<std::string>{"out.bmp"});
}

TEST_F(cli, a_stored_size_the_file_cannot_back_is_a_size_error_even_under_a_memory_cap)
{
    // 102 bytes that claim 2 GB: the file's real length decides, before
    // anything is allocated.
    bytes file = make_bmp(pattern_picture(5, 3));
    ASSERT_EQ(file.size(), 102u);
    put_u32(file, 2, 0x7FFFFFFF);
    write_file(dir + "/in.bmp", file);
    tool_limits limits;
#ifndef VELMORA_SANITIZED
    limits.address_space = 512L << 20;  // the sanitizers cannot run under a cap
#endif
    const tool_result result = run({"-i", "in.bmp", "-o", "out"}, limits);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "input file size err!!\n");
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(created().empty());
}

#ifndef VELMORA_SANITIZED
TEST_F(cli, exhausted_memory_names_the_buffer)
{
    // A real 4096 x 4096 picture (a sparse file) needs 48 MiB for its pixel
    // data, more than the cap allows.
    bytes head = make_bmp(pattern_picture(1, 1));
    head.resize(54);
    const std::uint32_t size = 54 + 4096 * 4096 * 3;
    put_u32(head, 2, size);
    put_u32(head, 18, 4096);
    put_u32(head, 22, 4096);
    write_file(dir + "/in.bmp", head);
    std::filesystem::resize_file(dir + "/in.bmp", size);
    tool_limits limits;
    limits.address_space = 40L << 20;
    const tool_result result = run({"-i", "in.bmp", "-o", "out"}, limits);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "vin no memory!!\n");
    EXPECT_TRUE(created().empty());
}
#endif

TEST_F(cli, pipes_and_named_pipes_are_read_like_the_file)
{
    const std::vector<bmp_variant> variants = bmp_variants();
    for (const bmp_variant& variant : {variants.front(), variants.back(), bmp_variant{"24 bits", make_bmp(pattern_picture(5, 3)), {}}}) {
        SCOPED_TRACE(variant.name);
        write_file(dir + "/in.bmp", variant.file);
        ASSERT_EQ(run({"-i", "in.bmp", "-o", "from_file", "-sizexminus", "1"}).status, 0);
        const bytes expected = read_file(dir + "/from_file.bmp");
        for (const char* name : {"/dev/stdin", "/dev/fd/0"}) {
            const tool_result result = run_tool_fed({"-i", name, "-o", "from_pipe", "-sizexminus", "1"}, dir, variant.file);
            EXPECT_EQ(result.status, 0) << name << result.out << result.err;
            EXPECT_EQ(read_file(dir + "/from_pipe.bmp"), expected) << name;
        }

        ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
        std::fflush(nullptr);
        const pid_t writer = fork();
        if (writer == 0) {
            write_file(dir + "/fifo", variant.file);
            _exit(0);
        }
        const tool_result result = run({"-i", "fifo", "-o", "from_fifo", "-sizexminus", "1"});
        waitpid(writer, nullptr, 0);
        std::filesystem::remove(dir + "/fifo");
        EXPECT_EQ(result.status, 0) << result.out << result.err;
        EXPECT_EQ(read_file(dir + "/from_fifo.bmp"), expected);
    }
}

TEST_F(cli, streams_are_held_to_their_stored_size)
{
    const bytes good = make_bmp(pattern_picture(5, 3));
    bytes longer = good;
    longer.insert(longer.end(), 100000, 0xCD);  // beyond the pipe's buffer
    bytes cut = good;
    cut.resize(good.size() - 1);
    bytes claims_more = good;
    put_u32(claims_more, 2, static_cast<std::uint32_t>(good.size() + 1));
    bytes claims_2gb = longer;
    put_u32(claims_2gb, 2, 0x7FFFFFFF);
    const struct {
        const char* what;
        bytes input;
        int status;
        std::string out;
    } cases[] = {
        {"exact", good, 0, "RED START\nGREEN START\nBLUE START\n"},
        {"longer than stored", longer, 0, "RED START\nGREEN START\nBLUE START\n"},
        {"shorter than stored", cut, 1, "input file size err!!\n"},
        {"one byte short of its claim", claims_more, 1, "input file size err!!\n"},
        {"claims more than any picture", claims_2gb, 1, "input file size err!!\n"},
    };
    for (const auto& c : cases) {
        const tool_result result = run_tool_fed({"-i", "/dev/stdin", "-o", "out"}, dir, c.input);
        EXPECT_EQ(result.status, c.status) << c.what;
        EXPECT_EQ(result.out, c.out) << c.what;
        if (c.status != 0) {
            EXPECT_EQ(result.err, "") << c.what;
        }
    }
}

TEST_F(cli, a_stream_is_read_no_further_than_the_largest_picture_of_its_depth)
{
    // A 1-bit file takes at most 16384 rows of 2048 bytes after its offset.
    // A stream that claims one byte more is refused even though it carries
    // those bytes; one that claims exactly that much is read.
    bmp_build build;
    build.bits = 1;
    build.width = 3;
    build.height = 2;
    build.palette = {{0, 0, 0}, {255, 255, 255}};
    build.pixels = pack_rows({{0, 1, 0}, {1, 0, 1}}, 1);
    const std::size_t offset = 14 + 40 + 2 * 4;
    const std::size_t largest = offset + 16384 * 2048;
    for (std::size_t stored : {largest, largest + 1}) {
        build.stored_size = static_cast<std::int64_t>(stored);
        bytes file = build_bmp(build);
        file.resize(stored + 1, 0);
        const tool_result result = run_tool_fed({"-i", "/dev/stdin", "-o", "out"}, dir, file);
        EXPECT_EQ(result.status, stored == largest ? 0 : 1) << stored;
        if (stored != largest) {
            EXPECT_EQ(result.out, "input file size err!!\n");
        }
    }
}

TEST_F(cli, a_gap_before_the_pixels_is_passed_over_in_files_and_streams)
{
    // The pixels start well beyond the bytes read with the headers.
    bmp_layout layout;
    layout.pixel_offset = 5000;
    const bytes file = make_bmp(pattern_picture(4, 3), layout);
    write_file(dir + "/in.bmp", file);
    ASSERT_EQ(run({"-i", "in.bmp", "-o", "from_file"}).status, 0);
    ASSERT_EQ(run_tool_fed({"-i", "/dev/stdin", "-o", "from_pipe"}, dir, file).status, 0);
    write_file(dir + "/twin.bmp", make_bmp(pattern_picture(4, 3)));
    ASSERT_EQ(run({"-i", "twin.bmp", "-o", "twin_out"}).status, 0);
    EXPECT_EQ(read_file(dir + "/from_file.bmp"), read_file(dir + "/twin_out.bmp"));
    EXPECT_EQ(read_file(dir + "/from_pipe.bmp"), read_file(dir + "/twin_out.bmp"));
}

TEST_F(cli, ignored_options_change_nothing)
{
    ASSERT_EQ(run({"-i", "in.bmp", "-o", "plain", "-sizexminus", "2"}).status, 0);
    ASSERT_EQ(run({"stray", "-i", "in.bmp", "-o", "extra", "-sizexminus", "2", "-orgx", "100", "-orgy", "50", "-Fsc",
                   "3.5", "-x", "9", "-mado", "1", "-i2", "other.bmp"})
                  .status,
              0);
    EXPECT_EQ(read_file(dir + "/plain.bmp"), read_file(dir + "/extra.bmp"));
}

const char* const channel_progress =
    "horizontal DFT start!!\n"
    "horizontal DFT end\n"
    "vertical DFT start!!\n"
    "vertical DFT end!!\n"
    "high frequency 0 staffing start!!\n"
    "high frequency 0 staffing end!!\n"
    "horizontal IDFT start!!\n"
    "horizontal IDFT end!!\n"
    "vertical IDFT start!!\n"
    "vertical IDFT end!!\n";

// ctime's fixed form, such as "Tue Dec  8 02:35:33 2026".
bool looks_like_ctime(const std::string& text)
{
    if (text.size() != 24)
        return false;
    for (std::size_t at : {3u, 7u, 10u, 19u})
        if (text[at] != ' ')
            return false;
    return text[13] == ':' && text[16] == ':' && std::isdigit(static_cast<unsigned char>(text[23]));
}

// A grey picture: every pixel's blue, green and red equal the red of the
// pattern.
std::vector<std::vector<bgr>> grey_picture(int width, int height)
{
    auto pixels = pattern_picture(width, height);
    for (auto& row : pixels)
        for (bgr& p : row)
            p.b = p.g = p.r;
    return pixels;
}

TEST_F(cli, a_successful_run_reports_times_channels_and_progress)
{
    // Enlarging, shrinking, and a grey picture whose last two channels are
    // copied: the console is the same for all of them.
    write_file(dir + "/grey.bmp", make_bmp(grey_picture(5, 3)));
    const std::vector<std::string> runs[] = {
        {"-i", "in.bmp", "-o", "out", "-sizexminus", "2", "-sizexminusy", "1"},
        {"-i", "in.bmp", "-o", "out", "-sizexminus", "-3", "-sizexminusy", "1"},
        {"-i", "grey.bmp", "-o", "out", "-sizexminus", "2", "-sizexminusy", "-1"},
    };
    for (const auto& args : runs) {
        const tool_result result = run(args);
        ASSERT_EQ(result.status, 0);
        EXPECT_EQ(result.out, "RED START\nGREEN START\nBLUE START\n");
        const std::string& err = result.err;
        const std::string progress = std::string(channel_progress) + channel_progress + channel_progress;
        const std::size_t head = 12 + 24 + 2;  // "Start Time: ", the time, a newline and an empty line
        ASSERT_EQ(err.size(), head + progress.size() + 2 * head) << err;
        const std::string start = err.substr(12, 24);
        EXPECT_TRUE(looks_like_ctime(start)) << start;
        EXPECT_EQ(err.substr(0, head), "Start Time: " + start + "\n\n");
        EXPECT_EQ(err.substr(head, progress.size()), progress);
        const std::string tail = err.substr(head + progress.size());
        EXPECT_EQ(tail.substr(0, head), "Start Time: " + start + "\n\n");
        EXPECT_EQ(tail.substr(head, 12), "End   Time: ");
        EXPECT_TRUE(looks_like_ctime(tail.substr(head + 12, 24))) << tail;
        EXPECT_EQ(tail.substr(head + 36), "\n\n");
    }
}

TEST_F(cli, grey_pictures_get_the_same_result_in_every_channel)
{
    // The red plane of both pictures is the same; the coloured one has other
    // green and blue planes, so its red channel is resized on its own.
    write_file(dir + "/grey.bmp", make_bmp(grey_picture(7, 5)));
    write_file(dir + "/colour.bmp", make_bmp(pattern_picture(7, 5)));
    ASSERT_EQ(run({"-i", "grey.bmp", "-o", "grey_out", "-sizexminus", "6", "-sizexminusy", "-2"}).status, 0);
    ASSERT_EQ(run({"-i", "colour.bmp", "-o", "colour_out", "-sizexminus", "6", "-sizexminusy", "-2"}).status, 0);
    const bytes grey = read_file(dir + "/grey_out.bmp"), colour = read_file(dir + "/colour_out.bmp");
    ASSERT_EQ(grey.size(), colour.size());
    const int width = 13, height = 3, stride = 40;
    ASSERT_EQ(grey.size(), 54u + height * stride);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t at = 54 + y * stride + 3 * x;
            EXPECT_EQ(grey[at + 2], colour[at + 2]) << x << " " << y;
            EXPECT_EQ(grey[at], grey[at + 2]) << x << " " << y;
            EXPECT_EQ(grey[at + 1], grey[at + 2]) << x << " " << y;
        }
}

TEST_F(cli, a_single_pixel_output_holds_each_channels_mean)
{
    ASSERT_EQ(run({"-i", "in.bmp", "-o", "dot", "-sizexminus", "-4", "-sizexminusy", "-2"}).status, 0);
    const bytes out = read_file(dir + "/dot.bmp");
    ASSERT_EQ(out.size(), 54u + 4);
    EXPECT_EQ(get_u32(out, 18), 1u);
    EXPECT_EQ(get_u32(out, 22), 1u);
    long sums[3] = {0, 0, 0};
    for (const auto& row : pattern_picture(5, 3))
        for (const bgr& p : row) {
            sums[0] += p.b;
            sums[1] += p.g;
            sums[2] += p.r;
        }
    for (int c = 0; c < 3; ++c) {
        // A mean that is an integer may come out one lower.
        const long mean = sums[c] / 15;
        EXPECT_TRUE(out[54 + c] == mean || (sums[c] % 15 == 0 && out[54 + c] == mean - 1))
            << "channel " << c << " got " << int(out[54 + c]) << " sum " << sums[c];
    }
}

TEST_F(cli, the_sample_picture_is_enlarged)
{
    const tool_result result = run({"-i", VELMORA_SAMPLE, "-o", "big", "-sizexminus", "60", "-sizexminusy", "40"});
    ASSERT_EQ(result.status, 0) << result.err;
    const bytes in = read_file(VELMORA_SAMPLE);
    const bytes out = read_file(dir + "/big.bmp");
    ASSERT_GE(out.size(), 54u);
    EXPECT_EQ(get_u32(out, 18), get_u32(in, 18) + 60);
    EXPECT_EQ(get_u32(out, 22), get_u32(in, 22) + 40);
    EXPECT_EQ(out.size(), 54 + (get_u32(in, 22) + 40) * ((3 * (get_u32(in, 18) + 60) + 3) / 4 * 4));
}

TEST_F(cli, without_enlargement_the_sample_comes_back_within_one_level)
{
    ASSERT_EQ(run({"-i", VELMORA_SAMPLE, "-o", "same"}).status, 0);
    const bytes in = read_file(VELMORA_SAMPLE);
    const bytes out = read_file(dir + "/same.bmp");
    ASSERT_EQ(in.size(), out.size());
    for (std::size_t i = 54; i < in.size(); ++i)
        ASSERT_TRUE(out[i] == in[i] || out[i] + 1 == in[i]) << "byte " << i;
}

// Doubling puts output sample (2x, 2y) on input sample (x, y), so every input
// sample of both shipped pictures reappears there, equal or one level lower.
TEST_F(cli, doubling_a_sample_keeps_every_input_sample_at_the_even_positions)
{
    for (const char* sample : {VELMORA_SAMPLE, VELMORA_PHOTO}) {
        const bytes in = read_file(sample);
        ASSERT_GE(in.size(), 54u) << sample;
        const std::uint32_t width = get_u32(in, 18), height = get_u32(in, 22), offset = get_u32(in, 10);
        const tool_result result = run({"-i", sample, "-o", "double", "-sizexminus", std::to_string(width),
                                        "-sizexminusy", std::to_string(height)});
        ASSERT_EQ(result.status, 0) << sample << ": " << result.err;
        const bytes out = read_file(dir + "/double.bmp");
        const std::size_t in_stride = (3 * width + 3) / 4 * 4, out_stride = (6 * width + 3) / 4 * 4;
        ASSERT_EQ(out.size(), 54 + 2 * height * out_stride) << sample;
        ASSERT_GE(in.size(), offset + height * in_stride) << sample;
        // Rows are stored bottom up: top row 2y of the output is stored row
        // 2r + 1 when input top row y is stored row r.
        for (std::size_t r = 0; r < height; ++r)
            for (std::size_t i = 0; i < 3 * width; ++i) {
                const int before = in[offset + r * in_stride + i];
                const int after = out[54 + (2 * r + 1) * out_stride + 2 * (i / 3) * 3 + i % 3];
                ASSERT_TRUE(after == before || after + 1 == before)
                    << sample << ": stored row " << r << ", byte " << i << ": " << before << " became " << after;
            }
    }
}

#ifndef VELMORA_SANITIZED
TEST_F(cli, a_thread_that_cannot_start_ends_the_run)
{
    // New threads take the stack limit as their stack size: 3 GiB of stack
    // in 1 GiB of address space cannot be had.
    tool_limits limits;
    limits.address_space = 1L << 30;
    limits.stack = 3L << 30;
    const tool_result result = run({"-i", "in.bmp", "-o", "out", "-threads", "3", "-sizexminus", "4"}, limits);
    EXPECT_EQ(result.status, 1);
    // The run's team is started right after the options, before any work.
    EXPECT_EQ(result.out, "");
    const std::string message = "velmora: cannot start thread 2 of 3: Resource temporarily unavailable\n";
    ASSERT_GE(result.err.size(), message.size()) << result.err;
    EXPECT_EQ(result.err.substr(result.err.size() - message.size()), message) << result.err;
    EXPECT_TRUE(created().empty());
}

TEST_F(cli, exhausted_memory_in_a_channel_names_the_array)
{
    // 1 x 2048 to 16384 x 4096: the output picture takes 192 MiB, the row
    // array, which holds the rows widened to 16384 samples, another 256 MiB,
    // beyond the cap.
    write_file(dir + "/in.bmp", make_bmp(pattern_picture(1, 2048)));
    const tool_result result = run({"-i", "in.bmp", "-o", "out", "-sizexminus", "16383", "-sizexminusy", "2048"},
                                   tool_limits{400L << 20, 0});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "RED START\nrows no memory!!\n");
    EXPECT_TRUE(created().empty());
}
#endif

}  // namespace
