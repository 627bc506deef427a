// DCT-II/III/IV, DST-III/IV on Q31 data through the half-length complex FFT, and the
// all-pole lattice filter.
#include "RezFft_tables.h"
#include "RezWindow_tables.h"
#include "RezTools.h"
#include "RezTransformInternal.h"

namespace {

using rez::cosOf;
using rez::fullMul;
using rez::halfMul;
using rez::hiMul;
using rez::sinOf;

// sin(pi/8) in the cos slot and cos(pi/8) in the sin slot, and the reverse.
constexpr uint32_t DctIvTwoPoint = 0x764230FC;
constexpr uint32_t DstIvTwoPoint = 0x30FC7642;
constexpr int32_t CosPiTwelfth = 0x7BA30000;
constexpr int32_t CosPiQuarter = 0x5A820000;
constexpr int32_t CosFivePiTwelfth = 0x21210000;
constexpr int32_t CosPiQuarter16 = 0x5A82;

struct SineTableInfo {
    const uint32_t *rotation;
    const uint32_t *sine;
    int step;
    int eighth; // index of pi/4 in the sine table
};

// The half lengths the FFT serves: other transform lengths are left alone.
bool fftServes(int length)
{
    static constexpr int Lengths[] = {2, 3, 4, 5, 6, 8, 10, 12, 15, 16, 20, 24, 30, 32, 40, 48, 60, 64,
                                      80, 96, 120, 128, 160, 192, 256, 384, 480, 512};
    for (int served : Lengths)
        if (served == length)
            return true;
    return false;
}

SineTableInfo sineTableFor(int length)
{
    SineTableInfo info{nullptr, nullptr, 0, 0};
    RezTools_GetSineTable(&info.rotation, &info.sine, &info.step, length);
    if (info.sine == RezTools_SineTable4096)
        info.eighth = 512;
    else if (info.sine == RezTools_SineTable1536)
        info.eighth = 192;
    else if (info.sine == RezTools_SineTable640)
        info.eighth = 80;
    else if (info.sine == RezTools_SineTable1920)
        info.eighth = 240;
    return info;
}

// Rotation by -theta with half-products: (re cos + im sin, im cos - re sin) / 2.
inline void rotateHalf(int32_t re, int32_t im, int32_t c, int32_t s, int32_t &outRe, int32_t &outIm)
{
    outRe = halfMul(re, c) + halfMul(im, s);
    outIm = halfMul(im, c) - halfMul(re, s);
}

// The DCT-IV and DST-IV share everything but two signs.
template <bool Sine>
void dctDstIv(int32_t *x, int length, int *scale)
{
    if (length == 2) {
        const uint32_t word = Sine ? DstIvTwoPoint : DctIvTwoPoint;
        // The two words hold the same pair with the halves exchanged, so one expression
        // serves both transforms.
        const int32_t c = cosOf(word), s = sinOf(word), x0 = x[0], x1 = x[1];
        x[0] = halfMul(x0, s) + halfMul(x1, c);
        x[1] = halfMul(x0, c) - halfMul(x1, s);
        *scale += 1;
        return;
    }
    if (length == 3) {
        // cos and sin of pi (2n + 1)(2k + 1) / 12 are all +-cos(pi/12), +-cos(pi/4), +-cos(5pi/12).
        const int32_t x0 = x[0] >> 1, x1 = x[1] >> 1, x2 = x[2] >> 1;
        if (Sine) {
            x[0] = hiMul(x0, CosFivePiTwelfth) + hiMul(x1, CosPiQuarter) + hiMul(x2, CosPiTwelfth);
            x[1] = hiMul(x0, CosPiQuarter) + hiMul(x1, CosPiQuarter) - hiMul(x2, CosPiQuarter);
            x[2] = hiMul(x0, CosPiTwelfth) - hiMul(x1, CosPiQuarter) + hiMul(x2, CosFivePiTwelfth);
        } else {
            x[0] = hiMul(x0, CosPiTwelfth) + hiMul(x1, CosPiQuarter) + hiMul(x2, CosFivePiTwelfth);
            x[1] = hiMul(x0, CosPiQuarter) - hiMul(x1, CosPiQuarter) - hiMul(x2, CosPiQuarter);
            x[2] = hiMul(x0, CosFivePiTwelfth) - hiMul(x1, CosPiQuarter) + hiMul(x2, CosPiTwelfth);
        }
        *scale += 2;
        return;
    }
    const SineTableInfo table = sineTableFor(length);
    if (!table.rotation || length % 2 != 0 || !fftServes(length / 2))
        return;
    const int m = length / 2;
    // Pre-rotation z[k] = (+-x[2k] + j x[L-1-2k]) e^(-j pi (4k+1) / 4L); the pairs k and
    // M-1-k read and write the same four values, so both ends are done together.
    for (int k = 0; k < (m + 1) / 2; ++k) {
        const int mirror = m - 1 - k;
        const int32_t re0 = Sine ? -x[2 * k] : x[2 * k], im0 = x[length - 1 - 2 * k];
        const int32_t re1 = Sine ? -x[2 * mirror] : x[2 * mirror], im1 = x[length - 1 - 2 * mirror];
        const uint32_t w0 = table.rotation[2 * k];
        rotateHalf(re0, im0, cosOf(w0), sinOf(w0), x[2 * k], x[2 * k + 1]);
        if (mirror != k) {
            const uint32_t w1 = table.rotation[2 * k + 1];
            rotateHalf(re1, im1, sinOf(w1), cosOf(w1), x[2 * mirror], x[2 * mirror + 1]);
        }
    }
    RezTools_Fft(m, x, scale);
    // Post-rotation c = Z[k] e^(-j pi k / L): y[2k] = Re c, y[L-1-2k] = -Im c (DST: Im c
    // and -Re c). Pairs k and M-1-k again share their four values.
    for (int k = 0; k < (m + 1) / 2; ++k) {
        const int mirror = m - 1 - k;
        const int32_t zr0 = x[2 * k], zi0 = x[2 * k + 1], zr1 = x[2 * mirror], zi1 = x[2 * mirror + 1];
        int32_t cr, ci;
        if (k == 0) {
            cr = zr0 >> 1;
            ci = zi0 >> 1;
        } else {
            const uint32_t w = table.sine[k * table.step];
            rotateHalf(zr0, zi0, cosOf(w), sinOf(w), cr, ci);
        }
        if (mirror != k) {
            // Angle (M-1-k) pi / L = pi/2 - (k+1) pi / L: entry k+1 with cos and sin exchanged.
            const uint32_t w = table.sine[(k + 1) * table.step];
            int32_t dr, di;
            rotateHalf(zr1, zi1, sinOf(w), cosOf(w), dr, di);
            x[2 * mirror] = Sine ? di : dr;
            x[length - 1 - 2 * mirror] = Sine ? -dr : -di;
        }
        x[2 * k] = Sine ? ci : cr;
        x[length - 1 - 2 * k] = Sine ? -cr : -ci;
    }
    *scale += 2;
}

} // namespace

extern "C" {

void RezTools_GetSineTable(const uint32_t **rotationOut, const uint32_t **sineOut, int *stepOut, int length)
{
    const uint32_t *rotation = nullptr, *sine = nullptr;
    int step = 0;
    if (length >= 4) {
        int p = 31;
        while (!(static_cast<uint32_t>(length) >> p))
            --p;
        const int top = length >> (p - 2);
        const bool exact = (length & ((1 << (p - 2)) - 1)) == 0;
        int stepShift = -1;
        if (exact && top == 4) {
            sine = RezTools_SineTable4096;
            stepShift = 11 - p;
        } else if (exact && top == 5) {
            sine = RezTools_SineTable640;
            stepShift = 7 - (p - 1);
        } else if (exact && top == 6) {
            sine = RezTools_SineTable1536;
            stepShift = 8 - (p - 1);
        } else if (length % 15 == 0 && top == 7) {
            sine = RezTools_SineTable1920;
            stepShift = 8 - (p - 1);
        }
        if (stepShift < 0)
            sine = nullptr;
        else
            step = 1 << stepShift;
        switch (sine ? length : 0) {
#define REZ_ROTATION(n) case n: rotation = RezTools_DctRotation##n; break;
        // A sine window slope holds the same angles as the rotation of its length.
#define REZ_SLOPE(n) case n: rotation = RezTools_SineSlope##n; break;
        REZ_SLOPE(4) REZ_SLOPE(8) REZ_SLOPE(16) REZ_SLOPE(32) REZ_SLOPE(64)
        REZ_SLOPE(128) REZ_SLOPE(256) REZ_SLOPE(512) REZ_SLOPE(1024)
        REZ_SLOPE(12) REZ_SLOPE(24) REZ_SLOPE(48) REZ_SLOPE(96) REZ_SLOPE(192)
        REZ_SLOPE(384) REZ_SLOPE(768)
        REZ_ROTATION(20) REZ_ROTATION(40) REZ_ROTATION(80) REZ_ROTATION(160) REZ_ROTATION(320)
        REZ_ROTATION(15) REZ_SLOPE(30) REZ_SLOPE(60) REZ_SLOPE(120) REZ_SLOPE(240)
        REZ_SLOPE(960)
#undef REZ_SLOPE
#undef REZ_ROTATION
        default: break;
        }
    }
    if (rotationOut)
        *rotationOut = rotation;
    *sineOut = sine;
    *stepOut = step;
}

void RezTools_ComplexRotatePacked(int32_t *outRe, int32_t *outIm, int32_t re, int32_t im, uint32_t packed)
{
    const int32_t c = cosOf(packed), s = sinOf(packed);
    *outRe = halfMul(re, c) - halfMul(im, s);
    *outIm = halfMul(re, s) + halfMul(im, c);
}

void RezTools_DctIV(int32_t *data, int length, int *scale)
{
    dctDstIv<false>(data, length, scale);
}

void RezTools_DstIV(int32_t *data, int length, int *scale)
{
    dctDstIv<true>(data, length, scale);
}

void RezTools_DctII(int32_t *data, int32_t *work, int length, int *scale)
{
    const SineTableInfo table = sineTableFor(length);
    if (!table.sine || table.step < 2 || length % 4 != 0 || !fftServes(length / 2))
        return;
    const int m = length / 2;
    for (int n = 0; n < m; ++n) {
        work[n] = data[2 * n] >> 1;
        work[length - 1 - n] = data[2 * n + 1] >> 1;
    }
    // work now holds v / 2 as M complex pairs, v[n] = x[2n], v[L-1-n] = x[2n+1].
    RezTools_Fft(m, work, scale);
    // With W = FFT(v/2) the length-L spectrum of v is V[k] = (W[k] + W*[M-k]) +
    // e^(-j 2 pi k / L) (W[k] - W*[M-k]) / j, and y[k] = Re(e^(-j pi k / 2L) V[k]) / 2,
    // y[L-k] = -Im(e^(-j pi k / 2L) V[k]) / 2.
    for (int k = 1; k < m; ++k) {
        const int32_t ar = work[2 * k] >> 1, ai = work[2 * k + 1] >> 1;
        const int32_t br = work[2 * (m - k)] >> 1, bi = work[2 * (m - k) + 1] >> 1;
        const int32_t er = ar + br, ei = ai - bi; // (W[k] + W*[M-k]) / 2
        const int32_t dr = ar - br, di = ai + bi; // (W[k] - W*[M-k]) / 2
        int32_t c, s;
        rez::foldedTwiddle(table.sine, table.eighth, 2 * k * table.step, c, s);
        // e^(-j theta) d, then / j.
        const int32_t rr = fullMul(dr, c) + fullMul(di, s), ri = fullMul(di, c) - fullMul(dr, s);
        const int32_t vr = er + ri, vi = ei - rr;
        int32_t c2, s2;
        rez::foldedTwiddle(table.sine, table.eighth, k * table.step / 2, c2, s2);
        int32_t yr, yi;
        rotateHalf(vr, vi, c2, s2, yr, yi);
        data[k] = yr;
        data[length - k] = -yi;
    }
    const int32_t w0r = work[0] >> 1, w0i = work[1] >> 1;
    data[0] = w0r + w0i;
    data[m] = 2 * halfMul(w0r - w0i, CosPiQuarter16);
    *scale += 2;
}

void RezTools_DctIII(int32_t *data, int32_t *work, int length, int *scale)
{
    const SineTableInfo table = sineTableFor(length);
    if (!table.sine || table.step < 2 || length % 4 != 0 || !fftServes(length / 2))
        return;
    const int m = length / 2;
    // The transpose of the DCT-II. v = (y[0], y[2], ..., y[3], y[1]) is the real inverse
    // DFT of the Hermitian H[n] = e^(j pi n / 2L) (x[n] - j x[L-n]) / 2 (H[0] = x[0]). Its
    // pairs v[2q] + j v[2q+1] are the inverse M-point DFT of G[n] = (H[n] + H*[M-n]) +
    // j e^(j 2 pi n / L) (H[n] - H*[M-n]), which the forward FFT gives as conj(FFT(conj G)).
    // U below is H / 2, and E, D the halved sum and difference, so work = conj(G) / 4.
    for (int k = 0; k <= m / 2; ++k) {
        const int k2 = m - k;
        // U[k] and U[M-k] (x[L] counts as 0).
        int32_t c1, s1, c2, s2;
        rez::foldedTwiddle(table.sine, table.eighth, k * table.step / 2, c1, s1);
        rez::foldedTwiddle(table.sine, table.eighth, k2 * table.step / 2, c2, s2);
        const int32_t xa = data[k], xb = k == 0 ? 0 : data[length - k];
        const int32_t xc = data[k2], xd = data[length - k2];
        // e^(j t)(p - j q) = (p c + q s) + j (p s - q c), halved by the half-products, / 2 again;
        // x[0] has weight 1, not 1/2.
        const int32_t ur = k == 0 ? xa >> 1 : (halfMul(xa, c1) + halfMul(xb, s1)) >> 1;
        const int32_t ui = k == 0 ? 0 : (halfMul(xa, s1) - halfMul(xb, c1)) >> 1;
        const int32_t vr = (halfMul(xc, c2) + halfMul(xd, s2)) >> 1, vi = (halfMul(xc, s2) - halfMul(xd, c2)) >> 1;
        // Even part E = (U[k] + U*[M-k]) / 2, odd part D = (U[k] - U*[M-k]) / 2.
        const int32_t er = (ur + vr) >> 1, ei = (ui - vi) >> 1;
        const int32_t dr = (ur - vr) >> 1, di = (ui + vi) >> 1;
        int32_t c, s;
        rez::foldedTwiddle(table.sine, table.eighth, 2 * k * table.step, c, s);
        // G[k] = E + j e^(j 2 pi k / L) D; the FFT input is conj(G).
        const int32_t rr = fullMul(dr, c) - fullMul(di, s), ri = fullMul(dr, s) + fullMul(di, c);
        const int32_t gr = er - ri, gi = ei + rr;
        work[2 * k] = gr;
        work[2 * k + 1] = -gi;
        if (k2 != k && k2 < m) {
            // G[M-k] = conj(E) + j e^(j 2 pi (M-k) / L) (-conj(D)) = conj(E) + j conj(e^(j 2 pi k / L) D)
            const int32_t hr = er + ri, hi = -ei + rr;
            work[2 * k2] = hr;
            work[2 * k2 + 1] = -hi;
        }
    }
    RezTools_Fft(m, work, scale);
    // The FFT of conj(G) is conj of the packed v: v[2q] = Re, v[2q+1] = -Im.
    for (int i = 0; i < length / 4; ++i) {
        data[4 * i] = work[2 * i];
        data[4 * i + 2] = -work[2 * i + 1];
        data[4 * i + 1] = -work[length - 1 - 2 * i];
        data[4 * i + 3] = work[length - 2 - 2 * i];
    }
    *scale += 2;
}

void RezTools_DstIII(int32_t *data, int32_t *work, int length, int *scale)
{
    for (int i = 0, j = length - 1; i < j; ++i, --j) {
        const int32_t t = data[i];
        data[i] = data[j];
        data[j] = t;
    }
    RezTools_DctIII(data, work, length, scale);
    for (int i = 1; i < length; i += 2)
        data[i] = -data[i];
}

void RezTools_LatticeFilter(int32_t *data, int n, int inShift, int outShift, int step, const int32_t *coef,
                            int order, int32_t *state)
{
    if (n <= 0 || order <= 0)
        return;
    int32_t *p = step == -1 ? data + (n - 1) : data;
    for (int count = 0; count < n; ++count, p += step) {
        int32_t acc = inShift > 0 ? *p << inShift : *p >> -inShift;
        acc -= 2 * hiMul(coef[order - 1], state[order - 1]);
        for (int i = order - 2; i >= 0; --i) {
            acc -= 2 * hiMul(coef[i], state[i]);
            state[i + 1] = state[i] + 2 * hiMul(coef[i], acc);
        }
        state[0] = acc;
        *p = outShift >= 0 ? acc >> outShift : acc << -outShift;
    }
}

} // extern "C"
