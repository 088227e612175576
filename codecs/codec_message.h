// What the codecs say when something fails.
//
// Every codec function returns a codec_message: empty when it succeeded,
// otherwise one line of text (no newline, no program or file name) and what
// kind of fault it is, so that the caller can decide how to word and end
// its run. The codecs never print or end the process themselves.
#pragma once

#include <cstddef>

enum class codec_fault {
    none,
    file,     // the input is damaged, cut short or of a kind not supported: the text is about that file
    limit,    // a declared size is above max_picture_side: the text names the input's side
    missing,  // this build has no library for the format
    memory,   // memory ran out
    output,   // the output could not be written, or the picture does not suit the format
};

struct codec_message {
    codec_fault fault = codec_fault::none;
    char text[240] = {};

    bool failed() const { return fault != codec_fault::none; }
};

// A message of the given fault, printf-formatted. Line breaks and other
// control characters from library texts become spaces, so that the message
// stays one line.
codec_message codec_fail(codec_fault fault, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The same for a text already formed (by a library), after prefix.
codec_message codec_fail_text(codec_fault fault, const char* prefix, const char* text);
