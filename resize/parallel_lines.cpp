#include "resize/parallel_lines.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace {

// How long an idle worker stays awake for the next job before it sleeps.
constexpr std::chrono::microseconds stay_awake{3000};

// One step of a busy wait. Now and then the processor is offered to
// another thread: on a machine with more threads than free processors, the
// thread being waited for may need this one.
inline void relax(int spins)
{
    if ((spins & 63) == 63) {
        std::this_thread::yield();
        return;
    }
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

void take_units(line_team* team, int thread)
{
    for (;;) {
        const std::int32_t unit = team->next.fetch_add(1, std::memory_order_relaxed);
        if (unit >= team->units)
            return;
        team->body(team->context, thread, unit);
    }
}

// Returns the generation of the next job, or the one already seen when the
// team is stopping.
unsigned await_job(line_team* team, unsigned seen)
{
    const auto until = std::chrono::steady_clock::now() + stay_awake;
    for (int spins = 0;; ++spins) {
        const unsigned now = team->generation.load(std::memory_order_acquire);
        if (now != seen || team->stopping.load(std::memory_order_acquire))
            return now;
        if ((spins & 63) == 0 && std::chrono::steady_clock::now() > until)
            break;
        relax(spins);
    }
    std::unique_lock<std::mutex> held(team->lock);
    team->wake.wait(held, [&] {
        return team->generation.load(std::memory_order_acquire) != seen ||
               team->stopping.load(std::memory_order_acquire);
    });
    return team->generation.load(std::memory_order_acquire);
}

void work(line_team* team, int thread)
{
    unsigned seen = 0;
    for (;;) {
        seen = await_job(team, seen);
        if (team->stopping.load(std::memory_order_acquire))
            return;
        take_units(team, thread);
        team->busy.fetch_sub(1, std::memory_order_acq_rel);
    }
}

void stop_workers(line_team* team, int started)
{
    {
        std::lock_guard<std::mutex> held(team->lock);
        team->stopping.store(true, std::memory_order_release);
    }
    team->wake.notify_all();
    for (int t = 0; t < started; ++t)
        team->workers[t].join();
}

}  // namespace

void team_start(line_team* team, int threads)
{
    team->threads = threads;
    team->units = 0;
    team->next.store(0);
    team->busy.store(0);
    team->generation.store(0);
    team->stopping.store(false);
    for (int t = 1; t < threads; ++t) {
        // std::thread reports a thread it cannot create by throwing; this is
        // the one place that has to catch it.
        try {
            team->workers[t - 1] = std::thread(work, team, t);
        } catch (const std::system_error& error) {
            stop_workers(team, t - 1);
            std::fflush(stdout);
            std::fprintf(stderr, "velmora: cannot start thread %d of %d: %s\n", t + 1, threads,
                         error.code().message().c_str());
            std::exit(1);
        }
    }
}

void team_stop(line_team* team)
{
    stop_workers(team, team->threads - 1);
}

void parallel_units(line_team* team, std::int32_t units, unit_body body, const void* context)
{
    team->body = body;
    team->context = context;
    team->units = units;
    team->next.store(0, std::memory_order_relaxed);
    if (team->threads <= 1 || units <= 1) {
        take_units(team, 0);
        return;
    }
    team->busy.store(team->threads - 1, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> held(team->lock);
        team->generation.fetch_add(1, std::memory_order_acq_rel);
    }
    team->wake.notify_all();
    take_units(team, 0);
    for (int spins = 0; team->busy.load(std::memory_order_acquire) != 0; ++spins)
        relax(spins);
}
