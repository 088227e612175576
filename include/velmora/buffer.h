// velmora: the one owning array of the library (FFT tables, transform
// plans, a plan's work arrays) and of its callers' large buffers, and how
// fresh memory is first touched.
//
// Ownership: a buffer<T> owns its block alone (move-only, a
// std::unique_ptr) and frees it with std::free when it is destroyed or
// reset. Any block from malloc, calloc, realloc or posix_memalign may
// therefore be handed to a buffer (reset or the constructor), and
// release() hands a block over to code that frees it with std::free.
//
// make_buffer<T>(count, pages) allocates count elements, uninitialised,
// and returns an empty buffer when the memory cannot be had (or the byte
// count does not fit in a size_t); it never throws. A block starts on a
// 64-byte boundary (whole cache lines, whole vector batches) and takes
// buffer_bytes<T>(count, pages) bytes: whole alignment units, and at least
// one, so that an empty buffer always means exhaustion. Where it lives is
// the one choice below, each way with what was measured for it:
//
//   ordinary          The system's ordinary pages, for tables, plans and
//                     small arrays, which one thread touches once: on the
//                     virtual machines measured, 2 MiB pages made the first
//                     touch of such fresh memory dearer and its cost vary
//                     more from run to run.
//   huge_when_large   Large arrays that many threads work on (a plan's work
//                     arrays, the command line's read buffer, planes and
//                     output picture): from 2 MiB on the block is whole
//                     2 MiB pages on 2 MiB boundaries, advised as huge pages
//                     (madvise MADV_HUGEPAGE, only advice: where the system
//                     refuses, the pages stay small). A page is first
//                     touched by a fault in the kernel; when many threads
//                     fault at once on the pages of one array (a pass
//                     writing columns touches every page of its output at
//                     once) the faults queue and the system time grows
//                     with the thread count, and on small pages a column
//                     pass also misses the TLB at nearly every step. A huge
//                     page takes one fault instead of 512 and one TLB entry
//                     that covers 512 times as much. With populate (below)
//                     on a 2-CPU virtual machine (2048 x 1536 -> 4096 x
//                     3072, uint8): page faults of a whole run 26.5 k ->
//                     8.1 k, system time 0.20 s -> 0.06 s; float32 2048^2 ->
//                     4096^2 in memory, a plan made and freed per call took
//                     3.4 times a kept plan's run before and 1.05 times
//                     after, and the kept run itself became 1.3 times
//                     faster. A fault on a fresh small page cost about
//                     35 us there, so 21 MB touched page by page took
//                     0.18 s; on huge pages populated in advance, 0.002 to
//                     0.005 s.
//
// populate(team, begin, size, kind) takes those faults before the work, in
// contiguous blocks of whole huge pages, each block by one thread of a
// team (MADV_POPULATE_WRITE; where the kernel lacks it, one written byte a
// page of memory the caller owns outright). It only ever makes pages
// resident: failures are ignored, the pages then being touched where they
// are first used. Nothing here keeps state between calls.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "velmora/export.h"

namespace velmora {

struct thread_team;

struct free_deleter {
    void operator()(void* block) const noexcept { std::free(block); }
};

template <typename T>
using buffer = std::unique_ptr<T[], free_deleter>;

inline constexpr std::size_t buffer_alignment = 64;
inline constexpr std::size_t huge_page_bytes = std::size_t{2} << 20;

enum class buffer_pages { ordinary, huge_when_large };

// The bytes make_buffer<T>(count, pages) takes; 0 when the count is too
// large to allocate.
template <typename T>
constexpr std::size_t buffer_bytes(std::size_t count, buffer_pages pages = buffer_pages::ordinary)
{
    const std::size_t unit = pages == buffer_pages::ordinary ? buffer_alignment : huge_page_bytes;
    if (count > (SIZE_MAX - unit) / sizeof(T))
        return 0;
    const std::size_t bytes = count * sizeof(T);
    if (bytes == 0)
        return buffer_alignment;
    const std::size_t rounding_unit = bytes < huge_page_bytes ? buffer_alignment : unit;
    return (bytes + rounding_unit - 1) / rounding_unit * rounding_unit;
}

template <typename T>
buffer<T> make_buffer(std::size_t count, buffer_pages pages = buffer_pages::ordinary)
{
    const std::size_t bytes = buffer_bytes<T>(count, pages);
    if (bytes == 0)
        return buffer<T>();
    const bool huge = pages == buffer_pages::huge_when_large && count * sizeof(T) >= huge_page_bytes;
    void* block = nullptr;
    if (posix_memalign(&block, huge ? huge_page_bytes : buffer_alignment, bytes) != 0)
        return buffer<T>();
#ifdef MADV_HUGEPAGE
    if (huge)
        madvise(block, bytes, MADV_HUGEPAGE);  // only advice: refused, the pages stay small
#endif
    return buffer<T>(static_cast<T*>(block));
}

enum class populate_kind {
    owned,   // memory the caller owns outright: may be written to where advice is unsupported
    caller,  // someone else's memory (a caller's view): advice only, its bytes never written
};

// Makes bytes [begin, begin + size) resident and writable on the team's
// threads (above); an empty team leaves the pages to be touched where they
// are first used. The team runs one loop, as run_units does.
VELMORA_API void populate(thread_team& team, void* begin, std::size_t size, populate_kind kind);

}  // namespace velmora
