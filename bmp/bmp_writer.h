// Writing an uncompressed 24-bit BMP file.
//
// A picture reaches the writer either as its stored pixel rows (the layout
// of the file itself: bottom row first, blue-green-red per pixel, each row
// zero-padded to a multiple of four bytes), which the run fills directly, or
// as three colour planes. bmp_write_rows and bmp_write emit the 54 header
// bytes and the rows to a stream the caller owns.
//
// A whole file is made in two steps, so that a run can find out that its
// output cannot be written before it does any work, and so that the target
// only ever holds the old file or the complete new one:
//   bmp_prepare checks the target and opens a temporary file beside it;
//   bmp_commit writes the picture into the temporary, gives it the old
//   file's permissions and renames it over the target.
// The temporary is unnamed where the file system offers that (Linux
// O_TMPFILE): it vanishes with the process however the process ends, and
// gets a name only for the instant between linking and renaming, during
// which SIGINT, SIGTERM and SIGHUP are held back. Elsewhere it is a named
// ".velmora-XXXXXX" beside the target, which the caller must remove if the
// process ends between the two steps (bmp_output.temporary_path names it).
//
// The caller owns the bmp_output record; nothing here allocates, prints or
// installs signal handlers. Errors are errno values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Room for any path the kernel accepts (PATH_MAX), its terminating NUL included.
constexpr std::size_t bmp_path_capacity = 4096;

struct bmp_output {
    int fd;                                   // the temporary, open for writing; -1 once closed
    bool named;                               // the temporary has a name (no unnamed files here)
    char target_path[bmp_path_capacity];      // the target, symbolic links followed
    char temporary_path[bmp_path_capacity];   // the named temporary; empty when unnamed
};

// Writes width x height pixels from the planes (layout of plane.h, height
// samples per column): the header with a 40-byte info header, then the rows
// bottom row first, each blue-green-red per pixel and zero-padded to a
// multiple of four bytes. Returns false as soon as the stream refuses a byte.
bool bmp_write(std::FILE* out, const std::uint8_t* R, const std::uint8_t* G, const std::uint8_t* B,
               std::int32_t width, std::int32_t height);

// Bytes of the stored pixel rows of a width x height picture (sizes within
// the side limits).
std::size_t bmp_stored_rows_size(std::int32_t width, std::int32_t height);

// Writes the header and the stored pixel rows `rows` (bmp_stored_rows_size
// bytes, padding included) in one go.
bool bmp_write_rows(std::FILE* out, const std::uint8_t* rows, std::int32_t width, std::int32_t height);

// Gets ready to replace or create the file at path. A symbolic link is
// followed to the file it points to (also one that does not exist yet), so
// the link itself stays. Refuses a target that is a folder (EISDIR) or that
// the process could not open for writing (EACCES, EROFS), and reports why
// the temporary cannot be made in the target's folder (ENOENT, EACCES, ...).
// Returns 0 and fills *output, or an errno value with nothing created and
// output->fd set to -1.
int bmp_prepare(const char* path, bmp_output* output);

// Writes the picture, given as its stored pixel rows, into the prepared
// temporary and puts it in place of the target. A target that exists lends the new file its permission bits and,
// where the process may set them, its owner and group; a new file has the
// mode a plain create gives (0666 less the umask). Returns 0, or an errno
// value (EFBIG past a file size limit, ENOSPC, ...) with the target
// untouched and the temporary gone. Either way the temporary is closed.
int bmp_commit(bmp_output* output, const std::uint8_t* rows, std::int32_t width, std::int32_t height);

// Closes and removes a prepared temporary that will not be committed.
void bmp_discard(bmp_output* output);
