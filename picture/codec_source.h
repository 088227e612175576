// Where a picture's bytes come from, for every decoder alike.
//
// A source is the head, the first bytes of the file that the caller has
// already read to tell its kind (see picture_kind_of), followed by the rest
// of the file from a stream, which stands just after the head: a regular
// file or something that cannot seek (a pipe, a FIFO, a terminal). A block
// already in memory is a source with the whole block as its head and no
// stream. The caller owns the head and the stream, keeps both alive while a
// reader uses them, and closes the stream itself.
//
// PNG and JPEG are decoded while they stream in, through a source_cursor.
// TIFF must seek: a regular file is then read through its descriptor, at
// the offsets the decoder asks for; any other stream is read into memory
// first, never beyond largest_picture_stream bytes. BMP reads a regular
// file at the offsets it needs, and any other stream front to back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "picture/codec_message.h"
#include "picture/picture.h"
#include "picture/picture_limits.h"

struct codec_source {
    const std::uint8_t* head = nullptr;
    std::size_t head_length = 0;
    std::FILE* stream = nullptr;  // the bytes after the head; null when the head is all
    // The whole file's length where it is known (a regular file's size, a
    // memory block's), else -1. A regular file with a known length must
    // start at its byte 0.
    std::int64_t length = -1;
};

codec_source memory_source(const std::uint8_t* data, std::size_t size);

// Reading a source front to back.
struct source_cursor {
    const codec_source* source = nullptr;
    std::size_t head_used = 0;
};

// Up to count bytes into buffer; fewer only at the end of the file or on a
// read error.
std::size_t source_read(source_cursor* cursor, void* buffer, std::size_t count);

// A whole source for a decoder that seeks: either the file's bytes in
// memory (borrowed from a memory source, or read into owned), or a regular
// file's descriptor to read at any offset.
struct source_file {
    const std::uint8_t* bytes = nullptr;  // null when read through fd
    int fd = -1;
    std::uint64_t length = 0;
    block_ptr owned;
};

// Opens a source for seeking. kind names the format in the message given
// when a stream is longer than largest_picture_stream.
codec_message source_seekable(const codec_source& source, const char* kind, source_file* out);

// Reads up to count bytes at offset; fewer only at the end of the file or on
// a read error.
std::size_t source_file_read(const source_file& file, std::uint64_t offset, void* buffer, std::size_t count);
