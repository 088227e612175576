#include "cli/channel_pass.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "resize/resize_channel.h"

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

// The byte of each colour within a stored pixel.
constexpr int blue = 0, green = 1, red = 2;

// One colour of the stored rows as the resize writes it: sample (x, y) of
// the picture is in stored row H' - 1 - y.
channel_output colour_of(const channel_sizes& sizes, const output_picture& out, int colour)
{
    const auto stride = static_cast<std::ptrdiff_t>(out.stride);
    return channel_output{out.UPOUT + (sizes.H2 - 1) * stride + colour, 3, -stride};
}

void resize_one(const char* start_line, channel_engine* engine, const std::uint8_t* in, channel_output out)
{
    announce(start_line);
    resize_channel(engine, in, out);
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
    print_channel_progress();
}

bool same_plane(const std::uint8_t* a, const std::uint8_t* b, std::size_t size)
{
    return std::memcmp(a, b, size) == 0;
}

}  // namespace

void run_channel_pass(const channel_sizes& sizes, const engine_settings& settings, const input_planes& in,
                      const output_picture& out)
{
    char start_text[time_text_size];
    char end_text[time_text_size];
    take_time(start_text);
    std::fprintf(stderr, "Start Time: %s\n", start_text);
    const std::size_t in_size = static_cast<std::size_t>(sizes.W) * static_cast<std::size_t>(sizes.H);
    channel_engine engine;
    channel_engine_init(&engine, sizes, settings);
    resize_one("RED START\n", &engine, in.RIN, colour_of(sizes, out, red));
    if (same_plane(in.GIN, in.RIN, in_size))
        copy_one("GREEN START\n", sizes, out, red, green);
    else
        resize_one("GREEN START\n", &engine, in.GIN, colour_of(sizes, out, green));
    if (same_plane(in.BIN, in.RIN, in_size))
        copy_one("BLUE START\n", sizes, out, red, blue);
    else if (same_plane(in.BIN, in.GIN, in_size))
        copy_one("BLUE START\n", sizes, out, green, blue);
    else
        resize_one("BLUE START\n", &engine, in.BIN, colour_of(sizes, out, blue));
    channel_engine_release(&engine);
    take_time(end_text);
    std::fprintf(stderr, "Start Time: %s\n", start_text);
    std::fprintf(stderr, "End   Time: %s\n", end_text);
}
