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
// imaginary parts; pairs are always lines (2p, 2p + 1), and a batch of
// pairs shares vector instructions lane by lane with the one-line
// arithmetic, so the bits of a result depend neither on the thread count nor
// on the vector path. A forward pass transforms the
// n samples in an order that makes the cosine sum a DFT of length n; an
// inverse pass reads the band [-(kept - 1), kept - 1] as one window of a
// DFT of length 2 n_out; the line plans (dft/line_plan.h) compute each
// by the mixed-radix FFT of that length or by chirp-z, whichever costs less.
//
// Ownership: a pass record holds its line plan (built by the *_init
// functions on the main thread, released by pass_release) and borrows the
// channel's FFT tables. While the lines run, the record, the plan and the
// tables are only read, by every thread; each thread writes only its own
// line_workspace and the output elements of its own lines. Nothing below
// allocates or prints once the lines run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dft/chirp_plan.h"
#include "dft/line_plan.h"
#include "fft/fft_tables.h"
#include "fft/fft_lanes.h"
#include "resize/parallel_lines.h"

// How many bins carry over between sizes n and n_out: all of the smaller
// band. One rule for enlarging and shrinking alike.
std::int32_t carried_bins(std::int32_t n, std::int32_t n_out);

struct cosine_pass {
    std::int32_t n;      // samples per line before the resize in this direction
    std::int32_t n_out;  // samples per line after it
    std::int32_t kept;   // coefficients per line: carried_bins(n, n_out)
    line_plan plan;
};

// The chirp-z shapes of the two kinds of pass, for sizing tables and
// workspaces before anything is built.
chirp_shape forward_pass_shape(std::int32_t n, std::int32_t n_out);
chirp_shape inverse_pass_shape(std::int32_t n, std::int32_t n_out);

// Build the pass's plan on the tables; the result is line_plan_build's.
int forward_pass_init(cosine_pass* pass, std::int32_t n, std::int32_t n_out, const fft_tables& tables);
int inverse_pass_init(cosine_pass* pass, std::int32_t n, std::int32_t n_out, const fft_tables& tables);
void pass_release(cosine_pass* pass);

// One thread's scratch: the chirp-z work array of a batch of lines in lane
// layout (dft/line_plan.h), sized by workspace_doubles for the largest
// pass it serves, aligned to lane_alignment.
std::size_t workspace_doubles(const chirp_shape& shape, lane_path path);

// How a pass runs its lines: one workspace per thread of the team, and the
// vector path
// whose lanes carry lane_width(path) pairs of lines per transform. Results
// do not depend on either.
struct line_engine {
    double* const* workspaces;
    line_team* team;
    lane_path path;
};

// Element j of line i of a pass's input or output lies at
// base[i * line_step + j * elem_step].
template <typename T>
struct strided_lines {
    T* base;
    std::ptrdiff_t line_step;
    std::ptrdiff_t elem_step;
};

// Forward passes: `lines` lines of pass->n samples (bytes of a plane, or
// doubles) into pass->kept coefficients each.
void forward_lines(const cosine_pass* pass, std::int32_t lines, strided_lines<const std::uint8_t> in,
                   strided_lines<double> out, const line_engine& engine);
void forward_lines(const cosine_pass* pass, std::int32_t lines, strided_lines<const double> in,
                   strided_lines<double> out, const line_engine& engine);

// Inverse passes: `lines` lines of pass->kept coefficients into pass->n_out
// samples each, as doubles, or as bytes limited to 0..255 and truncated.
void inverse_lines(const cosine_pass* pass, std::int32_t lines, strided_lines<const double> in,
                   strided_lines<double> out, const line_engine& engine);
void inverse_lines(const cosine_pass* pass, std::int32_t lines, strided_lines<const double> in,
                   strided_lines<std::uint8_t> out, const line_engine& engine);

// The conversion of a final sample: 255 at or above 255, 0 at or below 0
// (and for a NaN), otherwise truncated toward zero.
std::uint8_t to_sample(double value);
