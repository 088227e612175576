#include "resize/line_transforms.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dft/chirp_execute.h"
#include "dft/chirp_plan.h"
#include "resize/checked_alloc.h"

double fwd_line_re[line_capacity];
double fwd_line_im[line_capacity];
double inv_line_re[line_capacity];
double inv_line_im[line_capacity];

namespace {

constexpr int forward = 0;
constexpr int inverse = 1;

[[noreturn]] void fail_transform()
{
    std::printf("failure!!!!\n");
    std::exit(1);
}

// The common body of every line transform, in the buffer pair of its direction.
int transform_line(int direction, std::int32_t n, const double* in_re, const double* in_im, double* out_re,
                   double* out_im, int* ip, double* ww)
{
    double* line_re = direction == forward ? fwd_line_re : inv_line_re;
    double* line_im = direction == forward ? fwd_line_im : inv_line_im;
    if (n < 2 || n > line_capacity)
        fail_transform();
    std::memcpy(line_re, in_re, static_cast<std::size_t>(n) * sizeof(double));
    std::memcpy(line_im, in_im, static_cast<std::size_t>(n) * sizeof(double));
    chirp_plan plan;
    if (chirp_plan_init(&plan, n, n, ip, ww) != chirp_ok)
        fail_transform();
    if (chirp_execute(&plan, direction, line_re, line_im, ip, ww) != chirp_ok)
        fail_transform();
    std::memcpy(out_re, line_re, static_cast<std::size_t>(n) * sizeof(double));
    std::memcpy(out_im, line_im, static_cast<std::size_t>(n) * sizeof(double));
    chirp_plan_release(&plan);
    return 0;
}

// Gathers a strided row into scratch lines, transforms it and scatters it back.
void transform_row(int direction, std::int32_t n, std::int32_t stride, const double* in_re, const double* in_im,
                   double* out_re, double* out_im, int* ip, double* ww)
{
    const auto count = static_cast<std::size_t>(n);
    double* R = checked_array<double>(count, "R");
    double* I = checked_array<double>(count, "I");
    double* OR = checked_array<double>(count, "OR");
    double* OI = checked_array<double>(count, "OI");
    for (std::size_t k = 0; k < count; ++k) {
        R[k] = in_re[k * stride];
        I[k] = in_im[k * stride];
    }
    transform_line(direction, n, R, I, OR, OI, ip, ww);
    for (std::size_t k = 0; k < count; ++k) {
        out_re[k * stride] = OR[k];
        out_im[k * stride] = OI[k];
    }
    std::free(R);
    std::free(I);
    std::free(OR);
    std::free(OI);
}

}  // namespace

int dft_line_forward(std::int32_t n, const double* in_re, const double* in_im, double* out_re, double* out_im,
                     int* ip, double* ww)
{
    return transform_line(forward, n, in_re, in_im, out_re, out_im, ip, ww);
}

int dft_line_inverse(std::int32_t n, const double* in_re, const double* in_im, double* out_re, double* out_im,
                     int* ip, double* ww)
{
    return transform_line(inverse, n, in_re, in_im, out_re, out_im, ip, ww);
}

void dft_column_forward(std::int32_t n, const double* in_re, const double* in_im, double* out_re, double* out_im,
                        int* ip, double* ww)
{
    transform_line(forward, n, in_re, in_im, out_re, out_im, ip, ww);
}

void dft_column_inverse(std::int32_t n, const double* in_re, const double* in_im, double* out_re, double* out_im,
                        int* ip, double* ww)
{
    transform_line(inverse, n, in_re, in_im, out_re, out_im, ip, ww);
}

void dft_row_forward(std::int32_t n, std::int32_t stride, const double* in_re, const double* in_im, double* out_re,
                     double* out_im, int* ip, double* ww)
{
    transform_row(forward, n, stride, in_re, in_im, out_re, out_im, ip, ww);
}

void dft_row_inverse(std::int32_t n, std::int32_t stride, const double* in_re, const double* in_im, double* out_re,
                     double* out_im, int* ip, double* ww)
{
    transform_row(inverse, n, stride, in_re, in_im, out_re, out_im, ip, ww);
}
