#include "bmp/bmp_header.h"

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

bool accepted_info_size(std::uint32_t size)
{
    // BITMAPINFOHEADER and its V4 and V5 extensions share the first 40 bytes;
    // the 12-byte core header has 16-bit sizes and is refused.
    return size == 40 || size == 108 || size == 124;
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

    header->width = le_get_i32(bytes + at_width);
    const std::int32_t stored_height = le_get_i32(bytes + at_height);
    header->top_down = stored_height < 0;
    header->height = header->top_down ? -static_cast<std::int64_t>(stored_height) : stored_height;
    header->planes = le_get_u16(bytes + at_planes);
    header->bits_per_pixel = le_get_u16(bytes + at_bits);
    header->compression = le_get_u32(bytes + at_compression);

    if (header->planes != 1)
        return bmp_status::bad_planes;
    if (header->bits_per_pixel != 24)
        return bmp_status::bad_depth;
    if (header->compression != 0)
        return bmp_status::compressed;
    if (header->width < 1)
        return bmp_status::bad_width;
    if (header->height == 0)
        return bmp_status::zero_height;
    if (header->pixel_offset < bmp_file_header_size + header->info_size)
        return bmp_status::offset_inside_headers;
    return bmp_status::ok;
}

void bmp_status_reason(bmp_status status, const bmp_header& header, char* text, std::size_t size)
{
    switch (status) {
    case bmp_status::ok:
        std::snprintf(text, size, "no error");
        break;
    case bmp_status::too_short:
        std::snprintf(text, size, "file too short for its headers");
        break;
    case bmp_status::bad_info_size:
        std::snprintf(text, size, "unsupported info header size %u (expected 40, 108 or 124)",
                      static_cast<unsigned>(header.info_size));
        break;
    case bmp_status::bad_planes:
        std::snprintf(text, size, "%u colour planes (expected 1)", static_cast<unsigned>(header.planes));
        break;
    case bmp_status::bad_depth:
        std::snprintf(text, size, "%u bits per pixel (only 24-bit true colour is supported)",
                      static_cast<unsigned>(header.bits_per_pixel));
        break;
    case bmp_status::compressed:
        std::snprintf(text, size, "compression method %u (only uncompressed files are supported)",
                      static_cast<unsigned>(header.compression));
        break;
    case bmp_status::bad_width:
        std::snprintf(text, size, "width %d (must be at least 1)", static_cast<int>(header.width));
        break;
    case bmp_status::zero_height:
        std::snprintf(text, size, "height 0 (must not be 0)");
        break;
    case bmp_status::offset_inside_headers:
        std::snprintf(text, size, "pixel array offset %u lies inside the headers (at least %u expected)",
                      static_cast<unsigned>(header.pixel_offset),
                      static_cast<unsigned>(bmp_file_header_size + header.info_size));
        break;
    }
}

std::int64_t bmp_row_stride(std::int64_t width)
{
    return (3 * width + 3) / 4 * 4;
}

std::int64_t bmp_pixel_rows_size(std::int64_t width, std::int64_t height)
{
    return (height - 1) * bmp_row_stride(width) + 3 * width;
}

bool bmp_stored_size_holds_rows(const bmp_header& header)
{
    const std::int64_t stored = header.file_size;
    const std::int64_t offset = header.pixel_offset;
    if (stored < offset)
        return false;
    // Compared by division so that huge widths and heights cannot overflow.
    const std::int64_t available = stored - offset;
    const std::int64_t last_row = 3 * static_cast<std::int64_t>(header.width);
    if (available < last_row)
        return false;
    return header.height - 1 <= (available - last_row) / bmp_row_stride(header.width);
}
