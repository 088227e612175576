// How a long computation learns that its caller wants it to stop: a
// question it asks now and then (a poll) and, when the answer is yes, cuts
// its work short, leaving its results unspecified.
//
// A poll is a plain function and its argument, so that the transforms'
// kernels, built once per instruction set, can ask it without a template of
// the standard library (fft/split_radix.h says why they use none): the
// function lives in ordinary code and reads whatever flag the caller keeps.
// A null poll never asks to stop.
//
// Ownership: the caller owns the poll and its flag and keeps both alive
// while the computation runs; any number of threads may ask at once.
#pragma once

namespace velmora::detail {

struct stop_poll {
    bool (*requested)(const void* flag);
    const void* flag;
};

namespace {

// Whether the poll asks to stop. Internal linkage, as in the kernels that
// ask it: a copy built for a wider instruction set must never stand in for
// the ordinary one.
inline bool stop_requested(const stop_poll* poll)
{
    return poll && poll->requested(poll->flag);
}

}  // namespace

}  // namespace velmora::detail
