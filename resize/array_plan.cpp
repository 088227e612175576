#include "resize/array_plan.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "dft/chirp_plan.h"
#include "resize/fresh_memory.h"
#include "resize/results.h"
#include "resize/sample_convert.h"
#include "resize/sample_copy.h"

using velmora::array_view;
using velmora::plan_state;
using velmora::progress_stage;
using velmora::result;
using velmora::status;

namespace {

// A thread's work array is kept within this many bytes by narrowing the
// vector path of a pass with very long lines (the path changes no bits).
constexpr std::size_t workspace_bound = std::size_t{64} << 20;
// Line-sets are done in blocks whose largest work array holds about this
// many doubles, or one set when a set is larger.
constexpr std::int64_t block_doubles = std::int64_t{1} << 21;
lane_path narrower(lane_path path)
{
    switch (path) {
    case lane_path::avx512:
        return lane_path::avx2;
    case lane_path::avx2:
        return lane_path::sse2;
    default:
        return lane_path::scalar;
    }
}

// The size of changing axis number r (its place in state.axes) before
// pass s: n until its forward pass, then the carried bins, then n'.
std::int64_t size_at(const plan_state& st, int s, int r)
{
    const int axis = st.axes[r];
    if (s <= r)
        return st.in_sizes[axis];
    if (s <= st.changing + r)
        return carried_bins(static_cast<std::int32_t>(st.in_sizes[axis]), static_cast<std::int32_t>(st.out_sizes[axis]));
    return st.out_sizes[axis];
}

// Doubles one line-set takes in the work array before pass s.
std::int64_t stage_doubles(const plan_state& st, int s)
{
    std::int64_t doubles = 1;
    for (int r = 0; r < st.changing; ++r)
        doubles *= size_at(st, s, r);
    return doubles;
}

// The lines of the pass along changing axis p, as laid out in the work
// array before pass s: the axis of pass s innermost, then the other
// changing axes in the order of state.axes, then the sets.
line_layout work_layout(const plan_state& st, int s, int p, double* base)
{
    std::int64_t stride[velmora::max_rank];
    const int inner = s % st.changing;
    std::int64_t running = sizeof(double);
    stride[inner] = running;
    running *= size_at(st, s, inner);
    for (int r = 0; r < st.changing; ++r) {
        if (r == inner)
            continue;
        stride[r] = running;
        running *= size_at(st, s, r);
    }
    line_layout layout;
    layout.base = reinterpret_cast<unsigned char*>(base);
    layout.step = stride[p];
    // Lines are numbered in row-major order of the array's axes: the
    // changing axes with the largest index vary fastest.
    for (int r = st.changing - 1; r >= 0; --r) {
        if (r == p)
            continue;
        layout.line_sizes[layout.line_dims] = size_at(st, s, r);
        layout.line_strides[layout.line_dims] = stride[r];
        ++layout.line_dims;
    }
    layout.set_dims = 1;
    layout.set_sizes[0] = st.block_sets;
    layout.set_strides[0] = running;
    return layout;
}

// The lines along changing axis p of a caller's view, sets from first_set.
line_layout view_layout(const plan_state& st, const array_view& view, int p, std::int64_t first_set)
{
    line_layout layout;
    layout.base = static_cast<unsigned char*>(view.data);
    layout.step = view.strides[st.axes[p]];
    for (int r = st.changing - 1; r >= 0; --r) {
        if (r == p)
            continue;
        layout.line_sizes[layout.line_dims] = view.sizes[st.axes[r]];
        layout.line_strides[layout.line_dims] = view.strides[st.axes[r]];
        ++layout.line_dims;
    }
    for (int d = 0; d < st.set_dims; ++d) {
        layout.set_sizes[d] = view.sizes[st.set_axes[d]];
        layout.set_strides[d] = view.strides[st.set_axes[d]];
    }
    layout.set_dims = st.set_dims;
    layout.first_set = first_set;
    return layout;
}

std::int64_t lines_per_set(const line_layout& layout)
{
    std::int64_t lines = 1;
    for (int d = 0; d < layout.line_dims; ++d)
        lines *= layout.line_sizes[d];
    return lines;
}

bool flag_raised(const void* flag)
{
    return static_cast<const std::atomic<bool>*>(flag)->load(std::memory_order_relaxed);
}

// The plan's stop poll, or null when the caller gave no flag.
const stop_poll* poll_of(const plan_state& st)
{
    return st.how.stop ? &st.stop : nullptr;
}

result stopped()
{
    return failed(status::cancelled, "the resize was stopped on request");
}

void report(const plan_state& st, progress_stage stage, int axis, std::int64_t first, std::int64_t count)
{
    if (st.how.progress)
        st.how.progress(velmora::progress_event{stage, axis, first, count, st.total_sets}, st.how.progress_user);
}

// The work array that pass j writes (j < 2q - 1): the two take turns.
int written_array(int j)
{
    return j % 2;
}

// For a picture the first work array holds rows; when only the height
// changes it holds what the band array held before.
const char* work_array_name(const plan_state& st, int which)
{
    if (which == 1)
        return "band";
    return st.axes[0] == st.rank - 1 ? "rows" : "band";
}

// The transform of pass j: forward along axes[j] for j < q, back along
// axes[j - q] after.
chirp_shape shape_of_pass(const plan_state& st, int j)
{
    const int axis = st.axes[j % st.changing];
    return pass_shape(j >= st.changing, static_cast<std::int32_t>(st.in_sizes[axis]),
                      static_cast<std::int32_t>(st.out_sizes[axis]));
}

// One table for the longest power-of-two FFT of the chirp-z passes: tables
// built for a larger size serve every shorter transform with the same bits.
result make_tables(plan_state& st)
{
    std::int32_t longest = 4;
    for (int j = st.first_pass; j < st.end_pass; ++j) {
        const chirp_shape shape = shape_of_pass(st, j);
        longest = std::max(longest, line_plan_fft_points(shape));
    }
    if (fft_tables_build(&st.tables, longest, poll_of(st)))
        return succeeded();
    if (stop_requested(poll_of(st)))
        return stopped();
    return out_of_memory("ww", static_cast<std::size_t>(longest) * sizeof(double));
}

result make_workspaces(plan_state& st, const lane_path* paths)
{
    std::size_t size = 0;
    for (int j = st.first_pass; j < st.end_pass; ++j) {
        const chirp_shape shape = shape_of_pass(st, j);
        size = std::max(size, workspace_doubles(shape, paths[j]));
    }
    // Each thread's array starts on its own 64-byte boundary.
    const std::size_t per_line = lane_alignment / sizeof(double);
    size = (size + per_line - 1) / per_line * per_line;
    const auto threads = static_cast<std::size_t>(st.how.threads);
    st.workspace_block = fresh_block(size * threads);
    if (!st.workspace_block)
        return out_of_memory("work", size * threads * sizeof(double));
    st.workspace_total = size * threads;
    populate(*st.team, st.workspace_block.get(), size * threads * sizeof(double), populate_kind::owned);
    st.workspace_of = heap_array_alloc<double*>(threads);
    if (!st.workspace_of)
        return out_of_memory("work", threads * sizeof(double*));
    for (std::size_t t = 0; t < threads; ++t)
        st.workspace_of[t] = st.workspace_block.get() + size * t;
    return succeeded();
}

// A borrowed team is there already.
result make_threads(plan_state& st)
{
    if (st.team)
        return succeeded();
    const result made = start_team(st.how.threads, &st.own_team);
    st.team = st.own_team.get();
    return made;
}

void choose_block(plan_state& st)
{
    std::int64_t largest_set = 1;
    for (int s = st.first_pass + 1; s < st.end_pass; ++s)
        largest_set = std::max(largest_set, stage_doubles(st, s));
    st.block_sets = std::clamp<std::int64_t>(block_doubles / largest_set, 1, st.total_sets);
    // Pairs that run on across sets must not be split by a block's end.
    if (st.how.pairing == velmora::pairing::across_sets && st.block_sets < st.total_sets)
        st.block_sets += st.block_sets % 2;
}

// Pairs of lines in pass j of a block: a vector path with more lanes than
// that only computes zeros in the others (one long line would take eight
// times the work on AVX-512).
std::int64_t block_pairs(const plan_state& st, int j)
{
    std::int64_t per_set = 1;
    for (int r = 0; r < st.changing; ++r)
        if (r != j % st.changing)
            per_set *= size_at(st, j, r);
    if (st.how.pairing == velmora::pairing::across_sets)
        return (st.block_sets * per_set + 1) / 2;
    return st.block_sets * ((per_set + 1) / 2);
}

result make_work_arrays(plan_state& st)
{
    std::int64_t set_doubles[2] = {0, 0};
    for (int s = st.first_pass + 1; s < st.end_pass; ++s)
        set_doubles[written_array(s - 1)] = std::max(set_doubles[written_array(s - 1)], stage_doubles(st, s));
    for (int which = 0; which < 2; ++which) {
        if (set_doubles[which] == 0)
            continue;
        const auto doubles = static_cast<std::size_t>(set_doubles[which]) * static_cast<std::size_t>(st.block_sets);
        st.work_arrays[which] = fresh_block(doubles);
        if (!st.work_arrays[which])
            return out_of_memory(work_array_name(st, which), doubles * sizeof(double));
        st.work_doubles[which] = doubles;
        populate(*st.team, st.work_arrays[which].get(), doubles * sizeof(double), populate_kind::owned);
    }
    return succeeded();
}

result make_passes(plan_state& st, const lane_path* paths)
{
    for (int j = st.first_pass; j < st.end_pass; ++j) {
        if (stop_requested(poll_of(st)))
            return stopped();
        const int r = j % st.changing;
        const int made = cosine_pass_init(&st.passes[j], j >= st.changing,
                                          static_cast<std::int32_t>(st.in_sizes[st.axes[r]]),
                                          static_cast<std::int32_t>(st.out_sizes[st.axes[r]]), paths[j], st.tables,
                                          poll_of(st));
        if (made == chirp_stopped)
            return stopped();
        if (made == chirp_no_memory) {
            velmora::result r = failed(status::no_memory, "not enough memory for the transform of axis %d",
                                       st.axes[j % st.changing]);
            std::snprintf(r.name, sizeof r.name, "plan");
            return r;
        }
        if (made != chirp_ok)
            return failed(status::bad_size, "the transform of axis %d cannot be planned", st.axes[r]);
    }
    return succeeded();
}

// A block's scaling exponents, for inputs that can come near overflow and
// single-axis passes told to scale.
result make_exponents(plan_state& st)
{
    if (st.in_type != velmora::sample_type::float32 && st.in_type != velmora::sample_type::float64 &&
        !st.largest.data)
        return succeeded();
    const auto sets = static_cast<std::size_t>(st.block_sets);
    st.set_exponents = heap_array_alloc<std::uint8_t>(sets);
    if (!st.set_exponents)
        return out_of_memory("scales", sets);
    return succeeded();
}

// A new plan's state with what every plan holds; false when it cannot be
// had.
bool start_plan(velmora::plan* made, const array_view& in, const array_view& out, const velmora::settings& how)
{
    made->state.reset(new (std::nothrow) plan_state);
    if (!made->state)
        return false;
    plan_state& st = *made->state;
    st.rank = in.rank;
    st.in_type = in.type;
    st.out_type = out.type;
    st.how = how;
    st.stop = stop_poll{flag_raised, how.stop};
    if (how.team) {
        st.team = how.team->state->team.get();
        st.how.threads = team_size(*st.team);
    } else if (st.how.threads == 0) {
        st.how.threads = velmora::available_threads();
    }
    return true;
}

// Everything the passes of a plan need, once its axes are known; on a
// failure, no plan.
result build_plan(velmora::plan* made, lane_path path)
{
    plan_state& st = *made->state;
    choose_block(st);
    lane_path paths[2 * velmora::max_rank];
    for (int j = st.first_pass; j < st.end_pass; ++j) {
        const chirp_shape shape = shape_of_pass(st, j);
        paths[j] = path;
        while (paths[j] != lane_path::scalar && (workspace_doubles(shape, paths[j]) * sizeof(double) > workspace_bound ||
                                                 lane_width(narrower(paths[j])) >= block_pairs(st, j)))
            paths[j] = narrower(paths[j]);
    }
    // The threads first: they populate the work arrays.
    result r = make_tables(st);
    if (r && stop_requested(poll_of(st)))
        r = stopped();
    if (r)
        r = make_threads(st);
    if (r)
        r = make_workspaces(st, paths);
    if (r)
        r = make_work_arrays(st);
    if (r)
        r = make_exponents(st);
    if (r)
        r = make_passes(st, paths);
    if (r && stop_requested(poll_of(st)))
        r = stopped();
    if (!r)
        made->state.reset();
    return r;
}

}  // namespace

result start_team(int threads, owned_team* made)
{
    team_failure failure{};
    *made = make_team(threads, &failure);
    if (*made)
        return succeeded();
    if (failure.thread == 0)
        return out_of_memory("team", sizeof(void*));
    return failed(status::thread_failed, "cannot start thread %d of %d: %s", failure.thread, threads,
                  std::strerror(failure.error));
}

result make_array_plan(velmora::plan* made, const array_view& in, const array_view& out,
                       const velmora::settings& how, lane_path path)
{
    if (!start_plan(made, in, out, how))
        return out_of_memory("plan", sizeof(plan_state));
    plan_state& st = *made->state;
    for (int a = 0; a < in.rank; ++a) {
        st.in_sizes[a] = in.sizes[a];
        st.out_sizes[a] = out.sizes[a];
    }
    for (int a = in.rank - 1; a >= 0; --a)
        if (in.sizes[a] != out.sizes[a])
            st.axes[st.changing++] = a;
    for (int a = 0; a < in.rank; ++a)
        if (in.sizes[a] == out.sizes[a]) {
            st.set_axes[st.set_dims++] = a;
            st.total_sets *= in.sizes[a];
        }
    if (st.changing == 0)
        return stop_requested(poll_of(st)) ? stopped() : succeeded();
    st.end_pass = 2 * st.changing;
    return build_plan(made, path);
}

result make_axis_plan(velmora::plan* made, const array_view& in, const array_view& out, bool inverse,
                      std::int64_t n, std::int64_t n_out, const velmora::axis_lines& lines,
                      const velmora::settings& how, lane_path path)
{
    if (!start_plan(made, in, out, how))
        return out_of_memory("plan", sizeof(plan_state));
    plan_state& st = *made->state;
    st.one_axis = true;
    st.largest = lines.largest;
    for (int a = 0; a < in.rank; ++a) {
        st.in_sizes[a] = in.sizes[a];
        st.out_sizes[a] = in.sizes[a];
    }
    st.in_sizes[lines.axis] = n;
    st.out_sizes[lines.axis] = n_out;
    // The pass's axis and the line axes take the places of a resize's
    // changing axes, so that the lines are numbered as that resize's.
    int pass = 0;
    for (int a = in.rank - 1; a >= 0; --a) {
        if (a == lines.axis)
            pass = st.changing;
        if (a == lines.axis || (lines.line_axes >> a & 1u))
            st.axes[st.changing++] = a;
        else {
            st.set_axes[st.set_dims++] = a;
            st.total_sets *= in.sizes[a];
        }
    }
    std::reverse(st.set_axes, st.set_axes + st.set_dims);
    st.first_pass = inverse ? st.changing + pass : pass;
    st.end_pass = st.first_pass + 1;
    return build_plan(made, path);
}

std::size_t array_plan_bytes(const plan_state& st)
{
    std::size_t bytes = sizeof(plan_state) + fft_tables_bytes(st.tables);
    if (st.changing == 0)
        return bytes;
    for (int j = 0; j < 2 * st.changing; ++j)
        bytes += line_plan_bytes(st.passes[j].plan);
    bytes += fresh_block_bytes(st.workspace_total) +
             heap_array_bytes<double*>(static_cast<std::size_t>(st.how.threads));
    for (std::size_t doubles : st.work_doubles)
        bytes += doubles ? fresh_block_bytes(doubles) : 0;
    if (st.set_exponents)
        bytes += heap_array_bytes<std::uint8_t>(static_cast<std::size_t>(st.block_sets));
    return bytes;
}

namespace {

result non_finite(const array_view& in, const std::int64_t* index, bool is_nan)
{
    char where[velmora::max_rank * 21 + 4];
    int used = 0;
    for (int a = 0; a < in.rank; ++a)
        used += std::snprintf(where + used, sizeof where - static_cast<std::size_t>(used), "%s%lld",
                              a ? ", " : "", static_cast<long long>(index[a]));
    return failed(status::not_finite, "the input holds %s at index (%s)", is_nan ? "a NaN" : "an infinity", where);
}

// A float input must be finite. The samples are searched in ranges on the
// plan's threads; the first range with a hit holds the first in row-major
// order. *largest: the largest magnitude of the input's samples (0 for
// integer inputs, whose samples never come near overflow).
result check_finite(const plan_state& st, const array_view& in, double* largest)
{
    *largest = 0.0;
    if (in.type != velmora::sample_type::float32 && in.type != velmora::sample_type::float64)
        return succeeded();
    std::int64_t total = 1;
    for (int a = 0; a < in.rank; ++a)
        total *= in.sizes[a];
    struct hit {
        bool found = false;
        bool is_nan = false;
        double largest = 0.0;
        std::int64_t index[velmora::max_rank];
    };
    constexpr std::int64_t max_ranges = 64;
    hit hits[max_ranges];
    const std::int64_t ranges = st.team ? std::clamp<std::int64_t>(total >> 16, 1, max_ranges) : 1;
    auto search = [&](int, std::int64_t r) {
        hit& h = hits[r];
        h.found = find_non_finite(in, total * r / ranges, total * (r + 1) / ranges, h.index, &h.is_nan, &h.largest,
                                  poll_of(st));
    };
    // Every range runs even when a stop is asked: each stops early itself,
    // and no hit is left unset.
    if (st.team)
        parallel_lines(*st.team, ranges, search);
    else
        search(0, 0);
    for (std::int64_t r = 0; r < ranges; ++r)
        if (hits[r].found)
            return non_finite(in, hits[r].index, hits[r].is_nan);
    for (std::int64_t r = 0; r < ranges; ++r)
        *largest = std::max(*largest, hits[r].largest);
    return succeeded();
}

// A single-axis pass's largest magnitude of set `set`.
double set_largest(const plan_state& st, std::int64_t set)
{
    const auto* at = static_cast<const unsigned char*>(st.largest.data);
    for (int d = st.set_dims - 1; d >= 0; --d) {
        const int axis = st.set_axes[d];
        at += set % st.largest.sizes[axis] * st.largest.strides[axis];
        set /= st.largest.sizes[axis];
    }
    return load_sample(at, st.largest.type);
}

result check_largest(const plan_state& st)
{
    if (!st.largest.data)
        return succeeded();
    for (std::int64_t set = 0; set < st.total_sets; ++set) {
        const double largest = set_largest(st, set);
        if (!(largest >= 0.0 && largest <= std::numeric_limits<double>::max()))
            return failed(status::bad_view, "set %lld's largest magnitude is %g; it must be finite and not negative",
                          static_cast<long long>(set), largest);
    }
    return succeeded();
}

// The scaling exponents of the block's sets (null: none is scaled): those
// of a single-axis pass's largest magnitudes, or from the whole input's
// largest magnitude and, when that calls for scaling and the sets may
// differ, from each set's samples.
const std::uint8_t* block_exponents(const plan_state& st, const array_view& in, int whole, std::int64_t first,
                                    std::int64_t count, const line_engine& engine)
{
    std::uint8_t* exponents = st.set_exponents.get();
    if (st.one_axis) {
        if (!st.largest.data)
            return nullptr;
        for (std::int64_t g = 0; g < count; ++g)
            exponents[g] = static_cast<std::uint8_t>(overflow_exponent(set_largest(st, first + g)));
        return exponents;
    }
    if (whole == 0)
        return nullptr;
    if (st.how.pairing == velmora::pairing::across_sets || st.total_sets == 1) {
        std::fill(exponents, exponents + count, static_cast<std::uint8_t>(whole));
        return exponents;
    }
    pass_lines lines;
    lines.sets = count;
    lines.in = view_layout(st, in, 0, first);
    lines.lines_per_set = lines_per_set(lines.in);
    find_set_exponents(lines, static_cast<std::int32_t>(st.in_sizes[st.axes[0]]), st.in_type, engine, exponents);
    return exponents;
}

// The last pass writes the output a few columns at a time, touching every
// page of it at once from every thread; where the output is fresh memory,
// its faults are taken here instead, in contiguous blocks. The advice
// covers the bytes the view spans, its gaps included (the other channels
// of an interleaved picture), which it leaves as they are; a view sparser
// than a picture of four channels is left alone, so that no large range of
// the caller's memory is made resident for a few samples.
void populate_output(const plan_state& st, const array_view& out)
{
    std::int64_t low = 0, high = 0, samples = 1;
    for (int a = 0; a < out.rank; ++a) {
        const std::int64_t reach = (out.sizes[a] - 1) * out.strides[a];
        (reach < 0 ? low : high) += reach;
        samples *= out.sizes[a];
    }
    const auto size = static_cast<std::int64_t>(velmora::sample_size(out.type));
    const std::int64_t span = high - low + size;
    if (span > 4 * samples * size)
        return;
    populate(*st.team, static_cast<unsigned char*>(out.data) + low, static_cast<std::size_t>(span),
             populate_kind::caller);
}

}  // namespace

result run_array_plan(plan_state& st, const array_view& in, const array_view& out)
{
    const stop_poll* poll = poll_of(st);
    double largest = 0.0;
    result checked = check_finite(st, in, &largest);
    if (stop_requested(poll))
        return stopped();
    if (checked)
        checked = check_largest(st);
    if (!checked)
        return checked;
    if (st.changing == 0) {
        report(st, progress_stage::block_started, -1, 0, st.total_sets);
        copy_samples(in, out, st.how.rounding, poll);
        if (stop_requested(poll))
            return stopped();
        report(st, progress_stage::block_ended, -1, 0, st.total_sets);
        return succeeded();
    }
    populate_output(st, out);
    const int q = st.changing;
    const int whole = overflow_exponent(largest);
    const line_engine engine{st.workspace_of.get(), st.team, poll};
    // The first pass reads the caller's input, the last writes the
    // caller's output; only they scale.
    const int last = st.end_pass - 1;
    for (std::int64_t first = 0; first < st.total_sets; first += st.block_sets) {
        const std::int64_t count = std::min(st.block_sets, st.total_sets - first);
        report(st, progress_stage::block_started, -1, first, count);
        const std::uint8_t* exponents = block_exponents(st, in, whole, first, count, engine);
        for (int j = st.first_pass; j <= last; ++j) {
            const int p = j % q;
            const bool inverse = j >= q;
            pass_lines lines;
            lines.sets = count;
            lines.across_sets = st.how.pairing == velmora::pairing::across_sets;
            lines.in = j == st.first_pass ? view_layout(st, in, p, first)
                                          : work_layout(st, j, p, st.work_arrays[written_array(j - 1)].get());
            lines.out = j == last ? view_layout(st, out, p, first)
                                  : work_layout(st, j + 1, p, st.work_arrays[written_array(j)].get());
            lines.lines_per_set = lines_per_set(lines.in);
            if ((j == st.first_pass && !inverse) || (j == last && inverse))
                lines.exponents = exponents;
            const int axis = st.axes[p];
            report(st, inverse ? progress_stage::inverse_started : progress_stage::forward_started, axis, first, count);
            if (inverse)
                inverse_lines(st.passes[j], lines, j == last ? st.out_type : velmora::sample_type::float64,
                              st.how.rounding, engine);
            else
                forward_lines(st.passes[j], lines, j == st.first_pass ? st.in_type : velmora::sample_type::float64,
                              engine);
            if (stop_requested(poll))
                return stopped();
            report(st, inverse ? progress_stage::inverse_ended : progress_stage::forward_ended, axis, first, count);
        }
        report(st, progress_stage::block_ended, -1, first, count);
    }
    return succeeded();
}
