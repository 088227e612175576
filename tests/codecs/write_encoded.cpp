// Writes pictures of make_samples.py's pattern through the encoders, for
// check_encoded.py to read back with Pillow and tifffile: PNG at 8 and 16
// bits, TIFF at 8, 16 and 32 (float) bits, each with 1 to 4 channels and
// both kinds of alpha for TIFF; JPEG in grey and colour at quality 100.
// Colour files carry the profile named second. And PNG pictures of three
// bands (the last one short) written on teams of 1, 2 and 7 threads,
// bands_CHANNELS_FORMAT_tTHREADS.png.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/picture_codec.h"
#include "velmora/velmora.h"

namespace {

picture make(const picture_info& info, const std::vector<std::uint8_t>& icc)
{
    picture image;
    picture_allocate(info, &image);
    const std::size_t size = sample_bytes(info.format);
    std::uint8_t* at = image.samples.get();
    for (int y = 0; y < info.height; ++y)
        for (int x = 0; x < info.width; ++x)
            for (int c = 0; c < info.channels; ++c, at += size) {
                const auto p = static_cast<std::uint16_t>((x * 7919L + y * 104729L + c * 15485863L + 12345) % 65536);
                const auto u8 = static_cast<std::uint8_t>(p >> 8);
                const float f32 = static_cast<float>(p) / 65535.0F;
                std::memcpy(at, info.format == sample_format::u8 ? static_cast<const void*>(&u8)
                                : info.format == sample_format::u16 ? static_cast<const void*>(&p) : &f32, size);
            }
    if (info.channels >= 3)
        picture_set_icc(&image, icc.data(), icc.size());
    return image;
}

bool write(const std::string& name, picture_kind kind, const picture& image, velmora::thread_team* team = nullptr)
{
    std::FILE* out = std::fopen(name.c_str(), "wb");
    picture_write_options options;
    options.jpeg_quality = 100;
    if (team) {
        options.runner.run = [](void* runner, std::int64_t units, band_body body, void* context) {
            velmora::run_units(*static_cast<velmora::thread_team*>(runner), units, body, context);
        };
        options.runner.runner = team;
        options.runner.threads = velmora::team_threads(*team);
    }
    const codec_message message = picture_write(out, kind, image, options);
    std::fclose(out);
    if (message.failed())
        std::fprintf(stderr, "%s: %s\n", name.c_str(), message.text);
    return !message.failed();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    // Skipped (by ctest) in a build without one of the libraries.
    if (!codec_available(picture_kind::png) || !codec_available(picture_kind::jpeg) ||
        !codec_available(picture_kind::tiff))
        return 77;
    const std::string folder = std::string(argv[1]) + "/";
    std::vector<std::uint8_t> icc(1 << 16);
    std::FILE* profile = std::fopen(argv[2], "rb");
    icc.resize(profile ? std::fread(icc.data(), 1, icc.size(), profile) : 0);
    if (profile)
        std::fclose(profile);
    const char* names[] = {"u8", "u16", "f32"};
    bool written = true;
    for (int channels = 1; channels <= 4; ++channels)
        for (int f = 0; f < 3; ++f)
            for (bool premultiplied : {false, true}) {
                const picture_info info{23, 17, channels, static_cast<sample_format>(f), premultiplied};
                const std::string stem = folder + std::to_string(channels) + "_" + names[f];
                if (channels % 2 == 0 || !premultiplied)
                    written &= write(stem + (premultiplied ? "_assoc" : "") + ".tif", picture_kind::tiff, make(info, icc));
                if (f < 2 && !premultiplied)
                    written &= write(stem + ".png", picture_kind::png, make(info, icc));
                if (f == 0 && !premultiplied && channels % 2 == 1)
                    written &= write(stem + ".jpg", picture_kind::jpeg, make(info, icc));
            }
    for (int threads : {1, 2, 7}) {
        velmora::thread_team team;
        if (!velmora::make_thread_team(&team, threads))
            return 1;
        for (int channels = 1; channels <= 4; ++channels)
            for (int f = 0; f < 2; ++f) {
                // About 256 KiB of filtered rows a band: two full bands and 37 rows.
                const int row = 301 * channels * (f + 1);
                const picture_info info{301, 2 * (1 << 18) / (row + 1) + 37, channels, static_cast<sample_format>(f), false};
                written &= write(folder + "bands_" + std::to_string(channels) + "_" + names[f] + "_t" +
                                     std::to_string(threads) + ".png",
                                 picture_kind::png, make(info, icc), &team);
            }
    }
    return written ? 0 : 1;
}
