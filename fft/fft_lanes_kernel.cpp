// The split-radix FFT of fft_stages.cpp and fft_drivers.cpp over a batch of
// lines in lane layout (see fft/lane_double.h), built once per vector set.
//
// Which lane holds what: element i of the lane_double array is double i of
// every line, lane j belonging to line j. The routines below are the one-line
// routines with the data typed lane_double; indices, offsets, loop bounds and
// twiddles are plain ints and doubles, the same values as in the one-line
// code (a twiddle is one double, applied to every lane alike). No operation
// ever mixes lanes.
//
// Why the bits match: each lane sees the same IEEE operations (add, subtract,
// multiply, negate) on the same operands in the same order as the one-line
// code, and every operation is exactly rounded whatever the vector width.
// Twiddle arithmetic (the interpolated first-stage twiddles) is done in
// doubles exactly as there. The build forbids contraction into fused
// multiply-add, so no path rounds differently. Any change to the one-line
// routines must be mirrored here, expression by expression.
#include "fft/fft_lanes_entries.h"
#include "fft/lane_double.h"

namespace {

typedef lane_double vec;

// ---- Butterflies -----------------------------------------------------------

template <bool Conj>
inline vec read_im(const vec* p, int index)
{
    return Conj ? -p[index + 1] : p[index + 1];
}

template <bool Conj>
inline void radix4_first(vec* p, int h, double w1r, double w1i, double w3r, double w3i)
{
    const vec b0r = p[0], b0i = read_im<Conj>(p, 0);
    const vec b1r = p[h], b1i = read_im<Conj>(p, h);
    const vec b2r = p[2 * h], b2i = read_im<Conj>(p, 2 * h);
    const vec b3r = p[3 * h], b3i = read_im<Conj>(p, 3 * h);
    const vec x0r = b0r + b2r, x0i = b0i + b2i;
    const vec x1r = b0r - b2r, x1i = b0i - b2i;
    const vec x2r = b1r + b3r, x2i = b1i + b3i;
    const vec x3r = b1r - b3r, x3i = b1i - b3i;
    p[0] = x0r + x2r;
    p[1] = x0i + x2i;
    p[h] = x0r - x2r;
    p[h + 1] = x0i - x2i;
    vec yr = x1r - x3i;
    vec yi = x1i + x3r;
    p[2 * h] = w1r * yr - w1i * yi;
    p[2 * h + 1] = w1r * yi + w1i * yr;
    yr = x1r + x3i;
    yi = x1i - x3r;
    p[3 * h] = w3r * yr - w3i * yi;
    p[3 * h + 1] = w3r * yi + w3i * yr;
}

inline void radix4_plain(vec* p, int h)
{
    const vec x0r = p[0] + p[2 * h], x0i = p[1] + p[2 * h + 1];
    const vec x1r = p[0] - p[2 * h], x1i = p[1] - p[2 * h + 1];
    const vec x2r = p[h] + p[3 * h], x2i = p[h + 1] + p[3 * h + 1];
    const vec x3r = p[h] - p[3 * h], x3i = p[h + 1] - p[3 * h + 1];
    p[0] = x0r + x2r;
    p[1] = x0i + x2i;
    p[h] = x0r - x2r;
    p[h + 1] = x0i - x2i;
    p[2 * h] = x1r - x3i;
    p[2 * h + 1] = x1i + x3r;
    p[3 * h] = x1r + x3i;
    p[3 * h + 1] = x1i - x3r;
}

inline void radix4_second(vec* p, int h, double ar, double ai, double br, double bi,
                          double cr, double ci, double dr, double di)
{
    const vec x0r = p[0] - p[2 * h + 1], x0i = p[1] + p[2 * h];
    const vec x1r = p[0] + p[2 * h + 1], x1i = p[1] - p[2 * h];
    const vec x2r = p[h] - p[3 * h + 1], x2i = p[h + 1] + p[3 * h];
    const vec x3r = p[h] + p[3 * h + 1], x3i = p[h + 1] - p[3 * h];
    const vec y0r = ar * x0r - ai * x0i, y0i = ar * x0i + ai * x0r;
    const vec y2r = br * x2r - bi * x2i, y2i = br * x2i + bi * x2r;
    const vec y1r = cr * x1r - ci * x1i, y1i = cr * x1i + ci * x1r;
    const vec y3r = dr * x3r - di * x3i, y3i = dr * x3i + di * x3r;
    p[0] = y0r + y2r;
    p[1] = y0i + y2i;
    p[h] = y0r - y2r;
    p[h + 1] = y0i - y2i;
    p[2 * h] = y1r + y3r;
    p[2 * h + 1] = y1i + y3i;
    p[3 * h] = y1r - y3r;
    p[3 * h + 1] = y1i - y3i;
}

inline void radix4_second_zero(vec* p, int h, double cos45)
{
    const vec x0r = p[0] - p[2 * h + 1], x0i = p[1] + p[2 * h];
    const vec x1r = p[0] + p[2 * h + 1], x1i = p[1] - p[2 * h];
    const vec x2r = p[h] - p[3 * h + 1], x2i = p[h + 1] + p[3 * h];
    const vec x3r = p[h] + p[3 * h + 1], x3i = p[h + 1] - p[3 * h];
    const vec y2r = cos45 * (x2r - x2i), y2i = cos45 * (x2r + x2i);
    const vec y3r = -cos45 * (x3r + x3i), y3i = cos45 * (x3r - x3i);
    p[0] = x0r + y2r;
    p[1] = x0i + y2i;
    p[h] = x0r - y2r;
    p[h + 1] = x0i - y2i;
    p[2 * h] = x1r + y3r;
    p[2 * h + 1] = x1i + y3i;
    p[3 * h] = x1r - y3r;
    p[3 * h + 1] = x1i - y3i;
}

inline void radix2_first(vec* p)
{
    const vec r = p[0] - p[2], i = p[1] - p[3];
    p[0] += p[2];
    p[1] += p[3];
    p[2] = r;
    p[3] = i;
}

inline void radix2_second(vec* p)
{
    const vec r = p[0] + p[3], i = p[1] - p[2];
    p[0] -= p[3];
    p[1] += p[2];
    p[2] = r;
    p[3] = i;
}

// ---- Stages ----------------------------------------------------------------

template <bool Conj>
void first_stage(int n, vec* a, const double* w)
{
    const int quarter = n >> 2;
    const int eighth = n >> 3;
    const double cos45 = w[1];
    const double scale1 = w[2];
    const double scale3 = w[3];
    double prev1r = 1.0, prev1i = 0.0, prev3r = 1.0, prev3i = 0.0;
    radix4_first<Conj>(a, quarter, 1.0, 0.0, 1.0, 0.0);
    for (int j = 4; j < eighth; j += 4) {
        const double e1r = w[j], e1i = w[j + 1];
        const double e3r = w[j + 2], e3i = -w[j + 3];
        const double o1r = (prev1r + e1r) * scale1, o1i = (prev1i + e1i) * scale1;
        const double o3r = (prev3r + e3r) * scale3, o3i = (prev3i + e3i) * scale3;
        radix4_first<Conj>(a + j - 2, quarter, o1r, o1i, o3r, o3i);
        radix4_first<Conj>(a + quarter - j + 2, quarter, o1i, o1r, -o3i, -o3r);
        radix4_first<Conj>(a + j, quarter, e1r, e1i, e3r, e3i);
        radix4_first<Conj>(a + quarter - j, quarter, e1i, e1r, -e3i, -e3r);
        prev1r = e1r;
        prev1i = e1i;
        prev3r = e3r;
        prev3i = e3i;
    }
    const double o1r = (prev1r + cos45) * scale1, o1i = (prev1i + cos45) * scale1;
    const double o3r = (prev3r - cos45) * scale3, o3i = (prev3i + cos45) * scale3;
    radix4_first<Conj>(a + eighth - 2, quarter, o1r, o1i, o3r, o3i);
    radix4_first<Conj>(a + quarter - eighth + 2, quarter, o1i, o1r, -o3i, -o3r);
    radix4_first<Conj>(a + eighth, quarter, cos45, cos45, -cos45, cos45);
}

void stage_1(int n, vec* block, const double* w)
{
    const int quarter = n >> 2;
    const int eighth = n >> 3;
    const double cos45 = w[1];
    radix4_plain(block, quarter);
    for (int q = 1; 2 * q < eighth; ++q) {
        const double w1r = w[4 * q], w1i = w[4 * q + 1];
        const double w3r = w[4 * q + 2], w3i = -w[4 * q + 3];
        radix4_first<false>(block + 2 * q, quarter, w1r, w1i, w3r, w3i);
        radix4_first<false>(block + quarter - 2 * q, quarter, w1i, w1r, -w3i, -w3r);
    }
    radix4_first<false>(block + eighth, quarter, cos45, cos45, -cos45, cos45);
}

void stage_2(int n, vec* block, const double* w)
{
    const int quarter = n >> 2;
    const int eighth = n >> 3;
    const int points = n >> 1;
    radix4_second_zero(block, quarter, w[1]);
    for (int r = 1; 2 * r < eighth; ++r) {
        const double* lo = w + 4 * r;
        const double* hi = w + points - 4 * r;
        radix4_second(block + 2 * r, quarter, lo[0], lo[1], hi[1], hi[0],
                      lo[2], -lo[3], hi[3], -hi[2]);
        radix4_second(block + quarter - 2 * r, quarter, hi[0], hi[1], lo[1], lo[0],
                      hi[2], -hi[3], lo[3], -lo[2]);
    }
    const double c8 = w[points / 2], s8 = w[points / 2 + 1];
    radix4_second(block + eighth, quarter, c8, s8, s8, c8, s8, c8, -c8, -s8);
}

// ---- Kernels ---------------------------------------------------------------

void kernel_16(vec* block, const double* w)
{
    const double cos45 = w[1], c8 = w[2], s8 = w[3];
    radix4_plain(block, 8);
    radix4_first<false>(block + 2, 8, c8, s8, s8, c8);
    radix4_first<false>(block + 4, 8, cos45, cos45, -cos45, cos45);
    radix4_first<false>(block + 6, 8, s8, c8, -c8, -s8);
    radix4_plain(block, 2);
    radix4_second_zero(block + 8, 2, cos45);
    radix4_plain(block + 16, 2);
    radix4_plain(block + 24, 2);
}

void kernel_16_twiddled(vec* block, const double* w)
{
    const double cos45 = w[1];
    const double c1 = w[4], s1 = w[5];
    const double c3 = w[6], s3 = -w[7];
    const double c2 = w[8], s2 = w[9];
    radix4_second_zero(block, 8, cos45);
    radix4_second(block + 2, 8, c1, s1, s3, c3, c3, s3, -c1, s1);
    radix4_second(block + 4, 8, c2, s2, s2, c2, s2, c2, -c2, -s2);
    radix4_second(block + 6, 8, c3, s3, s1, c1, -s1, c1, -s3, -c3);
    radix4_plain(block, 2);
    radix4_second_zero(block + 8, 2, cos45);
    radix4_plain(block + 16, 2);
    radix4_second_zero(block + 24, 2, cos45);
}

void kernel_8(vec* block, const double* w)
{
    const double cos45 = w[1];
    radix4_plain(block, 4);
    radix4_first<false>(block + 2, 4, cos45, cos45, -cos45, cos45);
    radix2_first(block);
    radix2_second(block + 4);
    radix2_first(block + 8);
    radix2_first(block + 12);
}

void kernel_8_twiddled(vec* block, const double* w)
{
    const double c8 = w[2], s8 = w[3];
    radix4_second_zero(block, 4, w[1]);
    radix4_second(block + 2, 4, c8, s8, s8, c8, s8, c8, -c8, -s8);
    radix2_first(block);
    radix2_second(block + 4);
    radix2_first(block + 8);
    radix2_second(block + 12);
}

// ---- Leaves and the block walk ---------------------------------------------

void leaf_kernel(bool sixteen, bool twiddled, vec* block, int table_size, const double* ww)
{
    if (sixteen) {
        if (twiddled) {
            kernel_16_twiddled(block, ww + table_size - 32);
        } else {
            kernel_16(block, ww + table_size - 8);
        }
    } else if (twiddled) {
        kernel_8_twiddled(block, ww + table_size - 8);
    } else {
        kernel_8(block, ww + table_size - 8);
    }
}

void stage_of_kind(int split_flag, int n, vec* block, int table_size, const double* ww)
{
    if (split_flag) {
        stage_1(n, block, ww + table_size - n / 2);
    } else {
        stage_2(n, block, ww + table_size - n);
    }
}

void small_leaf(int n, vec* block, int table_size, const double* ww)
{
    const int step = n >> 2;
    const bool sixteen = n == 128;
    leaf_kernel(sixteen, false, block, table_size, ww);
    leaf_kernel(sixteen, true, block + step, table_size, ww);
    leaf_kernel(sixteen, false, block + 2 * step, table_size, ww);
    leaf_kernel(sixteen, false, block + 3 * step, table_size, ww);
}

void leaf(int n, int split_flag, vec* block, int table_size, const double* ww)
{
    const int quarter = n >> 2;
    const int sub = n >> 4;
    const bool sixteen = n == 512;
    vec* q = block;
    stage_1(quarter, q, ww + table_size - quarter / 2);
    leaf_kernel(sixteen, false, q, table_size, ww);
    leaf_kernel(sixteen, true, q + sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 2 * sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 3 * sub, table_size, ww);
    q += quarter;
    stage_2(quarter, q, ww + table_size - quarter);
    leaf_kernel(sixteen, false, q, table_size, ww);
    leaf_kernel(sixteen, true, q + sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 2 * sub, table_size, ww);
    leaf_kernel(sixteen, true, q + 3 * sub, table_size, ww);
    q += quarter;
    stage_1(quarter, q, ww + table_size - quarter / 2);
    leaf_kernel(sixteen, false, q, table_size, ww);
    leaf_kernel(sixteen, true, q + sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 2 * sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 3 * sub, table_size, ww);
    q += quarter;
    stage_of_kind(split_flag, quarter, q, table_size, ww);
    leaf_kernel(sixteen, split_flag == 0, q + 3 * sub, table_size, ww);
    leaf_kernel(sixteen, false, q, table_size, ww);
    leaf_kernel(sixteen, true, q + sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 2 * sub, table_size, ww);
}

int tree_step(int m, int j, int k, vec* a, int table_size, const double* ww)
{
    if ((k & 3) != 0) {
        const int f = k & 1;
        stage_of_kind(f, m, a + j - m, table_size, ww);
        return f;
    }
    int size = m;
    do {
        k >>= 2;
        size <<= 2;
    } while ((k & 3) == 0);
    const int f = k & 1;
    for (; size > 128; size >>= 2) {
        stage_of_kind(f, size, a + j - size, table_size, ww);
    }
    return f;
}

void walk(int n, vec* a, int table_size, const double* ww)
{
    int m = n;
    while (m > 512) {
        m >>= 2;
        stage_1(m, a + n - m, ww + table_size - m / 2);
    }
    leaf(m, 1, a + n - m, table_size, ww);
    int k = 0;
    for (int j = n - m; j > 0; j -= m) {
        ++k;
        const int f = tree_step(m, j, k, a, table_size, ww);
        leaf(m, f, a + j - m, table_size, ww);
    }
}

// ---- Permutations ----------------------------------------------------------

template <bool Conj>
inline void exchange(vec* a, int x, int y)
{
    const vec re = a[x], im = a[x + 1];
    a[x] = a[y];
    a[x + 1] = Conj ? -a[y + 1] : a[y + 1];
    a[y] = re;
    a[y + 1] = Conj ? -im : im;
}

template <bool Conj>
inline void keep(vec* a, int x)
{
    if (Conj) {
        a[x + 1] = -a[x + 1];
    }
}

template <bool Conj>
void bit_reverse_pass(int n, const int* ip, vec* a)
{
    int m = 1;
    int l = n >> 2;
    while (l > 8) {
        m <<= 1;
        l >>= 2;
    }
    const int half = n >> 1;
    const int mid = 4 * m;
    const int* seed = ip + m;
    if (l == 8) {
        const int mids[4] = {0, mid, 2 * mid, 3 * mid};
        const int rmids[4] = {0, 2 * mid, mid, 3 * mid};
        for (int k = 0; k < m; ++k) {
            for (int j = 0; j < k; ++j) {
                const int bj = 4 * j + 2 * seed[k];
                const int bk = 4 * k + 2 * seed[j];
                for (int t = 0; t < 4; ++t) {
                    exchange<Conj>(a, bj + mids[t], bk + rmids[t]);
                    exchange<Conj>(a, bj + 2 + mids[t], bk + half + rmids[t]);
                    exchange<Conj>(a, bj + half + mids[t], bk + 2 + rmids[t]);
                    exchange<Conj>(a, bj + 2 + half + mids[t], bk + 2 + half + rmids[t]);
                }
            }
            const int b = 4 * k + 2 * seed[k];
            exchange<Conj>(a, b + 2, b + half);
            exchange<Conj>(a, b + 2 + mid, b + half + 2 * mid);
            exchange<Conj>(a, b + 2 + 2 * mid, b + half + mid);
            exchange<Conj>(a, b + 2 + 3 * mid, b + half + 3 * mid);
            exchange<Conj>(a, b + mid, b + 2 * mid);
            exchange<Conj>(a, b + 2 + mid + half, b + 2 + 2 * mid + half);
            keep<Conj>(a, b);
            keep<Conj>(a, b + 2 + half);
            keep<Conj>(a, b + 3 * mid);
            keep<Conj>(a, b + 2 + half + 3 * mid);
        }
    } else {
        for (int k = 0; k < m; ++k) {
            for (int j = 0; j < k; ++j) {
                const int bj = 4 * j + seed[k];
                const int bk = 4 * k + seed[j];
                for (int t = 0; t <= mid; t += mid) {
                    exchange<Conj>(a, bj + t, bk + t);
                    exchange<Conj>(a, bj + 2 + t, bk + half + t);
                    exchange<Conj>(a, bj + half + t, bk + 2 + t);
                    exchange<Conj>(a, bj + 2 + half + t, bk + 2 + half + t);
                }
            }
            const int b = 4 * k + seed[k];
            exchange<Conj>(a, b + 2, b + half);
            exchange<Conj>(a, b + 2 + mid, b + half + mid);
            keep<Conj>(a, b);
            keep<Conj>(a, b + mid);
            keep<Conj>(a, b + 2 + half);
            keep<Conj>(a, b + 2 + half + mid);
        }
    }
}

void gather_points(vec* a, const int* from, int points)
{
    vec old[32];
    for (int i = 0; i < 2 * points; ++i) {
        old[i] = a[i];
    }
    for (int k = 0; k < points; ++k) {
        a[2 * k] = old[2 * from[k]];
        a[2 * k + 1] = old[2 * from[k] + 1];
    }
}

// ---- Drivers ---------------------------------------------------------------

void core(int n, vec* a, int table_size, const double* ww)
{
    if (n > 512) {
        walk(n, a, table_size, ww);
    } else if (n > 128) {
        leaf(n, 1, a, table_size, ww);
    } else {
        small_leaf(n, a, table_size, ww);
    }
}

void transform_4(vec* a, double sign)
{
    const vec sr = a[0] + a[4], si = a[1] + a[5];
    const vec dr = a[0] - a[4], di = a[1] - a[5];
    const vec tr = a[2] + a[6], ti = a[3] + a[7];
    const vec ur = sign * (a[2] - a[6]), ui = sign * (a[3] - a[7]);
    a[0] = sr + tr;
    a[1] = si + ti;
    a[4] = sr - tr;
    a[5] = si - ti;
    a[2] = dr - ui;
    a[3] = di + ur;
    a[6] = dr + ui;
    a[7] = di - ur;
}

void transform_2(vec* a)
{
    const vec r = a[0] - a[2], i = a[1] - a[3];
    a[0] += a[2];
    a[1] += a[3];
    a[2] = r;
    a[3] = i;
}

void forward(int n, vec* a, const int* ip, int table_size, const double* ww)
{
    if (n > 8) {
        if (n > 32) {
            first_stage<true>(n, a, ww + table_size - (n >> 2));
            core(n, a, table_size, ww);
            bit_reverse_pass<true>(n, ip, a);
        } else if (n == 32) {
            static const int from[16] = {0, 15, 7, 11, 3, 13, 5, 9, 1, 14, 6, 10, 2, 12, 4, 8};
            kernel_16(a, ww + table_size - 8);
            gather_points(a, from, 16);
        } else {
            static const int from[8] = {0, 7, 3, 5, 1, 6, 2, 4};
            kernel_8(a, ww);
            gather_points(a, from, 8);
        }
    } else if (n == 8) {
        transform_4(a, -1.0);
    } else if (n == 4) {
        transform_2(a);
    }
}

void backward(int n, vec* a, const int* ip, int table_size, const double* ww)
{
    if (n > 8) {
        if (n > 32) {
            first_stage<false>(n, a, ww + table_size - (n >> 2));
            core(n, a, table_size, ww);
            bit_reverse_pass<false>(n, ip, a);
        } else if (n == 32) {
            kernel_16(a, ww + table_size - 8);
            exchange<false>(a, 2, 16);
            exchange<false>(a, 4, 8);
            exchange<false>(a, 6, 24);
            exchange<false>(a, 10, 20);
            exchange<false>(a, 14, 28);
            exchange<false>(a, 22, 26);
        } else {
            kernel_8(a, ww);
            exchange<false>(a, 2, 8);
            exchange<false>(a, 6, 12);
        }
    } else if (n == 8) {
        transform_4(a, 1.0);
    } else if (n == 4) {
        transform_2(a);
    }
}

}  // namespace

// sign < 0: fft_forward in every lane; otherwise fft_backward.
void VELMORA_LANE_ENTRY(fft_lanes_transform)(int sign, int n, double* a, const int* ip, int table_size,
                                             const double* ww)
{
    vec* lanes = reinterpret_cast<vec*>(a);
    if (sign < 0) {
        forward(n, lanes, ip, table_size, ww);
    } else {
        backward(n, lanes, ip, table_size, ww);
    }
}
