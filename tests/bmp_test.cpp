#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "bmp/bmp_header.h"
#include "bmp/bmp_pixels.h"
#include "bmp/bmp_writer.h"
#include "test_support.h"

namespace {

using picture = std::vector<std::vector<bgr>>;

bmp_status parse(const bytes& file, bmp_header* header)
{
    return bmp_parse_header(file.data(), file.size(), header);
}

// Reads a file built in the test the way the driver does: header, split, flip.
struct planes {
    std::vector<std::uint8_t> B, G, R;
};

planes decode(const bytes& file)
{
    bmp_header header;
    EXPECT_EQ(parse(file, &header), bmp_status::ok);
    EXPECT_TRUE(bmp_stored_size_holds_rows(header));
    const std::size_t size = static_cast<std::size_t>(header.width * header.height);
    std::vector<std::uint8_t> b(size), g(size), r(size);
    const std::size_t offset = header.pixel_offset;
    EXPECT_TRUE(bmp_split_pixels(file.data() + offset, file.size() - offset, header.width,
                                 static_cast<std::int32_t>(header.height), b.data(), g.data(), r.data()));
    planes out{std::vector<std::uint8_t>(size), std::vector<std::uint8_t>(size), std::vector<std::uint8_t>(size)};
    const auto h = static_cast<std::int32_t>(header.height);
    bmp_flip_rows(b.data(), out.B.data(), header.width, h, header.top_down);
    bmp_flip_rows(g.data(), out.G.data(), header.width, h, header.top_down);
    bmp_flip_rows(r.data(), out.R.data(), header.width, h, header.top_down);
    return out;
}

void expect_planes_hold(const planes& p, const picture& pixels)
{
    const int height = static_cast<int>(pixels.size());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < static_cast<int>(pixels[y].size()); ++x) {
            const std::size_t at = static_cast<std::size_t>(x) * height + y;
            ASSERT_EQ(p.B[at], pixels[y][x].b) << "x " << x << " y " << y;
            ASSERT_EQ(p.G[at], pixels[y][x].g) << "x " << x << " y " << y;
            ASSERT_EQ(p.R[at], pixels[y][x].r) << "x " << x << " y " << y;
        }
    }
}

bytes written(const planes& p, int width, int height)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    EXPECT_TRUE(bmp_write(out, p.R.data(), p.G.data(), p.B.data(), width, height));
    std::fclose(out);
    bytes result(buffer, buffer + size);
    std::free(buffer);
    return result;
}

TEST(bmp, accepts_the_three_info_header_sizes)
{
    for (std::uint32_t info : {40u, 108u, 124u}) {
        bmp_layout layout;
        layout.info_size = info;
        const bytes file = make_bmp(pattern_picture(3, 2), layout);
        bmp_header header;
        ASSERT_EQ(parse(file, &header), bmp_status::ok) << info;
        EXPECT_EQ(header.width, 3);
        EXPECT_EQ(header.height, 2);
        EXPECT_EQ(header.pixel_offset, 14 + info);
        EXPECT_EQ(header.file_size, static_cast<std::int32_t>(file.size()));
        EXPECT_FALSE(header.top_down);
    }
}

TEST(bmp, rejects_unsupported_headers)
{
    struct reject_case {
        const char* what;
        bmp_layout layout;
        bmp_status expected;
    };
    auto with = [](auto change) {
        bmp_layout layout;
        change(layout);
        return layout;
    };
    const reject_case cases[] = {
        {"core header", with([](bmp_layout& l) { l.info_size = 12; }), bmp_status::bad_info_size},
        {"64-byte header", with([](bmp_layout& l) { l.info_size = 64; }), bmp_status::bad_info_size},
        {"two planes", with([](bmp_layout& l) { l.planes = 2; }), bmp_status::bad_planes},
        {"zero planes", with([](bmp_layout& l) { l.planes = 0; }), bmp_status::bad_planes},
        {"8 bits", with([](bmp_layout& l) { l.bits = 8; }), bmp_status::bad_depth},
        {"32 bits", with([](bmp_layout& l) { l.bits = 32; }), bmp_status::bad_depth},
        {"run-length", with([](bmp_layout& l) { l.compression = 1; }), bmp_status::compressed},
        {"bit fields", with([](bmp_layout& l) { l.compression = 3; }), bmp_status::compressed},
        {"negative width", with([](bmp_layout& l) { l.width_field = -4; }), bmp_status::bad_width},
        {"width INT_MIN", with([](bmp_layout& l) { l.width_field = INT32_MIN; }), bmp_status::bad_width},
        {"offset inside", with([](bmp_layout& l) { l.pixel_offset = 53; }), bmp_status::offset_inside_headers},
        {"offset zero", with([](bmp_layout& l) { l.pixel_offset = 0; }), bmp_status::offset_inside_headers},
        {"offset in v5 header", with([](bmp_layout& l) { l.info_size = 124; l.pixel_offset = 54; }),
         bmp_status::offset_inside_headers},
    };
    for (const reject_case& c : cases) {
        bmp_header header;
        EXPECT_EQ(parse(make_bmp(pattern_picture(2, 2), c.layout), &header), c.expected) << c.what;
    }
}

TEST(bmp, rejects_zero_width_and_height)
{
    bytes file = make_bmp(pattern_picture(2, 2));
    bmp_header header;
    put_u32(file, 18, 0);
    EXPECT_EQ(parse(file, &header), bmp_status::bad_width);
    file = make_bmp(pattern_picture(2, 2));
    put_u32(file, 22, 0);
    EXPECT_EQ(parse(file, &header), bmp_status::zero_height);
}

TEST(bmp, rejects_files_too_short_for_their_headers)
{
    bmp_layout v5;
    v5.info_size = 124;
    const bytes plain = make_bmp(pattern_picture(1, 1));
    const bytes longer = make_bmp(pattern_picture(1, 1), v5);
    bmp_header header;
    EXPECT_EQ(bmp_parse_header(plain.data(), 0, &header), bmp_status::too_short);
    EXPECT_EQ(bmp_parse_header(plain.data(), 17, &header), bmp_status::too_short);
    EXPECT_EQ(bmp_parse_header(plain.data(), 53, &header), bmp_status::too_short);
    EXPECT_EQ(bmp_parse_header(plain.data(), 54, &header), bmp_status::ok);
    EXPECT_EQ(bmp_parse_header(longer.data(), 137, &header), bmp_status::too_short);
    EXPECT_EQ(bmp_parse_header(longer.data(), 138, &header), bmp_status::ok);
}

TEST(bmp, negative_height_means_top_down_rows)
{
    bmp_layout layout;
    layout.top_down = true;
    const picture pixels = pattern_picture(5, 3);
    bytes file = make_bmp(pixels, layout);
    bmp_header header;
    ASSERT_EQ(parse(file, &header), bmp_status::ok);
    EXPECT_TRUE(header.top_down);
    EXPECT_EQ(header.height, 3);
    expect_planes_hold(decode(file), pixels);

    put_u32(file, 22, static_cast<std::uint32_t>(INT32_MIN));
    ASSERT_EQ(parse(file, &header), bmp_status::ok);
    EXPECT_EQ(header.height, std::int64_t{1} << 31);
    EXPECT_FALSE(bmp_stored_size_holds_rows(header));
}

TEST(bmp, the_signature_is_not_checked)
{
    bmp_layout layout;
    layout.signature = false;
    const picture pixels = pattern_picture(2, 3);
    expect_planes_hold(decode(make_bmp(pixels, layout)), pixels);
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

TEST(bmp, split_refuses_a_short_pixel_array)
{
    std::uint8_t vin[24] = {};
    std::uint8_t b[6], g[6], r[6];
    EXPECT_FALSE(bmp_split_pixels(vin, 20, 3, 2, b, g, r));
    EXPECT_TRUE(bmp_split_pixels(vin, 21, 3, 2, b, g, r));
}

TEST(bmp, one_by_two_example_reads_and_writes_back)
{
    // Bottom pixel first in the file: (10, 20, 30), then the top one (40, 50, 60).
    const picture pixels = {{{40, 50, 60}}, {{10, 20, 30}}};
    const bytes file = make_bmp(pixels);
    const planes p = decode(file);
    EXPECT_EQ(p.B, (std::vector<std::uint8_t>{40, 10}));
    EXPECT_EQ(p.G, (std::vector<std::uint8_t>{50, 20}));
    EXPECT_EQ(p.R, (std::vector<std::uint8_t>{60, 30}));
    const bytes out = written(p, 1, 2);
    EXPECT_EQ(bytes(out.begin() + 54, out.end()), (bytes{10, 20, 30, 0, 40, 50, 60, 0}));
}

TEST(bmp, writes_the_54_header_bytes)
{
    const planes p = decode(make_bmp(pattern_picture(5, 3)));
    const bytes out = written(p, 5, 3);
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

TEST(bmp, rows_are_padded_with_zeros_for_widths_1_to_5)
{
    const int strides[] = {4, 8, 12, 12, 16};
    for (int width = 1; width <= 5; ++width) {
        const picture pixels = pattern_picture(width, 3);
        // Garbage in the input's padding must not reach the planes or the output.
        bytes file = make_bmp(pixels);
        for (int row = 0; row < 3; ++row)
            for (int pad = 3 * width; pad < strides[width - 1]; ++pad)
                file[54 + row * strides[width - 1] + pad] = 0xEE;
        const planes p = decode(file);
        expect_planes_hold(p, pixels);
        const bytes out = written(p, width, 3);
        ASSERT_EQ(out.size(), 54u + 3 * strides[width - 1]) << width;
        EXPECT_EQ(get_u32(out, 2), out.size());
        // The written rows, zero padding included, are those of a freshly
        // built file, byte for byte.
        const bytes reference = make_bmp(pixels);
        EXPECT_EQ(bytes(out.begin() + 54, out.end()), bytes(reference.begin() + 54, reference.end()));
    }
}

TEST(bmp, reads_only_the_stored_size_of_a_longer_file)
{
    const picture pixels = pattern_picture(3, 4);
    bytes file = make_bmp(pixels);
    file.insert(file.end(), 100, 0xAB);
    expect_planes_hold(decode(file), pixels);
}

}  // namespace
