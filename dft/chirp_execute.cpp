#include "dft/chirp_execute.h"

#include "fft/fft_drivers.h"

namespace {

// Every complex product spelled out as four separate products, so that the
// rounding does not depend on the compiler (no fused multiply-add). The
// vector lanes (chirp_lanes_kernel.cpp) repeat it operation for operation.
inline void multiply(double a_re, double a_im, double b_re, double b_im, double* out_re, double* out_im)
{
    const double re = a_re * b_re - a_im * b_im;
    const double im = a_re * b_im + a_im * b_re;
    *out_re = re;
    *out_im = im;
}

// work[0..count) times factors[0..count), complex, interleaved, in place.
void multiply_by(const double* factors, std::int32_t count, double* work)
{
    for (std::int32_t i = 0; i < count; ++i)
        multiply(work[2 * i], work[2 * i + 1], factors[2 * i], factors[2 * i + 1], &work[2 * i], &work[2 * i + 1]);
}

}  // namespace

std::size_t chirp_work_size(const chirp_plan* plan)
{
    return 2 * static_cast<std::size_t>(plan->fft_size);
}

void chirp_transform(const chirp_plan* plan, double* work)
{
    const std::int32_t N = plan->fft_size;
    multiply_by(plan->pre, plan->shape.in_count, work);
    for (std::int32_t i = 2 * plan->shape.in_count; i < 2 * N; ++i)
        work[i] = 0.0;
    fft_forward(N, work, *plan->tables);
    multiply_by(plan->kernel, N, work);
    fft_backward(N, work, *plan->tables);
    multiply_by(plan->post, plan->shape.out_count, work);
}

void chirp_execute(const chirp_plan* plan, const double* in_re, const double* in_im, double* out_re, double* out_im,
                   double* work)
{
    for (std::int32_t i = 0; i < plan->shape.in_count; ++i) {
        work[2 * i] = in_re[i];
        work[2 * i + 1] = in_im[i];
    }
    chirp_transform(plan, work);
    for (std::int32_t r = 0; r < plan->shape.out_count; ++r) {
        out_re[r] = work[2 * r];
        out_im[r] = work[2 * r + 1];
    }
}
