// The channel resize against the method computed directly in long double:
// mirror extension, full 2-D DFT, zero stuffing or cutting, full inverse,
// crop. The reference shares no code with the passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "fft/fft_tables.h"
#include "resize/array_plan.h"
#include "resize/array_run.h"
#include "resize/spectral_passes.h"
#include "test_support.h"

using namespace velmora::detail;

namespace {

using cld = std::complex<long double>;
using samples = std::vector<std::uint8_t>;

cld root(long long numerator, long long denominator, int sign)
{
    const long double angle = 2 * std::numbers::pi_v<long double> * (numerator % denominator) / denominator;
    return cld(std::cos(angle), sign * std::sin(angle));
}

// Where bin v of a spectrum of length 2n goes in one of length 2n': when
// enlarging, the upper half (the Nyquist bin with it) moves up by
// 2(n' - n); when cutting, bins 0..n'-1 and the n'-1 highest stay and
// everything else, the new Nyquist bin included, is dropped (-1).
int carried_to(int v, int n, int n2)
{
    if (n2 >= n)
        return v < n ? v : v + 2 * (n2 - n);
    if (v < n2)
        return v;
    if (v >= 2 * n - n2 + 1)
        return v - 2 * n + 2 * n2;
    return -1;
}

// The resized channel before conversion to bytes: value (x, y) at x*H' + y.
std::vector<long double> direct_resize(const samples& in, int W, int H, int W2, int H2)
{
    const int rows = 2 * H, cols = 2 * W;
    auto G = [&](int y, int x) {
        const int my = y < H ? y : 2 * H - 1 - y;
        const int mx = x < W ? x : 2 * W - 1 - x;
        return static_cast<long double>(in[mx * H + my]);
    };
    // F(u, v) = 1/(4HW) sum G(y, x) exp(-2 pi i (uy/2H + vx/2W)), separably.
    std::vector<cld> row_pass(rows * cols), F(rows * cols);
    for (int y = 0; y < rows; ++y)
        for (int v = 0; v < cols; ++v) {
            cld sum = 0;
            for (int x = 0; x < cols; ++x)
                sum += G(y, x) * root(static_cast<long long>(v) * x, cols, -1);
            row_pass[y * cols + v] = sum / static_cast<long double>(cols);
        }
    for (int v = 0; v < cols; ++v)
        for (int u = 0; u < rows; ++u) {
            cld sum = 0;
            for (int y = 0; y < rows; ++y)
                sum += row_pass[y * cols + v] * root(static_cast<long long>(u) * y, rows, -1);
            F[u * cols + v] = sum / static_cast<long double>(rows);
        }
    const int rows2 = 2 * H2, cols2 = 2 * W2;
    std::vector<cld> wide(rows2 * cols2, 0);
    for (int u = 0; u < rows; ++u)
        for (int v = 0; v < cols; ++v) {
            const int u2 = carried_to(u, H, H2), v2 = carried_to(v, W, W2);
            if (u2 >= 0 && v2 >= 0)
                wide[u2 * cols2 + v2] = F[u * cols + v];
        }
    // Inverse, unscaled, only where the crop looks.
    std::vector<cld> half(rows2 * W2);
    for (int u = 0; u < rows2; ++u)
        for (int x = 0; x < W2; ++x) {
            cld sum = 0;
            for (int v = 0; v < cols2; ++v)
                sum += wide[u * cols2 + v] * root(static_cast<long long>(v) * x, cols2, +1);
            half[u * W2 + x] = sum;
        }
    std::vector<long double> out(static_cast<std::size_t>(W2) * H2);
    for (int x = 0; x < W2; ++x)
        for (int y = 0; y < H2; ++y) {
            cld sum = 0;
            for (int u = 0; u < rows2; ++u)
                sum += half[u * W2 + x] * root(static_cast<long long>(u) * y, rows2, +1);
            out[x * H2 + y] = sum.real();
        }
    return out;
}

int to_byte(long double s)
{
    if (s >= 255)
        return 255;
    if (s <= 0)
        return 0;
    return static_cast<int>(s);
}

samples resized(const samples& in, int W, int H, int W2, int H2, int threads = 1,
                lane_path path = lane_path_best())
{
    samples out(static_cast<std::size_t>(W2) * H2, 0xEE);
    // Planes are stored column by column: rows (axis 0) step by 1.
    velmora::array_view from = velmora::contiguous_view(const_cast<std::uint8_t*>(in.data()),
                                                        velmora::sample_type::uint8, {W, H});
    velmora::array_view to = velmora::contiguous_view(out.data(), velmora::sample_type::uint8, {W2, H2});
    std::swap(from.sizes[0], from.sizes[1]);
    std::swap(from.strides[0], from.strides[1]);
    std::swap(to.sizes[0], to.sizes[1]);
    std::swap(to.strides[0], to.strides[1]);
    velmora::settings how;
    how.threads = threads;
    how.rounding = velmora::rounding::truncate;
    velmora::plan plan;
    EXPECT_TRUE(make_array_plan(&plan, from, to, how, path));
    EXPECT_TRUE(run_array_plan(*plan.state, from, to));
    return out;
}

samples random_plane(int W, int H, unsigned seed)
{
    std::mt19937 gen(seed);
    samples plane(static_cast<std::size_t>(W) * H);
    for (auto& s : plane)
        s = static_cast<std::uint8_t>(gen() & 0xFF);
    return plane;
}

// Truncation must give the exact value's integer part; only where the
// exact value lies within 1e-6 of an integer may the last bits tip it.
void expect_bytes_match(const samples& got, const std::vector<long double>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        const int low = to_byte(want[i] - 1e-6L), high = to_byte(want[i] + 1e-6L);
        ASSERT_GE(got[i], low) << "index " << i << " reference " << static_cast<double>(want[i]);
        ASSERT_LE(got[i], high) << "index " << i << " reference " << static_cast<double>(want[i]);
    }
}

struct size_case {
    int W, H, W2, H2;
};

class resize_direct : public testing::TestWithParam<size_case> {};

TEST_P(resize_direct, matches_the_direct_computation)
{
    const size_case c = GetParam();
    const samples in = random_plane(c.W, c.H, static_cast<unsigned>(c.W * 1000 + c.H * 10 + c.W2));
    expect_bytes_match(resized(in, c.W, c.H, c.W2, c.H2), direct_resize(in, c.W, c.H, c.W2, c.H2));
}

// Odd, even and prime sides; unchanged sides; one row, one column, 1 x 1;
// enlarging, cutting, and one side of each.
INSTANTIATE_TEST_SUITE_P(
    resize, resize_direct,
    testing::Values(size_case{1, 1, 1, 1}, size_case{1, 1, 3, 4}, size_case{2, 2, 2, 2}, size_case{3, 2, 4, 3},
                    size_case{5, 7, 7, 10}, size_case{7, 5, 7, 9}, size_case{4, 4, 7, 4}, size_case{1, 6, 4, 8},
                    size_case{7, 1, 7, 5}, size_case{6, 1, 11, 1}, size_case{11, 13, 13, 14},
                    size_case{13, 3, 19, 8}, size_case{16, 9, 31, 17}, size_case{12, 10, 5, 4},
                    size_case{13, 11, 1, 1}, size_case{9, 8, 9, 3}, size_case{8, 9, 2, 9}, size_case{17, 6, 6, 13},
                    size_case{5, 12, 11, 7}, size_case{10, 1, 4, 1}, size_case{1, 10, 1, 3},
                    size_case{23, 19, 22, 20}),
    [](const testing::TestParamInfo<size_case>& info) {
        const size_case& c = info.param;
        return std::to_string(c.W) + "x" + std::to_string(c.H) + "_to_" + std::to_string(c.W2) + "x" +
               std::to_string(c.H2);
    });

TEST(resize, any_thread_count_and_vector_path_gives_the_same_bytes)
{
    // Odd line counts leave a last line without a partner, and line counts
    // that fill no whole batch of lanes, in every pass.
    const lane_path paths[] = {lane_path::scalar, lane_path::sse2, lane_path::avx2, lane_path::avx512};
    for (const size_case& c : {size_case{37, 23, 75, 51}, size_case{41, 35, 20, 17}, size_case{3, 5, 2, 9},
                               size_case{37, 23, 37, 51}, size_case{41, 35, 20, 35}}) {
        const samples in = random_plane(c.W, c.H, 99);
        const samples one = resized(in, c.W, c.H, c.W2, c.H2, 1, lane_path::scalar);
        for (lane_path path : paths) {
            if (!lane_path_supported(path))
                continue;
            for (int threads : {1, 2, 3, 8, 64})
                ASSERT_EQ(resized(in, c.W, c.H, c.W2, c.H2, threads, path), one)
                    << threads << " threads, " << lane_width(path) << " lanes";
        }
    }
}

TEST(resize, without_a_size_change_every_sample_is_kept_or_one_lower)
{
    for (const size_case& c : {size_case{1, 1, 1, 1}, size_case{3, 5, 3, 5}, size_case{16, 9, 16, 9},
                               size_case{31, 17, 31, 17}, size_case{16384, 1, 16384, 1}}) {
        const samples in = random_plane(c.W, c.H, 5);
        const samples out = resized(in, c.W, c.H, c.W, c.H);
        for (std::size_t i = 0; i < in.size(); ++i)
            ASSERT_TRUE(out[i] == in[i] || out[i] + 1 == in[i]) << c.W << "x" << c.H << " index " << i;
    }
}

TEST(resize, a_constant_plane_stays_constant)
{
    for (int g : {0, 1, 128, 254, 255})
        for (const size_case& c : {size_case{6, 4, 9, 6}, size_case{6, 4, 2, 3}, size_case{6, 4, 1, 1}}) {
            const samples in(static_cast<std::size_t>(c.W) * c.H, static_cast<std::uint8_t>(g));
            for (std::uint8_t s : resized(in, c.W, c.H, c.W2, c.H2)) {
                if (g == 0)
                    ASSERT_EQ(s, 0);
                else
                    ASSERT_TRUE(s == g || s == g - 1) << "g " << g << " got " << int(s);
            }
        }
}

TEST(resize, a_single_output_sample_is_the_truncated_mean)
{
    const samples in = {10, 200, 30, 121, 7, 90};  // sum 458, mean 76.33
    EXPECT_EQ(resized(in, 3, 2, 1, 1), samples{76});
}

TEST(resize, strips_reach_the_longest_lines)
{
    // 16384 outputs: inverse lines of 32768. And a 16384-wide input cut to a
    // few samples: forward lines of 16384. One-row strips reduce the method
    // to one dimension, whose cosine series is the reference here.
    const auto exact_row = [](const samples& in, int n_out) {
        return exact_line(std::vector<long double>(in.begin(), in.end()), n_out);
    };
    const samples narrow = {10, 200, 30, 120};
    expect_bytes_match(resized(narrow, 4, 1, 16384, 1), exact_row(narrow, 16384));
    const samples wide = random_plane(16384, 1, 8);
    expect_bytes_match(resized(wide, 16384, 1, 7, 1), exact_row(wide, 7));
    // The same strips standing up: the work moves to the column passes.
    const samples tall = resized(narrow, 1, 4, 1, 16384);
    expect_bytes_match(tall, exact_row(narrow, 16384));
}

// The passes alone, against the cosine sums they promise, with lines laid
// out at strides, in two sets of an odd number of lines each.
TEST(spectral_passes, forward_and_inverse_lines_match_their_sums)
{
    // Coefficient windows narrower than n, exactly n, and wrapping past it.
    const struct {
        int n, n_out;
    } cases[] = {{1, 3}, {2, 3}, {5, 9}, {8, 3}, {9, 6}, {9, 5}, {12, 13}, {7, 2}, {16, 20}, {3, 1}};
    const long double pi = std::numbers::pi_v<long double>;
    fft_tables tables;
    ASSERT_TRUE(fft_tables_build(&tables, 1024));
    std::vector<double> work(4096);
    double* const workspaces[1] = {work.data()};
    team_failure failure{};
    const owned_team team = make_team(1, &failure);
    const line_engine engine{workspaces, team.get()};
    for (const auto& c : cases) {
        const int sets = 2, per_set = 3, lines = sets * per_set;
        const int kept = std::min(c.n, c.n_out);
        std::mt19937 gen(static_cast<unsigned>(c.n * 31 + c.n_out));
        std::uniform_real_distribution<double> dist(-50, 50);
        std::vector<double> x(lines * c.n);
        for (double& v : x)
            v = dist(gen);
        // Line i at x + i, samples at stride `lines`; coefficients line by
        // line, contiguous; samples back at a stride again.
        auto layout = [&](double* base, std::int64_t step, std::int64_t line_stride) {
            line_layout l;
            l.base = reinterpret_cast<unsigned char*>(base);
            l.step = step * 8;
            l.line_dims = 1;
            l.line_sizes[0] = per_set;
            l.line_strides[0] = line_stride * 8;
            l.set_dims = 1;
            l.set_sizes[0] = sets;
            l.set_strides[0] = per_set * line_stride * 8;
            return l;
        };
        std::vector<double> C(lines * kept);
        cosine_pass pass;
        ASSERT_EQ(cosine_pass_init(&pass, false, c.n, c.n_out, lane_path::scalar, tables), dft_status::ok);
        forward_lines(pass, pass_lines{sets, per_set, false, layout(x.data(), lines, 1), layout(C.data(), 1, kept)},
                      velmora::sample_type::float64, engine);
        for (int i = 0; i < lines; ++i)
            for (int k = 0; k < kept; ++k) {
                long double sum = 0;
                for (int j = 0; j < c.n; ++j)
                    sum += x[j * lines + i] * std::cos(pi * k * (2 * j + 1) / (2 * c.n));
                ASSERT_NEAR(C[i * kept + k], sum / c.n, 1e-12) << c.n << " " << kept << " line " << i;
            }
        ASSERT_EQ(cosine_pass_init(&pass, true, c.n, c.n_out, lane_path::scalar, tables), dft_status::ok);
        std::vector<double> y(lines * c.n_out);
        inverse_lines(pass, pass_lines{sets, per_set, false, layout(C.data(), 1, kept), layout(y.data(), lines, 1)},
                      velmora::sample_type::float64, velmora::rounding::nearest, engine);
        for (int i = 0; i < lines; ++i)
            for (int s = 0; s < c.n_out; ++s) {
                // exp(i pi k/2n) exp(2 pi i k s/2n') C[|k|] summed over |k| < kept.
                long double sum = C[i * kept];
                for (int k = 1; k < kept; ++k)
                    sum += 2 * C[i * kept + k] *
                           std::cos(pi * k / (2 * c.n) + pi * k * s / static_cast<long double>(c.n_out));
                ASSERT_NEAR(y[s * lines + i], sum, 1e-10) << c.n << " " << kept << " line " << i;
            }
    }
}

}  // namespace
