// Sine, cosine and arctangent in 32-bit fixed point.
#include "RezTools.h"
#include "RezTools_tables.h"

#include <climits>

namespace {

constexpr int32_t InvPiQ31 = 683565276;      // 1/pi
constexpr int64_t HalfPiQ30 = 1686629713;    // pi/2
constexpr int32_t OneQ25 = 0x2000000;
constexpr int32_t AtanSeriesEnd = 42949673;  // 1.28 in Q25: the end of the series around 1
constexpr int32_t QuarterPiQ30 = 843314842;  // pi/4, as the series around 1 starts
constexpr int32_t HalfPiAtanQ30 = 1686630144; // pi/2 as the large-argument form needs it
constexpr int32_t HalfPiQ29 = 843314857;

inline int32_t magnitude(int32_t x)
{
    return x == INT32_MIN ? INT32_MAX : (x < 0 ? -x : x);
}

} // namespace

extern "C" {

int32_t RezTools_SinCosTable(int32_t angle, int exponent, int32_t *sine, int32_t *cosine)
{
    if (exponent > 21)
        exponent = 21;
    const int step = 21 - exponent > 31 ? 31 : 21 - exponent;
    const int32_t p = RezTools_MulQ31(angle, InvPiQ31);
    const int32_t index = p >> step;
    const int32_t i = (index < 0 ? -index : index) % 1024;
    const int32_t folded = i <= 512 ? i : 1024 - i;
    int32_t s, c;
    if (folded <= 256) {
        const uint32_t entry = RezTools_SineTable[folded];
        s = static_cast<int16_t>(entry >> 16);
        c = static_cast<int16_t>(entry & 0xFFFF);
    } else {
        const uint32_t entry = RezTools_SineTable[512 - folded];
        c = static_cast<int16_t>(entry >> 16);
        s = static_cast<int16_t>(entry & 0xFFFF);
    }
    if (index & 0x400)
        s = -s;
    if ((index + 512) & 0x400)
        c = -c;
    *sine = static_cast<int32_t>(static_cast<uint32_t>(s) << 16);
    *cosine = static_cast<int32_t>(static_cast<uint32_t>(c) << 16);

    const int64_t rest = p & static_cast<int32_t>(RezTools_BitMask[step]);
    const int64_t residual = ((rest * HalfPiQ30) >> 29) & ~int64_t{7};
    return static_cast<int32_t>(exponent >= 0 ? residual << exponent : residual >> -exponent);
}

int32_t RezTools_Cos(int32_t angle, int exponent)
{
    int32_t s, c;
    const int32_t residual = RezTools_SinCosTable(angle, exponent, &s, &c);
    return c - RezTools_MulQ31(residual, s);
}

int32_t RezTools_Sin(int32_t angle, int exponent)
{
    int32_t s, c;
    const int32_t residual = RezTools_SinCosTable(angle, exponent, &s, &c);
    return s + RezTools_MulQ31(residual, c);
}

void RezTools_SinCosPairs(const int32_t *angles, int count, int exponent, int32_t *out)
{
    for (int i = 0; i < count; ++i) {
        int32_t s, c;
        const int32_t residual = RezTools_SinCosTable(angles[i], exponent, &s, &c);
        out[2 * i] = c - RezTools_MulQ31(residual, s);
        out[2 * i + 1] = s + RezTools_MulQ31(residual, c);
    }
}

int32_t RezTools_Atan(int32_t x)
{
    const int32_t ax = magnitude(x);
    int32_t result;
    if (ax < OneQ25) {
        const int32_t u = ax << 6;
        const int64_t s = RezTools_MulQ31(u, u);
        int64_t t = ((s * -82150838) >> 32) + 155673760;
        t = ((t * s) >> 32) - 172085008;
        t = (((t * s) >> 32) << 2) + 1072811392;
        result = RezTools_MulQ31(static_cast<int32_t>(t), u);
    } else if (ax < AtanSeriesEnd) {
        const int64_t d = int64_t{ax - OneQ25} * 32;
        result = static_cast<int32_t>(d / 2 - ((d * d) >> 32) + QuarterPiQ30);
    } else {
        const int64_t square = int64_t{ax} * ax;
        int e;
        const int32_t m = RezTools_DivideNormalized(ax, static_cast<int32_t>((square >> 32) + 0x13000), &e);
        const int shift = e - 8;
        const int32_t q = shift >= 0 ? static_cast<int32_t>(static_cast<uint32_t>(m) << (shift > 31 ? 31 : shift))
                                     : m >> (-shift > 31 ? 31 : -shift);
        return x < 0 ? q - HalfPiAtanQ30 : HalfPiAtanQ30 - q;
    }
    return x < 0 ? -result : result;
}

int32_t RezTools_Atan2(int32_t y, int32_t x)
{
    // Straight up or down: answered before any division by x.
    if (x == 0)
        return y > 0 ? HalfPiQ29 : (y < 0 ? -HalfPiQ29 : 0);
    int e;
    int32_t ratio = RezTools_DivideNormalized(magnitude(y), magnitude(x), &e);
    const bool negative = (y < 0) != (x < 0);
    if (negative)
        ratio = -ratio;
    int32_t angle;
    if (e < 7) {
        const int shift = 6 - e;
        angle = RezTools_Atan(ratio >> (shift > 31 ? 31 : shift));
    } else {
        const int32_t entry = RezTools_AtanTable[e < 25 ? e : 25];
        angle = ratio == 0 ? 0 : (negative ? -entry : entry);
    }
    angle >>= 1;
    if (x > 0)
        return angle;
    return y >= 0 ? angle + REZ_PI_Q29 : angle - REZ_PI_Q29;
}

} // extern "C"
