#include "dft/chirp_execute.h"

#include "fft/fft_drivers.h"

namespace {

// Every complex product spelled out as four separate products, so that the
// rounding does not depend on the compiler (no fused multiply-add).
inline void multiply(double a_re, double a_im, double b_re, double b_im, double* out_re, double* out_im)
{
    const double re = a_re * b_re - a_im * b_im;
    const double im = a_re * b_im + a_im * b_re;
    *out_re = re;
    *out_im = im;
}

}  // namespace

std::size_t chirp_work_size(const chirp_plan* plan)
{
    return 2 * static_cast<std::size_t>(plan->fft_size);
}

void chirp_load(const chirp_plan* plan, const double* in_re, const double* in_im, double* work)
{
    const std::int32_t count = plan->shape.in_count;
    const double* pre = plan->pre;
    for (std::int32_t i = 0; i < count; ++i)
        multiply(in_re[i], in_im[i], pre[2 * i], pre[2 * i + 1], &work[2 * i], &work[2 * i + 1]);
    for (std::int32_t i = 2 * count; i < 2 * plan->fft_size; ++i)
        work[i] = 0.0;
}

void chirp_convolve(const chirp_plan* plan, double* work)
{
    const std::int32_t N = plan->fft_size;
    fft_forward(2 * N, work, plan->ip, plan->table_size, plan->ww);
    const double* kernel = plan->kernel;
    for (std::int32_t k = 0; k < N; ++k)
        multiply(work[2 * k], work[2 * k + 1], kernel[2 * k], kernel[2 * k + 1], &work[2 * k], &work[2 * k + 1]);
    fft_backward(2 * N, work, plan->ip, plan->table_size, plan->ww);
}

void chirp_store(const chirp_plan* plan, const double* work, double* out_re, double* out_im)
{
    const std::int32_t count = plan->shape.out_count;
    const double* post = plan->post;
    for (std::int32_t r = 0; r < count; ++r)
        multiply(work[2 * r], work[2 * r + 1], post[2 * r], post[2 * r + 1], &out_re[r], &out_im[r]);
}

void chirp_execute(const chirp_plan* plan, const double* in_re, const double* in_im, double* out_re, double* out_im,
                   double* work)
{
    chirp_load(plan, in_re, in_im, work);
    chirp_convolve(plan, work);
    chirp_store(plan, work, out_re, out_im);
}
