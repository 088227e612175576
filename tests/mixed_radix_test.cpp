// The mixed-radix FFT against direct DFTs summed in long double: in full at
// every length 2^a 3^b 5^c up to 2000, at sampled outputs for long lines;
// and every vector path against the one-line bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "fft/mixed_radix_plan.h"
#include "test_support.h"

using namespace velmora::detail;

namespace {

using doubles = std::vector<double>;

// One transform of one line on the scalar path.
doubles transform(const mixed_radix_plan& plan, int sign, const doubles& x)
{
    doubles y(x.size());
    (sign < 0 ? mixed_radix_forward : mixed_radix_backward)(plan, lane_path::scalar, x.data(), y.data());
    return y;
}

// Relative RMS error of y at the outputs `ks` against sum_j x[j] w^(jk),
// w = exp(sign 2 pi i / N), from a long double table of w^t, t <= N/2.
double sampled_error(const doubles& x, const doubles& y, int sign, const std::vector<std::int64_t>& ks)
{
    const std::int64_t N = static_cast<std::int64_t>(x.size() / 2);
    std::vector<long double> c(N / 2 + 1), s(N / 2 + 1);
    for (std::int64_t t = 0; t <= N / 2; ++t) {
        const long double angle = 2 * std::numbers::pi_v<long double> * t / N;
        c[t] = std::cos(angle);
        s[t] = sign * std::sin(angle);
    }
    long double err = 0, norm = 0;
    for (std::int64_t k : ks) {
        long double re = 0, im = 0;
        for (std::int64_t j = 0, t = 0; j < N; ++j, t = t + k < N ? t + k : t + k - N) {
            const long double wr = c[t <= N / 2 ? t : N - t], wi = t <= N / 2 ? s[t] : -s[N - t];
            re += x[2 * j] * wr - x[2 * j + 1] * wi;
            im += x[2 * j] * wi + x[2 * j + 1] * wr;
        }
        err += (y[2 * k] - re) * (y[2 * k] - re) + (y[2 * k + 1] - im) * (y[2 * k + 1] - im);
        norm += re * re + im * im;
    }
    return static_cast<double>(std::sqrt(err / norm));
}

bool smooth(std::int32_t n)
{
    for (int p : {2, 3, 5})
        while (n % p == 0)
            n /= p;
    return n == 1;
}

TEST(mixed_radix, every_length_up_to_2000_matches_the_direct_dft)
{
    double worst = 0;
    int lengths = 0;
    for (std::int32_t N = 1; N <= 2000; ++N) {
        int radices[mixed_radix_max_levels];
        ASSERT_EQ(mixed_radix_levels(N, radices) >= 0, smooth(N)) << N;
        if (!smooth(N))
            continue;
        ++lengths;
        mixed_radix_plan plan;
        ASSERT_TRUE(mixed_radix_plan_build(&plan, N));
        const doubles x = random_doubles(2 * N, static_cast<unsigned>(N));
        std::vector<std::int64_t> every(N);
        for (std::int32_t k = 0; k < N; ++k)
            every[k] = k;
        for (int sign : {-1, 1}) {
            const double e = sampled_error(x, transform(plan, sign, x), sign, every);
            worst = std::max(worst, e);
            EXPECT_LT(e, 1e-14) << "N " << N << " sign " << sign;
        }
    }
    std::printf("%d lengths, largest relative RMS error %.3g\n", lengths, worst);
}

TEST(mixed_radix, long_lines_match_the_direct_dft_at_sampled_outputs)
{
    for (std::int32_t N : {3072, 4608, 6144, 12288, 15625, 59049, 78125, 3 << 20}) {
        mixed_radix_plan plan;
        ASSERT_TRUE(mixed_radix_plan_build(&plan, N));
        const doubles x = random_doubles(2 * N, static_cast<unsigned>(N));
        std::mt19937 gen(static_cast<unsigned>(N));
        std::vector<std::int64_t> ks = {0, 1, N / 2, N - 1};
        while (ks.size() < (N < 100000 ? 40u : 6u))
            ks.push_back(std::uniform_int_distribution<std::int64_t>(0, N - 1)(gen));
        for (int sign : {-1, 1})
            EXPECT_LT(sampled_error(x, transform(plan, sign, x), sign, ks), 1e-14) << "N " << N << " sign " << sign;
    }
}

TEST(mixed_radix, every_lane_path_gives_the_one_line_bits)
{
    for (lane_path path : {lane_path::sse2, lane_path::avx2, lane_path::avx512}) {
        if (!lane_path_supported(path))
            continue;
        const int W = lane_width(path);
        for (std::int32_t N : {1, 2, 3, 4, 5, 6, 8, 15, 60, 1000, 3072, 6075}) {
            mixed_radix_plan plan;
            ASSERT_TRUE(mixed_radix_plan_build(&plan, N));
            const std::size_t doubles_per_line = 2 * static_cast<std::size_t>(N);
            // aligned_alloc takes whole alignment units.
            const std::size_t bytes =
                (mixed_radix_line_doubles(plan, path) * sizeof(double) + lane_alignment - 1) / lane_alignment *
                lane_alignment;
            auto* batch = static_cast<double*>(std::aligned_alloc(lane_alignment, bytes));
            auto* out = static_cast<double*>(std::aligned_alloc(lane_alignment, bytes));
            for (int sign : {-1, 1}) {
                std::vector<doubles> lines;
                for (int j = 0; j < W; ++j) {
                    lines.push_back(random_doubles(2 * N, static_cast<unsigned>(N * 8 + j)));
                    for (std::size_t i = 0; i < doubles_per_line; ++i)
                        batch[i * W + j] = lines[j][i];
                }
                (sign < 0 ? mixed_radix_forward : mixed_radix_backward)(plan, path, batch, out);
                for (int j = 0; j < W; ++j) {
                    const doubles want = transform(plan, sign, lines[j]);
                    for (std::size_t i = 0; i < doubles_per_line; ++i)
                        ASSERT_EQ(std::memcmp(&out[i * W + j], &want[i], sizeof(double)), 0)
                            << "N " << N << " lanes " << W << " lane " << j << " double " << i;
                }
            }
            std::free(batch);
            std::free(out);
        }
    }
}

TEST(mixed_radix, other_lengths_are_refused)
{
    for (std::int32_t N : {0, -6, 7, 14, 2 * 3 * 5 * 7, 11 * 1024, mixed_radix_max_points * 3}) {
        mixed_radix_plan plan;
        EXPECT_FALSE(mixed_radix_plan_build(&plan, N)) << N;
        EXPECT_EQ(plan.points, 0);
        EXPECT_EQ(plan.twiddles, nullptr);
    }
}

}  // namespace
