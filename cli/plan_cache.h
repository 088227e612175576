// The library plans of a run's channels: one per pair of sample types,
// made by the first channel that needs it and kept for the others (every
// channel of a run has the same sizes), their lines on the run's team.
// Each channel's progress lines come from its resize (channel_console.h).
// A failure of the library ends the process with its message.
#pragma once

#include "cli/channel_console.h"
#include "velmora/velmora.h"

struct plan_cache {
    velmora::settings how;
    channel_console console;  // the lines of the channel being resized
    struct entry {
        velmora::sample_type in, out;
        velmora::plan plan;
    } entries[4];
    int count = 0;
    bool first_made = false;
};

void plan_cache_start(plan_cache* cache, velmora::thread_team* team, velmora::rounding rounding);

// Resizes one channel (rows by columns) with the plan for its types,
// printing its progress.
void resize_channel(plan_cache* cache, const velmora::array_view& in, const velmora::array_view& out);
