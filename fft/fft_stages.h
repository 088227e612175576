// Butterfly stages, kernels and block walk of the split-radix FFT.
//
// Every routine works in place on interleaved complex doubles (point k of a
// block b is b[2k], b[2k+1]), computes the transform with the positive
// exponent and leaves its result in bit-reversed order within the block.
// Block lengths n count doubles (L = n/2 points). None of them allocates,
// recurses or prints; twiddles are only read from the caller's ww table
// (see fft_tables.h).
//
// A block is "first kind" when it still owes Y[k] = sum b[q] w_L^(qk), and
// "second kind" when it owes Y[k] = sum b[q] z_L^q w_L^(qk), with
// w_L = exp(2 pi i / L) and z_L = exp(pi i / L). A stage splits a block into
// four quarters whose own transforms give Y[4k], Y[4k+2], Y[4k+1], Y[4k+3].
//
// The `w` argument points at the ww block a routine reads (the block of size
// s starts at ww[table_size - 2s]):
//   first stages (n)     ww + table_size - n/4
//   fft_stage_1 (n)      ww + table_size - n/2
//   fft_stage_2 (n)      ww + table_size - n
//   fft_kernel_16        ww + table_size - 8
//   fft_kernel_16_twiddled  ww + table_size - 32
//   fft_kernel_8         any block (reads only cos(pi/4) at index 1)
//   fft_kernel_8_twiddled   ww + table_size - 8
// Routines taking (table_size, ww) pick their slices themselves.
#pragma once

// First stage over the whole array of n >= 64 doubles (first kind). Its
// table block holds even twiddles only; odd ones are interpolated.
void fft_first_stage(int n, double* a, const double* w);
// As fft_first_stage, on the input with every imaginary part negated.
void fft_first_stage_conj(int n, double* a, const double* w);

// Stage of a first-kind (stage_1) or second-kind (stage_2) block, n >= 64.
void fft_stage_1(int n, double* block, const double* w);
void fft_stage_2(int n, double* block, const double* w);

// Complete transforms of 16 points (32 doubles) and 8 points (16 doubles),
// of the first kind or of the second kind (twiddled).
void fft_kernel_16(double* block, const double* w);
void fft_kernel_16_twiddled(double* block, const double* w);
void fft_kernel_8(double* block, const double* w);
void fft_kernel_8_twiddled(double* block, const double* w);

// Finishes a first-kind block of n = 64 or 128 doubles whose own stage is
// done.
void fft_small_leaf(int n, double* block, int table_size, const double* ww);

// Finishes a block of n = 256 or 512 doubles whose own stage is done;
// split_flag is 1 for a first-kind block, 0 for a second-kind one.
void fft_leaf(int n, int split_flag, double* block, int table_size, const double* ww);

// Applies the stages owed before leaf number k (counted from the end of the
// array, the last leaf being 0) of m doubles ending at double j of a, and
// returns that leaf's split_flag.
int fft_tree_step(int m, int j, int k, double* a, int table_size, const double* ww);

// Everything after the first stage for n > 512 doubles: an iterative
// depth-first walk that finishes each leaf block before moving left.
void fft_recursive(int n, double* a, int table_size, const double* ww);
