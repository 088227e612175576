// The one parallel loop of the program: units of work (a few lines each)
// handed out to a team of threads.
//
// A line_team is made once (team_start) and serves every pass of a run:
// starting threads on this kind of machine can take milliseconds, more than
// a short pass lasts. Between passes its threads wait a little while awake
// before they sleep, so that the next pass finds them ready.
//
// parallel_lines(team, units, body) calls body(thread, unit) once for every
// unit in [0, units), on the team's threads (the calling thread is thread
// 0), and returns when all are done. Units are taken in increasing order
// from a shared counter, so a slow thread just takes fewer; thread numbers
// index the caller's per-thread workspaces. The body must not allocate,
// print or end the process: what it needs is made before the loop. Results
// must not depend on which thread runs a unit.
//
// Ownership: the caller owns the team record; team_stop joins its threads.
// A thread that cannot be started ends the run: the threads already started
// are stopped and joined, then one line goes to the standard error stream
// and the process ends with status 1.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

using unit_body = void (*)(const void* context, int thread, std::int32_t unit);

constexpr int max_team_threads = 256;

struct line_team {
    int threads;  // the caller and threads - 1 workers
    std::thread workers[max_team_threads - 1];
    // The current job, published by bumping `generation` under `lock`.
    unit_body body;
    const void* context;
    std::int32_t units;
    std::atomic<std::int32_t> next;
    std::atomic<int> busy;  // workers still on the current job
    std::atomic<unsigned> generation;
    std::atomic<bool> stopping;
    std::mutex lock;
    std::condition_variable wake;
};

// Starts threads - 1 workers (threads from 1 to max_team_threads).
void team_start(line_team* team, int threads);
void team_stop(line_team* team);

void parallel_units(line_team* team, std::int32_t units, unit_body body, const void* context);

template <typename Body>
void parallel_lines(line_team* team, std::int32_t units, const Body& body)
{
    parallel_units(
        team, units,
        [](const void* context, int thread, std::int32_t unit) {
            (*static_cast<const Body*>(context))(thread, unit);
        },
        &body);
}
