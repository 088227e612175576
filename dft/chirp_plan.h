// Chirp-z (Bluestein) plans: DFTs of any length n >= 2 as a circular
// convolution of power-of-two length N, computed with the FFT of fft/.
//
// A plan holds what depends on the length only: the chirp w[k] =
// exp(-i pi k^2 / n), the spectrum K of the convolution kernel, and a work
// array of N complex values for chirp_execute.
//
// Ownership: a plan owns three heap blocks (chirp_re, kernel_re, work_re);
// chirp_im, kernel_im and work_im are views into them and are never freed on
// their own. chirp_plan_release frees the blocks. The FFT tables ip and ww
// belong to the caller; the init and the execution may rebuild them
// (fft_make_twiddles) when they are too small for N. Nothing here prints.
#pragma once

#include <cstdint>

struct chirp_plan {
    std::int32_t n;         // input samples, at least 2 in a built plan
    std::int32_t m;         // output bins computed, 2 <= m <= n
    std::int32_t fft_size;  // N, the smallest power of two >= n + m
    double* chirp_re;       // owning, 2n doubles: Re w[0..n)
    double* chirp_im;       // view, chirp_re + n: Im w[0..n)
    double* kernel_re;      // owning, 2N doubles: Re K[0..N)
    double* kernel_im;      // view, kernel_re + N: Im K[0..N)
    double* work_re;        // owning, 2N doubles: work array of an execution
    double* work_im;        // view, work_re + N
};

// Results of chirp_plan_init (and chirp_execute).
constexpr int chirp_ok = 0;
constexpr int chirp_too_short = 1;  // n <= 1: nothing done, plan untouched
constexpr int chirp_no_memory = 2;  // allocation failed: plan left released

// Builds a plan for n inputs and m outputs (m < 2 or m > n means m = n).
int chirp_plan_init(chirp_plan* plan, int n, int m, int* ip, double* ww);

// Frees the owned blocks that are not null, nulls them and zeroes the sizes;
// a second call does nothing more.
void chirp_plan_release(chirp_plan* plan);

// Fills the chirp w[0..n) and the time-domain kernel scaled by N: N at 0,
// N conj(w[k]) at N - k for k in [1, n) and at k for k in [1, m), zeros in
// between. With m = n the kernel is symmetric, b[k] = b[N - k].
void chirp_build(int n, int m, int N, double* chirp_re, double* chirp_im, double* kernel_re, double* kernel_im);

// The table rule shared by every FFT of the chirp-z code: rebuild ip/ww for
// table_size = N/2 when they are too small for N points (ip[0] = 0 means not
// built), and return the table_size to transform with.
int chirp_fft_tables(int N, int* ip, double* ww);

// Interleaved FFT arrays (element 2k real, 2k + 1 imaginary) from and to
// split real/imaginary arrays of N values.
void chirp_interleave(int N, const double* re, const double* im, double* packed);
void chirp_deinterleave(int N, const double* packed, double* re, double* im);
