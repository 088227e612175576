#include "codecs/png_writer.h"

#include <png.h>
#include <zlib.h>

#include <bit>
#include <csetjmp>

#include "codecs/png_reader.h"

namespace {

struct png_write_state {
    png_structp png = nullptr;
    png_infop info = nullptr;
    codec_message message;  // the first fault

    ~png_write_state() { png_destroy_write_struct(&png, &info); }
};

[[noreturn]] void on_error(png_structp png, png_const_charp text)
{
    auto* state = static_cast<png_write_state*>(png_get_error_ptr(png));
    if (!state->message.failed())
        state->message = codec_fail_text(codec_fault::output, "PNG: ", text);
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

int filter_flags(png_row_filter filter)
{
    switch (filter) {
    case png_row_filter::none:
        return PNG_FILTER_NONE;
    case png_row_filter::sub:
        return PNG_FILTER_SUB;
    case png_row_filter::up:
        return PNG_FILTER_UP;
    case png_row_filter::average:
        return PNG_FILTER_AVG;
    case png_row_filter::paeth:
        return PNG_FILTER_PAETH;
    case png_row_filter::adaptive:
        return PNG_ALL_FILTERS;
    }
    return PNG_FILTER_SUB;
}

int strategy_of(zlib_strategy strategy)
{
    switch (strategy) {
    case zlib_strategy::standard:
        return Z_DEFAULT_STRATEGY;
    case zlib_strategy::filtered:
        return Z_FILTERED;
    case zlib_strategy::run_length:
        return Z_RLE;
    }
    return Z_DEFAULT_STRATEGY;
}

int colour_type(int channels)
{
    switch (channels) {
    case 1:
        return PNG_COLOR_TYPE_GRAY;
    case 2:
        return PNG_COLOR_TYPE_GRAY_ALPHA;
    case 3:
        return PNG_COLOR_TYPE_RGB;
    default:
        return PNG_COLOR_TYPE_RGBA;
    }
}

// Holds nothing with a destructor, since it calls setjmp.
bool write_guarded(png_write_state* state, std::FILE* out, const picture& image, const png_write_options& options,
                   bool with_profile, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(state->png)))
        return false;
    png_structp png = state->png;
    const picture_info& info = image.info;
    const int depth = info.format == sample_format::u16 ? 16 : 8;
    png_init_io(png, out);
    // A profile libpng finds unfit becomes a (silent) warning.
    png_set_benign_errors(png, 1);
    png_set_IHDR(png, state->info, static_cast<png_uint_32>(info.width), static_cast<png_uint_32>(info.height), depth,
                 colour_type(info.channels), PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (with_profile)
        png_set_iCCP(png, state->info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, image.icc.get(),
                     static_cast<png_uint_32>(image.icc_size));
    png_set_compression_level(png, options.zlib_level);
    png_set_compression_strategy(png, strategy_of(options.strategy));
    png_set_filter(png, PNG_FILTER_TYPE_BASE, filter_flags(options.filter));
    png_write_info(png, state->info);
    if (depth == 16 && std::endian::native == std::endian::little)
        png_set_swap(png);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

codec_message png_write(std::FILE* out, const picture& image, const png_write_options& options,
                        codec_warnings* warnings)
{
    const picture_info& info = image.info;
    if (info.format == sample_format::f32 || info.premultiplied || info.channels < 1 || info.channels > 4)
        return codec_fail(codec_fault::output, "PNG holds 8 or 16-bit samples with straight alpha only");
    png_write_state state;
    state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, on_error, on_warning);
    if (state.png)
        state.info = png_create_info_struct(state.png);
    block_ptr row_list;
    codec_message message =
        allocate_block(static_cast<std::size_t>(info.height) * sizeof(png_bytep), "row list", &row_list);
    if (message.failed())
        return message;
    if (!state.info)
        return codec_fail(codec_fault::memory, "no memory for the PNG encoder");
    auto* rows = reinterpret_cast<png_bytepp>(row_list.get());
    for (std::int32_t y = 0; y < info.height; ++y)
        rows[y] = image.samples.get() + static_cast<std::size_t>(y) * row_bytes(info);
    const bool fits = image.icc_size <= png_largest_profile;
    if (!fits)
        codec_warn(warnings, "the colour profile (%zu bytes) is too large for PNG and is left out", image.icc_size);
    if (!write_guarded(&state, out, image, options, image.icc && image.icc_size > 0 && fits, rows))
        return state.message;
    return {};
}
