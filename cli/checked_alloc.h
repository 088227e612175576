// Allocation for the run driver that either succeeds or ends the run.
//
// Every array the driver makes (the options record, the input's pixel data
// and picture, the output picture) is tested the moment it is allocated.
// When memory is exhausted the array's name is printed followed by
// " no memory!!" on the standard output stream and the process ends with
// status 1, releasing nothing first. Blocks are those of the library's work
// arrays (velmora/buffer.h's huge_when_large: 64-byte aligned, on huge
// pages from 2 MiB on), so that the run's large buffers can be populated on
// its team before they are first written. The caller owns the block and
// frees it with std::free.
#pragma once

#include <cstddef>

#include "velmora/velmora.h"

// Such a block made resident on the team's threads, each filling one
// contiguous run of it, before its first use; or null when memory ran out.
void* populated_block(std::size_t bytes, velmora::thread_team& team);

void* checked_alloc(std::size_t bytes, const char* name);

// count elements of T, uninitialised.
template <typename T>
T* checked_array(std::size_t count, const char* name)
{
    return static_cast<T*>(checked_alloc(count * sizeof(T), name));
}
