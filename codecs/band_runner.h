// Threads an encoder may borrow for work that splits into independent
// units (the bands of a PNG, the strips of a TIFF).
//
// codecs/ knows nothing of the library: the caller hands over a function
// that runs units on its threads (the command line binds it to its team),
// and an encoder without one runs its units in order on the calling thread.
// What a unit writes must not depend on the thread that runs it, so that
// every thread count writes the same file.
#pragma once

#include <cstdint>

using band_body = void (*)(void* context, int thread, std::int64_t unit);

struct band_runner {
    // Calls body(context, thread, unit) once for every unit in
    // [0, units), thread from 0 to threads - 1, and returns when all are
    // done; one call at a time. null: no threads are lent.
    void (*run)(void* runner, std::int64_t units, band_body body, void* context) = nullptr;
    void* runner = nullptr;  // handed to run
    int threads = 1;
};

inline void run_bands(const band_runner& runner, std::int64_t units, band_body body, void* context)
{
    if (runner.run) {
        runner.run(runner.runner, units, body, context);
        return;
    }
    for (std::int64_t unit = 0; unit < units; ++unit)
        body(context, 0, unit);
}
