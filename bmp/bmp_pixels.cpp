#include "bmp/bmp_pixels.h"

#include "bmp/bmp_header.h"
#include "bmp/plane.h"

bool bmp_split_pixels(const std::uint8_t* vin, std::size_t vin_length, std::int32_t width, std::int32_t height,
                      std::uint8_t* B, std::uint8_t* G, std::uint8_t* R)
{
    if (width < 1 || height < 1)
        return false;
    if (static_cast<std::uint64_t>(bmp_pixel_rows_size(width, height)) > vin_length)
        return false;
    const std::size_t padding = static_cast<std::size_t>(bmp_row_stride(width) - 3 * std::int64_t{width});
    std::size_t p = 0;
    for (std::int32_t r = 0; r < height; ++r) {
        for (std::int32_t x = 0; x < width; ++x) {
            const std::size_t at = plane_index(x, r, height);
            B[at] = vin[p];
            G[at] = vin[p + 1];
            R[at] = vin[p + 2];
            p += 3;
        }
        p += padding;
    }
    return true;
}

void bmp_flip_rows(const std::uint8_t* file_rows, std::uint8_t* picture_rows, std::int32_t width,
                   std::int32_t height, bool top_down)
{
    for (std::int32_t x = 0; x < width; ++x) {
        for (std::int32_t y = 0; y < height; ++y) {
            const std::int32_t file_row = top_down ? y : height - 1 - y;
            picture_rows[plane_index(x, y, height)] = file_rows[plane_index(x, file_row, height)];
        }
    }
}
