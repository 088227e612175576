#include "codecs/png_filters.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The predictor of byte i takes a = raw[i - bpp], b = prev[i] and
// c = prev[i - bpp], 0 left of the row.
template <typename Predict>
void filter_with(const std::uint8_t* raw, const std::uint8_t* prev, std::size_t n, std::size_t bpp,
                 std::uint8_t* to, Predict predict)
{
    const std::size_t left = std::min(bpp, n);
    for (std::size_t i = 0; i < left; ++i)
        to[i] = static_cast<std::uint8_t>(raw[i] - predict(0, prev[i], 0));
    for (std::size_t i = left; i < n; ++i)
        to[i] = static_cast<std::uint8_t>(raw[i] - predict(raw[i - bpp], prev[i], prev[i - bpp]));
}

// The neighbour nearest to a + b - c; ties go to a, then b.
inline int paeth(int a, int b, int c)
{
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    const int ab = pb < pa ? b : a;
    return pc < std::min(pa, pb) ? c : ab;
}

// Paeth, the default filter, eight bytes at a time in 16-bit lanes (SSE2 is
// part of every x86-64); the same choices as paeth(), so the same bytes.
void filter_paeth(const std::uint8_t* raw, const std::uint8_t* prev, std::size_t n, std::size_t bpp,
                  std::uint8_t* to)
{
    const auto predict = [](int a, int b, int c) { return paeth(a, b, c); };
#if defined(__SSE2__)
    if (n >= bpp + 8) {
        filter_with(raw, prev, bpp, bpp, to, predict);
        const __m128i zero = _mm_setzero_si128();
        const __m128i low_byte = _mm_set1_epi16(0xFF);
        const auto widen = [&](const std::uint8_t* at) {
            return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)), zero);
        };
        const auto magnitude = [&](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
        std::size_t i = bpp;
        for (; i + 8 <= n; i += 8) {
            const __m128i a = widen(raw + i - bpp), b = widen(prev + i), c = widen(prev + i - bpp);
            const __m128i pa = magnitude(_mm_sub_epi16(b, c));
            const __m128i pb = magnitude(_mm_sub_epi16(a, c));
            const __m128i pc = magnitude(_mm_sub_epi16(_mm_add_epi16(a, b), _mm_add_epi16(c, c)));
            const __m128i take_b = _mm_cmplt_epi16(pb, pa);
            const __m128i ab = _mm_or_si128(_mm_and_si128(take_b, b), _mm_andnot_si128(take_b, a));
            const __m128i take_c = _mm_cmplt_epi16(pc, _mm_min_epi16(pa, pb));
            const __m128i p = _mm_or_si128(_mm_and_si128(take_c, c), _mm_andnot_si128(take_c, ab));
            const __m128i d = _mm_and_si128(_mm_sub_epi16(widen(raw + i), p), low_byte);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(to + i), _mm_packus_epi16(d, zero));
        }
        for (; i < n; ++i)
            to[i] = static_cast<std::uint8_t>(raw[i] - paeth(raw[i - bpp], prev[i], prev[i - bpp]));
        return;
    }
#endif
    filter_with(raw, prev, n, bpp, to, predict);
}

void filter_row(int type, const std::uint8_t* raw, const std::uint8_t* prev, std::size_t n, std::size_t bpp,
                std::uint8_t* out)
{
    out[0] = static_cast<std::uint8_t>(type);
    std::uint8_t* to = out + 1;
    switch (type) {
    case 1:
        filter_with(raw, prev, n, bpp, to, [](int a, int, int) { return a; });
        break;
    case 2:
        filter_with(raw, prev, n, bpp, to, [](int, int b, int) { return b; });
        break;
    case 3:
        filter_with(raw, prev, n, bpp, to, [](int a, int b, int) { return (a + b) >> 1; });
        break;
    case 4:
        filter_paeth(raw, prev, n, bpp, to);
        break;
    default:
        std::memcpy(to, raw, n);
    }
}

// The usual heuristic for choosing a filter: the smallest sum of the
// filtered bytes taken as signed.
std::uint64_t signed_sum(const std::uint8_t* row, std::size_t n)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += static_cast<std::uint64_t>(std::abs(static_cast<int>(static_cast<std::int8_t>(row[i]))));
    return sum;
}

}  // namespace

void filter_chosen(png_row_filter filter, const std::uint8_t* raw, const std::uint8_t* prev, std::size_t n,
                   std::size_t bpp, std::uint8_t* out, std::uint8_t* trial)
{
    if (filter != png_row_filter::adaptive) {
        filter_row(static_cast<int>(filter), raw, prev, n, bpp, out);
        return;
    }
    filter_row(0, raw, prev, n, bpp, out);
    std::uint64_t best = signed_sum(out + 1, n);
    for (int type = 1; type <= 4; ++type) {
        filter_row(type, raw, prev, n, bpp, trial);
        const std::uint64_t sum = signed_sum(trial + 1, n);
        if (sum < best) {
            best = sum;
            std::memcpy(out, trial, n + 1);
        }
    }
}
