// libFuzzer target: arbitrary bytes through the header checks, the pixel
// split and the row flip, as the run driver uses them, then back out through
// the writer. Any crash, sanitizer report or broken round trip is a finding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bmp/bmp_header.h"
#include "bmp/bmp_pixels.h"
#include "bmp/bmp_writer.h"

namespace {

// The largest picture a run accepts.
constexpr std::int64_t max_side = 4096;

void check_round_trip(const std::uint8_t* R, const std::uint8_t* G, const std::uint8_t* B, std::int32_t width,
                      std::int32_t height)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    if (!out)
        return;
    const bool written = bmp_write(out, R, G, B, width, height);
    std::fclose(out);
    const auto* file = reinterpret_cast<const std::uint8_t*>(buffer);
    bmp_header header;
    if (!written || bmp_parse_header(file, size, &header) != bmp_status::ok || header.width != width ||
        header.height != height || !bmp_stored_size_holds_rows(header) ||
        static_cast<std::size_t>(header.file_size) != size)
        std::abort();
    const std::size_t plane_size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> b(plane_size), g(plane_size), r(plane_size), flipped(plane_size);
    if (!bmp_split_pixels(file + 54, size - 54, width, height, b.data(), g.data(), r.data()))
        std::abort();
    bmp_flip_rows(r.data(), flipped.data(), width, height, false);
    if (std::memcmp(flipped.data(), R, plane_size) != 0)
        std::abort();
    std::free(buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    bmp_header header;
    const bmp_status status = bmp_parse_header(data, size, &header);
    char reason[160];
    bmp_status_reason(status, header, reason, sizeof reason);
    if (status != bmp_status::ok || header.width > max_side || header.height > max_side)
        return 0;
    if (!bmp_stored_size_holds_rows(header))
        return 0;
    // The driver reads S - offset bytes from the offset; they must be there.
    const auto vin_size = static_cast<std::size_t>(header.file_size - std::int64_t{header.pixel_offset});
    if (header.pixel_offset > size || size - header.pixel_offset < vin_size)
        return 0;

    const std::int32_t width = header.width;
    const auto height = static_cast<std::int32_t>(header.height);
    const std::size_t plane_size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> B(plane_size), G(plane_size), R(plane_size);
    if (!bmp_split_pixels(data + header.pixel_offset, vin_size, width, height, B.data(), G.data(), R.data()))
        std::abort();  // the checks above promise that the rows are there
    std::vector<std::uint8_t> BIN(plane_size), GIN(plane_size), RIN(plane_size);
    bmp_flip_rows(B.data(), BIN.data(), width, height, header.top_down);
    bmp_flip_rows(G.data(), GIN.data(), width, height, header.top_down);
    bmp_flip_rows(R.data(), RIN.data(), width, height, header.top_down);
    check_round_trip(RIN.data(), GIN.data(), BIN.data(), width, height);
    return 0;
}
