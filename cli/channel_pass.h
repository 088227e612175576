// The processing phase of a run: every channel of the output resized from
// the input one after the other, bracketed by the start and end times, each
// with its start line ("RED START", ...) and its ten progress lines.
//
// The input and output are given as pictures' views (picture.h), one 2-D
// view per channel (rows by columns), so that pictures of any depth and the
// pixel rows of a file made in place are read and written where they lie;
// the run driver owns all of them. Channels are resized by the plans of a
// plan_cache, their lines on the run's team; the channels themselves and
// the console lines stay in their order.
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
// The console names a grey output's one colour GREY. A failure of the
// library ends the process with its message.
#pragma once

#include "picture/picture.h"
#include "velmora/velmora.h"

void run_channel_pass(const picture_view& in, const picture_view& out, velmora::thread_team* team,
                      velmora::rounding rounding);
