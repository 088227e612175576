// Heap arrays owned by a std::unique_ptr: the blocks of tables, plans and
// the engine's work arrays.
//
// heap_array_alloc returns an empty pointer when the memory cannot be had
// (or the byte count does not fit in a size_t), never throws: the caller
// turns the empty pointer into a result of its own. The elements are left
// uninitialised, and the block starts on a 64-byte boundary, whole cache
// lines and whole vector batches. The pages are the system's ordinary ones:
// on the virtual machines measured, 2 MiB pages made the first touch of
// fresh memory dearer and its cost vary more from run to run. Nothing here
// keeps state between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

struct free_deleter {
    void operator()(void* block) const { std::free(block); }
};

template <typename T>
using heap_array = std::unique_ptr<T[], free_deleter>;

constexpr std::size_t heap_array_alignment = 64;

// The bytes heap_array_alloc takes for count elements: whole alignment
// units, and at least one, so that null always means exhaustion. 0 when
// the count is too large to allocate.
template <typename T>
std::size_t heap_array_bytes(std::size_t count)
{
    if (count > (SIZE_MAX - heap_array_alignment) / sizeof(T))
        return 0;
    const std::size_t bytes = count * sizeof(T);
    return bytes == 0 ? heap_array_alignment
                      : (bytes + heap_array_alignment - 1) / heap_array_alignment * heap_array_alignment;
}

template <typename T>
heap_array<T> heap_array_alloc(std::size_t count)
{
    const std::size_t rounded = heap_array_bytes<T>(count);
    if (rounded == 0)
        return heap_array<T>();
    void* block = nullptr;
    if (posix_memalign(&block, heap_array_alignment, rounded) != 0)
        return heap_array<T>();
    return heap_array<T>(static_cast<T*>(block));
}
