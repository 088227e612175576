#include "bmp/bmp_bitfields.h"

#include <bit>

#include "bmp/le_bytes.h"

std::uint8_t bmp_field_level(std::uint32_t value, std::uint32_t mask)
{
    if (mask == 0)
        return 0;
    const std::uint64_t field = (value & mask) >> std::countr_zero(mask);
    const std::uint64_t top = (std::uint64_t{1} << std::popcount(mask)) - 1;
    // Rounded to nearest; 2 * 255 * field is even and 2^b - 1 odd, so there
    // are no ties.
    return static_cast<std::uint8_t>((2 * 255 * field + top) / (2 * top));
}

bmp_status bmp_decode_bit_fields(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                                 colour_planes out, column_range columns)
{
    const std::int32_t width = header.width;
    const auto height = static_cast<std::int32_t>(header.height);
    if (static_cast<std::uint64_t>(bmp_pixel_bytes_bound(header, width, height)) > length)
        return bmp_status::short_pixel_data;
    const bool wide = header.bits_per_pixel == 32;
    const std::int64_t stride = bmp_row_bytes(width, header.bits_per_pixel);
    const std::int32_t end = columns.first + columns.count;
    for (std::int32_t r = 0; r < height; ++r) {
        const std::uint8_t* p = data + r * stride + std::int64_t{columns.first} * (wide ? 4 : 2);
        const auto y = static_cast<std::int32_t>(bmp_picture_row(header, r));
        for (std::int32_t x = columns.first; x < end; ++x) {
            const std::uint32_t value = wide ? le_get_u32(p) : le_get_u16(p);
            p += wide ? 4 : 2;
            const std::size_t at = plane_index(x, y, height);
            out.R[at] = bmp_field_level(value, header.masks[0]);
            out.G[at] = bmp_field_level(value, header.masks[1]);
            out.B[at] = bmp_field_level(value, header.masks[2]);
        }
    }
    return bmp_status::ok;
}
