#include "cli/channel_pass.h"

#include <cmath>
#include <cstring>

#include "cli/checked_alloc.h"
#include "cli/console.h"
#include "cli/messages.h"
#include "resize/sample_convert.h"

namespace {

using velmora::array_view;
using velmora::sample_type;

const char* const rgb_names[3] = {"RED", "GREEN", "BLUE"};

// The library plans of a run, one per pair of sample types, each made when
// a channel first needs it; every channel has the same sizes.
struct plan_cache {
    velmora::settings how;
    channel_console console;
    struct entry {
        sample_type in, out;
        velmora::plan plan;
    } entries[4];
    int count = 0;
    bool first_made = false;
};

// Resizes one channel with the plan for its types, printing its progress.
void resize_channel(plan_cache* cache, const array_view& in, const array_view& out)
{
    plan_cache::entry* entry = nullptr;
    for (int e = 0; e < cache->count; ++e)
        if (cache->entries[e].in == in.type && cache->entries[e].out == out.type)
            entry = &cache->entries[e];
    if (!entry) {
        // The first plan makes what the first channel needs; running short
        // of memory there is reported inside its first pass.
        if (!cache->first_made && !cache->console.quiet) {
            print_through(&cache->console, channel_stage::rows_start);
            cache->first_made = true;
        }
        entry = &cache->entries[cache->count++];
        entry->in = in.type;
        entry->out = out.type;
        const velmora::result made = velmora::make_plan(&entry->plan, in, out, cache->how);
        if (!made)
            fail_resize(made);
    }
    const velmora::result done = velmora::run(entry->plan, in, out);
    if (!done)
        fail_resize(done);
}

unsigned char* sample_at(const array_view& view, std::int64_t y, std::int64_t x)
{
    return static_cast<unsigned char*>(view.data) + y * view.strides[0] + x * view.strides[1];
}

// A rows x columns plane of doubles, owned, and its view.
struct double_plane {
    double* data;
    array_view view;
};

double_plane make_plane(const array_view& like, const char* name)
{
    double_plane plane;
    const auto count = static_cast<std::size_t>(like.sizes[0] * like.sizes[1]);
    plane.data = checked_array<double>(count, name);
    plane.view = velmora::contiguous_view(plane.data, sample_type::float64, {like.sizes[0], like.sizes[1]});
    return plane;
}

// out = plane * scale, or, with alpha, plane / (clipped alpha / alpha_top) * scale.
void convert_plane(const double_plane& plane, const double* alpha, double alpha_top, double scale,
                   const array_view& out, velmora::rounding how)
{
    for (std::int64_t y = 0; y < out.sizes[0]; ++y)
        for (std::int64_t x = 0; x < out.sizes[1]; ++x) {
            const std::int64_t i = y * out.sizes[1] + x;
            double value = plane.data[i];
            if (alpha) {
                const double a = std::fmin(std::fmax(alpha[i], 0.0), alpha_top);
                value = a > 0.0 ? value / (a / alpha_top) : 0.0;
            }
            store_sample(sample_at(out, y, x), out.type, value * scale, how);
        }
}

void copy_channel(const array_view& from, const array_view& to)
{
    const std::size_t size = velmora::sample_size(to.type);
    for (std::int64_t y = 0; y < to.sizes[0]; ++y)
        for (std::int64_t x = 0; x < to.sizes[1]; ++x)
            std::memcpy(sample_at(to, y, x), sample_at(from, y, x), size);
}

bool same_samples(const array_view& a, const array_view& b)
{
    const std::size_t size = velmora::sample_size(a.type);
    for (std::int64_t y = 0; y < a.sizes[0]; ++y) {
        // Plane columns and picture rows are often runs in memory.
        if (a.strides[1] == static_cast<std::int64_t>(size) && b.strides[1] == a.strides[1]) {
            if (std::memcmp(sample_at(a, y, 0), sample_at(b, y, 0), size * a.sizes[1]) != 0)
                return false;
            continue;
        }
        for (std::int64_t x = 0; x < a.sizes[1]; ++x)
            if (std::memcmp(sample_at(a, y, x), sample_at(b, y, x), size) != 0)
                return false;
    }
    return true;
}

bool same_samples_anywhere(const array_view& a, const array_view& b)
{
    if (a.data == b.data)
        return true;
    // Planes stored column by column compare along their columns.
    if (a.strides[0] < a.strides[1] && b.strides[0] == a.strides[0] && b.strides[1] == a.strides[1]) {
        array_view ta = a, tb = b;
        std::swap(ta.sizes[0], ta.sizes[1]);
        std::swap(ta.strides[0], ta.strides[1]);
        std::swap(tb.sizes[0], tb.sizes[1]);
        std::swap(tb.strides[0], tb.strides[1]);
        return same_samples(ta, tb);
    }
    return same_samples(a, b);
}

struct pass {
    const channel_set& in;
    const channel_set& out;
    const channel_pass_settings& settings;
    plan_cache cache;
    bool resizes;
    double scale;  // out.top / in.top
};

const char* colour_name(const pass& p, int c)
{
    if (p.out.colours == 1 && !p.settings.rgb_console)
        return "GREY";
    return rgb_names[c];
}

// The resized alpha, as doubles in its input's range.
double_plane resize_alpha(pass* p)
{
    const double_plane plane = make_plane(p->out.channel[p->out.colours], "alpha");
    // Its lines are printed after the colours'.
    p->cache.console.quiet = true;
    resize_channel(&p->cache, p->in.channel[p->in.colours], plane.view);
    p->cache.console.quiet = false;
    return plane;
}

}  // namespace

void run_channel_pass(const channel_set& in, const channel_set& out, const channel_pass_settings& settings)
{
    char start_text[time_text_size];
    char end_text[time_text_size];
    take_time(start_text);
    print_start_time(start_text);

    pass p{in, out, settings, {}, false, out.top / in.top};
    p.resizes = in.channel[0].sizes[0] != out.channel[0].sizes[0] || in.channel[0].sizes[1] != out.channel[0].sizes[1];
    p.cache.how.team = settings.team;
    p.cache.how.rounding = settings.rounding;
    // A channel is one picture: when one side keeps its size, its rows (or
    // columns) pair with each other, as they always have.
    p.cache.how.pairing = velmora::pairing::across_sets;
    p.cache.how.progress = print_channel_progress;
    p.cache.how.progress_user = &p.cache.console;

    const bool alpha_kept = in.alpha && out.alpha;
    // Colour kept premultiplied is resized as it is; straight colour is
    // premultiplied for the resize only, so that a run that resizes nothing
    // copies it exactly; premultiplied colour written straight is divided
    // whether resized or not.
    const bool premultiply = alpha_kept && p.resizes && !in.premultiplied;
    const bool unpremultiply = alpha_kept && !out.premultiplied && (p.resizes || in.premultiplied);
    double_plane alpha{};
    if (unpremultiply)
        alpha = resize_alpha(&p);
    // Where the output's samples need more than the library's conversion,
    // the resize goes through a plane of doubles.
    const bool through_plane = unpremultiply || p.scale != 1.0;
    double_plane colour{}, premultiplied{};
    if (through_plane)
        colour = make_plane(out.channel[0], "colour");
    if (premultiply)
        premultiplied = make_plane(in.channel[0], "premultiplied");

    const int colours = settings.rgb_console ? 3 : out.colours;
    for (int c = 0; c < colours; ++c) {
        const array_view& source = in.channel[in.colours == 1 ? 0 : c];
        const array_view& target = out.channel[out.colours == 1 ? 0 : c];
        print_channel_start(colour_name(p, c));
        p.cache.console = channel_console{};
        int same = -1;
        for (int earlier = 0; earlier < c && same < 0; ++earlier)
            if (same_samples_anywhere(in.channel[in.colours == 1 ? 0 : earlier], source))
                same = earlier;
        if (same >= 0) {
            if (out.colours > 1)
                copy_channel(out.channel[same], target);
        } else if (!through_plane) {
            resize_channel(&p.cache, source, target);
        } else {
            array_view from = source;
            if (premultiply) {
                for (std::int64_t y = 0; y < source.sizes[0]; ++y)
                    for (std::int64_t x = 0; x < source.sizes[1]; ++x)
                        premultiplied.data[y * source.sizes[1] + x] =
                            load_sample(sample_at(source, y, x), source.type) *
                            load_sample(sample_at(in.channel[in.colours], y, x), source.type) / in.top;
                from = premultiplied.view;
            }
            resize_channel(&p.cache, from, colour.view);
            convert_plane(colour, unpremultiply ? alpha.data : nullptr, in.top, p.scale, target, settings.rounding);
        }
        print_rest(&p.cache.console);
    }
    if (out.alpha) {
        print_channel_start("ALPHA");
        p.cache.console = channel_console{};
        const array_view& target = out.channel[out.colours];
        if (unpremultiply)
            convert_plane(alpha, nullptr, in.top, p.scale, target, settings.rounding);
        else if (p.scale != 1.0) {
            resize_channel(&p.cache, in.channel[in.colours], colour.view);
            convert_plane(colour, nullptr, in.top, p.scale, target, settings.rounding);
        } else
            resize_channel(&p.cache, in.channel[in.colours], target);
        print_rest(&p.cache.console);
    }
    std::free(alpha.data);
    std::free(colour.data);
    std::free(premultiplied.data);
    for (int e = 0; e < p.cache.count; ++e)
        p.cache.entries[e].plan = velmora::plan{};
    take_time(end_text);
    print_end_times(start_text, end_text);
}
