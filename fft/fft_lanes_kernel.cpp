// The power-of-two transforms: the split-radix FFT of split_radix.h over a
// batch of lines in lane layout (see fft/lane_double.h), built once per
// path. Element i of the lane_double array is double i of every line, lane j
// belonging to line j; split_radix.h says why every lane gives the one-line
// bits.
#include "fft/fft_lanes_entries.h"
#include "fft/lane_double.h"
#include "fft/split_radix.h"

namespace velmora::detail {

void VELMORA_LANE_ENTRY(fft_lanes_transform)(int sign, int n, double* a, const int* ip, int table_size,
                                             const double* ww, const stop_poll* poll)
{
    lane_double* lanes = reinterpret_cast<lane_double*>(a);
    if (sign < 0) {
        split_radix::forward(n, lanes, ip, table_size, ww, poll);
    } else {
        split_radix::backward(n, lanes, ip, table_size, ww, poll);
    }
}

}  // namespace velmora::detail
