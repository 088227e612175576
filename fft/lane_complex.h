// The one complex value of the transforms' data and the one complex
// multiply, for both FFTs (split_radix.h, mixed_radix.h) and the line
// kernels of dft/ that run on them.
//
// T is one double of the data: double for one line, or a vector of W
// doubles (fft/lane_double.h) for W lines in lane layout; a factor (a
// twiddle, a chirp, a phase ramp) is a pair of plain doubles applied to
// every lane alike. A product is spelled out as four products, one
// subtract and one add, in one order for every T and every kernel, so
// that each lane rounds as the one-line code does (the build forbids
// fused multiply-add as well).
//
// Internal linkage and no std:: templates, for the reasons split_radix.h
// gives. The operations must be inlined into the butterflies' loops, where
// their values stay in registers; as calls they would pass through memory.
#pragma once

#define VELMORA_COMPLEX_INLINE inline __attribute__((always_inline))

namespace velmora::detail {

namespace {

// One complex value held as two values, never in an array indexed by a
// loop, so that it stays in registers.
template <typename T>
struct lane_complex {
    T re, im;
};

template <typename T>
VELMORA_COMPLEX_INLINE lane_complex<T> operator+(lane_complex<T> a, lane_complex<T> b)
{
    return lane_complex<T>{a.re + b.re, a.im + b.im};
}

template <typename T>
VELMORA_COMPLEX_INLINE lane_complex<T> operator-(lane_complex<T> a, lane_complex<T> b)
{
    return lane_complex<T>{a.re - b.re, a.im - b.im};
}

// a (w_re + i w_im).
template <typename T>
VELMORA_COMPLEX_INLINE lane_complex<T> times(lane_complex<T> a, double w_re, double w_im)
{
    return lane_complex<T>{a.re * w_re - a.im * w_im, a.re * w_im + a.im * w_re};
}

// The point at x (x[0] its real part, x[1] its imaginary part).
template <typename T>
VELMORA_COMPLEX_INLINE lane_complex<T> read_point(const T* x)
{
    return lane_complex<T>{x[0], x[1]};
}

template <typename T>
VELMORA_COMPLEX_INLINE void write_point(T* x, lane_complex<T> a)
{
    x[0] = a.re;
    x[1] = a.im;
}

}  // namespace

}  // namespace velmora::detail

#undef VELMORA_COMPLEX_INLINE
