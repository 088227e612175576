// The split-radix FFT's output permutations, written once for any element
// type: the bit reversal of transforms of 64 points and more (conjugating
// for the forward transform, which runs as a conjugated inverse), and the
// fixed permutations of 8 and 16 points. split_radix.h says what T is.
//
// A permutation only moves values (and negates them where it conjugates),
// so it changes no bit of any lane.
//
// Internal linkage and no std:: templates (split_radix.h says why).
// Included by split_radix.h only.
#pragma once

#include "fft/stop_poll.h"

namespace velmora::detail {

namespace {
namespace split_radix {

// ---- Permutations ----------------------------------------------------------

// Exchanges the points starting at doubles x and y; the conjugating variant
// also negates both imaginary parts.
template <bool Conj, typename T>
inline void exchange(T* a, int x, int y)
{
    const T re = a[x], im = a[x + 1];
    a[x] = a[y];
    a[x + 1] = Conj ? -a[y + 1] : a[y + 1];
    a[y] = re;
    a[y + 1] = Conj ? -im : im;
}

// A point that bit reversal leaves in place still needs conjugating.
template <bool Conj, typename T>
inline void keep(T* a, int x)
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
template <bool Conj, typename T>
void bit_reverse_pass(int n, const int* ip, T* a, const stop_poll* poll)
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
            if (stop_requested(poll))
                return;
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
            if (stop_requested(poll))
                return;
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
template <typename T>
void gather_points(T* a, const int* from, int points)
{
    T old[32];
    for (int i = 0; i < 2 * points; ++i) {
        old[i] = a[i];
    }
    for (int k = 0; k < points; ++k) {
        a[2 * k] = old[2 * from[k]];
        a[2 * k + 1] = old[2 * from[k] + 1];
    }
}

// New point k takes old point rev4(k): 16-point bit reversal.
template <typename T>
void reverse_16(T* a)
{
    exchange<false>(a, 2, 16);
    exchange<false>(a, 4, 8);
    exchange<false>(a, 6, 24);
    exchange<false>(a, 10, 20);
    exchange<false>(a, 14, 28);
    exchange<false>(a, 22, 26);
}

// New point k takes old point rev4((16 - k) mod 16), which turns a
// positive-exponent result in bit-reversed order into the negative-exponent
// one in natural order.
template <typename T>
void reverse_16_negated(T* a)
{
    static const int from[16] = {0, 15, 7, 11, 3, 13, 5, 9, 1, 14, 6, 10, 2, 12, 4, 8};
    gather_points(a, from, 16);
}

}  // namespace split_radix
}  // namespace

}  // namespace velmora::detail
