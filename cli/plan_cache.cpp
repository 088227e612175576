#include "cli/plan_cache.h"

#include "cli/messages.h"

void plan_cache_start(plan_cache* cache, velmora::thread_team* team, velmora::rounding rounding)
{
    cache->how.team = team;
    cache->how.rounding = rounding;
    // A channel is one picture: when one side keeps its size, its rows (or
    // columns) pair with each other, as they always have.
    cache->how.pairing = velmora::pairing::across_sets;
    cache->how.progress = print_channel_progress;
    cache->how.progress_user = &cache->console;
}

void resize_channel(plan_cache* cache, const velmora::array_view& in, const velmora::array_view& out)
{
    plan_cache::entry* entry = nullptr;
    for (int e = 0; e < cache->count; ++e)
        if (cache->entries[e].in == in.type && cache->entries[e].out == out.type)
            entry = &cache->entries[e];
    if (!entry) {
        // The first plan makes what the first channel needs; running short
        // of memory there is reported inside its first pass.
        if (!cache->first_made && !cache->console.quiet) {
            print_through(&cache->console, channel_stage::rows_start);
            cache->first_made = true;
        }
        entry = &cache->entries[cache->count++];
        entry->in = in.type;
        entry->out = out.type;
        const velmora::result made = velmora::make_plan(&entry->plan, in, out, cache->how);
        if (!made)
            fail_resize(made);
    }
    const velmora::result done = velmora::run(entry->plan, in, out);
    if (!done)
        fail_resize(done);
}
