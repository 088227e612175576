// Contents of the twiddle table ww and the index table ip.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "fft/fft_tables.h"

using namespace velmora::detail;

namespace {

// The tables of table_size (max_points / 2), as the transforms index them.
struct tables {
    fft_tables built;
    const int* ip;
    const double* ww;
    explicit tables(int table_size)
    {
        EXPECT_TRUE(fft_tables_build(&built, 2 * table_size)) << table_size;
        ip = built.ip.get();
        ww = built.ww.get();
    }
};

// Angles pi * k / d in long double.
double cos_pi(int k, int d) { return static_cast<double>(std::cos(std::numbers::pi_v<long double> * k / d)); }
double sin_pi(int k, int d) { return static_cast<double>(std::sin(std::numbers::pi_v<long double> * k / d)); }

TEST(fft_tables, small_sizes_hold_the_listed_entries)
{
    const double c45 = cos_pi(1, 4), c8 = cos_pi(1, 8), s8 = sin_pi(1, 8);
    const struct {
        int table_size;
        std::vector<int> ip;
        std::vector<double> ww;
    } cases[] = {
        {1, {1, 1}, {}},
        {2, {2, 1}, {}},
        {4, {4, 1}, {1.0, c45}},
        {8, {8, 1}, {1.0, c45, c8, s8, 1.0, c45}},
        {16, {16, 1, 0, 16},
         {1.0, c45, 0.5 / cos_pi(1, 16), 0.5 / cos_pi(3, 16), c8, s8, cos_pi(3, 8), -sin_pi(3, 8),
          1.0, c45, c8, s8, 1.0, c45}},
        {64, {64, 1, 0, 16, 0, 64, 32, 96}, {}},
    };
    for (const auto& c : cases) {
        const tables t(c.table_size);
        EXPECT_EQ(std::vector<int>(t.ip, t.ip + c.ip.size()), c.ip) << c.table_size;
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
                                          {16384, 64}, {32768, 64}, {1 << 20, 512}, {1 << 21, 512}};
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
    }
}

// Sizes that are not a power of two, or beyond the largest, build nothing.
TEST(fft_tables, unserved_sizes_are_refused_and_leave_the_record_empty)
{
    for (std::int32_t points : {0, -4, 3, 96, fft_max_points * 2}) {
        fft_tables t;
        EXPECT_FALSE(fft_tables_build(&t, points)) << points;
        EXPECT_EQ(t.max_points, 0);
        EXPECT_EQ(t.ww, nullptr);
    }
}

// Block b of size s at ww[table_size - 2s]: b[j..j+3] = cos, sin of j pi/(4s)
// and cos, -sin of 3j pi/(4s), bit-identical to the first block's entries of
// the same angle.
TEST(fft_tables, blocks_hold_their_angles_bit_identical_to_the_first_block)
{
    for (int table_size = 4; table_size <= fft_max_points / 2; table_size *= 2) {
        const tables t(table_size);
        const double* first = t.ww;
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
                const int same = static_cast<int>(std::int64_t{j} * (table_size / 2) / s);
                for (int i = 0; i < 4; ++i) {
                    ASSERT_EQ(b[j + i], first[same + i]) << "j " << j;
                }
            }
        }
    }
}

}  // namespace
