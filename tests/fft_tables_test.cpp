// Contents of the twiddle table ww and the index table ip.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "fft/fft_tables.h"

namespace {

constexpr int kUntouchedIp = -7;
constexpr double kUntouchedWw = 123.25;

struct tables {
    std::vector<int> ip = std::vector<int>(32768, kUntouchedIp);
    std::vector<double> ww = std::vector<double>(32768, kUntouchedWw);
    explicit tables(int table_size) { fft_make_twiddles(table_size, ip.data(), ww.data()); }
};

// Angles pi * k / d in long double.
double cos_pi(int k, int d) { return static_cast<double>(std::cos(std::numbers::pi_v<long double> * k / d)); }
double sin_pi(int k, int d) { return static_cast<double>(std::sin(std::numbers::pi_v<long double> * k / d)); }

TEST(fft_tables, small_sizes_hold_the_listed_entries_and_nothing_more)
{
    const double c45 = cos_pi(1, 4), c8 = cos_pi(1, 8), s8 = sin_pi(1, 8);
    const struct {
        int table_size;
        std::vector<int> ip;
        std::vector<double> ww;
    } cases[] = {
        {1, {1, 1, kUntouchedIp}, {kUntouchedWw}},
        {2, {2, 1, kUntouchedIp}, {kUntouchedWw}},
        {4, {4, 1, kUntouchedIp}, {1.0, c45, kUntouchedWw}},
        {8, {8, 1, kUntouchedIp}, {1.0, c45, c8, s8, 1.0, c45, kUntouchedWw}},
        {16, {16, 1, 0, 16, kUntouchedIp},
         {1.0, c45, 0.5 / cos_pi(1, 16), 0.5 / cos_pi(3, 16), c8, s8, cos_pi(3, 8), -sin_pi(3, 8),
          1.0, c45, c8, s8, 1.0, c45, kUntouchedWw}},
        {64, {64, 1, 0, 16, 0, 64, 32, 96, kUntouchedIp}, {}},
    };
    for (const auto& c : cases) {
        const tables t(c.table_size);
        EXPECT_EQ(std::vector<int>(t.ip.begin(), t.ip.begin() + c.ip.size()), c.ip) << c.table_size;
        for (std::size_t i = 0; i < c.ww.size(); ++i) {
            EXPECT_NEAR(t.ww[i], c.ww[i], 3e-16) << "table " << c.table_size << " ww[" << i << "]";
        }
    }
}

TEST(fft_tables, seeds_follow_the_closed_form_at_every_level)
{
    // Highest level per table size: doubled once for each of table_size,
    // table_size/4, ... above 32.
    const std::pair<int, int> levels[] = {{16, 2}, {32, 2}, {64, 4}, {128, 4}, {256, 8}, {512, 8},
                                          {1024, 16}, {2048, 16}, {4096, 32}, {8192, 32},
                                          {16384, 64}, {32768, 64}};
    for (const auto& [table_size, top] : levels) {
        const tables t(table_size);
        for (int m = 2; m <= top; m *= 2) {
            for (int k = 0; k < m; ++k) {
                int rev = 0;
                for (int bit = 1; bit < m; bit <<= 1) {
                    rev = (rev << 1) | ((k & bit) != 0);
                }
                ASSERT_EQ(t.ip[m + k], 8 * m * rev) << "table " << table_size << " m " << m << " k " << k;
            }
        }
        EXPECT_EQ(t.ip[2 * top], kUntouchedIp) << "table " << table_size;
    }
}

// Block b of size s at ww[table_size - 2s]: b[j..j+3] = cos, sin of j pi/(4s)
// and cos, -sin of 3j pi/(4s), bit-identical to the first block's entries of
// the same angle.
TEST(fft_tables, blocks_hold_their_angles_bit_identical_to_the_first_block)
{
    for (int table_size = 4; table_size <= 32768; table_size *= 2) {
        const tables t(table_size);
        const double* first = t.ww.data();
        for (int s = table_size / 2; s >= 2; s /= 2) {
            const double* b = first + table_size - 2 * s;
            SCOPED_TRACE(testing::Message() << "table " << table_size << " block " << s);
            ASSERT_EQ(b[0], 1.0);
            ASSERT_EQ(b[1], first[1]);
            if (s >= 8) {
                ASSERT_NEAR(b[2], 0.5 / cos_pi(2, 4 * s), 1e-15);
                ASSERT_NEAR(b[3], 0.5 / cos_pi(6, 4 * s), 1e-15);
            }
            for (int j = 4; j < s; j += 4) {
                ASSERT_NEAR(b[j], cos_pi(j, 4 * s), 4e-16);
                ASSERT_NEAR(b[j + 1], sin_pi(j, 4 * s), 4e-16);
                ASSERT_NEAR(b[j + 2], cos_pi(3 * j, 4 * s), 4e-16);
                ASSERT_NEAR(b[j + 3], -sin_pi(3 * j, 4 * s), 4e-16);
                const int same = j * (table_size / 2) / s;
                for (int i = 0; i < 4; ++i) {
                    ASSERT_EQ(b[j + i], first[same + i]) << "j " << j;
                }
            }
        }
        EXPECT_EQ(t.ww[table_size - 2], kUntouchedWw) << "table " << table_size;
    }
}

}  // namespace
