#include "cli/channel_pass.h"

#include <cstring>

#include "cli/console.h"
#include "cli/messages.h"

namespace {

// The byte of each colour within a stored pixel.
constexpr int blue = 0, green = 1, red = 2;

velmora::array_view plane_view(const channel_sizes& sizes, const std::uint8_t* plane)
{
    velmora::array_view view;
    view.data = const_cast<std::uint8_t*>(plane);
    view.type = velmora::sample_type::uint8;
    view.rank = 2;
    view.sizes[0] = sizes.H;
    view.sizes[1] = sizes.W;
    // Planes are stored column by column.
    view.strides[0] = 1;
    view.strides[1] = sizes.H;
    return view;
}

// One colour of the stored rows: sample (x, y) of the picture is in stored
// row H' - 1 - y.
velmora::array_view colour_view(const channel_sizes& sizes, const output_picture& out, int colour)
{
    const auto stride = static_cast<std::int64_t>(out.stride);
    velmora::array_view view;
    view.data = out.UPOUT + (sizes.H2 - 1) * stride + colour;
    view.type = velmora::sample_type::uint8;
    view.rank = 2;
    view.sizes[0] = sizes.H2;
    view.sizes[1] = sizes.W2;
    view.strides[0] = -stride;
    view.strides[1] = 3;
    return view;
}

struct channel_resizer {
    const channel_sizes& sizes;
    const output_picture& out;
    velmora::settings how;
    velmora::plan plan;
    channel_console console;
};

void resize_one(channel_resizer* r, const char* name, const std::uint8_t* in, int colour)
{
    print_channel_start(name);
    r->console = channel_console{};
    const velmora::array_view from = plane_view(r->sizes, in);
    const velmora::array_view to = colour_view(r->sizes, r->out, colour);
    if (!r->plan.state) {
        // The first channel makes what all three share; running short of
        // memory there is reported inside its first pass.
        print_through(&r->console, channel_stage::rows_start);
        const velmora::result made = velmora::make_plan(&r->plan, from, to, r->how);
        if (!made)
            fail_resize(made);
    }
    const velmora::result done = velmora::run(r->plan, from, to);
    if (!done)
        fail_resize(done);
    print_rest(&r->console);
}

// A channel equal to one already resized (every channel of a grey picture)
// resizes to the same result: it is copied, and only its console lines are
// printed.
void copy_one(const char* name, const channel_sizes& sizes, const output_picture& out, int from, int to)
{
    print_channel_start(name);
    for (std::int32_t row = 0; row < sizes.H2; ++row) {
        std::uint8_t* pixel = out.UPOUT + static_cast<std::size_t>(row) * out.stride;
        for (std::int32_t x = 0; x < sizes.W2; ++x, pixel += 3)
            pixel[to] = pixel[from];
    }
    channel_console console;
    print_rest(&console);
}

bool same_plane(const std::uint8_t* a, const std::uint8_t* b, std::size_t size)
{
    return std::memcmp(a, b, size) == 0;
}

}  // namespace

void run_channel_pass(const channel_sizes& sizes, int threads, const input_planes& in, const output_picture& out)
{
    char start_text[time_text_size];
    char end_text[time_text_size];
    take_time(start_text);
    print_start_time(start_text);
    const std::size_t in_size = static_cast<std::size_t>(sizes.W) * static_cast<std::size_t>(sizes.H);
    channel_resizer resizer{sizes, out, {}, {}, {}};
    resizer.how.threads = threads;
    resizer.how.rounding = velmora::rounding::truncate;
    // A channel is one picture: when one side keeps its size, its rows (or
    // columns) pair with each other, as they always have.
    resizer.how.pairing = velmora::pairing::across_sets;
    resizer.how.progress = print_channel_progress;
    resizer.how.progress_user = &resizer.console;
    resize_one(&resizer, "RED", in.RIN, red);
    if (same_plane(in.GIN, in.RIN, in_size))
        copy_one("GREEN", sizes, out, red, green);
    else
        resize_one(&resizer, "GREEN", in.GIN, green);
    if (same_plane(in.BIN, in.RIN, in_size))
        copy_one("BLUE", sizes, out, red, blue);
    else if (same_plane(in.BIN, in.GIN, in_size))
        copy_one("BLUE", sizes, out, green, blue);
    else
        resize_one(&resizer, "BLUE", in.BIN, blue);
    resizer.plan = velmora::plan{};
    take_time(end_text);
    print_end_times(start_text, end_text);
}
