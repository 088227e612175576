// What the codecs say when something fails, and what they warn about.
//
// Every codec function returns a codec_message: empty when it succeeded,
// otherwise one line of text (no newline, no program or file name) and what
// kind of fault it is, so that the caller can decide how to word and end
// its run. Warnings (a damaged part that was left out, a profile a format
// cannot carry) come back beside it as a codec_warnings list, owned by the
// caller's record of the read or the write. The codecs never print or end
// the process themselves.
#pragma once

#include <cstddef>

enum class codec_fault {
    none,
    file,        // the input is damaged, cut short or of a kind not supported: the text is about that file
    limit,       // a declared size is above max_picture_side: the text names the input's side
    short_file,  // shorter than its own headers say (a BMP's stored size)
    missing,     // this build has no library for the format
    memory,      // memory ran out
    output,      // the output could not be written, or the picture does not suit the format
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

// The warnings of one read or one write: up to most lines of the same form
// as a message's text, each kept once. Lines beyond most are dropped, so a
// file that repeats a fault a million times still gives a few lines.
struct codec_warnings {
    static constexpr int most = 8;
    int count = 0;
    char text[most][sizeof codec_message::text] = {};
};

// Adds a printf-formatted line, unless it is already there or the list is full.
void codec_warn(codec_warnings* warnings, const char* format, ...) __attribute__((format(printf, 2, 3)));
