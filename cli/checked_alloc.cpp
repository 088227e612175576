#include "cli/checked_alloc.h"

#include "cli/messages.h"
#include "resize/fresh_memory.h"

namespace {

void* run_block(std::size_t bytes)
{
    return fresh_block((bytes + sizeof(double) - 1) / sizeof(double)).release();
}

}  // namespace

void* populated_block(std::size_t bytes, velmora::thread_team& team)
{
    void* block = run_block(bytes);
    if (block)
        populate(team, block, bytes, populate_kind::owned);
    return block;
}

void* checked_alloc(std::size_t bytes, const char* name)
{
    void* block = run_block(bytes);
    if (!block)
        fail_no_memory(name);
    return block;
}
