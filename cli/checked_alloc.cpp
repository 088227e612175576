#include "cli/checked_alloc.h"

#include "cli/messages.h"
#include "fft/heap_array.h"

void* checked_alloc(std::size_t bytes, const char* name)
{
    void* block = heap_array_alloc<unsigned char>(bytes).release();
    if (!block)
        fail_no_memory(name);
    return block;
}
