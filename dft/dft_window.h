// The record every plan of dft/ is built from: a window of inputs and a
// window of outputs of a DFT of any length, its direction, its phase ramps
// and scale; and how building such a plan ends.
//
// A plan for a window computes, for the outputs k = out_start ..
// out_start + out_count - 1,
//
//   X[k] = scale * t_out(k) * sum_j x[j] * t_in(j) * exp(-+ 2 pi i jk / P)
//
// over the inputs j = in_start .. in_start + in_count - 1, with the minus
// sign for dft_direction::forward and the plus sign for
// dft_direction::inverse. t_in(j) = exp(+i pi j / in_twist) and t_out(k) =
// exp(-i pi k / out_twist) are optional phase ramps (0: none); callers use
// them to take the known phase of mirrored lines in and out without a pass
// of their own. Windows may start below 0: indices count modulo P.
//
// A plain value, built with designated initialisers; the starts and
// twists may be left out (0: a window from index 0, no ramp).
#pragma once

#include <cstdint>

namespace velmora::detail {

enum class dft_direction { forward, inverse };

struct dft_window {
    std::int32_t length;         // P >= 1
    std::int32_t in_start = 0;   // first input index, may be negative
    std::int32_t in_count;       // 1 .. P
    std::int32_t out_start = 0;  // first output index, may be negative
    std::int32_t out_count;      // 1 .. P
    dft_direction direction;
    std::int32_t in_twist = 0;   // 0, or inputs times exp(+i pi j / in_twist)
    std::int32_t out_twist = 0;  // 0, or outputs times exp(-i pi k / out_twist)
    double scale;                // every output times scale
};

// How building a plan for a window ends; on anything but ok the plan is
// left empty.
enum class dft_status {
    ok,
    bad_window,    // a count, start, length or twist out of range, or a way that cannot serve the length
    no_memory,     // an allocation failed
    small_tables,  // the FFT tables serve fewer points than the plan needs
    stopped,       // the stop poll said stop
};

}  // namespace velmora::detail
