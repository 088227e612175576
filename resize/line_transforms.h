// One DFT of any length on one line of a complex grid.
//
// Each operation copies its line into a process-wide buffer pair (one pair
// for forward transforms, one for inverse ones), prepares a chirp-z plan for
// that line alone, runs it in place, copies the result out and frees the
// plan. The buffers make the operations non-reentrant: one thread, one
// transform of each direction at a time.
//
// A plan that cannot be prepared or executed (a line shorter than 2, or
// exhausted memory) prints "failure!!!!" on the standard output stream and
// ends the process with status 1: a picture with untransformed lines must
// never be reported as a success. The tables ip and ww belong to the caller
// and are passed down unchanged; the chirp-z code rebuilds them when a line
// is longer than they serve.
//
// Lines of n complex values are two arrays (real, imaginary); input and
// output are always different arrays; n never exceeds line_capacity.
#pragma once

#include <cstdint>

constexpr std::int32_t line_capacity = 8192;

extern double fwd_line_re[line_capacity];
extern double fwd_line_im[line_capacity];
extern double inv_line_re[line_capacity];
extern double inv_line_im[line_capacity];

// Contiguous lines: out = forward DFT of in, scaled by 1/n, or the unscaled
// inverse DFT. Return 0 (they do not return on failure).
int dft_line_forward(std::int32_t n, const double* in_re, const double* in_im, double* out_re, double* out_im,
                     int* ip, double* ww);
int dft_line_inverse(std::int32_t n, const double* in_re, const double* in_im, double* out_re, double* out_im,
                     int* ip, double* ww);

// A column of a grid: a contiguous line.
void dft_column_forward(std::int32_t n, const double* in_re, const double* in_im, double* out_re, double* out_im,
                        int* ip, double* ww);
void dft_column_inverse(std::int32_t n, const double* in_re, const double* in_im, double* out_re, double* out_im,
                        int* ip, double* ww);

// A row of a grid stored column by column: element k at k * stride. Only
// those elements of the output arrays are written.
void dft_row_forward(std::int32_t n, std::int32_t stride, const double* in_re, const double* in_im, double* out_re,
                     double* out_im, int* ip, double* ww);
void dft_row_inverse(std::int32_t n, std::int32_t stride, const double* in_re, const double* in_im, double* out_re,
                     double* out_im, int* ip, double* ww);
