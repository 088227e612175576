#include "bmp/bmp_pixels.h"

bmp_status bmp_decode_direct(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                             colour_planes out)
{
    const std::int32_t width = header.width;
    const auto height = static_cast<std::int32_t>(header.height);
    if (static_cast<std::uint64_t>(bmp_pixel_rows_size(width, height)) > length)
        return bmp_status::short_pixel_data;
    const std::int64_t stride = bmp_row_stride(width);
    for (std::int32_t r = 0; r < height; ++r) {
        const std::uint8_t* p = data + r * stride;
        const auto y = static_cast<std::int32_t>(bmp_picture_row(header, r));
        for (std::int32_t x = 0; x < width; ++x, p += 3) {
            const std::size_t at = plane_index(x, y, height);
            out.B[at] = p[0];
            out.G[at] = p[1];
            out.R[at] = p[2];
        }
    }
    return bmp_status::ok;
}
