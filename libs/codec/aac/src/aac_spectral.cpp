#include "aac_spectral.h"

#include "aac_spectral_tables.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

using AacSpectralTables::inverseQuantPower;
using AacSpectralTables::inverseQuantScale;

const int16_t *offsetsOf(const AacDecIcsInfo &ics, const AacSamplingRateInfo *sr)
{
    return ics.windowSequence == AacEightShort ? sr->bandOffsetShort : sr->bandOffsetLong;
}

int windowCount(const AacDecIcsInfo &ics)
{
    return ics.windowSequence == AacEightShort ? 8 : 1;
}

int bitLength(uint32_t x)
{
    return x == 0 ? 0 : 32 - __builtin_clz(x);
}

// Shift of a data-dependent amount, kept within 0..31 either way.
int32_t shiftSigned(int32_t v, int k)
{
    if (k >= 0)
        return static_cast<int32_t>(static_cast<uint32_t>(v) << std::min(k, 31));
    return v >> std::min(-k, 31);
}

int64_t shiftSigned64(int64_t v, int k)
{
    if (k >= 0)
        return v << std::min(k, 31);
    return v >> std::min(-k, 31);
}

// Mantissa digits of a magnitude (1..8191): f, the 8 bits below the leading one, and
// t, the 4 bits after them.
void digits(uint32_t a, int n, uint32_t &f, uint32_t &t)
{
    const uint32_t normal = a << (13 - n);
    f = (normal >> 4) & 0xFF;
    t = normal & 0xF;
}

int pow43Scaled(uint32_t *x, int q)
{
    const int n = bitLength(*x);
    uint32_t f, t;
    digits(*x, n, f, t);
    const int64_t p = (16 - static_cast<int64_t>(t)) * inverseQuantPower[f] + static_cast<int64_t>(t) * inverseQuantPower[f + 1];
    *x = static_cast<uint32_t>((p * inverseQuantScale.mantissa[q][n]) >> 32);
    return inverseQuantScale.exponent[q][n] + 1;
}

void invQuantLines(int32_t *lines, int q, int count, int shift)
{
    for (int i = 0; i < count; ++i) {
        const int32_t v = lines[i];
        if (v == 0)
            continue;
        const uint32_t a = static_cast<uint32_t>(v < 0 ? -v : v);
        const int n = bitLength(a);
        uint32_t f, t;
        digits(a, n, f, t);
        const int64_t p = (static_cast<int64_t>(inverseQuantPower[f]) << 4) +
                          (static_cast<int64_t>(inverseQuantPower[f + 1]) - inverseQuantPower[f]) * t;
        int64_t y = (p * inverseQuantScale.mantissa[q][n]) >> 32;
        y = shiftSigned64(y, shift + 1 + inverseQuantScale.exponent[q][n]);
        y = std::clamp<int64_t>(y, -0x7FFFFFFF, 0x7FFFFFFF);
        lines[i] = static_cast<int32_t>(v < 0 ? -y : y);
    }
}

bool isIntensity(uint8_t codebook)
{
    return codebook == AacIntensityOutOfPhase || codebook == AacIntensityInPhase;
}

// Stored scale factor as the tools use it: the transmitted value less 100.
int storedScale(const AacDecChannelData *ch, int index)
{
    return ch->noiseUsed[index] ? ch->scaleFactor[index] : ch->scaleFactor[index] - 100;
}

} // namespace

int AacDec_DequantizeSpectrum(const AacDecChannelData *ch, const AacSamplingRateInfo *sr, uint32_t granule,
                              AacDecSpectrum *out)
{
    const AacDecIcsInfo &ics = ch->ics;
    std::memset(out->bandExponent, 0, sizeof out->bandExponent);
    std::memcpy(out->lines, ch->quantized, sizeof out->lines);
    const int16_t *offsets = offsetsOf(ics, sr);
    int window = 0;
    for (int g = 0; g < ics.numWindowGroups; ++g) {
        for (int w = 0; w < ics.windowGroupLength[g]; ++w, ++window) {
            int32_t *lines = out->lines + window * granule;
            for (int b = 0; b < ics.maxSfb; ++b) {
                const int index = aacBandIndex(g, b);
                const uint8_t codebook = ch->codebook[index];
                const int s = storedScale(ch, index);
                if (codebook == AacZeroCodebook || isIntensity(codebook))
                    continue;
                if (codebook == AacNoiseCodebook) {
                    out->bandExponent[window][b] = static_cast<int16_t>((s >> 2) + 1);
                    continue;
                }
                int32_t *band = lines + offsets[b];
                const int width = offsets[b + 1] - offsets[b];
                int32_t m = 0;
                for (int k = 0; k < width; ++k)
                    m = std::max(m, band[k] < 0 ? -band[k] : band[k]);
                if (m > 8191)
                    return AacElementSyntaxError;
                if (m == 0) {
                    out->bandExponent[window][b] = static_cast<int16_t>(s >> 2);
                    continue;
                }
                uint32_t r = static_cast<uint32_t>(m);
                const int e = pow43Scaled(&r, s & 3);
                const int z = r == 0 ? 32 : __builtin_clz(r);
                const int sh = z - e;
                out->bandExponent[window][b] = static_cast<int16_t>((s >> 2) + 2 - sh);
                invQuantLines(band, s & 3, width, sh - 2);
            }
            const int top = offsets[ics.maxSfb];
            const int end = offsets[ics.totalSfb];
            if (end > top)
                std::memset(lines + top, 0, static_cast<size_t>(end - top) * sizeof(int32_t));
        }
    }
    return 0;
}

void AacDec_ApplyJointStereo(const AacDecElement *element, AacDecSpectrum *left, AacDecSpectrum *right,
                             const AacSamplingRateInfo *sr, uint32_t granule)
{
    const AacDecJointStereo &stereo = element->stereo;
    if (stereo.msMaskPresent != 1 && stereo.msMaskPresent != 2)
        return;
    const AacDecIcsInfo &ics = element->channel[0]->ics;
    const int16_t *offsets = offsetsOf(ics, sr);
    int window = 0;
    for (int g = 0; g < ics.numWindowGroups; ++g) {
        for (int w = 0; w < ics.windowGroupLength[g]; ++w, ++window) {
            for (int b = 0; b < ics.maxSfb; ++b) {
                if (!((stereo.msUsed[b] >> g) & 1))
                    continue;
                int16_t &eL = left->bandExponent[window][b];
                int16_t &eR = right->bandExponent[window][b];
                const int e = std::max(eL, eR) + 1;
                const int sL = std::min(e - eL, 31);
                const int sR = std::min(e - eR, 31);
                eL = eR = static_cast<int16_t>(e);
                int32_t *l = left->lines + window * granule;
                int32_t *r = right->lines + window * granule;
                for (int k = offsets[b]; k < offsets[b + 1]; ++k) {
                    const int32_t a = l[k] >> sL;
                    const int32_t c = r[k] >> sR;
                    l[k] = a + c;
                    r[k] = a - c;
                }
            }
        }
    }
}

void AacDec_ApplyIntensityStereo(const AacDecElement *element, AacDecSpectrum *left, AacDecSpectrum *right,
                                 const AacSamplingRateInfo *sr, uint32_t granule)
{
    const AacDecChannelData *rightData = element->channel[1];
    const AacDecIcsInfo &ics = element->channel[0]->ics;
    const int16_t *offsets = offsetsOf(ics, sr);
    // A band's own mid/side flag inverts an intensity band's sign; all-band mid/side
    // (mask 2) says nothing about intensity bands, which keep their codebook's sign.
    const bool msFlags = element->stereo.msMaskPresent == 1;
    int window = 0;
    for (int g = 0; g < ics.numWindowGroups; ++g) {
        for (int w = 0; w < ics.windowGroupLength[g]; ++w, ++window) {
            for (int b = 0; b < ics.maxSfb; ++b) {
                const int index = aacBandIndex(g, b);
                const uint8_t codebook = rightData->codebook[index];
                if (!isIntensity(codebook))
                    continue;
                const int q = -100 - (rightData->scaleFactor[index] - 100);
                const int32_t factor = AacSpectralTables::intensityFactor[q & 3];
                const bool msBit = msFlags && ((element->stereo.msUsed[b] >> g) & 1);
                const bool negate = msBit ? codebook == AacIntensityInPhase : codebook == AacIntensityOutOfPhase;
                right->bandExponent[window][b] = static_cast<int16_t>(left->bandExponent[window][b] + (q >> 2) + 1);
                const int32_t *l = left->lines + window * granule;
                int32_t *r = right->lines + window * granule;
                for (int k = offsets[b]; k < offsets[b + 1]; ++k) {
                    const int32_t v = static_cast<int32_t>((static_cast<int64_t>(l[k]) * factor) >> 31);
                    r[k] = negate ? -v : v;
                }
            }
        }
    }
}

void AacDec_ScaleSpectrum(const AacDecChannelData *ch, AacDecSpectrum *s, const AacSamplingRateInfo *sr,
                          uint32_t granule)
{
    const AacDecIcsInfo &ics = ch->ics;
    const int16_t *offsets = offsetsOf(ics, sr);
    const bool eightShort = ics.windowSequence == AacEightShort;
    const int maxSfb = ics.maxSfb;
    const AacDecTnsData &tns = ch->tns;
    for (int w = 0; w < 8; ++w)
        s->windowExponent[w] = 0;
    for (int w = 0; w < windowCount(ics); ++w) {
        int e = s->windowExponent[w];
        for (int b = 0; b < maxSfb; ++b)
            e = std::max<int>(e, s->bandExponent[w][b]);
        int32_t *lines = s->lines + w * granule;
        if (tns.valid && tns.nFilt[w] > 0) {
            int lo = AacSpectralTables::tnsMaxBands[std::min<int>(sr->samplingFrequencyIndex, 12)][eightShort ? 1 : 0];
            int hi = 0;
            int t = 0;
            for (int f = 0; f < tns.nFilt[w]; ++f) {
                const AacDecTnsFilter &filter = tns.filter[w][f];
                lo = std::min<int>(lo, filter.bottom);
                hi = std::max<int>(hi, filter.top);
                for (int b = filter.bottom; b < std::min<int>(filter.top, maxSfb); ++b)
                    t = std::max<int>(t, s->bandExponent[w][b]);
            }
            hi = std::min(hi, maxSfb);
            lo = std::min(lo, hi);
            t += tns.active;
            const int h = RezTools_GetHeadroom(lines + offsets[lo], offsets[hi] - offsets[lo]);
            int c = t - h;
            if (e < 18)
                c += 1;
            e = std::max(e, c);
        }
        s->windowExponent[w] = static_cast<int16_t>(e);
        for (int b = 0; b < maxSfb; ++b) {
            const int shift = std::min(e - s->bandExponent[w][b], 31);
            for (int k = offsets[b]; k < offsets[b + 1]; ++k)
                lines[k] >>= shift;
        }
    }
}

void AacDec_ApplyPns(const AacDecChannelData *ch, AacDecSpectrum *s, const AacSamplingRateInfo *sr, uint32_t granule,
                     uint32_t *seed, uint32_t *bandSeed, const uint8_t *correlated, int channelIndex)
{
    const AacDecIcsInfo &ics = ch->ics;
    const int16_t *offsets = offsetsOf(ics, sr);
    int window = 0;
    for (int g = 0; g < ics.numWindowGroups; ++g) {
        for (int w = 0; w < ics.windowGroupLength[g]; ++w, ++window) {
            for (int b = 0; b < ics.maxSfb; ++b) {
                const int index = aacBandIndex(g, b);
                if (!ch->noiseUsed[index])
                    continue;
                int32_t *lines = s->lines + window * granule + offsets[b];
                const int n = offsets[b + 1] - offsets[b];
                // The second channel of a correlated band replays the first one's noise.
                const int seedIndex = window * 16 + b;
                uint32_t replay = 0;
                uint32_t *noiseSeed = seed;
                if (channelIndex > 0 && correlated && correlated[index] && seedIndex < AacPnsBandSeeds) {
                    replay = bandSeed[seedIndex];
                    noiseSeed = &replay;
                } else if (bandSeed && seedIndex < AacPnsBandSeeds) {
                    bandSeed[seedIndex] = *seed;
                }
                int64_t energy = 0;
                for (int k = 0; k < n; ++k) {
                    *noiseSeed = *noiseSeed * 1664525u + 1013904223u;
                    lines[k] = static_cast<int32_t>(*noiseSeed);
                    const int64_t v = lines[k] >> 7;
                    energy += (v * v) >> 32;
                }
                int32_t gain = 0x7FFFFFFF;
                int x = 9;
                if (energy != 0) {
                    int k = 0;
                    const double m = std::frexp(1.0 / std::sqrt(static_cast<double>(energy)), &k);
                    gain = static_cast<int32_t>(std::min(m * 2147483648.0, 2147483647.0));
                    x = k + 8;
                }
                const int sf = ch->scaleFactor[index];
                const int32_t scale = inverseQuantScale.mantissa[sf & 3][0];
                const int shift = x + 1 + (sf >> 2) + 1 - s->windowExponent[window];
                for (int k = 0; k < n; ++k) {
                    int32_t v = static_cast<int32_t>((static_cast<int64_t>(lines[k]) * gain) >> 31) & ~1;
                    v = static_cast<int32_t>((static_cast<int64_t>(v) * scale) >> 32);
                    lines[k] = shiftSigned(v, shift);
                }
            }
        }
    }
}

void AacDec_ApplyTns(const AacDecChannelData *ch, AacDecSpectrum *s, const AacSamplingRateInfo *sr, uint32_t granule)
{
    const AacDecTnsData &tns = ch->tns;
    if (!tns.valid)
        return;
    const AacDecIcsInfo &ics = ch->ics;
    const bool eightShort = ics.windowSequence == AacEightShort;
    const int16_t *offsets = offsetsOf(ics, sr);
    const int tnsMax = AacSpectralTables::tnsMaxBands[std::min<int>(sr->samplingFrequencyIndex, 12)][eightShort ? 1 : 0];
    for (int w = 0; w < windowCount(ics); ++w) {
        for (int f = 0; f < tns.nFilt[w]; ++f) {
            const AacDecTnsFilter &filter = tns.filter[w][f];
            if (filter.order == 0)
                continue;
            int32_t coef[AacTnsMaxOrder];
            for (int i = 0; i < filter.order; ++i)
                coef[i] = filter.resolution == 3 ? AacSpectralTables::tnsCoefficient3[filter.coefficient[i] + 4]
                                                 : AacSpectralTables::tnsCoefficient4[filter.coefficient[i] + 8];
            const int limit = std::min<int>(tnsMax, ics.maxSfb);
            const int start = offsets[std::min<int>(filter.bottom, limit)];
            const int stop = offsets[std::min<int>(filter.top, limit)];
            if (stop <= start)
                continue;
            int32_t state[AacTnsMaxOrder] = {};
            RezTools_LatticeFilter(s->lines + w * granule + start, stop - start, 0, 0, filter.direction, coef,
                                   filter.order, state);
        }
    }
}

int AacDec_DecodeChannelElement(const AacDecElement *element, AacDecSpectrum *spectra[2],
                                const AacSamplingRateInfo *sr, uint32_t frameLength, uint32_t *seed)
{
    // Noise bands of both channels under a mid/side flag carry one noise: the flag
    // correlates them instead of asking for the butterfly.
    AacDecElement pair = *element;
    uint8_t correlated[128] = {};
    if (element->channelCount == 2 && element->commonWindow) {
        const AacDecChannelData *c0 = element->channel[0];
        const AacDecChannelData *c1 = element->channel[1];
        for (int g = 0; g < c0->ics.numWindowGroups; ++g)
            for (int b = 0; b < c0->ics.maxSfb; ++b) {
                const int index = aacBandIndex(g, b);
                if (((pair.stereo.msUsed[b] >> g) & 1) && c0->noiseUsed[index] && c1->noiseUsed[index]) {
                    correlated[index] = 1;
                    pair.stereo.msUsed[b] = static_cast<uint8_t>(pair.stereo.msUsed[b] & ~(1u << g));
                }
            }
    }
    element = &pair;
    uint32_t bandSeed[AacPnsBandSeeds] = {};
    for (int c = 0; c < element->channelCount; ++c) {
        const AacDecChannelData *ch = element->channel[c];
        const uint32_t granule = ch->ics.windowSequence == AacEightShort ? frameLength / 8 : frameLength;
        if (const int r = AacDec_DequantizeSpectrum(ch, sr, granule, spectra[c]))
            return r;
    }
    const AacDecIcsInfo &ics0 = element->channel[0]->ics;
    const uint32_t granule0 = ics0.windowSequence == AacEightShort ? frameLength / 8 : frameLength;
    if (element->channelCount == 2 && element->commonWindow) {
        AacDec_ApplyJointStereo(element, spectra[0], spectra[1], sr, granule0);
        AacDec_ApplyIntensityStereo(element, spectra[0], spectra[1], sr, granule0);
    }
    for (int c = 0; c < element->channelCount; ++c) {
        const AacDecChannelData *ch = element->channel[c];
        const uint32_t granule = ch->ics.windowSequence == AacEightShort ? frameLength / 8 : frameLength;
        AacDec_ScaleSpectrum(ch, spectra[c], sr, granule);
        AacDec_ApplyPns(ch, spectra[c], sr, granule, seed, bandSeed, correlated, c);
        AacDec_ApplyTns(ch, spectra[c], sr, granule);
    }
    return 0;
}

void AacDec_InitSynthesis(AacDecSynthesisState *state)
{
    std::memset(state->overlap, 0, sizeof state->overlap);
    RezTools_ImdctInit(&state->imdct, state->overlap, 1024);
}

void AacDec_SynthesizeChannel(AacDecSynthesisState *state, const AacDecIcsInfo *ics, AacDecSpectrum *s,
                              int32_t *out, uint32_t frameLength)
{
    const int n = static_cast<int>(frameLength);
    int leftLength = n, rightLength = n, windows = 1, windowLength = n;
    switch (ics->windowSequence) {
    case AacLongStart:
        rightLength = n / 8;
        break;
    case AacEightShort:
        windows = 8;
        windowLength = leftLength = rightLength = n / 8;
        break;
    case AacLongStop:
        leftLength = n / 8;
        break;
    default:
        break;
    }
    const uint32_t *leftSlope = RezTools_GetWindowSlope(leftLength, ics->windowShape);
    const uint32_t *rightSlope = RezTools_GetWindowSlope(rightLength, ics->windowShape);
    int32_t time[1024];
    RezTools_InverseMdct(&state->imdct, time, s->lines, s->windowExponent, windows, n, windowLength, leftSlope,
                         leftLength, rightSlope, rightLength, 0, 0);
    RezTools_ScaleCopySaturated(out, time, n, -6);
}
