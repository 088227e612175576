#include "resize/parallel_lines.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

namespace {

struct shared_loop {
    std::atomic<std::int32_t> next{0};
    std::int32_t units;
    unit_body body;
    const void* context;
};

void take_units(shared_loop* loop, int thread)
{
    for (;;) {
        const std::int32_t unit = loop->next.fetch_add(1, std::memory_order_relaxed);
        if (unit >= loop->units)
            return;
        loop->body(loop->context, thread, unit);
    }
}

}  // namespace

void parallel_units(std::int32_t units, int threads, unit_body body, const void* context)
{
    shared_loop loop;
    loop.units = units;
    loop.body = body;
    loop.context = context;
    const int used = threads < units ? threads : static_cast<int>(units);
    if (used <= 1) {
        take_units(&loop, 0);
        return;
    }
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(used - 1));
    int failed_at = 0;
    std::error_code failure;
    for (int t = 1; t < used; ++t) {
        // std::thread reports a thread it cannot create by throwing; this is
        // the one place that has to catch it.
        try {
            helpers.emplace_back(take_units, &loop, t);
        } catch (const std::system_error& error) {
            failed_at = t;
            failure = error.code();
            loop.next.store(units);
            break;
        }
    }
    if (failed_at == 0)
        take_units(&loop, 0);
    for (std::thread& helper : helpers)
        helper.join();
    if (failed_at != 0) {
        std::fflush(stdout);
        std::fprintf(stderr, "velmora: cannot start thread %d of %d: %s\n", failed_at + 1, used,
                     failure.message().c_str());
        std::exit(1);
    }
}
