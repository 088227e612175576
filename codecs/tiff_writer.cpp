#include "codecs/tiff_writer.h"

#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Strips of about this many bytes: large enough that the per-strip work of
// libtiff and zlib does not show, small enough for the scratch copy.
constexpr std::size_t strip_target_bytes = std::size_t{1} << 18;
// Above this much raw pixel data the file could pass classic TIFF's 32-bit
// offsets (compression can grow incompressible data a little).
constexpr std::uint64_t classic_tiff_pixels_limit = (std::uint64_t{1} << 32) - (std::uint64_t{1} << 26);

// The file being made, with a position in it: a growing block, or the
// caller's stream itself where that is a regular file, which can seek (the
// file then needs no second copy in memory).
struct memory_file {
    block_ptr bytes;
    std::size_t capacity = 0;
    std::size_t size = 0;
    std::uint64_t position = 0;
    std::FILE* stream = nullptr;  // written in place of bytes
    std::uint64_t base = 0;       // where the file starts in the stream
    std::uint64_t stream_at = 0;  // the stream's position in the file
    codec_message message;        // the first fault libtiff, memory or the stream met
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

// A seek past the end of a file leaves a hole, which reads as zeros.
bool write_stream(memory_file* file, const void* data, tmsize_t count)
{
    const auto size = static_cast<std::size_t>(count);
    const bool there = file->stream_at == file->position ||
                       fseeko(file->stream, static_cast<off_t>(file->base + file->position), SEEK_SET) == 0;
    if (there && std::fwrite(data, 1, size, file->stream) == size) {
        file->stream_at = file->position + size;
        return true;
    }
    if (!file->message.failed())
        file->message = codec_fail(codec_fault::output, "write error: %s", std::strerror(errno));
    return false;
}

tmsize_t write_proc(thandle_t handle, void* data, tmsize_t count)
{
    memory_file* file = file_of(handle);
    const std::uint64_t end = file->position + static_cast<std::uint64_t>(count);
    if (file->stream) {
        if (!write_stream(file, data, count))
            return -1;
        file->position = end;
        file->size = std::max<std::size_t>(file->size, end);
        return count;
    }
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

// libtiff reads nothing back while it writes a new file.
tmsize_t read_proc(thandle_t handle, void* data, tmsize_t count)
{
    memory_file* file = file_of(handle);
    if (file->stream || file->position >= file->size || count <= 0)
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

// libtiff's predictors work in place, so each compressed strip goes through
// a copy and the caller's picture is never changed. Uncompressed strips in
// the machine's byte order go from the picture to the file untouched.
bool write_strips(TIFF* tiff, const picture& image, std::uint32_t strip_rows, std::uint8_t* scratch)
{
    const std::size_t row = row_bytes(image.info);
    const auto height = static_cast<std::uint32_t>(image.info.height);
    for (std::uint32_t y = 0, strip = 0; y < height; y += strip_rows, ++strip) {
        const std::size_t size = std::min(strip_rows, height - y) * row;
        std::uint8_t* rows = image.samples.get() + y * row;
        if (scratch) {
            std::memcpy(scratch, rows, size);
            rows = scratch;
        }
        if (TIFFWriteEncodedStrip(tiff, strip, rows, static_cast<tmsize_t>(size)) < 0)
            return false;
    }
    return TIFFWriteDirectory(tiff) != 0;
}

// A regular file that the file can be written to in place.
bool seekable(std::FILE* out)
{
    struct stat info {};
    return fileno(out) >= 0 && fstat(fileno(out), &info) == 0 && S_ISREG(info.st_mode) && ftello(out) >= 0;
}

std::unique_ptr<TIFF, tiff_close> open_memory_tiff(memory_file* file, bool big)
{
    std::unique_ptr<TIFFOpenOptions, options_free> tiff_options(TIFFOpenOptionsAlloc());
    if (!tiff_options)
        return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(tiff_options.get(), on_error, file);
    TIFFOpenOptionsSetWarningHandlerExtR(tiff_options.get(), on_warning, file);
    return std::unique_ptr<TIFF, tiff_close>(TIFFClientOpenExt("output", big ? "w8" : "w", file, read_proc,
                                                               write_proc, seek_proc, close_proc, size_proc, map_proc,
                                                               unmap_proc, tiff_options.get()));
}

// Compressed strips made at once on the runner's threads: each thread
// encodes its strips with libtiff itself, into a file of its own with the
// picture's fields, and the main file takes them as they came out, raw and
// in order, so its bytes are those of strips encoded one after the other.
struct strip_worker {
    memory_file file;
    std::unique_ptr<TIFF, tiff_close> tiff;
    block_ptr scratch;
};

struct strip_made {
    int worker;
    std::uint64_t offset;  // in that worker's file
    std::uint64_t size;    // 0: not made
};

struct strip_job {
    const picture* image;
    const tiff_write_options* options;
    std::uint32_t strip_rows;
    bool big;
    strip_worker* workers;
    strip_made* strips;
};

void encode_strip(const strip_job& job, int thread, std::uint32_t strip)
{
    strip_worker& w = job.workers[thread];
    const std::size_t row = row_bytes(job.image->info);
    if (!w.tiff) {
        w.tiff = open_memory_tiff(&w.file, job.big);
        if (!w.tiff || !set_fields(w.tiff.get(), *job.image, *job.options, job.strip_rows) ||
            allocate_block(job.strip_rows * row, "TIFF strip", &w.scratch).failed()) {
            w.tiff.reset();
            return;
        }
    }
    const auto height = static_cast<std::uint32_t>(job.image->info.height);
    const std::uint32_t y = strip * job.strip_rows;
    const std::size_t size = std::min(job.strip_rows, height - y) * row;
    std::memcpy(w.scratch.get(), job.image->samples.get() + y * row, size);
    if (TIFFWriteEncodedStrip(w.tiff.get(), strip, w.scratch.get(), static_cast<tmsize_t>(size)) < 0)
        return;
    job.strips[strip] = strip_made{thread, TIFFGetStrileOffset(w.tiff.get(), strip),
                                   TIFFGetStrileByteCount(w.tiff.get(), strip)};
}

bool write_strips_at_once(TIFF* tiff, const picture& image, const tiff_write_options& options,
                          std::uint32_t strip_rows, bool big, const band_runner& runner, codec_message* failure)
{
    const auto strips = (static_cast<std::uint32_t>(image.info.height) + strip_rows - 1) / strip_rows;
    std::unique_ptr<strip_worker[]> workers(new (std::nothrow) strip_worker[static_cast<std::size_t>(runner.threads)]);
    block_ptr made;
    if (!workers || allocate_block(strips * sizeof(strip_made), "TIFF strips", &made).failed()) {
        *failure = codec_fail(codec_fault::memory, "no memory for the TIFF file");
        return false;
    }
    strip_job job{&image, &options, strip_rows, big, workers.get(), reinterpret_cast<strip_made*>(made.get())};
    std::fill(job.strips, job.strips + strips, strip_made{0, 0, 0});
    run_bands(runner, strips, [](void* context, int thread, std::int64_t strip) {
        encode_strip(*static_cast<strip_job*>(context), thread, static_cast<std::uint32_t>(strip));
    }, &job);
    for (std::uint32_t strip = 0; strip < strips; ++strip) {
        const strip_made& s = job.strips[strip];
        memory_file& source = workers[static_cast<std::size_t>(s.worker)].file;
        if (s.size == 0 || source.message.failed()) {
            *failure = source.message.failed() ? source.message
                                               : codec_fail(codec_fault::output, "TIFF: strip %u could not be made", strip);
            return false;
        }
        if (TIFFWriteRawStrip(tiff, strip, source.bytes.get() + s.offset, static_cast<tmsize_t>(s.size)) < 0)
            return false;
    }
    return TIFFWriteDirectory(tiff) != 0;
}

}  // namespace

codec_message tiff_write(std::FILE* out, const picture& image, const tiff_write_options& options,
                         const band_runner& runner)
{
    const picture_info& info = image.info;
    if (info.channels < 1 || info.channels > 4)
        return codec_fail(codec_fault::output, "TIFF output takes 1 to 4 channels, not %d", info.channels);
    const std::size_t row = row_bytes(info);
    const auto strip_rows = static_cast<std::uint32_t>(
        std::clamp<std::size_t>(strip_target_bytes / row, 1, static_cast<std::size_t>(info.height)));
    const bool compressed = options.compression != tiff_compression::none;
    block_ptr scratch;
    if (compressed) {
        const codec_message message = allocate_block(strip_rows * row, "TIFF strip", &scratch);
        if (message.failed())
            return message;
    }
    memory_file file;
    if (seekable(out)) {
        file.stream = out;
        file.base = static_cast<std::uint64_t>(ftello(out));
    } else if (!reserve(&file, info.height * row + image.icc_size + 4096)) {
        // Uncompressed, the file is a little more than its pixels.
        return codec_fail(codec_fault::memory, "no memory for the TIFF file");
    }
    const bool big = picture_bytes(info) > classic_tiff_pixels_limit;
    std::unique_ptr<TIFF, tiff_close> tiff = open_memory_tiff(&file, big);
    const bool at_once = compressed && runner.run && runner.threads > 1;
    bool written = tiff && set_fields(tiff.get(), image, options, strip_rows);
    if (written && at_once) {
        written = write_strips_at_once(tiff.get(), image, options, strip_rows, big, runner, &file.message);
    } else if (written) {
        written = write_strips(tiff.get(), image, strip_rows, scratch.get());
    }
    tiff.reset();
    if (!written || file.message.failed())
        return file.message.failed() ? file.message : codec_fail(codec_fault::output, "TIFF: the file could not be made");
    if (file.stream)
        return fseeko(out, static_cast<off_t>(file.base + file.size), SEEK_SET) == 0
                   ? codec_message{}
                   : codec_fail(codec_fault::output, "write error: %s", std::strerror(errno));
    if (std::fwrite(file.bytes.get(), 1, file.size, out) != file.size)
        return codec_fail(codec_fault::output, "write error: %s", std::strerror(errno));
    return {};
}
