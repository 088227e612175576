#include "resize/parallel_lines.h"

#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "resize/results.h"
#include "velmora/velmora.h"

namespace velmora::detail {

constexpr int max_team_threads = velmora::max_threads;

struct worker_start {
    line_team* team;
    int thread;
};

struct line_team {
    int threads = 1;   // the caller and threads - 1 workers
    int started = 0;   // workers running
    pthread_t workers[max_team_threads - 1];
    worker_start starts[max_team_threads - 1];
    // The current job, published by bumping `generation` under `lock`.
    unit_body body = nullptr;
    const void* context = nullptr;
    const stop_poll* poll = nullptr;
    std::int64_t units = 0;
    std::atomic<std::int64_t> next{0};
    std::atomic<int> busy{0};  // workers still on the current job
    std::atomic<unsigned> generation{0};
    std::atomic<bool> stopping{false};
    std::mutex lock;
    std::condition_variable wake;
};

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
        if (stop_requested(team->poll))
            return;
        const std::int64_t unit = team->next.fetch_add(1, std::memory_order_relaxed);
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

void* work(void* argument)
{
    const worker_start start = *static_cast<const worker_start*>(argument);
    line_team* team = start.team;
    unsigned seen = 0;
    for (;;) {
        seen = await_job(team, seen);
        if (team->stopping.load(std::memory_order_acquire))
            return nullptr;
        take_units(team, start.thread);
        team->busy.fetch_sub(1, std::memory_order_acq_rel);
    }
}

void stop_workers(line_team* team)
{
    {
        std::lock_guard<std::mutex> held(team->lock);
        team->stopping.store(true, std::memory_order_release);
    }
    team->wake.notify_all();
    for (int t = 0; t < team->started; ++t)
        pthread_join(team->workers[t], nullptr);
    team->started = 0;
}

}  // namespace

void team_deleter::operator()(line_team* team) const
{
    stop_workers(team);
    delete team;
}

owned_team make_team(int threads, team_failure* failure)
{
    owned_team team(new (std::nothrow) line_team);
    if (!team) {
        *failure = team_failure{0, ENOMEM};
        return nullptr;
    }
    team->threads = threads;
    // A new thread starts with its creator's signal mask: the workers get
    // every signal blocked, so that a signal sent to the process is taken by
    // one of the caller's threads, whose masks then decide for the process.
    sigset_t every;
    sigset_t previous;
    sigfillset(&every);
    pthread_sigmask(SIG_SETMASK, &every, &previous);
    int error = 0;
    for (int t = 1; t < threads && error == 0; ++t) {
        team->starts[t - 1] = worker_start{team.get(), t};
        error = pthread_create(&team->workers[t - 1], nullptr, work, &team->starts[t - 1]);
        if (error != 0)
            *failure = team_failure{t + 1, error};
        else
            ++team->started;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (error != 0)
        return nullptr;  // the deleter stops the workers already started
    return team;
}

result start_team(int threads, owned_team* made)
{
    team_failure failure{};
    *made = make_team(threads, &failure);
    if (*made)
        return succeeded();
    if (failure.thread == 0)
        return out_of_memory("team", sizeof(void*));
    return failed(status::thread_failed, "cannot start thread %d of %d: %s", failure.thread, threads,
                  std::strerror(failure.error));
}

int team_size(const line_team& team)
{
    return team.threads;
}

void parallel_units(line_team& team, std::int64_t units, unit_body body, const void* context,
                    const stop_poll* poll)
{
    team.body = body;
    team.context = context;
    team.poll = poll;
    team.units = units;
    team.next.store(0, std::memory_order_relaxed);
    if (team.threads <= 1 || units <= 1) {
        take_units(&team, 0);
        return;
    }
    team.busy.store(team.threads - 1, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> held(team.lock);
        team.generation.fetch_add(1, std::memory_order_acq_rel);
    }
    team.wake.notify_all();
    take_units(&team, 0);
    for (int spins = 0; team.busy.load(std::memory_order_acquire) != 0; ++spins)
        relax(spins);
}

}  // namespace velmora::detail
