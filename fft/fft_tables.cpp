#include "fft/fft_tables.h"

#include <cmath>

namespace velmora::detail {

namespace {

// Twiddles computed or copied between two questions to the stop poll.
constexpr int poll_twiddles = 1 << 14;

// Highest seed level m that the transforms of 4*table_size doubles read:
// one level per factor of four in the length, starting from 64 points.
int top_level(int table_size)
{
    int m = 2;
    for (int l = table_size; l > 32; l >>= 2)
        m <<= 1;
    return m;
}

std::size_t ip_count(int table_size)
{
    return static_cast<std::size_t>(2 * top_level(table_size));
}

// The kernels of 8 and 16 points read ww[0 .. 3] at any table size.
std::size_t ww_count(int table_size)
{
    return static_cast<std::size_t>(table_size < 4 ? 4 : table_size);
}

void make_index(int table_size, int* ip)
{
    ip[2] = 0;
    ip[3] = 16;
    int m = 2;
    for (int l = table_size; l > 32; l >>= 2) {
        const int m_next = m << 1;
        for (int j = m; j < m_next; ++j) {
            const int p = ip[j] << 2;
            ip[m + j] = p;
            ip[m_next + j] = p + 8 * m_next;
        }
        m = m_next;
    }
}

// Fills the blocks after the first one, each from its parent, so that an
// angle shared by two blocks has the same stored bits in both.
bool fill_block_chain(int half_size, double cos45, double* ww, const stop_poll* poll)
{
    int parent = 0;
    while (half_size > 2) {
        const int child = parent + half_size;
        half_size >>= 1;
        ww[child] = 1.0;
        ww[child + 1] = cos45;
        if (half_size == 4) {
            ww[child + 2] = ww[parent + 4];
            ww[child + 3] = ww[parent + 5];
        } else if (half_size > 4) {
            // Interpolation weights of the first stage, derived from the
            // parent's stored cosines rather than from fresh cos() calls.
            ww[child + 2] = 0.5 / ww[parent + 4];
            ww[child + 3] = 0.5 / ww[parent + 6];
            for (int j = 4; j < half_size; j += 4) {
                if (j % poll_twiddles == 0 && stop_requested(poll))
                    return false;
                ww[child + j] = ww[parent + 2 * j];
                ww[child + j + 1] = ww[parent + 2 * j + 1];
                ww[child + j + 2] = ww[parent + 2 * j + 2];
                ww[child + j + 3] = ww[parent + 2 * j + 3];
            }
        }
        parent = child;
    }
    return true;
}

bool make_twiddles(int table_size, int* ip, double* ww, const stop_poll* poll)
{
    ip[0] = table_size;
    ip[1] = 1;
    if (table_size <= 2)
        return true;
    const int half_size = table_size >> 1;
    // A power-of-two fraction of pi/4: halving the table size doubles the
    // step exactly, which keeps equal angles bit-identical across sizes.
    const double angle_step = std::atan(1.0) / half_size;
    // cos(pi/4) computed as half_size steps: every block stores this value.
    const double cos45 = std::cos(half_size * angle_step);
    ww[0] = 1.0;
    ww[1] = cos45;
    if (half_size == 4) {
        ww[2] = std::cos(2 * angle_step);
        ww[3] = std::sin(2 * angle_step);
    } else if (half_size > 4) {
        make_index(table_size, ip);
        ww[2] = 0.5 / std::cos(2 * angle_step);
        ww[3] = 0.5 / std::cos(6.0 * angle_step);
        for (int j = 4; j < half_size; j += 4) {
            if (j % poll_twiddles == 0 && stop_requested(poll))
                return false;
            ww[j] = std::cos(j * angle_step);
            ww[j + 1] = std::sin(j * angle_step);
            // The triple angle is stored negated: it serves as conj(w^3).
            ww[j + 2] = std::cos((3 * angle_step) * j);
            ww[j + 3] = -std::sin((3 * angle_step) * j);
        }
    }
    return fill_block_chain(half_size, cos45, ww, poll);
}

}  // namespace

bool fft_tables_build(fft_tables* tables, std::int32_t max_points, const stop_poll* poll)
{
    *tables = fft_tables{};
    if (max_points < 1 || max_points > fft_max_points || (max_points & (max_points - 1)) != 0)
        return false;
    const int table_size = max_points / 2;
    velmora::buffer<int> ip = velmora::make_buffer<int>(ip_count(table_size));
    velmora::buffer<double> ww = velmora::make_buffer<double>(ww_count(table_size));
    if (!ip || !ww || !make_twiddles(table_size, ip.get(), ww.get(), poll))
        return false;
    tables->max_points = max_points;
    tables->table_size = table_size;
    tables->ip = std::move(ip);
    tables->ww = std::move(ww);
    return true;
}

std::size_t fft_tables_bytes(const fft_tables& tables)
{
    if (tables.max_points == 0)
        return 0;
    return velmora::buffer_bytes<int>(ip_count(tables.table_size)) +
           velmora::buffer_bytes<double>(ww_count(tables.table_size));
}

}  // namespace velmora::detail
