// The mixed-radix FFT of lengths 2^a 3^b 5^c, written once for any element
// type.
//
// As in split_radix.h, T is the type of one double of the data: double for
// one line, a vector of W doubles (fft/lane_double.h) for W lines in lane
// layout. Indices and twiddles are plain ints and doubles, the same whatever
// T is, and no operation mixes lanes, so every lane gives the one-line bits
// (split_radix.h says why). The butterflies hold their points as
// lane_complex values, twiddled by the one complex multiply
// (fft/lane_complex.h).
//
// The transform decimates in time, in place. With N = r_0 r_1 ... r_(s-1)
// and n_i = r_i ... r_(s-1) points in a block of level i, a block of level
// i holds, in r_i sub-blocks of M = n_i / r_i points, the transforms of its
// inputs taken every r_i-th; the level's butterflies combine them:
//
//   X[k + M k1] = sum_j (w_(n_i)^(jk) Y_j[k]) w_(r_i)^(j k1),  k < M, k1 < r_i,
//
// reading and writing the points k + jM of the block. The inputs therefore
// enter in digit-reversed order (the plan's permutation: point q takes
// input from[q]), gathered as they are read. Blocks are finished depth
// first, so each is transformed while it is still in the cache; a block
// small enough for the first-level cache gathers its own points and runs
// level by level. The twiddles w_(n_i)^(jk), j = 1 .. r_i - 1, are
// stored per level and per k with the negative exponent; the inverse
// conjugates them as it reads, and k = 0 multiplies by none of them.
//
// A transform may be given a stop poll (fft/stop_poll.h), which it asks
// before each block too large for the cache and every few thousand
// butterflies of its levels; on a yes it returns at once, its output
// unspecified.
//
// Internal linkage and no std:: templates, for the reasons split_radix.h
// gives. Included by the kernels that run the transform
// (mixed_radix_kernel.cpp and the line transforms of dft/).
#pragma once

#include "fft/lane_complex.h"
#include "fft/mixed_radix_entries.h"
#include "fft/stop_poll.h"

namespace velmora::detail {

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

// a times w_4 = -i (forward) or +i (inverse).
template <bool Inverse, typename T>
VELMORA_MIXED_INLINE lane_complex<T> quarter_turn(lane_complex<T> a)
{
    return Inverse ? lane_complex<T>{-a.im, a.re} : lane_complex<T>{a.im, -a.re};
}

// Reads point j >= 1 of a butterfly, times its twiddle w (conjugated for
// the inverse) unless Plain.
template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE lane_complex<T> load(const T* x, const double* w)
{
    if (Plain)
        return read_point(x);
    return times(read_point(x), w[0], Inverse ? -w[1] : w[1]);
}

// The butterflies: points at x + j*d (in doubles), replaced by their
// transform; twiddles w[2(j-1)], w[2(j-1)+1] for point j >= 1.

// Reads a butterfly's points into a0, rest...: point 0 as it is, point j
// >= 1 through load with its twiddle.
template <bool Inverse, bool Plain, typename T, typename... Rest>
VELMORA_MIXED_INLINE void read_points(const T* x, int d, const double* w, lane_complex<T>& a0, Rest&... rest)
{
    a0 = read_point(x);
    int j = 0;
    ((++j, rest = load<Inverse, Plain>(x + j * d, w + 2 * (j - 1))), ...);
}

template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly_2(T* x, int d, const double* w)
{
    const lane_complex<T> a0 = read_point(x);
    const lane_complex<T> a1 = load<Inverse, Plain>(x + d, w);
    write_point(x, a0 + a1);
    write_point(x + d, a0 - a1);
}

template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly_3(T* x, int d, const double* w)
{
    const double s = Inverse ? sin60 : -sin60;
    const lane_complex<T> a0 = read_point(x);
    const lane_complex<T> a1 = load<Inverse, Plain>(x + d, w);
    const lane_complex<T> a2 = load<Inverse, Plain>(x + 2 * d, w + 2);
    const lane_complex<T> t = a1 + a2;
    const lane_complex<T> m{a0.re - 0.5 * t.re, a0.im - 0.5 * t.im};
    const lane_complex<T> n{s * (a1.re - a2.re), s * (a1.im - a2.im)};
    write_point(x, a0 + t);
    write_point(x + d, lane_complex<T>{m.re - n.im, m.im + n.re});
    write_point(x + 2 * d, lane_complex<T>{m.re + n.im, m.im - n.re});
}

// Four points as values, replaced by their transform.
template <bool Inverse, typename T>
VELMORA_MIXED_INLINE void dft_4(lane_complex<T>& a0, lane_complex<T>& a1, lane_complex<T>& a2, lane_complex<T>& a3)
{
    const lane_complex<T> t0 = a0 + a2, t1 = a0 - a2, t2 = a1 + a3;
    const lane_complex<T> t3 = quarter_turn<Inverse>(a1 - a3);
    a0 = t0 + t2;
    a1 = t1 + t3;
    a2 = t0 - t2;
    a3 = t1 - t3;
}

template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly_4(T* x, int d, const double* w)
{
    lane_complex<T> a0, a1, a2, a3;
    read_points<Inverse, Plain>(x, d, w, a0, a1, a2, a3);
    dft_4<Inverse>(a0, a1, a2, a3);
    write_point(x, a0);
    write_point(x + d, a1);
    write_point(x + 2 * d, a2);
    write_point(x + 3 * d, a3);
}

template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly_5(T* x, int d, const double* w)
{
    const double s1 = Inverse ? sin72 : -sin72;
    const double s2 = Inverse ? sin144 : -sin144;
    lane_complex<T> a0, a1, a2, a3, a4;
    read_points<Inverse, Plain>(x, d, w, a0, a1, a2, a3, a4);
    const lane_complex<T> b1 = a1 + a4, d1 = a1 - a4, b2 = a2 + a3, d2 = a2 - a3;
    // Outputs 1 and 4 are m1 +- i n1, outputs 2 and 3 are m2 +- i n2.
    const lane_complex<T> m1{a0.re + cos72 * b1.re + cos144 * b2.re, a0.im + cos72 * b1.im + cos144 * b2.im};
    const lane_complex<T> m2{a0.re + cos144 * b1.re + cos72 * b2.re, a0.im + cos144 * b1.im + cos72 * b2.im};
    const lane_complex<T> n1{s1 * d1.re + s2 * d2.re, s1 * d1.im + s2 * d2.im};
    const lane_complex<T> n2{s2 * d1.re - s1 * d2.re, s2 * d1.im - s1 * d2.im};
    write_point(x, a0 + b1 + b2);
    write_point(x + d, lane_complex<T>{m1.re - n1.im, m1.im + n1.re});
    write_point(x + 2 * d, lane_complex<T>{m2.re - n2.im, m2.im + n2.re});
    write_point(x + 3 * d, lane_complex<T>{m2.re + n2.im, m2.im - n2.re});
    write_point(x + 4 * d, lane_complex<T>{m1.re + n1.im, m1.im - n1.re});
}

// Eight points as two interleaved fours: X[k] = E[k] + w_8^k O[k] and
// X[k+4] = E[k] - w_8^k O[k].
template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly_8(T* x, int d, const double* w)
{
    lane_complex<T> e0, o0, e1, o1, e2, o2, e3, o3;
    read_points<Inverse, Plain>(x, d, w, e0, o0, e1, o1, e2, o2, e3, o3);
    dft_4<Inverse>(e0, e1, e2, e3);
    dft_4<Inverse>(o0, o1, o2, o3);
    // w_8 = c (1 -+ i), w_8^2 = -+ i, w_8^3 = c (-1 -+ i), c = sqrt(1/2).
    const lane_complex<T> z1 = Inverse ? lane_complex<T>{sqrt_half * (o1.re - o1.im), sqrt_half * (o1.im + o1.re)}
                                       : lane_complex<T>{sqrt_half * (o1.re + o1.im), sqrt_half * (o1.im - o1.re)};
    const lane_complex<T> z2 = quarter_turn<Inverse>(o2);
    const lane_complex<T> z3 = Inverse ? lane_complex<T>{-sqrt_half * (o3.re + o3.im), sqrt_half * (o3.re - o3.im)}
                                       : lane_complex<T>{sqrt_half * (o3.im - o3.re), -sqrt_half * (o3.im + o3.re)};
    write_point(x, e0 + o0);
    write_point(x + d, e1 + z1);
    write_point(x + 2 * d, e2 + z2);
    write_point(x + 3 * d, e3 + z3);
    write_point(x + 4 * d, e0 - o0);
    write_point(x + 5 * d, e1 - z1);
    write_point(x + 6 * d, e2 - z2);
    write_point(x + 7 * d, e3 - z3);
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
// Radix * M points from a; tw holds Radix - 1 twiddles per k. The poll is
// asked every 4096 butterflies.
template <int Radix, bool Inverse, typename T>
void combine(int blocks, int M, T* a, const double* tw, const stop_poll* poll)
{
    for (int b = 0; b < blocks; ++b) {
        T* x = a + 2 * b * Radix * M;
        butterfly<Radix, Inverse, true>(x, 2 * M, tw);
        for (int k = 1; k < M; ++k) {
            if ((k & 4095) == 0 && stop_requested(poll))
                return;
            butterfly<Radix, Inverse, false>(x + 2 * k, 2 * M, tw + 2 * (Radix - 1) * k);
        }
    }
}

template <bool Inverse, typename T>
void combine_level(int radix, int blocks, int M, T* a, const double* tw, const stop_poll* poll = nullptr)
{
    switch (radix) {
    case 2:
        combine<2, Inverse>(blocks, M, a, tw, poll);
        return;
    case 3:
        combine<3, Inverse>(blocks, M, a, tw, poll);
        return;
    case 4:
        combine<4, Inverse>(blocks, M, a, tw, poll);
        return;
    case 5:
        combine<5, Inverse>(blocks, M, a, tw, poll);
        return;
    default:
        combine<8, Inverse>(blocks, M, a, tw, poll);
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
void transform_block(const levels& l, int i, T* a, int first, const Gather& gather, const stop_poll* poll)
{
    if (2 * static_cast<long>(l.points[i]) * static_cast<long>(sizeof(T)) <= cached_block_bytes) {
        for (int q = 0; q < l.points[i]; ++q)
            gather(first + q, a + 2 * q);
        for (int level = l.count - 1; level >= i; --level)
            combine_level<Inverse>(l.radices[level], l.points[i] / l.points[level], l.points[level + 1], a,
                                   l.twiddles[level]);
        return;
    }
    if (stop_requested(poll))
        return;
    const int M = l.points[i + 1];
    for (int j = 0; j < l.radices[i]; ++j)
        transform_block<Inverse>(l, i + 1, a + 2 * j * M, first + j * M, gather, poll);
    combine_level<Inverse>(l.radices[i], 1, M, a, l.twiddles[i], poll);
}

// The transform (sign < 0: negative exponent) into out, whose point q
// gather(q, out + 2q) provides.
template <typename T, typename Gather>
void transform(const mixed_radix_steps& steps, int sign, const Gather& gather, T* out,
               const stop_poll* poll = nullptr)
{
    const levels l = levels_of(steps);
    if (sign < 0)
        transform_block<false>(l, 0, out, 0, gather, poll);
    else
        transform_block<true>(l, 0, out, 0, gather, poll);
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

}  // namespace velmora::detail
