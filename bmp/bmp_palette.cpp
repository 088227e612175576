#include "bmp/bmp_palette.h"

bmp_band_result bmp_decode_palette(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                                   std::uint8_t* rgb, bmp_rows rows)
{
    if (!bmp_rows_fit(header, length))
        return bmp_band_result{bmp_status::short_pixel_data, 0, 0};
    const std::int32_t width = header.width;
    const unsigned bits = header.bits_per_pixel;
    const unsigned mask = (1u << bits) - 1;
    const std::int64_t stride = bmp_row_bytes(width, bits);
    for (std::int32_t r = rows.first; r < rows.first + rows.count; ++r) {
        const std::uint8_t* row = data + r * stride;
        std::uint8_t* pixel = bmp_pixels_of_row(header, rgb, r);
        for (std::int32_t x = 0; x < width; ++x, pixel += 3) {
            // The leftmost pixel sits in the most significant bits.
            const std::uint64_t bit = static_cast<std::uint64_t>(x) * bits;
            const unsigned shift = 8 - bits - static_cast<unsigned>(bit & 7);
            const std::uint32_t index = (row[bit >> 3] >> shift) & mask;
            if (!bmp_put_colour(header, index, pixel))
                return bmp_band_result{bmp_status::bad_index, index, std::int64_t{r} * width + x};
        }
    }
    return bmp_band_result{bmp_status::ok, 0, 0};
}
