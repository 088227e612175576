// The console lines of a run that goes well, byte for byte: the usage text,
// the version and the start and end times. Each channel's lines have their own place
// (channel_console.h), and so have failures (messages.h).
#pragma once

#include <cstddef>

// Writes the usage text to the standard error stream.
void print_usage();

// Writes "velmora VERSION" and "codecs: BMP PNG ..." (the formats this
// build reads and writes) to the standard output stream.
void print_version();

// ctime's fixed form: 24 characters, a newline and the terminating NUL.
constexpr std::size_t time_text_size = 26;

// The local time now, in ctime's form.
void take_time(char* text);
void print_start_time(const char* start);
// The start time again, then the end time.
void print_end_times(const char* start, const char* end);
