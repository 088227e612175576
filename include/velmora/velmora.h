// velmora: band-limited resizing of N-dimensional arrays in the frequency
// domain.
//
// What a resize computes. Along one axis, a line x[0..n) becomes y[0..n')
// by the mirror method: the line followed by its reverse is an even signal
// of length 2n; its DFT is widened with zeros at the highest frequencies
// (n' > n) or cut there (n' < n) to length 2n', transformed back, and the
// first n' samples kept. In cosine terms,
//
//   C[k]  = (1/n) sum_j x[j] cos(pi k (2j + 1) / 2n),       0 <= k < n,
//   y[x'] = sum over |k| < min(n, n') of C[|k|] cos(pi k (2 x' n/n' + 1) / 2n)
//
// so output sample x' sits at input position x' n / n', nothing finer than
// the smaller of the two bands is kept, and nothing wraps around the ends.
// An N-D resize is that operation along every axis whose size changes;
// axes whose size stays are carried over untouched (an H x W x 3 picture
// keeps its channels, a stack of frames its frame axis).
//
// Order and pairing, which fix the last bits of every result. The changing
// axes are taken from the last axis to the first (for an H x W picture:
// along the rows first, then the columns). All of them are first turned
// into cosine coefficients in that order, then all are turned back in that
// order. Every transform carries two real lines at once; two lines are
// paired only when they have the same index on every axis that does not
// change (each channel, frame or slice is paired within itself), and within
// such a line-set lines are numbered in row-major order of the other
// changing axes and paired (0, 1), (2, 3), ... So strides, transposed or
// flipped views, splitting the array along an unchanged axis and the thread
// count never change a byte of the result. (settings::pairing can lift the
// restriction to line-sets, which halves the work when one axis of many
// short line-sets changes, at the price of that guarantee.)
//
// Samples. Inputs and outputs are uint8, uint16, float32 or float64 and may
// differ (uint8 in, float32 out keeps the exact values). Integer outputs
// are clipped to their type's range and rounded as settings::rounding says;
// float outputs are neither clipped nor rounded. Float inputs must be
// finite.
//
// Threads and memory. A resize runs on settings::threads threads (0: every
// CPU the process may run on), or on a team of threads the caller lends
// (settings::team, below). A plan owns everything a resize needs (its
// threads unless it borrows a team, FFT tables, transform plans and work
// arrays) and frees it when it is destroyed; the arrays themselves belong
// to the caller. Different plans may run at the same time on different
// threads, so concurrent calls of resize() are safe, as long as they do not
// borrow one team; one plan runs one resize at a time.
//
// Failures. Nothing here prints, exits, throws or keeps process-wide state:
// every failure comes back as a result with a code and a one-line message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>

namespace velmora {

inline constexpr char version[] = "0.2.0";

enum class sample_type { uint8, uint16, float32, float64 };

// Bytes of one sample.
std::size_t sample_size(sample_type type);

inline constexpr int max_rank = 8;
// The longest axis, in and out. A line of n samples resized to n' needs FFTs
// of up to 4 max(n, n') points; this keeps them at 2^22.
inline constexpr std::int64_t max_axis_length = std::int64_t{1} << 20;

// An array in the caller's memory: sample (i0, i1, ...) lies at
// data + i0 * strides[0] + i1 * strides[1] + ... (strides in bytes, of any
// sign, so transposes and flips need no copy). The input of a resize is
// only read.
struct array_view {
    void* data = nullptr;
    sample_type type = sample_type::uint8;
    int rank = 0;
    std::int64_t sizes[max_rank] = {};
    std::int64_t strides[max_rank] = {};
};

// A C-ordered (row-major, last axis contiguous) view of rank sizes.size().
array_view contiguous_view(void* data, sample_type type, std::initializer_list<std::int64_t> sizes);

enum class rounding {
    nearest,   // floor(x + 0.5): halves go up
    truncate,  // toward zero
};

// Progress, reported on the calling thread between pieces of work. A
// resize goes through its line-sets (see above) a block of them at a time;
// each block passes through the forward transforms (one per changing axis,
// last axis first) and then the inverse ones in the same order.
enum class progress_stage {
    block_started,    // first_set .. first_set + set_count - 1 of total_sets
    forward_started,  // along `axis`
    forward_ended,
    inverse_started,
    inverse_ended,
    block_ended,
};

struct progress_event {
    progress_stage stage;
    int axis;                // the pass's axis; -1 for block events
    std::int64_t first_set;  // the block
    std::int64_t set_count;
    std::int64_t total_sets;
};

using progress_callback = void (*)(const progress_event& event, void* user);

// Which lines one transform may carry together.
enum class pairing {
    within_sets,  // only lines of one line-set (see above)
    across_sets,  // any two lines in row-major order of all the other axes: a
                  // set's odd last line pairs with the next set's first line,
                  // so splitting the array along an unchanged axis may change
                  // the last bits of a result
};

// A team of threads made once and lent to plans and to the caller's own
// parallel loops, so that a program that runs several plans (one per
// channel of a picture) and parallel work around them (decoding the input,
// compressing the output) starts its threads once, and only one set of
// threads is ever awake.
//
// Ownership: a thread_team owns its threads; destroying it stops and joins
// them. Move-only. A plan made with settings::team borrows the team and
// never stops it: the team must outlive every plan that borrows it (and
// every resize() that runs on it).
//
// One loop at a time: a team runs one run_units() loop, or one run() of a
// plan that borrows it, at a time. Calls that use one team must not
// overlap: the caller serialises calls from different threads, and a body
// must not use its own team (that would wait for itself).
struct team_state;
struct team_state_deleter {
    void operator()(team_state* state) const;
};
struct thread_team {
    std::unique_ptr<team_state, team_state_deleter> state;
};

struct settings {
    int threads = 0;  // 1 to max_threads; 0: every CPU the process may run on
    velmora::rounding rounding = velmora::rounding::nearest;
    velmora::pairing pairing = velmora::pairing::within_sets;
    progress_callback progress = nullptr;  // optional
    void* progress_user = nullptr;         // handed to progress
    // Optional: the plan runs on this team's threads instead of starting
    // its own, and threads must then be 0 or the team's size. Borrowed (see
    // thread_team).
    thread_team* team = nullptr;
};

inline constexpr int max_threads = 256;

// The number of CPUs the process may run on (its affinity mask), from 1 to
// max_threads: what threads = 0 uses.
int available_threads();

enum class status {
    ok,
    null_data,       // a view's data pointer is null
    bad_rank,        // a rank outside 1..max_rank, or in and out differ
    bad_size,        // an axis of size 0 or less, or above max_axis_length
    bad_view,        // the output addresses one sample twice, or sizes too large to address
    overlap,         // the output's memory overlaps the input's
    not_finite,      // a NaN or infinity in a float input
    bad_settings,    // a thread count outside 0..max_threads
    no_memory,       // an array could not be allocated (name says which)
    thread_failed,   // the system refused a thread
    plan_mismatch,   // run() with views whose sizes or types differ from the plan's
};

struct result {
    velmora::status code = velmora::status::ok;
    char message[240] = {};  // one line, no newline; empty when ok
    char name[16] = {};      // no_memory: the array that could not be had
    explicit operator bool() const { return code == velmora::status::ok; }
};

// Resizes in into out (same rank; out's sizes are the new sizes). Plans,
// runs and frees a plan.
result resize(const array_view& in, const array_view& out, const settings& how = {});

// A resize made once and run on many arrays of the same sizes and types:
// the threads, tables, plans and work arrays are made by make_plan and
// reused by every run. Move-only; destroying it stops its threads (a
// borrowed team's go on).
struct plan_state;
struct plan_state_deleter {
    void operator()(plan_state* state) const;
};
struct plan {
    std::unique_ptr<plan_state, plan_state_deleter> state;
};

// Checks the shapes, types and settings of in and out (their data is not
// touched) and makes everything a resize between them needs.
result make_plan(plan* made, const array_view& in, const array_view& out, const settings& how = {});

// Runs a plan on views of the planned sizes and types (data and strides
// may differ from run to run).
result run(plan& planned, const array_view& in, const array_view& out);

// Starts a team of `threads` threads (1 to max_threads; 0: every CPU the
// process may run on): the calling thread of each loop and threads - 1
// workers, which run with every signal blocked, so that a signal sent to
// the process is taken by one of the caller's threads. Fails with
// bad_settings, no_memory or thread_failed ("cannot start thread 2 of 3:
// ..."), *made then left empty.
result make_thread_team(thread_team* made, int threads);

// The number of threads of a team, the caller included; 0 for an empty one.
int team_threads(const thread_team& team);

// run_units(team, units, body, context) calls body(context, thread, unit)
// once for every unit in [0, units) on the team's threads and returns when
// all are done. The calling thread is thread 0, the workers 1 to
// team_threads(team) - 1, so thread numbers can index per-thread
// workspaces made before the loop. Units are taken in increasing order by
// whichever thread is free: what a unit computes must not depend on the
// thread that runs it. A body must not throw or end its thread, and should
// not block or allocate: the other threads wait for it. An empty team runs
// every unit on the calling thread.
using team_body = void (*)(void* context, int thread, std::int64_t unit);
void run_units(thread_team& team, std::int64_t units, team_body body, void* context);

}  // namespace velmora
