#include "resize/array_plan.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <new>

#include "dft/dft_window.h"
#include "dft/line_plan.h"
#include "resize/fresh_memory.h"
#include "resize/results.h"

namespace velmora::detail {

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

// ---- Layout ----------------------------------------------------------------

// The size of changing axis number `place` (its place in state.axes)
// before pass `stage`: n until its forward pass, then the carried bins,
// then n'.
std::int64_t size_at(const plan_state& state, int stage, int place)
{
    const int axis = state.axes[place];
    if (stage <= place)
        return state.in_sizes[axis];
    if (stage <= state.changing + place)
        return carried_bins(static_cast<std::int32_t>(state.in_sizes[axis]),
                            static_cast<std::int32_t>(state.out_sizes[axis]));
    return state.out_sizes[axis];
}

// Doubles one line-set takes in the work array before pass `stage`.
std::int64_t stage_doubles(const plan_state& state, int stage)
{
    std::int64_t doubles = 1;
    for (int place = 0; place < state.changing; ++place)
        doubles *= size_at(state, stage, place);
    return doubles;
}

// The lines along changing axis number `along`, as laid out in the work
// array before pass `stage`: the axis of that pass innermost, then the
// other changing axes in the order of state.axes, then the sets.
line_layout work_layout(const plan_state& state, int stage, int along, double* base)
{
    std::int64_t stride[velmora::max_rank];
    const int inner = stage % state.changing;
    std::int64_t running = sizeof(double);
    stride[inner] = running;
    running *= size_at(state, stage, inner);
    for (int place = 0; place < state.changing; ++place) {
        if (place == inner)
            continue;
        stride[place] = running;
        running *= size_at(state, stage, place);
    }
    line_layout layout;
    layout.base = reinterpret_cast<unsigned char*>(base);
    layout.step = stride[along];
    // Lines are numbered in row-major order of the array's axes: the
    // changing axes with the largest index vary fastest.
    for (int place = state.changing - 1; place >= 0; --place) {
        if (place == along)
            continue;
        layout.line_sizes[layout.line_dims] = size_at(state, stage, place);
        layout.line_strides[layout.line_dims] = stride[place];
        ++layout.line_dims;
    }
    layout.set_dims = 1;
    layout.set_sizes[0] = state.block_sets;
    layout.set_strides[0] = running;
    return layout;
}

// The lines along changing axis number `along` of a caller's view, sets
// from first_set.
line_layout view_layout(const plan_state& state, const array_view& view, int along, std::int64_t first_set)
{
    line_layout layout;
    layout.base = static_cast<unsigned char*>(view.data);
    layout.step = view.strides[state.axes[along]];
    for (int place = state.changing - 1; place >= 0; --place) {
        if (place == along)
            continue;
        layout.line_sizes[layout.line_dims] = view.sizes[state.axes[place]];
        layout.line_strides[layout.line_dims] = view.strides[state.axes[place]];
        ++layout.line_dims;
    }
    for (int dim = 0; dim < state.set_dims; ++dim) {
        layout.set_sizes[dim] = view.sizes[state.set_axes[dim]];
        layout.set_strides[dim] = view.strides[state.set_axes[dim]];
    }
    layout.set_dims = state.set_dims;
    layout.first_set = first_set;
    return layout;
}

std::int64_t lines_per_set(const line_layout& layout)
{
    std::int64_t lines = 1;
    for (int dim = 0; dim < layout.line_dims; ++dim)
        lines *= layout.line_sizes[dim];
    return lines;
}

// The work array that pass `pass` writes (pass < 2q - 1): the two take
// turns.
int written_array(int pass)
{
    return pass % 2;
}

// For a picture the first work array holds rows; when only the height
// changes it holds what the band array held before.
const char* work_array_name(const plan_state& state, int which)
{
    if (which == 1)
        return "band";
    return state.axes[0] == state.rank - 1 ? "rows" : "band";
}

// The transform of pass `pass`: forward along axes[pass] for pass < q,
// back along axes[pass - q] after.
dft_window window_of_pass(const plan_state& state, int pass)
{
    const int axis = state.axes[pass % state.changing];
    return pass_window(pass >= state.changing, static_cast<std::int32_t>(state.in_sizes[axis]),
                       static_cast<std::int32_t>(state.out_sizes[axis]));
}

// Pairs of lines in pass `pass` of a block: a vector path with more lanes
// than that only computes zeros in the others (one long line would take
// eight times the work on AVX-512).
std::int64_t block_pairs(const plan_state& state, int pass)
{
    std::int64_t per_set = 1;
    for (int place = 0; place < state.changing; ++place)
        if (place != pass % state.changing)
            per_set *= size_at(state, pass, place);
    if (state.how.pairing == velmora::pairing::across_sets)
        return (state.block_sets * per_set + 1) / 2;
    return state.block_sets * ((per_set + 1) / 2);
}

// ---- Sizing ----------------------------------------------------------------

void choose_block(plan_state& state)
{
    std::int64_t largest_set = 1;
    for (int stage = state.first_pass + 1; stage < state.end_pass; ++stage)
        largest_set = std::max(largest_set, stage_doubles(state, stage));
    state.block_sets = std::clamp<std::int64_t>(block_doubles / largest_set, 1, state.total_sets);
    // Pairs that run on across sets must not be split by a block's end.
    if (state.how.pairing == velmora::pairing::across_sets && state.block_sets < state.total_sets)
        state.block_sets += state.block_sets % 2;
}

// The vector path of every pass: the one asked for, narrowed while a
// thread's work array would exceed its bound or the next narrower path
// still has lanes for every pair of a block.
void choose_paths(const plan_state& state, lane_path path, lane_path* paths)
{
    for (int pass = state.first_pass; pass < state.end_pass; ++pass) {
        const dft_window window = window_of_pass(state, pass);
        paths[pass] = path;
        while (paths[pass] != lane_path::scalar &&
               (line_plan_work_doubles(window, paths[pass]) * sizeof(double) > workspace_bound ||
                lane_width(narrower(paths[pass])) >= block_pairs(state, pass)))
            paths[pass] = narrower(paths[pass]);
    }
}

// One table for the longest power-of-two FFT of the chirp-z passes: tables
// built for a larger size serve every shorter transform with the same bits.
result make_tables(plan_state& state)
{
    std::int32_t longest = 4;
    for (int pass = state.first_pass; pass < state.end_pass; ++pass)
        longest = std::max(longest, line_plan_fft_points(window_of_pass(state, pass)));
    if (fft_tables_build(&state.tables, longest, state.poll()))
        return succeeded();
    if (stop_requested(state.poll()))
        return cancelled();
    return out_of_memory("ww", static_cast<std::size_t>(longest) * sizeof(double));
}

result make_workspaces(plan_state& state, const lane_path* paths)
{
    std::size_t size = 0;
    for (int pass = state.first_pass; pass < state.end_pass; ++pass)
        size = std::max(size, line_plan_work_doubles(window_of_pass(state, pass), paths[pass]));
    // Each thread's array starts on its own 64-byte boundary.
    const std::size_t per_line = lane_alignment / sizeof(double);
    size = (size + per_line - 1) / per_line * per_line;
    const auto threads = static_cast<std::size_t>(state.how.threads);
    state.workspace_block = velmora::make_buffer<double>(size * threads, velmora::buffer_pages::huge_when_large);
    if (!state.workspace_block)
        return out_of_memory("work", size * threads * sizeof(double));
    state.workspace_total = size * threads;
    populate(*state.team, state.workspace_block.get(), size * threads * sizeof(double),
             velmora::populate_kind::owned);
    state.workspace_of = velmora::make_buffer<double*>(threads);
    if (!state.workspace_of)
        return out_of_memory("work", threads * sizeof(double*));
    for (std::size_t thread = 0; thread < threads; ++thread)
        state.workspace_of[thread] = state.workspace_block.get() + size * thread;
    return succeeded();
}

// A borrowed team is there already.
result make_threads(plan_state& state)
{
    if (state.team)
        return succeeded();
    const result made = start_team(state.how.threads, &state.own_team);
    state.team = state.own_team.get();
    return made;
}

result make_work_arrays(plan_state& state)
{
    std::int64_t set_doubles[2] = {0, 0};
    for (int stage = state.first_pass + 1; stage < state.end_pass; ++stage) {
        std::int64_t& largest = set_doubles[written_array(stage - 1)];
        largest = std::max(largest, stage_doubles(state, stage));
    }
    for (int which = 0; which < 2; ++which) {
        if (set_doubles[which] == 0)
            continue;
        const auto doubles = static_cast<std::size_t>(set_doubles[which]) * static_cast<std::size_t>(state.block_sets);
        state.work_arrays[which] = velmora::make_buffer<double>(doubles, velmora::buffer_pages::huge_when_large);
        if (!state.work_arrays[which])
            return out_of_memory(work_array_name(state, which), doubles * sizeof(double));
        state.work_doubles[which] = doubles;
        populate(*state.team, state.work_arrays[which].get(), doubles * sizeof(double), velmora::populate_kind::owned);
    }
    return succeeded();
}

result make_passes(plan_state& state, const lane_path* paths)
{
    for (int pass = state.first_pass; pass < state.end_pass; ++pass) {
        if (stop_requested(state.poll()))
            return cancelled();
        const int axis = state.axes[pass % state.changing];
        const dft_status made = cosine_pass_init(
            &state.passes[pass], pass >= state.changing, static_cast<std::int32_t>(state.in_sizes[axis]),
            static_cast<std::int32_t>(state.out_sizes[axis]), paths[pass], state.tables, state.poll());
        if (made == dft_status::stopped)
            return cancelled();
        if (made == dft_status::no_memory) {
            result refused = failed(status::no_memory, "not enough memory for the transform of axis %d", axis);
            std::snprintf(refused.name, sizeof refused.name, "plan");
            return refused;
        }
        if (made != dft_status::ok)
            return failed(status::bad_size, "the transform of axis %d cannot be planned", axis);
    }
    return succeeded();
}

// A block's scaling exponents, for inputs that can come near overflow and
// single-axis passes told to scale.
result make_exponents(plan_state& state)
{
    if (state.in_type != velmora::sample_type::float32 && state.in_type != velmora::sample_type::float64 &&
        !state.largest.data)
        return succeeded();
    const auto sets = static_cast<std::size_t>(state.block_sets);
    state.set_exponents = velmora::make_buffer<std::uint8_t>(sets);
    if (!state.set_exponents)
        return out_of_memory("scales", sets);
    return succeeded();
}

bool flag_raised(const void* flag)
{
    return static_cast<const std::atomic<bool>*>(flag)->load(std::memory_order_relaxed);
}

// A new plan's state with what every plan holds; false when it cannot be
// had.
bool start_plan(velmora::plan* made, const array_view& in, const array_view& out, const velmora::settings& how)
{
    made->state.reset(new (std::nothrow) plan_state);
    if (!made->state)
        return false;
    plan_state& state = *made->state;
    state.rank = in.rank;
    state.in_type = in.type;
    state.out_type = out.type;
    state.how = how;
    state.stop = stop_poll{flag_raised, how.stop};
    if (how.team) {
        state.team = how.team->state->team.get();
        state.how.threads = team_size(*state.team);
    } else if (state.how.threads == 0) {
        state.how.threads = velmora::available_threads();
    }
    return true;
}

// Everything the passes of a plan need, once its axes are known; on a
// failure, no plan.
result build_plan(velmora::plan* made, lane_path path)
{
    plan_state& state = *made->state;
    choose_block(state);
    lane_path paths[2 * velmora::max_rank];
    choose_paths(state, path, paths);
    // The threads first: they populate the work arrays.
    result built = make_tables(state);
    if (built && stop_requested(state.poll()))
        built = cancelled();
    if (built)
        built = make_threads(state);
    if (built)
        built = make_workspaces(state, paths);
    if (built)
        built = make_work_arrays(state);
    if (built)
        built = make_exponents(state);
    if (built)
        built = make_passes(state, paths);
    if (built && stop_requested(state.poll()))
        built = cancelled();
    if (!built)
        made->state.reset();
    return built;
}

}  // namespace

result make_array_plan(velmora::plan* made, const array_view& in, const array_view& out,
                       const velmora::settings& how, lane_path path)
{
    if (!start_plan(made, in, out, how))
        return out_of_memory("plan", sizeof(plan_state));
    plan_state& state = *made->state;
    for (int axis = 0; axis < in.rank; ++axis) {
        state.in_sizes[axis] = in.sizes[axis];
        state.out_sizes[axis] = out.sizes[axis];
    }
    for (int axis = in.rank - 1; axis >= 0; --axis)
        if (in.sizes[axis] != out.sizes[axis])
            state.axes[state.changing++] = axis;
    for (int axis = 0; axis < in.rank; ++axis)
        if (in.sizes[axis] == out.sizes[axis]) {
            state.set_axes[state.set_dims++] = axis;
            state.total_sets *= in.sizes[axis];
        }
    if (state.changing == 0)
        return stop_requested(state.poll()) ? cancelled() : succeeded();
    state.end_pass = 2 * state.changing;
    return build_plan(made, path);
}

result make_axis_plan(velmora::plan* made, const array_view& in, const array_view& out, bool inverse,
                      std::int64_t n, std::int64_t n_out, const velmora::axis_lines& lines,
                      const velmora::settings& how, lane_path path)
{
    if (!start_plan(made, in, out, how))
        return out_of_memory("plan", sizeof(plan_state));
    plan_state& state = *made->state;
    state.one_axis = true;
    state.largest = lines.largest;
    for (int axis = 0; axis < in.rank; ++axis) {
        state.in_sizes[axis] = in.sizes[axis];
        state.out_sizes[axis] = in.sizes[axis];
    }
    state.in_sizes[lines.axis] = n;
    state.out_sizes[lines.axis] = n_out;
    // The pass's axis and the line axes take the places of a resize's
    // changing axes, so that the lines are numbered as that resize's.
    int pass_place = 0;
    for (int axis = in.rank - 1; axis >= 0; --axis) {
        if (axis == lines.axis)
            pass_place = state.changing;
        if (axis == lines.axis || (lines.line_axes >> axis & 1u))
            state.axes[state.changing++] = axis;
        else {
            state.set_axes[state.set_dims++] = axis;
            state.total_sets *= in.sizes[axis];
        }
    }
    std::reverse(state.set_axes, state.set_axes + state.set_dims);
    state.first_pass = inverse ? state.changing + pass_place : pass_place;
    state.end_pass = state.first_pass + 1;
    return build_plan(made, path);
}

std::size_t array_plan_bytes(const plan_state& state)
{
    std::size_t bytes = sizeof(plan_state) + fft_tables_bytes(state.tables);
    if (state.changing == 0)
        return bytes;
    for (int pass = 0; pass < 2 * state.changing; ++pass)
        bytes += line_plan_bytes(state.passes[pass].plan);
    constexpr auto huge_when_large = velmora::buffer_pages::huge_when_large;
    bytes += velmora::buffer_bytes<double>(state.workspace_total, huge_when_large) +
             velmora::buffer_bytes<double*>(static_cast<std::size_t>(state.how.threads));
    for (std::size_t doubles : state.work_doubles)
        bytes += doubles ? velmora::buffer_bytes<double>(doubles, huge_when_large) : 0;
    if (state.set_exponents)
        bytes += velmora::buffer_bytes<std::uint8_t>(static_cast<std::size_t>(state.block_sets));
    return bytes;
}

pass_lines block_pass_lines(const plan_state& state, int pass, const array_view& in, const array_view& out,
                            std::int64_t first_set, std::int64_t set_count)
{
    const int along = pass % state.changing;
    pass_lines lines;
    lines.sets = set_count;
    lines.across_sets = state.how.pairing == velmora::pairing::across_sets;
    lines.in = pass == state.first_pass
                   ? view_layout(state, in, along, first_set)
                   : work_layout(state, pass, along, state.work_arrays[written_array(pass - 1)].get());
    lines.out = pass == state.end_pass - 1
                    ? view_layout(state, out, along, first_set)
                    : work_layout(state, pass + 1, along, state.work_arrays[written_array(pass)].get());
    lines.lines_per_set = lines_per_set(lines.in);
    return lines;
}

}  // namespace velmora::detail
