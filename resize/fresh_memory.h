// Fresh memory first touched on a plan's own team: populate of
// velmora/buffer.h (which says why and what was measured) on the engine's
// line_team, for the plan's work arrays and the caller's output.
//
// Nothing here keeps state; the memory belongs to whoever passes it in.
#pragma once

#include <cstddef>

#include "resize/parallel_lines.h"
#include "velmora/buffer.h"

namespace velmora::detail {

// Makes bytes [begin, begin + size) resident and writable, in blocks of
// whole huge pages handed out to the team's threads. Failures are ignored:
// the pages are then touched where they are first used, as before.
void populate(line_team& team, void* begin, std::size_t size, velmora::populate_kind kind);

}  // namespace velmora::detail
