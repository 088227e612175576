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
// nor on the vector path, nor on where the lines lie in memory. A forward
// pass transforms the n samples in an order that makes the cosine sum a DFT
// of length n; an inverse pass reads the band [-(kept - 1), kept - 1] as
// one window of a DFT of length 2 n_out; the line plans (dft/line_plan.h)
// compute each by the mixed-radix FFT of that length or by chirp-z,
// whichever costs less.
//
// Ownership: a cosine_pass owns its line plan (made on the calling thread)
// and borrows the FFT tables. While the lines run, the pass, the
// plan and the tables are only read, by every thread; each thread writes
// only its own workspace and the output samples of its own lines. Nothing
// below allocates or prints once the lines run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dft/chirp_plan.h"
#include "dft/line_plan.h"
#include "fft/fft_lanes.h"
#include "fft/fft_tables.h"
#include "velmora/velmora.h"
#include "resize/parallel_lines.h"

// How many bins carry over between sizes n and n_out: all of the smaller
// band. One rule for enlarging and shrinking alike.
std::int32_t carried_bins(std::int32_t n, std::int32_t n_out);

// The chirp-z shapes of the two kinds of pass, for sizing tables and
// workspaces before anything is built.
chirp_shape forward_pass_shape(std::int32_t n, std::int32_t n_out);
chirp_shape inverse_pass_shape(std::int32_t n, std::int32_t n_out);

struct cosine_pass {
    std::int32_t n = 0;      // samples per line before the resize in this direction
    std::int32_t n_out = 0;  // samples per line after it
    std::int32_t kept = 0;   // coefficients per line: carried_bins(n, n_out)
    bool inverse = false;
    lane_path path = lane_path::scalar;  // lanes carry lane_width(path) pairs
    line_plan plan;
};

// Builds the forward (coefficients) or inverse (samples) pass between n
// and n_out on the tables, for the given vector path; the result is
// line_plan_build's.
int cosine_pass_init(cosine_pass* pass, bool inverse, std::int32_t n, std::int32_t n_out, lane_path path,
                     const fft_tables& tables);

// The chirp-z shape of a pass.
chirp_shape pass_shape(bool inverse, std::int32_t n, std::int32_t n_out);

// One thread's scratch for a pass: the line plan's work array of a batch of
// lines in lane layout (dft/line_plan.h), aligned to lane_alignment.
std::size_t workspace_doubles(const chirp_shape& shape, lane_path path);

// Where the lines of a pass lie: sample j of line t of set g is at
//   base + set_offset(g) + line_offset(t) + j * step      (bytes)
// where set_offset decomposes first_set + g over the set dimensions and
// line_offset decomposes t over the line dimensions (row-major: the last
// dimension varies fastest) and adds index times stride for each.
constexpr int max_layout_dims = velmora::max_rank;

struct line_layout {
    unsigned char* base = nullptr;
    std::int64_t step = 0;
    int line_dims = 0;
    std::int64_t line_sizes[max_layout_dims] = {};
    std::int64_t line_strides[max_layout_dims] = {};
    int set_dims = 0;
    std::int64_t set_sizes[max_layout_dims] = {};
    std::int64_t set_strides[max_layout_dims] = {};
    std::int64_t first_set = 0;
};

struct pass_lines {
    std::int64_t sets;           // sets in this run of the pass
    std::int64_t lines_per_set;  // the product of line_sizes, the same in and out
    bool across_sets = false;    // pairs may join the last line of a set and
                                 // the first of the next (sets * lines_per_set
                                 // must then be even, or this the last run)
    line_layout in;
    line_layout out;
};

// How a pass runs its lines: one workspace per thread of the team.
struct line_engine {
    double* const* workspaces;
    line_team* team;
};

// Forward passes: samples of type in_type into doubles. Inverse passes:
// doubles into samples of out_type, converted as to_sample says.
void forward_lines(const cosine_pass& pass, const pass_lines& lines, velmora::sample_type in_type,
                   const line_engine& engine);
void inverse_lines(const cosine_pass& pass, const pass_lines& lines, velmora::sample_type out_type,
                   velmora::rounding rounding, const line_engine& engine);
