#include "fft/fft_drivers.h"

#include "fft/fft_stages.h"

namespace {

// Exchanges the points starting at doubles x and y; the conjugating variant
// also negates both imaginary parts.
template <bool Conj>
inline void exchange(double* a, int x, int y)
{
    const double re = a[x], im = a[x + 1];
    a[x] = a[y];
    a[x + 1] = Conj ? -a[y + 1] : a[y + 1];
    a[y] = re;
    a[y + 1] = Conj ? -im : im;
}

// A point that bit reversal leaves in place still needs conjugating.
template <bool Conj>
inline void keep(double* a, int x)
{
    if (Conj) {
        a[x + 1] = -a[x + 1];
    }
}

// Bit reversal for n >= 64. The index bits split into the lowest bit, the
// top bit, one or two middle bits (offsets mid and 2*mid) and two mirrored
// groups: j in the low bits, the seed ip[m + k] in the high ones. Each
// (j, k) pair therefore names two bases whose free offsets map onto each
// other, and the diagonal j = k swaps only offsets that reversal moves.
template <bool Conj>
void bit_reverse_pass(int n, const int* ip, double* a)
{
    int m = 1;
    int l = n >> 2;
    while (l > 8) {
        m <<= 1;
        l >>= 2;
    }
    const int half = n >> 1;
    const int mid = 4 * m;
    const int* seed = ip + m;
    if (l == 8) {
        const int mids[4] = {0, mid, 2 * mid, 3 * mid};
        const int rmids[4] = {0, 2 * mid, mid, 3 * mid};
        for (int k = 0; k < m; ++k) {
            for (int j = 0; j < k; ++j) {
                const int bj = 4 * j + 2 * seed[k];
                const int bk = 4 * k + 2 * seed[j];
                for (int t = 0; t < 4; ++t) {
                    exchange<Conj>(a, bj + mids[t], bk + rmids[t]);
                    exchange<Conj>(a, bj + 2 + mids[t], bk + half + rmids[t]);
                    exchange<Conj>(a, bj + half + mids[t], bk + 2 + rmids[t]);
                    exchange<Conj>(a, bj + 2 + half + mids[t], bk + 2 + half + rmids[t]);
                }
            }
            const int b = 4 * k + 2 * seed[k];
            exchange<Conj>(a, b + 2, b + half);
            exchange<Conj>(a, b + 2 + mid, b + half + 2 * mid);
            exchange<Conj>(a, b + 2 + 2 * mid, b + half + mid);
            exchange<Conj>(a, b + 2 + 3 * mid, b + half + 3 * mid);
            exchange<Conj>(a, b + mid, b + 2 * mid);
            exchange<Conj>(a, b + 2 + mid + half, b + 2 + 2 * mid + half);
            keep<Conj>(a, b);
            keep<Conj>(a, b + 2 + half);
            keep<Conj>(a, b + 3 * mid);
            keep<Conj>(a, b + 2 + half + 3 * mid);
        }
    } else {
        for (int k = 0; k < m; ++k) {
            for (int j = 0; j < k; ++j) {
                const int bj = 4 * j + seed[k];
                const int bk = 4 * k + seed[j];
                for (int t = 0; t <= mid; t += mid) {
                    exchange<Conj>(a, bj + t, bk + t);
                    exchange<Conj>(a, bj + 2 + t, bk + half + t);
                    exchange<Conj>(a, bj + half + t, bk + 2 + t);
                    exchange<Conj>(a, bj + 2 + half + t, bk + 2 + half + t);
                }
            }
            const int b = 4 * k + seed[k];
            exchange<Conj>(a, b + 2, b + half);
            exchange<Conj>(a, b + 2 + mid, b + half + mid);
            keep<Conj>(a, b);
            keep<Conj>(a, b + mid);
            keep<Conj>(a, b + 2 + half);
            keep<Conj>(a, b + 2 + half + mid);
        }
    }
}

// Small permutations given as "new point k takes old point from[k]".
void gather_points(double* a, const int* from, int points)
{
    double old[32];
    for (int i = 0; i < 2 * points; ++i) {
        old[i] = a[i];
    }
    for (int k = 0; k < points; ++k) {
        a[2 * k] = old[2 * from[k]];
        a[2 * k + 1] = old[2 * from[k] + 1];
    }
}

// Split-radix core after the first stage, chosen by length.
void core(int n, double* a, int table_size, const double* ww)
{
    if (n > 512) {
        fft_recursive(n, a, table_size, ww);
    } else if (n > 128) {
        fft_leaf(n, 1, a, table_size, ww);
    } else {
        fft_small_leaf(n, a, table_size, ww);
    }
}

// Four points; sign +1 or -1 is the sign of the exponent.
void transform_4(double* a, double sign)
{
    const double sr = a[0] + a[4], si = a[1] + a[5];
    const double dr = a[0] - a[4], di = a[1] - a[5];
    const double tr = a[2] + a[6], ti = a[3] + a[7];
    const double ur = sign * (a[2] - a[6]), ui = sign * (a[3] - a[7]);
    a[0] = sr + tr;
    a[1] = si + ti;
    a[4] = sr - tr;
    a[5] = si - ti;
    a[2] = dr - ui;  // d + sign*i*u
    a[3] = di + ur;
    a[6] = dr + ui;
    a[7] = di - ur;
}

void transform_2(double* a)
{
    const double r = a[0] - a[2], i = a[1] - a[3];
    a[0] += a[2];
    a[1] += a[3];
    a[2] = r;
    a[3] = i;
}

}  // namespace

void fft_bit_reverse(int n, const int* ip, double* a)
{
    bit_reverse_pass<false>(n, ip, a);
}

void fft_bit_reverse_conj(int n, const int* ip, double* a)
{
    bit_reverse_pass<true>(n, ip, a);
}

void fft_bit_reverse_16(double* a)
{
    exchange<false>(a, 2, 16);
    exchange<false>(a, 4, 8);
    exchange<false>(a, 6, 24);
    exchange<false>(a, 10, 20);
    exchange<false>(a, 14, 28);
    exchange<false>(a, 22, 26);
}

void fft_bit_reverse_16_neg(double* a)
{
    static const int from[16] = {0, 15, 7, 11, 3, 13, 5, 9, 1, 14, 6, 10, 2, 12, 4, 8};
    gather_points(a, from, 16);
}

void fft_forward(int n, double* a, const int* ip, int table_size, const double* ww)
{
    if (n > 8) {
        if (n > 32) {
            // conj(DFT+(conj x)) = DFT-(x); both conjugations ride on passes
            // that run anyway.
            fft_first_stage_conj(n, a, ww + table_size - (n >> 2));
            core(n, a, table_size, ww);
            fft_bit_reverse_conj(n, ip, a);
        } else if (n == 32) {
            fft_kernel_16(a, ww + table_size - 8);
            fft_bit_reverse_16_neg(a);
        } else {
            static const int from[8] = {0, 7, 3, 5, 1, 6, 2, 4};
            fft_kernel_8(a, ww);
            gather_points(a, from, 8);
        }
    } else if (n == 8) {
        transform_4(a, -1.0);
    } else if (n == 4) {
        transform_2(a);
    }
}

void fft_backward(int n, double* a, const int* ip, int table_size, const double* ww)
{
    if (n > 8) {
        if (n > 32) {
            fft_first_stage(n, a, ww + table_size - (n >> 2));
            core(n, a, table_size, ww);
            fft_bit_reverse(n, ip, a);
        } else if (n == 32) {
            fft_kernel_16(a, ww + table_size - 8);
            fft_bit_reverse_16(a);
        } else {
            fft_kernel_8(a, ww);
            exchange<false>(a, 2, 8);
            exchange<false>(a, 6, 12);
        }
    } else if (n == 8) {
        transform_4(a, 1.0);
    } else if (n == 4) {
        transform_2(a);
    }
}
