// libFuzzer target: arbitrary bytes through the PNG, JPEG and TIFF decoders
// three ways, as the command line will hand them over: a block in memory, a
// regular file (an in-memory one, read through its descriptor for TIFF) and
// a pipe. The three must agree: on the picture, or on the kind of fault and
// its text (libtiff words some faults differently when it reads through a
// descriptor, so a TIFF from a regular file agrees on the kind only; a PNG
// chunk that runs past a known end is refused as truncated at its header,
// where a pipe may first meet libpng's own objection to that chunk, so a
// pipe then agrees on the kind only). A decoded picture then goes through the
// lossless encoder of its kind and back, which must give it back exactly.
// Any crash, sanitizer report, leak, disagreement or broken round trip is a
// finding.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "picture/picture_codec.h"

namespace {

// Larger pictures take no other path, only longer.
constexpr std::int64_t max_pixels = std::int64_t{1} << 18;
// What a pipe takes without a reader on the other end.
constexpr std::size_t max_piped = 60000;

enum class via { memory, file, pipe };

struct outcome {
    codec_message message;
    picture image;
    bool too_large = false;
};

bool write_all(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

outcome decode(const std::uint8_t* data, std::size_t size, via how)
{
    std::FILE* stream = nullptr;
    if (how == via::file) {
        const int fd = memfd_create("velmora-fuzz", 0);
        if (fd < 0 || !write_all(fd, data, size) || lseek(fd, 0, SEEK_SET) != 0)
            std::abort();
        stream = fdopen(fd, "rb");
    } else if (how == via::pipe) {
        int ends[2];
        if (pipe(ends) != 0 || !write_all(ends[1], data, size))
            std::abort();
        close(ends[1]);
        stream = fdopen(ends[0], "rb");
    }
    std::uint8_t head[picture_head_bytes];
    codec_source source = memory_source(data, size);
    if (stream)
        source = codec_source{head, std::fread(head, 1, sizeof head, stream), stream,
                              how == via::file ? static_cast<std::int64_t>(size) : -1};
    outcome result;
    picture_reader reader;
    result.message = picture_open(picture_kind_of(data, size), source, &reader);
    if (!result.message.failed()) {
        result.too_large = std::int64_t{reader.info.width} * reader.info.height > max_pixels;
        if (!result.too_large)
            result.message = picture_decode(&reader, &result.image);
    }
    if (stream)
        std::fclose(stream);
    return result;
}

bool same_picture(const picture& a, const picture& b)
{
    const picture_info& x = a.info;
    const picture_info& y = b.info;
    return x.width == y.width && x.height == y.height && x.channels == y.channels && x.format == y.format &&
           x.premultiplied == y.premultiplied && a.icc_size == b.icc_size &&
           std::memcmp(a.samples.get(), b.samples.get(), picture_bytes(x)) == 0 &&
           (a.icc_size == 0 || std::memcmp(a.icc.get(), b.icc.get(), a.icc_size) == 0);
}

void check_agree(const outcome& a, const outcome& b, bool texts_too)
{
    if (a.message.fault != b.message.fault || a.too_large != b.too_large)
        std::abort();
    if (a.message.failed() && texts_too && std::strcmp(a.message.text, b.message.text) != 0)
        std::abort();
    if (!a.message.failed() && !a.too_large && !same_picture(a.image, b.image))
        std::abort();
}

void check_round_trip(const picture& image)
{
    const bool png = image.info.format != sample_format::f32 && !image.info.premultiplied;
    const picture_kind kind = png ? picture_kind::png : picture_kind::tiff;
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    if (!out)
        return;
    const codec_message written = picture_write(out, kind, image);
    std::fclose(out);
    const outcome back = decode(reinterpret_cast<const std::uint8_t*>(buffer), size, via::memory);
    std::free(buffer);
    if (written.failed() || back.message.failed())
        std::abort();
    // libpng may leave out a colour profile it finds unfit.
    const bool profile_left_out = png && back.image.icc_size == 0 &&
                                  std::memcmp(image.samples.get(), back.image.samples.get(),
                                              picture_bytes(image.info)) == 0;
    if (!same_picture(image, back.image) && !profile_left_out)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (picture_kind_of(data, size) == picture_kind::bmp)
        return 0;
    const outcome from_memory = decode(data, size, via::memory);
    check_agree(from_memory, decode(data, size, via::file), picture_kind_of(data, size) != picture_kind::tiff);
    // Only a known length lets a PNG's declared size be checked against it.
    const bool length_checked = std::strncmp(from_memory.message.text, "a PNG file of ", 14) == 0;
    const bool cut_short = std::strcmp(from_memory.message.text, "truncated PNG file") == 0;
    if (size <= max_piped && !length_checked)
        check_agree(from_memory, decode(data, size, via::pipe), !cut_short);
    if (!from_memory.message.failed() && !from_memory.too_large)
        check_round_trip(from_memory.image);
    return 0;
}
