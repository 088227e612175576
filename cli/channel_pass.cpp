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

void resize_one(const char* start_line, const channel_sizes& sizes, int threads, const std::uint8_t* in,
                std::uint8_t* out)
{
    std::fputs(start_line, stdout);
    // So that the line shows before the channel's progress on the other stream.
    std::fflush(stdout);
    resize_channel(sizes, in, out, threads);
}

}  // namespace

void run_channel_pass(const channel_sizes& sizes, int threads, const input_planes& in, const output_planes& out)
{
    char start_text[time_text_size];
    char end_text[time_text_size];
    take_time(start_text);
    std::fprintf(stderr, "Start Time: %s\n", start_text);
    resize_one("RED START\n", sizes, threads, in.RIN, out.RUPOUT);
    resize_one("GREEN START\n", sizes, threads, in.GIN, out.GUPOUT);
    resize_one("BLUE START\n", sizes, threads, in.BIN, out.BUPOUT);
    take_time(end_text);
    std::fprintf(stderr, "Start Time: %s\n", start_text);
    std::fprintf(stderr, "End   Time: %s\n", end_text);
}
