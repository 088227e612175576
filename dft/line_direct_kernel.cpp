// The direct way of line_direct.h over a batch of lines in lane layout (see
// fft/lane_double.h), built once per path.
#include "dft/line_direct.h"
#include "dft/line_direct_entries.h"
#include "fft/lane_double.h"

namespace velmora::detail {

void VELMORA_LANE_ENTRY(line_direct_lanes)(const line_direct_arrays& plan, double* work)
{
    line_direct::transform(plan, reinterpret_cast<lane_double*>(work));
}

}  // namespace velmora::detail
