// libFuzzer target: arbitrary bytes through the header checks and the
// decoder of whatever coding they name, then back out through the writer as
// 24 bits and in again. Any crash, sanitizer report or broken round trip is
// a finding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bmp/bmp_decode.h"
#include "bmp/bmp_header.h"
#include "bmp/bmp_writer.h"

namespace {

// Larger pictures take no other path, only longer.
constexpr std::int64_t max_pixels = std::int64_t{1} << 18;

struct picture {
    std::vector<std::uint8_t> B, G, R;
};

bmp_status decode(const std::uint8_t* file, std::size_t size, bmp_header* header, picture* out)
{
    bmp_status status = bmp_parse_header(file, size, header);
    if (status != bmp_status::ok)
        return status;
    if (std::int64_t{header->width} * header->height > max_pixels || !bmp_stored_size_holds_rows(*header) ||
        header->pixel_offset > size)
        return bmp_status::short_pixel_data;
    const auto plane_size = static_cast<std::size_t>(std::int64_t{header->width} * header->height);
    out->B.assign(plane_size, 0xA5);
    out->G.assign(plane_size, 0xA5);
    out->R.assign(plane_size, 0xA5);
    // The driver keeps the bytes from the offset up to the stored size.
    const std::size_t end = std::min<std::size_t>(size, static_cast<std::size_t>(header->file_size));
    std::uint64_t detail = 0;
    status = bmp_decode(*header, file + header->pixel_offset, end - header->pixel_offset,
                        colour_planes{out->B.data(), out->G.data(), out->R.data()}, &detail);
    char reason[160];
    bmp_status_reason(status, *header, detail, reason, sizeof reason);
    return status;
}

void check_round_trip(const picture& in, std::int32_t width, std::int32_t height)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    if (!out)
        return;
    const bool written = bmp_write(out, in.R.data(), in.G.data(), in.B.data(), width, height);
    std::fclose(out);
    bmp_header header;
    picture back;
    if (!written || decode(reinterpret_cast<const std::uint8_t*>(buffer), size, &header, &back) != bmp_status::ok ||
        header.width != width || header.height != height || static_cast<std::size_t>(header.file_size) != size ||
        back.B != in.B || back.G != in.G || back.R != in.R)
        std::abort();
    std::free(buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    bmp_header header;
    picture in;
    if (decode(data, size, &header, &in) == bmp_status::ok)
        check_round_trip(in, header.width, static_cast<std::int32_t>(header.height));
    return 0;
}
