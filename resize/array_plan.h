// The engine behind the public header, part one: what a plan holds, how
// it is laid out and sized, and where the lines of each of its passes lie.
// resize/array_run.h runs it.
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
// A single-axis pass (velmora.h's forward_axis and inverse_axis) is a plan
// of the same kind that runs one of those passes, from the caller's input
// view straight into the caller's output view: its changing axes are the
// pass's axis and the line axes the caller names, so its lines pair as
// that pass of the whole resize pairs them, and its scaling exponents come
// from the largest magnitudes the caller gives instead of the samples.
//
// Sizing: every array, table, transform plan and thread a plan runs with
// is made here, by make_array_plan or make_axis_plan on the calling
// thread, which ask the settings' stop flag between their steps; a run
// allocates nothing.
//
// Ownership: the state owns every array, plan and thread it uses, except a
// team it borrows (settings::team), which the caller owns; the caller owns
// the views' memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/fft_lanes.h"
#include "fft/fft_tables.h"
#include "fft/stop_poll.h"
#include "resize/line_batch.h"
#include "resize/parallel_lines.h"
#include "resize/spectral_passes.h"
#include "velmora/buffer.h"
#include "velmora/velmora.h"

// A plan (velmora.h): the engine's record, defined here because it holds
// the engine's own types.
struct velmora::plan_state {
    int rank = 0;
    std::int64_t in_sizes[max_rank] = {};
    std::int64_t out_sizes[max_rank] = {};
    sample_type in_type = sample_type::uint8;
    sample_type out_type = sample_type::uint8;
    velmora::settings how;

    int changing = 0;               // q
    int axes[max_rank] = {};        // the changing axes, last axis first
    int first_pass = 0;             // a run makes passes first_pass .. end_pass - 1:
    int end_pass = 0;               // all 2q of a resize, or one
    bool one_axis = false;          // a single-axis pass: in_sizes/out_sizes hold its n and n'
    velmora::array_view largest{};  // a single-axis pass's largest magnitudes (null data: none)
    int set_dims = 0;               // the unchanged axes, first axis first
    int set_axes[max_rank] = {};
    std::int64_t total_sets = 1;
    std::int64_t block_sets = 1;

    detail::cosine_pass passes[2 * max_rank];
    detail::fft_tables tables;
    velmora::buffer<double> workspace_block;
    std::size_t workspace_total = 0;  // doubles of every thread together
    velmora::buffer<double*> workspace_of;
    velmora::buffer<double> work_arrays[2];
    std::size_t work_doubles[2] = {};
    velmora::buffer<std::uint8_t> set_exponents;  // float inputs: a block's scaling exponents
    detail::stop_poll stop{};                     // asks how.stop
    detail::owned_team own_team;                  // the plan's own threads, unless it borrows a team
    detail::line_team* team = nullptr;            // the threads it runs on: its own or the borrowed team's

    // The stop poll, or null when the caller gave no flag.
    const detail::stop_poll* poll() const { return how.stop ? &stop : nullptr; }
};

namespace velmora::detail {

// make_plan with the vector path chosen by the caller instead of the
// widest the CPU has: every path gives the same bytes, which the tests
// check.
velmora::result make_array_plan(velmora::plan* made, const velmora::array_view& in, const velmora::array_view& out,
                                const velmora::settings& how, lane_path path);

// The plan of one pass along lines.axis between n and n_out samples
// (forward: n_out is the kept count; inverse: n is the length before the
// resize), on views already checked.
velmora::result make_axis_plan(velmora::plan* made, const velmora::array_view& in, const velmora::array_view& out,
                               bool inverse, std::int64_t n, std::int64_t n_out, const velmora::axis_lines& lines,
                               const velmora::settings& how, lane_path path);

// The bytes the state and everything it owns take, its threads' stacks
// aside: work arrays, workspaces, tables, transform plans.
std::size_t array_plan_bytes(const velmora::plan_state& state);

// Where the lines of pass `pass` of a block lie: sets first_set ..
// first_set + set_count - 1, read from the caller's input (the first pass)
// or the work array the pass before wrote, written to the caller's output
// (the last pass) or the other work array.
pass_lines block_pass_lines(const velmora::plan_state& state, int pass, const velmora::array_view& in,
                            const velmora::array_view& out, std::int64_t first_set, std::int64_t set_count);

}  // namespace velmora::detail
