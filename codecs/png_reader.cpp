#include "codecs/png_reader.h"

#include <png.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstring>
#include <new>

#include "picture/picture_limits.h"

namespace {

// Deflate codes a run of 258 bytes in as little as two bits, so the
// inflated data is at most 1032 times as long as the compressed.
constexpr std::int64_t deflate_largest_ratio = 1032;
// The most one ancillary chunk (the profile) may take once inflated, and
// the most such chunks kept.
constexpr png_alloc_size_t png_chunk_memory = png_largest_profile;
constexpr png_uint_32 png_chunks_kept = 256;

// Where the reader stands in the file's chain of chunks: the length and
// type ahead of each chunk's data, picked out of the bytes libpng reads
// whatever pieces it asks for.
struct chunk_walk {
    std::int64_t position = 0;     // bytes handed to libpng so far
    std::int64_t next_header = 8;  // where the next length and type start (after the signature)
    std::uint8_t header[8] = {};
};

struct png_state final : format_reader {
    source_cursor cursor;
    chunk_walk walk;
    png_structp png = nullptr;
    png_infop info = nullptr;
    codec_message message;  // the first fault libpng or the input met
    picture_info shape;
    png_bytep icc = nullptr;  // owned by libpng's info
    png_uint_32 icc_size = 0;
    std::int64_t stored_bits = 0;  // bits per pixel in the file

    ~png_state() override { png_destroy_read_struct(&png, &info, nullptr); }
    codec_message decode(picture* out) override;
};

void note(png_state* state, const codec_message& message)
{
    if (!state->message.failed())
        state->message = message;
}

[[noreturn]] void on_error(png_structp png, png_const_charp text)
{
    note(static_cast<png_state*>(png_get_error_ptr(png)), codec_fail_text(codec_fault::file, "PNG: ", text));
    png_longjmp(png, 1);
}

// libpng's other warnings (a bad CRC in a skipped chunk, a profile it finds
// unfit) change nothing that the picture shows, and are not passed on.
void on_warning(png_structp png, png_const_charp text)
{
    auto* state = static_cast<png_state*>(png_get_error_ptr(png));
    if (std::strncmp(text, "iCCP: ", 6) == 0 && std::strstr(text, "exceeds application limits"))
        codec_warn(&state->warnings, "the colour profile is larger than %zu bytes and is left out",
                   png_largest_profile);
}

bool chunk_type_valid(const std::uint8_t* type)
{
    for (int i = 0; i < 4; ++i)
        if (!((type[i] >= 'A' && type[i] <= 'Z') || (type[i] >= 'a' && type[i] <= 'z')))
            return false;
    return true;
}

std::uint32_t big_endian_32(const std::uint8_t* bytes)
{
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

// Follows the chain of chunks through the count bytes just read at data.
// A header that is complete gives the next one's place, and is refused
// (false) when its length runs past a known end of the file: the file is
// truncated, and libpng, which has not seen the header yet, sizes nothing
// by it. A length or type that libpng refuses anyway is left to libpng, so
// that a file and a pipe of the same bytes are refused alike.
bool follow_chunks(chunk_walk* walk, std::int64_t file_length, const std::uint8_t* data, std::size_t count)
{
    const std::int64_t start = walk->position;
    walk->position += static_cast<std::int64_t>(count);
    while (walk->next_header < walk->position) {
        const std::int64_t from = std::max(start, walk->next_header);
        const std::int64_t to = std::min(walk->position, walk->next_header + 8);
        std::memcpy(walk->header + (from - walk->next_header), data + (from - start),
                    static_cast<std::size_t>(to - from));
        if (to < walk->next_header + 8)
            break;
        const std::uint32_t length = big_endian_32(walk->header);
        // The data and its CRC, which libpng reads to the end of every chunk
        // it takes, the last IDAT included.
        const std::int64_t end = walk->next_header + 8 + std::int64_t{length} + 4;
        if (file_length >= 0 && end > file_length && length <= PNG_UINT_31_MAX && chunk_type_valid(walk->header + 4))
            return false;
        walk->next_header = end;
    }
    return true;
}

void read_bytes(png_structp png, png_bytep data, std::size_t count)
{
    auto* state = static_cast<png_state*>(png_get_io_ptr(png));
    if (source_read(&state->cursor, data, count) != count) {
        note(state, codec_fail(codec_fault::file, "truncated PNG file"));
        png_longjmp(png, 1);
    }
    if (!follow_chunks(&state->walk, state->cursor.source->length, data, count)) {
        note(state, codec_fail(codec_fault::file, "truncated PNG file"));
        png_longjmp(png, 1);
    }
}

// The functions that call setjmp hold nothing with a destructor.
bool read_header(png_state* state)
{
    if (setjmp(png_jmpbuf(state->png)))
        return false;
    png_structp png = state->png;
    png_read_info(png, state->info);
    const int colour = png_get_color_type(png, state->info);
    const int depth = png_get_bit_depth(png, state->info);
    state->stored_bits = std::int64_t{depth} * png_get_channels(png, state->info);
    if (colour == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, state->info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(png);
    // PNG stores 16-bit samples big-endian.
    if (depth == 16 && std::endian::native == std::endian::little)
        png_set_swap(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, state->info);
    png_charp name = nullptr;
    int compression = 0;
    png_get_iCCP(png, state->info, &name, &compression, &state->icc, &state->icc_size);
    return true;
}

bool read_rows(png_state* state, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(state->png)))
        return false;
    png_read_image(state->png, rows);
    return true;
}

// The side limit, from the IHDR chunk that must follow the signature.
codec_message check_declared_size(const codec_source& source)
{
    if (source.head_length < 24 || std::memcmp(source.head + 12, "IHDR", 4) != 0)
        return {};
    return picture_side_check(big_endian_32(source.head + 16), big_endian_32(source.head + 20));
}

// The least inflated data a file of this size and depth holds, against the
// most its length can give.
codec_message check_file_length(const png_state& state, std::int64_t length)
{
    if (length < 0)
        return {};
    const std::int64_t least = std::int64_t{state.shape.height} * ((state.shape.width * state.stored_bits + 7) / 8);
    if (least > deflate_largest_ratio * length)
        return codec_fail(codec_fault::file, "a PNG file of %lld bytes cannot hold a %d x %d picture",
                          static_cast<long long>(length), state.shape.width, state.shape.height);
    return {};
}

}  // namespace

codec_message png_open(const codec_source& source, std::unique_ptr<format_reader>* reader, picture_info* info)
{
    codec_message message = check_declared_size(source);
    if (message.failed())
        return message;
    std::unique_ptr<png_state> state(new (std::nothrow) png_state);
    if (!state)
        return codec_fail(codec_fault::memory, "no memory for the PNG decoder");
    state->cursor.source = &source;
    state->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, state.get(), on_error, on_warning);
    if (state->png)
        state->info = png_create_info_struct(state->png);
    if (!state->info)
        return codec_fail(codec_fault::memory, "no memory for the PNG decoder");
    png_set_read_fn(state->png, state.get(), read_bytes);
    png_set_user_limits(state->png, max_picture_side, max_picture_side);
    png_set_chunk_malloc_max(state->png, png_chunk_memory);
    png_set_chunk_cache_max(state->png, png_chunks_kept);
    // Every ancillary chunk but tRNS (which libpng never lets go) and iCCP is
    // skipped: libpng then reads past it in small pieces instead of holding
    // it whole, as it would a text or an unknown chunk it keeps.
    png_set_keep_unknown_chunks(state->png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    static const png_byte profile_chunk[] = "iCCP";
    png_set_keep_unknown_chunks(state->png, PNG_HANDLE_CHUNK_AS_DEFAULT, profile_chunk, 1);
    if (!read_header(state.get()))
        return state->message;

    // After the transforms every row is whole samples of 8 or 16 bits.
    picture_info& shape = state->shape;
    shape.width = static_cast<std::int32_t>(png_get_image_width(state->png, state->info));
    shape.height = static_cast<std::int32_t>(png_get_image_height(state->png, state->info));
    shape.channels = png_get_channels(state->png, state->info);
    shape.format = png_get_bit_depth(state->png, state->info) == 16 ? sample_format::u16 : sample_format::u8;
    if (png_get_rowbytes(state->png, state->info) != row_bytes(shape))
        return codec_fail(codec_fault::file, "PNG rows of %zu bytes do not fit a %d-pixel row",
                          static_cast<std::size_t>(png_get_rowbytes(state->png, state->info)), shape.width);
    message = check_file_length(*state, source.length);
    if (message.failed())
        return message;
    *info = shape;
    *reader = std::move(state);
    return {};
}

codec_message png_state::decode(picture* out)
{
    codec_message message = picture_allocate(shape, out);
    block_ptr row_list;
    if (!message.failed())
        message = allocate_block(static_cast<std::size_t>(shape.height) * sizeof(png_bytep), "row list", &row_list);
    if (message.failed())
        return message;
    auto* rows = reinterpret_cast<png_bytepp>(row_list.get());
    for (std::int32_t y = 0; y < shape.height; ++y)
        rows[y] = out->samples.get() + static_cast<std::size_t>(y) * row_bytes(shape);
    if (!read_rows(this, rows))
        return this->message;
    if (icc && icc_size > 0)
        return picture_set_icc(out, icc, icc_size);
    return {};
}
