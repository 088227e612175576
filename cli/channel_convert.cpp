#include "cli/channel_convert.h"

#include <cmath>
#include <cstring>

#include "cli/checked_alloc.h"
#include "velmora/samples.h"

namespace {

unsigned char* sample_at(const velmora::array_view& view, std::int64_t y, std::int64_t x)
{
    return static_cast<unsigned char*>(view.data) + y * view.strides[0] + x * view.strides[1];
}

}  // namespace

double_plane make_plane(const velmora::array_view& like, const char* name)
{
    double_plane plane;
    const auto count = static_cast<std::size_t>(like.sizes[0] * like.sizes[1]);
    plane.data = checked_array<double>(count, name);
    plane.view = velmora::contiguous_view(plane.data, velmora::sample_type::float64, {like.sizes[0], like.sizes[1]});
    return plane;
}

void premultiply(const velmora::array_view& colour, const velmora::array_view& alpha, double top,
                 const double_plane& plane)
{
    for (std::int64_t y = 0; y < colour.sizes[0]; ++y)
        for (std::int64_t x = 0; x < colour.sizes[1]; ++x)
            plane.data[y * colour.sizes[1] + x] = velmora::load_sample(sample_at(colour, y, x), colour.type) *
                                                  velmora::load_sample(sample_at(alpha, y, x), colour.type) / top;
}

void convert_plane(const double_plane& plane, const double* alpha, double alpha_top, double scale,
                   const velmora::array_view& out, velmora::rounding how)
{
    for (std::int64_t y = 0; y < out.sizes[0]; ++y)
        for (std::int64_t x = 0; x < out.sizes[1]; ++x) {
            const std::int64_t i = y * out.sizes[1] + x;
            double value = plane.data[i];
            if (alpha) {
                const double a = std::fmin(std::fmax(alpha[i], 0.0), alpha_top);
                value = a > 0.0 ? value / (a / alpha_top) : 0.0;
            }
            velmora::store_sample(sample_at(out, y, x), out.type, value * scale, how);
        }
}

void copy_channel(const velmora::array_view& from, const velmora::array_view& to)
{
    const std::size_t size = velmora::sample_size(to.type);
    for (std::int64_t y = 0; y < to.sizes[0]; ++y)
        for (std::int64_t x = 0; x < to.sizes[1]; ++x)
            std::memcpy(sample_at(to, y, x), sample_at(from, y, x), size);
}

bool same_samples(const velmora::array_view& a, const velmora::array_view& b)
{
    if (a.data == b.data)
        return true;
    const std::size_t size = velmora::sample_size(a.type);
    for (std::int64_t y = 0; y < a.sizes[0]; ++y)
        for (std::int64_t x = 0; x < a.sizes[1]; ++x) {
            const unsigned char* p = sample_at(a, y, x);
            const unsigned char* q = sample_at(b, y, x);
            for (std::size_t k = 0; k < size; ++k)
                if (p[k] != q[k])
                    return false;
        }
    return true;
}
