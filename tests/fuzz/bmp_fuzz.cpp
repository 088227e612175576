// libFuzzer target: arbitrary bytes through the BMP reader from memory (the
// header checks, then the decoder of whatever coding they name, in bands),
// then back out through the writer as 24 bits and in again. Any crash,
// sanitizer report or broken round trip is a finding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "bmp/bmp_reader.h"
#include "bmp/bmp_writer.h"

namespace {

// Larger pictures take no other path, only longer.
constexpr std::int64_t max_pixels = std::int64_t{1} << 18;

// The picture of a file, or false when it is refused or too large.
bool decode(const std::uint8_t* file, std::size_t size, picture* out)
{
    const codec_source source = memory_source(file, size);
    std::unique_ptr<format_reader> reader;
    picture_info info;
    if (bmp_open(source, {}, &reader, &info).failed() || std::int64_t{info.width} * info.height > max_pixels)
        return false;
    return !reader->decode(out).failed();
}

void check_round_trip(const picture& in)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    if (!out)
        return;
    const bool written = !bmp_write(out, in).failed();
    std::fclose(out);
    picture back;
    const auto* file = reinterpret_cast<const std::uint8_t*>(buffer);
    if (!written || size != bmp_file_size(in.info) || !decode(file, size, &back) || back.info.width != in.info.width ||
        back.info.height != in.info.height ||
        std::memcmp(back.samples.get(), in.samples.get(), picture_bytes(in.info)) != 0)
        std::abort();
    std::free(buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    picture in;
    if (decode(data, size, &in))
        check_round_trip(in);
    return 0;
}
