#include "codecs/tiff_reader.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <new>

#include "picture/picture_limits.h"

namespace {

// Tile sides are multiples of 16 (which also keeps a picture from being cut
// into millions of one-pixel tiles). A tile may cover the picture's side
// rounded up to that granule,
// or this much, whichever is more: enough for the common 256 and 512 tiles
// on small pictures, never a gigabyte of tile for a one-pixel picture.
constexpr std::uint32_t tile_side_allowance = 1024;
// Extra samples beyond alpha are read and dropped; more than this many is
// refused, so that a chunk's scratch stays within a few times the picture.
constexpr std::uint16_t most_samples_per_pixel = 8;

struct tiff_state final : format_reader {
    source_file file;
    std::uint64_t position = 0;
    TIFF* tiff = nullptr;
    codec_message message;  // the first fault libtiff or the input met
    picture_info shape;
    std::uint16_t samples_per_pixel = 0;
    bool tiled = false;
    bool separate = false;       // one plane per sample
    bool white_is_zero = false;  // grey stored inverted
    std::uint32_t chunk_width = 0;
    std::uint32_t chunk_height = 0;

    ~tiff_state() override
    {
        if (tiff)
            TIFFClose(tiff);
    }
    codec_message decode(picture* out) override;
};

struct options_free {
    void operator()(TIFFOpenOptions* options) const noexcept { TIFFOpenOptionsFree(options); }
};

tiff_state* state_of(thandle_t handle)
{
    return static_cast<tiff_state*>(handle);
}

tmsize_t read_proc(thandle_t handle, void* buffer, tmsize_t size)
{
    tiff_state* state = state_of(handle);
    if (size <= 0)
        return 0;
    const std::size_t got = source_file_read(state->file, state->position, buffer, static_cast<std::size_t>(size));
    state->position += got;
    return static_cast<tmsize_t>(got);
}

tmsize_t write_proc(thandle_t, void*, tmsize_t)
{
    return -1;
}

toff_t seek_proc(thandle_t handle, toff_t offset, int whence)
{
    tiff_state* state = state_of(handle);
    const std::uint64_t base = whence == SEEK_CUR ? state->position : whence == SEEK_END ? state->file.length : 0;
    state->position = base + offset;
    return state->position;
}

int close_proc(thandle_t)
{
    return 0;
}

toff_t size_proc(thandle_t handle)
{
    return state_of(handle)->file.length;
}

// Bytes already in memory are lent to libtiff as a mapped file, which spares
// it a copy of every strip.
int map_proc(thandle_t handle, void** base, toff_t* size)
{
    const source_file& file = state_of(handle)->file;
    if (!file.bytes)
        return 0;
    *base = const_cast<std::uint8_t*>(file.bytes);
    *size = file.length;
    return 1;
}

void unmap_proc(thandle_t, void*, toff_t) {}

// libtiff starts some messages with the handle's name, some not.
constexpr char handle_name[] = "input";

int on_error(TIFF*, void* user, const char*, const char* format, va_list arguments)
{
    auto* state = static_cast<tiff_state*>(user);
    if (!state->message.failed()) {
        char text[200];
        std::vsnprintf(text, sizeof text, format, arguments);
        const std::size_t named = sizeof handle_name - 1;
        const bool prefixed = std::strncmp(text, handle_name, named) == 0 && std::strncmp(text + named, ": ", 2) == 0;
        state->message = codec_fail_text(codec_fault::file, "TIFF: ", prefixed ? text + named + 2 : text);
    }
    return 1;
}

int on_warning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

codec_message refuse(const char* text)
{
    return codec_fail(codec_fault::file, "%s", text);
}

// The channels before any extra samples, or a refusal naming the model.
codec_message colour_channels(TIFF* tiff, std::uint16_t photometric, std::uint16_t samples, int* channels)
{
    switch (photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
        *channels = 1;
        return {};
    case PHOTOMETRIC_RGB:
        *channels = 3;
        return {};
    case PHOTOMETRIC_SEPARATED: {
        std::uint16_t inks = INKSET_CMYK;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inks);
        if (inks == INKSET_CMYK && samples >= 4)
            return refuse("CMYK pictures are not supported");
        return refuse("TIFF pictures in separated inks are not supported");
    }
    case PHOTOMETRIC_PALETTE:
        return refuse("TIFF palette pictures are not supported");
    case PHOTOMETRIC_YCBCR:
        return refuse("YCbCr TIFF pictures are not supported");
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_ICCLAB:
    case PHOTOMETRIC_ITULAB:
        return refuse("Lab pictures are not supported");
    case PHOTOMETRIC_LOGL:
    case PHOTOMETRIC_LOGLUV:
        return refuse("LogLuv pictures are not supported");
    case PHOTOMETRIC_MASK:
        return refuse("TIFF transparency masks are not supported");
    case PHOTOMETRIC_CFA:
        return refuse("raw sensor (colour filter array) pictures are not supported");
    default:
        return codec_fail(codec_fault::file, "TIFF colour model %u is not supported", photometric);
    }
}

codec_message sample_kind(std::uint16_t bits, std::uint16_t kind, sample_format* format)
{
    if ((kind == SAMPLEFORMAT_UINT || kind == SAMPLEFORMAT_VOID) && (bits == 8 || bits == 16)) {
        *format = bits == 8 ? sample_format::u8 : sample_format::u16;
        return {};
    }
    if (kind == SAMPLEFORMAT_IEEEFP && bits == 32) {
        *format = sample_format::f32;
        return {};
    }
    if (kind == SAMPLEFORMAT_IEEEFP)
        return codec_fail(codec_fault::file, "TIFF with %u-bit float samples is not supported", bits);
    if (kind == SAMPLEFORMAT_INT)
        return refuse("TIFF with signed integer samples is not supported");
    if (kind != SAMPLEFORMAT_UINT && kind != SAMPLEFORMAT_VOID)
        return refuse("TIFF with complex samples is not supported");
    if (bits == 32 || bits == 64)
        return codec_fail(codec_fault::file, "TIFF with %u-bit integer samples is not supported", bits);
    return codec_fail(codec_fault::file, "TIFF with %u-bit samples is not supported", bits);
}

codec_message check_compression(std::uint16_t compression)
{
    const bool known = compression == COMPRESSION_NONE || compression == COMPRESSION_LZW ||
                       compression == COMPRESSION_ADOBE_DEFLATE || compression == COMPRESSION_DEFLATE ||
                       compression == COMPRESSION_PACKBITS;
    if (known && TIFFIsCODECConfigured(compression))
        return {};
    const TIFFCodec* codec = TIFFFindCODEC(compression);
    if (codec && codec->name)
        return codec_fail(codec_fault::file, "TIFF with %s compression is not supported", codec->name);
    return codec_fail(codec_fault::file, "TIFF compression %u is not supported", compression);
}

// Colour model, samples, compression and alpha: the picture's shape.
codec_message read_shape(tiff_state* state)
{
    TIFF* tiff = state->tiff;
    std::uint16_t samples = 1, bits = 1, kind = SAMPLEFORMAT_UINT, photometric = 0, planar = PLANARCONFIG_CONTIG;
    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &kind);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric))
        return refuse("TIFF without a colour model");
    int channels = 0;
    codec_message message = colour_channels(tiff, photometric, samples, &channels);
    if (!message.failed())
        message = sample_kind(bits, kind, &state->shape.format);
    if (!message.failed())
        message = check_compression(compression);
    if (message.failed())
        return message;
    if (samples < channels || samples > most_samples_per_pixel)
        return codec_fail(codec_fault::file, "TIFF with %u samples per pixel is not supported", samples);
    std::uint16_t extra_count = 0;
    std::uint16_t* extra = nullptr;
    bool premultiplied = false;
    if (samples > channels && TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extra_count, &extra) && extra_count > 0 &&
        (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA)) {
        premultiplied = extra[0] == EXTRASAMPLE_ASSOCALPHA;
        ++channels;
    }
    state->shape.channels = channels;
    state->shape.premultiplied = premultiplied;
    state->samples_per_pixel = samples;
    state->separate = planar == PLANARCONFIG_SEPARATE && samples > 1;
    state->white_is_zero = photometric == PHOTOMETRIC_MINISWHITE;
    return {};
}

codec_message read_size(tiff_state* state)
{
    std::uint32_t width = 0, height = 0;
    TIFFGetField(state->tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(state->tiff, TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0)
        return codec_fail(codec_fault::file, "TIFF picture of %u x %u pixels", width, height);
    const codec_message side = picture_side_check(width, height);
    if (side.failed())
        return side;
    state->shape.width = static_cast<std::int32_t>(width);
    state->shape.height = static_cast<std::int32_t>(height);
    return {};
}

std::uint64_t chunk_samples(const tiff_state& state)
{
    return state.separate ? 1 : state.samples_per_pixel;
}

std::uint64_t chunk_bytes(const tiff_state& state, std::uint32_t rows)
{
    return std::uint64_t{state.chunk_width} * rows * chunk_samples(state) * sample_bytes(state.shape.format);
}

std::uint32_t chunks_across(const tiff_state& state)
{
    return (static_cast<std::uint32_t>(state.shape.width) + state.chunk_width - 1) / state.chunk_width;
}

std::uint32_t chunks_down(const tiff_state& state)
{
    return (static_cast<std::uint32_t>(state.shape.height) + state.chunk_height - 1) / state.chunk_height;
}

std::uint32_t rows_in_chunk(const tiff_state& state, std::uint32_t chunk_row)
{
    return std::min(state.chunk_height, static_cast<std::uint32_t>(state.shape.height) - chunk_row * state.chunk_height);
}

codec_message read_chunk_shape(tiff_state* state)
{
    TIFF* tiff = state->tiff;
    state->tiled = TIFFIsTiled(tiff) != 0;
    if (!state->tiled) {
        std::uint32_t rows = 0;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rows);
        state->chunk_width = static_cast<std::uint32_t>(state->shape.width);
        state->chunk_height = std::clamp<std::uint32_t>(rows, 1, static_cast<std::uint32_t>(state->shape.height));
        return {};
    }
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &height);
    const auto allowed = [](std::int32_t side) {
        return std::max((static_cast<std::uint32_t>(side) + 15) / 16 * 16, tile_side_allowance);
    };
    if (width == 0 || height == 0 || width % 16 != 0 || height % 16 != 0 || width > allowed(state->shape.width) ||
        height > allowed(state->shape.height))
        return codec_fail(codec_fault::file, "TIFF tiles of %u x %u do not suit a %d x %d picture", width, height,
                          state->shape.width, state->shape.height);
    state->chunk_width = width;
    state->chunk_height = height;
    return {};
}

// Every strip or tile the picture needs lies inside the file; an
// uncompressed one also holds all its pixels.
codec_message check_chunks_in_file(tiff_state* state)
{
    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(state->tiff, TIFFTAG_COMPRESSION, &compression);
    const char* what = state->tiled ? "tile" : "strip";
    const std::uint32_t per_plane = chunks_across(*state) * chunks_down(*state);
    const std::uint32_t planes = state->separate ? state->samples_per_pixel : 1;
    const std::uint64_t length = state->file.length;
    for (std::uint32_t chunk = 0; chunk < per_plane * planes; ++chunk) {
        int missing = 0;
        const std::uint64_t offset = TIFFGetStrileOffsetWithErr(state->tiff, chunk, &missing);
        const std::uint64_t count = missing ? 0 : TIFFGetStrileByteCountWithErr(state->tiff, chunk, &missing);
        if (missing)
            return codec_fail(codec_fault::file, "TIFF %s %u is missing", what, chunk);
        if (count > length || offset > length - count)
            return codec_fail(codec_fault::file, "TIFF %s %u (%llu bytes at %llu) lies outside the file of %llu bytes",
                              what, chunk, static_cast<unsigned long long>(count),
                              static_cast<unsigned long long>(offset), static_cast<unsigned long long>(length));
        const std::uint32_t rows =
            state->tiled ? state->chunk_height : rows_in_chunk(*state, (chunk % per_plane) / chunks_across(*state));
        const std::uint64_t needed = chunk_bytes(*state, rows);
        if (compression == COMPRESSION_NONE && count < needed)
            return codec_fail(codec_fault::file, "uncompressed TIFF %s %u holds %llu bytes, not the %llu its pixels need",
                              what, chunk, static_cast<unsigned long long>(count),
                              static_cast<unsigned long long>(needed));
    }
    return {};
}

template <typename T>
void invert_grey(picture* out, T top)
{
    const picture_info& info = out->info;
    auto* samples = reinterpret_cast<T*>(out->samples.get());
    const std::size_t count = static_cast<std::size_t>(info.width) * static_cast<std::size_t>(info.height);
    const bool by_alpha = info.premultiplied && info.channels == 2;
    for (std::size_t i = 0; i < count; ++i) {
        T* pixel = samples + i * static_cast<std::size_t>(info.channels);
        // Premultiplied, white as zero stores alpha times (top - grey). A
        // stored value above its alpha, which no grey gives, is black rather
        // than a wrap past zero.
        const T ceiling = by_alpha ? pixel[1] : top;
        pixel[0] = by_alpha && pixel[0] > ceiling ? T{0} : static_cast<T>(ceiling - pixel[0]);
    }
}

}  // namespace

codec_message tiff_open(const codec_source& source, std::unique_ptr<format_reader>* reader, picture_info* info)
{
    std::unique_ptr<tiff_state> state(new (std::nothrow) tiff_state);
    std::unique_ptr<TIFFOpenOptions, options_free> options(TIFFOpenOptionsAlloc());
    if (!state || !options)
        return codec_fail(codec_fault::memory, "no memory for the TIFF decoder");
    codec_message message = source_seekable(source, "TIFF", &state->file);
    if (message.failed())
        return message;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), largest_picture_stream);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), on_error, state.get());
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), on_warning, state.get());
    state->tiff = TIFFClientOpenExt(handle_name, "r", state.get(), read_proc, write_proc, seek_proc, close_proc, size_proc,
                                    map_proc, unmap_proc, options.get());
    if (!state->tiff)
        return state->message.failed() ? state->message : refuse("not a readable TIFF file");
    message = read_size(state.get());
    if (!message.failed())
        message = read_shape(state.get());
    if (!message.failed())
        message = read_chunk_shape(state.get());
    if (!message.failed())
        message = check_chunks_in_file(state.get());
    if (message.failed())
        return message;
    *info = state->shape;
    *reader = std::move(state);
    return {};
}

codec_message tiff_state::decode(picture* out)
{
    codec_message status = picture_allocate(shape, out);
    block_ptr scratch;
    const std::uint64_t scratch_size = chunk_bytes(*this, chunk_height);
    if (!status.failed())
        status = allocate_block(static_cast<std::size_t>(scratch_size), "TIFF strip", &scratch);
    if (status.failed())
        return status;
    const std::size_t size = sample_bytes(shape.format);
    const std::size_t in_pixel = chunk_samples(*this) * size;
    const std::size_t out_pixel = pixel_bytes(shape);
    // A whole pixel of the picture's channels, or one sample of a plane.
    const std::size_t taken = separate ? size : out_pixel;
    const std::uint32_t across = chunks_across(*this);
    const std::uint32_t per_plane = across * chunks_down(*this);
    const int planes = separate ? shape.channels : 1;
    for (int plane = 0; plane < planes; ++plane)
        for (std::uint32_t index = 0; index < per_plane; ++index) {
            const std::uint32_t chunk = static_cast<std::uint32_t>(plane) * per_plane + index;
            const std::uint32_t x0 = index % across * chunk_width;
            const std::uint32_t y0 = index / across * chunk_height;
            const std::uint32_t rows = tiled ? chunk_height : rows_in_chunk(*this, index / across);
            const auto wanted = static_cast<tmsize_t>(chunk_bytes(*this, rows));
            const tmsize_t got = tiled ? TIFFReadEncodedTile(tiff, chunk, scratch.get(), wanted)
                                       : TIFFReadEncodedStrip(tiff, chunk, scratch.get(), wanted);
            if (got != wanted)
                return message.failed() ? message
                                        : codec_fail(codec_fault::file, "TIFF %s %u is short", tiled ? "tile" : "strip",
                                                     chunk);
            const std::uint32_t width = std::min(chunk_width, static_cast<std::uint32_t>(shape.width) - x0);
            const std::uint32_t height = std::min(rows, static_cast<std::uint32_t>(shape.height) - y0);
            for (std::uint32_t y = 0; y < height; ++y) {
                const std::uint8_t* from = scratch.get() + std::size_t{y} * chunk_width * in_pixel;
                std::uint8_t* to = out->samples.get() + (std::size_t{y0 + y} * shape.width + x0) * out_pixel +
                                   static_cast<std::size_t>(plane) * size * separate;
                if (in_pixel == out_pixel)
                    std::memcpy(to, from, std::size_t{width} * out_pixel);
                else
                    for (std::uint32_t x = 0; x < width; ++x)
                        std::memcpy(to + x * out_pixel, from + x * in_pixel, taken);
            }
        }
    if (white_is_zero && shape.format == sample_format::u8)
        invert_grey<std::uint8_t>(out, 0xFF);
    else if (white_is_zero && shape.format == sample_format::u16)
        invert_grey<std::uint16_t>(out, 0xFFFF);
    else if (white_is_zero)
        invert_grey<float>(out, 1.0F);
    std::uint32_t icc_size = 0;
    void* icc = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &icc_size, &icc) && icc && icc_size > 0)
        return picture_set_icc(out, icc, icc_size);
    return {};
}
