#include "cli/run.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "bmp/bmp_writer.h"
#include "cli/channel_pass.h"
#include "cli/checked_alloc.h"
#include "cli/console.h"
#include "cli/input_reader.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/run_record.h"
#include "codecs/picture_codec.h"
#include "velmora/velmora.h"

namespace {

// The output's kind and its extension, by -format.
const picture_kind format_kinds[] = {picture_kind::bmp, picture_kind::png, picture_kind::tiff, picture_kind::jpeg};
const char* const format_extensions[] = {".bmp", ".png", ".tif", ".jpg"};

int format_of(const resize_options& cnt)
{
    return cnt.format > 0 ? cnt.format - 1 : 0;
}

// The extension is always appended, so the base name may use the field but
// four characters (and the terminating NUL).
constexpr std::size_t max_base_name = name_field_size - 1 - 4;

void check_required(const resize_options& cnt)
{
    if (cnt.input_name[0] == '\0')
        fail_no_input();
    if (cnt.output_name[0] == '\0')
        fail_no_output();
    if (std::strlen(cnt.output_name) > max_base_name)
        fail_output_base_too_long(max_base_name, format_extensions[format_of(cnt)]);
}

run_record make_record(const resize_options& cnt, const input_picture& in, const velmora::thread_team& team)
{
    run_record run;
    run.input_name = cnt.input_name;
    run.output_name = std::string(cnt.output_name) + format_extensions[format_of(cnt)];
    run.out_kind = format_kinds[format_of(cnt)];
    run.width = in.width;
    run.height = in.height;
    // The sizes were checked against the differences with the header.
    run.out_width = in.width + cnt.sizexminus;
    run.out_height = in.height + cnt.sizexminusy;
    run.threads = velmora::team_threads(team);
    // BMP output truncates, as it always has; the other kinds round.
    if (cnt.rounding != 0)
        run.rounding = cnt.rounding == 1 ? velmora::rounding::nearest : velmora::rounding::truncate;
    else
        run.rounding = run.out_kind == picture_kind::bmp ? velmora::rounding::truncate : velmora::rounding::nearest;
    run.quality = cnt.quality != 0 ? cnt.quality : default_jpeg_quality;
    return run;
}

velmora::sample_type type_of(sample_format format)
{
    switch (format) {
    case sample_format::u8:
        return velmora::sample_type::uint8;
    case sample_format::u16:
        return velmora::sample_type::uint16;
    case sample_format::f32:
        return velmora::sample_type::float32;
    }
    return velmora::sample_type::uint8;
}

double top_of(sample_format format)
{
    return format == sample_format::u8 ? 255.0 : format == sample_format::u16 ? 65535.0 : 1.0;
}

velmora::array_view channel_view(void* base, velmora::sample_type type, std::int64_t height, std::int64_t width,
                                 std::int64_t row_step, std::int64_t column_step)
{
    velmora::array_view view;
    view.data = base;
    view.type = type;
    view.rank = 2;
    view.sizes[0] = height;
    view.sizes[1] = width;
    view.strides[0] = row_step;
    view.strides[1] = column_step;
    return view;
}

// BMP planes, stored column by column.
channel_set planes_channels(const input_picture& in)
{
    channel_set set{};
    set.colours = 3;
    set.top = 255.0;
    const std::uint8_t* planes[3] = {in.planes.RIN, in.planes.GIN, in.planes.BIN};
    for (int c = 0; c < 3; ++c)
        set.channel[c] = channel_view(const_cast<std::uint8_t*>(planes[c]), velmora::sample_type::uint8, in.height,
                                      in.width, 1, in.height);
    return set;
}

// An interleaved picture, top row first.
channel_set picture_channels(const picture& image)
{
    const picture_info& info = image.info;
    channel_set set{};
    set.alpha = info.channels % 2 == 0;
    set.colours = info.channels - (set.alpha ? 1 : 0);
    set.top = top_of(info.format);
    set.premultiplied = info.premultiplied;
    const auto sample = static_cast<std::int64_t>(sample_bytes(info.format));
    for (int c = 0; c < info.channels; ++c)
        set.channel[c] = channel_view(image.samples.get() + c * sample, type_of(info.format), info.height, info.width,
                                      static_cast<std::int64_t>(row_bytes(info)), static_cast<std::int64_t>(pixel_bytes(info)));
    return set;
}

// The output picture as the BMP file stores it, written as it stands.
struct output_picture {
    std::uint8_t* UPOUT;  // stored pixel rows, stride bytes each
    std::size_t stride;
};

// The stored rows of a BMP file: bottom row first, blue, green, red.
channel_set bmp_channels(const output_picture& out, std::int32_t width, std::int32_t height)
{
    channel_set set{};
    set.colours = 3;
    set.top = 255.0;
    const auto stride = static_cast<std::int64_t>(out.stride);
    for (int c = 0; c < 3; ++c)
        set.channel[c] = channel_view(out.UPOUT + (height - 1) * stride + (2 - c), velmora::sample_type::uint8, height,
                                      width, -stride, 3);
    return set;
}

// What a PNG, JPEG or TIFF output holds: the input's channels and precision
// where the format can hold them (PNG has no float samples and no
// premultiplied alpha); JPEG, like BMP, RGB at 8 bits.
picture_info output_info(const run_record& run, const input_picture& in)
{
    picture_info info;
    info.width = run.out_width;
    info.height = run.out_height;
    const bool bmp_input = in.kind == picture_kind::bmp;
    info.channels = bmp_input ? 3 : in.image.info.channels;
    info.format = bmp_input ? sample_format::u8 : in.image.info.format;
    info.premultiplied = !bmp_input && in.image.info.premultiplied;
    if (run.out_kind == picture_kind::jpeg) {
        info.channels = 3;
        info.format = sample_format::u8;
        info.premultiplied = false;
    } else if (run.out_kind == picture_kind::png) {
        if (info.format == sample_format::f32)
            info.format = sample_format::u16;
        info.premultiplied = false;
    }
    return info;
}

// Makes the output ready before any channel is resized.
void prepare_output(const resize_options& cnt, const run_record& run, output_target* output)
{
    if (run.output_name.size() >= name_field_size)
        fail_output_name_too_long();
    // "-o pictures/" would make the hidden file pictures/.bmp.
    const std::size_t length = std::strlen(cnt.output_name);
    if (length > 0 && cnt.output_name[length - 1] == '/')
        fail_output_without_file_part(run.output_name.c_str());
    output_prepare(run.output_name.c_str(), output);
}

// The output picture in the file's own layout, its row padding zeroed; the
// channel pass fills every pixel.
output_picture make_output_picture(std::int32_t width, std::int32_t height)
{
    output_picture out;
    out.stride = bmp_stored_rows_size(width, 1);
    out.UPOUT = checked_array<std::uint8_t>(bmp_stored_rows_size(width, height), "UPOUT");
    const std::size_t pixels = 3 * static_cast<std::size_t>(width);
    for (std::int32_t row = 0; row < height; ++row)
        std::memset(out.UPOUT + static_cast<std::size_t>(row) * out.stride + pixels, 0, out.stride - pixels);
    return out;
}

void release_input(input_picture* in)
{
    std::free(in->planes.BIN);
    std::free(in->planes.GIN);
    std::free(in->planes.RIN);
    in->planes = input_planes{};
    in->image = picture{};
}

}  // namespace

int run_velmora(int argc, char** argv)
{
    if (argc < 2) {
        print_usage();
        return 0;
    }
    // The parser walks the arguments with a 16-bit index.
    if (argc > INT16_MAX)
        fail_too_many_arguments(INT16_MAX - 1);

    // Zeroed, so that an option that is not given reads as empty or 0.
    auto* cnt = static_cast<resize_options*>(checked_alloc(sizeof(resize_options), "cnt"));
    std::memset(cnt, 0, sizeof *cnt);
    cnt->x = 720;
    cnt->y = 480;
    cnt->orgx = 720;
    cnt->orgy = 480;
    parse_options(static_cast<std::int16_t>(argc), argv, cnt);
    check_required(*cnt);
    // One team for the whole run: the reading, every channel's plan and the
    // writing take turns on its threads.
    velmora::thread_team team;
    const velmora::result started = velmora::make_thread_team(&team, cnt->threads);
    if (!started)
        fail_resize(started);

    input_picture in = read_input(*cnt, team);
    const run_record run = make_record(*cnt, in, team);
    output_target output;
    prepare_output(*cnt, run, &output);
    const channel_set from = in.kind == picture_kind::bmp ? planes_channels(in) : picture_channels(in.image);
    // BMP and JPEG hold three colours and no alpha, and say so on the console.
    const bool rgb = run.out_kind == picture_kind::bmp || run.out_kind == picture_kind::jpeg;
    const channel_pass_settings settings{&team, run.rounding, rgb};
    if (run.out_kind == picture_kind::bmp) {
        // The picture goes straight into the file's pages where it can.
        const std::size_t file_bytes = bmp_header_size + bmp_stored_rows_size(run.out_width, run.out_height);
        std::uint8_t* mapped = output_map(run.output_name.c_str(), &output, file_bytes);
        const output_picture out = mapped ? output_picture{mapped + bmp_header_size, bmp_stored_rows_size(run.out_width, 1)}
                                          : make_output_picture(run.out_width, run.out_height);
        run_channel_pass(from, bmp_channels(out, run.out_width, run.out_height), settings);
        release_input(&in);
        if (mapped) {
            output_commit_mapped(run.output_name.c_str(), &output, mapped, file_bytes, run.out_width, run.out_height);
        } else {
            output_commit(run.output_name.c_str(), &output, out.UPOUT, run.out_width, run.out_height);
            std::free(out.UPOUT);
        }
    } else {
        // On the run's own blocks (huge pages), which the plans populate.
        picture image;
        image.info = output_info(run, in);
        image.samples.reset(checked_array<std::uint8_t>(picture_bytes(image.info), "UPOUT"));
        // The colour profile goes along between PNG, JPEG and TIFF.
        if (in.image.icc && picture_set_icc(&image, in.image.icc.get(), in.image.icc_size).failed())
            fail_no_memory("icc");
        run_channel_pass(from, picture_channels(image), settings);
        release_input(&in);
        codec_warnings warnings;
        output_commit_picture(run.output_name.c_str(), &output, run.out_kind, image, run.quality, team, &warnings);
        print_warnings(run.output_name.c_str(), warnings);
    }
    std::free(cnt);
    return 0;
}
