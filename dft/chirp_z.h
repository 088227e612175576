// The chirp-z transform of a plan, written once for any element type.
//
// As in fft/split_radix.h, T is the type of one double of the data: double
// for one line, a vector of W doubles (fft/lane_double.h) for W lines in
// lane layout. Factors are plain doubles applied to every lane alike, and
// every complex product is fft/lane_complex.h's, so that each lane rounds
// as the one-line code does.
//
// Internal linkage and no std:: templates, for the reasons split_radix.h
// gives. Included by chirp_kernel.cpp only.
#pragma once

#include "dft/chirp_entries.h"
#include "fft/lane_complex.h"
#include "fft/split_radix.h"

namespace velmora::detail {

namespace {
namespace chirp_z {

// Points between two questions to the stop poll in the loops below.
constexpr std::int32_t poll_points = 1 << 14;

// work[0 .. count) times factors[0 .. count), complex, in place.
template <typename T>
void multiply_by(const double* factors, std::int32_t count, T* work, const stop_poll* poll)
{
    for (std::int32_t i = 0; i < count; ++i) {
        if (i % poll_points == poll_points - 1 && stop_requested(poll))
            return;
        write_point(work + 2 * i, times(read_point(work + 2 * i), factors[2 * i], factors[2 * i + 1]));
    }
}

// Inputs times the input factors, padded with zeros to N points, convolved
// with the kernel by two FFTs (the kernel spectrum carries the 1/N), and the
// first out_count points times the output factors. A stop asked for cuts
// the FFTs short (fft/split_radix.h).
template <typename T>
void transform(const chirp_arrays& plan, T* work)
{
    const std::int32_t N = plan.fft_points;
    multiply_by(plan.pre, plan.in_count, work, plan.poll);
    for (std::int32_t i = plan.in_count; i < N; ++i) {
        if (i % poll_points == 0 && stop_requested(plan.poll))
            return;
        work[2 * i] = T{};
        work[2 * i + 1] = T{};
    }
    split_radix::forward(2 * N, work, plan.ip, plan.table_size, plan.ww, plan.poll);
    multiply_by(plan.kernel, N, work, plan.poll);
    split_radix::backward(2 * N, work, plan.ip, plan.table_size, plan.ww, plan.poll);
    multiply_by(plan.post, plan.out_count, work, plan.poll);
}

}  // namespace chirp_z
}  // namespace

}  // namespace velmora::detail
