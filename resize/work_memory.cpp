#include "resize/work_memory.h"

namespace {

constexpr std::size_t alignment = 64;

}  // namespace

void* allocate_block(std::size_t count, std::size_t element_size)
{
    std::size_t bytes = 0;
    if (__builtin_mul_overflow(count, element_size, &bytes))
        return nullptr;
    // Rounded up to the alignment, and at least one unit, so that null
    // always means exhaustion.
    const std::size_t rounded = bytes == 0 ? alignment : (bytes + alignment - 1) / alignment * alignment;
    if (rounded < bytes)
        return nullptr;
    void* block = nullptr;
    if (posix_memalign(&block, alignment, rounded) != 0)
        return nullptr;
    return block;
}
