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
// are clipped to their type's range (an infinite result to its end) and
// rounded as settings::rounding says; float64 outputs are neither clipped
// nor rounded, float32 outputs rounded to the nearest float as NumPy's
// astype does (beyond the float32 range: an infinity). Float inputs must
// be finite, and any finite input may be given: the sums of a line-set
// whose samples come near the largest double (2^896 and above) are taken
// scaled by an exact power of two, the same for the whole set, so a result
// is finite wherever the exact one is (and not within rounding of the
// largest double), and resizing x * 2^k gives the result for x times 2^k,
// bit for bit, barring underflow below the normal range. Other inputs take
// no scaling at all.
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
// Stopping. settings::stop lets another thread (or a signal handler) stop
// the work early: make_plan, run and resize ask it every few milliseconds
// of work at most, inside every pass and transform (a transform of the
// longest lines alone takes hundreds), and come back with
// status::cancelled. The output's content is then unspecified; a plan
// stays usable, and its next run gives the full result.
//
// Failures. Nothing here prints, exits, throws or keeps process-wide state:
// every failure comes back as a result with a code and a one-line message.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>

#include "velmora/export.h"

namespace velmora {

// The library's version, "major.minor.patch".
VELMORA_API extern const char version[];

enum class sample_type { uint8, uint16, float32, float64 };

// Bytes of one sample.
VELMORA_API std::size_t sample_size(sample_type type);

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
VELMORA_API array_view contiguous_view(void* data, sample_type type, std::initializer_list<std::int64_t> sizes);

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
struct VELMORA_API team_state_deleter {
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
    // Optional, owned by the caller: a flag that stops the work when it
    // becomes true. make_plan keeps the pointer, so the flag must outlive
    // the plan, and every run of the plan asks it. The library only reads
    // it (any memory order will do for the store); the caller lowers it
    // again before the next run, never while one goes on.
    const std::atomic<bool>* stop = nullptr;
    // Optional: the plan runs on this team's threads instead of starting
    // its own, and threads must then be 0 or the team's size. Borrowed (see
    // thread_team).
    thread_team* team = nullptr;
};

inline constexpr int max_threads = 256;

// The number of CPUs the process may run on (its affinity mask), from 1 to
// max_threads: what threads = 0 uses.
VELMORA_API int available_threads();

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
    cancelled,       // settings::stop was raised: the output is unspecified
};

struct result {
    velmora::status code = velmora::status::ok;
    char message[240] = {};  // one line, no newline; empty when ok
    char name[16] = {};      // no_memory: the array that could not be had
    explicit operator bool() const { return code == velmora::status::ok; }
};

// Resizes in into out (same rank; out's sizes are the new sizes). Plans,
// runs and frees a plan.
VELMORA_API result resize(const array_view& in, const array_view& out, const settings& how = {});

// A resize made once and run on many arrays of the same sizes and types:
// the threads, tables, plans and work arrays are made by make_plan and
// reused by every run. Move-only; destroying it stops its threads (a
// borrowed team's go on).
struct plan_state;
struct VELMORA_API plan_state_deleter {
    void operator()(plan_state* state) const;
};
struct plan {
    std::unique_ptr<plan_state, plan_state_deleter> state;
};

// Checks the shapes, types and settings of in and out (their data is not
// touched) and makes everything a resize between them needs. A raised stop
// flag (settings::stop) gives cancelled and no plan.
VELMORA_API result make_plan(plan* made, const array_view& in, const array_view& out, const settings& how = {});

// Runs a plan on views of the planned sizes and types (data and strides
// may differ from run to run). A stop flag raised before or during the run
// gives cancelled; the plan can run again once it is lowered.
VELMORA_API result run(plan& planned, const array_view& in, const array_view& out);

// The bytes of memory a plan holds: its work arrays, its threads'
// workspaces, its FFT tables and transform plans and its own record (0 for
// a plan never made). The threads' stacks, which the system gives each
// thread and which a plan barely touches, are not counted. For callers
// that keep plans within a bound of memory.
VELMORA_API std::size_t plan_bytes(const plan& planned);

// One axis at a time. A resize is separable, and resize() gives, bit for
// bit, what these two functions give when called once per pass in its
// order: forward_axis along every changing axis, last axis first, each on
// the coefficients of the call before, then inverse_axis along each in the
// same order. The coefficients between calls are float64; along the pass's
// axis a forward pass keeps min(n, n') of them, the C[k] of the formula
// above (k < min(n, n')), and an inverse pass turns them into n' samples.
// A caller can so hold part of an array at a time (velmora.dask resizes
// arrays larger than a machine's memory this way): a pass needs its lines
// whole along its axis, but they may be cut into blocks, each done by a
// call of its own, anywhere, by the rule below.
//
// Pairing. The caller names the line axes: the other axes whose size
// changes in the whole resize. Every other axis is a set axis. Within a set
// (one index on every set axis) the lines are numbered in row-major order
// of the line axes, at the array's sizes before the pass, and paired (0, 1),
// (2, 3), ..., a set's odd last line alone, as in resize(). A block
// therefore pairs its lines as the whole array does when its edges never
// part a pair: take the pair axis to be the innermost line axis of even
// size (the outermost line axis when none is even); along it a block starts
// at an even index and ends at an even index or the axis's end, the line
// axes inside it are whole, and the line axes outside it and the set axes
// may be cut anywhere. A pass along an axis that does not change (n = n')
// is allowed; resize() makes no such pass.
//
// Scaling. resize() scales each set of a float input whose largest
// magnitude is 2^896 or more by an exact power of two (see Samples): the
// first forward pass reads the set's samples scaled, the last inverse pass
// writes them scaled back. To give its bits those two calls take
// axis_lines::largest, each set's largest magnitude over the whole input
// (a block cannot know it), and scale each set as resize() does; every
// other call takes none. Without it nothing is scaled, which is what
// resize() does whenever the input's largest magnitude is below 2^896
// (always for integer and float32 inputs); a float64 input beyond that may
// then give infinities where resize() would not.
//
// Everything else is as for resize(): the views may have any strides; a
// float input (samples or coefficients) must be finite; settings::rounding
// applies to an inverse pass's integer output; settings::pairing must be
// within_sets; progress reports the one pass, and stop stops it. Each call
// plans, runs and frees its own plan; calls from different threads may run
// at once.
struct axis_lines {
    int axis = 0;                 // the axis the pass transforms
    std::uint32_t line_axes = 0;  // bit a set: axis a is a line axis (not `axis` itself)
    // Optional (null data: no scaling): of the arrays' rank, size 1 along
    // `axis` and every line axis and the arrays' size along each set axis,
    // each set's largest magnitude over the whole input (finite, not
    // negative, in any sample type).
    array_view largest{};
};

// The forward pass along lines.axis: in (samples of any type, n along the
// axis) into coefficients (float64, at most n along the axis, the other
// sizes in's).
VELMORA_API result forward_axis(const array_view& in, const array_view& coefficients, const axis_lines& lines,
                                 const settings& how = {});

// The inverse pass along lines.axis: coefficients (float64, min(length, n')
// along the axis) into out (any type, n' along the axis, the other sizes
// the coefficients'); length is n, the axis's size before the resize, which
// sets where the samples lie (at input positions x' n / n').
VELMORA_API result inverse_axis(const array_view& coefficients, const array_view& out, std::int64_t length,
                                 const axis_lines& lines, const settings& how = {});

// Starts a team of `threads` threads (1 to max_threads; 0: every CPU the
// process may run on): the calling thread of each loop and threads - 1
// workers, which run with every signal blocked, so that a signal sent to
// the process is taken by one of the caller's threads. Fails with
// bad_settings, no_memory or thread_failed ("cannot start thread 2 of 3:
// ..."), *made then left empty.
VELMORA_API result make_thread_team(thread_team* made, int threads);

// The number of threads of a team, the caller included; 0 for an empty one.
VELMORA_API int team_threads(const thread_team& team);

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
VELMORA_API void run_units(thread_team& team, std::int64_t units, team_body body, void* context);

}  // namespace velmora
