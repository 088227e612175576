#include "cli/input_reader.h"

#include <cstdio>
#include <cstdlib>

#include "bmp/bmp_header.h"
#include "bmp/bmp_pixels.h"
#include "bmp/plane.h"
#include "cli/fail.h"
#include "resize/checked_alloc.h"
#include "resize/resize_channel.h"

namespace {

[[noreturn]] void fail_size()
{
    std::printf("input file size err!!\n");
    std::exit(1);
}

bmp_header read_header(std::FILE* in, const char* name)
{
    std::uint8_t bytes[bmp_max_header_bytes];
    const std::size_t length = std::fread(bytes, 1, sizeof bytes, in);
    bmp_header header;
    const bmp_status status = bmp_parse_header(bytes, length, &header);
    if (status != bmp_status::ok) {
        char reason[160];
        bmp_status_reason(status, header, reason, sizeof reason);
        fail_run("%s: %s", name, reason);
    }
    return header;
}

// A negative difference shrinks, down to one pixel on a side; the output
// side is limited like the input side (the inverse lines are twice as long).
// Sums are formed in 64 bits.
void check_size_limits(const bmp_header& header, const resize_options* cnt)
{
    const std::int64_t out_width = std::int64_t{header.width} + cnt->sizexminus;
    const std::int64_t out_height = header.height + cnt->sizexminusy;
    if (out_width < 1)
        fail_run("-sizexminus %d leaves no output columns (input width %d; the least is %d)", cnt->sizexminus,
                 header.width, 1 - header.width);
    if (out_height < 1)
        fail_run("-sizexminusy %d leaves no output rows (input height %lld; the least is %lld)", cnt->sizexminusy,
                 static_cast<long long>(header.height), static_cast<long long>(1 - header.height));
    if (out_width > max_output_side)
        fail_run("output width %lld is above the limit of %d (input width %d plus -sizexminus %d)",
                 static_cast<long long>(out_width), max_output_side, header.width, cnt->sizexminus);
    if (out_height > max_output_side)
        fail_run("output height %lld is above the limit of %d (input height %lld plus -sizexminusy %d)",
                 static_cast<long long>(out_height), max_output_side, static_cast<long long>(header.height),
                 cnt->sizexminusy);
}

std::uint8_t* flipped_plane(const std::uint8_t* file_rows, bool top_down, const char* name)
{
    std::uint8_t* plane = checked_array<std::uint8_t>(
        static_cast<std::size_t>(image_width) * static_cast<std::size_t>(image_height), name);
    bmp_flip_rows(file_rows, plane, image_width, image_height, top_down);
    return plane;
}

}  // namespace

input_planes read_bitmap(const resize_options* cnt)
{
    std::FILE* in = std::fopen(cnt->input_name, "rb");
    if (!in) {
        std::fprintf(stderr, "%s\n", cnt->input_name);
        std::exit(1);
    }
    const bmp_header header = read_header(in, cnt->input_name);
    check_size_limits(header, cnt);
    image_width = header.width;
    image_height = static_cast<std::int32_t>(header.height);
    if (!bmp_stored_size_holds_rows(header))
        fail_size();

    const auto vin_size = static_cast<std::size_t>(header.file_size - std::int64_t{header.pixel_offset});
    const std::size_t plane_size = static_cast<std::size_t>(image_width) * static_cast<std::size_t>(image_height);
    std::uint8_t* vin = checked_array<std::uint8_t>(vin_size, "vin");
    std::uint8_t* B = checked_array<std::uint8_t>(plane_size, "B");
    std::uint8_t* G = checked_array<std::uint8_t>(plane_size, "G");
    std::uint8_t* R = checked_array<std::uint8_t>(plane_size, "R");

    // One read of exactly the stored size; bytes beyond it are never looked at.
    if (std::fseek(in, static_cast<long>(header.pixel_offset), SEEK_SET) != 0 ||
        std::fread(vin, 1, vin_size, in) != vin_size)
        fail_size();
    std::fclose(in);

    if (!bmp_split_pixels(vin, vin_size, image_width, image_height, B, G, R))
        fail_size();
    input_planes planes;
    planes.BIN = flipped_plane(B, header.top_down, "BIN");
    planes.GIN = flipped_plane(G, header.top_down, "GIN");
    planes.RIN = flipped_plane(R, header.top_down, "RIN");
    std::free(B);
    std::free(G);
    std::free(R);
    std::free(vin);
    return planes;
}
