// Ending a run that cannot go on.
//
// fail_run prints "velmora: " and the formatted text as one line on the
// standard error stream and ends the process with status 1. Used for the
// checks that guard the run (options, input headers, limits, the output
// file); exhausted memory has its own terse messages (checked_alloc).
#pragma once

[[noreturn]] void fail_run(const char* format, ...) __attribute__((format(printf, 1, 2)));
