// Hybrid filter bank: splits the lowest QMF bands of a slot into complex sub-bands and
// delays the others to stay aligned; the synthesis adds the sub-bands back.
#include "RezHybrid_tables.h"
#include "RezTools.h"
#include "RezTransformInternal.h"

#include <string.h>

namespace {

using rez::halfMul;

constexpr int FilterLength = 13;

const RezHybridSetup Setups[3] = {
    {3, {6, 2, 2}, {-8, -2, 2}, FilterLength, 6, RezTools_HybridRingIndex},
    {3, {8, 2, 2}, {8, 2, 2}, FilterLength, 6, RezTools_HybridRingIndex},
    {3, {8, 4, 4}, {8, 4, 4}, FilterLength, 6, RezTools_HybridRingIndex},
};

constexpr int32_t Sqrt1Half = 0x5A827980;

inline int32_t mulQ31(int32_t a, int32_t b)
{
    return static_cast<int32_t>((int64_t{a} * b) >> 31);
}

// Rotation of (re, im) by -k pi / 4.
void rotateEighths(int32_t re, int32_t im, int k, int32_t &outRe, int32_t &outIm)
{
    k &= 7;
    if (k & 1) {
        // 45 degree multiples: rotate by the even part, then by -pi/4.
        int32_t r, i;
        rotateEighths(re, im, k - 1, r, i);
        outRe = mulQ31(r + i, Sqrt1Half);
        outIm = mulQ31(i - r, Sqrt1Half);
        return;
    }
    switch (k) {
    case 0: outRe = re; outIm = im; break;
    case 2: outRe = im; outIm = -re; break;
    case 4: outRe = -re; outIm = -im; break;
    default: outRe = -im; outIm = re; break;
    }
}

// x: 13 taps, oldest first. Writes the band's sub-bands; returns how many, -1 refused.
int filter(int type, const int32_t *xr, const int32_t *xi, int32_t *outRe, int32_t *outIm)
{
    switch (type) {
    case 2:
    case -2: {
        const int16_t *c = RezTools_Hybrid2Coefficients;
        auto half = [&](const int32_t *x, int32_t &low, int32_t &high) {
            const int32_t a = halfMul(x[1], c[0]) + halfMul(x[11], c[0]) + halfMul(x[3], c[1]) + halfMul(x[9], c[1]) +
                              halfMul(x[5], c[2]) + halfMul(x[7], c[2]);
            const int32_t centre = x[6] >> 2;
            low = 2 * (a + centre);
            high = 2 * (centre - a);
        };
        int32_t lowRe, highRe, lowIm, highIm;
        half(xr, lowRe, highRe);
        half(xi, lowIm, highIm);
        const bool swapped = type < 0;
        outRe[0] = swapped ? highRe : lowRe;
        outIm[0] = swapped ? highIm : lowIm;
        outRe[1] = swapped ? lowRe : highRe;
        outIm[1] = swapped ? lowIm : highIm;
        return 2;
    }
    case 8:
    case -8: {
        int32_t tapRe[13], tapIm[13];
        for (int n = 0; n < 13; ++n) {
            const int32_t a = RezTools_Hybrid8Real[n], b = RezTools_Hybrid8Imag[n];
            tapRe[n] = halfMul(xr[n], a) - halfMul(xi[n], b);
            tapIm[n] = halfMul(xi[n], a) + halfMul(xr[n], b);
        }
        tapRe[6] = xr[6] >> 4;
        tapIm[6] = xi[6] >> 4;
        // Taps with n - 6 = k (mod 8) add into X(k).
        int32_t x[16];
        const int first[8] = {6, 7, 8, 9, 10, 11, 12, 5};
        const int second[8] = {-1, -1, 0, 1, 2, 3, 4, -1};
        for (int k = 0; k < 8; ++k) {
            x[2 * k] = tapRe[first[k]] + (second[k] >= 0 ? tapRe[second[k]] : 0);
            x[2 * k + 1] = tapIm[first[k]] + (second[k] >= 0 ? tapIm[second[k]] : 0);
        }
        RezTools_Fft8(x);
        auto band = [&](int q, int32_t &re, int32_t &im) {
            re = 8 * x[2 * q];
            im = 8 * x[2 * q + 1];
        };
        if (type == 8) {
            for (int q = 0; q < 8; ++q)
                band(q, outRe[q], outIm[q]);
            return 8;
        }
        const int order[4] = {7, 0, 6, 1};
        for (int i = 0; i < 4; ++i)
            band(order[i], outRe[i], outIm[i]);
        outRe[4] = 8 * (x[4] + x[10]);
        outIm[4] = 8 * (x[5] + x[11]);
        outRe[5] = 8 * (x[6] + x[8]);
        outIm[5] = 8 * (x[7] + x[9]);
        return 6;
    }
    case 4: {
        // Sub-band q takes tap n rotated by -pi (n - 6)(2q + 1) / 4.
        int32_t halfRe[13], halfIm[13];
        for (int n = 0; n < 13; ++n) {
            halfRe[n] = halfMul(xr[n], RezTools_Hybrid4Prototype[n]);
            halfIm[n] = halfMul(xi[n], RezTools_Hybrid4Prototype[n]);
        }
        for (int q = 0; q < 4; ++q) {
            int32_t sumRe = 0, sumIm = 0;
            for (int n = 0; n < 13; ++n) {
                int32_t re, im;
                rotateEighths(halfRe[n], halfIm[n], (n - 6 + 104) * (2 * q + 1), re, im);
                sumRe += re;
                sumIm += im;
            }
            outRe[q] = 2 * sumRe;
            outIm[q] = 2 * sumIm;
        }
        return 4;
    }
    default:
        return -1;
    }
}

} // namespace

extern "C" {

int RezTools_HybridAnalysisOpen(RezHybridAnalysis *h, void *filterStateBuffer, int filterStateBytes, void *delayBuffer,
                                int delayBytes)
{
    h->filterState = filterStateBuffer;
    h->filterStateBytes = filterStateBytes;
    h->delayBuffer = delayBuffer;
    h->delayBytes = delayBytes;
    return 0;
}

int RezTools_HybridAnalysisInit(RezHybridAnalysis *h, int mode, int realBands, int imagBands, int resetStates)
{
    if (mode < 0 || mode > 2)
        return -1;
    const RezHybridSetup *setup = &Setups[mode];
    const int split = setup->splitBands, length = setup->filterLength, delay = setup->highBandDelay;
    if (length * split * 8 > h->filterStateBytes)
        return -2;
    const int highRe = realBands > split ? realBands - split : 0, highIm = imagBands > split ? imagBands - split : 0;
    if (h->delayBytes != 0 && (highRe + highIm) * delay * 4 > h->delayBytes)
        return -3;
    h->setup = setup;
    if (resetStates) {
        h->ringPosition = length - 1;
        h->delayPosition = 0;
    }
    h->realBands = realBands;
    h->imagBands = imagBands;
    h->noDelay = 0;
    int32_t *rings = static_cast<int32_t *>(h->filterState);
    for (int i = 0; i < split; ++i) {
        h->ringRe[i] = rings + 2 * i * length;
        h->ringIm[i] = rings + 2 * i * length + length;
    }
    if (h->delayBytes != 0) {
        int32_t *slots = static_cast<int32_t *>(h->delayBuffer);
        for (int j = 0; j < delay; ++j) {
            h->delayRe[j] = slots + j * (highRe + highIm);
            h->delayIm[j] = slots + j * (highRe + highIm) + highRe;
        }
    }
    if (resetStates) {
        memset(rings, 0, sizeof(int32_t) * 2 * static_cast<size_t>(split * length));
        if (h->delayBytes != 0 && realBands > split)
            memset(h->delayBuffer, 0, sizeof(int32_t) * static_cast<size_t>((highRe + highIm) * delay));
    }
    return 0;
}

int RezTools_HybridAnalysisApply(RezHybridAnalysis *h, const int32_t *realIn, const int32_t *imagIn, int32_t *realOut,
                                 int32_t *imagOut)
{
    const RezHybridSetup *setup = h->setup;
    const int length = setup->filterLength;
    const int r = h->ringPosition;
    const int p = r + 1 >= length ? 0 : r + 1;
    int offset = 0;
    for (int i = 0; i < setup->splitBands; ++i) {
        h->ringRe[i][r] = realIn[i];
        h->ringIm[i][r] = imagIn[i];
        int32_t xr[13], xi[13];
        for (int m = 0; m < 13; ++m) {
            xr[m] = h->ringRe[i][setup->ringIndex[p + m]];
            xi[m] = h->ringIm[i][setup->ringIndex[p + m]];
        }
        const int written = filter(setup->filterTypes[i], xr, xi, realOut + offset, imagOut + offset);
        if (written < 0)
            return -1;
        offset += written;
    }
    h->ringPosition = p;

    const int split = setup->splitBands;
    if (h->realBands <= split)
        return 0;
    const int highRe = h->realBands - split, highIm = h->imagBands > split ? h->imagBands - split : 0;
    if (h->noDelay) {
        memcpy(realOut + offset, realIn + split, sizeof(int32_t) * static_cast<size_t>(highRe));
        memcpy(imagOut + offset, imagIn + split, sizeof(int32_t) * static_cast<size_t>(highIm));
        return 0;
    }
    const int q = h->delayPosition;
    for (int k = 0; k < highRe; ++k) {
        const int32_t v = h->delayRe[q][k];
        h->delayRe[q][k] = realIn[split + k];
        realOut[offset + k] = v;
    }
    for (int k = 0; k < highIm; ++k) {
        const int32_t v = h->delayIm[q][k];
        h->delayIm[q][k] = imagIn[split + k];
        imagOut[offset + k] = v;
    }
    h->delayPosition = q + 1 >= setup->highBandDelay ? 0 : q + 1;
    return 0;
}

int RezTools_HybridSynthesisInit(RezHybridSynthesis *h, int mode, int realBands, int imagBands)
{
    if (mode < 0 || mode > 2)
        return -1;
    h->setup = &Setups[mode];
    h->realBands = realBands;
    h->imagBands = imagBands;
    return 0;
}

void RezTools_HybridSynthesisApply(RezHybridSynthesis *h, const int32_t *realIn, const int32_t *imagIn,
                                   int32_t *realOut, int32_t *imagOut)
{
    const RezHybridSetup *setup = h->setup;
    int offset = 0;
    for (int i = 0; i < setup->splitBands; ++i) {
        int32_t re = 0, im = 0;
        for (int k = 0; k < setup->subBands[i]; ++k) {
            re += realIn[offset + k];
            im += imagIn[offset + k];
        }
        realOut[i] = re;
        imagOut[i] = im;
        offset += setup->subBands[i];
    }
    const int split = setup->splitBands;
    for (int k = split; k < h->realBands; ++k)
        realOut[k] = realIn[offset + k - split];
    for (int k = split; k < h->imagBands; ++k)
        imagOut[k] = imagIn[offset + k - split];
}

} // extern "C"
