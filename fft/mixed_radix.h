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

#include "fft/mixed_radix_entries.h"
#include "fft/stop_poll.h"

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

// One complex value of the data. The butterflies below hold their points
// as such values, never in arrays indexed by loops, so that every value
// stays in a register.
template <typename T>
struct cx {
    T r, i;
};

template <typename T>
VELMORA_MIXED_INLINE cx<T> operator+(cx<T> a, cx<T> b)
{
    return cx<T>{a.r + b.r, a.i + b.i};
}

template <typename T>
VELMORA_MIXED_INLINE cx<T> operator-(cx<T> a, cx<T> b)
{
    return cx<T>{a.r - b.r, a.i - b.i};
}

// a times w_4 = -i (forward) or +i (inverse).
template <bool Inverse, typename T>
VELMORA_MIXED_INLINE cx<T> quarter_turn(cx<T> a)
{
    return Inverse ? cx<T>{-a.i, a.r} : cx<T>{a.i, -a.r};
}

template <typename T>
VELMORA_MIXED_INLINE cx<T> read(const T* x)
{
    return cx<T>{x[0], x[1]};
}

template <typename T>
VELMORA_MIXED_INLINE void write(T* x, cx<T> a)
{
    x[0] = a.r;
    x[1] = a.i;
}

// Reads point j >= 1 of a butterfly, times its twiddle w (conjugated for
// the inverse) unless Plain.
template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE cx<T> load(const T* x, const double* w)
{
    if (Plain)
        return read(x);
    const double wr = w[0];
    const double wi = Inverse ? -w[1] : w[1];
    return cx<T>{x[0] * wr - x[1] * wi, x[0] * wi + x[1] * wr};
}

// The butterflies: points at x + j*d (in doubles), replaced by their
// transform; twiddles w[2(j-1)], w[2(j-1)+1] for point j >= 1.

template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly_2(T* x, int d, const double* w)
{
    const cx<T> a0 = read(x);
    const cx<T> a1 = load<Inverse, Plain>(x + d, w);
    write(x, a0 + a1);
    write(x + d, a0 - a1);
}

template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly_3(T* x, int d, const double* w)
{
    const double s = Inverse ? sin60 : -sin60;
    const cx<T> a0 = read(x);
    const cx<T> a1 = load<Inverse, Plain>(x + d, w);
    const cx<T> a2 = load<Inverse, Plain>(x + 2 * d, w + 2);
    const cx<T> t = a1 + a2;
    const cx<T> m{a0.r - 0.5 * t.r, a0.i - 0.5 * t.i};
    const cx<T> n{s * (a1.r - a2.r), s * (a1.i - a2.i)};
    write(x, a0 + t);
    write(x + d, cx<T>{m.r - n.i, m.i + n.r});
    write(x + 2 * d, cx<T>{m.r + n.i, m.i - n.r});
}

// Four points as values, replaced by their transform.
template <bool Inverse, typename T>
VELMORA_MIXED_INLINE void dft_4(cx<T>& a0, cx<T>& a1, cx<T>& a2, cx<T>& a3)
{
    const cx<T> t0 = a0 + a2, t1 = a0 - a2, t2 = a1 + a3;
    const cx<T> t3 = quarter_turn<Inverse>(a1 - a3);
    a0 = t0 + t2;
    a1 = t1 + t3;
    a2 = t0 - t2;
    a3 = t1 - t3;
}

template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly_4(T* x, int d, const double* w)
{
    cx<T> a0 = read(x);
    cx<T> a1 = load<Inverse, Plain>(x + d, w);
    cx<T> a2 = load<Inverse, Plain>(x + 2 * d, w + 2);
    cx<T> a3 = load<Inverse, Plain>(x + 3 * d, w + 4);
    dft_4<Inverse>(a0, a1, a2, a3);
    write(x, a0);
    write(x + d, a1);
    write(x + 2 * d, a2);
    write(x + 3 * d, a3);
}

template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly_5(T* x, int d, const double* w)
{
    const double s1 = Inverse ? sin72 : -sin72;
    const double s2 = Inverse ? sin144 : -sin144;
    const cx<T> a0 = read(x);
    const cx<T> a1 = load<Inverse, Plain>(x + d, w);
    const cx<T> a2 = load<Inverse, Plain>(x + 2 * d, w + 2);
    const cx<T> a3 = load<Inverse, Plain>(x + 3 * d, w + 4);
    const cx<T> a4 = load<Inverse, Plain>(x + 4 * d, w + 6);
    const cx<T> b1 = a1 + a4, d1 = a1 - a4, b2 = a2 + a3, d2 = a2 - a3;
    // Outputs 1 and 4 are m1 +- i n1, outputs 2 and 3 are m2 +- i n2.
    const cx<T> m1{a0.r + cos72 * b1.r + cos144 * b2.r, a0.i + cos72 * b1.i + cos144 * b2.i};
    const cx<T> m2{a0.r + cos144 * b1.r + cos72 * b2.r, a0.i + cos144 * b1.i + cos72 * b2.i};
    const cx<T> n1{s1 * d1.r + s2 * d2.r, s1 * d1.i + s2 * d2.i};
    const cx<T> n2{s2 * d1.r - s1 * d2.r, s2 * d1.i - s1 * d2.i};
    write(x, a0 + b1 + b2);
    write(x + d, cx<T>{m1.r - n1.i, m1.i + n1.r});
    write(x + 2 * d, cx<T>{m2.r - n2.i, m2.i + n2.r});
    write(x + 3 * d, cx<T>{m2.r + n2.i, m2.i - n2.r});
    write(x + 4 * d, cx<T>{m1.r + n1.i, m1.i - n1.r});
}

// Eight points as two interleaved fours: X[k] = E[k] + w_8^k O[k] and
// X[k+4] = E[k] - w_8^k O[k].
template <bool Inverse, bool Plain, typename T>
VELMORA_MIXED_INLINE void butterfly_8(T* x, int d, const double* w)
{
    cx<T> e0 = read(x);
    cx<T> o0 = load<Inverse, Plain>(x + d, w);
    cx<T> e1 = load<Inverse, Plain>(x + 2 * d, w + 2);
    cx<T> o1 = load<Inverse, Plain>(x + 3 * d, w + 4);
    cx<T> e2 = load<Inverse, Plain>(x + 4 * d, w + 6);
    cx<T> o2 = load<Inverse, Plain>(x + 5 * d, w + 8);
    cx<T> e3 = load<Inverse, Plain>(x + 6 * d, w + 10);
    cx<T> o3 = load<Inverse, Plain>(x + 7 * d, w + 12);
    dft_4<Inverse>(e0, e1, e2, e3);
    dft_4<Inverse>(o0, o1, o2, o3);
    // w_8 = c (1 -+ i), w_8^2 = -+ i, w_8^3 = c (-1 -+ i), c = sqrt(1/2).
    const cx<T> z1 = Inverse ? cx<T>{sqrt_half * (o1.r - o1.i), sqrt_half * (o1.i + o1.r)}
                             : cx<T>{sqrt_half * (o1.r + o1.i), sqrt_half * (o1.i - o1.r)};
    const cx<T> z2 = quarter_turn<Inverse>(o2);
    const cx<T> z3 = Inverse ? cx<T>{-sqrt_half * (o3.r + o3.i), sqrt_half * (o3.r - o3.i)}
                             : cx<T>{sqrt_half * (o3.i - o3.r), -sqrt_half * (o3.i + o3.r)};
    write(x, e0 + o0);
    write(x + d, e1 + z1);
    write(x + 2 * d, e2 + z2);
    write(x + 3 * d, e3 + z3);
    write(x + 4 * d, e0 - o0);
    write(x + 5 * d, e1 - z1);
    write(x + 6 * d, e2 - z2);
    write(x + 7 * d, e3 - z3);
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
