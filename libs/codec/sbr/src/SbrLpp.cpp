// Copy-up high-frequency generation with linear-prediction whitening.
#include "SbrLpp.h"

#include "RezTools.h"

#include <string.h>

namespace {

constexpr int StrongestModeBands = 5;   // last noise-band index a patch can reach
constexpr int MaxGathered = SBR_QMF_BANDS + SBR_LPP_STATE_ROWS; // slots of a frame plus history
constexpr int32_t Max32 = 0x7FFFFFFF;

// Whitening strengths: off, the step between off and low, low, mid, strong (Q31). The
// table is the same for every start frequency.
constexpr int32_t WhiteningOff = 0;
constexpr int32_t WhiteningTransition = 0x4CCCCD00; // 0.6
constexpr int32_t WhiteningLow = 0x60000000;        // 0.75
constexpr int32_t WhiteningMid = 0x73333300;        // 0.9
constexpr int32_t WhiteningHigh = 0x7D70A400;       // 0.98

// Chirp smoothing: quicker towards a weaker target than towards a stronger one.
constexpr int32_t FallNew = 0x60000000, FallOld = 0x20000000;  // 0.75, 0.25
constexpr int32_t RiseNew = 0x74000000, RiseOld = 0x0C000000;  // 0.90625, 0.09375
constexpr int32_t ChirpFloorQ30 = 0x1000000;                   // 0.015625
constexpr int32_t ChirpCeiling = 0x7F800000;                   // 0.99609375

inline int32_t highWord(int32_t a, int32_t b) { return static_cast<int32_t>((int64_t{a} * b) >> 32); }

inline int32_t saturate(int64_t x) { return x > Max32 ? Max32 : (x < -Max32 ? -Max32 : static_cast<int32_t>(x)); }

inline int minimum(int a, int b) { return a < b ? a : b; }
inline int maximum(int a, int b) { return a > b ? a : b; }

// Predictor coefficients alpha / 4 as Q15 fractions.
struct Coefficients {
    int16_t a0r = 0, a0i = 0, a1r = 0, a1i = 0;
};

// q / 2^31 as a Q31 value when it is below 1.0 in magnitude.
bool fitsQ31(__int128 q) { return q < (__int128{1} << 31) && q > -(__int128{1} << 31); }

// alpha1 = (r01 r12 - r02 r11) / det and alpha0 = -(r01 + alpha1 conj(r12)) / r11; the
// record's common exponent cancels in both. Zero when a quotient leaves the Q31 range or
// the predictor would be unstable (|alpha|^2 >= 16).
Coefficients predictor(const RezAutoCorrelation &ac, bool complex)
{
    const int64_t r01i = complex ? ac.r01Imag : 0, r02i = complex ? ac.r02Imag : 0, r12i = complex ? ac.r12Imag : 0;
    // alpha1 / 4 in Q31: N (Q61) * 2^(E - 1) / det mantissa, E the determinant exponent.
    __int128 q1r = 0, q1i = 0;
    const int e = ac.detExponent;
    if (ac.detMantissa != 0) {
        if (e - 1 > 62 || e - 1 < -62)
            return {};
        const int64_t nr = ((int64_t{ac.r01} * ac.r12) >> 1) - ((r01i * r12i) >> 1) - ((int64_t{ac.r02} * ac.r11) >> 1);
        const int64_t ni = ((r01i * ac.r12) >> 1) + ((int64_t{ac.r01} * r12i) >> 1) - ((r02i * ac.r11) >> 1);
        const __int128 scaledR = e - 1 >= 0 ? (__int128{nr} << (e - 1)) : (__int128{nr} >> (1 - e));
        const __int128 scaledI = e - 1 >= 0 ? (__int128{ni} << (e - 1)) : (__int128{ni} >> (1 - e));
        q1r = scaledR / ac.detMantissa;
        q1i = scaledI / ac.detMantissa;
        if (!fitsQ31(q1r) || !fitsQ31(q1i))
            return {};
    }
    // alpha0 / 4 in Q31: -(r01 2^31 + 4 alpha1/4 conj(r12)) / (4 r11).
    __int128 q0r = 0, q0i = 0;
    if (ac.r11 != 0) {
        const __int128 n0r = (__int128{ac.r01} << 31) + 4 * (q1r * ac.r12 + q1i * r12i);
        const __int128 n0i = (__int128{r01i} << 31) + 4 * (q1i * ac.r12 - q1r * r12i);
        q0r = -n0r / (4 * __int128{ac.r11});
        q0i = -n0i / (4 * __int128{ac.r11});
        if (!fitsQ31(q0r) || !fitsQ31(q0i))
            return {};
    }
    Coefficients c;
    c.a0r = static_cast<int16_t>(static_cast<int32_t>(q0r) >> 16);
    c.a0i = static_cast<int16_t>(static_cast<int32_t>(q0i) >> 16);
    c.a1r = static_cast<int16_t>(static_cast<int32_t>(q1r) >> 16);
    c.a1i = static_cast<int16_t>(static_cast<int32_t>(q1i) >> 16);
    // |alpha / 4|^2 >= 1.0 (Q30) makes the predictor unstable.
    constexpr int32_t OneQ30 = 1 << 30;
    const int32_t m0 = c.a0r * c.a0r + c.a0i * c.a0i, m1 = c.a1r * c.a1r + c.a1i * c.a1i;
    if (m0 >= OneQ30 || m1 >= OneQ30)
        return {};
    return c;
}

// Reflection coefficient -r01 / r11 (Q31, saturated); 0 without energy.
int32_t reflection(const RezAutoCorrelation &ac)
{
    if (ac.r11 == 0)
        return 0;
    const int64_t k = -((int64_t{ac.r01} << 31) / ac.r11);
    return saturate(k);
}

// Shifts the gathered samples of one band to a common exponent with the most headroom
// that is safe; returns that headroom h (samples now carry com + h).
int alignGathered(int32_t *re, int32_t *im, int overlapPart, int currentPart, int overlapOffset, int currentOffset)
{
    int ho = RezTools_GetHeadroom(re, overlapPart), hc = RezTools_GetHeadroom(re + overlapPart, currentPart);
    if (im) {
        ho = minimum(ho, RezTools_GetHeadroom(im, overlapPart));
        hc = minimum(hc, RezTools_GetHeadroom(im + overlapPart, currentPart));
    }
    int h = minimum(minimum(ho + overlapOffset, 29), hc + currentOffset);
    const int total = overlapPart + currentPart;
    if (h > 0) {
        --h;
    } else {
        for (int j = 0; j < total; ++j) {
            if (re[j] == INT32_MIN)
                re[j] = -Max32;
            if (im && im[j] == INT32_MIN)
                im[j] = -Max32;
        }
    }
    RezTools_ScaleValues(re, overlapPart, h - overlapOffset);
    RezTools_ScaleValues(re + overlapPart, currentPart, h - currentOffset);
    if (im) {
        RezTools_ScaleValues(im, overlapPart, h - overlapOffset);
        RezTools_ScaleValues(im + overlapPart, currentPart, h - currentOffset);
    }
    return h;
}

// Low-power aliasing detection: neighbouring reflection coefficients of alternating sign
// mark the bands whose aliasing the envelope adjuster must reduce.
void detectAliasing(int band, int32_t k1, int32_t k1a, int32_t k1b, int32_t *aliasDegree)
{
    aliasDegree[band] = 0;
    const int sign = (band & 1) ? -1 : 1; // odd bands: all signs reversed
    if (int64_t{k1} * sign >= 0)
        return;
    const int32_t fromBefore = Max32 - RezTools_MulQ31(k1a, k1a);
    if (int64_t{k1a} * sign < 0) {
        aliasDegree[band] = Max32;
        if (int64_t{k1b} * sign > 0)
            aliasDegree[band - 1] = fromBefore;
    } else if (int64_t{k1b} * sign > 0) {
        aliasDegree[band] = fromBefore;
    }
}

} // namespace

extern "C" {

int SbrDec_LppCreate(SbrLppTransposer *lpp, SbrTransposerConfig *settings, int highBandStart,
                     const uint8_t *masterTable, int masterCount, int usb, int timeSlots, int slotCount,
                     const uint8_t *noiseBandTable, int noiseBandCount, uint32_t fs, int channel, int overlap)
{
    lpp->settings = settings;
    if (timeSlots != 15 && timeSlots != 16)
        return SBR_LPP_UNSUPPORTED;
    if (channel != 0)
        return 0;
    if (overlap < 0 || overlap > SBR_LPP_MAX_OVERLAP || slotCount <= 0 || slotCount > SBR_QMF_BANDS)
        return SBR_LPP_UNSUPPORTED;
    settings->overlap = static_cast<uint8_t>(overlap);
    settings->slotCount = static_cast<uint8_t>(slotCount);
    return SbrDec_LppReset(lpp, highBandStart, masterTable, masterCount, noiseBandTable, noiseBandCount, usb, fs);
}

int SbrDec_LppReset(SbrLppTransposer *lpp, int highBandStart, const uint8_t *masterTable, int masterCount,
                    const uint8_t *noiseBandTable, int noiseBandCount, int usb, uint32_t fs)
{
    SbrTransposerConfig *s = lpp->settings;
    if (!s || masterCount <= 0 || masterCount > SBR_QMF_BANDS || fs == 0 || noiseBandCount < 0
        || noiseBandCount > SBR_INVF_BORDERS)
        return SBR_LPP_UNSUPPORTED;
    const int lsb = masterTable[0];
    const int top = masterTable[masterCount];
    const int usbTop = minimum(minimum(usb, top), SBR_QMF_BANDS);
    if ((s->slotCount == 64 ? lsb < 4 : lsb - 1 < 4) || lsb > SBR_LPP_LOW_BANDS)
        return SBR_LPP_UNSUPPORTED;

    int goalSb = static_cast<int>((4096000u / fs + 1) >> 1); // 2.048 MHz / fs, rounded
    if (goalSb <= lsb) {
        goalSb = lsb;
    } else if (goalSb < top) {
        int i = 0;
        while (masterTable[i] < goalSb)
            ++i;
        goalSb = masterTable[i];
    }

    // One entry more than kept: a seventh patch may still be dropped as too short.
    SbrPatch patches[SBR_MAX_PATCHES + 1] = {};
    int sourceFirst = highBandStart - lsb + 1;
    int targetStop = highBandStart;
    int patch = 0;
    for (int pass = 0; targetStop < usbTop; ++pass) {
        if (patch > SBR_MAX_PATCHES || pass > SBR_QMF_BANDS)
            return SBR_LPP_UNSUPPORTED;
        SbrPatch &p = patches[patch];
        p.patchGuardFirst = p.patchTargetFirst = static_cast<uint8_t>(targetStop);
        int numBands = goalSb - targetStop;
        if (numBands >= lsb - sourceFirst) {
            const int reach = lsb + ((targetStop - sourceFirst) & ~1);
            int i = masterCount;
            while (i > 0 && masterTable[i] > reach)
                --i;
            numBands = masterTable[i] - targetStop;
        }
        // A goal above the master range must not carry a patch past the SBR range.
        numBands = minimum(numBands, usbTop - targetStop);
        if (s->slotCount == 64 && numBands == 0 && sourceFirst == 1)
            return SBR_LPP_UNSUPPORTED;
        const int shift = (numBands + targetStop - lsb + 1) & ~1;
        if (numBands > 0) {
            p.patchSourceFirst = static_cast<uint8_t>(targetStop - shift);
            p.patchTargetShift = static_cast<uint8_t>(shift);
            p.patchWidth = static_cast<uint8_t>(numBands);
            p.patchSourceEnd = static_cast<uint8_t>(p.patchSourceFirst + numBands);
            targetStop += numBands;
            ++patch;
        }
        sourceFirst = 1;
        if (goalSb - targetStop < 3)
            goalSb = usbTop;
    }

    int last = patch - 1;
    if (last > 0 && patches[last].patchWidth < 3) {
        --last;
        targetStop = patches[last].patchTargetFirst + patches[last].patchWidth;
    }
    if (last < 0 || last >= SBR_MAX_PATCHES)
        return SBR_LPP_UNSUPPORTED;
    s->patchCount = static_cast<uint8_t>(last + 1);
    memcpy(s->patches, patches, sizeof s->patches);
    for (int i = s->patchCount; i < SBR_MAX_PATCHES; ++i)
        s->patches[i] = SbrPatch{};

    int lowest = targetStop, limit = 0;
    for (int i = 0; i < s->patchCount; ++i) {
        lowest = minimum(lowest, s->patches[i].patchSourceFirst);
        limit = maximum(limit, s->patches[i].patchSourceEnd);
    }
    s->patchingLowestSource = static_cast<uint8_t>(lowest);
    s->patchingSourceLimit = static_cast<uint8_t>(limit);

    for (int i = 0; i < SBR_INVF_BORDERS; ++i)
        s->inverseFilterBorders[i] = i < noiseBandCount ? noiseBandTable[i + 1] : 255;

    s->whiteningOff = WhiteningOff;
    s->whiteningTransition = WhiteningTransition;
    s->whiteningLow = WhiteningLow;
    s->whiteningMid = WhiteningMid;
    s->whiteningHigh = WhiteningHigh;
    return 0;
}

void SbrDec_LppChirpFactors(const SbrLppTransposer *lpp, int invfBandCount, const uint8_t *invfModes,
                            const uint8_t *prevInvfModes, int32_t *chirpFactors)
{
    const SbrTransposerConfig *s = lpp->settings;
    for (int i = 0; i < invfBandCount && i < SBR_MAX_INVF_BANDS; ++i) {
        int32_t target = s->whiteningOff;
        switch (invfModes[i] & 3) {
        case 0:
            target = prevInvfModes[i] == 1 ? s->whiteningTransition : s->whiteningOff;
            break;
        case 1:
            target = prevInvfModes[i] == 0 ? s->whiteningTransition : s->whiteningLow;
            break;
        case 2:
            target = s->whiteningMid;
            break;
        default:
            target = s->whiteningHigh;
            break;
        }
        const int32_t old = lpp->previousChirpFactors[i];
        const int32_t sum = target < old ? highWord(target, FallNew) + highWord(old, FallOld)
                                         : highWord(target, RiseNew) + highWord(old, RiseOld); // Q30
        chirpFactors[i] = sum < ChirpFloorQ30 ? 0 : (sum >= ChirpCeiling / 2 ? ChirpCeiling : 2 * sum);
    }
}

void SbrDec_LppTranspose(SbrLppTransposer *lpp, SbrQmfScaling *scale, int32_t **qmfReal, int32_t *aliasDegree,
                         int32_t **qmfImag, int realMode, int preFlatten, int kMaster0, int timeStep, int firstSlotOffset,
                         int lastSlotOffset, int invfBandCount, const uint8_t *invfModes,
                         const uint8_t *prevInvfModes)
{
    const SbrTransposerConfig *s = lpp->settings;
    if (!s || s->patchCount == 0)
        return;
    const int overlap = s->overlap, slotCount = s->slotCount;
    const int startSample = maximum(0, minimum(firstSlotOffset * timeStep, overlap));
    const int stopSample = maximum(startSample, minimum(slotCount + lastSlotOffset * timeStep, slotCount + overlap));
    const bool complex = !realMode;

    const SbrPatch &lastPatch = s->patches[s->patchCount - 1];
    const int clearFrom = lastPatch.patchTargetFirst + lastPatch.patchWidth;
    for (int i = startSample; i < stopSample; ++i) {
        memset(qmfReal[i] + clearFrom, 0, sizeof(int32_t) * static_cast<size_t>(SBR_QMF_BANDS - clearFrom));
        if (complex)
            memset(qmfImag[i] + clearFrom, 0, sizeof(int32_t) * static_cast<size_t>(SBR_QMF_BANDS - clearFrom));
    }
    if (realMode)
        memset(aliasDegree, 0, sizeof(int32_t) * SBR_QMF_BANDS);

    invfBandCount = maximum(0, minimum(invfBandCount, SBR_MAX_INVF_BANDS));
    int32_t chirp[SBR_MAX_INVF_BANDS] = {};
    SbrDec_LppChirpFactors(lpp, invfBandCount, invfModes, prevInvfModes, chirp);
    int noiseIndex[SBR_MAX_PATCHES] = {};
    int32_t k1a = 0, k1b = 0;

    const int com = minimum(scale->lowBandExponent, scale->overlapLowExponent);
    const int overlapOffset = scale->overlapLowExponent - com, currentOffset = scale->lowBandExponent - com;
    int32_t flatGain[SBR_LPP_LOW_BANDS];
    int flatExponent[SBR_LPP_LOW_BANDS];
    const int flatBands = preFlatten && complex ? minimum(maximum(kMaster0, 0), SBR_LPP_LOW_BANDS) : 0;
    if (flatBands > 0)
        SbrDec_PreFlatteningGains(qmfReal, qmfImag, flatBands, startSample, stopSample, overlap,
                                  scale->overlapLowExponent, scale->lowBandExponent, flatGain, flatExponent);

    const int first = realMode ? maximum(1, s->patchingLowestSource - 2) : s->patchingLowestSource;
    const int end = minimum(realMode ? s->patches[0].patchTargetFirst : s->patchingSourceLimit, SBR_LPP_LOW_BANDS);
    const int gathered = slotCount + overlap + 2;

    for (int band = first; band < end; ++band) {
        int32_t xr[MaxGathered], xi[MaxGathered];
        for (int j = 0; j < gathered; ++j) {
            const bool history = j < startSample + 2;
            xr[j] = history ? lpp->lpcStateReal[j][band] : qmfReal[j - 2][band];
            xi[j] = complex ? (history ? lpp->lpcStateImag[j][band] : qmfImag[j - 2][band]) : 0;
        }
        const int h = alignGathered(xr, complex ? xi : nullptr, overlap + 2, slotCount, overlapOffset, currentOffset);

        RezAutoCorrelation ac{};
        if (complex)
            RezTools_AutoCorrelationComplex(&ac, xr + 2, xi + 2, slotCount + overlap);
        else
            RezTools_AutoCorrelationReal(&ac, xr + 2, (slotCount + overlap) & ~1); // works on sample pairs
        const Coefficients c = predictor(ac, complex);

        if (realMode) {
            const int32_t k1 = reflection(ac);
            if (band >= 2 && band < kMaster0)
                detectAliasing(band, k1, k1a, k1b, aliasDegree);
            k1b = k1a;
            k1a = k1;
        }

        for (int p = 0; p < s->patchCount; ++p) {
            const SbrPatch &patch = s->patches[p];
            if (band < patch.patchSourceFirst || band >= patch.patchSourceEnd)
                continue;
            const int hi = band + patch.patchTargetShift;
            if (hi >= SBR_QMF_BANDS)
                continue;
            while (noiseIndex[p] < StrongestModeBands && hi >= s->inverseFilterBorders[noiseIndex[p]])
                ++noiseIndex[p];
            const int32_t bw = chirp[noiseIndex[p]] >> 16; // Q15
            const int32_t bw2 = minimum((bw * bw) >> 15, 0x7FFF);
            const int32_t a0r = (bw * c.a0r) >> 15, a0i = (bw * c.a0i) >> 15;
            const int32_t a1r = (bw2 * c.a1r) >> 15, a1i = (bw2 * c.a1i) >> 15;
            const int down = minimum(h + 2, 31);
            for (int i = startSample; i < stopSample; ++i) {
                const int32_t *x0r = xr + i, *x0i = xi + i; // x[i], x[i + 1], x[i + 2]
                int64_t outR = x0r[2] >> down, outI = x0i[2] >> down;
                if (bw2 != 0) {
                    outR += (int64_t{a0r} * x0r[1] - int64_t{a0i} * x0i[1] + int64_t{a1r} * x0r[0]
                             - int64_t{a1i} * x0i[0]) >> (15 + h);
                    outI += (int64_t{a0r} * x0i[1] + int64_t{a0i} * x0r[1] + int64_t{a1r} * x0i[0]
                             + int64_t{a1i} * x0r[0]) >> (15 + h);
                }
                int32_t yr = saturate(outR), yi = saturate(outI);
                if (band < flatBands) {
                    yr = RezTools_ScaleValueSaturate(highWord(yr, flatGain[band]), flatExponent[band] + 1);
                    yi = RezTools_ScaleValueSaturate(highWord(yi, flatGain[band]), flatExponent[band] + 1);
                }
                qmfReal[i][hi] = yr;
                if (complex)
                    qmfImag[i][hi] = yi;
            }
        }
    }

    if (realMode) {
        for (int p = 0; p < s->patchCount; ++p) {
            const SbrPatch &patch = s->patches[p];
            const int from = maximum(s->patchingLowestSource, patch.patchSourceFirst);
            const int to = minimum(s->patchingSourceLimit, patch.patchSourceEnd);
            for (int k = from; k < to; ++k) {
                const int target = k + patch.patchTargetShift;
                if (target != patch.patchTargetFirst && target < SBR_QMF_BANDS)
                    aliasDegree[target] = aliasDegree[k];
            }
        }
    }

    memcpy(lpp->previousChirpFactors, chirp, sizeof(int32_t) * static_cast<size_t>(invfBandCount));
    scale->highBandExponent = com - 2;
}

} // extern "C"
