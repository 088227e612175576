// The processing phase of a run: every channel of the output resized from
// the input one after the other, bracketed by the start and end times, each
// with its start line ("RED START", ...) and its ten progress lines.
//
// The input and output are given as one 2-D view per channel (rows by
// columns), so that BMP planes, interleaved pictures of any depth and the
// stored rows of a BMP file are all read and written where they lie; the
// run driver owns all of them. Channels are resized by library plans (one
// for each pair of sample types, made by the first channel that needs it
// and reused), their lines on the run's team; the channels themselves
// and the console lines stay in their order.
//
// Samples: a channel's values run from 0 to its `top` (255, 65535, or 1 for
// float samples). Where the output's top differs, each resized value v
// becomes v * out.top / in.top before it is clipped and rounded. Integer
// outputs are clipped and rounded as `rounding` says; float outputs are
// neither.
//
// Alpha: where both sides have it and something is resized, straight colour
// is multiplied by alpha (as a fraction of its top) before the resize, and
// colour the output stores straight is divided by the resized alpha, clipped
// to its range, after it (0 where that alpha is 0); premultiplied colour
// kept premultiplied is resized as it is. The alpha is then resized first,
// and its console lines come last, where the output's order puts them.
// Where the output has no alpha the colour is resized as it is stored.
//
// Colour channels whose input samples equal an earlier one's (every channel
// of a grey picture) are copied from its result, with the same console
// lines; a grey input gives all three colours of an RGB output that way.
// A failure of the library ends the process with its message.
#pragma once

#include <cstdint>

#include "velmora/velmora.h"

struct channel_set {
    int colours;                        // 1 (grey) or 3 (red, green, blue)
    bool alpha;                         // a fourth (or second) channel follows the colours
    velmora::array_view channel[4];     // colours in order, then alpha; each rows x columns
    double top;                         // full intensity of every channel
    bool premultiplied;                 // colour stored multiplied by alpha
};

struct channel_pass_settings {
    velmora::thread_team* team;  // the run's, lent to every plan
    velmora::rounding rounding;
    // The console names the output's colours RED, GREEN and BLUE even when
    // it has one (BMP and JPEG output): a grey input gives three.
    bool rgb_console;
};

void run_channel_pass(const channel_set& in, const channel_set& out, const channel_pass_settings& settings);
