// Ending a run that cannot go on.
//
// fail_run prints "velmora: " and the formatted text as one line on the
// standard error stream and ends the process with status 1. Used for the
// checks that guard the run (options, input headers, limits, the output
// file); exhausted memory has its own terse messages (checked_alloc).
// Names and values quoted in a message go through printable first.
#pragma once

#include <string>

[[noreturn]] void fail_run(const char* format, ...) __attribute__((format(printf, 1, 2)));

// text with every control character written as a C escape (\n, \t, \x1b,
// ...), so that a file name or a value quoted in a message keeps it on one
// line. Other bytes, those of UTF-8 names included, are kept as they are.
std::string printable(const char* text);
