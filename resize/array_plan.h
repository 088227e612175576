// The engine behind the public header: the state of a plan, and how a plan
// runs a resize of N-dimensional arrays as passes of paired line
// transforms.
//
// Axes whose size changes are taken last axis first. Pass j < q (q such
// axes) turns the lines along axis axes[j] into their cosine
// coefficients; pass q + j turns the lines along axes[j] back into
// samples at the new size. The first pass reads the caller's input, the
// last writes the caller's output, and the passes between hand their
// results on through two work arrays taken in turn ("rows" and "band":
// for a picture, the row coefficients and later the widened rows, and the
// 2-D coefficients). Inside a work array the axis of the next pass is the
// contiguous one, so that each pass reads whole lines in order.
//
// Line-sets (one index on every unchanged axis) are done a block at a
// time, so that many small sets share the threads and the work arrays
// stay within a bound; pairs never cross a set, so the block size changes
// no byte.
//
// Ownership: the state owns every array, plan and thread it uses, except a
// team it borrows (settings::team), which the caller owns; the caller owns
// the views' memory. make_array_plan runs on the calling thread;
// run_array_plan runs the passes on the plan's team.
#pragma once

#include <cstdint>

#include "fft/fft_lanes.h"
#include "fft/fft_tables.h"
#include "resize/parallel_lines.h"
#include "resize/spectral_passes.h"
#include "fft/heap_array.h"
#include "velmora/velmora.h"

struct velmora::plan_state {
    int rank = 0;
    std::int64_t in_sizes[max_rank] = {};
    std::int64_t out_sizes[max_rank] = {};
    sample_type in_type = sample_type::uint8;
    sample_type out_type = sample_type::uint8;
    velmora::settings how;

    int changing = 0;          // q
    int axes[max_rank] = {};   // the changing axes, last axis first
    int set_dims = 0;          // the unchanged axes, first axis first
    int set_axes[max_rank] = {};
    std::int64_t total_sets = 1;
    std::int64_t block_sets = 1;

    cosine_pass passes[2 * max_rank];
    fft_tables tables;
    heap_array<double> workspace_block;
    heap_array<double*> workspace_of;
    heap_array<double> work_arrays[2];
    owned_team own_team;       // the plan's own threads, unless it borrows a team
    line_team* team = nullptr;  // the threads it runs on: its own or the borrowed team's
};

// make_plan with the vector path chosen by the caller instead of the
// widest the CPU has: every path gives the same bytes, which the tests
// check.
velmora::result make_array_plan(velmora::plan* made, const velmora::array_view& in, const velmora::array_view& out,
                                const velmora::settings& how, lane_path path);

// Starts a team of `threads` (1 to max_threads) threads for a plan or a
// caller; a refused thread is a thread_failed result that names it.
velmora::result start_team(int threads, owned_team* made);

// Runs a plan on views already checked against it.
velmora::result run_array_plan(velmora::plan_state& state, const velmora::array_view& in,
                               const velmora::array_view& out);
