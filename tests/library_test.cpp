// The public API's contract, through the public headers alone: its failures,
// its sample types and samples near the largest double against the method
// evaluated directly in long double, views, ranks, pairing, stopping and
// concurrent calls. The command line's picture
// is an independent witness for the H x W x 3 case.
#include <velmora/samples.h>
#include <velmora/velmora.h>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

using velmora::sample_type;
using velmora::status;

// An array of long doubles, row-major, and its exact resize: the 1-D
// resize along every axis whose size changes (the method is separable).
struct grid {
    std::vector<std::int64_t> sizes;
    std::vector<long double> values;
};

grid exact_resize(grid g, const std::vector<std::int64_t>& to)
{
    for (std::size_t a = 0; a < to.size(); ++a) {
        if (g.sizes[a] == to[a])
            continue;
        std::int64_t outer = 1, inner = 1;
        for (std::size_t b = 0; b < a; ++b)
            outer *= g.sizes[b];
        for (std::size_t b = a + 1; b < g.sizes.size(); ++b)
            inner *= g.sizes[b];
        const std::int64_t n = g.sizes[a], m = to[a];
        std::vector<long double> next(static_cast<std::size_t>(outer * m * inner));
        for (std::int64_t o = 0; o < outer; ++o)
            for (std::int64_t i = 0; i < inner; ++i) {
                std::vector<long double> line(n);
                for (std::int64_t j = 0; j < n; ++j)
                    line[j] = g.values[(o * n + j) * inner + i];
                const auto y = exact_line(line, static_cast<int>(m));
                for (std::int64_t j = 0; j < m; ++j)
                    next[(o * m + j) * inner + i] = y[j];
            }
        g.sizes[a] = m;
        g.values = std::move(next);
    }
    return g;
}

grid random_grid(const std::vector<std::int64_t>& sizes, int top, unsigned seed)
{
    grid g{sizes, {}};
    std::int64_t count = 1;
    for (std::int64_t s : sizes)
        count *= s;
    std::mt19937 gen(seed);
    for (std::int64_t i = 0; i < count; ++i)
        g.values.push_back(static_cast<long double>(gen() % (top + 1)));
    return g;
}

velmora::array_view view_of(void* data, sample_type type, const std::vector<std::int64_t>& sizes)
{
    velmora::array_view v;
    v.data = data;
    v.type = type;
    v.rank = static_cast<int>(sizes.size());
    std::int64_t stride = static_cast<std::int64_t>(velmora::sample_size(type));
    for (int a = v.rank - 1; a >= 0; --a) {
        v.sizes[a] = sizes[a];
        v.strides[a] = stride;
        stride *= sizes[a];
    }
    return v;
}

template <typename T>
std::vector<T> samples_of(const grid& g)
{
    return std::vector<T>(g.values.begin(), g.values.end());
}

struct type_case {
    sample_type in, out;
    std::vector<std::int64_t> from, to;
    std::string name;
};

class library_types : public testing::TestWithParam<type_case> {};

// Integer outputs are the exact value rounded (halves up) and clipped;
// float outputs the exact value to within rounding.
template <typename In, typename Out>
void check_types(const type_case& c)
{
    const int top = std::is_same_v<In, std::uint8_t> ? 255 : std::is_same_v<In, std::uint16_t> ? 65535 : 1000;
    const grid in = random_grid(c.from, top, 7);
    const grid want = exact_resize(in, c.to);
    std::vector<In> source = samples_of<In>(in);
    std::vector<Out> got(want.values.size());
    const velmora::result r =
        velmora::resize(view_of(source.data(), c.in, c.from), view_of(got.data(), c.out, c.to));
    ASSERT_TRUE(r) << r.message;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const long double w = want.values[i];
        if constexpr (std::is_floating_point_v<Out>) {
            ASSERT_NEAR(got[i], w, (std::is_same_v<Out, float> ? 1e-6 : 1e-9) * top) << i;
        } else {
            const long double limit = std::numeric_limits<Out>::max();
            auto nearest = [&](long double v) { return std::clamp(std::floor(v + 0.5L), 0.0L, limit); };
            ASSERT_GE(got[i], nearest(w - 1e-6L)) << i << " exact " << static_cast<double>(w);
            ASSERT_LE(got[i], nearest(w + 1e-6L)) << i << " exact " << static_cast<double>(w);
        }
    }
}

template <typename In>
void check_out(const type_case& c)
{
    switch (c.out) {
    case sample_type::uint8:
        return check_types<In, std::uint8_t>(c);
    case sample_type::uint16:
        return check_types<In, std::uint16_t>(c);
    case sample_type::float32:
        return check_types<In, float>(c);
    case sample_type::float64:
        return check_types<In, double>(c);
    }
}

TEST_P(library_types, match_the_method_evaluated_directly)
{
    const type_case& c = GetParam();
    switch (c.in) {
    case sample_type::uint8:
        return check_out<std::uint8_t>(c);
    case sample_type::uint16:
        return check_out<std::uint16_t>(c);
    case sample_type::float32:
        return check_out<float>(c);
    case sample_type::float64:
        return check_out<double>(c);
    }
}

// Every type in and out, ranks 1 to 4, changing and unchanged axes,
// enlarging and shrinking, and a copy without any change.
INSTANTIATE_TEST_SUITE_P(
    library, library_types,
    testing::Values(type_case{sample_type::uint8, sample_type::uint8, {9, 7, 3}, {13, 5, 3}, "u8_picture"},
                    type_case{sample_type::uint8, sample_type::float32, {6, 5, 3}, {11, 9, 3}, "u8_to_f32"},
                    type_case{sample_type::uint16, sample_type::uint16, {8, 6}, {15, 4}, "u16_2d"},
                    type_case{sample_type::uint16, sample_type::float64, {1, 17}, {1, 40}, "u16_to_f64_row"},
                    type_case{sample_type::float32, sample_type::uint8, {5, 7}, {3, 12}, "f32_to_u8"},
                    type_case{sample_type::float64, sample_type::float64, {31}, {97}, "f64_1d"},
                    type_case{sample_type::float64, sample_type::uint16, {4, 5, 6}, {7, 3, 9}, "f64_3d"},
                    type_case{sample_type::float32, sample_type::float32, {2, 3, 5, 4}, {2, 6, 5, 7}, "f32_4d"},
                    type_case{sample_type::float64, sample_type::uint8, {3, 4}, {3, 4}, "f64_copy"}),
    [](const testing::TestParamInfo<type_case>& info) { return info.param.name; });

struct huge_case {
    std::vector<std::int64_t> from, to;
    double constant;  // every sample; 0: random, up to half the largest double in magnitude
    sample_type out;
    std::string name;
};

class library_huge : public testing::TestWithParam<huge_case> {};

// Finite samples near the largest double give what the formula gives:
// float64 finite, float32 infinite beyond its range, integers clipped.
TEST_P(library_huge, samples_near_the_largest_double_give_the_exact_result)
{
    const huge_case& c = GetParam();
    grid in = random_grid(c.from, 1000, 13);
    for (long double& v : in.values)
        v = c.constant != 0 ? c.constant : (v - 500) * (std::numeric_limits<double>::max() / 1000);
    const grid want = exact_resize(in, c.to);
    std::vector<double> source = samples_of<double>(in), got(want.values.size());
    std::vector<float> got32(got.size());
    std::vector<std::uint8_t> got8(got.size());
    void* out = c.out == sample_type::float64 ? static_cast<void*>(got.data())
                : c.out == sample_type::float32 ? static_cast<void*>(got32.data()) : got8.data();
    const velmora::result r = velmora::resize(view_of(source.data(), sample_type::float64, c.from),
                                              view_of(out, c.out, c.to));
    ASSERT_TRUE(r) << r.message;
    const long double top = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i < got.size(); ++i) {
        const long double w = want.values[i];
        if (c.out == sample_type::float64)
            ASSERT_NEAR(got[i] / top, w / top, 1e-12) << i;
        else if (c.out == sample_type::float32)
            ASSERT_EQ(got32[i], std::copysign(std::numeric_limits<float>::infinity(), static_cast<float>(w))) << i;
        else
            ASSERT_EQ(got8[i], 255) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    library, library_huge,
    testing::Values(huge_case{{10}, {20}, 1.7e308, sample_type::float64, "constant_doubled"},
                    huge_case{{1000}, {3000}, 1e306, sample_type::float64, "constant_long_line"},
                    huge_case{{37}, {50}, 0, sample_type::float64, "random_line"},
                    huge_case{{3, 23, 17}, {3, 31, 12}, 0, sample_type::float64, "random_frames"},
                    huge_case{{6}, {9}, -1.7e308, sample_type::float32, "float32_beyond_its_range"},
                    huge_case{{5}, {8}, 1.7e308, sample_type::uint8, "uint8_clipped"}),
    [](const testing::TestParamInfo<huge_case>& info) { return info.param.name; });

std::vector<double> resized_doubles(std::vector<double> x, const std::vector<std::int64_t>& from,
                                    const std::vector<std::int64_t>& to, velmora::pairing pairing)
{
    std::vector<double> out(static_cast<std::size_t>(to[0] * to[1] * to[2]));
    velmora::settings how;
    how.pairing = pairing;
    EXPECT_TRUE(velmora::resize(view_of(x.data(), sample_type::float64, from),
                                view_of(out.data(), sample_type::float64, to), how));
    return out;
}

TEST(library, powers_of_two_scale_results_exactly_up_to_the_largest_double)
{
    // Three frames of 7 x 9, so that pairs across sets join frames. Scaled
    // by 2^1013, the samples (up to 500) come within a factor 2 of the
    // largest double.
    const std::vector<std::int64_t> from{3, 7, 9}, to{3, 10, 5};
    const int k = 1013;
    std::vector<double> x = samples_of<double>(random_grid(from, 1000, 17));
    for (double& v : x)
        v -= 500;
    auto scaled = [&](std::vector<double> v, std::size_t end) {
        for (std::size_t i = 0; i < end; ++i)
            v[i] = std::ldexp(v[i], k);
        return v;
    };
    // Within sets only the first frame is scaled; the others keep their
    // bytes. Across sets one scale serves all.
    const auto plain = resized_doubles(x, from, to, velmora::pairing::within_sets);
    EXPECT_EQ(resized_doubles(scaled(x, 7 * 9), from, to, velmora::pairing::within_sets), scaled(plain, 10 * 5));
    const auto across = resized_doubles(x, from, to, velmora::pairing::across_sets);
    EXPECT_EQ(resized_doubles(scaled(x, x.size()), from, to, velmora::pairing::across_sets),
              scaled(across, across.size()));
}

// Doubles out, whose last bits show any difference in the pairing.
std::vector<double> resized_samples(const velmora::array_view& in, const std::vector<std::int64_t>& to, int threads,
                                    velmora::thread_team* team = nullptr)
{
    std::vector<double> out(static_cast<std::size_t>(to[0] * to[1] * to[2]));
    velmora::settings how;
    how.threads = threads;
    how.team = team;
    EXPECT_TRUE(velmora::resize(in, view_of(out.data(), sample_type::float64, to), how));
    return out;
}

// The stack below one axis at a time: forward along x (lines numbered by
// y) and y (by x), then back along x and y. The forward pass along y runs
// as two blocks of x, cut at an even index of x (the pair axis), the
// inverse along x as two blocks of frames.
std::vector<double> axis_by_axis(std::vector<double> samples)
{
    std::vector<double> rows(5 * 21 * 10), band(rows.size()), widened(rows.size()), out(5 * 30 * 10);
    const auto along = [](int axis, int line_axis) {
        velmora::axis_lines lines;
        lines.axis = axis;
        lines.line_axes = 1u << line_axis;
        return lines;
    };
    // The x range [from, from + width) of a 5 x 21 x 10 array of doubles.
    const auto columns = [](std::vector<double>& data, std::int64_t from, std::int64_t width) {
        velmora::array_view v = view_of(data.data() + from, sample_type::float64, {5, 21, 10});
        v.sizes[2] = width;
        return v;
    };
    EXPECT_TRUE(velmora::forward_axis(view_of(samples.data(), sample_type::float64, {5, 21, 17}),
                                      view_of(rows.data(), sample_type::float64, {5, 21, 10}), along(2, 1)));
    for (const std::int64_t from : {0, 4})
        EXPECT_TRUE(velmora::forward_axis(columns(rows, from, from ? 6 : 4), columns(band, from, from ? 6 : 4),
                                          along(1, 2)));
    for (const std::int64_t frame : {0, 3}) {
        const std::int64_t frames = frame ? 2 : 3, offset = frame * 21 * 10;
        EXPECT_TRUE(velmora::inverse_axis(view_of(band.data() + offset, sample_type::float64, {frames, 21, 10}),
                                          view_of(widened.data() + offset, sample_type::float64, {frames, 21, 10}),
                                          17, along(2, 1)));
    }
    EXPECT_TRUE(velmora::inverse_axis(view_of(widened.data(), sample_type::float64, {5, 21, 10}),
                                      view_of(out.data(), sample_type::float64, {5, 30, 10}), 21, along(1, 2)));
    return out;
}

TEST(library, views_threads_splits_and_single_axis_passes_change_no_byte)
{
    // A stack of 5 float64 frames, 21 x 17, each resized to 30 x 10: 21
    // rows a frame, so a pair that ran on across frames would show in the
    // last bits wherever a split leaves an odd number of rows before it.
    const grid in = random_grid({5, 21, 17}, 255, 3);
    std::vector<double> plain = samples_of<double>(in);
    const std::vector<std::int64_t> to{5, 30, 10};
    const auto want = resized_samples(view_of(plain.data(), sample_type::float64, {5, 21, 17}), to, 1);
    velmora::thread_team team;
    ASSERT_TRUE(velmora::make_thread_team(&team, 3));

    // The same samples stored transposed (x, frame, y) and read back through
    // a permuted view; then flipped in y and read through a negative stride.
    std::vector<double> transposed(plain.size()), flipped(plain.size());
    for (int f = 0; f < 5; ++f)
        for (int y = 0; y < 21; ++y)
            for (int x = 0; x < 17; ++x) {
                transposed[(x * 5 + f) * 21 + y] = plain[(f * 21 + y) * 17 + x];
                flipped[(f * 21 + (20 - y)) * 17 + x] = plain[(f * 21 + y) * 17 + x];
            }
    velmora::array_view t = view_of(transposed.data(), sample_type::float64, {5, 21, 17});
    t.strides[0] = 21 * 8, t.strides[1] = 8, t.strides[2] = 5 * 21 * 8;
    velmora::array_view f = view_of(flipped.data(), sample_type::float64, {5, 21, 17});
    f.data = flipped.data() + 20 * 17;
    f.strides[1] = -17 * 8;
    // Frames 0, 1-2 and 3-4 resized apart: cuts after 21 and 63 rows.
    const auto frames_apart = [&] {
        std::vector<double> joined;
        for (const auto& [first, count] : {std::pair{0, 1}, {1, 2}, {3, 2}}) {
            const auto part = resized_samples(view_of(plain.data() + first * 21 * 17, sample_type::float64,
                                                      {count, 21, 17}), {count, 30, 10}, 2);
            joined.insert(joined.end(), part.begin(), part.end());
        }
        return joined;
    };
    const struct {
        const char* name;
        std::vector<double> samples;
    } ways[] = {
        {"transposed, 1 thread", resized_samples(t, to, 1)},
        {"transposed, 3 threads", resized_samples(t, to, 3)},
        {"flipped, 1 thread", resized_samples(f, to, 1)},
        {"flipped, 3 threads", resized_samples(f, to, 3)},
        {"flipped, on a borrowed team", resized_samples(f, to, 0, &team)},
        {"frames apart", frames_apart()},
        {"one axis at a time, in blocks", axis_by_axis(plain)},
    };
    for (const auto& way : ways)
        EXPECT_EQ(std::memcmp(way.samples.data(), want.data(), want.size() * sizeof(double)), 0) << way.name;
}

TEST(library, pairs_across_sets_keep_their_bytes_in_blocks_of_any_size)
{
    // 1000 rows of 3000 resized to 3100, rows paired (0, 1), (2, 3), ...
    // across sets: the whole array is done in blocks of rows, and no block
    // may part a pair, so the rows resized in pieces cut at even rows give
    // the same bytes.
    const std::int64_t rows = 1000;
    std::vector<double> in = samples_of<double>(random_grid({rows, 3000}, 1000, 23)), whole(rows * 3100);
    velmora::settings across;
    across.pairing = velmora::pairing::across_sets;
    across.threads = 2;
    ASSERT_TRUE(velmora::resize(view_of(in.data(), sample_type::float64, {rows, 3000}),
                                view_of(whole.data(), sample_type::float64, {rows, 3100}), across));
    for (std::int64_t first = 0; first < rows; first += 250) {
        std::vector<double> piece(250 * 3100);
        ASSERT_TRUE(velmora::resize(view_of(in.data() + first * 3000, sample_type::float64, {250, 3000}),
                                    view_of(piece.data(), sample_type::float64, {250, 3100}), across));
        EXPECT_EQ(std::memcmp(piece.data(), whole.data() + first * 3100, piece.size() * sizeof(double)), 0)
            << "rows " << first << " on";
    }
}

TEST(library, concurrent_calls_give_the_bytes_of_one_call_at_a_time)
{
    const grid in = random_grid({40, 33}, 1000, 11);
    std::vector<double> samples = samples_of<double>(in);
    const auto view = view_of(samples.data(), sample_type::float64, {40, 33});
    std::vector<double> alone(70 * 51);
    ASSERT_TRUE(velmora::resize(view, view_of(alone.data(), sample_type::float64, {70, 51})));
    std::vector<std::vector<double>> outs(6, std::vector<double>(alone.size()));
    std::vector<std::thread> callers;
    for (int c = 0; c < 6; ++c)
        callers.emplace_back([&, c] {
            velmora::settings how;
            how.threads = 1 + c % 3;
            EXPECT_TRUE(velmora::resize(view, view_of(outs[c].data(), sample_type::float64, {70, 51}), how));
        });
    for (std::thread& t : callers)
        t.join();
    for (const auto& out : outs)
        EXPECT_EQ(std::memcmp(out.data(), alone.data(), alone.size() * sizeof(double)), 0);
}

TEST(library, a_team_runs_every_unit_once_on_its_threads)
{
    velmora::thread_team team, empty;
    ASSERT_TRUE(velmora::make_thread_team(&team, 4));
    ASSERT_EQ(velmora::team_threads(team), 4);
    for (velmora::thread_team* t : {&team, &empty}) {
        struct tally {
            std::atomic<int> runs[1000];
            std::atomic<int> bad_thread{0};
            int threads;
        } counted{{}, {0}, std::max(1, velmora::team_threads(*t))};
        velmora::run_units(*t, 1000, [](void* context, int thread, std::int64_t unit) {
            auto* c = static_cast<tally*>(context);
            c->runs[unit].fetch_add(1);
            if (thread < 0 || thread >= c->threads)
                c->bad_thread.fetch_add(1);
        }, &counted);
        EXPECT_EQ(std::count_if(std::begin(counted.runs), std::end(counted.runs), [](const auto& r) { return r == 1; }),
                  1000);
        EXPECT_EQ(counted.bad_thread, 0);
    }
}

TEST(library, a_picture_equals_the_command_lines)
{
    const std::string dir = make_scratch_dir();
    const auto pixels = pattern_picture(23, 14);
    write_file(dir + "/in.bmp", make_bmp(pixels));
    const tool_result run = run_tool({"-i", "in.bmp", "-o", "out", "-sizexminus", "18", "-sizexminusy", "-3"}, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    const bytes file = read_file(dir + "/out.bmp");
    remove_tree(dir);
    std::vector<std::uint8_t> rgb;
    for (const auto& row : pixels)
        for (const bgr& p : row)
            rgb.insert(rgb.end(), {p.r, p.g, p.b});
    std::vector<std::uint8_t> out(11 * 41 * 3);
    velmora::settings how;
    how.rounding = velmora::rounding::truncate;
    ASSERT_TRUE(velmora::resize(view_of(rgb.data(), sample_type::uint8, {14, 23, 3}),
                                view_of(out.data(), sample_type::uint8, {11, 41, 3}), how));
    const std::size_t stride = (41 * 3 + 3) / 4 * 4;
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 41; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(file[54 + (10 - y) * stride + 3 * x + 2 - c], out[(y * 41 + x) * 3 + c]) << y << " " << x;
}

void record(const velmora::progress_event& e, void* user)
{
    static const char* const names[] = {"block", "fwd", "fwd_end", "inv", "inv_end", "block_end"};
    *static_cast<std::string*>(user) += std::string(names[static_cast<int>(e.stage)]) + ":" +
                                        std::to_string(e.axis) + ":" + std::to_string(e.first_set) + "+" +
                                        std::to_string(e.set_count) + "/" + std::to_string(e.total_sets) + " ";
}

TEST(library, progress_names_each_pass_last_axis_first)
{
    std::vector<float> in(2 * 4 * 3 * 5), out(2 * 6 * 3 * 2);
    std::string events;
    velmora::settings how;
    how.progress = record;
    how.progress_user = &events;
    ASSERT_TRUE(velmora::resize(view_of(in.data(), sample_type::float32, {2, 4, 3, 5}),
                                view_of(out.data(), sample_type::float32, {2, 6, 3, 2}), how));
    EXPECT_EQ(events, "block:-1:0+6/6 fwd:3:0+6/6 fwd_end:3:0+6/6 fwd:1:0+6/6 fwd_end:1:0+6/6 "
                      "inv:3:0+6/6 inv_end:3:0+6/6 inv:1:0+6/6 inv_end:1:0+6/6 block_end:-1:0+6/6 ");
}

TEST(library, a_raised_stop_flag_cancels_a_run_and_the_plan_runs_again)
{
    // About a second's work; the flag goes up once the first pass runs.
    const std::vector<std::int64_t> from{1536, 1536}, to{2300, 2300};
    std::vector<float> in = samples_of<float>(random_grid(from, 255, 19)), out(2300 * 2300), fresh(out.size());
    std::atomic<bool> stop{false}, running{false};
    velmora::settings how;
    how.threads = 2;
    how.stop = &stop;
    how.progress = [](const velmora::progress_event&, void* user) {
        static_cast<std::atomic<bool>*>(user)->store(true);
    };
    how.progress_user = &running;
    velmora::plan plan;
    ASSERT_TRUE(velmora::make_plan(&plan, view_of(in.data(), sample_type::float32, from),
                                   view_of(out.data(), sample_type::float32, to), how));
    std::chrono::steady_clock::time_point raised;
    std::thread stopper([&] {
        while (!running.load())
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        raised = std::chrono::steady_clock::now();
        stop.store(true);
    });
    const velmora::result r = velmora::run(plan, view_of(in.data(), sample_type::float32, from),
                                           view_of(out.data(), sample_type::float32, to));
    const auto ended = std::chrono::steady_clock::now();
    stopper.join();
    EXPECT_EQ(r.code, status::cancelled) << r.message;
    EXPECT_STREQ(r.message, "the resize was stopped on request");
    EXPECT_LT(ended - raised, std::chrono::milliseconds(250));
    stop.store(false);
    ASSERT_TRUE(velmora::run(plan, view_of(in.data(), sample_type::float32, from),
                             view_of(out.data(), sample_type::float32, to)));
    ASSERT_TRUE(velmora::resize(view_of(in.data(), sample_type::float32, from),
                                view_of(fresh.data(), sample_type::float32, to)));
    EXPECT_EQ(std::memcmp(out.data(), fresh.data(), out.size() * sizeof(float)), 0);
}

TEST(library, plan_bytes_count_the_work_arrays_and_each_threads_workspace)
{
    // 300 x 200 -> 600 x 500, rows first: the work arrays take turns holding
    // 300 rows of 200 coefficients, then 200 x 300 2-D coefficients, then
    // 300 rows of 500 samples: 150000 and 60000 doubles.
    const std::size_t work = (150000 + 60000) * sizeof(double);
    std::vector<float> in(300 * 200), out(600 * 500);
    std::size_t bytes[2] = {};
    for (int threads : {1, 2}) {
        velmora::settings how;
        how.threads = threads;
        velmora::plan plan;
        ASSERT_TRUE(velmora::make_plan(&plan, view_of(in.data(), sample_type::float32, {300, 200}),
                                       view_of(out.data(), sample_type::float32, {600, 500}), how));
        bytes[threads - 1] = velmora::plan_bytes(plan);
        EXPECT_GE(bytes[threads - 1], work);
        EXPECT_LT(bytes[threads - 1], work + (std::size_t{1} << 20));
    }
    EXPECT_GT(bytes[1], bytes[0]);  // a workspace per thread
    EXPECT_EQ(velmora::plan_bytes(velmora::plan{}), 0u);
}

TEST(library, the_longest_axis_is_resized_exactly)
{
    // 2^20 samples to a prime length (FFTs of 2^22 points). The input is a
    // sum of cosine modes, whose resize is known: a mode below the new size
    // is the same cosine sampled at x' n / n', a mode above it vanishes.
    const std::int64_t n = velmora::max_axis_length, m = 999983;
    const struct {
        long double k, amplitude;
    } modes[] = {{0, 3.0L}, {1, 1.0L}, {1000, 0.5L}, {654321, 0.25L}, {999990, 2.0L}};
    const long double pi = std::numbers::pi_v<long double>;
    auto wave = [&](long double position, bool resized) {
        long double sum = 0;
        for (const auto& mode : modes)
            if (!resized || mode.k < m)
                sum += mode.amplitude * std::cos(pi * mode.k * (2 * position + 1) / (2 * n));
        return sum;
    };
    std::vector<double> in(n), out(m);
    for (std::int64_t j = 0; j < n; ++j)
        in[j] = static_cast<double>(wave(j, false));
    velmora::settings how;
    how.threads = 2;
    ASSERT_TRUE(velmora::resize(view_of(in.data(), sample_type::float64, {n}),
                                view_of(out.data(), sample_type::float64, {m}), how));
    double worst = 0;
    for (std::int64_t s = 0; s < m; ++s)
        worst = std::max(worst, std::fabs(out[s] - static_cast<double>(wave(static_cast<long double>(s) * n / m, true))));
    EXPECT_LT(worst, 1e-9 * 11.5);  // of the range of the input
}

#ifndef VELMORA_SANITIZED
TEST(library, exhausted_memory_names_the_array)
{
    // 1024 x 1024 to 2^20 x 2^20: the widened rows would take 8 GiB of
    // doubles, beyond the address space allowed here (a system that
    // overcommits would hand them out). Neither array is touched before
    // that fails, so they can be bare addresses.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    rlimit capped = saved;
    capped.rlim_cur = std::uint64_t{4} << 30;
    ASSERT_EQ(setrlimit(RLIMIT_AS, &capped), 0);
    velmora::array_view in = view_of(reinterpret_cast<void*>(std::uintptr_t{1} << 40), sample_type::uint8,
                                     {1024, 1024});
    velmora::array_view out = view_of(reinterpret_cast<void*>(std::uintptr_t{1} << 52), sample_type::uint8,
                                      {1 << 20, 1 << 20});
    const velmora::result r = velmora::resize(in, out);
    setrlimit(RLIMIT_AS, &saved);
    EXPECT_EQ(r.code, status::no_memory) << r.message;
    EXPECT_STREQ(r.name, "rows");
}
#endif

// velmora/samples.h: the sample rule at its edges, against values worked
// out by hand (float32 as NumPy's astype rounds), and each type visited,
// stored and read back.
TEST(samples, the_rule_clips_rounds_and_saturates_at_the_edges)
{
    using velmora::rounding;
    const struct {
        double value;
        int truncated, nearest;
    } cases[] = {{255.0, 255, 255}, {1e300, 255, 255}, {254.99, 254, 255}, {254.5, 254, 255}, {0.7, 0, 1},
                 {0.0, 0, 0},       {-0.0, 0, 0},      {-3.5, 0, 0},       {128.5, 128, 129}, {128.49, 128, 128},
                 {-0.5, 0, 0},      {1.0, 1, 1},       {HUGE_VAL, 255, 255}, {-HUGE_VAL, 0, 0}, {NAN, 0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(velmora::to_sample<std::uint8_t>(c.value, rounding::truncate), c.truncated) << c.value;
        EXPECT_EQ(velmora::to_sample<std::uint8_t>(c.value, rounding::nearest), c.nearest) << c.value;
    }
    EXPECT_EQ(velmora::to_sample<std::uint16_t>(65534.5, rounding::truncate), 65534);
    EXPECT_EQ(velmora::to_sample<std::uint16_t>(65534.5, rounding::nearest), 65535);
    EXPECT_EQ(velmora::to_sample<std::uint16_t>(1e6, rounding::nearest), 65535);
    EXPECT_EQ(velmora::to_sample<std::uint16_t>(NAN, rounding::nearest), 0);
    // Past the largest float: below the tie down to it, from the tie on an
    // infinity; ties to even inside the range.
    constexpr float top = std::numeric_limits<float>::max(), infinity = std::numeric_limits<float>::infinity();
    EXPECT_EQ(velmora::to_sample<float>(0x1.fffffefffffffp+127), top);
    EXPECT_EQ(velmora::to_sample<float>(-0x1.ffffffp+127), -infinity);
    EXPECT_EQ(velmora::to_sample<float>(1e300), infinity);
    EXPECT_EQ(velmora::to_sample<float>(1.0 + 0x1p-24), 1.0f);
    EXPECT_TRUE(std::isnan(velmora::to_sample<float>(NAN)));

    const struct {
        sample_type type;
        std::size_t size;
        double read_back;  // 200.6 stored, nearest
    } types[] = {{sample_type::uint8, 1, 201.0},
                 {sample_type::uint16, 2, 201.0},
                 {sample_type::float32, 4, static_cast<double>(200.6f)},
                 {sample_type::float64, 8, 200.6}};
    for (const auto& t : types) {
        EXPECT_EQ(velmora::visit_sample_type(t.type, []<typename Sample>() { return velmora::sample_type_of<Sample>; }),
                  t.type);
        EXPECT_EQ(velmora::visit_sample_type(t.type, []<typename Sample>() { return sizeof(Sample); }), t.size);
        unsigned char at[9] = {};
        velmora::store_sample(at + 1, t.type, 200.6, rounding::nearest);  // unaligned on purpose
        EXPECT_EQ(velmora::load_sample(at + 1, t.type), t.read_back);
    }
}

TEST(library, every_failure_comes_back_with_its_code_and_message)
{
    float a[64] = {}, b[64] = {};
    auto v = [](float* data, std::vector<std::int64_t> sizes) { return view_of(data, sample_type::float32, sizes); };
    velmora::array_view rank9 = v(a, {1}), flat = v(b, {8, 8});
    rank9.rank = 9;
    velmora::array_view aliased = v(b, {4, 4});
    aliased.strides[0] = 0;
    velmora::array_view flipped = v(a + 56, {8, 8});  // rows last to first: the view spans a[0, 64)
    flipped.strides[0] = -8 * 4;
    velmora::array_view too_long = v(b, {1});
    too_long.sizes[0] = velmora::max_axis_length + 1;
    float nan_at[6] = {0, 0, 0, 0, NAN, 0}, inf_at[6] = {0, std::numeric_limits<float>::infinity()};
    velmora::settings many;
    many.threads = 257;
    velmora::thread_team two, never_made;
    ASSERT_TRUE(velmora::make_thread_team(&two, 2));
    velmora::settings three_on_two, unmade;
    three_on_two.threads = 3;
    three_on_two.team = &two;
    unmade.team = &never_made;
    const struct {
        velmora::array_view in, out;
        velmora::settings how;
        status code;
        const char* message;
    } cases[] = {
        {v(nullptr, {4}), v(b, {6}), {}, status::null_data, "the input's data pointer is null"},
        {v(a, {4}), v(nullptr, {6}), {}, status::null_data, "the output's data pointer is null"},
        {rank9, v(b, {6}), {}, status::bad_rank, "the input has rank 9; ranks go from 1 to 8"},
        {v(a, {4}), flat, {}, status::bad_rank, "the input has rank 1 and the output rank 2"},
        {v(a, {4, 0}), v(b, {4, 2}), {}, status::bad_size, "axis 1 of the input has size 0; sizes start at 1"},
        {v(a, {4}), too_long, {}, status::bad_size,
         "axis 0 changes from 4 to 1048577 samples; the longest axis that changes size is 1048576"},
        {v(a, {4, 4}), aliased, {}, status::bad_view, "the output's strides make samples share memory"},
        {v(a, {8, 8}), v(a + 32, {4, 4}), {}, status::overlap, "the output's memory overlaps the input's"},
        {flipped, v(a + 8, {4, 4}), {}, status::overlap, "the output's memory overlaps the input's"},
        {v(nan_at, {2, 3}), v(b, {4, 3}), {}, status::not_finite, "the input holds a NaN at index (1, 1)"},
        {v(inf_at, {6}), v(b, {3}), {}, status::not_finite, "the input holds an infinity at index (1)"},
        {v(a, {4}), v(b, {6}), many, status::bad_settings, "a thread count of 257 is outside 0 to 256"},
        {v(a, {4}), v(b, {6}), three_on_two, status::bad_settings, "a thread count of 3 differs from the team's 2"},
        {v(a, {4}), v(b, {6}), unmade, status::bad_settings, "the team was never made"},
    };
    for (const auto& c : cases) {
        const velmora::result r = velmora::resize(c.in, c.out, c.how);
        EXPECT_EQ(r.code, c.code) << c.message;
        EXPECT_STREQ(r.message, c.message);
    }
    // Searched in ranges on the threads, the first in row-major order wins.
    std::vector<float> big(1000 * 300, 1.0f), bigger(1000 * 301);
    big[950 * 300 + 3] = std::numeric_limits<float>::infinity();
    big[900 * 300 + 7] = NAN;
    const velmora::result late = velmora::resize(v(big.data(), {1000, 300}), v(bigger.data(), {1000, 301}));
    EXPECT_STREQ(late.message, "the input holds a NaN at index (900, 7)");
    velmora::plan plan;
    ASSERT_TRUE(velmora::make_plan(&plan, v(a, {4}), v(b, {6})));
    const velmora::result r = velmora::run(plan, v(a, {5}), v(b, {6}));
    EXPECT_EQ(r.code, status::plan_mismatch);

    // The single-axis passes' own checks.
    double coefficients[64] = {};
    float negative[4] = {1, -1, 0, 0};
    const auto d = [&](std::vector<std::int64_t> sizes) { return view_of(coefficients, sample_type::float64, sizes); };
    velmora::axis_lines rows;
    rows.axis = 1;
    velmora::axis_lines own = rows, wrong_largest = rows, negative_largest = rows;
    own.line_axes = 2u;
    wrong_largest.largest = v(negative, {4, 4});
    negative_largest.largest = v(negative, {4, 1});
    velmora::settings across;
    across.pairing = velmora::pairing::across_sets;
    const struct {
        velmora::result r;
        const char* message;
    } axis_cases[] = {
        {velmora::forward_axis(v(a, {4, 4}), d({4, 5}), rows),
         "5 coefficients along axis 1 from 4 samples; a forward pass keeps at most as many as there are samples"},
        {velmora::inverse_axis(d({4, 4}), v(b, {4, 6}), 5, rows),
         "4 coefficients along axis 1; a resize from 5 to 6 samples keeps 5"},
        {velmora::forward_axis(v(a, {4, 4}), d({3, 4}), rows),
         "axis 0 has size 4 in the input and 3 in the output; only the pass's axis 1 changes"},
        {velmora::forward_axis(v(a, {4, 4}), d({4, 4}), own),
         "the line axes must be axes of the arrays other than the pass's axis 1"},
        {velmora::forward_axis(v(a, {4, 4}), v(b, {4, 4}), rows), "the coefficients must be float64"},
        {velmora::forward_axis(v(a, {4, 4}), d({4, 4}), wrong_largest),
         "the largest magnitudes have size 4 along axis 1; it must be 1"},
        {velmora::forward_axis(v(a, {4, 4}), d({4, 4}), negative_largest),
         "set 1's largest magnitude is -1; it must be finite and not negative"},
        {velmora::forward_axis(v(a, {4, 4}), d({4, 4}), rows, across), "a single-axis pass pairs lines within sets only"},
    };
    for (const auto& c : axis_cases)
        EXPECT_STREQ(c.r.message, c.message);
}

}  // namespace
