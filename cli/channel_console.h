// The console lines of each channel of a run, byte for byte: its start line
// ("RED START", ...) and its ten progress lines, which the library's
// progress events drive.
#pragma once

#include "velmora/velmora.h"

// A channel's start line ("RED START" ...) on the standard output stream,
// flushed so that it shows before the channel's progress on the other one.
void print_channel_start(const char* name);

// How far a channel's ten progress lines have been printed. Every channel
// prints all ten, in order, whatever passes its sizes need (scripts count
// them): a line that a resize reaches prints every line before it that
// has not been printed yet.
struct channel_console {
    int printed = 0;
    bool quiet = false;  // work done ahead of its channel prints nothing
};

enum class channel_stage {
    rows_start,
    rows_end,
    columns_start,
    columns_end,
    band_start,
    band_end,
    rows_back_start,
    rows_back_end,
    columns_back_start,
    columns_back_end,
};

void print_through(channel_console* console, channel_stage stage);
// The rest of the ten.
void print_rest(channel_console* console);

// A progress callback for the library that prints a channel's lines from
// its events; user is the channel_console. A channel is rows (axis 0) by
// columns (axis 1): the passes along axis 1 are the horizontal ones, and
// the zero stuffing lies between the forward and the inverse passes.
void print_channel_progress(const velmora::progress_event& event, void* user);
