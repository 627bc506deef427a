// Gains of the envelope adjustment in mantissa/exponent arithmetic, and the limiter band
// table they are limited over.
#include "SbrEnvelopeAdjuster.h"

#include "RezTools.h"
#include "SbrPair.h"

#include <algorithm>

namespace {

using namespace sbr;


Pair at(const int32_t *m, const int8_t *e, int k) { return normalised(m[k], e[k]); }

// Limiter gains (energy domain) of the 2-bit field: 0.5012, 1.0, 1.9953, 1.0e20.
constexpr Pair LimiterGains[4] = {{0x4027 << 16, 0}, {0x4000 << 16, 1}, {0x7FB2 << 16, 1}, {0x56BC << 16, 67}};
// Largest max gain: 2^33, or 1.0 in a concealed frame.
constexpr int MaxGainExponent = 34, ConcealedMaxGainExponent = 1;
constexpr int LimiterGainExponentCap = 127;
// Boost cap 10^0.4 (4 dB in energy).
constexpr Pair BoostCap{0x50615F80, 2};

// Limiter bands per octave / 4 (Q31) for the field values 1..3: 1.2, 2.0, 3.0.
constexpr int32_t LimiterBandsPerOctave[4] = {0, 0x26666680, 0x40000000, 0x60000000};
constexpr int64_t MinimumBandOctaves = 0x00FAE148; // 0.49 in Q25

// sqrt(i / 64) for i = 0..64 (Q31, 1.0 saturated), for interpolation.
struct SqrtTable {
    int32_t v[65];
    constexpr SqrtTable() : v()
    {
        for (int i = 0; i <= 64; ++i) {
            const double s = tableSquareRoot(i / 64.0) * 2147483648.0;
            v[i] = s >= 2147483647.0 ? INT32_MAX : static_cast<int32_t>(s + 0.5);
        }
    }
};
constexpr SqrtTable Roots;

// Σ |X|^2 over bands [lo, hi) and the slots, as a pair divided by the sample count.
Pair meanEnergy(int32_t *const *re, int32_t *const *im, bool realMode, int startSlot, int stopSlot, int lo, int hi)
{
    unsigned __int128 total = 0;
    for (int i = startSlot; i < stopSlot; ++i)
        for (int k = lo; k < hi; ++k) {
            total += static_cast<unsigned __int128>(int64_t{re[i][k]} * re[i][k]);
            if (!realMode)
                total += static_cast<unsigned __int128>(int64_t{im[i][k]} * im[i][k]);
        }
    const int count = (stopSlot - startSlot) * (hi - lo);
    if (total == 0 || count <= 0)
        return {};
    int e = 0;
    while (total > static_cast<unsigned __int128>(INT32_MAX)) {
        total >>= 1;
        ++e;
    }
    return quotient(normalised(static_cast<int64_t>(total), e + 31), normalised(count, 31));
}

// Σ |X|^2 of one slot over the bands [lo, hi) as a pair.
Pair slotEnergy(const int32_t *re, const int32_t *im, int lo, int hi)
{
    unsigned __int128 total = 0;
    for (int k = lo; k < hi; ++k)
        total += static_cast<unsigned __int128>(int64_t{re[k]} * re[k]) + static_cast<unsigned __int128>(int64_t{im[k]} * im[k]);
    int e = 31;
    while (total > static_cast<unsigned __int128>(INT32_MAX)) {
        total >>= 1;
        ++e;
    }
    return normalised(static_cast<int64_t>(total), e);
}

// x · g, saturated.
int32_t scaled(int32_t x, Pair g)
{
    return RezTools_ScaleValueSaturate(static_cast<int32_t>((int64_t{x} * g.m) >> 32), g.e + 1);
}

int32_t squareRootOf(Pair p, int *e) { return SbrDec_Sqrt(p.m, p.e, e); }

} // namespace

extern "C" {

void SbrDec_EnvelopeAdjusterRestart(SbrEnvelopeAdjuster *envCalc)
{
    envCalc->smoothedNoiseExponent = 0;
    envCalc->noiseTablePosition = 0;
    envCalc->firstEnvelopePending = 1;
}

int SbrDec_EnvelopeAdjusterReset(SbrEnvelopeAdjuster *envCalc, const SbrBandRequest *request, SbrBandTables *tables,
                                 int channel)
{
    envCalc->previousSineBands = 0;
    envCalc->previousActiveSineBands = 0;
    envCalc->sinePhase = 0;
    envCalc->noiseTablePosition = 0;
    envCalc->smoothedNoiseExponent = 0;
    envCalc->previousTransientEnvelope = -1;
    envCalc->firstEnvelopePending = 1;
    return channel == 0 ? SbrDec_BuildBandTables(request, tables) : 0;
}

void SbrDec_SineMapping(SbrEnvelopeAdjuster *envCalc, const uint8_t *freqBandTableHi, int nSfbHi,
                        const uint8_t *sineFlags, int transientEnvelope, uint8_t *sineMapped)
{
    std::fill(sineMapped, sineMapped + SBR_MAX_ADJUSTED_BANDS, static_cast<uint8_t>(SBR_NO_SINE));
    const int kx = freqBandTableHi[0];
    uint64_t bands = 0;
    for (int i = 0; i < nSfbHi && i < SBR_MAX_ADJUSTED_BANDS; ++i) {
        if (!sineFlags[i])
            continue;
        const int middle = (freqBandTableHi[i] + freqBandTableHi[i + 1]) >> 1;
        if (middle < kx || middle - kx >= SBR_MAX_ADJUSTED_BANDS || middle >= SBR_QMF_BANDS)
            continue;
        const uint64_t bit = uint64_t{1} << middle;
        bands |= bit;
        const bool continues = (envCalc->previousSineBands & bit) != 0;
        sineMapped[middle - kx] = static_cast<uint8_t>(continues || transientEnvelope < 0 ? 0 : transientEnvelope);
    }
    envCalc->previousSineBands = bands;
}

void SbrDec_EnvelopeSineFlags(const uint8_t *sineMapped, const uint8_t *freqBandTable, int nSfb, int envelope,
                              SbrBandLevels *levels)
{
    const int kx = freqBandTable[0];
    for (int j = 0; j < nSfb; ++j) {
        const int lo = freqBandTable[j] - kx, hi = std::min(freqBandTable[j + 1] - kx, SBR_MAX_ADJUSTED_BANDS);
        const bool sounds = std::any_of(sineMapped + std::max(lo, 0), sineMapped + std::max(hi, 0),
                                        [&](uint8_t entry) { return entry <= envelope; });
        for (int k = std::max(lo, 0); k < hi; ++k) {
            levels->sineInScaleFactorBand[k] = sounds;
            levels->sineHere[k] = sineMapped[k] <= envelope;
        }
    }
}

int SbrDec_EnvelopeWithoutNoise(const SbrEnvelopeAdjuster *envCalc, int envelope, int transientEnvelope)
{
    return envelope == transientEnvelope || envelope == envCalc->previousTransientEnvelope;
}

void SbrDec_EndOfFrameTransient(SbrEnvelopeAdjuster *envCalc, int transientEnvelope, int envelopeCount)
{
    envCalc->previousTransientEnvelope = static_cast<int8_t>(transientEnvelope == envelopeCount ? 0 : -1);
}

void SbrDec_EstimateEnergyPerBand(int32_t *const *qmfReal, int32_t *const *qmfImag, int realMode, int startSlot,
                                  int stopSlot, int kx, int bandCount, int32_t *energy, int8_t *exponent)
{
    for (int k = 0; k < bandCount && k < SBR_MAX_ADJUSTED_BANDS && kx + k < SBR_QMF_BANDS; ++k) {
        const Pair p = meanEnergy(qmfReal, qmfImag, realMode != 0, startSlot, stopSlot, kx + k, kx + k + 1);
        energy[k] = p.m;
        exponent[k] = static_cast<int8_t>(p.e);
    }
}

void SbrDec_EstimateEnergyPerSfb(int32_t *const *qmfReal, int32_t *const *qmfImag, int realMode, int startSlot,
                                 int stopSlot, const uint8_t *freqBandTable, int nSfb, int32_t *energy,
                                 int8_t *exponent)
{
    const int kx = freqBandTable[0];
    for (int j = 0; j < nSfb; ++j) {
        const int lo = freqBandTable[j], hi = std::min<int>(freqBandTable[j + 1], SBR_QMF_BANDS);
        const Pair p = meanEnergy(qmfReal, qmfImag, realMode != 0, startSlot, stopSlot, lo, hi);
        for (int k = lo; k < hi && k - kx < SBR_MAX_ADJUSTED_BANDS; ++k) {
            energy[k - kx] = p.m;
            exponent[k - kx] = static_cast<int8_t>(p.e);
        }
    }
}

int32_t SbrDec_Sqrt(int32_t m, int e, int *eOut)
{
    if (m <= 0) {
        *eOut = 0;
        return 0;
    }
    Pair p = normalised(m, e); // mantissa in [0.5, 1)
    uint32_t x = static_cast<uint32_t>(p.m);
    if (p.e & 1) { // an odd exponent halves the mantissa: [0.25, 0.5)
        x >>= 1;
        ++p.e;
    }
    const uint32_t index = x >> 25, fraction = (x >> 9) & 0xFFFF; // x = (index + fraction) / 64
    const int64_t lo = Roots.v[index], hi = Roots.v[index + 1];
    const int64_t root = lo + (((hi - lo) * fraction) >> 16);
    const Pair r = normalised(root, p.e / 2);
    *eOut = r.e;
    return r.m;
}

int SbrDec_LimiterBands(uint8_t *limiterBandTable, uint8_t *limiterBandCount, const uint8_t *freqBandTableLo,
                        int nSfbLo, const SbrPatch *patches, int patchCount, int limiterBands, int lppPatching,
                        const uint8_t *harmonicBorders, int harmonicMode)
{
    if (nSfbLo <= 0 || nSfbLo > SBR_MAX_ADJUSTED_BANDS)
        return SBR_LPP_UNSUPPORTED;
    const int kx = freqBandTableLo[0];
    if (limiterBands == 0) {
        limiterBandTable[0] = 0;
        limiterBandTable[1] = static_cast<uint8_t>(freqBandTableLo[nSfbLo] - kx);
        *limiterBandCount = 1;
        return 0;
    }
    // Absolute QMF borders: the low-resolution edges, the patch starts and the top of
    // the range, which also counts as a patch border.
    const int top = freqBandTableLo[nSfbLo];
    int patchBorders[SBR_MAX_PATCHES + 1];
    int patchBorderCount = 0;
    if (lppPatching || !harmonicBorders) {
        for (int p = 0; p < patchCount && p < SBR_MAX_PATCHES; ++p)
            patchBorders[patchBorderCount++] = patches[p].patchGuardFirst;
    } else {
        const int last = harmonicMode == 1 ? 5 : 3;
        const int used = static_cast<int>(std::count_if(harmonicBorders + 1, harmonicBorders + last + 1,
                                                        [](uint8_t b) { return b != 0; }));
        for (int i = 0; i < used; ++i)
            patchBorders[patchBorderCount++] = harmonicBorders[i];
    }
    patchBorders[patchBorderCount++] = top;
    int borders[SBR_MAX_ADJUSTED_BANDS + 1 + SBR_MAX_PATCHES + 1];
    int count = 0;
    for (int i = 0; i <= nSfbLo; ++i)
        borders[count++] = freqBandTableLo[i];
    for (int i = 0; i < patchBorderCount; ++i)
        borders[count++] = patchBorders[i];
    std::sort(borders, borders + count);
    auto isPatchBorder = [&](int v) { return std::find(patchBorders, patchBorders + patchBorderCount, v) != patchBorders + patchBorderCount; };
    auto remove = [&](int i) {
        std::copy(borders + i + 1, borders + count, borders + i);
        --count;
    };
    // Neighbours closer than 0.49 of a limiter band: one goes, a patch border only for a
    // band edge; two patch borders both stay.
    const int32_t perOctave = LimiterBandsPerOctave[limiterBands & 3];
    for (int k = 1; k < count;) {
        const int lower = borders[k - 1], upper = borders[k];
        if (upper == lower) {
            remove(k);
            continue;
        }
        const int64_t octaves = lower <= 0 ? INT32_MAX : RezTools_Log2Int(upper) - RezTools_Log2Int(lower); // Q25
        if (((octaves * perOctave) >> 29) >= MinimumBandOctaves)
            ++k;
        else if (!isPatchBorder(upper))
            remove(k);
        else if (!isPatchBorder(lower))
            remove(k - 1);
        else
            ++k;
    }
    const int bands = count - 1;
    if (bands < 1 || bands > SBR_MAX_LIMITER_BANDS)
        return SBR_LPP_UNSUPPORTED;
    for (int i = 0; i < count; ++i)
        limiterBandTable[i] = static_cast<uint8_t>(borders[i] - kx);
    *limiterBandCount = static_cast<uint8_t>(bands);
    return 0;
}

void SbrDec_SubbandGain(const SbrBandLevels *levels, int k, int noNoise, int32_t *gain, int *gainExponent,
                        int32_t *noise, int *noiseExponent, int32_t *sine, int *sineExponent)
{
    const Pair reference = at(levels->referenceEnergy, levels->referenceExponent, k);
    const Pair q = at(levels->noiseFloor, levels->noiseFloorExponent, k);
    const Pair onePlusQ = sum(One, q);
    const Pair onePlusEstimate = sum(One, at(levels->estimatedEnergy, levels->estimatedExponent, k));
    const Pair n = quotient(product(reference, q), onePlusQ);
    Pair g, s;
    if (levels->sineInScaleFactorBand[k]) {
        g = quotient(product(reference, q), product(onePlusEstimate, onePlusQ));
        if (levels->sineHere[k])
            s = quotient(reference, onePlusQ);
    } else {
        g = noNoise ? quotient(reference, onePlusEstimate) : quotient(reference, product(onePlusEstimate, onePlusQ));
    }
    *gain = g.m;
    *gainExponent = g.e;
    *noise = n.m;
    *noiseExponent = n.e;
    *sine = s.m;
    *sineExponent = s.e;
}

int32_t SbrDec_AverageGain(const SbrBandLevels *levels, int lo, int hi, int *eOut)
{
    Pair reference, estimate;
    for (int k = lo; k < hi; ++k) {
        reference = sum(reference, at(levels->referenceEnergy, levels->referenceExponent, k));
        estimate = sum(estimate, at(levels->estimatedEnergy, levels->estimatedExponent, k));
    }
    const Pair average = reference.m == 0 ? Pair{} : quotient(reference, estimate);
    *eOut = average.e;
    return average.m;
}

void SbrDec_EnvelopeGains(const SbrBandLevels *levels, int bandCount, const uint8_t *limiterBandTable,
                          int limiterBandCount, int limiterGains, int noNoise, int frameError, SbrBandGains *out)
{
    bandCount = std::min(std::max(bandCount, 0), SBR_MAX_ADJUSTED_BANDS);
    Pair gain[SBR_MAX_ADJUSTED_BANDS], noise[SBR_MAX_ADJUSTED_BANDS], sine[SBR_MAX_ADJUSTED_BANDS];
    for (int k = 0; k < bandCount; ++k) {
        int eg = 0, en = 0, es = 0;
        SbrDec_SubbandGain(levels, k, noNoise, &gain[k].m, &eg, &noise[k].m, &en, &sine[k].m, &es);
        gain[k].e = eg;
        noise[k].e = en;
        sine[k].e = es;
    }
    const int cap = frameError ? ConcealedMaxGainExponent : MaxGainExponent;
    for (int band = 0; band < limiterBandCount && band < SBR_MAX_LIMITER_BANDS; ++band) {
        const int lo = limiterBandTable[band], hi = std::min(static_cast<int>(limiterBandTable[band + 1]), bandCount);
        if (lo >= hi)
            continue;
        Pair average;
        average.m = SbrDec_AverageGain(levels, lo, hi, &average.e);
        Pair maxGain = product(average, LimiterGains[limiterGains & 3]);
        maxGain.e = std::min(maxGain.e, LimiterGainExponentCap);
        if (maxGain.e >= cap || (maxGain.m == 0 && average.m != 0))
            maxGain = {0x40000000, cap};
        for (int k = lo; k < hi; ++k)
            if (greater(gain[k], maxGain)) {
                noise[k] = product(noise[k], quotient(maxGain, gain[k]));
                gain[k] = maxGain;
            }
        // Give back the energy the limiting took, at most 4 dB; in a concealed frame
        // never above the limited gains.
        Pair reference, total;
        for (int k = lo; k < hi; ++k) {
            reference = sum(reference, at(levels->referenceEnergy, levels->referenceExponent, k));
            total = sum(total, product(gain[k], at(levels->estimatedEnergy, levels->estimatedExponent, k)));
            total = sum(total, sine[k]);
            if (!noNoise && !levels->sineInScaleFactorBand[k])
                total = sum(total, noise[k]);
        }
        Pair boost = total.m == 0 ? BoostCap : quotient(reference, total);
        if (greater(boost, BoostCap))
            boost = BoostCap;
        if (frameError && greater(boost, One))
            boost = One;
        for (int k = lo; k < hi; ++k) {
            gain[k] = product(gain[k], boost);
            noise[k] = product(noise[k], boost);
            sine[k] = product(sine[k], boost);
        }
    }
    for (int k = 0; k < bandCount; ++k) {
        int e = 0;
        out->gain[k] = SbrDec_Sqrt(gain[k].m, gain[k].e, &e);
        out->gainExponent[k] = static_cast<int8_t>(e);
        out->noiseLevel[k] = SbrDec_Sqrt(noise[k].m, noise[k].e, &e);
        out->noiseExponent[k] = static_cast<int8_t>(e);
        out->sineLevel[k] = SbrDec_Sqrt(sine[k].m, sine[k].e, &e);
        out->sineExponent[k] = static_cast<int8_t>(e);
    }
}

void SbrDec_AliasingReduction(SbrBandGains *gains, const SbrBandLevels *levels, const int32_t *aliasDegree, int kx,
                              int bandCount)
{
    constexpr int GroupBands = 4;
    bandCount = std::min(std::max(bandCount, 0), std::min(SBR_MAX_ADJUSTED_BANDS, SBR_QMF_BANDS - kx));
    auto sineNear = [&](int k) {
        for (int j = std::max(k - 1, 0); j <= std::min(k + 1, bandCount - 1); ++j)
            if (gains->sineLevel[j] != 0)
                return true;
        return false;
    };
    auto joins = [&](int k) { return k < bandCount && aliasDegree[kx + k] != 0 && !sineNear(k); };
    for (int first = 0; first < bandCount;) {
        int last = first;
        while (!sineNear(first) && last - first + 1 < GroupBands && joins(last + 1))
            ++last;
        if (last == first) {
            ++first;
            continue;
        }
        Pair weighted, estimate;
        Pair gain[GroupBands], energy[GroupBands];
        for (int k = first; k <= last; ++k) {
            gain[k - first] = at(gains->gain, gains->gainExponent, k);
            energy[k - first] = at(levels->estimatedEnergy, levels->estimatedExponent, k);
            weighted = sum(weighted, product(gain[k - first], energy[k - first]));
            estimate = sum(estimate, energy[k - first]);
        }
        const Pair groupGain = estimate.m == 0 ? Pair{} : quotient(weighted, estimate);
        Pair after;
        for (int k = first; k <= last; ++k) {
            const int32_t degree = k < last ? std::max(aliasDegree[kx + k], aliasDegree[kx + k + 1]) : aliasDegree[kx + k];
            const Pair a = normalised(degree, 0), keep = normalised(int64_t{INT32_MAX} - degree, 0);
            Pair &g = gain[k - first];
            g = sum(product(keep, g), product(a, groupGain));
            after = sum(after, product(g, energy[k - first]));
        }
        const Pair scale = after.m == 0 ? Pair{} : quotient(weighted, after);
        for (int k = first; k <= last; ++k) {
            const Pair g = after.m == 0 ? gain[k - first] : product(gain[k - first], scale);
            gains->gain[k] = g.m;
            gains->gainExponent[k] = static_cast<int8_t>(g.e);
        }
        first = last + 1;
    }
}

void SbrDec_InterTes(int32_t *const *qmfReal, int32_t *const *qmfImag, int startSlot, int stopSlot, int kx,
                     int highStop, int shapeMode)
{
    constexpr int MaxSlots = 2 * SBR_QMF_BANDS;
    const int slots = stopSlot - startSlot;
    if (shapeMode <= 0 || shapeMode > 3 || slots <= 0 || slots > MaxSlots || kx <= 0 || highStop > SBR_QMF_BANDS)
        return;
    const Pair gamma = normalised(int64_t{1} << (shapeMode - 1), 31);
    const Pair floor{0x66666680, -2}; // 0.2
    Pair low[MaxSlots], lowTotal;
    for (int i = 0; i < slots; ++i) {
        low[i] = slotEnergy(qmfReal[startSlot + i], qmfImag[startSlot + i], 0, kx);
        lowTotal = sum(lowTotal, low[i]);
    }
    Pair highBefore, highAfter, gain[MaxSlots];
    for (int i = 0; i < slots; ++i) {
        const Pair share = lowTotal.m == 0 ? Pair{} : quotient(product(low[i], normalised(slots, 31)), lowTotal);
        int e = 0;
        const int32_t root = squareRootOf(share, &e);
        Pair g = sum(One, product(gamma, sum(normalised(root, e), negated(One))));
        if (greater(floor, g))
            g = floor;
        gain[i] = g;
        const Pair high = slotEnergy(qmfReal[startSlot + i], qmfImag[startSlot + i], kx, highStop);
        highBefore = sum(highBefore, high);
        highAfter = sum(highAfter, product(product(g, g), high));
    }
    // The envelope's high-band energy stays as it was.
    Pair keep = One;
    if (highAfter.m != 0) {
        int e = 0;
        const int32_t root = squareRootOf(quotient(highBefore, highAfter), &e);
        keep = normalised(root, e);
    }
    for (int i = 0; i < slots; ++i) {
        const Pair g = product(gain[i], keep);
        for (int k = kx; k < highStop; ++k) {
            qmfReal[startSlot + i][k] = scaled(qmfReal[startSlot + i][k], g);
            qmfImag[startSlot + i][k] = scaled(qmfImag[startSlot + i][k], g);
        }
    }
}

void SbrDec_AddSinusoids(int32_t *qmfReal, int32_t *qmfImag, const int32_t *sineLevel, int bandCount, int firstBand,
                         int sinePhase)
{
    for (int k = 0; k < bandCount && k < SBR_MAX_ADJUSTED_BANDS; ++k) {
        const int32_t s = sineLevel[k];
        if (s == 0)
            continue;
        const bool odd = ((firstBand + k) & 1) != 0;
        // Phase 0 and 2 act on the real part, 1 and 3 on the imaginary part with a sign
        // that alternates with the band.
        const int phase = sinePhase & 3;
        const int32_t sign = (phase == 2 || (phase == 1 && odd) || (phase == 3 && !odd)) ? -1 : 1;
        int32_t &x = (phase & 1) ? qmfImag[k] : qmfReal[k];
        const int64_t y = int64_t{x} + int64_t{sign} * s;
        x = y > INT32_MAX ? INT32_MAX : (y < -INT32_MAX ? -INT32_MAX : static_cast<int32_t>(y));
    }
}

} // extern "C"
