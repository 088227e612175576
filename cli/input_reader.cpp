#include "cli/input_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bmp/bmp_decode.h"
#include "bmp/bmp_header.h"
#include "bmp/plane.h"
#include "cli/checked_alloc.h"
#include "cli/messages.h"
#include "codecs/picture_codec.h"
#include "resize/fresh_memory.h"

namespace {

// A negative difference shrinks, down to one pixel on a side; the output
// side is limited like the input side (the inverse lines are twice as long).
// Sums are formed in 64 bits.
void check_size_limits(std::int32_t width, std::int64_t height, const resize_options* cnt)
{
    const std::int64_t out_width = std::int64_t{width} + cnt->sizexminus;
    const std::int64_t out_height = height + cnt->sizexminusy;
    if (out_width < 1)
        fail_no_output_columns(cnt->sizexminus, width);
    if (out_height < 1)
        fail_no_output_rows(cnt->sizexminusy, height);
    if (out_width > max_picture_side)
        fail_output_width(out_width, max_picture_side, width, cnt->sizexminus);
    if (out_height > max_picture_side)
        fail_output_height(out_height, max_picture_side, height, cnt->sizexminusy);
}

// The pixel budget bounds what a small compressed file can make the run
// allocate and write. It is the same for every input format: the declared
// size is checked from the header, before anything sized from it exists.
void check_pixel_budget(std::int64_t width, std::int64_t height, const resize_options* cnt)
{
    const std::int32_t budget = cnt->max_pixels != 0 ? cnt->max_pixels : default_pixel_budget;
    if (width * height > budget)
        fail_pixel_budget(width, height, budget);
}

// Reads and drops count bytes; a regular file skips them with a seek.
bool skip_bytes(input_file* file, std::int64_t count)
{
    if (count <= 0)
        return true;
    if (file->regular)
        return fseeko(file->stream, static_cast<off_t>(count), SEEK_CUR) == 0;
    std::uint8_t scratch[1 << 14];
    while (count > 0) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(count, sizeof scratch));
        if (std::fread(scratch, 1, chunk, file->stream) != chunk)
            return false;
        count -= static_cast<std::int64_t>(chunk);
    }
    return true;
}

// Whether the file can be as long as its stored size S says: a regular file
// by its measured length; a stream only up to the largest file its headers
// allow, since nothing beyond that is read from it.
bool stored_size_backed(const input_file& file)
{
    const std::int64_t stored = file.header.file_size;
    return file.regular ? stored <= file.length : stored <= bmp_largest_file(file.header);
}

// Fills vin with the file's bytes [offset, end): those already in the head
// first, then the rest from the stream. A stream is then read on to the
// stored size S, so that a stream shorter than S is refused like a short
// file.
bool stream_pixel_data(input_file* file, std::uint8_t* vin, std::int64_t end)
{
    const std::int64_t offset = file->header.pixel_offset;
    const auto head_end = static_cast<std::int64_t>(file->head_length);
    std::int64_t position = head_end;
    std::int64_t filled = 0;
    if (offset < head_end) {
        filled = std::min(head_end, end) - offset;
        std::memcpy(vin, file->head + offset, static_cast<std::size_t>(filled));
    }
    if (!skip_bytes(file, offset - position))
        return false;
    position = std::max(position, offset);
    const auto rest = static_cast<std::size_t>(end - offset - filled);
    if (std::fread(vin + filled, 1, rest, file->stream) != rest)
        return false;
    position = std::max(position, end);
    return file->regular || skip_bytes(file, file->header.file_size - position);
}

// A regular file's bytes [offset, end) into vin, in blocks read at once on
// the team's threads. A file cut shorter since it was measured reads short,
// and is refused like any short file.
bool read_pixel_data(input_file* file, std::uint8_t* vin, std::int64_t end, velmora::thread_team& team)
{
    constexpr std::int64_t block = std::int64_t{1} << 20;
    struct reading {
        int fd;
        std::uint8_t* vin;
        std::int64_t offset;
        std::int64_t size;
        std::atomic<bool> short_read{false};
    } r{fileno(file->stream), vin, file->header.pixel_offset, end - file->header.pixel_offset};
    velmora::run_units(team, (r.size + block - 1) / block, [](void* context, int, std::int64_t unit) {
        auto* r = static_cast<reading*>(context);
        std::int64_t at = unit * block;
        const std::int64_t to = std::min(r->size, at + block);
        while (at < to) {
            const ssize_t got = pread(r->fd, r->vin + at, static_cast<std::size_t>(to - at), r->offset + at);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                r->short_read.store(true);
                return;
            }
            at += got;
        }
    }, &r);
    return !r.short_read.load();
}

// The pixels of vin into the planes, in bands of columns on the team.
bmp_status decode_in_bands(const bmp_header& header, const std::uint8_t* vin, std::size_t vin_size,
                           colour_planes planes, velmora::thread_team& team, std::uint64_t* detail)
{
    struct decoding {
        const bmp_header& header;
        const std::uint8_t* vin;
        std::size_t vin_size;
        colour_planes planes;
        bmp_band_result results[bmp_max_bands];
    } d{header, vin, vin_size, planes, {}};
    const std::int64_t bands = bmp_band_count(header);
    velmora::run_units(team, bands, [](void* context, int, std::int64_t band) {
        auto* d = static_cast<decoding*>(context);
        d->results[band] = bmp_decode_band(d->header, d->vin, d->vin_size, d->planes, band);
    }, &d);
    return bmp_bands_outcome(d.results, bands, detail);
}

void free_planes(input_planes* planes)
{
    std::free(planes->BIN);
    std::free(planes->GIN);
    std::free(planes->RIN);
    *planes = input_planes{};
}

[[noreturn]] void report(input_status status, const input_file& file, const char* name)
{
    if (status == input_status::cannot_open)
        fail_input_unopenable(name);
    if (status == input_status::folder)
        fail_input_folder(name);
    if (status == input_status::size_error)
        fail_input_size();
    // Anything that is not one of the other kinds ends up here: without the
    // signature it is more likely not a picture at all than a broken BMP.
    if (file.head_length < 2 || file.head[0] != 'B' || file.head[1] != 'M')
        fail_input_refused(name, "not a BMP, PNG, JPEG or TIFF picture");
    char reason[160];
    bmp_status_reason(file.bmp, file.header, file.detail, reason, sizeof reason);
    // The side limits name the input itself, not the file.
    if (file.bmp == bmp_status::width_above_limit || file.bmp == bmp_status::height_above_limit)
        fail_input_side(reason);
    fail_input_refused(name, reason);
}

}  // namespace

input_status input_open(const char* name, input_file* file)
{
    file->stream = std::fopen(name, "rb");
    if (!file->stream)
        return input_status::cannot_open;
    struct stat info {};
    if (fstat(fileno(file->stream), &info) != 0 || S_ISDIR(info.st_mode)) {
        const bool folder = S_ISDIR(info.st_mode);
        std::fclose(file->stream);
        file->stream = nullptr;
        return folder ? input_status::folder : input_status::cannot_open;
    }
    file->regular = S_ISREG(info.st_mode);
    file->length = file->regular ? static_cast<std::int64_t>(info.st_size) : 0;
    file->head_length = std::fread(file->head, 1, sizeof file->head, file->stream);
    file->detail = 0;
    file->kind = picture_kind_of(file->head, file->head_length);
    if (file->kind != picture_kind::bmp)
        return input_status::ok;
    file->bmp = bmp_parse_header(file->head, file->head_length, &file->header);
    if (file->bmp != bmp_status::ok) {
        std::fclose(file->stream);
        file->stream = nullptr;
        return input_status::bad_header;
    }
    return input_status::ok;
}

input_status input_load(input_file* file, input_planes* planes, velmora::thread_team& team)
{
    *planes = input_planes{};
    const bmp_header& header = file->header;
    if (!bmp_stored_size_holds_rows(header) || !stored_size_backed(*file)) {
        std::fclose(file->stream);
        file->stream = nullptr;
        return input_status::size_error;
    }
    // Only the pixel data a decoder can use is kept: never more than the
    // stored size, nor more than the picture's coding can take.
    const std::int64_t offset = header.pixel_offset;
    const std::int64_t end =
        std::min<std::int64_t>(header.file_size, offset + bmp_pixel_bytes_bound(header, header.width, header.height));
    const auto vin_size = static_cast<std::size_t>(end - offset);
    std::uint8_t* vin = checked_array<std::uint8_t>(vin_size, "vin");
    populate(team, vin, vin_size, populate_kind::owned);
    const bool filled = file->regular ? read_pixel_data(file, vin, end, team) : stream_pixel_data(file, vin, end);
    std::fclose(file->stream);
    file->stream = nullptr;
    if (!filled) {
        std::free(vin);
        return input_status::size_error;
    }

    const std::size_t plane_size =
        static_cast<std::size_t>(header.width) * static_cast<std::size_t>(header.height);
    planes->BIN = checked_array<std::uint8_t>(plane_size, "BIN");
    planes->GIN = checked_array<std::uint8_t>(plane_size, "GIN");
    planes->RIN = checked_array<std::uint8_t>(plane_size, "RIN");
    for (std::uint8_t* plane : {planes->BIN, planes->GIN, planes->RIN})
        populate(team, plane, plane_size, populate_kind::owned);
    file->bmp = decode_in_bands(header, vin, vin_size, colour_planes{planes->BIN, planes->GIN, planes->RIN}, team,
                                &file->detail);
    std::free(vin);
    if (file->bmp != bmp_status::ok) {
        free_planes(planes);
        return input_status::bad_pixels;
    }
    return input_status::ok;
}

namespace {

[[noreturn]] void report_codec(const codec_message& message, const char* name)
{
    if (message.fault == codec_fault::file || message.fault == codec_fault::memory)
        fail_input_refused(name, message.text);
    // The side limit and a missing library say nothing about the file itself.
    fail_input_side(message.text);
}

// A PNG, JPEG or TIFF input, its header checked before its pixels.
void read_coded(input_file* file, const resize_options& cnt, input_picture* picture)
{
    const codec_source source = input_source(*file);
    picture_reader reader;
    codec_message message = picture_open(file->kind, source, &reader);
    if (!message.failed()) {
        check_pixel_budget(reader.info.width, reader.info.height, &cnt);
        check_size_limits(reader.info.width, reader.info.height, &cnt);
        message = picture_decode(&reader, &picture->image);
    }
    std::fclose(file->stream);
    file->stream = nullptr;
    if (message.failed())
        report_codec(message, cnt.input_name);
    print_warnings(cnt.input_name, reader.warnings);
    picture->width = picture->image.info.width;
    picture->height = picture->image.info.height;
}

}  // namespace

codec_source input_source(const input_file& file)
{
    return codec_source{file.head, file.head_length, file.stream, file.regular ? file.length : -1};
}

input_picture read_input(const resize_options& cnt, velmora::thread_team& team)
{
    input_file file;
    input_status status = input_open(cnt.input_name, &file);
    if (status != input_status::ok)
        report(status, file, cnt.input_name);
    input_picture picture;
    picture.kind = file.kind;
    if (file.kind != picture_kind::bmp) {
        read_coded(&file, cnt, &picture);
        return picture;
    }
    check_pixel_budget(file.header.width, file.header.height, &cnt);
    check_size_limits(file.header.width, file.header.height, &cnt);
    picture.width = file.header.width;
    picture.height = static_cast<std::int32_t>(file.header.height);
    status = input_load(&file, &picture.planes, team);
    if (status != input_status::ok)
        report(status, file, cnt.input_name);
    return picture;
}
