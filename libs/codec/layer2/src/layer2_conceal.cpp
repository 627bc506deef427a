// Concealment of damaged frames on the sub-band samples, and the dynamic range
// control that DAB carries in the F-PAD, applied to the PCM.
#include "layer2_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

enum ConcealState { Normal = 0, FirstBad = 1, FadingIn = 2, Muted = 3, FadingOut = 4 };

constexpr int TableLength = 16;
constexpr int NoiseSilenceLevel = 62;
constexpr int NoiseSubBands = 30;
// Root mean square of the comfort noise before the level is applied (Q28 scale).
constexpr double NoiseRms = 7.4e5;

int32_t mulhi(int32_t a, int32_t b)
{
    return static_cast<int32_t>((static_cast<int64_t>(a) * b) >> 32);
}

// First index of `table` (length n) whose level is nearest to `level`; a later index
// wins only when strictly nearer.
int nearest(const int16_t *table, int n, int level)
{
    int best = 0;
    int bestDistance = 0x7FFF;
    for (int i = 0; i < n; ++i) {
        const int distance = std::abs((table[i] >> 1) - level);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

int matchIntoFadeOut(const Layer2ConcealState *s, int fadeInIndex)
{
    const int n = s->fadeOutLength;
    if (n == 0)
        return 0;
    const int level = s->fadeIn[std::clamp(fadeInIndex, 0, TableLength - 1)] >> 1;
    int i = nearest(s->fadeOut, n, level);
    if ((s->fadeOut[i] >> 1) >= level && i < n - 1)
        ++i;
    return i;
}

int matchIntoFadeIn(const Layer2ConcealState *s, int fadeOutIndex)
{
    const int n = s->fadeInLength;
    if (n == 0)
        return 0;
    const int level = s->fadeOut[std::clamp(fadeOutIndex, 0, TableLength - 1)] >> 1;
    int i = nearest(s->fadeIn, n, level);
    if ((s->fadeIn[i] >> 1) <= level && i > 0)
        --i;
    return i;
}

void scaled(int32_t out[2][Layer2TimeSlots][Layer2SubBands], const int32_t in[2][Layer2TimeSlots][Layer2SubBands],
            int16_t gain)
{
    if (gain == 32767) {
        std::memcpy(out, in, sizeof(int32_t) * 2 * Layer2TimeSlots * Layer2SubBands);
        return;
    }
    const int32_t g = static_cast<int32_t>(gain) * 65536;
    const int32_t *src = &in[0][0][0];
    int32_t *dst = &out[0][0][0];
    for (int i = 0; i < 2 * Layer2TimeSlots * Layer2SubBands; ++i)
        dst[i] = 2 * mulhi(g, src[i]);
}

// 2^(j/4) in Q27, j = 0..15: one level step is 1.5 dB.
const int32_t quarterPowers[16] = {
    134217728, 159612677, 189812531, 225726413, 268435456, 319225354, 379625062, 451452825,
    536870912, 638450708, 759250125, 902905651, 1073741824, 1276901417, 1518500250, 1805811301,
};

void comfortNoise(Layer2ConcealState *s, int32_t samples[2][Layer2TimeSlots][Layer2SubBands])
{
    const int k = 109 - s->noiseLevel;
    const int32_t factor = quarterPowers[k & 15];
    const int shift = 16 - 4 * (k >> 4);
    for (int ch = 0; ch < 2; ++ch) {
        for (int t = 0; t < Layer2TimeSlots; ++t) {
            for (int sb = 0; sb < NoiseSubBands; sb += 2) {
                int32_t pair[2];
                for (int32_t &v : pair) {
                    s->noiseSeed = s->noiseSeed * 1664525u + 1013904223u;
                    v = static_cast<int32_t>(s->noiseSeed);
                }
                // Every pair is brought to the same power so the hiss does not flutter.
                const double energy = (static_cast<double>(pair[0]) * pair[0] + static_cast<double>(pair[1]) * pair[1]) / 2.0;
                const double norm = energy > 0 ? NoiseRms / std::sqrt(energy) : 0.0;
                for (int i = 0; i < 2; ++i) {
                    int32_t v = static_cast<int32_t>(std::lround(pair[i] * norm));
                    v = mulhi(v, factor);
                    if (shift >= 0)
                        v >>= std::min(shift, 31);
                    else
                        v = static_cast<int32_t>(static_cast<uint32_t>(v) << std::min(-shift, 31));
                    samples[ch][t][sb + i] = v;
                }
            }
        }
    }
}

} // namespace

void Layer2_ConcealDefaults(Layer2ConcealState *s)
{
    int32_t e = 23198; // -3 dB, then 3 dB less per entry
    for (int k = 0; k < TableLength; ++k) {
        s->fadeOut[k] = static_cast<int16_t>(e);
        s->fadeIn[k] = static_cast<int16_t>(e);
        e = (e * 46396) >> 16;
    }
    s->spareLevel = 22938;
    s->enabled = 1;
    s->goodFramesNeeded = 3;
    s->fadeOutLength = 5;
    s->fadeInLength = 5;
    s->noiseLevel = 46;
    s->noiseSeed = 0;
}

void Layer2_ConcealReset(Layer2ConcealState *s)
{
    std::memset(s->saved, 0, sizeof s->saved);
    s->state = Normal;
    s->index = 0;
    s->goodRun = 0;
}

void Layer2_Conceal(Layer2ConcealState *s, int32_t samples[2][Layer2TimeSlots][Layer2SubBands], int good)
{
    if (!s->enabled) {
        if (!good)
            std::memset(samples, 0, sizeof(int32_t) * 2 * Layer2TimeSlots * Layer2SubBands);
        return;
    }
    if (good)
        std::memcpy(s->saved, samples, sizeof s->saved);
    if (s->state != Normal)
        s->goodRun = good ? s->goodRun + 1 : 0;

    const uint32_t needed = static_cast<uint32_t>(s->goodFramesNeeded);
    switch (s->state) {
    case Normal:
        if (!good) {
            s->state = FirstBad;
            s->index = 0;
            s->goodRun = 0;
        }
        break;
    case FirstBad:
        ++s->index;
        s->state = good ? Normal : FadingOut;
        break;
    case FadingIn:
        --s->index;
        if (!good) {
            s->state = FadingOut;
            s->index = matchIntoFadeOut(s, s->index + 1);
        } else if (s->index < 0) {
            s->state = Normal;
        }
        break;
    case Muted:
        if (s->goodRun > needed) {
            s->state = FadingIn;
            s->index = s->fadeInLength - 1;
            if (s->index < 0)
                s->state = Normal;
        }
        break;
    default: // FadingOut
        ++s->index;
        if (s->goodRun > needed) {
            s->state = FadingIn;
            s->index = matchIntoFadeIn(s, s->index - 1);
        } else if (s->index >= s->fadeOutLength) {
            s->state = Muted;
        }
        break;
    }

    const int index = std::clamp(static_cast<int>(s->index), 0, TableLength - 1);
    switch (s->state) {
    case FirstBad:
    case FadingOut:
        scaled(samples, s->saved, s->fadeOut[index]);
        break;
    case FadingIn:
        scaled(samples, s->saved, s->fadeIn[index]);
        break;
    case Muted:
        std::memset(samples, 0, sizeof(int32_t) * 2 * Layer2TimeSlots * Layer2SubBands);
        if (s->noiseLevel < NoiseSilenceLevel)
            comfortNoise(s, samples);
        break;
    default:
        break;
    }
}

int Layer2_FadeTableFromAttenuations(const int16_t *attenuations, int16_t *table)
{
    for (int k = 0; k < TableLength; ++k)
        if (attenuations[k] < 0 || attenuations[k] > 255)
            return -1;
    constexpr int32_t TenthOfDbBase = 2086555138; // 10^(-1/80) in Q31
    for (int k = 0; k < TableLength; ++k) {
        int e = 0;
        const int32_t m = RezTools_Power(TenthOfDbBase, 0, attenuations[k] * 0x7FFFFF, 8, &e);
        int32_t gain = m >> 16;
        if (e < 0)
            gain >>= std::min(-e, 31);
        else if (e > 0)
            gain = std::min<int32_t>(gain << std::min(e, 15), 32767);
        table[k] = static_cast<int16_t>(std::min<int32_t>(gain, 32767));
    }
    return 0;
}

void Layer2_DrcDefaults(Layer2DrcState *s)
{
    s->factorMantissa = 0x7FFFFFFF;
    s->factorExponent = 0;
    s->enabled = 0;
}

void Layer2_DrcReset(Layer2DrcState *s)
{
    s->present = 0;
    s->history[0] = 0;
    s->history[1] = 0;
}

int Layer2_DrcSetFactor(Layer2DrcState *s, int value)
{
    if (value < 0 || value > 127)
        return -1;
    if (value == 0) {
        s->enabled = 0;
        return 0;
    }
    if (value == 127) {
        s->factorMantissa = 0x40000000;
        s->factorExponent = 1;
    } else {
        const int32_t m = value * 16909320; // value / 127 in Q31
        const int shift = RezTools_Norm(m);
        s->factorMantissa = m << shift;
        s->factorExponent = -shift;
    }
    s->enabled = 1;
    return 0;
}

namespace {

// 10^(factor * value / 80) as mantissa and exponent.
int32_t drcGain(const Layer2DrcState *s, int value, int *exponent)
{
    constexpr int32_t Ten = 0x50000000; // 10 = 0.625 * 2^4
    constexpr int32_t EightiethQ31 = 26843546;
    const int32_t y = 2 * mulhi(s->factorMantissa, value * EightiethQ31);
    return RezTools_Power(Ten, 4, y, s->factorExponent, exponent);
}

} // namespace

void Layer2_Drc(Layer2DrcState *s, int16_t *pcm, int channels, int interleaved, const uint8_t fpad[2])
{
    const uint8_t b = fpad[1];
    if (b < 64)
        s->present = (b & 0x0F) == 1 ? 1 : 0;
    const uint8_t old = s->history[0];
    s->history[0] = s->history[1];
    s->history[1] = s->present ? static_cast<uint8_t>(fpad[0] >> 2) : 0;
    if (!s->enabled || (s->history[0] == 0 && old == 0))
        return;

    int newExponent = 0;
    int32_t newGain = drcGain(s, s->history[0], &newExponent);
    newExponent = std::clamp(newExponent, 0, 6);
    int shift = newExponent;
    int32_t step = 0;
    if (s->history[0] != old) {
        int oldExponent = 0;
        int32_t oldGain = drcGain(s, old, &oldExponent);
        if (oldExponent > newExponent) {
            newGain >>= std::min(oldExponent - newExponent, 31);
            shift = oldExponent;
        } else if (newExponent > oldExponent) {
            oldGain >>= std::min(newExponent - oldExponent, 31);
        }
        step = (2 * mulhi(newGain - oldGain, 1908874368)) >> 10; // difference / 1152
    }
    shift = std::clamp(shift, 0, 15);
    const int32_t limit = 32767 >> shift;
    auto apply = [&](int16_t &x, int32_t g) {
        const int32_t y = 2 * mulhi(x, g);
        x = y > limit ? int16_t{32767} : (y < -limit - 1 ? int16_t{-32768} : static_cast<int16_t>(y << shift));
    };
    if (interleaved && channels == 2) {
        int32_t g = newGain;
        for (int i = LAYER2DEC_FRAME_SAMPLES - 1; i >= 0; --i) {
            apply(pcm[2 * i], g);
            apply(pcm[2 * i + 1], g);
            g -= step;
        }
        return;
    }
    for (int ch = 0; ch < channels; ++ch) {
        int32_t g = newGain;
        int16_t *p = pcm + ch * LAYER2DEC_FRAME_SAMPLES;
        for (int i = LAYER2DEC_FRAME_SAMPLES - 1; i >= 0; --i) {
            apply(p[i], g);
            g -= step;
        }
    }
}
