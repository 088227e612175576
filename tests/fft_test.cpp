// The power-of-two FFT against references that do not use it: a direct DFT
// in long double, impulses and pure tones computed in long double, and the
// round trip backward(forward(x)) = N x, each with tables of its own length
// and of longer ones, which must give the same bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "fft/fft_lanes.h"
#include "fft/fft_tables.h"
#include "fft/split_radix.h"
#include "test_support.h"

using namespace velmora::detail;

namespace {

using doubles = std::vector<double>;
using longs = std::vector<long double>;  // interleaved like the FFT arrays

// Tables per size, built once for the whole program.
const fft_tables& tables_for(std::int32_t points)
{
    static std::map<std::int32_t, fft_tables> built;
    fft_tables& t = built[points];
    if (!t.max_points) {
        EXPECT_TRUE(fft_tables_build(&t, points)) << points;
    }
    return t;
}

// Runs one driver with tables built for the line's own length (table_points
// 0) or for a longer one.
doubles run(int sign, doubles x, std::int32_t table_points)
{
    const auto points = static_cast<std::int32_t>(x.size() / 2);
    const fft_tables& t = tables_for(table_points ? table_points : points);
    (sign < 0 ? fft_forward_lanes : fft_backward_lanes)(lane_path::scalar, points, x.data(), t, nullptr);
    return x;
}

// Tables serving n doubles: their own, 2048 points where that is longer than
// needed, and the largest.
std::vector<std::int32_t> table_choices(std::size_t n)
{
    return n <= 4096 ? std::vector<std::int32_t>{0, 2048, fft_max_points}
                     : std::vector<std::int32_t>{0, fft_max_points};
}

// exp(sign * 2 pi i k / N) for k = 0 .. N-1.
longs unit_roots(int points, int sign)
{
    longs r(2 * points);
    for (int k = 0; k < points; ++k) {
        const long double angle = 2 * std::numbers::pi_v<long double> * k / points;
        r[2 * k] = std::cos(angle);
        r[2 * k + 1] = sign * std::sin(angle);
    }
    return r;
}

template <class T>
longs direct_dft(const std::vector<T>& x, int sign)
{
    const int points = static_cast<int>(x.size() / 2);
    const longs root = unit_roots(points, sign);
    longs y(x.size());
    for (int k = 0; k < points; ++k) {
        for (int j = 0, e = 0; j < points; ++j, e = (e + k) % points) {
            y[2 * k] += x[2 * j] * root[2 * e] - x[2 * j + 1] * root[2 * e + 1];
            y[2 * k + 1] += x[2 * j] * root[2 * e + 1] + x[2 * j + 1] * root[2 * e];
        }
    }
    return y;
}

struct {
    double value = 0;
    int points = 0;
} worst;

// One summary line per run of the program, for the record.
class report_worst_error : public ::testing::Environment {
    void TearDown() override { std::printf("largest relative RMS error: %.3g at N = %d\n", worst.value, worst.points); }
};
[[maybe_unused]] const auto* const report = ::testing::AddGlobalTestEnvironment(new report_worst_error);

double relative_rms(const doubles& y, const longs& ref)
{
    long double err = 0, norm = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        err += (y[i] - ref[i]) * (y[i] - ref[i]);
        norm += ref[i] * ref[i];
    }
    const double e = static_cast<double>(std::sqrt(err / norm));
    if (e > worst.value) {
        worst = {e, static_cast<int>(y.size() / 2)};
    }
    return e;
}

class fft_size : public ::testing::TestWithParam<int> {};
using fft_small_size = fft_size;  // sizes the O(N^2) reference can afford

TEST_P(fft_small_size, matches_direct_long_double_dft)
{
    const doubles x = random_doubles(2 * GetParam(), GetParam());
    for (int sign : {-1, 1}) {
        const longs ref = direct_dft(x, sign);
        for (int ts : table_choices(x.size())) {
            EXPECT_LT(relative_rms(run(sign, x, ts), ref), 1e-14) << "sign " << sign << " table " << ts;
        }
    }
}

TEST_P(fft_size, impulses_and_tones_match_long_double_values)
{
    const int points = GetParam();
    for (int sign : {-1, 1}) {
        const longs root = unit_roots(points, sign);
        for (int j : {0, 1, points / 2 + 3, points - 1}) {
            // A 1 at point j goes to root^(jk) at point k; the tone root^(-jk)
            // goes to N at point j.
            doubles impulse(2 * points, 0.0), tone(2 * points);
            longs ref(2 * points), peak(2 * points, 0.0L);
            impulse[2 * (j % points)] = 1.0;
            peak[2 * (j % points)] = points;
            for (int k = 0; k < points; ++k) {
                const int e = static_cast<int>(static_cast<long long>(j) * k % points);
                ref[2 * k] = root[2 * e];
                ref[2 * k + 1] = root[2 * e + 1];
                tone[2 * k] = static_cast<double>(root[2 * e]);
                tone[2 * k + 1] = static_cast<double>(-root[2 * e + 1]);
            }
            for (int ts : table_choices(2 * points)) {
                EXPECT_LT(relative_rms(run(sign, impulse, ts), ref), 1e-14) << "impulse " << j << " table " << ts;
                EXPECT_LT(relative_rms(run(sign, tone, ts), peak), 1e-14) << "tone " << j << " table " << ts;
            }
        }
    }
}

// Equal angles are stored bit-identically in every table size, so a larger
// table also gives bit-identical results.
TEST_P(fft_size, backward_after_forward_gives_n_times_input)
{
    const doubles x = random_doubles(2 * GetParam(), 7 * GetParam());
    longs scaled(x.begin(), x.end());
    for (long double& v : scaled) {
        v *= GetParam();
    }
    const doubles own = run(1, run(-1, x, 0), 0);
    for (int ts : table_choices(x.size())) {
        const doubles y = run(1, run(-1, x, ts), ts);
        EXPECT_LT(relative_rms(y, scaled), 1e-14) << "table " << ts;
        EXPECT_EQ(y, own) << "table " << ts;
    }
}

std::string points_name(const ::testing::TestParamInfo<int>& info)
{
    return std::to_string(info.param) + "_points";
}

INSTANTIATE_TEST_SUITE_P(fft, fft_small_size,
                         ::testing::Values(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096), points_name);
INSTANTIATE_TEST_SUITE_P(fft, fft_size,
                         ::testing::Values(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096,
                                           8192, 16384, 32768, 65536),
                         points_name);

// Sizes that are not a power of two, or beyond the largest, build nothing.
TEST(fft, tables_for_unserved_sizes_are_refused_and_leave_the_record_empty)
{
    for (std::int32_t points : {0, -4, 3, 96, fft_max_points * 2}) {
        fft_tables t;
        EXPECT_FALSE(fft_tables_build(&t, points)) << points;
        EXPECT_EQ(t.max_points, 0);
        EXPECT_EQ(t.ww, nullptr);
    }
}

TEST(fft, worked_examples)
{
    EXPECT_EQ(run(-1, {3.0, -2.0}, 0), (doubles{3.0, -2.0}));
    EXPECT_EQ(run(1, {3.0, -2.0}, 0), (doubles{3.0, -2.0}));
    EXPECT_EQ(run(-1, {1.0, 2.0, 3.0, 5.0}, 0), (doubles{4.0, 7.0, -2.0, -3.0}));
    EXPECT_EQ(run(1, {1.0, 2.0, 3.0, 5.0}, 0), (doubles{4.0, 7.0, -2.0, -3.0}));
    const doubles impulse{0, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(run(-1, impulse, 0), (doubles{1, 0, 0, -1, -1, 0, 0, 1}));
    EXPECT_EQ(run(1, impulse, 0), (doubles{1, 0, 0, 1, -1, 0, 0, -1}));
}

TEST(fft, forward_is_backward_with_points_reversed_for_16_and_32_doubles)
{
    for (int n : {16, 32}) {
        const doubles x = random_doubles(n, n);
        const doubles f = run(-1, x, 0);
        doubles b = run(1, x, 0);
        for (int k = 1, r = n / 2 - 1; k < r; ++k, --r) {
            std::swap(b[2 * k], b[2 * r]);
            std::swap(b[2 * k + 1], b[2 * r + 1]);
        }
        EXPECT_EQ(f, b) << "n " << n;
    }
}

// A stage of either kind followed by the kernels of its quarters, and each
// kernel alone, leave the transform the block owes in bit-reversed order:
// Y[k] = sum b[q] z^q w^(qk) at point rev(k), z^2 = w, z = 1 for the first kind.
TEST(fft, stages_and_kernels_give_the_owed_transform_bit_reversed)
{
    const fft_tables& t = tables_for(65536);
    const double* end = t.ww.get() + t.table_size;  // slices are counted back from here
    const auto kernel = [end](int points, bool second, double* b) {
        if (points == 8) {
            second ? split_radix::kernel_8_twiddled(b, end - 8) : split_radix::kernel_8(b, end - 8);
        } else {
            second ? split_radix::kernel_16_twiddled(b, end - 32) : split_radix::kernel_16(b, end - 8);
        }
    };
    for (int n : {16, 32, 64, 128}) {
        for (bool second : {false, true}) {
            const int points = n / 2;
            doubles b = random_doubles(n, n + second);
            const longs z = unit_roots(2 * points, 1);
            longs rotated(b.begin(), b.end());
            for (int q = 0; second && q < points; ++q) {
                rotated[2 * q] = b[2 * q] * z[2 * q] - b[2 * q + 1] * z[2 * q + 1];
                rotated[2 * q + 1] = b[2 * q] * z[2 * q + 1] + b[2 * q + 1] * z[2 * q];
            }
            const longs owed = direct_dft(rotated, 1);
            longs placed(n);
            for (int k = 0; k < points; ++k) {
                int r = 0;
                for (int bit = 1; bit < points; bit <<= 1) {
                    r = (r << 1) | ((k & bit) != 0);
                }
                placed[2 * r] = owed[2 * k];
                placed[2 * r + 1] = owed[2 * k + 1];
            }
            if (n <= 32) {
                kernel(points, second, b.data());
            } else {
                second ? split_radix::stage_2(n, b.data(), end - n) : split_radix::stage_1(n, b.data(), end - n / 2);
                const bool kinds[4] = {false, true, false, second};
                for (int t = 0; t < 4; ++t) {
                    kernel(points / 4, kinds[t], b.data() + t * n / 4);
                }
            }
            EXPECT_LT(relative_rms(b, placed), 1e-15) << "n " << n << " second kind " << second;
        }
    }
}

TEST(fft, kernel_8_serves_with_any_ww_block)
{
    const fft_tables& t = tables_for(65536);
    const double* ww = t.ww.get();
    const doubles x = random_doubles(16, 5);
    doubles first = x;
    split_radix::kernel_8(first.data(), ww);
    for (int s = 32768 / 4; s >= 2; s /= 2) {
        doubles y = x;
        split_radix::kernel_8(y.data(), ww + 32768 - 2 * s);
        EXPECT_EQ(y, first) << "block of size " << s;
    }
}

// The longest transform the tables serve, 2^22 points, at a few outputs each
// summed directly in long double (O(N) apiece, from a quarter-wave cosine
// table), for both exponents.
TEST(fft, the_longest_transform_matches_direct_sums_at_sampled_outputs)
{
    const std::int32_t points = fft_max_points;
    const doubles x = random_doubles(2 * points, 22);
    const std::int32_t quarter = points / 4;
    longs cosine(quarter + 1);
    for (std::int32_t t = 0; t <= quarter; ++t)
        cosine[t] = std::cos(2 * std::numbers::pi_v<long double> * t / points);
    // cos and sin of 2 pi t / N for t in [0, N).
    const auto cos_at = [&](std::int64_t t) {
        t %= points;
        if (t > points / 2)
            t = points - t;
        return t <= quarter ? cosine[t] : -cosine[points / 2 - t];
    };
    const auto sin_at = [&](std::int64_t t) { return cos_at(t + 3 * std::int64_t{quarter}); };
    for (int sign : {-1, 1}) {
        const doubles y = run(sign, x, 0);
        long double err = 0, norm = 0;
        for (std::int64_t k : {0L, 1L, 3L, 1L << 21, (1L << 22) - 1, 1234567L, 3000017L}) {
            long double re = 0, im = 0;
            for (std::int64_t j = 0; j < points; ++j) {
                const std::int64_t t = j * k % points;
                const long double c = cos_at(t), s = sign * sin_at(t);
                re += x[2 * j] * c - x[2 * j + 1] * s;
                im += x[2 * j] * s + x[2 * j + 1] * c;
            }
            err += (y[2 * k] - re) * (y[2 * k] - re) + (y[2 * k + 1] - im) * (y[2 * k + 1] - im);
            norm += re * re + im * im;
        }
        const double e = static_cast<double>(std::sqrt(err / norm));
        if (e > worst.value) {
            worst = {e, points};
        }
        EXPECT_LT(e, 1e-14) << "sign " << sign;
    }
}

}  // namespace
