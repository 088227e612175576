#include "cli/checked_alloc.h"

#include "cli/messages.h"
#include "resize/fresh_memory.h"

void* run_block(std::size_t bytes)
{
    return fresh_block((bytes + sizeof(double) - 1) / sizeof(double)).release();
}

void* checked_alloc(std::size_t bytes, const char* name)
{
    void* block = run_block(bytes);
    if (!block)
        fail_no_memory(name);
    return block;
}
