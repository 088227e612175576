// The line passes of the spectral resize, and what they share.
//
// A mirrored line (x[0..n) followed by its reverse) has the DFT
// exp(i pi k / 2n) C[k] with C real and even in k, C[n] = 0:
//
//   C[k] = (1/n) sum_j x[j] cos(pi k (2j + 1) / 2n).
//
// A forward pass turns real lines of n samples into their first `kept`
// coefficients C[0..kept). An inverse pass turns `kept` coefficients back
// into n_out real samples of the mirrored line widened (or cut) to 2 n_out:
//
//   y[x] = sum over |k| < kept of exp(i pi k / 2n) exp(2 pi i k x / 2 n_out) C[|k|],
//
// which is real. Bins at or beyond `kept` are zero: with kept = min(n, n_out)
// the same pass stuffs zeros when n_out > n and cuts the highest
// frequencies when n_out < n. Output x sits at input position x n / n_out.
//
// Lines are real, so every transform carries two of them, as real and
// imaginary parts. The lines of a pass come in sets (the line-sets of the
// public header) of `lines_per_set` lines each; pairs are lines (2p, 2p + 1)
// of one set, never across sets, and a set's odd last line rides alone. A
// batch of pairs shares vector instructions lane by lane with the one-line
// arithmetic, so the bits of a result depend neither on the thread count,
// nor on the vector path, nor on where the lines lie in memory
// (resize/line_batch.h: where they lie, and how a batch of pairs is
// gathered into a thread's work array and scattered back). A forward
// pass transforms the n samples in an order that makes the cosine sum a DFT
// of length n; an inverse pass reads the band [-(kept - 1), kept - 1] as
// one window of a DFT of length 2 n_out; the line plans (dft/line_plan.h)
// compute each by the mixed-radix FFT of that length or by chirp-z,
// whichever costs less.
//
// Magnitudes. A pass's sums grow beyond its samples: a forward pass's FFT
// sums n samples, and the chirp-z way's convolution sums in_count products
// over an FFT of N points, whose result is another sum of up to N terms;
// an inverse pass's outputs sum 2 kept - 1 coefficients. So no sum stays
// within the samples' magnitude B, and lines near the largest double would
// overflow. A line-set whose largest magnitude reaches 2^896 is therefore
// scaled by an exact power of two 2^-e as the first pass reads it and 2^e
// as the last pass writes it (overflow_exponent gives e); as everything
// between only adds and multiplies, the result is the same bits as without
// scaling wherever neither overflows nor falls below the normal range.
//
// Ownership: a cosine_pass owns its line plan (made on the calling thread)
// and borrows the FFT tables. While the lines run, the pass, the
// plan and the tables are only read, by every thread; each thread writes
// only its own workspace and the output samples of its own lines. Nothing
// below allocates or prints once the lines run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dft/dft_window.h"
#include "dft/line_plan.h"
#include "fft/fft_lanes.h"
#include "fft/fft_tables.h"
#include "resize/line_batch.h"
#include "resize/parallel_lines.h"
#include "velmora/velmora.h"

namespace velmora::detail {

// How many bins carry over between sizes n and n_out: all of the smaller
// band. One rule for enlarging and shrinking alike.
std::int32_t carried_bins(std::int32_t n, std::int32_t n_out);

// The exponent e (0 to 128) that a line-set whose largest sample magnitude
// is `largest` (finite) is scaled by: 0 below 2^896, else the least that
// brings it below. The bound: with samples below B, a forward pass's
// coefficients stay below B and its sums below n N B <= 2^42 B; an inverse
// pass's outputs below (2 kept - 1) B and its sums below (2 kept - 1) N B <=
// 2^43 B. Of at most 8 inverse passes, all but the last can grow the
// samples by at most 2^8 times the product of the carried bins, and those
// are at most the output's 2^56 samples: every sum stays below 2^107 B,
// 2^1003 for B < 2^896, a margin of 2^21 for roundings.
int overflow_exponent(double largest);

// The DFT window of the forward (coefficients) or inverse (samples) pass
// between n and n_out, for sizing tables and workspaces before anything
// is built: forward_pass_window or inverse_pass_window, which the tests and
// line_plan_bench also call to take the real passes' windows.
dft_window pass_window(bool inverse, std::int32_t n, std::int32_t n_out);
dft_window forward_pass_window(std::int32_t n, std::int32_t n_out);
dft_window inverse_pass_window(std::int32_t n, std::int32_t n_out);

struct cosine_pass {
    std::int32_t n = 0;      // samples per line before the resize in this direction
    std::int32_t n_out = 0;  // samples per line after it
    std::int32_t kept = 0;   // coefficients per line: carried_bins(n, n_out)
    lane_path path = lane_path::scalar;  // lanes carry lane_width(path) pairs
    line_plan plan;
};

// Builds the forward or inverse pass between n and n_out on the tables,
// for the given vector path; the result is line_plan_build's (stopped when
// the poll, if given, says stop).
dft_status cosine_pass_init(cosine_pass* pass, bool inverse, std::int32_t n, std::int32_t n_out, lane_path path,
                            const fft_tables& tables, const stop_poll* poll = nullptr);

// How a pass runs its lines: one workspace per thread of the team, and a
// stop poll (or null) asked before every batch and inside its transforms;
// on a yes the pass ends early, its outputs unspecified.
struct line_engine {
    double* const* workspaces;
    line_team* team;
    const stop_poll* poll = nullptr;
};

// The scaling exponent of every set of a run from the samples of its
// lines (lines.in, n samples each, of type in_type): overflow_exponent of
// the set's largest magnitude into exponents[0 .. lines.sets).
void find_set_exponents(const pass_lines& lines, std::int32_t n, velmora::sample_type in_type,
                        const line_engine& engine, std::uint8_t* exponents);

// Forward passes: samples of type in_type into doubles. Inverse passes:
// doubles into samples of out_type, by the sample rule
// (velmora/samples.h).
void forward_lines(const cosine_pass& pass, const pass_lines& lines, velmora::sample_type in_type,
                   const line_engine& engine);
void inverse_lines(const cosine_pass& pass, const pass_lines& lines, velmora::sample_type out_type,
                   velmora::rounding rounding, const line_engine& engine);

}  // namespace velmora::detail
