// Power-of-two complex FFT drivers and the bit-reversal permutations.
//
// Arrays hold N complex points interleaved (a[2k] real, a[2k+1] imaginary);
// lengths n count doubles, n = 2N, a power of two. Everything is in place.
//
// Ownership: the caller owns a, ip and ww. The drivers only read ip and ww,
// which must have been built by fft_make_twiddles for some
// table_size >= n/4 (see fft_tables.h); a larger, older table serves. Nothing
// here allocates, recurses, prints or reports failures.
#pragma once

// Unscaled transform with the negative exponent:
// X[k] = sum_j x[j] exp(-2 pi i jk/N), for n = 2 and 4 <= n <= 4*table_size.
void fft_forward(int n, double* a, const int* ip, int table_size, const double* ww);

// Unscaled transform with the positive exponent; fft_backward after
// fft_forward multiplies the input by N.
void fft_backward(int n, double* a, const int* ip, int table_size, const double* ww);

// Moves point k to point rev(k) (log2(N) bits reversed), n >= 64, using the
// ip seeds of the level that n selects.
void fft_bit_reverse(int n, const int* ip, double* a);

// As fft_bit_reverse, and conjugates every point, fixed points included.
void fft_bit_reverse_conj(int n, const int* ip, double* a);

// 16-point reversal: new point k takes old point rev4(k).
void fft_bit_reverse_16(double* a);

// 16-point reversal of the mirrored index: new point k takes old point
// rev4((16 - k) mod 16), which turns a positive-exponent result in
// bit-reversed order into the negative-exponent one in natural order.
void fft_bit_reverse_16_neg(double* a);
