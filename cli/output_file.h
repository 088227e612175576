// The output file of a run: made ready before the work, put in place after
// it, and never left half-made however the run ends.
//
// output_prepare opens where the picture will go (output_target_prepare)
// right after the input has been read, so that an output that cannot be
// written costs no work. From then on SIGXFSZ is ignored, so that a write
// past the file size limit fails with EFBIG and is reported like any other
// failed write; when the output is a named pipe or a character device,
// written as a stream, SIGPIPE is ignored too, so that a reader that went
// away gives EPIPE. When the file system has no unnamed files, the named
// temporary is guarded until output_commit: an exit handler and handlers
// for the termination signals remove it, and a signal then ends the process
// with its usual status (the handler re-raises it with the default action).
// Only the main thread may end the process with exit().
//
// The commit (output_commit and the others) decides how a signal ends the
// run: one that came before it ends the run as during the work, the old
// file left and the temporary removed; after it the termination signals
// stay blocked, so that a run whose output is in place ends with status 0.
//
// Both end the process on failure with "velmora: cannot write the output
// file NAME: REASON" on the standard error stream and status 1. The caller
// owns the output_target record and keeps it until output_commit returns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/picture.h"
#include "codecs/picture_kind.h"
#include "output/output_target.h"
#include "velmora/velmora.h"

void output_prepare(const char* name, output_target* output);

// Writes the picture (width x height, its stored pixel rows) as a BMP file
// to the output prepared for name, puts it in place and ends the guard.
void output_commit(const char* name, output_target* output, const std::uint8_t* rows, std::int32_t width,
                   std::int32_t height);

// The BMP file of the output, bytes long, as memory to write the picture
// into where the file will keep it (its first bmp_header_size bytes are for
// output_commit_mapped); null where the file cannot be mapped (a stream, a
// file system without it, a short address space), and the picture is then
// written with output_commit. A full disk or a size limit ends the process
// here, with the message output_commit would give, before any work.
std::uint8_t* output_map(const char* name, output_target* output, std::size_t bytes);

// Writes the header into the mapping, unmaps it and puts the file in place.
void output_commit_mapped(const char* name, output_target* output, std::uint8_t* mapping, std::size_t bytes,
                          std::int32_t width, std::int32_t height);

// The same for a PNG, JPEG (at quality) or TIFF file of the picture,
// encoded on the team's threads where the format allows it. What the
// encoder warned about (a colour profile left out) is put in *warnings.
void output_commit_picture(const char* name, output_target* output, picture_kind kind, const picture& image,
                           int quality, velmora::thread_team& team, codec_warnings* warnings);
