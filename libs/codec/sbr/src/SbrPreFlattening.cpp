// Pre-flattening of the low band before patching: a smooth (cubic) fit of the low bands'
// levels in dB, whose inverse flattens the spectral tilt the patches would otherwise
// copy up.
#include "SbrLpp.h"
#include "SbrPair.h"

#include <algorithm>

namespace {

using namespace sbr;

constexpr int Order = 4; // cubic: four coefficients
// 10 log10(2) and log2(10) / 20 (Q31 with exponents 4 and -2: 3.0103 and 0.1661).
constexpr Pair DecibelsPerOctave{static_cast<int32_t>(10 * 0.30102999566398120 / 16 * 2147483648.0), 4};
constexpr Pair OctavesPerTwentyDecibels{static_cast<int32_t>(0.16609640474436813 * 4 * 2147483648.0), -2};

// Mean |X|^2 of band k over the slots [from, to), each sample worth x · 2^-exponent.
Pair meanEnergy(int32_t *const *re, int32_t *const *im, int k, int from, int to, int exponent)
{
    unsigned __int128 total = 0;
    for (int i = from; i < to; ++i)
        total += static_cast<unsigned __int128>(int64_t{re[i][k]} * re[i][k])
                 + static_cast<unsigned __int128>(int64_t{im[i][k]} * im[i][k]);
    if (total == 0)
        return {};
    int e = 0;
    while (total > static_cast<unsigned __int128>(INT32_MAX)) {
        total >>= 1;
        ++e;
    }
    return normalised(static_cast<int64_t>(total), e + 31 - 2 * exponent);
}

// 10^(decibels / 20) as a pair.
Pair amplitudeOf(Pair decibels)
{
    const Pair octaves = product(decibels, OctavesPerTwentyDecibels);
    int e = 0;
    const int32_t m = RezTools_Exp2(octaves.m, octaves.e, &e);
    return normalised(m, e);
}

// The fit's abscissa for band k of K: (2k - (K - 1)) / 64, centred for a well
// conditioned fit.
Pair abscissa(int k, int count) { return normalised(2 * k - (count - 1), 31 - 6); }

// Solves the 4 x 4 normal equations (augmented with the right-hand side) by elimination
// with partial pivoting; false for a singular system.
bool solveNormalEquations(Pair (&a)[Order][Order + 1], Pair (&c)[Order])
{
    for (int col = 0; col < Order; ++col) {
        int pivot = col;
        for (int r = col + 1; r < Order; ++r)
            if (largerMagnitude(a[r][col], a[pivot][col]))
                pivot = r;
        if (a[pivot][col].m == 0)
            return false;
        std::swap(a[col], a[pivot]);
        for (int r = col + 1; r < Order; ++r) {
            const Pair f = quotient(a[r][col], a[col][col]);
            for (int j = col; j <= Order; ++j)
                a[r][j] = sum(a[r][j], negated(product(f, a[col][j])));
        }
    }
    for (int i = Order - 1; i >= 0; --i) {
        Pair rest = a[i][Order];
        for (int j = i + 1; j < Order; ++j)
            rest = sum(rest, negated(product(a[i][j], c[j])));
        c[i] = quotient(rest, a[i][i]);
    }
    return true;
}

} // namespace

extern "C" void SbrDec_PreFlatteningGains(int32_t *const *qmfReal, int32_t *const *qmfImag, int bandCount,
                                          int startSample, int stopSample, int overlap, int overlapExponent,
                                          int lowBandExponent, int32_t *gain, int *gainExponent)
{
    bandCount = std::min(bandCount, SBR_LPP_LOW_BANDS);
    const int slots = stopSample - startSample;
    if (bandCount <= 0 || slots <= 0)
        return;
    const int split = std::clamp(overlap, startSample, stopSample);
    const Pair perSlot = quotient(One, normalised(slots, 31));

    // Level of each band in dB, and their mean.
    Pair level[SBR_LPP_LOW_BANDS], mean;
    for (int k = 0; k < bandCount; ++k) {
        const Pair energy = product(sum(meanEnergy(qmfReal, qmfImag, k, startSample, split, overlapExponent),
                                        meanEnergy(qmfReal, qmfImag, k, split, stopSample, lowBandExponent)),
                                    perSlot);
        level[k] = {};
        if (energy.m > 0) {
            int e = 0;
            const int32_t m = RezTools_Log2(energy.m, energy.e, &e);
            level[k] = product(normalised(m, e), DecibelsPerOctave);
        }
        mean = sum(mean, level[k]);
    }
    mean = quotient(mean, normalised(bandCount, 31));
    for (int k = 0; k < bandCount; ++k)
        level[k] = sum(mean, negated(level[k])); // the correction each band needs

    Pair c[Order];
    Pair a[Order][Order + 1] = {};
    bool fitted = false;
    if (bandCount >= 5) {
        for (int k = 0; k < bandCount; ++k) {
            const Pair x = abscissa(k, bandCount);
            Pair power[2 * Order - 1] = {One};
            for (int j = 1; j < 2 * Order - 1; ++j)
                power[j] = product(power[j - 1], x);
            for (int i = 0; i < Order; ++i) {
                for (int j = 0; j < Order; ++j)
                    a[i][j] = sum(a[i][j], power[i + j]);
                a[i][Order] = sum(a[i][Order], product(level[k], power[i]));
            }
        }
        fitted = solveNormalEquations(a, c);
    }
    for (int k = 0; k < bandCount; ++k) {
        Pair decibels = level[k];
        if (fitted) { // Horner's rule
            const Pair x = abscissa(k, bandCount);
            decibels = c[Order - 1];
            for (int i = Order - 2; i >= 0; --i)
                decibels = sum(product(decibels, x), c[i]);
        }
        const Pair g = amplitudeOf(decibels);
        gain[k] = g.m;
        gainExponent[k] = g.e;
    }
}
