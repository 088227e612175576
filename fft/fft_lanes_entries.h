// Entries of fft_lanes_kernel.cpp, one per vector set it is built for.
//
// Internal to fft/: callers go through fft_lanes.h, which checks the CPU
// before calling one of these. Each runs fft_forward (sign < 0) or
// fft_backward (sign > 0) in every lane of a batch of 2, 4 or 8 lines in
// lane layout; the contract is that of fft_forward_lanes.
#pragma once

void fft_lanes_transform_sse2(int sign, int n, double* a, const int* ip, int table_size, const double* ww);
void fft_lanes_transform_avx2(int sign, int n, double* a, const int* ip, int table_size, const double* ww);
void fft_lanes_transform_avx512(int sign, int n, double* a, const int* ip, int table_size, const double* ww);
