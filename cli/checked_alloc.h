// Allocation for the run driver that either succeeds or ends the run.
//
// Every working array of a run is tested the moment it is allocated. When
// memory is exhausted the array's name is printed followed by
// " no memory!!" on the standard output stream and the process ends with
// status 1, releasing nothing first. Only the main thread allocates: the
// worker threads of a pass use what was made for them before they started,
// so this exit never races with a running pass. The caller owns the block
// and frees it with std::free.
#pragma once

#include <cstddef>

void* checked_alloc(std::size_t bytes, const char* name);

// count elements of T, uninitialised.
template <typename T>
T* checked_array(std::size_t count, const char* name)
{
    return static_cast<T*>(checked_alloc(count * sizeof(T), name));
}
