#include "bmp/bmp_reader.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "bmp/bmp_decode.h"
#include "bmp/bmp_header.h"

namespace {

// Bytes a thread reads at once from a file whose length is known.
constexpr std::int64_t read_block = std::int64_t{1} << 20;

struct bmp_state final : format_reader {
    const codec_source* source = nullptr;
    picture_read_options options;
    bmp_header header;
    picture_info shape;

    codec_message decode(picture* out) override;
};

codec_message refusal(const codec_source& source, bmp_status status, const bmp_header& header, std::uint64_t detail)
{
    if (source.head_length < 2 || source.head[0] != 'B' || source.head[1] != 'M')
        return codec_fail(codec_fault::file, "not a BMP, PNG, JPEG or TIFF picture");
    char reason[160];
    bmp_status_reason(status, header, detail, reason, sizeof reason);
    const bool side = status == bmp_status::width_above_limit || status == bmp_status::height_above_limit;
    return codec_fail(side ? codec_fault::limit : codec_fault::file, "%s", reason);
}

codec_message too_short()
{
    return codec_fail(codec_fault::short_file, "the file is shorter than its stored size");
}

// Whether the file can be as long as its stored size S says.
bool stored_size_backed(const codec_source& source, const bmp_header& header)
{
    const std::int64_t stored = header.file_size;
    return source.length >= 0 ? stored <= source.length : stored <= bmp_largest_file(header);
}

bool skip_bytes(std::FILE* stream, std::int64_t count)
{
    std::uint8_t scratch[1 << 14];
    while (count > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(count, sizeof scratch));
        if (std::fread(scratch, 1, chunk, stream) != chunk)
            return false;
        count -= static_cast<std::int64_t>(chunk);
    }
    return true;
}

// The file's bytes [offset, end) of a stream into encoded: those already in
// the head first, then the rest, then on to the stored size.
bool stream_pixel_data(const codec_source& source, const bmp_header& header, std::uint8_t* encoded, std::int64_t end)
{
    const std::int64_t offset = header.pixel_offset;
    const auto head_end = static_cast<std::int64_t>(source.head_length);
    std::int64_t filled = 0;
    if (offset < head_end) {
        filled = std::min(head_end, end) - offset;
        std::memcpy(encoded, source.head + offset, static_cast<std::size_t>(filled));
    }
    if (!skip_bytes(source.stream, offset - head_end))
        return false;
    const auto rest = static_cast<std::size_t>(end - offset - filled);
    if (std::fread(encoded + filled, 1, rest, source.stream) != rest)
        return false;
    return skip_bytes(source.stream, header.file_size - std::max(head_end, end));
}

// The same from a file whose length is known, in blocks read at once. A
// file cut shorter since it was measured reads short, and is refused like
// any short file.
bool read_pixel_data(const codec_source& source, const band_runner& runner, std::int64_t offset,
                     std::uint8_t* encoded, std::int64_t size)
{
    struct reading {
        source_file file;
        std::uint8_t* encoded;
        std::int64_t offset;
        std::int64_t size;
        std::atomic<bool> short_read{false};
    } r{{}, encoded, offset, size};
    if (source_seekable(source, "BMP", &r.file).failed())
        return false;
    run_bands(runner, (size + read_block - 1) / read_block, [](void* context, int, std::int64_t unit) {
        auto* r = static_cast<reading*>(context);
        const std::int64_t at = unit * read_block;
        const auto count = static_cast<std::size_t>(std::min(r->size - at, read_block));
        if (source_file_read(r->file, static_cast<std::uint64_t>(r->offset + at), r->encoded + at, count) != count)
            r->short_read.store(true);
    }, &r);
    return !r.short_read.load();
}

bmp_status decode_in_bands(const bmp_header& header, const std::uint8_t* encoded, std::size_t size, std::uint8_t* rgb,
                           const band_runner& runner, std::uint64_t* detail)
{
    struct decoding {
        const bmp_header& header;
        const std::uint8_t* encoded;
        std::size_t size;
        std::uint8_t* rgb;
        bmp_band_result results[bmp_max_bands];
    } d{header, encoded, size, rgb, {}};
    const std::int64_t bands = bmp_band_count(header);
    run_bands(runner, bands, [](void* context, int, std::int64_t band) {
        auto* d = static_cast<decoding*>(context);
        d->results[band] = bmp_decode_band(d->header, d->encoded, d->size, d->rgb, band);
    }, &d);
    return bmp_bands_outcome(d.results, bands, detail);
}

}  // namespace

codec_message bmp_open(const codec_source& source, const picture_read_options& options,
                       std::unique_ptr<format_reader>* reader, picture_info* info)
{
    std::unique_ptr<bmp_state> state(new (std::nothrow) bmp_state);
    if (!state)
        return codec_fail(codec_fault::memory, "no memory for the BMP decoder");
    const std::size_t head = std::min(source.head_length, bmp_head_bytes);
    const bmp_status status = bmp_parse_header(source.head, head, &state->header);
    if (status != bmp_status::ok)
        return refusal(source, status, state->header, 0);
    state->source = &source;
    state->options = options;
    state->shape = picture_info{state->header.width, static_cast<std::int32_t>(state->header.height), 3,
                                sample_format::u8, false};
    *info = state->shape;
    *reader = std::move(state);
    return {};
}

codec_message bmp_state::decode(picture* out)
{
    if (!bmp_stored_size_holds_rows(header) || !stored_size_backed(*source, header))
        return too_short();
    // Never more than the stored size, nor more than the coding can take.
    const std::int64_t offset = header.pixel_offset;
    const std::int64_t end =
        std::min<std::int64_t>(header.file_size, offset + bmp_pixel_bytes_bound(header, header.width, header.height));
    const auto size = static_cast<std::size_t>(end - offset);
    const block_ptr encoded(static_cast<std::uint8_t*>(borrow_block(options, size, picture_block::encoded)));
    if (!encoded)
        return codec_fail(codec_fault::memory, "no memory for the BMP pixel data (%zu bytes)", size);
    const bool known_length = source->length >= 0 || !source->stream;
    if (!(known_length ? read_pixel_data(*source, options.runner, offset, encoded.get(), end - offset)
                       : stream_pixel_data(*source, header, encoded.get(), end)))
        return too_short();

    picture image;
    image.info = shape;
    const std::size_t bytes = picture_bytes(shape);
    image.samples.reset(static_cast<std::uint8_t*>(borrow_block(options, bytes, picture_block::samples)));
    if (!image.samples)
        return codec_fail(codec_fault::memory, "no memory for the picture (%zu bytes)", bytes);
    std::uint64_t detail = 0;
    const bmp_status status =
        decode_in_bands(header, encoded.get(), size, image.samples.get(), options.runner, &detail);
    if (status != bmp_status::ok)
        return refusal(*source, status, header, detail);
    *out = std::move(image);
    return {};
}
