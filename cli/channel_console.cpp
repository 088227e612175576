#include "cli/channel_console.h"

#include <cstdio>

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
