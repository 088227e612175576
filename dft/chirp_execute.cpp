#include "dft/chirp_execute.h"

#include <cstdlib>

#include "fft/fft_drivers.h"

namespace {

// Every complex product spelled out, four separate products, so that the
// rounding does not depend on the compiler (no fused multiply-add).
void multiply(double a_re, double a_im, double b_re, double b_im, double* out_re, double* out_im)
{
    *out_re = a_re * b_re - a_im * b_im;
    *out_im = a_re * b_im + a_im * b_re;
}

// work = x * v on [0, n), zero on [n, N); v is the chirp or its conjugate.
void pre_multiply(const chirp_plan* plan, double sign, const double* re, const double* im)
{
    for (int j = 0; j < plan->n; ++j)
        multiply(re[j], im[j], plan->chirp_re[j], sign * plan->chirp_im[j], &plan->work_re[j], &plan->work_im[j]);
    for (int j = plan->n; j < plan->fft_size; ++j) {
        plan->work_re[j] = 0;
        plan->work_im[j] = 0;
    }
}

// The kernel of the inverse is conj(b). For a symmetric kernel (m = n) its
// spectrum is conj(K); in general it is conj(K[-k]).
void multiply_kernel(const chirp_plan* plan, bool inverse)
{
    const int N = plan->fft_size;
    const bool symmetric = plan->m == plan->n;
    for (int k = 0; k < N; ++k) {
        const int at = (!inverse || symmetric) ? k : (N - k) % N;
        const double k_im = inverse ? -plan->kernel_im[at] : plan->kernel_im[at];
        multiply(plan->work_re[k], plan->work_im[k], plan->kernel_re[at], k_im, &plan->work_re[k], &plan->work_im[k]);
    }
}

void post_multiply(const chirp_plan* plan, double sign, double* re, double* im)
{
    for (int k = 0; k < plan->m; ++k)
        multiply(plan->chirp_re[k], sign * plan->chirp_im[k], plan->work_re[k], plan->work_im[k], &re[k], &im[k]);
}

}  // namespace

int chirp_execute(chirp_plan* plan, int direction, double* re, double* im, int* ip, double* ww)
{
    const int N = plan->fft_size;
    const bool inverse = direction != 0;
    const double sign = inverse ? -1.0 : 1.0;  // the inverse runs on conj(w)
    double* packed = static_cast<double*>(std::malloc(2 * static_cast<std::size_t>(N) * sizeof(double)));
    if (!packed)
        return chirp_no_memory;

    pre_multiply(plan, sign, re, im);
    chirp_interleave(N, plan->work_re, plan->work_im, packed);
    int table_size = chirp_fft_tables(N, ip, ww);
    fft_forward(2 * N, packed, ip, table_size, ww);
    for (int k = 0; k < N; ++k) {
        plan->work_re[k] = packed[2 * k] / N;
        plan->work_im[k] = packed[2 * k + 1] / N;
    }

    multiply_kernel(plan, inverse);
    chirp_interleave(N, plan->work_re, plan->work_im, packed);
    table_size = chirp_fft_tables(N, ip, ww);
    fft_backward(2 * N, packed, ip, table_size, ww);
    chirp_deinterleave(N, packed, plan->work_re, plan->work_im);

    post_multiply(plan, sign, re, im);
    if (!inverse) {
        const double s = 1.0 / plan->n;
        for (int k = 0; k < plan->m; ++k) {
            re[k] *= s;
            im[k] *= s;
        }
    }
    std::free(packed);
    return chirp_ok;
}
