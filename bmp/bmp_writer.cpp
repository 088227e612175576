#include "bmp/bmp_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "bmp/bmp_header.h"
#include "bmp/le_bytes.h"

namespace {

constexpr std::uint32_t header_bytes = 54;
constexpr std::uint32_t info_header_bytes = 40;
// 96 dots per inch, the customary default.
constexpr std::uint32_t pixels_per_metre = 3780;
// Rows handed to the stream in one write.
constexpr std::int32_t strip_rows = 64;

std::size_t stride_of(const picture_info& info)
{
    return static_cast<std::size_t>(bmp_row_bytes(info.width, 24));
}

void header_bytes_of(const picture_info& info, std::uint8_t* out)
{
    const auto file_size = static_cast<std::uint32_t>(bmp_file_size(info));
    out[0] = 0x42;
    out[1] = 0x4D;
    const std::uint32_t fields[] = {
        file_size,
        0,  // both reserved fields
        header_bytes,
        info_header_bytes,
        static_cast<std::uint32_t>(info.width),
        static_cast<std::uint32_t>(info.height),
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

// Picture row y as the file stores it, padding included.
void store_row(const picture& image, std::int32_t y, std::uint8_t* to)
{
    const std::size_t samples = 3 * static_cast<std::size_t>(image.info.width);
    const std::uint8_t* from = image.samples.get() + static_cast<std::size_t>(y) * samples;
    for (std::size_t i = 0; i < samples; i += 3) {
        to[i] = from[i + 2];
        to[i + 1] = from[i + 1];
        to[i + 2] = from[i];
    }
    std::memset(to + samples, 0, stride_of(image.info) - samples);
}

}  // namespace

std::size_t bmp_file_size(const picture_info& info)
{
    return header_bytes + stride_of(info) * static_cast<std::size_t>(info.height);
}

picture_view bmp_file_view(const picture_info& info, std::uint8_t* file)
{
    // The top picture row is the last stored; red is a pixel's third byte.
    const auto stride = static_cast<std::ptrdiff_t>(stride_of(info));
    return picture_view{info, file + header_bytes + (info.height - 1) * stride + 2, -stride, 3, -1};
}

void bmp_file_finish(const picture_info& info, std::uint8_t* file)
{
    header_bytes_of(info, file);
    const std::size_t stride = stride_of(info);
    const std::size_t samples = 3 * static_cast<std::size_t>(info.width);
    for (std::int32_t row = 0; row < info.height; ++row)
        std::memset(file + header_bytes + row * stride + samples, 0, stride - samples);
}

codec_message bmp_write(std::FILE* out, const picture& image)
{
    const picture_info& info = image.info;
    if (info.channels != 3 || info.format != sample_format::u8)
        return codec_fail(codec_fault::output, "BMP holds 8-bit RGB pictures only");
    std::uint8_t header[header_bytes];
    header_bytes_of(info, header);
    if (std::fwrite(header, 1, sizeof header, out) != sizeof header)
        return codec_fail(codec_fault::output, "write error: %s", std::strerror(errno));
    const std::size_t stride = stride_of(info);
    const std::int32_t rows = std::min(info.height, strip_rows);
    block_ptr strip(static_cast<std::uint8_t*>(std::malloc(stride * static_cast<std::size_t>(rows))));
    if (!strip) {
        errno = ENOMEM;
        return codec_fail(codec_fault::memory, "no memory for the BMP rows");
    }
    // Stored row i is picture row height - 1 - i.
    for (std::int32_t first = 0; first < info.height; first += rows) {
        const std::int32_t count = std::min(rows, info.height - first);
        for (std::int32_t i = 0; i < count; ++i)
            store_row(image, info.height - 1 - (first + i), strip.get() + static_cast<std::size_t>(i) * stride);
        const std::size_t bytes = stride * static_cast<std::size_t>(count);
        if (std::fwrite(strip.get(), 1, bytes, out) != bytes)
            return codec_fail(codec_fault::output, "write error: %s", std::strerror(errno));
    }
    return {};
}
