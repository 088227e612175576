// The output file of a run: made ready before the work, put in place after
// it, and never left half-made however the run ends.
//
// output_prepare checks the target and opens its temporary (bmp_prepare)
// right after the input has been read, so that an output that cannot be
// written costs no work. From then on SIGXFSZ is ignored, so that a write
// past the file size limit fails with EFBIG and is reported like any other
// failed write. When the file system has no unnamed files, the named
// temporary is guarded until output_commit: an exit handler and handlers for
// SIGINT, SIGTERM and SIGHUP remove it, and a signal then ends the process
// with its usual status (the handler re-raises it with the default action).
// Only the main thread may end the process with exit().
//
// Both end the process on failure with "velmora: cannot write the output
// file NAME: REASON" on the standard error stream and status 1. The caller
// owns the bmp_output record and keeps it until output_commit returns.
#pragma once

#include <cstdint>

#include "bmp/bmp_writer.h"

void output_prepare(const char* name, bmp_output* output);

// Writes the picture (width x height, its stored pixel rows) as the file
// prepared for name and ends the guard.
void output_commit(const char* name, bmp_output* output, const std::uint8_t* rows, std::int32_t width,
                   std::int32_t height);
