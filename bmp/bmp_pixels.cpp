#include "bmp/bmp_pixels.h"

bmp_status bmp_decode_direct(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                             std::uint8_t* rgb, bmp_rows rows)
{
    if (!bmp_rows_fit(header, length))
        return bmp_status::short_pixel_data;
    const std::int64_t stride = bmp_row_bytes(header.width, 24);
    const std::int64_t samples = 3 * std::int64_t{header.width};
    for (std::int32_t r = rows.first; r < rows.first + rows.count; ++r) {
        const std::uint8_t* from = data + r * stride;
        std::uint8_t* to = bmp_pixels_of_row(header, rgb, r);
        // Blue, green, red in the file.
        for (std::int64_t i = 0; i < samples; i += 3) {
            to[i] = from[i + 2];
            to[i + 1] = from[i + 1];
            to[i + 2] = from[i];
        }
    }
    return bmp_status::ok;
}
