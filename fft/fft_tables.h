// The twiddle and index tables of the power-of-two FFT, as one owning record.
//
// fft_tables_build(&tables, max_points) makes the tables that serve every
// power-of-two transform of up to max_points complex points (at most
// fft_max_points). Tables built for a larger size serve every shorter
// transform with bit-identical twiddles, so one record per run serves all
// of its transforms; a built record is only read, by any number of threads.
//
// Ownership: the record owns both arrays (velmora::buffer); plans that use
// them borrow the record, which must stay alive and in place while they do.
// Nothing here prints or throws; a build that cannot get its memory returns
// false and leaves the record empty.
//
// Layout, with table_size = max_points / 2 (a transform of n doubles, n = 2
// points, needs table_size >= n / 4):
//   ip[0]          table_size
//   ip[1]          1
//   ip[m .. 2m-1]  bit-reversal seeds of level m, ip[m + k] = 8m * rev_m(k)
//                  (levels up to the one a transform of 4*table_size doubles
//                  needs: ip[0 .. 1023] for 2^22 points)
//   ww             a chain of blocks of sizes table_size/2, /4, ..., 4, 2; the
//                  block of size s starts at ww[table_size - 2s], so
//                  ww[0 .. table_size-3] is in use. Each block is its parent
//                  decimated by two, so equal angles are bit-identical in
//                  every block and in every table size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/stop_poll.h"
#include "velmora/buffer.h"

namespace velmora::detail {

// 2^22 points: the FFTs of lines of a million samples and their chirp-z
// convolutions.
constexpr std::int32_t fft_max_points = std::int32_t{1} << 22;

struct fft_tables {
    std::int32_t max_points = 0;  // longest transform served; 0: not built
    int table_size = 0;           // max_points / 2
    velmora::buffer<int> ip;
    velmora::buffer<double> ww;
};

// max_points: a power of two from 1 to fft_max_points; false (record left
// empty) for any other value, when memory runs out, or when the stop poll
// (if given), asked every 2^14 twiddles, says stop.
bool fft_tables_build(fft_tables* tables, std::int32_t max_points, const stop_poll* poll = nullptr);

// The bytes the record's arrays take (0 when it is not built).
std::size_t fft_tables_bytes(const fft_tables& tables);

}  // namespace velmora::detail
