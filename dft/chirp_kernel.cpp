// The chirp-z transform of chirp_z.h over a batch of lines in lane layout
// (see fft/lane_double.h), built once per path.
#include "dft/chirp_entries.h"
#include "dft/chirp_z.h"
#include "fft/lane_double.h"

namespace velmora::detail {

void VELMORA_LANE_ENTRY(chirp_transform_lanes)(const chirp_arrays& plan, double* work)
{
    chirp_z::transform(plan, reinterpret_cast<lane_double*>(work));
}

}  // namespace velmora::detail
