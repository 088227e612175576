// The one-line stages, kernels and block walk: split_radix.h with one
// double per element.
#include "fft/fft_stages.h"

#include "fft/split_radix.h"

void fft_first_stage(int n, double* a, const double* w)
{
    split_radix::first_stage<false>(n, a, w);
}

void fft_first_stage_conj(int n, double* a, const double* w)
{
    split_radix::first_stage<true>(n, a, w);
}

void fft_stage_1(int n, double* block, const double* w)
{
    split_radix::stage_1(n, block, w);
}

void fft_stage_2(int n, double* block, const double* w)
{
    split_radix::stage_2(n, block, w);
}

void fft_kernel_16(double* block, const double* w)
{
    split_radix::kernel_16(block, w);
}

void fft_kernel_16_twiddled(double* block, const double* w)
{
    split_radix::kernel_16_twiddled(block, w);
}

void fft_kernel_8(double* block, const double* w)
{
    split_radix::kernel_8(block, w);
}

void fft_kernel_8_twiddled(double* block, const double* w)
{
    split_radix::kernel_8_twiddled(block, w);
}

void fft_small_leaf(int n, double* block, int table_size, const double* ww)
{
    split_radix::small_leaf(n, block, table_size, ww);
}

void fft_leaf(int n, int split_flag, double* block, int table_size, const double* ww)
{
    split_radix::leaf(n, split_flag, block, table_size, ww);
}

int fft_tree_step(int m, int j, int k, double* a, int table_size, const double* ww)
{
    return split_radix::tree_step(m, j, k, a, table_size, ww);
}

void fft_recursive(int n, double* a, int table_size, const double* ww)
{
    split_radix::walk(n, a, table_size, ww);
}
