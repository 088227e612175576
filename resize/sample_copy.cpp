#include "resize/sample_copy.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "velmora/samples.h"

namespace velmora::detail {

namespace {

// Samples between two questions to the stop poll: well under a millisecond.
constexpr std::int64_t poll_samples = std::int64_t{1} << 16;

// Calls row(in_start, out_start) for every run along the last axis, in
// row-major order; index[] holds the run's index on the other axes.
template <typename Row>
void for_each_row(const array_view& in, const array_view* out, std::int64_t* index, Row row)
{
    const int last = in.rank - 1;
    for (int a = 0; a < in.rank; ++a)
        index[a] = 0;
    for (;;) {
        const unsigned char* from = static_cast<const unsigned char*>(in.data);
        unsigned char* to = out ? static_cast<unsigned char*>(out->data) : nullptr;
        for (int a = 0; a < last; ++a) {
            from += index[a] * in.strides[a];
            if (out)
                to += index[a] * out->strides[a];
        }
        if (!row(from, to))
            return;
        int a = last - 1;
        while (a >= 0 && ++index[a] == in.sizes[a])
            index[a--] = 0;
        if (a < 0)
            return;
    }
}

template <typename In, typename Out>
void copy_typed(const array_view& in, const array_view& out, rounding how, const stop_poll* poll)
{
    std::int64_t index[velmora::max_rank];
    const int last = in.rank - 1;
    const std::int64_t length = in.sizes[last];
    std::int64_t unpolled = 0;
    for_each_row(in, &out, index, [&](const unsigned char* from, unsigned char* to) {
        for (std::int64_t i = 0; i < length;) {
            if (unpolled >= poll_samples) {
                if (stop_requested(poll))
                    return false;
                unpolled = 0;
            }
            const std::int64_t stop = std::min(length, i + poll_samples);
            unpolled += stop - i;
            for (; i < stop; ++i)
                velmora::store_sample<Out>(to + i * out.strides[last],
                                           velmora::load_sample<In>(from + i * in.strides[last]), how);
        }
        return true;
    });
}

template <typename T>
bool find_typed(const array_view& view, std::int64_t first, std::int64_t end, std::int64_t* index, bool* is_nan,
                double* largest, const stop_poll* poll)
{
    const int last = view.rank - 1;
    // The index of sample `first`, then one sample after another.
    std::int64_t rest = first;
    for (int a = last; a >= 0; --a) {
        index[a] = rest % view.sizes[a];
        rest /= view.sizes[a];
    }
    double most = 0.0;
    std::int64_t unpolled = 0;
    for (std::int64_t n = first; n < end;) {
        if (unpolled >= poll_samples) {
            if (stop_requested(poll))
                break;
            unpolled = 0;
        }
        const unsigned char* row = static_cast<const unsigned char*>(view.data);
        for (int a = 0; a < last; ++a)
            row += index[a] * view.strides[a];
        const std::int64_t stop = std::min({view.sizes[last], index[last] + (end - n), index[last] + poll_samples});
        for (std::int64_t i = index[last]; i < stop; ++i) {
            const double value = velmora::load_sample<T>(row + i * view.strides[last]);
            if (!std::isfinite(value)) {
                index[last] = i;
                *is_nan = std::isnan(value);
                return true;
            }
            most = std::max(most, std::fabs(value));
        }
        n += stop - index[last];
        unpolled += stop - index[last];
        if (stop < view.sizes[last]) {
            index[last] = stop;  // the rest of a long row next
            continue;
        }
        index[last] = 0;
        for (int a = last - 1; a >= 0 && ++index[a] == view.sizes[a]; --a)
            index[a] = 0;
    }
    *largest = most;
    return false;
}

}  // namespace

void copy_samples(const array_view& in, const array_view& out, rounding how, const stop_poll* poll)
{
    velmora::visit_sample_type(in.type, [&]<typename In>() {
        velmora::visit_sample_type(out.type, [&]<typename Out>() { copy_typed<In, Out>(in, out, how, poll); });
    });
}

bool find_non_finite(const array_view& view, std::int64_t first, std::int64_t end, std::int64_t* index,
                     bool* is_nan, double* largest, const stop_poll* poll)
{
    *largest = 0.0;
    return velmora::visit_sample_type(view.type, [&]<typename Sample>() {
        if constexpr (std::is_floating_point_v<Sample>)
            return find_typed<Sample>(view, first, end, index, is_nan, largest, poll);
        else
            return false;
    });
}

}  // namespace velmora::detail
