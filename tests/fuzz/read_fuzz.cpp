// libFuzzer target: arbitrary bytes through the tool's whole read path, the
// one that opens, measures and reads the input, twice: as a regular file (an
// in-memory one) and as a pipe, both opened by name as a user would give
// them. Any crash, sanitizer report, leak, or any difference between the two
// outcomes is a finding.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/input_reader.h"

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
};

outcome read_named(const std::string& name)
{
    static input_file file;
    outcome result{};
    result.status = input_open(name.c_str(), &file);
    result.bmp = file.bmp;
    if (result.status != input_status::ok)
        return result;
    if (std::int64_t{file.header.width} * file.header.height > max_pixels) {
        std::fclose(file.stream);
        result.status = input_status::size_error;
        return result;
    }
    result.status = input_load(&file, &result.planes);
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
    if (a.status != b.status || a.bmp != b.bmp || a.detail != b.detail)
        return false;
    if (a.status != input_status::ok)
        return true;
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
