// The one-line transforms: split_radix.h with one double per element.
#include "fft/fft_drivers.h"

#include "fft/split_radix.h"

void fft_forward(std::int32_t points, double* a, const fft_tables& tables)
{
    split_radix::forward(2 * points, a, tables.ip.get(), tables.table_size, tables.ww.get());
}

void fft_backward(std::int32_t points, double* a, const fft_tables& tables)
{
    split_radix::backward(2 * points, a, tables.ip.get(), tables.table_size, tables.ww.get());
}
