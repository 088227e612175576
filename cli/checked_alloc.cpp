#include "cli/checked_alloc.h"

#include "cli/messages.h"
#include "resize/work_memory.h"

void* checked_alloc(std::size_t bytes, const char* name)
{
    void* block = allocate_block(bytes, 1);
    if (!block)
        fail_no_memory(name);
    return block;
}
