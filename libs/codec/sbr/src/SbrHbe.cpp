// Band layout, crossover bands and the phase-multiplying kernel of the harmonic
// high-band generator.
#include "SbrHbe.h"

#include "RezTools.h"
#include "SbrPair.h"

#include <algorithm>
#include <new>

namespace {

using namespace sbr;

constexpr int StandardFrameSize = 768; // its HBE slot count is fixed at 32
constexpr int MaxStartBandGroup = 4; // (kx + 4) / 8
constexpr int MaxInnerBands = 32;    // 2 · synthesis bands - 8 at most
constexpr int NearBorder = 4;        // a crossover this close above a border snaps to it
constexpr int RootSteps = 128;       // interpolation steps of the mantissa range [0.5, 1)

// First QMF band of the transposed low band, by first SBR band 0..32.
constexpr int firstTransposedBandFor(int kx)
{
    return kx <= 6 ? 0 : kx <= 9 ? 2 : kx <= 14 ? 4 : kx <= 17 ? 6 : kx <= 22 ? 8 : kx <= 25 ? 10 : 12;
}

// x^(-1/n) for tables built at compile time.
constexpr double inverseRoot(double x, int n)
{
    if (n == 3) {
        double r = 1; // Newton on r^3 = 1 / x
        for (int i = 0; i < 60; ++i)
            r = (2 * r + 1 / (x * r * r)) / 3;
        return r;
    }
    for (int k = n; k > 1; k /= 2)
        x = tableSquareRoot(x);
    return 1 / x;
}

// (0.5 + i / 256)^(-1/n) for i = 0..128 (Q30) and 2^(-k/n) for k = 0..n-1 (Q31).
template <int N>
struct RootTables {
    int32_t mantissa[RootSteps + 1];
    int32_t exponent[N];
    constexpr RootTables() : mantissa(), exponent()
    {
        for (int i = 0; i <= RootSteps; ++i)
            mantissa[i] = static_cast<int32_t>(inverseRoot(0.5 + i / 256.0, N) * 1073741824.0 + 0.5);
        for (int k = 0; k < N; ++k) {
            const double v = inverseRoot(k == 0 ? 1.0 : 2.0, N);
            double p = 1;
            for (int j = 0; j < k; ++j)
                p *= v;
            exponent[k] = k == 0 ? INT32_MAX : static_cast<int32_t>(p * 2147483648.0 + 0.5);
        }
    }
};
constexpr RootTables<4> FourthRoots;
constexpr RootTables<3> CubeRoots;
constexpr RootTables<8> EighthRoots;

// (m · 2^e)^(-1/N) by linear interpolation over the mantissa and the remainder table.
template <int N>
Pair inverseRootOf(const RootTables<N> &table, int32_t m, int e)
{
    const Pair x = normalised(m, e);
    if (x.m <= 0)
        return {};
    const uint32_t offset = static_cast<uint32_t>(x.m) - 0x40000000u; // [0, 2^30)
    const uint32_t index = offset >> 23, fraction = (offset >> 7) & 0xFFFF;
    const int64_t lo = table.mantissa[index], hi = table.mantissa[index + 1];
    const int64_t mantissa = lo + (((hi - lo) * fraction) >> 16); // Q30
    // 2^(-e/N) = 2^(-q) · 2^(-r/N) with e = qN + r, 0 ≤ r < N.
    const int q = (x.e >= 0 ? x.e : x.e - (N - 1)) / N, r = x.e - q * N;
    return product(normalised(mantissa, 1), normalised(table.exponent[r], -q));
}

int32_t withExponent(Pair p, int *eOut)
{
    *eOut = p.e;
    return p.m;
}

// Output weight of factors 2, 3, 4 (Q31): 1/3, 0.4714, 2/3.
constexpr int32_t OrderWeights[3] = {0x2AAAAAC0, 0x3C56D5C0, 0x55555580};

} // namespace

extern "C" {

int SbrDec_HbeCreate(SbrHbeTransposer **transposer, int frameSize, int disableCrossProducts, int fourToOne)
{
    if (!transposer)
        return 0;
    auto *t = new (std::nothrow) SbrHbeTransposer{};
    if (!t)
        return SBR_HBE_OUT_OF_MEMORY;
    t->frameSize = frameSize;
    t->fourToOne = fourToOne != 0;
    t->slotCount = frameSize == StandardFrameSize ? 32 : (1 + t->fourToOne) * frameSize * 2 / 64;
    t->analysisBands = t->slotCount > 0 ? frameSize / t->slotCount : 0;
    for (int &enabled : t->crossProducts)
        enabled = !disableCrossProducts;
    *transposer = t;
    return 0;
}

void SbrDec_HbeClose(SbrHbeTransposer *transposer) { delete transposer; }

int SbrDec_HbeReInit(SbrHbeTransposer *t, const SbrBandTables *tables)
{
    const int highCount = tables->highCount, lowCount = tables->lowCount;
    if (highCount < 1 || lowCount < 1)
        return SBR_HBE_UNSUPPORTED;
    const uint8_t *hi = tables->high, *lo = tables->low;
    const int kx = hi[0];
    const int group = (kx + 4) / 8;
    const int synthesisBands = 4 * group + 4;
    if (group > MaxStartBandGroup || 2 * synthesisBands - 8 > MaxInnerBands)
        return SBR_HBE_UNSUPPORTED;
    int first = firstTransposedBandFor(std::min(kx, 32));
    const int limit = t->fourToOne ? 16 : t->frameSize == StandardFrameSize ? 24 : 0;
    if (limit > 0 && first + synthesisBands > limit)
        first = limit - synthesisBands;
    t->kx = kx;
    t->stopBand = hi[highCount];
    t->synthesisBandCount = synthesisBands;
    t->firstTransposedBand = first;

    // Factor T fills [crossoverBands[T-2], crossoverBands[T-1]): each crossover is the
    // high-resolution border just below i · kx when that is near, else the
    // low-resolution border below it.
    const int orders = t->fourToOne ? SBR_HBE_MAX_CROSSOVER : 4;
    std::fill(t->crossoverBands, t->crossoverBands + SBR_HBE_MAX_CROSSOVER, uint8_t{0});
    int i = 1;
    for (; i < orders; ++i) {
        const int target = i * kx;
        const uint8_t *above = std::upper_bound(hi, hi + highCount + 1, target);
        if (above == hi + highCount + 1)
            break;
        const int below = above == hi ? hi[0] : above[-1];
        if (target - below < NearBorder) {
            t->crossoverBands[i - 1] = static_cast<uint8_t>(below);
        } else {
            const uint8_t *low = std::upper_bound(lo, lo + lowCount + 1, target);
            t->crossoverBands[i - 1] = low == lo ? lo[0] : low[-1];
        }
    }
    t->crossoverBands[i - 1] = static_cast<uint8_t>(t->stopBand);
    t->highestOrder = std::clamp(i, 2, 4);
    return 0;
}

const uint8_t *SbrDec_HbeCrossoverBands(const SbrHbeTransposer *t) { return t->crossoverBands; }

int SbrDec_HbeHighestOrder(const SbrHbeTransposer *t) { return t->highestOrder; }

void SbrDec_HbeComplexMultiply(int32_t aRe, int32_t aIm, int32_t bRe, int32_t bIm, int32_t *outRe, int32_t *outIm)
{
    *outRe = saturatedWord((int64_t{aRe} * bRe - int64_t{aIm} * bIm) >> 31);
    *outIm = saturatedWord((int64_t{aRe} * bIm + int64_t{aIm} * bRe) >> 31);
}

int32_t SbrDec_HbeRoot4(int32_t m, int e, int *eOut) { return withExponent(inverseRootOf(FourthRoots, m, e), eOut); }

int32_t SbrDec_HbeRoot3(int32_t m, int e, int *eOut) { return withExponent(inverseRootOf(CubeRoots, m, e), eOut); }

int32_t SbrDec_HbeRoot38(int32_t m, int e, int *eOut)
{
    const Pair r = inverseRootOf(EighthRoots, m, e);
    return withExponent(product(product(r, r), r), eOut);
}

int SbrDec_HbeNormalisePair(int32_t *re, int32_t *im, int budget)
{
    const int shift = std::clamp(std::min(RezTools_Norm(*re), RezTools_Norm(*im)) - 2, 0, std::max(budget, 0));
    *re = static_cast<int32_t>(static_cast<uint32_t>(*re) << shift);
    *im = static_cast<int32_t>(static_cast<uint32_t>(*im) << shift);
    return shift;
}

void SbrDec_HbeTransposeBand(int32_t re, int32_t im, int order, int32_t *outRe, int32_t *outIm)
{
    *outRe = *outIm = 0;
    if ((re == 0 && im == 0) || order < 2 || order > 4)
        return;
    // x = (a, b) · 2^-s; |x|^2 = (a² + b²) · 2^-2s.
    int32_t a = re, b = im;
    const int s = SbrDec_HbeNormalisePair(&a, &b, 31);
    const int64_t power = int64_t{a} * a + int64_t{b} * b;
    const Pair magnitudeSquared = normalised(power, 31 - 2 * s);
    // y = x · |x|^(-(T-1)/T) has the magnitude |x|^(1/T); y^T has |x| and T times the phase.
    int e = 0;
    const int32_t root = order == 2   ? SbrDec_HbeRoot4(magnitudeSquared.m, magnitudeSquared.e, &e)
                         : order == 3 ? SbrDec_HbeRoot3(magnitudeSquared.m, magnitudeSquared.e, &e)
                                      : SbrDec_HbeRoot38(magnitudeSquared.m, magnitudeSquared.e, &e);
    int32_t yRe = static_cast<int32_t>((int64_t{a} * root) >> 31), yIm = static_cast<int32_t>((int64_t{b} * root) >> 31);
    int yExponent = e - s;                 // y = (yRe, yIm) · 2^yExponent in sample words
    yExponent -= SbrDec_HbeNormalisePair(&yRe, &yIm, 31);
    int32_t zRe = yRe, zIm = yIm;
    int zExponent = yExponent;
    for (int t = 1; t < order; ++t) {
        SbrDec_HbeComplexMultiply(zRe, zIm, yRe, yIm, &zRe, &zIm);
        zExponent += yExponent + 31;
        zExponent -= SbrDec_HbeNormalisePair(&zRe, &zIm, 31);
    }
    *outRe = shiftedWord(zRe, zExponent);
    *outIm = shiftedWord(zIm, zExponent);
}

void SbrDec_HbeTransposeRow(const SbrHbeTransposer *t, const int32_t *inReal, const int32_t *inImag, int32_t *outReal,
                            int32_t *outImag)
{
    const int innerBands = 2 * t->synthesisBandCount;
    for (int order = 2; order <= t->highestOrder; ++order) {
        const int lo = t->crossoverBands[order - 2], hi = std::min<int>(t->crossoverBands[order - 1], SBR_HBE_BANDS);
        for (int k = lo; k < hi; ++k) {
            // Fine band 2k / T relative to the transposed low band, the remainder r
            // weighting the next fine band by r / T.
            const int source = 2 * k / order - 2 * t->firstTransposedBand, r = 2 * k % order;
            int64_t sumRe = 0, sumIm = 0;
            for (int j = 0; j < (r ? 2 : 1); ++j) {
                const int band = source + j;
                if (band < 0 || band >= innerBands || band >= SBR_HBE_BANDS)
                    continue;
                int32_t yRe = 0, yIm = 0;
                SbrDec_HbeTransposeBand(inReal[band], inImag[band], order, &yRe, &yIm);
                const int weight = j == 0 ? order - r : r;
                sumRe += int64_t{yRe} * weight;
                sumIm += int64_t{yIm} * weight;
            }
            const int64_t w = OrderWeights[order - 2];
            outReal[k] = saturatedWord(((sumRe / order) * w) >> 31);
            outImag[k] = saturatedWord(((sumIm / order) * w) >> 31);
        }
    }
}

} // extern "C"
