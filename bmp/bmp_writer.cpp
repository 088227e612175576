#include "bmp/bmp_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bmp/bmp_header.h"
#include "bmp/le_bytes.h"
#include "bmp/plane.h"

namespace {

constexpr std::uint32_t header_bytes = 54;
constexpr std::uint32_t info_header_bytes = 40;
// 96 dots per inch, the customary default.
constexpr std::uint32_t pixels_per_metre = 3780;

bool write_header(std::FILE* out, std::int32_t width, std::int32_t height)
{
    const auto file_size = static_cast<std::uint32_t>(height * bmp_row_stride(width) + header_bytes);
    return le_put_u8(out, 0x42) && le_put_u8(out, 0x4D) && le_put_u32(out, file_size) &&
           le_put_u32(out, 0) &&  // both reserved fields
           le_put_u32(out, header_bytes) && le_put_u32(out, info_header_bytes) &&
           le_put_u32(out, static_cast<std::uint32_t>(width)) && le_put_u32(out, static_cast<std::uint32_t>(height)) &&
           le_put_u32(out, 0x00180001) &&  // one plane, 24 bits per pixel
           le_put_u32(out, 0) &&           // no compression
           le_put_u32(out, 0) &&           // image size, optional when uncompressed
           le_put_u32(out, pixels_per_metre) && le_put_u32(out, pixels_per_metre) &&
           le_put_u32(out, 0) && le_put_u32(out, 0);  // no colour table
}

bool write_row(std::FILE* out, const std::uint8_t* R, const std::uint8_t* G, const std::uint8_t* B,
               std::int32_t width, std::int32_t height, std::int32_t y)
{
    for (std::int32_t x = 0; x < width; ++x) {
        const std::size_t at = plane_index(x, y, height);
        if (!le_put_u8(out, B[at]) || !le_put_u8(out, G[at]) || !le_put_u8(out, R[at]))
            return false;
    }
    const std::int64_t padding = bmp_row_stride(width) - 3 * std::int64_t{width};
    for (std::int64_t i = 0; i < padding; ++i) {
        if (!le_put_u8(out, 0))
            return false;
    }
    return true;
}

// The temporary lives in the target's folder so that the final rename stays
// within one file system. Its own name is short, so it fits the limit on
// file names even when the target's name uses all of it.
std::string temporary_template(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    std::string folder = slash ? std::string(path, static_cast<std::size_t>(slash - path) + 1) : std::string();
    return folder + ".velmora-XXXXXX";
}

// mkstemp creates the file readable by its owner only; give it what a plain
// fopen would have, the usual mode filtered by the umask.
int apply_default_mode(int fd)
{
    const mode_t mask = umask(0);
    umask(mask);
    return fchmod(fd, 0666 & ~mask) == 0 ? 0 : errno;
}

int write_temporary(int fd, const std::uint8_t* R, const std::uint8_t* G, const std::uint8_t* B,
                    std::int32_t width, std::int32_t height)
{
    std::FILE* out = fdopen(fd, "wb");
    if (!out) {
        const int error = errno;
        close(fd);
        return error;
    }
    errno = 0;
    const bool written = bmp_write(out, R, G, B, width, height) && std::fflush(out) == 0;
    int error = written ? 0 : (errno ? errno : EIO);
    if (std::fclose(out) != 0 && error == 0)
        error = errno ? errno : EIO;
    return error;
}

}  // namespace

bool bmp_write(std::FILE* out, const std::uint8_t* R, const std::uint8_t* G, const std::uint8_t* B,
               std::int32_t width, std::int32_t height)
{
    if (!write_header(out, width, height))
        return false;
    for (std::int32_t i = 0; i < height; ++i) {
        if (!write_row(out, R, G, B, width, height, height - 1 - i))
            return false;
    }
    return true;
}

int bmp_save(const char* path, const std::uint8_t* R, const std::uint8_t* G, const std::uint8_t* B,
             std::int32_t width, std::int32_t height)
{
    std::string temporary = temporary_template(path);
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return errno;
    int error = apply_default_mode(fd);
    if (error != 0) {
        close(fd);
    } else {
        error = write_temporary(fd, R, G, B, width, height);
    }
    if (error == 0 && std::rename(temporary.c_str(), path) != 0)
        error = errno;
    if (error != 0)
        unlink(temporary.c_str());
    return error;
}
