// Fresh memory first touched on a plan's own team: populate of
// velmora/buffer.h (which says why and what was measured) on the engine's
// line_team, for the plan's work arrays and the caller's output.
//
// Nothing here keeps state; the memory belongs to whoever passes it in.
#pragma once

#include <cstddef>

#include "resize/parallel_lines.h"
#include "velmora/buffer.h"

// Makes bytes [begin, begin + size) resident and writable, in blocks of
// whole huge pages handed out to the team's threads. Failures are ignored:
// the pages are then touched where they are first used, as before.
void populate(line_team& team, void* begin, std::size_t size, velmora::populate_kind kind);

// The command line (cli/checked_alloc.cpp, cli/input_reader.cpp) still
// names these two from here; they go once it includes velmora/buffer.h.
using velmora::populate_kind;
inline velmora::buffer<double> fresh_block(std::size_t count)
{
    return velmora::make_buffer<double>(count, velmora::buffer_pages::huge_when_large);
}
