// Reading the input picture of a run.
//
// input_open opens the name given with -i ("-": the standard input, in
// every format; a TIFF, which must seek, from a pipe is read into memory
// first, within largest_picture_stream), refuses a folder, measures a
// regular file and reads the head, the first picture_head_bytes, from
// which the kind is told (picture_kind_of). The rest stays in the stream
// for the reader of that kind (input_source): a regular file has its
// measured length, so that a size its headers declare and the file cannot
// back never sizes an allocation; an input that cannot seek (a pipe, a
// FIFO, /dev/stdin, <(...)) is read front to back.
//
// read_input reads for the driver through the door (picture_codec.h): the
// headers, then the pixel budget (-max-pixels) and the run's size checks
// against the declared size, then the pixels. The reader borrows the run's
// team and takes its large blocks from the run (checked_alloc.h), first
// touched on the team. Every refusal prints its message and ends the
// process with status 1; the reader's warnings are printed, and the run
// goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "cli/options.h"
#include "picture/codec_source.h"
#include "picture/picture.h"
#include "picture/picture_kind.h"
#include "picture/picture_limits.h"
#include "velmora/velmora.h"

enum class input_status {
    ok,
    cannot_open,  // the name cannot be opened for reading
    folder,       // the name is a folder
};

struct input_file {
    std::FILE* stream;                      // open on ok, for the caller to close
    bool regular;                           // a regular file, whose length is known
    std::int64_t length;                    // that length, in bytes
    std::uint8_t head[picture_head_bytes];  // the first bytes of the file
    std::size_t head_length;                // how many of them there are
    picture_kind kind;                      // told from them
};

input_status input_open(const char* name, input_file* file);

// Where the reader of the file's kind reads from: the head, then the stream.
codec_source input_source(const input_file& file);

picture read_input(const resize_options& options, velmora::thread_team& team);
