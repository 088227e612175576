// The batched transforms against the one-line ones: every lane of every
// supported path must hold, byte for byte, the one-line transform of its
// line, for every length the tables serve.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ostream>
#include <vector>

#include "fft/fft_lanes.h"
#include "fft/fft_tables.h"
#include "test_support.h"

using namespace velmora::detail;

namespace {

using doubles = std::vector<double>;

const char* path_name(lane_path path)
{
    switch (path) {
    case lane_path::scalar:
        return "scalar";
    case lane_path::sse2:
        return "sse2";
    case lane_path::avx2:
        return "avx2";
    case lane_path::avx512:
        return "avx512";
    }
    return "?";
}

// A batch of doubles at a lane_alignment boundary between two guard blocks,
// one alignment unit each, that a transform of the batch must leave alone
// (callers lay batches end to end).
struct guarded_batch {
    static constexpr std::size_t guard = lane_alignment / sizeof(double);
    static constexpr double sentinel = -12345.6789;
    double* base;
    double* data;
    std::size_t count;

    explicit guarded_batch(std::size_t size) : count(size)
    {
        const std::size_t padded = (size + guard - 1) / guard * guard;
        base = static_cast<double*>(std::aligned_alloc(lane_alignment, (padded + 2 * guard) * sizeof(double)));
        data = base + guard;
        for (std::size_t i = 0; i < guard; ++i) {
            base[i] = sentinel;
            data[count + i] = sentinel;
        }
    }
    ~guarded_batch() { std::free(base); }

    bool guards_intact() const
    {
        for (std::size_t i = 0; i < guard; ++i) {
            if (base[i] != sentinel || data[count + i] != sentinel) {
                return false;
            }
        }
        return true;
    }
};

}  // namespace

// Names the path in test listings and failure messages.
void PrintTo(lane_path path, std::ostream* os)
{
    *os << path_name(path);
}

namespace {

class lanes : public ::testing::TestWithParam<lane_path> {};

// Lengths from 1 to 65536 points, the small-n special cases included, with
// tables built for the line's own length and for 2^20 points. Every lane gets
// its own line, so a lane that read another's data would differ.
TEST_P(lanes, every_lane_is_bit_identical_to_the_one_line_transform_and_stays_in_its_batch)
{
    const lane_path path = GetParam();
    if (!lane_path_supported(path)) {
        GTEST_SKIP() << path_name(path) << " is not supported on this machine";
    }
    const int width = lane_width(path);
    fft_tables large;
    ASSERT_TRUE(fft_tables_build(&large, 1 << 20));
    for (int n = 2; n <= 131072; n *= 2) {
        fft_tables own;
        ASSERT_TRUE(fft_tables_build(&own, n / 2));
        for (const fft_tables* t : {&own, &large}) {
            const int table_size = t->table_size;
            for (int sign : {-1, 1}) {
                // lines[j*n + i] is double i of line j; the batch holds it at i*width + j.
                doubles lines = random_doubles(static_cast<std::size_t>(n) * width, n + table_size + sign);
                guarded_batch batch(lines.size());
                for (int j = 0; j < width; ++j) {
                    for (int i = 0; i < n; ++i) {
                        batch.data[i * width + j] = lines[j * n + i];
                    }
                }
                (sign < 0 ? fft_forward_lanes : fft_backward_lanes)(path, n / 2, batch.data, *t, nullptr);
                ASSERT_TRUE(batch.guards_intact())
                    << path_name(path) << " n " << n << " table " << table_size << " sign " << sign;
                for (int j = 0; j < width; ++j) {
                    double* line = lines.data() + j * n;
                    (sign < 0 ? fft_forward_lanes : fft_backward_lanes)(lane_path::scalar, n / 2, line, *t, nullptr);
                    doubles lane(n);
                    for (int i = 0; i < n; ++i) {
                        lane[i] = batch.data[i * width + j];
                    }
                    ASSERT_EQ(std::memcmp(lane.data(), line, n * sizeof(double)), 0)
                        << path_name(path) << " n " << n << " table " << table_size << " sign " << sign
                        << " lane " << j;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(paths, lanes,
                         ::testing::Values(lane_path::scalar, lane_path::sse2, lane_path::avx2, lane_path::avx512),
                         [](const ::testing::TestParamInfo<lane_path>& info) { return path_name(info.param); });

// A dispatch that picked a path the CPU cannot run would crash callers; one
// that skipped a supported wider path would waste it.
TEST(lanes, best_path_is_the_widest_supported_one)
{
    const lane_path best = lane_path_best();
    EXPECT_TRUE(lane_path_supported(best)) << path_name(best);
    for (lane_path path : {lane_path::scalar, lane_path::sse2, lane_path::avx2, lane_path::avx512}) {
        if (lane_path_supported(path)) {
            EXPECT_LE(lane_width(path), lane_width(best)) << path_name(path);
        }
    }
}

}  // namespace
