// The one parallel loop of the program: units of work (a few lines each)
// handed out to threads.
//
// parallel_lines(units, threads, body) calls body(thread, unit) once for
// every unit in [0, units), on at most `threads` threads (the calling thread
// is one of them), and returns when all are done. Units are taken in
// increasing order from a shared counter, so a slow thread just takes fewer;
// thread numbers run from 0 to threads - 1 and index the caller's per-thread
// workspaces. The body must not allocate, print or end the process: what it
// needs is made before the loop. Results must not depend on which thread
// runs a unit.
//
// A thread that cannot be started stops the loop: the threads already
// running finish their current unit and are joined, then the run ends with
// one line on the standard error stream and status 1.
#pragma once

#include <cstdint>

using unit_body = void (*)(const void* context, int thread, std::int32_t unit);

void parallel_units(std::int32_t units, int threads, unit_body body, const void* context);

template <typename Body>
void parallel_lines(std::int32_t units, int threads, const Body& body)
{
    parallel_units(
        units, threads,
        [](const void* context, int thread, std::int32_t unit) {
            (*static_cast<const Body*>(context))(thread, unit);
        },
        &body);
}
