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

void resize_one(const char* start_line, channel_engine* engine, const std::uint8_t* in, std::uint8_t* out)
{
    announce(start_line);
    resize_channel(engine, in, out);
}

// A channel equal to one already resized (every channel of a grey picture)
// resizes to the same result: it is copied, and only its console lines are
// printed.
void copy_one(const char* start_line, std::size_t size, const std::uint8_t* red_out, std::uint8_t* out)
{
    announce(start_line);
    std::memcpy(out, red_out, size);
    print_channel_progress();
}

bool same_plane(const std::uint8_t* a, const std::uint8_t* b, std::size_t size)
{
    return std::memcmp(a, b, size) == 0;
}

}  // namespace

void run_channel_pass(const channel_sizes& sizes, const engine_settings& settings, const input_planes& in,
                      const output_planes& out)
{
    char start_text[time_text_size];
    char end_text[time_text_size];
    take_time(start_text);
    std::fprintf(stderr, "Start Time: %s\n", start_text);
    const std::size_t in_size = static_cast<std::size_t>(sizes.W) * static_cast<std::size_t>(sizes.H);
    const std::size_t out_size = static_cast<std::size_t>(sizes.W2) * static_cast<std::size_t>(sizes.H2);
    channel_engine engine;
    channel_engine_init(&engine, sizes, settings);
    resize_one("RED START\n", &engine, in.RIN, out.RUPOUT);
    if (same_plane(in.GIN, in.RIN, in_size))
        copy_one("GREEN START\n", out_size, out.RUPOUT, out.GUPOUT);
    else
        resize_one("GREEN START\n", &engine, in.GIN, out.GUPOUT);
    if (same_plane(in.BIN, in.RIN, in_size))
        copy_one("BLUE START\n", out_size, out.RUPOUT, out.BUPOUT);
    else if (same_plane(in.BIN, in.GIN, in_size))
        copy_one("BLUE START\n", out_size, out.GUPOUT, out.BUPOUT);
    else
        resize_one("BLUE START\n", &engine, in.BIN, out.BUPOUT);
    channel_engine_release(&engine);
    take_time(end_text);
    std::fprintf(stderr, "Start Time: %s\n", start_text);
    std::fprintf(stderr, "End   Time: %s\n", end_text);
}
