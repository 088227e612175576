// The split-radix FFT, written once for any element type.
//
// Every routine of the FFT is a
// template over T, the type of one double of the data: T = double gives the
// one-line transforms, and T = a vector of W doubles (fft/lane_double.h)
// gives the same transforms on W lines at once, line j in lane j. Indices,
// offsets, loop bounds and twiddles are plain ints and doubles, the same
// values whatever T is (a twiddle is one double, applied to every lane
// alike), and no operation ever mixes lanes.
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
// code. Included by the sources that build transforms (fft_drivers.cpp and
// the lane kernels), and by tests/fft_test.cpp, which holds the stages and
// kernels to the transforms they owe.
//
// A transform may be given a stop poll (fft/stop_poll.h). It asks it between
// its phases and every few thousand points of its first stage, its tree's
// leaves and its permutation's rows, and on a yes returns at once, its
// output unspecified.
#pragma once

#include "fft/stop_poll.h"

namespace {
namespace split_radix {

// ---- Butterflies -----------------------------------------------------------

// Imaginary part as read by a stage; the conjugating first stage negates it.
template <bool Conj, typename T>
inline T read_im(const T* p, int index)
{
    return Conj ? -p[index + 1] : p[index + 1];
}

// First-kind radix-4 butterfly on the points at p, p + h, p + 2h, p + 3h
// (h in doubles): quarters 0 and 1 get the sum and difference of the even
// halves, quarters 2 and 3 are rotated by w1 and w3.
template <bool Conj, typename T>
inline void radix4_first(T* p, int h, double w1r, double w1i, double w3r, double w3i)
{
    const T b0r = p[0], b0i = read_im<Conj>(p, 0);
    const T b1r = p[h], b1i = read_im<Conj>(p, h);
    const T b2r = p[2 * h], b2i = read_im<Conj>(p, 2 * h);
    const T b3r = p[3 * h], b3i = read_im<Conj>(p, 3 * h);
    const T x0r = b0r + b2r, x0i = b0i + b2i;
    const T x1r = b0r - b2r, x1i = b0i - b2i;
    const T x2r = b1r + b3r, x2i = b1i + b3i;
    const T x3r = b1r - b3r, x3i = b1i - b3i;
    p[0] = x0r + x2r;
    p[1] = x0i + x2i;
    p[h] = x0r - x2r;
    p[h + 1] = x0i - x2i;
    T yr = x1r - x3i;
    T yi = x1i + x3r;
    p[2 * h] = w1r * yr - w1i * yi;
    p[2 * h + 1] = w1r * yi + w1i * yr;
    yr = x1r + x3i;
    yi = x1i - x3r;
    p[3 * h] = w3r * yr - w3i * yi;
    p[3 * h + 1] = w3r * yi + w3i * yr;
}

// The same butterfly with both rotations equal to 1.
template <typename T>
inline void radix4_plain(T* p, int h)
{
    const T x0r = p[0] + p[2 * h], x0i = p[1] + p[2 * h + 1];
    const T x1r = p[0] - p[2 * h], x1i = p[1] - p[2 * h + 1];
    const T x2r = p[h] + p[3 * h], x2i = p[h + 1] + p[3 * h + 1];
    const T x3r = p[h] - p[3 * h], x3i = p[h + 1] - p[3 * h + 1];
    p[0] = x0r + x2r;
    p[1] = x0i + x2i;
    p[h] = x0r - x2r;
    p[h + 1] = x0i - x2i;
    p[2 * h] = x1r - x3i;
    p[2 * h + 1] = x1i + x3r;
    p[3 * h] = x1r + x3i;
    p[3 * h + 1] = x1i - x3r;
}

// Second-kind radix-4 butterfly: with x0 = b0 + i*b2, x1 = b0 - i*b2,
// x2 = b1 + i*b3, x3 = b1 - i*b3 the quarters become a*x0 +- b*x2 and
// c*x1 +- d*x3, where b = a*w8 and d = c*i*w8 are passed already formed.
template <typename T>
inline void radix4_second(T* p, int h, double ar, double ai, double br, double bi,
                          double cr, double ci, double dr, double di)
{
    const T x0r = p[0] - p[2 * h + 1], x0i = p[1] + p[2 * h];
    const T x1r = p[0] + p[2 * h + 1], x1i = p[1] - p[2 * h];
    const T x2r = p[h] - p[3 * h + 1], x2i = p[h + 1] + p[3 * h];
    const T x3r = p[h] + p[3 * h + 1], x3i = p[h + 1] - p[3 * h];
    const T y0r = ar * x0r - ai * x0i, y0i = ar * x0i + ai * x0r;
    const T y2r = br * x2r - bi * x2i, y2i = br * x2i + bi * x2r;
    const T y1r = cr * x1r - ci * x1i, y1i = cr * x1i + ci * x1r;
    const T y3r = dr * x3r - di * x3i, y3i = dr * x3i + di * x3r;
    p[0] = y0r + y2r;
    p[1] = y0i + y2i;
    p[h] = y0r - y2r;
    p[h + 1] = y0i - y2i;
    p[2 * h] = y1r + y3r;
    p[2 * h + 1] = y1i + y3i;
    p[3 * h] = y1r - y3r;
    p[3 * h + 1] = y1i - y3i;
}

// Second-kind butterfly of point 0, whose rotations are 1, w8, 1, i*w8.
template <typename T>
inline void radix4_second_zero(T* p, int h, double cos45)
{
    const T x0r = p[0] - p[2 * h + 1], x0i = p[1] + p[2 * h];
    const T x1r = p[0] + p[2 * h + 1], x1i = p[1] - p[2 * h];
    const T x2r = p[h] - p[3 * h + 1], x2i = p[h + 1] + p[3 * h];
    const T x3r = p[h] + p[3 * h + 1], x3i = p[h + 1] - p[3 * h];
    const T y2r = cos45 * (x2r - x2i), y2i = cos45 * (x2r + x2i);
    const T y3r = -cos45 * (x3r + x3i), y3i = cos45 * (x3r - x3i);
    p[0] = x0r + y2r;
    p[1] = x0i + y2i;
    p[h] = x0r - y2r;
    p[h + 1] = x0i - y2i;
    p[2 * h] = x1r + y3r;
    p[2 * h + 1] = x1i + y3i;
    p[3 * h] = x1r - y3r;
    p[3 * h + 1] = x1i - y3i;
}

// Two-point transforms of the first kind (b0 +- b1) and of the second kind
// (b0 +- i*b1).
template <typename T>
inline void radix2_first(T* p)
{
    const T r = p[0] - p[2], i = p[1] - p[3];
    p[0] += p[2];
    p[1] += p[3];
    p[2] = r;
    p[3] = i;
}

template <typename T>
inline void radix2_second(T* p)
{
    const T r = p[0] + p[3], i = p[1] - p[2];
    p[0] -= p[3];
    p[1] += p[2];
    p[2] = r;
    p[3] = i;
}

// ---- Stages ----------------------------------------------------------------

// First stage over N = n/2 points. Its block (size N/4) stores w_N^q for even
// q only; odd q take the mean of their even neighbours rescaled by the stored
// 0.5/cos(2 pi/N) and 0.5/cos(6 pi/N). Point q is paired with N/4 - q, whose
// twiddles follow from the same values: w^(N/4-q) = i*conj(w^q) and
// w^(3(N/4-q)) = -i*conj(w^3q).
template <bool Conj, typename T>
void first_stage(int n, T* a, const double* w, const stop_poll* poll)
{
    const int quarter = n >> 2;
    const int eighth = n >> 3;
    const double cos45 = w[1];
    const double scale1 = w[2];
    const double scale3 = w[3];
    double prev1r = 1.0, prev1i = 0.0, prev3r = 1.0, prev3i = 0.0;
    radix4_first<Conj>(a, quarter, 1.0, 0.0, 1.0, 0.0);
    for (int j = 4; j < eighth; j += 4) {
        // Every 4096 steps of 16 points.
        if (j % 16384 == 0 && stop_requested(poll))
            return;
        const double e1r = w[j], e1i = w[j + 1];
        const double e3r = w[j + 2], e3i = -w[j + 3];
        const double o1r = (prev1r + e1r) * scale1, o1i = (prev1i + e1i) * scale1;
        const double o3r = (prev3r + e3r) * scale3, o3i = (prev3i + e3i) * scale3;
        radix4_first<Conj>(a + j - 2, quarter, o1r, o1i, o3r, o3i);
        radix4_first<Conj>(a + quarter - j + 2, quarter, o1i, o1r, -o3i, -o3r);
        radix4_first<Conj>(a + j, quarter, e1r, e1i, e3r, e3i);
        radix4_first<Conj>(a + quarter - j, quarter, e1i, e1r, -e3i, -e3r);
        prev1r = e1r;
        prev1i = e1i;
        prev3r = e3r;
        prev3i = e3i;
    }
    const double o1r = (prev1r + cos45) * scale1, o1i = (prev1i + cos45) * scale1;
    const double o3r = (prev3r - cos45) * scale3, o3i = (prev3i + cos45) * scale3;
    radix4_first<Conj>(a + eighth - 2, quarter, o1r, o1i, o3r, o3i);
    radix4_first<Conj>(a + quarter - eighth + 2, quarter, o1i, o1r, -o3i, -o3r);
    radix4_first<Conj>(a + eighth, quarter, cos45, cos45, -cos45, cos45);
}

template <typename T>
void stage_1(int n, T* block, const double* w)
{
    const int quarter = n >> 2;
    const int eighth = n >> 3;
    const double cos45 = w[1];
    radix4_plain(block, quarter);
    for (int q = 1; 2 * q < eighth; ++q) {
        const double w1r = w[4 * q], w1i = w[4 * q + 1];
        const double w3r = w[4 * q + 2], w3i = -w[4 * q + 3];
        radix4_first<false>(block + 2 * q, quarter, w1r, w1i, w3r, w3i);
        radix4_first<false>(block + quarter - 2 * q, quarter, w1i, w1r, -w3i, -w3r);
    }
    radix4_first<false>(block + eighth, quarter, cos45, cos45, -cos45, cos45);
}

template <typename T>
void stage_2(int n, T* block, const double* w)
{
    const int quarter = n >> 2;
    const int eighth = n >> 3;
    const int points = n >> 1;
    radix4_second_zero(block, quarter, w[1]);
    for (int r = 1; 2 * r < eighth; ++r) {
        const double* lo = w + 4 * r;
        const double* hi = w + points - 4 * r;
        radix4_second(block + 2 * r, quarter, lo[0], lo[1], hi[1], hi[0],
                      lo[2], -lo[3], hi[3], -hi[2]);
        radix4_second(block + quarter - 2 * r, quarter, hi[0], hi[1], lo[1], lo[0],
                      hi[2], -hi[3], lo[3], -lo[2]);
    }
    const double c8 = w[points / 2], s8 = w[points / 2 + 1];
    radix4_second(block + eighth, quarter, c8, s8, s8, c8, s8, c8, -c8, -s8);
}

// ---- Kernels ---------------------------------------------------------------

template <typename T>
void kernel_16(T* block, const double* w)
{
    const double cos45 = w[1], c8 = w[2], s8 = w[3];
    radix4_plain(block, 8);
    radix4_first<false>(block + 2, 8, c8, s8, s8, c8);
    radix4_first<false>(block + 4, 8, cos45, cos45, -cos45, cos45);
    radix4_first<false>(block + 6, 8, s8, c8, -c8, -s8);
    radix4_plain(block, 2);
    radix4_second_zero(block + 8, 2, cos45);
    radix4_plain(block + 16, 2);
    radix4_plain(block + 24, 2);
}

template <typename T>
void kernel_16_twiddled(T* block, const double* w)
{
    const double cos45 = w[1];
    const double c1 = w[4], s1 = w[5];
    const double c3 = w[6], s3 = -w[7];
    const double c2 = w[8], s2 = w[9];
    radix4_second_zero(block, 8, cos45);
    radix4_second(block + 2, 8, c1, s1, s3, c3, c3, s3, -c1, s1);
    radix4_second(block + 4, 8, c2, s2, s2, c2, s2, c2, -c2, -s2);
    radix4_second(block + 6, 8, c3, s3, s1, c1, -s1, c1, -s3, -c3);
    radix4_plain(block, 2);
    radix4_second_zero(block + 8, 2, cos45);
    radix4_plain(block + 16, 2);
    radix4_second_zero(block + 24, 2, cos45);
}

template <typename T>
void kernel_8(T* block, const double* w)
{
    const double cos45 = w[1];
    radix4_plain(block, 4);
    radix4_first<false>(block + 2, 4, cos45, cos45, -cos45, cos45);
    radix2_first(block);
    radix2_second(block + 4);
    radix2_first(block + 8);
    radix2_first(block + 12);
}

template <typename T>
void kernel_8_twiddled(T* block, const double* w)
{
    const double c8 = w[2], s8 = w[3];
    radix4_second_zero(block, 4, w[1]);
    radix4_second(block + 2, 4, c8, s8, s8, c8, s8, c8, -c8, -s8);
    radix2_first(block);
    radix2_second(block + 4);
    radix2_first(block + 8);
    radix2_second(block + 12);
}

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

template <typename T>
void small_leaf(int n, T* block, int table_size, const double* ww)
{
    const int step = n >> 2;
    const bool sixteen = n == 128;
    leaf_kernel(sixteen, false, block, table_size, ww);
    leaf_kernel(sixteen, true, block + step, table_size, ww);
    leaf_kernel(sixteen, false, block + 2 * step, table_size, ww);
    leaf_kernel(sixteen, false, block + 3 * step, table_size, ww);
}

template <typename T>
void leaf(int n, int split_flag, T* block, int table_size, const double* ww)
{
    const int quarter = n >> 2;
    const int sub = n >> 4;
    const bool sixteen = n == 512;
    T* q = block;
    stage_1(quarter, q, ww + table_size - quarter / 2);
    leaf_kernel(sixteen, false, q, table_size, ww);
    leaf_kernel(sixteen, true, q + sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 2 * sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 3 * sub, table_size, ww);
    q += quarter;
    stage_2(quarter, q, ww + table_size - quarter);
    leaf_kernel(sixteen, false, q, table_size, ww);
    leaf_kernel(sixteen, true, q + sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 2 * sub, table_size, ww);
    leaf_kernel(sixteen, true, q + 3 * sub, table_size, ww);
    q += quarter;
    stage_1(quarter, q, ww + table_size - quarter / 2);
    leaf_kernel(sixteen, false, q, table_size, ww);
    leaf_kernel(sixteen, true, q + sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 2 * sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 3 * sub, table_size, ww);
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

template <typename T>
void forward(int n, T* a, const int* ip, int table_size, const double* ww, const stop_poll* poll = nullptr)
{
    if (n > 8) {
        if (n > 32) {
            first_stage<true>(n, a, ww + table_size - (n >> 2), poll);
            if (stop_requested(poll))
                return;
            core(n, a, table_size, ww, poll);
            bit_reverse_pass<true>(n, ip, a, poll);
        } else if (n == 32) {
            kernel_16(a, ww + table_size - 8);
            reverse_16_negated(a);
        } else {
            static const int from[8] = {0, 7, 3, 5, 1, 6, 2, 4};
            kernel_8(a, ww);
            gather_points(a, from, 8);
        }
    } else if (n == 8) {
        transform_4(a, -1.0);
    } else if (n == 4) {
        transform_2(a);
    }
}

template <typename T>
void backward(int n, T* a, const int* ip, int table_size, const double* ww, const stop_poll* poll = nullptr)
{
    if (n > 8) {
        if (n > 32) {
            first_stage<false>(n, a, ww + table_size - (n >> 2), poll);
            if (stop_requested(poll))
                return;
            core(n, a, table_size, ww, poll);
            bit_reverse_pass<false>(n, ip, a, poll);
        } else if (n == 32) {
            kernel_16(a, ww + table_size - 8);
            reverse_16(a);
        } else {
            kernel_8(a, ww);
            exchange<false>(a, 2, 8);
            exchange<false>(a, 6, 12);
        }
    } else if (n == 8) {
        transform_4(a, 1.0);
    } else if (n == 4) {
        transform_2(a);
    }
}

}  // namespace split_radix
}  // namespace
