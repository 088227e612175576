// The split-radix FFT's arithmetic, written once for any element type: its
// butterflies, the stages that run a level of them over a block, and the
// 8- and 16-point kernels at the leaves of its tree. split_radix.h says
// what T is, why every lane gives the one-line bits, and walks the tree.
//
// Twiddles come from the tables of fft_tables.h: a stage over n doubles
// reads the block of the chain that serves n, and every rotation goes
// through the one complex multiply of fft/lane_complex.h.
//
// Internal linkage and no std:: templates (split_radix.h says why).
// Included by split_radix.h only.
#pragma once

#include "fft/lane_complex.h"
#include "fft/stop_poll.h"

namespace velmora::detail {

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
    write_point(p + 2 * h, times(lane_complex<T>{x1r - x3i, x1i + x3r}, w1r, w1i));
    write_point(p + 3 * h, times(lane_complex<T>{x1r + x3i, x1i - x3r}, w3r, w3i));
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
    const lane_complex<T> y0 = times(lane_complex<T>{p[0] - p[2 * h + 1], p[1] + p[2 * h]}, ar, ai);
    const lane_complex<T> y1 = times(lane_complex<T>{p[0] + p[2 * h + 1], p[1] - p[2 * h]}, cr, ci);
    const lane_complex<T> y2 = times(lane_complex<T>{p[h] - p[3 * h + 1], p[h + 1] + p[3 * h]}, br, bi);
    const lane_complex<T> y3 = times(lane_complex<T>{p[h] + p[3 * h + 1], p[h + 1] - p[3 * h]}, dr, di);
    write_point(p, y0 + y2);
    write_point(p + h, y0 - y2);
    write_point(p + 2 * h, y1 + y3);
    write_point(p + 3 * h, y1 - y3);
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

}  // namespace split_radix
}  // namespace

}  // namespace velmora::detail
