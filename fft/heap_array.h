// Heap arrays owned by a std::unique_ptr, for the blocks of tables and plans.
//
// heap_array_alloc returns an empty pointer when the memory cannot be had
// (or the byte count does not fit in a size_t), never throws: the caller
// turns the empty pointer into a result of its own. The elements are left
// uninitialised. Nothing here keeps state between calls.
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

template <typename T>
heap_array<T> heap_array_alloc(std::size_t count)
{
    if (count > SIZE_MAX / sizeof(T))
        return heap_array<T>();
    // A zero-byte request may return null; ask for one element so that null
    // always means exhaustion.
    return heap_array<T>(static_cast<T*>(std::malloc((count ? count : 1) * sizeof(T))));
}
