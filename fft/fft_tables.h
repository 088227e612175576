// Twiddle table `ww` and index table `ip` of the power-of-two FFT.
//
// Ownership: the caller allocates both tables and owns them (this program
// keeps 32768 doubles of ww and 32768 ints of ip); nothing here allocates,
// frees or prints. Both functions write into the caller's arrays only.
//
// Layout after fft_make_twiddles(table_size, ip, ww):
//   ip[0]          table_size the tables were built for (0 = not built yet)
//   ip[1]          1
//   ip[m .. 2m-1]  bit-reversal seeds of level m, ip[m + k] = 8m * rev_m(k)
//                  (levels up to the one a transform of 4*table_size doubles
//                  needs; at most ip[0 .. 127] for table_size 32768)
//   ww             a chain of blocks of sizes table_size/2, /4, ..., 4, 2; the
//                  block of size s starts at ww[table_size - 2s], so
//                  ww[0 .. table_size-3] is in use. Each block is its parent
//                  decimated by two, so equal angles are bit-identical in
//                  every block.
//
// Tables built for table_size serve every transform of n <= 4*table_size
// doubles. Callers rebuild with table_size = n >> 2 when n > 4*ip[0].
#pragma once

// Builds both tables for table_size (a power of two, at most 32768).
// table_size <= 2 writes only ip[0] and ip[1].
void fft_make_twiddles(int table_size, int* ip, double* ww);

// Writes the bit-reversal seeds ip[2 ..] for table_size (>= 16).
void fft_make_index(int table_size, int* ip);
