// Applies one envelope's gains, noise floor and sinusoids to its QMF slots.
#include "SbrSlotAdjuster.h"

#include "RezTools.h"
#include "SbrPair.h"

#include <algorithm>

namespace {

using sbr::saturatedWord;
using sbr::shiftedWord;

// Weight of the previous envelope's gains in the first slots of a smoothed envelope
// (Q15): 0.66667, 0.36517, 0.14700, 0.03183.
constexpr int SmoothingRatios[SBR_SMOOTHING_SLOTS] = {0x5555, 0x2EBE, 0x12D1, 0x0413};
constexpr int NoiseMask = SBR_NOISE_ENTRIES - 1;
// Share of a sinusoid that reaches a neighbouring band in real mode (high-word product).
constexpr int64_t NeighbourSpill = 0x2160000;

// A mantissa moved from exponent `from` to the larger or equal exponent `to`.
int32_t lowered(int32_t m, int from, int to) { return to - from >= 31 ? 0 : m >> (to - from); }

// r · a + (1 - r) · b, r in Q15.
int32_t blend(int32_t a, int32_t b, int ratio)
{
    return ratio == 0 ? b : static_cast<int32_t>((int64_t{a} * ratio + int64_t{b} * (0x8000 - ratio)) >> 15);
}

// 1.0 as a mantissa at exponent e (the smallest step when 1.0 is below it).
int32_t unity(int e) { return e <= 0 ? INT32_MAX : e > 31 ? 1 : static_cast<int32_t>(int64_t{1} << (31 - e)); }

struct Range {
    int kx, bands;
};

Range clampedRange(int kx, int bandCount)
{
    kx = std::clamp(kx, 0, SBR_QMF_BANDS - 1);
    return {kx, std::clamp(bandCount, 0, std::min(SBR_MAX_ADJUSTED_BANDS, SBR_QMF_BANDS - kx))};
}

// Gain (smoothed) and noise on the complex or real samples of one slot; bands with a
// sinusoid get no noise. Advances the noise position.
void gainAndNoise(SbrEnvelopeAdjuster *envCalc, const SbrSlotGains *g, int32_t *re, int32_t *im, Range r, int ratio,
                  int noNoise, const SbrNoiseEntry *noiseTable)
{
    const int position = envCalc->noiseTablePosition;
    for (int j = 0; j < r.bands; ++j) {
        const int k = r.kx + j;
        int32_t gain = blend(envCalc->smoothedGains[j], g->gain[j], ratio);
        if (g->concealed)
            gain = std::min(gain, unity(g->gainExponent[j]));
        const int gainShift = g->gainExponent[j] - 31;
        re[k] = shiftedWord(int64_t{re[k]} * gain, gainShift);
        if (im)
            im[k] = shiftedWord(int64_t{im[k]} * gain, gainShift);
        if (noNoise || g->sineAmplitude[j] != 0 || !noiseTable)
            continue;
        const int32_t noise = blend(envCalc->smoothedNoiseLevels[j], g->noiseLevel[j], ratio);
        const SbrNoiseEntry v = noiseTable[(position + j + 1) & NoiseMask];
        const int noiseShift = g->noiseExponent - 46; // Q31 level times Q15 entry
        re[k] = saturatedWord(int64_t{re[k]} + shiftedWord(int64_t{noise} * v.re, noiseShift));
        if (im)
            im[k] = saturatedWord(int64_t{im[k]} + shiftedWord(int64_t{noise} * v.im, noiseShift));
    }
    envCalc->noiseTablePosition = static_cast<uint16_t>((position + r.bands) & NoiseMask);
}

} // namespace

extern "C" {

void SbrDec_AlignFilterBuffer(SbrEnvelopeAdjuster *envCalc, SbrSlotGains *gains, int bandCount)
{
    bandCount = std::clamp(bandCount, 0, SBR_MAX_ADJUSTED_BANDS);
    for (int k = 0; k < bandCount; ++k) {
        int32_t &buffer = envCalc->smoothedGains[k];
        const int from = envCalc->smoothedGainExponents[k], to = gains->gainExponent[k];
        if (from <= to) {
            buffer = lowered(buffer, from, to);
        } else {
            const int wanted = from - to;
            const int room = buffer == 0 ? wanted : std::min(wanted, RezTools_Norm(buffer));
            buffer = static_cast<int32_t>(static_cast<uint32_t>(buffer) << room);
            const int rest = wanted - room;
            gains->gain[k] = lowered(gains->gain[k], to, to + rest);
            gains->gainExponent[k] = static_cast<int8_t>(to + rest);
        }
        envCalc->smoothedGainExponents[k] = gains->gainExponent[k];
    }
}

void SbrDec_PrepareSlotGains(SbrEnvelopeAdjuster *envCalc, const SbrBandGains *gains, int bandCount,
                             int minimumExponent, int frameError, SbrSlotGains *out)
{
    bandCount = std::clamp(bandCount, 0, SBR_MAX_ADJUSTED_BANDS);
    int gainExponent = minimumExponent, noiseExponent = INT8_MIN;
    for (int k = 0; k < bandCount; ++k) {
        if (gains->gain[k] != 0)
            gainExponent = std::max<int>(gainExponent, gains->gainExponent[k]);
        if (gains->noiseLevel[k] != 0)
            noiseExponent = std::max<int>(noiseExponent, gains->noiseExponent[k]);
    }
    gainExponent = std::clamp(gainExponent, INT8_MIN + 0, INT8_MAX + 0);
    if (noiseExponent == INT8_MIN)
        noiseExponent = 0;
    for (int k = 0; k < bandCount; ++k) {
        out->gain[k] = gains->gain[k] == 0 ? 0 : lowered(gains->gain[k], gains->gainExponent[k], gainExponent);
        out->gainExponent[k] = static_cast<int8_t>(gainExponent);
        out->noiseLevel[k] =
            gains->noiseLevel[k] == 0 ? 0 : lowered(gains->noiseLevel[k], gains->noiseExponent[k], noiseExponent);
        out->sineAmplitude[k] = shiftedWord(gains->sineLevel[k], gains->sineExponent[k] - 31);
    }
    out->noiseExponent = static_cast<int8_t>(noiseExponent);
    out->concealed = frameError != 0;
    if (envCalc->firstEnvelopePending) {
        std::copy(out->gain, out->gain + bandCount, envCalc->smoothedGains);
        std::copy(out->gainExponent, out->gainExponent + bandCount, envCalc->smoothedGainExponents);
        std::copy(out->noiseLevel, out->noiseLevel + bandCount, envCalc->smoothedNoiseLevels);
        envCalc->smoothedNoiseExponent = out->noiseExponent;
        envCalc->firstEnvelopePending = 0;
    }
    SbrDec_AlignFilterBuffer(envCalc, out, bandCount);
    const int move = noiseExponent - envCalc->smoothedNoiseExponent;
    for (int k = 0; k < bandCount; ++k)
        envCalc->smoothedNoiseLevels[k] = shiftedWord(envCalc->smoothedNoiseLevels[k], -move);
    envCalc->smoothedNoiseExponent = out->noiseExponent;
}

void SbrDec_AdjustSlotGainNoise(SbrEnvelopeAdjuster *envCalc, const SbrSlotGains *gains, int32_t *re, int32_t *im,
                                int kx, int bandCount, int ratio, int noNoise, const SbrNoiseEntry *noiseTable)
{
    gainAndNoise(envCalc, gains, re, im, clampedRange(kx, bandCount), ratio, noNoise, noiseTable);
}

void SbrDec_AddSlotSinusoids(SbrEnvelopeAdjuster *envCalc, const SbrSlotGains *gains, int32_t *re, int32_t *im,
                             int kx, int bandCount)
{
    const Range r = clampedRange(kx, bandCount);
    SbrDec_AddSinusoids(re + r.kx, im + r.kx, gains->sineAmplitude, r.bands, r.kx, envCalc->sinePhase);
    envCalc->sinePhase = static_cast<uint8_t>((envCalc->sinePhase + 1) & 3);
}

void SbrDec_AdjustSlot(SbrEnvelopeAdjuster *envCalc, const SbrSlotGains *gains, int32_t *re, int32_t *im, int kx,
                       int bandCount, int ratio, int noNoise, const SbrNoiseEntry *noiseTable)
{
    SbrDec_AdjustSlotGainNoise(envCalc, gains, re, im, kx, bandCount, ratio, noNoise, noiseTable);
    SbrDec_AddSlotSinusoids(envCalc, gains, re, im, kx, bandCount);
}

void SbrDec_AdjustSlotReal(SbrEnvelopeAdjuster *envCalc, const SbrSlotGains *gains, int32_t *re, int kx,
                           int bandCount, int noNoise, const SbrNoiseEntry *noiseTable)
{
    const Range r = clampedRange(kx, bandCount);
    gainAndNoise(envCalc, gains, re, nullptr, r, 0, noNoise, noiseTable);
    const int phase = envCalc->sinePhase;
    for (int j = 0; j < r.bands; ++j) {
        const int32_t s = gains->sineAmplitude[j];
        if (s == 0)
            continue;
        const int k = r.kx + j;
        if ((phase & 1) == 0) {
            re[k] = saturatedWord(int64_t{re[k]} + (phase == 0 ? s : -int64_t{s}));
            continue;
        }
        // The quarter-period phases have no real part in the band itself; what the
        // imaginary part would carry shows as a small share in the neighbours.
        const bool odd = (k & 1) != 0;
        const int sign = (phase == 1) != odd ? 1 : -1;
        const int32_t spill = static_cast<int32_t>((int64_t{s} * NeighbourSpill) >> 32);
        if (j > 0)
            re[k - 1] = saturatedWord(int64_t{re[k - 1]} + sign * int64_t{spill});
        if (j + 1 < r.bands)
            re[k + 1] = saturatedWord(int64_t{re[k + 1]} - sign * int64_t{spill});
    }
    envCalc->sinePhase = static_cast<uint8_t>((phase + 1) & 3);
}

void SbrDec_AdjustEnvelopeSlots(SbrEnvelopeAdjuster *envCalc, const SbrBandGains *gains, int32_t *const *qmfReal,
                                int32_t *const *qmfImag, int kx, int bandCount, int startSlot, int stopSlot,
                                int flavour, int noNoise, int smoothingMode, int interTesShape, int minimumExponent,
                                int frameError, const SbrNoiseEntry *noiseTable)
{
    const Range r = clampedRange(kx, bandCount);
    SbrSlotGains slot;
    SbrDec_PrepareSlotGains(envCalc, gains, r.bands, minimumExponent, frameError, &slot);
    const bool complex = flavour != SBR_SLOTS_REAL;
    const int smoothingLength = complex && !noNoise && smoothingMode == 0 ? SBR_SMOOTHING_SLOTS : 0;
    for (int i = startSlot; i < stopSlot; ++i) {
        const int ratio = i - startSlot < smoothingLength ? SmoothingRatios[i - startSlot] : 0;
        if (flavour == SBR_SLOTS_REAL)
            SbrDec_AdjustSlotReal(envCalc, &slot, qmfReal[i], r.kx, r.bands, noNoise, noiseTable);
        else if (flavour == SBR_SLOTS_INTER_TES)
            SbrDec_AdjustSlotGainNoise(envCalc, &slot, qmfReal[i], qmfImag[i], r.kx, r.bands, ratio, noNoise,
                                       noiseTable);
        else
            SbrDec_AdjustSlot(envCalc, &slot, qmfReal[i], qmfImag[i], r.kx, r.bands, ratio, noNoise, noiseTable);
    }
    if (flavour == SBR_SLOTS_INTER_TES) {
        SbrDec_InterTes(qmfReal, qmfImag, startSlot, stopSlot, r.kx, r.kx + r.bands, interTesShape);
        for (int i = startSlot; i < stopSlot; ++i)
            SbrDec_AddSlotSinusoids(envCalc, &slot, qmfReal[i], qmfImag[i], r.kx, r.bands);
    }
    if (!complex)
        return;
    std::copy(slot.gain, slot.gain + r.bands, envCalc->smoothedGains);
    std::copy(slot.gainExponent, slot.gainExponent + r.bands, envCalc->smoothedGainExponents);
    std::copy(slot.noiseLevel, slot.noiseLevel + r.bands, envCalc->smoothedNoiseLevels);
    envCalc->smoothedNoiseExponent = slot.noiseExponent;
}

} // extern "C"
