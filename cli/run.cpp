#include "cli/run.h"

#include <strings.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cli/channel_pass.h"
#include "cli/checked_alloc.h"
#include "cli/console.h"
#include "cli/input_reader.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/output_size.h"
#include "cli/run_record.h"
#include "cli/standard_streams.h"
#include "picture/picture_codec.h"
#include "velmora/velmora.h"

namespace {

// The output's kind and its extensions, by -format; the first is the one
// appended.
struct format_row {
    picture_kind kind;
    const char* extensions[2];
};

const format_row formats[] = {
    {picture_kind::bmp, {".bmp", nullptr}},
    {picture_kind::png, {".png", nullptr}},
    {picture_kind::tiff, {".tif", ".tiff"}},
    {picture_kind::jpeg, {".jpg", ".jpeg"}},
};

const format_row& format_of(const resize_options& options)
{
    return formats[options.format > 0 ? options.format - 1 : 0];
}

// "-o -": descriptor 1, never a file named "-".
bool to_standard_output(const resize_options& options)
{
    return std::strcmp(options.output_name, "-") == 0;
}

bool ends_with_ignoring_case(const char* name, const char* ending)
{
    const std::size_t length = std::strlen(name);
    const std::size_t ending_length = std::strlen(ending);
    return length >= ending_length && strcasecmp(name + length - ending_length, ending) == 0;
}

// What follows the name given with -o: nothing on standard output, nor for
// a PNG, TIFF or JPEG name that ends in one of the kind's extensions; a BMP
// name gets ".bmp" whatever it ends in, as it always has.
const char* appended_extension(const resize_options& options)
{
    const format_row& format = format_of(options);
    if (to_standard_output(options))
        return "";
    if (format.kind != picture_kind::bmp)
        for (const char* extension : format.extensions)
            if (extension && ends_with_ignoring_case(options.output_name, extension))
                return "";
    return format.extensions[0];
}

// An appended extension has four characters, so the base name may then use
// the field but four (and the terminating NUL).
constexpr std::size_t max_base_name = name_field_size - 1 - 4;

void check_required(const resize_options& options)
{
    if (options.input_name[0] == '\0')
        fail_no_input();
    if (options.output_name[0] == '\0')
        fail_no_output();
    const char* extension = appended_extension(options);
    if (extension[0] != '\0' && std::strlen(options.output_name) > max_base_name)
        fail_output_base_too_long(max_base_name, extension);
}

run_record make_record(const resize_options& options, const picture_info& in)
{
    run_record run;
    run.output_name = std::string(options.output_name) + appended_extension(options);
    run.out_kind = format_of(options).kind;
    // The sizes were checked with the header.
    const output_sides out = requested_sides(options, in.width, in.height);
    run.out_width = static_cast<std::int32_t>(out.width);
    run.out_height = static_cast<std::int32_t>(out.height);
    // BMP output truncates, as it always has; the other kinds round.
    if (options.rounding != 0)
        run.rounding = options.rounding == 1 ? velmora::rounding::nearest : velmora::rounding::truncate;
    else
        run.rounding = run.out_kind == picture_kind::bmp ? velmora::rounding::truncate : velmora::rounding::nearest;
    run.quality = options.quality != 0 ? options.quality : default_jpeg_quality;
    return run;
}

// Makes the output ready before any channel is resized. picture_out is
// the standard output's copy for "-o -".
void prepare_output(const resize_options& options, const run_record& run, int picture_out, output_target* output)
{
    if (picture_out >= 0) {
        output_prepare_descriptor(picture_out, output);
        return;
    }
    if (run.output_name.size() >= name_field_size)
        fail_output_name_too_long();
    // "-o pictures/" would make the hidden file pictures/.bmp.
    const std::size_t length = std::strlen(options.output_name);
    if (length > 0 && options.output_name[length - 1] == '/')
        fail_output_without_file_part(run.output_name.c_str());
    output_prepare(run.output_name.c_str(), output);
}

// Where the channel pass writes the output: straight into the file's pages
// where the kind is made in place and the file can be mapped, else a
// picture of the run's that its writer encodes.
struct output_picture {
    picture_view view;
    picture image;
    std::uint8_t* file = nullptr;  // the mapped file
    std::size_t file_size = 0;
};

void make_output(const run_record& run, const picture& in, output_target* output, output_picture* out)
{
    picture_info info = picture_fit(run.out_kind, in.info);
    info.width = run.out_width;
    info.height = run.out_height;
    out->file_size = picture_in_place_size(run.out_kind, info);
    if (out->file_size > 0)
        out->file = output_map(run.output_name.c_str(), output, out->file_size);
    if (out->file) {
        out->view = picture_in_place_view(run.out_kind, info, out->file);
        return;
    }
    // On the run's own blocks (huge pages), which the plans populate.
    out->image.info = info;
    out->image.samples.reset(checked_array<std::uint8_t>(picture_bytes(info), "UPOUT"));
    // The colour profile goes along where the format carries one.
    if (in.icc && picture_keeps_profile(run.out_kind) &&
        picture_set_icc(&out->image, in.icc.get(), in.icc_size).failed())
        fail_no_memory("icc");
    out->view = view_of(out->image);
}

void write_output(const run_record& run, output_target* output, output_picture* out, velmora::thread_team& team)
{
    const char* name = run.output_name.c_str();
    if (out->file) {
        picture_in_place_finish(run.out_kind, out->view.info, out->file);
        output_commit_mapped(name, output, out->file, out->file_size);
        return;
    }
    codec_warnings warnings;
    output_commit_picture(name, output, run.out_kind, out->image, run.quality, team, &warnings);
    print_warnings(name, warnings);
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
    auto* options = static_cast<resize_options*>(checked_alloc(sizeof(resize_options), "cnt"));
    std::memset(options, 0, sizeof *options);
    parse_options(static_cast<std::int16_t>(argc), argv, options);
    check_required(*options);
    // From here on no console line can reach a picture on standard output.
    const int picture_out = to_standard_output(*options) ? take_standard_output() : -1;
    // One team for the whole run: the reading, every channel's plan and the
    // writing take turns on its threads.
    velmora::thread_team team;
    const velmora::result started = velmora::make_thread_team(&team, options->threads);
    if (!started)
        fail_resize(started);

    picture in = read_input(*options, team);
    const run_record run = make_record(*options, in.info);
    output_target output;
    prepare_output(*options, run, picture_out, &output);
    output_picture out;
    make_output(run, in, &output, &out);
    run_channel_pass(view_of(in), out.view, &team, run.rounding);
    in = picture{};
    write_output(run, &output, &out, team);
    std::free(options);
    return 0;
}
