// Working arrays of the engine: owned blocks that report exhaustion as a
// null pointer instead of throwing or ending the process.
//
// make_block<T>(count) returns a block of count elements of T, not
// initialised, aligned to 64 bytes (a whole vector lane batch), or null
// when memory cannot be had (or count * sizeof(T) overflows). The pages are
// the system's ordinary ones: on the virtual machines measured, asking for
// 2 MiB pages made the first touch of fresh memory dearer and its cost
// vary more from run to run, not less. The caller owns the block; it is
// freed when the pointer goes.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

struct block_deleter {
    void operator()(void* block) const { std::free(block); }
};

template <typename T>
using owned_block = std::unique_ptr<T[], block_deleter>;

void* allocate_block(std::size_t count, std::size_t element_size);

template <typename T>
owned_block<T> make_block(std::size_t count)
{
    return owned_block<T>(static_cast<T*>(allocate_block(count, sizeof(T))));
}
