#include "resize/checked_alloc.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void no_memory(const char* name)
{
    std::printf("%s no memory!!\n", name);
    std::exit(1);
}

// Large working arrays are touched once per pass in long strides; backed
// by huge pages they cost a few hundred page faults instead of many
// thousands. Where the system offers no such advice they are plain blocks.
constexpr std::size_t huge_page = std::size_t{2} << 20;

void* large_block(std::size_t bytes)
{
    void* block = nullptr;
    if (posix_memalign(&block, huge_page, bytes) != 0)
        return nullptr;
#ifdef MADV_HUGEPAGE
    madvise(block, bytes, MADV_HUGEPAGE);
#endif
    return block;
}

}  // namespace

void* checked_alloc(std::size_t bytes, const char* name)
{
    // A zero-byte request may legitimately return null; ask for one byte so
    // that null always means exhaustion.
    void* block = bytes >= huge_page ? large_block(bytes) : std::malloc(bytes ? bytes : 1);
    if (!block)
        no_memory(name);
    return block;
}

void* checked_aligned_alloc(std::size_t bytes, std::size_t alignment, const char* name)
{
    // aligned_alloc wants a size that is a multiple of the alignment.
    const std::size_t rounded = (bytes + alignment - 1) / alignment * alignment;
    if (rounded < bytes)
        no_memory(name);
    void* block = std::aligned_alloc(alignment, rounded ? rounded : alignment);
    if (!block)
        no_memory(name);
    return block;
}
