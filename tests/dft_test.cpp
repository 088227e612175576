// Chirp-z plans with input and output windows against a direct DFT in long
// double that shares nothing with the code under test.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "dft/chirp_plan.h"
#include "dft/line_plan.h"
#include "fft/fft_tables.h"
#include "resize/spectral_passes.h"

using namespace velmora::detail;

namespace {

using cld = std::complex<long double>;
constexpr dft_direction forward = dft_direction::forward, inverse = dft_direction::inverse;

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

// exp(i pi num / den) with the numerator reduced exactly first.
cld phase(long long num, long long den)
{
    long long r = num % (2 * den);
    if (r < 0)
        r += 2 * den;
    const long double angle = std::numbers::pi_v<long double> * r / den;
    return cld(std::cos(angle), std::sin(angle));
}

// What a plan promises, term by term. Products are written out: std::complex
// multiplication checks for infinities on every term and would dominate.
std::vector<cld> direct(const dft_window& s, const line& x)
{
    const long long P = s.length;
    const long double sign = s.direction == forward ? -1 : 1;
    std::vector<long double> cos_t(P), sin_t(P);
    for (long long t = 0; t < P; ++t) {
        const long double angle = 2 * std::numbers::pi_v<long double> * t / P;
        cos_t[t] = std::cos(angle);
        sin_t[t] = sign * std::sin(angle);
    }
    std::vector<cld> in(s.in_count);
    for (int i = 0; i < s.in_count; ++i)
        in[i] = cld(x.re[i], x.im[i]) * (s.in_twist ? phase(s.in_start + i, s.in_twist) : cld(1));
    std::vector<cld> X(s.out_count);
    for (int r = 0; r < s.out_count; ++r) {
        const long long k = s.out_start + r;
        long double sum_re = 0, sum_im = 0;
        for (int i = 0; i < s.in_count; ++i) {
            const long long t = (((s.in_start + i) * k) % P + P) % P;
            sum_re += in[i].real() * cos_t[t] - in[i].imag() * sin_t[t];
            sum_im += in[i].real() * sin_t[t] + in[i].imag() * cos_t[t];
        }
        cld sum(sum_re, sum_im);
        if (s.out_twist)
            sum *= phase(-k, s.out_twist);
        X[r] = sum * static_cast<long double>(s.scale);
    }
    return X;
}

// Runs `transform` on x in a scalar work array of `doubles` doubles.
template <typename Transform>
line run_scalar(const dft_window& s, const line& x, std::size_t doubles, Transform transform)
{
    std::vector<double> work(doubles);
    for (int i = 0; i < s.in_count; ++i) {
        work[2 * i] = x.re[i];
        work[2 * i + 1] = x.im[i];
    }
    transform(work.data());
    line out{std::vector<double>(s.out_count), std::vector<double>(s.out_count)};
    for (int r = 0; r < s.out_count; ++r) {
        out.re[r] = work[2 * r];
        out.im[r] = work[2 * r + 1];
    }
    return out;
}

// Builds tables and plan, runs it on x, returns the outputs.
line run_plan(const dft_window& s, const line& x)
{
    const std::int32_t N = chirp_fft_size(s);
    EXPECT_GT(N, 0);
    fft_tables tables;
    EXPECT_TRUE(fft_tables_build(&tables, N));
    chirp_plan plan;
    EXPECT_EQ(chirp_plan_build(&plan, s, tables), dft_status::ok);
    return run_scalar(s, x, chirp_work_doubles(plan, lane_path::scalar),
                      [&](double* work) { chirp_transform(plan, lane_path::scalar, work); });
}

long double relative_rms(const line& got, const std::vector<cld>& want)
{
    long double error = 0, norm = 0;
    for (std::size_t k = 0; k < want.size(); ++k) {
        error += std::norm(cld(got.re[k], got.im[k]) - want[k]);
        norm += std::norm(want[k]);
    }
    return norm == 0 ? std::sqrt(error) : std::sqrt(error / norm);
}

long double expect_matches_direct(const dft_window& s, const std::string& what)
{
    const line x = random_line(s.in_count, static_cast<unsigned>(s.length * 7 + s.in_count));
    const long double error = relative_rms(run_plan(s, x), direct(s, x));
    EXPECT_LT(error, 1e-12) << what;
    return error;
}

dft_window full(int P, dft_direction direction)
{
    return dft_window{P, 0, P, 0, P, direction, 0, 0, direction == forward ? 1.0 / P : 1.0};
}

std::string describe(const dft_window& s)
{
    return "P " + std::to_string(s.length) + " in [" + std::to_string(s.in_start) + " +" +
           std::to_string(s.in_count) + "] out [" + std::to_string(s.out_start) + " +" +
           std::to_string(s.out_count) + "] dir " + std::to_string(static_cast<int>(s.direction)) + " twists " +
           std::to_string(s.in_twist) + "/" + std::to_string(s.out_twist);
}

TEST(chirp, every_length_up_to_600_matches_a_direct_dft)
{
    long double largest = 0;
    for (int P = 1; P <= 600; ++P)
        for (dft_direction direction : {forward, inverse})
            largest = std::max(largest, expect_matches_direct(full(P, direction), describe(full(P, direction))));
    std::printf("full windows, lengths 1 to 600: largest relative RMS error %.2Le\n", largest);
}

// The shapes the resize passes use, and their corners: windows that start
// below zero or wrap past P, spans just at and just past a power of two,
// phase ramps, a single input or output, lines up to 32768.
TEST(chirp, windows_and_ramps_match_a_direct_dft)
{
    const dft_window shapes[] = {
        {2, 0, 2, 0, 1, forward, 0, 0, 1.0},
        {1, 0, 1, 0, 1, inverse, 0, 2, 1.0},
        {8, -3, 7, 0, 4, inverse, 4, 0, 1.0},        // a band |k| < 4 into a length 8
        {14, -4, 9, 0, 7, inverse, 10, 0, 1.0},      // the same, enlarging 5 -> 7
        {10, -2, 5, 0, 5, inverse, 6, 0, 1.0},       // shrinking 3 from 5... 3 -> 5 band 3
        {9, 0, 9, -4, 9, forward, 0, 18, 0.5 / 9},   // all residues from a negative start
        {9, 0, 9, -2, 5, forward, 0, 18, 0.5 / 9},   // a narrow band around 0
        {7, 5, 7, 3, 6, forward, 3, 5, 2.0},         // both windows wrap past P
        {257, -128, 255, 0, 257, inverse, 128, 0, 1.0},
        {100, 0, 100, -31, 63, forward, 0, 200, 0.005},
        {33, 0, 17, 0, 16, forward, 0, 0, 1.0},      // span 32: N exactly 32
        {33, 0, 17, 0, 17, forward, 0, 0, 1.0},      // span 33: N = 64
        {4093, -2000, 3999, 0, 4093, inverse, 5000, 0, 1.0},
        {32768, -16383, 200, 0, 300, inverse, 16384, 0, 1.0},
        {32768, 0, 300, -150, 299, forward, 0, 65536, 1.0 / 65536},
        {30000, 29000, 100, 29900, 100, inverse, 0, 0, 1.0},
    };
    for (const dft_window& s : shapes)
        expect_matches_direct(s, describe(s));
}

TEST(chirp, a_pure_tone_lands_in_its_bin)
{
    const int P = 12, q = 5;
    line x{std::vector<double>(P), std::vector<double>(P)};
    for (int j = 0; j < P; ++j) {
        const cld v = phase(2 * j * q, P);
        x.re[j] = static_cast<double>(v.real());
        x.im[j] = static_cast<double>(v.imag());
    }
    const line X = run_plan(full(P, forward), x);
    for (int k = 0; k < P; ++k) {
        EXPECT_NEAR(X.re[k], k == q ? 1.0 : 0.0, 1e-14) << k;
        EXPECT_NEAR(X.im[k], 0.0, 1e-14) << k;
    }
}

TEST(chirp, inverse_after_forward_gives_the_line_back)
{
    for (int P : {6, 7, 12, 1000, 4096}) {
        const line x = random_line(P, 3);
        const line back = run_plan(full(P, inverse), run_plan(full(P, forward), x));
        for (int j = 0; j < P; ++j) {
            ASSERT_NEAR(back.re[j], x.re[j], 1e-11) << P << " " << j;
            ASSERT_NEAR(back.im[j], x.im[j], 1e-11) << P << " " << j;
        }
    }
}

TEST(chirp, shapes_out_of_range_are_refused)
{
    fft_tables tables;
    ASSERT_TRUE(fft_tables_build(&tables, 64));
    const dft_window refused[] = {
        {0, 0, 1, 0, 1, forward, 0, 0, 1.0},   // no length
        {5, 0, 0, 0, 5, forward, 0, 0, 1.0},   // no inputs
        {5, 0, 6, 0, 5, forward, 0, 0, 1.0},   // more inputs than the length
        {5, 0, 5, 0, 0, forward, 0, 0, 1.0},   // no outputs
        {5, -6, 5, 0, 5, forward, 0, 0, 1.0},  // a start beyond one period
        {5, 0, 5, 0, 5, static_cast<dft_direction>(2), 0, 0, 1.0},  // no such direction
        {5, 0, 5, 0, 5, forward, -1, 0, 1.0},  // a negative ramp
    };
    for (const dft_window& s : refused) {
        chirp_plan plan;
        EXPECT_EQ(chirp_fft_size(s), 0) << describe(s);
        EXPECT_EQ(chirp_plan_build(&plan, s, tables), dft_status::bad_window) << describe(s);
        EXPECT_EQ(plan.factors, nullptr);
    }
    chirp_plan plan;
    const dft_window needs_128 = full(50, forward);  // span 99: N = 128, tables for 64
    EXPECT_EQ(chirp_fft_size(needs_128), 128);
    EXPECT_EQ(chirp_plan_build(&plan, needs_128, tables), dft_status::small_tables);
    EXPECT_EQ(plan.factors, nullptr);
}

// ---- Line plans -------------------------------------------------------------

line run_line_plan(const line_plan& plan, const line& x)
{
    return run_scalar(plan.window, x, line_plan_work_doubles(plan, lane_path::scalar),
                      [&](double* work) { line_plan_transform(plan, lane_path::scalar, work); });
}

// The shapes of the resize passes and the corners of the contract, each with
// the way the cost model should pick: direct for lengths 2^a 3^b 5^c unless
// the windows are a sliver of the line, chirp-z for other lengths. Both ways
// where both serve, against the direct sums.
TEST(line_plan, both_ways_match_a_direct_dft_and_the_cheaper_one_is_chosen)
{
    constexpr line_method fft = line_method::direct, chirp = line_method::chirp_z;
    const struct {
        dft_window shape;
        line_method chosen;
    } cases[] = {
        {forward_pass_window(1536, 3072), fft}, {inverse_pass_window(1536, 3072), fft},
        {forward_pass_window(3072, 1536), fft}, {inverse_pass_window(3072, 1536), fft},
        {forward_pass_window(1920, 1080), fft}, {inverse_pass_window(1920, 1080), fft},
        {forward_pass_window(1000, 1001), fft}, {inverse_pass_window(1000, 1001), chirp},
        {forward_pass_window(7, 9), chirp},     {inverse_pass_window(7, 9), fft},
        {forward_pass_window(4000, 3), fft},    {inverse_pass_window(4000, 3), fft},
        {full(1, forward), fft},         {full(97, inverse), chirp},
        {{8, -3, 7, 0, 4, inverse, 4, 0, 1.0}, fft},
        {{9, 0, 9, -4, 9, forward, 0, 18, 0.5 / 9}, fft},
        {{7, 5, 7, 3, 6, forward, 3, 5, 2.0}, chirp},
        {{30, 25, 30, 27, 30, inverse, 7, 11, 3.0}, fft},  // both windows wrap
        {{30720, -2, 4, 30000, 5, forward, 0, 0, 1.0}, chirp},
        {{6000, 5900, 50, -2900, 60, inverse, 3000, 9, 0.25}, chirp},
    };
    for (const auto& c : cases) {
        const dft_window& s = c.shape;
        EXPECT_EQ(line_plan_method(s), c.chosen) << describe(s);
        const line x = random_line(s.in_count, static_cast<unsigned>(s.length + s.out_count));
        const std::vector<cld> want = direct(s, x);
        fft_tables tables;
        ASSERT_TRUE(fft_tables_build(&tables, chirp_fft_size(s)));
        int radices[mixed_radix_max_levels];
        for (line_method way : {fft, chirp}) {
            if (way == fft && mixed_radix_levels(s.length, radices) < 0)
                continue;
            line_plan plan;
            ASSERT_EQ(line_plan_build(&plan, s, tables, way), dft_status::ok) << describe(s);
            EXPECT_LT(relative_rms(run_line_plan(plan, x), want), 1e-12)
                << describe(s) << (way == fft ? " direct" : " chirp-z");
        }
    }
}

// Every vector path runs each lane through exactly the one-line arithmetic,
// either way: the outputs must be the same bits, not merely close.
TEST(line_plan, every_lane_path_gives_the_one_line_bits)
{
    constexpr line_method fft = line_method::direct, chirp = line_method::chirp_z;
    const std::pair<dft_window, line_method> shapes[] = {
        {forward_pass_window(1080, 1920), fft},
        {inverse_pass_window(1080, 1920), fft},
        {{30, 25, 30, 27, 30, inverse, 7, 11, 3.0}, fft},
        {full(1, forward), fft},
        {full(3, forward), chirp},
        {full(64, inverse), chirp},
        {full(1000, forward), chirp},
        {{4093, -2000, 3999, 0, 4093, inverse, 5000, 0, 1.0}, chirp},
        {{9, 0, 9, -4, 9, forward, 0, 18, 0.5 / 9}, chirp},
        {{2048, 0, 2048, -511, 1023, forward, 0, 4096, 0.5 / 2048}, chirp},
    };
    for (lane_path path : {lane_path::sse2, lane_path::avx2, lane_path::avx512}) {
        if (!lane_path_supported(path))
            continue;
        const int lanes = lane_width(path);
        for (const auto& [s, way] : shapes) {
            fft_tables tables;
            ASSERT_TRUE(fft_tables_build(&tables, way == chirp ? chirp_fft_size(s) : 4));
            line_plan plan;
            ASSERT_EQ(line_plan_build(&plan, s, tables, way), dft_status::ok);
            // aligned_alloc takes whole alignment units.
            const std::size_t bytes =
                (line_plan_work_doubles(plan, path) * sizeof(double) + lane_alignment - 1) / lane_alignment *
                lane_alignment;
            auto* batch = static_cast<double*>(std::aligned_alloc(lane_alignment, bytes));
            std::vector<line> inputs;
            for (int j = 0; j < lanes; ++j) {
                inputs.push_back(random_line(s.in_count, static_cast<unsigned>(j * 31 + s.length)));
                for (int i = 0; i < s.in_count; ++i) {
                    batch[2 * i * lanes + j] = inputs[j].re[i];
                    batch[(2 * i + 1) * lanes + j] = inputs[j].im[i];
                }
            }
            line_plan_transform(plan, path, batch);
            for (int j = 0; j < lanes; ++j) {
                const line want = run_line_plan(plan, inputs[j]);
                for (int r = 0; r < s.out_count; ++r) {
                    const double got[2] = {batch[2 * r * lanes + j], batch[(2 * r + 1) * lanes + j]};
                    const double expected[2] = {want.re[r], want.im[r]};
                    ASSERT_EQ(std::memcmp(got, expected, sizeof got), 0)
                        << describe(s) << " lanes " << lanes << " lane " << j << " output " << r;
                }
            }
            std::free(batch);
        }
    }
}

TEST(line_plan, ways_that_cannot_serve_are_refused)
{
    fft_tables tables;
    ASSERT_TRUE(fft_tables_build(&tables, 64));
    line_plan plan;
    EXPECT_EQ(line_plan_build(&plan, full(97, forward), tables, line_method::direct), dft_status::bad_window);
    EXPECT_EQ(line_plan_build(&plan, full(97, forward), tables), dft_status::small_tables);
    EXPECT_EQ(line_plan_build(&plan, {5, 0, 6, 0, 5, forward, 0, 0, 1.0}, tables), dft_status::bad_window);
    EXPECT_EQ(plan.fft.points, 0);
    EXPECT_EQ(plan.chirp.factors, nullptr);
    EXPECT_EQ(line_plan_fft_points(full(97, forward)), 256);
    EXPECT_EQ(line_plan_fft_points(full(96, forward)), 0);
}

#ifndef VELMORA_SANITIZED
// With the address space capped, a plan whose block needs about 1 GiB.
[[noreturn]] void plan_without_memory()
{
    rlimit bound{256L << 20, 256L << 20};
    setrlimit(RLIMIT_AS, &bound);
    // Tables that claim the size without holding it: the plan fails on its
    // own block before it reads them.
    fft_tables tables;
    tables.max_points = 1 << 30;
    chirp_plan plan;
    const dft_window huge{1 << 24, 0, 1 << 24, 0, 1 << 24, forward, 0, 0, 1.0};
    const dft_status result = chirp_plan_build(&plan, huge, tables);
    std::exit(result == dft_status::no_memory && plan.factors == nullptr ? 0 : 1);
}

TEST(chirp, a_plan_that_cannot_get_memory_says_so_and_holds_nothing)
{
    EXPECT_EXIT(plan_without_memory(), testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
