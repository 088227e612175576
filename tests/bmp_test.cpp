#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "bmp/bmp_bitfields.h"
#include "bmp/bmp_decode.h"
#include "bmp/bmp_header.h"
#include "bmp/bmp_reader.h"
#include "bmp/bmp_writer.h"
#include "test_support.h"

namespace {

using pixels = std::vector<std::vector<bgr>>;

bmp_status parse(const bytes& file, bmp_header* header)
{
    return bmp_parse_header(file.data(), file.size(), header);
}

// A file built in the test, read as the tool reads it, from memory: the
// header checks, then the decoder of its coding, in bands on the runner.
struct decoded {
    codec_message message;
    picture image;
};

decoded read_bmp(const bytes& file, const band_runner& runner = {})
{
    const codec_source source = memory_source(file.data(), file.size());
    picture_read_options options;
    options.runner = runner;
    std::unique_ptr<format_reader> reader;
    picture_info info;
    decoded out;
    out.message = bmp_open(source, options, &reader, &info);
    if (!out.message.failed())
        out.message = reader->decode(&out.image);
    return out;
}

picture decode(const bytes& file)
{
    decoded out = read_bmp(file);
    EXPECT_FALSE(out.message.failed()) << out.message.text;
    return std::move(out.image);
}

void expect_picture_holds(const picture& image, const pixels& expected)
{
    const int height = static_cast<int>(expected.size());
    const int width = static_cast<int>(expected[0].size());
    ASSERT_EQ(image.info.width, width);
    ASSERT_EQ(image.info.height, height);
    ASSERT_EQ(image.info.channels, 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* at = image.samples.get() + (static_cast<std::size_t>(y) * width + x) * 3;
            const bgr p = expected[y][x];
            ASSERT_EQ(bytes(at, at + 3), (bytes{p.r, p.g, p.b})) << "x " << x << " y " << y;
        }
}

// Entries enough for any index of a test picture at bits <= 8, none above.
std::vector<bgr> test_support_palette(int bits)
{
    std::vector<bgr> table;
    for (int i = 0; bits <= 8 && i < (1 << bits); ++i)
        table.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(2 * i), 7});
    return table;
}

bytes written(const picture& image)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    EXPECT_FALSE(bmp_write(out, image).failed());
    std::fclose(out);
    bytes result(buffer, buffer + size);
    std::free(buffer);
    return result;
}

TEST(bmp, every_variant_decodes_like_its_24_bit_twin)
{
    for (const bmp_variant& variant : bmp_variants()) {
        SCOPED_TRACE(variant.name);
        const picture got = decode(variant.file);
        const picture twin = decode(make_bmp(variant.picture));
        ASSERT_EQ(picture_bytes(got.info), picture_bytes(twin.info));
        EXPECT_EQ(std::memcmp(got.samples.get(), twin.samples.get(), picture_bytes(got.info)), 0);
        expect_picture_holds(got, variant.picture);
    }
}

// Every band on a thread of its own, started last band first.
band_runner reversed_threads()
{
    band_runner runner;
    runner.threads = 2;
    runner.run = [](void*, std::int64_t units, band_body body, void* context) {
        std::vector<std::thread> threads;
        for (std::int64_t unit = units; unit-- > 0;)
            threads.emplace_back([=] { body(context, 0, unit); });
        for (std::thread& t : threads)
            t.join();
    };
    return runner;
}

// Bands decoded at once, the last first, give the picture of one pass, and
// of two bad indices in different bands the one first in the file, though
// the later band may finish first.
TEST(bmp, bands_decoded_at_once_in_any_order_match_one_pass)
{
    const pixels picture_pixels = pattern_picture(20, 150);
    for (bool top_down : {false, true}) {
        bmp_layout layout;
        layout.top_down = top_down;
        bmp_header header;
        ASSERT_EQ(parse(make_bmp(picture_pixels, layout), &header), bmp_status::ok);
        EXPECT_EQ(bmp_band_count(header), 3) << "two bands of 64 rows and one of 22";
        const decoded at_once = read_bmp(make_bmp(picture_pixels, layout), reversed_threads());
        ASSERT_FALSE(at_once.message.failed()) << at_once.message.text;
        expect_picture_holds(at_once.image, picture_pixels);
    }
    std::vector<std::vector<std::uint32_t>> indices(150, std::vector<std::uint32_t>(20));
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 20; ++x)
            indices[y][x] = static_cast<std::uint32_t>(x + y) % 10;
    indices[149 - 10][5] = 202;   // stored row 10, band 0
    indices[149 - 100][15] = 201;  // stored row 100, band 1
    bmp_build build;
    build.width = 20;
    build.height = 150;
    build.bits = 8;
    build.palette = test_support_palette(8);
    build.palette.resize(10);
    build.pixels = pack_rows(indices, 8);
    const char* reason = "colour index 202 is beyond the 10 usable entries of its colour table";
    EXPECT_STREQ(read_bmp(build_bmp(build), reversed_threads()).message.text, reason);
    EXPECT_STREQ(read_bmp(build_bmp(build)).message.text, reason);
}

// A 2 x 2 picture at 24 bits with a 40-byte header, changed by each case.
bmp_build plain_build()
{
    bmp_build build;
    build.width = 2;
    build.height = 2;
    build.pixels = bytes(16, 0);
    return build;
}

TEST(bmp, refuses_each_unsupported_header_with_its_reason)
{
    struct refusal {
        void (*change)(bmp_build&);
        bmp_status status;
        const char* reason;
    };
    const refusal cases[] = {
        {[](bmp_build& b) { b.info_size = 20; }, bmp_status::bad_info_size,
         "unsupported info header size 20 (expected 12, 16, 40, 52, 56, 64, 108 or 124)"},
        {[](bmp_build& b) { b.info_size = 0; }, bmp_status::bad_info_size,
         "unsupported info header size 0 (expected 12, 16, 40, 52, 56, 64, 108 or 124)"},
        {[](bmp_build& b) { b.planes = 2; }, bmp_status::bad_planes, "2 colour planes (expected 1)"},
        {[](bmp_build& b) { b.planes = 257; }, bmp_status::bad_planes, "257 colour planes (expected 1)"},
        {[](bmp_build& b) { b.planes = 0; }, bmp_status::bad_planes, "0 colour planes (expected 1)"},
        {[](bmp_build& b) { b.info_size = 12; b.planes = 257; }, bmp_status::bad_planes,
         "257 colour planes (expected 1)"},
        {[](bmp_build& b) { b.bits = 280; }, bmp_status::bad_depth,
         "280 bits per pixel is not a BMP depth (expected 1, 2, 4, 8, 16, 24 or 32)"},
        {[](bmp_build& b) { b.bits = 0; }, bmp_status::bad_depth,
         "0 bits per pixel is not a BMP depth (expected 1, 2, 4, 8, 16, 24 or 32)"},
        {[](bmp_build& b) { b.info_size = 12; b.bits = 280; }, bmp_status::bad_depth,
         "280 bits per pixel is not a BMP depth (expected 1, 2, 4, 8, 16, 24 or 32)"},
        {[](bmp_build& b) { b.bits = 64; }, bmp_status::depth_64, "64-bit pixels are not supported"},
        {[](bmp_build& b) { b.compression = 4; }, bmp_status::embedded_jpeg,
         "embedded JPEG (compression 4) is not supported"},
        {[](bmp_build& b) { b.info_size = 124; b.compression = 5; }, bmp_status::embedded_png,
         "embedded PNG (compression 5) is not supported"},
        // Embedded JPEG and PNG store depth 0; an OS/2 header's compression 4 is not JPEG.
        {[](bmp_build& b) { b.bits = 0; b.compression = 4; }, bmp_status::embedded_jpeg,
         "embedded JPEG (compression 4) is not supported"},
        {[](bmp_build& b) { b.info_size = 108; b.bits = 0; b.compression = 5; }, bmp_status::embedded_png,
         "embedded PNG (compression 5) is not supported"},
        {[](bmp_build& b) { b.info_size = 64; b.bits = 0; b.compression = 4; }, bmp_status::bad_depth,
         "0 bits per pixel is not a BMP depth (expected 1, 2, 4, 8, 16, 24 or 32)"},
        {[](bmp_build& b) { b.info_size = 64; b.bits = 1; b.compression = 3; }, bmp_status::os2_huffman,
         "OS/2 Huffman coding (compression 3) is not supported"},
        {[](bmp_build& b) { b.info_size = 64; b.compression = 4; }, bmp_status::os2_rle24,
         "OS/2 24-bit run-length coding (compression 4) is not supported"},
        {[](bmp_build& b) { b.info_size = 64; b.compression = 5; }, bmp_status::bad_compression,
         "compression method 5 is not supported with a 64-byte info header"},
        {[](bmp_build& b) { b.info_size = 52; b.bits = 32; b.compression = 6; }, bmp_status::bad_compression,
         "compression method 6 is not supported with a 52-byte info header"},
        {[](bmp_build& b) { b.compression = 11; }, bmp_status::bad_compression,
         "compression method 11 is not supported with a 40-byte info header"},
        {[](bmp_build& b) { b.bits = 4; b.compression = 1; }, bmp_status::compression_depth,
         "compression method 1 does not code 4 bits per pixel"},
        {[](bmp_build& b) { b.bits = 8; b.compression = 2; }, bmp_status::compression_depth,
         "compression method 2 does not code 8 bits per pixel"},
        {[](bmp_build& b) { b.compression = 3; }, bmp_status::compression_depth,
         "compression method 3 does not code 24 bits per pixel"},
        {[](bmp_build& b) { b.bits = 8; b.compression = 3; }, bmp_status::compression_depth,
         "compression method 3 does not code 8 bits per pixel"},
        {[](bmp_build& b) { b.width = 0; }, bmp_status::bad_width, "width 0 (must be at least 1)"},
        {[](bmp_build& b) { b.width = -4; }, bmp_status::bad_width, "width -4 (must be at least 1)"},
        {[](bmp_build& b) { b.width = INT32_MIN; }, bmp_status::bad_width, "width -2147483648 (must be at least 1)"},
        {[](bmp_build& b) { b.info_size = 12; b.width = 0; }, bmp_status::bad_width, "width 0 (must be at least 1)"},
        {[](bmp_build& b) { b.height = 0; }, bmp_status::zero_height, "height 0 (must not be 0)"},
        {[](bmp_build& b) { b.width = 16385; }, bmp_status::width_above_limit,
         "input width 16385 is above the limit of 16384"},
        {[](bmp_build& b) { b.info_size = 12; b.width = 65535; }, bmp_status::width_above_limit,
         "input width 65535 is above the limit of 16384"},
        {[](bmp_build& b) { b.height = 16385; }, bmp_status::height_above_limit,
         "input height 16385 is above the limit of 16384"},
        {[](bmp_build& b) { b.height = -16385; }, bmp_status::height_above_limit,
         "input height 16385 is above the limit of 16384"},
        {[](bmp_build& b) { b.height = INT32_MIN; }, bmp_status::height_above_limit,
         "input height 2147483648 is above the limit of 16384"},
        {[](bmp_build& b) { b.bits = 8; b.compression = 1; b.height = -2; }, bmp_status::rle_top_down,
         "run-length coded rows stored top down are not supported"},
        {[](bmp_build& b) { b.pixel_offset = 53; }, bmp_status::offset_inside_headers,
         "pixel array offset 53 lies inside the headers (at least 54 expected)"},
        {[](bmp_build& b) { b.pixel_offset = 0; }, bmp_status::offset_inside_headers,
         "pixel array offset 0 lies inside the headers (at least 54 expected)"},
        {[](bmp_build& b) { b.info_size = 124; b.pixel_offset = 54; }, bmp_status::offset_inside_headers,
         "pixel array offset 54 lies inside the headers (at least 138 expected)"},
        {[](bmp_build& b) { b.bits = 16; b.compression = 3; b.pixel_offset = 62; }, bmp_status::offset_inside_headers,
         "pixel array offset 62 lies inside the headers (at least 66 expected)"},
        {[](bmp_build& b) { b.bits = 32; b.compression = 6; b.masks = {1, 2, 4, 8}; b.pixel_offset = 66; },
         bmp_status::offset_inside_headers, "pixel array offset 66 lies inside the headers (at least 70 expected)"},
        {[](bmp_build& b) { b.bits = 16; b.compression = 3; b.masks = {0xF800, 0x0F0F, 0x001F}; },
         bmp_status::bad_mask, "bit-field mask 0x00000F0F is not one run of bits"},
        {[](bmp_build& b) { b.info_size = 108; b.bits = 32; b.compression = 3; b.masks = {0x80000001, 0, 0}; },
         bmp_status::bad_mask, "bit-field mask 0x80000001 is not one run of bits"},
    };
    for (const refusal& c : cases) {
        bmp_build build = plain_build();
        c.change(build);
        bmp_header header;
        const bmp_status status = parse(build_bmp(build), &header);
        char reason[160];
        bmp_status_reason(status, header, 0, reason, sizeof reason);
        EXPECT_EQ(status, c.status) << c.reason;
        EXPECT_STREQ(reason, c.reason);
    }
}

TEST(bmp, rejects_files_too_short_for_their_headers)
{
    bmp_layout v5;
    v5.info_size = 124;
    const bytes plain = make_bmp(pattern_picture(1, 1));
    const bytes longer = make_bmp(pattern_picture(1, 1), v5);
    bmp_build core = plain_build();
    core.info_size = 12;
    bmp_build fields = plain_build();
    fields.bits = 16;
    fields.compression = 3;
    fields.masks = {0xF800, 0x07E0, 0x001F};
    const struct {
        bytes file;
        std::size_t length;
        bmp_status status;
    } cases[] = {
        {plain, 0, bmp_status::too_short},   {plain, 17, bmp_status::too_short},
        {plain, 53, bmp_status::too_short},  {plain, 54, bmp_status::ok},
        {longer, 137, bmp_status::too_short}, {longer, 138, bmp_status::ok},
        {build_bmp(core), 25, bmp_status::too_short}, {build_bmp(core), 26, bmp_status::ok},
        // The masks after a 40-byte header are part of the headers.
        {build_bmp(fields), 65, bmp_status::too_short}, {build_bmp(fields), 66, bmp_status::ok},
    };
    for (const auto& c : cases) {
        bmp_header header;
        EXPECT_EQ(bmp_parse_header(c.file.data(), c.length, &header), c.status) << c.length;
    }
}

TEST(bmp, negative_height_means_top_down_rows)
{
    bmp_layout layout;
    layout.top_down = true;
    const pixels shown = pattern_picture(5, 3);
    bytes file = make_bmp(shown, layout);
    bmp_header header;
    ASSERT_EQ(parse(file, &header), bmp_status::ok);
    EXPECT_TRUE(header.top_down);
    EXPECT_EQ(header.height, 3);
    expect_picture_holds(decode(file), shown);
}

TEST(bmp, the_signature_is_not_checked)
{
    bmp_layout layout;
    layout.signature = false;
    const pixels shown = pattern_picture(2, 3);
    expect_picture_holds(decode(make_bmp(shown, layout)), shown);
}

// Codes of a run-length file 4 pixels wide and 2 high with a 2-entry table.
bytes rle_file(int bits, const bytes& codes)
{
    bmp_build build;
    build.width = 4;
    build.height = 2;
    build.bits = static_cast<std::uint16_t>(bits);
    build.compression = bits == 8 ? 1 : 2;
    build.palette = {{1, 2, 3}, {4, 5, 6}};
    build.colours_used = 2;
    build.pixels = codes;
    return build_bmp(build);
}

TEST(bmp, refuses_pixel_data_faults_with_their_reason)
{
    // Pixel data of the run-length files starts at 14 + 40 + 2 * 4 = 62.
    bmp_build one_entry;
    one_entry.bits = 1;
    one_entry.width = 3;
    one_entry.colours_used = 1;
    one_entry.palette = {{9, 9, 9}};
    one_entry.pixels = pack_rows({{0, 1, 0}}, 1);
    bmp_build cut_table;
    cut_table.bits = 8;
    cut_table.width = 2;
    cut_table.palette = {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}, {5, 5, 5}, {6, 6, 6}};
    cut_table.pixels = pack_rows({{5, 6}}, 8);
    bmp_build no_table = cut_table;
    no_table.palette.clear();
    const struct {
        const char* what;
        bytes file;
        const char* reason;
    } cases[] = {
        {"index beyond a one-entry table", build_bmp(one_entry),
         "colour index 1 is beyond the 1 usable entries of its colour table"},
        {"index beyond a table cut by the offset", build_bmp(cut_table),
         "colour index 6 is beyond the 6 usable entries of its colour table"},
        {"no table at all", build_bmp(no_table),
         "colour index 5 is beyond the 0 usable entries of its colour table"},
        {"run-length index beyond the table", rle_file(8, {2, 0, 1, 5}),
         "colour index 5 is beyond the 2 usable entries of its colour table"},
        {"4-bit run-length index beyond the table", rle_file(4, {2, 0x01, 2, 0x12}),
         "colour index 2 is beyond the 2 usable entries of its colour table"},
        {"run past the row", rle_file(8, {5, 1}),
         "run-length code at byte 62 runs past the end of its row"},
        {"4-bit run past the row", rle_file(4, {3, 0x01, 2, 0x10}),
         "run-length code at byte 64 runs past the end of its row"},
        {"absolute run past the row", rle_file(8, {2, 1, 0, 3, 1, 1, 1, 0}),
         "run-length code at byte 64 runs past the end of its row"},
        {"run past the picture", rle_file(8, {0, 0, 0, 0, 1, 1}),
         "run-length code at byte 66 runs past the end of the picture"},
        {"move past the row", rle_file(8, {1, 1, 0, 2, 4, 0}),
         "run-length code at byte 64 runs past the end of its row"},
        {"move past the picture", rle_file(8, {0, 2, 0, 3}),
         "run-length code at byte 62 runs past the end of the picture"},
        {"cut absolute run", rle_file(8, {0, 5, 1, 1, 1}),
         "run-length data ends inside the code at byte 62"},
        {"cut 4-bit absolute run", rle_file(4, {0, 5, 0x11}),
         "run-length data ends inside the code at byte 62"},
        {"cut move", rle_file(8, {1, 1, 0, 2, 1}),
         "run-length data ends inside the code at byte 64"},
        {"one byte left over", rle_file(8, {1, 1, 7}),
         "run-length data ends inside the code at byte 64"},
    };
    for (const auto& c : cases) {
        const decoded got = read_bmp(c.file);
        EXPECT_EQ(got.message.fault, codec_fault::file) << c.what;
        EXPECT_STREQ(got.message.text, c.reason) << c.what;
    }
}

TEST(bmp, run_length_moves_may_end_on_the_row_end_and_above_the_last_row)
{
    // Move to the end of row 0, then to the row above the picture, then end.
    const picture image = decode(rle_file(8, {0, 2, 4, 0, 0, 2, 0, 2, 0, 1}));
    EXPECT_EQ(bytes(image.samples.get(), image.samples.get() + 24), bytes(24, 0));
}

TEST(bmp, uncompressed_decoders_refuse_data_short_of_the_last_row)
{
    // 5 x 2 pictures: the last row needs only its pixels, not its padding.
    for (int bits : {1, 2, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        bmp_build build;
        build.width = 5;
        build.height = 2;
        build.bits = static_cast<std::uint16_t>(bits);
        build.palette = test_support_palette(bits);
        build.pixels = pack_rows({{0, 1, 0, 1, 1}, {1, 0, 0, 1, 0}}, bits);
        const bytes file = build_bmp(build);
        bmp_header header;
        ASSERT_EQ(parse(file, &header), bmp_status::ok);
        const std::size_t stride = (5 * bits + 31) / 32 * 4;
        const std::size_t needed = stride + (5 * bits + 7) / 8;
        bytes rgb(30);
        const std::uint8_t* data = file.data() + header.pixel_offset;
        EXPECT_EQ(bmp_decode_band(header, data, needed - 1, rgb.data(), 0).status, bmp_status::short_pixel_data);
        EXPECT_EQ(bmp_decode_band(header, data, needed, rgb.data(), 0).status, bmp_status::ok);
    }
}

TEST(bmp, field_levels_round_to_nearest_for_every_field_width)
{
    for (int width = 1; width <= 32; ++width) {
        const long double top = std::ldexp(1.0L, width) - 1;
        for (int shift : {0, 32 - width}) {
            const std::uint32_t ones = width == 32 ? 0xFFFFFFFFu : (1u << width) - 1;
            const std::uint32_t mask = ones << shift;
            std::uint32_t state = 12345;
            for (int i = 0; i < 300; ++i) {
                state = state * 1664525u + 1013904223u;
                std::uint64_t field = i < 4 ? std::uint64_t{ones} * i / 3 : state & ones;
                const auto value = static_cast<std::uint32_t>(field << shift);
                const long expected = std::lround(static_cast<long double>(field) * 255 / top);
                ASSERT_EQ(bmp_field_level(value | ~mask, mask), expected) << width << " " << field;
            }
        }
    }
    EXPECT_EQ(bmp_field_level(0xFFFFFFFF, 0), 0);
}

TEST(bmp, stored_size_must_hold_every_pixel_row)
{
    // 3 x 2 pixels: rows of 9 bytes padded to 12; the last row may lack its padding.
    bmp_header header;
    const bytes file = make_bmp(pattern_picture(3, 2));
    ASSERT_EQ(parse(file, &header), bmp_status::ok);
    const struct {
        std::int32_t stored;
        bool holds;
    } cases[] = {{54 + 24, true}, {54 + 21, true}, {54 + 20, false}, {54, false}, {53, false}, {0, false},
                 {-1, false}, {INT32_MIN, false}, {INT32_MAX, true}};
    for (const auto& c : cases) {
        header.file_size = c.stored;
        EXPECT_EQ(bmp_stored_size_holds_rows(header), c.holds) << c.stored;
    }
    header.file_size = INT32_MAX;
    header.width = INT32_MAX;
    header.height = INT32_MAX;
    EXPECT_FALSE(bmp_stored_size_holds_rows(header));
    header.width = 1;
    EXPECT_FALSE(bmp_stored_size_holds_rows(header));
}

TEST(bmp, stored_size_of_other_depths_holds_their_rows)
{
    // 5 x 3 pictures; the last row without its padding is enough.
    for (int bits : {1, 4, 8, 16, 32}) {
        bmp_build build;
        build.width = 5;
        build.height = 3;
        build.bits = static_cast<std::uint16_t>(bits);
        build.pixels = bytes(3 * ((5 * bits + 31) / 32 * 4), 0);
        bmp_header header;
        ASSERT_EQ(parse(build_bmp(build), &header), bmp_status::ok);
        const std::int32_t least = static_cast<std::int32_t>(header.pixel_offset) +
                                   2 * ((5 * bits + 31) / 32 * 4) + (5 * bits + 7) / 8;
        header.file_size = least;
        EXPECT_TRUE(bmp_stored_size_holds_rows(header)) << bits;
        header.file_size = least - 1;
        EXPECT_FALSE(bmp_stored_size_holds_rows(header)) << bits;
    }
    // Run-length data only has to start within the stored size.
    bmp_header header;
    ASSERT_EQ(parse(rle_file(8, {0, 1}), &header), bmp_status::ok);
    header.file_size = static_cast<std::int32_t>(header.pixel_offset);
    EXPECT_TRUE(bmp_stored_size_holds_rows(header));
    header.file_size -= 1;
    EXPECT_FALSE(bmp_stored_size_holds_rows(header));
}

TEST(bmp, writes_the_54_header_bytes)
{
    const bytes out = written(decode(make_bmp(pattern_picture(5, 3))));
    const bytes expected = {
        'B', 'M', 102, 0, 0, 0,  // 3 rows of 16 bytes + 54
        0, 0, 0, 0,              // reserved
        54, 0, 0, 0, 40, 0, 0, 0,
        5, 0, 0, 0, 3, 0, 0, 0,  // width, height
        1, 0, 24, 0,             // planes, bits per pixel
        0, 0, 0, 0, 0, 0, 0, 0,  // compression, image size
        0xC4, 0x0E, 0, 0, 0xC4, 0x0E, 0, 0,  // 3780 per metre
        0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(out.size(), 102u);
    EXPECT_EQ(bytes(out.begin(), out.begin() + 54), expected);
}

TEST(bmp, rows_are_padded_with_zeros_for_widths_1_to_5_written_or_made_in_place)
{
    const int strides[] = {4, 8, 12, 12, 16};
    for (int width = 1; width <= 5; ++width) {
        const pixels shown = pattern_picture(width, 3);
        // Garbage in the input's padding must not reach the picture or the output.
        bytes file = make_bmp(shown);
        for (int row = 0; row < 3; ++row)
            for (int pad = 3 * width; pad < strides[width - 1]; ++pad)
                file[54 + row * strides[width - 1] + pad] = 0xEE;
        const picture image = decode(file);
        expect_picture_holds(image, shown);
        const bytes out = written(image);
        ASSERT_EQ(out.size(), 54u + 3 * strides[width - 1]) << width;
        EXPECT_EQ(get_u32(out, 2), out.size());
        // The written rows, zero padding included, are those of a freshly
        // built file, byte for byte.
        const bytes reference = make_bmp(shown);
        EXPECT_EQ(bytes(out.begin() + 54, out.end()), bytes(reference.begin() + 54, reference.end()));
        // Made in place, over garbage, through the file's view: the same file.
        bytes in_place(bmp_file_size(image.info), 0xEE);
        const picture_view view = bmp_file_view(image.info, in_place.data());
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c)
                    view.first[y * view.row_step + x * view.pixel_step + c * view.channel_step] =
                        image.samples[(static_cast<std::size_t>(y) * width + x) * 3 + c];
        bmp_file_finish(image.info, in_place.data());
        EXPECT_EQ(in_place, out) << width;
    }
}

TEST(bmp, reads_only_the_stored_size_of_a_longer_file)
{
    const pixels shown = pattern_picture(3, 4);
    bytes file = make_bmp(shown);
    file.insert(file.end(), 100, 0xAB);
    expect_picture_holds(decode(file), shown);
}

}  // namespace
