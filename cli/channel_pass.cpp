#include "cli/channel_pass.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "cli/fail.h"
#include "velmora/velmora.h"

namespace {

// ctime's fixed form: 24 characters, a newline and the terminating NUL.
constexpr std::size_t time_text_size = 26;

void take_time(char* text)
{
    const std::time_t now = std::time(nullptr);
    const char* converted = std::ctime(&now);
    std::snprintf(text, time_text_size, "%s", converted ? converted : "(time unavailable)\n");
}

void announce(const char* start_line)
{
    std::fputs(start_line, stdout);
    // So that the line shows before the channel's progress on the other stream.
    std::fflush(stdout);
}

// The ten progress lines of a channel, in order. Every channel prints all
// of them, whatever passes its sizes need: scripts count them.
constexpr int stage_count = 10;
const char* const stage_lines[stage_count] = {
    "horizontal DFT start!!\n",  "horizontal DFT end\n",
    "vertical DFT start!!\n",    "vertical DFT end!!\n",
    "high frequency 0 staffing start!!\n", "high frequency 0 staffing end!!\n",
    "horizontal IDFT start!!\n", "horizontal IDFT end!!\n",
    "vertical IDFT start!!\n",   "vertical IDFT end!!\n",
};

// How far a channel's lines have been printed; a library event prints every
// line up to its own, so that the lines of a pass a channel leaves out (a
// side that keeps its size) still come, in their place.
struct console_progress {
    int printed;
};

void print_through(console_progress* console, int stage)
{
    for (; console->printed <= stage; ++console->printed)
        std::fputs(stage_lines[console->printed], stderr);
}

// A channel is rows (axis 0) by columns (axis 1): passes along axis 1 are
// the horizontal ones.
void on_progress(const velmora::progress_event& event, void* user)
{
    const bool horizontal = event.axis == 1;
    int stage = -1;
    switch (event.stage) {
    case velmora::progress_stage::forward_started:
        stage = horizontal ? 0 : 2;
        break;
    case velmora::progress_stage::forward_ended:
        stage = horizontal ? 1 : 3;
        break;
    case velmora::progress_stage::inverse_started:
        // The zero stuffing lies between the forward and inverse passes.
        stage = horizontal ? 6 : 8;
        break;
    case velmora::progress_stage::inverse_ended:
        stage = horizontal ? 7 : 9;
        break;
    default:
        return;
    }
    print_through(static_cast<console_progress*>(user), stage);
}

[[noreturn]] void fail_channel(const velmora::result& failure)
{
    if (failure.code == velmora::status::no_memory) {
        // A transform plan has its own message; the arrays name themselves.
        if (std::strcmp(failure.name, "plan") == 0)
            std::printf("failure!!!!\n");
        else
            std::printf("%s no memory!!\n", failure.name);
        std::exit(1);
    }
    fail_run("%s", failure.message);
}

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
    console_progress console{0};
};

void resize_one(channel_resizer* r, const char* start_line, const std::uint8_t* in, int colour)
{
    announce(start_line);
    r->console.printed = 0;
    const velmora::array_view from = plane_view(r->sizes, in);
    const velmora::array_view to = colour_view(r->sizes, r->out, colour);
    if (!r->plan.state) {
        // The first channel makes what all three share; running short of
        // memory there is reported inside its first pass.
        print_through(&r->console, 0);
        const velmora::result made = velmora::make_plan(&r->plan, from, to, r->how);
        if (!made)
            fail_channel(made);
    }
    const velmora::result done = velmora::run(r->plan, from, to);
    if (!done)
        fail_channel(done);
    print_through(&r->console, stage_count - 1);
}

// A channel equal to one already resized (every channel of a grey picture)
// resizes to the same result: it is copied, and only its console lines are
// printed.
void copy_one(const char* start_line, const channel_sizes& sizes, const output_picture& out, int from, int to)
{
    announce(start_line);
    for (std::int32_t row = 0; row < sizes.H2; ++row) {
        std::uint8_t* pixel = out.UPOUT + static_cast<std::size_t>(row) * out.stride;
        for (std::int32_t x = 0; x < sizes.W2; ++x, pixel += 3)
            pixel[to] = pixel[from];
    }
    console_progress console{0};
    print_through(&console, stage_count - 1);
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
    std::fprintf(stderr, "Start Time: %s\n", start_text);
    const std::size_t in_size = static_cast<std::size_t>(sizes.W) * static_cast<std::size_t>(sizes.H);
    channel_resizer resizer{sizes, out, {}, {}};
    resizer.how.threads = threads;
    resizer.how.rounding = velmora::rounding::truncate;
    // A channel is one picture: when one side keeps its size, its rows (or
    // columns) pair with each other, as they always have.
    resizer.how.pairing = velmora::pairing::across_sets;
    resizer.how.progress = on_progress;
    resizer.how.progress_user = &resizer.console;
    resize_one(&resizer, "RED START\n", in.RIN, red);
    if (same_plane(in.GIN, in.RIN, in_size))
        copy_one("GREEN START\n", sizes, out, red, green);
    else
        resize_one(&resizer, "GREEN START\n", in.GIN, green);
    if (same_plane(in.BIN, in.RIN, in_size))
        copy_one("BLUE START\n", sizes, out, red, blue);
    else if (same_plane(in.BIN, in.GIN, in_size))
        copy_one("BLUE START\n", sizes, out, green, blue);
    else
        resize_one(&resizer, "BLUE START\n", in.BIN, blue);
    resizer.plan = velmora::plan{};
    take_time(end_text);
    std::fprintf(stderr, "Start Time: %s\n", start_text);
    std::fprintf(stderr, "End   Time: %s\n", end_text);
}
