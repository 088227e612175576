// The PNG, JPEG and TIFF codecs: files written by Pillow, tifffile and a
// PNG chunk writer (tests/codecs/make_samples.py) decoded from memory, a
// regular file and a pipe; every refusal with its text; round trips through
// the encoders (check_encoded.py reads their files back with Pillow and
// tifffile).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "codecs/jpeg_reader.h"
#include "picture/picture_codec.h"
#include "velmora/velmora.h"
#include "test_support.h"

namespace {

const std::string folder = VELMORA_CODEC_SAMPLES "/";

// make_samples.py's pattern.
int pattern(int x, int y, int c)
{
    return static_cast<int>((x * 7919L + y * 104729L + c * 15485863L + 12345) % 65536);
}

enum class look { plain, low_bits, palette, key, inverted, white_under_alpha, pillow };

struct decode_case {
    const char* file;
    picture_info info;
    look how = look::plain;
    int count = 0;        // low_bits: the depth; palette: entries
    int transparent = 0;  // palette: entries with a tRNS value
};

void PrintTo(const decode_case& c, std::ostream* out)
{
    *out << c.file;
}

// A file name as a test name: "p_g1.png" as p_g1_png.
std::string test_name(std::string file)
{
    std::replace(file.begin(), file.end(), '.', '_');
    return file;
}

void put(bytes& out, sample_format format, int value16)
{
    if (format == sample_format::u8) {
        out.push_back(static_cast<std::uint8_t>(value16 >> 8));
        return;
    }
    std::uint8_t raw[4];
    const auto u16 = static_cast<std::uint16_t>(value16);
    const float f32 = static_cast<float>(value16) / 65535.0F;
    std::memcpy(raw, format == sample_format::u16 ? static_cast<const void*>(&u16) : &f32, sample_bytes(format));
    out.insert(out.end(), raw, raw + sample_bytes(format));
}

bytes expected_samples(const decode_case& c)
{
    if (c.how == look::pillow)
        return read_file(folder + std::string(c.file, std::strlen(c.file) - 4) + ".raw");
    bytes out;
    for (int y = 0; y < c.info.height; ++y)
        for (int x = 0; x < c.info.width; ++x)
            for (int ch = 0; ch < c.info.channels; ++ch) {
                const int p = pattern(x, y, ch);
                const int grey = pattern(x, y, 0) >> 8;
                const int k = grey % std::max(c.count, 1);
                const int palette[3] = {k * 5 % 256, ((255 - k * 3) % 256 + 256) % 256, k * 71 % 256};
                switch (c.how) {
                case look::low_bits:
                    out.push_back(static_cast<std::uint8_t>((p >> (16 - c.count)) * 255 / ((1 << c.count) - 1)));
                    break;
                case look::palette:
                    out.push_back(static_cast<std::uint8_t>(ch < 3 ? palette[ch] : k < c.transparent ? k * 37 % 256 : 255));
                    break;
                case look::key:
                    out.push_back(static_cast<std::uint8_t>(ch == 0 ? grey : grey == pattern(0, 0, 0) >> 8 ? 0 : 255));
                    break;
                case look::inverted:
                    out.push_back(static_cast<std::uint8_t>(255 - (p >> 8)));
                    break;
                case look::white_under_alpha: {  // alpha less the stored grey, never below black
                    const int shift = c.info.format == sample_format::u8 ? 8 : 0;
                    put(out, c.info.format, ch == 1 ? p : std::max(0, (pattern(x, y, 1) >> shift) - (p >> shift)) << shift);
                    break;
                }
                default:
                    put(out, c.info.format, p);
                }
            }
    return out;
}

enum class via { memory, file, pipe };

// As the command line will do it: the head read first, then the rest of
// the stream.
codec_message decode(const bytes& data, via how, picture* out)
{
    std::FILE* stream = nullptr;
    if (how == via::file) {
        stream = std::tmpfile();
        std::fwrite(data.data(), 1, data.size(), stream);
        std::rewind(stream);
    } else if (how == via::pipe) {
        int ends[2];
        EXPECT_EQ(pipe(ends), 0);
        EXPECT_EQ(write(ends[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
        close(ends[1]);
        stream = fdopen(ends[0], "rb");
    }
    std::uint8_t head[picture_head_bytes];
    codec_source source = memory_source(data.data(), data.size());
    if (stream) {
        source = codec_source{head, std::fread(head, 1, sizeof head, stream), stream,
                              how == via::file ? static_cast<std::int64_t>(data.size()) : -1};
    }
    picture_reader reader;
    codec_message message = picture_open(picture_kind_of(source.head, source.head_length), source, &reader);
    if (!message.failed())
        message = picture_decode(&reader, out);
    if (stream)
        std::fclose(stream);
    return message;
}

// A build without the file's library refuses it with that reason, and the
// case ends there.
bool built_without(const bytes& file)
{
    const picture_kind kind = picture_kind_of(file.data(), file.size());
    if (codec_available(kind))
        return false;
    picture image;
    const codec_message message = decode(file, via::memory, &image);
    EXPECT_EQ(message.fault, codec_fault::missing);
    EXPECT_EQ(message.text, "this velmora was built without " + std::string(picture_kind_name(kind)) + " support");
    return true;
}

constexpr auto u8 = sample_format::u8;
constexpr auto u16 = sample_format::u16;
constexpr auto f32 = sample_format::f32;

class decoding : public ::testing::TestWithParam<decode_case> {};

TEST_P(decoding, gives_the_writers_samples_from_memory_file_and_pipe)
{
    const decode_case& c = GetParam();
    const bytes file = read_file(folder + c.file);
    if (built_without(file))
        return;
    const bytes expected = expected_samples(c);
    for (via how : {via::memory, via::file, via::pipe}) {
        picture image;
        const codec_message message = decode(file, how, &image);
        ASSERT_FALSE(message.failed()) << message.text;
        const picture_info& i = image.info;
        EXPECT_EQ(std::tie(i.width, i.height, i.channels, i.format, i.premultiplied),
                  std::tie(c.info.width, c.info.height, c.info.channels, c.info.format, c.info.premultiplied));
        ASSERT_EQ(picture_bytes(image.info), expected.size());
        EXPECT_EQ(std::memcmp(image.samples.get(), expected.data(), expected.size()), 0) << static_cast<int>(how);
        const bool has_icc = std::strstr(c.file, "icc") != nullptr;
        EXPECT_EQ(bytes(image.icc.get(), image.icc.get() + image.icc_size),
                  has_icc ? read_file(folder + "srgb.icc") : bytes());
    }
}

INSTANTIATE_TEST_SUITE_P(
    samples, decoding,
    ::testing::Values(
        decode_case{"p_g1.png", {13, 11, 1, u8}, look::low_bits, 1}, decode_case{"p_g2.png", {13, 11, 1, u8}, look::low_bits, 2},
        decode_case{"p_g4.png", {13, 11, 1, u8}, look::low_bits, 4}, decode_case{"p_g8.png", {13, 11, 1, u8}},
        decode_case{"p_g16.png", {13, 11, 1, u16}}, decode_case{"p_ga8.png", {13, 11, 2, u8}},
        decode_case{"p_ga16.png", {13, 11, 2, u16}}, decode_case{"p_rgb8_icc.png", {13, 11, 3, u8}},
        decode_case{"p_rgb16_interlaced.png", {13, 11, 3, u16}}, decode_case{"p_rgba8.png", {13, 11, 4, u8}},
        decode_case{"p_rgba16.png", {13, 11, 4, u16}}, decode_case{"p_pal4.png", {13, 11, 4, u8}, look::palette, 16, 10},
        decode_case{"p_pal8.png", {13, 11, 3, u8}, look::palette, 200}, decode_case{"p_g8_key.png", {13, 11, 2, u8}, look::key},
        decode_case{"j_rgb_icc.jpg", {21, 13, 3, u8}, look::pillow},
        decode_case{"j_rgb_progressive.jpg", {21, 13, 3, u8}, look::pillow},
        decode_case{"j_grey.jpg", {21, 13, 1, u8}, look::pillow}, decode_case{"t_g8_none_strips.tif", {21, 19, 1, u8}},
        decode_case{"t_ga16_packbits_strips.tif", {21, 19, 2, u16}},
        decode_case{"t_rgbf_deflate_strips.tif", {21, 19, 3, f32}},
        decode_case{"t_rgba8_none_tiles.tif", {21, 19, 4, u8}},
        decode_case{"t_ga16_deflate_tiles_assoc.tif", {21, 19, 2, u16, true}},
        decode_case{"t_gaf_packbits_tiles_assoc.tif", {21, 19, 2, f32, true}},
        decode_case{"t_gf_none_tiles.tif", {21, 19, 1, f32}}, decode_case{"t_rgb16_be_predictor.tif", {21, 19, 3, u16}},
        decode_case{"t_rgb8_separate.tif", {21, 19, 3, u8}}, decode_case{"t_rgb8_bigtiff_icc.tif", {21, 19, 3, u8}},
        decode_case{"t_g8_miniswhite.tif", {21, 19, 1, u8}, look::inverted},
        decode_case{"t_ga8_miniswhite_assoc.tif", {21, 19, 2, u8, true}, look::white_under_alpha},
        decode_case{"t_ga16_miniswhite_assoc.tif", {21, 19, 2, u16, true}, look::white_under_alpha},
        decode_case{"t_rgbx8_unspecified.tif", {21, 19, 3, u8}}, decode_case{"t_two_pages.tif", {21, 19, 1, u8}},
        decode_case{"t_rgb8_lzw_pillow.tif", {21, 19, 3, u8}}, decode_case{"t_rgba8_lzw_pillow.tif", {21, 19, 4, u8}},
        decode_case{"t_g16_packbits_pillow.tif", {21, 19, 1, u16}}),
    [](const testing::TestParamInfo<decode_case>& info) { return test_name(info.param.file); });

struct refusal_case {
    const char* file;
    std::size_t keep;  // bytes kept from the start; 0: all
    codec_fault fault;
    const char* text;
    bool needs_length = false;  // a check only a known length allows, so not from a pipe
    std::vector<std::pair<std::size_t, std::uint8_t>> edits = {};  // bytes set at these offsets
    const char* edited = "";                                        // what they make of the file
};

void PrintTo(const refusal_case& c, std::ostream* out)
{
    *out << c.file << ' ' << c.edited;
}

class refusing : public ::testing::TestWithParam<refusal_case> {};

TEST_P(refusing, says_why)
{
    const refusal_case& c = GetParam();
    bytes file = read_file(folder + c.file);
    if (c.keep > 0)
        file.resize(c.keep);
    for (const auto& [at, value] : c.edits)
        file.at(at) = value;
    if (built_without(file))
        return;
    for (via how : {via::memory, via::file, via::pipe}) {
        if (how == via::pipe && c.needs_length)
            continue;
        picture image;
        const codec_message message = decode(file, how, &image);
        EXPECT_EQ(message.fault, c.fault);
        EXPECT_STREQ(message.text, c.text);
        EXPECT_FALSE(image.samples);
    }
}

INSTANTIATE_TEST_SUITE_P(
    samples, refusing,
    ::testing::Values(
        refusal_case{"j_cmyk.jpg", 0, codec_fault::file, "CMYK pictures are not supported"},
        refusal_case{"j_ycck.jpg", 0, codec_fault::file, "YCCK pictures are not supported"},
        refusal_case{"t_cmyk.tif", 0, codec_fault::file, "CMYK pictures are not supported"},
        refusal_case{"t_g12.tif", 0, codec_fault::file, "TIFF with 12-bit samples is not supported"},
        refusal_case{"t_signed.tif", 0, codec_fault::file, "TIFF with signed integer samples is not supported"},
        refusal_case{"t_palette.tif", 0, codec_fault::file, "TIFF palette pictures are not supported"},
        refusal_case{"t_wide.tif", 0, codec_fault::limit, "input width 16385 is above the limit of 16384"},
        refusal_case{"p_huge_declared.png", 0, codec_fault::file,
                     "a PNG file of 222 bytes cannot hold a 16384 x 16384 picture", true},
        refusal_case{"p_rgb8_icc.png", 300, codec_fault::file, "truncated PNG file"},
        refusal_case{"j_rgb_icc.jpg", 1000, codec_fault::file, "truncated JPEG file"},
        refusal_case{"t_g8_none_strips.tif", 500, codec_fault::file,
                     "TIFF strip 2 (105 bytes at 482) lies outside the file of 500 bytes"},
        // Sizes above the side limit, refused from the header (the IHDR
        // chunk's big-endian width and height, the JPEG frame's height).
        refusal_case{"p_g8.png", 0, codec_fault::limit, "input width 16385 is above the limit of 16384", false,
                     {{18, 0x40}, {19, 0x01}}, "width_16385"},
        refusal_case{"p_g8.png", 0, codec_fault::limit, "input height 16385 is above the limit of 16384", false,
                     {{22, 0x40}, {23, 0x01}}, "height_16385"},
        refusal_case{"j_grey.jpg", 0, codec_fault::limit, "input height 16385 is above the limit of 16384", false,
                     {{94, 0x40}, {95, 0x01}}, "height_16385"},
        // Strip 2's byte count (16 bits at 238) one short of its five rows of
        // 21, with the file going on after it. (libtiff itself would guess
        // the counts again were strips 0 and 1 to differ.)
        refusal_case{"t_g8_none_strips.tif", 0, codec_fault::file,
                     "uncompressed TIFF strip 2 holds 104 bytes, not the 105 its pixels need", false, {{238, 104}},
                     "strip_one_byte_short"}),
    [](const testing::TestParamInfo<refusal_case>& info) {
        const refusal_case& c = info.param;
        return test_name(c.file) + (c.keep ? "_first_" + std::to_string(c.keep) + "_bytes" : "") +
               (*c.edited ? "_" + std::string(c.edited) : "");
    });

TEST(refusing, more_scans_than_the_limit)
{
    // The first scan of a progressive file (the DC of every component), made
    // exact (Al 0) and then sent again and again: an order of scans libjpeg
    // takes without a word, so the count is what stops it.
    bytes file = read_file(folder + "j_rgb_progressive.jpg");
    if (built_without(file))
        return;
    std::vector<std::size_t> scans;
    for (std::size_t i = 0; i + 1 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xDA)
            scans.push_back(i);
    bytes scan(file.begin() + static_cast<std::ptrdiff_t>(scans.at(0)),
               file.begin() + static_cast<std::ptrdiff_t>(scans.at(1)));
    scan.at(4 + 1 + 2 * scan.at(4) + 2) = 0x00;  // Ah 0, Al 0, after Ns, the components, Ss and Se
    file.resize(file.size() - 2);
    for (int i = 0; i < max_jpeg_scans; ++i)
        file.insert(file.end(), scan.begin(), scan.end());
    file.insert(file.end(), {0xFF, 0xD9});
    picture image;
    const codec_message message = decode(file, via::memory, &image);
    EXPECT_STREQ(message.text, "JPEG file with more than 1000 scans");
}

// A picture of the pattern, with the colour profile when asked.
picture pattern_picture(const picture_info& info, bool icc)
{
    picture image;
    EXPECT_FALSE(picture_allocate(info, &image).failed());
    bytes samples;
    for (int y = 0; y < info.height; ++y)
        for (int x = 0; x < info.width; ++x)
            for (int c = 0; c < info.channels; ++c)
                put(samples, info.format, pattern(x, y, c));
    std::memcpy(image.samples.get(), samples.data(), samples.size());
    const bytes profile = read_file(folder + "srgb.icc");
    if (icc) {
        EXPECT_FALSE(picture_set_icc(&image, profile.data(), profile.size()).failed());
    }
    return image;
}

bytes encode(picture_kind kind, const picture& image, const picture_write_options& options)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    const codec_message message = picture_write(out, kind, image, options);
    EXPECT_FALSE(message.failed()) << message.text;
    std::fclose(out);
    bytes file(buffer, buffer + size);
    std::free(buffer);
    return file;
}

TEST(round_trip, png_and_tiff_give_back_every_sample_and_the_profile)
{
    picture_write_options deflate;
    deflate.tiff = {tiff_compression::deflate, 6, true};
    // Every PNG filter, and the other zlib settings.
    std::vector<picture_write_options> settings{picture_write_options{}, deflate};
    for (png_row_filter filter : {png_row_filter::none, png_row_filter::sub, png_row_filter::up,
                                  png_row_filter::average, png_row_filter::adaptive}) {
        settings.emplace_back();
        settings.back().png = {9, zlib_strategy::standard, filter};
    }
    for (const picture_write_options& options : settings)
        for (picture_kind kind : {picture_kind::png, picture_kind::tiff})
            for (sample_format format : {u8, u16, f32})
                for (int channels = 1; channels <= 4; ++channels)
                    for (bool premultiplied : {false, true}) {
                        if (!codec_available(kind) || (kind == picture_kind::png && (format == f32 || premultiplied)))
                            continue;
                        // libpng takes an RGB profile for colour files only.
                        const bool icc = kind == picture_kind::tiff || channels >= 3;
                        const picture image = pattern_picture({19, 9, channels, format, premultiplied}, icc);
                        picture back;
                        const codec_message message = decode(encode(kind, image, options), via::memory, &back);
                        ASSERT_FALSE(message.failed()) << message.text;
                        EXPECT_EQ(back.info.channels, channels);
                        EXPECT_EQ(back.info.format, format);
                        EXPECT_EQ(back.info.premultiplied, premultiplied && channels % 2 == 0);
                        EXPECT_EQ(std::memcmp(back.samples.get(), image.samples.get(), picture_bytes(image.info)), 0)
                            << picture_kind_name(kind) << channels;
                        EXPECT_EQ(back.icc_size, image.icc_size);
                    }
}

TEST(writing, compressed_tiff_strips_made_at_once_give_the_file_of_one_thread)
{
    if (!codec_available(picture_kind::tiff))
        return;
    velmora::thread_team team;
    ASSERT_TRUE(velmora::make_thread_team(&team, 3));
    picture_write_options at_once;
    at_once.tiff = {tiff_compression::deflate, 6, true};
    const picture_write_options alone = at_once;
    at_once.runner.run = [](void* runner, std::int64_t units, band_body body, void* context) {
        velmora::run_units(*static_cast<velmora::thread_team*>(runner), units, body, context);
    };
    at_once.runner.runner = &team;
    at_once.runner.threads = 3;
    for (sample_format format : {u8, u16, f32}) {
        // Strips of 256 KiB: several, the last one short.
        const picture image = pattern_picture({301, 500, 3, format, false}, true);
        const bytes file = encode(picture_kind::tiff, image, at_once);
        EXPECT_EQ(file, encode(picture_kind::tiff, image, alone)) << sample_bytes(format);
        picture back;
        ASSERT_FALSE(decode(file, via::memory, &back).failed());
        EXPECT_EQ(std::memcmp(back.samples.get(), image.samples.get(), picture_bytes(image.info)), 0);
    }
}

TEST(writing, a_full_device_is_a_message)
{
    const picture image = pattern_picture({19, 9, 3, u8}, false);
    for (picture_kind kind : {picture_kind::png, picture_kind::jpeg, picture_kind::tiff}) {
        if (!codec_available(kind))
            continue;
        std::FILE* out = std::fopen("/dev/full", "wb");
        ASSERT_NE(out, nullptr);
        std::setvbuf(out, nullptr, _IONBF, 0);
        const codec_message message = picture_write(out, kind, image);
        std::fclose(out);
        EXPECT_EQ(message.fault, codec_fault::output) << message.text;
    }
}

}  // namespace
