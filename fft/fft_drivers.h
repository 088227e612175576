// Power-of-two complex FFTs of one line.
//
// A line of N complex points is held interleaved (a[2k] real, a[2k+1]
// imaginary part of point k); N = points is a power of two from 1 to
// tables.max_points. Everything is in place and unscaled.
//
// Ownership: the caller owns a and the tables, which are only read, so any
// number of threads may transform their own lines with shared tables.
// Nothing here allocates, prints or fails.
#pragma once

#include <cstdint>

#include "fft/fft_tables.h"

// X[k] = sum_j x[j] exp(-2 pi i jk/N).
void fft_forward(std::int32_t points, double* a, const fft_tables& tables);

// X[k] = sum_j x[j] exp(+2 pi i jk/N); after fft_forward it gives N x.
void fft_backward(std::int32_t points, double* a, const fft_tables& tables);
