#include "cli/channel_pass.h"

#include <cstdlib>

#include "cli/channel_console.h"
#include "cli/channel_convert.h"
#include "cli/console.h"
#include "cli/plan_cache.h"

namespace {

using velmora::array_view;

const char* const rgb_names[3] = {"RED", "GREEN", "BLUE"};

// A picture as 2-D views, one per channel.
struct channel_set {
    int colours;                     // 1 (grey) or 3 (red, green, blue)
    bool alpha;                      // a fourth (or second) channel follows the colours
    array_view channel[4];           // colours in order, then alpha; each rows x columns
    double top;                      // full intensity of every channel
    bool premultiplied;              // colour stored multiplied by alpha
};

velmora::sample_type type_of(sample_format format)
{
    switch (format) {
    case sample_format::u8:
        return velmora::sample_type::uint8;
    case sample_format::u16:
        return velmora::sample_type::uint16;
    case sample_format::f32:
        return velmora::sample_type::float32;
    }
    return velmora::sample_type::uint8;
}

channel_set channels_of(const picture_view& view)
{
    const picture_info& info = view.info;
    channel_set set{};
    set.alpha = info.channels % 2 == 0;
    set.colours = info.channels - (set.alpha ? 1 : 0);
    set.top = info.format == sample_format::u8 ? 255.0 : info.format == sample_format::u16 ? 65535.0 : 1.0;
    set.premultiplied = info.premultiplied;
    for (int c = 0; c < info.channels; ++c) {
        array_view& channel = set.channel[c];
        channel.data = view.first + c * view.channel_step;
        channel.type = type_of(info.format);
        channel.rank = 2;
        channel.sizes[0] = info.height;
        channel.sizes[1] = info.width;
        channel.strides[0] = view.row_step;
        channel.strides[1] = view.pixel_step;
    }
    return set;
}

// The resized alpha, as doubles in its input's range; its console lines
// are printed after the colours'.
double_plane resize_alpha(plan_cache* cache, const channel_set& in, const channel_set& out)
{
    const double_plane plane = make_plane(out.channel[out.colours], "alpha");
    cache->console.quiet = true;
    resize_channel(cache, in.channel[in.colours], plane.view);
    cache->console.quiet = false;
    return plane;
}

void resize_channels(const channel_set& in, const channel_set& out, plan_cache* cache, velmora::rounding rounding)
{
    const bool resizes =
        in.channel[0].sizes[0] != out.channel[0].sizes[0] || in.channel[0].sizes[1] != out.channel[0].sizes[1];
    const double scale = out.top / in.top;
    const bool alpha_kept = in.alpha && out.alpha;
    // Colour kept premultiplied is resized as it is; straight colour is
    // premultiplied for the resize only, so that a run that resizes nothing
    // copies it exactly; premultiplied colour written straight is divided
    // whether resized or not.
    const bool premultiply_colour = alpha_kept && resizes && !in.premultiplied;
    const bool unpremultiply = alpha_kept && !out.premultiplied && (resizes || in.premultiplied);
    double_plane alpha{};
    if (unpremultiply)
        alpha = resize_alpha(cache, in, out);
    // Where the output's samples need more than the library's conversion,
    // the resize goes through a plane of doubles.
    const bool through_plane = unpremultiply || scale != 1.0;
    double_plane colour{}, premultiplied{};
    if (through_plane)
        colour = make_plane(out.channel[0], "colour");
    if (premultiply_colour)
        premultiplied = make_plane(in.channel[0], "premultiplied");

    for (int c = 0; c < out.colours; ++c) {
        const array_view& source = in.channel[in.colours == 1 ? 0 : c];
        const array_view& target = out.channel[c];
        print_channel_start(out.colours == 1 ? "GREY" : rgb_names[c]);
        cache->console = channel_console{};
        int same = -1;
        for (int earlier = 0; earlier < c && same < 0; ++earlier)
            if (same_samples(in.channel[in.colours == 1 ? 0 : earlier], source))
                same = earlier;
        if (same >= 0) {
            copy_channel(out.channel[same], target);
        } else if (!through_plane) {
            resize_channel(cache, source, target);
        } else {
            array_view from = source;
            if (premultiply_colour) {
                premultiply(source, in.channel[in.colours], in.top, premultiplied);
                from = premultiplied.view;
            }
            resize_channel(cache, from, colour.view);
            convert_plane(colour, unpremultiply ? alpha.data : nullptr, in.top, scale, target, rounding);
        }
        print_rest(&cache->console);
    }
    if (out.alpha) {
        print_channel_start("ALPHA");
        cache->console = channel_console{};
        const array_view& target = out.channel[out.colours];
        if (unpremultiply) {
            convert_plane(alpha, nullptr, in.top, scale, target, rounding);
        } else if (scale != 1.0) {
            resize_channel(cache, in.channel[in.colours], colour.view);
            convert_plane(colour, nullptr, in.top, scale, target, rounding);
        } else {
            resize_channel(cache, in.channel[in.colours], target);
        }
        print_rest(&cache->console);
    }
    std::free(alpha.data);
    std::free(colour.data);
    std::free(premultiplied.data);
}

}  // namespace

void run_channel_pass(const picture_view& in, const picture_view& out, velmora::thread_team* team,
                      velmora::rounding rounding)
{
    char start_text[time_text_size];
    char end_text[time_text_size];
    take_time(start_text);
    print_start_time(start_text);
    {
        plan_cache cache;
        plan_cache_start(&cache, team, rounding);
        resize_channels(channels_of(in), channels_of(out), &cache, rounding);
    }
    take_time(end_text);
    print_end_times(start_text, end_text);
}
