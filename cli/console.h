// The console lines of a run that goes well, byte for byte: the usage text,
// the start and end times, each channel's start line and its ten progress
// lines. Failures have their own place (messages.h).
#pragma once

#include <cstddef>

#include "velmora/velmora.h"

// Writes the usage text to the standard error stream.
void print_usage();

// ctime's fixed form: 24 characters, a newline and the terminating NUL.
constexpr std::size_t time_text_size = 26;

// The local time now, in ctime's form.
void take_time(char* text);
void print_start_time(const char* start);
// The start time again, then the end time.
void print_end_times(const char* start, const char* end);

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
