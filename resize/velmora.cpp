// The public functions of velmora/velmora.h: the checks every caller's
// views and settings pass, then the engine (array_plan).
#include "velmora/velmora.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "fft/fft_lanes.h"
#include "resize/array_plan.h"
#include "resize/array_run.h"
#include "resize/results.h"
#include "velmora/samples.h"

namespace velmora {

// This file is the door to the engine: its names are used as they are.
using namespace detail;

namespace {

const char* side_name(bool output)
{
    return output ? "output" : "input";
}

bool known_type(sample_type type)
{
    return type == sample_type::uint8 || type == sample_type::uint16 || type == sample_type::float32 ||
           type == sample_type::float64;
}

result check_shapes(const array_view& in, const array_view& out)
{
    for (const array_view* view : {&in, &out}) {
        const bool output = view == &out;
        if (view->rank < 1 || view->rank > max_rank)
            return failed(status::bad_rank, "the %s has rank %d; ranks go from 1 to %d", side_name(output),
                          view->rank, max_rank);
        if (!known_type(view->type))
            return failed(status::bad_view, "the %s's sample type is not one of uint8, uint16, float32, float64",
                          side_name(output));
    }
    if (in.rank != out.rank)
        return failed(status::bad_rank, "the input has rank %d and the output rank %d", in.rank, out.rank);
    // Element counts stay far below 2^62, so that no size computed from
    // them can overflow.
    std::int64_t in_count = 1, out_count = 1;
    for (int a = 0; a < in.rank; ++a) {
        for (const array_view* view : {&in, &out}) {
            if (view->sizes[a] < 1)
                return failed(status::bad_size, "axis %d of the %s has size %lld; sizes start at 1", a,
                              side_name(view == &out), static_cast<long long>(view->sizes[a]));
        }
        if (in.sizes[a] != out.sizes[a] && std::max(in.sizes[a], out.sizes[a]) > max_axis_length)
            return failed(status::bad_size, "axis %d changes from %lld to %lld samples; the longest axis that "
                          "changes size is %lld", a, static_cast<long long>(in.sizes[a]),
                          static_cast<long long>(out.sizes[a]), static_cast<long long>(max_axis_length));
        if (__builtin_mul_overflow(in_count, in.sizes[a], &in_count) ||
            __builtin_mul_overflow(out_count, out.sizes[a], &out_count) || in_count > (std::int64_t{1} << 56) ||
            out_count > (std::int64_t{1} << 56))
            return failed(status::bad_view, "the arrays have too many samples to address");
    }
    return succeeded();
}

result check_settings(const settings& how)
{
    if (how.threads < 0 || how.threads > max_threads)
        return failed(status::bad_settings, "a thread count of %d is outside 0 to %d", how.threads, max_threads);
    if (how.rounding != rounding::nearest && how.rounding != rounding::truncate)
        return failed(status::bad_settings, "the rounding is neither nearest nor truncate");
    if (how.pairing != pairing::within_sets && how.pairing != pairing::across_sets)
        return failed(status::bad_settings, "the pairing is neither within_sets nor across_sets");
    if (how.team && !how.team->state)
        return failed(status::bad_settings, "the team was never made");
    if (how.team && how.threads != 0 && how.threads != team_threads(*how.team))
        return failed(status::bad_settings, "a thread count of %d differs from the team's %d", how.threads,
                      team_threads(*how.team));
    return succeeded();
}

// The bytes a view can touch: [low, high).
struct byte_span {
    std::int64_t low;
    std::int64_t high;
};

bool view_span(const array_view& view, byte_span* span)
{
    std::int64_t low = 0, high = 0;
    for (int a = 0; a < view.rank; ++a) {
        std::int64_t reach = 0;
        if (__builtin_mul_overflow(view.sizes[a] - 1, view.strides[a], &reach))
            return false;
        if (__builtin_add_overflow(reach < 0 ? low : high, reach, reach < 0 ? &low : &high))
            return false;
    }
    const auto base = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(view.data));
    return !__builtin_add_overflow(base, low, &span->low) &&
           !__builtin_add_overflow(base, high + static_cast<std::int64_t>(sample_size(view.type)), &span->high);
}

// Whether no two samples of the view share a byte: with the axes sorted by
// the size of their strides, each stride must step over everything the
// smaller ones reach. (A sufficient test; views made by slicing,
// transposing and flipping pass it.)
bool samples_distinct(const array_view& view)
{
    int order[max_rank];
    int count = 0;
    for (int a = 0; a < view.rank; ++a)
        if (view.sizes[a] > 1)
            order[count++] = a;
    // At most max_rank axes: an insertion sort.
    for (int i = 1; i < count; ++i)
        for (int j = i; j > 0 && std::llabs(view.strides[order[j]]) < std::llabs(view.strides[order[j - 1]]); --j)
            std::swap(order[j], order[j - 1]);
    std::int64_t reach = static_cast<std::int64_t>(sample_size(view.type));
    for (int i = 0; i < count; ++i) {
        const std::int64_t stride = std::llabs(view.strides[order[i]]);
        if (stride < reach)
            return false;
        reach += stride * (view.sizes[order[i]] - 1);
    }
    return true;
}

result check_memory(const array_view& in, const array_view& out)
{
    if (!in.data)
        return failed(status::null_data, "the input's data pointer is null");
    if (!out.data)
        return failed(status::null_data, "the output's data pointer is null");
    byte_span in_span{}, out_span{};
    if (!view_span(in, &in_span))
        return failed(status::bad_view, "the input's strides reach beyond what can be addressed");
    if (!view_span(out, &out_span))
        return failed(status::bad_view, "the output's strides reach beyond what can be addressed");
    if (!samples_distinct(out))
        return failed(status::bad_view, "the output's strides make samples share memory");
    if (in_span.low < out_span.high && out_span.low < in_span.high)
        return failed(status::overlap, "the output's memory overlaps the input's");
    return succeeded();
}

// The checks of a single-axis pass between `from` and `to`, which differ
// along lines.axis alone; `coefficients` is whichever of the two holds
// them.
result check_axis_pass(const array_view& from, const array_view& to, const array_view& coefficients,
                       const axis_lines& lines, const settings& how)
{
    result checked = check_settings(how);
    if (checked && how.pairing != pairing::within_sets)
        checked = failed(status::bad_settings, "a single-axis pass pairs lines within sets only");
    if (checked)
        checked = check_shapes(from, to);
    if (!checked)
        return checked;
    if (lines.axis < 0 || lines.axis >= from.rank)
        return failed(status::bad_settings, "the pass's axis is %d; the arrays' axes go from 0 to %d", lines.axis,
                      from.rank - 1);
    const std::int64_t from_size = from.sizes[lines.axis], to_size = to.sizes[lines.axis];
    if (std::max(from_size, to_size) > max_axis_length)
        return failed(status::bad_size, "axis %d changes from %lld to %lld samples; the longest axis that changes "
                      "size is %lld", lines.axis, static_cast<long long>(from_size), static_cast<long long>(to_size),
                      static_cast<long long>(max_axis_length));
    if (lines.line_axes >> from.rank != 0 || (lines.line_axes >> lines.axis & 1u))
        return failed(status::bad_settings, "the line axes must be axes of the arrays other than the pass's axis %d",
                      lines.axis);
    for (int a = 0; a < from.rank; ++a)
        if (a != lines.axis && from.sizes[a] != to.sizes[a])
            return failed(status::bad_size, "axis %d has size %lld in the input and %lld in the output; only the "
                          "pass's axis %d changes", a, static_cast<long long>(from.sizes[a]),
                          static_cast<long long>(to.sizes[a]), lines.axis);
    if (coefficients.type != sample_type::float64)
        return failed(status::bad_view, "the coefficients must be float64");
    const array_view& largest = lines.largest;
    if (!largest.data)
        return succeeded();
    if (largest.rank != from.rank || !known_type(largest.type))
        return failed(status::bad_view, "the largest magnitudes must be an array of rank %d of one of the four "
                      "sample types", from.rank);
    for (int a = 0; a < from.rank; ++a) {
        const bool set_axis = a != lines.axis && !(lines.line_axes >> a & 1u);
        if (largest.sizes[a] != (set_axis ? from.sizes[a] : 1))
            return failed(status::bad_view, "the largest magnitudes have size %lld along axis %d; it must be %lld",
                          static_cast<long long>(largest.sizes[a]), a,
                          static_cast<long long>(set_axis ? from.sizes[a] : 1));
    }
    return succeeded();
}

// Plans and runs one pass.
result run_axis_pass(const array_view& in, const array_view& out, bool inverse, std::int64_t n, std::int64_t n_out,
                     const axis_lines& lines, const settings& how)
{
    const result checked = check_memory(in, out);
    if (!checked)
        return checked;
    plan made;
    const result planned = make_axis_plan(&made, in, out, inverse, n, n_out, lines, how, lane_path_best());
    if (!planned)
        return planned;
    return run_array_plan(*made.state, in, out);
}

bool same_shape(const plan_state& st, const array_view& in, const array_view& out)
{
    if (in.rank != st.rank || out.rank != st.rank || in.type != st.in_type || out.type != st.out_type)
        return false;
    for (int a = 0; a < st.rank; ++a)
        if (in.sizes[a] != st.in_sizes[a] || out.sizes[a] != st.out_sizes[a])
            return false;
    return true;
}

}  // namespace

std::size_t sample_size(sample_type type)
{
    return visit_sample_type(type, []<typename Sample>() { return sizeof(Sample); });
}

array_view contiguous_view(void* data, sample_type type, std::initializer_list<std::int64_t> sizes)
{
    array_view view;
    view.data = data;
    view.type = type;
    view.rank = static_cast<int>(std::min<std::size_t>(sizes.size(), max_rank));
    int a = 0;
    for (std::int64_t size : sizes)
        if (a < view.rank)
            view.sizes[a++] = size;
    std::int64_t stride = static_cast<std::int64_t>(sample_size(type));
    for (a = view.rank - 1; a >= 0; --a) {
        view.strides[a] = stride;
        stride *= view.sizes[a];
    }
    return view;
}

int available_threads()
{
    // The affinity mask, not the machine's CPU count: a process confined by
    // taskset or a container's cpuset must not oversubscribe its share.
    int count = 1;
    for (int cpus = 1024; cpus <= 65536; cpus *= 4) {
        cpu_set_t* set = CPU_ALLOC(cpus);
        if (!set)
            break;
        const std::size_t size = CPU_ALLOC_SIZE(cpus);
        const int found = sched_getaffinity(0, size, set);
        const int error = errno;
        if (found == 0)
            count = CPU_COUNT_S(size, set);
        CPU_FREE(set);
        // EINVAL: the kernel's mask is wider than the one offered.
        if (found == 0 || error != EINVAL)
            break;
    }
    return std::clamp(count, 1, max_threads);
}

void plan_state_deleter::operator()(plan_state* state) const
{
    delete state;
}

result make_plan(plan* made, const array_view& in, const array_view& out, const settings& how)
{
    made->state.reset();
    result checked = check_shapes(in, out);
    if (checked)
        checked = check_settings(how);
    if (!checked)
        return checked;
    return make_array_plan(made, in, out, how, lane_path_best());
}

result run(plan& planned, const array_view& in, const array_view& out)
{
    if (!planned.state)
        return failed(status::plan_mismatch, "the plan was never made");
    if (!same_shape(*planned.state, in, out))
        return failed(status::plan_mismatch, "the arrays do not have the sizes and types the plan was made for");
    const result checked = check_memory(in, out);
    if (!checked)
        return checked;
    return run_array_plan(*planned.state, in, out);
}

std::size_t plan_bytes(const plan& planned)
{
    return planned.state ? array_plan_bytes(*planned.state) : 0;
}

void team_state_deleter::operator()(team_state* state) const
{
    delete state;
}

result make_thread_team(thread_team* made, int threads)
{
    made->state.reset();
    if (threads < 0 || threads > max_threads)
        return failed(status::bad_settings, "a thread count of %d is outside 0 to %d", threads, max_threads);
    std::unique_ptr<team_state, team_state_deleter> state(new (std::nothrow) team_state);
    if (!state)
        return out_of_memory("team", sizeof(team_state));
    const result started = start_team(threads != 0 ? threads : available_threads(), &state->team);
    if (started)
        made->state = std::move(state);
    return started;
}

int team_threads(const thread_team& team)
{
    return team.state ? team_size(*team.state->team) : 0;
}

namespace {

struct unit_call {
    team_body body;
    void* context;
};

}  // namespace

void run_units(thread_team& team, std::int64_t units, team_body body, void* context)
{
    if (!team.state) {
        for (std::int64_t unit = 0; unit < units; ++unit)
            body(context, 0, unit);
        return;
    }
    const unit_call call{body, context};
    parallel_units(
        *team.state->team, units,
        [](const void* on, int thread, std::int64_t unit) {
            const auto* c = static_cast<const unit_call*>(on);
            c->body(c->context, thread, unit);
        },
        &call, nullptr);
}

result resize(const array_view& in, const array_view& out, const settings& how)
{
    result checked = check_shapes(in, out);
    if (checked)
        checked = check_settings(how);
    if (checked)
        checked = check_memory(in, out);
    if (!checked)
        return checked;
    plan made;
    checked = make_array_plan(&made, in, out, how, lane_path_best());
    if (!checked)
        return checked;
    return run_array_plan(*made.state, in, out);
}

result forward_axis(const array_view& in, const array_view& coefficients, const axis_lines& lines,
                    const settings& how)
{
    const result checked = check_axis_pass(in, coefficients, coefficients, lines, how);
    if (!checked)
        return checked;
    const std::int64_t n = in.sizes[lines.axis], kept = coefficients.sizes[lines.axis];
    if (kept > n)
        return failed(status::bad_size, "%lld coefficients along axis %d from %lld samples; a forward pass keeps "
                      "at most as many as there are samples", static_cast<long long>(kept), lines.axis,
                      static_cast<long long>(n));
    return run_axis_pass(in, coefficients, false, n, kept, lines, how);
}

result inverse_axis(const array_view& coefficients, const array_view& out, std::int64_t length,
                    const axis_lines& lines, const settings& how)
{
    const result checked = check_axis_pass(coefficients, out, coefficients, lines, how);
    if (!checked)
        return checked;
    const std::int64_t n_out = out.sizes[lines.axis], kept = coefficients.sizes[lines.axis];
    if (length < 1 || length > max_axis_length)
        return failed(status::bad_size, "the length before the resize is %lld; it goes from 1 to %lld",
                      static_cast<long long>(length), static_cast<long long>(max_axis_length));
    if (kept != std::min(length, n_out))
        return failed(status::bad_size, "%lld coefficients along axis %d; a resize from %lld to %lld samples keeps "
                      "%lld", static_cast<long long>(kept), lines.axis, static_cast<long long>(length),
                      static_cast<long long>(n_out), static_cast<long long>(std::min(length, n_out)));
    return run_axis_pass(coefficients, out, true, length, n_out, lines, how);
}

}  // namespace velmora
