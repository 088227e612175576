#include "resize/fresh_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace velmora::detail {

namespace {

constexpr std::size_t huge_page = velmora::huge_page_bytes;
// Linux 5.14; older headers lack the name.
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

std::uintptr_t round_down(std::uintptr_t value, std::size_t unit)
{
    return value / unit * unit;
}

// Writes one byte of every page of a range of the plan's own memory, the
// way the kernel would populate it.
void touch_pages(unsigned char* from, std::size_t size)
{
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    for (std::size_t at = 0; at < size; at += page)
        *static_cast<volatile unsigned char*>(from + at) = 0;
}

}  // namespace

void populate(line_team& team, void* begin, std::size_t size, populate_kind kind)
{
    if (size == 0)
        return;
    // Whole pages only: advice on the partial pages at the ends could reach
    // memory that is not the range's.
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(begin);
    const std::uintptr_t first = round_down(start + page - 1, page);
    const std::uintptr_t end = round_down(start + size, page);
    if (end <= first)
        return;
    // Blocks start on huge-page boundaries, so that no huge page is faulted
    // by two threads.
    const std::uintptr_t aligned = round_down(first, huge_page);
    const auto blocks = static_cast<std::int64_t>((end - aligned + huge_page - 1) / huge_page);
    parallel_lines(team, blocks, [&](int, std::int64_t block) {
        const std::uintptr_t from = std::max(first, aligned + static_cast<std::uintptr_t>(block) * huge_page);
        const std::uintptr_t to = std::min(end, aligned + static_cast<std::uintptr_t>(block + 1) * huge_page);
        auto* at = reinterpret_cast<unsigned char*>(from);
        if (madvise(at, to - from, MADV_POPULATE_WRITE) != 0 && kind == populate_kind::owned &&
            (errno == EINVAL || errno == ENOSYS))
            touch_pages(at, to - from);
    });
}

}  // namespace velmora::detail

void velmora::populate(thread_team& team, void* begin, std::size_t size, populate_kind kind)
{
    if (team.state)
        detail::populate(*team.state->team, begin, size, kind);
}
