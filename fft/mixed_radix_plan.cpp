#include "fft/mixed_radix_plan.h"

#include <cmath>
#include <numbers>

#include "fft/mixed_radix_entries.h"

namespace velmora::detail {

namespace {

// Values computed between two questions to the stop poll.
constexpr std::int64_t poll_values = std::int64_t{1} << 13;

// The roots exp(-2 pi i t / N), t < N, from a table of the first turn
// segment that the symmetries of N reach: w^(N-t) = conj(w^t) always, and
// when 4 | N and 8 | N also w^(N/2-t) = -conj(w^t) and w^(N/4-t) =
// -i conj(w^t). Each table entry is computed in long double and rounded
// once, and the symmetries are exact, so equal roots are equal bits and
// w^(N/4) is exactly -i.
struct roots {
    std::int64_t N;
    std::int64_t last;        // the table covers t = 0 .. last
    velmora::buffer<double> cos_sin;  // cos, sin of 2 pi t / N, interleaved

    bool make(std::int64_t points, const stop_poll* poll)
    {
        N = points;
        last = N % 8 == 0 ? N / 8 : N % 4 == 0 ? N / 4 : N / 2;
        cos_sin = velmora::make_buffer<double>(2 * static_cast<std::size_t>(last + 1));
        if (!cos_sin)
            return false;
        for (std::int64_t t = 0; t <= last; ++t) {
            if (t % poll_values == 0 && stop_requested(poll))
                return false;
            const long double angle =
                2 * std::numbers::pi_v<long double> * static_cast<long double>(t) / static_cast<long double>(N);
            cos_sin[2 * t] = static_cast<double>(std::cos(angle));
            cos_sin[2 * t + 1] = static_cast<double>(std::sin(angle));
        }
        return true;
    }

    // exp(-2 pi i t / N) for 0 <= t < N.
    void root(std::int64_t t, double* re, double* im) const
    {
        const bool lower_half = 2 * t <= N;
        std::int64_t u = lower_half ? t : N - t;  // cos(2 pi u/N), sin = -+ sin(2 pi u/N)
        double c, s;
        bool negate_cos = false;
        if (N % 4 == 0 && 4 * u > N) {
            u = N / 2 - u;
            negate_cos = true;
        }
        if (N % 8 == 0 && 8 * u > N) {
            c = cos_sin[2 * (N / 4 - u) + 1];
            s = cos_sin[2 * (N / 4 - u)];
        } else {
            c = cos_sin[2 * u];
            s = cos_sin[2 * u + 1];
        }
        *re = negate_cos ? -c : c;
        *im = lower_half ? -s : s;
    }
};

// The radices of N from the outer level in, or -1 when N has another
// prime factor. The outer levels pass over the whole line, so they take
// the largest radices; the inner ones run in the cache.
int factor(std::int32_t N, int* radices)
{
    int count = 0;
    std::int32_t rest = N;
    int twos = 0;
    while (rest % 2 == 0) {
        rest /= 2;
        ++twos;
    }
    // Eights where they fit, the rest as one four, two fours (rather than an
    // eight and a two), or a lone two.
    int eights = twos / 3;
    int fours = twos % 3 == 2 ? 1 : 0;
    if (twos % 3 == 1 && eights > 0) {
        --eights;
        fours = 2;
    }
    for (int i = 0; i < eights; ++i)
        radices[count++] = 8;
    for (int r : {5, 3})
        for (std::int32_t left = rest; left % r == 0; left /= r)
            radices[count++] = r;
    for (int i = 0; i < fours; ++i)
        radices[count++] = 4;
    if (twos == 1)
        radices[count++] = 2;
    for (int r : {3, 5})
        while (rest % r == 0)
            rest /= r;
    return rest == 1 ? count : -1;
}

// Points per block of each level: points[i] = radices[i] ... radices[count-1].
void level_points(const int* radices, int count, std::int64_t* points)
{
    points[count] = 1;
    for (int i = count - 1; i >= 0; --i)
        points[i] = points[i + 1] * radices[i];
}

std::size_t twiddle_doubles(const int* radices, int count)
{
    std::int64_t points[mixed_radix_max_levels + 1];
    level_points(radices, count, points);
    std::size_t doubles = 0;
    for (int i = 0; i < count; ++i)
        doubles += 2 * static_cast<std::size_t>(radices[i] - 1) * static_cast<std::size_t>(points[i + 1]);
    return doubles;
}

bool fill_twiddles(const int* radices, int count, const roots& w, double* tw, const stop_poll* poll)
{
    std::int64_t points[mixed_radix_max_levels + 1];
    level_points(radices, count, points);
    for (int i = 0; i < count; ++i) {
        const std::int64_t stride = points[0] / points[i];  // w_n = w_N^stride
        for (std::int64_t k = 0; k < points[i + 1]; ++k) {
            if (k % poll_values == poll_values - 1 && stop_requested(poll))
                return false;
            for (int j = 1; j < radices[i]; ++j, tw += 2)
                w.root(j * k * stride, &tw[0], &tw[1]);
        }
    }
    return true;
}

// Point q of the first level sits at j_0 M_0 + j_1 M_1 + ... (M_i the
// points of a level-i sub-block) and takes input j_0 + r_0 (j_1 + r_1 (...)).
bool fill_permutation(const int* radices, int count, std::int32_t* from, const stop_poll* poll)
{
    std::int64_t points[mixed_radix_max_levels + 1];
    level_points(radices, count, points);
    for (std::int64_t q = 0; q < points[0]; ++q) {
        if (q % poll_values == poll_values - 1 && stop_requested(poll))
            return false;
        std::int64_t rest = q, input = 0, weight = 1;
        for (int i = 0; i < count; ++i) {
            input += rest / points[i + 1] * weight;
            rest %= points[i + 1];
            weight *= radices[i];
        }
        from[q] = static_cast<std::int32_t>(input);
    }
    return true;
}

void transform(const mixed_radix_plan& plan, lane_path path, int sign, const double* in, double* out)
{
    static constexpr lane_builds<mixed_radix_entry> transforms = VELMORA_LANE_BUILDS(mixed_radix_transform_lanes);
    lane_build(transforms, path)(mixed_radix_steps_of(plan), sign, in, out);
}

}  // namespace

int mixed_radix_levels(std::int32_t points, int radices[mixed_radix_max_levels])
{
    return points >= 1 && points <= mixed_radix_max_points ? factor(points, radices) : -1;
}

bool mixed_radix_plan_build(mixed_radix_plan* plan, std::int32_t points, const stop_poll* poll)
{
    *plan = mixed_radix_plan{};
    int radices[mixed_radix_max_levels];
    const int count = mixed_radix_levels(points, radices);
    if (count < 0)
        return false;
    velmora::buffer<double> twiddles = velmora::make_buffer<double>(twiddle_doubles(radices, count));
    velmora::buffer<std::int32_t> from = velmora::make_buffer<std::int32_t>(static_cast<std::size_t>(points));
    roots w;
    if (!twiddles || !from || !w.make(points, poll) || !fill_twiddles(radices, count, w, twiddles.get(), poll) ||
        !fill_permutation(radices, count, from.get(), poll))
        return false;
    plan->points = points;
    plan->level_count = count;
    for (int i = 0; i < count; ++i)
        plan->radices[i] = radices[i];
    plan->twiddles = std::move(twiddles);
    plan->from = std::move(from);
    return true;
}

std::size_t mixed_radix_plan_bytes(const mixed_radix_plan& plan)
{
    if (plan.points == 0)
        return 0;
    return velmora::buffer_bytes<double>(twiddle_doubles(plan.radices, plan.level_count)) +
           velmora::buffer_bytes<std::int32_t>(static_cast<std::size_t>(plan.points));
}

mixed_radix_steps mixed_radix_steps_of(const mixed_radix_plan& plan)
{
    return mixed_radix_steps{plan.points, plan.level_count, plan.radices, plan.twiddles.get(), plan.from.get()};
}

std::size_t mixed_radix_line_doubles(const mixed_radix_plan& plan, lane_path path)
{
    return 2 * static_cast<std::size_t>(plan.points) * static_cast<std::size_t>(lane_width(path));
}

void mixed_radix_forward(const mixed_radix_plan& plan, lane_path path, const double* in, double* out)
{
    transform(plan, path, -1, in, out);
}

void mixed_radix_backward(const mixed_radix_plan& plan, lane_path path, const double* in, double* out)
{
    transform(plan, path, 1, in, out);
}

}  // namespace velmora::detail
