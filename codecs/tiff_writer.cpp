#include "codecs/tiff_writer.h"

#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <memory>

namespace {

// Strips of about this many bytes: large enough that the per-strip work of
// libtiff and zlib does not show, small enough for the scratch copy.
constexpr std::size_t strip_target_bytes = std::size_t{1} << 18;
// Above this much raw pixel data the file could pass classic TIFF's 32-bit
// offsets (compression can grow incompressible data a little).
constexpr std::uint64_t classic_tiff_pixels_limit = (std::uint64_t{1} << 32) - (std::uint64_t{1} << 26);

// The file being made: a growing block with a position in it.
struct memory_file {
    block_ptr bytes;
    std::size_t capacity = 0;
    std::size_t size = 0;
    std::uint64_t position = 0;
    codec_message message;  // the first fault libtiff or memory met
};

memory_file* file_of(thandle_t handle)
{
    return static_cast<memory_file*>(handle);
}

bool reserve(memory_file* file, std::uint64_t needed)
{
    if (needed <= file->capacity)
        return true;
    const std::size_t grown = std::max<std::size_t>(static_cast<std::size_t>(needed), file->capacity * 2);
    void* block = std::realloc(file->bytes.get(), grown);
    if (!block) {
        if (!file->message.failed())
            file->message = codec_fail(codec_fault::memory, "no memory for the TIFF file (%zu bytes)", grown);
        return false;
    }
    static_cast<void>(file->bytes.release());
    file->bytes.reset(static_cast<std::uint8_t*>(block));
    file->capacity = grown;
    return true;
}

tmsize_t write_proc(thandle_t handle, void* data, tmsize_t count)
{
    memory_file* file = file_of(handle);
    const std::uint64_t end = file->position + static_cast<std::uint64_t>(count);
    if (!reserve(file, end))
        return -1;
    // A seek past the end leaves a gap of zeros.
    if (file->position > file->size)
        std::memset(file->bytes.get() + file->size, 0, file->position - file->size);
    std::memcpy(file->bytes.get() + file->position, data, static_cast<std::size_t>(count));
    file->position = end;
    file->size = std::max<std::size_t>(file->size, end);
    return count;
}

tmsize_t read_proc(thandle_t handle, void* data, tmsize_t count)
{
    memory_file* file = file_of(handle);
    if (file->position >= file->size || count <= 0)
        return 0;
    const std::size_t got = std::min<std::size_t>(static_cast<std::size_t>(count), file->size - file->position);
    std::memcpy(data, file->bytes.get() + file->position, got);
    file->position += got;
    return static_cast<tmsize_t>(got);
}

toff_t seek_proc(thandle_t handle, toff_t offset, int whence)
{
    memory_file* file = file_of(handle);
    const std::uint64_t base = whence == SEEK_CUR ? file->position : whence == SEEK_END ? file->size : 0;
    file->position = base + offset;
    return file->position;
}

int close_proc(thandle_t)
{
    return 0;
}

toff_t size_proc(thandle_t handle)
{
    return file_of(handle)->size;
}

int map_proc(thandle_t, void**, toff_t*)
{
    return 0;
}

void unmap_proc(thandle_t, void*, toff_t) {}

int on_error(TIFF*, void* user, const char*, const char* format, va_list arguments)
{
    memory_file* file = file_of(user);
    if (!file->message.failed()) {
        char text[200];
        std::vsnprintf(text, sizeof text, format, arguments);
        file->message = codec_fail_text(codec_fault::output, "TIFF: ", text);
    }
    return 1;
}

int on_warning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

struct tiff_close {
    void operator()(TIFF* tiff) const noexcept { TIFFClose(tiff); }
};
struct options_free {
    void operator()(TIFFOpenOptions* options) const noexcept { TIFFOpenOptionsFree(options); }
};

bool set_fields(TIFF* tiff, const picture& image, const tiff_write_options& options, std::uint32_t strip_rows)
{
    const picture_info& info = image.info;
    const bool alpha = info.channels == 2 || info.channels == 4;
    const bool floating = info.format == sample_format::f32;
    bool set = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(info.width)) &&
               TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(info.height)) &&
               TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(info.channels)) &&
               TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(8 * sample_bytes(info.format))) &&
               TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, floating ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT) &&
               TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, info.channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK) &&
               TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
               TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, strip_rows);
    if (set && alpha) {
        const std::uint16_t kind = info.premultiplied ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
        set = TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &kind);
    }
    if (set && options.compression == tiff_compression::deflate) {
        set = TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
              TIFFSetField(tiff, TIFFTAG_ZIPQUALITY, options.deflate_level);
        if (set && options.predictor)
            set = TIFFSetField(tiff, TIFFTAG_PREDICTOR, floating ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL);
    } else if (set) {
        set = TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    }
    if (set && image.icc && image.icc_size > 0)
        set = TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(image.icc_size), image.icc.get());
    return set;
}

// libtiff's predictors work in place, so each strip goes through a copy and
// the caller's picture is never changed.
bool write_strips(TIFF* tiff, const picture& image, std::uint32_t strip_rows, std::uint8_t* scratch)
{
    const std::size_t row = row_bytes(image.info);
    const auto height = static_cast<std::uint32_t>(image.info.height);
    for (std::uint32_t y = 0, strip = 0; y < height; y += strip_rows, ++strip) {
        const std::size_t size = std::min(strip_rows, height - y) * row;
        std::memcpy(scratch, image.samples.get() + y * row, size);
        if (TIFFWriteEncodedStrip(tiff, strip, scratch, static_cast<tmsize_t>(size)) < 0)
            return false;
    }
    return TIFFWriteDirectory(tiff) != 0;
}

}  // namespace

codec_message tiff_write(std::FILE* out, const picture& image, const tiff_write_options& options)
{
    const picture_info& info = image.info;
    if (info.channels < 1 || info.channels > 4)
        return codec_fail(codec_fault::output, "TIFF output takes 1 to 4 channels, not %d", info.channels);
    const std::size_t row = row_bytes(info);
    const auto strip_rows = static_cast<std::uint32_t>(
        std::clamp<std::size_t>(strip_target_bytes / row, 1, static_cast<std::size_t>(info.height)));
    block_ptr scratch;
    codec_message message = allocate_block(strip_rows * row, "TIFF strip", &scratch);
    if (message.failed())
        return message;
    memory_file file;
    std::unique_ptr<TIFFOpenOptions, options_free> tiff_options(TIFFOpenOptionsAlloc());
    // Uncompressed, the file is a little more than its pixels.
    if (!tiff_options || !reserve(&file, info.height * row + image.icc_size + 4096))
        return codec_fail(codec_fault::memory, "no memory for the TIFF file");
    TIFFOpenOptionsSetErrorHandlerExtR(tiff_options.get(), on_error, &file);
    TIFFOpenOptionsSetWarningHandlerExtR(tiff_options.get(), on_warning, &file);
    const bool big = picture_bytes(info) > classic_tiff_pixels_limit;
    std::unique_ptr<TIFF, tiff_close> tiff(TIFFClientOpenExt("output", big ? "w8" : "w", &file, read_proc, write_proc,
                                                             seek_proc, close_proc, size_proc, map_proc, unmap_proc,
                                                             tiff_options.get()));
    bool written = tiff && set_fields(tiff.get(), image, options, strip_rows) &&
                   write_strips(tiff.get(), image, strip_rows, scratch.get());
    tiff.reset();
    if (!written || file.message.failed())
        return file.message.failed() ? file.message : codec_fail(codec_fault::output, "TIFF: the file could not be made");
    if (std::fwrite(file.bytes.get(), 1, file.size, out) != file.size)
        return codec_fail(codec_fault::output, "write error: %s", std::strerror(errno));
    return {};
}
