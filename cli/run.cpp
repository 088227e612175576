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
#include "velmora/velmora.h"

namespace {

// ".bmp" is always appended, so the base name may use the field but four
// characters (and the terminating NUL).
constexpr std::size_t max_base_name = name_field_size - 1 - 4;

void check_required(const resize_options& cnt)
{
    if (cnt.input_name[0] == '\0')
        fail_no_input();
    if (cnt.output_name[0] == '\0')
        fail_no_output();
    if (std::strlen(cnt.output_name) > max_base_name)
        fail_output_base_too_long(max_base_name);
}

run_record make_record(const resize_options& cnt, const input_picture& in)
{
    run_record run;
    run.input_name = cnt.input_name;
    run.output_name = std::string(cnt.output_name) + ".bmp";
    run.width = in.width;
    run.height = in.height;
    // The sizes were checked against the differences with the header.
    run.out_width = in.width + cnt.sizexminus;
    run.out_height = in.height + cnt.sizexminusy;
    run.threads = cnt.threads != 0 ? cnt.threads : velmora::available_threads();
    return run;
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

    const input_picture in = read_bitmap(*cnt);
    const run_record run = make_record(*cnt, in);
    output_target output;
    prepare_output(*cnt, run, &output);
    const output_picture out = make_output_picture(run.out_width, run.out_height);
    run_channel_pass(channel_sizes{run.width, run.height, run.out_width, run.out_height}, run.threads, in.planes,
                     out);
    std::free(in.planes.BIN);
    std::free(in.planes.GIN);
    std::free(in.planes.RIN);
    output_commit(run.output_name.c_str(), &output, out.UPOUT, run.out_width, run.out_height);
    std::free(out.UPOUT);
    std::free(cnt);
    return 0;
}
