// Putting an encoded file in place of its target, for any encoder.
//
// output_target::prepare looks at what the name stands for and opens where
// the bytes will go:
//   - a regular file, or a name that does not exist yet (a dangling symbolic
//     link included): a temporary beside the file the links lead to. It is
//     unnamed where the file system offers that (Linux O_TMPFILE), else a
//     ".velmora-XXXXXX" made with O_EXCL, so that nothing already there, a
//     planted link included, is ever opened in its place;
//   - a named pipe or a character device: the file itself, written as a
//     stream (renaming over it would destroy it). Opening a named pipe waits
//     for its reader, as any writer does;
//   - a socket, a block device or anything else: refused.
// It refuses too what would only fail at the end: a folder, a file the
// process could not open for writing, and another user's file in a sticky
// folder (such as /tmp) that the rename may not replace.
//
// The caller writes the encoded bytes to fd() (through fdopen(dup(fd)) for
// stdio; the descriptor stays the target's), then commits. Commit lends a
// replaced file's permissions to the new one, links an unnamed temporary
// (straight to the final name when nothing is there, so that no temporary
// name ever exists) and renames it over the target; in stream mode it only
// closes. A target not committed is discarded: its descriptor closed and a
// named temporary removed, at the latest when the object goes.
//
// Every descriptor opened here is above the standard streams 0, 1 and 2,
// so that no console line can land in the output. Nothing here allocates,
// prints, exits or installs handlers; the termination signals are held
// back (in the calling thread's mask) only while a temporary name exists
// that the caller has not been told of. Errors are errno values.
#pragma once

#include <signal.h>

#include <cstddef>

// Room for any path the kernel accepts (PATH_MAX), its terminating NUL included.
constexpr std::size_t output_path_capacity = 4096;

// The signals that end a run and that a temporary is guarded against. The
// command line's handlers and the mask held while a temporary name exists
// are made from this one list.
inline constexpr int output_termination_signals[] = {SIGINT, SIGTERM, SIGHUP};

// output_termination_signals as a signal set.
sigset_t output_termination_set();

enum class output_mode {
    replace,  // a temporary, put in place of the target by the commit
    stream,   // the named pipe or character device itself
};

enum class output_status {
    ok,
    system_error,  // the errno value is in output_outcome.error
    socket,        // the target is a socket
    block_device,  // the target is a block device
    not_regular,   // the target is some other kind of file that is not regular
};

struct output_outcome {
    output_status status;
    int error;  // the errno value of a system_error; 0 otherwise
};

// Called with the termination signals held, right after a named temporary
// was made, so that the caller can arrange its removal (see
// cli/output_file.h) before any of them can end the process.
using output_named_hook = void (*)(const char* temporary_path, void* context);

class output_target {
public:
    output_target() = default;
    output_target(const output_target&) = delete;
    output_target& operator=(const output_target&) = delete;
    ~output_target() { discard(); }

    // Gets ready to write the file named path. Returns ok with fd() open,
    // or what stands in the way with nothing created and fd() -1: errno
    // values ENOENT, EACCES, EISDIR, EPERM (another user's file in a sticky
    // folder), ELOOP, ENAMETOOLONG and the like, or a kind of file that is
    // never written. Once per object.
    output_outcome prepare(const char* path, output_named_hook on_named = nullptr, void* context = nullptr);

    // Takes fd, open for writing already (a copy of the standard output),
    // as a stream-mode target: nothing is looked at or refused, since the
    // caller chose it, and the commit closes it. Instead of prepare.
    void adopt(int fd);

    // The file of a replace-mode target as size bytes of writable memory,
    // so that an encoder whose output has a known size writes it where it
    // will stay, with no buffer of its own and no copy (the caller unmaps
    // it before the commit). The space is reserved first: ENOSPC, EFBIG and
    // the like come back before any work. EOPNOTSUPP where there is nothing
    // to map (stream mode) or the file system cannot, ENOMEM where the
    // address space is short; the file is then left empty for the caller to
    // write as usual.
    int map(std::size_t size, void** mapping);

    // Puts the written file in place (replace mode) or finishes the stream.
    // Returns 0, or an errno value with the target untouched and the
    // temporary gone. Either way fd() is closed, and the calling thread's
    // signal mask is as it was, so that a caller may hold signals across
    // the commit.
    int commit();

    // Closes fd() and removes a named temporary; nothing once committed.
    void discard();

    int fd() const { return fd_; }  // where the bytes go; -1 when nothing is open
    output_mode mode() const { return mode_; }
    bool named() const { return named_; }  // replace mode: the temporary has a name
    // The named temporary; empty otherwise.
    const char* temporary_path() const { return temporary_path_; }

private:
    output_outcome prepare_replace(output_named_hook on_named, void* context);
    int create_named(output_named_hook on_named, void* context);

    int fd_ = -1;
    output_mode mode_ = output_mode::replace;
    bool named_ = false;
    // Replace mode: the file replaced, links followed; stream mode: the name as given.
    char target_path_[output_path_capacity] = {};
    char temporary_path_[output_path_capacity] = {};
};
