// The split-radix FFT, written once for any element type.
//
// Every routine of the FFT is a template over T, the type of one double of
// the data: T = double gives the one-line transforms, and T = a vector of W
// doubles (fft/lane_double.h) gives the same transforms on W lines at once,
// line j in lane j. Indices, offsets, loop bounds and twiddles are plain
// ints and doubles, the same values whatever T is (a twiddle is one
// double, applied to every lane alike), and no operation ever mixes lanes.
//
// Why the bits match: each lane sees the same IEEE operations (add,
// subtract, multiply, negate) on the same operands in the same order as the
// one-line code, and every operation is exactly rounded whatever the vector
// width. The build forbids contraction into fused multiply-add, so no path
// rounds differently.
//
// Everything here has internal linkage, and no std:: template is used: the
// vector builds compile this header with instructions the running CPU may
// lack, and none of their code may be picked by the linker for ordinary
// code. Included by the lane kernels that build transforms
// (fft_lanes_kernel.cpp, and dft/chirp_kernel.cpp through dft/chirp_z.h),
// and by tests/fft_test.cpp, which holds the stages and kernels to the
// transforms they owe.
//
// A transform may be given a stop poll (fft/stop_poll.h). It asks it between
// its phases and every few thousand points of its first stage, its tree's
// leaves and its permutation's rows, and on a yes returns at once, its
// output unspecified.
//
// The arithmetic (butterflies, stages, kernels) is in split_radix_stages.h,
// the output permutations in split_radix_permute.h; this header walks the
// tree of stages and holds the drivers.
#pragma once

#include "fft/split_radix_permute.h"
#include "fft/split_radix_stages.h"
#include "fft/stop_poll.h"

namespace velmora::detail {

namespace {
namespace split_radix {

// ---- Leaves and the block walk ---------------------------------------------

// Runs the kernel of the stated kind on a sub-block of 16 (n = 512 leaves)
// or 8 points (n = 256 leaves).
template <typename T>
void leaf_kernel(bool sixteen, bool twiddled, T* block, int table_size, const double* ww)
{
    if (sixteen) {
        if (twiddled) {
            kernel_16_twiddled(block, ww + table_size - 32);
        } else {
            kernel_16(block, ww + table_size - 8);
        }
    } else if (twiddled) {
        kernel_8_twiddled(block, ww + table_size - 8);
    } else {
        kernel_8(block, ww + table_size - 8);
    }
}

// Stage of the given kind on the block of n doubles at block.
template <typename T>
void stage_of_kind(int split_flag, int n, T* block, int table_size, const double* ww)
{
    if (split_flag) {
        stage_1(n, block, ww + table_size - n / 2);
    } else {
        stage_2(n, block, ww + table_size - n);
    }
}

// The four leaves of a block, `step` doubles apart, in order: the second
// twiddled, and the fourth when the block's own stage was of the second
// kind. Always inlined: the leaves then compile as they do written out.
template <typename T>
inline __attribute__((always_inline)) void four_leaves(bool sixteen, bool fourth_twiddled, T* block, int step,
                                                       int table_size, const double* ww)
{
    leaf_kernel(sixteen, false, block, table_size, ww);
    leaf_kernel(sixteen, true, block + step, table_size, ww);
    leaf_kernel(sixteen, false, block + 2 * step, table_size, ww);
    leaf_kernel(sixteen, fourth_twiddled, block + 3 * step, table_size, ww);
}

template <typename T>
void small_leaf(int n, T* block, int table_size, const double* ww)
{
    four_leaves(n == 128, false, block, n >> 2, table_size, ww);
}

template <typename T>
void leaf(int n, int split_flag, T* block, int table_size, const double* ww)
{
    const int quarter = n >> 2;
    const int sub = n >> 4;
    const bool sixteen = n == 512;
    T* q = block;
    stage_1(quarter, q, ww + table_size - quarter / 2);
    four_leaves(sixteen, false, q, sub, table_size, ww);
    q += quarter;
    stage_2(quarter, q, ww + table_size - quarter);
    four_leaves(sixteen, true, q, sub, table_size, ww);
    q += quarter;
    stage_1(quarter, q, ww + table_size - quarter / 2);
    four_leaves(sixteen, false, q, sub, table_size, ww);
    q += quarter;
    stage_of_kind(split_flag, quarter, q, table_size, ww);
    leaf_kernel(sixteen, split_flag == 0, q + 3 * sub, table_size, ww);
    leaf_kernel(sixteen, false, q, table_size, ww);
    leaf_kernel(sixteen, true, q + sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 2 * sub, table_size, ww);
}

template <typename T>
int tree_step(int m, int j, int k, T* a, int table_size, const double* ww)
{
    if ((k & 3) != 0) {
        const int f = k & 1;
        stage_of_kind(f, m, a + j - m, table_size, ww);
        return f;
    }
    int size = m;
    do {
        k >>= 2;
        size <<= 2;
    } while ((k & 3) == 0);
    const int f = k & 1;
    for (; size > 128; size >>= 2) {
        stage_of_kind(f, size, a + j - size, table_size, ww);
    }
    return f;
}

template <typename T>
void walk(int n, T* a, int table_size, const double* ww, const stop_poll* poll)
{
    int m = n;
    while (m > 512) {
        m >>= 2;
        stage_1(m, a + n - m, ww + table_size - m / 2);
    }
    leaf(m, 1, a + n - m, table_size, ww);
    int k = 0;
    for (int j = n - m; j > 0; j -= m) {
        // Every 16th leaf: a few thousand points of work apart.
        if ((k & 15) == 15 && stop_requested(poll))
            return;
        ++k;
        const int f = tree_step(m, j, k, a, table_size, ww);
        leaf(m, f, a + j - m, table_size, ww);
    }
}

// ---- Drivers ---------------------------------------------------------------

// Split-radix core after the first stage, chosen by length.
template <typename T>
void core(int n, T* a, int table_size, const double* ww, const stop_poll* poll)
{
    if (n > 512) {
        walk(n, a, table_size, ww, poll);
    } else if (n > 128) {
        leaf(n, 1, a, table_size, ww);
    } else {
        small_leaf(n, a, table_size, ww);
    }
}

// Four points; sign +1 or -1 is the sign of the exponent.
template <typename T>
void transform_4(T* a, double sign)
{
    const T sr = a[0] + a[4], si = a[1] + a[5];
    const T dr = a[0] - a[4], di = a[1] - a[5];
    const T tr = a[2] + a[6], ti = a[3] + a[7];
    const T ur = sign * (a[2] - a[6]), ui = sign * (a[3] - a[7]);
    a[0] = sr + tr;
    a[1] = si + ti;
    a[4] = sr - tr;
    a[5] = si - ti;
    a[2] = dr - ui;
    a[3] = di + ur;
    a[6] = dr + ui;
    a[7] = di - ur;
}

template <typename T>
void transform_2(T* a)
{
    const T r = a[0] - a[2], i = a[1] - a[3];
    a[0] += a[2];
    a[1] += a[3];
    a[2] = r;
    a[3] = i;
}

// The transform of n doubles (n / 2 points) in place: the negative
// exponent (Forward, computed as the conjugate of the positive one, the
// conjugation folded into the first stage and the permutation) or the
// positive one.
template <bool Forward, typename T>
void transform(int n, T* a, const int* ip, int table_size, const double* ww, const stop_poll* poll)
{
    if (n > 32) {
        first_stage<Forward>(n, a, ww + table_size - (n >> 2), poll);
        if (stop_requested(poll))
            return;
        core(n, a, table_size, ww, poll);
        bit_reverse_pass<Forward>(n, ip, a, poll);
    } else if (n == 32) {
        kernel_16(a, ww + table_size - 8);
        if (Forward)
            reverse_16_negated(a);
        else
            reverse_16(a);
    } else if (n > 8) {
        kernel_8(a, ww);
        if (Forward) {
            static const int from[8] = {0, 7, 3, 5, 1, 6, 2, 4};
            gather_points(a, from, 8);
        } else {
            exchange<false>(a, 2, 8);
            exchange<false>(a, 6, 12);
        }
    } else if (n == 8) {
        transform_4(a, Forward ? -1.0 : 1.0);
    } else if (n == 4) {
        transform_2(a);
    }
}

template <typename T>
void forward(int n, T* a, const int* ip, int table_size, const double* ww, const stop_poll* poll = nullptr)
{
    transform<true>(n, a, ip, table_size, ww, poll);
}

template <typename T>
void backward(int n, T* a, const int* ip, int table_size, const double* ww, const stop_poll* poll = nullptr)
{
    transform<false>(n, a, ip, table_size, ww, poll);
}

}  // namespace split_radix
}  // namespace

}  // namespace velmora::detail
