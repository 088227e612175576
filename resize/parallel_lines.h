// The one parallel loop of the engine: units of work (a few lines each)
// handed out to a team of threads.
//
// A team is made once per plan (make_team) and serves every pass of every
// run: starting threads on a virtual machine can take milliseconds, more
// than a short pass lasts. Between passes its threads stay awake a little
// while before they sleep, so that the next pass finds them ready.
//
// parallel_lines(team, units, body) calls body(thread, unit) once for every
// unit in [0, units), on the team's threads (the calling thread is thread
// 0), and returns when all are done. Units are taken in increasing order
// from a shared counter, so a slow thread just takes fewer; thread numbers
// index the caller's per-thread workspaces. The body must not allocate or
// block: what it needs is made before the loop. Results must not depend on
// which thread runs a unit. Given a stop poll (fft/stop_poll.h), each thread
// asks it before it takes a unit and, on a yes, takes no more: the loop then
// returns with some units never run.
//
// Ownership: make_team returns the team in an owning pointer; destroying it
// stops and joins the threads. A team runs one loop at a time. The public
// velmora::thread_team holds one, for plans that borrow it and for the
// caller's own loops (velmora::run_units).
//
// Signals: the workers run with every signal blocked that can be, so they
// never take one sent to the process (a Ctrl-C, a kill); only the caller's
// own threads do, and a caller that blocks signals in them holds them for
// the whole process.
#pragma once

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "fft/stop_poll.h"
#include "velmora/velmora.h"

namespace velmora::detail {

using unit_body = void (*)(const void* context, int thread, std::int64_t unit);

struct line_team;
struct team_deleter {
    void operator()(line_team* team) const;
};
using owned_team = std::unique_ptr<line_team, team_deleter>;

// Why a team could not be made: the thread (numbered from 1, the caller
// being thread 1) the system refused, and its errno value; thread 0 with
// ENOMEM when the record itself could not be had.
struct team_failure {
    int thread;
    int error;
};

// A team of `threads` (from 1 to velmora::max_threads) threads: the caller and threads - 1
// workers. On failure the workers already started are stopped, *failure
// says why and the result is null.
owned_team make_team(int threads, team_failure* failure);

// make_team for a plan or a caller, its failure as a result: a refused
// thread is a thread_failed result that names it.
velmora::result start_team(int threads, owned_team* made);

// The team's threads, the caller included.
int team_size(const line_team& team);

void parallel_units(line_team& team, std::int64_t units, unit_body body, const void* context,
                    const stop_poll* poll);

template <typename Body>
void parallel_lines(line_team& team, std::int64_t units, const Body& body, const stop_poll* poll = nullptr)
{
    parallel_units(
        team, units,
        [](const void* context, int thread, std::int64_t unit) {
            (*static_cast<const Body*>(context))(thread, unit);
        },
        &body, poll);
}

}  // namespace velmora::detail

// A caller's team (velmora::thread_team).
struct velmora::team_state {
    velmora::detail::owned_team team;
};
