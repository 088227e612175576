#include "resize/checked_alloc.h"

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void no_memory(const char* name)
{
    std::printf("%s no memory!!\n", name);
    std::exit(1);
}

}  // namespace

void* checked_alloc(std::size_t bytes, const char* name)
{
    // A zero-byte request may legitimately return null; ask for one byte so
    // that null always means exhaustion.
    void* block = std::malloc(bytes ? bytes : 1);
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
