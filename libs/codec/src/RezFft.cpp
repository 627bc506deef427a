// Complex forward FFT of the lengths the codecs use, on interleaved Q31 data. Each
// kernel scales its result down by a fixed shift so that a full-scale input keeps
// (nearly) its headroom; the dispatcher adds that shift to the caller's exponent.
#include "RezFft_tables.h"
#include "RezTools.h"
#include "RezTransformInternal.h"

namespace {

using rez::fullMul;
using rez::halfMul;
using rez::hiMul;

struct Complex {
    int32_t re;
    int32_t im;
};

inline Complex load(const int32_t *data, int i, int shift)
{
    return {data[2 * i] >> shift, data[2 * i + 1] >> shift};
}

inline void store(int32_t *data, int i, Complex value)
{
    data[2 * i] = value.re;
    data[2 * i + 1] = value.im;
}

inline Complex add(Complex a, Complex b) { return {a.re + b.re, a.im + b.im}; }
inline Complex sub(Complex a, Complex b) { return {a.re - b.re, a.im - b.im}; }
inline Complex half(Complex a) { return {a.re >> 1, a.im >> 1}; }
// a * -j and a * j.
inline Complex rotMinusJ(Complex a) { return {a.im, -a.re}; }
inline Complex rotPlusJ(Complex a) { return {-a.im, a.re}; }

// Rotation by -theta, (re cos + im sin, im cos - re sin), at full scale.
inline Complex rotateFull(Complex a, int32_t c, int32_t s)
{
    return {fullMul(a.re, c) + fullMul(a.im, s), fullMul(a.im, c) - fullMul(a.re, s)};
}

// The same with half-products: the result is halved.
inline Complex rotateHalf(Complex a, int32_t c, int32_t s)
{
    return {halfMul(a.re, c) + halfMul(a.im, s), halfMul(a.im, c) - halfMul(a.re, s)};
}

// Unscaled DFT cores on values the caller has already shifted down.

constexpr int32_t MinusSinPiThird = -28378; // -sin(pi/3), Q15

inline void dft3(Complex &x0, Complex &x1, Complex &x2)
{
    const Complex s = add(x1, x2);
    const Complex d = sub(x1, x2);
    const Complex t = sub(x0, half(s));
    const Complex u = {fullMul(d.re, MinusSinPiThird), fullMul(d.im, MinusSinPiThird)};
    x0 = add(x0, s);
    x1 = {t.re - u.im, t.im + u.re};
    x2 = {t.re + u.im, t.im - u.re};
}

inline void dft4(Complex &x0, Complex &x1, Complex &x2, Complex &x3)
{
    const Complex a = add(x0, x2), b = sub(x0, x2), c = add(x1, x3), d = sub(x1, x3);
    x0 = add(a, c);
    x2 = sub(a, c);
    x1 = add(b, rotMinusJ(d));
    x3 = sub(b, rotMinusJ(d));
}

// Winograd's 5-point form; the constants are Q31 words applied as (v * word >> 32)
// times a power of two.
constexpr int32_t MinusFiveQuarters = static_cast<int32_t>(0xB0000000u); // -1.25 as * 4
constexpr int32_t SqrtFiveQuarter = 0x478E0000;                          // sqrt(5)/4 as * 2
constexpr int32_t SinTwoPiFifth = 0x79BC0000;                            // sin(2pi/5) as * 2
constexpr int32_t MinusSinSum = static_cast<int32_t>(0x9D840000u);      // -(sin 2pi/5 + sin pi/5) as * 4
constexpr int32_t MinusSinDifference = static_cast<int32_t>(0xD1800000u); // -(sin 2pi/5 - sin pi/5) as * 2

inline void dft5(Complex &x0, Complex &x1, Complex &x2, Complex &x3, Complex &x4)
{
    const Complex t1 = add(x1, x4), t2 = add(x2, x3), t3 = sub(x1, x4), t4 = sub(x2, x3);
    const Complex sum = add(t1, t2), difference = sub(t1, t2), odd = add(t3, t4);
    const Complex y0 = add(x0, sum);
    const Complex a = {y0.re + hiMul(sum.re, MinusFiveQuarters) * 4, y0.im + hiMul(sum.im, MinusFiveQuarters) * 4};
    const Complex m2 = {hiMul(difference.re, SqrtFiveQuarter) * 2, hiMul(difference.im, SqrtFiveQuarter) * 2};
    const Complex r1 = add(a, m2), r2 = sub(a, m2);
    const Complex common = {hiMul(odd.re, SinTwoPiFifth) * 2, hiMul(odd.im, SinTwoPiFifth) * 2};
    const Complex q1 = {common.re + hiMul(t4.re, MinusSinDifference) * 2,
                        common.im + hiMul(t4.im, MinusSinDifference) * 2};
    const Complex q2 = {-(common.re + hiMul(t3.re, MinusSinSum) * 4), -(common.im + hiMul(t3.im, MinusSinSum) * 4)};
    x0 = y0;
    x1 = add(r1, rotMinusJ(q1));
    x4 = add(r1, rotPlusJ(q1));
    x2 = add(r2, rotMinusJ(q2));
    x3 = add(r2, rotPlusJ(q2));
}

// Good-Thomas maps: input index (L2 * a + L1 * b) mod N, output index by the Chinese
// remainder theorem.
constexpr int Fft10In[2][5] = {{0, 2, 4, 6, 8}, {5, 7, 9, 1, 3}};
constexpr int Fft10Out[2][5] = {{0, 6, 2, 8, 4}, {5, 1, 7, 3, 9}};
constexpr int Fft15In[5][3] = {{0, 5, 10}, {3, 8, 13}, {6, 11, 1}, {9, 14, 4}, {12, 2, 7}};
constexpr int Fft15Out[3][5] = {{0, 6, 12, 3, 9}, {10, 1, 7, 13, 4}, {5, 11, 2, 8, 14}};

// Composite L1 x L2 kernel: L1-point transforms over the columns, twiddles, L2-point
// transforms over the rows.
template <int L1, int L2, void (*First)(int32_t *), void (*Second)(int32_t *)>
void composite(int32_t *data, const int16_t *cosTable, const int16_t *sinTable)
{
    constexpr int N = L1 * L2;
    alignas(8) int32_t work[2 * N];
    alignas(8) int32_t scratch[2 * L2];
    for (int c = 0; c < L2; ++c) {
        int32_t *row = work + 2 * L1 * c;
        for (int m = 0; m < L1; ++m) {
            row[2 * m] = data[2 * (c + L2 * m)];
            row[2 * m + 1] = data[2 * (c + L2 * m) + 1];
        }
        First(row);
    }
    RezTools_FftApplyTwiddles(work, L1, N, cosTable, sinTable);
    for (int k = 0; k < L1; ++k) {
        for (int c = 0; c < L2; ++c) {
            scratch[2 * c] = work[2 * (c * L1 + k)];
            scratch[2 * c + 1] = work[2 * (c * L1 + k) + 1];
        }
        Second(scratch);
        for (int j = 0; j < L2; ++j) {
            data[2 * (k + L1 * j)] = scratch[2 * j];
            data[2 * (k + L1 * j) + 1] = scratch[2 * j + 1];
        }
    }
}

} // namespace

extern "C" {

void RezTools_Fft2(int32_t *data)
{
    const int64_t ar = data[0], ai = data[1], br = data[2], bi = data[3];
    data[0] = static_cast<int32_t>((ar + br) >> 1);
    data[1] = static_cast<int32_t>((ai + bi) >> 1);
    data[2] = static_cast<int32_t>((ar - br) >> 1);
    data[3] = static_cast<int32_t>((ai - bi) >> 1);
}

void RezTools_Fft3(int32_t *data)
{
    Complex x0 = load(data, 0, 1), x1 = load(data, 1, 1), x2 = load(data, 2, 1);
    dft3(x0, x1, x2);
    store(data, 0, x0);
    store(data, 1, x1);
    store(data, 2, x2);
}

void RezTools_Fft4(int32_t *data)
{
    Complex x0 = load(data, 0, 1), x1 = load(data, 1, 1), x2 = load(data, 2, 1), x3 = load(data, 3, 1);
    dft4(x0, x1, x2, x3);
    store(data, 0, x0);
    store(data, 1, x1);
    store(data, 2, x2);
    store(data, 3, x3);
}

void RezTools_Fft5(int32_t *data)
{
    Complex x[5];
    for (int i = 0; i < 5; ++i)
        x[i] = load(data, i, 1);
    dft5(x[0], x[1], x[2], x[3], x[4]);
    for (int i = 0; i < 5; ++i)
        store(data, i, x[i]);
}

void RezTools_Fft6(int32_t *data)
{
    composite<2, 3, RezTools_Fft2, RezTools_Fft3>(data, RezTools_FftTwiddleCos6, RezTools_FftTwiddleSin6);
}

void RezTools_Fft8(int32_t *data)
{
    RezTools_FftRadix2(data, 3, RezTools_SineTable, 512);
}

void RezTools_Fft10(int32_t *data)
{
    // Everything is shifted down at the input; the butterflies then run unscaled.
    Complex y[2][5];
    for (int a = 0; a < 2; ++a) {
        for (int b = 0; b < 5; ++b)
            y[a][b] = load(data, Fft10In[a][b], 5);
        dft5(y[a][0], y[a][1], y[a][2], y[a][3], y[a][4]);
    }
    for (int b = 0; b < 5; ++b) {
        store(data, Fft10Out[0][b], add(y[0][b], y[1][b]));
        store(data, Fft10Out[1][b], sub(y[0][b], y[1][b]));
    }
}

void RezTools_Fft12(int32_t *data)
{
    Complex y[4][3];
    for (int c = 0; c < 4; ++c) {
        y[c][0] = load(data, c, 2);
        y[c][1] = load(data, c + 4, 2);
        y[c][2] = load(data, c + 8, 2);
        dft3(y[c][0], y[c][1], y[c][2]);
    }
    for (int c = 1; c <= 2; ++c)
        for (int k = 1; k <= 2; ++k) {
            const int t = (c - 1) * 2 + (k - 1);
            y[c][k] = rotateFull(y[c][k], RezTools_Fft12TwiddleCos[t], RezTools_Fft12TwiddleSin[t]);
        }
    y[3][1] = rotMinusJ(y[3][1]);
    y[3][2] = {-y[3][2].re, -y[3][2].im};
    for (int k = 0; k < 3; ++k) {
        Complex x0 = half(y[0][k]), x1 = half(y[1][k]), x2 = half(y[2][k]), x3 = half(y[3][k]);
        dft4(x0, x1, x2, x3);
        store(data, k, x0);
        store(data, k + 3, x1);
        store(data, k + 6, x2);
        store(data, k + 9, x3);
    }
}

void RezTools_Fft15(int32_t *data)
{
    Complex y[5][3];
    for (int b = 0; b < 5; ++b) {
        for (int a = 0; a < 3; ++a)
            y[b][a] = load(data, Fft15In[b][a], 2);
        dft3(y[b][0], y[b][1], y[b][2]);
    }
    for (int a = 0; a < 3; ++a) {
        Complex x[5];
        for (int b = 0; b < 5; ++b)
            x[b] = half(y[b][a]);
        dft5(x[0], x[1], x[2], x[3], x[4]);
        for (int b = 0; b < 5; ++b)
            store(data, Fft15Out[a][b], x[b]);
    }
}

void RezTools_Fft16(int32_t *data)
{
    RezTools_FftRadix2(data, 4, RezTools_SineTable, 512);
}

void RezTools_Fft32(int32_t *data)
{
    RezTools_FftRadix2(data, 5, RezTools_SineTable, 512);
}

void RezTools_Fft20(int32_t *data)
{
    composite<4, 5, RezTools_Fft4, RezTools_Fft5>(data, RezTools_FftTwiddleCos20, RezTools_FftTwiddleSin20);
}

void RezTools_Fft24(int32_t *data)
{
    composite<2, 12, RezTools_Fft2, RezTools_Fft12>(data, RezTools_FftTwiddleCos24, RezTools_FftTwiddleSin24);
}

void RezTools_Fft30(int32_t *data)
{
    composite<2, 15, RezTools_Fft2, RezTools_Fft15>(data, RezTools_FftTwiddleCos30, RezTools_FftTwiddleSin30);
}

void RezTools_Fft40(int32_t *data)
{
    composite<5, 8, RezTools_Fft5, RezTools_Fft8>(data, RezTools_FftTwiddleCos40, RezTools_FftTwiddleSin40);
}

void RezTools_Fft48(int32_t *data)
{
    composite<4, 12, RezTools_Fft4, RezTools_Fft12>(data, RezTools_FftTwiddleCos48, RezTools_FftTwiddleSin48);
}

void RezTools_Fft60(int32_t *data)
{
    composite<4, 15, RezTools_Fft4, RezTools_Fft15>(data, RezTools_FftTwiddleCos60, RezTools_FftTwiddleSin60);
}

void RezTools_Fft80(int32_t *data)
{
    composite<5, 16, RezTools_Fft5, RezTools_Fft16>(data, RezTools_FftTwiddleCos80, RezTools_FftTwiddleSin80);
}

void RezTools_Fft96(int32_t *data)
{
    composite<3, 32, RezTools_Fft3, RezTools_Fft32>(data, RezTools_FftTwiddleCos96, RezTools_FftTwiddleSin96);
}

void RezTools_Fft120(int32_t *data)
{
    composite<8, 15, RezTools_Fft8, RezTools_Fft15>(data, RezTools_FftTwiddleCos120, RezTools_FftTwiddleSin120);
}

void RezTools_Fft160(int32_t *data)
{
    composite<10, 16, RezTools_Fft10, RezTools_Fft16>(data, RezTools_FftTwiddleCos160, RezTools_FftTwiddleSin160);
}

void RezTools_Fft192(int32_t *data)
{
    composite<16, 12, RezTools_Fft16, RezTools_Fft12>(data, RezTools_FftTwiddleCos192, RezTools_FftTwiddleSin192);
}

void RezTools_Fft384(int32_t *data)
{
    composite<12, 32, RezTools_Fft12, RezTools_Fft32>(data, RezTools_FftTwiddleCos384, RezTools_FftTwiddleSin384);
}

void RezTools_Fft480(int32_t *data)
{
    composite<32, 15, RezTools_Fft32, RezTools_Fft15>(data, RezTools_FftTwiddleCos480, RezTools_FftTwiddleSin480);
}

void RezTools_FftApplyTwiddles(int32_t *data, int rowLength, int length, const int16_t *cosTable,
                               const int16_t *sinTable)
{
    const int rows = length / rowLength;
    for (int k = 0; k < rowLength; ++k) {
        data[2 * k] >>= 2;
        data[2 * k + 1] >>= 2;
    }
    int t = 0;
    for (int r = 1; r < rows; ++r) {
        int32_t *row = data + 2 * rowLength * r;
        row[0] >>= 2;
        row[1] >>= 2;
        for (int k = 1; k < rowLength; ++k, ++t)
            store(row, k, rotateHalf(load(row, k, 1), cosTable[t], sinTable[t]));
    }
}

void RezTools_FftBitReverse(int32_t *data, int n)
{
    // j runs through the bit-reversed counterparts of i with a reverse-carry add.
    for (int i = 0, j = 0; i < n; ++i) {
        if (i < j) {
            const int32_t re = data[2 * i], im = data[2 * i + 1];
            data[2 * i] = data[2 * j];
            data[2 * i + 1] = data[2 * j + 1];
            data[2 * j] = re;
            data[2 * j + 1] = im;
        }
        int bit = n >> 1;
        while (bit > 0 && (j & bit)) {
            j ^= bit;
            bit >>= 1;
        }
        j |= bit;
    }
}

void RezTools_FftRadix2(int32_t *data, int ldn, const uint32_t *packedSineTable, int tableSize)
{
    const int n = 1 << ldn;
    RezTools_FftBitReverse(data, n);
    for (int g = 0; g < n; g += 4) {
        Complex x0 = load(data, g, 1), x1 = load(data, g + 1, 1), x2 = load(data, g + 2, 1), x3 = load(data, g + 3, 1);
        // Bit-reversed order: (x0, x1) and (x2, x3) are the first-stage pairs.
        const Complex a = add(x0, x1), b = sub(x0, x1), c = add(x2, x3), d = sub(x2, x3);
        store(data, g, add(a, c));
        store(data, g + 2, sub(a, c));
        store(data, g + 1, add(b, rotMinusJ(d)));
        store(data, g + 3, sub(b, rotMinusJ(d)));
    }
    const int turn = 4 * tableSize;
    for (int m = 8; m <= n; m <<= 1) {
        const int halfM = m / 2;
        for (int j = 0; j < halfM; ++j) {
            int32_t c = 0, s = 0;
            rez::foldedTwiddle(packedSineTable, tableSize / 2, j * (turn / m), c, s);
            for (int block = 0; block < n; block += m) {
                const Complex top = load(data, block + j, 1);
                const Complex bottom = load(data, block + j + halfM, 0);
                Complex product;
                if (j == 0)
                    product = half(bottom);
                else if (2 * j == halfM)
                    product = half(rotMinusJ(bottom));
                else
                    product = rotateHalf(bottom, c, s);
                store(data, block + j, add(top, product));
                store(data, block + j + halfM, sub(top, product));
            }
        }
    }
}

void RezTools_Fft(int length, int32_t *data, int *scale)
{
    int shift = 0;
    switch (length) {
    case 2: RezTools_Fft2(data); shift = 1; break;
    case 3: RezTools_Fft3(data); shift = 1; break;
    case 4: RezTools_Fft4(data); shift = 1; break;
    case 5: RezTools_Fft5(data); shift = 1; break;
    case 6: RezTools_Fft6(data); shift = 4; break;
    case 8: RezTools_Fft8(data); shift = 2; break;
    case 10: RezTools_Fft10(data); shift = 5; break;
    case 12: RezTools_Fft12(data); shift = 3; break;
    case 15: RezTools_Fft15(data); shift = 3; break;
    case 16: RezTools_Fft16(data); shift = 3; break;
    case 20: RezTools_Fft20(data); shift = 4; break;
    case 24: RezTools_Fft24(data); shift = 6; break;
    case 30: RezTools_Fft30(data); shift = 6; break;
    case 32: RezTools_Fft32(data); shift = 4; break;
    case 40: RezTools_Fft40(data); shift = 5; break;
    case 48: RezTools_Fft48(data); shift = 6; break;
    case 60: RezTools_Fft60(data); shift = 6; break;
    case 64: RezTools_FftRadix2(data, 6, RezTools_SineTable, 512); shift = 5; break;
    case 80: RezTools_Fft80(data); shift = 6; break;
    case 96: RezTools_Fft96(data); shift = 7; break;
    case 120: RezTools_Fft120(data); shift = 7; break;
    case 128: RezTools_FftRadix2(data, 7, RezTools_SineTable, 512); shift = 6; break;
    case 160: RezTools_Fft160(data); shift = 10; break;
    case 192: RezTools_Fft192(data); shift = 8; break;
    case 256: RezTools_FftRadix2(data, 8, RezTools_SineTable, 512); shift = 7; break;
    case 384: RezTools_Fft384(data); shift = 9; break;
    case 480: RezTools_Fft480(data); shift = 9; break;
    case 512: RezTools_FftRadix2(data, 9, RezTools_SineTable, 512); shift = 8; break;
    default: return;
    }
    *scale += shift;
}

} // extern "C"
