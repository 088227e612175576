// Chirp-z plans and transforms against a direct DFT in long double.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <complex>
#include <cstdlib>
#include <numbers>
#include <random>
#include <vector>

#include "dft/chirp_execute.h"
#include "dft/chirp_plan.h"

namespace {

using cld = std::complex<long double>;

std::vector<int> ip(32768);
std::vector<double> ww(32768);

struct line {
    std::vector<double> re, im;
};

line random_line(int n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-100.0, 100.0);
    line x{std::vector<double>(n), std::vector<double>(n)};
    for (int k = 0; k < n; ++k) {
        x.re[k] = dist(gen);
        x.im[k] = dist(gen);
    }
    return x;
}

// The system's conventions: forward scaled by 1/n with exp(-...), inverse
// unscaled with exp(+...). Angles reduced exactly through jk mod n.
std::vector<cld> direct_dft(const line& x, bool inverse)
{
    const int n = static_cast<int>(x.re.size());
    std::vector<long double> cos_t(n), sin_t(n);
    for (int t = 0; t < n; ++t) {
        const long double angle = 2 * std::numbers::pi_v<long double> * t / n;
        cos_t[t] = std::cos(angle);
        sin_t[t] = inverse ? std::sin(angle) : -std::sin(angle);
    }
    std::vector<cld> X(n);
    for (int k = 0; k < n; ++k) {
        // Products written out: std::complex multiplication checks for
        // infinities on every term and would dominate the run time.
        long double sum_re = 0, sum_im = 0;
        int t = 0;  // j * k mod n, advanced without forming the product
        for (int j = 0; j < n; ++j) {
            sum_re += x.re[j] * cos_t[t] - x.im[j] * sin_t[t];
            sum_im += x.re[j] * sin_t[t] + x.im[j] * cos_t[t];
            t += k;
            if (t >= n)
                t -= n;
        }
        X[k] = inverse ? cld(sum_re, sum_im) : cld(sum_re, sum_im) / static_cast<long double>(n);
    }
    return X;
}

long double relative_rms(const line& got, const std::vector<cld>& want, int count)
{
    long double error = 0, norm = 0;
    for (int k = 0; k < count; ++k) {
        error += std::norm(cld(got.re[k], got.im[k]) - want[k]);
        norm += std::norm(want[k]);
    }
    return std::sqrt(error / norm);
}

line transformed(line x, int direction, int m = 0)
{
    const int n = static_cast<int>(x.re.size());
    chirp_plan plan;
    EXPECT_EQ(chirp_plan_init(&plan, n, m ? m : n, ip.data(), ww.data()), chirp_ok);
    EXPECT_EQ(chirp_execute(&plan, direction, x.re.data(), x.im.data(), ip.data(), ww.data()), chirp_ok);
    chirp_plan_release(&plan);
    return x;
}

// Both directions of length n against the direct DFT; returns the larger
// relative RMS error.
long double expect_matches_direct(int n)
{
    const line x = random_line(n, static_cast<unsigned>(n));
    long double largest = 0;
    for (int direction : {0, 1}) {
        ip[0] = 0;
        const long double error = relative_rms(transformed(x, direction), direct_dft(x, direction != 0), n);
        EXPECT_LT(error, 1e-12) << "n " << n << " direction " << direction;
        largest = std::max(largest, error);
    }
    return largest;
}

void report_largest(const char* what, const std::vector<int>& lengths)
{
    long double largest = 0;
    int at = 0;
    for (int n : lengths) {
        const long double error = expect_matches_direct(n);
        if (error > largest) {
            largest = error;
            at = n;
        }
    }
    std::printf("%s: largest relative RMS error %.2Le at n = %d\n", what, largest, at);
}

TEST(chirp, every_length_up_to_1100_matches_a_direct_dft)
{
    std::vector<int> lengths;
    for (int n = 2; n <= 1100; ++n)
        lengths.push_back(n);
    report_largest("lengths 2 to 1100", lengths);
}

TEST(chirp, long_lengths_match_a_direct_dft)
{
    report_largest("long lengths", {1999, 4093, 4095, 4096, 4097, 8191, 8192});
}

TEST(chirp, worked_examples)
{
    // n = 2: the sum and difference, halved forward.
    line two{{3.0, 1.0}, {0.0, 2.0}};
    const line f = transformed(two, 0);
    EXPECT_NEAR(f.re[0], 2.0, 1e-15);
    EXPECT_NEAR(f.im[0], 1.0, 1e-15);
    EXPECT_NEAR(f.re[1], 1.0, 1e-15);
    EXPECT_NEAR(f.im[1], -1.0, 1e-15);
    const line i = transformed(two, 1);
    EXPECT_NEAR(i.re[0], 4.0, 1e-14);
    EXPECT_NEAR(i.re[1], 2.0, 1e-14);
    EXPECT_NEAR(i.im[1], -2.0, 1e-14);
    // n = 3 impulse: 1/3 everywhere forward, 1 everywhere inverse.
    line impulse{{1, 0, 0}, {0, 0, 0}};
    for (int direction : {0, 1, 2}) {
        const line r = transformed(impulse, direction);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(r.re[k], direction ? 1.0 : 1.0 / 3, 1e-15);
            EXPECT_NEAR(r.im[k], 0.0, 1e-15);
        }
    }
}

TEST(chirp, a_pure_tone_lands_in_one_bin)
{
    const int n = 12, q = 5;
    line tone{std::vector<double>(n), std::vector<double>(n)};
    for (int j = 0; j < n; ++j) {
        tone.re[j] = std::cos(2 * std::numbers::pi * j * q / n);
        tone.im[j] = -std::sin(2 * std::numbers::pi * j * q / n);
    }
    const line X = transformed(tone, 0);
    for (int k = 0; k < n; ++k) {
        EXPECT_NEAR(X.re[k], k == n - q ? 1.0 : 0.0, 1e-14) << k;
        EXPECT_NEAR(X.im[k], 0.0, 1e-14) << k;
    }
}

TEST(chirp, inverse_after_forward_gives_the_input_back)
{
    for (int n : {6, 7, 12, 64, 1000}) {
        const line x = random_line(n, 7);
        const line back = transformed(transformed(x, 0), 1);
        for (int k = 0; k < n; ++k) {
            EXPECT_NEAR(back.re[k], x.re[k], 1e-11) << n;
            EXPECT_NEAR(back.im[k], x.im[k], 1e-11) << n;
        }
    }
}

TEST(chirp, two_executions_of_one_plan_are_identical)
{
    const line x = random_line(300, 3);
    chirp_plan plan;
    ASSERT_EQ(chirp_plan_init(&plan, 300, 300, ip.data(), ww.data()), chirp_ok);
    line first = x, second = x;
    chirp_execute(&plan, 1, first.re.data(), first.im.data(), ip.data(), ww.data());
    chirp_execute(&plan, 1, second.re.data(), second.im.data(), ip.data(), ww.data());
    EXPECT_EQ(first.re, second.re);
    EXPECT_EQ(first.im, second.im);
    chirp_plan_release(&plan);
}

TEST(chirp, plans_shorter_than_two_are_refused_untouched)
{
    for (int n : {1, 0, -4}) {
        chirp_plan plan{};
        plan.n = 77;
        EXPECT_EQ(chirp_plan_init(&plan, n, n, ip.data(), ww.data()), chirp_too_short);
        EXPECT_EQ(plan.n, 77);
        EXPECT_EQ(plan.chirp_re, nullptr);
    }
}

TEST(chirp, convolution_length_and_output_count)
{
    const struct {
        int n, m, N, plan_m;
    } cases[] = {{2, 2, 4, 2}, {3, 3, 8, 3}, {4, 4, 8, 4}, {5, 5, 16, 5}, {5, 0, 16, 5}, {5, 1, 16, 5},
                 {5, 6, 16, 5}, {64, 64, 128, 64}, {1024, 1024, 2048, 1024}, {8192, 8192, 16384, 8192},
                 {10, 4, 16, 4}, {10, 7, 32, 7}};
    for (const auto& c : cases) {
        chirp_plan plan;
        ASSERT_EQ(chirp_plan_init(&plan, c.n, c.m, ip.data(), ww.data()), chirp_ok);
        EXPECT_EQ(plan.fft_size, c.N) << c.n << " " << c.m;
        EXPECT_EQ(plan.m, c.plan_m) << c.n << " " << c.m;
        chirp_plan_release(&plan);
        EXPECT_EQ(plan.chirp_re, nullptr);
        EXPECT_EQ(plan.fft_size, 0);
        chirp_plan_release(&plan);  // a second release does nothing more
    }
}

TEST(chirp, kernels_of_lengths_2_and_3)
{
    // n = 2: time-domain kernel N, N conj(w1), 0, N conj(w1) with w1 = -i.
    double chirp[4], kernel[8];
    chirp_build(2, 2, 4, chirp, chirp + 2, kernel, kernel + 4);
    EXPECT_EQ(chirp[0], 1.0);
    EXPECT_EQ(chirp[2], -0.0);
    EXPECT_NEAR(chirp[1], 0.0, 1e-16);
    EXPECT_EQ(chirp[3], -1.0);
    const double want_re[] = {4, 0, 0, 0}, want_im[] = {0, 4, 0, 4};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(kernel[k], want_re[k], 1e-15) << k;
        EXPECT_NEAR(kernel[4 + k], want_im[k], 1e-15) << k;
    }
    // Its spectrum: about 1 + 2i, 1, 1 - 2i, 1.
    chirp_plan plan;
    ASSERT_EQ(chirp_plan_init(&plan, 2, 2, ip.data(), ww.data()), chirp_ok);
    const double spectrum_re[] = {1, 1, 1, 1}, spectrum_im[] = {2, 0, -2, 0};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(plan.kernel_re[k], spectrum_re[k], 1e-15);
        EXPECT_NEAR(plan.kernel_im[k], spectrum_im[k], 1e-15);
    }
    chirp_plan_release(&plan);
    // n = 3: entries 3, 4, 5 are zero; K[0] = 1, K[4] = -1 - 2 sqrt(3) i.
    ASSERT_EQ(chirp_plan_init(&plan, 3, 3, ip.data(), ww.data()), chirp_ok);
    EXPECT_NEAR(plan.kernel_re[0], 1.0, 1e-14);
    EXPECT_NEAR(plan.kernel_im[0], 0.0, 1e-14);
    EXPECT_NEAR(plan.kernel_re[4], -1.0, 1e-14);
    EXPECT_NEAR(plan.kernel_im[4], -2 * std::sqrt(3.0), 1e-14);
    for (int k = 1; k < 8; ++k) {  // symmetric spectrum of a symmetric kernel
        EXPECT_NEAR(plan.kernel_re[k], plan.kernel_re[8 - k], 1e-14);
        EXPECT_NEAR(plan.kernel_im[k], plan.kernel_im[8 - k], 1e-14);
    }
    chirp_plan_release(&plan);
    double chirp3[6], kernel3[16];
    chirp_build(3, 3, 8, chirp3, chirp3 + 3, kernel3, kernel3 + 8);
    for (int k = 3; k <= 5; ++k) {
        EXPECT_EQ(kernel3[k], 0.0);
        EXPECT_EQ(kernel3[8 + k], 0.0);
    }
}

TEST(chirp, chirp_angles_stay_exact_for_large_indices)
{
    // k^2 for k near 8191 exceeds what the angle product could carry exactly
    // if it were formed directly; the reduced angle must match long double.
    const int n = 8191;
    std::vector<double> chirp(2 * n), kernel(4 * 16384);
    chirp_build(n, n, 16384, chirp.data(), chirp.data() + n, kernel.data(), kernel.data() + 16384);
    for (int k : {0, 1, 4000, 8000, 8190}) {
        const long double angle = std::numbers::pi_v<long double> * ((static_cast<long long>(k) * k) % (2 * n)) / n;
        EXPECT_NEAR(chirp[k], std::cos(angle), 1e-12) << k;
        EXPECT_NEAR(chirp[n + k], -std::sin(angle), 1e-12) << k;
    }
}

TEST(chirp, tables_are_rebuilt_only_when_too_small)
{
    chirp_plan plan;
    ip[0] = 0;
    ASSERT_EQ(chirp_plan_init(&plan, 100, 100, ip.data(), ww.data()), chirp_ok);
    EXPECT_EQ(ip[0], 128);  // N = 256 points: table_size N/2
    chirp_plan_release(&plan);
    ASSERT_EQ(chirp_plan_init(&plan, 20, 20, ip.data(), ww.data()), chirp_ok);
    EXPECT_EQ(ip[0], 128);  // large enough: kept and used
    line x = random_line(20, 9);
    const line want = x;
    chirp_execute(&plan, 0, x.re.data(), x.im.data(), ip.data(), ww.data());
    EXPECT_LT(relative_rms(x, direct_dft(want, false), 20), 1e-12);
    chirp_plan_release(&plan);
}

TEST(chirp, fewer_outputs_than_inputs)
{
    for (int m : {2, 3, 7}) {
        const line x = random_line(10, 11);
        for (int direction : {0, 1}) {
            const line r = transformed(x, direction, m);
            EXPECT_LT(relative_rms(r, direct_dft(x, direction != 0), m), 1e-12) << m << " " << direction;
            for (int k = m; k < 10; ++k)
                EXPECT_EQ(r.re[k], x.re[k]) << "entries from m on are not written";
        }
    }
}

#ifndef VELMORA_SANITIZED
// With the address space capped, a plan whose temporary needs 4 GiB.
[[noreturn]] void execute_without_memory()
{
    rlimit bound{1L << 30, 1L << 30};
    setrlimit(RLIMIT_AS, &bound);
    chirp_plan plan{};
    plan.n = 4;
    plan.m = 4;
    plan.fft_size = 1 << 28;
    double re[4] = {}, im[4] = {};
    std::exit(chirp_execute(&plan, 0, re, im, ip.data(), ww.data()));
}

TEST(chirp, execution_reports_a_temporary_it_cannot_get)
{
    EXPECT_EXIT(execute_without_memory(), testing::ExitedWithCode(chirp_no_memory), "");
}
#endif

}  // namespace
