// The one-line transforms are the scalar path of the lane transforms.
#include "fft/fft_drivers.h"

#include "fft/fft_lanes.h"

void fft_forward(std::int32_t points, double* a, const fft_tables& tables)
{
    fft_forward_lanes(lane_path::scalar, points, a, tables);
}

void fft_backward(std::int32_t points, double* a, const fft_tables& tables)
{
    fft_backward_lanes(lane_path::scalar, points, a, tables);
}
