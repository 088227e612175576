#include "cli/run.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bmp/bmp_writer.h"
#include "bmp/plane.h"
#include "cli/channel_pass.h"
#include "cli/fail.h"
#include "cli/input_reader.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "velmora/velmora.h"
#include "cli/checked_alloc.h"

namespace {

// A copy of the output base name, so that the file name can be formatted
// from it into output_name without source and destination overlapping.
char output_base_name[name_field_size];

// ".bmp" is always appended, so the base name may use the field but four
// characters (and the terminating NUL).
constexpr std::size_t max_base_name = name_field_size - 1 - 4;

// Where the output file goes, open from the preparation to the commit.
output_target output;

void check_required(const resize_options* cnt)
{
    if (cnt->input_name[0] == '\0')
        fail_run("no input file: give one with -i");
    if (cnt->output_name[0] == '\0')
        fail_run("no output name: give one with -o");
    if (std::strlen(cnt->output_name) > max_base_name)
        fail_run("the output name given with -o is too long (at most %zu characters, to leave room for \".bmp\")",
                 max_base_name);
}

// Formats the file name into output_name and makes the output ready, before
// any channel is resized.
void prepare_output(resize_options* cnt)
{
    // The base name was checked to leave room for the extension.
    if (std::snprintf(cnt->output_name, sizeof cnt->output_name, "%s.bmp", output_base_name) >=
        static_cast<int>(sizeof cnt->output_name))
        fail_run("the output name is too long");
    // "-o pictures/" would make the hidden file pictures/.bmp.
    const std::size_t length = std::strlen(output_base_name);
    if (length > 0 && output_base_name[length - 1] == '/')
        fail_run("cannot write the output file %s: the name given with -o has no file part",
                 printable(cnt->output_name).c_str());
    output_prepare(cnt->output_name, &output);
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

}  // namespace

int run_velmora(int argc, char** argv)
{
    orgx = 720;
    orgy = 480;
    if (argc < 2) {
        print_usage();
        return 0;
    }
    // The parser walks the arguments with a 16-bit index.
    if (argc > INT16_MAX)
        fail_run("too many arguments (at most %d)", INT16_MAX - 1);

    // Zeroed, so that an option that is not given reads as empty or 0.
    auto* cnt = static_cast<resize_options*>(checked_alloc(sizeof(resize_options), "cnt"));
    std::memset(cnt, 0, sizeof *cnt);
    cnt->x = 720;
    cnt->y = 480;
    cnt->startx = 0;
    cnt->starty = 0;
    parse_options(static_cast<std::int16_t>(argc), argv, cnt);
    check_required(cnt);
    if (cnt->threads == 0)
        cnt->threads = velmora::available_threads();
    image_width = orgx;
    image_height = orgy;
    std::snprintf(output_base_name, sizeof output_base_name, "%s", cnt->output_name);

    const input_planes in = read_bitmap(cnt);
    prepare_output(cnt);
    const std::int32_t out_width = image_width + cnt->sizexminus;
    const std::int32_t out_height = image_height + cnt->sizexminusy;
    const output_picture out = make_output_picture(out_width, out_height);
    const channel_sizes sizes{image_width, image_height, out_width, out_height};
    run_channel_pass(sizes, cnt->threads, in, out);
    std::free(in.BIN);
    std::free(in.GIN);
    std::free(in.RIN);

    image_width = out_width;
    image_height = out_height;
    output_commit(cnt->output_name, &output, out.UPOUT, image_width, image_height);
    std::free(out.UPOUT);
    std::free(cnt);
    return 0;
}
