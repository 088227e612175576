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
                                 std::uint8_t* rgb, bmp_rows rows)
{
    if (!bmp_rows_fit(header, length))
        return bmp_status::short_pixel_data;
    const bool wide = header.bits_per_pixel == 32;
    const std::int64_t stride = bmp_row_bytes(header.width, header.bits_per_pixel);
    for (std::int32_t r = rows.first; r < rows.first + rows.count; ++r) {
        const std::uint8_t* p = data + r * stride;
        std::uint8_t* pixel = bmp_pixels_of_row(header, rgb, r);
        for (std::int32_t x = 0; x < header.width; ++x, pixel += 3) {
            const std::uint32_t value = wide ? le_get_u32(p) : le_get_u16(p);
            p += wide ? 4 : 2;
            for (int c = 0; c < 3; ++c)
                pixel[c] = bmp_field_level(value, header.masks[c]);
        }
    }
    return bmp_status::ok;
}
