// Line transforms and the channel resize against a direct computation in
// long double: mirror extension, 2-D DFT, zero stuffing, inverse, crop.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "bmp/plane.h"
#include "resize/line_transforms.h"
#include "resize/resize_channel.h"

namespace {

using cld = std::complex<long double>;
using samples = std::vector<std::uint8_t>;

std::vector<int> ip(32768);
std::vector<double> ww(32768);

cld root(long long numerator, long long denominator, int sign)
{
    const long double angle = 2 * std::numbers::pi_v<long double> * (numerator % denominator) / denominator;
    return cld(std::cos(angle), sign * std::sin(angle));
}

// The enlarged channel computed directly, before conversion to bytes:
// value (x, y) at index x * H' + y.
std::vector<long double> direct_resize(const samples& in, int W, int H, int a, int b)
{
    const int W2 = W + a, H2 = H + b;
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
    // Zero stuffing: upper halves move up by 2a columns and 2b rows.
    const int rows2 = 2 * H2, cols2 = 2 * W2;
    std::vector<cld> wide(rows2 * cols2, 0);
    for (int u = 0; u < rows; ++u)
        for (int v = 0; v < cols; ++v)
            wide[(u < H ? u : u + 2 * b) * cols2 + (v < W ? v : v + 2 * a)] = F[u * cols + v];
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

samples resized(const samples& in, int W, int H, int a, int b)
{
    image_width = W;
    image_height = H;
    samples out(static_cast<std::size_t>(W + a) * (H + b), 0xEE);
    resize_channel(a, b, in.data(), out.data());
    EXPECT_EQ(image_width, W);
    EXPECT_EQ(image_height, H);
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

// A value that the reference puts within rounding of an integer may land on
// either side of it.
void expect_bytes_match(const samples& got, const std::vector<long double>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        const int low = to_byte(want[i] - 1e-9L), high = to_byte(want[i] + 1e-9L);
        ASSERT_GE(got[i], low) << "index " << i << " reference " << static_cast<double>(want[i]);
        ASSERT_LE(got[i], high) << "index " << i << " reference " << static_cast<double>(want[i]);
    }
}

struct size_case {
    int W, H, a, b;
};

class resize_direct : public testing::TestWithParam<size_case> {};

TEST_P(resize_direct, matches_the_direct_computation)
{
    const size_case c = GetParam();
    const samples in = random_plane(c.W, c.H, static_cast<unsigned>(c.W * 1000 + c.H * 10 + c.a));
    expect_bytes_match(resized(in, c.W, c.H, c.a, c.b), direct_resize(in, c.W, c.H, c.a, c.b));
}

INSTANTIATE_TEST_SUITE_P(resize, resize_direct,
                         testing::Values(size_case{1, 1, 0, 0}, size_case{1, 1, 2, 3}, size_case{2, 2, 0, 0},
                                         size_case{3, 2, 1, 1}, size_case{5, 7, 2, 3}, size_case{7, 5, 0, 4},
                                         size_case{4, 4, 3, 0}, size_case{1, 6, 3, 2}, size_case{7, 1, 0, 4},
                                         size_case{6, 1, 5, 0}, size_case{11, 13, 2, 1}, size_case{13, 3, 6, 5}),
                         [](const testing::TestParamInfo<size_case>& info) {
                             const size_case& c = info.param;
                             return std::to_string(c.W) + "x" + std::to_string(c.H) + "_plus_" + std::to_string(c.a) +
                                    "x" + std::to_string(c.b);
                         });

TEST(resize, without_enlargement_every_sample_is_kept_or_one_lower)
{
    for (const size_case& c : {size_case{1, 1, 0, 0}, size_case{3, 5, 0, 0}, size_case{16, 9, 0, 0},
                               size_case{31, 17, 0, 0}}) {
        const samples in = random_plane(c.W, c.H, 5);
        const samples out = resized(in, c.W, c.H, 0, 0);
        for (std::size_t i = 0; i < in.size(); ++i)
            ASSERT_TRUE(out[i] == in[i] || out[i] + 1 == in[i]) << c.W << "x" << c.H << " index " << i;
    }
}

TEST(resize, a_constant_plane_stays_constant)
{
    for (int g : {0, 1, 128, 254, 255}) {
        const samples in(6 * 4, static_cast<std::uint8_t>(g));
        const samples out = resized(in, 6, 4, 3, 2);
        for (std::uint8_t s : out) {
            if (g == 0)
                ASSERT_EQ(s, 0);
            else
                ASSERT_TRUE(s == g || s == g - 1) << "g " << g << " got " << int(s);
        }
    }
}

TEST(resize, the_widest_output_uses_full_length_lines)
{
    // W' = 4096 on a one-row strip: inverse rows of 8192 values. With one
    // row the column transforms are trivial and the reference is 1-D.
    const int W = 4, a = 4092, W2 = W + a;
    const samples in = {10, 200, 30, 120};
    const samples out = resized(in, W, 1, a, 0);
    std::vector<cld> F(2 * W);
    for (int v = 0; v < 2 * W; ++v) {
        cld sum = 0;
        for (int x = 0; x < 2 * W; ++x)
            sum += static_cast<long double>(in[x < W ? x : 2 * W - 1 - x]) * root(static_cast<long long>(v) * x, 2 * W, -1);
        F[v] = sum / static_cast<long double>(2 * W);
    }
    std::vector<long double> want(W2);
    for (int x = 0; x < W2; ++x) {
        cld sum = 0;
        for (int v = 0; v < 2 * W; ++v)
            sum += F[v] * root(static_cast<long long>(v < W ? v : v + 2 * a) * x, 2 * W2, +1);
        want[x] = sum.real();
    }
    expect_bytes_match(out, want);
}

TEST(line_transforms, a_row_writes_only_its_own_elements)
{
    const int n = 5, stride = 3;
    std::vector<double> in_re(n * stride, 9.0), in_im(n * stride, 0.0);
    std::vector<double> out_re(n * stride, 7.5), out_im(n * stride, 7.5);
    for (int k = 0; k < n; ++k)
        in_re[k * stride] = 4.0;
    dft_row_forward(n, stride, in_re.data(), in_im.data(), out_re.data(), out_im.data(), ip.data(), ww.data());
    for (int i = 0; i < n * stride; ++i) {
        if (i % stride != 0) {
            EXPECT_EQ(out_re[i], 7.5) << i;
            EXPECT_EQ(out_im[i], 7.5) << i;
        }
    }
    EXPECT_NEAR(out_re[0], 4.0, 1e-14);
    for (int k = 1; k < n; ++k) {
        EXPECT_NEAR(out_re[k * stride], 0.0, 1e-14);
        EXPECT_NEAR(out_im[k * stride], 0.0, 1e-14);
    }
    std::vector<double> back_re(n * stride, 7.5), back_im(n * stride, 7.5);
    dft_row_inverse(n, stride, out_re.data(), out_im.data(), back_re.data(), back_im.data(), ip.data(), ww.data());
    for (int k = 0; k < n; ++k)
        EXPECT_NEAR(back_re[k * stride], 4.0, 1e-13);
}

TEST(line_transforms, full_capacity_lines_round_trip)
{
    const int n = line_capacity;
    std::vector<double> re(n), im(n), mid_re(n), mid_im(n), back_re(n), back_im(n);
    std::mt19937 gen(1);
    for (int k = 0; k < n; ++k) {
        re[k] = gen() % 256;
        im[k] = 0;
    }
    ip[0] = 0;
    dft_column_forward(n, re.data(), im.data(), mid_re.data(), mid_im.data(), ip.data(), ww.data());
    dft_column_inverse(n, mid_re.data(), mid_im.data(), back_re.data(), back_im.data(), ip.data(), ww.data());
    for (int k = 0; k < n; ++k) {
        ASSERT_NEAR(back_re[k], re[k], 1e-9) << k;
        ASSERT_NEAR(back_im[k], 0.0, 1e-9) << k;
    }
}

// Death-test bodies: stdout joins stderr so that the message can be matched.
template <typename Transform>
void transform_too_short(Transform transform)
{
    dup2(2, 1);
    double in[2] = {1, 2}, out[2];
    transform(in, out);
}

TEST(line_transforms, lines_shorter_than_two_end_the_run)
{
    int* t = ip.data();
    double* w = ww.data();
    EXPECT_EXIT(transform_too_short([&](double* in, double* out) { dft_line_forward(1, in, in, out, out, t, w); }),
                testing::ExitedWithCode(1), "^failure!!!!\n$");
    EXPECT_EXIT(transform_too_short([&](double* in, double* out) { dft_line_inverse(1, in, in, out, out, t, w); }),
                testing::ExitedWithCode(1), "^failure!!!!\n$");
    EXPECT_EXIT(transform_too_short([&](double* in, double* out) { dft_column_forward(0, in, in, out, out, t, w); }),
                testing::ExitedWithCode(1), "^failure!!!!\n$");
    EXPECT_EXIT(transform_too_short([&](double* in, double* out) { dft_column_inverse(1, in, in, out, out, t, w); }),
                testing::ExitedWithCode(1), "^failure!!!!\n$");
    EXPECT_EXIT(transform_too_short([&](double* in, double* out) { dft_row_inverse(1, 1, in, in, out, out, t, w); }),
                testing::ExitedWithCode(1), "^failure!!!!\n$");
}

}  // namespace
