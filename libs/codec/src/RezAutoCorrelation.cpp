// Second-order autocorrelation of one subband's QMF samples with block normalisation,
// for fitting a second-order linear predictor per subband.
#include "RezTools.h"
#include "RezTransformInternal.h"

namespace {

using rez::hiMul;

int leadingZeros(uint32_t v)
{
    return v == 0 ? 32 : __builtin_clz(v);
}

uint32_t magnitude(int32_t v)
{
    return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

// Shifts every value left so that the largest keeps one sign bit; returns the shift
// (31 when all are zero).
int normalise(int32_t *const *values, int count)
{
    uint32_t all = 0;
    for (int i = 0; i < count; ++i)
        all |= magnitude(*values[i]);
    const int h = all == 0 ? 31 : leadingZeros(all) - 1;
    for (int i = 0; i < count; ++i)
        *values[i] = static_cast<int32_t>(static_cast<uint32_t>(*values[i]) << h);
    return h;
}

} // namespace

extern "C" {

int RezTools_AutoCorrelationComplex(RezAutoCorrelation *ac, const int32_t *re, const int32_t *im, int n)
{
    const int sh = n < 65 ? 5 : 6;
    auto energy = [&](int j) { return (hiMul(re[j], re[j]) + hiMul(im[j], im[j])) >> sh; };
    auto realPart = [&](int later, int j) { return (hiMul(re[later], re[j]) + hiMul(im[later], im[j])) >> sh; };
    auto imagPart = [&](int later, int j) { return (hiMul(im[later], re[j]) - hiMul(re[later], im[j])) >> sh; };

    int32_t sharedEnergy = 0, lag1 = 0, lag1Imag = 0;
    int32_t lag2 = realPart(0, -2), lag2Imag = imagPart(0, -2);
    for (int j = -1; j <= n - 3; ++j) {
        sharedEnergy += energy(j);
        lag1 += realPart(j + 1, j);
        lag1Imag += imagPart(j + 1, j);
        lag2 += realPart(j + 2, j);
        lag2Imag += imagPart(j + 2, j);
    }
    ac->r11 = sharedEnergy + energy(n - 2);
    ac->r22 = sharedEnergy + energy(-2);
    ac->r00 = ac->r11 - energy(-1) + energy(n - 1);
    ac->r12 = lag1 + realPart(-1, -2);
    ac->r12Imag = lag1Imag + imagPart(-1, -2);
    ac->r01 = lag1 + realPart(n - 1, n - 2);
    ac->r01Imag = lag1Imag + imagPart(n - 1, n - 2);
    ac->r02 = lag2;
    ac->r02Imag = lag2Imag;

    int32_t *const values[] = {&ac->r02, &ac->r02Imag, &ac->r12, &ac->r12Imag, &ac->r01Imag,
                               &ac->r01, &ac->r00, &ac->r22, &ac->r11};
    const int h = normalise(values, 9);

    const int32_t det = (hiMul(ac->r11, ac->r22) >> 1) - ((hiMul(ac->r12, ac->r12) + hiMul(ac->r12Imag, ac->r12Imag)) >> 1);
    const int z = leadingZeros(magnitude(det));
    ac->detMantissa = z == 32 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(det) << (z - 1));
    ac->detExponent = z - 3;
    return h - sh - 1;
}

int RezTools_AutoCorrelationReal(RezAutoCorrelation *ac, const int32_t *x, int n)
{
    constexpr int sh = 5;
    auto product = [&](int a, int b) { return hiMul(x[a], x[b]); };

    int32_t sharedEnergy = product(-1, -1) >> sh;
    int32_t lag1 = product(0, -1) >> sh;
    int32_t lag2 = (product(0, -2) + product(1, -1)) >> sh;
    // Two samples per step: energies at j and j+1, lag-1 pairs (j, j+1) and (j+1, j+2),
    // lag-2 pairs (j, j+2) and (j+1, j+3).
    for (int j = 0; j <= n - 4; j += 2) {
        sharedEnergy += (product(j, j) + product(j + 1, j + 1)) >> sh;
        lag1 += (product(j + 1, j) + product(j + 2, j + 1)) >> sh;
        lag2 += (product(j + 2, j) + product(j + 3, j + 1)) >> sh;
    }
    ac->r11 = sharedEnergy + (product(n - 2, n - 2) >> sh);
    ac->r22 = sharedEnergy + (product(-2, -2) >> sh);
    ac->r12 = lag1 + (product(-1, -2) >> sh);
    ac->r01 = lag1 + (product(n - 1, n - 2) >> sh);
    ac->r02 = lag2;

    int32_t *const values[] = {&ac->r02, &ac->r12, &ac->r01, &ac->r22, &ac->r11};
    const int h = normalise(values, 5);

    const int32_t det = hiMul(ac->r11, ac->r22) - hiMul(ac->r12, ac->r12);
    if (det == 0) {
        ac->detMantissa = 0;
        ac->detExponent = -1;
    } else {
        const int z = leadingZeros(magnitude(det));
        ac->detMantissa = static_cast<int32_t>(static_cast<uint32_t>(det) << (z - 1));
        ac->detExponent = z - 2;
    }
    return h - 6;
}

} // extern "C"
