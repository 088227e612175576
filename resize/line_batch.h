// Where the lines of a pass lie, and batches of their pairs in a vector's
// lanes: which lines a batch holds, and the loops that gather their values
// into a thread's work array and scatter results back out to the lines.
//
// Lane layout (fft/fft_lanes.h): a batch of `lanes` pairs puts pair j in
// lane j of the work array, its first line as real parts (slot 2j) and its
// second as imaginary parts (slot 2j + 1), so that value i of slot s lies
// at work[(2i + s % 2) lanes + s / 2]. A missing line (past the unit, or a
// set's odd last line's partner) has null pointers: it rides as zeros and
// is never stored, so a partial batch needs no path of its own. When every
// slot holds a line and their starts lie equally far apart (the common
// case), the loops walk them with one address and a lane count fixed at
// compile time (visit_lane_width), instead of one pointer per slot.
//
// Ownership: a batch borrows everything it points to: the lines (a
// caller's view or a plan's work array) and the thread's work array. The
// loops read the one and write the other, allocate nothing, and ask the
// stop poll every few hundred values, returning early on a yes.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fft/fft_lanes.h"
#include "fft/stop_poll.h"
#include "velmora/samples.h"
#include "velmora/velmora.h"

namespace velmora::detail {

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
    // Per set of the run, the exponent e of its scaling: a forward pass
    // reads its samples times 2^-e, an inverse pass writes them times 2^e.
    // Null: none is scaled.
    const std::uint8_t* exponents = nullptr;
};

// The first sample of line `line` of set `set`.
unsigned char* line_start(const line_layout& layout, std::int64_t set, std::int64_t line);

// Pairs in one run of a pass: per set, or over the sequence of all lines.
std::int64_t pair_count(const pass_lines& lines);

constexpr int max_slots = 16;  // two lines in each of at most eight lanes

struct line_batch {
    int lanes;
    double* work;
    const stop_poll* poll;  // for the transforms
    const unsigned char* in[max_slots];
    unsigned char* out[max_slots];
    // Every slot holds a line, and the lines' starts lie these many bytes
    // apart in slot order (0: they do not).
    std::int64_t in_spacing;
    std::int64_t out_spacing;
    // Some slot's line belongs to a scaled set (pass_lines::exponents):
    // the slower loops below that scale each slot by its own exponent.
    bool scaled;
    std::uint8_t exponent[max_slots];

    double* at(std::int32_t i, int slot) const
    {
        return work + (2 * static_cast<std::ptrdiff_t>(i) + (slot & 1)) * lanes + (slot >> 1);
    }
};

// Fills the slots of *batch (whose lanes are set) with pairs first_pair
// .. end_pair - 1 of the run, at most batch->lanes of them.
void fill_slots(const pass_lines& lines, std::int64_t first_pair, std::int64_t end_pair, line_batch* batch);

// Values a line's loops go through between two questions to the stop
// poll. Few, because a line across a fresh work array touches a new page
// with each value, and a virtual machine may take 20 us for each.
constexpr std::int32_t poll_values = 1 << 8;

inline bool stop_due(std::int32_t value, const stop_poll* poll)
{
    return value % poll_values == poll_values - 1 && stop_requested(poll);
}

// Fills `count` values of every slot from the lines: value i of a line is
// its sample index(i). Value i of all lines goes into one run of the work
// array, so the work array is written in order while each line is read in
// order.
template <typename Sample, typename Index>
void gather(const line_batch& batch, std::int64_t step, std::int32_t count, Index index)
{
    if (batch.in_spacing != 0) {
        return visit_lane_width(batch.lanes, [&]<int Lanes>() {
            const std::int64_t spacing = batch.in_spacing;
            for (std::int32_t i = 0; i < count; ++i) {
                if (stop_due(i, batch.poll))
                    return;
                const unsigned char* first = batch.in[0] + index(i) * step;
                double* re = batch.work + 2 * static_cast<std::ptrdiff_t>(i) * Lanes;
                double* im = re + Lanes;
                for (int lane = 0; lane < Lanes; ++lane) {
                    re[lane] = velmora::load_sample<Sample>(first + 2 * lane * spacing);
                    im[lane] = velmora::load_sample<Sample>(first + (2 * lane + 1) * spacing);
                }
            }
        });
    }
    for (std::int32_t i = 0; i < count; ++i) {
        if (stop_due(i, batch.poll))
            return;
        const std::int64_t offset = index(i) * step;
        for (int half = 0; half < 2; ++half) {
            double* to = batch.work + (2 * static_cast<std::ptrdiff_t>(i) + half) * batch.lanes;
            for (int lane = 0; lane < batch.lanes; ++lane) {
                const unsigned char* line = batch.in[2 * lane + half];
                to[lane] = line ? velmora::load_sample<Sample>(line + offset) : 0.0;
            }
        }
    }
}

// gather for lines of scaled sets: value i of a line times 2^-e, e its
// set's exponent. Powers of two scale exactly.
template <typename Sample, typename Index>
void gather_scaled(const line_batch& batch, std::int64_t step, std::int32_t count, Index index)
{
    double factor[max_slots];
    for (int slot = 0; slot < 2 * batch.lanes; ++slot)
        factor[slot] = std::ldexp(1.0, -batch.exponent[slot]);
    for (std::int32_t i = 0; i < count; ++i) {
        if (stop_due(i, batch.poll))
            return;
        const std::int64_t offset = index(i) * step;
        for (int slot = 0; slot < 2 * batch.lanes; ++slot)
            *batch.at(i, slot) =
                batch.in[slot] ? velmora::load_sample<Sample>(batch.in[slot] + offset) * factor[slot] : 0.0;
    }
}

// Writes values 0 .. count - 1 of every slot to its line as samples, by
// the sample rule (velmora/samples.h), a scaled set's line times 2^e.
// Value x of every line of the batch lies in one run of the work array:
// reading it in that order streams the work array once, and each line is
// still written in order.
template <typename Sample, velmora::rounding Rounding>
void scatter(const line_batch& batch, std::int32_t count, std::int64_t step)
{
    if (batch.scaled) {
        double factor[max_slots];
        for (int slot = 0; slot < 2 * batch.lanes; ++slot)
            factor[slot] = std::ldexp(1.0, batch.exponent[slot]);
        for (std::int32_t x = 0; x < count; ++x) {
            if (stop_due(x, batch.poll))
                return;
            for (int slot = 0; slot < 2 * batch.lanes; ++slot)
                if (batch.out[slot])
                    velmora::store_sample<Sample, Rounding>(batch.out[slot] + x * step,
                                                            *batch.at(x, slot) * factor[slot]);
        }
        return;
    }
    if (batch.out_spacing != 0) {
        return visit_lane_width(batch.lanes, [&]<int Lanes>() {
            const std::int64_t spacing = batch.out_spacing;
            unsigned char* first = batch.out[0];
            for (std::int32_t x = 0; x < count; ++x, first += step) {
                if (stop_due(x, batch.poll))
                    return;
                const double* re = batch.work + 2 * static_cast<std::ptrdiff_t>(x) * Lanes;
                const double* im = re + Lanes;
                for (int lane = 0; lane < Lanes; ++lane) {
                    velmora::store_sample<Sample, Rounding>(first + 2 * lane * spacing, re[lane]);
                    velmora::store_sample<Sample, Rounding>(first + (2 * lane + 1) * spacing, im[lane]);
                }
            }
        });
    }
    for (std::int32_t x = 0; x < count; ++x) {
        if (stop_due(x, batch.poll))
            return;
        const std::int64_t offset = x * step;
        for (int half = 0; half < 2; ++half) {
            const double* from = batch.work + (2 * static_cast<std::ptrdiff_t>(x) + half) * batch.lanes;
            for (int lane = 0; lane < batch.lanes; ++lane) {
                unsigned char* line = batch.out[2 * lane + half];
                if (line)
                    velmora::store_sample<Sample, Rounding>(line + offset, from[lane]);
            }
        }
    }
}

}  // namespace velmora::detail
