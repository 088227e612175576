// Executing a chirp-z plan on one line.
//
// chirp_execute computes the plan's outputs from its inputs (see
// chirp_plan.h for what they are). Inputs and outputs are split complex
// lines: in_re/in_im hold the in_count inputs in window order, out_re/out_im
// receive the out_count outputs in window order; they may be the same
// arrays. Two real lines ride through one transform as real and imaginary
// parts wherever the caller knows both results are real.
//
// chirp_transform is the same on the work array itself, for callers that
// fill and drain it directly: on entry work holds the inputs interleaved
// (real part of input i at 2i, imaginary part at 2i + 1), on return the
// outputs, interleaved likewise from 0.
//
// Ownership: the plan and its tables are only read, so threads may share
// them. work is the caller's scratch of chirp_work_size(plan) doubles, one
// per thread. Nothing is allocated and nothing is printed.
#pragma once

#include <cstddef>

#include "dft/chirp_plan.h"

std::size_t chirp_work_size(const chirp_plan* plan);

void chirp_execute(const chirp_plan* plan, const double* in_re, const double* in_im, double* out_re, double* out_im,
                   double* work);

void chirp_transform(const chirp_plan* plan, double* work);
