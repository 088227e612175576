#include "resize/resize_channel.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bmp/plane.h"
#include "resize/checked_alloc.h"
#include "resize/line_transforms.h"

namespace {

// Both tables are sized for the longest line: table_size up to 32768
// serves FFTs of 65536 points, the most a line of 8192 needs.
constexpr std::size_t table_entries = 32768;

struct grid_pair {
    double* re;
    double* im;
};

grid_pair allocate_grid(std::size_t count, const char* re_name, const char* im_name)
{
    grid_pair grid;
    grid.re = checked_array<double>(count, re_name);
    grid.im = checked_array<double>(count, im_name);
    return grid;
}

void free_grid(grid_pair grid)
{
    std::free(grid.re);
    std::free(grid.im);
}

void progress(const char* line)
{
    std::fputs(line, stderr);
}

// The even extension, 2H rows by 2W columns, column by column: the mirror
// axes lie between samples, so row H - 1 is repeated as row H and column
// W - 1 as column W.
void mirror_extend(const std::uint8_t* in, std::int32_t W, std::int32_t H, grid_pair grid)
{
    const std::size_t S = 2 * static_cast<std::size_t>(H);
    for (std::int32_t x = 0; x < 2 * W; ++x) {
        const std::int32_t mx = x < W ? x : 2 * W - 1 - x;
        for (std::int32_t y = 0; y < 2 * H; ++y) {
            const std::int32_t my = y < H ? y : 2 * H - 1 - y;
            grid.re[y + x * S] = in[plane_index(mx, my, H)];
            grid.im[y + x * S] = 0.0;
        }
    }
}

void copy_grid(grid_pair from, grid_pair to, std::size_t count)
{
    std::memcpy(to.re, from.re, count * sizeof(double));
    std::memcpy(to.im, from.im, count * sizeof(double));
}

void zero_column(grid_pair grid, std::size_t start, std::size_t count)
{
    std::memset(grid.re + start, 0, count * sizeof(double));
    std::memset(grid.im + start, 0, count * sizeof(double));
}

// Rows first (length 2W, stride 2H), then columns (length 2H); the
// "horizontal DFT start!!" line comes before the tables are allocated.
void forward_2d(grid_pair vin, grid_pair vout, std::int32_t W, std::int32_t H, int* ip, double* ww)
{
    const std::int32_t S = 2 * H;
    ip[0] = 0;  // each pass builds the tables afresh for its own length
    for (std::int32_t i = 0; i < S; ++i)
        dft_row_forward(2 * W, S, vin.re + i, vin.im + i, vout.re + i, vout.im + i, ip, ww);
    progress("horizontal DFT end\n");
    copy_grid(vout, vin, 4 * static_cast<std::size_t>(W) * static_cast<std::size_t>(H));
    progress("vertical DFT start!!\n");
    ip[0] = 0;
    for (std::int32_t k = 0; k < 2 * W; ++k) {
        const std::size_t at = static_cast<std::size_t>(k) * S;
        dft_column_forward(S, vin.re + at, vin.im + at, vout.re + at, vout.im + at, ip, ww);
    }
    progress("vertical DFT end!!\n");
}

// Widens the 2H x 2W spectrum in `spectrum` to 2H' x 2W' in `wide`: 2a zero
// columns after column W - 1 and 2b zero rows after row H - 1, in the middle
// of the spectrum where the highest frequencies are. The Nyquist row and
// column move with the upper halves unchanged. `restride` is working space.
void stuff_zeros(grid_pair spectrum, grid_pair wide, grid_pair restride, std::int32_t W, std::int32_t H,
                 std::int32_t a, std::int32_t b)
{
    const std::size_t S = 2 * static_cast<std::size_t>(H);
    const std::size_t S_wide = 2 * static_cast<std::size_t>(H + b);
    const std::int32_t columns = 2 * (W + a);
    // Horizontal: whole columns, still 2H long, into `wide`.
    for (std::int32_t v = 0; v < columns; ++v) {
        const std::size_t to = static_cast<std::size_t>(v) * S;
        if (v < W || v >= W + 2 * a) {
            const std::size_t from = static_cast<std::size_t>(v < W ? v : v - 2 * a) * S;
            std::memcpy(wide.re + to, spectrum.re + from, S * sizeof(double));
            std::memcpy(wide.im + to, spectrum.im + from, S * sizeof(double));
        } else {
            zero_column(wide, to, S);
        }
    }
    // Vertical: each column lengthened to 2H' in `restride`.
    const std::size_t upper = static_cast<std::size_t>(H);
    for (std::int32_t v = 0; v < columns; ++v) {
        const std::size_t from = static_cast<std::size_t>(v) * S;
        const std::size_t to = static_cast<std::size_t>(v) * S_wide;
        std::memcpy(restride.re + to, wide.re + from, upper * sizeof(double));
        std::memcpy(restride.im + to, wide.im + from, upper * sizeof(double));
        zero_column(restride, to + upper, 2 * static_cast<std::size_t>(b));
        std::memcpy(restride.re + to + upper + 2 * b, wide.re + from + upper, upper * sizeof(double));
        std::memcpy(restride.im + to + upper + 2 * b, wide.im + from + upper, upper * sizeof(double));
    }
    copy_grid(restride, wide, S_wide * columns);
}

// Rows (length 2W', stride 2H') from `spectrum` into `rows`, then columns
// (length 2H') from `rows` back into `spectrum`.
void inverse_2d(grid_pair spectrum, grid_pair rows, std::int32_t W2, std::int32_t H2, int* ip, double* ww)
{
    const std::int32_t S = 2 * H2;
    progress("horizontal IDFT start!!\n");
    ip[0] = 0;
    for (std::int32_t l = 0; l < S; ++l)
        dft_row_inverse(2 * W2, S, spectrum.re + l, spectrum.im + l, rows.re + l, rows.im + l, ip, ww);
    progress("horizontal IDFT end!!\n");
    progress("vertical IDFT start!!\n");
    ip[0] = 0;
    for (std::int32_t l = 0; l < 2 * W2; ++l) {
        const std::size_t at = static_cast<std::size_t>(l) * S;
        dft_column_inverse(S, rows.re + at, rows.im + at, spectrum.re + at, spectrum.im + at, ip, ww);
    }
    progress("vertical IDFT end!!\n");
}

std::uint8_t to_sample(double s)
{
    if (s >= 255.0)
        return 255;
    if (!(s > 0.0))  // also maps a NaN to 0
        return 0;
    return static_cast<std::uint8_t>(s);  // truncation toward zero
}

// The top-left W' x H' quarter of the real part; the imaginary part is
// rounding noise and is dropped.
void crop_to_plane(const double* re, std::int32_t W2, std::int32_t H2, std::uint8_t* out)
{
    const std::size_t S = 2 * static_cast<std::size_t>(H2);
    for (std::int32_t x = 0; x < W2; ++x)
        for (std::int32_t y = 0; y < H2; ++y)
            out[plane_index(x, y, H2)] = to_sample(re[y + x * S]);
}

}  // namespace

void resize_channel(std::int32_t a, std::int32_t b, const std::uint8_t* in, std::uint8_t* out)
{
    const std::int32_t W = image_width;
    const std::int32_t H = image_height;
    const std::int32_t W2 = W + a;
    const std::int32_t H2 = H + b;
    // Every grid array has the enlarged size, even those that first hold
    // the smaller extended grid.
    const std::size_t count = 4 * static_cast<std::size_t>(W2) * static_cast<std::size_t>(H2);

    const grid_pair kari = allocate_grid(count, "kariR", "kariI");
    const grid_pair vin = allocate_grid(count, "VINR", "VINI");
    const grid_pair vout = allocate_grid(count, "VOUTR", "VOUTI");
    mirror_extend(in, W, H, vin);

    progress("horizontal DFT start!!\n");
    double* ww = checked_array<double>(table_entries, "ww");
    int* ip = checked_array<int>(table_entries, "ip");
    forward_2d(vin, vout, W, H, ip, ww);
    free_grid(vin);
    const grid_pair fourie = allocate_grid(count, "fourieR", "fourieI");

    progress("high frequency 0 staffing start!!\n");
    stuff_zeros(vout, fourie, kari, W, H, a, b);
    free_grid(kari);
    progress("high frequency 0 staffing end!!\n");

    inverse_2d(fourie, vout, W2, H2, ip, ww);
    free_grid(vout);
    crop_to_plane(fourie.re, W2, H2, out);
    free_grid(fourie);
    std::free(ip);
    std::free(ww);
}
