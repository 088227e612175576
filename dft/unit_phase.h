// Phases exp(i pi num / den) from exact integer fractions.
//
// The numerator is reduced modulo 2 den in integers before anything is
// rounded, so the angle handed to cos and sin is exact up to one rounding
// and lies in [0, 2 pi), however large the index behind it. Used by the
// plans of dft/ for their chirps and phase ramps; keeps no state.
#pragma once

#include <cstdint>

namespace velmora::detail {

// exp(i pi num / den) for den > 0, with num * 2 den within 64 bits.
void unit_phase(std::int64_t num, std::int64_t den, double* re, double* im);

}  // namespace velmora::detail
