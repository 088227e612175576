// Enlarging one colour plane in the frequency domain.
#pragma once

#include <cstdint>

// Longest output side: the inverse line transforms run on lines of twice the
// output side, and the line buffers hold 8192 values.
constexpr std::int32_t max_output_side = 4096;
