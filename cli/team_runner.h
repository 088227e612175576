// The run's team lent to the readers and writers below the command line,
// which know nothing of the library (picture/band_runner.h).
#pragma once

#include <algorithm>

#include "picture/band_runner.h"
#include "velmora/velmora.h"

inline band_runner team_runner(velmora::thread_team& team)
{
    band_runner runner;
    runner.run = [](void* lent, std::int64_t units, band_body body, void* context) {
        velmora::run_units(*static_cast<velmora::thread_team*>(lent), units, body, context);
    };
    runner.runner = &team;
    runner.threads = std::max(1, velmora::team_threads(team));
    return runner;
}
