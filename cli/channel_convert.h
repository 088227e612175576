// The alpha and depth conversions of the channel pass (channel_pass.h), on
// 2-D channel views (rows by columns) of any sample type, where they lie.
//
// Where the output's samples need more than the library's own conversion
// (alpha to divide by, or another depth), a channel is resized into a
// plane of doubles and converted from there: straight colour is multiplied
// by alpha for the resize and divided by the resized alpha after it, and
// values are scaled from the input's top to the output's. Every output
// sample then follows the one rule of the library (clipped to its type's
// range, rounded as asked for integers). Planes come from checked_alloc:
// running out of memory ends the run with the plane's name.
#pragma once

#include <cstdint>

#include "velmora/velmora.h"

// A rows x columns plane of doubles, owned (std::free), and its view.
struct double_plane {
    double* data = nullptr;
    velmora::array_view view;
};

double_plane make_plane(const velmora::array_view& like, const char* name);

// plane = colour * alpha / top, sample by sample.
void premultiply(const velmora::array_view& colour, const velmora::array_view& alpha, double top,
                 const double_plane& plane);

// out = plane * scale, or, with alpha, plane / (clipped alpha / alpha_top)
// * scale (0 where that alpha is 0).
void convert_plane(const double_plane& plane, const double* alpha, double alpha_top, double scale,
                   const velmora::array_view& out, velmora::rounding how);

void copy_channel(const velmora::array_view& from, const velmora::array_view& to);

// Whether two channels of the same type and sizes hold the same samples.
bool same_samples(const velmora::array_view& a, const velmora::array_view& b);
