// The one-line drivers and permutations: split_radix.h with one double per
// element.
#include "fft/fft_drivers.h"

#include "fft/split_radix.h"

void fft_bit_reverse(int n, const int* ip, double* a)
{
    split_radix::bit_reverse_pass<false>(n, ip, a);
}

void fft_bit_reverse_conj(int n, const int* ip, double* a)
{
    split_radix::bit_reverse_pass<true>(n, ip, a);
}

void fft_bit_reverse_16(double* a)
{
    split_radix::reverse_16(a);
}

void fft_bit_reverse_16_neg(double* a)
{
    split_radix::reverse_16_negated(a);
}

void fft_forward(int n, double* a, const int* ip, int table_size, const double* ww)
{
    split_radix::forward(n, a, ip, table_size, ww);
}

void fft_backward(int n, double* a, const int* ip, int table_size, const double* ww)
{
    split_radix::backward(n, a, ip, table_size, ww);
}
