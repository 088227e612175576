// The mixed-radix transform of mixed_radix.h over a batch of lines in lane
// layout (see fft/lane_double.h), built once per path.
#include "fft/lane_double.h"
#include "fft/mixed_radix.h"
#include "fft/mixed_radix_entries.h"

namespace velmora::detail {

void VELMORA_LANE_ENTRY(mixed_radix_transform_lanes)(const mixed_radix_steps& steps, int sign, const double* in,
                                                     double* out)
{
    const lane_double* lanes = reinterpret_cast<const lane_double*>(in);
    mixed_radix::transform(steps, sign, mixed_radix::gather_from(lanes, steps), reinterpret_cast<lane_double*>(out));
}

}  // namespace velmora::detail
