// The mixed-radix FFT of lengths 2^a 3^b 5^c, written once for any element
// type.
//
// As in split_radix.h, T is the type of one double of the data: double for
// one line, a vector of W doubles (fft/lane_double.h) for W lines in lane
// layout. Indices and twiddles are plain ints and doubles, the same whatever
// T is, and no operation mixes lanes, so every lane gives the one-line bits
// (split_radix.h says why).
//
// The transform decimates in time, in place. With N = r_0 r_1 ... r_(s-1)
// and n_i = r_i ... r_(s-1) points in a block of level i, a block of level
// i holds, in r_i sub-blocks of M = n_i / r_i points, the transforms of its
// inputs taken every r_i-th; the level's butterflies combine them:
//
//   X[k + M k1] = sum_j (w_(n_i)^(jk) Y_j[k]) w_(r_i)^(j k1),  k < M, k1 < r_i,
//
// reading and writing the points k + jM of the block. For this the inputs
// are first put into digit-reversed order (the plan's permutation: point q
// takes input from[q]), which callers do while they copy the inputs in. Blocks are finished depth first, so each is transformed while
// it is still in the cache; blocks small enough for the first-level cache
// run level by level. The twiddles w_(n_i)^(jk), j = 1 .. r_i - 1, are
// stored per level and per k with the negative exponent; the inverse
// conjugates them as it reads, and k = 0 multiplies by none of them.
//
// Internal linkage and no std:: templates, for the reasons split_radix.h
// gives. Included by the kernels that run the transform
// (mixed_radix_kernel.cpp and the line transforms of dft/).
#pragma once

#include "fft/mixed_radix_entries.h"

namespace {
namespace mixed_radix {

// cos and sin of 2 pi/3, 2 pi/5 and 4 pi/5; sqrt(1/2).
constexpr double sin60 = 0.86602540378443864676;
constexpr double cos72 = 0.30901699437494742410;
constexpr double sin72 = 0.95105651629515357212;
constexpr double cos144 = -0.80901699437494742410;
constexpr double sin144 = 0.58778525229247312917;
constexpr double sqrt_half = 0.70710678118654752440;

// The butterflies must be inlined into their loops, where their values stay
// in registers; as calls they would pass through memory.
#define VELMORA_MIXED_INLINE inline __attribute__((always_inline))

// Blocks of at most this many bytes run level by level.
constexpr int cached_block_bytes = 32 * 1024;

// Reads point j >= 1 of a butterfly, times its twiddle (conjugated for the
// inverse) unless Plain.
template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void load(const T* x, const double* w, T* re, T* im)
{
    if (Plain) {
        *re = x[0];
        *im = x[1];
    } else {
        const double wr = w[0];
        const double wi = Inverse ? -w[1] : w[1];
        *re = x[0] * wr - x[1] * wi;
        *im = x[0] * wi + x[1] * wr;
    }
}

// The butterflies: points at x + j*d (in doubles), replaced by their
// transform; twiddles w[2(j-1)], w[2(j-1)+1] for point j >= 1.

template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly_2(T* x, int d, const double* w)
{
    const T a0r = x[0], a0i = x[1];
    T a1r, a1i;
    load<Inverse, Plain>(x + d, w, &a1r, &a1i);
    x[0] = a0r + a1r;
    x[1] = a0i + a1i;
    x[d] = a0r - a1r;
    x[d + 1] = a0i - a1i;
}

template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly_3(T* x, int d, const double* w)
{
    const double s = Inverse ? sin60 : -sin60;
    const T a0r = x[0], a0i = x[1];
    T a1r, a1i, a2r, a2i;
    load<Inverse, Plain>(x + d, w, &a1r, &a1i);
    load<Inverse, Plain>(x + 2 * d, w + 2, &a2r, &a2i);
    const T tr = a1r + a2r, ti = a1i + a2i;
    const T mr = a0r - 0.5 * tr, mi = a0i - 0.5 * ti;
    const T dr = s * (a1r - a2r), di = s * (a1i - a2i);
    x[0] = a0r + tr;
    x[1] = a0i + ti;
    x[d] = mr - di;
    x[d + 1] = mi + dr;
    x[2 * d] = mr + di;
    x[2 * d + 1] = mi - dr;
}

// Four points as values: (r[k], i[k]) becomes their transform.
template <bool Inverse, typename T>
VELMORA_MIXED_INLINE void dft_4(T* r, T* i)
{
    const T t0r = r[0] + r[2], t0i = i[0] + i[2];
    const T t1r = r[0] - r[2], t1i = i[0] - i[2];
    const T t2r = r[1] + r[3], t2i = i[1] + i[3];
    // t3 = -+ i (a1 - a3): w_4 = -i forward, +i inverse.
    const T t3r = Inverse ? i[3] - i[1] : i[1] - i[3];
    const T t3i = Inverse ? r[1] - r[3] : r[3] - r[1];
    r[0] = t0r + t2r;
    i[0] = t0i + t2i;
    r[1] = t1r + t3r;
    i[1] = t1i + t3i;
    r[2] = t0r - t2r;
    i[2] = t0i - t2i;
    r[3] = t1r - t3r;
    i[3] = t1i - t3i;
}

template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly_4(T* x, int d, const double* w)
{
    T r[4], i[4];
    r[0] = x[0];
    i[0] = x[1];
    for (int j = 1; j < 4; ++j)
        load<Inverse, Plain>(x + j * d, w + 2 * (j - 1), &r[j], &i[j]);
    dft_4<Inverse>(r, i);
    for (int k = 0; k < 4; ++k) {
        x[k * d] = r[k];
        x[k * d + 1] = i[k];
    }
}

template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly_5(T* x, int d, const double* w)
{
    const double s1 = Inverse ? sin72 : -sin72;
    const double s2 = Inverse ? sin144 : -sin144;
    T r[5], i[5];
    r[0] = x[0];
    i[0] = x[1];
    for (int j = 1; j < 5; ++j)
        load<Inverse, Plain>(x + j * d, w + 2 * (j - 1), &r[j], &i[j]);
    const T b1r = r[1] + r[4], b1i = i[1] + i[4];
    const T d1r = r[1] - r[4], d1i = i[1] - i[4];
    const T b2r = r[2] + r[3], b2i = i[2] + i[3];
    const T d2r = r[2] - r[3], d2i = i[2] - i[3];
    // Outputs 1 and 4 are m1 +- i n1, outputs 2 and 3 are m2 +- i n2.
    const T m1r = r[0] + cos72 * b1r + cos144 * b2r, m1i = i[0] + cos72 * b1i + cos144 * b2i;
    const T m2r = r[0] + cos144 * b1r + cos72 * b2r, m2i = i[0] + cos144 * b1i + cos72 * b2i;
    const T n1r = s1 * d1r + s2 * d2r, n1i = s1 * d1i + s2 * d2i;
    const T n2r = s2 * d1r - s1 * d2r, n2i = s2 * d1i - s1 * d2i;
    x[0] = r[0] + b1r + b2r;
    x[1] = i[0] + b1i + b2i;
    x[d] = m1r - n1i;
    x[d + 1] = m1i + n1r;
    x[2 * d] = m2r - n2i;
    x[2 * d + 1] = m2i + n2r;
    x[3 * d] = m2r + n2i;
    x[3 * d + 1] = m2i - n2r;
    x[4 * d] = m1r + n1i;
    x[4 * d + 1] = m1i - n1r;
}

// Eight points as two interleaved fours: X[k] = E[k] + w_8^k O[k] and
// X[k+4] = E[k] - w_8^k O[k].
template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly_8(T* x, int d, const double* w)
{
    T er[4], ei[4], orr[4], oi[4];
    er[0] = x[0];
    ei[0] = x[1];
    for (int j = 1; j < 8; ++j) {
        T* re = j % 2 ? &orr[j / 2] : &er[j / 2];
        T* im = j % 2 ? &oi[j / 2] : &ei[j / 2];
        load<Inverse, Plain>(x + j * d, w + 2 * (j - 1), re, im);
    }
    dft_4<Inverse>(er, ei);
    dft_4<Inverse>(orr, oi);
    // w_8 = c (1 -+ i), w_8^2 = -+ i, w_8^3 = c (-1 -+ i), c = sqrt(1/2).
    const T o1r = Inverse ? sqrt_half * (orr[1] - oi[1]) : sqrt_half * (orr[1] + oi[1]);
    const T o1i = Inverse ? sqrt_half * (oi[1] + orr[1]) : sqrt_half * (oi[1] - orr[1]);
    const T o2r = Inverse ? -oi[2] : oi[2];
    const T o2i = Inverse ? orr[2] : -orr[2];
    const T o3r = Inverse ? -sqrt_half * (orr[3] + oi[3]) : sqrt_half * (oi[3] - orr[3]);
    const T o3i = Inverse ? sqrt_half * (orr[3] - oi[3]) : -sqrt_half * (oi[3] + orr[3]);
    const T zr[4] = {orr[0], o1r, o2r, o3r};
    const T zi[4] = {oi[0], o1i, o2i, o3i};
    for (int k = 0; k < 4; ++k) {
        x[k * d] = er[k] + zr[k];
        x[k * d + 1] = ei[k] + zi[k];
        x[(k + 4) * d] = er[k] - zr[k];
        x[(k + 4) * d + 1] = ei[k] - zi[k];
    }
}

template <int Radix, bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly(T* x, int d, const double* w)
{
    if (Radix == 2)
        butterfly_2<Inverse, Plain>(x, d, w);
    else if (Radix == 3)
        butterfly_3<Inverse, Plain>(x, d, w);
    else if (Radix == 4)
        butterfly_4<Inverse, Plain>(x, d, w);
    else if (Radix == 5)
        butterfly_5<Inverse, Plain>(x, d, w);
    else
        butterfly_8<Inverse, Plain>(x, d, w);
}

// The butterflies of one level on `blocks` neighbouring blocks of
// Radix * M points from a; tw holds Radix - 1 twiddles per k.
template <int Radix, bool Inverse, typename T>
void combine(int blocks, int M, T* a, const double* tw)
{
    for (int b = 0; b < blocks; ++b) {
        T* x = a + 2 * b * Radix * M;
        butterfly<Radix, Inverse, true>(x, 2 * M, tw);
        for (int k = 1; k < M; ++k)
            butterfly<Radix, Inverse, false>(x + 2 * k, 2 * M, tw + 2 * (Radix - 1) * k);
    }
}

template <bool Inverse, typename T>
void combine_level(int radix, int blocks, int M, T* a, const double* tw)
{
    switch (radix) {
    case 2:
        combine<2, Inverse>(blocks, M, a, tw);
        return;
    case 3:
        combine<3, Inverse>(blocks, M, a, tw);
        return;
    case 4:
        combine<4, Inverse>(blocks, M, a, tw);
        return;
    case 5:
        combine<5, Inverse>(blocks, M, a, tw);
        return;
    default:
        combine<8, Inverse>(blocks, M, a, tw);
        return;
    }
}

// Points per block and first twiddle of every level.
struct levels {
    int count;
    const int* radices;
    int points[mixed_radix_max_levels + 1];  // points[count] = 1
    const double* twiddles[mixed_radix_max_levels];
};

inline levels levels_of(const mixed_radix_steps& steps)
{
    levels l;
    l.count = steps.level_count;
    l.radices = steps.radices;
    l.points[l.count] = 1;
    for (int i = l.count - 1; i >= 0; --i)
        l.points[i] = l.points[i + 1] * l.radices[i];
    const double* tw = steps.twiddles;
    for (int i = 0; i < l.count; ++i) {
        l.twiddles[i] = tw;
        tw += 2 * (l.radices[i] - 1) * l.points[i + 1];
    }
    return l;
}

// Transforms the block of level i at a, whose first point is point `first`
// of the line. gather(q, to) writes the line's point q (input from[q]) to
// `to`; each block small enough for the cache gathers its own points just
// before its levels run, so they are still in the cache when they do.
template <bool Inverse, typename T, typename Gather>
void transform_block(const levels& l, int i, T* a, int first, const Gather& gather)
{
    if (2 * static_cast<long>(l.points[i]) * static_cast<long>(sizeof(T)) <= cached_block_bytes) {
        for (int q = 0; q < l.points[i]; ++q)
            gather(first + q, a + 2 * q);
        for (int level = l.count - 1; level >= i; --level)
            combine_level<Inverse>(l.radices[level], l.points[i] / l.points[level], l.points[level + 1], a,
                                   l.twiddles[level]);
        return;
    }
    const int M = l.points[i + 1];
    for (int j = 0; j < l.radices[i]; ++j)
        transform_block<Inverse>(l, i + 1, a + 2 * j * M, first + j * M, gather);
    combine_level<Inverse>(l.radices[i], 1, M, a, l.twiddles[i]);
}

// The transform (sign < 0: negative exponent) into out, whose point q
// gather(q, out + 2q) provides.
template <typename T, typename Gather>
void transform(const mixed_radix_steps& steps, int sign, const Gather& gather, T* out)
{
    const levels l = levels_of(steps);
    if (sign < 0)
        transform_block<false>(l, 0, out, 0, gather);
    else
        transform_block<true>(l, 0, out, 0, gather);
}

// The gather of a plain transform: point q is input from[q] of `in`. The
// reads jump across the line, so each is requested a few points ahead.
template <typename T>
struct from_input {
    const T* in;
    const std::int32_t* from;
    int points;

    void operator()(int q, T* to) const
    {
        constexpr int ahead = 8;
        if (q + ahead < points) {
            // Both halves: a point of eight lanes spans two cache lines.
            __builtin_prefetch(in + 2 * from[q + ahead]);
            __builtin_prefetch(in + 2 * from[q + ahead] + 1);
        }
        const int j = from[q];
        to[0] = in[2 * j];
        to[1] = in[2 * j + 1];
    }
};

template <typename T>
from_input<T> gather_from(const T* in, const mixed_radix_steps& steps)
{
    return from_input<T>{in, steps.from, steps.points};
}

}  // namespace mixed_radix
}  // namespace

#undef VELMORA_MIXED_INLINE
