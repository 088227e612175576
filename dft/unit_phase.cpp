#include "dft/unit_phase.h"

#include <cmath>

namespace velmora::detail {

void unit_phase(std::int64_t num, std::int64_t den, double* re, double* im)
{
    constexpr double pi = 3.141592653589793;
    std::int64_t r = num % (2 * den);
    if (r < 0)
        r += 2 * den;
    const double theta = static_cast<double>(r) * (pi / static_cast<double>(den));
    *re = std::cos(theta);
    *im = std::sin(theta);
}

}  // namespace velmora::detail
