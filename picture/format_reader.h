// The shape every decoder has inside the codec door (picture_codec.h).
//
// A decoder's open function reads and checks the file's headers, fills a
// picture_info and hands back a format_reader holding the library's state;
// decode then reads the pixels into a picture of that info. The reader
// borrows the codec_source it was opened on. Destroying it releases the
// library's state at whatever point it stopped. What the library warned
// about while opening and decoding gathers in warnings.
#pragma once

#include <cstddef>
#include <cstdlib>

#include "picture/band_runner.h"
#include "picture/codec_message.h"
#include "picture/picture.h"

// The large arrays a reader may take from its caller.
enum class picture_block {
    encoded,  // the file's coded pixels, kept while they are decoded
    samples,  // the decoded picture's samples
};

// What a caller lends a reader, for as long as the reader lives: threads
// for work that splits into units (see band_runner.h), and blocks for its
// large arrays, so that a caller can place them (huge pages, first touched
// on its threads). A block is released with std::free; null means that
// memory ran out. With no function, blocks come from malloc. The BMP
// reader borrows both; the others neither.
struct picture_read_options {
    band_runner runner;
    void* (*take_block)(void* lender, std::size_t bytes, picture_block use) = nullptr;
    void* lender = nullptr;  // handed to take_block
};

inline void* borrow_block(const picture_read_options& options, std::size_t bytes, picture_block use)
{
    return options.take_block ? options.take_block(options.lender, bytes, use) : std::malloc(bytes > 0 ? bytes : 1);
}

struct format_reader {
    virtual ~format_reader() = default;
    // Called at most once. On success *out holds the whole picture.
    virtual codec_message decode(picture* out) = 0;
    codec_warnings warnings;
};
