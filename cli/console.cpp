#include "cli/console.h"

#include <cstdio>
#include <ctime>

#include "cli/options.h"

namespace {

constexpr int stage_count = 10;

const char* const stage_lines[stage_count] = {
    "horizontal DFT start!!\n",  "horizontal DFT end\n",
    "vertical DFT start!!\n",    "vertical DFT end!!\n",
    "high frequency 0 staffing start!!\n", "high frequency 0 staffing end!!\n",
    "horizontal IDFT start!!\n", "horizontal IDFT end!!\n",
    "vertical IDFT start!!\n",   "vertical IDFT end!!\n",
};

}  // namespace

void print_usage()
{
    std::fprintf(stderr, "Usage: VELMORA [options]\n");
    std::fprintf(stderr, "\toptions: \n");
    std::fprintf(stderr, "\t  -help          : help message display\n");
    std::fprintf(stderr, "\t  -i             : input picture file name (BMP, PNG, JPEG or TIFF)\n");
    std::fprintf(stderr, "\t  -o             : output file name (auto add .bmp, or the -format extension)\n");
    std::fprintf(stderr, "\t  -sizexminus    : difference between input horizontal picture size and output one \n");
    std::fprintf(stderr, "\t  -sizexminusy   : difference between input vertical picture size and output one\n");
    std::fprintf(stderr, "\t  -threads       : number of threads (default: every CPU the process may use)\n");
    std::fprintf(stderr, "\t  -format        : output file format: bmp, png, tiff or jpeg (default: bmp)\n");
    std::fprintf(stderr, "\t  -rounding      : nearest or truncate (default: truncate for bmp, nearest otherwise)\n");
    std::fprintf(stderr, "\t  -quality       : JPEG quality, 1 to 100 (default: %d)\n", default_jpeg_quality);
    std::fprintf(stderr, "\t  -max-pixels    : largest input picture, in pixels (default: %d)\n", default_pixel_budget);
}

void take_time(char* text)
{
    const std::time_t now = std::time(nullptr);
    const char* converted = std::ctime(&now);
    std::snprintf(text, time_text_size, "%s", converted ? converted : "(time unavailable)\n");
}

void print_start_time(const char* start)
{
    std::fprintf(stderr, "Start Time: %s\n", start);
}

void print_end_times(const char* start, const char* end)
{
    std::fprintf(stderr, "Start Time: %s\n", start);
    std::fprintf(stderr, "End   Time: %s\n", end);
}

void print_channel_start(const char* name)
{
    std::printf("%s START\n", name);
    std::fflush(stdout);
}

void print_through(channel_console* console, channel_stage stage)
{
    if (console->quiet)
        return;
    for (; console->printed <= static_cast<int>(stage); ++console->printed)
        std::fputs(stage_lines[console->printed], stderr);
}

void print_rest(channel_console* console)
{
    print_through(console, channel_stage::columns_back_end);
}

void print_channel_progress(const velmora::progress_event& event, void* user)
{
    const bool horizontal = event.axis == 1;
    channel_stage stage;
    switch (event.stage) {
    case velmora::progress_stage::forward_started:
        stage = horizontal ? channel_stage::rows_start : channel_stage::columns_start;
        break;
    case velmora::progress_stage::forward_ended:
        stage = horizontal ? channel_stage::rows_end : channel_stage::columns_end;
        break;
    case velmora::progress_stage::inverse_started:
        stage = horizontal ? channel_stage::rows_back_start : channel_stage::columns_back_start;
        break;
    case velmora::progress_stage::inverse_ended:
        stage = horizontal ? channel_stage::rows_back_end : channel_stage::columns_back_end;
        break;
    default:
        return;
    }
    print_through(static_cast<channel_console*>(user), stage);
}
