// Executing a chirp-z plan on one line.
//
// chirp_execute computes the plan's outputs from its inputs (see
// chirp_plan.h for what they are). Inputs and outputs are split complex
// lines: in_re/in_im hold the in_count inputs in window order, out_re/out_im
// receive the out_count outputs in window order; they may be the same
// arrays. Two real lines ride through one transform as real and imaginary
// parts wherever the caller knows both results are real.
//
// Ownership: the plan and its tables are only read, so threads may share
// them. work is the caller's scratch of chirp_work_size(plan) doubles, one
// per thread; it holds nothing of value between calls. Nothing is
// allocated and nothing is printed.
#pragma once

#include <cstddef>

#include "dft/chirp_plan.h"

std::size_t chirp_work_size(const chirp_plan* plan);

void chirp_execute(const chirp_plan* plan, const double* in_re, const double* in_im, double* out_re, double* out_im,
                   double* work);

// The three steps of chirp_execute, for callers that fill or drain the work
// array themselves: work = (inputs times pre factors, zeros up to N); the
// circular convolution with the kernel, in place; outputs = work times
// post factors.
void chirp_load(const chirp_plan* plan, const double* in_re, const double* in_im, double* work);
void chirp_convolve(const chirp_plan* plan, double* work);
void chirp_store(const chirp_plan* plan, const double* work, double* out_re, double* out_im);
