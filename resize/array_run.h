// The engine behind the public header, part two: a run of a plan
// (resize/array_plan.h) on the caller's views.
//
// A float input is first searched for values a resize cannot take, which
// also finds its largest magnitude. Only when that comes near overflow
// (spectral_passes.h) are scaling exponents found, per line-set at the
// start of each block, or one for the whole array when pairs may cross
// sets (so that a pair's two lines are scaled alike); a single-axis pass
// takes them from the largest magnitudes its caller gives. Then every
// block of line-sets goes through the plan's passes in order, progress
// reported around each.
//
// Stopping: the settings' stop flag is asked by every pass (spectral_passes.h),
// the search and the copy; a run asked to stop ends after the pass that
// saw it, with cancelled.
//
// Ownership: a run reads the caller's input and writes the caller's
// output, through the plan's own work arrays and threads; it allocates
// nothing, and the plan may run again afterwards.
#pragma once

#include "velmora/velmora.h"

namespace velmora::detail {

// Runs a plan on views already checked against it.
velmora::result run_array_plan(velmora::plan_state& state, const velmora::array_view& in,
                               const velmora::array_view& out);

}  // namespace velmora::detail
