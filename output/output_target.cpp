#include "output/output_target.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <pthread.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Symbolic links are followed at most this often, as the kernel does.
constexpr int max_link_hops = 40;
// Attempts at an unused random name before giving up.
constexpr int name_attempts = 100;
// Looks at a pipe or device that turned into another kind of file between
// the look and the open.
constexpr int stream_attempts = 3;
constexpr char temporary_stem[] = ".velmora-";
constexpr std::size_t random_letters = 6;
// "/proc/self/fd/" and any descriptor number.
constexpr std::size_t proc_path_size = 32;

output_outcome succeeded()
{
    return {output_status::ok, 0};
}

output_outcome failed(int error)
{
    return {output_status::system_error, error};
}

output_outcome refused(mode_t mode)
{
    if (S_ISSOCK(mode))
        return {output_status::socket, 0};
    if (S_ISBLK(mode))
        return {output_status::block_device, 0};
    return {output_status::not_regular, 0};
}

bool copy_path(char* to, const char* from)
{
    return std::snprintf(to, output_path_capacity, "%s", from) < static_cast<int>(output_path_capacity);
}

// Bytes of path up to and including its last slash; 0 when it has none.
std::size_t folder_length(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? static_cast<std::size_t>(slash - path) + 1 : 0;
}

// The folder part of path, or "." when it has none.
void folder_of(const char* path, char* folder)
{
    const std::size_t length = folder_length(path);
    if (length == 0) {
        std::strcpy(folder, ".");
        return;
    }
    std::memcpy(folder, path, length);
    folder[length] = '\0';
}

void proc_fd_path(int fd, char* path)
{
    std::snprintf(path, proc_path_size, "/proc/self/fd/%d", fd);
}

// A descriptor the process did not inherit as 0, 1 or 2 can still be one of
// them when the process was started with that stream closed; the console
// lines would then go into the output. Returns fd moved above them, or -1
// with errno set (fd closed either way when it was moved).
int above_standard_streams(int fd)
{
    if (fd < 0 || fd > STDERR_FILENO)
        return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int error = errno;
    close(fd);
    errno = error;
    return moved;
}

// Replaces path, in place, by the file it names once every symbolic link at
// its end is followed. A relative link is read from the link's own folder.
int follow_links(char* path)
{
    char link[output_path_capacity];
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
        if (kept + static_cast<std::size_t>(length) >= output_path_capacity)
            return ENAMETOOLONG;
        std::memcpy(path + kept, link, static_cast<std::size_t>(length) + 1);
    }
    return ELOOP;
}

// In a sticky folder only the file's owner, the folder's owner and a
// privileged process may rename over a file; anyone else learns it from
// the rename, after all the work, unless it is foreseen here.
int check_sticky_folder(const char* target, const struct stat& file)
{
    char folder[output_path_capacity];
    folder_of(target, folder);
    struct stat info {};
    if (stat(folder, &info) != 0)
        return errno;
    const uid_t self = geteuid();
    if ((info.st_mode & S_ISVTX) == 0 || self == 0 || self == file.st_uid || self == info.st_uid)
        return 0;
    return EPERM;
}

// The refusals that opening the target for writing and renaming over it
// would give, without doing either.
output_outcome check_replaceable(const char* target)
{
    struct stat info {};
    if (stat(target, &info) != 0)
        return errno == ENOENT ? succeeded() : failed(errno);
    if (S_ISDIR(info.st_mode))
        return failed(EISDIR);
    if (!S_ISREG(info.st_mode))
        return refused(info.st_mode);
    if (faccessat(AT_FDCWD, target, W_OK, AT_EACCESS) != 0)
        return failed(errno);
    const int error = check_sticky_folder(target, info);
    return error == 0 ? succeeded() : failed(error);
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
    if (folder + sizeof temporary_stem + random_letters > output_path_capacity)
        return ENAMETOOLONG;
    std::memcpy(name, target, folder);
    std::memcpy(name + folder, temporary_stem, sizeof temporary_stem - 1);
    char* letters = name + folder + sizeof temporary_stem - 1;
    random_suffix(letters);
    letters[random_letters] = '\0';
    return 0;
}

// Tries fresh temporary names beside target in name until make(name) gives
// anything but EEXIST: 0, or the errno value that stopped it.
template <typename Make>
int with_fresh_name(const char* target, char* name, Make make)
{
    int error = EEXIST;
    for (int attempt = 0; attempt < name_attempts && error == EEXIST; ++attempt) {
        error = temporary_name(target, name);
        if (error == 0)
            error = make(name);
    }
    return error;
}

// The termination signals held back in the calling thread while it lives.
class signals_held {
public:
    signals_held()
    {
        const sigset_t held = output_termination_set();
        pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    signals_held(const signals_held&) = delete;
    signals_held& operator=(const signals_held&) = delete;
    ~signals_held() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

private:
    sigset_t previous_;
};

// An unnamed file in the target's folder, or -1 with errno set. The mode is
// the one a plain create gives; the kernel applies the umask.
int open_unnamed(const char* target)
{
    char folder[output_path_capacity];
    folder_of(target, folder);
    const int fd = above_standard_streams(open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (fd < 0)
        return -1;
    // Naming it later goes through /proc; without /proc use a named file.
    char source[proc_path_size];
    proc_fd_path(fd, source);
    if (access(source, F_OK) != 0) {
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

// Opens a named pipe or character device for writing, as it stands (the
// kernel follows the links, /proc's pipe links too). *changed is set when
// what was opened is no longer such a file.
int open_stream(const char* path, int* fd, bool* changed)
{
    // O_NOCTTY: a terminal written to does not become the process's own.
    const int opened = open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (opened < 0)
        return errno;
    struct stat info {};
    if (fstat(opened, &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))) {
        close(opened);
        *changed = true;
        return 0;
    }
    *fd = above_standard_streams(opened);
    return *fd < 0 ? errno : 0;
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

// Gives the unnamed file the target's name. Where nothing has that name the
// file is linked straight to it, so that no other name ever exists. Else it
// is linked under a fresh temporary name and renamed over the target, with
// the termination signals held back meanwhile, so that nothing but SIGKILL
// can leave that name behind.
int link_unnamed(int fd, const char* target)
{
    char source[proc_path_size];
    proc_fd_path(fd, source);
    if (linkat(AT_FDCWD, source, AT_FDCWD, target, AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno != EEXIST)
        return errno;
    const signals_held held;
    char name[output_path_capacity];
    int error = with_fresh_name(target, name, [&](const char* fresh) {
        return linkat(AT_FDCWD, source, AT_FDCWD, fresh, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
    });
    if (error == 0 && std::rename(name, target) != 0) {
        error = errno;
        unlink(name);
    }
    return error;
}

}  // namespace

sigset_t output_termination_set()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal_number : output_termination_signals)
        sigaddset(&set, signal_number);
    return set;
}

// Makes the named temporary with the termination signals held, and tells
// the caller its name before any of them can end the process.
int output_target::create_named(output_named_hook on_named, void* context)
{
    const signals_held held;
    const int error = with_fresh_name(target_path_, temporary_path_, [&](const char* name) {
        // O_EXCL: whatever already has the name, a planted link too, is left alone.
        const int fd = open(name, O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
        if (fd < 0)
            return errno;
        fd_ = above_standard_streams(fd);
        if (fd_ >= 0)
            return 0;
        const int moved = errno;
        unlink(name);
        return moved;
    });
    if (error == 0 && on_named)
        on_named(temporary_path_, context);
    if (error != 0)
        temporary_path_[0] = '\0';
    return error;
}

output_outcome output_target::prepare_replace(output_named_hook on_named, void* context)
{
    const int error = follow_links(target_path_);
    if (error != 0)
        return failed(error);
    const output_outcome check = check_replaceable(target_path_);
    if (check.status != output_status::ok)
        return check;
    fd_ = open_unnamed(target_path_);
    if (fd_ >= 0)
        return succeeded();
    if (!unnamed_unsupported(errno))
        return failed(errno);
    named_ = true;
    const int named_error = create_named(on_named, context);
    return named_error == 0 ? succeeded() : failed(named_error);
}

output_outcome output_target::prepare(const char* path, output_named_hook on_named, void* context)
{
    if (path[0] == '\0')
        return failed(ENOENT);
    if (!copy_path(target_path_, path))
        return failed(ENAMETOOLONG);
    for (int attempt = 0; attempt < stream_attempts; ++attempt) {
        struct stat info {};
        if (stat(path, &info) != 0) {
            if (errno != ENOENT)
                return failed(errno);
            return prepare_replace(on_named, context);  // a new file, or a dangling link
        }
        if (S_ISREG(info.st_mode))
            return prepare_replace(on_named, context);
        if (S_ISDIR(info.st_mode))
            return failed(EISDIR);
        if (!S_ISFIFO(info.st_mode) && !S_ISCHR(info.st_mode))
            return refused(info.st_mode);
        bool changed = false;
        const int error = open_stream(path, &fd_, &changed);
        if (changed)
            continue;
        if (error != 0)
            return failed(error);
        mode_ = output_mode::stream;
        return succeeded();
    }
    return failed(EAGAIN);
}

void output_target::adopt(int fd)
{
    fd_ = fd;
    mode_ = output_mode::stream;
}

int output_target::map(std::size_t size, void** mapping)
{
    *mapping = nullptr;
    if (mode_ != output_mode::replace || size == 0)
        return EOPNOTSUPP;
    if (size > static_cast<std::size_t>(std::numeric_limits<off_t>::max()))
        return EFBIG;
    // Reserved now, so that a full disk or a size limit is known before any
    // work, and writing into the pages can never fault for want of space.
    if (fallocate(fd_, 0, 0, static_cast<off_t>(size)) != 0)
        return errno == EINVAL ? EOPNOTSUPP : errno;
    void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (pages == MAP_FAILED) {
        const int error = errno;
        // Back to an empty file for the caller's other way of writing it.
        if (ftruncate(fd_, 0) != 0)
            return errno;
        return error == ENOMEM ? ENOMEM : EOPNOTSUPP;
    }
    *mapping = pages;
    return 0;
}

int output_target::commit()
{
    if (mode_ == output_mode::replace) {
        int error = adopt_permissions(fd_, target_path_);
        if (error == 0)
            error = named_ ? (std::rename(temporary_path_, target_path_) == 0 ? 0 : errno)
                           : link_unnamed(fd_, target_path_);
        if (error != 0) {
            discard();
            return error;
        }
        temporary_path_[0] = '\0';  // it is the target now
    }
    close(fd_);
    fd_ = -1;
    return 0;
}

void output_target::discard()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    if (named_ && temporary_path_[0] != '\0')
        unlink(temporary_path_);
    temporary_path_[0] = '\0';
}
