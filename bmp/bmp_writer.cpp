#include "bmp/bmp_writer.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

// Symbolic links are followed at most this often, as the kernel does.
constexpr int max_link_hops = 40;
// Attempts at an unused random name before giving up.
constexpr int name_attempts = 100;
constexpr char temporary_stem[] = ".velmora-";
constexpr std::size_t random_letters = 6;

bool copy_path(char* to, const char* from)
{
    return std::snprintf(to, bmp_path_capacity, "%s", from) < static_cast<int>(bmp_path_capacity);
}

// Bytes of path up to and including its last slash; 0 when it has none.
std::size_t folder_length(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? static_cast<std::size_t>(slash - path) + 1 : 0;
}

// Replaces path, in place, by the file it names once every symbolic link at
// its end is followed. A relative link is read from the link's own folder.
int follow_links(char* path)
{
    char link[bmp_path_capacity];
    for (int hop = 0; hop < max_link_hops; ++hop) {
        struct stat info {};
        if (lstat(path, &info) != 0)
            return errno == ENOENT ? 0 : errno;  // a new file
        if (!S_ISLNK(info.st_mode))
            return 0;
        const ssize_t length = readlink(path, link, sizeof link);
        if (length < 0)
            return errno;
        if (static_cast<std::size_t>(length) >= sizeof link)
            return ENAMETOOLONG;
        link[length] = '\0';
        const std::size_t kept = link[0] == '/' ? 0 : folder_length(path);
        if (kept + static_cast<std::size_t>(length) >= bmp_path_capacity)
            return ENAMETOOLONG;
        std::memcpy(path + kept, link, static_cast<std::size_t>(length) + 1);
    }
    return ELOOP;
}

// The same refusals as opening the target for writing would give, without
// opening it (which would block on a FIFO or truncate a file).
int check_target(const char* target)
{
    struct stat info {};
    if (stat(target, &info) != 0)
        return errno == ENOENT ? 0 : errno;
    if (S_ISDIR(info.st_mode))
        return EISDIR;
    return faccessat(AT_FDCWD, target, W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

void random_suffix(char* letters)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char noise[random_letters] = {};
    if (getrandom(noise, sizeof noise, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof noise)) {
        // Unique enough with the exclusive create or link that uses it.
        timespec now {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::uint64_t mix = static_cast<std::uint64_t>(now.tv_nsec) * 0x9E3779B97F4A7C15u ^
                            static_cast<std::uint64_t>(getpid()) << 20;
        for (unsigned char& byte : noise) {
            byte = static_cast<unsigned char>(mix);
            mix = mix >> 8 | mix << 56;
        }
    }
    for (std::size_t i = 0; i < random_letters; ++i)
        letters[i] = alphabet[noise[i] % (sizeof alphabet - 1)];
}

// Writes folder-of(target) + ".velmora-XXXXXX" into name, the letters fresh.
int temporary_name(const char* target, char* name)
{
    const std::size_t folder = folder_length(target);
    if (folder + sizeof temporary_stem + random_letters > bmp_path_capacity)
        return ENAMETOOLONG;
    std::memcpy(name, target, folder);
    std::memcpy(name + folder, temporary_stem, sizeof temporary_stem - 1);
    char* letters = name + folder + sizeof temporary_stem - 1;
    random_suffix(letters);
    letters[random_letters] = '\0';
    return 0;
}

std::string proc_fd_path(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

// An unnamed file in the target's folder, or -1 with errno set. The mode is
// the one a plain create gives; the kernel applies the umask.
int open_unnamed(const char* target)
{
    const std::size_t folder = folder_length(target);
    const std::string directory = folder ? std::string(target, folder) : std::string(".");
    const int fd = open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    // Naming it later goes through /proc; without /proc use a named file.
    if (access(proc_fd_path(fd).c_str(), F_OK) != 0) {
        close(fd);
        errno = EOPNOTSUPP;
        return -1;
    }
    return fd;
}

// The kernel or the file system has no unnamed files.
bool unnamed_unsupported(int error)
{
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

int create_named(bmp_output* output)
{
    for (int attempt = 0; attempt < name_attempts; ++attempt) {
        const int error = temporary_name(output->target_path, output->temporary_path);
        if (error != 0)
            return error;
        output->fd = open(output->temporary_path, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (output->fd >= 0)
            return 0;
        if (errno != EEXIST)
            break;
    }
    const int error = errno;
    output->temporary_path[0] = '\0';
    return error;
}

int write_picture(int fd, const std::uint8_t* rows, std::int32_t width, std::int32_t height)
{
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return errno;
    std::FILE* out = fdopen(copy, "wb");
    if (!out) {
        const int error = errno;
        close(copy);
        return error;
    }
    errno = 0;
    const bool written = bmp_write_rows(out, rows, width, height) && std::fflush(out) == 0;
    int error = written ? 0 : (errno ? errno : EIO);
    if (std::fclose(out) != 0 && error == 0)
        error = errno ? errno : EIO;
    return error;
}

// A replaced file lends the new one its owner, group and permission bits.
// The set-user-ID (and sticky) bit is kept only with the owner and the
// set-group-ID bit only with the group, so that neither comes to mean
// another user or group.
int adopt_permissions(int fd, const char* target)
{
    struct stat old {};
    if (stat(target, &old) != 0 || !S_ISREG(old.st_mode))
        return 0;  // gone meanwhile, or nothing to copy: a new file's mode stays
    const bool owner_kept = fchown(fd, old.st_uid, old.st_gid) == 0;
    const bool group_kept = owner_kept || fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0;
    const mode_t kept_bits = 0777u | (owner_kept ? 05000u : 0u) | (group_kept ? 02000u : 0u);
    return fchmod(fd, old.st_mode & kept_bits) == 0 ? 0 : errno;
}

sigset_t termination_signals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// Links the unnamed file under a fresh temporary name and renames that over
// the target. A termination signal is held back meanwhile, so that nothing
// but SIGKILL can leave the temporary name behind.
int name_unnamed(int fd, const char* target)
{
    const sigset_t held = termination_signals();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &held, &previous);
    const std::string source = proc_fd_path(fd);
    char name[bmp_path_capacity];
    int error = EEXIST;
    for (int attempt = 0; attempt < name_attempts && error == EEXIST; ++attempt) {
        error = temporary_name(target, name);
        if (error == 0 && linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name, AT_SYMLINK_FOLLOW) != 0)
            error = errno;
    }
    if (error == 0 && std::rename(name, target) != 0) {
        error = errno;
        unlink(name);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return error;
}
}  // namespace

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

int bmp_prepare(const char* path, bmp_output* output)
{
    output->fd = -1;
    output->named = false;
    output->temporary_path[0] = '\0';
    if (path[0] == '\0')
        return ENOENT;
    if (!copy_path(output->target_path, path))
        return ENAMETOOLONG;
    int error = follow_links(output->target_path);
    if (error == 0)
        error = check_target(output->target_path);
    if (error != 0)
        return error;
    output->fd = open_unnamed(output->target_path);
    if (output->fd >= 0)
        return 0;
    if (!unnamed_unsupported(errno))
        return errno;
    output->named = true;
    return create_named(output);
}

int bmp_commit(bmp_output* output, const std::uint8_t* rows, std::int32_t width, std::int32_t height)
{
    int error = write_picture(output->fd, rows, width, height);
    if (error == 0)
        error = adopt_permissions(output->fd, output->target_path);
    if (error == 0 && !output->named)
        error = name_unnamed(output->fd, output->target_path);
    if (error == 0 && output->named && std::rename(output->temporary_path, output->target_path) != 0)
        error = errno;
    if (error != 0) {
        bmp_discard(output);
        return error;
    }
    output->temporary_path[0] = '\0';  // it is the target now
    close(output->fd);
    output->fd = -1;
    return 0;
}

void bmp_discard(bmp_output* output)
{
    if (output->fd >= 0)
        close(output->fd);
    output->fd = -1;
    if (output->named && output->temporary_path[0] != '\0')
        unlink(output->temporary_path);
}
