#include "cli/checked_alloc.h"

#include "cli/messages.h"
#include "velmora/buffer.h"

namespace {

void* run_block(std::size_t bytes)
{
    const std::size_t doubles = (bytes + sizeof(double) - 1) / sizeof(double);
    return velmora::make_buffer<double>(doubles, velmora::buffer_pages::huge_when_large).release();
}

}  // namespace

void* populated_block(std::size_t bytes, velmora::thread_team& team)
{
    void* block = run_block(bytes);
    if (block)
        velmora::populate(team, block, bytes, velmora::populate_kind::owned);
    return block;
}

void* checked_alloc(std::size_t bytes, const char* name)
{
    void* block = run_block(bytes);
    if (!block)
        fail_no_memory(name);
    return block;
}
