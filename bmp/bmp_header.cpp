#include "bmp/bmp_header.h"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "bmp/le_bytes.h"

namespace {

// Field offsets from the start of the file. The signature at 0 is not checked:
// files that only differ there are read like any other.
constexpr std::size_t at_file_size = 2;
constexpr std::size_t at_pixel_offset = 10;
constexpr std::size_t at_info_size = 14;
constexpr std::size_t at_width = 18;
constexpr std::size_t at_height = 22;
constexpr std::size_t at_planes = 26;
constexpr std::size_t at_bits = 28;
constexpr std::size_t at_compression = 30;
constexpr std::size_t at_colours_used = 46;
// The red, green and blue masks: inside the info header from 52 bytes on,
// right after it for a 40-byte header that asks for bit fields.
constexpr std::size_t at_masks = 54;
// The 12-byte OS/2 1.x header keeps 16-bit sizes and counts.
constexpr std::size_t at_core_width = 18;
constexpr std::size_t at_core_height = 20;
constexpr std::size_t at_core_planes = 22;
constexpr std::size_t at_core_bits = 24;

constexpr std::uint32_t bi_rgb = 0;
constexpr std::uint32_t bi_rle8 = 1;
constexpr std::uint32_t bi_rle4 = 2;
constexpr std::uint32_t bi_bitfields = 3;
constexpr std::uint32_t bi_jpeg = 4;
constexpr std::uint32_t bi_png = 5;
constexpr std::uint32_t bi_alphabitfields = 6;

enum class header_kind { core, os2, windows };

bool accepted_info_size(std::uint32_t size)
{
    switch (size) {
    case 12: case 16: case 40: case 52: case 56: case 64: case 108: case 124:
        return true;
    default:
        return false;
    }
}

header_kind kind_of(std::uint32_t info_size)
{
    if (info_size == 12)
        return header_kind::core;
    return info_size == 16 || info_size == 64 ? header_kind::os2 : header_kind::windows;
}

bool accepted_depth(std::uint16_t bits)
{
    switch (bits) {
    case 1: case 2: case 4: case 8: case 16: case 24: case 32:
        return true;
    default:
        return false;
    }
}

void read_fields(const std::uint8_t* bytes, bmp_header* header)
{
    if (header->info_size == 12) {
        header->width = le_get_u16(bytes + at_core_width);
        header->height = le_get_u16(bytes + at_core_height);
        header->planes = le_get_u16(bytes + at_core_planes);
        header->bits_per_pixel = le_get_u16(bytes + at_core_bits);
        return;
    }
    header->width = le_get_i32(bytes + at_width);
    const std::int32_t stored_height = le_get_i32(bytes + at_height);
    header->top_down = stored_height < 0;
    header->height = header->top_down ? -static_cast<std::int64_t>(stored_height) : stored_height;
    header->planes = le_get_u16(bytes + at_planes);
    header->bits_per_pixel = le_get_u16(bytes + at_bits);
    // The 16-byte OS/2 header ends before the compression field.
    if (header->info_size >= 40)
        header->compression = le_get_u32(bytes + at_compression);
}

// Which coding the depth and compression name, or why none.
bmp_status choose_coding(bmp_header* header)
{
    const std::uint16_t bits = header->bits_per_pixel;
    const std::uint32_t method = header->compression;
    const header_kind kind = kind_of(header->info_size);
    if (method == bi_rgb) {
        header->coding = bits <= 8 ? bmp_coding::palette : bits == 24 ? bmp_coding::direct : bmp_coding::bit_fields;
        return bmp_status::ok;
    }
    if (method == bi_rle8 || method == bi_rle4) {
        header->coding = method == bi_rle8 ? bmp_coding::rle8 : bmp_coding::rle4;
        return bits == (method == bi_rle8 ? 8 : 4) ? bmp_status::ok : bmp_status::compression_depth;
    }
    if (kind == header_kind::os2) {
        if (method == 3)
            return bmp_status::os2_huffman;
        return method == 4 ? bmp_status::os2_rle24 : bmp_status::bad_compression;
    }
    if (method == bi_jpeg)
        return bmp_status::embedded_jpeg;
    if (method == bi_png)
        return bmp_status::embedded_png;
    // Alpha bit fields need a header with an alpha mask, or the 40-byte
    // header followed by four masks.
    const bool bit_field_method =
        method == bi_bitfields || (method == bi_alphabitfields && header->info_size != 52);
    if (!bit_field_method)
        return bmp_status::bad_compression;
    header->coding = bmp_coding::bit_fields;
    return bits == 16 || bits == 32 ? bmp_status::ok : bmp_status::compression_depth;
}

// Where the headers end: a 40-byte info header asking for bit fields is
// followed by its three masks (four with alpha).
std::uint64_t headers_end(const bmp_header& header)
{
    std::uint64_t end = bmp_file_header_size + header.info_size;
    if (header.info_size == 40 && header.compression == bi_bitfields)
        end += 12;
    if (header.info_size == 40 && header.compression == bi_alphabitfields)
        end += 16;
    return end;
}

// The last stored row needs its pixels, not its padding.
std::int64_t last_row_bytes(std::int64_t width, std::int64_t bits)
{
    return (width * bits + 7) / 8;
}

// A mask of zero, or one run of consecutive ones.
bool contiguous(std::uint32_t mask)
{
    if (mask == 0)
        return true;
    const std::uint32_t run = mask >> std::countr_zero(mask);
    return (run & (run + 1)) == 0;
}

bmp_status read_masks(const std::uint8_t* bytes, bmp_header* header)
{
    if (header->compression == bi_rgb) {
        // Plain 16 bits are 5-5-5, plain 32 bits 8-8-8 with the top byte unused.
        const bool five = header->bits_per_pixel == 16;
        header->masks[0] = five ? 0x7C00 : 0xFF0000;
        header->masks[1] = five ? 0x03E0 : 0x00FF00;
        header->masks[2] = five ? 0x001F : 0x0000FF;
        return bmp_status::ok;
    }
    for (int channel = 0; channel < 3; ++channel) {
        header->masks[channel] = le_get_u32(bytes + at_masks + 4 * channel);
        if (!contiguous(header->masks[channel]))
            return bmp_status::bad_mask;
    }
    return bmp_status::ok;
}

// The usable colour table: the stored count (2^bits when it is 0 or
// absent), at most 2^bits entries, and only those that lie wholly before the
// pixel data and within the bytes given.
void read_palette(const std::uint8_t* bytes, std::size_t length, bmp_header* header)
{
    const std::uint64_t table_at = bmp_file_header_size + header->info_size;
    const std::uint64_t entry = header->info_size == 12 ? 3 : 4;
    const std::uint64_t full = std::uint64_t{1} << header->bits_per_pixel;
    std::uint64_t count = header->info_size >= 40 ? le_get_u32(bytes + at_colours_used) : 0;
    if (count == 0 || count > full)
        count = full;
    const std::uint64_t end = std::min<std::uint64_t>(header->pixel_offset, length);
    const std::uint64_t fitting = end > table_at ? (end - table_at) / entry : 0;
    header->palette_size = static_cast<std::uint32_t>(std::min(count, fitting));
    for (std::uint32_t i = 0; i < header->palette_size; ++i) {
        const std::uint8_t* at = bytes + table_at + i * entry;
        header->palette[i] = bmp_colour{at[0], at[1], at[2]};
    }
}

bmp_status check_fields(bmp_header* header)
{
    if (header->planes != 1)
        return bmp_status::bad_planes;
    // An embedded JPEG or PNG stores depth 0, so its own reason comes first.
    // OS/2 headers give compression 4 another meaning.
    if (kind_of(header->info_size) == header_kind::windows &&
        (header->compression == bi_jpeg || header->compression == bi_png))
        return header->compression == bi_jpeg ? bmp_status::embedded_jpeg : bmp_status::embedded_png;
    if (header->bits_per_pixel == 64)
        return bmp_status::depth_64;
    if (!accepted_depth(header->bits_per_pixel))
        return bmp_status::bad_depth;
    const bmp_status coding = choose_coding(header);
    if (coding != bmp_status::ok)
        return coding;
    if (header->width < 1)
        return bmp_status::bad_width;
    if (header->height == 0)
        return bmp_status::zero_height;
    if (header->width > max_picture_side)
        return bmp_status::width_above_limit;
    if (header->height > max_picture_side)
        return bmp_status::height_above_limit;
    if (bmp_run_length(*header) && header->top_down)
        return bmp_status::rle_top_down;
    return bmp_status::ok;
}

}  // namespace

bmp_status bmp_parse_header(const std::uint8_t* bytes, std::size_t length, bmp_header* header)
{
    *header = bmp_header{};
    if (length < at_info_size + 4)
        return bmp_status::too_short;
    header->file_size = le_get_i32(bytes + at_file_size);
    header->pixel_offset = le_get_u32(bytes + at_pixel_offset);
    header->info_size = le_get_u32(bytes + at_info_size);
    if (!accepted_info_size(header->info_size))
        return bmp_status::bad_info_size;
    if (length < bmp_file_header_size + header->info_size)
        return bmp_status::too_short;
    read_fields(bytes, header);

    const bmp_status fields = check_fields(header);
    if (fields != bmp_status::ok)
        return fields;
    const std::uint64_t end = headers_end(*header);
    if (header->pixel_offset < end)
        return bmp_status::offset_inside_headers;
    if (length < end)
        return bmp_status::too_short;
    if (header->coding == bmp_coding::bit_fields)
        return read_masks(bytes, header);
    if (header->bits_per_pixel <= 8)
        read_palette(bytes, length, header);
    return bmp_status::ok;
}

void bmp_status_reason(bmp_status status, const bmp_header& header, std::uint64_t detail, char* text,
                       std::size_t size)
{
    const unsigned bits = header.bits_per_pixel;
    const auto position = static_cast<unsigned long long>(detail);
    switch (status) {
    case bmp_status::ok:
        std::snprintf(text, size, "no error");
        break;
    case bmp_status::too_short:
        std::snprintf(text, size, "file too short for its headers");
        break;
    case bmp_status::bad_info_size:
        std::snprintf(text, size, "unsupported info header size %u (expected 12, 16, 40, 52, 56, 64, 108 or 124)",
                      static_cast<unsigned>(header.info_size));
        break;
    case bmp_status::bad_planes:
        std::snprintf(text, size, "%u colour planes (expected 1)", static_cast<unsigned>(header.planes));
        break;
    case bmp_status::bad_depth:
        std::snprintf(text, size, "%u bits per pixel is not a BMP depth (expected 1, 2, 4, 8, 16, 24 or 32)", bits);
        break;
    case bmp_status::depth_64:
        std::snprintf(text, size, "64-bit pixels are not supported");
        break;
    case bmp_status::embedded_jpeg:
        std::snprintf(text, size, "embedded JPEG (compression 4) is not supported");
        break;
    case bmp_status::embedded_png:
        std::snprintf(text, size, "embedded PNG (compression 5) is not supported");
        break;
    case bmp_status::os2_huffman:
        std::snprintf(text, size, "OS/2 Huffman coding (compression 3) is not supported");
        break;
    case bmp_status::os2_rle24:
        std::snprintf(text, size, "OS/2 24-bit run-length coding (compression 4) is not supported");
        break;
    case bmp_status::bad_compression:
        std::snprintf(text, size, "compression method %u is not supported with a %u-byte info header",
                      static_cast<unsigned>(header.compression), static_cast<unsigned>(header.info_size));
        break;
    case bmp_status::compression_depth:
        std::snprintf(text, size, "compression method %u does not code %u bits per pixel",
                      static_cast<unsigned>(header.compression), bits);
        break;
    case bmp_status::bad_width:
        std::snprintf(text, size, "width %d (must be at least 1)", static_cast<int>(header.width));
        break;
    case bmp_status::zero_height:
        std::snprintf(text, size, "height 0 (must not be 0)");
        break;
    case bmp_status::width_above_limit:
    case bmp_status::height_above_limit:
        // Checked with the width first, as the header checks do.
        std::snprintf(text, size, "%s",
                      picture_side_check(static_cast<std::uint64_t>(header.width),
                                         static_cast<std::uint64_t>(header.height))
                          .text);
        break;
    case bmp_status::rle_top_down:
        std::snprintf(text, size, "run-length coded rows stored top down are not supported");
        break;
    case bmp_status::offset_inside_headers:
        std::snprintf(text, size, "pixel array offset %u lies inside the headers (at least %llu expected)",
                      static_cast<unsigned>(header.pixel_offset),
                      static_cast<unsigned long long>(headers_end(header)));
        break;
    case bmp_status::bad_mask: {
        std::uint32_t mask = 0;
        for (std::uint32_t m : header.masks)
            if (!contiguous(m)) {
                mask = m;
                break;
            }
        std::snprintf(text, size, "bit-field mask 0x%08X is not one run of bits", static_cast<unsigned>(mask));
        break;
    }
    case bmp_status::short_pixel_data:
        std::snprintf(text, size, "pixel data too short for its rows");
        break;
    case bmp_status::bad_index:
        std::snprintf(text, size, "colour index %llu is beyond the %u usable entries of its colour table", position,
                      static_cast<unsigned>(header.palette_size));
        break;
    case bmp_status::rle_past_row:
        std::snprintf(text, size, "run-length code at byte %llu runs past the end of its row", position);
        break;
    case bmp_status::rle_past_picture:
        std::snprintf(text, size, "run-length code at byte %llu runs past the end of the picture", position);
        break;
    case bmp_status::rle_cut:
        std::snprintf(text, size, "run-length data ends inside the code at byte %llu", position);
        break;
    }
}

std::int64_t bmp_row_bytes(std::int64_t width, std::int64_t bits)
{
    return (width * bits + 31) / 32 * 4;
}

std::int64_t bmp_pixel_bytes_bound(const bmp_header& header, std::int64_t width, std::int64_t height)
{
    if (bmp_run_length(header))
        return height * (4 * width + 2) + 2;
    const std::int64_t bits = header.bits_per_pixel;
    return (height - 1) * bmp_row_bytes(width, bits) + last_row_bytes(width, bits);
}

std::int64_t bmp_largest_file(const bmp_header& header)
{
    return std::int64_t{header.pixel_offset} + bmp_pixel_bytes_bound(header, max_picture_side, max_picture_side);
}

bool bmp_stored_size_holds_rows(const bmp_header& header)
{
    const std::int64_t stored = header.file_size;
    const std::int64_t offset = header.pixel_offset;
    if (stored < offset)
        return false;
    if (bmp_run_length(header))
        return true;
    // Compared by division so that no width or height can overflow it.
    const std::int64_t bits = header.bits_per_pixel;
    const std::int64_t available = stored - offset;
    const std::int64_t last_row = last_row_bytes(header.width, bits);
    if (available < last_row)
        return false;
    return header.height - 1 <= (available - last_row) / bmp_row_bytes(header.width, bits);
}
