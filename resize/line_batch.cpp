#include "resize/line_batch.h"

namespace velmora::detail {

namespace {

std::int64_t offset_of(std::int64_t index, int dims, const std::int64_t* sizes, const std::int64_t* strides)
{
    std::int64_t offset = 0;
    for (int dim = dims - 1; dim >= 0; --dim) {
        offset += index % sizes[dim] * strides[dim];
        index /= sizes[dim];
    }
    return offset;
}

template <typename Byte>
std::int64_t uniform_spacing(Byte* const* starts, int slots)
{
    if (slots < 2)
        return 0;
    for (int slot = 0; slot < slots; ++slot)
        if (!starts[slot])
            return 0;
    const std::int64_t spacing = starts[1] - starts[0];
    for (int slot = 2; slot < slots; ++slot)
        if (starts[slot] - starts[slot - 1] != spacing)
            return 0;
    return spacing;
}

}  // namespace

unsigned char* line_start(const line_layout& layout, std::int64_t set, std::int64_t line)
{
    return layout.base + offset_of(layout.first_set + set, layout.set_dims, layout.set_sizes, layout.set_strides) +
           offset_of(line, layout.line_dims, layout.line_sizes, layout.line_strides);
}

std::int64_t pair_count(const pass_lines& lines)
{
    if (lines.across_sets)
        return (lines.sets * lines.lines_per_set + 1) / 2;
    return lines.sets * ((lines.lines_per_set + 1) / 2);
}

void fill_slots(const pass_lines& lines, std::int64_t first_pair, std::int64_t end_pair, line_batch* batch)
{
    const std::int64_t per_set = (lines.lines_per_set + 1) / 2;
    const std::int64_t all_lines = lines.sets * lines.lines_per_set;
    batch->scaled = false;
    for (int lane = 0; lane < batch->lanes; ++lane) {
        const std::int64_t pair = first_pair + lane;
        for (int half = 0; half < 2; ++half) {
            batch->in[2 * lane + half] = nullptr;
            batch->out[2 * lane + half] = nullptr;
            batch->exponent[2 * lane + half] = 0;
        }
        if (pair >= end_pair)
            continue;
        for (int half = 0; half < 2; ++half) {
            std::int64_t set, line;
            if (lines.across_sets) {
                const std::int64_t sequence = 2 * pair + half;
                if (sequence >= all_lines)
                    break;
                set = sequence / lines.lines_per_set;
                line = sequence % lines.lines_per_set;
            } else {
                set = pair / per_set;
                line = 2 * (pair % per_set) + half;
                if (line >= lines.lines_per_set)
                    break;
            }
            batch->in[2 * lane + half] = line_start(lines.in, set, line);
            batch->out[2 * lane + half] = line_start(lines.out, set, line);
            if (lines.exponents && lines.exponents[set] != 0) {
                batch->exponent[2 * lane + half] = lines.exponents[set];
                batch->scaled = true;
            }
        }
    }
    batch->in_spacing = uniform_spacing(batch->in, 2 * batch->lanes);
    batch->out_spacing = uniform_spacing(batch->out, 2 * batch->lanes);
}

}  // namespace velmora::detail
