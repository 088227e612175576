// Entries of chirp_lanes_kernel.cpp, one per vector set it is built for.
//
// Internal to dft/: chirp_lanes.cpp calls them for a path the CPU supports.
// Each multiplies the first `count` complex values of a work array in lane
// layout (fft/fft_lanes.h) by one complex factor each, interleaved in
// `factors`, in place.
#pragma once

void chirp_lanes_multiply_sse2(const double* factors, int count, double* work);
void chirp_lanes_multiply_avx2(const double* factors, int count, double* work);
void chirp_lanes_multiply_avx512(const double* factors, int count, double* work);
