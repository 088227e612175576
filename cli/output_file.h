// The output file of a run: made ready before the work, put in place after
// it, and never left half-made however the run ends.
//
// output_prepare opens where the picture will go (output_target::prepare)
// right after the input has been read, so that an output that cannot be
// written costs no work. From then on SIGXFSZ is ignored, so that a write
// past the file size limit fails with EFBIG and is reported like any other
// failed write; when the output is a named pipe or a character device,
// written as a stream, SIGPIPE is ignored too, so that a reader that went
// away gives EPIPE. When the file system has no unnamed files, the named
// temporary is guarded until the commit: an exit handler and handlers for
// the termination signals remove it, and a signal then ends the process
// with its usual status (the handler re-raises it with the default action).
// Only the main thread may end the process with exit().
//
// The commit (output_commit_mapped, output_commit_picture) decides how a
// signal ends the run: one that came before it ends the run as during the
// work, the old file left and the temporary removed; after it the
// termination signals stay blocked, so that a run whose output is in place
// ends with status 0.
//
// Every function here ends the process on failure with "velmora: cannot
// write the output file NAME: REASON" on the standard error stream and
// status 1. The caller owns the output_target and keeps it until the commit
// returns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "output/output_target.h"
#include "picture/picture.h"
#include "picture/picture_kind.h"
#include "velmora/velmora.h"

void output_prepare(const char* name, output_target* output);

// The same for a descriptor already open (standard output's copy for
// "-o -"), written as a stream whatever it is.
void output_prepare_descriptor(int fd, output_target* output);

// The output file, bytes long, as memory to write into where the file will
// keep it (picture_codec.h's files made in place); null where the file
// cannot be mapped (a stream, a file system without it, a short address
// space), and the picture is then written with output_commit_picture. A
// full disk or a size limit ends the process here, with the message the
// commit would give, before any work.
std::uint8_t* output_map(const char* name, output_target* output, std::size_t bytes);

// Unmaps the file, written whole, and puts it in place.
void output_commit_mapped(const char* name, output_target* output, std::uint8_t* mapping, std::size_t bytes);

// Writes the picture as a file of the kind (JPEG at quality), encoded on
// the team's threads where the format allows it, and puts it in place.
// What the encoder warned about (a colour profile left out) is put in
// *warnings.
void output_commit_picture(const char* name, output_target* output, picture_kind kind, const picture& image,
                           int quality, velmora::thread_team& team, codec_warnings* warnings);
