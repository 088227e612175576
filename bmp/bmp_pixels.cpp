#include "bmp/bmp_pixels.h"

#include <cstring>

#include "bmp/pixel_tile.h"

bmp_status bmp_decode_direct(const bmp_header& header, const std::uint8_t* data, std::size_t length,
                             colour_planes out, column_range columns)
{
    const std::int32_t width = header.width;
    const auto height = static_cast<std::int32_t>(header.height);
    if (static_cast<std::uint64_t>(bmp_pixel_rows_size(width, height)) > length)
        return bmp_status::short_pixel_data;
    const std::int64_t stride = bmp_row_stride(width);
    const std::int32_t end = columns.first + columns.count;
    pixel_tile t;
    for (std::int32_t r0 = 0; r0 < height; r0 += tile_strip_rows) {
        const std::int32_t count = height - r0 < tile_strip_rows ? height - r0 : tile_strip_rows;
        // The strip's picture rows form one run, whichever way the file is stored.
        const auto y_a = static_cast<std::int32_t>(bmp_picture_row(header, r0));
        const auto y_b = static_cast<std::int32_t>(bmp_picture_row(header, r0 + count - 1));
        const std::int32_t top = y_a < y_b ? y_a : y_b;
        for (std::int32_t x0 = columns.first; x0 < end; x0 += tile_columns) {
            const std::int32_t tile = end - x0 < tile_columns ? end - x0 : tile_columns;
            for (std::int32_t k = 0; k < count; ++k) {
                const std::int32_t row = r0 + k;
                const auto i = static_cast<std::int32_t>(bmp_picture_row(header, row)) - top;
                const std::uint8_t* p = data + row * stride + 3 * static_cast<std::int64_t>(x0);
                for (std::int32_t c = 0; c < tile; ++c) {
                    t.b[c][i] = p[3 * c];
                    t.g[c][i] = p[3 * c + 1];
                    t.r[c][i] = p[3 * c + 2];
                }
            }
            for (std::int32_t c = 0; c < tile; ++c) {
                const std::size_t at = plane_index(x0 + c, top, height);
                const auto run = static_cast<std::size_t>(count);
                std::memcpy(out.B + at, t.b[c], run);
                std::memcpy(out.G + at, t.g[c], run);
                std::memcpy(out.R + at, t.r[c], run);
            }
        }
    }
    return bmp_status::ok;
}
