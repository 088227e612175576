#include "bmp/bmp_palette.h"

bmp_band_result bmp_decode_palette(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                                   colour_planes out, column_range columns)
{
    const std::int32_t width = header.width;
    const auto height = static_cast<std::int32_t>(header.height);
    if (static_cast<std::uint64_t>(bmp_pixel_bytes_bound(header, width, height)) > length)
        return bmp_band_result{bmp_status::short_pixel_data, 0, 0};
    const unsigned bits = header.bits_per_pixel;
    const unsigned mask = (1u << bits) - 1;
    const std::int64_t stride = bmp_row_bytes(width, bits);
    const std::int32_t end = columns.first + columns.count;
    for (std::int32_t r = 0; r < height; ++r) {
        const std::uint8_t* row = data + r * stride;
        const auto y = static_cast<std::int32_t>(bmp_picture_row(header, r));
        for (std::int32_t x = columns.first; x < end; ++x) {
            // The leftmost pixel sits in the most significant bits.
            const std::uint64_t bit = static_cast<std::uint64_t>(x) * bits;
            const unsigned shift = 8 - bits - static_cast<unsigned>(bit & 7);
            const std::uint32_t index = (row[bit >> 3] >> shift) & mask;
            if (!bmp_put_colour(header, index, plane_index(x, y, height), out))
                return bmp_band_result{bmp_status::bad_index, index, std::int64_t{r} * width + x};
        }
    }
    return bmp_band_result{bmp_status::ok, 0, 0};
}
