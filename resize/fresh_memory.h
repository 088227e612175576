// Where a plan's large arrays live, and how fresh memory is first touched.
//
// A page is first touched by a fault in the kernel. When many threads fault
// at once on the pages of one array (a pass writing columns touches every
// page of its output at once), the faults queue in the kernel and the
// system time grows with the thread count; on small pages a column pass
// also misses the TLB at nearly every step. So:
//   - fresh_block() gives large blocks whole 2 MiB pages where the system
//     offers them (madvise MADV_HUGEPAGE): one fault instead of 512, and a
//     TLB entry that covers 512 times as much;
//   - populate() touches a range once, before the work, in contiguous
//     blocks, each by one thread of the team (MADV_POPULATE_WRITE, or a
//     written byte a page where the kernel lacks it and the memory is ours).
// Measured on a 2-CPU virtual machine (2048 x 1536 -> 4096 x 3072, uint8):
// page faults of a whole run 26.5 k -> 8.1 k, system time 0.20 s -> 0.06 s;
// float32 2048^2 -> 4096^2 in memory, a plan made and freed per call took
// 3.4 times a kept plan's run before and 1.05 times after, and the kept run
// itself became 1.3 times faster.
//
// The command line's large buffers (its read buffer, the input planes, an
// output picture) come from fresh_block too, and are populated on its team
// the same way: on the virtual machine measured a fault on a fresh small
// page cost about 35 us, so 21 MB touched page by page took 0.18 s; on huge
// pages populated in advance, 0.002 to 0.005 s.
//
// Nothing here keeps state; blocks are owned by the heap_array returned.
#pragma once

#include <cstddef>

#include "fft/heap_array.h"
#include "resize/parallel_lines.h"

// A block of count doubles, 64-byte aligned, on huge pages where it is
// large enough to fill some; empty when the memory cannot be had.
heap_array<double> fresh_block(std::size_t count);

// The bytes fresh_block takes for count doubles.
std::size_t fresh_block_bytes(std::size_t count);

enum class populate_kind {
    owned,   // the plan's own array: may be written to where advice is unsupported
    caller,  // a caller's array: advice only, its bytes never written here
};

// Makes bytes [begin, begin + size) resident and writable, in blocks of
// whole huge pages handed out to the team's threads. Failures are ignored:
// the pages are then touched where they are first used, as before.
void populate(line_team& team, void* begin, std::size_t size, populate_kind kind);

// The same on a caller's team; an empty team leaves the pages to be
// touched where they are first used.
void populate(velmora::thread_team& team, void* begin, std::size_t size, populate_kind kind);
