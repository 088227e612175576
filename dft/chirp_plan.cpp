#include "dft/chirp_plan.h"

#include <cmath>
#include <cstdlib>

#include "fft/fft_drivers.h"
#include "fft/fft_tables.h"

namespace {

constexpr double pi = 3.141592653589793;

double* allocate_doubles(std::int64_t count)
{
    return static_cast<double*>(std::malloc(static_cast<std::size_t>(count) * sizeof(double)));
}

}  // namespace

void chirp_build(int n, int m, int N, double* chirp_re, double* chirp_im, double* kernel_re, double* kernel_im)
{
    // d runs through k^2 mod 2n without forming k^2, so every angle is exact
    // in [0, 2 pi) however large k grows; the sum stays below 4n.
    const double s = pi / n;
    std::int64_t d = 0;
    for (int k = 0; k < n; ++k) {
        const double theta = static_cast<double>(d) * s;
        chirp_re[k] = std::cos(theta);
        chirp_im[k] = -std::sin(theta);
        d = (d + 2 * std::int64_t{k} + 1) % (2 * std::int64_t{n});
    }
    // The kernel enters the FFT multiplied by N so that the division by N
    // after it leaves K itself.
    kernel_re[0] = N;
    kernel_im[0] = 0;
    for (int k = 1; k < n; ++k) {
        const double re = N * chirp_re[k];
        const double im = -N * chirp_im[k];
        if (k < m) {
            kernel_re[k] = re;
            kernel_im[k] = im;
        }
        kernel_re[N - k] = re;
        kernel_im[N - k] = im;
    }
    for (int k = m; k <= N - n; ++k) {
        kernel_re[k] = 0;
        kernel_im[k] = 0;
    }
}

int chirp_fft_tables(int N, int* ip, double* ww)
{
    const int doubles = 2 * N;
    if (4 * ip[0] < doubles) {
        fft_make_twiddles(doubles >> 2, ip, ww);
    }
    return ip[0];
}

void chirp_interleave(int N, const double* re, const double* im, double* packed)
{
    for (int k = 0; k < N; ++k) {
        packed[2 * k] = re[k];
        packed[2 * k + 1] = im[k];
    }
}

void chirp_deinterleave(int N, const double* packed, double* re, double* im)
{
    for (int k = 0; k < N; ++k) {
        re[k] = packed[2 * k];
        im[k] = packed[2 * k + 1];
    }
}

void chirp_plan_release(chirp_plan* plan)
{
    double** blocks[] = {&plan->chirp_re, &plan->kernel_re, &plan->work_re};
    for (double** block : blocks) {
        if (*block) {
            std::free(*block);
            *block = nullptr;
        }
    }
    plan->n = 0;
    plan->m = 0;
    plan->fft_size = 0;
}

int chirp_plan_init(chirp_plan* plan, int n, int m, int* ip, double* ww)
{
    if (n <= 1)
        return chirp_too_short;
    if (m < 2 || m > n)
        m = n;
    int N = 1;
    while (N < n + m)
        N *= 2;

    plan->n = n;
    plan->m = m;
    plan->fft_size = N;
    plan->chirp_re = allocate_doubles(2 * std::int64_t{n});
    plan->kernel_re = allocate_doubles(2 * std::int64_t{N});
    plan->work_re = allocate_doubles(2 * std::int64_t{N});
    if (!plan->chirp_re || !plan->kernel_re || !plan->work_re) {
        chirp_plan_release(plan);
        return chirp_no_memory;
    }
    plan->chirp_im = plan->chirp_re + n;
    plan->kernel_im = plan->kernel_re + N;
    plan->work_im = plan->work_re + N;

    chirp_build(n, m, N, plan->chirp_re, plan->chirp_im, plan->kernel_re, plan->kernel_im);

    double* packed = allocate_doubles(2 * std::int64_t{N});
    if (!packed) {
        chirp_plan_release(plan);
        return chirp_no_memory;
    }
    chirp_interleave(N, plan->kernel_re, plan->kernel_im, packed);
    const int table_size = chirp_fft_tables(N, ip, ww);
    fft_forward(2 * N, packed, ip, table_size, ww);
    for (int k = 0; k < N; ++k) {
        plan->kernel_re[k] = packed[2 * k] / N;
        plan->kernel_im[k] = packed[2 * k + 1] / N;
    }
    std::free(packed);
    return chirp_ok;
}
