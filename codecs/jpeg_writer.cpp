#include "codecs/jpeg_writer.h"

// jpeglib.h needs FILE and size_t declared first.
#include <cstdio>
#include <jpeglib.h>

#include <csetjmp>

namespace {

struct jpeg_write_state {
    jpeg_compress_struct encoder{};
    jpeg_error_mgr errors{};
    std::jmp_buf escape{};
    bool created = false;
    codec_message message;

    ~jpeg_write_state()
    {
        if (created)
            jpeg_destroy_compress(&encoder);
    }
};

[[noreturn]] void on_error(j_common_ptr common)
{
    auto* state = static_cast<jpeg_write_state*>(common->client_data);
    char text[JMSG_LENGTH_MAX];
    (*common->err->format_message)(common, text);
    if (!state->message.failed())
        state->message = codec_fail_text(codec_fault::output, "JPEG: ", text);
    std::longjmp(state->escape, 1);
}

void on_message(j_common_ptr) {}

// Holds nothing with a destructor, since it calls setjmp.
bool write_guarded(jpeg_write_state* state, std::FILE* out, const picture& image, int quality, bool with_profile)
{
    if (setjmp(state->escape))
        return false;
    jpeg_compress_struct& encoder = state->encoder;
    jpeg_create_compress(&encoder);
    state->created = true;
    jpeg_stdio_dest(&encoder, out);
    encoder.image_width = static_cast<JDIMENSION>(image.info.width);
    encoder.image_height = static_cast<JDIMENSION>(image.info.height);
    encoder.input_components = image.info.channels;
    encoder.in_color_space = image.info.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&encoder);
    jpeg_set_quality(&encoder, quality, TRUE);
    if (image.info.channels == 3 && quality >= jpeg_full_colour_quality)
        encoder.comp_info[0].h_samp_factor = encoder.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&encoder, TRUE);
    if (with_profile)
        jpeg_write_icc_profile(&encoder, image.icc.get(), static_cast<unsigned int>(image.icc_size));
    const std::size_t stride = row_bytes(image.info);
    while (encoder.next_scanline < encoder.image_height) {
        JSAMPROW row = image.samples.get() + encoder.next_scanline * stride;
        jpeg_write_scanlines(&encoder, &row, 1);
    }
    jpeg_finish_compress(&encoder);
    return true;
}

}  // namespace

codec_message jpeg_write(std::FILE* out, const picture& image, int quality, codec_warnings* warnings)
{
    if (image.info.format != sample_format::u8 || (image.info.channels != 1 && image.info.channels != 3))
        return codec_fail(codec_fault::output, "JPEG holds 8-bit grey or RGB pictures only");
    if (quality < 1 || quality > 100)
        return codec_fail(codec_fault::output, "JPEG quality %d is not from 1 to 100", quality);
    jpeg_write_state state;
    state.encoder.err = jpeg_std_error(&state.errors);
    state.errors.error_exit = on_error;
    state.errors.output_message = on_message;
    state.encoder.client_data = &state;
    const bool fits = image.icc_size <= jpeg_largest_profile;
    if (!fits)
        codec_warn(warnings, "the colour profile (%zu bytes) is too large for JPEG and is left out", image.icc_size);
    if (!write_guarded(&state, out, image, quality, image.icc && image.icc_size > 0 && fits))
        return state.message;
    return {};
}
