// The shape every decoder has inside the codec door (picture_codec.h).
//
// A decoder's open function reads and checks the file's headers, fills a
// picture_info and hands back a format_reader holding the library's state;
// decode then reads the pixels into a picture of that info. The reader
// borrows the codec_source it was opened on. Destroying it releases the
// library's state at whatever point it stopped. What the library warned
// about while opening and decoding gathers in warnings.
#pragma once

#include "codecs/codec_message.h"
#include "codecs/picture.h"

struct format_reader {
    virtual ~format_reader() = default;
    // Called at most once. On success *out holds the whole picture.
    virtual codec_message decode(picture* out) = 0;
    codec_warnings warnings;
};
