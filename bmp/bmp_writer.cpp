#include "bmp/bmp_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bmp/bmp_header.h"
#include "bmp/le_bytes.h"
#include "bmp/pixel_tile.h"
#include "bmp/plane.h"

namespace {

constexpr std::uint32_t header_bytes = 54;
constexpr std::uint32_t info_header_bytes = 40;
// 96 dots per inch, the customary default.
constexpr std::uint32_t pixels_per_metre = 3780;

bool write_header(std::FILE* out, std::int32_t width, std::int32_t height)
{
    std::uint8_t header[bmp_header_size];
    bmp_header_bytes(width, height, header);
    return std::fwrite(header, 1, sizeof header, out) == sizeof header;
}

// Stored rows first .. first + count - 1 (file order: picture row
// height - 1 - i) into `strip`, count rows of stride bytes, then to the
// stream in one write.
bool write_strip(std::FILE* out, const std::uint8_t* R, const std::uint8_t* G, const std::uint8_t* B,
                 std::int32_t width, std::int32_t height, std::int32_t first, std::int32_t count,
                 std::uint8_t* strip)
{
    const auto stride = static_cast<std::size_t>(bmp_row_stride(width));
    const std::int32_t top = height - first - count;  // the strip's top picture row
    const auto run = static_cast<std::size_t>(count);
    pixel_tile t;
    for (std::int32_t x0 = 0; x0 < width; x0 += tile_columns) {
        const std::int32_t columns = width - x0 < tile_columns ? width - x0 : tile_columns;
        for (std::int32_t c = 0; c < columns; ++c) {
            const std::size_t at = plane_index(x0 + c, top, height);
            std::memcpy(t.b[c], B + at, run);
            std::memcpy(t.g[c], G + at, run);
            std::memcpy(t.r[c], R + at, run);
        }
        for (std::int32_t i = 0; i < count; ++i) {
            const std::int32_t y = count - 1 - i;
            std::uint8_t* pixel = strip + static_cast<std::size_t>(i) * stride + 3 * static_cast<std::size_t>(x0);
            for (std::int32_t c = 0; c < columns; ++c) {
                pixel[3 * c] = t.b[c][y];
                pixel[3 * c + 1] = t.g[c][y];
                pixel[3 * c + 2] = t.r[c][y];
            }
        }
    }
    for (std::int32_t i = 0; i < count; ++i)
        for (std::size_t p = 3 * static_cast<std::size_t>(width); p < stride; ++p)
            strip[static_cast<std::size_t>(i) * stride + p] = 0;
    const std::size_t bytes = stride * run;
    return std::fwrite(strip, 1, bytes, out) == bytes;
}

}  // namespace

void bmp_header_bytes(std::int32_t width, std::int32_t height, std::uint8_t* out)
{
    const auto file_size = static_cast<std::uint32_t>(height * bmp_row_stride(width) + header_bytes);
    out[0] = 0x42;
    out[1] = 0x4D;
    const std::uint32_t fields[] = {
        file_size,
        0,  // both reserved fields
        header_bytes,
        info_header_bytes,
        static_cast<std::uint32_t>(width),
        static_cast<std::uint32_t>(height),
        0x00180001,  // one plane, 24 bits per pixel
        0,           // no compression
        0,           // image size, optional when uncompressed
        pixels_per_metre,
        pixels_per_metre,
        0,
        0,  // no colour table
    };
    for (std::size_t f = 0; f < sizeof fields / sizeof fields[0]; ++f)
        le_put_u32(out + 2 + 4 * f, fields[f]);
}

std::size_t bmp_stored_rows_size(std::int32_t width, std::int32_t height)
{
    return static_cast<std::size_t>(bmp_row_stride(width)) * static_cast<std::size_t>(height);
}

bool bmp_write_rows(std::FILE* out, const std::uint8_t* rows, std::int32_t width, std::int32_t height)
{
    const std::size_t bytes = bmp_stored_rows_size(width, height);
    return write_header(out, width, height) && std::fwrite(rows, 1, bytes, out) == bytes;
}

bool bmp_write(std::FILE* out, const std::uint8_t* R, const std::uint8_t* G, const std::uint8_t* B,
               std::int32_t width, std::int32_t height)
{
    if (!write_header(out, width, height))
        return false;
    const std::int32_t rows = height < tile_strip_rows ? height : tile_strip_rows;
    auto* strip = static_cast<std::uint8_t*>(
        std::malloc(static_cast<std::size_t>(bmp_row_stride(width)) * static_cast<std::size_t>(rows)));
    if (!strip) {
        errno = ENOMEM;
        return false;
    }
    bool written = true;
    for (std::int32_t first = 0; first < height && written; first += rows) {
        const std::int32_t count = height - first < rows ? height - first : rows;
        written = write_strip(out, R, G, B, width, height, first, count, strip);
    }
    std::free(strip);
    return written;
}
