// The command line with PNG, JPEG and TIFF: exact copies when nothing is
// resized, alpha without halos, depths scaled between kinds, the console's
// channel lines, the refusals, hostile files and the warnings about them,
// colour profiles a format cannot carry. Input files are made by the codecs'
// encoders (which Pillow and tifffile read back in codecs_test), outputs
// read by their decoders (which read Pillow's and tifffile's files).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <tuple>

#include "picture/picture_codec.h"
#include "test_support.h"

#if VELMORA_TEST_ZLIB
#include <zlib.h>
#endif

namespace {

struct formats : testing::Test {
    std::string dir = make_scratch_dir();
    ~formats() override { remove_tree(dir); }

    void save(const std::string& name, picture_kind kind, const picture& image)
    {
        std::FILE* out = std::fopen((dir + "/" + name).c_str(), "wb");
        ASSERT_NE(out, nullptr);
        ASSERT_FALSE(picture_write(out, kind, image).failed());
        std::fclose(out);
    }
    picture load(const std::string& name)
    {
        const bytes file = read_file(dir + "/" + name);
        picture_reader reader;
        picture image;
        const codec_source source = memory_source(file.data(), file.size());
        EXPECT_FALSE(picture_open(picture_kind_of(file.data(), file.size()), source, &reader).failed()) << name;
        EXPECT_FALSE(picture_decode(&reader, &image).failed()) << name;
        return image;
    }
    tool_result run(const std::vector<std::string>& args) { return run_tool(args, dir); }
};

picture make_picture(int width, int height, int channels, sample_format format)
{
    picture image;
    EXPECT_FALSE(picture_allocate(picture_info{width, height, channels, format, false}, &image).failed());
    return image;
}

// Sample c of pixel (x, y) set to a fraction of the top.
void put(picture& image, int x, int y, int c, double fraction)
{
    const picture_info& info = image.info;
    std::uint8_t* at = image.samples.get() + y * row_bytes(info) + x * pixel_bytes(info) + c * sample_bytes(info.format);
    if (info.format == sample_format::u8) {
        *at = static_cast<std::uint8_t>(std::lround(fraction * 255));
    } else if (info.format == sample_format::u16) {
        const auto v = static_cast<std::uint16_t>(std::lround(fraction * 65535));
        std::memcpy(at, &v, 2);
    } else {
        const auto v = static_cast<float>(fraction);
        std::memcpy(at, &v, 4);
    }
}

double get(const picture& image, int x, int y, int c)
{
    const picture_info& info = image.info;
    const std::uint8_t* at =
        image.samples.get() + y * row_bytes(info) + x * pixel_bytes(info) + c * sample_bytes(info.format);
    if (info.format == sample_format::u8)
        return *at;
    if (info.format == sample_format::u16) {
        std::uint16_t v;
        std::memcpy(&v, at, 2);
        return v;
    }
    float v;
    std::memcpy(&v, at, 4);
    return v;
}

TEST_F(formats, nothing_resized_copies_every_sample_and_the_profile)
{
    std::mt19937 gen(5);
    const std::uint8_t profile[] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (picture_kind kind : {picture_kind::png, picture_kind::tiff})
        for (sample_format format : {sample_format::u8, sample_format::u16})
            for (int channels = 1; channels <= 4; ++channels) {
                SCOPED_TRACE(std::string(picture_kind_name(kind)) + " " + std::to_string(channels) + " channels " +
                             std::to_string(sample_bytes(format) * 8) + " bits");
                picture in = make_picture(7, 5, channels, format);
                for (std::size_t i = 0; i < picture_bytes(in.info); ++i)
                    in.samples[i] = static_cast<std::uint8_t>(gen());
                ASSERT_FALSE(picture_set_icc(&in, profile, sizeof profile).failed());
                save("in", kind, in);
                const char* format_name = kind == picture_kind::png ? "png" : "tiff";
                ASSERT_EQ(run({"-i", "in", "-o", "out", "-format", format_name}).status, 0);
                const picture out = load(kind == picture_kind::png ? "out.png" : "out.tif");
                ASSERT_EQ(out.info.channels, channels);
                ASSERT_EQ(out.info.format, format);
                EXPECT_EQ(std::memcmp(out.samples.get(), in.samples.get(), picture_bytes(in.info)), 0);
                // libpng may drop a profile it cannot parse; TIFF keeps any.
                if (kind == picture_kind::tiff) {
                    EXPECT_EQ(bytes(out.icc.get(), out.icc.get() + out.icc_size), bytes(profile, profile + 8));
                }
            }
}

TEST_F(formats, colour_is_resized_premultiplied_by_alpha)
{
    // An opaque dark colour beside fully transparent yellow: straight in
    // PNG, premultiplied in TIFF (where the yellow is stored as 0). Each row
    // is the same, so every output row is the exact 1-D resize of the
    // premultiplied colour and of the alpha (12 to 31 samples), and straight
    // colour is that divided by the alpha clipped to its range: the dark
    // colour alone along the edge, hidden yellow nowhere, and where the alpha
    // rings above its top, the colour ringing with it.
    const double dark[3] = {0.1, 0.2, 0.3}, hidden[3] = {1.0, 1.0, 0.0};
    for (picture_kind kind : {picture_kind::png, picture_kind::tiff}) {
        const bool premultiplied = kind == picture_kind::tiff;
        picture in = make_picture(12, 6, 4, sample_format::u16);
        in.info.premultiplied = premultiplied;
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 12; ++x) {
                const bool shows = x < 6;
                for (int c = 0; c < 3; ++c)
                    put(in, x, y, c, shows ? dark[c] : premultiplied ? 0.0 : hidden[c]);
                put(in, x, y, 3, shows ? 1.0 : 0.0);
            }
        save("in", kind, in);
        const char* format_name = kind == picture_kind::png ? "png" : "tiff";
        ASSERT_EQ(run({"-i", "in", "-o", "out", "-format", format_name, "-sizexminus", "19", "-sizexminusy", "3"})
                      .status,
                  0);
        const picture out = load(kind == picture_kind::png ? "out.png" : "out.tif");
        std::vector<long double> alpha_row(12), colour_rows[3];
        for (int x = 0; x < 12; ++x) {
            alpha_row[x] = get(in, x, 0, 3);
            for (int c = 0; c < 3; ++c)
                colour_rows[c].push_back(x < 6 ? get(in, x, 0, c) : 0.0L);
        }
        const auto alpha = exact_line(alpha_row, 31);
        int rings = 0;
        for (int x = 0; x < 31; ++x) {
            const long double clipped = std::clamp(alpha[x], 0.0L, 65535.0L);
            rings += alpha[x] > 65535.5L;
            for (int c = 0; c < 3; ++c) {
                const long double colour = exact_line(colour_rows[c], 31)[x];
                const long double want = premultiplied ? colour : clipped > 0 ? colour * 65535 / clipped : 0;
                for (int y = 0; y < 9; ++y) {
                    ASSERT_NEAR(get(out, x, y, 3), std::round(clipped), 1.0) << x << "," << y;
                    ASSERT_NEAR(get(out, x, y, c), std::clamp(want, 0.0L, 65535.0L), 1.0) << x << "," << y << " " << c;
                }
            }
        }
        EXPECT_GT(rings, 2);
    }
}

TEST_F(formats, fewer_bits_scale_each_value_then_round_as_asked)
{
    // 16-bit grey to BMP, truncated: v * 255 / 65535; float RGB to 16-bit
    // PNG, rounded to nearest: v * 65535.
    picture grey = make_picture(5, 4, 1, sample_format::u16);
    picture floats = make_picture(5, 4, 3, sample_format::f32);
    std::mt19937 gen(9);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            put(grey, x, y, 0, (gen() % 65536) / 65535.0);
            for (int c = 0; c < 3; ++c)
                put(floats, x, y, c, (gen() % 1000) / 999.0);
        }
    save("grey", picture_kind::png, grey);
    save("floats", picture_kind::tiff, floats);
    ASSERT_EQ(run({"-i", "grey", "-o", "out"}).status, 0);
    ASSERT_EQ(run({"-i", "floats", "-o", "out", "-format", "png"}).status, 0);
    const bytes bmp = read_file(dir + "/out.bmp");
    const picture png = load("out.png");
    ASSERT_EQ(png.info.format, sample_format::u16);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const int level = static_cast<int>(get(grey, x, y, 0) * 255 / 65535);
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(bmp[54 + (3 - y) * 16 + 3 * x + c], level) << x << "," << y;
                ASSERT_EQ(get(png, x, y, c), std::floor(get(floats, x, y, c) * 65535.0 + 0.5)) << x << "," << y;
            }
        }
}

TEST_F(formats, a_png_resizes_as_its_bmp_twin_does)
{
    const auto pixels = pattern_picture(9, 7);
    write_file(dir + "/in.bmp", make_bmp(pixels));
    picture twin = make_picture(9, 7, 3, sample_format::u8);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) {
            const bgr& p = pixels[y][x];
            const std::uint8_t rgb[3] = {p.r, p.g, p.b};
            std::memcpy(twin.samples.get() + (y * 9 + x) * 3, rgb, 3);
        }
    save("twin", picture_kind::png, twin);
    const std::vector<std::string> sizes = {"-sizexminus", "6", "-sizexminusy", "-2"};
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.end(), sizes.begin(), sizes.end());
        return args;
    };
    ASSERT_EQ(run(with({"-i", "in.bmp", "-o", "a"})).status, 0);
    ASSERT_EQ(run(with({"-i", "twin", "-o", "b"})).status, 0);
    ASSERT_EQ(run(with({"-i", "twin", "-o", "c", "-format", "png", "-rounding", "truncate"})).status, 0);
    const bytes a = read_file(dir + "/a.bmp");
    EXPECT_EQ(a, read_file(dir + "/b.bmp"));
    const picture c = load("c.png");
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 15; ++x)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(get(c, x, y, k), a[54 + (4 - y) * 48 + 3 * x + 2 - k]) << x << "," << y;
}

TEST_F(formats, every_thread_count_writes_the_same_files)
{
    // 130 x 67 to 1000 x 800: the input's bands of columns and the PNG's
    // bands of rows (about 256 KiB each) are several, the last of each
    // short.
    const auto pixels = pattern_picture(130, 67);
    bmp_layout top_down;
    top_down.top_down = true;
    write_file(dir + "/in.bmp", make_bmp(pixels));
    write_file(dir + "/in_top_down.bmp", make_bmp(pixels, top_down));
    std::vector<bytes> files;
    for (const char* input : {"in.bmp", "in_top_down.bmp"})
        for (const char* threads : {"1", "2", "7"})
            for (const char* format : {"png", "bmp"}) {
                const tool_result r = run({"-i", input, "-o", "out", "-format", format, "-threads", threads, "-sizexminus",
                                           "870", "-sizexminusy", "733", "-rounding", "truncate"});
                ASSERT_EQ(r.status, 0) << r.err;
                files.push_back(read_file(dir + "/out." + format));
            }
    for (std::size_t i = 2; i < files.size(); ++i)
        EXPECT_EQ(files[i], files[i % 2]) << i;
    const picture png = load("out.png");
    const bytes& bmp = files[1];
    for (int y = 0; y < 800; y += 7)
        for (int x = 0; x < 1000; ++x)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(get(png, x, y, k), bmp[54 + (799 - y) * 3000 + 3 * x + 2 - k]) << x << "," << y;
}

TEST_F(formats, jpeg_colour_is_subsampled_below_quality_90)
{
    // Sampling factors of the luma (component 1) in the frame header: 2 x 2
    // for 4:2:0, 1 x 1 for 4:4:4; the chroma's are 1 x 1 either way.
    save("in", picture_kind::png, make_picture(16, 16, 3, sample_format::u8));
    for (const auto& [quality, luma] : {std::pair{"1", 0x22}, {"89", 0x22}, {"90", 0x11}, {"100", 0x11}}) {
        ASSERT_EQ(run({"-i", "in", "-o", "out", "-format", "jpeg", "-quality", quality}).status, 0);
        const bytes file = read_file(dir + "/out.jpg");
        std::size_t frame = 2;
        while (frame + 1 < file.size() && !(file[frame] == 0xFF && file[frame + 1] == 0xC0))
            frame += 2 + (file[frame + 2] << 8 | file[frame + 3]);
        ASSERT_EQ(file.at(frame + 9), 3) << quality;  // components, each (id, factors, table)
        EXPECT_EQ(std::vector<int>({file.at(frame + 11), file.at(frame + 14), file.at(frame + 17)}),
                  std::vector<int>({luma, 0x11, 0x11}))
            << "quality " << quality;
    }
}

TEST_F(formats, the_console_follows_the_outputs_channels)
{
    save("ga", picture_kind::png, make_picture(4, 3, 2, sample_format::u8));
    const struct {
        const char* format;
        const char* lines;
    } cases[] = {{"png", "GREY START\nALPHA START\n"},
                 {"tiff", "GREY START\nALPHA START\n"},
                 {"jpeg", "RED START\nGREEN START\nBLUE START\n"},
                 {"bmp", "RED START\nGREEN START\nBLUE START\n"}};
    for (const auto& c : cases) {
        const tool_result r = run({"-i", "ga", "-o", "out", "-format", c.format, "-sizexminus", "3"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.lines) << c.format;
        const std::size_t progress = std::count(r.err.begin(), r.err.end(), '\n') - 6;  // less the three time lines
        EXPECT_EQ(progress, 10 * std::count(r.out.begin(), r.out.end(), '\n')) << c.format;
    }
}

TEST_F(formats, refusals_say_what_and_leave_nothing)
{
    write_file(dir + "/text", bytes{'h', 'e', 'l', 'l', 'o', '\n'});
    write_file(dir + "/cmyk", read_file(VELMORA_CODEC_SAMPLES "/j_cmyk.jpg"));
    save("small", picture_kind::png, make_picture(5, 3, 3, sample_format::u8));
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"-i", "text", "-o", "out"}, "velmora: text: not a BMP, PNG, JPEG or TIFF picture\n"},
        {{"-i", "cmyk", "-o", "out"}, "velmora: cmyk: CMYK pictures are not supported\n"},
        {{"-i", "small", "-o", "out", "-max-pixels", "14"},
         "velmora: the input is 5 x 3 = 15 pixels, above -max-pixels 14\n"},
        {{"-i", "small", "-o", "out", "-format", "gif"},
         "velmora: option -format takes bmp, png, tiff or jpeg, not \"gif\"\n"},
        {{"-i", "small", "-o", "out", "-rounding", "up"}, "velmora: option -rounding takes nearest or truncate, not \"up\"\n"},
        {{"-i", "small", "-o", "out", "-quality", "101"}, "velmora: option -quality takes a whole number from 1 to 100, not \"101\"\n"},
    };
    for (const auto& c : cases) {
        const tool_result r = run(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(folder_entries(dir), (std::vector<std::string>{"cmyk", "small", "text"}));
    }
}

bytes operator+(bytes a, const bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

#if VELMORA_TEST_ZLIB
// A PNG chunk with its CRC.
bytes chunk(const char* type, const bytes& data)
{
    bytes out = bytes(4) + bytes(type, type + 4) + data + bytes(4);
    put_u32(out, 0, __builtin_bswap32(static_cast<std::uint32_t>(data.size())));  // big-endian
    put_u32(out, out.size() - 4, __builtin_bswap32(static_cast<std::uint32_t>(crc32(0, &out[4], data.size() + 4))));
    return out;
}

TEST_F(formats, hostile_files_cost_what_their_picture_does_and_say_so_in_one_line)
{
    save("png", picture_kind::png, make_picture(50, 40, 1, sample_format::u8));
    const bytes png = read_file(dir + "/png"), jpeg = read_file(VELMORA_CODEC_SAMPLES "/j_rgb_icc.jpg");
    const bytes head(png.begin(), png.begin() + 33), tail(png.begin() + 33, png.end());  // signature, IHDR
    const bytes tiny = head + bytes{0x7F, 0xFF, 0xFF, 0xFF, 't', 'E', 'X', 't', 'a', 'b'};
    uLongf size = compressBound(7 << 20);
    bytes text(size), ztxt = head, itxt = head;
    compress(text.data(), &size, bytes(7 << 20, 'x').data(), 7 << 20);
    text.resize(size);
    for (int i = 0; i < 250; ++i) {
        ztxt = std::move(ztxt) + chunk("zTXt", bytes{'k', 0, 0} + text);
        itxt = std::move(itxt) + chunk("iTXt", bytes{'k', 0, 1, 0, 0, 0} + text);
    }
    // j_rgb_icc.jpg: Huffman tables at 783, 816, 999 and 1032, the frame
    // header at 764, the scan from 1229 to the end marker at 1519.
    bytes cut = bytes(jpeg.begin(), jpeg.begin() + 1400) + bytes{0xFF, 0xD9}, noise = jpeg, huge = jpeg, stray = jpeg;
    std::mt19937 gen(1);
    std::generate(noise.begin() + 1249, noise.end() - 2, [&] { return static_cast<std::uint8_t>(gen()); });
    huge[769] = huge[771] = 13000 >> 8;  // height and width, big-endian
    huge[770] = huge[772] = 13000 & 0xFF;
    for (std::ptrdiff_t at : {1032, 999, 816, 783})
        stray.insert(stray.begin() + at, {1, 2, 3});
    const std::tuple<const char*, bytes, bool, int, std::string> cases[] = {
        {"PNG of 43 bytes declaring a 2 GiB tEXt", tiny, false, 1, "velmora: in: truncated PNG file\n"},
        {"PNG of 43 bytes declaring a 2 GiB tEXt, piped", tiny, true, 1, "velmora: /dev/stdin: truncated PNG file\n"},
        {"PNG with 250 zTXt chunks of 7 MiB", ztxt + tail, false, 0, ""},
        {"PNG with 250 iTXt chunks of 7 MiB, piped", itxt + tail, true, 0, ""},
        {"JPEG cut in its scan", cut, false, 1, "velmora: in: corrupt JPEG data: premature end of data segment\n"},
        {"JPEG with noise in its scan", noise, false, 1, "velmora: in: corrupt JPEG data: premature end of data segment\n"},
        {"JPEG claiming 13000 x 13000", huge, false, 1, "velmora: in: corrupt JPEG data: premature end of data segment\n"},
        {"JPEG with stray bytes", stray, false, 0, "velmora: in: corrupt JPEG data: 3 extraneous bytes before marker 0xc4\n"},
    };
    for (const auto& [name, file, piped, status, line] : cases) {
        SCOPED_TRACE(name);
        write_file(dir + "/in", file);
        const tool_result r =
            piped ? run_tool_fed({"-i", "/dev/stdin", "-o", "out"}, dir, file) : run({"-i", "in", "-o", "out"});
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.err.substr(0, line.size()), line);
        EXPECT_EQ(r.err.find("velmora:", line.size()), std::string::npos) << r.err;  // once
        if (std::string(name).rfind("PNG", 0) == 0) {  // this test's own size dominates (see tool_result)
            EXPECT_LT(r.peak_kib, 64 << 10);
        }
    }
}
#endif

// "-i -" and "-o -" carry the bytes a file would. The picture on standard
// output holds no console line: they all go to standard error, failures too.
TEST_F(formats, pipes_carry_the_bytes_of_files)
{
    save("in.png", picture_kind::png, make_picture(9, 7, 3, sample_format::u8));
    write_file(dir + "/in.tif", read_file(VELMORA_CODEC_SAMPLES "/t_rgb8_lzw_pillow.tif"));
    for (const auto& [input, format] : {std::pair{"in.png", "png"}, {"in.png", "bmp"}, {"in.tif", "bmp"}}) {
        SCOPED_TRACE(std::string(input) + " to " + format);
        const std::vector<std::string> how = {"-format", format, "-size", "12x"};
        auto with = [&](std::vector<std::string> args) {
            args.insert(args.end(), how.begin(), how.end());
            return args;
        };
        ASSERT_EQ(run(with({"-i", input, "-o", "file"})).status, 0);
        const bytes want = read_file(dir + "/file." + format);
        const tool_result fed = run_tool_fed(with({"-i", "-", "-o", "fed"}), dir, read_file(dir + "/" + input));
        EXPECT_EQ(fed.status, 0) << fed.err;
        EXPECT_EQ(read_file(dir + "/fed." + format), want);
        const tool_result out = run(with({"-i", input, "-o", "-"}));
        EXPECT_EQ(out.status, 0) << out.err;
        EXPECT_TRUE(out.out == std::string(want.begin(), want.end()));
        EXPECT_NE(out.err.find("RED START\n"), std::string::npos);
    }
    bytes cut = read_file(dir + "/file.bmp");
    cut.resize(cut.size() - 5);
    write_file(dir + "/cut", cut);
    const tool_result failed = run({"-i", "cut", "-o", "-"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, "input file size err!!\n");
    EXPECT_FALSE(file_exists(dir + "/-") || file_exists(dir + "/-.bmp"));
}

TEST_F(formats, version_names_the_release_and_the_formats_built_in)
{
    const std::string lines = std::string("velmora " VELMORA_PROJECT_VERSION "\ncodecs: BMP") +
                              (codec_available(picture_kind::png) ? " PNG" : "") +
                              (codec_available(picture_kind::jpeg) ? " JPEG" : "") +
                              (codec_available(picture_kind::tiff) ? " TIFF" : "") + "\n";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-version"}, {"--version"}, {"-i", "none", "-version", "-o", "out"}}) {
        const tool_result r = run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, lines);
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(formats, a_profile_the_output_format_cannot_carry_is_left_out_with_one_line)
{
    // srgb.icc lengthened, its size field told: 255 APP2 markers hold
    // 16,707,345 bytes; our PNG reader takes 8 MiB. An empty kind: it fits.
    for (const auto& [format, file, kind, size] :
         {std::tuple{"jpeg", "out.jpg", "JPEG", 17000000}, {"jpeg", "out.jpg", "", 16707345},
          {"png", "out.png", "PNG", 9000000}, {"png", "out.png", "", 8388608}}) {
        picture in = make_picture(5, 4, 3, sample_format::u8);
        bytes profile = read_file(VELMORA_CODEC_SAMPLES "/srgb.icc");
        profile.resize(static_cast<std::size_t>(size));
        put_u32(profile, 0, __builtin_bswap32(static_cast<std::uint32_t>(size)));
        ASSERT_FALSE(picture_set_icc(&in, profile.data(), profile.size()).failed());
        save("in", picture_kind::tiff, in);
        const tool_result r = run({"-i", "in", "-o", "out", "-format", format});
        const std::string warning = *kind ? "velmora: " + std::string(file) + ": the colour profile (" +
                                                std::to_string(size) + " bytes) is too large for " + kind +
                                                " and is left out\n"
                                          : "";
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err.substr(std::min(r.err.find("velmora:"), r.err.size())), warning);
        const picture back = load(file);
        EXPECT_EQ(bytes(back.icc.get(), back.icc.get() + back.icc_size), *kind ? bytes() : profile);
        if (*kind) {  // and Pillow reads the file
            EXPECT_EQ(std::system((VELMORA_PYTHON3 " -c 'from PIL import Image; Image.open(\"" + dir + "/" + file +
                                   "\").load()'").c_str()), 0);
        }
    }
}

}  // namespace
