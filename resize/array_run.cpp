#include "resize/array_run.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "resize/array_plan.h"
#include "resize/fresh_memory.h"
#include "resize/results.h"
#include "resize/sample_copy.h"
#include "velmora/samples.h"

namespace velmora::detail {

namespace {

void report(const plan_state& state, progress_stage stage, int axis, std::int64_t first, std::int64_t count)
{
    if (state.how.progress)
        state.how.progress(velmora::progress_event{stage, axis, first, count, state.total_sets},
                           state.how.progress_user);
}

result non_finite(const array_view& in, const std::int64_t* index, bool is_nan)
{
    char where[velmora::max_rank * 21 + 4];
    int used = 0;
    for (int axis = 0; axis < in.rank; ++axis)
        used += std::snprintf(where + used, sizeof where - static_cast<std::size_t>(used), "%s%lld",
                              axis ? ", " : "", static_cast<long long>(index[axis]));
    return failed(status::not_finite, "the input holds %s at index (%s)", is_nan ? "a NaN" : "an infinity", where);
}

// A float input must be finite. The samples are searched in ranges on the
// plan's threads; the first range with a hit holds the first in row-major
// order. *largest: the largest magnitude of the input's samples (0 for
// integer inputs, whose samples never come near overflow).
result check_finite(const plan_state& state, const array_view& in, double* largest)
{
    *largest = 0.0;
    if (in.type != velmora::sample_type::float32 && in.type != velmora::sample_type::float64)
        return succeeded();
    std::int64_t total = 1;
    for (int axis = 0; axis < in.rank; ++axis)
        total *= in.sizes[axis];
    struct range_search {
        bool found = false;
        bool is_nan = false;
        double largest = 0.0;
        std::int64_t index[velmora::max_rank];
    };
    constexpr std::int64_t max_ranges = 64;
    range_search searches[max_ranges];
    const std::int64_t ranges = state.team ? std::clamp<std::int64_t>(total >> 16, 1, max_ranges) : 1;
    auto search = [&](int, std::int64_t range) {
        range_search& found = searches[range];
        found.found = find_non_finite(in, total * range / ranges, total * (range + 1) / ranges, found.index,
                                      &found.is_nan, &found.largest, state.poll());
    };
    // Every range runs even when a stop is asked: each stops early itself,
    // and no search is left unset.
    if (state.team)
        parallel_lines(*state.team, ranges, search);
    else
        search(0, 0);
    for (std::int64_t range = 0; range < ranges; ++range)
        if (searches[range].found)
            return non_finite(in, searches[range].index, searches[range].is_nan);
    for (std::int64_t range = 0; range < ranges; ++range)
        *largest = std::max(*largest, searches[range].largest);
    return succeeded();
}

// A single-axis pass's largest magnitude of set `set`.
double set_largest(const plan_state& state, std::int64_t set)
{
    const auto* at = static_cast<const unsigned char*>(state.largest.data);
    for (int dim = state.set_dims - 1; dim >= 0; --dim) {
        const int axis = state.set_axes[dim];
        at += set % state.largest.sizes[axis] * state.largest.strides[axis];
        set /= state.largest.sizes[axis];
    }
    return velmora::load_sample(at, state.largest.type);
}

result check_largest(const plan_state& state)
{
    if (!state.largest.data)
        return succeeded();
    for (std::int64_t set = 0; set < state.total_sets; ++set) {
        const double largest = set_largest(state, set);
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
const std::uint8_t* block_exponents(const plan_state& state, const array_view& in, const array_view& out,
                                    int whole, std::int64_t first, std::int64_t count, const line_engine& engine)
{
    std::uint8_t* exponents = state.set_exponents.get();
    if (state.one_axis) {
        if (!state.largest.data)
            return nullptr;
        for (std::int64_t set = 0; set < count; ++set)
            exponents[set] = static_cast<std::uint8_t>(overflow_exponent(set_largest(state, first + set)));
        return exponents;
    }
    if (whole == 0)
        return nullptr;
    if (state.how.pairing == velmora::pairing::across_sets || state.total_sets == 1) {
        std::fill(exponents, exponents + count, static_cast<std::uint8_t>(whole));
        return exponents;
    }
    // The first pass's lines of the block, read from the input.
    const pass_lines lines = block_pass_lines(state, state.first_pass, in, out, first, count);
    find_set_exponents(lines, static_cast<std::int32_t>(state.in_sizes[state.axes[0]]), state.in_type, engine,
                       exponents);
    return exponents;
}

// The last pass writes the output a few columns at a time, touching every
// page of it at once from every thread; where the output is fresh memory,
// its faults are taken here instead, in contiguous blocks. The advice
// covers the bytes the view spans, its gaps included (the other channels
// of an interleaved picture), which it leaves as they are; a view sparser
// than a picture of four channels is left alone, so that no large range of
// the caller's memory is made resident for a few samples.
void populate_output(const plan_state& state, const array_view& out)
{
    std::int64_t low = 0, high = 0, samples = 1;
    for (int axis = 0; axis < out.rank; ++axis) {
        const std::int64_t reach = (out.sizes[axis] - 1) * out.strides[axis];
        (reach < 0 ? low : high) += reach;
        samples *= out.sizes[axis];
    }
    const auto size = static_cast<std::int64_t>(velmora::sample_size(out.type));
    const std::int64_t span = high - low + size;
    if (span > 4 * samples * size)
        return;
    populate(*state.team, static_cast<unsigned char*>(out.data) + low, static_cast<std::size_t>(span),
             velmora::populate_kind::caller);
}

}  // namespace

result run_array_plan(plan_state& state, const array_view& in, const array_view& out)
{
    const stop_poll* poll = state.poll();
    double largest = 0.0;
    result checked = check_finite(state, in, &largest);
    if (stop_requested(poll))
        return cancelled();
    if (checked)
        checked = check_largest(state);
    if (!checked)
        return checked;
    if (state.changing == 0) {
        report(state, progress_stage::block_started, -1, 0, state.total_sets);
        copy_samples(in, out, state.how.rounding, poll);
        if (stop_requested(poll))
            return cancelled();
        report(state, progress_stage::block_ended, -1, 0, state.total_sets);
        return succeeded();
    }
    populate_output(state, out);
    const int whole = overflow_exponent(largest);
    const line_engine engine{state.workspace_of.get(), state.team, poll};
    // The first pass reads the caller's input, the last writes the
    // caller's output; only they scale.
    const int last = state.end_pass - 1;
    for (std::int64_t first = 0; first < state.total_sets; first += state.block_sets) {
        const std::int64_t count = std::min(state.block_sets, state.total_sets - first);
        report(state, progress_stage::block_started, -1, first, count);
        const std::uint8_t* exponents = block_exponents(state, in, out, whole, first, count, engine);
        for (int pass = state.first_pass; pass <= last; ++pass) {
            const bool inverse = pass >= state.changing;
            pass_lines lines = block_pass_lines(state, pass, in, out, first, count);
            if ((pass == state.first_pass && !inverse) || (pass == last && inverse))
                lines.exponents = exponents;
            const int axis = state.axes[pass % state.changing];
            report(state, inverse ? progress_stage::inverse_started : progress_stage::forward_started, axis, first,
                   count);
            if (inverse)
                inverse_lines(state.passes[pass], lines,
                              pass == last ? state.out_type : velmora::sample_type::float64, state.how.rounding,
                              engine);
            else
                forward_lines(state.passes[pass], lines,
                              pass == state.first_pass ? state.in_type : velmora::sample_type::float64, engine);
            if (stop_requested(poll))
                return cancelled();
            report(state, inverse ? progress_stage::inverse_ended : progress_stage::forward_ended, axis, first,
                   count);
        }
        report(state, progress_stage::block_ended, -1, first, count);
    }
    return succeeded();
}

}  // namespace velmora::detail
