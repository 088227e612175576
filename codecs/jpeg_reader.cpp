#include "codecs/jpeg_reader.h"

// jpeglib.h needs FILE and size_t declared first.
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

#include <csetjmp>
#include <cstring>
#include <new>

#include "picture/picture_limits.h"

namespace {

constexpr std::size_t jpeg_chunk = std::size_t{1} << 16;
// Room for everything but the whole-picture coefficient arrays of a
// progressive file, which take two bytes per sample of every component
// (padded to whole blocks of the largest sampling, at most 32 pixels).
constexpr long jpeg_working_memory = 64L << 20;

struct jpeg_state final : format_reader {
    jpeg_decompress_struct decoder{};
    jpeg_error_mgr errors{};
    jpeg_source_mgr input{};
    jpeg_progress_mgr progress{};
    std::jmp_buf escape{};
    bool created = false;
    bool picture_read = false;  // every row is in; only the end of the file is looked for
    source_cursor cursor;
    codec_message message;  // the first fault
    picture_info shape;
    block_ptr icc;
    unsigned int icc_size = 0;
    std::uint8_t buffer[jpeg_chunk];

    ~jpeg_state() override
    {
        if (created)
            jpeg_destroy_decompress(&decoder);
    }
    codec_message decode(picture* out) override;
};

jpeg_state* state_of(j_common_ptr common)
{
    return static_cast<jpeg_state*>(common->client_data);
}

[[noreturn]] void escape_with(jpeg_state* state, const codec_message& message)
{
    if (!state->message.failed())
        state->message = message;
    std::longjmp(state->escape, 1);
}

[[noreturn]] void on_error(j_common_ptr common)
{
    char text[JMSG_LENGTH_MAX];
    (*common->err->format_message)(common, text);
    escape_with(state_of(common), codec_fail_text(codec_fault::file, "JPEG: ", text));
}

void on_message(j_common_ptr) {}

// Warnings about the coded data: what libjpeg would hand over is then
// partly made up (grey where the data ran out, noise after a bad code, a
// picture put together from an impossible order of scans).
bool corrupt_data(int code)
{
    switch (code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
#if JPEG_LIB_VERSION >= 70 || defined(D_ARITH_CODING_SUPPORTED)
    case JWRN_ARITH_BAD_CODE:
#endif
    case JWRN_MUST_RESYNC:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_NOT_SEQUENTIAL:
        return true;
    default:
        return false;
    }
}

const char* after_prefix(const char* text, const char* prefix)
{
    const std::size_t length = std::strlen(prefix);
    return std::strncmp(text, prefix, length) == 0 ? text + length : text;
}

// libjpeg warns and goes on; corrupt data ends the decoding here instead,
// and every other warning (stray bytes between markers, an unknown JFIF
// version, an odd Adobe transform, a bad ICC marker: the picture is whole)
// becomes a line. Trace messages (level 0 and up) are dropped.
void on_emit(j_common_ptr common, int level)
{
    if (level >= 0)
        return;
    char text[JMSG_LENGTH_MAX];
    (*common->err->format_message)(common, text);
    const char* corrupt = after_prefix(text, "Corrupt JPEG data: ");
    jpeg_state* state = state_of(common);
    if (corrupt_data(common->err->msg_code))
        escape_with(state, codec_fail(codec_fault::file, "corrupt JPEG data: %s", corrupt));
    if (corrupt != text)
        codec_warn(&state->warnings, "corrupt JPEG data: %s", corrupt);
    else
        codec_warn(&state->warnings, "%s", after_prefix(text, "Warning: "));
}

void on_progress(j_common_ptr common)
{
    const auto* decoder = reinterpret_cast<j_decompress_ptr>(common);
    if (decoder->input_scan_number > max_jpeg_scans)
        escape_with(state_of(common),
                    codec_fail(codec_fault::file, "JPEG file with more than %d scans", max_jpeg_scans));
}

void start_input(j_decompress_ptr) {}
void end_input(j_decompress_ptr) {}

boolean fill_input(j_decompress_ptr decoder)
{
    jpeg_state* state = state_of(reinterpret_cast<j_common_ptr>(decoder));
    std::size_t got = source_read(&state->cursor, state->buffer, sizeof state->buffer);
    // A file whose picture is whole may lack its end marker, as it always
    // could; libjpeg is given one.
    if (got == 0 && state->picture_read) {
        state->buffer[0] = 0xFF;
        state->buffer[1] = JPEG_EOI;
        got = 2;
    }
    if (got == 0)
        escape_with(state, codec_fail(codec_fault::file, "truncated JPEG file"));
    state->input.next_input_byte = state->buffer;
    state->input.bytes_in_buffer = got;
    return TRUE;
}

void skip_input(j_decompress_ptr decoder, long count)
{
    jpeg_source_mgr* input = decoder->src;
    if (count <= 0)
        return;
    auto rest = static_cast<std::size_t>(count);
    while (rest > input->bytes_in_buffer) {
        rest -= input->bytes_in_buffer;
        fill_input(decoder);
    }
    input->next_input_byte += rest;
    input->bytes_in_buffer -= rest;
}

// The functions that call setjmp hold nothing with a destructor.
bool read_header(jpeg_state* state)
{
    if (setjmp(state->escape))
        return false;
    jpeg_create_decompress(&state->decoder);
    state->created = true;
    state->decoder.src = &state->input;
    state->decoder.progress = &state->progress;
    jpeg_save_markers(&state->decoder, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&state->decoder, TRUE);
    JOCTET* profile = nullptr;
    if (jpeg_read_icc_profile(&state->decoder, &profile, &state->icc_size))
        state->icc.reset(profile);
    return true;
}

bool read_rows(jpeg_state* state, std::uint8_t* samples, std::size_t stride)
{
    if (setjmp(state->escape))
        return false;
    jpeg_decompress_struct& decoder = state->decoder;
    jpeg_start_decompress(&decoder);
    if (decoder.output_width != static_cast<JDIMENSION>(state->shape.width) ||
        decoder.output_height != static_cast<JDIMENSION>(state->shape.height) ||
        decoder.output_components != state->shape.channels)
        escape_with(state, codec_fail(codec_fault::file, "JPEG output differs from its header"));
    while (decoder.output_scanline < decoder.output_height) {
        JSAMPROW row = samples + decoder.output_scanline * stride;
        jpeg_read_scanlines(&decoder, &row, 1);
    }
    // Read on to the end marker: coded data left over after the last row
    // (which libjpeg-turbo's fast path can leave, having decoded a bad code
    // as a zero) is then reported, as stray bytes before that marker.
    state->picture_read = true;
    jpeg_finish_decompress(&decoder);
    return true;
}

codec_message choose_colours(jpeg_decompress_struct* decoder, picture_info* shape)
{
    switch (decoder->jpeg_color_space) {
    case JCS_GRAYSCALE:
        shape->channels = 1;
        decoder->out_color_space = JCS_GRAYSCALE;
        return {};
    case JCS_YCbCr:
    case JCS_RGB:
        shape->channels = 3;
        decoder->out_color_space = JCS_RGB;
        return {};
    case JCS_CMYK:
        return codec_fail(codec_fault::file, "CMYK pictures are not supported");
    case JCS_YCCK:
        return codec_fail(codec_fault::file, "YCCK pictures are not supported");
    default:
        return codec_fail(codec_fault::file, "JPEG pictures of %d components in an unknown colour model are not supported",
                          decoder->num_components);
    }
}

}  // namespace

codec_message jpeg_open(const codec_source& source, std::unique_ptr<format_reader>* reader, picture_info* info)
{
    std::unique_ptr<jpeg_state> state(new (std::nothrow) jpeg_state);
    if (!state)
        return codec_fail(codec_fault::memory, "no memory for the JPEG decoder");
    state->cursor.source = &source;
    state->decoder.err = jpeg_std_error(&state->errors);
    state->errors.error_exit = on_error;
    state->errors.output_message = on_message;
    state->errors.emit_message = on_emit;
    state->decoder.client_data = state.get();
    state->input.init_source = start_input;
    state->input.fill_input_buffer = fill_input;
    state->input.skip_input_data = skip_input;
    state->input.resync_to_restart = jpeg_resync_to_restart;
    state->input.term_source = end_input;
    state->progress.progress_monitor = on_progress;
    if (!read_header(state.get()))
        return state->message;

    jpeg_decompress_struct& decoder = state->decoder;
    codec_message message = picture_side_check(decoder.image_width, decoder.image_height);
    if (message.failed())
        return message;
    picture_info& shape = state->shape;
    message = choose_colours(&decoder, &shape);
    if (message.failed())
        return message;
    shape.width = static_cast<std::int32_t>(decoder.image_width);
    shape.height = static_cast<std::int32_t>(decoder.image_height);
    shape.format = sample_format::u8;
    decoder.mem->max_memory_to_use = jpeg_working_memory + 2L * (shape.width + 32) * (shape.height + 32) *
                                                               decoder.num_components;
    *info = shape;
    *reader = std::move(state);
    return {};
}

codec_message jpeg_state::decode(picture* out)
{
    codec_message message = picture_allocate(shape, out);
    if (message.failed())
        return message;
    if (!read_rows(this, out->samples.get(), row_bytes(shape)))
        return this->message;
    if (icc && icc_size > 0)
        return picture_set_icc(out, icc.get(), icc_size);
    return {};
}
