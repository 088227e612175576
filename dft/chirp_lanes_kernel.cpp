// The factor multiplies of chirp_execute.cpp (pre-multiply, kernel
// multiply, post-multiply) over a batch of lines in lane layout (see
// fft/lane_double.h), built once per vector set.
//
// Which lane holds what: element i of the work array (a lane_double) holds
// double i of every line's interleaved work array, lane j for line j. A
// factor is one complex value of doubles, applied to every lane alike. Each
// complex product is the one of chirp_execute.cpp, four products and one
// subtract or add each, in the same order, so every lane rounds as the
// one-line code does and the bits match on every path.
#include "dft/chirp_lanes_entries.h"
#include "fft/lane_double.h"

void VELMORA_LANE_ENTRY(chirp_lanes_multiply)(const double* factors, int count, double* work)
{
    lane_double* w = reinterpret_cast<lane_double*>(work);
    for (int i = 0; i < count; ++i) {
        const lane_double a_re = w[2 * i], a_im = w[2 * i + 1];
        const double b_re = factors[2 * i], b_im = factors[2 * i + 1];
        w[2 * i] = a_re * b_re - a_im * b_im;
        w[2 * i + 1] = a_re * b_im + a_im * b_re;
    }
}
