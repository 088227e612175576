#include "cli/checked_alloc.h"

#include "cli/messages.h"
#include "resize/fresh_memory.h"

void* checked_alloc(std::size_t bytes, const char* name)
{
    void* block = fresh_block((bytes + sizeof(double) - 1) / sizeof(double)).release();
    if (!block)
        fail_no_memory(name);
    return block;
}
