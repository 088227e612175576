#include "fft/fft_stages.h"

namespace {

// Imaginary part as read by a stage; the conjugating first stage negates it.
template <bool Conj>
inline double read_im(const double* p, int index)
{
    return Conj ? -p[index + 1] : p[index + 1];
}

// First-kind radix-4 butterfly on the points at p, p + h, p + 2h, p + 3h
// (h in doubles): quarters 0 and 1 get the sum and difference of the even
// halves, quarters 2 and 3 are rotated by w1 and w3.
template <bool Conj>
inline void radix4_first(double* p, int h, double w1r, double w1i, double w3r, double w3i)
{
    const double b0r = p[0], b0i = read_im<Conj>(p, 0);
    const double b1r = p[h], b1i = read_im<Conj>(p, h);
    const double b2r = p[2 * h], b2i = read_im<Conj>(p, 2 * h);
    const double b3r = p[3 * h], b3i = read_im<Conj>(p, 3 * h);
    const double x0r = b0r + b2r, x0i = b0i + b2i;
    const double x1r = b0r - b2r, x1i = b0i - b2i;
    const double x2r = b1r + b3r, x2i = b1i + b3i;
    const double x3r = b1r - b3r, x3i = b1i - b3i;
    p[0] = x0r + x2r;
    p[1] = x0i + x2i;
    p[h] = x0r - x2r;
    p[h + 1] = x0i - x2i;
    double yr = x1r - x3i;  // x1 + i*x3
    double yi = x1i + x3r;
    p[2 * h] = w1r * yr - w1i * yi;
    p[2 * h + 1] = w1r * yi + w1i * yr;
    yr = x1r + x3i;  // x1 - i*x3
    yi = x1i - x3r;
    p[3 * h] = w3r * yr - w3i * yi;
    p[3 * h + 1] = w3r * yi + w3i * yr;
}

// The same butterfly with both rotations equal to 1.
inline void radix4_plain(double* p, int h)
{
    const double x0r = p[0] + p[2 * h], x0i = p[1] + p[2 * h + 1];
    const double x1r = p[0] - p[2 * h], x1i = p[1] - p[2 * h + 1];
    const double x2r = p[h] + p[3 * h], x2i = p[h + 1] + p[3 * h + 1];
    const double x3r = p[h] - p[3 * h], x3i = p[h + 1] - p[3 * h + 1];
    p[0] = x0r + x2r;
    p[1] = x0i + x2i;
    p[h] = x0r - x2r;
    p[h + 1] = x0i - x2i;
    p[2 * h] = x1r - x3i;
    p[2 * h + 1] = x1i + x3r;
    p[3 * h] = x1r + x3i;
    p[3 * h + 1] = x1i - x3r;
}

// Second-kind radix-4 butterfly: with x0 = b0 + i*b2, x1 = b0 - i*b2,
// x2 = b1 + i*b3, x3 = b1 - i*b3 the quarters become a*x0 +- b*x2 and
// c*x1 +- d*x3, where b = a*w8 and d = c*i*w8 are passed already formed.
inline void radix4_second(double* p, int h, double ar, double ai, double br, double bi,
                          double cr, double ci, double dr, double di)
{
    const double x0r = p[0] - p[2 * h + 1], x0i = p[1] + p[2 * h];
    const double x1r = p[0] + p[2 * h + 1], x1i = p[1] - p[2 * h];
    const double x2r = p[h] - p[3 * h + 1], x2i = p[h + 1] + p[3 * h];
    const double x3r = p[h] + p[3 * h + 1], x3i = p[h + 1] - p[3 * h];
    const double y0r = ar * x0r - ai * x0i, y0i = ar * x0i + ai * x0r;
    const double y2r = br * x2r - bi * x2i, y2i = br * x2i + bi * x2r;
    const double y1r = cr * x1r - ci * x1i, y1i = cr * x1i + ci * x1r;
    const double y3r = dr * x3r - di * x3i, y3i = dr * x3i + di * x3r;
    p[0] = y0r + y2r;
    p[1] = y0i + y2i;
    p[h] = y0r - y2r;
    p[h + 1] = y0i - y2i;
    p[2 * h] = y1r + y3r;
    p[2 * h + 1] = y1i + y3i;
    p[3 * h] = y1r - y3r;
    p[3 * h + 1] = y1i - y3i;
}

// Second-kind butterfly of point 0, whose rotations are 1, w8, 1, i*w8.
inline void radix4_second_zero(double* p, int h, double cos45)
{
    const double x0r = p[0] - p[2 * h + 1], x0i = p[1] + p[2 * h];
    const double x1r = p[0] + p[2 * h + 1], x1i = p[1] - p[2 * h];
    const double x2r = p[h] - p[3 * h + 1], x2i = p[h + 1] + p[3 * h];
    const double x3r = p[h] + p[3 * h + 1], x3i = p[h + 1] - p[3 * h];
    const double y2r = cos45 * (x2r - x2i), y2i = cos45 * (x2r + x2i);    // w8*x2
    const double y3r = -cos45 * (x3r + x3i), y3i = cos45 * (x3r - x3i);   // i*w8*x3
    p[0] = x0r + y2r;
    p[1] = x0i + y2i;
    p[h] = x0r - y2r;
    p[h + 1] = x0i - y2i;
    p[2 * h] = x1r + y3r;
    p[2 * h + 1] = x1i + y3i;
    p[3 * h] = x1r - y3r;
    p[3 * h + 1] = x1i - y3i;
}

// Two-point transforms of the first kind (b0 +- b1) and of the second kind
// (b0 +- i*b1).
inline void radix2_first(double* p)
{
    const double r = p[0] - p[2], i = p[1] - p[3];
    p[0] += p[2];
    p[1] += p[3];
    p[2] = r;
    p[3] = i;
}

inline void radix2_second(double* p)
{
    const double r = p[0] + p[3], i = p[1] - p[2];
    p[0] -= p[3];
    p[1] += p[2];
    p[2] = r;
    p[3] = i;
}

// First stage over N = n/2 points. Its block (size N/4) stores w_N^q for even
// q only; odd q take the mean of their even neighbours rescaled by the stored
// 0.5/cos(2 pi/N) and 0.5/cos(6 pi/N). Point q is paired with N/4 - q, whose
// twiddles follow from the same values: w^(N/4-q) = i*conj(w^q) and
// w^(3(N/4-q)) = -i*conj(w^3q).
template <bool Conj>
void first_stage(int n, double* a, const double* w)
{
    const int quarter = n >> 2;
    const int eighth = n >> 3;  // double offset of point N/8
    const double cos45 = w[1];
    const double scale1 = w[2];
    const double scale3 = w[3];
    double prev1r = 1.0, prev1i = 0.0, prev3r = 1.0, prev3i = 0.0;
    radix4_first<Conj>(a, quarter, 1.0, 0.0, 1.0, 0.0);
    // j is both the table index of even point q = j/2 and its double offset.
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
    // The last odd point interpolates towards w8 and i*w8.
    const double o1r = (prev1r + cos45) * scale1, o1i = (prev1i + cos45) * scale1;
    const double o3r = (prev3r - cos45) * scale3, o3i = (prev3i + cos45) * scale3;
    radix4_first<Conj>(a + eighth - 2, quarter, o1r, o1i, o3r, o3i);
    radix4_first<Conj>(a + quarter - eighth + 2, quarter, o1i, o1r, -o3i, -o3r);
    radix4_first<Conj>(a + eighth, quarter, cos45, cos45, -cos45, cos45);
}

// Runs the kernel of the stated kind on a sub-block of 16 (n = 512 leaves)
// or 8 points (n = 256 leaves).
void leaf_kernel(bool sixteen, bool twiddled, double* block, int table_size, const double* ww)
{
    if (sixteen) {
        if (twiddled) {
            fft_kernel_16_twiddled(block, ww + table_size - 32);
        } else {
            fft_kernel_16(block, ww + table_size - 8);
        }
    } else if (twiddled) {
        fft_kernel_8_twiddled(block, ww + table_size - 8);
    } else {
        fft_kernel_8(block, ww + table_size - 8);
    }
}

// Stage of the given kind on the block of n doubles at block.
void stage_of_kind(int split_flag, int n, double* block, int table_size, const double* ww)
{
    if (split_flag) {
        fft_stage_1(n, block, ww + table_size - n / 2);
    } else {
        fft_stage_2(n, block, ww + table_size - n);
    }
}

}  // namespace

void fft_first_stage(int n, double* a, const double* w)
{
    first_stage<false>(n, a, w);
}

void fft_first_stage_conj(int n, double* a, const double* w)
{
    first_stage<true>(n, a, w);
}

void fft_stage_1(int n, double* block, const double* w)
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

void fft_stage_2(int n, double* block, const double* w)
{
    const int quarter = n >> 2;
    const int eighth = n >> 3;
    const int points = n >> 1;
    radix4_second_zero(block, quarter, w[1]);
    // lo holds z^r and conj(z^3r); hi holds the same for the mirror point
    // L/4 - r, from which z^(r + L/4) and z^(3r + 3L/4) follow.
    for (int r = 1; 2 * r < eighth; ++r) {
        const double* lo = w + 4 * r;
        const double* hi = w + points - 4 * r;
        radix4_second(block + 2 * r, quarter, lo[0], lo[1], hi[1], hi[0],
                      lo[2], -lo[3], hi[3], -hi[2]);
        radix4_second(block + quarter - 2 * r, quarter, hi[0], hi[1], lo[1], lo[0],
                      hi[2], -hi[3], lo[3], -lo[2]);
    }
    const double c8 = w[points / 2], s8 = w[points / 2 + 1];  // cos, sin(pi/8)
    radix4_second(block + eighth, quarter, c8, s8, s8, c8, s8, c8, -c8, -s8);
}

void fft_kernel_16(double* block, const double* w)
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

void fft_kernel_16_twiddled(double* block, const double* w)
{
    const double cos45 = w[1];
    const double c1 = w[4], s1 = w[5];    // z^1 = exp(i pi/16)
    const double c3 = w[6], s3 = -w[7];   // z^3
    const double c2 = w[8], s2 = w[9];    // z^2 = exp(i pi/8)
    radix4_second_zero(block, 8, cos45);
    radix4_second(block + 2, 8, c1, s1, s3, c3, c3, s3, -c1, s1);
    radix4_second(block + 4, 8, c2, s2, s2, c2, s2, c2, -c2, -s2);
    radix4_second(block + 6, 8, c3, s3, s1, c1, -s1, c1, -s3, -c3);
    radix4_plain(block, 2);
    radix4_second_zero(block + 8, 2, cos45);
    radix4_plain(block + 16, 2);
    radix4_second_zero(block + 24, 2, cos45);
}

void fft_kernel_8(double* block, const double* w)
{
    const double cos45 = w[1];
    radix4_plain(block, 4);
    radix4_first<false>(block + 2, 4, cos45, cos45, -cos45, cos45);
    radix2_first(block);
    radix2_second(block + 4);
    radix2_first(block + 8);
    radix2_first(block + 12);
}

void fft_kernel_8_twiddled(double* block, const double* w)
{
    const double c8 = w[2], s8 = w[3];
    radix4_second_zero(block, 4, w[1]);
    radix4_second(block + 2, 4, c8, s8, s8, c8, s8, c8, -c8, -s8);
    radix2_first(block);
    radix2_second(block + 4);
    radix2_first(block + 8);
    radix2_second(block + 12);
}

void fft_small_leaf(int n, double* block, int table_size, const double* ww)
{
    const int step = n >> 2;
    const bool sixteen = n == 128;
    leaf_kernel(sixteen, false, block, table_size, ww);
    leaf_kernel(sixteen, true, block + step, table_size, ww);
    leaf_kernel(sixteen, false, block + 2 * step, table_size, ww);
    leaf_kernel(sixteen, false, block + 3 * step, table_size, ww);
}

void fft_leaf(int n, int split_flag, double* block, int table_size, const double* ww)
{
    const int quarter = n >> 2;   // 128 or 64 doubles
    const int sub = n >> 4;       // one kernel block
    const bool sixteen = n == 512;
    double* q = block;
    fft_stage_1(quarter, q, ww + table_size - quarter / 2);
    leaf_kernel(sixteen, false, q, table_size, ww);
    leaf_kernel(sixteen, true, q + sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 2 * sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 3 * sub, table_size, ww);
    q += quarter;
    fft_stage_2(quarter, q, ww + table_size - quarter);
    leaf_kernel(sixteen, false, q, table_size, ww);
    leaf_kernel(sixteen, true, q + sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 2 * sub, table_size, ww);
    leaf_kernel(sixteen, true, q + 3 * sub, table_size, ww);
    q += quarter;
    fft_stage_1(quarter, q, ww + table_size - quarter / 2);
    leaf_kernel(sixteen, false, q, table_size, ww);
    leaf_kernel(sixteen, true, q + sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 2 * sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 3 * sub, table_size, ww);
    q += quarter;
    // The last quarter inherits the kind of the block itself.
    stage_of_kind(split_flag, quarter, q, table_size, ww);
    leaf_kernel(sixteen, split_flag == 0, q + 3 * sub, table_size, ww);
    leaf_kernel(sixteen, false, q, table_size, ww);
    leaf_kernel(sixteen, true, q + sub, table_size, ww);
    leaf_kernel(sixteen, false, q + 2 * sub, table_size, ww);
}

int fft_tree_step(int m, int j, int k, double* a, int table_size, const double* ww)
{
    if ((k & 3) != 0) {
        // Quarter 2, 1 or 0 of a parent whose stage is done: only quarter 1
        // is of the second kind.
        const int f = k & 1;
        stage_of_kind(f, m, a + j - m, table_size, ww);
        return f;
    }
    // A last quarter: climb to the nearest ancestor that is not a last
    // quarter; it and its chain of last quarters share its kind, and none of
    // their stages has run yet.
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

void fft_recursive(int n, double* a, int table_size, const double* ww)
{
    // The chain of last quarters is of the first kind down to the leaf size.
    int m = n;
    while (m > 512) {
        m >>= 2;
        fft_stage_1(m, a + n - m, ww + table_size - m / 2);
    }
    fft_leaf(m, 1, a + n - m, table_size, ww);
    int k = 0;
    for (int j = n - m; j > 0; j -= m) {
        ++k;
        const int f = fft_tree_step(m, j, k, a, table_size, ww);
        fft_leaf(m, f, a + j - m, table_size, ww);
    }
}
