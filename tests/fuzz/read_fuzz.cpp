// libFuzzer target: arbitrary bytes through the tool's whole read path, the
// one that opens, measures, tells the kind and reads the input (BMP, PNG,
// JPEG or TIFF), twice: as a regular file (an in-memory one) and as a pipe,
// both opened by name as a user would give them. Any crash, sanitizer
// report, leak, or any difference between the two outcomes is a finding
// (for a refused TIFF only the kind of fault is compared: a file is read
// through its descriptor and a pipe from memory, and their libraries word
// some faults apart; likewise for a PNG file refused as truncated, which a
// known length refuses at the header of the chunk that runs past its end,
// before libpng may object to that chunk for a reason of its own; a PNG
// whose size its known length cannot hold is not compared at all).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/input_reader.h"
#include "codecs/picture_codec.h"

namespace {

// Larger pictures take no other path, only longer.
constexpr std::int64_t max_pixels = std::int64_t{1} << 18;
// What a pipe takes without a reader on the other end.
constexpr std::size_t max_piped = 60000;

struct outcome {
    input_status status;
    bmp_status bmp;
    std::uint64_t detail;
    input_planes planes;
    std::size_t plane_size;
    picture_kind kind;
    codec_message message;
    picture image;
};

void read_coded(input_file* file, outcome* result)
{
    // The reader borrows its source until it is spent.
    const codec_source source = input_source(*file);
    picture_reader reader;
    result->message = picture_open(file->kind, source, &reader);
    if (!result->message.failed() && std::int64_t{reader.info.width} * reader.info.height <= max_pixels)
        result->message = picture_decode(&reader, &result->image);
    std::fclose(file->stream);
}

outcome read_named(const std::string& name)
{
    static input_file file;
    outcome result{};
    file = input_file{};
    result.status = input_open(name.c_str(), &file);
    result.bmp = file.bmp;
    result.kind = file.kind;
    if (result.status != input_status::ok)
        return result;
    if (file.kind != picture_kind::bmp) {
        read_coded(&file, &result);
        return result;
    }
    if (std::int64_t{file.header.width} * file.header.height > max_pixels) {
        std::fclose(file.stream);
        result.status = input_status::size_error;
        return result;
    }
    // Two threads, so that the bands of a picture are read at once.
    static velmora::thread_team team;
    if (!team.state && !velmora::make_thread_team(&team, 2))
        std::abort();
    result.status = input_load(&file, &result.planes, team);
    result.bmp = file.bmp;
    result.detail = file.detail;
    result.plane_size = static_cast<std::size_t>(std::int64_t{file.header.width} * file.header.height);
    return result;
}

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

bool same(const outcome& a, const outcome& b)
{
    if (a.status != b.status || a.bmp != b.bmp || a.detail != b.detail || a.kind != b.kind)
        return false;
    if (a.status != input_status::ok)
        return true;
    if (a.kind != picture_kind::bmp) {
        // Only a known length lets a PNG's declared size be checked against it.
        if (std::strncmp(a.message.text, "a PNG file of ", 14) == 0)
            return true;
        if (a.message.fault != b.message.fault)
            return false;
        if (a.message.failed())
            return a.kind == picture_kind::tiff || std::strcmp(a.message.text, b.message.text) == 0 ||
                   std::strcmp(a.message.text, "truncated PNG file") == 0;
        if (!a.image.samples || !b.image.samples)
            return !a.image.samples && !b.image.samples;
        return picture_bytes(a.image.info) == picture_bytes(b.image.info) &&
               std::memcmp(a.image.samples.get(), b.image.samples.get(), picture_bytes(a.image.info)) == 0;
    }
    return a.plane_size == b.plane_size && std::memcmp(a.planes.BIN, b.planes.BIN, a.plane_size) == 0 &&
           std::memcmp(a.planes.GIN, b.planes.GIN, a.plane_size) == 0 &&
           std::memcmp(a.planes.RIN, b.planes.RIN, a.plane_size) == 0;
}

void release(outcome* result)
{
    std::free(result->planes.BIN);
    std::free(result->planes.GIN);
    std::free(result->planes.RIN);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int memory = memfd_create("velmora-fuzz", 0);
    if (memory < 0 || !write_all(memory, data, size))
        std::abort();
    outcome from_file = read_named("/proc/self/fd/" + std::to_string(memory));
    close(memory);

    if (size <= max_piped) {
        int ends[2];
        if (pipe(ends) != 0 || !write_all(ends[1], data, size))
            std::abort();
        close(ends[1]);
        outcome from_pipe = read_named("/proc/self/fd/" + std::to_string(ends[0]));
        close(ends[0]);
        if (!same(from_file, from_pipe))
            std::abort();
        release(&from_pipe);
    }
    release(&from_file);
    return 0;
}
