// Executing a chirp-z plan: one DFT of the plan's length, in place.
//
// Conventions of every DFT in the system, for n inputs x[j]:
//   forward (direction 0):   X[k] = (1/n) sum_j x[j] exp(-2 pi i jk/n)
//   inverse (direction != 0): X[k] =       sum_j x[j] exp(+2 pi i jk/n)
// so an inverse after a forward gives the input back.
//
// Ownership: the plan (built by chirp_plan_init) is only read, except for
// its work array; the tables ip and ww belong to the caller and are rebuilt
// when too small. Each call allocates and frees one temporary of 2N doubles.
#pragma once

#include "dft/chirp_plan.h"

// Transforms re[0..n) + i im[0..n) and leaves X[0..m) there (entries from m
// on are not written). Returns chirp_ok, or chirp_no_memory, with re and im
// untouched, when the temporary cannot be allocated.
int chirp_execute(chirp_plan* plan, int direction, double* re, double* im, int* ip, double* ww);
